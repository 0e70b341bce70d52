// "Расчет" → "Расчет по графику нагрузки...": the network of the input tab at
// every step of a load profile, on all cores in the background with a
// progress dialog that can cancel, then the "График" tab (SeriesPage). A
// click on a step loads that step's full reports; the chart exports as PNG
// and SVG.
#pragma once

#include <functional>
#include <memory>

#include <QObject>

class QWidget;

namespace tarvel {
struct Calculation;
struct LoadOverride;
class SeriesJob;
}

namespace tarvel::ui {

class FileFolders;
class LowerPane;
class ReportTabs;
class SeriesPage;
struct ImportedInput;

class SeriesTab : public QObject {
    Q_OBJECT
public:
    // The window's power flow of the input tab, with loads replaced when given.
    using Calculate = std::function<void(const LoadOverride& loads)>;

    // Adds the tab, hidden.
    SeriesTab(QWidget* window, ReportTabs& tabs, LowerPane& lowerPane, const Calculation& calculation,
              const ImportedInput& imported, FileFolders& folders, Calculate calculate);
    ~SeriesTab() override;

    // Asks for the profile and the study's options and runs the steps.
    void calculateLoadProfile();
    void exportPng();
    void exportSvg();

signals:
    // The chart of a run is on its tab: it can be exported.
    void chartShown();

private:
    // Loads the reports of one step of the chart's run.
    void showStep(int index);

    QWidget* window_;
    ReportTabs& tabs_;
    LowerPane& lowerPane_;
    const Calculation& calculation_;
    const ImportedInput& imported_;
    FileFolders& folders_;
    Calculate calculate_;
    SeriesPage* page_ = nullptr;
    std::shared_ptr<const SeriesJob> job_;  // the run the chart shows
};

}  // namespace tarvel::ui
