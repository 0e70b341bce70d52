#include "app/NetworkTables.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <map>
#include <set>
#include <utility>

#include "model/CduTokenizer.h"
#include "model/MessageSink.h"
#include "model/NetworkModel.h"
#include "model/ReadNetworkData.h"
#include "model/TextFile.h"
#include "powerflow/PowerFlowRun.h"

namespace tarvel::app {

namespace {

constexpr int kNodeFields = 10;    // 0102 and 0201: flag, number, eight reals
constexpr int kBranchFields = 10;  // 0301: flag, N1, N2, seven reals
constexpr int kShuntFields = 5;    // 0301 with N2 = 0: flag, N1, 0, g, b

bool isBlank(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; });
}

// The lines of a text as scanRecords counts them (line k at index k - 1).
std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

// Reads the fields of one record in the reader's order, noting where each
// is written; once one is not read, no later one is.
class PlacedFields {
public:
    PlacedFields(CduTokenizer& in, TableRecord& record) : in_(in), record_(record) {}

    bool integer()
    {
        return take([this](double& v) {
            int32_t i = 0;
            const bool ok = in_.readInt(i);
            v = i;
            return ok;
        });
    }
    bool real()
    {
        return take([this](double& v) {
            float f = 0.0f;
            return in_.readReal(f, v);
        });
    }
    bool complete() const { return read_; }
    // The field the reading stopped at, -1 when it did not stop in a field.
    int stoppedAt() const { return stoppedAt_; }

private:
    template <typename Read>
    bool take(Read read)
    {
        FieldPlace place;
        double value = 0.0;
        if (read_) {
            const bool more = !in_.atEnd();
            const int line = in_.line();
            const int begin = static_cast<int>(in_.column() - 1);
            if (read(value)) {
                place = {line, begin, static_cast<int>(in_.column() - 1)};
            } else {
                read_ = false;
                if (more) {
                    // The word that is no number keeps its place: the cell shows where to mend.
                    place = {line, begin, begin + static_cast<int>(in_.peekWord(4096).size())};
                    stoppedAt_ = static_cast<int>(record_.fields.size());
                }
            }
        }
        record_.fields.push_back(place);
        record_.values.push_back(value);
        return read_;
    }

    CduTokenizer& in_;
    TableRecord& record_;
    bool read_ = true;
    int stoppedAt_ = -1;
};

struct CellOf {
    Table table;
    int row;
    int column;
};

// Where the reader's stop lands, kept between the scan and the reading.
struct ScanStop {
    std::optional<CellOf> cell;
};

std::optional<int> columnOfField(const TableRecord& record, int field)
{
    if (record.kind == RecordKind::Branch) {
        for (int c = 0; c < static_cast<int>(BranchColumn::Count); ++c)
            if (branchField(static_cast<BranchColumn>(c)) == field)
                return c;
        return std::nullopt;
    }
    for (int c = 0; c < static_cast<int>(NodeColumn::Count); ++c)
        if (nodeField(record.kind, static_cast<NodeColumn>(c)) == field)
            return c;
    return std::nullopt;
}

// Reads the fields after a record's code in the reader's layout; false for
// a code that makes no row.
bool readFields(int32_t code, TableRecord& record, PlacedFields& fields)
{
    switch (code) {
    case 102:
    case 201:
        record.kind = code == 102 ? RecordKind::BaseNode : RecordKind::Node;
        fields.integer();
        fields.integer();
        for (int k = 2; k < kNodeFields; ++k)
            fields.real();
        return true;
    case 301: {
        fields.integer();
        fields.integer();
        fields.integer();
        const bool shunt = record.fields[2].line != 0 && record.values[2] == 0.0;
        record.kind = shunt ? RecordKind::Shunt : RecordKind::Branch;
        for (int k = 3; k < (shunt ? kShuntFields : kBranchFields); ++k)
            fields.real();
        return true;
    }
    default:
        return false;
    }
}

NetworkTables scan(std::string_view paneText, ScanStop& stop)
{
    NetworkTables tables;
    CduTokenizer in(paneText);
    int nodeOrdinal = 0, branchOrdinal = 0, shuntOrdinal = 0;
    for (;;) {
        if (in.atEnd())
            break;
        TableRecord record;
        record.line = in.line();
        int32_t code = 0;
        if (!in.readInt(code))
            break;
        record.codeEnd = static_cast<int>(in.column() - 1);
        PlacedFields fields(in, record);
        if (readFields(code, record, fields)) {
            std::vector<TableRecord>& into = record.kind == RecordKind::Branch ? tables.branches : tables.nodes;
            switch (record.kind) {
            case RecordKind::BaseNode: record.ordinal = 0; break;
            case RecordKind::Node: record.ordinal = ++nodeOrdinal; break;
            case RecordKind::Shunt: record.ordinal = ++shuntOrdinal; break;
            case RecordKind::Branch: record.ordinal = ++branchOrdinal; break;
            }
            if (fields.stoppedAt() >= 0)
                if (const auto column = columnOfField(record, fields.stoppedAt()))
                    stop.cell = CellOf{&into == &tables.nodes ? Table::Nodes : Table::Branches,
                                       static_cast<int>(into.size()), *column};
            into.push_back(std::move(record));
        }
        if (!fields.complete())
            break;
    }

    tables.nodeRowOfSlot.assign(static_cast<std::size_t>(nodeOrdinal) + 1, -1);
    for (int r = 0; r < static_cast<int>(tables.nodes.size()); ++r) {
        const TableRecord& record = tables.nodes[r];
        if (record.kind == RecordKind::BaseNode)
            tables.baseRow = r;
        else if (record.kind == RecordKind::Node)
            tables.nodeRowOfSlot[record.ordinal] = r;
    }
    tables.nodeRowOfSlot[0] = tables.baseRow;
    tables.branchRowOfSlot.assign(static_cast<std::size_t>(branchOrdinal) + 1, -1);
    std::map<std::pair<int64_t, int64_t>, int> circuits;
    for (int r = 0; r < static_cast<int>(tables.branches.size()); ++r) {
        const TableRecord& record = tables.branches[r];
        tables.branchRowOfSlot[record.ordinal] = r;
        const auto a = static_cast<int64_t>(record.values[1]);
        const auto b = static_cast<int64_t>(record.values[2]);
        tables.circuits.push_back(++circuits[{std::min(a, b), std::max(a, b)}]);
    }
    return tables;
}

bool overflowsFloat(double v)
{
    return !std::isfinite(static_cast<float>(v));
}

// The cells of a row that hold a value too large for the reader's floats.
std::vector<int> overflowingColumns(const TableRecord& record)
{
    std::vector<int> columns;
    for (int f = 0; f < static_cast<int>(record.values.size()); ++f)
        if (overflowsFloat(record.values[f]))
            if (const auto c = columnOfField(record, f))
                columns.push_back(*c);
    return columns;
}

// The columns of a node row that a finding of this kind concerns.
std::vector<int> nodeColumnsOf(const Finding& finding, const TableRecord& record)
{
    switch (finding.kind) {
    case FindingKind::NominalVoltage: {
        // The reader checks the fixed voltage where it replaces the nominal one.
        const bool fixed = record.kind == RecordKind::Node && static_cast<float>(record.values[7]) > 0.1f;
        return {static_cast<int>(fixed ? NodeColumn::FixedVoltage : NodeColumn::Unom)};
    }
    case FindingKind::CrossedLimits:
        return {static_cast<int>(NodeColumn::Qmin), static_cast<int>(NodeColumn::Qmax)};
    case FindingKind::NotFinite:
        return overflowingColumns(record);
    default:
        return {static_cast<int>(NodeColumn::Number)};
    }
}

std::vector<int> branchColumnsOf(const Finding& finding, const TableRecord& record)
{
    switch (finding.kind) {
    case FindingKind::BranchWithoutNodes:
        return {static_cast<int>(BranchColumn::Start), static_cast<int>(BranchColumn::End)};
    case FindingKind::Reactance:
    case FindingKind::TieConflict:
        return {static_cast<int>(BranchColumn::X)};
    case FindingKind::Susceptance:
        return {static_cast<int>(BranchColumn::B)};
    case FindingKind::TransformerAtBase:
    case FindingKind::TieTransformer:
        return {static_cast<int>(BranchColumn::Kt)};
    case FindingKind::PhaseAngle:
        return {static_cast<int>(BranchColumn::Phase)};
    case FindingKind::NotFinite:
        return overflowingColumns(record);
    default:
        return {static_cast<int>(BranchColumn::Start)};
    }
}

std::string joinedLines(const Finding& finding)
{
    std::string text;
    for (const std::string& line : findingLines(finding))
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

void markRow(NetworkTables& tables, Table table, int row, const std::vector<int>& columns, const std::string& text)
{
    const TableRecord& record = (table == Table::Nodes ? tables.nodes : tables.branches)[row];
    auto& into = table == Table::Nodes ? tables.nodeFindings : tables.branchFindings;
    for (const int c : columns)
        into.push_back({row, c, record.line, text});
}

void mapFinding(NetworkTables& tables, const Finding& finding)
{
    const std::string text = joinedLines(finding);
    if (finding.branch && finding.slot > 0 && finding.slot < static_cast<int>(tables.branchRowOfSlot.size())) {
        const int row = tables.branchRowOfSlot[finding.slot];
        markRow(tables, Table::Branches, row, branchColumnsOf(finding, tables.branches[row]), text);
        return;
    }
    if (!finding.branch && finding.slot >= 0 && finding.slot < static_cast<int>(tables.nodeRowOfSlot.size()) &&
        tables.nodeRowOfSlot[finding.slot] >= 0) {
        const int row = tables.nodeRowOfSlot[finding.slot];
        markRow(tables, Table::Nodes, row, nodeColumnsOf(finding, tables.nodes[row]), text);
        return;
    }
    if (finding.recordLine > 0 && !finding.branch) {
        for (int r = 0; r < static_cast<int>(tables.nodes.size()); ++r)
            if (tables.nodes[r].line == finding.recordLine && tables.nodes[r].kind != RecordKind::Shunt)
                markRow(tables, Table::Nodes, r, nodeColumnsOf(finding, tables.nodes[r]), text);
        return;
    }
    if (finding.kind == FindingKind::NotJoinedToBase) {
        const std::set<int32_t> apart(finding.nodes.begin(), finding.nodes.end());
        for (int r = 0; r < static_cast<int>(tables.nodes.size()); ++r) {
            const TableRecord& record = tables.nodes[r];
            if (record.kind == RecordKind::Node && apart.count(static_cast<int32_t>(record.values[1])))
                markRow(tables, Table::Nodes, r, {static_cast<int>(NodeColumn::Number)}, finding.text);
        }
    }
    tables.generalFindings.push_back(text);
}

bool isReadingStop(const std::string& warning)
{
    return warning.starts_with("Данные прочитаны не полностью") || warning.starts_with("Данные кончились");
}

std::string trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return std::string(s);
}

// The text a cell's value is written with, or why it is refused.
std::pair<std::string, std::string> figureOf(std::string_view typed, bool integer)
{
    std::string text = trimmed(typed);
    std::replace(text.begin(), text.end(), ',', '.');
    if (text.empty())
        return {"", "Пустое значение: введите число"};
    CduTokenizer in(text);
    bool read = false;
    if (integer) {
        int32_t value = 0;
        read = in.readInt(value);
        int64_t wide = 0;
        const auto [ptr, ec] = std::from_chars(text.data() + (text[0] == '+'), text.data() + text.size(), wide);
        if (read && in.atEnd() && (ec != std::errc{} || wide != value))
            return {"", "Число \"" + text + "\" вне пределов целых чисел"};
    } else {
        float value = 0.0f;
        read = in.readReal(value);
    }
    if (!read || !in.atEnd())
        return {"", "Текст \"" + text + "\" не является " + (integer ? "целым числом" : "числом")};
    return {text, ""};
}

const std::vector<TableRecord>& rowsOf(const NetworkTables& tables, Table table)
{
    return table == Table::Nodes ? tables.nodes : tables.branches;
}

// Where the record's last field is written (its code, when no field was read).
FieldPlace lastPlaceOf(const TableRecord& record)
{
    FieldPlace last{record.line, record.codeEnd, record.codeEnd};
    for (const FieldPlace& f : record.fields)
        if (f.line != 0)
            last = f;
    return last;
}

// Where the record's code begins on its line: the code's digits end at
// codeEnd, and the token runs back to white space.
int codeBeginOf(std::string_view line, const TableRecord& record)
{
    int begin = record.codeEnd;
    while (begin > 0 && line[begin - 1] != ' ' && line[begin - 1] != '\t' && line[begin - 1] != '\r' &&
           line[begin - 1] != '\v' && line[begin - 1] != '\f')
        --begin;
    return begin;
}

}  // namespace

int TableRecord::lastLine() const
{
    int last = line;
    for (const FieldPlace& f : fields)
        last = std::max(last, f.line);
    return last;
}

std::optional<int> nodeField(RecordKind kind, NodeColumn column)
{
    switch (kind) {
    case RecordKind::BaseNode:
    case RecordKind::Node:
        switch (column) {
        case NodeColumn::Number: return 1;
        case NodeColumn::Unom: return 2;
        case NodeColumn::P: return 3;
        case NodeColumn::Q: return 4;
        case NodeColumn::FixedVoltage:
            return kind == RecordKind::Node ? std::optional<int>(7) : std::nullopt;
        case NodeColumn::Qmin:
            return kind == RecordKind::Node ? std::optional<int>(8) : std::nullopt;
        case NodeColumn::Qmax:
            return kind == RecordKind::Node ? std::optional<int>(9) : std::nullopt;
        default: return std::nullopt;
        }
    case RecordKind::Shunt:
        switch (column) {
        case NodeColumn::Number: return 1;
        case NodeColumn::ShuntG: return 3;
        case NodeColumn::ShuntB: return 4;
        default: return std::nullopt;
        }
    case RecordKind::Branch:
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<int> branchField(BranchColumn column)
{
    switch (column) {
    case BranchColumn::Start: return 1;
    case BranchColumn::End: return 2;
    case BranchColumn::R: return 3;
    case BranchColumn::X: return 4;
    case BranchColumn::B: return 5;
    case BranchColumn::Kt: return 6;
    case BranchColumn::Phase: return 7;
    default: return std::nullopt;
    }
}

bool isIntegerField(RecordKind kind, int field)
{
    return field <= 1 || (field == 2 && (kind == RecordKind::Branch || kind == RecordKind::Shunt));
}

NetworkTables scanRecords(std::string_view paneText)
{
    ScanStop stop;
    return scan(paneText, stop);
}

NetworkTables readTables(std::string_view paneText, const CalculationSettings& settings)
{
    ScanStop stop;
    NetworkTables tables = scan(paneText, stop);
    NetworkModel model;
    clearRunTables(model);
    model.method = settings.method;
    model.qLimits = settings.qLimits;
    CollectingSink sink;
    const NetworkReading reading = readNetworkText(model, paneTextToCduBytes(paneText), sink);
    tables.accepted = reading.accepted;
    for (const std::string& warning : sink.warnings) {
        if (isReadingStop(warning) && stop.cell) {
            auto& into = stop.cell->table == Table::Nodes ? tables.nodeFindings : tables.branchFindings;
            const TableRecord& record = rowsOf(tables, stop.cell->table)[stop.cell->row];
            into.push_back({stop.cell->row, stop.cell->column, record.line, warning});
        } else {
            tables.generalFindings.push_back(warning);
        }
    }
    for (const std::string& message : sink.messages)
        tables.generalFindings.push_back(message);
    for (const Finding& finding : reading.findings)
        mapFinding(tables, finding);
    return tables;
}

std::string applyEdit(std::string_view text, const TextEdit& edit)
{
    std::vector<std::string_view> lines = splitLines(text);
    std::string out;
    out.reserve(text.size() + 256);
    const auto first = static_cast<std::size_t>(edit.firstLine - 1);
    auto put = [&out, started = false](std::string_view line) mutable {
        if (started)
            out += '\n';
        out += line;
        started = true;
    };
    for (std::size_t k = 0; k < first && k < lines.size(); ++k)
        put(lines[k]);
    for (const std::string& line : edit.lines)
        put(line);
    for (std::size_t k = first + static_cast<std::size_t>(edit.removed); k < lines.size(); ++k)
        put(lines[k]);
    return out;
}

CellWrite writeCells(std::string_view paneText, const NetworkTables& tables, Table table,
                     const std::vector<CellValue>& values)
{
    CellWrite write;
    const std::vector<TableRecord>& rows = rowsOf(tables, table);
    // Per line, the new text of each field by its first byte; a later value for the same field wins.
    std::map<int, std::map<int, std::pair<int, std::string>>> changes;
    for (const CellValue& value : values) {
        if (value.row < 0 || value.row >= static_cast<int>(rows.size()))
            continue;
        const TableRecord& record = rows[value.row];
        const std::optional<int> field = table == Table::Nodes
                                             ? nodeField(record.kind, static_cast<NodeColumn>(value.column))
                                             : branchField(static_cast<BranchColumn>(value.column));
        if (!field) {
            write.refusals.push_back({value.row, value.column, "Эта ячейка не является полем записи"});
            continue;
        }
        const FieldPlace& place = record.fields[*field];
        if (place.line == 0) {
            write.refusals.push_back({value.row, value.column,
                                      "Запись в строке " + formatInt(record.line) +
                                          " не дочитана до этого поля; допишите её в тексте"});
            continue;
        }
        auto [figure, problem] = figureOf(value.text, isIntegerField(record.kind, *field));
        if (!problem.empty()) {
            write.refusals.push_back({value.row, value.column, problem});
            continue;
        }
        changes[place.line][place.begin] = {place.end, std::move(figure)};
    }
    if (changes.empty())
        return write;
    const std::vector<std::string_view> lines = splitLines(paneText);
    for (const auto& [line, fields] : changes) {
        std::string text(lines[static_cast<std::size_t>(line - 1)]);
        for (auto it = fields.rbegin(); it != fields.rend(); ++it) {
            const auto begin = static_cast<std::size_t>(it->first);
            // A word that stopped the reading may stick to the figure before it ("10,5").
            const bool glued = begin > 0 && !isBlank(text.substr(begin - 1, 1));
            text.replace(begin, static_cast<std::size_t>(it->second.first - it->first),
                         (glued ? " " : "") + it->second.second);
        }
        write.edits.push_back({line, 1, {std::move(text)}});
    }
    return write;
}

std::vector<CellValue> pastedValues(std::string_view block, const std::vector<int>& rows,
                                    const std::vector<int>& columns)
{
    std::vector<std::string_view> lines = splitLines(block);
    if (!lines.empty() && trimmed(lines.back()).empty())
        lines.pop_back();
    std::vector<CellValue> values;
    for (std::size_t r = 0; r < lines.size() && r < rows.size(); ++r) {
        std::string_view line = lines[r];
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        std::size_t c = 0;
        std::size_t start = 0;
        for (;;) {
            const std::size_t tab = line.find('\t', start);
            if (c < columns.size())
                values.push_back({rows[r], columns[c], std::string(line.substr(start, tab - start))});
            if (tab == std::string_view::npos)
                break;
            start = tab + 1;
            ++c;
        }
    }
    return values;
}

std::string scaledFigure(double value, double factor)
{
    return formatGeneral(value * factor, 0, 7);
}

TextEdit appendRecord(std::string_view paneText, const NetworkTables& tables, Table table)
{
    const std::vector<std::string_view> lines = splitLines(paneText);
    const RecordKind kind = table == Table::Nodes ? RecordKind::Node : RecordKind::Branch;
    const std::vector<TableRecord>& rows = rowsOf(tables, table);
    const TableRecord* last = nullptr;
    for (const TableRecord& record : rows)
        if (record.kind == kind)
            last = &record;
    int64_t largest = 0;
    for (const TableRecord& record : tables.nodes)
        if (record.kind != RecordKind::Shunt)
            largest = std::max(largest, static_cast<int64_t>(record.values[1]));
    const int lineCount = static_cast<int>(lines.size());
    // The text's last line is empty when the text ends with a line end: the record goes before it.
    const int endLine = lines.back().empty() && lineCount > 1 ? lineCount - 1 : lineCount;
    const bool crLf = !lines.empty() && lines.front().ends_with('\r');
    const std::string lineEnd = crLf ? "\r" : "";
    if (!last || last->lastLine() != last->line) {
        std::string line;
        if (table == Table::Nodes) {
            const double unom = tables.baseRow >= 0 ? tables.nodes[tables.baseRow].values[2] : 110.0;
            line = "0201 0 " + formatInt(largest + 1) + " " + formatGeneral(unom, 0, 7) + " 0 0 0 0 0 0 0";
        } else {
            line = "0301 0 0 0 0 1.01 0 1 0 0 0";
        }
        const int after = last ? last->lastLine() : endLine;
        if (!last && lineCount > endLine)
            return {endLine + 1, 0, {line + lineEnd}};
        if (!last && !lines.back().empty())
            return {lineCount, 1, {std::string(lines.back()) + lineEnd, line}};
        return {after + 1, 0, {line + lineEnd}};
    }
    std::string line(lines[static_cast<std::size_t>(last->line - 1)]);
    if (table == Table::Nodes) {
        const FieldPlace& number = last->fields[1];
        line.replace(static_cast<std::size_t>(number.begin), static_cast<std::size_t>(number.end - number.begin),
                     formatInt(largest + 1));
    }
    if (!line.ends_with('\r') && crLf)
        line += '\r';
    return {last->line + 1, 0, {line}};
}

std::vector<TextEdit> removeRecords(std::string_view paneText, const NetworkTables& tables, Table table,
                                    std::vector<int> rows)
{
    const std::vector<TableRecord>& records = rowsOf(tables, table);
    std::vector<std::string_view> original = splitLines(paneText);
    std::vector<std::string> lines(original.begin(), original.end());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::erase_if(rows, [&](int r) { return r < 0 || r >= static_cast<int>(records.size()); });
    // From the last record up: an edit changes only the lines at and after its record's first line.
    std::sort(rows.begin(), rows.end(), [&](int a, int b) {
        const TableRecord& ra = records[a];
        const TableRecord& rb = records[b];
        return ra.line != rb.line ? ra.line > rb.line : ra.codeEnd > rb.codeEnd;
    });
    std::vector<TextEdit> edits;
    for (const int r : rows) {
        const TableRecord& record = records[r];
        std::string& firstLine = lines[static_cast<std::size_t>(record.line - 1)];
        const int codeBegin = codeBeginOf(firstLine, record);
        const FieldPlace last = lastPlaceOf(record);
        const std::string& lastLine = lines[static_cast<std::size_t>(last.line - 1)];
        const std::string prefix = firstLine.substr(0, static_cast<std::size_t>(codeBegin));
        const std::string suffix = lastLine.substr(static_cast<std::size_t>(last.end));
        TextEdit edit{record.line, last.line - record.line + 1, {}};
        if (isBlank(prefix) && isBlank(suffix)) {
            lines.erase(lines.begin() + (record.line - 1), lines.begin() + last.line);
        } else {
            std::string joined = prefix;
            if (!isBlank(prefix) && !isBlank(suffix) && !suffix.starts_with(' ') && !suffix.starts_with('\t'))
                joined += ' ';
            joined += suffix;
            lines.erase(lines.begin() + record.line, lines.begin() + last.line);
            lines[static_cast<std::size_t>(record.line - 1)] = joined;
            edit.lines.push_back(joined);
        }
        edits.push_back(std::move(edit));
    }
    return edits;
}

bool rereadLines(NetworkTables& tables, std::string_view paneText, const std::vector<int>& lines)
{
    const std::vector<std::string_view> text = splitLines(paneText);
    for (const int line : lines) {
        if (line < 1 || line > static_cast<int>(text.size()))
            return false;
        // The one record of the line, which has the line to itself.
        TableRecord* found = nullptr;
        for (auto* rows : {&tables.nodes, &tables.branches})
            for (TableRecord& record : *rows)
                if (record.line <= line && record.lastLine() >= line) {
                    if (found || record.line != line || record.lastLine() != line)
                        return false;
                    found = &record;
                }
        if (!found)
            return false;
        const std::string_view lineText = text[static_cast<std::size_t>(line - 1)];
        CduTokenizer in(lineText);
        TableRecord fresh;
        fresh.line = line;
        int32_t code = 0;
        if (!in.readInt(code))
            return false;
        fresh.codeEnd = static_cast<int>(in.column() - 1);
        PlacedFields fields(in, fresh);
        if (!readFields(code, fresh, fields) || !fields.complete() || !in.atEnd() || fresh.kind != found->kind)
            return false;
        for (FieldPlace& place : fresh.fields)
            place.line = line;
        // New ends change the circuits and the slots' numbers: those are read with the whole text.
        const int ends = found->kind == RecordKind::Branch ? 3 : 2;
        for (int f = 0; f < ends; ++f)
            if (fresh.values[static_cast<std::size_t>(f)] != found->values[static_cast<std::size_t>(f)])
                return false;
        fresh.ordinal = found->ordinal;
        *found = std::move(fresh);
    }
    return true;
}

}  // namespace tarvel::app
