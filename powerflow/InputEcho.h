// The input echo and the iteration log of network.out.
//
// The echo shows the model as the reader left it (susceptances in siemens with
// the solver's sign, corrected reactances and ratios, the fixed voltage as
// nodeUnom), every real in %g-style general notation with 6 significant digits.
#pragma once

#include <string>

#include "model/NetworkModel.h"
#include "model/TextFile.h"

namespace tarvel {

// Writes the counts line, the node table and the branch table, each table
// followed by an empty line.
void writeInputEcho(const NetworkModel& model, TextFileWriter& out);

// One line of the iteration log (without its line end): the iteration number
// as it is, then the residual in 12 places with 3 significant digits.
std::string iterationLogLine(int iteration, float residual);

}  // namespace tarvel
