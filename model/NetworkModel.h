// The network model: the fixed-size tables shared by every calculation stage.
//
// Node tables have 100 slots (0 = base node, 1..n the other nodes in input
// order), branch tables 150 slots (1..m, slot 0 unused). All electrical values
// are single precision, all counts and indices 32-bit signed integers. The
// tables are never resized; every run works in the same storage and values a
// run does not overwrite stay from the run before.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tarvel {

constexpr int kNodeSlots = 100;    // node indices 0..99, so n <= 99
constexpr int kBranchSlots = 150;  // branch indices 0..149, so m <= 149
constexpr int kMatrixSlots = 200;  // Newton system rows/columns 1..2n
constexpr int kDistricts = 10;

template <typename T> using NodeTable = std::array<T, kNodeSlots>;
template <typename T> using BranchTable = std::array<T, kBranchSlots>;

struct NetworkModel {
    // Counts.
    int32_t nodeCount = 0;    // n: nodes besides the base node
    int32_t branchCount = 0;  // m

    // Node tables, k = 0..n.
    NodeTable<int32_t> nodeNumber{};
    NodeTable<int32_t> nodeType{};  // 3 base, 1 load, 2 fixed voltage magnitude
    NodeTable<float> nodeUnom{};    // kV (fixed magnitude for type 2)
    NodeTable<float> nodeLoadP{};   // MW, + consumption
    NodeTable<float> nodeLoadQ{};   // Mvar, + consumption
    NodeTable<float> nodeShuntG{};  // S
    NodeTable<float> nodeShuntB{};  // S, capacitive positive

    // Branch tables, j = 1..m.
    BranchTable<int32_t> branchStartNode{};
    BranchTable<int32_t> branchEndNode{};
    BranchTable<int32_t> branchStartIndex{};
    BranchTable<int32_t> branchEndIndex{};
    BranchTable<float> branchResistance{};   // Ohm
    BranchTable<float> branchReactance{};    // Ohm
    BranchTable<float> branchSusceptance{};  // S, capacitive positive
    BranchTable<float> branchConductance{};  // S, always 0
    BranchTable<float> branchRatio{};        // Kt, 1 for a line

    // Node records per district, base-node records included.
    std::array<int32_t, kDistricts> districtNodeCount{};

    // Calculation settings.
    float precision = 0.01f;
    int32_t iteraz = 10;
    bool DelFile = false;

    // The last message of a run or of the loss allocation.
    std::string runMessage;

    // Solver working tables.
    NodeTable<float> voltageRe{}, voltageIm{};
    NodeTable<float> selfG{}, selfB{};
    BranchTable<float> seriesG{}, seriesB{};
    NodeTable<float> currentRe{}, currentIm{};
    NodeTable<float> calcP{}, calcQ{};
    std::array<float, kMatrixSlots> mismatch{};  // 1..2n
    std::array<std::array<float, kMatrixSlots>, kMatrixSlots> jacobian{};  // [1..2n][1..2n]

    // Values of the last run.
    int32_t iterationNumber = 0;
    float residual = 0.0f;
};

// The one instance the programs use. Core functions take the model as an
// argument so that tests can make as many as they like (allocate them on the
// heap: the Jacobian makes the model about 170 KB).
NetworkModel& globalModel();

// District 0..9 of a node number: q = number / 100, then q /= 10 while q > 9.
// Numbers from -99 up give 0..9; a number of -100 or less has no district and
// gives -1.
int districtOf(int32_t number);

// Counts one node record in its district; a number without district is not counted.
void countNode(NetworkModel& model, int32_t number);

// Clears what a power-flow run clears before reading: nodeNumber and nodeType
// (all 100 slots) and the four branch end tables (all 150 slots).
void clearRunTables(NetworkModel& model);

}  // namespace tarvel
