#include "ui/TextPane.h"

#include "ui/PaneFont.h"

#include <algorithm>

#include <QAbstractTextDocumentLayout>
#include <QFontInfo>
#include <QFontMetricsF>
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
    connect(this, &QPlainTextEdit::textChanged, this, [this] { linesBefore_.counted = false; });
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
    result.line = displayedLinesBefore(caretBlock);
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

int TextPane::displayedLinesBefore(const QTextBlock& target) const
{
    QTextDocument* doc = document();
    const int width = viewport()->width();
    if (!linesBefore_.counted || linesBefore_.width != width || linesBefore_.font != font()) {
        linesBefore_.counts.assign(1, 0);
        linesBefore_.counted = true;
        linesBefore_.width = width;
        linesBefore_.font = font();
    }
    // counts[k] holds the displayed lines of blocks 0..k-1; they are counted
    // once per text, width and font, as far as a caret has gone.
    std::vector<int>& counts = linesBefore_.counts;
    const int wanted = target.isValid() ? target.blockNumber() : doc->blockCount();
    if (wanted >= static_cast<int>(counts.size())) {
        QAbstractTextDocumentLayout* docLayout = doc->documentLayout();
        const int fits = charactersThatCannotWrap();
        QTextBlock b = doc->findBlockByNumber(static_cast<int>(counts.size()) - 1);
        for (; b.isValid() && b.blockNumber() < wanted; b = b.next()) {
            int lines = 1;  // a line that cannot wrap needs no layout
            if (b.layout()->lineCount() != 0 || !cannotWrap(b, fits)) {
                docLayout->blockBoundingRect(b);  // lays out a block the view has not reached
                lines = std::max(1, b.layout()->lineCount());
            }
            counts.push_back(counts.back() + lines);
        }
    }
    return counts[std::min<std::size_t>(wanted, counts.size() - 1)];
}

int TextPane::charactersThatCannotWrap() const
{
    // In a fixed-pitch font every ASCII character has the same advance, so a
    // line of them shorter than the text width, less a margin of two
    // characters for the cursor and rounding, stays on one displayed line.
    // Laying out every block of a report of 100 000 lines takes seconds.
    if (!QFontInfo(font()).fixedPitch())
        return -1;
    const QFontMetricsF metrics(font());
    const qreal advance = metrics.horizontalAdvance(QLatin1Char('0'));
    if (advance <= 0 || metrics.horizontalAdvance(QLatin1Char('W')) != advance)
        return -1;
    const qreal room = viewport()->width() - 2 * document()->documentMargin() - 2 * advance;
    return room > 0 ? static_cast<int>(room / advance) : -1;
}

bool TextPane::cannotWrap(const QTextBlock& block, int fits)
{
    if (fits < 0 || block.length() - 1 > fits)
        return false;
    const QString text = block.text();
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F; });
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
