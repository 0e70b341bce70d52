// The records of a ЦДУ text as the rows of two tables, nodes and branches,
// for editing the network as a grid while the text stays the document.
//
// The rows are found with the reader's own tokenizer and record layout, and
// every row knows where each of its fields is written, so that an edited
// cell rewrites that one field of that one line and leaves every other byte
// of the text as it was. The reader itself (readNetworkText) checks the
// text; its findings are mapped to the rows and cells they concern.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/CalculationSettings.h"
#include "model/NetworkReading.h"

namespace tarvel::app {

enum class RecordKind { BaseNode, Node, Shunt, Branch };

// Where one field of a record is written: its line (from 1) and its bytes
// [begin, end) within that line of the UTF-8 text; line 0 for a field the
// text did not give (a record cut by the end of the text or stopped by a
// token that is not a number).
struct FieldPlace {
    int line = 0;
    int begin = 0;
    int end = 0;
};

struct TableRecord {
    RecordKind kind = RecordKind::Node;
    int line = 0;      // the line of its code
    int codeEnd = 0;   // the end of the code's bytes on that line
    int ordinal = 0;   // among the records of its kind: node slot 1.., branch slot 1..; shunts 1..
    std::vector<FieldPlace> fields;  // every field after the code, in the reader's order
    std::vector<double> values;      // the figure of each field as read (0 where not read)
    int lastLine() const;
};

// Columns of the node table (0102, 0201 and shunt records).
enum class NodeColumn {
    Record, Number, District, Unom, P, Q, FixedVoltage, Qmin, Qmax, ShuntG, ShuntB, Count
};
// Columns of the branch table (0301 records with N2 other than 0).
enum class BranchColumn { Start, End, Circuit, R, X, B, Kt, Phase, Count };

// The field (index after the code) that a column shows for a record of this
// kind; nullopt for a column the record has no field for (or that is worked
// out, as a district or a circuit number).
std::optional<int> nodeField(RecordKind kind, NodeColumn column);
std::optional<int> branchField(BranchColumn column);
// True for the fields read as integers (flags, node numbers).
bool isIntegerField(RecordKind kind, int field);

// A mark at a cell: what the reader said, and the line it concerns.
struct CellFinding {
    int row = 0;      // in its table
    int column = 0;   // NodeColumn or BranchColumn
    int line = 0;     // of the record
    std::string text;  // UTF-8, the reader's own words
};

struct NetworkTables {
    std::vector<TableRecord> nodes;     // 0102, 0201 and shunt records in the order of the text
    std::vector<TableRecord> branches;  // branch records in the order of the text
    // The reading stopped at a field: the row and column of that field, if
    // it is a field a table shows.
    std::vector<CellFinding> nodeFindings;
    std::vector<CellFinding> branchFindings;
    // What the reader said that no cell holds (a count, nodes apart from the
    // base node, a word where a record code should be), UTF-8.
    std::vector<std::string> generalFindings;
    bool accepted = false;

    // The circuit number of a branch among those joining the same two nodes
    // (either way round), 1 for the first.
    std::vector<int> circuits;
    // Row of base node slot 0 (the last 0102 record), -1 for none.
    int baseRow = -1;
    // Row in `nodes` of node slot k (0..n), and in `branches` of branch slot j (1..m).
    std::vector<int> nodeRowOfSlot;
    std::vector<int> branchRowOfSlot;
};

// The rows of a pane text (UTF-8, lines ended with "\n", a CR before it kept
// as part of the line). The records end where the reader's reading ends.
NetworkTables scanRecords(std::string_view paneText);

// The rows of the pane text and the reader's findings on it, mapped to the
// cells they concern; the settings decide what the reader takes (the phase
// angle and ties of the full model, the reactive limits of a run with them).
NetworkTables readTables(std::string_view paneText, const CalculationSettings& settings);

// After lines were rewritten in place (each still one line), reads the one
// record of each line again into the rows. False, with the rows left part
// way, when a line holds no record of its own or its record changed its
// kind, its node numbers or its length: then the whole text is to be read.
bool rereadLines(NetworkTables& tables, std::string_view paneText, const std::vector<int>& lines);

// One change of the text: lines [firstLine, firstLine + removed) (from 1)
// are replaced by `lines` (without their "\n").
struct TextEdit {
    int firstLine = 1;
    int removed = 0;
    std::vector<std::string> lines;
};

// Applies an edit to a text as scanRecords reads it.
std::string applyEdit(std::string_view text, const TextEdit& edit);

// A value typed into a cell, as a user writes it.
struct CellValue {
    int row = 0;
    int column = 0;  // NodeColumn or BranchColumn
    std::string text;
};

struct CellRefusal {
    int row = 0;
    int column = 0;
    std::string message;  // UTF-8, Russian
};

struct CellWrite {
    std::vector<TextEdit> edits;         // one per changed line, in ascending line order
    std::vector<CellRefusal> refusals;   // values that were not written
};

enum class Table { Nodes, Branches };

// The edits that write the values into their fields, each field's bytes
// replaced by the value's text and nothing else of the line changed. A
// decimal comma is taken for a point. A value that is not one number of the
// field's kind, or a cell without a field, is refused and not written.
CellWrite writeCells(std::string_view paneText, const NetworkTables& tables, Table table,
                     const std::vector<CellValue>& values);

// The values of a block pasted from a spreadsheet (rows by line ends,
// cells by tabs) laid over the rows and columns in the order the grid shows
// them from the cell pasted at; what falls beyond them is dropped.
std::vector<CellValue> pastedValues(std::string_view block, const std::vector<int>& rows,
                                    const std::vector<int>& columns);

// The figure multiplied by a factor, written with up to 7 significant digits
// (the precision the exact method reads).
std::string scaledFigure(double value, double factor);

// A new record after the last of its kind (a copy of it, a node renumbered
// beyond the largest number), or at the end of the text when there is none.
TextEdit appendRecord(std::string_view paneText, const NetworkTables& tables, Table table);

// Removes the records of these rows: whole lines when the record has its
// lines to itself, else only its bytes. Edits from the last line up, so that
// each applies to the text as the ones before it left it.
std::vector<TextEdit> removeRecords(std::string_view paneText, const NetworkTables& tables, Table table,
                                    std::vector<int> rows);

}  // namespace tarvel::app
