#include "ui/TextPane.h"

#include "ui/PaneFont.h"

#include <algorithm>

#include <QAbstractTextDocumentLayout>
#include <QList>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextLayout>

#include "ui/CodePageFilter.h"

namespace tarvel::ui {

namespace {

// Keys that belong to the window's edit commands even while a pane has the
// focus: the commands work on the active tab's pane, not on the focused one.
bool isWindowEditKey(const QKeyEvent* e)
{
    const auto mods = e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    switch (e->key()) {
    case Qt::Key_Delete:
    case Qt::Key_Insert:
        return mods == Qt::ShiftModifier || (e->key() == Qt::Key_Insert && mods == Qt::ControlModifier);
    case Qt::Key_F5:
        return mods == Qt::NoModifier;
    default:
        return false;
    }
}

}  // namespace

TextPane::TextPane(const QString& name, QWidget* parent) : QPlainTextEdit(parent)
{
    setObjectName(name);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setFont(paneFont(builtInPaneFamily(), kBuiltInPaneSize));
}

QString TextPane::text() const
{
    QString raw = document()->toRawText();
    raw.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    raw.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return raw;
}

void TextPane::setText(const QString& text)
{
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    plain.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    setPlainText(plain);
}

bool TextPane::isModified() const
{
    return document()->isModified();
}

void TextPane::setModified(bool modified)
{
    document()->setModified(modified);
}

TextPane::Caret TextPane::caret() const
{
    const QTextCursor cursor = textCursor();
    const int offset = std::max(cursor.anchor(), cursor.position());
    QTextDocument* doc = document();
    QAbstractTextDocumentLayout* docLayout = doc->documentLayout();
    const QTextBlock caretBlock = doc->findBlock(offset);

    Caret result;
    for (QTextBlock b = doc->begin(); b.isValid() && b != caretBlock; b = b.next()) {
        docLayout->blockBoundingRect(b);  // lays out a block the view has not reached
        result.line += std::max(1, b.layout()->lineCount());
    }
    if (!caretBlock.isValid())
        return result;
    docLayout->blockBoundingRect(caretBlock);
    const int inBlock = offset - caretBlock.position();
    const QTextLine line = caretBlock.layout()->lineForTextPosition(inBlock);
    if (line.isValid()) {
        result.line += line.lineNumber();
        result.column = inBlock - line.textStart();
    } else {
        result.column = inBlock;
    }
    return result;
}

bool TextPane::event(QEvent* e)
{
    if (e->type() == QEvent::ShortcutOverride && isWindowEditKey(static_cast<QKeyEvent*>(e))) {
        e->ignore();  // leaves the key to the window's shortcut
        return true;
    }
    return QPlainTextEdit::event(e);
}

void TextPane::keyPressEvent(QKeyEvent* e)
{
    emit keyEvent();
    if (oemConvert_ && !isReadOnly()) {
        for (char32_t c : e->text().toUcs4()) {
            if (!oemRoundTrips(c)) {
                e->accept();  // the code page has no such character: nothing is typed
                return;
            }
        }
    }
    const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    if (enter && (e->modifiers() & Qt::ShiftModifier)) {
        // A line break is a line break: no in-paragraph separator that the
        // saved file could not hold.
        QKeyEvent plain(e->type(), e->key(), e->modifiers() & ~Qt::ShiftModifier, e->text(),
                        e->isAutoRepeat(), static_cast<ushort>(e->count()));
        QPlainTextEdit::keyPressEvent(&plain);
        e->setAccepted(plain.isAccepted());
        return;
    }
    QPlainTextEdit::keyPressEvent(e);
}

void TextPane::keyReleaseEvent(QKeyEvent* e)
{
    QPlainTextEdit::keyReleaseEvent(e);
    emit keyEvent();
}

void TextPane::mousePressEvent(QMouseEvent* e)
{
    QPlainTextEdit::mousePressEvent(e);
    emit mouseEvent();
}

void TextPane::mouseReleaseEvent(QMouseEvent* e)
{
    QPlainTextEdit::mouseReleaseEvent(e);
    emit mouseEvent();
}

void TextPane::inputMethodEvent(QInputMethodEvent* e)
{
    if (oemConvert_ && !e->commitString().isEmpty()) {
        QString kept;
        for (char32_t c : e->commitString().toUcs4())
            if (oemRoundTrips(c))
                kept.append(QString::fromUcs4(&c, 1));
        if (kept != e->commitString()) {
            QInputMethodEvent filtered(e->preeditString(), e->attributes());
            filtered.setCommitString(kept, e->replacementStart(), e->replacementLength());
            QPlainTextEdit::inputMethodEvent(&filtered);
            return;
        }
    }
    QPlainTextEdit::inputMethodEvent(e);
}

void TextPane::insertFromMimeData(const QMimeData* source)
{
    if (!source || !source->hasText())
        return;
    QString text = source->text();
    if (oemConvert_)
        text = replaceNonOem(text);
    QMimeData plain;
    plain.setText(text);
    QPlainTextEdit::insertFromMimeData(&plain);
}

}  // namespace tarvel::ui
