// tarvel-cli --diagram FILE.png: without a display, the same picture as the
// SVG file and the window's export; the refusals leave no file behind.
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include "diagram/png/DiagramPng.h"
#include "tests/support/TestSupport.h"

namespace {

struct Run {
    int exitCode = -1;
    QString errors;
};

// The program runs as a script would start it on a server: no display, no
// platform chosen.
Run runCli(const QString& program, const QString& workDir, const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workDir);
    process.start(program, arguments);
    if (!process.waitForFinished(120000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardError())};
}

QString sample(const char* name)
{
    return QString::fromStdString(tarvel::test::sourcePath(std::string("samples/") + name).string());
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QSet<QRgb> colours(const QImage& image)
{
    QSet<QRgb> seen;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            seen.insert(line[x] | 0xff000000u);
    }
    return seen;
}

// The fill colours of the node symbols in the SVG text.
QSet<QRgb> nodeFills(const QByteArray& svg)
{
    QSet<QRgb> fills;
    static const QRegularExpression node(QStringLiteral("<(?:circle|rect|polygon) [^>]*fill=\"(#[0-9a-f]{6})\""));
    auto it = node.globalMatch(QString::fromUtf8(svg));
    while (it.hasNext())
        fills.insert(QColor::fromString(it.next().captured(1)).rgb());
    return fills;
}

const char* const kRefusedNetwork = "0102 0 1 110 0 0 0 0 0 0 0\r\n0201 0 2 110 10 5 0 0 0 0 0\r\n"
                                    "0201 0 3 110 1 1 0 0 0 0 0\r\n0301 0 1 2 5 20 -100 1 0 0 0\r\n"
                                    "0301 0 2 7 5 20 -100 1 0 0 0\r\n";

}  // namespace

class CliPngTest : public QObject {
    Q_OBJECT

    const QString cli = QStringLiteral(TARVEL_CLI_PATH);

private slots:
    void thePngIsTheSvgPictureDrawnWithoutADisplay()
    {
        QTemporaryDir dir;
        const QString svgPath = dir.filePath(QStringLiteral("districts.svg"));
        const QString pngPath = dir.filePath(QStringLiteral("districts.png"));
        QCOMPARE(runCli(cli, dir.path(), {QStringLiteral("--diagram"), svgPath, sample("districts.cdu")}).exitCode, 0);
        const Run png = runCli(cli, dir.path(), {QStringLiteral("--diagram=") + pngPath, sample("districts.cdu")});
        QCOMPARE(png.exitCode, 0);
        QCOMPARE(png.errors, QString());  // nothing of the toolkit's remarks

        const QByteArray bytes = fileBytes(pngPath);
        QVERIFY(bytes.startsWith("\x89PNG\r\n\x1a\n"));
        const QImage image = QImage::fromData(bytes, "PNG");
        const QByteArray svg = fileBytes(svgPath);
        static const QRegularExpression size(QStringLiteral("<svg [^>]*width=\"([0-9.]+)\" height=\"([0-9.]+)\""));
        const QRegularExpressionMatch m = size.match(QString::fromUtf8(svg));
        QVERIFY(m.hasMatch());
        QCOMPARE(image.size(), QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()).toSize());
        QVERIFY(image.width() > 600 && image.height() > 300);

        // Every voltage colour of a node shows in the image, and the image is
        // the one the window's export draws from the same SVG.
        const QSet<QRgb> fills = nodeFills(svg);
        QVERIFY(fills.size() > 3);
        const QSet<QRgb> seen = colours(image);
        for (QRgb fill : fills)
            QVERIFY2(seen.contains(fill), qPrintable(QColor(fill).name()));
        QCOMPARE(image.convertToFormat(QImage::Format_RGB32), tarvel::diagram::diagramImage(svg));
    }

    void refusedDataAreDrawnWithTheFindingsMarked()
    {
        QTemporaryDir dir;
        const QString input = dir.filePath(QStringLiteral("refused.cdu"));
        tarvel::test::writeBytes(input.toStdString(), kRefusedNetwork);
        const QString pngPath = dir.filePath(QStringLiteral("refused.png"));
        QCOMPARE(runCli(cli, dir.path(), {QStringLiteral("--diagram"), pngPath, input}).exitCode, 1);
        QVERIFY(colours(QImage(pngPath)).contains(QColor(0xff, 0x8c, 0x00).rgb()));  // the warning colour
    }

    void aPngThatCannotBeMadeIsToldAndLeavesNoFile()
    {
        QTemporaryDir dir;
        // No such folder: told before the calculation, exit 2, nothing left
        // of a temporary file.
        const QString missingFolder = dir.filePath(QStringLiteral("no/such.png"));
        Run run = runCli(cli, dir.path(), {QStringLiteral("--diagram"), missingFolder, sample("ieee14.cdu")});
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.errors.contains(QStringLiteral("(--diagram) не может быть создан: папка")), qPrintable(run.errors));
        QVERIFY(!QFile::exists(missingFolder));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("network.cdu"))));

        // A program without its module: told, exit 2, the old file untouched.
        const QString lonely = dir.filePath(QStringLiteral("tarvel-cli"));
        QVERIFY(QFile::copy(cli, lonely));
        const QString target = dir.filePath(QStringLiteral("old.png"));
        tarvel::test::writeBytes(target.toStdString(), "old picture");
        run = runCli(lonely, dir.path(), {QStringLiteral("--diagram"), target, sample("ieee14.cdu")});
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.errors.contains(QStringLiteral("Схема в PNG не записана: не найден модуль")), qPrintable(run.errors));
        QCOMPARE(fileBytes(target), QByteArray("old picture"));

        // Neither SVG nor PNG: a usage error before any calculation.
        run = runCli(cli, dir.path(), {QStringLiteral("--diagram"), dir.filePath(QStringLiteral("x.jpg")), sample("ieee14.cdu")});
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.errors.contains(QStringLiteral("должно кончаться на .svg или .png")), qPrintable(run.errors));
    }
};

QTEST_MAIN(CliPngTest)
#include "test_cli_png.moc"
