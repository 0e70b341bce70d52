// One text pane of the main window: plain text, a vertical scroll bar only,
// long lines wrapped, its own modified flag, and the caret position counted in
// displayed (wrapped) lines.
#pragma once

#include <QPlainTextEdit>
#include <QTextBlock>

#include <vector>

namespace tarvel::ui {

class TextPane : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TextPane(const QString& name, QWidget* parent = nullptr);

    // Typed characters pass through the DOS code page and back: a key whose
    // character does not survive is refused, inserted text has such
    // characters replaced by '?'.
    void setOemConvert(bool on) { oemConvert_ = on; }
    bool oemConvert() const { return oemConvert_; }

    // The text with "\n" between lines (no-break spaces kept).
    QString text() const;
    // Replaces the text; any CR LF, lone CR or lone LF starts a new line.
    void setText(const QString& text);

    bool isModified() const;
    void setModified(bool modified);

    // The caret as the status bar shows it: the end of the selection, its
    // displayed line from 0 (wrapped parts count as lines) and the offset
    // from the start of that displayed line.
    struct Caret {
        int line = 0;
        int column = 0;
    };
    Caret caret() const;

signals:
    // Key down (before the key takes effect) and key up.
    void keyEvent();
    // Mouse button down and up (after the click has moved the caret).
    void mouseEvent();

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    // The longest line of printable ASCII characters that certainly stays on
    // one displayed line at the present width; -1 when the font gives no
    // such certainty.
    int charactersThatCannotWrap() const;
    static bool cannotWrap(const QTextBlock& block, int fits);
    // Displayed lines of the blocks before this one (wrapped parts count).
    int displayedLinesBefore(const QTextBlock& block) const;

    struct LinesBefore {
        bool counted = false;  // cleared whenever the text changes
        int width = -1;
        QFont font;
        std::vector<int> counts{0};
    };
    mutable LinesBefore linesBefore_;

    bool oemConvert_ = false;
};

}  // namespace tarvel::ui
