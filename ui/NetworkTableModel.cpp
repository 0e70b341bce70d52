#include "ui/NetworkTableModel.h"

#include <algorithm>
#include <cmath>

#include <QBrush>
#include <QColor>
#include <QFont>

#include "model/NetworkModel.h"
#include "powerflow/NetworkResults.h"

namespace tarvel::ui {

namespace {

using app::BranchColumn;
using app::NodeColumn;
using app::RecordKind;

const char* const kNodeTitles[] = {"Запись", "Узел", "Район", "Uном, кВ", "P, МВт", "Q, Мвар", "Uфикс, кВ",
                                   "Qmin, Мвар", "Qmax, Мвар", "Gш, мкСм", "Bш, мкСм"};
const char* const kBranchTitles[] = {"N1", "N2", "Цепь", "R, Ом", "X, Ом", "B, мкСм", "Kт", "Угол Kт, °"};
const char* const kNodeResults[] = {"U, кВ", "Угол U, °", "Строка"};
const char* const kBranchResults[] = {"P12, МВт", "Q12, Мвар", "P21, МВт", "Q21, Мвар", "dP, МВт", "I, кА",
                                      "Загрузка, %", "Строка"};
constexpr int kNodeResultCount = 3;
constexpr int kBranchResultCount = 8;
constexpr int kLoadingResult = 6;

QString recordName(RecordKind kind, bool fixedVoltage)
{
    switch (kind) {
    case RecordKind::BaseNode: return QStringLiteral("Базисный");
    case RecordKind::Node: return fixedVoltage ? QStringLiteral("Узел, U фикс.") : QStringLiteral("Узел");
    case RecordKind::Shunt: return QStringLiteral("Шунт");
    case RecordKind::Branch: return QStringLiteral("Ветвь");
    }
    return {};
}

long long cellKey(int row, int column)
{
    return static_cast<long long>(row) * 64 + column;
}

}  // namespace

NetworkTableModel::NetworkTableModel(app::Table table, Writer writer, QObject* parent)
    : QAbstractTableModel(parent), table_(table), writer_(std::move(writer))
{
}

int NetworkTableModel::dataColumns() const
{
    return table_ == app::Table::Nodes ? static_cast<int>(NodeColumn::Count) : static_cast<int>(BranchColumn::Count);
}

void NetworkTableModel::setTables(const app::NetworkTables* tables, const std::vector<std::string_view>* lines)
{
    const int rows = tables ? static_cast<int>((table_ == app::Table::Nodes ? tables->nodes : tables->branches).size())
                            : 0;
    // The same rows keep the selection and the place in view while the text is edited.
    const bool sameRows = rows == rows_;
    if (!sameRows)
        beginResetModel();
    tables_ = tables;
    lines_ = lines;
    rows_ = rows;
    findings_.clear();
    if (tables_) {
        for (const app::CellFinding& f : table_ == app::Table::Nodes ? tables_->nodeFindings : tables_->branchFindings) {
            QString& text = findings_[cellKey(f.row, f.column)];
            text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + QString::fromStdString(f.text);
        }
    }
    if (!sameRows)
        endResetModel();
    else if (rows_ > 0)
        emit dataChanged(index(0, 0), index(rows_ - 1, columnCount() - 1));
}

void NetworkTableModel::setResults(const NetworkResults* results, std::vector<double> ratingsMva)
{
    results_ = results;
    ratingsMva_ = std::move(ratingsMva);
    if (rows_ > 0)
        emit dataChanged(index(0, dataColumns()), index(rows_ - 1, columnCount() - 1));
}

const app::TableRecord* NetworkTableModel::record(int row) const
{
    if (!tables_ || row < 0 || row >= rows_)
        return nullptr;
    const auto& rows = table_ == app::Table::Nodes ? tables_->nodes : tables_->branches;
    // The page reads a new text before it hands it over: rows beyond it are none.
    return row < static_cast<int>(rows.size()) ? &rows[static_cast<std::size_t>(row)] : nullptr;
}

int NetworkTableModel::slotOf(int row) const
{
    const app::TableRecord* r = record(row);
    if (!r)
        return -1;
    switch (r->kind) {
    case RecordKind::BaseNode: return row == tables_->baseRow ? 0 : -1;
    case RecordKind::Node:
    case RecordKind::Branch: return r->ordinal;
    case RecordKind::Shunt: return -1;
    }
    return -1;
}

int NetworkTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rows_;
}

int NetworkTableModel::columnCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return dataColumns() + (table_ == app::Table::Nodes ? kNodeResultCount : kBranchResultCount);
}

std::optional<int> NetworkTableModel::fieldOf(int row, int column) const
{
    const app::TableRecord* r = record(row);
    if (!r || column >= dataColumns())
        return std::nullopt;
    return table_ == app::Table::Nodes ? app::nodeField(r->kind, static_cast<NodeColumn>(column))
                                       : app::branchField(static_cast<BranchColumn>(column));
}

QString NetworkTableModel::fieldText(int row, int column) const
{
    const std::optional<int> field = fieldOf(row, column);
    if (!field)
        return {};
    const app::FieldPlace& place = record(row)->fields[static_cast<std::size_t>(*field)];
    if (place.line == 0 || !lines_ || place.line > static_cast<int>(lines_->size()))
        return {};
    const std::string_view line = (*lines_)[static_cast<std::size_t>(place.line - 1)];
    const std::string_view text = line.substr(static_cast<std::size_t>(place.begin),
                                              static_cast<std::size_t>(place.end - place.begin));
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QVariant NetworkTableModel::resultValue(int row, int column) const
{
    const int k = column - dataColumns();
    const app::TableRecord* r = record(row);
    if (k == (table_ == app::Table::Nodes ? kNodeResultCount : kBranchResultCount) - 1)
        return r->line;
    const int slot = slotOf(row);
    if (!results_ || slot < 0)
        return {};
    if (table_ == app::Table::Nodes) {
        if (slot >= static_cast<int>(results_->nodes.size()))
            return {};
        const NodeResult& n = results_->nodes[static_cast<std::size_t>(slot)];
        // Figures of another network than the one in the text are not shown as its own.
        if (n.number != static_cast<int32_t>(r->values[1]))
            return {};
        return k == 0 ? n.u : n.angle;
    }
    if (slot < 1 || slot > static_cast<int>(results_->branches.size()))
        return {};
    const BranchResult& b = results_->branches[static_cast<std::size_t>(slot - 1)];
    if (b.startNode != static_cast<int32_t>(r->values[1]) || b.endNode != static_cast<int32_t>(r->values[2]))
        return {};
    if (k == kLoadingResult) {
        // The larger apparent power of the two ends against the case's rating; none without one.
        const double rating = slot < static_cast<int>(ratingsMva_.size()) ? ratingsMva_[static_cast<std::size_t>(slot)] : 0.0;
        if (!(rating > 0.0))
            return {};
        return 100.0 * std::max(std::hypot(b.p12, b.q12), std::hypot(b.p21, b.q21)) / rating;
    }
    const double figures[] = {b.p12, b.q12, b.p21, b.q21, b.dP, b.current};
    return figures[k];
}

QString NetworkTableModel::findingAt(int row, int column) const
{
    const auto it = findings_.find(cellKey(row, column));
    return it == findings_.end() ? QString() : it->second;
}

QVariant NetworkTableModel::data(const QModelIndex& index, int role) const
{
    const app::TableRecord* r = record(index.row());
    if (!r)
        return {};
    const int column = index.column();
    if (role == kLineRole)
        return r->line;
    if (column >= dataColumns()) {
        const QVariant value = resultValue(index.row(), column);
        if (role == kSortRole)
            return value.isValid() ? value : QVariant(-1e300);
        if (role == Qt::DisplayRole && value.typeId() == QMetaType::Double) {
            const int k = column - dataColumns();
            const bool nodes = table_ == app::Table::Nodes;
            const int digits = (nodes && k == 1) || (!nodes && k == 5) ? 4 : (!nodes && k == kLoadingResult ? 1 : 3);
            return QString::number(value.toDouble(), 'f', digits);
        }
        if (role == Qt::DisplayRole)
            return value;
        if (role == Qt::BackgroundRole)
            return QBrush(QColor(0xF2, 0xF2, 0xF2));
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }
    const std::optional<int> field = fieldOf(index.row(), column);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        if (table_ == app::Table::Nodes && column == static_cast<int>(NodeColumn::Record))
            return recordName(r->kind, r->kind == RecordKind::Node && static_cast<float>(r->values[7]) > 0.1f);
        if (table_ == app::Table::Nodes && column == static_cast<int>(NodeColumn::District))
            return r->kind == RecordKind::Shunt ? QVariant() : QVariant(districtOf(static_cast<int32_t>(r->values[1])));
        if (table_ == app::Table::Branches && column == static_cast<int>(BranchColumn::Circuit))
            return tables_->circuits[static_cast<std::size_t>(index.row())];
        return fieldText(index.row(), column);
    case kSortRole:
        if (field)
            return r->values[static_cast<std::size_t>(*field)];
        return data(index, Qt::DisplayRole);
    case Qt::ToolTipRole: {
        const QString finding = findingAt(index.row(), column);
        if (!finding.isEmpty())
            return finding + QStringLiteral("\n(строка %1)").arg(r->line);
        return {};
    }
    case Qt::ForegroundRole:
        // Seen also where the selection's colour covers the background.
        if (!findingAt(index.row(), column).isEmpty())
            return QBrush(QColor(0xA0, 0x00, 0x00));
        return {};
    case Qt::FontRole:
        if (!findingAt(index.row(), column).isEmpty()) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::BackgroundRole:
        if (!findingAt(index.row(), column).isEmpty())
            return QBrush(QColor(0xFF, 0xC8, 0xC8));
        if (!field)
            return QBrush(QColor(0xF2, 0xF2, 0xF2));
        return {};
    case Qt::TextAlignmentRole:
        return int((column == 0 && table_ == app::Table::Nodes ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant NetworkTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    const bool nodes = table_ == app::Table::Nodes;
    if (role == Qt::ToolTipRole && orientation == Qt::Horizontal) {
        if (!nodes && section == static_cast<int>(BranchColumn::Phase))
            return QStringLiteral("Угол сдвига фазы трансформатора; учитывается только полной моделью "
                                  "(разреженный метод)");
        if (nodes && section == static_cast<int>(NodeColumn::ShuntG))
            return QStringLiteral("Активная проводимость шунта: читается, но в расчете не учитывается");
        if (section >= dataColumns())
            return QStringLiteral("Результат последнего расчета (только чтение)");
        return {};
    }
    if (role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Vertical)
        return section + 1;
    if (section < dataColumns())
        return QString::fromUtf8(nodes ? kNodeTitles[section] : kBranchTitles[section]);
    const int k = section - dataColumns();
    return QString::fromUtf8(nodes ? kNodeResults[k] : kBranchResults[k]);
}

Qt::ItemFlags NetworkTableModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (fieldOf(index.row(), index.column()) &&
        record(index.row())->fields[static_cast<std::size_t>(*fieldOf(index.row(), index.column()))].line != 0)
        f |= Qt::ItemIsEditable;
    return f;
}

bool NetworkTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !fieldOf(index.row(), index.column()))
        return false;
    const QString text = value.toString();
    if (text == fieldText(index.row(), index.column()))
        return false;
    const QString refusal = writer_(table_, {{index.row(), index.column(), text.toStdString()}});
    return refusal.isEmpty();
}

}  // namespace tarvel::ui
