#include "ui/LowerPane.h"

#include <algorithm>

#include <QFrame>
#include <QSplitter>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include "ui/PaneFiles.h"
#include "ui/TextPane.h"

namespace tarvel::ui {

LowerPane::LowerPane(QSplitter* splitter) : QObject(splitter), splitter_(splitter)
{
    panel_ = new QFrame(splitter);
    panel_->setObjectName(QStringLiteral("Panel1"));
    panel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel_->setLineWidth(1);
    panel_->setMinimumHeight(60);
    auto* layout = new QVBoxLayout(panel_);
    layout->setContentsMargins(1, 1, 1, 1);
    pane_ = new TextPane(QStringLiteral("Memo4"), panel_);
    QPalette grey = pane_->palette();
    grey.setColor(QPalette::Base, grey.color(QPalette::Button));
    pane_->setPalette(grey);
    layout->addWidget(pane_);

    splitter->addWidget(panel_);
    const int index = splitter->indexOf(panel_);
    splitter->setStretchFactor(index - 1, 1);
    splitter->setStretchFactor(index, 0);
    splitter->handle(index)->setObjectName(QStringLiteral("Splitter1"));
    panel_->hide();
}

bool LowerPane::isShown() const
{
    return !panel_->isHidden();
}

void LowerPane::show()
{
    if (!panel_->isHidden())
        return;
    panel_->show();
    // The splitter would show its handle only on its next layout pass.
    splitter_->handle(splitter_->indexOf(panel_))->show();
    const int total = splitter_->height() - splitter_->handleWidth();
    splitter_->setSizes({std::max(0, total - height_), height_});
}

void LowerPane::hide()
{
    if (panel_->isHidden())
        return;
    if (panel_->isVisible())
        height_ = panel_->height();
    panel_->hide();
    splitter_->handle(splitter_->indexOf(panel_))->hide();
}

void LowerPane::showReadOnly(const QString& text)
{
    pane_->setText(text);
    makeReadOnly();
    show();
}

bool LowerPane::showFile(const QString& fileName, const QStringList& linesAfter)
{
    if (!loadPane(pane_->window(), pane_, fileName))
        return false;
    if (!linesAfter.isEmpty()) {
        // After the file's text, whose last line has its end.
        QTextCursor cursor(pane_->document());
        cursor.movePosition(QTextCursor::End);
        const bool lineEnded = cursor.block().text().isEmpty();
        cursor.insertText((lineEnded ? QString() : QStringLiteral("\n")) + linesAfter.join(QLatin1Char('\n')));
    }
    makeReadOnly();
    show();
    return true;
}

void LowerPane::makeReadOnly()
{
    pane_->setReadOnly(true);
    // Read-only keeps the caret: the list can still be walked and copied by keyboard.
    pane_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

}  // namespace tarvel::ui
