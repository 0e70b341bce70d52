#include "losses/LossAllocation.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

#include "losses/LossReport.h"
#include "model/TextFile.h"
#include "model/WorkingFiles.h"

namespace tarvel {

const char* const kLossTooManyNodesText = "Число узлов >30. Расчет разделения потерь невозможен";
const char* const kLossTooManyBranchesText = "Число ветвей >149. Расчет разделения потерь невозможен";
const char* const kLossTooManyPathsText =
    "Слишком много путей тока в схеме сети. Расчет разделения потерь невозможен";
const char* const kLossTokNotOpenedText = "Невозможно открыть файл";
const char* const kLossUndefinedText =
    "Составляющие потерь не определены: токи ветвей не согласуются с их направлениями. "
    "Расчет разделения потерь невозможен";
const char* const kLossTokDamagedText = "Файл network.tok поврежден или не соответствует расчету.";
const char* const kLossRezNotCreatedText = "Невозможно открыть файл losses.rez";
const char* const kLossRezNotCreatedMessage = "Невозможно открыть(создать) файл \"losses.rez\"";

LossTables& globalLossTables()
{
    static LossTables tables;
    return tables;
}

namespace {

constexpr int kPropagationDepth = 10;

// Reads network.tok as formatted text: numbers separated by white space, an
// integer field an optional sign and digits, a real field what a C stream
// takes for a float (the decimal separator is always "."). Once a field
// cannot be read, no later field is read.
class TokScanner {
public:
    explicit TokScanner(std::string_view text) : text_(text) {}

    bool readInt(int32_t& value)
    {
        if (!start())
            return false;
        const std::size_t begin = pos_;
        std::size_t p = pos_;
        if (p < text_.size() && (text_[p] == '+' || text_[p] == '-'))
            ++p;
        const std::size_t digits = p;
        while (p < text_.size() && text_[p] >= '0' && text_[p] <= '9')
            ++p;
        if (p == digits)
            return fail();
        // from_chars takes no "+" sign.
        const std::size_t from = text_[begin] == '+' ? begin + 1 : begin;
        const auto r = std::from_chars(text_.data() + from, text_.data() + p, value);
        if (r.ec != std::errc() || r.ptr != text_.data() + p)
            return fail();
        pos_ = p;
        return true;
    }

    bool readFloat(float& value)
    {
        if (!start())
            return false;
        std::size_t p = pos_;
        if (text_[p] == '+') {
            ++p;
            if (p < text_.size() && (text_[p] == '-' || text_[p] == '+'))
                return fail();
        }
        const auto r = std::from_chars(text_.data() + p, text_.data() + text_.size(), value,
                                       std::chars_format::general);
        if (r.ec != std::errc())
            return fail();
        pos_ = static_cast<std::size_t>(r.ptr - text_.data());
        return true;
    }

private:
    // Skips white space; false when reading has failed or the text has ended.
    bool start()
    {
        if (failed_)
            return false;
        while (pos_ < text_.size() && isSpace(text_[pos_]))
            ++pos_;
        if (pos_ == text_.size())
            return fail();
        return true;
    }
    bool fail()
    {
        failed_ = true;
        return false;
    }
    static bool isSpace(char c)
    {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    bool failed_ = false;
};

void clearBranchRow(LossTables& t, int b)
{
    t.branchFrom[b] = 0;
    t.branchTo[b] = 0;
    t.branchIa[b] = 0.0f;
    t.branchIr[b] = 0.0f;
    t.branchR[b] = 0.0f;
}

bool isModelPosition(int32_t position, int n)
{
    return position >= 0 && position <= n;
}

// Reads the M branch records of network.tok into the tables. A record that
// cannot be read, or that names a position outside 0..n, leaves a zero row.
// False when the file holds such records.
bool readBranchCurrents(const std::string& bytes, LossTables& t, int n, int M)
{
    TokScanner in(bytes);
    bool sound = true;
    for (int b = 1; b <= M; ++b) {
        int32_t from = 0, to = 0;
        float ia = 0.0f, ir = 0.0f, r = 0.0f;
        const bool read = in.readInt(from) && in.readInt(to) && in.readFloat(ia) && in.readFloat(ir) &&
                          in.readFloat(r);
        if (!read || !isModelPosition(from, n) || !isModelPosition(to, n)) {
            clearBranchRow(t, b);
            sound = false;
            continue;
        }
        t.branchFrom[b] = from;
        t.branchTo[b] = to;
        t.branchIa[b] = ia;
        t.branchIr[b] = ir;
        t.branchR[b] = r;
    }
    return sound;
}

// The base node takes position N; a start that is still no position 1..N, or
// an end outside 0..n (left from a command on another network), makes the
// row a zero row.
void mapBaseNode(LossTables& t, int N, int M)
{
    for (int b = 1; b <= M; ++b) {
        if (t.branchFrom[b] == 0)
            t.branchFrom[b] = N;
        if (t.branchFrom[b] < 1 || t.branchFrom[b] > N || !isModelPosition(t.branchTo[b], N - 1)) {
            clearBranchRow(t, b);
            t.branchFrom[b] = N;
        }
    }
}

// The load current of every node: what flows in through the branches ending
// at it minus what flows out through the branches starting at it.
void computeNodeCurrents(LossTables& t, int N, int M)
{
    for (int j = 1; j <= N; ++j) {
        t.nodeIa[j] = 0.0f;
        t.nodeIr[j] = 0.0f;
        for (int b = 1; b <= M; ++b) {
            if (t.branchFrom[b] == j) {
                t.nodeIa[j] = t.nodeIa[j] - t.branchIa[b];
                t.nodeIr[j] = t.nodeIr[j] - t.branchIr[b];
            }
            if (t.branchTo[b] == j) {
                t.nodeIa[j] = t.nodeIa[j] + t.branchIa[b];
                t.nodeIr[j] = t.nodeIr[j] + t.branchIr[b];
            }
        }
    }
}

void clearMatrices(LossTables& t, int M)
{
    for (int b = 1; b <= M; ++b) {
        t.lossPart[b].fill(0.0f);
        t.coefA[b].fill(0.0f);
        t.coefR[b].fill(0.0f);
    }
}

// Share of node j's incoming current carried by each branch ending at j. A
// node whose incoming current sums to exactly zero gives its branches a zero
// share instead of dividing by zero.
void computeDirectCoefficients(LossMatrix& K, const LossNodeFloats& nodeI, const LossBranchFloats& branchI,
                               const LossTables& t, int N, int M)
{
    for (int j = 1; j <= N; ++j) {
        float s = nodeI[j];
        for (int b = 1; b <= M; ++b)
            if (t.branchFrom[b] == j)
                s = s + branchI[b];
        for (int b = 1; b <= M; ++b)
            if (t.branchTo[b] == j)
                K[b][j] = s == 0.0f ? 0.0f : branchI[b] / s;
    }
}

// Coefficients times the node's driving current: the current component of
// branch b due to the load of node j.
void computeCurrentComponents(LossTables& t, int N, int M)
{
    for (int b = 1; b <= M; ++b)
        for (int j = 1; j <= N; ++j)
            t.coefA[b][j] = t.nodeIa[j] * t.coefA[b][j];
    for (int b = 1; b <= M; ++b)
        for (int j = 1; j <= N; ++j)
            t.coefR[b][j] = t.nodeIr[j] * t.coefR[b][j];
}

void computeBranchLosses(LossTables& t, int M)
{
    for (int b = 1; b <= M; ++b)
        t.branchLoss[b] = (t.branchIa[b] * t.branchIa[b] + t.branchIr[b] * t.branchIr[b]) * t.branchR[b];
}

void computeLossComponents(LossTables& t, int N, int M)
{
    for (int b = 1; b <= M; ++b) {
        for (int j = 1; j <= N; ++j) {
            const float a = t.coefA[b][j];
            const float r = t.coefR[b][j];
            float s = a * a + r * r;
            for (int k = 1; k <= N; ++k)
                if (k != j)
                    s = (a * t.coefA[b][k] + s) + r * t.coefR[b][k];
            t.lossPart[b][j] = t.branchR[b] * s;
        }
    }
}

// True when every figure that losses.rez shows is a finite number: the
// currents read, the node currents, the losses, every component and the row
// and column sums (accumulated as the report accumulates them).
bool reportFinite(const LossTables& t, int N, int M)
{
    for (int j = 1; j <= N; ++j)
        if (!std::isfinite(t.nodeIa[j]) || !std::isfinite(t.nodeIr[j]))
            return false;
    for (int b = 1; b <= M; ++b) {
        if (!std::isfinite(t.branchIa[b]) || !std::isfinite(t.branchIr[b]) || !std::isfinite(t.branchR[b]) ||
            !std::isfinite(t.branchLoss[b]))
            return false;
        float total = 0.0f;
        for (int j = 1; j <= N; ++j)
            total = total + t.lossPart[b][j];
        if (!std::isfinite(total))  // also when a component is no number
            return false;
    }
    for (int j = 1; j <= N; ++j) {
        float column = 0.0f;
        for (int b = 1; b <= M; ++b)
            column = column + t.lossPart[b][j];
        if (!std::isfinite(column))
            return false;
    }
    return true;
}

bool isWalkable(int32_t from, int32_t to)
{
    return from >= 1 && from <= kLossNodeLimit && to >= 1 && to <= kLossNodeLimit;
}

// The branches leaving each node position, in increasing branch order.
struct OutgoingBranches {
    std::array<int16_t, kLossNodeSlots + 1> first{};
    std::array<int16_t, kLossBranchSlots> branch{};

    OutgoingBranches(const LossBranchInts& from, const LossBranchInts& to, int M)
    {
        std::array<int16_t, kLossNodeSlots> count{};
        for (int k = 1; k <= M; ++k)
            if (isWalkable(from[k], to[k]))
                ++count[from[k]];
        for (int e = 0; e < kLossNodeSlots; ++e)
            first[e + 1] = static_cast<int16_t>(first[e] + count[e]);
        std::array<int16_t, kLossNodeSlots> fill{};
        for (int k = 1; k <= M; ++k)
            if (isWalkable(from[k], to[k])) {
                const int e = from[k];
                branch[first[e] + fill[e]++] = static_cast<int16_t>(k);
            }
    }
};

// Depth-first walk below one branch b: every branch leaving node e adds the
// product of the coefficients along the path to row b at its end node.
struct CoefficientWalk {
    LossMatrix& K;
    const LossBranchInts& to;
    const OutgoingBranches& out;
    int b;

    void level(int L, int e, float p)
    {
        for (int i = out.first[e]; i < out.first[e + 1]; ++i) {
            const int k = out.branch[i];
            const int eL = to[k];
            const float pL = p * K[k][eL];
            K[b][eL] = K[b][eL] + pL;
            if (L < kPropagationDepth)
                level(L + 1, eL, pL);
        }
    }
};

}  // namespace

void propagateCoefficients(LossMatrix& K, const LossBranchInts& from, const LossBranchInts& to, int branches)
{
    const int M = std::min(branches, kLossBranchSlots - 1);
    const OutgoingBranches out(from, to, M);
    for (int b = 1; b <= M; ++b) {
        if (!isWalkable(from[b], to[b]))
            continue;
        const int e0 = to[b];
        const float p0 = K[b][e0];
        CoefficientWalk{K, to, out, b}.level(1, e0, p0);
    }
}

double countPropagationSteps(const LossBranchInts& from, const LossBranchInts& to, int branches)
{
    const int M = std::min(branches, kLossBranchSlots - 1);
    // Steps of a walk starting at each node, found once per node.
    std::array<double, kLossNodeSlots> stepsFrom{};
    std::array<bool, kLossNodeSlots> known{};
    double total = 0.0;
    for (int b = 1; b <= M; ++b) {
        if (!isWalkable(from[b], to[b]))
            continue;
        const int e0 = to[b];
        if (!known[e0]) {
            std::array<double, kLossNodeSlots> paths{};
            paths[e0] = 1.0;
            double steps = 0.0;
            for (int L = 1; L <= kPropagationDepth; ++L) {
                std::array<double, kLossNodeSlots> next{};
                for (int k = 1; k <= M; ++k)
                    if (isWalkable(from[k], to[k]))
                        next[to[k]] += paths[from[k]];
                for (double v : next)
                    steps += v;
                paths = next;
            }
            stepsFrom[e0] = steps;
            known[e0] = true;
        }
        total += stepsFrom[e0];
    }
    return total;
}

LossOutcome allocateLosses(NetworkModel& model, const std::filesystem::path& workDir, MessageSink& sink)
{
    return allocateLosses(model, workDir, sink, globalLossTables());
}

LossOutcome allocateLosses(NetworkModel& model, const std::filesystem::path& workDir, MessageSink& sink,
                           LossTables& t)
{
    const int n = std::max(model.nodeCount, 0);
    const int N = n + 1;
    if (N > kLossNodeLimit) {
        sink.showMessage(kLossTooManyNodesText);
        return LossOutcome::Refused;
    }
    if (model.branchCount > kLossBranchLimit) {
        sink.showMessage(kLossTooManyBranchesText);
        return LossOutcome::Refused;
    }
    const int M = std::clamp(model.branchCount, 0, kLossBranchLimit);

    std::string bytes;
    if (readFileBytes(workDir / kCurrentsFile, bytes)) {
        if (!readBranchCurrents(bytes, t, n, M))
            sink.showMessage(kLossTokDamagedText);
    } else {
        model.runMessage = std::string(kLossTokNotOpenedText) + "\n";
        sink.warning(kLossTokNotOpenedText);
    }
    mapBaseNode(t, N, M);

    if (countPropagationSteps(t.branchFrom, t.branchTo, M) > kLossWalkLimit) {
        sink.showMessage(kLossTooManyPathsText);
        return LossOutcome::Refused;
    }

    computeNodeCurrents(t, N, M);
    clearMatrices(t, M);
    computeDirectCoefficients(t.coefA, t.nodeIa, t.branchIa, t, N, M);
    computeDirectCoefficients(t.coefR, t.nodeIr, t.branchIr, t, N, M);
    propagateCoefficients(t.coefA, t.branchFrom, t.branchTo, M);
    propagateCoefficients(t.coefR, t.branchFrom, t.branchTo, M);
    computeCurrentComponents(t, N, M);
    computeBranchLosses(t, M);
    computeLossComponents(t, N, M);
    if (!reportFinite(t, N, M)) {
        sink.showMessage(kLossUndefinedText);
        return LossOutcome::Refused;
    }

    if (!writeLossReport(workDir / kLossShareFile, model, t, N, M)) {
        model.runMessage = kLossRezNotCreatedText;
        return LossOutcome::ReportNotCreated;
    }
    return LossOutcome::Written;
}

}  // namespace tarvel
