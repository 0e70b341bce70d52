// The network model: the tables shared by every calculation stage.
//
// The calculation settings are not part of it (CalculationSettings).
//
// Node tables hold slot 0 (the base node) and slots 1..n (the other nodes in
// input order), branch tables slots 1..m (slot 0 unused). The reader sizes
// them to the text it reads, up to kMaxNodeRecords and kMaxBranchRecords; a
// fresh model starts with 100 node and 150 branch slots, so that a network of
// the classic size fits without growing. All electrical values of the tables
// are single precision, all counts and indices 32-bit signed integers. Values
// a run does not overwrite stay from the run before.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/CalculationSettings.h"
#include "model/NetworkReading.h"

namespace tarvel {

// Up to these counts (nodes besides the base node, branches) a network is
// solved by the exact single-precision method with its dense matrix; a larger
// one by the sparse double-precision method.
constexpr int kExactMethodNodes = 99;
constexpr int kExactMethodBranches = 149;

// The most the reader stores; a text with more node records besides the base
// node, or more branch records, is refused as a whole.
constexpr int kMaxNodeRecords = 200000;
constexpr int kMaxBranchRecords = 1000000;

constexpr int kDistricts = 10;

// Slots of a fresh model: the exact method's sizes.
constexpr int kInitialNodeSlots = kExactMethodNodes + 1;
constexpr int kInitialBranchSlots = kExactMethodBranches + 1;

// The dense Newton matrix of the exact method, rows and columns 1..2n with
// n <= 99; matrix[r][c] as in the formulas.
class DenseMatrix {
public:
    static constexpr int kSize = 2 * kExactMethodNodes + 2;  // indices 0..199
    DenseMatrix() : data_(static_cast<std::size_t>(kSize) * kSize, 0.0f) {}
    float* operator[](int row) { return data_.data() + static_cast<std::size_t>(row) * kSize; }
    const float* operator[](int row) const { return data_.data() + static_cast<std::size_t>(row) * kSize; }

private:
    std::vector<float> data_;
};

// The sparse method's network and solution (powerflow/SparseSolver.h).
struct Network;
struct Solution;

struct NetworkModel {
    NetworkModel();

    // Counts.
    int32_t nodeCount = 0;    // n: nodes besides the base node
    int32_t branchCount = 0;  // m

    // Node tables, k = 0..n.
    std::vector<int32_t> nodeNumber;
    std::vector<int32_t> nodeType;  // 3 base, 1 load, 2 fixed voltage magnitude
    std::vector<float> nodeUnom;    // kV (fixed magnitude for type 2)
    std::vector<float> nodeRecordUnom;  // kV, the Unom written in the node's record
    std::vector<float> nodeLoadP;   // MW, + consumption
    std::vector<float> nodeLoadQ;   // Mvar, + consumption
    std::vector<float> nodeShuntG;  // S
    std::vector<float> nodeShuntB;  // S, capacitive positive
    // Limits of the reactive power generated at a fixed-voltage node, Mvar,
    // output positive; both 0: none.
    std::vector<float> nodeQmin;
    std::vector<float> nodeQmax;

    // Branch tables, j = 1..m.
    std::vector<int32_t> branchStartNode;
    std::vector<int32_t> branchEndNode;
    std::vector<int32_t> branchStartIndex;
    std::vector<int32_t> branchEndIndex;
    std::vector<float> branchResistance;   // Ohm
    std::vector<float> branchReactance;    // Ohm
    std::vector<float> branchSusceptance;  // S, capacitive positive
    std::vector<float> branchConductance;  // S, always 0
    std::vector<float> branchRatio;        // Kt, 1 for a line

    // The figures of the text in double precision, each rounded once from its
    // digits, from which the full model is built; the tables above hold the
    // same figures as the exact method reads them. No reactance is raised
    // here; a ratio below 0.001 is 1 as above. Nodes 0..n, branches 1..m.
    struct WrittenFigures {
        std::vector<double> nodeUnom;  // kV (the fixed magnitude for type 2)
        std::vector<double> nodeLoadP, nodeLoadQ;
        std::vector<double> nodeShuntB;  // S after reading (µS in the text)
        // S after reading: the conductance of the node's shunt record (µS in
        // the text, positive drawing P = G·U²), which only the full model takes.
        std::vector<double> nodeShuntG;
        std::vector<double> branchResistance, branchReactance;
        std::vector<double> branchSusceptance;  // S after reading, of the solver's sign
        std::vector<double> branchRatio;
        std::vector<double> branchPhase;  // degrees: the angle of the ratio, the first unused real after Kt
    };
    WrittenFigures written;

    // The method asked for, and whether fixed-voltage nodes are held within
    // their reactive limits: the run sets both from its settings before
    // reading, so that the reader checks the fields the run will use.
    CalculationMethod method = CalculationMethod::Auto;
    bool qLimits = false;

    // Node records per district, base-node records included.
    std::array<int32_t, kDistricts> districtNodeCount{};

    // The last message of a run or of the loss allocation.
    std::string runMessage;
    // The warnings about the result of the last run (a converged result that
    // is no believable state), for the exports.
    std::vector<std::string> runWarnings;

    // Solver working tables (single precision; the sparse method leaves its
    // final voltages and powers here too, rounded).
    std::vector<float> voltageRe, voltageIm;
    std::vector<float> selfG, selfB;
    std::vector<float> seriesG, seriesB;
    std::vector<float> currentRe, currentIm;
    std::vector<float> calcP, calcQ;
    std::vector<float> mismatch;  // 1..2n
    // Fixed-voltage nodes held at a reactive limit by the last run: +1 at
    // Qmax, -1 at Qmin, 0 holding their voltage. Such a node is solved as a
    // load node whose generation is the limit.
    std::vector<int8_t> nodeHeldAt;
    DenseMatrix jacobian;         // [1..2n][1..2n], exact method only

    // After the sparse method, the network it solved and its solution, from
    // which the reports are computed; null after the exact method.
    std::shared_ptr<const Network> sparseNetwork;
    std::shared_ptr<const Solution> sparseSolution;
    bool solvedSparse() const { return sparseSolution != nullptr; }

    // What the reader of the last run found: its findings and where each
    // record stands in the text.
    NetworkReading reading;

    // Values of the last run.
    int32_t iterationNumber = 0;
    float residual = 0.0f;

    // Makes every node table hold at least `slots` entries (indices
    // 0..slots-1), every branch table at least `branchSlots`; new entries are 0.
    void reserveNodes(int slots);
    void reserveBranches(int branchSlots);

    // True when the network is beyond the exact method's limits.
    bool needsSparseMethod() const { return nodeCount > kExactMethodNodes || branchCount > kExactMethodBranches; }

    // True when node k's record gives reactive limits.
    bool hasQLimits(int k) const { return nodeQmin[k] != 0.0f || nodeQmax[k] != 0.0f; }
    // True when the network is solved as written by the sparse method: beyond
    // the exact method's limits, or when that method is asked for.
    bool fullModel() const { return method == CalculationMethod::Sparse || needsSparseMethod(); }
};

// The nominal voltage of node k that deviations and voltage limits are
// measured against: the Unom written in its record, which for a node with a
// fixed voltage magnitude is not nodeUnom; the fixed voltage when the record
// gives no usable Unom (below 0.1 kV).
float nominalVoltage(const NetworkModel& model, int k);

// District 0..9 of a node number: q = number / 100, then q /= 10 while q > 9.
// Numbers from -99 up give 0..9; a number of -100 or less has no district and
// gives -1.
int districtOf(int32_t number);

// Counts one node record in its district; a number without district is not counted.
void countNode(NetworkModel& model, int32_t number);

// Clears what a power-flow run clears before reading: nodeNumber and nodeType
// and the four branch end tables, every slot, the reading and the sparse
// method's solution of the previous network.
void clearRunTables(NetworkModel& model);

}  // namespace tarvel
