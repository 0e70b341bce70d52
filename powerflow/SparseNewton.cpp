// The sparse Newton-Raphson method in double precision.
//
// The same nodal equations and unknowns as the exact method: per node k = 1..n
// the corrections of voltageRe[k] and voltageIm[k], and its reactive-power
// (or voltage) equation and active-power equation, here at 0-based rows and
// columns 2(k-1) and 2(k-1)+1. The Jacobian is held in compressed-column
// form whose positions are found once per run; KLU analyses its pattern once,
// factorises it in the first iteration and refactorises it in the others.
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include <amd.h>
#include <klu.h>

#include "powerflow/Solver.h"

namespace tarvel {

namespace {

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

// The network's admittances in double precision.
struct Admittances {
    std::vector<double> seriesG, seriesB;  // branches 1..m
    std::vector<double> mutualG, mutualB;  // y / K, branches 1..m
    std::vector<double> selfG, selfB;      // nodes 0..n
};

Admittances formAdmittancesDouble(const NetworkModel& model)
{
    const int n = model.nodeCount;
    const int m = model.branchCount;
    Admittances y;
    y.seriesG.assign(m + 1, 0.0);
    y.seriesB.assign(m + 1, 0.0);
    y.mutualG.assign(m + 1, 0.0);
    y.mutualB.assign(m + 1, 0.0);
    y.selfG.assign(n + 1, 0.0);
    y.selfB.assign(n + 1, 0.0);
    for (int k = 0; k <= n; ++k) {
        y.selfG[k] = model.nodeShuntG[k];
        y.selfB[k] = model.nodeShuntB[k];
    }
    for (int i = 1; i <= m; ++i) {
        const double r = model.branchResistance[i];
        const double x = model.branchReactance[i];
        const double d = r * r + x * x;
        const double g = r / d;
        const double b = -x / d;
        const double K = model.branchRatio[i];
        y.seriesG[i] = g;
        y.seriesB[i] = b;
        y.mutualG[i] = g / K;
        y.mutualB[i] = b / K;
        const int s = model.branchStartIndex[i];
        const int t = model.branchEndIndex[i];
        y.selfG[s] += g / (K * K) + 0.5 * model.branchConductance[i];
        y.selfB[s] += b / (K * K) + 0.5 * model.branchSusceptance[i];
        y.selfG[t] += g + 0.5 * model.branchConductance[i];
        y.selfB[t] += b + 0.5 * model.branchSusceptance[i];
    }
    return y;
}

// The pattern of the Jacobian: one 2 x 2 block for every node and for every
// pair of non-base nodes joined by a branch.
struct JacobianPattern {
    std::vector<int> columnStart;  // 2n + 1
    std::vector<int> rowIndex;
    std::vector<BlockPositions> diagonal;  // nodes 1..n
    // Nodes 1..n that no branch touches (a slot whose number a later record
    // repeats, without load or shunt): their equations hold by themselves,
    // and their rows are the identity so that they keep their voltages.
    std::vector<char> unlinked;
    std::vector<BlockPositions> startRow;  // branches 1..m: equations of the start node, unknowns of the end node
    std::vector<BlockPositions> endRow;    // the other way round; e = -1 when an end is the base node
    // The graph of the nodes 1..n (0-based, each node among its own
    // neighbours) in compressed form, for the ordering.
    std::vector<int> nodeStart;  // n + 1
    std::vector<int> nodeNeighbour;
};

JacobianPattern formPattern(const NetworkModel& model)
{
    const int n = model.nodeCount;
    const int m = model.branchCount;
    // Neighbours of each node (itself included), sorted, in compressed form.
    std::vector<int> count(n + 2, 0);
    for (int k = 1; k <= n; ++k)
        ++count[k + 1];
    for (int i = 1; i <= m; ++i) {
        const int s = model.branchStartIndex[i];
        const int t = model.branchEndIndex[i];
        if (s != 0 && t != 0 && s != t) {
            ++count[s + 1];
            ++count[t + 1];
        }
    }
    for (int k = 1; k <= n; ++k)
        count[k + 1] += count[k];
    std::vector<int> neighbour(count[n + 1]);
    std::vector<int> fill(count.begin(), count.end() - 1);
    for (int k = 1; k <= n; ++k)
        neighbour[fill[k]++] = k;
    for (int i = 1; i <= m; ++i) {
        const int s = model.branchStartIndex[i];
        const int t = model.branchEndIndex[i];
        if (s != 0 && t != 0 && s != t) {
            neighbour[fill[s]++] = t;
            neighbour[fill[t]++] = s;
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
    pattern.nodeStart.assign(first.begin() + 1, first.end());
    pattern.nodeNeighbour.resize(unique);
    std::transform(neighbour.begin(), neighbour.end(), pattern.nodeNeighbour.begin(), [](int k) { return k - 1; });
    // The equation of a node with fixed voltage magnitude involves only its
    // own voltage: its row has no entries in other nodes' columns.
    const auto fixedMagnitude = [&](int p) { return model.nodeType[p] != 1; };
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
        pattern.unlinked[model.branchStartIndex[i]] = 0;
        pattern.unlinked[model.branchEndIndex[i]] = 0;
    }
    pattern.diagonal.resize(n + 1);
    for (int k = 1; k <= n; ++k)
        pattern.diagonal[k] = block(k, k);
    pattern.startRow.resize(m + 1);
    pattern.endRow.resize(m + 1);
    for (int i = 1; i <= m; ++i) {
        const int s = model.branchStartIndex[i];
        const int t = model.branchEndIndex[i];
        if (s == 0 || t == 0)
            continue;
        pattern.startRow[i] = block(s, t);
        pattern.endRow[i] = block(t, s);
    }
    return pattern;
}

// The state of the iteration in double precision.
struct State {
    std::vector<double> e, f;    // voltages, nodes 0..n
    std::vector<double> Ir, Ii;  // injected currents
    std::vector<double> P, Q;    // injected powers
};

void computeInjections(const NetworkModel& model, const Admittances& y, State& x)
{
    const int n = model.nodeCount;
    const int m = model.branchCount;
    for (int k = 0; k <= n; ++k) {
        x.Ir[k] = y.selfG[k] * x.e[k] - y.selfB[k] * x.f[k];
        x.Ii[k] = y.selfG[k] * x.f[k] + y.selfB[k] * x.e[k];
    }
    for (int i = 1; i <= m; ++i) {
        const int s = model.branchStartIndex[i];
        const int t = model.branchEndIndex[i];
        const double g = y.mutualG[i];
        const double b = y.mutualB[i];
        x.Ir[s] -= g * x.e[t] - b * x.f[t];
        x.Ii[s] -= g * x.f[t] + b * x.e[t];
        x.Ir[t] -= g * x.e[s] - b * x.f[s];
        x.Ii[t] -= g * x.f[s] + b * x.e[s];
    }
    for (int k = 0; k <= n; ++k) {
        x.P[k] = x.e[k] * x.Ir[k] + x.f[k] * x.Ii[k];
        x.Q[k] = x.f[k] * x.Ir[k] - x.e[k] * x.Ii[k];
    }
}

struct Residual {
    double rms = 0;
    double worst = 0;  // the largest single-equation error
};

// The mismatches (0-based rows) and the errors measured as the exact method
// measures them: relative to the node's own power of at least 1 MW (Mvar),
// absolute below that, relative to U_set^2 for a voltage equation.
Residual computeResidual(const NetworkModel& model, const Admittances& y, State& x, std::vector<double>& mismatch)
{
    computeInjections(model, y, x);
    const int n = model.nodeCount;
    double sum = 0;
    double worst = 0;
    for (int k = 1; k <= n; ++k) {
        const double loadP = model.nodeLoadP[k];
        const double loadQ = model.nodeLoadQ[k];
        const double unom = model.nodeUnom[k];
        double& mQ = mismatch[2 * (k - 1)];
        double& mP = mismatch[2 * (k - 1) + 1];
        mP = -(x.P[k] + loadP);
        double eQ;
        if (model.nodeType[k] == 1) {
            mQ = -(x.Q[k] + loadQ);
            eQ = std::fabs(loadQ) >= 1.0 ? mQ / loadQ : mQ;
        } else {
            mQ = -((x.e[k] * x.e[k] + x.f[k] * x.f[k]) - unom * unom) / unom;
            eQ = mQ / unom;
        }
        const double eP = std::fabs(loadP) >= 1.0 ? mP / loadP : mP;
        sum += eP * eP + eQ * eQ;
        worst = std::max({worst, std::fabs(eP), std::fabs(eQ)});
    }
    return {std::sqrt(sum / (2.0 * n)), worst};
}

void formJacobian(const NetworkModel& model, const Admittances& y, const State& x, const JacobianPattern& pattern,
                  std::vector<double>& J)
{
    std::fill(J.begin(), J.end(), 0.0);
    const int n = model.nodeCount;
    for (int k = 1; k <= n; ++k) {
        const double G = y.selfG[k], B = y.selfB[k];
        const double e = x.e[k], f = x.f[k];
        const BlockPositions d = pattern.diagonal[k];
        if (model.nodeType[k] == 1) {
            J[d.e] = G * f - B * e - x.Ii[k];
            J[d.f] = -G * e - B * f + x.Ir[k];
        } else {
            J[d.e] = 2.0 * e / model.nodeUnom[k];
            J[d.f] = 2.0 * f / model.nodeUnom[k];
        }
        J[d.e + 1] = G * e + B * f + x.Ir[k];
        J[d.f + 1] = G * f - B * e + x.Ii[k];
        if (pattern.unlinked[k]) {
            J[d.e] = 1.0;
            J[d.f] = 0.0;
            J[d.e + 1] = 0.0;
            J[d.f + 1] = 1.0;
        }
    }
    // Coupling through the branches between two non-base nodes; the voltage
    // row of a node with fixed magnitude has none.
    const auto couple = [&](int p, const BlockPositions& at, double g, double b) {
        const double e = x.e[p], f = x.f[p];
        if (model.nodeType[p] == 1) {
            J[at.e] += -(g * f - b * e);
            J[at.f] += g * e + b * f;
        }
        J[at.e + at.activeRow] += -(g * e + b * f);
        J[at.f + at.activeRow] += -(g * f - b * e);
    };
    for (int i = 1; i <= model.branchCount; ++i) {
        if (pattern.startRow[i].e < 0)
            continue;
        couple(model.branchStartIndex[i], pattern.startRow[i], y.mutualG[i], y.mutualB[i]);
        couple(model.branchEndIndex[i], pattern.endRow[i], y.mutualG[i], y.mutualB[i]);
    }
}

// KLU's objects for one run.
class KluFactors {
public:
    KluFactors() { klu_defaults(&common_); }
    ~KluFactors()
    {
        if (numeric_)
            klu_free_numeric(&numeric_, &common_);
        if (symbolic_)
            klu_free_symbolic(&symbolic_, &common_);
    }
    KluFactors(const KluFactors&) = delete;
    KluFactors& operator=(const KluFactors&) = delete;

    // The fill-reducing ordering, once per run: AMD on the graph of the
    // nodes, each node then taking its two rows and columns together. Every
    // 2 x 2 block of the pattern is full, so this orders the whole matrix at
    // a quarter of the cost. The Jacobian of a network joined to its base
    // node is irreducible, so no block triangular form is sought.
    bool analyze(JacobianPattern& pattern)
    {
        const int nodes = static_cast<int>(pattern.nodeStart.size()) - 1;
        std::vector<int> nodeOrder(nodes);
        double info[AMD_INFO];
        if (amd_order(nodes, pattern.nodeStart.data(), pattern.nodeNeighbour.data(), nodeOrder.data(), nullptr,
                      info) < AMD_OK)
            return false;
        std::vector<int> order(2 * static_cast<std::size_t>(nodes));
        for (int k = 0; k < nodes; ++k) {
            order[2 * k] = 2 * nodeOrder[k];
            order[2 * k + 1] = 2 * nodeOrder[k] + 1;
        }
        common_.btf = 0;
        // Room for the factors that the ordering predicts with diagonal
        // pivots (L: four entries per entry of the nodes' factor, one within
        // each node's block, the diagonal), with a margin; KLU grows it if
        // other pivots need more.
        const double predicted = 4.0 * info[AMD_LNZ] + 3.0 * nodes;
        common_.initmem = 1.2 * predicted / static_cast<double>(pattern.rowIndex.size());
        symbolic_ = klu_analyze_given(2 * nodes, pattern.columnStart.data(), pattern.rowIndex.data(), order.data(),
                                      order.data(), &common_);
        return symbolic_ != nullptr;
    }

    // Factorises J: numerically anew in the first iteration, then with the
    // pivot order found then; a refactorisation that meets a zero pivot is
    // tried once more as a fresh factorisation. False for a singular matrix.
    // The rows are scaled (by their largest entry) only where pivots are
    // chosen: with the pivot order fixed, scaling rows changes nothing in
    // the stability of the elimination and only costs a pass over J.
    bool factor(JacobianPattern& pattern, std::vector<double>& J)
    {
        int* Ap = pattern.columnStart.data();
        int* Ai = pattern.rowIndex.data();
        if (numeric_) {
            common_.scale = kNoScaling;
            if (klu_refactor(Ap, Ai, J.data(), symbolic_, numeric_, &common_) && common_.status == KLU_OK)
                return true;
            klu_free_numeric(&numeric_, &common_);
        }
        common_.scale = kScaleByLargestEntry;
        numeric_ = klu_factor(Ap, Ai, J.data(), symbolic_, &common_);
        return numeric_ != nullptr && common_.status == KLU_OK;
    }

    // Overwrites b with the solution of J x = b.
    bool solve(std::vector<double>& b)
    {
        const int dim = static_cast<int>(b.size());
        return klu_solve(symbolic_, numeric_, dim, 1, b.data(), &common_) != 0;
    }

private:
    static constexpr int kScaleByLargestEntry = 2;
    static constexpr int kNoScaling = -1;  // nor a check of the pattern, which is ours
    klu_common common_{};
    klu_symbolic* symbolic_ = nullptr;
    klu_numeric* numeric_ = nullptr;
};

bool allFinite(const std::vector<double>& v)
{
    return std::all_of(v.begin(), v.end(), [](double a) { return std::isfinite(a); });
}

// Leaves the solution in model.exact and, rounded, in the single-precision tables.
void storeSolution(NetworkModel& model, const Admittances& y, const State& x)
{
    DoubleSolution& s = model.exact;
    s.voltageRe = x.e;
    s.voltageIm = x.f;
    s.calcP = x.P;
    s.calcQ = x.Q;
    s.seriesG = y.seriesG;
    s.seriesB = y.seriesB;
    for (int k = 0; k <= model.nodeCount; ++k) {
        model.voltageRe[k] = static_cast<float>(x.e[k]);
        model.voltageIm[k] = static_cast<float>(x.f[k]);
        model.currentRe[k] = static_cast<float>(x.Ir[k]);
        model.currentIm[k] = static_cast<float>(x.Ii[k]);
        model.calcP[k] = static_cast<float>(x.P[k]);
        model.calcQ[k] = static_cast<float>(x.Q[k]);
        model.selfG[k] = static_cast<float>(y.selfG[k]);
        model.selfB[k] = static_cast<float>(y.selfB[k]);
    }
    for (int i = 1; i <= model.branchCount; ++i) {
        model.seriesG[i] = static_cast<float>(y.seriesG[i]);
        model.seriesB[i] = static_cast<float>(y.seriesB[i]);
    }
}

}  // namespace

SolveResult solveSparse(NetworkModel& model, const CalculationSettings& settings)
{
    SolveResult result;
    result.method = SolveMethod::Sparse;
    model.exact.clear();
    const int n = model.nodeCount;
    const std::size_t slots = static_cast<std::size_t>(n) + 1;

    const Admittances y = formAdmittancesDouble(model);
    State x;
    x.e.resize(slots);
    x.f.assign(slots, 0.0);
    x.Ir.resize(slots);
    x.Ii.resize(slots);
    x.P.resize(slots);
    x.Q.resize(slots);
    for (std::size_t k = 0; k < slots; ++k)
        x.e[k] = model.nodeUnom[k];

    std::vector<double> mismatch(2 * slots - 2);
    Residual residual = computeResidual(model, y, x, mismatch);
    model.iterationNumber = 0;
    model.residual = static_cast<float>(residual.rms);
    if (!std::isfinite(residual.rms))
        result.divergedAt = 0;

    const double precision = settings.precision;
    const auto unmet = [&] { return model.residual > settings.precision || residual.worst > precision; };

    JacobianPattern pattern = formPattern(model);
    std::vector<double> J(pattern.rowIndex.size());
    KluFactors klu;
    std::vector<double> lastE, lastF;

    while (result.divergedAt < 0 && unmet() && model.iterationNumber < settings.iteraz) {
        const int iteration = model.iterationNumber + 1;
        formJacobian(model, y, x, pattern, J);
        if ((iteration == 1 && !klu.analyze(pattern)) || !klu.factor(pattern, J) || !klu.solve(mismatch) ||
            !allFinite(mismatch)) {
            // A singular matrix or a step that is no number: the voltages stay
            // those of the last finite iteration.
            result.divergedAt = iteration;
            residual = computeResidual(model, y, x, mismatch);
            break;
        }
        lastE = x.e;
        lastF = x.f;
        for (int k = 1; k <= n; ++k) {
            x.e[k] += mismatch[2 * (k - 1)];
            x.f[k] += mismatch[2 * (k - 1) + 1];
        }
        const Residual next = computeResidual(model, y, x, mismatch);
        if (!std::isfinite(next.rms) || !std::isfinite(static_cast<float>(next.rms)) || !allFinite(x.e) ||
            !allFinite(x.f)) {
            x.e = lastE;
            x.f = lastF;
            residual = computeResidual(model, y, x, mismatch);
            result.divergedAt = iteration;
            break;
        }
        residual = next;
        model.iterationNumber = iteration;
        model.residual = static_cast<float>(residual.rms);
        result.residuals.push_back(model.residual);
    }

    result.worstError = residual.worst;
    storeSolution(model, y, x);
    if (result.divergedAt >= 0)
        result.outcome = SolveOutcome::Diverged;
    else
        result.outcome = unmet() ? SolveOutcome::NotConverged : SolveOutcome::Converged;
    return result;
}

}  // namespace tarvel
