// The tab "Отключения": a contingency study run in the background with its
// progress, count and cancel button, then its outages in a sortable table
// that exports as CSV; a row's double-click asks for its outage on the diagram.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <thread>

#include <QElapsedTimer>
#include <QString>
#include <QWidget>

#include "app/ContingencyStudy.h"
#include "diagram/OutageOverlay.h"
#include "model/CalculationSettings.h"
#include "model/NetworkModel.h"
#include "study/Study.h"
#include "study/StudyInput.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTimer;

namespace tarvel::ui {

// What the study's dialog asks.
struct ContingencyRequest {
    QString listFile;    // empty: every branch on its own
    QString limitsFile;  // empty: none
    int threads = 0;     // 0: every core
    QString folder;      // where "Обзор..." opens before a file is named: the document's
};

// "Расчет по графику нагрузки...": the steps alone, or with the N-1 of
// every step; the limits (and threads) count either way.
struct ProfileRequest {
    bool withOutages = false;
    ContingencyRequest study;
};

// ", осталось около N с" (or "мин") at the pace of the outages done so far;
// empty before there is a pace to go by.
QString timeLeftText(qint64 elapsedMs, std::size_t done, std::size_t total);

// A study's input that cannot be taken, in a message box: a file that cannot
// be read as an error, a file with a wrong line as a warning.
void tellStudyProblem(QWidget* parent, const app::StudyProblem& problem);

class ContingencyPage : public QWidget {
    Q_OBJECT
public:
    explicit ContingencyPage(QWidget* parent = nullptr);
    ~ContingencyPage() override;

    // Reads the request's files against the network (caseData: what an
    // imported case adds) and starts the study in the background; a file
    // that cannot be taken is told (with its line) and false returned.
    // contingency.rez goes into workDir when the study completes.
    bool start(const NetworkModel& model, const CalculationSettings& settings, const CaseStudyData& caseData,
               const ContingencyRequest& request, const QString& workDir);
    bool running() const { return worker_.joinable(); }
    // Asks the study to stop; the outages under way finish, the table shows
    // those solved as partial, nothing is written.
    void cancel();
    // Waits for a running study to end (as after cancel).
    void stop();
    // The file "Экспорт в CSV..." proposes.
    void setProposedCsv(const QString& path) { proposedCsv_ = path; }
    // Writes the table as CSV (the outages in the order of the study).
    bool writeCsv(const QString& path) const;

    // The outage of a table row (in study order), -1 for none.
    int outageOfRow(int row) const;
    // The state that outage leaves, solved again from the base case as the
    // study solved it; none while a study runs or when there is no result.
    std::optional<diagram::OutageOverlay> overlayOf(int outage) const;
    // The network of the last study (nullptr before one has run).
    const NetworkModel* studiedModel() const;

    QTableWidget* table() const { return table_; }
    QProgressBar* progress() const { return progress_; }

signals:
    // The study ended (completed or cancelled); its table is shown.
    void finished(bool completed);
    // A row's double-click: its outage, in study order.
    void outageChosen(int outage);

private:
    void poll();
    void showResults();

    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* export_ = nullptr;
    QTableWidget* table_ = nullptr;
    QTimer* timer_ = nullptr;
    QElapsedTimer clock_;  // since the start, for the time left

    QString proposedCsv_ = QStringLiteral("contingencies.csv");
    std::size_t outageCount_ = 0;
    QString workDir_;

    StudyControl control_;
    std::atomic<bool> done_{false};
    std::thread worker_;
    app::ContingencyRun run_;  // written by the worker until done_
};

}  // namespace tarvel::ui
