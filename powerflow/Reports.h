// The result reports of a run: network.rez, network.tok and, through the
// district analysis, network.rip.
#pragma once

#include <filesystem>
#include <string>

#include "model/MessageSink.h"
#include "model/AsideFile.h"
#include "model/NetworkModel.h"

namespace tarvel {

// Computes the branch flows from the final voltages and writes the three
// report files into workDir. Called once per run whose data were accepted,
// after the iterations (calcP/calcQ are those of the final voltages). After
// the sparse method every figure comes from its double-precision network and
// solution (model.sparseNetwork, model.sparseSolution), otherwise from the
// single-precision tables.
// A file that cannot be created is told through sink and false returned;
// so is a file that could not be written in full (a full disk), without a
// message: its run tells it. With files given, the reports join that set
// of the run, put in place with its other files; else each is put in place
// as it is closed.
// A network of some thousands of nodes has its reports formatted on all
// cores (oneTBB), a smaller one on one; the files and messages are the same
// whatever the number of threads.
bool writeReports(NetworkModel& model, const std::filesystem::path& workDir, MessageSink& sink,
                  FileSet* files = nullptr);
enum class ReportCores { One, All };
bool writeReports(NetworkModel& model, const std::filesystem::path& workDir, MessageSink& sink, ReportCores cores,
                  FileSet* files = nullptr);

// True when every figure that the reports show for the present solution is a
// finite number within the single-precision range: the voltage, power and
// shunt powers of every node, the currents and flows of every branch, and the
// sums of them that the reports accumulate. Voltages that the residual
// accepts may still fail this, for a base node of absurd voltage or flows
// through a transformer of tiny ratio.
bool reportFiguresFinite(const NetworkModel& model);

// True when the end indices of branch i name nodes 0..n.
bool branchEndsInside(const NetworkModel& model, int i, int n);

// The message shown when a report file cannot be created, for the given
// first sentence.
std::string reportFileMessage(const std::string& firstSentence);

}  // namespace tarvel
