#include "ui/MainWindow.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QFontInfo>
#include <QLabel>
#include <QTabWidget>
#include <QTextCursor>

#include "model/WorkingFiles.h"
#include "ui/Dialogs.h"
#include "ui/Help.h"
#include "ui/TextEditor.h"
#include "ui/TextPane.h"
#include "ui/WindowText.h"

namespace tarvel::ui {

void TForm1::cutText()
{
    if (TextPane* pane = activePane())
        pane->cut();
}

void TForm1::copyText()
{
    if (TextPane* pane = activePane())
        pane->copy();
}

void TForm1::pasteText()
{
    if (TextPane* pane = activePane())
        pane->paste();
}

void TForm1::selectAllText()
{
    if (TextPane* pane = activePane())
        pane->selectAll();
}

void TForm1::undoText()
{
    if (TextPane* pane = activePane())
        pane->undo();
}

void TForm1::redoText()
{
    if (TextPane* pane = activePane())
        pane->redo();
}

void TForm1::findText()
{
    if (PageControl1->isHidden())
        return;
    QString text = Memo1->textCursor().hasSelection() ? Memo1->textCursor().selectedText() : textToFind_;
    if (!dialogs().askText(this, QStringLiteral("Найти"), QStringLiteral("Текст:"), text) || text.isEmpty())
        return;
    textToFind_ = text;
    findNextText();
}

void TForm1::findNextText()
{
    if (PageControl1->isHidden())
        return;
    if (textToFind_.isEmpty()) {
        findText();
        return;
    }
    activatePage(InputPage);
    // From the caret to the end, then once more from the top.
    if (!Memo1->find(textToFind_)) {
        const QTextCursor caret = Memo1->textCursor();
        Memo1->moveCursor(QTextCursor::Start);
        if (!Memo1->find(textToFind_)) {
            Memo1->setTextCursor(caret);
            dialogs().message(this, QStringLiteral("Текст \"%1\" не найден.").arg(textToFind_));
            return;
        }
    }
    Memo1->setFocus();
    showCaretStatus(Memo1);
}

void TForm1::choosePaneFont()
{
    // The panes hold the installed family, which the dialog finds; without a
    // style name it would select the family's first style, not the one shown.
    const QFont shown = Memo1->font();
    QFont font = shown;
    if (font.styleName().isEmpty())
        font.setStyleName(QFontInfo(shown).styleName());
    if (!dialogs().chooseFont(this, font))
        return;
    for (TextPane* pane : allPanes())
        pane->setFont(font);
    // The settings keep the family they named while the user keeps its look.
    if (font.family() != shown.family())
        windowSettings_.fontName = font.family();
}

namespace {

QString noEditorText()
{
    return QStringLiteral("Программа блокнот не найдена\n"
                          "Рабочий стол не открыл текстовый файл. Укажите текстовый редактор в переменной "
                          "окружения VISUAL или EDITOR (например, EDITOR=gedit) или выберите программу для "
                          "текстовых файлов в настройках рабочего стола.");
}

}  // namespace

void TForm1::exportEchoToEditor()
{
    if (!openReportInTextEditor(QString::fromLatin1(kEchoFile)))
        dialogs().message(this, noEditorText());
}

void TForm1::exportResultsToEditor()
{
    if (!openReportInTextEditor(QString::fromLatin1(kResultsFile)))
        dialogs().message(this, noEditorText());
}

void TForm1::showAbout()
{
    dialogs().message(this, QStringLiteral("Tarvel  V2.0"), QMessageBox::Information);
}

void TForm1::showHelpContents()
{
    showHelp(this, 100);
}

void TForm1::showHelpForFocus()
{
    int context = 100;
    for (const QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget()) {
        const QVariant value = w->property(kHelpContext);
        if (value.isValid()) {
            context = value.toInt();
            break;
        }
    }
    showHelp(this, context);
}

// ---------------------------------------------------------------- status bar

void TForm1::connectStatusEvents()
{
    for (TextPane* pane : {Memo1, Memo2, Memo3, Memo5, Memo6, Memo4}) {
        connect(pane, &TextPane::keyEvent, this, [this, pane] { showCaretStatus(pane); });
        connect(pane, &TextPane::mouseEvent, this, [this, pane] { showCaretStatus(pane); });
    }
    // Tab pages: shown, entered (the focus comes into the page's pane) and
    // clicked outside the pane.
    for (QWidget* page : {TabSheet1, TabSheet2, TabSheet3, TabSheet4, TabSheet5})
        page->installEventFilter(this);
    for (TextPane* pane : {Memo1, Memo2, Memo3, Memo5, Memo6})
        pane->installEventFilter(this);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    const QWidget* pages[] = {TabSheet1, TabSheet2, TabSheet3, TabSheet4, TabSheet5};
    const TextPane* panes[] = {Memo1, Memo2, Memo3, Memo5, Memo6};
    for (int i = 0; i < 5; ++i) {
        if (watched == pages[i]) {
            // A window restored from its minimized state shows its pages again
            // without any page being shown anew.
            if ((event->type() == QEvent::Show && !event->spontaneous()) || event->type() == QEvent::MouseButtonPress)
                showCaretStatusOfPage(i);
        } else if (watched == panes[i] && event->type() == QEvent::FocusIn) {
            // The focus coming back to the window (after a dialog, a menu or
            // another program) returns to the same pane and enters no page.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                showCaretStatusOfPage(i);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::showCaretStatusOfPage(int index)
{
    if (TextPane* pane = paneOfPage(index))
        showCaretStatus(pane);
}

void TForm1::showCaretStatus(TextPane* pane)
{
    const TextPane::Caret caret = pane->caret();
    statusPanels_[0]->setText(QStringLiteral("%1: %2").arg(caret.line + 1).arg(caret.column + 1));
    const bool marked = pane != Memo4 && pane->isModified();
    statusPanels_[1]->setText(marked ? QStringLiteral("модиф.") : QString());
    statusPanels_[2]->setText(QString());
}

QString TForm1::statusPanelText(int panel) const
{
    if (panel < 0 || panel > 2)
        return QString();
    return statusPanels_[static_cast<std::size_t>(panel)]->text();
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (shownOnce_)
        showCaretStatus(Memo1);
}

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    shownOnce_ = true;
}

}  // namespace tarvel::ui
