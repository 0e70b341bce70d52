// What the import of the input document adds to its text, for the runs and
// studies of that document; empty for a document that was not imported.
#pragma once

#include <vector>

#include "app/CaseImport.h"
#include "model/StoredVoltages.h"
#include "study/StudyInput.h"

namespace tarvel::ui {

struct ImportedInput {
    // The document is an imported case: the full model solves it unless the
    // exact method is chosen.
    bool fromCase = false;
    // The voltages the case stores: the start of the iteration.
    StoredVoltages storedVoltages;
    // The levels that the import wrote on a raised base.
    app::RaisedBases raisedBases;
    // The buses' areas, for a load profile by areas.
    std::vector<CduConversion::BusArea> busAreas;
    // What a study takes from the case: its name, branch rows and ratings.
    CaseStudyData caseData;
};

}  // namespace tarvel::ui
