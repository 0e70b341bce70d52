// The main window's structure, states and document commands.
#include <functional>

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QFontInfo>
#include <QScreen>
#include <QSet>
#include <QLabel>
#include <QAbstractButton>
#include <QTextCursor>
#include <QSplitter>
#include <QTabBar>
#include <QToolButton>

#include "tests/ui/WindowFixture.h"
#include "model/CalculationSettings.h"
#include "model/NetworkModel.h"
#include "ui/DiagramPage.h"
#include "ui/Help.h"
#include "ui/TextEditor.h"

using tarvel::test::ScriptedDialogs;
using tarvel::test::WindowFixture;
using tarvel::ui::TextPane;

namespace {

const QString kUntitled = QStringLiteral("Без_имени(*.cdu)");
const QString kAskSave = QStringLiteral("Сохранить изменения в файле исходных данных ?");

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<WindowFixture> f;
    QTemporaryDir temp_;  // the editor's copies of the reports go here

    tarvel::ui::TForm1& w() { return *f->window; }
    void typeInput(const QString& text)
    {
        w().Memo1->setFocus();
        tarvel::test::typeText(w().Memo1, text);
    }
    void openFile(const QString& path)
    {
        f->dialogs.answerOpen(path);
        w().N4->trigger();
    }

private slots:
    void initTestCase() { qputenv("TMPDIR", QFile::encodeName(temp_.path())); }
    void init()
    {
        f = std::make_unique<WindowFixture>();
        QVERIFY(f->exposed);
    }
    void cleanup()
    {
        const QStringList unexpected = f->dialogs.unexpected();
        f.reset();
        QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join(QStringLiteral("; "))));
    }

    void startShowsOnlyFileSettingsAndHelp()
    {
        QCOMPARE(w().windowTitle(), QStringLiteral("Расчет потокораспределения электрической сети Tarvel 2.0"));
        QCOMPARE(w().minimumSize(), QSize(600, 130));
        QCOMPARE(f->visibleEntries(nullptr),
                 QStringList({QStringLiteral("Файл"), QStringLiteral("Настройки"), QStringLiteral("Справка")}));
        QCOMPARE(f->visibleEntries(w().Afqk1),
                 QStringList({QStringLiteral("Создать"), QStringLiteral("Открыть..."), QStringLiteral("Импорт..."), QStringLiteral("Выход")}));
        QVERIFY(w().N2->isEnabled());
        QVERIFY(!w().N22->isEnabled());
        QVERIFY(!w().N27->isEnabled());
        QVERIFY(!w().PageControl1->isVisible());
        QVERIFY(!w().ToolBar1->isVisible());
        QVERIFY(!w().isLowerPaneShown());
        QVERIFY(!w().Splitter1->isVisible());
        for (int i = 0; i < 3; ++i)
            QCOMPARE(w().statusPanelText(i), QString());

        // Names, shortcuts and captions the rest of the program relies on.
        QCOMPARE(w().findChild<QAction*>(QStringLiteral("N6"))->shortcut(), QKeySequence(QStringLiteral("Shift+Del")));
        QCOMPARE(w().N7->shortcut(), QKeySequence(QStringLiteral("Ctrl+Ins")));
        QCOMPARE(w().N8->shortcut(), QKeySequence(QStringLiteral("Shift+Ins")));
        QCOMPARE(w().N9->shortcut(), QKeySequence(QStringLiteral("F5")));
        QCOMPARE(w().ToolButton3->toolTip(), QStringLiteral("Открыть файл исх. данных"));
        QVERIFY(w().ToolButton1->toolTip().isEmpty());
        QCOMPARE(f->visibleEntries(w().N24),
                 QStringList({QStringLiteral("Параметры расчета..."), QStringLiteral("Шрифт...")}));
        for (const char* name : {"Memo1", "Memo2", "Memo3", "Memo4", "Memo5", "Memo6"}) {
            auto* pane = w().findChild<TextPane*>(QLatin1String(name));
            QVERIFY2(pane, name);
            QVERIFY(pane->text().isEmpty());
            QVERIFY(!pane->isReadOnly());
            QCOMPARE(pane->lineWrapMode(), QPlainTextEdit::WidgetWidth);
            QCOMPARE(pane->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        }
    }

    void newShowsTheInputTabOnly()
    {
        w().ToolButton2->click();
        QVERIFY(w().PageControl1->isVisible());
        QCOMPARE(f->visibleTabs(), QStringList{kUntitled});
        QCOMPARE(f->activeTab(), kUntitled);
        QCOMPARE(f->visibleEntries(nullptr),
                 QStringList({QStringLiteral("Файл"), QStringLiteral("Правка"), QStringLiteral("Расчет"),
                              QStringLiteral("Настройки"), QStringLiteral("Справка")}));
        QCOMPARE(f->visibleEntries(w().Afqk1),
                 QStringList({QStringLiteral("Создать"), QStringLiteral("Открыть..."), QStringLiteral("Импорт..."), QStringLiteral("Сохранить"),
                              QStringLiteral("Сохранить как..."), QStringLiteral("Выход")}));
        QVERIFY(w().ToolBar1->isVisible());
        QVERIFY(w().ToolButton1->isVisible());
        QVERIFY(!w().isLowerPaneShown());
        QVERIFY(!w().N22->isEnabled());
        QCOMPARE(w().statusPanelText(0), QStringLiteral("1: 1"));
        QVERIFY(w().Memo1->text().isEmpty());
        QVERIFY(!w().Memo1->isModified());
        QVERIFY(f->dialogs.shown.empty());
    }

    void recentFileSlots()
    {
        for (const char* name : {"A.cdu", "B.cdu", "C.cdu", "D.cdu", "a.cdu"})
            f->write(QLatin1String(name), QByteArray(name) + "\r\n");
        const QString a = f->path(QStringLiteral("A.cdu")), b = f->path(QStringLiteral("B.cdu")),
                      c = f->path(QStringLiteral("C.cdu")), d = f->path(QStringLiteral("D.cdu")),
                      lowerA = f->path(QStringLiteral("a.cdu"));
        using Slots = std::array<QString, 3>;

        openFile(a);
        openFile(a);  // the same file twice: no change
        QCOMPARE(w().RecentFiles, (Slots{a, QString(), QString()}));
        QVERIFY(w().N30->isVisible());
        QCOMPARE(w().N30->text(), a);
        QVERIFY(!w().N31->isVisible());

        openFile(b);
        openFile(c);
        QCOMPARE(w().RecentFiles, (Slots{a, b, c}));
        openFile(b);  // already listed: keeps its place
        QCOMPARE(w().RecentFiles, (Slots{a, b, c}));
        openFile(lowerA);  // other letter case: another file
        QCOMPARE(w().RecentFiles, (Slots{b, c, lowerA}));
        openFile(d);
        QCOMPARE(w().RecentFiles, (Slots{c, lowerA, d}));
        QCOMPARE(w().N32->text(), d);
        // Separators appear only when the settings held file1 at start.
        QVERIFY(!w().N28->isVisible());
        QVERIFY(!w().N29->isVisible());

        // A recent entry opens its file without changing the order.
        w().N30->trigger();
        QCOMPARE(w().Memo1->text(), QStringLiteral("C.cdu\n"));
        QCOMPARE(w().inputCaption(), QStringLiteral("C.cdu"));
        QCOMPARE(w().CurrentFileName, c);
        QCOMPARE(w().RecentFiles, (Slots{c, lowerA, d}));
        QVERIFY(f->dialogs.messages().isEmpty());

        // Saving a new document first adds it to the list and moves the
        // other entries; the entry chosen still opens the file it showed.
        w().N3->trigger();
        w().Memo1->setPlainText(QStringLiteral("new"));
        w().Memo1->setModified(true);
        const QString saved = f->path(QStringLiteral("new.cdu"));
        f->dialogs.answerQuestion(QMessageBox::Yes);
        f->dialogs.answerSave(saved);
        w().N31->trigger();  // lowerA
        QCOMPARE(w().CurrentFileName, lowerA);
        QCOMPARE(w().Memo1->text(), QStringLiteral("a.cdu\n"));
        QCOMPARE(w().RecentFiles, (Slots{lowerA, d, saved}));
    }

    void openLoadsWindows1251AndSaveWritesItBack()
    {
        // "Узел" in Windows-1251, a lone CR and a lone LF.
        f->write(QStringLiteral("net.cdu"), QByteArray("\xD3\xE7\xE5\xEB 1\r\nb\rc\nd"));
        openFile(f->path(QStringLiteral("net.cdu")));
        QCOMPARE(w().Memo1->text(), QStringLiteral("Узел 1\nb\nc\nd"));
        QCOMPARE(w().inputCaption(), QStringLiteral("net.cdu"));
        QCOMPARE(f->dialogs.shown.front().caption, QStringLiteral("Открыть"));
        QCOMPARE(f->dialogs.shown.front().text, QStringLiteral("Файл ЦДУ *.cdu (*.cdu);;Все файлы *.* (*)"));
        // The sample networks that come with the program are offered.
        QCOMPARE(f->dialogs.shown.front().places.size(), 1);
        QVERIFY(QFileInfo::exists(f->dialogs.shown.front().places.front() + QStringLiteral("/ieee14.cdu")));

        QTest::keyClick(w().Memo1, Qt::Key_End, Qt::ControlModifier);
        typeInput(QStringLiteral("№"));
        QVERIFY(w().Memo1->isModified());
        w().N10->trigger();  // a document with a file: no dialog
        QCOMPARE(f->read(QStringLiteral("net.cdu")), QByteArray("\xD3\xE7\xE5\xEB 1\r\nb\r\nc\r\nd\xB9"));
        QVERIFY(!w().Memo1->isModified());
        QCOMPARE(f->dialogs.count(ScriptedDialogs::Kind::SaveFile), 0);
    }

    void saveOnNewDocumentRunsSaveAs()
    {
        w().N3->trigger();
        typeInput(QStringLiteral("0102 0 1 110"));
        f->dialogs.answerSave(QString());  // cancelled
        w().N10->trigger();
        QCOMPARE(f->dialogs.shown.back().caption, QStringLiteral("Сохранить как:"));
        QCOMPARE(f->dialogs.shown.back().text, QStringLiteral("Формат ЦДУ *.cdu (*.cdu);;Все файлы *.* (*) | cdu"));
        QVERIFY(w().Memo1->isModified());
        QCOMPARE(w().inputCaption(), kUntitled);

        const QString x = f->path(QStringLiteral("x.cdu"));
        f->dialogs.answerSave(x);
        w().N11->trigger();
        QCOMPARE(w().inputCaption(), QStringLiteral("x.cdu"));
        QVERIFY(!w().Memo1->isModified());
        QCOMPARE(w().CurrentFileName, x);
        QCOMPARE(w().RecentFiles[0], x);
        QCOMPARE(f->read(QStringLiteral("x.cdu")), QByteArray("0102 0 1 110"));

        // Save now writes x without asking.
        QTest::keyClick(w().Memo1, Qt::Key_Return);
        typeInput(QStringLiteral("0201"));
        w().ToolButton1->click();
        QCOMPARE(f->read(QStringLiteral("x.cdu")), QByteArray("0102 0 1 110\r\n0201"));
        QCOMPARE(f->dialogs.count(ScriptedDialogs::Kind::SaveFile), 2);
    }

    void aFileNamedLikeTheUntitledCaptionIsSavedInPlace()
    {
        // The document knows its file by name, not by its tab's caption.
        f->write(kUntitled, "a");
        openFile(f->path(kUntitled));
        QCOMPARE(w().inputCaption(), kUntitled);
        typeInput(QStringLiteral("b"));
        w().N10->trigger();
        QCOMPARE(f->dialogs.count(ScriptedDialogs::Kind::SaveFile), 0);
        QCOMPARE(f->read(kUntitled), QByteArray("ba"));
        QVERIFY(!w().Memo1->isModified());

        // New unbinds it again: Save asks for a name.
        w().N3->trigger();
        f->dialogs.answerSave(QString());
        w().N10->trigger();
        QCOMPARE(f->dialogs.count(ScriptedDialogs::Kind::SaveFile), 1);
        QCOMPARE(f->read(kUntitled), QByteArray("ba"));
    }

    void failedSaveKeepsEditsAndTheOldFile()
    {
        f->write(QStringLiteral("keep.cdu"), "old\r\n");
        openFile(f->path(QStringLiteral("keep.cdu")));
        typeInput(QStringLiteral("new "));
        // Save as into a folder that does not exist: told, nothing changes.
        f->dialogs.answerSave(f->path(QStringLiteral("missing/y.cdu")));
        w().N11->trigger();
        QCOMPARE(f->dialogs.messages().size(), 1);
        QVERIFY(f->dialogs.messages().front().contains(QStringLiteral("missing/y.cdu")));
        QVERIFY(w().Memo1->isModified());
        QCOMPARE(w().inputCaption(), QStringLiteral("keep.cdu"));
        QCOMPARE(w().RecentFiles[1], QString());

        // New asks to save; the save fails, so New is abandoned and the edits stay.
        f->dialogs.answerQuestion(QMessageBox::Yes);
        w().CurrentFileName = f->path(QStringLiteral("missing/keep.cdu"));
        w().N3->trigger();
        QCOMPARE(w().Memo1->text(), QStringLiteral("new old\n"));
        QVERIFY(w().Memo1->isModified());
        QCOMPARE(f->read(QStringLiteral("keep.cdu")), QByteArray("old\r\n"));
        QCOMPARE(f->dialogs.count(ScriptedDialogs::Kind::SaveFile), 1);
    }

    // A file that is not Windows-1251 text is told when it is opened; UTF-8
    // text is offered to be converted.
    void documentsThatAreNotWindows1251AreTold()
    {
        f->write(QStringLiteral("utf8.cdu"), QByteArray("0102 0 1 220 \xD0\xB1\xD0\xB0\xD0\xB7\xD0\xB0\n"));  // "база"
        f->dialogs.answerQuestion(QMessageBox::Yes);
        openFile(f->path(QStringLiteral("utf8.cdu")));
        QCOMPARE(f->dialogs.questions().size(), 1);
        QVERIFY(f->dialogs.questions().front().contains(QStringLiteral("UTF-8")));
        QCOMPARE(w().Memo1->text(), QStringLiteral("0102 0 1 220 база\n"));
        QCOMPARE(w().inputCaption(), QStringLiteral("utf8.cdu"));
        QVERIFY(w().Memo1->isModified());  // not yet written in Windows-1251
        w().N10->trigger();
        QCOMPARE(f->read(QStringLiteral("utf8.cdu")), QByteArray("0102 0 1 220 \xE1\xE0\xE7\xE0\r\n"));

        // No opens the bytes as they are; Cancel leaves the document alone.
        f->write(QStringLiteral("utf8.cdu"), QByteArray("\xD0\xB1\n"));
        f->dialogs.answerQuestion(QMessageBox::No);
        openFile(f->path(QStringLiteral("utf8.cdu")));
        QCOMPARE(w().Memo1->text(), QStringLiteral("Р±\n"));
        QVERIFY(!w().Memo1->isModified());
        f->write(QStringLiteral("other.cdu"), QByteArray("\xD0\xB2\n"));
        f->dialogs.answerQuestion(QMessageBox::Cancel);
        openFile(f->path(QStringLiteral("other.cdu")));
        QCOMPARE(w().Memo1->text(), QStringLiteral("Р±\n"));
        QCOMPARE(w().inputCaption(), QStringLiteral("utf8.cdu"));

        // Not text at all: opened only when the user insists.
        f->write(QStringLiteral("picture.cdu"), QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16));
        f->dialogs.answerQuestion(QMessageBox::No);
        openFile(f->path(QStringLiteral("picture.cdu")));
        QVERIFY(f->dialogs.questions().last().contains(QStringLiteral("двоичные данные")));
        QCOMPARE(f->dialogs.shown.back().buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(w().inputCaption(), QStringLiteral("utf8.cdu"));
        QCOMPARE(w().RecentFiles[1], QString());  // neither refused file became a recent one
    }

    void openAsksOnlyAfterAFileIsChosen()
    {
        f->write(QStringLiteral("o.cdu"), "opened");
        w().N3->trigger();
        typeInput(QStringLiteral("edited"));

        f->dialogs.answerOpen(QString());
        w().N4->trigger();
        QCOMPARE(f->dialogs.count(ScriptedDialogs::Kind::Question), 0);

        f->dialogs.answerOpen(f->path(QStringLiteral("o.cdu")));
        f->dialogs.answerQuestion(QMessageBox::Cancel);
        w().N4->trigger();
        QCOMPARE(f->dialogs.shown.size(), std::size_t(3));
        QVERIFY(f->dialogs.shown[1].kind == ScriptedDialogs::Kind::OpenFile);
        QVERIFY(f->dialogs.shown[2].kind == ScriptedDialogs::Kind::Question);
        QCOMPARE(f->dialogs.shown[2].caption, QStringLiteral("Файл изменен"));
        QCOMPARE(f->dialogs.shown[2].text, kAskSave);
        QCOMPARE(f->dialogs.shown[2].buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(w().Memo1->text(), QStringLiteral("edited"));
        QVERIFY(w().Memo1->isModified());

        f->dialogs.answerOpen(f->path(QStringLiteral("o.cdu")));
        f->dialogs.answerQuestion(QMessageBox::No);
        w().N4->trigger();
        QCOMPARE(w().Memo1->text(), QStringLiteral("opened"));
        QVERIFY(!w().Memo1->isModified());
    }

    void openOfAMissingFileIsTold()
    {
        w().N3->trigger();
        typeInput(QStringLiteral("kept"));
        f->dialogs.answerQuestion(QMessageBox::No);
        openFile(f->path(QStringLiteral("gone.cdu")));
        QCOMPARE(f->dialogs.messages().size(), 1);
        QVERIFY(f->dialogs.messages().front().contains(QStringLiteral("gone.cdu")));
        // Editing state entered, flags cleared, the rest untouched.
        QCOMPARE(w().Memo1->text(), QStringLiteral("kept"));
        QVERIFY(!w().Memo1->isModified());
        QCOMPARE(w().inputCaption(), kUntitled);
        QVERIFY(w().CurrentFileName.isEmpty());
        QCOMPARE(w().RecentFiles[0], QString());
    }

    void exitAndTitleBarCloseAskAlike()
    {
        w().N3->trigger();
        typeInput(QStringLiteral("x"));
        f->dialogs.answerQuestion(QMessageBox::Cancel);
        w().N12->trigger();
        QVERIFY(w().isVisible());
        QCOMPARE(f->dialogs.questions(), QStringList{kAskSave});

        // The title bar's control (and Alt+F4) asks the same question.
        f->dialogs.answerQuestion(QMessageBox::Cancel);
        w().close();
        QVERIFY(w().isVisible());
        QCOMPARE(f->dialogs.questions(), QStringList({kAskSave, kAskSave}));
        QCOMPARE(w().Memo1->text(), QStringLiteral("x"));

        // Yes saves before the window closes.
        const QString saved = f->path(QStringLiteral("closing.cdu"));
        f->dialogs.answerQuestion(QMessageBox::Yes);
        f->dialogs.answerSave(saved);
        w().close();
        QVERIFY(!w().isVisible());
        QCOMPARE(f->read(QStringLiteral("closing.cdu")), QByteArray("x"));
    }

    // "Да" and then Cancel in the save dialog abandons the whole command:
    // the edits, the caption and the window stay as they were.
    void cancelledSaveAbandonsTheCommand()
    {
        f->write(QStringLiteral("recent.cdu"), "recent");
        f->write(QStringLiteral("case.m"), "function mpc = case1\n");
        openFile(f->path(QStringLiteral("recent.cdu")));
        QCOMPARE(w().RecentFiles[0], f->path(QStringLiteral("recent.cdu")));

        struct Command {
            const char* name;
            std::function<void()> run;
        };
        const Command commands[] = {
            {"New", [&] { w().N3->trigger(); }},
            {"Open", [&] {
                 f->dialogs.answerOpen(f->path(QStringLiteral("recent.cdu")));
                 w().N4->trigger();
             }},
            {"Recent", [&] { w().N30->trigger(); }},
            {"Import", [&] { w().N35->trigger(); }},  // asks before its dialog
            {"Exit", [&] { w().N12->trigger(); }},
            {"Close", [&] { w().close(); }},
        };
        w().N3->trigger();
        typeInput(QStringLiteral("unsaved"));
        for (const Command& command : commands) {
            f->dialogs.clear();
            f->dialogs.answerQuestion(QMessageBox::Yes);
            f->dialogs.answerSave(QString());
            command.run();
            QVERIFY2(w().isVisible(), command.name);
            QCOMPARE(w().Memo1->text(), QStringLiteral("unsaved"));
            QVERIFY2(w().Memo1->isModified(), command.name);
            QCOMPARE(w().inputCaption(), kUntitled);
            QVERIFY2(f->dialogs.count(ScriptedDialogs::Kind::Question) == 1, command.name);
            QVERIFY2(f->dialogs.shown.back().kind == ScriptedDialogs::Kind::SaveFile, command.name);
        }
        QCOMPARE(f->read(QStringLiteral("recent.cdu")), QByteArray("recent"));
    }

    void exitWithNoCloses()
    {
        w().N3->trigger();
        typeInput(QStringLiteral("x"));
        f->dialogs.answerQuestion(QMessageBox::No);
        w().N12->trigger();
        QVERIFY(!w().isVisible());
    }

    void editCommandsWorkOnTheActiveTab()
    {
        w().N3->trigger();
        typeInput(QStringLiteral("input"));
        // The loss analysis tab shows network.rip of the working folder.
        f->write(QStringLiteral("network.rip"), "report line 1\r\nreport line 2\r\n");
        w().N22Click();
        QCOMPARE(f->activeTab(), QStringLiteral("Анализ потерь"));
        QCOMPARE(w().Memo5->text(), QStringLiteral("report line 1\nreport line 2\n"));

        w().Memo1->setFocus();
        QTest::keyClick(w().Memo1, Qt::Key_F5);  // select all: the report, not the focused input
        QCOMPARE(w().Memo5->textCursor().selectedText().size(), w().Memo5->toPlainText().size());
        QVERIFY(!w().Memo1->textCursor().hasSelection());
        w().N7->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("report line 1\nreport line 2\n"));

        // Paste with the lower pane focused and the input tab active goes to the input.
        w().PageControl1->setCurrentIndex(0);
        QApplication::clipboard()->setText(QStringLiteral("X"));
        w().Memo4->setFocus();
        QTest::keyClick(w().Memo4, Qt::Key_Insert, Qt::ShiftModifier);
        QCOMPARE(w().Memo1->text(), QStringLiteral("inputX"));
        QVERIFY(w().Memo4->text().isEmpty());

        // Cut from the input.
        QTest::keyClick(w().Memo1, Qt::Key_F5);
        w().N6->trigger();
        QVERIFY(w().Memo1->text().isEmpty());
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("inputX"));
    }

    void fontGoesToAllSixPanes()
    {
        QFont chosen(QStringLiteral("Liberation Mono"), 12);
        chosen.setBold(true);
        f->dialogs.answerFont(chosen);
        w().N33->trigger();
        QCOMPARE(f->dialogs.shown.front().text, QFontInfo(QFont(QStringLiteral("Courier New"))).family());
        for (TextPane* pane : {w().Memo1, w().Memo2, w().Memo3, w().Memo4, w().Memo5, w().Memo6}) {
            QCOMPARE(pane->font().pointSize(), 12);
            QVERIFY(pane->font().bold());
        }
    }

    // Where "Courier New" is only another name for an installed family, the
    // dialog gets the family the panes really show, so that it finds it, and
    // OK without a change leaves the panes and the settings file as they were.
    void fontDialogWithAnAliasedFamily()
    {
        const QFont shown = w().Memo1->font();
        QVERIFY2(QFontDatabase::families().contains(shown.family()), qPrintable(shown.family()));
        QCOMPARE(QFontInfo(shown).family(), shown.family());
        QVERIFY(QFontInfo(shown).fixedPitch());
        QCOMPARE(shown.pointSize(), 9);
        f->dialogs.answerFont(shown);
        w().N33->trigger();
        QCOMPARE(f->dialogs.shown.back().text, shown.family());
        const QFont offered = f->dialogs.offeredFonts.back();
        QCOMPARE(offered.styleName(), QFontInfo(shown).styleName());  // the style shown, not the family's first
        QCOMPARE(offered.pointSize(), 9);
        for (TextPane* pane : {w().Memo1, w().Memo2, w().Memo3, w().Memo4, w().Memo5, w().Memo6})
            QCOMPARE(pane->font(), shown);
        w().close();
        const QByteArray ini = f->read(QStringLiteral("Vetrasol.ini"));
        QVERIFY(ini.contains("Font=Courier New\r\n"));
        QVERIFY(ini.contains("FontSize=9\r\n"));

        // The next start shows the same font again.
        f.reset();
        f = std::make_unique<WindowFixture>(ini);
        QCOMPARE(w().Memo6->font(), shown);
    }

    void aboutAndExport()
    {
        w().N18->trigger();
        QCOMPARE(f->dialogs.messages(), QStringList{QStringLiteral("Tarvel  V2.0")});
        QCOMPARE(f->dialogs.shown.back().icon, QMessageBox::Information);

        // The editor gets UTF-8 copies of the Windows-1251 reports, under their own names.
        f->write(QStringLiteral("network.out"), "\xd3\xe7\xe5\xeb\r\n");  // "Узел"
        QStringList started;
        tarvel::ui::setTextEditorLauncher([&](const QString& name) {
            started << name;
            return name.endsWith(QStringLiteral("/network.out"));
        });
        w().N15->trigger();
        w().N16->trigger();
        tarvel::ui::setTextEditorLauncher({});
        QCOMPARE(started.size(), 2);
        QCOMPARE(QFileInfo(started[0]).fileName(), QStringLiteral("network.out"));
        QCOMPARE(QFileInfo(started[1]).fileName(), QStringLiteral("network.rez"));
        QVERIFY(QFileInfo(started[0]).absolutePath() != QFileInfo(f->path(QStringLiteral("network.out"))).absolutePath());
        QFile copy(started[0]);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(copy.readAll()), QStringLiteral("Узел\n"));
        // Nothing opened the file: the message names what to set.
        QVERIFY(f->dialogs.messages().last().startsWith(QStringLiteral("Программа блокнот не найдена\n")));
        QVERIFY(f->dialogs.messages().last().contains(QStringLiteral("EDITOR")));
        QCOMPARE(f->dialogs.messages().size(), 2);
    }

    void helpFollowsTheFocus()
    {
        w().N3->trigger();
        f->write(QStringLiteral("network.rip"), "r\r\n");
        w().N22Click();
        auto pressF1 = [&](QWidget* target) {
            w().activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&w()));
            target->setFocus();
            QTest::keyClick(target, Qt::Key_F1);
        };
        pressF1(w().Memo5);
        QCOMPARE(tarvel::ui::shownHelpTopic(), 300);
        w().PageControl1->setCurrentIndex(0);
        pressF1(w().Memo1);
        QCOMPARE(tarvel::ui::shownHelpTopic(), 200);
        pressF1(w().PageControl1->tabBar());  // no context of its own: the window's
        QCOMPARE(tarvel::ui::shownHelpTopic(), 100);
        pressF1(w().Memo1);
        w().N34->trigger();
        QCOMPARE(tarvel::ui::shownHelpTopic(), 100);
    }

    // Every caption has an Alt+letter mnemonic of its own within its menu and
    // within the menu bar, and Alt with the letter opens the menu.
    void menusHaveMnemonics()
    {
        w().N3->trigger();
        QList<const QWidget*> menus = {w().menuBar()};
        for (const QMenu* m : {w().Afqk1, w().N5, w().N1, w().N13, w().N14, w().N24, w().N17})
            menus << m;
        for (const QWidget* menu : menus) {
            QSet<QKeySequence> letters;
            for (const QAction* a : menu->actions()) {
                if (a->isSeparator() || a == w().N30 || a == w().N31 || a == w().N32)
                    continue;  // the recent files show file names
                const QKeySequence letter = QKeySequence::mnemonic(a->text());
                QVERIFY2(!letter.isEmpty(), qPrintable(a->text()));
                QVERIFY2(!letters.contains(letter), qPrintable(a->text()));
                letters.insert(letter);
            }
        }
        QTest::sendKeyEvent(QTest::Click, &w(), static_cast<Qt::Key>(QChar(u'Р').unicode()), QStringLiteral("р"),
                            Qt::AltModifier);
        QTRY_COMPARE(QApplication::activePopupWidget(), static_cast<QWidget*>(w().N1));
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    }

    // The keys every desktop program knows: Ctrl+N/O/S, undo and redo in the
    // input pane, Ctrl+F and F3 to find a text there.
    void desktopKeys()
    {
        QTest::keyClick(&w(), Qt::Key_N, Qt::ControlModifier);
        QVERIFY(w().PageControl1->isVisible());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w().Memo1));  // ready for typing
        tarvel::test::typeText(w().Memo1, QStringLiteral("0102 1 220"));
        QTest::keyClick(w().Memo1, Qt::Key_Return);
        tarvel::test::typeText(w().Memo1, QStringLiteral("0201 5 220"));
        QTest::keyClick(w().Memo1, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(w().Memo1->text() != QStringLiteral("0102 1 220\n0201 5 220"));
        QTest::keyClick(w().Memo1, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(w().Memo1->text(), QStringLiteral("0102 1 220\n0201 5 220"));
        w().Undo1->trigger();
        QVERIFY(w().Memo1->text() != QStringLiteral("0102 1 220\n0201 5 220"));
        w().Redo1->trigger();
        QCOMPARE(w().Memo1->text(), QStringLiteral("0102 1 220\n0201 5 220"));

        // Ctrl+F from the top: the first "220", F3 the next, and again from the top.
        w().Memo1->moveCursor(QTextCursor::Start);
        f->dialogs.answerText(QStringLiteral("220"));
        QTest::keyClick(w().Memo1, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(f->dialogs.count(ScriptedDialogs::Kind::Text), 1);
        QCOMPARE(w().Memo1->textCursor().selectedText(), QStringLiteral("220"));
        QCOMPARE(w().Memo1->textCursor().selectionStart(), 7);
        QTest::keyClick(w().Memo1, Qt::Key_F3);
        QCOMPARE(w().Memo1->textCursor().selectionStart(), 18);
        QTest::keyClick(w().Memo1, Qt::Key_F3);
        QCOMPARE(w().Memo1->textCursor().selectionStart(), 7);
        QCOMPARE(w().statusPanelText(0), QStringLiteral("1: 11"));
        // A text that is not there is told; the caret stays.
        f->dialogs.answerText(QStringLiteral("0301"));
        QTest::keyClick(w().Memo1, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(f->dialogs.messages(), QStringList{QStringLiteral("Текст \"0301\" не найден.")});
        QCOMPARE(w().Memo1->textCursor().selectionStart(), 7);

        f->dialogs.answerSave(QString());
        QTest::keyClick(&w(), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(f->dialogs.count(ScriptedDialogs::Kind::SaveFile), 1);
        f->dialogs.answerOpen(QString());
        QTest::keyClick(&w(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(f->dialogs.count(ScriptedDialogs::Kind::OpenFile), 1);
    }

    // On the "Схема" tab every Alt+letter has one meaning: its own buttons
    // and field against each other and against the menu bar.
    void diagramTabMnemonicsAreTheirOwn()
    {
        QSet<QKeySequence> letters;
        for (const QAction* a : w().menuBar()->actions())
            letters.insert(QKeySequence::mnemonic(a->text()));
        QStringList captions;
        for (const QAbstractButton* b : w().Diagram1->findChildren<QAbstractButton*>())
            captions << b->text();
        for (const QLabel* l : w().Diagram1->findChildren<QLabel*>())
            if (l->buddy())
                captions << l->text();
        QVERIFY(captions.size() >= 3);
        for (const QString& caption : captions) {
            const QKeySequence letter = QKeySequence::mnemonic(caption);
            if (letter.isEmpty())
                continue;
            QVERIFY2(!letters.contains(letter), qPrintable(caption));
            letters.insert(letter);
        }
    }

    // A stored size larger than the screen is fitted into its available area,
    // with the title bar and the menu in reach.
    void storedSizeLargerThanTheScreen()
    {
        f.reset();
        f = std::make_unique<WindowFixture>(QByteArray("[Parametr]\r\nHeight=2000\r\nWidth=3000\r\n"));
        const QRect area = w().screen()->availableGeometry();
        QVERIFY(area.contains(w().frameGeometry()));
        QVERIFY(area.contains(w().menuBar()->mapToGlobal(QPoint(0, 0))));
        QVERIFY(w().width() > 600);
        QVERIFY(w().height() > 130);
    }

    void settingsAppliedAtStartAndWrittenAtClose()
    {
        f.reset();
        f = std::make_unique<WindowFixture>(QByteArray("[Files]\r\nfile2=/data/B.cdu\r\n"
                                                       "[Parametr]\r\nFont=Liberation Mono\r\nFontSize=12\r\n"
                                                       "Height=400\r\nWidth=650\r\nDelFile=1\r\n"));
        for (TextPane* pane : {w().Memo1, w().Memo2, w().Memo3, w().Memo4, w().Memo5, w().Memo6}) {
            QCOMPARE(pane->font().family(), QStringLiteral("Liberation Mono"));
            QCOMPARE(pane->font().pointSize(), 12);
        }
        QCOMPARE(w().size(), QSize(650, 400));
        QCOMPARE(f->visibleEntries(w().Afqk1),
                 QStringList({QStringLiteral("Создать"), QStringLiteral("Открыть..."), QStringLiteral("Импорт..."), QStringLiteral("/data/B.cdu"),
                              QStringLiteral("Выход")}));
        QCOMPARE(w().RecentFiles[1], QStringLiteral("/data/B.cdu"));

        for (const char* name : {"network.out", "network.rez", "network.cdu", "losses.rez"})
            f->write(QLatin1String(name), "x");
        w().N3->trigger();
        f->dialogs.answerSave(f->path(QStringLiteral("n.cdu")));
        w().N11->trigger();  // takes the empty first slot
        w().close();
        const QByteArray ini = f->read(QStringLiteral("Vetrasol.ini"));
        QVERIFY(ini.contains("file1=" + QFile::encodeName(f->path(QStringLiteral("n.cdu")))));
        QVERIFY(ini.contains("file2=/data/B.cdu"));
        QVERIFY(ini.contains("FontSize=12"));
        QVERIFY(ini.contains("Width=650"));
        // The working files went, the input copy and the loss report stay.
        QVERIFY(!QFile::exists(f->path(QStringLiteral("network.out"))));
        QVERIFY(!QFile::exists(f->path(QStringLiteral("network.rez"))));
        QVERIFY(QFile::exists(f->path(QStringLiteral("network.cdu"))));
        QVERIFY(QFile::exists(f->path(QStringLiteral("losses.rez"))));
    }

    void firstRecentKeyShowsTheSeparatorsAndSizesKeepTheMinimum()
    {
        f.reset();
        f = std::make_unique<WindowFixture>(
            QByteArray("[Files]\r\nfile1=/data/A.cdu\r\n[Parametr]\r\nHeight=50\r\nWidth=100\r\n"));
        QCOMPARE(f->visibleEntries(w().Afqk1),
                 QStringList({QStringLiteral("Создать"), QStringLiteral("Открыть..."), QStringLiteral("Импорт..."), QStringLiteral("-"),
                              QStringLiteral("/data/A.cdu"), QStringLiteral("-"), QStringLiteral("Выход")}));
        QCOMPARE(w().size(), QSize(600, 130));
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_mainwindow.moc"
