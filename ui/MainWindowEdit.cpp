#include "ui/MainWindow.h"

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextCursor>

#include "ui/Dialogs.h"
#include "ui/Help.h"
#include "ui/LowerPane.h"
#include "ui/ReportTabs.h"
#include "ui/TextEditor.h"
#include "ui/TextPane.h"
#include "ui/WindowText.h"

namespace tarvel::ui {

void TForm1::findText()
{
    if (reportTabs_->widget()->isHidden())
        return;
    const QTextCursor selection = inputPane()->textCursor();
    QString text = selection.hasSelection() ? selection.selectedText() : textToFind_;
    if (!dialogs().askText(this, QStringLiteral("Найти"), QStringLiteral("Текст:"), text) || text.isEmpty())
        return;
    textToFind_ = text;
    findNextText();
}

void TForm1::findNextText()
{
    if (reportTabs_->widget()->isHidden())
        return;
    if (textToFind_.isEmpty()) {
        findText();
        return;
    }
    TextPane* input = inputPane();
    reportTabs_->activate(ReportTabs::Input);
    // From the caret to the end, then once more from the top.
    if (!input->find(textToFind_)) {
        const QTextCursor caret = input->textCursor();
        input->moveCursor(QTextCursor::Start);
        if (!input->find(textToFind_)) {
            input->setTextCursor(caret);
            dialogs().message(this, QStringLiteral("Текст \"%1\" не найден.").arg(textToFind_));
            return;
        }
    }
    input->setFocus();
    showCaretStatus(input);
}

void TForm1::choosePaneFont()
{
    // The panes hold the installed family, which the dialog finds; without a
    // style name it would select the family's first style, not the one shown.
    const QFont shown = inputPane()->font();
    QFont font = shown;
    if (font.styleName().isEmpty())
        font.setStyleName(QFontInfo(shown).styleName());
    if (!dialogs().chooseFont(this, font))
        return;
    for (TextPane* pane : reportTabs_->textPanes())
        pane->setFont(font);
    lowerPane_->pane()->setFont(font);
    // The settings keep the family they named while the user keeps its look.
    if (font.family() != shown.family())
        windowSettings_.fontName = font.family();
}

void TForm1::openReportInEditor(const char* report)
{
    if (!openReportInTextEditor(QString::fromLatin1(report)))
        dialogs().message(this, QStringLiteral("Программа блокнот не найдена\n"
                                               "Рабочий стол не открыл текстовый файл. Укажите текстовый редактор "
                                               "в переменной окружения VISUAL или EDITOR (например, EDITOR=gedit) "
                                               "или выберите программу для текстовых файлов в настройках рабочего "
                                               "стола."));
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

void TForm1::createStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    const Qt::Alignment alignments[3] = {Qt::AlignCenter, Qt::AlignCenter, Qt::AlignLeft | Qt::AlignVCenter};
    for (int i = 0; i < 3; ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i + 1));
        panel->setMinimumWidth(50);
        panel->setAlignment(alignments[i]);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        bar->addWidget(panel);
        statusPanels_[static_cast<std::size_t>(i)] = panel;
    }
    workingFolderPanel_ = new QLabel(bar);
    workingFolderPanel_->setObjectName(QStringLiteral("WorkingFolderPanel"));
    bar->addPermanentWidget(workingFolderPanel_);
    workingFolderPanel_->hide();

    std::array<TextPane*, 6> panes{};
    std::ranges::copy(reportTabs_->textPanes(), panes.begin());
    panes.back() = lowerPane_->pane();
    for (TextPane* pane : panes) {
        connect(pane, &TextPane::keyEvent, this, [this, pane] { showCaretStatus(pane); });
        connect(pane, &TextPane::mouseEvent, this, [this, pane] { showCaretStatus(pane); });
    }
    connect(reportTabs_, &ReportTabs::paneEntered, this, &TForm1::showCaretStatus);
}

void TForm1::showCaretStatus(TextPane* pane)
{
    const TextPane::Caret caret = pane->caret();
    statusPanels_[0]->setText(QStringLiteral("%1: %2").arg(caret.line + 1).arg(caret.column + 1));
    const bool marked = pane != lowerPane_->pane() && pane->isModified();
    statusPanels_[1]->setText(marked ? QStringLiteral("модиф.") : QString());
    statusPanels_[2]->setText(QString());
}

QString TForm1::statusPanelText(int panel) const
{
    if (panel < 0 || panel > 2)
        return QString();
    return statusPanels_[static_cast<std::size_t>(panel)]->text();
}

void TForm1::showWorkingFolderNotice(const QString& text)
{
    workingFolderPanel_->setText(text);
    workingFolderPanel_->setToolTip(text);
    workingFolderPanel_->setVisible(!text.isEmpty());
}

QString TForm1::workingFolderNoticeText() const
{
    return workingFolderPanel_->text();
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (shownOnce_)
        showCaretStatus(inputPane());
}

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    shownOnce_ = true;
}

}  // namespace tarvel::ui
