// The help window: its topics, the fallback to the main topic, one reused
// window, and pages that agree with what the program really writes.
#include <QDialog>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

#include "model/MessageSink.h"
#include "model/NetworkModel.h"
#include "model/ReadNetworkData.h"
#include "model/TextFile.h"
#include "powerflow/PowerFlowRun.h"
#include "ui/Help.h"

using tarvel::ui::helpWindow;
using tarvel::ui::showHelp;
using tarvel::ui::shownHelpTopic;

namespace {

QString page(int topic)
{
    QFile f(QStringLiteral(":/help/%1.html").arg(topic));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The text a reader sees on a page, blanks made plain and collapsed.
QString plainText(int topic)
{
    QTextDocument doc;
    doc.setHtml(page(topic));
    return doc.toPlainText().replace(QChar(0x00A0), QLatin1Char(' ')).simplified();
}

// The first preformatted block of a page.
QString preformatted(int topic)
{
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("<pre>\\n?(.*?)</pre>"), QRegularExpression::DotMatchesEverythingOption)
            .match(page(topic));
    return m.captured(1);
}

QString fileText(const QString& path)
{
    std::string utf8;
    return tarvel::readTextFile(path.toStdString(), utf8) ? QString::fromStdString(utf8) : QString();
}

}  // namespace

class HelpTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCOMPARE(shownHelpTopic(), 0);
        QVERIFY(!helpWindow());
        showHelp(nullptr, 100);  // also loads the pages
    }

    void eachTopicInOneWindow()
    {
        QWidget* window = helpWindow();
        QVERIFY(window);
        auto* browser = window->findChild<QTextBrowser*>();
        QVERIFY(browser);
        const struct {
            int context;
            int shown;
            const char* heading;
        } cases[] = {
            {100, 100, "Расчет потокораспределения электрической сети Tarvel 2.0"},
            {200, 200, "Формат исходных данных ЦДУ"},
            {300, 300, "Отчеты «Исх. данные», «Анализ потерь», «Составляющие потерь»"},
            {400, 400, "Результаты расчета (файл network.rez)"},
            {0, 100, "Расчет потокораспределения"},
            {-1, 100, "Расчет потокораспределения"},
            {250, 100, "Расчет потокораспределения"},
        };
        for (const auto& c : cases) {
            showHelp(nullptr, c.context);
            QCOMPARE(helpWindow(), window);
            QCOMPARE(shownHelpTopic(), c.shown);
            QVERIFY(window->isVisible());
            QVERIFY(!window->isModal());
            QVERIFY2(browser->toPlainText().contains(QString::fromUtf8(c.heading)), c.heading);
        }

        // Asked from a modal dialog, the window belongs to that dialog, so it
        // stays usable while the dialog is open.
        QDialog dialog;
        showHelp(&dialog, 200);
        QCOMPARE(helpWindow(), window);
        QCOMPARE(window->parentWidget(), &dialog);
        showHelp(nullptr, 100);
        QCOMPARE(window->parentWidget(), nullptr);
        QVERIFY(window->isWindow());
    }

    void linksLeadToPages()
    {
        const QRegularExpression link(QStringLiteral("href=\"([^\"]*)\""));
        for (int topic : {100, 200, 300, 400, 500, 600}) {
            const QString html = page(topic);
            QVERIFY(!html.isEmpty());
            for (const QRegularExpressionMatch& m : link.globalMatch(html)) {
                const QString target = m.captured(1);
                QVERIFY2(QFile::exists(QStringLiteral(":/help/") + target), qPrintable(target));
            }
        }
    }

    // Every fixed text of the error list that the reader writes is named on
    // the input-format page, so the page cannot drift from the reader.
    void inputPageNamesTheReadersMessages()
    {
        // The value and link checks first; the connection checks run only on
        // data whose branches all name existing nodes.
        const std::string texts[] = {
            "102 0 1 110 0 0 0 0 0 0 0\n"
            "201 0 2 110 1 1 0 0 0 0 0\n"             // no branch
            "201 0 200000 2000 1 1 0 0 0 0 0\n"       // number and voltage out of range
            "201 0 -150 110 1 1 0 0 0 0 0\n"          // number without district
            "301 0 1 200000 1 2000000 0.5 2 0 0 0\n"  // x, b and a transformer at the base node
            "301 0 1 3 1 10 0 0 0 0 0\n"              // no node 3
            "301 0 1 -150 1 10 0 0 0 0 0\n",
            "102 0 1 110 0 0 0 0 0 0 0\n"
            "201 0 5 110 1 1 0 0 0 0 0\n"
            "201 0 5 110 1 1 0 0 0 0 0\n"             // number repeated
            "201 0 6 110 1e39 1 0 0 0 0 0\n"          // load beyond a float
            "201 0 7 110 1 1 0 0 0 0 0\n"
            "201 0 8 110 1 1 0 0 0 0 0\n"
            "301 0 1 5 1 10 0 0 0 0 0\n"
            "301 0 1 6 1 10 0 0 0 0 0\n"
            "301 0 7 8 1 10 0 0 0 0 0\n",             // an island
        };
        std::string tooLarge = "102 0 1 110 0 0 0 0 0 0 0\n301 0 1 2 1 10 0 0 0 0 0\n";
        for (int k = 2; k <= tarvel::kMaxNodeRecords + 2; ++k)
            tooLarge += "201 0 " + std::to_string(k) + " 110 1 1 0 0 0 0 0\n";
        QStringList lines;
        for (const std::string& text : {texts[0], texts[1], tooLarge}) {
            QTemporaryDir dir;
            QVERIFY(tarvel::writeFileBytes(dir.filePath("network.cdu").toStdString(), tarvel::utf8ToCp1251(text)));
            auto model = std::make_unique<tarvel::NetworkModel>();
            tarvel::CollectingSink sink;
            QVERIFY(!tarvel::readNetworkData(*model, dir.path().toStdString(), sink).accepted);
            lines += fileText(dir.filePath("network.err")).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        }

        const QString help = plainText(200);
        const QRegularExpression numbers(QStringLiteral("-?\\d+|:"));
        QSet<QString> kinds;
        for (const QString& line : lines) {
            for (const QString& piece : line.split(numbers, Qt::SkipEmptyParts)) {
                const QString fixed = piece.simplified();
                if (fixed.isEmpty() || fixed == QStringLiteral("."))
                    continue;
                QVERIFY2(help.contains(fixed), qPrintable(line));
            }
            if (!line.startsWith(QStringLiteral("Ветвь")))
                kinds.insert(line.left(20));
        }
        QCOMPARE(kinds.size(), 12);
    }

    // The example network of the input page is accepted, converges, and gives
    // the node results that the results page shows.
    void exampleNetworkGivesTheShownResults()
    {
        const QString example = preformatted(200);
        QVERIFY(example.contains(QStringLiteral("0102")));
        QTemporaryDir dir;
        auto model = std::make_unique<tarvel::NetworkModel>();
        tarvel::CollectingSink sink;
        const tarvel::RunOutcome outcome =
            tarvel::runPowerFlow(*model, dir.path().toStdString(), example.toStdString(), sink, '.');
        QCOMPARE(outcome, tarvel::RunOutcome::Converged);
        QCOMPARE(model->nodeCount, 3);
        QCOMPARE(model->branchCount, 3);
        QCOMPARE(model->nodeType[2], 2);

        const QString results = fileText(dir.filePath("network.rez"));
        const QStringList shown = preformatted(400).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(shown.size() >= 6);
        for (const QString& line : shown)
            QVERIFY2(results.contains(line + QStringLiteral("\r\n")), qPrintable(line));
    }
};

QTEST_MAIN(HelpTest)
#include "test_help.moc"
