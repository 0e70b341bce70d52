// The sparse Newton-Raphson method in double precision, as a function.
//
// A network is read once into a Network, which nothing changes afterwards;
// solveSparse computes a Solution from it and touches nothing else, so that
// any number of threads may solve the same Network at once. What many solves
// of one network share is analysed once (SolverAnalysis: the Jacobian's
// positions and KLU's symbolic analysis, read-only while solving); what each
// thread changes lives in its own SolverWorkspace (numeric factors, vectors).
//
//     const Network network = buildNetwork(model);
//     const Solution base = solveSparse(network, settings, Start{});
//
// and for a study on many threads:
//
//     const SolverAnalysis analysis(network);        // once
//     SolverWorkspace workspace;                     // one per thread
//     SolveChanges outage;                           // per solve
//     outage.branchesOut = {17};
//     outage.nodesCutOff = nodesCutOff(network, outage.branchesOut);
//     const Solution s = solveSparse(network, settings, Start::from(base), analysis, workspace, outage);
//
// The equations are those of the exact method: per node k = 1..n the
// corrections of the real and imaginary voltage, and its reactive-power (or,
// at a fixed-voltage node, voltage) equation and active-power equation.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "model/CalculationSettings.h"
#include "model/NetworkModel.h"
#include "powerflow/Ordering.h"
#include "powerflow/ReactiveLimits.h"

namespace tarvel {

enum class SolveOutcome {
    Converged,     // the precision was reached
    NotConverged,  // the iteration limit came first
    Diverged,      // a step gave no finite voltages, or a figure of the reports would be no finite number
};

// The input network in double precision, read-only once built. Nodes are
// indexed 0..n (0 the base node, then the node records in input order),
// branches 1..m (slot 0 unused), as in the reader's model.
struct Network {
    int nodeCount = 0;    // n: nodes besides the base node
    int branchCount = 0;  // m

    // Nodes 0..n.
    std::vector<int32_t> nodeNumber;
    std::vector<int32_t> nodeType;  // 3 base, 1 load, 2 fixed voltage magnitude
    std::vector<double> nodeUnom;   // kV; the fixed magnitude for type 2, the base node's voltage for 0
    std::vector<double> loadP;      // MW, + consumption
    std::vector<double> loadQ;      // Mvar, + consumption
    std::vector<double> shuntG;     // S
    std::vector<double> shuntB;     // S, capacitive positive
    // Reactive limits of fixed-voltage nodes, Mvar generated (both 0: none);
    // they bind only with settings.qLimits.
    std::vector<double> qmin, qmax;

    // Branches 1..m.
    std::vector<int32_t> branchStart;  // node index 0..n of the first end
    std::vector<int32_t> branchEnd;    // node index of the second end
    std::vector<double> resistance;    // Ohm
    std::vector<double> reactance;     // Ohm
    std::vector<double> chargingG;     // S, the whole branch (half at each end)
    std::vector<double> chargingB;     // S, capacitive positive
    std::vector<double> ratio;         // Kt at the first end, 1 for a line
    std::vector<double> shiftCos;      // cos and sin of the ratio's phase angle
    std::vector<double> shiftSin;      // (1 and 0 without a phase shift)
    std::vector<double> seriesG;       // S: 1/(r + jx); 0 for a zero-impedance tie
    std::vector<double> seriesB;

    // Zero-impedance ties (switches, bus couplers): branches whose impedance
    // is below kTieImpedance of their base impedance (model/ZeroImpedanceTies.h). The nodes a chain of
    // ties joins are solved as one node, the group's representative (the
    // base node, else the group's fixed-voltage node, else its first node).
    std::vector<char> tie;            // branches 1..m: nonzero for a tie
    std::vector<int32_t> solvedAs;    // nodes 0..n: the representative's index (itself when no tie)
    bool hasTies = false;
};

// The Network of a model whose data the reader accepted (beyond the exact
// method's limits, or whenever the full model is asked for).
Network buildNetwork(const NetworkModel& model);

// The answer of one solve.
struct Solution {
    SolveOutcome outcome = SolveOutcome::NotConverged;
    std::vector<double> voltageRe, voltageIm;  // kV, nodes 0..n; 0 at a node cut off
    std::vector<double> powerP, powerQ;        // MW, Mvar injected (+ the node feeds the network), nodes 0..n
    int iterations = 0;                        // Newton steps done
    int stepsByGmres = 0;                      // of which GMRES solved the equations (StepSolver::Krylov)
    int gmresIterations = 0;                   // its products with the Jacobian in all
    std::vector<double> residuals;             // the root-mean-square error after each step, in order
    double residual = 0;                       // that of the final voltages (of the start before any step)
    double worstError = 0;                     // the largest single-equation error of the final voltages
    int divergedAt = -1;                       // the step that diverged, -1 for none
    int stalledAt = -1;                        // the step after which the residual had not fallen
                                               // for kStallSteps steps (the solve stopped), -1 for none
    // Powers that the ties carry, found from the balance of the nodes they
    // join along a spanning tree of each group (a tie that closes a loop of
    // ties carries none): branches 1..m, MW and Mvar that a tie's series
    // element carries from its first end to its second (without its charging
    // halves); empty for a network without ties.
    std::vector<double> tieP, tieQ;
    // With settings.qLimits: the nodes 0..n held at a reactive limit at the
    // end (+1 at Qmax, -1 at Qmin, 0 none; a tie group's fixed-voltage nodes
    // share their representative's hold) and every switch, in order. Empty
    // without the limits.
    std::vector<int8_t> held;
    std::vector<LimitSwitch> limitSwitches;
};

// Where the iteration starts: the flat profile (every node at its nominal or
// fixed voltage) with the angles of a DC power flow (angle 0 where that is
// no closer to the solution), or the voltages of another solution of the
// same network.
struct Start {
    enum class Kind { Flat, FromSolution };
    Kind kind = Kind::Flat;
    const Solution* solution = nullptr;  // for FromSolution; must outlive the solve
    // The workspace's factors are those of the solve this one starts from:
    // the first step refactorises in their pivot order instead of searching
    // pivots anew. Only for a chain of solves on one workspace in a fixed
    // order (the steps of a series' block), so that the arithmetic, and the
    // figures, never depend on what else a thread solved before.
    bool keepFactors = false;
    // Flat only: the angles of a DC power flow turn the flat start wherever
    // they are large, not only where phase shifters or the network's size
    // call for them.
    bool dcAngles = false;

    static Start flat() { return {}; }
    static Start dc() { return {Kind::Flat, nullptr, false, true}; }
    static Start from(const Solution& s) { return {Kind::FromSolution, &s}; }
    static Start continuing(const Solution& s) { return {Kind::FromSolution, &s, true}; }
};

// What one solve changes in the network, without a new analysis:
// - branchesOut: branches 1..m out of service; their entries stay in the
//   Jacobian's pattern with zero values, so the network's ordering and
//   symbolic analysis serve. A tie cannot be taken out this way (its nodes are
//   one node of the analysis): such a solve ends Diverged at step 0.
// - nodesCutOff: nodes that no branch in service joins to the base node
//   (nodesCutOff() finds them); they are kept out of the equations as
//   identity rows at voltage 0 and out of the residual.
// - loadP, loadQ: the loads of nodes 0..n for this solve instead of the
//   network's own (both n + 1 long, or both empty).
// - shuntsOut: parts of node shunts out of service with the branches they
//   belong to (a case's charging written at a branch's ends).
// The spans are only read during the call.
struct NodeShunt {
    int node = 0;          // index 0..n
    double g = 0, b = 0;   // S, capacitive positive
};
struct SolveChanges {
    std::span<const int> branchesOut;
    std::span<const int> nodesCutOff;
    std::span<const double> loadP;
    std::span<const double> loadQ;
    std::span<const NodeShunt> shuntsOut;
    // The node that holds its start voltage and takes the balance: 0, the
    // base node; a node 1..n where the base node is cut off with an island
    // of its own and the rest goes on (an outage).
    int reference = 0;
};

// The nodes 1..n that no branch in service joins to the base node, in
// increasing index order: those a breadth-first walk from the base node
// misses.
std::vector<int> nodesCutOff(const Network& network, std::span<const int> branchesOut);

struct JacobianPattern;
class NodeAnalysis;

// How a Newton step's linear equations are solved.
enum class StepSolver {
    // The Jacobian factorised by KLU (refactorised in the pivot order of the
    // first step in the others).
    Factorised,
    // GMRES preconditioned by the factors of the decoupled matrices B' and
    // B'', node-sized, factorised once per solve: for networks whose
    // Jacobian's factors would cost more than these and the products
    // together (chosen by the node graph's factor work per node).
    Krylov,
};

// The part of a solve that depends only on the network: the Jacobian's
// entry positions, the fill-reducing order and KLU's symbolic analysis.
// Built once, then only read, by any number of threads at once.
class SolverAnalysis {
public:
    explicit SolverAnalysis(const Network& network);
    // The same in a given ordering instead of the one chosen for the
    // network (for measuring one against the other).
    SolverAnalysis(const Network& network, NodeOrdering ordering);
    // The same with the steps solved the given way instead of the one chosen.
    SolverAnalysis(const Network& network, StepSolver steps);
    ~SolverAnalysis();
    SolverAnalysis(const SolverAnalysis&) = delete;
    SolverAnalysis& operator=(const SolverAnalysis&) = delete;

    // False when the ordering or the symbolic analysis failed (every solve
    // with it then ends Diverged at the first step).
    bool ok() const { return symbolic_ != nullptr; }

    const JacobianPattern& pattern() const { return *pattern_; }
    void* symbolic() const { return symbolic_; }  // klu_symbolic*
    StepSolver steps() const { return steps_; }
    // The analysis of the decoupled matrices (with StepSolver::Krylov only).
    const NodeAnalysis* nodeAnalysis() const { return nodeAnalysis_.get(); }

private:
    void analyse(NodeOrder order, std::optional<StepSolver> steps);

    std::unique_ptr<JacobianPattern> pattern_;
    void* symbolic_ = nullptr;
    StepSolver steps_ = StepSolver::Factorised;
    std::unique_ptr<NodeAnalysis> nodeAnalysis_;
};

// One thread's numeric factors and vectors; reused from solve to solve of
// the same analysis (sized at first use). Never shared between threads.
class SolverWorkspace {
public:
    SolverWorkspace();
    ~SolverWorkspace();
    SolverWorkspace(const SolverWorkspace&) = delete;
    SolverWorkspace& operator=(const SolverWorkspace&) = delete;
    SolverWorkspace(SolverWorkspace&&) noexcept;
    SolverWorkspace& operator=(SolverWorkspace&&) noexcept;

    // Lets the solves on this workspace put a second core to the decoupled
    // factors (steps by GMRES) where the machine has one. Off unless asked:
    // a study keeps every core busy with a workspace of its own already.
    void allowSecondCore(bool allow);

    struct Data;
    Data& data() { return *data_; }

private:
    std::unique_ptr<Data> data_;
};

// The largest correction of a voltage, relative to it, after which the full
// model takes its solution as accurate as its data: Newton's error after such
// a step is of the order of its square, 1e-8 (the public cases come within
// 1e-6 p.u. of their own solutions), at about one step more than the
// precision in MW asks on a transmission grid.
constexpr double kAccurateStep = 1e-4;

// The size and work of the factors that the workspace holds after a solve:
// entries of L and U (the diagonal included) and KLU's count of floating-point
// operations of a factorisation; zeros before the first.
struct FactorStatistics {
    double entries = 0;
    double flops = 0;
};
FactorStatistics factorStatistics(const SolverAnalysis& analysis, SolverWorkspace& workspace);

// Steps of the full model after which a residual that has not fallen to
// half its least value so far ends the solve: Newton's method that has not
// come nearer in so many steps does not converge (a precision below the
// round-off of the figures, a network with no solution). The exact method's
// own loop is left as it always was.
constexpr int kStallSteps = 25;

// Solves the network from the start: iterates while the residual or the
// largest single-equation error exceeds the precision and fewer than
// settings.iteraz steps were made, and at least one step. Once the precision
// is met it goes on, within settings.iteraz, until a step corrects no
// voltage by more than kAccurateStep of it (after which Newton's error is of
// the order of its square: the figures as accurate as the data, where a precision in MW
// would leave a light feeder's voltages a percent off), unless a step would
// raise the residual. A step that raises
// the residual before the precision is met is shortened (halved while that
// lowers it), so that a start far from the solution does not run away. A singular matrix
// or a step that is no number ends Diverged with the voltages of the last
// finite step. With settings.qLimits the limits of fixed-voltage nodes are
// checked after every step (a node beyond one is held there, its voltage
// freed, and given its voltage back once the voltage comes back past its
// setting); the solve converges only when the last check switched no node.
Solution solveSparse(const Network& network, const CalculationSettings& settings, const Start& start);

// The same with a shared analysis of the network, this thread's workspace and
// the changes of this solve.
Solution solveSparse(const Network& network, const CalculationSettings& settings, const Start& start,
                     const SolverAnalysis& analysis, SolverWorkspace& workspace, const SolveChanges& changes = {});

}  // namespace tarvel
