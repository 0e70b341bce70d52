// One grid of the "Таблицы" tab: the node or the branch records of the input
// text, a row per record, the reader's findings at their cells and the
// figures of the last run in read-only columns beside the data.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <QAbstractTableModel>

#include "app/NetworkTables.h"

namespace tarvel {
struct NetworkResults;
}

namespace tarvel::ui {

class NetworkTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The role that sorts: the figure of a cell, or its text where it has none.
    static constexpr int kSortRole = Qt::UserRole;
    // The line (from 1) of a row's record.
    static constexpr int kLineRole = Qt::UserRole + 1;

    // write: puts the values into the text; the refusal (Russian) when one is not written.
    using Writer = std::function<QString(app::Table, const std::vector<app::CellValue>&)>;

    NetworkTableModel(app::Table table, Writer writer, QObject* parent = nullptr);

    // The rows of a text just read; the lines are those of the same text.
    void setTables(const app::NetworkTables* tables, const std::vector<std::string_view>* lines);
    // The figures of the last run (nullptr: none yet), and the ratings (MVA) of
    // branch slots 1..m that an imported case gives (0: none).
    void setResults(const NetworkResults* results, std::vector<double> ratingsMva = {});

    app::Table table() const { return table_; }
    int dataColumns() const;
    const app::TableRecord* record(int row) const;
    // The slot the reader gives the row's record (node 0..n, branch 1..m), -1 for none.
    int slotOf(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // The text of a data cell as the record writes it ("" where it has no field).
    QString fieldText(int row, int column) const;

private:
    std::optional<int> fieldOf(int row, int column) const;
    QVariant resultValue(int row, int column) const;
    QString findingAt(int row, int column) const;

    app::Table table_;
    Writer writer_;
    const app::NetworkTables* tables_ = nullptr;
    const std::vector<std::string_view>* lines_ = nullptr;
    const NetworkResults* results_ = nullptr;
    std::vector<double> ratingsMva_;
    std::unordered_map<long long, QString> findings_;  // by row * 64 + column
    int rows_ = 0;
};

}  // namespace tarvel::ui
