// "Расчет" → "Анализ отключений (N-1)...": the dialog, then the study of the
// network of the last run on the tab "Отключения" (ContingencyPage), and an
// outage of it, double-clicked in the table, on "Схема".
#pragma once

#include <QObject>

class QWidget;

namespace tarvel {
struct Calculation;
}

namespace tarvel::ui {

class ContingencyPage;
class FileFolders;
class DiagramPage;
class ReportTabs;
struct ImportedInput;

class ContingencyTab : public QObject {
    Q_OBJECT
public:
    // Adds the tab, hidden.
    ContingencyTab(QWidget* window, ReportTabs& tabs, DiagramPage& diagram, const Calculation& calculation,
                   const ImportedInput& imported, const FileFolders& folders);

    // Waits for a running study to end (as after its cancel button).
    void stop();
    bool running() const;
    // Asks for the study's files and starts it.
    void analyse();

signals:
    // A study started, or ended (completed or cancelled).
    void studyRunning(bool running);

private:
    void showOutageOnDiagram(int outage);

    QWidget* window_;
    ReportTabs& tabs_;
    DiagramPage& diagram_;
    const Calculation& calculation_;
    const ImportedInput& imported_;
    const FileFolders& folders_;
    ContingencyPage* page_ = nullptr;
};

}  // namespace tarvel::ui
