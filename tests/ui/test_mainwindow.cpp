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

using tarvel::test::action;
using tarvel::test::menu;
using tarvel::test::named;
using tarvel::test::pane;
using tarvel::test::tabs;
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
        pane(w(), "Memo1")->setFocus();
        tarvel::test::typeText(pane(w(), "Memo1"), text);
    }
    void openFile(const QString& path)
    {
        f->dialogs.answerOpen(path);
        action(w(), "N4")->trigger();
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
        QCOMPARE(f->visibleEntries(menu(w(), "Afqk1")),
                 QStringList({QStringLiteral("Создать"), QStringLiteral("Открыть..."), QStringLiteral("Импорт..."), QStringLiteral("Выход")}));
        QVERIFY(action(w(), "N2")->isEnabled());
        QVERIFY(!action(w(), "N22")->isEnabled());
        QVERIFY(!action(w(), "N27")->isEnabled());
        QVERIFY(!tabs(w())->isVisible());
        QVERIFY(!named<QWidget>(w(), "ToolBar1")->isVisible());
        QVERIFY(!w().isLowerPaneShown());
        QVERIFY(!named<QWidget>(w(), "Splitter1")->isVisible());
        for (int i = 0; i < 3; ++i)
            QCOMPARE(w().statusPanelText(i), QString());

        // Names, shortcuts and captions the rest of the program relies on.
        QCOMPARE(w().findChild<QAction*>(QStringLiteral("N6"))->shortcut(), QKeySequence(QStringLiteral("Shift+Del")));
        QCOMPARE(action(w(), "N7")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Ins")));
        QCOMPARE(action(w(), "N8")->shortcut(), QKeySequence(QStringLiteral("Shift+Ins")));
        QCOMPARE(action(w(), "N9")->shortcut(), QKeySequence(QStringLiteral("F5")));
        QCOMPARE(named<QToolButton>(w(), "ToolButton3")->toolTip(), QStringLiteral("Открыть файл исх. данных"));
        QVERIFY(named<QToolButton>(w(), "ToolButton1")->toolTip().isEmpty());
        QCOMPARE(f->visibleEntries(menu(w(), "N24")),
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

    // The first start says where to begin, and "Открыть..." starts among
    // the samples; the hint in the empty input pane goes with the first key.
    void aNewUserIsShownWhereToBegin()
    {
        QVERIFY(named<QLabel>(w(), "StartHint")->isVisible());
        QVERIFY(named<QLabel>(w(), "StartHint")->text().contains(QStringLiteral("Импорт")));
        f->dialogs.answerOpen(QString());
        action(w(), "N4")->trigger();
        QVERIFY(!f->dialogs.shown.back().places.isEmpty());
        QCOMPARE(f->dialogs.shown.back().proposed, f->dialogs.shown.back().places.front());

        action(w(), "N3")->trigger();
        QVERIFY(!named<QLabel>(w(), "StartHint")->isVisible());
        QVERIFY(pane(w(), "Memo1")->placeholderText().contains(QStringLiteral("ЦДУ")));
    }

    // The file dialogs start in the document's folder, Save As with its
    // name, wherever the working folder is.
    void fileDialogsStartWhereTheDocumentIs()
    {
        QVERIFY(QDir(f->path(QString())).mkdir(QStringLiteral("nets")));
        const QString document = f->path(QStringLiteral("nets/a.cdu"));
        f->write(QStringLiteral("nets/a.cdu"), "0102\r\n");
        openFile(document);
        f->dialogs.answerOpen(QString());
        action(w(), "N4")->trigger();
        QCOMPARE(f->dialogs.shown.back().proposed, f->path(QStringLiteral("nets")));
        f->dialogs.answerOpen(QString());
        action(w(), "N35")->trigger();
        QCOMPARE(f->dialogs.shown.back().proposed, f->path(QStringLiteral("nets")));
        f->dialogs.answerSave(QString());
        action(w(), "N11")->trigger();
        QCOMPARE(f->dialogs.shown.back().proposed, document);

        // A new document: the folder last used.
        action(w(), "N3")->trigger();
        f->dialogs.answerSave(QString());
        action(w(), "N11")->trigger();
        QCOMPARE(f->dialogs.shown.back().proposed, f->path(QStringLiteral("nets")));
    }

    void newShowsTheInputTabOnly()
    {
        named<QToolButton>(w(), "ToolButton2")->click();
        QVERIFY(tabs(w())->isVisible());
        QCOMPARE(f->visibleTabs(), QStringList{kUntitled});
        QCOMPARE(f->activeTab(), kUntitled);
        QCOMPARE(f->visibleEntries(nullptr),
                 QStringList({QStringLiteral("Файл"), QStringLiteral("Правка"), QStringLiteral("Расчет"),
                              QStringLiteral("Настройки"), QStringLiteral("Справка")}));
        QCOMPARE(f->visibleEntries(menu(w(), "Afqk1")),
                 QStringList({QStringLiteral("Создать"), QStringLiteral("Открыть..."), QStringLiteral("Импорт..."), QStringLiteral("Сохранить"),
                              QStringLiteral("Сохранить как..."), QStringLiteral("Выход")}));
        QVERIFY(named<QWidget>(w(), "ToolBar1")->isVisible());
        QVERIFY(named<QToolButton>(w(), "ToolButton1")->isVisible());
        QVERIFY(!w().isLowerPaneShown());
        QVERIFY(!action(w(), "N22")->isEnabled());
        QCOMPARE(w().statusPanelText(0), QStringLiteral("1: 1"));
        QVERIFY(pane(w(), "Memo1")->text().isEmpty());
        QVERIFY(!pane(w(), "Memo1")->isModified());
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
        QCOMPARE(w().document().recentFiles(), (Slots{a, QString(), QString()}));
        QVERIFY(action(w(), "N30")->isVisible());
        QCOMPARE(action(w(), "N30")->text(), a);
        QVERIFY(!action(w(), "N31")->isVisible());

        openFile(b);
        openFile(c);
        QCOMPARE(w().document().recentFiles(), (Slots{a, b, c}));
        // The menu lists the newest first.
        QCOMPARE(f->visibleEntries(menu(w(), "Afqk1")).mid(5, 3), (QStringList{c, b, a}));
        openFile(b);  // already listed: keeps its place
        QCOMPARE(w().document().recentFiles(), (Slots{a, b, c}));
        openFile(lowerA);  // other letter case: another file
        QCOMPARE(w().document().recentFiles(), (Slots{b, c, lowerA}));
        openFile(d);
        QCOMPARE(w().document().recentFiles(), (Slots{c, lowerA, d}));
        QCOMPARE(action(w(), "N32")->text(), d);
        // Separators appear only when the settings held file1 at start.
        QVERIFY(!action(w(), "N28")->isVisible());
        QVERIFY(!action(w(), "N29")->isVisible());

        // A recent entry opens its file without changing the order.
        action(w(), "N30")->trigger();
        QCOMPARE(pane(w(), "Memo1")->text(), QStringLiteral("C.cdu\n"));
        QCOMPARE(w().inputCaption(), QStringLiteral("C.cdu"));
        QCOMPARE(w().document().currentFile(), c);
        QCOMPARE(w().document().recentFiles(), (Slots{c, lowerA, d}));
        QVERIFY(f->dialogs.messages().isEmpty());

        // Saving a new document first adds it to the list and moves the
        // other entries; the entry chosen still opens the file it showed.
        action(w(), "N3")->trigger();
        pane(w(), "Memo1")->setPlainText(QStringLiteral("new"));
        pane(w(), "Memo1")->setModified(true);
        const QString saved = f->path(QStringLiteral("new.cdu"));
        f->dialogs.answerQuestion(QMessageBox::Yes);
        f->dialogs.answerSave(saved);
        action(w(), "N31")->trigger();  // lowerA
        QCOMPARE(w().document().currentFile(), lowerA);
        QCOMPARE(pane(w(), "Memo1")->text(), QStringLiteral("a.cdu\n"));
        QCOMPARE(w().document().recentFiles(), (Slots{lowerA, d, saved}));
    }

    void openLoadsWindows1251AndSaveWritesItBack()
    {
        // "Узел" in Windows-1251, a lone CR and a lone LF.
        f->write(QStringLiteral("net.cdu"), QByteArray("\xD3\xE7\xE5\xEB 1\r\nb\rc\nd"));
        openFile(f->path(QStringLiteral("net.cdu")));
        QCOMPARE(pane(w(), "Memo1")->text(), QStringLiteral("Узел 1\nb\nc\nd"));
        QCOMPARE(w().inputCaption(), QStringLiteral("net.cdu"));
        QCOMPARE(f->dialogs.shown.front().caption, QStringLiteral("Открыть"));
        QCOMPARE(f->dialogs.shown.front().text, QStringLiteral("Файл ЦДУ *.cdu (*.cdu);;Все файлы *.* (*)"));
        // The sample networks that come with the program are offered.
        QCOMPARE(f->dialogs.shown.front().places.size(), 1);
        QVERIFY(QFileInfo::exists(f->dialogs.shown.front().places.front() + QStringLiteral("/ieee14.cdu")));

        QTest::keyClick(pane(w(), "Memo1"), Qt::Key_End, Qt::ControlModifier);
        typeInput(QStringLiteral("№"));
        QVERIFY(pane(w(), "Memo1")->isModified());
        action(w(), "N10")->trigger();  // a document with a file: no dialog
        QCOMPARE(f->read(QStringLiteral("net.cdu")), QByteArray("\xD3\xE7\xE5\xEB 1\r\nb\r\nc\r\nd\xB9"));
        QVERIFY(!pane(w(), "Memo1")->isModified());
        QCOMPARE(f->dialogs.count(ScriptedDialogs::Kind::SaveFile), 0);
    }

    void saveOnNewDocumentRunsSaveAs()
    {
        action(w(), "N3")->trigger();
        typeInput(QStringLiteral("0102 0 1 110"));
        f->dialogs.answerSave(QString());  // cancelled
        action(w(), "N10")->trigger();
        QCOMPARE(f->dialogs.shown.back().caption, QStringLiteral("Сохранить как:"));
        QCOMPARE(f->dialogs.shown.back().text, QStringLiteral("Формат ЦДУ *.cdu (*.cdu);;Все файлы *.* (*) | cdu"));
        QVERIFY(pane(w(), "Memo1")->isModified());
        QCOMPARE(w().inputCaption(), kUntitled);

        const QString x = f->path(QStringLiteral("x.cdu"));
        f->dialogs.answerSave(x);
        action(w(), "N11")->trigger();
        QCOMPARE(w().inputCaption(), QStringLiteral("x.cdu"));
        QVERIFY(!pane(w(), "Memo1")->isModified());
        QCOMPARE(w().document().currentFile(), x);
        QCOMPARE(w().document().recentFiles()[0], x);
        QCOMPARE(f->read(QStringLiteral("x.cdu")), QByteArray("0102 0 1 110"));

        // Save now writes x without asking.
        QTest::keyClick(pane(w(), "Memo1"), Qt::Key_Return);
        typeInput(QStringLiteral("0201"));
        named<QToolButton>(w(), "ToolButton1")->click();
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
        action(w(), "N10")->trigger();
        QCOMPARE(f->dialogs.count(ScriptedDialogs::Kind::SaveFile), 0);
        QCOMPARE(f->read(kUntitled), QByteArray("ba"));
        QVERIFY(!pane(w(), "Memo1")->isModified());

        // New unbinds it again: Save asks for a name.
        action(w(), "N3")->trigger();
        f->dialogs.answerSave(QString());
        action(w(), "N10")->trigger();
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
        action(w(), "N11")->trigger();
        QCOMPARE(f->dialogs.messages().size(), 1);
        QVERIFY(f->dialogs.messages().front().contains(QStringLiteral("missing/y.cdu")));
        QVERIFY(pane(w(), "Memo1")->isModified());
        QCOMPARE(w().inputCaption(), QStringLiteral("keep.cdu"));
        QCOMPARE(w().document().recentFiles()[1], QString());

        // New asks to save; the save fails (the document's folder has gone),
        // so New is abandoned and the edits and the file name stay.
        QVERIFY(QDir(f->path(QString())).mkdir(QStringLiteral("gone")));
        const QString gone = f->path(QStringLiteral("gone/keep.cdu"));
        f->write(QStringLiteral("gone/keep.cdu"), "old\r\n");
        f->dialogs.answerQuestion(QMessageBox::No);
        openFile(gone);
        typeInput(QStringLiteral("new "));
        QVERIFY(QDir(f->path(QStringLiteral("gone"))).removeRecursively());
        f->dialogs.answerQuestion(QMessageBox::Yes);
        f->dialogs.answerQuestion(QMessageBox::No);  // not under another name either
        action(w(), "N3")->trigger();
        QCOMPARE(f->dialogs.questions().back(), QStringLiteral("Сохранить документ под другим именем?"));
        QCOMPARE(pane(w(), "Memo1")->text(), QStringLiteral("new old\n"));
        QVERIFY(pane(w(), "Memo1")->isModified());
        QCOMPARE(w().document().currentFile(), gone);
        QCOMPARE(w().inputCaption(), QStringLiteral("keep.cdu"));
        QCOMPARE(f->read(QStringLiteral("keep.cdu")), QByteArray("old\r\n"));
        QCOMPARE(f->dialogs.count(ScriptedDialogs::Kind::SaveFile), 1);
    }

    // A Save that fails offers another name, in which the edits are kept.
    void aFailedSaveOffersSaveAs()
    {
        QVERIFY(QDir(f->path(QString())).mkdir(QStringLiteral("gone")));
        f->write(QStringLiteral("gone/net.cdu"), "old\r\n");
        openFile(f->path(QStringLiteral("gone/net.cdu")));
        typeInput(QStringLiteral("new "));
        QVERIFY(QDir(f->path(QStringLiteral("gone"))).removeRecursively());
        f->dialogs.answerQuestion(QMessageBox::Yes);
        f->dialogs.answerSave(f->path(QStringLiteral("kept.cdu")));
        action(w(), "N10")->trigger();
        QCOMPARE(f->dialogs.messages().size(), 1);  // why it failed
        QCOMPARE(f->dialogs.shown.back().proposed, f->path(QStringLiteral("gone/net.cdu")));
        QCOMPARE(f->read(QStringLiteral("kept.cdu")), QByteArray("new old\r\n"));
        QCOMPARE(w().document().currentFile(), f->path(QStringLiteral("kept.cdu")));
        QVERIFY(!pane(w(), "Memo1")->isModified());
    }

    // The title bar names the document after the program's caption and
    // marks unsaved edits; undoing them clears the mark here and below.
    void theTitleNamesTheDocumentAndItsEdits()
    {
        const QString caption = QStringLiteral("Расчет потокораспределения электрической сети Tarvel 2.0");
        f->write(QStringLiteral("net.cdu"), "0102\r\n");
        openFile(f->path(QStringLiteral("net.cdu")));
        QCOMPARE(w().windowTitle(), caption + QStringLiteral(" — net.cdu[*]"));
        QVERIFY(!w().isWindowModified());
        QTest::keyClick(pane(w(), "Memo1"), Qt::Key_End, Qt::ControlModifier);
        typeInput(QStringLiteral("x"));
        QVERIFY(w().isWindowModified());
        QCOMPARE(w().statusPanelText(1), QStringLiteral("модиф."));
        action(w(), "Undo1")->trigger();
        QCOMPARE(pane(w(), "Memo1")->text(), QStringLiteral("0102\n"));
        QVERIFY(!w().isWindowModified());
        QCOMPARE(w().statusPanelText(1), QString());

        action(w(), "N3")->trigger();
        QCOMPARE(w().windowTitle(), caption + QStringLiteral(" — ") + kUntitled + QStringLiteral("[*]"));
        QCOMPARE(action(w(), "N12")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
        QCOMPARE(action(w(), "N11")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+S")));
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
        QCOMPARE(pane(w(), "Memo1")->text(), QStringLiteral("0102 0 1 220 база\n"));
        QCOMPARE(w().inputCaption(), QStringLiteral("utf8.cdu"));
        QVERIFY(pane(w(), "Memo1")->isModified());  // not yet written in Windows-1251
        action(w(), "N10")->trigger();
        QCOMPARE(f->read(QStringLiteral("utf8.cdu")), QByteArray("0102 0 1 220 \xE1\xE0\xE7\xE0\r\n"));

        // No opens the bytes as they are; Cancel leaves the document alone.
        f->write(QStringLiteral("utf8.cdu"), QByteArray("\xD0\xB1\n"));
        f->dialogs.answerQuestion(QMessageBox::No);
        openFile(f->path(QStringLiteral("utf8.cdu")));
        QCOMPARE(pane(w(), "Memo1")->text(), QStringLiteral("Р±\n"));
        QVERIFY(!pane(w(), "Memo1")->isModified());
        f->write(QStringLiteral("other.cdu"), QByteArray("\xD0\xB2\n"));
        f->dialogs.answerQuestion(QMessageBox::Cancel);
        openFile(f->path(QStringLiteral("other.cdu")));
        QCOMPARE(pane(w(), "Memo1")->text(), QStringLiteral("Р±\n"));
        QCOMPARE(w().inputCaption(), QStringLiteral("utf8.cdu"));

        // Not text at all: opened only when the user insists.
        f->write(QStringLiteral("picture.cdu"), QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16));
        f->dialogs.answerQuestion(QMessageBox::No);
        openFile(f->path(QStringLiteral("picture.cdu")));
        QVERIFY(f->dialogs.questions().last().contains(QStringLiteral("двоичные данные")));
        QCOMPARE(f->dialogs.shown.back().buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(w().inputCaption(), QStringLiteral("utf8.cdu"));
        QCOMPARE(w().document().recentFiles()[1], QString());  // neither refused file became a recent one
    }

    // The byte-order mark that Notepad writes says UTF-8 as surely as
    // Cyrillic letters do; it is no character of the document.
    void aUtf8FileWithAByteOrderMarkIsConvertedAlike()
    {
        f->write(QStringLiteral("bom.cdu"), QByteArray("\xEF\xBB\xBF" "0102 0 1 220 \xD0\xB1\r\n0201 0 2 220\r\n"));
        f->dialogs.answerQuestion(QMessageBox::Yes);
        openFile(f->path(QStringLiteral("bom.cdu")));
        QCOMPARE(f->dialogs.questions().size(), 1);
        QVERIFY(f->dialogs.questions().front().contains(QStringLiteral("UTF-8")));
        QCOMPARE(pane(w(), "Memo1")->text(), QStringLiteral("0102 0 1 220 б\n0201 0 2 220\n"));
        action(w(), "N10")->trigger();
        QCOMPARE(f->read(QStringLiteral("bom.cdu")), QByteArray("0102 0 1 220 \xE1\r\n0201 0 2 220\r\n"));

        // All ASCII after the mark: asked alike, not read as "п»ї0102".
        f->write(QStringLiteral("ascii.cdu"), QByteArray("\xEF\xBB\xBF" "0102 0 1 220\r\n"));
        f->dialogs.answerQuestion(QMessageBox::Yes);
        openFile(f->path(QStringLiteral("ascii.cdu")));
        QCOMPARE(f->dialogs.questions().size(), 2);
        QCOMPARE(pane(w(), "Memo1")->text(), QStringLiteral("0102 0 1 220\n"));
    }

    void openAsksOnlyAfterAFileIsChosen()
    {
        f->write(QStringLiteral("o.cdu"), "opened");
        action(w(), "N3")->trigger();
        typeInput(QStringLiteral("edited"));

        f->dialogs.answerOpen(QString());
        action(w(), "N4")->trigger();
        QCOMPARE(f->dialogs.count(ScriptedDialogs::Kind::Question), 0);

        f->dialogs.answerOpen(f->path(QStringLiteral("o.cdu")));
        f->dialogs.answerQuestion(QMessageBox::Cancel);
        action(w(), "N4")->trigger();
        QCOMPARE(f->dialogs.shown.size(), std::size_t(3));
        QVERIFY(f->dialogs.shown[1].kind == ScriptedDialogs::Kind::OpenFile);
        QVERIFY(f->dialogs.shown[2].kind == ScriptedDialogs::Kind::Question);
        QCOMPARE(f->dialogs.shown[2].caption, QStringLiteral("Файл изменен"));
        QCOMPARE(f->dialogs.shown[2].text, kAskSave);
        QCOMPARE(f->dialogs.shown[2].buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(pane(w(), "Memo1")->text(), QStringLiteral("edited"));
        QVERIFY(pane(w(), "Memo1")->isModified());

        f->dialogs.answerOpen(f->path(QStringLiteral("o.cdu")));
        f->dialogs.answerQuestion(QMessageBox::No);
        action(w(), "N4")->trigger();
        QCOMPARE(pane(w(), "Memo1")->text(), QStringLiteral("opened"));
        QVERIFY(!pane(w(), "Memo1")->isModified());
    }

    void openOfAMissingFileIsTold()
    {
        action(w(), "N3")->trigger();
        typeInput(QStringLiteral("kept"));
        f->dialogs.answerQuestion(QMessageBox::No);
        openFile(f->path(QStringLiteral("gone.cdu")));
        QCOMPARE(f->dialogs.messages().size(), 1);
        QVERIFY(f->dialogs.messages().front().contains(QStringLiteral("gone.cdu")));
        // Editing state entered, flags cleared, the rest untouched.
        QCOMPARE(pane(w(), "Memo1")->text(), QStringLiteral("kept"));
        QVERIFY(!pane(w(), "Memo1")->isModified());
        QCOMPARE(w().inputCaption(), kUntitled);
        QVERIFY(w().document().currentFile().isEmpty());
        QCOMPARE(w().document().recentFiles()[0], QString());
    }

    // A recent file deleted since it was listed: told; the document shown,
    // its file and the list stay, and Save still writes that document's file.
    void vanishedRecentFileIsTold()
    {
        f->write(QStringLiteral("a.cdu"), "a\r\n");
        f->write(QStringLiteral("b.cdu"), "b\r\n");
        const QString a = f->path(QStringLiteral("a.cdu")), b = f->path(QStringLiteral("b.cdu"));
        openFile(a);
        openFile(b);
        QVERIFY(QFile::remove(a));
        action(w(), "N30")->trigger();
        QCOMPARE(f->dialogs.messages().size(), 1);
        QVERIFY(f->dialogs.messages().front().contains(QStringLiteral("a.cdu")));
        QCOMPARE(pane(w(), "Memo1")->text(), QStringLiteral("b\n"));
        QCOMPARE(w().inputCaption(), QStringLiteral("b.cdu"));
        QCOMPARE(w().document().currentFile(), b);
        QCOMPARE(w().document().recentFiles(), (std::array<QString, 3>{a, b, QString()}));

        QTest::keyClick(pane(w(), "Memo1"), Qt::Key_Home, Qt::ControlModifier);
        typeInput(QStringLiteral("x"));
        action(w(), "N10")->trigger();
        QCOMPARE(f->read(QStringLiteral("b.cdu")), QByteArray("xb\r\n"));
        QVERIFY(!QFile::exists(a));
    }

    void exitAndTitleBarCloseAskAlike()
    {
        action(w(), "N3")->trigger();
        typeInput(QStringLiteral("x"));
        f->dialogs.answerQuestion(QMessageBox::Cancel);
        action(w(), "N12")->trigger();
        QVERIFY(w().isVisible());
        QCOMPARE(f->dialogs.questions(), QStringList{kAskSave});

        // The title bar's control (and Alt+F4) asks the same question.
        f->dialogs.answerQuestion(QMessageBox::Cancel);
        w().close();
        QVERIFY(w().isVisible());
        QCOMPARE(f->dialogs.questions(), QStringList({kAskSave, kAskSave}));
        QCOMPARE(pane(w(), "Memo1")->text(), QStringLiteral("x"));

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
        QCOMPARE(w().document().recentFiles()[0], f->path(QStringLiteral("recent.cdu")));

        struct Command {
            const char* name;
            std::function<void()> run;
        };
        const Command commands[] = {
            {"New", [&] { action(w(), "N3")->trigger(); }},
            {"Open", [&] {
                 f->dialogs.answerOpen(f->path(QStringLiteral("recent.cdu")));
                 action(w(), "N4")->trigger();
             }},
            {"Recent", [&] { action(w(), "N30")->trigger(); }},
            {"Import", [&] { action(w(), "N35")->trigger(); }},  // asks before its dialog
            {"Exit", [&] { action(w(), "N12")->trigger(); }},
            {"Close", [&] { w().close(); }},
        };
        action(w(), "N3")->trigger();
        typeInput(QStringLiteral("unsaved"));
        for (const Command& command : commands) {
            f->dialogs.clear();
            f->dialogs.answerQuestion(QMessageBox::Yes);
            f->dialogs.answerSave(QString());
            command.run();
            QVERIFY2(w().isVisible(), command.name);
            QCOMPARE(pane(w(), "Memo1")->text(), QStringLiteral("unsaved"));
            QVERIFY2(pane(w(), "Memo1")->isModified(), command.name);
            QCOMPARE(w().inputCaption(), kUntitled);
            QVERIFY2(f->dialogs.count(ScriptedDialogs::Kind::Question) == 1, command.name);
            QVERIFY2(f->dialogs.shown.back().kind == ScriptedDialogs::Kind::SaveFile, command.name);
        }
        QCOMPARE(f->read(QStringLiteral("recent.cdu")), QByteArray("recent"));
    }

    void exitWithNoCloses()
    {
        action(w(), "N3")->trigger();
        typeInput(QStringLiteral("x"));
        f->dialogs.answerQuestion(QMessageBox::No);
        action(w(), "N12")->trigger();
        QVERIFY(!w().isVisible());
    }

    void editCommandsWorkOnTheActiveTab()
    {
        action(w(), "N3")->trigger();
        typeInput(QStringLiteral("input"));
        // The loss analysis tab shows network.rip of the working folder.
        f->write(QStringLiteral("network.rip"), "report line 1\r\nreport line 2\r\n");
        w().N22Click();
        QCOMPARE(f->activeTab(), QStringLiteral("Анализ потерь"));
        QCOMPARE(pane(w(), "Memo5")->text(), QStringLiteral("report line 1\nreport line 2\n"));

        pane(w(), "Memo1")->setFocus();
        QTest::keyClick(pane(w(), "Memo1"), Qt::Key_F5);  // select all: the report, not the focused input
        QCOMPARE(pane(w(), "Memo5")->textCursor().selectedText().size(), pane(w(), "Memo5")->toPlainText().size());
        QVERIFY(!pane(w(), "Memo1")->textCursor().hasSelection());
        action(w(), "N7")->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("report line 1\nreport line 2\n"));

        // Paste with the lower pane focused and the input tab active goes to the input.
        tabs(w())->setCurrentIndex(0);
        QApplication::clipboard()->setText(QStringLiteral("X"));
        pane(w(), "Memo4")->setFocus();
        QTest::keyClick(pane(w(), "Memo4"), Qt::Key_Insert, Qt::ShiftModifier);
        QCOMPARE(pane(w(), "Memo1")->text(), QStringLiteral("inputX"));
        QVERIFY(pane(w(), "Memo4")->text().isEmpty());

        // Cut from the input.
        QTest::keyClick(pane(w(), "Memo1"), Qt::Key_F5);
        action(w(), "N6")->trigger();
        QVERIFY(pane(w(), "Memo1")->text().isEmpty());
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("inputX"));
    }

    void fontGoesToAllSixPanes()
    {
        QFont chosen(QStringLiteral("Liberation Mono"), 12);
        chosen.setBold(true);
        f->dialogs.answerFont(chosen);
        action(w(), "N33")->trigger();
        QCOMPARE(f->dialogs.shown.front().text, QFontInfo(QFont(QStringLiteral("Courier New"))).family());
        for (TextPane* pane : {pane(w(), "Memo1"), pane(w(), "Memo2"), pane(w(), "Memo3"), pane(w(), "Memo4"), pane(w(), "Memo5"), pane(w(), "Memo6")}) {
            QCOMPARE(pane->font().pointSize(), 12);
            QVERIFY(pane->font().bold());
        }
    }

    // Where "Courier New" is only another name for an installed family, the
    // dialog gets the family the panes really show, so that it finds it, and
    // OK without a change leaves the panes and the settings file as they were.
    void fontDialogWithAnAliasedFamily()
    {
        const QFont shown = pane(w(), "Memo1")->font();
        QVERIFY2(QFontDatabase::families().contains(shown.family()), qPrintable(shown.family()));
        QCOMPARE(QFontInfo(shown).family(), shown.family());
        QVERIFY(QFontInfo(shown).fixedPitch());
        QCOMPARE(shown.pointSize(), 9);
        f->dialogs.answerFont(shown);
        action(w(), "N33")->trigger();
        QCOMPARE(f->dialogs.shown.back().text, shown.family());
        const QFont offered = f->dialogs.offeredFonts.back();
        QCOMPARE(offered.styleName(), QFontInfo(shown).styleName());  // the style shown, not the family's first
        QCOMPARE(offered.pointSize(), 9);
        for (TextPane* pane : {pane(w(), "Memo1"), pane(w(), "Memo2"), pane(w(), "Memo3"), pane(w(), "Memo4"), pane(w(), "Memo5"), pane(w(), "Memo6")})
            QCOMPARE(pane->font(), shown);
        w().close();
        const QByteArray ini = f->read(QStringLiteral("Vetrasol.ini"));
        QVERIFY(ini.contains("Font=Courier New\r\n"));
        QVERIFY(ini.contains("FontSize=9\r\n"));

        // The next start shows the same font again.
        f.reset();
        f = std::make_unique<WindowFixture>(ini);
        QCOMPARE(pane(w(), "Memo6")->font(), shown);
    }

    void aboutAndExport()
    {
        action(w(), "N18")->trigger();
        QCOMPARE(f->dialogs.messages(), QStringList{QStringLiteral("Tarvel  V2.0")});
        QCOMPARE(f->dialogs.shown.back().icon, QMessageBox::Information);

        // The editor gets UTF-8 copies of the Windows-1251 reports, under their own names.
        f->write(QStringLiteral("network.out"), "\xd3\xe7\xe5\xeb\r\n");  // "Узел"
        QStringList started;
        tarvel::ui::setTextEditorLauncher([&](const QString& name) {
            started << name;
            return name.endsWith(QStringLiteral("/network.out"));
        });
        action(w(), "N15")->trigger();
        action(w(), "N16")->trigger();
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
        action(w(), "N3")->trigger();
        f->write(QStringLiteral("network.rip"), "r\r\n");
        w().N22Click();
        auto pressF1 = [&](QWidget* target) {
            w().activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&w()));
            target->setFocus();
            QTest::keyClick(target, Qt::Key_F1);
        };
        pressF1(pane(w(), "Memo5"));
        QCOMPARE(tarvel::ui::shownHelpTopic(), 300);
        tabs(w())->setCurrentIndex(0);
        pressF1(pane(w(), "Memo1"));
        QCOMPARE(tarvel::ui::shownHelpTopic(), 200);
        pressF1(tabs(w())->tabBar());  // no context of its own: the window's
        QCOMPARE(tarvel::ui::shownHelpTopic(), 100);
        pressF1(pane(w(), "Memo1"));
        action(w(), "N34")->trigger();
        QCOMPARE(tarvel::ui::shownHelpTopic(), 100);
    }

    // Every caption has an Alt+letter mnemonic of its own within its menu and
    // within the menu bar, and Alt with the letter opens the menu.
    void menusHaveMnemonics()
    {
        action(w(), "N3")->trigger();
        QList<const QWidget*> menus = {w().menuBar()};
        for (const QMenu* m : {menu(w(), "Afqk1"), menu(w(), "N5"), menu(w(), "N1"), menu(w(), "N13"), menu(w(), "N14"), menu(w(), "N24"), menu(w(), "N17")})
            menus << m;
        for (const QWidget* menu : menus) {
            QSet<QKeySequence> letters;
            for (const QAction* a : menu->actions()) {
                if (a->isSeparator() || a == action(w(), "N30") || a == action(w(), "N31") || a == action(w(), "N32"))
                    continue;  // the recent files show file names
                const QKeySequence letter = QKeySequence::mnemonic(a->text());
                QVERIFY2(!letter.isEmpty(), qPrintable(a->text()));
                QVERIFY2(!letters.contains(letter), qPrintable(a->text()));
                letters.insert(letter);
            }
        }
        QTest::sendKeyEvent(QTest::Click, &w(), static_cast<Qt::Key>(QChar(u'Р').unicode()), QStringLiteral("р"),
                            Qt::AltModifier);
        QTRY_COMPARE(QApplication::activePopupWidget(), static_cast<QWidget*>(menu(w(), "N1")));
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    }

    // The keys every desktop program knows: Ctrl+N/O/S, undo and redo in the
    // input pane, Ctrl+F and F3 to find a text there.
    void desktopKeys()
    {
        QTest::keyClick(&w(), Qt::Key_N, Qt::ControlModifier);
        QVERIFY(tabs(w())->isVisible());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(pane(w(), "Memo1")));  // ready for typing
        tarvel::test::typeText(pane(w(), "Memo1"), QStringLiteral("0102 1 220"));
        QTest::keyClick(pane(w(), "Memo1"), Qt::Key_Return);
        tarvel::test::typeText(pane(w(), "Memo1"), QStringLiteral("0201 5 220"));
        QTest::keyClick(pane(w(), "Memo1"), Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(pane(w(), "Memo1")->text() != QStringLiteral("0102 1 220\n0201 5 220"));
        QTest::keyClick(pane(w(), "Memo1"), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(pane(w(), "Memo1")->text(), QStringLiteral("0102 1 220\n0201 5 220"));
        action(w(), "Undo1")->trigger();
        QVERIFY(pane(w(), "Memo1")->text() != QStringLiteral("0102 1 220\n0201 5 220"));
        action(w(), "Redo1")->trigger();
        QCOMPARE(pane(w(), "Memo1")->text(), QStringLiteral("0102 1 220\n0201 5 220"));

        // Ctrl+F from the top: the first "220", F3 the next, and again from the top.
        pane(w(), "Memo1")->moveCursor(QTextCursor::Start);
        f->dialogs.answerText(QStringLiteral("220"));
        QTest::keyClick(pane(w(), "Memo1"), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(f->dialogs.count(ScriptedDialogs::Kind::Text), 1);
        QCOMPARE(pane(w(), "Memo1")->textCursor().selectedText(), QStringLiteral("220"));
        QCOMPARE(pane(w(), "Memo1")->textCursor().selectionStart(), 7);
        QTest::keyClick(pane(w(), "Memo1"), Qt::Key_F3);
        QCOMPARE(pane(w(), "Memo1")->textCursor().selectionStart(), 18);
        QTest::keyClick(pane(w(), "Memo1"), Qt::Key_F3);
        QCOMPARE(pane(w(), "Memo1")->textCursor().selectionStart(), 7);
        QCOMPARE(w().statusPanelText(0), QStringLiteral("1: 11"));
        // A text that is not there is told; the caret stays.
        f->dialogs.answerText(QStringLiteral("0301"));
        QTest::keyClick(pane(w(), "Memo1"), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(f->dialogs.messages(), QStringList{QStringLiteral("Текст \"0301\" не найден.")});
        QCOMPARE(pane(w(), "Memo1")->textCursor().selectionStart(), 7);

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
        for (const QAbstractButton* b : named<tarvel::ui::DiagramPage>(w(), "Diagram1")->findChildren<QAbstractButton*>())
            captions << b->text();
        for (const QLabel* l : named<tarvel::ui::DiagramPage>(w(), "Diagram1")->findChildren<QLabel*>())
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
        for (TextPane* pane : {pane(w(), "Memo1"), pane(w(), "Memo2"), pane(w(), "Memo3"), pane(w(), "Memo4"), pane(w(), "Memo5"), pane(w(), "Memo6")}) {
            QCOMPARE(pane->font().family(), QStringLiteral("Liberation Mono"));
            QCOMPARE(pane->font().pointSize(), 12);
        }
        QCOMPARE(w().size(), QSize(650, 400));
        QCOMPARE(f->visibleEntries(menu(w(), "Afqk1")),
                 QStringList({QStringLiteral("Создать"), QStringLiteral("Открыть..."), QStringLiteral("Импорт..."), QStringLiteral("/data/B.cdu"),
                              QStringLiteral("Выход")}));
        QCOMPARE(w().document().recentFiles()[1], QStringLiteral("/data/B.cdu"));

        for (const char* name : {"network.out", "network.rez", "network.cdu", "losses.rez"})
            f->write(QLatin1String(name), "x");
        action(w(), "N3")->trigger();
        f->dialogs.answerSave(f->path(QStringLiteral("n.cdu")));
        action(w(), "N11")->trigger();  // takes the empty first slot
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

    // The window opens where it was left, beside its size; a place on no
    // screen any more leaves it centred.
    void positionIsKeptBesideTheSize()
    {
        f.reset();
        f = std::make_unique<WindowFixture>(QByteArray("[Parametr]\r\nHeight=400\r\nWidth=650\r\nLeft=30\r\nTop=40\r\n"));
        QCOMPARE(w().pos(), QPoint(30, 40));
        w().move(50, 60);
        w().close();
        const QByteArray ini = f->read(QStringLiteral("Vetrasol.ini"));
        QVERIFY(ini.contains("Left=50\r\n"));
        QVERIFY(ini.contains("Top=60\r\n"));
        QVERIFY(ini.contains("Width=650\r\n"));

        f.reset();
        f = std::make_unique<WindowFixture>(QByteArray("[Parametr]\r\nLeft=-20000\r\nTop=40\r\n"));
        QVERIFY(w().screen()->availableGeometry().contains(w().pos()));
    }

    void firstRecentKeyShowsTheSeparatorsAndSizesKeepTheMinimum()
    {
        f.reset();
        f = std::make_unique<WindowFixture>(
            QByteArray("[Files]\r\nfile1=/data/A.cdu\r\n[Parametr]\r\nHeight=50\r\nWidth=100\r\n"));
        QCOMPARE(f->visibleEntries(menu(w(), "Afqk1")),
                 QStringList({QStringLiteral("Создать"), QStringLiteral("Открыть..."), QStringLiteral("Импорт..."), QStringLiteral("-"),
                              QStringLiteral("/data/A.cdu"), QStringLiteral("-"), QStringLiteral("Выход")}));
        QCOMPARE(w().size(), QSize(600, 130));
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_mainwindow.moc"
