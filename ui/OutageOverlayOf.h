// The state one outage of a study leaves, as the diagram draws it.
#pragma once

#include "diagram/OutageOverlay.h"
#include "study/OutageSolver.h"

namespace tarvel::ui {

diagram::OutageOverlay outageOverlayOf(const StudyBase& base, const Outage& outage, const OutageResult& result,
                                       const OutageSolution& solution);

}  // namespace tarvel::ui
