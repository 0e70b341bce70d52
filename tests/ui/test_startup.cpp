// The program's start: its command line, its working folder, and a document
// named on the command line.
#include <QLabel>
#include <QLockFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStatusBar>
#include <QTemporaryDir>

#include "app/FolderLock.h"
#include "tests/ui/WindowFixture.h"
#include "ui/StartUp.h"

using tarvel::test::menu;
using tarvel::test::pane;
using tarvel::test::WindowFixture;
using tarvel::ui::parseStartOptions;
using tarvel::ui::prepareWorkingFolder;

namespace {

// The process that holds a working folder, as its lock file names it; 0 when
// nobody does.
qint64 holderOf(const QString& folder)
{
    QLockFile lock(QDir(folder).filePath(QStringLiteral(".tarvel.lock")));
    qint64 pid = 0;
    QString host, application;
    return lock.getLockInfo(&pid, &host, &application) ? pid : 0;
}

bool isHeldBy(const QString& folder, const QProcess& process)
{
    return QTest::qWaitFor([&] { return holderOf(folder) == process.processId(); }, 20000);
}

}  // namespace

class StartUpTest : public QObject {
    Q_OBJECT

    // Keeps the test's working folder whatever a check moves it to.
    QString startFolder_;

private slots:
    void init() { startFolder_ = QDir::currentPath(); }
    void cleanup() { QDir::setCurrent(startFolder_); }

    void commandLineNamesFolderAndFile()
    {
        // The desktop entry's line, which holds no character that a launcher
        // might pass on unexpanded: the folder in the home folder, an absolute file.
        auto o = parseStartOptions({QStringLiteral("--home-workdir"), QStringLiteral("Tarvel"),
                                    QStringLiteral("/data/a b.cdu")},
                                   QStringLiteral("/"), QStringLiteral("/home/eng"));
        QCOMPARE(o.workDir, QStringLiteral("/home/eng/Tarvel"));
        QCOMPARE(o.file, QStringLiteral("/data/a b.cdu"));
        QVERIFY(o.error.isEmpty() && !o.help);
        QCOMPARE(parseStartOptions({QStringLiteral("--home-workdir=T")}, {}, QStringLiteral("/h")).workDir,
                 QStringLiteral("/h/T"));
        QCOMPARE(parseStartOptions({QStringLiteral("--home-workdir")}, {}, {}).error,
                 QStringLiteral("не задана рабочая папка"));

        // Typed in a shell that left "~" as it is.
        o = parseStartOptions({QStringLiteral("--workdir"), QStringLiteral("~/Tarvel"),
                                    QStringLiteral("/data/a.cdu")},
                                   QStringLiteral("/"), QStringLiteral("/home/eng"));
        QCOMPARE(o.workDir, QStringLiteral("/home/eng/Tarvel"));
        QCOMPARE(o.file, QStringLiteral("/data/a.cdu"));
        QVERIFY(o.error.isEmpty() && !o.help);

        // A relative file is found from where the program was started, not
        // from the working folder it moves to.
        o = parseStartOptions({QStringLiteral("../nets/b.cdu"), QStringLiteral("--workdir=/tmp/w")},
                              QStringLiteral("/home/eng/work"), QStringLiteral("/home/eng"));
        QCOMPARE(o.file, QStringLiteral("/home/eng/nets/b.cdu"));
        QCOMPARE(o.workDir, QStringLiteral("/tmp/w"));

        o = parseStartOptions({QStringLiteral("--"), QStringLiteral("-odd.cdu")}, QStringLiteral("/d"), {});
        QCOMPARE(o.file, QStringLiteral("/d/-odd.cdu"));
        QVERIFY(o.error.isEmpty());
        QCOMPARE(parseStartOptions({QStringLiteral("--workdir"), QStringLiteral("~")}, {}, QStringLiteral("/h")).workDir,
                 QStringLiteral("/h"));

        // Mistakes: the first one is told; --help is seen all the same.
        o = parseStartOptions({QStringLiteral("--bogus"), QStringLiteral("a.cdu"), QStringLiteral("b.cdu"),
                               QStringLiteral("-h")},
                              QStringLiteral("/d"), {});
        QCOMPARE(o.error, QStringLiteral("неизвестный параметр --bogus"));
        QVERIFY(o.help);
        QCOMPARE(parseStartOptions({QStringLiteral("a.cdu"), QStringLiteral("b.cdu")}, QStringLiteral("/d"), {}).error,
                 QStringLiteral("лишний параметр b.cdu"));
        QCOMPARE(parseStartOptions({QStringLiteral("--workdir")}, {}, {}).error,
                 QStringLiteral("не задана рабочая папка"));
    }

    void missingWorkingFolderIsCreatedAndEntered()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("a/Tarvel"));
        QCOMPARE(prepareWorkingFolder(folder), QString());
        QCOMPARE(QDir::currentPath(), QDir(folder).canonicalPath());
        // An existing folder, and no folder asked for, are accepted silently.
        QCOMPARE(prepareWorkingFolder(folder), QString());
        QCOMPARE(prepareWorkingFolder(QString()), QString());
    }

    void folderThatCannotBeUsedIsToldInOneMessage()
    {
        // A regular file where the folder should be: the program stays where it
        // was started and says where its files go.
        QTemporaryDir dir;
        QDir::setCurrent(dir.path());
        QFile blocker(dir.filePath(QStringLiteral("plain")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString inside = dir.filePath(QStringLiteral("plain/Tarvel"));
        QCOMPARE(prepareWorkingFolder(inside),
                 QStringLiteral("Рабочая папка \"%1\" не создана.\n"
                                "Файлы расчета и настройки записываются в папку \"%2\".")
                     .arg(inside, QDir::currentPath()));
        QCOMPARE(QDir::currentPath(), QDir(dir.path()).canonicalPath());

        // A folder nobody can create files in, whoever runs the test.
        const QString text = prepareWorkingFolder(QStringLiteral("/proc"));
        QVERIFY2(text.startsWith(QStringLiteral("В рабочую папку \"/proc\" невозможно записать файлы")),
                 qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("--workdir")));
    }

    // A folder another window holds sends the next window to one beside it;
    // each window holds its own until it ends.
    void eachWindowClaimsAFolderOfItsOwn()
    {
        QTemporaryDir dir;
        const QString asked = dir.filePath(QStringLiteral("Tarvel"));
        QVERIFY(QDir().mkpath(asked));
        QVERIFY(QDir::setCurrent(asked));
        auto first = tarvel::ui::claimWorkingFolder();
        QCOMPARE(first.folder, QDir(asked).canonicalPath());
        QVERIFY(first.takenFolder.isEmpty());
        QVERIFY(tarvel::ui::workingFolderNotice(first).isEmpty());

        QVERIFY(QDir::setCurrent(asked));
        auto second = tarvel::ui::claimWorkingFolder();
        QCOMPARE(second.folder, QDir(dir.filePath(QStringLiteral("Tarvel-2"))).canonicalPath());
        QCOMPARE(QDir::currentPath(), second.folder);
        QCOMPARE(second.takenFolder, first.folder);
        QVERIFY(tarvel::ui::workingFolderNotice(second).contains(QStringLiteral("Tarvel-2")));

        QVERIFY(QDir::setCurrent(asked));
        auto third = tarvel::ui::claimWorkingFolder();
        QCOMPARE(QFileInfo(third.folder).fileName(), QStringLiteral("Tarvel-3"));

        // Freed folders are taken again, the one asked for first.
        second = {};
        first = {};
        QVERIFY(QDir::setCurrent(asked));
        auto fourth = tarvel::ui::claimWorkingFolder();
        QCOMPARE(fourth.folder, QDir(asked).canonicalPath());
        QVERIFY(QDir::setCurrent(asked));
        QCOMPARE(QFileInfo(tarvel::ui::claimWorkingFolder().folder).fileName(), QStringLiteral("Tarvel-2"));
    }

    // tarvel-cli and tarvel-study take the window's own lock: a window goes
    // beside a folder they hold, and they find a window's folder busy.
    void theCommandLineToolsAndTheWindowKeepOutOfEachOthersFolder()
    {
        QTemporaryDir dir;
        const QString asked = dir.filePath(QStringLiteral("Tarvel"));
        QVERIFY(QDir().mkpath(asked));
        {
            tarvel::app::FolderLock tool;
            QCOMPARE(tool.lock(asked.toStdString()), tarvel::app::FolderLock::State::Held);
            QVERIFY(QDir::setCurrent(asked));
            const auto window = tarvel::ui::claimWorkingFolder();
            QCOMPARE(QFileInfo(window.folder).fileName(), QStringLiteral("Tarvel-2"));
        }
        QVERIFY(QDir::setCurrent(asked));
        auto window = tarvel::ui::claimWorkingFolder();
        QCOMPARE(window.folder, QDir(asked).canonicalPath());
        tarvel::app::FolderLock tool;
        QCOMPARE(tool.lock(asked.toStdString()), tarvel::app::FolderLock::State::InUse);
        window = {};
        QCOMPARE(tool.lock(asked.toStdString()), tarvel::app::FolderLock::State::Held);
    }

    // Two windows of the program, started one after the other with the same
    // working folder, as the desktop entry starts them.
    void twoRunningWindowsNeverShareAFolder()
    {
        QTemporaryDir dir;
        const QString asked = dir.filePath(QStringLiteral("Tarvel"));
        const QString beside = dir.filePath(QStringLiteral("Tarvel-2"));
        auto start = [&](QProcess& p) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            p.setProcessEnvironment(env);
            p.start(QStringLiteral(TARVEL_WINDOW_PATH), {QStringLiteral("--workdir"), asked});
            return p.waitForStarted();
        };
        auto stop = [](QProcess& p) {
            p.kill();  // a window that ends abruptly leaves its lock behind
            p.waitForFinished();
        };
        QProcess first, second, third;
        // Whatever fails, no window outlives the test.
        const auto guard = qScopeGuard([&] {
            for (QProcess* p : {&first, &second, &third})
                stop(*p);
        });
        QVERIFY(start(first));
        QVERIFY(isHeldBy(asked, first));
        QVERIFY(start(second));
        QVERIFY(isHeldBy(beside, second));
        QCOMPARE(holderOf(asked), first.processId());
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(QDir(asked).filePath(QStringLiteral("Vetrasol.ini"))); },
                                20000));
        // The settings stay the user's one file: none is made beside.
        QVERIFY(!QFileInfo::exists(QDir(beside).filePath(QStringLiteral("Vetrasol.ini"))));

        // The first window is gone: the next one takes its folder back.
        stop(first);
        QVERIFY(start(third));
        QVERIFY(isHeldBy(asked, third));
        QCOMPARE(holderOf(beside), second.processId());
    }

    void statusBarSaysWhereTheFilesGo()
    {
        WindowFixture f;
        QVERIFY(f.exposed);
        auto* panel = f.window->findChild<QLabel*>(QStringLiteral("WorkingFolderPanel"));
        QVERIFY(panel);
        QVERIFY(!panel->isVisible());
        f.window->showWorkingFolderNotice(QStringLiteral("Рабочая папка \"b\""));
        QVERIFY(panel->isVisible());
        QCOMPARE(f.window->workingFolderNoticeText(), QStringLiteral("Рабочая папка \"b\""));
    }

    void fileNamedAtStartBecomesTheDocumentAndARecentFile()
    {
        WindowFixture f;
        QVERIFY(f.exposed);
        f.write(QStringLiteral("net.cdu"), QByteArray("\xC1\xE0\xE7\xE0 1\r\n"));  // "База 1" in Windows-1251
        const QString path = f.path(QStringLiteral("net.cdu"));
        f.window->openFile(path);
        QCOMPARE(pane(*f.window, "Memo1")->text(), QStringLiteral("База 1\n"));
        QCOMPARE(f.window->inputCaption(), QStringLiteral("net.cdu"));
        QCOMPARE(f.window->document().currentFile(), path);
        QCOMPARE(f.visibleEntries(menu(*f.window, "Afqk1")).mid(3, 3),
                 QStringList({QStringLiteral("Сохранить"), QStringLiteral("Сохранить как..."), path}));
        f.window->close();
        QVERIFY(f.read(QStringLiteral("Vetrasol.ini")).contains("file1=" + path.toLocal8Bit()));
        QVERIFY(f.dialogs.shown.empty());
    }

    void unreadableFileNamedAtStartLeavesAnEmptyWindow()
    {
        WindowFixture f;
        QVERIFY(f.exposed);
        f.window->openFile(f.path(QStringLiteral("gone.cdu")));
        QCOMPARE(f.dialogs.messages().size(), 1);
        QVERIFY(f.dialogs.messages().front().contains(QStringLiteral("gone.cdu")));
        QVERIFY(pane(*f.window, "Memo1")->text().isEmpty());
        QCOMPARE(f.window->inputCaption(), QStringLiteral("Без_имени(*.cdu)"));
        QCOMPARE(f.window->document().recentFiles()[0], QString());
        QVERIFY(f.dialogs.unexpected().isEmpty());
    }
};

QTEST_MAIN(StartUpTest)
#include "test_startup.moc"
