// The "Схема" tab: the diagram view with a search field, "fit to window",
// the reader's general findings and the progress of the layout, which runs
// in a background thread while the window stays responsive.
#pragma once

#include <optional>

#include <QFutureWatcher>
#include <QWidget>

#include "diagram/Layout.h"
#include "diagram/Picture.h"
#include "diagram/RunDiagram.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace tarvel::ui {

class DiagramView;

class DiagramPage : public QWidget {
    Q_OBJECT
public:
    explicit DiagramPage(QWidget* parent = nullptr);
    ~DiagramPage() override;

    // Shows the diagram of a run; the layout comes from the session's cache
    // when the topology is known, otherwise from a background thread.
    void showRun(diagram::DiagramData data);
    // Says that a network of this size is not drawn, instead of a picture.
    void showTooLarge(int nodes, int branches);
    void clear();

    bool isLayingOut() const;
    // Waits for a layout in progress; the picture is shown on return.
    void waitForLayout();
    // The picture on display (empty before the first run).
    const diagram::Picture& picture() const { return picture_; }

    DiagramView* view() const { return view_; }
    QLineEdit* searchField() const { return search_; }
    QLabel* statusLabel() const { return status_; }

public slots:
    // Finds the node whose number is in the search field.
    void findNode();
    void focusSearch();

signals:
    void nodeActivated(int record);
    void branchActivated(int record);

private:
    void showOrLayOut();
    void layoutFinished();
    void showPicture(const diagram::Layout& layout);

    DiagramView* view_ = nullptr;
    QLineEdit* search_ = nullptr;
    QPushButton* fit_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* notes_ = nullptr;

    diagram::LayoutCache cache_;
    std::optional<diagram::DiagramData> data_;
    diagram::Picture picture_;
    QFutureWatcher<diagram::Layout> watcher_;
    bool layoutPending_ = false;
    diagram::Topology watchedTopology_;  // the topology being laid out
};

}  // namespace tarvel::ui
