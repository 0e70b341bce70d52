// The result reports of a run: network.rez, network.tok and, through the
// district analysis, network.rip.
#pragma once

#include <filesystem>
#include <string>

#include "model/MessageSink.h"
#include "model/NetworkModel.h"

namespace tarvel {

// Computes the branch flows from the final voltages and writes the three
// report files into workDir. Called once per run whose data were accepted,
// after the iterations (calcP/calcQ are those of the final voltages).
// A file that cannot be created is told through sink; the files written up
// to that point stay as they are.
void writeReports(NetworkModel& model, const std::filesystem::path& workDir, MessageSink& sink);

// The message shown when a report file cannot be created, for the given
// first sentence.
std::string reportFileMessage(const std::string& firstSentence);

}  // namespace tarvel
