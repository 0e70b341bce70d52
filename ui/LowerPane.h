// The message pane below the tabs ("Panel1" with "Memo4"), under the
// window's splitter: the run's progress and warnings, the reader's error
// list, the summary of an import. Hidden until something is to be read.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QFrame;
class QSplitter;

namespace tarvel::ui {

class TextPane;

class LowerPane : public QObject {
    Q_OBJECT
public:
    // Adds the pane, hidden, below what the splitter already holds.
    explicit LowerPane(QSplitter* splitter);

    TextPane* pane() const { return pane_; }
    bool isShown() const;
    void show();
    void hide();
    // Shows text for reading: the pane keeps its caret, so the text can
    // still be walked and copied by keyboard.
    void showReadOnly(const QString& text);
    // Shows a file (network.err) with lines after it; false when the file
    // cannot be read (told).
    bool showFile(const QString& fileName, const QStringList& linesAfter);

private:
    void makeReadOnly();

    QSplitter* splitter_;
    QFrame* panel_ = nullptr;
    TextPane* pane_ = nullptr;
    int height_ = 77;
};

}  // namespace tarvel::ui
