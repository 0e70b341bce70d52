// One whole power-flow calculation, from the input text to the reports.
//
// The window's "Потокораспределение" and the command-line tool both call
// runPowerFlow; the window then shows the reports by the outcome.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "model/CalculationSettings.h"
#include "model/MessageSink.h"
#include "model/NetworkModel.h"
#include "model/StoredVoltages.h"
#include "model/TextFile.h"

namespace tarvel {

enum class RunOutcome {
    InputNotSaved,    // network.cdu could not be written (the message has been shown)
    Rejected,         // the reader refused the data; network.err holds why
    OutNotCreatable,  // network.out could not be created
    Converged,        // reports written, precision reached
    NotConverged,     // reports written from the last voltages: the iteration
                      // limit was reached
    Diverged,         // reports written from the voltages of the last finite
                      // iteration: the iteration diverged (divergenceText shown)
    FilesNotWritten,  // a working file could not be created or written in full
                      // (told); the earlier run's files stay as they were
};

// The message of a run whose working file could not be written: the file,
// the folder and why (an errno value).
std::string workingFileFailureText(const std::filesystem::path& file, const std::filesystem::path& folder, int error);

// The warning of a run that asked for the exact method on a network beyond
// its limits: the full model solves it.
extern const char* const kExactMethodTooSmallText;

// The progress text shown in the lower pane while a run works.
extern const char* const kRunProgressText;

// Loads of the node slots 0..n (MW, Mvar) that take the place of those
// read, as one step of a load profile sets them; empty: the loads as read.
struct LoadOverride {
    std::span<const double> p, q;
};

// Runs one calculation in workDir: clears the run tables, writes inputText
// (UTF-8, the input pane's text) as network.cdu in Windows-1251 with CR LF,
// reads and checks it, writes the echo to network.out, solves (solvePowerFlow:
// the exact method up to 99 nodes and 149 branches, the sparse one beyond),
// writes the iteration log, and writes the reports. The files are written
// aside and put in place together at the end; a run whose files cannot all be
// written returns FilesNotWritten and leaves the earlier ones. A refused
// network's network.cdu and network.err replace the earlier ones and the
// earlier network's reports are removed. Message boxes go to sink; the
// non-convergence text uses decimalSeparator (the user's one; ',' on a
// Russian system).
//
// A diverging iteration (a voltage or the residual no longer a finite number,
// or a zero last pivot) stops the loop at once: the run shows
// divergenceText, keeps the voltages of the last finite iteration (whose
// residual stays in model.residual and whose iterations in
// model.iterationNumber), writes the reports from them and returns
// Diverged. Final voltages from which some figure of the reports would
// not be a finite number are told in the same way, with the number of the
// last iteration done.
//
// loads, when given for every node slot, replace the loads read before the
// echo is written: the run of one step of a load profile. stored, the
// voltages an imported case keeps, is where the full model starts
// (settings.start) and what its solution is compared with (storedVoltagesWarning).
RunOutcome runPowerFlow(NetworkModel& model, const CalculationSettings& settings, const std::filesystem::path& workDir,
                        std::string_view inputText, MessageSink& sink, char decimalSeparator = ',',
                        const LoadOverride& loads = {}, const StoredVoltages& stored = {});
// The same with the built-in settings (precision 0.01, 10 iterations).
RunOutcome runPowerFlow(NetworkModel& model, const std::filesystem::path& workDir, std::string_view inputText,
                        MessageSink& sink, char decimalSeparator = ',');

// The calculation itself, on a model whose data have been accepted:
// solvePowerFlow, then the log lines of its iterations written to log, and
// the non-convergence or divergence message (shown through sink, left in
// runMessage; a divergence also ends the log).
RunOutcome solveAndLog(NetworkModel& model, const CalculationSettings& settings, TextFileWriter& log,
                       MessageSink& sink, char decimalSeparator = ',');

// The line that follows the input echo in network.out when the sparse method
// solves the network.
std::string sparseMethodLine(int nodeCount);

// Bounds of a believable node voltage, as shares of the node's nominal
// voltage, and the most nodes a warning names.
constexpr double kLowestBelievableVoltage = 0.7;
constexpr double kHighestBelievableVoltage = 1.3;
constexpr int kWarningNodes = 10;

// After the full model converged: the warning that names the nodes whose
// voltage lies outside kLowestBelievableVoltage..kHighestBelievableVoltage
// of their nominal voltage (at most kWarningNodes of them, in input order,
// with their voltages), or "" when there are none.
std::string voltageRangeWarning(const NetworkModel& model, char decimalSeparator);

// After the full model did not converge: the nodes whose balance its last
// voltages miss most (at most kUnbalancedNodes, largest first, with the
// MVA and the voltage), where the iteration went wrong; "" after the exact
// method.
constexpr int kUnbalancedNodes = 5;
std::string unbalancedNodesWarning(const NetworkModel& model, char decimalSeparator);

// Beyond this angle between the voltages of its ends (degrees) a branch
// carries more than it ever can in a stable state: a solution of that kind
// is most likely another, unstable, one.
constexpr double kLargestBranchAngle = 90.0;

// After the full model converged: the warning that names the branches whose
// ends' voltages differ in angle by more than kLargestBranchAngle (at most
// kWarningNodes, in input order, with the angle), or "".
std::string branchAngleWarning(const NetworkModel& model, char decimalSeparator);

// How far from the voltages a case stores its solution may lie without a
// warning: magnitude as a share of the nominal voltage, angle in degrees
// (measured from the base node's).
constexpr double kStoredVoltageDeviation = 0.05;
constexpr double kStoredAngleDeviation = 10.0;

// After the full model converged on an imported case that stores a solved
// state: the warning that names
// the nodes whose voltage lies farther than those bounds from the one the
// case stores (at most kWarningNodes, in input order), or "".
std::string storedVoltagesWarning(const NetworkModel& model, const StoredVoltages& stored,
                                  char decimalSeparator);

// The bytes of network.cdu for a pane's text: Windows-1251, every pane line
// ended by CR LF. Lines are separated by CR LF, LF or a lone CR; a final line
// end closes the last line rather than starting an empty one, a last line
// without one still gets CR LF, and an empty pane gives an empty file.
std::string paneTextToCduBytes(std::string_view paneText);

// The residual as the non-convergence message shows it: rounded to 5
// significant digits, fixed point with 6 decimals after decimalSeparator
// (0.0234567 -> "0,023457", 1.5 -> "1,500000"); with more than 5 digits
// before the separator, exponent form ("1,2346e+05").
std::string formatMessageResidual(float residual, char decimalSeparator);

// "За данное число итераций сходимость ..." with the iteration number and
// the residual (two lines).
std::string nonConvergenceText(int iteration, float residual, char decimalSeparator);

// The message of a diverging iteration (two lines).
std::string divergenceText(int iteration);

// The line added to the non-convergence message when the full model stopped
// at an iteration as its residual no longer fell (kStallSteps).
std::string stallText(int iteration);

}  // namespace tarvel
