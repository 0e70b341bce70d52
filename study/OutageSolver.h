// One outage of a contingency study, solved from the base case.
//
// The base case is solved once (StudyBase) and then only read: the network,
// the sparse method's analysis of it, the base solution and, for the
// low-rank correction, the Jacobian at the base voltages with its own
// ordering and analysis. Each thread keeps its own numeric factors and
// vectors (OutageWorkspace). An outaged branch keeps its place in the
// pattern with zero values, so every outage reuses the base ordering.
//
// Two ways to solve an outage:
// - Woodbury (default): the base Jacobian's factors stay; the outage changes
//   the rows of the few nodes at the outaged branches (and of cut-off nodes,
//   whose rows become the identity), a low-rank correction applied by the
//   Woodbury identity at every step. The matrix is held at the base
//   voltages (a chord iteration), which converges to the same solution. When
//   it converges slowly, when more than kMaxCorrectedNodes nodes change, or
//   in a network with zero-impedance ties or phase shifts, the outage is
//   solved by the sparse method instead.
// - Refactor: the sparse method (solveSparse) from the base solution, with
//   the outage as its changes: a factorisation in the first step and a
//   refactorisation in the others, in the base ordering.
#pragma once

#include <array>
#include <memory>
#include <span>
#include <vector>

#include "model/CalculationSettings.h"
#include "model/NetworkModel.h"
#include "study/Limits.h"
#include "study/Outage.h"

namespace tarvel {

enum class OutageOutcome {
    Solved,        // the precision was reached (violations may remain)
    NotConverged,  // the iteration limit came first
    Diverged,      // a singular matrix or a step that is no finite number
    Split,         // nodes were cut off from the base node; the rest was solved
};

enum class ViolationKind { VoltageLow, VoltageHigh, Overload };

struct Violation {
    ViolationKind kind = ViolationKind::VoltageLow;
    int node = -1;      // node index 0..n, for a voltage
    int branch = 0;     // branch 1..m, for an overload
    double value = 0;   // kV; kA or MVA by the branch's limit
    double limit = 0;   // the same unit
    double excess = 0;  // beyond the limit: % of Unom for a voltage, % of the limit for a loading
};

struct NodeVoltage {
    int node = -1;  // index 0..n
    double kv = 0;
    double pu = 0;  // of the Unom written in the node's record
};

struct BranchLoading {
    int branch = 0;  // 1..m; 0 when no branch in service has a limit
    double percent = 0;
};

struct OutageResult {
    OutageOutcome outcome = OutageOutcome::Solved;
    // Whether the solve of what the outage leaves reached the precision (a
    // split whose rest did not is NotConverged or Diverged).
    bool restSolved = true;
    int iterations = 0;
    double residual = 0;      // root mean square of the equations' errors
    NodeVoltage vmin, vmax;
    BranchLoading maxLoading;
    std::vector<int> lostNodes;  // node indices, ascending (0: the base node)
    // The node (index) that took the balance when the base node was cut
    // off in an island with less generation than the rest; -1 when none.
    int balanceNode = -1;
    double lostLoadMw = 0;       // the consumption of the cut-off nodes
    double lostGenerationMw = 0; // their generation (a negative load), positive
    std::vector<Violation> violations;
    // The largest excess beyond a limit, voltage or loading (negative: the
    // smallest margin left); 0 when nothing is limited.
    double severity = 0;
    bool woodbury = false;  // solved by the low-rank correction alone
};

enum class OutageMethod { Woodbury, Refactor };

// Nodes whose rows a low-rank correction may change; beyond, an outage is
// solved by Newton's method.
constexpr int kMaxCorrectedNodes = 8;

struct StudyOptions {
    CalculationSettings settings;  // precision and iteration limit of every solve
    OutageMethod method = OutageMethod::Woodbury;
    // Per branch 1..m: the node shunts at its first and second end that
    // belong to it (S, capacitive positive), out of service with it; empty
    // for none (an imported case's charging, CaseStudyData).
    std::vector<std::array<double, 2>> branchShunts;
};

class OutageWorkspace;
struct Network;
struct Solution;

// A base case already solved elsewhere (a step of a load profile): the
// loads of nodes 0..n it was solved with and its solution. The spans and
// the solution are only read while the base is built.
struct BaseState {
    std::span<const double> loadP, loadQ;  // MW, Mvar; empty: the loads as written
    const Solution* solution = nullptr;    // null: solved here from a flat start
};

// The base case: solved once, then read by every outage at the same time.
class StudyBase {
public:
    // Copies the network (accepted data) and solves it from a flat start.
    StudyBase(const NetworkModel& model, const Limits& limits, const StudyOptions& options);
    // The network with the state's loads, its outages starting from the
    // state's solution (which must be of this network with those loads).
    StudyBase(const NetworkModel& model, const Limits& limits, const StudyOptions& options, const BaseState& state);
    ~StudyBase();
    StudyBase(const StudyBase&) = delete;
    StudyBase& operator=(const StudyBase&) = delete;

    // True when the base case reached the precision; outages need it.
    bool solved() const;
    const OutageResult& baseResult() const;
    const NetworkModel& model() const;
    const Limits& limits() const;
    const BranchIndex& branches() const;
    const StudyOptions& options() const;
    // The base voltages, kV, nodes 0..n.
    const std::vector<double>& voltageRe() const;
    const std::vector<double>& voltageIm() const;

    struct Shared;
    const Shared& shared() const { return *shared_; }

private:
    std::unique_ptr<Shared> shared_;
};

// Where one thread's time went, summed over the outages it solved (seconds).
struct OutagePhaseTimes {
    double setup = 0;   // the outage's admittances, the walk for cut-off nodes, the first residual
    double factor = 0;  // the low-rank correction's set-up, or the refactorisations
    double solves = 0;  // the steps: solves with the factors and the residuals
    double checks = 0;  // voltages and loadings against the limits
};

// What one thread needs to solve outages: its own factors and vectors.
class OutageWorkspace {
public:
    explicit OutageWorkspace(const StudyBase& base);
    ~OutageWorkspace();
    OutageWorkspace(const OutageWorkspace&) = delete;
    OutageWorkspace& operator=(const OutageWorkspace&) = delete;

    struct Data;
    Data& data() { return *data_; }
    const OutagePhaseTimes& times() const;

private:
    std::unique_ptr<Data> data_;
};

// The flows of a branch in service, as the limits are checked.
struct BranchFigures {
    double p12 = 0, q12 = 0;  // MW, Mvar leaving the start node into the branch
    double p21 = 0, q21 = 0;  // MW, Mvar entering the end node from it
    double current = 0;       // kA at the start node
    double loading = -1;      // % of the branch's limit; -1 when it has none
};

// The solution of one outage, when the caller wants it whole.
struct OutageSolution {
    std::vector<double> voltageRe, voltageIm;  // kV, nodes 0..n; 0 at cut-off nodes
    std::vector<double> calcP, calcQ;          // MW, Mvar injected, nodes 0..n
    std::vector<char> lost;                    // nodes 0..n
    std::vector<char> inService;               // branches 1..m
    std::vector<BranchFigures> branches;       // 1..m; zeros for a branch out of service
};

// A solved state of the whole network (every branch in service) against the
// limits: the extreme voltages, the most loaded branch and the violations,
// as an outage's are found.
OutageResult checkState(const NetworkModel& model, const Network& network, const Limits& limits,
                        const Solution& solution);

// Solves the network without the outage's branches, starting from the base
// solution, and checks it against the limits. A function of its arguments
// only: the workspace holds no state from one outage to the next that
// changes a result.
OutageResult evaluateOutage(const StudyBase& base, const Outage& outage, OutageWorkspace& workspace,
                            OutageSolution* solution = nullptr);

}  // namespace tarvel
