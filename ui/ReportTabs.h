// The tab row of the main window ("PageControl1"): the input document, the
// four report panes, and the pages that the diagram and the studies add.
// Knows which tabs show and loads the reports of a run into their panes.
#pragma once

#include <array>

#include <QObject>
#include <QString>

class QLabel;
class QTabWidget;
class QWidget;

namespace tarvel::app {
struct WorkingFilePaths;
}

namespace tarvel::ui {

class TextPane;

class ReportTabs : public QObject {
    Q_OBJECT
public:
    // The pages in tab order.
    enum Page { Input, Echo, Results, Analysis, Allocation, Diagram, Chart, Contingency, Tables };

    // Builds the tab widget, hidden, as a child of parent, with the input
    // and report pages; only the input tab shows.
    ReportTabs(QWidget* parent, const QString& inputCaption);

    QTabWidget* widget() const { return tabs_; }
    TextPane* inputPane() const { return panes_[Input]; }
    // The pane of a text page, nullptr for the others.
    TextPane* paneOf(int page) const;
    // The five panes of the text pages.
    std::array<TextPane*, 5> textPanes() const;
    // The pane of the page shown, nullptr when that page has none.
    TextPane* activePane() const;

    // Adds the next page in tab order (Diagram, Chart, Contingency, Tables), its tab
    // hidden; returns the page, which holds content.
    QWidget* addPage(Page page, const char* pageName, const QString& caption, QWidget* content, int helpContext = -1);

    bool isShown(Page page) const;
    void setShown(Page page, bool shown);
    // Brings a page forward; a hidden tab's page never is.
    void activate(Page page);
    // Hides every tab but the input.
    void hideResults();

    // The input tab's caption as the user reads it, and as it is set.
    QString inputCaption() const;
    void setInputCaption(const QString& caption);

    // After a run whose input was rejected: no report tabs, the input
    // forward unless a tab that stays is shown.
    void hideReports();
    // After an accepted run: the echo and results tabs with their files,
    // the analysis and allocation tabs reloaded when they show, the results
    // forward. False when a file cannot be read (told).
    bool loadReports(const app::WorkingFilePaths& files);
    // Says above every report pane which state they show (a step of a load
    // profile); empty: the network as the input gives it, nothing said.
    void setStateNote(const QString& note);
    QString stateNote() const;

    // "Анализ потерь": its tab with network.rip, forward.
    void showLossAnalysis();
    // Loads losses.rez into the allocation pane.
    void loadLossAllocation();

signals:
    // A text page was shown, clicked or entered: its caret is the one to show.
    void paneEntered(TextPane* pane);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool loadPane(Page page, const QString& fileName);

    QTabWidget* tabs_ = nullptr;
    std::array<QWidget*, 5> pages_{};
    std::array<TextPane*, 5> panes_{};
    std::array<QLabel*, 5> notes_{};  // of the report pages; none on the input's
};

}  // namespace tarvel::ui
