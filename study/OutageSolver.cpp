// The base case and every outage that the low-rank correction does not
// settle are solved by the sparse method (solveSparse, with the branches out
// and the nodes cut off as changes). The correction writes the same equations
// for a network without zero-impedance ties and phase shifts (others are
// solved by the sparse method alone), in double precision, with unknowns and
// rows per node k = 1..n at 0-based 2(k-1) (the reactive-power or voltage
// equation, the real part's correction) and 2(k-1)+1 (the active-power
// equation, the imaginary part's correction).
#include "study/OutageSolver.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <tuple>
#include <cmath>

#include <amd.h>
#include <klu.h>

#include "powerflow/BranchFlows.h"
#include "powerflow/SparseSolver.h"
#include "powerflow/SparseSteps.h"

namespace tarvel {

namespace {

constexpr int kScaleByLargestEntry = 2;
constexpr int kNoScaling = -1;
// A chord step must cut the residual at least this much, or the outage goes
// on by Newton's method.
constexpr double kChordReduction = 0.25;
constexpr int kMaxChordSteps = 12;
// The finest error an outage is asked for, in MW and Mvar: a millionth of a
// megawatt leaves the voltages some 1e-8 p.u. from the exact solution, far
// within what a study compares, while the base case's own last (accuracy)
// step often leaves an error orders finer, which an outage's chord steps
// would chase for several steps more.
constexpr float kFinestOutageError = 1e-6f;

struct Block {
    int e = -1;  // position of the real part's column entries
    int f = -1;  // of the imaginary part's column
    int activeRow = 1;  // 0 where the row node's first equation fixes its magnitude
};

}  // namespace

struct StudyBase::Shared {
    NetworkModel model;  // the node numbers and branch names of the reports
    Network net;
    Limits limits;
    StudyOptions options;
    BranchIndex branchIndex;
    int n = 0, m = 0;
    std::unique_ptr<SolverAnalysis> analysis;  // of the sparse method
    Solution baseSolution;
    // The settings of every outage's solve: the precision the base case
    // reached, so that an outage is as accurate as the case it is compared
    // with (its Newton steps start close and stop just below the asked
    // precision otherwise: a fixed-voltage node 4e-4 p.u. off its setting).
    CalculationSettings outageSettings;
    // The correction's equations are the network's: no ties, no phase shifts.
    bool correctable = false;

    // Admittances.
    std::vector<double> seriesG, seriesB;  // branches 1..m
    std::vector<double> mutualG, mutualB;  // y / K
    std::vector<double> selfG, selfB;      // nodes 0..n, every branch in service

    // Branches at each node (both ends), compressed.
    std::vector<int> incidentStart;  // n + 2
    std::vector<int> incident;

    // The Jacobian's pattern (compressed columns) and the places of its blocks.
    std::vector<int> columnStart, rowIndex;
    std::vector<Block> diagonal;            // nodes 1..n
    std::vector<Block> startRow, endRow;    // branches 1..m; e = -1 when an end is the base node
    std::vector<char> unlinked;             // nodes 1..n that no branch touches
    std::vector<int> neighbourStart;        // nodes 1..n+1: q's neighbours (itself included), sorted
    std::vector<int> neighbour;
    std::vector<int> rowOffset;             // per neighbour entry: its first row within q's columns

    klu_common common{};
    klu_symbolic* symbolic = nullptr;

    // The base case.
    bool solved = false;
    std::vector<double> e0, f0;  // kV
    std::vector<double> J0;      // the Jacobian at the base voltages
    OutageResult base;

    Shared(const NetworkModel& network, const Limits& l, const StudyOptions& o)
        : model(network), net(buildNetwork(network)), limits(l), options(o), branchIndex(network),
          n(network.nodeCount), m(network.branchCount)
    {
    }
    ~Shared()
    {
        if (symbolic)
            klu_free_symbolic(&symbolic, &common);
    }

    Block block(int p, int q) const
    {
        const auto begin = neighbour.begin() + neighbourStart[q];
        const auto end = neighbour.begin() + neighbourStart[q + 1];
        const int a = static_cast<int>(std::lower_bound(begin, end, p) - neighbour.begin());
        const bool fixedRow = p != q && net.nodeType[p] != 1;
        return Block{columnStart[2 * (q - 1)] + rowOffset[a], columnStart[2 * (q - 1) + 1] + rowOffset[a],
                     fixedRow ? 0 : 1};
    }
};

struct OutageWorkspace::Data {
    const StudyBase::Shared& s;
    klu_common common{};
    klu_numeric* baseFactors = nullptr;  // of J0, for the low-rank correction
    bool ready = false;
    SolverWorkspace solver;              // the sparse method's

    // The outage: branches in service, cut-off nodes, self admittances.
    std::vector<char> inService, lost;
    std::vector<double> selfG, selfB;
    std::vector<int> queue;
    std::vector<int> island;  // nodes 0..n: the island of each (-1: none yet)
    int reference = 0;        // the node that takes the balance

    // The state of the iteration.
    std::vector<double> e, f, Ir, Ii, P, Q;
    std::vector<double> mismatch, J, lastE, lastF;
    std::vector<double> tieP, tieQ;  // from the sparse method, for a network with ties
    // From the sparse method with reactive limits: the nodes held at a limit,
    // whose voltage is free (empty: every fixed-voltage node at its setting).
    std::vector<int8_t> held;

    // The correction: changed nodes, their rows' change D (local row, column,
    // value), Z = J0^-1 P, and the factorised capacitance matrix I + D Z.
    std::vector<int> changed;
    std::vector<int> localOf;  // nodes 0..n -> index in changed, -1
    struct Entry {
        int row, column;
        double value;
    };
    std::vector<Entry> D;
    std::vector<double> Z, C, Dy;
    std::vector<int> pivot;

    OutagePhaseTimes times;

    explicit Data(const StudyBase::Shared& shared) : s(shared)
    {
        klu_defaults(&common);
        const std::size_t slots = static_cast<std::size_t>(s.n) + 1;
        e.resize(slots);
        f.resize(slots);
        Ir.resize(slots);
        Ii.resize(slots);
        P.resize(slots);
        Q.resize(slots);
        mismatch.resize(2 * slots - 2);
        J.resize(s.rowIndex.size());
        localOf.assign(slots, -1);
    }
    ~Data()
    {
        if (baseFactors)
            klu_free_numeric(&baseFactors, &common);
    }
};

namespace {

using Shared = StudyBase::Shared;
using Work = OutageWorkspace::Data;

// Adds the time since the last call to one of the phase totals.
class PhaseClock {
public:
    void into(double& total)
    {
        const auto now = std::chrono::steady_clock::now();
        total += std::chrono::duration<double>(now - last_).count();
        last_ = now;
    }

    void restart() { last_ = std::chrono::steady_clock::now(); }

private:
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

void formAdmittances(Shared& s)
{
    const Network& net = s.net;
    s.seriesG.assign(s.m + 1, 0.0);
    s.seriesB.assign(s.m + 1, 0.0);
    s.mutualG.assign(s.m + 1, 0.0);
    s.mutualB.assign(s.m + 1, 0.0);
    s.selfG.assign(net.shuntG.begin(), net.shuntG.end());
    s.selfB.assign(net.shuntB.begin(), net.shuntB.end());
    for (int i = 1; i <= s.m; ++i) {
        const double K = net.ratio[i];
        s.seriesG[i] = net.seriesG[i];
        s.seriesB[i] = net.seriesB[i];
        s.mutualG[i] = net.seriesG[i] / K;
        s.mutualB[i] = net.seriesB[i] / K;
        const int a = net.branchStart[i];
        const int t = net.branchEnd[i];
        s.selfG[a] += net.seriesG[i] / (K * K) + 0.5 * net.chargingG[i];
        s.selfB[a] += net.seriesB[i] / (K * K) + 0.5 * net.chargingB[i];
        s.selfG[t] += net.seriesG[i] + 0.5 * net.chargingG[i];
        s.selfB[t] += net.seriesB[i] + 0.5 * net.chargingB[i];
    }
}

// The node shunts at branch i's ends that go out with it (S, capacitive positive).
std::array<double, 2> shuntsOf(const Shared& s, int i)
{
    const auto& shunts = s.options.branchShunts;
    return shunts.size() == static_cast<std::size_t>(s.m) + 1 ? shunts[i] : std::array<double, 2>{0.0, 0.0};
}

// Takes branch i's share out of the self admittances of its ends, the node
// shunts that belong to it included.
void removeFromSelf(const Shared& s, int i, std::vector<double>& selfG, std::vector<double>& selfB)
{
    const Network& net = s.net;
    const double K = net.ratio[i];
    const int a = net.branchStart[i];
    const int t = net.branchEnd[i];
    const std::array<double, 2> shunts = shuntsOf(s, i);
    selfG[a] -= s.seriesG[i] / (K * K) + 0.5 * net.chargingG[i];
    selfB[a] -= s.seriesB[i] / (K * K) + 0.5 * net.chargingB[i] + shunts[0];
    selfG[t] -= s.seriesG[i] + 0.5 * net.chargingG[i];
    selfB[t] -= s.seriesB[i] + 0.5 * net.chargingB[i] + shunts[1];
}

void formIncidence(Shared& s)
{
    const Network& model = s.net;
    std::vector<int> count(s.n + 2, 0);
    for (int i = 1; i <= s.m; ++i) {
        ++count[model.branchStart[i] + 1];
        ++count[model.branchEnd[i] + 1];
    }
    for (int k = 0; k <= s.n; ++k)
        count[k + 1] += count[k];
    s.incidentStart = count;
    s.incident.resize(count[s.n + 1]);
    for (int i = 1; i <= s.m; ++i) {
        s.incident[count[model.branchStart[i]]++] = i;
        s.incident[count[model.branchEnd[i]]++] = i;
    }
    s.unlinked.assign(s.n + 1, 1);
    for (int i = 1; i <= s.m; ++i) {
        s.unlinked[model.branchStart[i]] = 0;
        s.unlinked[model.branchEnd[i]] = 0;
    }
}

// The pattern: one 2 x 2 block for every node and every pair of non-base
// nodes joined by a branch; the voltage row of a fixed-magnitude node has
// entries only in its own columns.
void formPattern(Shared& s)
{
    const Network& model = s.net;
    const int n = s.n;
    s.neighbourStart.assign(n + 2, 0);
    std::vector<int> list;
    std::vector<int> start(n + 2, 0);
    for (int q = 1; q <= n; ++q) {
        start[q] = static_cast<int>(list.size());
        list.push_back(q);
        for (int a = s.incidentStart[q]; a < s.incidentStart[q + 1]; ++a) {
            const int i = s.incident[a];
            const int other = model.branchStart[i] == q ? model.branchEnd[i] : model.branchStart[i];
            if (other != 0 && other != q)
                list.push_back(other);
        }
        auto begin = list.begin() + start[q];
        std::sort(begin, list.end());
        list.erase(std::unique(begin, list.end()), list.end());
    }
    start[n + 1] = static_cast<int>(list.size());
    s.neighbourStart = start;
    s.neighbour = list;
    s.rowOffset.resize(list.size());

    const auto fixedMagnitude = [&](int p) { return model.nodeType[p] != 1; };
    std::size_t entries = 0;
    for (int q = 1; q <= n; ++q)
        for (int a = start[q]; a < start[q + 1]; ++a)
            entries += list[a] != q && fixedMagnitude(list[a]) ? 2 : 4;
    s.columnStart.assign(2 * static_cast<std::size_t>(n) + 1, 0);
    s.rowIndex.resize(entries);
    int position = 0;
    for (int q = 1; q <= n; ++q) {
        for (int part = 0; part < 2; ++part) {
            const int column = 2 * (q - 1) + part;
            s.columnStart[column] = position;
            for (int a = start[q]; a < start[q + 1]; ++a) {
                const int p = list[a];
                s.rowOffset[a] = position - s.columnStart[column];
                if (p == q || !fixedMagnitude(p))
                    s.rowIndex[position++] = 2 * (p - 1);
                s.rowIndex[position++] = 2 * (p - 1) + 1;
            }
        }
    }
    s.columnStart[2 * n] = position;

    s.diagonal.resize(n + 1);
    for (int k = 1; k <= n; ++k)
        s.diagonal[k] = s.block(k, k);
    s.startRow.assign(s.m + 1, Block{});
    s.endRow.assign(s.m + 1, Block{});
    for (int i = 1; i <= s.m; ++i) {
        const int a = model.branchStart[i];
        const int t = model.branchEnd[i];
        if (a == 0 || t == 0 || a == t)
            continue;
        s.startRow[i] = s.block(a, t);
        s.endRow[i] = s.block(t, a);
    }
}

// AMD on the graph of the nodes, each node taking its two rows and columns
// together, as the sparse method orders its matrix.
bool analyze(Shared& s)
{
    const int n = s.n;
    std::vector<int> graphStart(n + 1), graph;
    graph.reserve(s.neighbour.size());
    for (int q = 1; q <= n; ++q) {
        graphStart[q - 1] = static_cast<int>(graph.size());
        for (int a = s.neighbourStart[q]; a < s.neighbourStart[q + 1]; ++a)
            graph.push_back(s.neighbour[a] - 1);
    }
    graphStart[n] = static_cast<int>(graph.size());
    std::vector<int> nodeOrder(n);
    double info[AMD_INFO];
    if (amd_order(n, graphStart.data(), graph.data(), nodeOrder.data(), nullptr, info) < AMD_OK)
        return false;
    std::vector<int> order(2 * static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        order[2 * k] = 2 * nodeOrder[k];
        order[2 * k + 1] = 2 * nodeOrder[k] + 1;
    }
    klu_defaults(&s.common);
    s.common.btf = 0;
    s.symbolic = klu_analyze_given(2 * n, s.columnStart.data(), s.rowIndex.data(), order.data(), order.data(),
                                   &s.common);
    return s.symbolic != nullptr;
}

void computeInjections(const Shared& s, Work& w)
{
    const Network& model = s.net;
    for (int k = 0; k <= s.n; ++k) {
        w.Ir[k] = w.selfG[k] * w.e[k] - w.selfB[k] * w.f[k];
        w.Ii[k] = w.selfG[k] * w.f[k] + w.selfB[k] * w.e[k];
    }
    for (int i = 1; i <= s.m; ++i) {
        if (!w.inService[i])
            continue;
        const int a = model.branchStart[i];
        const int t = model.branchEnd[i];
        const double g = s.mutualG[i];
        const double b = s.mutualB[i];
        w.Ir[a] -= g * w.e[t] - b * w.f[t];
        w.Ii[a] -= g * w.f[t] + b * w.e[t];
        w.Ir[t] -= g * w.e[a] - b * w.f[a];
        w.Ii[t] -= g * w.f[a] + b * w.e[a];
    }
    for (int k = 0; k <= s.n; ++k) {
        w.P[k] = w.e[k] * w.Ir[k] + w.f[k] * w.Ii[k];
        w.Q[k] = w.f[k] * w.Ir[k] - w.e[k] * w.Ii[k];
    }
}

struct Residual {
    double rms = 0;
    double worst = 0;
};

// The mismatches and the errors measured as the power-flow run measures
// them; a cut-off node's equations hold by themselves.
Residual computeResidual(const Shared& s, Work& w)
{
    computeInjections(s, w);
    const Network& model = s.net;
    double sum = 0, worst = 0;
    int equations = 0;
    for (int k = 1; k <= s.n; ++k) {
        double& mQ = w.mismatch[2 * (k - 1)];
        double& mP = w.mismatch[2 * (k - 1) + 1];
        if (w.lost[k] || s.unlinked[k]) {
            mQ = mP = 0;
            continue;
        }
        const NodeMismatch m = nodeMismatch(w.P[k], w.Q[k], w.e[k], w.f[k], model.loadP[k], model.loadQ[k],
                                            model.nodeUnom[k], model.nodeType[k] == 1);
        mP = m.mP;
        mQ = m.mQ;
        sum += m.eP * m.eP + m.eQ * m.eQ;
        worst = std::max({worst, std::fabs(m.eP), std::fabs(m.eQ)});
        equations += 2;
    }
    return {equations ? std::sqrt(sum / equations) : 0.0, worst};
}

// The diagonal block of node k (positions 0: J[d.e], 1: J[d.f], 2: J[d.e+1], 3: J[d.f+1]).
std::array<double, 4> diagonalBlock(const Shared& s, int k, double G, double B, double e, double f, double Ir,
                                    double Ii)
{
    std::array<double, 4> v{};
    if (s.net.nodeType[k] == 1) {
        v[0] = G * f - B * e - Ii;
        v[1] = -G * e - B * f + Ir;
    } else {
        v[0] = 2.0 * e / s.net.nodeUnom[k];
        v[1] = 2.0 * f / s.net.nodeUnom[k];
    }
    v[2] = G * e + B * f + Ir;
    v[3] = G * f - B * e + Ii;
    return v;
}

// What a branch of mutual admittance g + jb adds to the block of row node p
// against the other end's unknowns: the reactive-power row (none at a node
// of fixed magnitude) and the active-power row, each in the real and the
// imaginary part's column.
struct Coupling {
    bool hasQ = true;
    double qe = 0, qf = 0, pe = 0, pf = 0;
};

Coupling couplingOf(const Shared& s, int p, double g, double b, double e, double f)
{
    Coupling c;
    c.hasQ = s.net.nodeType[p] == 1;
    if (c.hasQ) {
        c.qe = -(g * f - b * e);
        c.qf = g * e + b * f;
    }
    c.pe = -(g * e + b * f);
    c.pf = -(g * f - b * e);
    return c;
}

// The Jacobian of the present state into J (cut-off and unlinked nodes: identity rows).
void formJacobian(const Shared& s, const Work& w, std::vector<double>& J)
{
    std::fill(J.begin(), J.end(), 0.0);
    for (int k = 1; k <= s.n; ++k) {
        const Block d = s.diagonal[k];
        if (w.lost[k] || s.unlinked[k]) {
            J[d.e] = 1.0;
            J[d.f + 1] = 1.0;
            continue;
        }
        const auto v = diagonalBlock(s, k, w.selfG[k], w.selfB[k], w.e[k], w.f[k], w.Ir[k], w.Ii[k]);
        J[d.e] = v[0];
        J[d.f] = v[1];
        J[d.e + 1] = v[2];
        J[d.f + 1] = v[3];
    }
    const auto add = [&](const Block& at, const Coupling& c) {
        if (c.hasQ) {
            J[at.e] += c.qe;
            J[at.f] += c.qf;
        }
        J[at.e + at.activeRow] += c.pe;
        J[at.f + at.activeRow] += c.pf;
    };
    for (int i = 1; i <= s.m; ++i) {
        if (s.startRow[i].e < 0 || !w.inService[i])
            continue;
        const int a = s.net.branchStart[i];
        const int t = s.net.branchEnd[i];
        add(s.startRow[i], couplingOf(s, a, s.mutualG[i], s.mutualB[i], w.e[a], w.f[a]));
        add(s.endRow[i], couplingOf(s, t, s.mutualG[i], s.mutualB[i], w.e[t], w.f[t]));
    }
}

bool allFinite(const std::vector<double>& v)
{
    return std::all_of(v.begin(), v.end(), [](double a) { return std::isfinite(a); });
}

// The base Jacobian's factors of this thread, for the correction.
void prepareFactors(Work& w)
{
    if (w.ready)
        return;
    w.ready = true;
    const Shared& s = w.s;
    if (!s.correctable)
        return;
    int* Ap = const_cast<int*>(s.columnStart.data());
    int* Ai = const_cast<int*>(s.rowIndex.data());
    std::vector<double> J0 = s.J0;
    w.common.scale = kScaleByLargestEntry;
    w.baseFactors = klu_factor(Ap, Ai, J0.data(), s.symbolic, &w.common);
}

struct SolveSteps {
    bool converged = false;
    bool diverged = false;
    int iterations = 0;
    Residual residual;
};

// Newton's method of the sparse solver, from the base solution, with the
// outage's branches out and its cut-off nodes kept out of the equations.
SolveSteps solveNewton(Work& w, const std::vector<int>& outaged, const std::vector<int>& lost, int done)
{
    const Shared& s = w.s;
    PhaseClock clock;
    std::vector<NodeShunt> shuntsOut;
    for (int i : outaged) {
        const std::array<double, 2> shunts = shuntsOf(s, i);
        if (shunts[0] != 0)
            shuntsOut.push_back({s.net.branchStart[i], 0.0, shunts[0]});
        if (shunts[1] != 0)
            shuntsOut.push_back({s.net.branchEnd[i], 0.0, shunts[1]});
    }
    const SolveChanges changes{outaged, lost, {}, {}, shuntsOut, w.reference};
    const Solution solution =
        solveSparse(s.net, s.outageSettings, Start::from(s.baseSolution), *s.analysis, w.solver, changes);
    w.e = solution.voltageRe;
    w.f = solution.voltageIm;
    w.P = solution.powerP;
    w.Q = solution.powerQ;
    w.tieP = solution.tieP;
    w.tieQ = solution.tieQ;
    w.held = solution.held;
    if (w.lost[0]) {
        // The base node, cut off, keeps its voltage in the solve but is no
        // part of what goes on.
        w.e[0] = w.f[0] = w.P[0] = w.Q[0] = 0.0;
    }
    SolveSteps out;
    out.iterations = done + solution.iterations;
    out.residual = {solution.residual, solution.worstError};
    out.converged = solution.outcome == SolveOutcome::Converged;
    out.diverged = solution.outcome == SolveOutcome::Diverged;
    clock.into(w.times.factor);
    return out;
}

// The rows of the changed nodes: the outage's Jacobian at the base voltages
// minus the base Jacobian, as (local row, column, value).
void formCorrectionRows(Work& w, const std::vector<int>& outaged)
{
    const Shared& s = w.s;
    w.D.clear();
    const auto local = [&](int k, int part) { return 2 * w.localOf[k] + part; };
    for (int k : w.changed) {
        if (w.lost[k]) {
            // The row becomes the identity's: minus the base row, plus 1 on the diagonal.
            for (int a = s.neighbourStart[k]; a < s.neighbourStart[k + 1]; ++a) {
                const int q = s.neighbour[a];
                const Block b = s.block(k, q);
                const int ce = 2 * (q - 1), cf = 2 * (q - 1) + 1;
                if (b.activeRow == 1) {
                    w.D.push_back({local(k, 0), ce, (q == k ? 1.0 : 0.0) - s.J0[b.e]});
                    w.D.push_back({local(k, 0), cf, -s.J0[b.f]});
                    w.D.push_back({local(k, 1), ce, -s.J0[b.e + 1]});
                    w.D.push_back({local(k, 1), cf, (q == k ? 1.0 : 0.0) - s.J0[b.f + 1]});
                } else {
                    w.D.push_back({local(k, 1), ce, -s.J0[b.e]});
                    w.D.push_back({local(k, 1), cf, -s.J0[b.f]});
                }
            }
            continue;
        }
        // The diagonal block at the outage's admittances and currents (at the
        // base voltages, which computeInjections left in w) minus the base one.
        const Block d = s.diagonal[k];
        const auto v = diagonalBlock(s, k, w.selfG[k], w.selfB[k], w.e[k], w.f[k], w.Ir[k], w.Ii[k]);
        const int ce = 2 * (k - 1), cf = 2 * (k - 1) + 1;
        w.D.push_back({local(k, 0), ce, v[0] - s.J0[d.e]});
        w.D.push_back({local(k, 0), cf, v[1] - s.J0[d.f]});
        w.D.push_back({local(k, 1), ce, v[2] - s.J0[d.e + 1]});
        w.D.push_back({local(k, 1), cf, v[3] - s.J0[d.f + 1]});
    }
    // The couplings of the outaged branches leave the rows of their ends.
    for (int i : outaged) {
        if (s.startRow[i].e < 0)
            continue;
        const int a = s.net.branchStart[i];
        const int t = s.net.branchEnd[i];
        for (const auto& [p, q] : {std::pair{a, t}, std::pair{t, a}}) {
            if (w.lost[p])
                continue;
            const Coupling c = couplingOf(s, p, s.mutualG[i], s.mutualB[i], w.e[p], w.f[p]);
            const int ce = 2 * (q - 1), cf = 2 * (q - 1) + 1;
            if (c.hasQ) {
                w.D.push_back({local(p, 0), ce, -c.qe});
                w.D.push_back({local(p, 0), cf, -c.qf});
            }
            w.D.push_back({local(p, 1), ce, -c.pe});
            w.D.push_back({local(p, 1), cf, -c.pf});
        }
    }
}

// Z = J0^-1 P (P: the unit columns of the changed rows) and the factorised
// capacitance matrix C = I + D Z. False when C is singular.
bool formCapacitance(Work& w)
{
    const Shared& s = w.s;
    const int dim = static_cast<int>(w.mismatch.size());
    const int r = 2 * static_cast<int>(w.changed.size());
    w.Z.assign(static_cast<std::size_t>(dim) * r, 0.0);
    for (std::size_t c = 0; c < w.changed.size(); ++c) {
        const int k = w.changed[c];
        w.Z[static_cast<std::size_t>(2 * c) * dim + 2 * (k - 1)] = 1.0;
        w.Z[static_cast<std::size_t>(2 * c + 1) * dim + 2 * (k - 1) + 1] = 1.0;
    }
    if (!klu_solve(s.symbolic, w.baseFactors, dim, r, w.Z.data(), &w.common))
        return false;
    w.C.assign(static_cast<std::size_t>(r) * r, 0.0);
    for (int a = 0; a < r; ++a)
        w.C[static_cast<std::size_t>(a) * r + a] = 1.0;
    for (const auto& d : w.D)
        for (int b = 0; b < r; ++b)
            w.C[static_cast<std::size_t>(d.row) * r + b] += d.value * w.Z[static_cast<std::size_t>(b) * dim + d.column];
    // LU with partial pivoting, row-major.
    w.pivot.resize(r);
    double largest = 0;
    for (double v : w.C)
        largest = std::max(largest, std::fabs(v));
    for (int c = 0; c < r; ++c) {
        int best = c;
        for (int a = c + 1; a < r; ++a)
            if (std::fabs(w.C[static_cast<std::size_t>(a) * r + c]) > std::fabs(w.C[static_cast<std::size_t>(best) * r + c]))
                best = a;
        w.pivot[c] = best;
        if (best != c)
            for (int b = 0; b < r; ++b)
                std::swap(w.C[static_cast<std::size_t>(c) * r + b], w.C[static_cast<std::size_t>(best) * r + b]);
        const double p = w.C[static_cast<std::size_t>(c) * r + c];
        if (!(std::fabs(p) > 1e-12 * std::max(largest, 1.0)))
            return false;
        for (int a = c + 1; a < r; ++a) {
            double& l = w.C[static_cast<std::size_t>(a) * r + c];
            l /= p;
            for (int b = c + 1; b < r; ++b)
                w.C[static_cast<std::size_t>(a) * r + b] -= l * w.C[static_cast<std::size_t>(c) * r + b];
        }
    }
    return true;
}

// Overwrites mismatch with J'^-1 mismatch, J' = J0 + P D.
bool correctedSolve(Work& w)
{
    const Shared& s = w.s;
    const int dim = static_cast<int>(w.mismatch.size());
    const int r = 2 * static_cast<int>(w.changed.size());
    if (!klu_solve(s.symbolic, w.baseFactors, dim, 1, w.mismatch.data(), &w.common))
        return false;
    w.Dy.assign(r, 0.0);
    for (const auto& d : w.D)
        w.Dy[d.row] += d.value * w.mismatch[d.column];
    for (int c = 0; c < r; ++c) {
        std::swap(w.Dy[c], w.Dy[w.pivot[c]]);
        for (int a = c + 1; a < r; ++a)
            w.Dy[a] -= w.C[static_cast<std::size_t>(a) * r + c] * w.Dy[c];
    }
    for (int c = r - 1; c >= 0; --c) {
        for (int b = c + 1; b < r; ++b)
            w.Dy[c] -= w.C[static_cast<std::size_t>(c) * r + b] * w.Dy[b];
        w.Dy[c] /= w.C[static_cast<std::size_t>(c) * r + c];
    }
    for (int b = 0; b < r; ++b) {
        const double* z = w.Z.data() + static_cast<std::size_t>(b) * dim;
        const double c = w.Dy[b];
        if (c != 0)
            for (int row = 0; row < dim; ++row)
                w.mismatch[row] -= z[row] * c;
    }
    return true;
}

// Chord steps with the outage's Jacobian at the base voltages, applied as a
// correction of the base factors. Stops when the precision is reached, or
// when a step cuts the residual too little (the state then stays as the
// last good step left it).
SolveSteps solveChord(Work& w, const CalculationSettings& settings, Residual residual, const std::vector<int>& outaged)
{
    SolveSteps out;
    out.residual = residual;
    const double precision = settings.precision;
    const auto unmet = [&](const Residual& r) {
        return static_cast<float>(r.rms) > settings.precision || r.worst > precision;
    };
    if (!unmet(residual)) {
        out.converged = true;
        return out;
    }
    PhaseClock clock;
    formCorrectionRows(w, outaged);
    const bool formed = formCapacitance(w);
    clock.into(w.times.factor);
    if (!formed)
        return out;
    const Shared& s = w.s;
    struct CountSolves {
        PhaseClock& clock;
        double& total;
        ~CountSolves() { clock.into(total); }
    } counted{clock, w.times.solves};
    while (out.iterations < kMaxChordSteps) {
        if (!correctedSolve(w) || !allFinite(w.mismatch))
            return out;
        w.lastE = w.e;
        w.lastF = w.f;
        for (int k = 1; k <= s.n; ++k) {
            w.e[k] += w.mismatch[2 * (k - 1)];
            w.f[k] += w.mismatch[2 * (k - 1) + 1];
        }
        const Residual next = computeResidual(s, w);
        if (!std::isfinite(next.rms) || next.rms > kChordReduction * out.residual.rms) {
            if (std::isfinite(next.rms) && next.rms < out.residual.rms) {
                // A step that helped, if slowly, is kept.
                out.residual = next;
                ++out.iterations;
            } else {
                w.e = w.lastE;
                w.f = w.lastF;
                out.residual = computeResidual(s, w);
            }
            return out;
        }
        out.residual = next;
        ++out.iterations;
        if (!unmet(next)) {
            out.converged = true;
            return out;
        }
    }
    return out;
}

// The generation a node brings to an island (MW): the base node's output in
// the base case, a negative load's.
double generationOf(const Shared& s, int k)
{
    if (k == 0)
        return s.baseSolution.powerP.empty() ? 0.0 : std::max(0.0, s.baseSolution.powerP[0]);
    return std::max(0.0, -s.net.loadP[k]);
}

// Numbers the islands of the branches in service (w.island), walking from
// each node not yet reached; the walk from the base node comes first.
int numberIslands(const Shared& s, Work& w)
{
    w.island.assign(s.n + 1, -1);
    int islands = 0;
    for (int start = 0; start <= s.n; ++start) {
        if (w.island[start] >= 0 || (start > 0 && s.unlinked[start]))
            continue;
        w.queue.clear();
        w.queue.push_back(start);
        w.island[start] = islands;
        for (std::size_t head = 0; head < w.queue.size(); ++head) {
            const int k = w.queue[head];
            for (int a = s.incidentStart[k]; a < s.incidentStart[k + 1]; ++a) {
                const int i = s.incident[a];
                if (!w.inService[i])
                    continue;
                const int other = s.net.branchStart[i] == k ? s.net.branchEnd[i] : s.net.branchStart[i];
                if (w.island[other] < 0) {
                    w.island[other] = islands;
                    w.queue.push_back(other);
                }
            }
        }
        ++islands;
    }
    return islands;
}

// The node that takes the balance of an island: its largest generator of
// fixed voltage, else its largest generator.
int balanceNodeOf(const Shared& s, const Work& w, int island)
{
    int best = -1;
    for (int pass = 0; pass < 2 && best < 0; ++pass) {
        double most = 0;
        for (int k = 1; k <= s.n; ++k) {
            if (w.island[k] != island || (pass == 0 && s.net.nodeType[k] != 2))
                continue;
            if (generationOf(s, k) > most) {
                most = generationOf(s, k);
                best = k;
            }
        }
    }
    return best;
}

// Marks the nodes lost with an outage: every island but the one that goes
// on, which is the base node's unless another island feeds more of its own
// load from its own generation (the base node behind the step-up
// transformer of its generator, say: the rest of the grid goes on). That
// island goes on with its largest generator as the node taking the balance
// (w.reference); islands without generation or without load are lost.
void markCutOff(const Shared& s, Work& w)
{
    const int islands = numberIslands(s, w);
    std::vector<double> generation(static_cast<std::size_t>(islands), 0.0);
    std::vector<double> load(static_cast<std::size_t>(islands), 0.0);
    for (int k = 0; k <= s.n; ++k) {
        if (w.island[k] < 0)
            continue;
        generation[static_cast<std::size_t>(w.island[k])] += generationOf(s, k);
        load[static_cast<std::size_t>(w.island[k])] += std::max(0.0, s.net.loadP[k]);
    }
    const auto fed = [&](int i) {
        return std::min(generation[static_cast<std::size_t>(i)], load[static_cast<std::size_t>(i)]);
    };
    int kept = 0;
    for (int i = 1; i < islands; ++i)
        if (fed(i) > fed(kept))
            kept = i;
    w.reference = 0;
    if (kept != 0) {
        w.reference = balanceNodeOf(s, w, kept);
        if (w.reference < 0) {
            kept = 0;
            w.reference = 0;
        }
    }
    w.lost.assign(s.n + 1, 1);
    for (int k = 0; k <= s.n; ++k)
        if (w.island[k] == kept || (k > 0 && s.unlinked[k]))
            w.lost[k] = 0;
}

// A solved state as the limits are checked on it: voltages (kV) and
// injections of nodes 0..n; lost and inService may be null (none lost, every
// branch in service); tieP and tieQ empty without ties.
struct CheckedState {
    const double *e, *f, *P, *Q;
    const char* lost = nullptr;
    const char* inService = nullptr;
    const std::vector<double>* tieP = nullptr;
    const std::vector<double>* tieQ = nullptr;
    const int8_t* held = nullptr;  // nodes at a reactive limit (null: none)
};

// The figures the branch flows are computed from, in a solved state.
FlowState<double> flowStateOf(const Network& net, const CheckedState& w)
{
    FlowState<double> state{w.e,                w.f,                w.P,               w.Q,
                            net.seriesG.data(), net.seriesB.data(), net.shuntG.data(), net.shuntB.data(),
                            net.ratio.data(),   net.chargingG.data(), net.chargingB.data()};
    state.shiftCos = net.shiftCos.data();
    state.shiftSin = net.shiftSin.data();
    if (net.hasTies && w.tieP && !w.tieP->empty()) {
        state.tie = net.tie.data();
        state.tieP = w.tieP->data();
        state.tieQ = w.tieQ->data();
    }
    return state;
}

// What a branch's limit is compared with: the current at its first end, or
// the larger |S| of its two ends.
double limitedValue(const Limits& limits, const BranchFlowOf<double>& flow, int i)
{
    if (limits.kind[i] == BranchLimitKind::Current)
        return std::hypot(flow.i12Re, flow.i12Im);
    return std::max(std::hypot(flow.p12, flow.q12), std::hypot(flow.p21, flow.q21));
}

// The figures of a solved state against the limits.
void checkLimits(const NetworkModel& model, const Network& net, const Limits& limits, const CheckedState& w,
                 OutageResult& result)
{
    const int n = net.nodeCount, m = net.branchCount;
    double severity = -1e300;
    bool limited = false;
    for (int k = 0; k <= n; ++k) {
        if (w.lost && w.lost[k])
            continue;
        const double unom = nominalVoltage(model, k);
        if (!(unom > 0))
            continue;
        const double u = std::hypot(w.e[k], w.f[k]);
        const double pu = u / unom;
        if (result.vmin.node < 0 || pu < result.vmin.pu)
            result.vmin = {k, u, pu};
        if (result.vmax.node < 0 || pu > result.vmax.pu)
            result.vmax = {k, u, pu};
        // A node held at a fixed voltage is checked at its setting: what its
        // solved voltage differs by is the solve's error, up to the precision
        // (0.5 % of the setting at the default 0.01), not a change of state.
        // A node at a reactive limit holds nothing: its own voltage counts.
        const bool atSetting = model.nodeType[k] == 2 && !(w.held && w.held[k] != 0);
        const double checked = atSetting ? model.nodeUnom[k] : u;
        const double below = 100.0 * (limits.vmin[k] - checked) / unom;
        const double above = 100.0 * (checked - limits.vmax[k]) / unom;
        severity = std::max({severity, below, above});
        limited = true;
        if (below > 0)
            result.violations.push_back({ViolationKind::VoltageLow, k, 0, checked, limits.vmin[k], below});
        else if (above > 0)
            result.violations.push_back({ViolationKind::VoltageHigh, k, 0, checked, limits.vmax[k], above});
    }
    const FlowState<double> state = flowStateOf(net, w);
    for (int i = 1; i <= m; ++i) {
        if ((w.inService && !w.inService[i]) || limits.kind[i] == BranchLimitKind::None)
            continue;
        const double value = limitedValue(limits, branchFlowsOf(model, state, i), i);
        const double percent = 100.0 * value / limits.branchLimit[i];
        if (result.maxLoading.branch == 0 || percent > result.maxLoading.percent)
            result.maxLoading = {i, percent};
        severity = std::max(severity, percent - 100.0);
        limited = true;
        if (percent > 100.0)
            result.violations.push_back({ViolationKind::Overload, -1, i, value, limits.branchLimit[i], percent - 100.0});
    }
    result.severity = limited ? severity : 0.0;
}

CheckedState checkedState(const Work& w)
{
    const int8_t* held = w.held.empty() ? nullptr : w.held.data();
    return {w.e.data(), w.f.data(), w.P.data(), w.Q.data(), w.lost.data(), w.inService.data(), &w.tieP, &w.tieQ, held};
}

void checkLimits(const Shared& s, const Work& w, OutageResult& result)
{
    checkLimits(s.model, s.net, s.limits, checkedState(w), result);
}

// The flows of every branch in service, with its loading where it has a limit.
std::vector<BranchFigures> branchFigures(const Shared& s, const Work& w)
{
    std::vector<BranchFigures> figures(static_cast<std::size_t>(s.m) + 1);
    const FlowState<double> state = flowStateOf(s.net, checkedState(w));
    for (int i = 1; i <= s.m; ++i) {
        if (!w.inService[i])
            continue;
        const BranchFlowOf<double> flow = branchFlowsOf(s.model, state, i);
        BranchFigures& b = figures[i];
        b.p12 = flow.p12;
        b.q12 = flow.q12;
        b.p21 = flow.p21;
        b.q21 = flow.q21;
        b.current = std::hypot(flow.i12Re, flow.i12Im);
        if (s.limits.kind[i] != BranchLimitKind::None)
            b.loading = 100.0 * limitedValue(s.limits, flow, i) / s.limits.branchLimit[i];
    }
    return figures;
}

// Sets the outage's branches out of service and finds what they cut off.
void applyOutage(const Shared& s, Work& w, const std::vector<int>& outaged)
{
    w.inService.assign(s.m + 1, 1);
    w.selfG = s.selfG;
    w.selfB = s.selfB;
    for (int i : outaged) {
        if (!w.inService[i])
            continue;
        w.inService[i] = 0;
        removeFromSelf(s, i, w.selfG, w.selfB);
    }
    markCutOff(s, w);
}

OutageResult solveCase(const Shared& s, Work& w, const std::vector<int>& outaged, OutageSolution* solution)
{
    OutageResult result;
    PhaseClock clock;
    w.held.clear();  // a solve of this outage by the sparse method sets them
    applyOutage(s, w, outaged);
    const StudyOptions& options = s.options;
    for (int k = 0; k <= s.n; ++k) {
        w.e[k] = w.lost[k] ? 0.0 : s.baseSolution.voltageRe[k];
        w.f[k] = w.lost[k] ? 0.0 : s.baseSolution.voltageIm[k];
    }
    w.tieP.clear();
    w.tieQ.clear();
    if (w.lost[0]) {
        result.lostNodes.push_back(0);
        result.lostGenerationMw += generationOf(s, 0);
        result.balanceNode = w.reference;
    }
    for (int k = 1; k <= s.n; ++k) {
        if (w.lost[k]) {
            result.lostNodes.push_back(k);
            const double load = s.net.loadP[k];
            (load > 0 ? result.lostLoadMw : result.lostGenerationMw) += std::fabs(load);
        }
    }
    SolveSteps steps;
    // The correction keeps the base node as the reference: an island that
    // goes on without it is solved by Newton's method.
    bool useChord = s.correctable && w.baseFactors && options.method == OutageMethod::Woodbury && w.reference == 0;
    if (useChord) {
        const Residual residual = computeResidual(s, w);
        clock.into(w.times.setup);
        w.changed.clear();
        const auto addChanged = [&](int k) {
            if (k != 0 && w.localOf[k] < 0) {
                w.localOf[k] = static_cast<int>(w.changed.size());
                w.changed.push_back(k);
            }
        };
        for (int i : outaged) {
            addChanged(s.net.branchStart[i]);
            addChanged(s.net.branchEnd[i]);
        }
        for (int k : result.lostNodes)
            addChanged(k);
        useChord = static_cast<int>(w.changed.size()) <= kMaxCorrectedNodes;
        if (useChord) {
            steps = solveChord(w, s.outageSettings, residual, outaged);
            result.woodbury = steps.converged;
        }
        for (int k : w.changed)
            w.localOf[k] = -1;
    } else {
        clock.into(w.times.setup);
    }
    if (!steps.converged)
        steps = solveNewton(w, outaged, result.lostNodes, steps.iterations);
    clock.restart();  // the steps counted their own time
    result.iterations = steps.iterations;
    result.residual = steps.residual.rms;
    // A split whose rest did not converge is told as not converged: the
    // figures of a solve that failed are no state of the network, neither
    // values nor violations.
    if (steps.diverged)
        result.outcome = OutageOutcome::Diverged;
    else if (!steps.converged)
        result.outcome = OutageOutcome::NotConverged;
    else if (!result.lostNodes.empty())
        result.outcome = OutageOutcome::Split;
    result.restSolved = steps.converged;
    if (steps.converged)
        checkLimits(s, w, result);
    clock.into(w.times.checks);
    if (solution) {
        solution->voltageRe = w.e;
        solution->voltageIm = w.f;
        solution->calcP = w.P;
        solution->calcQ = w.Q;
        solution->lost = w.lost;
        solution->inService = w.inService;
        solution->branches = branchFigures(s, w);
    }
    return result;
}

// The precision of every outage: the finer of the base case's errors, that
// of its worst equation and that of its fixed voltages (Newton's steps from
// a flat start leave these far below the rest), within the asked precision.
float outagePrecision(const Shared& s)
{
    const Solution& base = s.baseSolution;
    double reached = base.worstError;
    if (base.voltageRe.size() == static_cast<std::size_t>(s.n) + 1) {
        double fixedVoltage = 0;
        for (int k = 1; k <= s.n; ++k) {
            const bool held = k < static_cast<int>(base.held.size()) && base.held[k] != 0;
            if (s.net.nodeType[k] != 2 || held)
                continue;
            const double u = s.net.nodeUnom[k];
            const double e = base.voltageRe[k], f = base.voltageIm[k];
            fixedVoltage = std::max(fixedVoltage, std::fabs((e * e + f * f - u * u) / (u * u)));
        }
        reached = std::min(reached, fixedVoltage > 0 ? fixedVoltage : reached);
    }
    if (!std::isfinite(reached))
        return s.options.settings.precision;
    return std::min(s.options.settings.precision, std::max(kFinestOutageError, static_cast<float>(reached)));
}

}  // namespace

StudyBase::StudyBase(const NetworkModel& model, const Limits& limits, const StudyOptions& options)
    : StudyBase(model, limits, options, BaseState{})
{
}

StudyBase::StudyBase(const NetworkModel& model, const Limits& limits, const StudyOptions& options,
                     const BaseState& state)
    : shared_(std::make_unique<Shared>(model, limits, options))
{
    Shared& s = *shared_;
    if (s.n == 0)
        return;
    if (!state.loadP.empty()) {
        s.net.loadP.assign(state.loadP.begin(), state.loadP.end());
        s.net.loadQ.assign(state.loadQ.begin(), state.loadQ.end());
    }
    formAdmittances(s);
    formIncidence(s);
    s.analysis = std::make_unique<SolverAnalysis>(s.net);
    Work base(s);
    if (state.solution)
        s.baseSolution = *state.solution;
    else
        s.baseSolution = solveSparse(s.net, options.settings, Start::flat(), *s.analysis, base.solver);
    s.solved = s.baseSolution.outcome == SolveOutcome::Converged;
    s.outageSettings = options.settings;
    s.outageSettings.precision = outagePrecision(s);
    applyOutage(s, base, {});
    base.e = s.baseSolution.voltageRe;
    base.f = s.baseSolution.voltageIm;
    base.P = s.baseSolution.powerP;
    base.Q = s.baseSolution.powerQ;
    base.tieP = s.baseSolution.tieP;
    base.tieQ = s.baseSolution.tieQ;
    base.held = s.baseSolution.held;
    s.base.iterations = s.baseSolution.iterations;
    s.base.residual = s.baseSolution.residual;
    s.base.outcome = s.solved ? OutageOutcome::Solved
                              : (s.baseSolution.outcome == SolveOutcome::Diverged ? OutageOutcome::Diverged
                                                                                  : OutageOutcome::NotConverged);
    checkLimits(s, base, s.base);

    // The correction works on the network's own equations: without ties and
    // phase shifts they are the ones written here.
    s.correctable = !s.net.hasTies && std::all_of(s.net.shiftSin.begin(), s.net.shiftSin.end(),
                                                  [](double v) { return v == 0.0; });
    if (!s.correctable || !s.solved)
        return;
    formPattern(s);
    if (!analyze(s)) {
        s.correctable = false;
        return;
    }
    base.selfG = s.selfG;
    base.selfB = s.selfB;
    computeInjections(s, base);
    s.J0.resize(s.rowIndex.size());
    formJacobian(s, base, s.J0);
}

StudyBase::~StudyBase() = default;

bool StudyBase::solved() const { return shared_->solved; }
const OutageResult& StudyBase::baseResult() const { return shared_->base; }
const NetworkModel& StudyBase::model() const { return shared_->model; }
const Limits& StudyBase::limits() const { return shared_->limits; }
const BranchIndex& StudyBase::branches() const { return shared_->branchIndex; }
const StudyOptions& StudyBase::options() const { return shared_->options; }
const std::vector<double>& StudyBase::voltageRe() const { return shared_->e0; }
const std::vector<double>& StudyBase::voltageIm() const { return shared_->f0; }

OutageResult checkState(const NetworkModel& model, const Network& network, const Limits& limits,
                         const Solution& solution)
{
    OutageResult result;
    checkLimits(model, network, limits,
                {solution.voltageRe.data(), solution.voltageIm.data(), solution.powerP.data(), solution.powerQ.data(),
                 nullptr, nullptr, &solution.tieP, &solution.tieQ,
                 solution.held.empty() ? nullptr : solution.held.data()},
                result);
    return result;
}

OutageWorkspace::OutageWorkspace(const StudyBase& base) : data_(std::make_unique<Data>(base.shared())) {}

OutageWorkspace::~OutageWorkspace() = default;

const OutagePhaseTimes& OutageWorkspace::times() const
{
    return data_->times;
}

OutageResult evaluateOutage(const StudyBase& base, const Outage& outage, OutageWorkspace& workspace,
                            OutageSolution* solution)
{
    Work& w = workspace.data();
    prepareFactors(w);
    return solveCase(base.shared(), w, outage.branches, solution);
}

}  // namespace tarvel
