// The sparse Newton-Raphson method in double precision.
//
// Node k = 1..n has its unknowns (the corrections of e and f) at 0-based
// columns 2(k-1) and 2(k-1)+1 and its reactive-power (or voltage) and
// active-power equations at the same rows. The Jacobian is held in
// compressed-column form whose positions are found once per network; KLU
// analyses its pattern once, factorises it in the first step of a solve and
// refactorises it in the others.
#include "powerflow/SparseSolver.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>

#include <klu.h>

#include "model/ZeroImpedanceTies.h"
#include "powerflow/DcStart.h"
#include "powerflow/DecoupledFactors.h"
#include "powerflow/Gmres.h"
#include "powerflow/SparseSteps.h"

namespace tarvel {

// The steps are solved by GMRES where the node graph's factor work
// (NodeOrder::factorWork) reaches this much per node. Measured (Release,
// tarvel-cli, the solve from the flat start, with the far steps solved
// loosely): on meshed lattices of 2 500 to 100 000 nodes (400 to 3 900 per
// node) GMRES takes a half to a fifth of the factorised steps' time; on the
// generated grids of 9 000 and 30 000 nodes (64 and 127) two thirds (22
// against 34 ms, 102 against 148 ms), of 5 000 (42) about the same; on the
// grid of 2 000 (27), the regional grids (13), IEEE 118 and 300 and the RTE
// grids (5-7) the factorised steps are faster. An N-1 study of the 10 000-node
// grid with a Newton solve for every outage: 132 s against 159 s.
constexpr double kKrylovWorkPerNode = 40.0;

// Entry positions of one 2 x 2 block of the Jacobian (the equations of node p
// against the unknowns of node q): the column of q's real part holds the
// entries of p's two equations at e and e + 1, the column of the imaginary
// part at f and f + 1. Where p's first equation fixes its voltage magnitude
// and p is not q, that row has no entry: the active-power row is at e and f
// (activeRow 0).
struct BlockPositions {
    int e = -1;
    int f = -1;
    int activeRow = 1;
};

// The admittances as the equations use them, ties merged: node k's elements
// sit at its representative, a tie adds only its charging there.
struct Admittances {
    std::vector<int32_t> start, end;             // branches 1..m: the representatives of the ends
    std::vector<double> mutualStG, mutualStB;    // y / conj(N): the start node's current is -this * U_end
    std::vector<double> mutualTsG, mutualTsB;    // y / N: the end node's current is -this * U_start
    std::vector<double> selfG, selfB;            // nodes 0..n
};

// The Jacobian's pattern: one 2 x 2 block for every node and for every pair
// of non-base nodes joined by a branch that is no tie.
struct JacobianPattern {
    // Tells the analyses apart for a workspace whose factors were made for
    // one: unique in the process, unlike an address that a later analysis
    // may take over.
    std::uint64_t serial = 0;
    std::vector<int> columnStart;  // 2n + 1
    std::vector<int> rowIndex;
    std::vector<BlockPositions> diagonal;  // nodes 1..n
    // Nodes 1..n that no branch touches (a slot whose number a later record
    // repeats, without load or shunt, or a node solved as another): their
    // rows are the identity so that they keep their voltages.
    std::vector<char> unlinked;
    std::vector<BlockPositions> startRow;  // branches 1..m: equations of the start node, unknowns of the end node
    std::vector<BlockPositions> endRow;    // the other way round; e = -1 when an end is the base node or a tie
    NodeGraph graph;
    std::vector<int> nodeOrder;  // the graph's nodes in the order of elimination
    Admittances y;
    double initmem = 0;  // KLU's first allocation, relative to the matrix's entries
};

namespace {

bool hasLimits(const Network& net, int k)
{
    return net.nodeType[k] == 2 && (net.qmin[k] != 0.0 || net.qmax[k] != 0.0);
}

Admittances formAdmittances(const Network& net)
{
    const int n = net.nodeCount;
    const int m = net.branchCount;
    Admittances y;
    y.start.assign(m + 1, 0);
    y.end.assign(m + 1, 0);
    y.mutualStG.assign(m + 1, 0.0);
    y.mutualStB.assign(m + 1, 0.0);
    y.mutualTsG.assign(m + 1, 0.0);
    y.mutualTsB.assign(m + 1, 0.0);
    y.selfG.assign(n + 1, 0.0);
    y.selfB.assign(n + 1, 0.0);
    for (int k = 0; k <= n; ++k) {
        y.selfG[net.solvedAs[k]] += net.shuntG[k];
        y.selfB[net.solvedAs[k]] += net.shuntB[k];
    }
    for (int i = 1; i <= m; ++i) {
        const int s = net.solvedAs[net.branchStart[i]];
        const int t = net.solvedAs[net.branchEnd[i]];
        y.start[i] = s;
        y.end[i] = t;
        if (net.tie[i]) {
            y.selfG[s] += net.chargingG[i];
            y.selfB[s] += net.chargingB[i];
            continue;
        }
        const double g = net.seriesG[i];
        const double b = net.seriesB[i];
        const double K = net.ratio[i];
        if (net.shiftSin[i] == 0.0) {
            y.mutualStG[i] = y.mutualTsG[i] = g / K;
            y.mutualStB[i] = y.mutualTsB[i] = b / K;
        } else {
            // N = K e^(j phi): y / conj(N) = y e^(j phi) / K, y / N = y e^(-j phi) / K.
            const double c = net.shiftCos[i];
            const double sn = net.shiftSin[i];
            y.mutualStG[i] = (g * c - b * sn) / K;
            y.mutualStB[i] = (g * sn + b * c) / K;
            y.mutualTsG[i] = (g * c + b * sn) / K;
            y.mutualTsB[i] = (b * c - g * sn) / K;
        }
        y.selfG[s] += g / (K * K) + 0.5 * net.chargingG[i];
        y.selfB[s] += b / (K * K) + 0.5 * net.chargingB[i];
        y.selfG[t] += g + 0.5 * net.chargingG[i];
        y.selfB[t] += b + 0.5 * net.chargingB[i];
    }
    return y;
}

JacobianPattern formPattern(const Network& net, Admittances y)
{
    const int n = net.nodeCount;
    const int m = net.branchCount;
    const auto joins = [&](int i) { return !net.tie[i] && y.start[i] != 0 && y.end[i] != 0 && y.start[i] != y.end[i]; };
    // Neighbours of each node (itself included), sorted, in compressed form.
    std::vector<int> count(n + 2, 0);
    for (int k = 1; k <= n; ++k)
        ++count[k + 1];
    for (int i = 1; i <= m; ++i) {
        if (joins(i)) {
            ++count[y.start[i] + 1];
            ++count[y.end[i] + 1];
        }
    }
    for (int k = 1; k <= n; ++k)
        count[k + 1] += count[k];
    std::vector<int> neighbour(count[n + 1]);
    std::vector<int> fill(count.begin(), count.end() - 1);
    for (int k = 1; k <= n; ++k)
        neighbour[fill[k]++] = k;
    for (int i = 1; i <= m; ++i) {
        if (joins(i)) {
            neighbour[fill[y.start[i]]++] = y.end[i];
            neighbour[fill[y.end[i]]++] = y.start[i];
        }
    }
    std::vector<int> first(n + 2, 0);  // start of node k's unique neighbours
    int unique = 0;
    for (int k = 1; k <= n; ++k) {
        auto begin = neighbour.begin() + count[k];
        auto end = neighbour.begin() + count[k + 1];
        std::sort(begin, end);
        end = std::unique(begin, end);
        first[k] = unique;
        unique = static_cast<int>(std::copy(begin, end, neighbour.begin() + unique) - neighbour.begin());
    }
    first[n + 1] = unique;
    neighbour.resize(unique);

    JacobianPattern pattern;
    pattern.graph.start.assign(first.begin() + 1, first.end());
    pattern.graph.neighbour.resize(unique);
    std::transform(neighbour.begin(), neighbour.end(), pattern.graph.neighbour.begin(), [](int k) { return k - 1; });
    // The equation of a node with fixed voltage magnitude involves only its
    // own voltage: its row has no entries in other nodes' columns.
    // A fixed-voltage node with reactive limits keeps the entries of its
    // reactive-power row, which it uses while it is held at a limit.
    const auto fixedMagnitude = [&](int p) { return net.nodeType[p] != 1 && !hasLimits(net, p); };
    std::vector<int> rowOffset(unique);  // of a neighbour's first row within the column
    std::size_t entries = 0;
    for (int q = 1; q <= n; ++q)
        for (int a = first[q]; a < first[q + 1]; ++a)
            entries += neighbour[a] != q && fixedMagnitude(neighbour[a]) ? 2 : 4;
    pattern.columnStart.assign(2 * n + 1, 0);
    pattern.rowIndex.resize(entries);
    int position = 0;
    for (int q = 1; q <= n; ++q) {
        for (int part = 0; part < 2; ++part) {
            const int column = 2 * (q - 1) + part;
            pattern.columnStart[column] = position;
            for (int a = first[q]; a < first[q + 1]; ++a) {
                const int p = neighbour[a];
                rowOffset[a] = position - pattern.columnStart[column];
                if (p == q || !fixedMagnitude(p))
                    pattern.rowIndex[position++] = 2 * (p - 1);
                pattern.rowIndex[position++] = 2 * (p - 1) + 1;
            }
        }
    }
    pattern.columnStart[2 * n] = position;

    // Block (p, q): p's rank among q's neighbours gives its rows in q's columns.
    const auto block = [&](int p, int q) {
        const auto begin = neighbour.begin() + first[q];
        const auto end = neighbour.begin() + first[q + 1];
        const int offset = rowOffset[std::lower_bound(begin, end, p) - neighbour.begin()];
        return BlockPositions{pattern.columnStart[2 * (q - 1)] + offset,
                              pattern.columnStart[2 * (q - 1) + 1] + offset, p != q && fixedMagnitude(p) ? 0 : 1};
    };
    pattern.unlinked.assign(n + 1, 1);
    for (int i = 1; i <= m; ++i) {
        if (net.tie[i])
            continue;
        pattern.unlinked[y.start[i]] = 0;
        pattern.unlinked[y.end[i]] = 0;
    }
    pattern.diagonal.resize(n + 1);
    for (int k = 1; k <= n; ++k)
        pattern.diagonal[k] = block(k, k);
    pattern.startRow.resize(m + 1);
    pattern.endRow.resize(m + 1);
    for (int i = 1; i <= m; ++i) {
        const int s = y.start[i];
        const int t = y.end[i];
        if (s == 0 || t == 0 || net.tie[i])
            continue;
        pattern.startRow[i] = block(s, t);
        pattern.endRow[i] = block(t, s);
    }
    pattern.y = std::move(y);
    return pattern;
}

}  // namespace

void startVoltages(const Network& net, const Start& start, std::vector<double>& e, std::vector<double>& f)
{
    const std::size_t slots = static_cast<std::size_t>(net.nodeCount) + 1;
    if (start.kind == Start::Kind::FromSolution && start.solution && start.solution->voltageRe.size() == slots) {
        e = start.solution->voltageRe;
        f = start.solution->voltageIm;
    } else {
        e.resize(slots);
        f.assign(slots, 0.0);
        for (std::size_t k = 0; k < slots; ++k)
            e[k] = net.nodeUnom[k];
    }
    if (net.hasTies) {
        for (std::size_t k = 0; k < slots; ++k) {
            e[k] = e[net.solvedAs[k]];
            f[k] = f[net.solvedAs[k]];
        }
    }
    // Nodes cut off in the solution started from come back at their nominal voltage.
    for (std::size_t k = 1; k < slots; ++k) {
        if (e[k] == 0.0 && f[k] == 0.0) {
            e[k] = net.nodeUnom[net.solvedAs[k]];
        }
    }
}

namespace {

std::uint64_t nextPatternSerial()
{
    static std::atomic<std::uint64_t> last{0};
    return ++last;
}

}  // namespace

SolverAnalysis::SolverAnalysis(const Network& network)
    : pattern_(std::make_unique<JacobianPattern>(formPattern(network, formAdmittances(network))))
{
    pattern_->serial = nextPatternSerial();
    analyse(chooseNodeOrder(pattern_->graph), std::nullopt);
}

SolverAnalysis::SolverAnalysis(const Network& network, NodeOrdering ordering)
    : pattern_(std::make_unique<JacobianPattern>(formPattern(network, formAdmittances(network))))
{
    pattern_->serial = nextPatternSerial();
    analyse(orderNodes(pattern_->graph, ordering), std::nullopt);
}

SolverAnalysis::SolverAnalysis(const Network& network, StepSolver steps)
    : pattern_(std::make_unique<JacobianPattern>(formPattern(network, formAdmittances(network))))
{
    pattern_->serial = nextPatternSerial();
    analyse(chooseNodeOrder(pattern_->graph), steps);
}

void SolverAnalysis::analyse(NodeOrder order, std::optional<StepSolver> steps)
{
    // Each node takes its two rows and columns together: every 2 x 2 block of
    // the pattern is full, so ordering the nodes orders the whole matrix at a
    // quarter of the cost. The Jacobian of a network joined to its base node
    // is irreducible, so no block triangular form is sought.
    const int nodes = static_cast<int>(pattern_->graph.start.size()) - 1;
    if (nodes < 1 || static_cast<int>(order.order.size()) != nodes)
        return;
    steps_ =
        steps.value_or(order.factorWork >= kKrylovWorkPerNode * nodes ? StepSolver::Krylov : StepSolver::Factorised);
    std::vector<int> columns(2 * static_cast<std::size_t>(nodes));
    for (int k = 0; k < nodes; ++k) {
        columns[2 * k] = 2 * order.order[k];
        columns[2 * k + 1] = 2 * order.order[k] + 1;
    }
    pattern_->nodeOrder = std::move(order.order);
    if (steps_ == StepSolver::Krylov)
        nodeAnalysis_ = std::make_unique<NodeAnalysis>(pattern_->graph, pattern_->nodeOrder);
    klu_common common;
    klu_defaults(&common);
    common.btf = 0;
    // Room for the factors that the ordering predicts with diagonal pivots
    // (L: four entries per entry of the nodes' factor, one within each
    // node's block, the diagonal), with a margin; KLU grows it if other
    // pivots need more.
    pattern_->initmem =
        1.2 * (4.0 * order.factorEntries + 3.0 * nodes) / static_cast<double>(pattern_->rowIndex.size());
    symbolic_ = klu_analyze_given(2 * nodes, pattern_->columnStart.data(), pattern_->rowIndex.data(),
                                  columns.data(), columns.data(), &common);
}

SolverAnalysis::~SolverAnalysis()
{
    if (symbolic_) {
        klu_common common;
        klu_defaults(&common);
        auto* symbolic = static_cast<klu_symbolic*>(symbolic_);
        klu_free_symbolic(&symbolic, &common);
    }
}

// One thread's state of a solve.
struct SolverWorkspace::Data {
    klu_common common{};
    klu_numeric* numeric = nullptr;
    std::uint64_t numericOf = 0;  // the serial of the pattern numeric was factorised for

    std::vector<double> e, f;    // voltages, nodes 0..n
    std::vector<double> Ir, Ii;  // injected currents
    std::vector<double> P, Q;    // injected powers
    std::vector<double> J;       // the Jacobian's values
    std::vector<double> mismatch;
    std::vector<double> lastE, lastF;
    std::vector<double> selfG, selfB;  // with the branches out of service taken away
    std::vector<double> loadP, loadQ;  // per representative
    // Reactive limits per representative (summed over its fixed-voltage
    // nodes that give limits), and its hold at them: +1 at Qmax, -1 at Qmin.
    std::vector<double> qmin, qmax;
    std::vector<char> limited;
    std::vector<int8_t> held;
    std::vector<int> releases;
    std::vector<char> skip;            // branches 1..m: a tie or out of service
    std::vector<char> identity;        // nodes 0..n: an identity row (unlinked, excluded)
    std::vector<char> excluded;        // nodes 0..n: no equations (solved as another node, cut off)
    int activeEquations = 0;
    // With StepSolver::Krylov: B' and B'' at the graph's entries, their
    // factors, and GMRES's vectors.
    std::vector<double> angleMatrix, magnitudeMatrix, step;
    DecoupledFactors decoupled;
    GmresSpace gmres;
    bool secondCore = false;

    Data() { klu_defaults(&common); }
    ~Data() { freeNumeric(); }
    void freeNumeric()
    {
        if (numeric)
            klu_free_numeric(&numeric, &common);
        numericOf = 0;
    }
};

SolverWorkspace::SolverWorkspace() : data_(std::make_unique<Data>()) {}
void SolverWorkspace::allowSecondCore(bool allow)
{
    data_->secondCore = allow;
}
SolverWorkspace::~SolverWorkspace() = default;
SolverWorkspace::SolverWorkspace(SolverWorkspace&&) noexcept = default;
SolverWorkspace& SolverWorkspace::operator=(SolverWorkspace&&) noexcept = default;

namespace {

using Data = SolverWorkspace::Data;

// The per-solve tables: admittances and loads with this solve's changes, and
// which rows are the identity.
void applyChanges(const Network& net, const JacobianPattern& pattern, const SolveChanges& changes, Data& w)
{
    const int n = net.nodeCount;
    const int m = net.branchCount;
    const Admittances& y = pattern.y;
    w.selfG = y.selfG;
    w.selfB = y.selfB;
    w.skip.assign(net.tie.begin(), net.tie.end());
    for (const int i : changes.branchesOut) {
        if (i < 1 || i > m || w.skip[i])
            continue;
        w.skip[i] = 1;
        const double K = net.ratio[i];
        const double g = net.seriesG[i], b = net.seriesB[i];
        w.selfG[y.start[i]] -= g / (K * K) + 0.5 * net.chargingG[i];
        w.selfB[y.start[i]] -= b / (K * K) + 0.5 * net.chargingB[i];
        w.selfG[y.end[i]] -= g + 0.5 * net.chargingG[i];
        w.selfB[y.end[i]] -= b + 0.5 * net.chargingB[i];
    }
    for (const NodeShunt& shunt : changes.shuntsOut) {
        if (shunt.node < 0 || shunt.node > n)
            continue;
        w.selfG[net.solvedAs[shunt.node]] -= shunt.g;
        w.selfB[net.solvedAs[shunt.node]] -= shunt.b;
    }
    const bool ownLoads = changes.loadP.size() != static_cast<std::size_t>(n) + 1 ||
                          changes.loadQ.size() != static_cast<std::size_t>(n) + 1;
    const std::span<const double> loadP = ownLoads ? std::span<const double>(net.loadP) : changes.loadP;
    const std::span<const double> loadQ = ownLoads ? std::span<const double>(net.loadQ) : changes.loadQ;
    w.loadP.assign(n + 1, 0.0);
    w.loadQ.assign(n + 1, 0.0);
    for (int k = 0; k <= n; ++k) {
        w.loadP[net.solvedAs[k]] += loadP[k];
        w.loadQ[net.solvedAs[k]] += loadQ[k];
    }
    w.qmin.assign(n + 1, 0.0);
    w.qmax.assign(n + 1, 0.0);
    w.limited.assign(n + 1, 0);
    for (int k = 1; k <= n; ++k) {
        if (!hasLimits(net, k))
            continue;
        const int r = net.solvedAs[k];
        w.qmin[r] += net.qmin[k];
        w.qmax[r] += net.qmax[k];
        w.limited[r] = net.nodeType[r] == 2 && r != 0;
    }
    w.held.assign(n + 1, 0);
    w.releases.assign(n + 1, 0);
    w.identity.assign(pattern.unlinked.begin(), pattern.unlinked.end());
    w.excluded.assign(n + 1, 0);
    for (int k = 1; k <= n; ++k)
        if (net.solvedAs[k] != k)
            w.excluded[k] = 1;
    // A reference other than the base node keeps its voltage (an identity
    // row) and its admittances, so that its injection is the balance.
    if (changes.reference >= 1 && changes.reference <= n) {
        const int r = net.solvedAs[changes.reference];
        w.excluded[r] = 1;
        w.limited[r] = 0;
    }
    for (const int k : changes.nodesCutOff) {
        if (k < 1 || k > n || net.solvedAs[k] != k)
            continue;
        w.excluded[k] = 1;
        w.selfG[k] = w.selfB[k] = 0.0;
        w.loadP[k] = w.loadQ[k] = 0.0;
    }
    int inactive = 0;
    for (int k = 1; k <= n; ++k) {
        if (w.excluded[k]) {
            w.identity[k] = 1;
            ++inactive;
        }
    }
    w.activeEquations = 2 * (n - inactive);
}

// A load node, or a fixed-voltage node held at a reactive limit.
bool solvesReactivePower(const Network& net, const Data& w, int k)
{
    return net.nodeType[k] == 1 || w.held[k] != 0;
}

// The reactive power node k consumes in its equation: less the generation at
// the limit where it is held.
double equationLoadQ(const Data& w, int k)
{
    return w.loadQ[k] - (w.held[k] > 0 ? w.qmax[k] : w.held[k] < 0 ? w.qmin[k] : 0.0);
}

void computeInjections(const Network& net, const Admittances& y, Data& w)
{
    const int n = net.nodeCount;
    const int m = net.branchCount;
    const auto& e = w.e;
    const auto& f = w.f;
    for (int k = 0; k <= n; ++k) {
        w.Ir[k] = w.selfG[k] * e[k] - w.selfB[k] * f[k];
        w.Ii[k] = w.selfG[k] * f[k] + w.selfB[k] * e[k];
    }
    for (int i = 1; i <= m; ++i) {
        if (w.skip[i])
            continue;
        const int s = y.start[i];
        const int t = y.end[i];
        w.Ir[s] -= y.mutualStG[i] * e[t] - y.mutualStB[i] * f[t];
        w.Ii[s] -= y.mutualStG[i] * f[t] + y.mutualStB[i] * e[t];
        w.Ir[t] -= y.mutualTsG[i] * e[s] - y.mutualTsB[i] * f[s];
        w.Ii[t] -= y.mutualTsG[i] * f[s] + y.mutualTsB[i] * e[s];
    }
    for (int k = 0; k <= n; ++k) {
        w.P[k] = e[k] * w.Ir[k] + f[k] * w.Ii[k];
        w.Q[k] = f[k] * w.Ir[k] - e[k] * w.Ii[k];
    }
}

struct Residual {
    double rms = 0;
    double worst = 0;  // the largest single-equation error
};

// The mismatches (0-based rows) and the errors measured as the exact method
// measures them: relative to the node's own power of at least 1 MW (Mvar),
// absolute below that, relative to U_set^2 for a voltage equation. Identity
// rows have none.
Residual computeResidual(const Network& net, const Admittances& y, Data& w)
{
    computeInjections(net, y, w);
    const int n = net.nodeCount;
    double sum = 0;
    double worst = 0;
    for (int k = 1; k <= n; ++k) {
        double& mQ = w.mismatch[2 * (k - 1)];
        double& mP = w.mismatch[2 * (k - 1) + 1];
        if (w.excluded[k]) {
            mQ = mP = 0.0;
            continue;
        }
        const NodeMismatch m = nodeMismatch(w.P[k], w.Q[k], w.e[k], w.f[k], w.loadP[k], equationLoadQ(w, k),
                                            net.nodeUnom[k], solvesReactivePower(net, w, k));
        mP = m.mP;
        mQ = m.mQ;
        sum += m.eP * m.eP + m.eQ * m.eQ;
        worst = std::max({worst, std::fabs(m.eP), std::fabs(m.eQ)});
    }
    if (w.activeEquations == 0)
        return {0.0, 0.0};
    return {std::sqrt(sum / static_cast<double>(w.activeEquations)), worst};
}

void formJacobian(const Network& net, const JacobianPattern& pattern, Data& w)
{
    const Admittances& y = pattern.y;
    auto& J = w.J;
    std::fill(J.begin(), J.end(), 0.0);
    const int n = net.nodeCount;
    for (int k = 1; k <= n; ++k) {
        const double G = w.selfG[k], B = w.selfB[k];
        const double e = w.e[k], f = w.f[k];
        const BlockPositions d = pattern.diagonal[k];
        if (w.identity[k]) {
            J[d.e] = 1.0;
            J[d.f + 1] = 1.0;
            continue;
        }
        if (solvesReactivePower(net, w, k)) {
            J[d.e] = G * f - B * e - w.Ii[k];
            J[d.f] = -G * e - B * f + w.Ir[k];
        } else {
            J[d.e] = 2.0 * e / net.nodeUnom[k];
            J[d.f] = 2.0 * f / net.nodeUnom[k];
        }
        J[d.e + 1] = G * e + B * f + w.Ir[k];
        J[d.f + 1] = G * f - B * e + w.Ii[k];
    }
    // Coupling through the branches between two non-base nodes; the voltage
    // row of a node with fixed magnitude has none.
    const auto couple = [&](int p, const BlockPositions& at, double g, double b) {
        const double e = w.e[p], f = w.f[p];
        if (solvesReactivePower(net, w, p)) {
            J[at.e] += -(g * f - b * e);
            J[at.f] += g * e + b * f;
        }
        J[at.e + at.activeRow] += -(g * e + b * f);
        J[at.f + at.activeRow] += -(g * f - b * e);
    };
    for (int i = 1; i <= net.branchCount; ++i) {
        if (pattern.startRow[i].e < 0 || w.skip[i])
            continue;
        // A node cut off keeps its identity row, whatever joins it to other nodes cut off.
        if (!w.identity[y.start[i]])
            couple(y.start[i], pattern.startRow[i], y.mutualStG[i], y.mutualStB[i]);
        if (!w.identity[y.end[i]])
            couple(y.end[i], pattern.endRow[i], y.mutualTsG[i], y.mutualTsB[i]);
    }
}

constexpr int kScaleByLargestEntry = 2;
constexpr int kNoScaling = -1;  // nor a check of the pattern, which is ours

// Factorises J: numerically anew when asked (the first step of a solve
// that does not continue the one before) or when the workspace holds no
// factors of this analysis, else with the pivot order found then; a
// refactorisation that meets a zero pivot is tried once more as a fresh
// factorisation. False for a singular matrix. The rows are scaled (by their
// largest entry) only where pivots are chosen: with the pivot order fixed,
// scaling rows changes nothing in the stability of the elimination and only
// costs a pass over J.
bool factor(const SolverAnalysis& analysis, Data& w, bool firstStep)
{
    const JacobianPattern& pattern = analysis.pattern();
    auto* symbolic = static_cast<klu_symbolic*>(analysis.symbolic());
    // KLU takes the pattern through non-const pointers but only reads it.
    int* Ap = const_cast<int*>(pattern.columnStart.data());
    int* Ai = const_cast<int*>(pattern.rowIndex.data());
    if (firstStep || w.numericOf != pattern.serial)
        w.freeNumeric();
    w.common.btf = 0;
    w.common.initmem = pattern.initmem;
    if (w.numeric) {
        w.common.scale = kNoScaling;
        if (klu_refactor(Ap, Ai, w.J.data(), symbolic, w.numeric, &w.common) && w.common.status == KLU_OK)
            return true;
        w.freeNumeric();
    }
    w.common.scale = kScaleByLargestEntry;
    w.numeric = klu_factor(Ap, Ai, w.J.data(), symbolic, &w.common);
    w.numericOf = w.numeric ? pattern.serial : 0;
    return w.numeric != nullptr && w.common.status == KLU_OK;
}

// Overwrites the mismatch with the solution of J x = mismatch.
bool solveStep(const SolverAnalysis& analysis, Data& w)
{
    const int dim = static_cast<int>(w.mismatch.size());
    return klu_solve(static_cast<klu_symbolic*>(analysis.symbolic()), w.numeric, dim, 1, w.mismatch.data(),
                     &w.common) != 0;
}

bool allFinite(const std::vector<double>& v)
{
    return std::all_of(v.begin(), v.end(), [](double a) { return std::isfinite(a); });
}

// B' and B'' at the present voltages, in the node graph's entries: the
// derivatives of the active powers by the angles and of the reactive powers
// by the magnitudes that the equations would have at equal angles without
// resistance (Im Y only); a fixed-voltage node's row of B'' is that of its
// voltage equation, an identity row is the identity in both.
void formDecoupledMatrices(const Network& net, const JacobianPattern& pattern, Data& w)
{
    const NodeGraph& graph = pattern.graph;
    const Admittances& y = pattern.y;
    const int n = net.nodeCount;
    w.angleMatrix.assign(graph.neighbour.size(), 0.0);
    w.magnitudeMatrix.assign(graph.neighbour.size(), 0.0);
    // Rows and columns of nodes 1..n.
    const auto at = [&](std::vector<double>& matrix, int row, int column) -> double& {
        const auto begin = graph.neighbour.begin() + graph.start[column - 1];
        const auto end = graph.neighbour.begin() + graph.start[column];
        return matrix[std::lower_bound(begin, end, row - 1) - graph.neighbour.begin()];
    };
    const auto magnitude = [&](int k) { return std::hypot(w.e[k], w.f[k]); };
    for (int i = 1; i <= net.branchCount; ++i) {
        const int s = y.start[i], t = y.end[i];
        if (w.skip[i] || s == t || (s > 0 && w.identity[s]) || (t > 0 && w.identity[t]))
            continue;
        const double us = magnitude(s), ut = magnitude(t);
        // Both ends' rows take the coupling of the start's (they differ only by a phase shift).
        const double coupling = -y.mutualStB[i] * us * ut;
        if (s > 0)
            at(w.angleMatrix, s, s) += coupling;
        if (t > 0)
            at(w.angleMatrix, t, t) += coupling;
        if (s == 0 || t == 0)
            continue;
        at(w.angleMatrix, s, t) -= coupling;
        at(w.angleMatrix, t, s) -= coupling;
        if (solvesReactivePower(net, w, s))
            at(w.magnitudeMatrix, s, t) += us * y.mutualStB[i];
        if (solvesReactivePower(net, w, t))
            at(w.magnitudeMatrix, t, s) += ut * y.mutualTsB[i];
    }
    for (int k = 1; k <= n; ++k) {
        double& angle = at(w.angleMatrix, k, k);
        double& volts = at(w.magnitudeMatrix, k, k);
        if (w.identity[k]) {
            angle = volts = 1.0;
            continue;
        }
        volts = solvesReactivePower(net, w, k) ? -magnitude(k) * w.selfB[k] : 2.0 * magnitude(k) / net.nodeUnom[k];
        // A node that no branch in service reaches keeps its angle.
        if (angle == 0.0)
            angle = 1.0;
        if (volts == 0.0)
            volts = 1.0;
    }
}

// Factorises B' and B'' at the present voltages.
bool factorDecoupled(const Network& net, const SolverAnalysis& analysis, Data& w)
{
    const JacobianPattern& pattern = analysis.pattern();
    formDecoupledMatrices(net, pattern, w);
    if (!w.decoupled.factor(pattern.graph, *analysis.nodeAnalysis(), w.angleMatrix, w.magnitudeMatrix,
                            w.secondCore))
        return false;
    w.decoupled.madeFor = pattern.serial;
    return true;
}

// GMRES's closest stop, relative to the mismatches' norm: as close as a
// factorised step comes, where nothing tells how close a step need be.
constexpr GmresLimits kKrylovLimits{1e-6, 40, 400};

// Far from the solution a step is only as good as the linear model of the
// equations, and solving it closely is wasted work: while the residual is at
// least kFarResidual and falls, GMRES stops at a tenth of it (at most 0.1).
// The few iterations also keep the step near the decoupled one, which
// overshoots less: the 100 000-node lattice takes 17 GMRES iterations in 5
// steps instead of 74 in 7, the 10 000-node one 15 in 4 instead of 25 in
// 3, each at a fraction of a step's cost.
constexpr double kFarResidual = 0.1;

// Nearer, Newton's own error falls with the square of the residual's last
// fall, and GMRES need not stop much below it: at kForcing times that square
// (Eisenstat and Walker's second choice), which keeps the steps' quadratic
// convergence. The 9 000-node grid's last step takes 4 GMRES iterations
// instead of 8; the steps of every measured grid stay as many (the 30 000-node
// grid one fewer). The first step of a solve and a step after a rise are
// solved closely: a solve started near its solution (a series, an outage) has
// no fall to go by.
constexpr double kForcing = 0.9;

double stepTolerance(double residual, double residualBefore)
{
    if (!(residual < residualBefore))
        return kKrylovLimits.tolerance;
    if (residual >= kFarResidual)
        return std::min(0.1 * residual, 0.1);
    const double fall = residual / residualBefore;
    return std::clamp(kForcing * fall * fall, kKrylovLimits.tolerance, 0.1);
}

// Overwrites the mismatch with the step that GMRES finds for J x = mismatch,
// preconditioned by the decoupled factors (made afresh when asked, or when
// the workspace holds none of this analysis). False, with the mismatch
// untouched, where they are singular or GMRES stops short of its tolerance:
// the step is then taken with J factorised.
bool solveStepByKrylov(const Network& net, const SolverAnalysis& analysis, Data& w, bool refresh, double tolerance,
                       Solution& solution)
{
    const JacobianPattern& pattern = analysis.pattern();
    const NodeAnalysis& nodes = *analysis.nodeAnalysis();
    if ((refresh || w.decoupled.madeFor != pattern.serial) && !factorDecoupled(net, analysis, w))
        return false;
    const auto multiply = [&](std::span<const double> x, std::span<double> product) {
        std::fill(product.begin(), product.end(), 0.0);
        const int columns = static_cast<int>(pattern.columnStart.size()) - 1;
        for (int c = 0; c < columns; ++c)
            for (int p = pattern.columnStart[c]; p < pattern.columnStart[c + 1]; ++p)
                product[pattern.rowIndex[p]] += w.J[p] * x[c];
    };
    const auto precondition = [&](std::span<const double> r, std::span<double> x) {
        w.decoupled.apply(nodes, r, x, w.e, w.f, w.identity, w.secondCore);
    };
    w.step.resize(w.mismatch.size());
    GmresLimits limits = kKrylovLimits;
    limits.tolerance = tolerance;
    const GmresOutcome outcome = solveByGmres(multiply, precondition, w.mismatch, w.step, limits, w.gmres);
    solution.gmresIterations += outcome.iterations;
    if (!outcome.converged || !allFinite(w.step))
        return false;
    w.mismatch.swap(w.step);
    ++solution.stepsByGmres;
    return true;
}

// Switches the nodes whose hold at a reactive limit changes after a step;
// computeResidual has left the injections of the present voltages.
int switchAtLimits(const Network& net, Data& w, int iteration, std::vector<LimitSwitch>& log)
{
    const auto limits = [&](int k) {
        return NodeLimits{w.limited[k] && !w.excluded[k], w.qmin[k], w.qmax[k], net.nodeUnom[k]};
    };
    const auto generation = [&](int k) { return w.Q[k] + w.loadQ[k]; };
    const auto voltage2 = [&](int k) { return w.e[k] * w.e[k] + w.f[k] * w.f[k]; };
    return tarvel::switchAtLimits(net.nodeCount, iteration, limits, generation, voltage2, w.held, w.releases, log);
}

// The holds of the nodes 0..n: a tie group's fixed-voltage nodes with limits
// share their representative's.
std::vector<int8_t> nodeHolds(const Network& net, const Data& w)
{
    std::vector<int8_t> held(w.held);
    for (int k = 1; k <= net.nodeCount; ++k)
        if (net.solvedAs[k] != k)
            held[k] = hasLimits(net, k) ? w.held[net.solvedAs[k]] : 0;
    return held;
}

// Angles (radians) beyond which the straight Newton step of e and f goes
// astray: a DC power flow whose largest angle is smaller does not start the
// iteration, and a step that turns no node's voltage further is taken
// straight. Below, the flat start is as close, and for a lightly loaded
// network the straight step is all but exact (the equations are nearly linear
// in e and f), where a turned start or step stops at an equally precise
// point that an ill-conditioned network (a chain of 50 000 lines) may hold
// 0.1-0.2 kV away.
constexpr double kLargeAngle = 0.05;

// A network starts from the angles of a DC power flow where a phase shifter
// turns some angle that the flat start leaves at 0, and, from kDcStartNodes
// nodes, where its steps are solved by GMRES: there the factors of B', made
// for the start, precondition the first step too, and the heavily loaded lattice
// of 99 856 nodes converges only from it. With the steps factorised the DC
// start costs a factorisation of its own, a fifth of the solve (IEEE 300 571
// against 404 us, the regional grid of 10 000 nodes 20 against 16.5 ms),
// and saved no step on the generated and regional grids of 1 000 to 10 000
// nodes (one on the regional grid of 30 000, whose solve it left no shorter).
constexpr int kDcStartNodes = 1000;

bool startsFromDcAngles(const Network& net, bool byKrylov)
{
    return (byKrylov && net.nodeCount >= kDcStartNodes) ||
           std::any_of(net.shiftSin.begin(), net.shiftSin.end(), [](double s) { return s != 0.0; });
}

// The flat start turned by the angles of a DC power flow over this solve's
// branches and loads (B' theta = P with b = U_start U_end Im(-y/N), which
// leaves out the losses; nodes without equations stay at angle 0). False,
// with the voltages untouched, where B' is singular or every angle is small.
//
// With the steps solved by GMRES, B' is the decoupled matrix at these
// voltages, and its factors, made here, precondition the first steps too.
bool turnByDcAngles(const Network& net, const SolverAnalysis& analysis, bool byKrylov, Data& w)
{
    const JacobianPattern& pattern = analysis.pattern();
    const int n = net.nodeCount;
    const Admittances& y = pattern.y;
    DcNetwork dc;
    dc.from.assign(y.start.begin(), y.start.end());
    dc.to.assign(y.end.begin(), y.end.end());
    dc.coupling.assign(y.start.size(), 0.0);
    for (int i = 1; i <= net.branchCount; ++i) {
        const int s = y.start[i], t = y.end[i];
        if (!w.skip[i] && !w.excluded[s] && !w.excluded[t])
            dc.coupling[i] = -y.mutualStB[i] * w.e[s] * w.e[t];
    }
    dc.injection.assign(n + 1, 0.0);
    for (int k = 1; k <= n; ++k)
        if (!w.excluded[k])
            dc.injection[k] = -w.loadP[k];
    // A phase shifter carries b (theta_start - phi - theta_end): its shift
    // enters as a pair of injections.
    for (int i = 1; i <= net.branchCount; ++i) {
        if (dc.coupling[i] == 0.0 || net.shiftSin[i] == 0.0)
            continue;
        const double shifted = dc.coupling[i] * std::atan2(net.shiftSin[i], net.shiftCos[i]);
        dc.injection[y.start[i]] += shifted;
        dc.injection[y.end[i]] -= shifted;
    }
    std::vector<double> theta;
    if (!byKrylov) {
        theta = dcAngles(pattern.graph, pattern.nodeOrder, dc);
    } else if (factorDecoupled(net, analysis, w)) {
        theta = std::move(dc.injection);
        if (!w.decoupled.solveAngles(*analysis.nodeAnalysis(), std::span(theta).subspan(1)))
            theta.clear();
    }
    if (theta.empty() ||
        std::none_of(theta.begin(), theta.end(), [](double a) { return std::fabs(a) > kLargeAngle; }))
        return false;
    for (int k = 1; k <= n; ++k) {
        const double u = w.e[k];
        w.e[k] = u * std::cos(theta[k]);
        w.f[k] = u * std::sin(theta[k]);
    }
    return true;
}

// Nodes solved as another take its voltage.
void followRepresentatives(const Network& net, Data& w)
{
    if (!net.hasTies)
        return;
    for (int k = 1; k <= net.nodeCount; ++k) {
        w.e[k] = w.e[net.solvedAs[k]];
        w.f[k] = w.f[net.solvedAs[k]];
    }
}

// The powers of the nodes that ties join and the flows of the ties. The
// equations give each group's total injection at its representative; every
// other node of the group injects what its record asks (minus its load), the
// representative the rest. What a node injects beyond its own elements and
// other branches leaves through its ties; along a spanning tree of the group
// (breadth-first from the representative) each tie carries what the nodes
// beyond it need; a tie that closes a loop of ties carries nothing.
void distributeTies(const Network& net, const Data& w, std::span<const double> loadP, std::span<const double> loadQ,
                    Solution& solution)
{
    const int n = net.nodeCount;
    const int m = net.branchCount;
    std::vector<int> members(n + 1, 0);
    for (int k = 0; k <= n; ++k)
        ++members[net.solvedAs[k]];
    const auto grouped = [&](int k) { return members[net.solvedAs[k]] > 1; };

    // Currents into each grouped node's own shunt and its other branches.
    std::vector<double> Ir(n + 1, 0.0), Ii(n + 1, 0.0);
    for (int k = 0; k <= n; ++k) {
        if (!grouped(k))
            continue;
        Ir[k] = net.shuntG[k] * w.e[k] - net.shuntB[k] * w.f[k];
        Ii[k] = net.shuntG[k] * w.f[k] + net.shuntB[k] * w.e[k];
    }
    std::vector<int> tieStart(n + 2, 0);
    for (int i = 1; i <= m; ++i) {
        const int a = net.branchStart[i];
        const int b = net.branchEnd[i];
        if (net.tie[i]) {
            ++tieStart[a + 1];
            ++tieStart[b + 1];
            continue;
        }
        if (w.skip[i] || (!grouped(a) && !grouped(b)))
            continue;
        const double g = net.seriesG[i], bs = net.seriesB[i], K = net.ratio[i];
        const double halfG = 0.5 * net.chargingG[i], halfB = 0.5 * net.chargingB[i];
        const double ea = w.e[a], fa = w.f[a], eb = w.e[b], fb = w.f[b];
        // y / N and y / conj(N) as the equations have them.
        const double c = net.shiftCos[i], sn = net.shiftSin[i];
        const double stG = (g * c - bs * sn) / K, stB = (g * sn + bs * c) / K;
        const double tsG = (g * c + bs * sn) / K, tsB = (bs * c - g * sn) / K;
        if (grouped(a)) {
            const double G = g / (K * K) + halfG, B = bs / (K * K) + halfB;
            Ir[a] += G * ea - B * fa - (stG * eb - stB * fb);
            Ii[a] += G * fa + B * ea - (stG * fb + stB * eb);
        }
        if (grouped(b)) {
            const double G = g + halfG, B = bs + halfB;
            Ir[b] += G * eb - B * fb - (tsG * ea - tsB * fa);
            Ii[b] += G * fb + B * eb - (tsG * fa + tsB * ea);
        }
    }
    for (int k = 0; k <= n; ++k)
        tieStart[k + 1] += tieStart[k];
    std::vector<int> tieOf(tieStart[n + 1]);
    std::vector<int> fill(tieStart.begin(), tieStart.end() - 1);
    for (int i = 1; i <= m; ++i) {
        if (!net.tie[i])
            continue;
        tieOf[fill[net.branchStart[i]]++] = i;
        tieOf[fill[net.branchEnd[i]]++] = i;
    }

    // What each grouped node sends into its ties (its charging halves taken
    // off, so that the rest is the series flows), from the representative's
    // total.
    std::vector<double> outP(n + 1, 0.0), outQ(n + 1, 0.0);
    std::vector<double> restP(n + 1, 0.0), restQ(n + 1, 0.0);  // of the representatives: their own share
    const auto dead = [&](int k) { return w.e[k] == 0.0 && w.f[k] == 0.0; };  // cut off
    for (int k = 0; k <= n; ++k) {
        if (!grouped(k) || dead(k))
            continue;
        const int r = net.solvedAs[k];
        if (k != r) {
            solution.powerP[k] = -loadP[k];
            solution.powerQ[k] = -loadQ[k];
            restP[r] += solution.powerP[k];
            restQ[r] += solution.powerQ[k];
        }
    }
    for (int k = 0; k <= n; ++k) {
        if (!grouped(k) || dead(k))
            continue;
        if (k == net.solvedAs[k]) {
            solution.powerP[k] = w.P[k] - restP[k];
            solution.powerQ[k] = w.Q[k] - restQ[k];
        }
        const double u2 = w.e[k] * w.e[k] + w.f[k] * w.f[k];
        outP[k] = solution.powerP[k] - (w.e[k] * Ir[k] + w.f[k] * Ii[k]);
        outQ[k] = solution.powerQ[k] - (w.f[k] * Ir[k] - w.e[k] * Ii[k]);
        for (int a = tieStart[k]; a < tieStart[k + 1]; ++a) {
            const int i = tieOf[a];
            outP[k] -= 0.5 * net.chargingG[i] * u2;
            outQ[k] += 0.5 * net.chargingB[i] * u2;
        }
    }

    solution.tieP.assign(m + 1, 0.0);
    solution.tieQ.assign(m + 1, 0.0);
    std::vector<int> parentTie(n + 1, 0);
    std::vector<char> reached(n + 1, 0);
    std::vector<int> order;
    for (int r = 0; r <= n; ++r) {
        if (net.solvedAs[r] != r || members[r] < 2 || dead(r))
            continue;
        order.assign(1, r);
        reached[r] = 1;
        for (std::size_t q = 0; q < order.size(); ++q) {
            const int k = order[q];
            for (int a = tieStart[k]; a < tieStart[k + 1]; ++a) {
                const int i = tieOf[a];
                const int other = net.branchStart[i] == k ? net.branchEnd[i] : net.branchStart[i];
                if (!reached[other]) {
                    reached[other] = 1;
                    parentTie[other] = i;
                    order.push_back(other);
                }
            }
        }
        for (std::size_t q = order.size(); q-- > 1;) {
            const int k = order[q];
            const int i = parentTie[k];
            const int parent = net.branchStart[i] == k ? net.branchEnd[i] : net.branchStart[i];
            const double sign = net.branchStart[i] == k ? 1.0 : -1.0;
            solution.tieP[i] = sign * outP[k];
            solution.tieQ[i] = sign * outQ[k];
            outP[parent] += outP[k];
            outQ[parent] += outQ[k];
        }
    }
}

// The change of each node's voltage angle to first order in a step of e
// and f at the node.
double turnOf(double e, double f, double de, double df)
{
    const double square = e * e + f * f;
    return square > 0 ? (e * df - f * de) / square : 0.0;
}

// The largest correction of a node's voltage in the step at hand, relative
// to the voltage.
double largestRelativeStep(const Network& net, const Data& w)
{
    double largest = 0;
    for (int k = 1; k <= net.nodeCount; ++k) {
        const double u = std::hypot(w.e[k], w.f[k]);
        if (u > 0)
            largest = std::max(largest, std::hypot(w.mismatch[2 * (k - 1)], w.mismatch[2 * (k - 1) + 1]) / u);
    }
    return largest;
}

void takeStep(const Network& net, Data& w);

// A step that raised the residual from `before` to `full`'s (computeResidual
// has overwritten the mismatch with the new mismatches since), taken again at
// half its length while that lowers the residual below `before`, at most
// kShortenings times: the shortest that did, else the least residual of all
// (the step is never dropped, so that the iteration cannot stop in place).
// Far from the solution the step of the linear model overshoots: this keeps
// the iteration from running away to voltages no network holds.
constexpr int kShortenings = 6;

Residual shortenStep(const Network& net, const Admittances& y, Data& w, const std::vector<double>& step,
                     double before, Residual full)
{
    std::vector<double> bestE = w.e, bestF = w.f;
    Residual best = full;
    double length = 1.0;
    for (int k = 0; k < kShortenings; ++k) {
        length *= 0.5;
        for (std::size_t i = 0; i < step.size(); ++i)
            w.mismatch[i] = step[i] * length;
        w.e = w.lastE;
        w.f = w.lastF;
        takeStep(net, w);
        const Residual r = computeResidual(net, y, w);
        if (!std::isfinite(r.rms))
            continue;
        if (r.rms < best.rms || !std::isfinite(best.rms)) {
            best = r;
            bestE = w.e;
            bestF = w.f;
        }
        if (r.rms < before)
            break;
    }
    w.e = std::move(bestE);
    w.f = std::move(bestF);
    // The injections and mismatches of the voltages kept.
    return computeResidual(net, y, w);
}

// GMRES's stop in a step for the accuracy alone (relative to the mismatches).
constexpr double kAccuracyStepTolerance = 0.1;

// Takes the step of the iteration. Where it turns some
// node's voltage by more than kLargeAngle, each node's corrections of e and
// f are turned into the corrections of its voltage magnitude and angle that
// they are to first order, and those are applied: the step then follows a
// large change of angle along the circle instead of its tangent, which cuts
// the slow first steps (on public and generated grids of 2 000 to 30 000
// nodes three or four steps where the straight one took four to six).
// Otherwise the corrections are added as they are.
void takeStep(const Network& net, Data& w)
{
    const int n = net.nodeCount;
    const auto& step = w.mismatch;
    bool turned = false;
    for (int k = 1; k <= n && !turned; ++k)
        turned = std::fabs(turnOf(w.e[k], w.f[k], step[2 * (k - 1)], step[2 * (k - 1) + 1])) > kLargeAngle;
    for (int k = 1; k <= n; ++k) {
        const double de = step[2 * (k - 1)];
        const double df = step[2 * (k - 1) + 1];
        const double e = w.e[k], f = w.f[k];
        const double u = std::sqrt(e * e + f * f);
        const double du = u > 0 ? (e * de + f * df) / u : 0.0;
        if (!turned || !(u > 0) || !(u + du > 0)) {
            w.e[k] = e + de;
            w.f[k] = f + df;
            continue;
        }
        const double turn = turnOf(e, f, de, df);
        const double scale = (u + du) / u;
        const double c = std::cos(turn), s = std::sin(turn);
        w.e[k] = scale * (e * c - f * s);
        w.f[k] = scale * (e * s + f * c);
    }
    followRepresentatives(net, w);
}

}  // namespace

Solution solveSparse(const Network& network, const CalculationSettings& settings, const Start& start,
                     const SolverAnalysis& analysis, SolverWorkspace& workspace, const SolveChanges& changes)
{
    Solution solution;
    const int n = network.nodeCount;
    const std::size_t slots = static_cast<std::size_t>(n) + 1;
    Data& w = workspace.data();
    const JacobianPattern& pattern = analysis.pattern();
    const Admittances& y = pattern.y;

    applyChanges(network, pattern, changes, w);
    startVoltages(network, start, w.e, w.f);
    for (const int k : changes.nodesCutOff)
        if (k >= 1 && k <= n)
            w.e[k] = w.f[k] = 0.0;
    w.Ir.resize(slots);
    w.Ii.resize(slots);
    w.P.resize(slots);
    w.Q.resize(slots);
    w.mismatch.resize(2 * slots - 2);
    w.J.resize(pattern.rowIndex.size());

    // Steps by GMRES unless it fails a step of this solve (then they are factorised).
    bool byKrylov = analysis.steps() == StepSolver::Krylov && analysis.nodeAnalysis() &&
                    analysis.nodeAnalysis()->ok();
    // The decoupled factors made for the start serve its first step.
    bool decoupledAtStart = false;
    Residual residual = computeResidual(network, y, w);
    if (start.kind == Start::Kind::Flat && analysis.ok() && std::isfinite(residual.rms) &&
        (start.dcAngles || startsFromDcAngles(network, byKrylov))) {
        const std::vector<double> flatF = w.f, flatE = w.e;
        const bool turnedByDc = turnByDcAngles(network, analysis, byKrylov, w);
        decoupledAtStart = byKrylov && w.decoupled.ready();
        if (turnedByDc) {
            const Residual turned = computeResidual(network, y, w);
            if (turned.rms <= residual.rms) {
                residual = turned;
            } else {
                w.e = flatE;
                w.f = flatF;
                residual = computeResidual(network, y, w);
            }
        }
    }
    float rms = static_cast<float>(residual.rms);
    if (!std::isfinite(residual.rms))
        solution.divergedAt = 0;

    // The residual is compared in single precision, as the exact method's.
    const double precision = settings.precision;
    // A switch at a reactive limit calls for one more step at least.
    bool switched = false;
    const auto unmet = [&] { return rms > settings.precision || residual.worst > precision || switched; };
    bool tieOut = false;
    for (const int i : changes.branchesOut)
        tieOut = tieOut || (i >= 1 && i <= network.branchCount && network.tie[i]);
    if (tieOut || !analysis.ok())
        solution.divergedAt = std::max(solution.divergedAt, tieOut ? 0 : 1);

    const bool limitsOn =
        settings.qLimits && std::any_of(w.limited.begin(), w.limited.end(), [](char l) { return l != 0; });
    // A switch also changes the equations: the next step factorises afresh.
    // A solve that continues the one before on this workspace keeps its
    // pivot order: the Jacobian is near theirs, and a refactorisation costs
    // a fraction of a factorisation with pivot search (a year of hours of a
    // 2 000-node grid: half the time, the same iterations and voltages).
    const bool freshStart = !start.keepFactors;

    // The residual before the last step (none before the first).
    double residualBefore = std::numeric_limits<double>::infinity();
    // The largest relative correction of the last step.
    double lastStep = std::numeric_limits<double>::infinity();
    std::vector<double> step;  // the last step's corrections, for its shortening
    // The least residual so far and the step that reached it.
    double leastResidual = residual.rms;
    int leastAt = 0;
    // At least one step: a start is never taken as the answer.
    while (solution.divergedAt < 0 && (solution.iterations == 0 || unmet() || lastStep > kAccurateStep) &&
           solution.iterations < settings.iteraz) {
        const bool refining = solution.iterations > 0 && !unmet();
        const int iteration = solution.iterations + 1;
        // A step for the accuracy alone is a chord step on the factors of the
        // step before (factorised, as the steps were unless GMRES solved
        // them): so near the solution their Jacobian serves as well, and the
        // step costs a solve instead of a factorisation (measured, CPU time
        // against three steps without it: IEEE 118 and 300 +9 %, the
        // generated grid of 1 000 nodes +3 %, the regional one of 10 000 +7 %,
        // the generated one of 10 000 by GMRES +13 %, where a full step took
        // 15-30 %).
        // By GMRES, the same Jacobian serves its products, and the step need
        // only take a tenth of the error off.
        const bool chord = refining;
        if (!chord)
            formJacobian(network, pattern, w);
        const bool refresh = (iteration == 1 && freshStart) || switched;
        bool solved = false;
        if (chord && !byKrylov) {
            solved = solveStep(analysis, w);
        } else if (byKrylov) {
            const double tolerance = chord ? kAccuracyStepTolerance : stepTolerance(residual.rms, residualBefore);
            solved = solveStepByKrylov(network, analysis, w, iteration == 1 ? refresh && !decoupledAtStart : refresh,
                                       tolerance, solution);
            // Once GMRES fails a solve, its later steps are factorised too.
            byKrylov = solved;
        }
        if (!solved)
            solved = factor(analysis, w, refresh) && solveStep(analysis, w);
        if (!solved || !allFinite(w.mismatch)) {
            // A singular matrix or a step that is no number: the voltages stay
            // those of the last finite step.
            solution.divergedAt = iteration;
            residual = computeResidual(network, y, w);
            break;
        }
        w.lastE = w.e;
        w.lastF = w.f;
        lastStep = largestRelativeStep(network, w);
        step = w.mismatch;
        takeStep(network, w);
        Residual next = computeResidual(network, y, w);
        if (refining && !(next.rms <= residual.rms)) {
            // The figures are at the floor of the arithmetic already.
            w.e = w.lastE;
            w.f = w.lastF;
            residual = computeResidual(network, y, w);
            break;
        }
        if (!refining && !(next.rms <= residual.rms) && std::isfinite(residual.rms))
            next = shortenStep(network, y, w, step, residual.rms, next);
        if (!std::isfinite(next.rms) || !std::isfinite(static_cast<float>(next.rms)) || !allFinite(w.e) ||
            !allFinite(w.f)) {
            w.e = w.lastE;
            w.f = w.lastF;
            residual = computeResidual(network, y, w);
            solution.divergedAt = iteration;
            break;
        }
        residualBefore = residual.rms;
        residual = next;
        switched = limitsOn && switchAtLimits(network, w, iteration, solution.limitSwitches) > 0;
        if (switched)
            residual = computeResidual(network, y, w);
        rms = static_cast<float>(residual.rms);
        solution.iterations = iteration;
        solution.residuals.push_back(residual.rms);
        if (residual.rms < 0.5 * leastResidual || switched) {
            leastResidual = residual.rms;
            leastAt = iteration;
        } else if (iteration - leastAt >= kStallSteps && unmet()) {
            solution.stalledAt = iteration;
            break;
        }
    }

    solution.residual = residual.rms;
    solution.worstError = residual.worst;
    if (solution.divergedAt >= 0)
        solution.outcome = SolveOutcome::Diverged;
    else
        solution.outcome = unmet() ? SolveOutcome::NotConverged : SolveOutcome::Converged;
    solution.voltageRe = w.e;
    solution.voltageIm = w.f;
    solution.powerP = w.P;
    solution.powerQ = w.Q;
    if (network.hasTies) {
        const bool ownLoads = changes.loadP.size() != slots || changes.loadQ.size() != slots;
        distributeTies(network, w, ownLoads ? std::span<const double>(network.loadP) : changes.loadP,
                       ownLoads ? std::span<const double>(network.loadQ) : changes.loadQ, solution);
    }
    if (limitsOn)
        solution.held = nodeHolds(network, w);
    return solution;
}

FactorStatistics factorStatistics(const SolverAnalysis& analysis, SolverWorkspace& workspace)
{
    Data& w = workspace.data();
    if (!w.numeric || w.numericOf != analysis.pattern().serial)
        return {};
    auto* symbolic = static_cast<klu_symbolic*>(analysis.symbolic());
    klu_flops(symbolic, w.numeric, &w.common);
    return {static_cast<double>(w.numeric->lnz) + static_cast<double>(w.numeric->unz), w.common.flops};
}

Solution solveSparse(const Network& network, const CalculationSettings& settings, const Start& start)
{
    const SolverAnalysis analysis(network);
    SolverWorkspace workspace;
    workspace.allowSecondCore(true);
    return solveSparse(network, settings, start, analysis, workspace);
}

std::vector<int> nodesCutOff(const Network& net, std::span<const int> branchesOut)
{
    const int n = net.nodeCount;
    const int m = net.branchCount;
    std::vector<char> out(static_cast<std::size_t>(m) + 1, 0);
    for (const int i : branchesOut)
        if (i >= 1 && i <= m)
            out[i] = 1;
    std::vector<int> first(static_cast<std::size_t>(n) + 2, 0);
    for (int i = 1; i <= m; ++i) {
        if (out[i])
            continue;
        ++first[net.branchStart[i] + 1];
        ++first[net.branchEnd[i] + 1];
    }
    for (int k = 0; k <= n; ++k)
        first[k + 1] += first[k];
    std::vector<int> adjacency(static_cast<std::size_t>(first[n + 1]));
    std::vector<int> fill(first.begin(), first.end() - 1);
    for (int i = 1; i <= m; ++i) {
        if (out[i])
            continue;
        adjacency[fill[net.branchStart[i]]++] = net.branchEnd[i];
        adjacency[fill[net.branchEnd[i]]++] = net.branchStart[i];
    }
    std::vector<char> reached(static_cast<std::size_t>(n) + 1, 0);
    std::vector<int> queue{0};
    reached[0] = 1;
    for (std::size_t q = 0; q < queue.size(); ++q)
        for (int a = first[queue[q]]; a < first[queue[q] + 1]; ++a)
            if (!reached[adjacency[a]]) {
                reached[adjacency[a]] = 1;
                queue.push_back(adjacency[a]);
            }
    std::vector<int> cut;
    for (int k = 1; k <= n; ++k)
        if (!reached[k])
            cut.push_back(k);
    return cut;
}

Network buildNetwork(const NetworkModel& model)
{
    const int n = model.nodeCount;
    const int m = model.branchCount;
    const NetworkModel::WrittenFigures& w = model.written;
    Network net;
    net.nodeCount = n;
    net.branchCount = m;
    const auto nodes = [&](const auto& table) { return std::vector(table.begin(), table.begin() + n + 1); };
    const auto branches = [&](const auto& table) { return std::vector(table.begin(), table.begin() + m + 1); };
    // A load that a study changed in the single-precision table after reading
    // (it no longer rounds from the written figure) is taken from there.
    const auto load = [&](const std::vector<double>& written, const std::vector<float>& single) {
        std::vector<double> v(n + 1);
        for (int k = 0; k <= n; ++k)
            v[k] = static_cast<float>(written[k]) == single[k] ? written[k] : single[k];
        return v;
    };
    net.nodeNumber = nodes(model.nodeNumber);
    net.nodeType = nodes(model.nodeType);
    net.nodeUnom = nodes(w.nodeUnom);
    net.loadP = load(w.nodeLoadP, model.nodeLoadP);
    net.loadQ = load(w.nodeLoadQ, model.nodeLoadQ);
    net.shuntG = nodes(w.nodeShuntG);
    net.shuntB = nodes(w.nodeShuntB);
    net.qmin = std::vector<double>(model.nodeQmin.begin(), model.nodeQmin.begin() + n + 1);
    net.qmax = std::vector<double>(model.nodeQmax.begin(), model.nodeQmax.begin() + n + 1);
    net.branchStart = branches(model.branchStartIndex);
    net.branchEnd = branches(model.branchEndIndex);
    net.resistance = branches(w.branchResistance);
    net.reactance = branches(w.branchReactance);
    net.chargingG = std::vector<double>(model.branchConductance.begin(), model.branchConductance.begin() + m + 1);
    net.chargingB = branches(w.branchSusceptance);
    net.ratio = branches(w.branchRatio);
    net.shiftCos.assign(m + 1, 1.0);
    net.shiftSin.assign(m + 1, 0.0);
    net.seriesG.assign(m + 1, 0.0);
    net.seriesB.assign(m + 1, 0.0);
    for (int i = 1; i <= m; ++i) {
        const double phase = w.branchPhase[i];
        if (phase != 0.0) {
            net.shiftCos[i] = std::cos(phase * std::numbers::pi / 180.0);
            net.shiftSin[i] = std::sin(phase * std::numbers::pi / 180.0);
        }
    }
    TieGroups ties = findTieGroups(model, net.branchStart, net.branchEnd);
    net.tie = std::move(ties.tie);
    net.solvedAs = std::move(ties.solvedAs);
    net.hasTies = ties.any;
    for (int i = 1; i <= m; ++i) {
        if (net.tie[i])
            continue;
        const double r = net.resistance[i];
        const double x = net.reactance[i];
        const double d = r * r + x * x;
        net.seriesG[i] = r / d;
        net.seriesB[i] = -x / d;
    }
    return net;
}

}  // namespace tarvel
