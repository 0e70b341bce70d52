// The text editor launcher of the export commands: $VISUAL before $EDITOR,
// a command with arguments, the desktop opener, and failure when nothing runs.
#include <QDesktopServices>
#include <QDir>
#include <QUrl>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "ui/TextEditor.h"

using tarvel::ui::openInTextEditor;

// Takes the URLs the desktop is asked to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QStringList opened;
public slots:
    void open(const QUrl& url) { opened << url.toLocalFile(); }
};

class TextEditorTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QByteArray path_;

    // A script that writes its arguments, one a line, to record.
    QString recorder(const QString& scriptPath, const QString& record)
    {
        QDir().mkpath(QFileInfo(scriptPath).path());
        QFile f(scriptPath);
        if (!f.open(QIODevice::WriteOnly))
            return QString();
        f.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + record.toUtf8() + "'\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return scriptPath;
    }

    QByteArray waitFor(const QString& record)
    {
        QFile f(record);
        if (!QTest::qWaitFor([&] { return f.exists() && f.size() > 0; }, 5000))
            return QByteArray();
        QTest::qWait(50);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void initTestCase()
    {
        path_ = qgetenv("PATH");
        qputenv("TMPDIR", QFile::encodeName(dir_.path()));  // the editor copies go here
    }
    void init()
    {
        qunsetenv("VISUAL");
        qunsetenv("EDITOR");
        qputenv("PATH", QFile::encodeName(dir_.filePath(QStringLiteral("empty"))));
    }
    void cleanupTestCase()
    {
        qputenv("PATH", path_);
        tarvel::ui::setTextEditorLauncher({});
    }

    void editorFromTheEnvironment()
    {
        const QString record = dir_.filePath(QStringLiteral("editor.txt"));
        const QString script = recorder(dir_.filePath(QStringLiteral("my editor/edit.sh")), record);
        // Words split as a shell splits them, without expansions.
        qputenv("EDITOR", ("'" + script + "' --title \"a \\\"b\\\" $c\" x\\ y ''").toUtf8());
        QVERIFY(openInTextEditor(QStringLiteral("network.rez")));
        QCOMPARE(waitFor(record), QByteArray("--title\na \"b\" $c\nx y\n\nnetwork.rez\n"));

        // $VISUAL comes first.
        const QString visualRecord = dir_.filePath(QStringLiteral("visual.txt"));
        qputenv("VISUAL", recorder(dir_.filePath(QStringLiteral("visual.sh")), visualRecord).toUtf8());
        QVERIFY(openInTextEditor(QStringLiteral("network.out")));
        QCOMPARE(waitFor(visualRecord), QByteArray("network.out\n"));
    }

    // Without an editor of the environment the desktop opens the file with
    // its application for text files; a handler stands for the desktop here.
    void desktopOpenerWhenNoEditorIsSet()
    {
        UrlRecorder desktop;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &desktop, "open");
        QVERIFY(openInTextEditor(QStringLiteral("network.out")));
        QCOMPARE(desktop.opened, QStringList{QDir::current().absoluteFilePath(QStringLiteral("network.out"))});

        // An editor that cannot be started falls back to the desktop too.
        qputenv("EDITOR", "/no/such/editor");
        QVERIFY(openInTextEditor(QStringLiteral("/tmp/network.rez")));
        QCOMPARE(desktop.opened.last(), QStringLiteral("/tmp/network.rez"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    }

    void nothingToStart()
    {
        QVERIFY(!openInTextEditor(QStringLiteral("network.rez")));
        qputenv("EDITOR", "/no/such/editor");
        QVERIFY(!openInTextEditor(QStringLiteral("network.rez")));
        qputenv("EDITOR", "   ");
        QVERIFY(!openInTextEditor(QStringLiteral("network.rez")));
    }

    // The editor gets a UTF-8 copy under the report's own name in a folder of
    // its own; the working file stays as it was.
    void reportOpensAsAUtf8Copy()
    {
        const QByteArray report = "\xd3\xe7\xe5\xeb 1\r\nU=110.5\r\n";  // "Узел 1" in Windows-1251
        const QString name = dir_.filePath(QStringLiteral("network.rez"));
        QFile f(name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(report);
        f.close();
        QString asked;
        tarvel::ui::setTextEditorLauncher([&](const QString& file) {
            asked = file;
            return true;
        });
        QVERIFY(tarvel::ui::openReportInTextEditor(name));
        QCOMPARE(QFileInfo(asked).fileName(), QStringLiteral("network.rez"));
        QVERIFY(QFileInfo(asked).absolutePath() != QFileInfo(name).absolutePath());
        QFile copy(asked);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(copy.readAll()), QStringLiteral("Узел 1\nU=110.5\n"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), report);
        f.close();

        // A report deleted meanwhile: the editor is started all the same, and
        // the older copy is gone.
        QVERIFY(f.remove());
        QVERIFY(tarvel::ui::openReportInTextEditor(name));
        QVERIFY(!QFile::exists(asked));
        tarvel::ui::setTextEditorLauncher({});
    }

    void replacementLauncher()
    {
        QString asked;
        tarvel::ui::setTextEditorLauncher([&](const QString& name) {
            asked = name;
            return true;
        });
        QVERIFY(openInTextEditor(QStringLiteral("network.out")));
        QCOMPARE(asked, QStringLiteral("network.out"));
        tarvel::ui::setTextEditorLauncher({});
        QVERIFY(!openInTextEditor(QStringLiteral("network.out")));  // nothing on the empty PATH
    }
};

QTEST_MAIN(TextEditorTest)
#include "test_texteditor.moc"
