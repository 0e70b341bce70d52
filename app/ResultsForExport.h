// The figures of the last run as CSV and JSON give them, in both front ends.
#pragma once

#include "app/CaseImport.h"
#include "model/NetworkModel.h"
#include "powerflow/NetworkResults.h"

namespace tarvel::app {

// collectResults, with the voltages of a level that the import wrote on a
// raised base given back in the case's own kV (raisedBases of ImportedCase;
// empty for a text that was not imported).
NetworkResults resultsForExport(const NetworkModel& model, const RaisedBases& raisedBases);

}  // namespace tarvel::app
