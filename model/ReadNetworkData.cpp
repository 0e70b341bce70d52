#include "model/ReadNetworkData.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/CduTokenizer.h"
#include "model/TextFile.h"
#include "model/WorkingFiles.h"
#include "model/ZeroImpedanceTies.h"

namespace tarvel {

namespace {

constexpr int kMaxNodes = kMaxNodeRecords;       // nodes besides the base node
constexpr int kMaxBranches = kMaxBranchRecords;

// Reads the fields of one record in their order. Once a field is not read no
// later field is read either; the variables of the fields not read keep the
// 0 they were given before the record, so a cut record is stored with zeros
// and nothing is left over from an earlier record or run.
class RecordFields {
public:
    explicit RecordFields(CduTokenizer& in) : in_(in) {}

    // used = false for the fields the model does not keep (flags, unused reals).
    void integer(int32_t& value, bool used = true) { note(read_ && in_.readInt(value), used); }
    void real(float& value, bool used = true) { note(read_ && in_.readReal(value), used); }
    // The same, also rounded once to double precision.
    void real(float& value, double& exact, bool used = true) { note(read_ && in_.readReal(value, exact), used); }
    void unusedReals(int count)
    {
        for (int k = 0; k < count; ++k) {
            float dropped = 0.0f;
            real(dropped, false);
        }
    }

    bool complete() const { return read_; }
    bool usedFieldMissing() const { return usedMissing_; }

private:
    void note(bool ok, bool used)
    {
        read_ = ok;
        if (!ok && used)
            usedMissing_ = true;
    }

    CduTokenizer& in_;
    bool read_ = true;
    bool usedMissing_ = false;
};

// A node record whose reactive limits are the wrong way round.
struct CrossedLimits {
    int32_t number = 0;
    int line = 0;
    float qmin = 0.0f;
    float qmax = 0.0f;
    bool fixedVoltage = false;  // the record holds a voltage, so the limits can apply
};

// A transformer ratio below 0.001 other than 0 (the way to write a line),
// which the model takes as 1: negative ones are refused, the others told.
struct OddRatio {
    int branch = 0;
    double ratio = 0;
};

// What the text held and where its reading ended.
struct TextSummary {
    long long nodeRecords = 0;    // 201 records in the text, stored or not
    long long branchRecords = 0;  // 301 records with N2 != 0, stored or not
    bool stoppedAtText = false;  // a token that is not a number of the field's kind
    bool recordCut = false;      // the text ended before a field the model keeps
    int stopLine = 0;
    long long stopColumn = 0;
    int32_t stopCode = 0;
    std::string stopWord;        // raw bytes of the token that stopped the reading
    std::vector<CrossedLimits> crossedLimits;
    std::vector<OddRatio> oddRatios;
    std::vector<int32_t> nodeLine;    // 0..n: the line of each stored node record's code
    std::vector<int32_t> branchLine;  // 1..m: the line of each stored branch record's code
};

// Slots for a table that must hold `needed`: a step more, so that a long
// text grows the tables once in a thousand records rather than at every one,
// but never more than the reader stores. (The tables' own growth keeps the
// copying in proportion; a larger step would only clear more memory.)
int grownSlots(int needed, int most)
{
    constexpr int kStep = 1024;
    return std::min(needed + kStep, most);
}

// Reads the records into the model, growing its tables with the text.
// Records beyond kMaxNodes or kMaxBranches are read and counted but not stored.
TextSummary readRecords(NetworkModel& model, CduTokenizer& in)
{
    TextSummary text;
    int i = 0;  // nodes stored besides the base node
    int j = 0;  // branches stored
    // The first slot 1..i of each node number, where a shunt record goes.
    std::unordered_map<int32_t, int> firstSlot;
    int nodeSlots = 0;    // slots the node tables hold at least
    int branchSlots = 0;  // and the branch tables
    NetworkModel::WrittenFigures& written = model.written;
    for (;;) {
        int32_t code = 0;
        if (in.atEnd())
            break;
        const int codeLine = in.line();
        const long long codeColumn = in.column();
        if (!in.readInt(code))
            break;
        RecordFields fields(in);
        int32_t flag = 0;
        switch (code) {
        case 102: {
            int32_t number = 0;
            float unom = 0.0f, p = 0.0f, q = 0.0f;
            double unomW = 0, pW = 0, qW = 0;
            fields.integer(flag, false);
            fields.integer(number);
            fields.real(unom, unomW);
            fields.real(p, pW);
            fields.real(q, qW);
            fields.unusedReals(5);
            text.nodeLine.resize(std::max<std::size_t>(text.nodeLine.size(), 1));
            text.nodeLine[0] = codeLine;
            model.nodeNumber[0] = number;
            model.nodeUnom[0] = unom;
            model.nodeRecordUnom[0] = unom;
            model.nodeLoadP[0] = p;
            model.nodeLoadQ[0] = q;
            model.nodeType[0] = 3;
            model.nodeShuntG[0] = 0.0f;
            model.nodeShuntB[0] = 0.0f;
            model.nodeQmin[0] = 0.0f;
            model.nodeQmax[0] = 0.0f;
            written.nodeUnom[0] = unomW;
            written.nodeLoadP[0] = pW;
            written.nodeLoadQ[0] = qW;
            written.nodeShuntB[0] = 0.0;
            written.nodeShuntG[0] = 0.0;
            countNode(model, number);
            break;
        }
        case 201: {
            int32_t number = 0;
            float unom = 0.0f, p = 0.0f, q = 0.0f, fixedVoltage = 0.0f, qmin = 0.0f, qmax = 0.0f;
            double unomW = 0, pW = 0, qW = 0, fixedW = 0;
            fields.integer(flag, false);
            fields.integer(number);
            fields.real(unom, unomW);
            fields.real(p, pW);
            fields.real(q, qW);
            fields.unusedReals(2);
            fields.real(fixedVoltage, fixedW);
            // Limits the text does not give are no limits: nothing to warn about.
            fields.real(qmin, false);
            fields.real(qmax, false);
            ++text.nodeRecords;
            if (qmin > qmax)
                text.crossedLimits.push_back({number, codeLine, qmin, qmax, fixedVoltage > 0.1f});
            if (i == kMaxNodes)
                break;
            ++i;
            if (i >= nodeSlots) {
                nodeSlots = grownSlots(i + 1, kMaxNodes + 1);
                model.reserveNodes(nodeSlots);
            }
            text.nodeLine.resize(static_cast<std::size_t>(i) + 1);
            text.nodeLine[i] = codeLine;
            firstSlot.try_emplace(number, i);
            model.nodeNumber[i] = number;
            model.nodeUnom[i] = unom;
            model.nodeRecordUnom[i] = unom;
            model.nodeLoadP[i] = p;
            model.nodeLoadQ[i] = q;
            model.nodeType[i] = 1;
            model.nodeShuntG[i] = 0.0f;
            model.nodeShuntB[i] = 0.0f;
            model.nodeQmin[i] = qmin;
            model.nodeQmax[i] = qmax;
            written.nodeUnom[i] = unomW;
            written.nodeLoadP[i] = pW;
            written.nodeLoadQ[i] = qW;
            written.nodeShuntB[i] = 0.0;
            written.nodeShuntG[i] = 0.0;
            // Compared in single precision, so a fixed voltage written as 0.1 is no fixed voltage.
            if (fixedVoltage > 0.1f) {
                model.nodeUnom[i] = fixedVoltage;
                model.nodeType[i] = 2;
                written.nodeUnom[i] = fixedW;
            }
            countNode(model, number);
            break;
        }
        case 301: {
            int32_t n1 = 0, n2 = 0;
            fields.integer(flag, false);
            fields.integer(n1);
            fields.integer(n2);
            if (n2 != 0) {
                float r = 0.0f, x = 0.0f, b = 0.0f, kt = 0.0f, phase = 0.0f;
                double rW = 0, xW = 0, bW = 0, ktW = 0, phaseW = 0;
                fields.real(r, rW);
                fields.real(x, xW);
                fields.real(b, bW);
                fields.real(kt, ktW);
                fields.real(phase, phaseW, false);
                fields.unusedReals(2);
                ++text.branchRecords;
                if (j == kMaxBranches)
                    break;
                ++j;
                if (j >= branchSlots) {
                    branchSlots = grownSlots(j + 1, kMaxBranches + 1);
                    model.reserveBranches(branchSlots);
                }
                text.branchLine.resize(j + 1);
                text.branchLine[j] = codeLine;
                model.branchStartNode[j] = n1;
                model.branchEndNode[j] = n2;
                // The exact method's raise of small reactances comes once the
                // size of the network is known (raiseSmallReactances).
                if (kt < 0.001f) {
                    if (kt != 0.0f || ktW != 0.0)
                        text.oddRatios.push_back({j, ktW});
                    kt = 1.0f;
                    ktW = 1.0;
                }
                b = -b;
                model.branchResistance[j] = r;
                model.branchReactance[j] = x;
                model.branchSusceptance[j] = b;
                model.branchRatio[j] = kt;
                model.branchConductance[j] = 0.0f;
                written.branchResistance[j] = rW;
                written.branchReactance[j] = xW;
                written.branchSusceptance[j] = -bW;
                written.branchRatio[j] = ktW;
                written.branchPhase[j] = phaseW;
            } else {
                // A shunt at node N1. Its conductance is the full model's only
                // (shuntConductanceForMethod): the exact method never had it.
                float g = 0.0f, b = 0.0f;
                double gW = 0, bW = 0;
                fields.real(g, gW, false);
                fields.real(b, bW);
                if (const auto slot = firstSlot.find(n1); slot != firstSlot.end()) {
                    model.nodeShuntB[slot->second] = -b;
                    written.nodeShuntB[slot->second] = -bW;
                    written.nodeShuntG[slot->second] = gW;
                }
            }
            break;
        }
        default:
            break;
        }
        if (!fields.complete()) {
            text.stoppedAtText = !in.atEnd();
            text.recordCut = !text.stoppedAtText && fields.usedFieldMissing();
            text.stopLine = text.stoppedAtText ? in.line() : codeLine;
            text.stopColumn = text.stoppedAtText ? in.column() : codeColumn;
            text.stopCode = code;
            if (text.stoppedAtText)
                text.stopWord = in.peekWord(24);
            break;
        }
    }
    if (!text.stoppedAtText && !in.atEnd()) {
        // The next record code was not a number.
        text.stoppedAtText = true;
        text.stopLine = in.line();
        text.stopColumn = in.column();
        text.stopWord = in.peekWord(24);
    }
    model.nodeCount = i;
    model.branchCount = j;
    return text;
}

using Findings = std::vector<Finding>;

void writeFindings(TextFileWriter& err, const Findings& findings)
{
    if (!err.isOpen())
        return;
    for (const Finding& finding : findings)
        for (const std::string& line : findingLines(finding)) {
            err << line;
            err.endLine();
        }
}

Finding nodeFinding(FindingKind kind, int32_t number, std::string text, int slot)
{
    return {kind, {number}, std::nullopt, 0, std::move(text), slot};
}

Finding branchFinding(FindingKind kind, const NetworkModel& model, int j, std::string text, int recordLine = 0)
{
    return {kind, {}, std::pair{model.branchStartNode[j], model.branchEndNode[j]}, recordLine, std::move(text), j};
}

std::string branchName(const NetworkModel& model, int j)
{
    return formatInt(model.branchStartNode[j]) + " " + formatInt(model.branchEndNode[j]);
}

// The first and the last slot 0..n of every node number, so that the checks
// look a number up at once however large the network. Numbers within a range
// of a few times the node count (as networks number their nodes) are looked
// up in a table by the number itself, others in a hash table.
class NumberSlots {
public:
    explicit NumberSlots(const NetworkModel& model)
    {
        const int n = model.nodeCount;
        const auto [low, high] = std::minmax_element(model.nodeNumber.begin(), model.nodeNumber.begin() + n + 1);
        const int64_t range = int64_t{*high} - *low + 1;
        if (range <= kDenseRangePerNode * (int64_t{n} + 1) + kDenseRangeAlways) {
            low_ = *low;
            dense_.assign(static_cast<std::size_t>(range), {-1, -1});
            for (int k = 0; k <= n; ++k) {
                std::pair<int, int>& slots = dense_[static_cast<std::size_t>(model.nodeNumber[k] - low_)];
                if (slots.first < 0)
                    slots.first = k;
                slots.second = k;
            }
            return;
        }
        sparse_.reserve(static_cast<std::size_t>(n) + 1);
        for (int k = 0; k <= n; ++k) {
            const auto [it, added] = sparse_.try_emplace(model.nodeNumber[k], k, k);
            if (!added)
                it->second.second = k;
        }
    }
    bool has(int32_t number) const { return find(number).first >= 0; }
    int first(int32_t number) const { return find(number).first; }
    // The slot that branches naming the number are indexed to; -1 for none.
    int last(int32_t number) const { return find(number).second; }

private:
    static constexpr int64_t kDenseRangePerNode = 4;
    static constexpr int64_t kDenseRangeAlways = 1024;

    std::pair<int, int> find(int32_t number) const
    {
        if (!dense_.empty()) {
            const int64_t at = int64_t{number} - low_;
            return at >= 0 && at < static_cast<int64_t>(dense_.size()) ? dense_[static_cast<std::size_t>(at)]
                                                                       : std::pair{-1, -1};
        }
        const auto it = sparse_.find(number);
        return it == sparse_.end() ? std::pair{-1, -1} : it->second;
    }
    int32_t low_ = 0;
    std::vector<std::pair<int, int>> dense_;  // by number - low_
    std::unordered_map<int32_t, std::pair<int, int>> sparse_;
};

bool touchesBaseNode(const NetworkModel& model, int j)
{
    return model.branchStartNode[j] == model.nodeNumber[0] || model.branchEndNode[j] == model.nodeNumber[0];
}

// Within the exact method a branch at the base node may not be a
// transformer; the full model takes one of any ratio.
bool isTransformerAtBase(const NetworkModel& model, int j)
{
    return !model.fullModel() && std::fabs(model.branchRatio[j] - 1.0f) > 0.1f && touchesBaseNode(model, j);
}

// The exact method raises a reactance below 1.001 Ohm to 1.01 Ohm; the full
// model takes it as written.
void raiseSmallReactances(NetworkModel& model)
{
    if (model.fullModel())
        return;
    for (int j = 1; j <= model.branchCount; ++j)
        if (std::fabs(model.branchReactance[j]) < 1.001f)
            model.branchReactance[j] = 1.01f;
}

std::string branchAtLine(const NetworkModel& model, const TextSummary& text, int j)
{
    return "ветвь " + branchName(model, j) + ", строка " + formatInt(text.branchLine[j]);
}

// The phase angle of a ratio, read by the full model only, within ±90°.
bool checkPhaseAngles(const NetworkModel& model, const TextSummary& text, Findings& findings)
{
    if (!model.fullModel())
        return false;
    bool found = false;
    for (int j = 1; j <= model.branchCount; ++j) {
        const double phase = model.written.branchPhase[j];
        if (!(std::fabs(phase) <= 90.0)) {
            findings.push_back(branchFinding(FindingKind::PhaseAngle, model, j,
                                             "Числовая ошибка 7. Угол сдвига фазы вне пределов ±90°: " +
                                                 branchAtLine(model, text, j),
                                             text.branchLine[j]));
            found = true;
        }
    }
    return found;
}

// Every node besides the base node must be an end of some branch.
bool checkLinksOfNodes(const NetworkModel& model, const NumberSlots& slots, Findings& findings)
{
    // Marked by the first slot of each number that some branch names.
    std::vector<char> named(static_cast<std::size_t>(model.nodeCount) + 1, 0);
    for (int j = 1; j <= model.branchCount; ++j)
        for (const int32_t end : {model.branchStartNode[j], model.branchEndNode[j]})
            if (const int k = slots.first(end); k >= 0)
                named[static_cast<std::size_t>(k)] = 1;
    bool found = false;
    for (int k = 1; k <= model.nodeCount; ++k) {
        if (!named[static_cast<std::size_t>(slots.first(model.nodeNumber[k]))]) {
            findings.push_back(nodeFinding(FindingKind::NodeWithoutBranches, model.nodeNumber[k],
                                           "Ошибка связи 1. Нет ветвей для узла " + formatInt(model.nodeNumber[k]),
                                           k));
            found = true;
        }
    }
    return found;
}

// Both ends of every branch must be nodes of the data, the base node included.
bool checkLinksOfBranches(const NetworkModel& model, const NumberSlots& slots, Findings& findings)
{
    bool found = false;
    for (int j = 1; j <= model.branchCount; ++j) {
        if (!slots.has(model.branchStartNode[j]) || !slots.has(model.branchEndNode[j])) {
            findings.push_back(branchFinding(FindingKind::BranchWithoutNodes, model, j,
                                             "Ошибка связи 2. Нет узлов для ветви " +
                                                 formatInt(model.branchStartNode[j]) + "\t" +
                                                 formatInt(model.branchEndNode[j])));
            found = true;
        }
    }
    return found;
}

// Number and nominal voltage of every node besides the base node.
bool checkNodeValues(const NetworkModel& model, Findings& findings)
{
    bool found = false;
    for (int k = 1; k <= model.nodeCount; ++k) {
        if (model.nodeNumber[k] > 100000) {
            // The text names no node, and neither does the finding.
            findings.push_back({FindingKind::NodeNumberTooLarge, {}, std::nullopt, 0,
                                "Числовая ошибка  1. Номер узла > 100000", k});
            found = true;
        }
        if (!(model.nodeUnom[k] >= 0.1f && model.nodeUnom[k] <= 1500.0f)) {
            findings.push_back({FindingKind::NominalVoltage, {}, std::nullopt, 0,
                                "Числовая ошибка 2. U ном. велико или мало", k});
            found = true;
        }
    }
    // The base node's voltage, when a record gives it, is every figure's
    // scale: one of 1e30 kV or a negative one gives reports of inf and nan.
    // One that overflowed a float is told as such (check 6).
    const float base = model.nodeUnom[0];
    if (model.nodeType[0] == 3 && std::isfinite(base) && !(base >= 0.1f && base <= 1500.0f)) {
        findings.push_back({FindingKind::NominalVoltage, {model.nodeNumber[0]}, std::nullopt, 0,
                            "Числовая ошибка 2. U ном. велико или мало: базисный узел " +
                                formatInt(model.nodeNumber[0])});
        found = true;
    }
    return found;
}

// A negative transformer ratio is no ratio; the model would take it as 1.
bool checkNegativeRatios(const NetworkModel& model, const TextSummary& text, Findings& findings)
{
    bool found = false;
    for (const OddRatio& odd : text.oddRatios) {
        if (odd.ratio < 0) {
            findings.push_back(branchFinding(FindingKind::NegativeRatio, model, odd.branch,
                                             "Числовая ошибка 8. Отрицательный коэффициент трансформации " +
                                                 formatGeneral(odd.ratio, 0, 6) + ": " +
                                                 branchAtLine(model, text, odd.branch),
                                             text.branchLine[odd.branch]));
            found = true;
        }
    }
    return found;
}

// Reactance, charging susceptance (already of the solver's sign) and the ratio
// of a branch at the base node. Networks beyond the exact method's size come
// from equivalents of large grids, whose data hold branches with an inductive
// shunt (IEEE 300 has several); there a susceptance of either sign is taken
// within the same magnitude.
bool checkBranchValues(const NetworkModel& model, Findings& findings)
{
    const float lowest = model.fullModel() ? -99999.0f : 0.0f;
    bool found = false;
    for (int j = 1; j <= model.branchCount; ++j) {
        if (std::fabs(model.branchReactance[j]) > 999999.0f) {
            findings.push_back(branchFinding(FindingKind::Reactance, model, j,
                                             "Числовая ошибка 3. Х Ветви > 999999\nВетвь " + branchName(model, j)));
            found = true;
        }
        const float b = model.branchSusceptance[j];
        if (b < lowest || b > 99999.0f) {
            findings.push_back(branchFinding(FindingKind::Susceptance, model, j,
                                             "Числовая ошибка 4. Неверное значение проводимости\nВетвь " +
                                                 branchName(model, j)));
            found = true;
        }
        if (isTransformerAtBase(model, j)) {
            findings.push_back(branchFinding(FindingKind::TransformerAtBase, model, j,
                                             "Ошибка схемы сети 1. \nВетвь " + branchName(model, j) +
                                                 " не может быть трансформатором"));
            found = true;
        }
    }
    return found;
}

// Node numbers without a district, and values that overflowed a float. A value
// that one of the checks above already rejects (the nominal voltage of a node,
// the reactance and susceptance of a branch, the ratio of a branch at the base
// node) gets no second line here.
bool checkNumbersAndFiniteValues(const NetworkModel& model, Findings& findings)
{
    bool found = false;
    for (int k = 0; k <= model.nodeCount; ++k) {
        if (districtOf(model.nodeNumber[k]) < 0) {
            findings.push_back(nodeFinding(FindingKind::NumberWithoutDistrict, model.nodeNumber[k],
                                           "Числовая ошибка 5. Номер узла < -99", k));
            found = true;
        }
    }
    for (int k = 0; k <= model.nodeCount; ++k) {
        const bool finite = (k > 0 || std::isfinite(model.nodeUnom[k])) && std::isfinite(model.nodeLoadP[k]) &&
                            std::isfinite(model.nodeLoadQ[k]) && std::isfinite(model.nodeShuntB[k]);
        if (!finite) {
            findings.push_back(nodeFinding(FindingKind::NotFinite, model.nodeNumber[k],
                                           "Числовая ошибка 6. Недопустимое значение в записи узла " +
                                               formatInt(model.nodeNumber[k]),
                                           k));
            found = true;
        }
    }
    for (int j = 1; j <= model.branchCount; ++j) {
        const bool finite = std::isfinite(model.branchResistance[j]) &&
                            (std::isfinite(model.branchRatio[j]) || isTransformerAtBase(model, j));
        if (!finite) {
            findings.push_back(branchFinding(FindingKind::NotFinite, model, j,
                                             "Числовая ошибка 6. Недопустимое значение в записи ветви " +
                                                 branchName(model, j)));
            found = true;
        }
    }
    return found;
}

// Reactive limits whose minimum exceeds the maximum, named with the line of
// their record. Only a run that holds fixed-voltage nodes within their limits
// reads them: otherwise the two fields are figures like any unused one, and a
// text that never asks for limits is not refused for them.
bool checkReactiveLimits(const NetworkModel& model, const TextSummary& text, Findings& findings)
{
    if (!model.qLimits)
        return false;
    bool found = false;
    for (const CrossedLimits& c : text.crossedLimits) {
        if (!c.fixedVoltage)
            continue;
        found = true;
        findings.push_back({FindingKind::CrossedLimits, {c.number}, std::nullopt, c.line,
                            "Числовая ошибка 7. Qmin больше Qmax в записи узла " + formatInt(c.number) + " (строка " +
                                formatInt(c.line) + "): " + formatGeneral(c.qmin, 0, 6) + " > " +
                                formatGeneral(c.qmax, 0, 6)});
    }
    return found;
}

struct BranchEnds {
    std::vector<int32_t> start;  // 1..m
    std::vector<int32_t> end;
};

// Node index of each branch end: the last slot 0..n that has its number.
BranchEnds branchEndIndices(const NetworkModel& model, const NumberSlots& slots)
{
    BranchEnds ends;
    ends.start.resize(static_cast<std::size_t>(model.branchCount) + 1);
    ends.end.resize(static_cast<std::size_t>(model.branchCount) + 1);
    for (int j = 1; j <= model.branchCount; ++j) {
        ends.start[j] = slots.last(model.branchStartNode[j]);
        ends.end[j] = slots.last(model.branchEndNode[j]);
    }
    return ends;
}

// A node slot whose number a later slot repeats: the branches naming the
// number are indexed to the later slot, so this one is left without branches.
bool isShadowed(const NetworkModel& model, const NumberSlots& slots, int k)
{
    return slots.last(model.nodeNumber[k]) != k;
}

// The nodes that some chain of branches joins to a node of `reached`; the
// set grows from the nodes already in it.
void spreadThroughBranches(const NetworkModel& model, const BranchEnds& ends, std::vector<char>& reached)
{
    const int n = model.nodeCount;
    const int m = model.branchCount;
    // Branches of each node in compressed form: adjacency[first[k] .. first[k+1]).
    std::vector<int> first(static_cast<std::size_t>(n) + 2, 0);
    for (int j = 1; j <= m; ++j) {
        ++first[ends.start[j] + 1];
        ++first[ends.end[j] + 1];
    }
    for (int k = 0; k <= n; ++k)
        first[k + 1] += first[k];
    std::vector<int> adjacency(static_cast<std::size_t>(first[n + 1]));
    std::vector<int> fill(first.begin(), first.end() - 1);
    for (int j = 1; j <= m; ++j) {
        adjacency[fill[ends.start[j]]++] = ends.end[j];
        adjacency[fill[ends.end[j]]++] = ends.start[j];
    }
    std::vector<int> queue;
    queue.reserve(static_cast<std::size_t>(n) + 1);
    for (int k = 0; k <= n; ++k)
        if (reached[k])
            queue.push_back(k);
    for (std::size_t q = 0; q < queue.size(); ++q) {
        const int k = queue[q];
        for (int a = first[k]; a < first[k + 1]; ++a) {
            if (!reached[adjacency[a]]) {
                reached[adjacency[a]] = 1;
                queue.push_back(adjacency[a]);
            }
        }
    }
}

// A shadowed node without load and shunt has equations that hold by
// themselves; it stays at its nominal voltage and harms nothing.
bool isHarmlessShadow(const NetworkModel& model, int k)
{
    return k >= 1 && model.nodeLoadP[k] == 0.0f && model.nodeLoadQ[k] == 0.0f && model.nodeShuntG[k] == 0.0f &&
           model.nodeShuntB[k] == 0.0f;
}

// Every node must be reached from the base node through the branches as they
// are indexed. A node number given twice leaves its earlier slot (or the base
// node) without branches: that is refused when the slot carries a load or a
// shunt (its equations cannot be met) or is the base node.
bool checkConnection(const NetworkModel& model, const NumberSlots& slots, const BranchEnds& ends,
                     Findings& findings)
{
    const int n = model.nodeCount;
    bool found = false;
    std::vector<char> reached(static_cast<std::size_t>(n) + 1, 0);
    for (int k = 0; k <= n; ++k) {
        if (!isShadowed(model, slots, k))
            continue;
        // Named once, at its first slot.
        const bool named = slots.first(model.nodeNumber[k]) < k;
        if (isHarmlessShadow(model, k)) {
            reached[k] = true;
        } else if (!named) {
            findings.push_back(nodeFinding(FindingKind::RepeatedNumber, model.nodeNumber[k],
                                           "Ошибка связи 4. Номер узла повторяется", k));
            found = true;
        }
    }

    reached[0] = true;
    spreadThroughBranches(model, ends, reached);
    Finding apart{FindingKind::NotJoinedToBase, {}, std::nullopt, 0, "Ошибка связи 3. Узлы не связаны с базовым узлом"};
    for (int k = 1; k <= n; ++k)
        if (!reached[k])
            apart.nodes.push_back(model.nodeNumber[k]);
    if (apart.nodes.empty())
        return found;
    findings.push_back(std::move(apart));
    return true;
}

// Ties of the full model: a chain of them may not join two fixed voltages
// that differ, and a branch with a ratio needs some impedance.
bool checkTies(const NetworkModel& model, const BranchEnds& ends, const TextSummary& text, Findings& findings)
{
    if (!model.fullModel())
        return false;
    const TieGroups groups = findTieGroups(model, ends.start, ends.end);
    for (const int j : groups.zeroImpedanceTransformers)
        findings.push_back(branchFinding(FindingKind::TieTransformer, model, j,
                                         "Числовая ошибка 8. Трансформатор без сопротивления: " +
                                             branchAtLine(model, text, j),
                                         text.branchLine[j]));
    for (const int j : groups.conflicts)
        findings.push_back(branchFinding(FindingKind::TieConflict, model, j,
                                         "Ошибка схемы сети 2. Ветви нулевого сопротивления соединяют узлы с "
                                         "разными фиксированными напряжениями: " +
                                             branchAtLine(model, text, j),
                                         text.branchLine[j]));
    return !groups.zeroImpedanceTransformers.empty() || !groups.conflicts.empty();
}

std::string printableWord(const std::string& raw)
{
    std::string word = raw;
    for (char& c : word) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            c = '?';
    }
    return cp1251ToUtf8(word);
}

void warnAboutText(const TextSummary& text, MessageSink& sink)
{
    if (text.stoppedAtText)
        sink.warning("Данные прочитаны не полностью: в строке " + formatInt(text.stopLine) + ", позиции " +
                     formatInt(text.stopColumn) + " текст \"" + printableWord(text.stopWord) +
                     "\" не является числом; дальше данные не читались.");
    else if (text.recordCut)
        sink.warning("Данные кончились внутри записи с кодом " + formatInt(text.stopCode) + " (строка " +
                     formatInt(text.stopLine) + ", позиция " + formatInt(text.stopColumn) +
                     "); недостающие значения приняты равными 0.");
}

void warnAboutRepeatedNumbers(const NetworkModel& model, const NumberSlots& slots, MessageSink& sink)
{
    for (int k = 1; k <= model.nodeCount; ++k)
        if (isShadowed(model, slots, k))
            sink.warning("Номер узла " + formatInt(model.nodeNumber[k]) +
                         " задан несколько раз; ветви присоединены к последней записи узла.");
}

void warnAboutSelfLoops(const NetworkModel& model, MessageSink& sink)
{
    for (int j = 1; j <= model.branchCount; ++j)
        if (model.branchStartNode[j] == model.branchEndNode[j])
            sink.warning("Ветвь " + branchName(model, j) + " соединяет узел сам с собой; проверьте данные.");
}

// A shunt record's conductance (µS, drawing P = G·U²) enters the full model;
// the exact method leaves it out, as it always has, and says so where a
// record gives one.
void shuntConductanceForMethod(NetworkModel& model, MessageSink& sink)
{
    const bool full = model.fullModel();
    std::string nodes;
    int count = 0;
    for (int k = 1; k <= model.nodeCount; ++k) {
        const double g = model.written.nodeShuntG[k];
        if (g == 0.0)
            continue;
        if (full) {
            model.nodeShuntG[k] = static_cast<float>(g);
        } else if (++count <= 10) {
            nodes += (count > 1 ? ", " : "") + formatInt(model.nodeNumber[k]);
        }
    }
    if (count > 10)
        nodes += " и еще " + formatInt(count - 10);
    if (count > 0)
        sink.warning("Активная проводимость шунтов не учитывается классическим методом (ее учитывает полная "
                     "модель), узлы: " + nodes + ".");
}

// Values that are accepted but hardly what was meant: a tiny ratio taken as
// 1 and a negative resistance, each with its line.
void warnAboutValuesTakenOtherwise(const NetworkModel& model, const TextSummary& text, MessageSink& sink)
{
    for (const OddRatio& odd : text.oddRatios)
        sink.warning("Коэффициент трансформации " + formatGeneral(odd.ratio, 0, 6) + " меньше 0.001 принят равным 1 (" +
                     branchAtLine(model, text, odd.branch) + "): ветвь рассчитана как линия.");
    for (int j = 1; j <= model.branchCount; ++j)
        if (model.written.branchResistance[j] < 0)
            sink.warning("Отрицательное активное сопротивление " +
                         formatGeneral(model.written.branchResistance[j], 0, 6) + " Ом: " +
                         branchAtLine(model, text, j) + "; проверьте данные.");
}

// Reads the records from `in` and checks them; the findings go to errFile
// as well where one is given (else they are only handed back).
NetworkReading readNetwork(NetworkModel& model, CduTokenizer& in, const std::filesystem::path* errFile, FileSet* files,
                           MessageSink& sink)
{
    model.districtNodeCount.fill(0);
    NetworkReading reading;
    // A folder opens but cannot be read: that is no text either.
    if (in.atEnd() && in.readError()) {
        sink.showMessage("Если нет ошибок в данных то перезапустите расчет.");
        return reading;
    }
    // Without a base-node record slot 0 keeps number 0 and type 0 from
    // the run's clearing; its values are cleared here so that none is
    // left from an earlier run.
    model.nodeUnom[0] = 0.0f;
    model.nodeRecordUnom[0] = 0.0f;
    model.nodeLoadP[0] = 0.0f;
    model.nodeLoadQ[0] = 0.0f;
    model.nodeShuntG[0] = 0.0f;
    model.nodeShuntB[0] = 0.0f;
    const TextSummary text = readRecords(model, in);
    raiseSmallReactances(model);
    reading.nodeLines = text.nodeLine;
    reading.nodeLines.resize(static_cast<std::size_t>(model.nodeCount) + 1);
    reading.branchLines = text.branchLine;
    reading.branchLines.resize(static_cast<std::size_t>(model.branchCount) + 1);
    // Where the reading stopped is told whatever the checks decide: the
    // records after it are lost either way.
    warnAboutText(text, sink);

    TextFileWriter err;
    if (errFile && !err.open(*errFile, files))
        sink.showMessage("Невозможно открыть файл \"network.err\"");

    if (model.nodeCount == 0 || model.branchCount == 0) {
        sink.showMessage("Совсем нет ветвей или узлов");
        return reading;
    }

    Findings& findings = reading.findings;
    // Beyond the most the reader stores a network is refused as a whole,
    // without judging the part that was stored.
    if (text.nodeRecords > kMaxNodes || text.branchRecords > kMaxBranches) {
        if (text.nodeRecords > kMaxNodes)
            findings.push_back({FindingKind::TooManyRecords, {}, std::nullopt, 0,
                                "Ошибка данных. Число узлов больше " + formatInt(kMaxNodes) + ": " +
                                    formatInt(text.nodeRecords)});
        if (text.branchRecords > kMaxBranches)
            findings.push_back({FindingKind::TooManyRecords, {}, std::nullopt, 0,
                                "Ошибка данных. Число ветвей больше " + formatInt(kMaxBranches) + ": " +
                                    formatInt(text.branchRecords)});
        writeFindings(err, findings);
        return reading;
    }

    // Every check runs; none stops the others.
    const NumberSlots slots(model);
    bool rejected = false;
    rejected |= checkLinksOfNodes(model, slots, findings);
    rejected |= checkLinksOfBranches(model, slots, findings);
    rejected |= checkNodeValues(model, findings);
    rejected |= checkNegativeRatios(model, text, findings);
    rejected |= checkBranchValues(model, findings);
    rejected |= checkPhaseAngles(model, text, findings);
    const bool valuesRejected = checkNumbersAndFiniteValues(model, findings);
    // The branch ends are indexed only when every branch names existing nodes.
    const BranchEnds ends = rejected ? BranchEnds{} : branchEndIndices(model, slots);
    if (!rejected)
        rejected = checkConnection(model, slots, ends, findings);
    if (!rejected)
        rejected = checkTies(model, ends, text, findings);
    rejected |= valuesRejected;
    rejected |= checkReactiveLimits(model, text, findings);
    writeFindings(err, findings);
    if (rejected)
        return reading;

    for (int j = 1; j <= model.branchCount; ++j) {
        model.branchStartIndex[j] = ends.start[j];
        model.branchEndIndex[j] = ends.end[j];
    }
    for (int j = 1; j <= model.branchCount; ++j) {
        model.branchSusceptance[j] *= 1e-6;
        model.written.branchSusceptance[j] *= 1e-6;
        model.branchConductance[j] *= 1e-6;
    }
    for (int k = 0; k <= model.nodeCount; ++k) {
        model.nodeShuntG[k] *= 1e-6;
        model.nodeShuntB[k] *= 1e-6;
        model.written.nodeShuntB[k] *= 1e-6;
        model.written.nodeShuntG[k] *= 1e-6;
    }
    err.close();
    shuntConductanceForMethod(model, sink);

    warnAboutRepeatedNumbers(model, slots, sink);
    warnAboutSelfLoops(model, sink);
    warnAboutValuesTakenOtherwise(model, text, sink);
    reading.accepted = true;
    return reading;
}

}  // namespace

NetworkReading readNetworkData(NetworkModel& model, const std::filesystem::path& workDir, MessageSink& sink)
{
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen((workDir / kInputFile).c_str(), "rb"),
                                                                &std::fclose);
    if (!file) {
        model.districtNodeCount.fill(0);
        sink.showMessage("Если нет ошибок в данных то перезапустите расчет.");
        return {};
    }
    CduTokenizer in(file.get());
    const std::filesystem::path errFile = workDir / kErrorFile;
    return readNetwork(model, in, &errFile, nullptr, sink);
}

NetworkReading readWrittenNetwork(NetworkModel& model, std::string_view bytes, const std::filesystem::path& workDir,
                                  MessageSink& sink, FileSet* files)
{
    CduTokenizer in(bytes);
    const std::filesystem::path errFile = workDir / kErrorFile;
    return readNetwork(model, in, &errFile, files, sink);
}

NetworkReading readNetworkText(NetworkModel& model, std::string_view text, MessageSink& sink)
{
    CduTokenizer in(text);
    return readNetwork(model, in, nullptr, nullptr, sink);
}

}  // namespace tarvel
