// The "Таблицы" tab: the nodes and branches of the input text as two grids,
// bound to the input pane's document both ways. An edited cell rewrites its
// field of its line in the document, as one step of the document's own undo
// history; an edit of the text reads the grids anew. The reader's findings
// are marked at their cells before any calculation.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <QWidget>

#include "app/NetworkTables.h"
#include "model/CalculationSettings.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QModelIndex;
class QSortFilterProxyModel;
class QTableView;
class QTextDocument;
class QTimer;

namespace tarvel {
struct NetworkResults;
}

namespace tarvel::ui {

class NetworkTableModel;
class RecordFilter;

class TablesPage : public QWidget {
    Q_OBJECT
public:
    TablesPage(QTextDocument* document, QWidget* parent = nullptr);
    ~TablesPage() override;

    // The figures of the last run beside the data (nullptr: none), the branches'
    // loading against the ratings of an imported case (MVA by branch slot 1..m).
    void showResults(const NetworkResults* results, const std::vector<double>& ratingsMva = {});
    // The calculation method decides what the reader checks (the full model's phase angles and ties).
    void setSettings(const CalculationSettings& settings);

    // Reads the document now, if it changed since it was last read.
    void refresh();

    // Selects the row of a node slot (0..n) or a branch slot (1..m) of the text.
    void selectNodeSlot(int slot);
    void selectBranchSlot(int slot);

    QTableView* nodeView() const { return nodeView_; }
    QTableView* branchView() const { return branchView_; }
    NetworkTableModel* nodeModel() const { return nodeModel_; }
    NetworkTableModel* branchModel() const { return branchModel_; }
    QLineEdit* numberFilter() const { return numberFilter_; }
    QComboBox* districtFilter() const { return districtFilter_; }
    QComboBox* voltageFilter() const { return voltageFilter_; }
    QLineEdit* factorField() const { return factor_; }
    QLabel* messageLabel() const { return message_; }
    const app::NetworkTables& tables() const { return tables_; }

public slots:
    // Bulk edits of the grid in focus (the node grid when neither has it).
    void pasteBlock();
    void fillDown();
    void multiplySelection();
    void addRecord();
    void removeSelectedRecords();

signals:
    // A row was chosen: its node, or its branch (slot 1..m) with the two ends, for the diagram.
    void nodeChosen(int number);
    void branchChosen(int slot, int start, int end);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    void readDocument();
    QString writeValues(app::Table table, const std::vector<app::CellValue>& values);
    void applyEdits(const std::vector<app::TextEdit>& edits);
    // The edits as one step of the document's undo history.
    void writeToDocument(const std::vector<app::TextEdit>& edits);
    bool rereadEditedLines(const std::vector<app::TextEdit>& edits);
    void updateFilters();
    void updateVoltageClasses();
    bool accepts(app::Table table, int row) const;
    QTableView* activeView() const;
    NetworkTableModel* modelOf(const QTableView* view) const;
    QSortFilterProxyModel* proxyOf(const QTableView* view) const;
    // The selected cells of a view as source rows and columns, in the order shown.
    std::vector<int> shownRows(const QTableView* view, int fromProxyRow) const;
    void tell(const QString& text);
    // One history with the text: the grids undo and redo the document's steps.
    void undoOrRedo(bool undo);
    // The finding of the current cell, in words under the grids.
    void tellFindingAt(const QModelIndex& current);

    QTextDocument* document_;
    CalculationSettings settings_;
    std::string text_;  // the document as last read, UTF-8
    std::vector<std::string_view> lines_;
    app::NetworkTables tables_;
    std::unordered_map<int32_t, double> unomOfNumber_;
    bool stale_ = true;
    bool writing_ = false;
    bool tellsFinding_ = false;  // the line under the grids tells the current cell's finding

    NetworkTableModel* nodeModel_ = nullptr;
    NetworkTableModel* branchModel_ = nullptr;
    RecordFilter* nodeProxy_ = nullptr;
    RecordFilter* branchProxy_ = nullptr;
    QTableView* nodeView_ = nullptr;
    QTableView* branchView_ = nullptr;
    QLineEdit* numberFilter_ = nullptr;
    QComboBox* districtFilter_ = nullptr;
    QComboBox* voltageFilter_ = nullptr;
    QLineEdit* factor_ = nullptr;
    QLabel* message_ = nullptr;
    QLabel* general_ = nullptr;
    QTimer* reread_ = nullptr;
};

}  // namespace tarvel::ui
