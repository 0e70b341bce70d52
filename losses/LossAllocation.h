// The split of every branch's active power loss among the loads of the nodes.
//
// The allocation works on the branch currents of the last power-flow run
// (network.tok) and on the counts and node numbers of the model. Each node's
// load current is traced back through the branches that carry it; a node's
// share of a branch loss is R times the scalar product of the node's current
// component in that branch with the branch current. Meant for a network fed
// from the base node whose branches point away from the supply; at most 30
// nodes, base node included.
//
// Every table value is single precision and every step of an accumulation is
// rounded to float, in the order the method fixes.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>

#include "model/MessageSink.h"
#include "model/NetworkModel.h"

namespace tarvel {

// Node positions 1..30 (the base node takes position N = n + 1); column 0 is
// never a node.
constexpr int kLossNodeLimit = 30;
constexpr int kLossNodeSlots = kLossNodeLimit + 1;
// Branch rows 1..149, as many as the exact method takes, so that a meshed
// network of 30 nodes with more than 29 branches fits as well; a network of
// more branches is refused.
constexpr int kLossBranchLimit = kExactMethodBranches;
constexpr int kLossBranchSlots = kLossBranchLimit + 1;

// Walks through the branches (a branch step of the coefficient propagation)
// allowed for one coefficient matrix; beyond this a network is refused rather
// than keeping the program busy for hours. A step takes a few nanoseconds, so
// the limit means some seconds of work; densely meshed networks of 30 nodes
// and a hundred branches and more need a few times 1e8 steps and must still
// be calculated (only schemes with many parallel lines between a few nodes,
// or directed loops of them, go beyond).
constexpr double kLossWalkLimit = 2.0e9;

using LossMatrix = std::array<std::array<float, kLossNodeSlots>, kLossBranchSlots>;
using LossBranchInts = std::array<int32_t, kLossBranchSlots>;
using LossBranchFloats = std::array<float, kLossBranchSlots>;
using LossNodeFloats = std::array<float, kLossNodeSlots>;

// The working tables of the allocation. They keep their contents from one
// command to the next: when network.tok cannot be opened, the branch data of
// the previous command (zeros before the first) are used again.
struct LossTables {
    LossBranchInts branchFrom{};    // start position; 0 in the file becomes N
    LossBranchInts branchTo{};      // end position as read (0 = base node)
    LossBranchFloats branchIa{};    // active current component
    LossBranchFloats branchIr{};    // reactive current component
    LossBranchFloats branchR{};     // resistance
    LossBranchFloats branchLoss{};  // (Ia^2 + Ir^2) * R
    LossNodeFloats nodeIa{};        // active driving current of a node
    LossNodeFloats nodeIr{};        // reactive driving current of a node
    LossMatrix coefA{};             // current-sharing coefficients, then current components
    LossMatrix coefR{};
    LossMatrix lossPart{};          // part of the loss of branch b due to node j
};

// The one instance the programs use (about 60 KB).
LossTables& globalLossTables();

// Texts of the command.
extern const char* const kLossTooManyNodesText;   // more than 30 nodes
extern const char* const kLossTooManyBranchesText;  // more than 149 branches
extern const char* const kLossTooManyPathsText;   // propagation beyond kLossWalkLimit
extern const char* const kLossTokNotOpenedText;   // network.tok cannot be opened
extern const char* const kLossUndefinedText;      // a figure of the report would be no number
extern const char* const kLossTokDamagedText;     // unreadable lines or positions
extern const char* const kLossRezNotCreatedText;  // losses.rez cannot be created: the run's last message
// What the front ends tell the user when losses.rez cannot be created. The
// run's message above keeps the words stored runs have always left; the user
// is told in the interface's language, as for network.out.
extern const char* const kLossRezNotCreatedMessage;

enum class LossOutcome {
    Refused,           // a message box told why; losses.rez untouched
    Written,           // losses.rez written (from the last tables if network.tok could not be opened)
    ReportNotCreated,  // calculated, but losses.rez could not be created (runMessage says so)
};

// Reads workDir/network.tok, allocates the losses into the tables and writes
// workDir/losses.rez.
//
// Refusals (Refused; message box through sink.showMessage; nothing read or
// written, losses.rez untouched): more than 30 nodes, more than 149
// branches, a branch scheme
// whose coefficient propagation would exceed kLossWalkLimit (checked after
// network.tok has been read), and results of which some figure of the report
// would not be a finite number (currents read as "inf" or "nan", or sharing
// coefficients that grow without bound where branches point against their
// currents or form loops); both are checked before losses.rez is opened.
//
// Otherwise Written, also when:
// - network.tok cannot be opened: model.runMessage becomes
//   "Невозможно открыть файл" + "\n", and sink.warning() gets the same text
//   without the line break; the window passes a sink whose warning() appends
//   the line to Memo6 (the pane showing losses.rez), before it reloads the
//   pane. The branch data left in the tables by the previous command are used.
// - network.tok has lines that cannot be read (too few lines, text that is no
//   number) or that name a node position outside 0..n: those branch rows are
//   set to zero and take part in no sum; the message kLossTokDamagedText is
//   shown once (sink.showMessage).
// ReportNotCreated when losses.rez cannot be created: model.runMessage becomes
// "Невозможно открыть файл losses.rez"; nothing is shown here (the caller tells
// kLossRezNotCreatedMessage), the calculation still fills the tables.
LossOutcome allocateLosses(NetworkModel& model, const std::filesystem::path& workDir, MessageSink& sink);
LossOutcome allocateLosses(NetworkModel& model, const std::filesystem::path& workDir, MessageSink& sink,
                           LossTables& tables);

// Adds to every row b of K (rows 1..branches) the coefficients of the nodes
// downstream of the end of b, up to 10 branches further, walking depth first
// in increasing branch order and writing only row b. A branch takes part only
// when its ends are node positions 1..kLossNodeLimit.
void propagateCoefficients(LossMatrix& K, const LossBranchInts& from, const LossBranchInts& to, int branches);

// The number of branch steps propagateCoefficients makes for these branch ends.
double countPropagationSteps(const LossBranchInts& from, const LossBranchInts& to, int branches);

}  // namespace tarvel
