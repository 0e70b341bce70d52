// The "Схема" tab: the diagram view with a search field, "fit to window",
// the reader's general findings and the progress of the layout, which runs
// in a background thread while the window stays responsive. It shows the
// base case of the run, or one outage of a contingency study over it.
#pragma once

#include <optional>

#include <QFutureWatcher>
#include <QWidget>

#include "diagram/Layout.h"
#include "diagram/OutageOverlay.h"
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

    // Shows the diagram of a run (its base case); the layout comes from the session's cache
    // when the topology is known, otherwise from a background thread.
    void showRun(diagram::DiagramData data);
    // Says that a network of this size is not drawn, instead of a picture.
    void showTooLarge(int nodes, int branches);
    void clear();
    // Shows an outage of a study of the network on display; why it cannot
    // (a Russian sentence) when the diagram shows no solved network of that
    // shape. The zoom and the place in view stay.
    QString showOutage(const diagram::Topology& studied, diagram::OutageOverlay overlay);
    bool showsOutage() const { return overlay_.has_value(); }

    bool isLayingOut() const;
    // Waits for a layout in progress; the picture is shown on return.
    void waitForLayout();
    // The picture on display (empty before the first run).
    const diagram::Picture& picture() const { return picture_; }

    DiagramView* view() const { return view_; }
    QLineEdit* searchField() const { return search_; }
    QLabel* statusLabel() const { return status_; }
    QLabel* outageLabel() const { return outage_; }
    QPushButton* baseCaseButton() const { return baseCase_; }

public slots:
    // Finds the node whose number is in the search field.
    void findNode();
    void focusSearch();
    // Back from an outage to the base case of the run.
    void showBaseCase();

signals:
    void nodeActivated(int record);
    void branchActivated(int record);

private:
    void showOrLayOut();
    void layoutFinished();
    void showPicture(const diagram::Layout& layout, bool keepView);
    void showOutageBar();

    DiagramView* view_ = nullptr;
    QLineEdit* search_ = nullptr;
    QPushButton* fit_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* notes_ = nullptr;
    QLabel* outage_ = nullptr;
    QPushButton* baseCase_ = nullptr;

    diagram::LayoutCache cache_;
    std::optional<diagram::DiagramData> data_;
    std::optional<diagram::OutageOverlay> overlay_;  // the outage shown over data_
    diagram::Picture picture_;
    QFutureWatcher<diagram::Layout> watcher_;
    bool layoutPending_ = false;
    diagram::Topology watchedTopology_;  // the topology being laid out
};

}  // namespace tarvel::ui
