#include "ui/OutageOverlayOf.h"

#include <cmath>

#include "study/StudyFiles.h"

namespace tarvel::ui {

diagram::OutageOverlay outageOverlayOf(const StudyBase& base, const Outage& outage, const OutageResult& result,
                                       const OutageSolution& solution)
{
    const NetworkModel& model = base.model();
    diagram::OutageOverlay overlay;
    overlay.label = outage.label;
    overlay.outcome = outcomeText(result.outcome);
    overlay.nodes.resize(static_cast<std::size_t>(model.nodeCount) + 1);
    for (int k = 0; k <= model.nodeCount; ++k) {
        diagram::OutageNodeState& s = overlay.nodes[k];
        s.cutOff = solution.lost[k] != 0;
        const double e = solution.voltageRe[k], f = solution.voltageIm[k];
        s.u = std::hypot(e, f);
        s.unom = nominalVoltage(model, k);
        s.angle = (e == 0 && f == 0) ? 0.0 : std::atan2(f, e) * 180.0 / M_PI;
        s.p = -solution.calcP[k];
        s.q = -solution.calcQ[k];
    }
    overlay.branches.resize(static_cast<std::size_t>(model.branchCount) + 1);
    for (int i = 1; i <= model.branchCount; ++i) {
        diagram::OutageBranchState& s = overlay.branches[i];
        const BranchFigures& b = solution.branches[i];
        s.out = solution.inService[i] == 0;
        s.cutOff = solution.lost[model.branchStartIndex[i]] && solution.lost[model.branchEndIndex[i]];
        // The first end's powers as the reports print them: what the node receives.
        s.p12 = -b.p12;
        s.q12 = -b.q12;
        s.p21 = b.p21;
        s.q21 = b.q21;
        s.current = b.current;
        s.loading = b.loading;
    }
    for (const Violation& v : result.violations) {
        if (v.kind == ViolationKind::Overload)
            overlay.branches[v.branch].violations.push_back(violationText(base, v));
        else
            overlay.nodes[v.node].violations.push_back(violationText(base, v));
    }
    return overlay;
}

}  // namespace tarvel::ui
