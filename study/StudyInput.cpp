#include "study/StudyInput.h"

namespace tarvel {

OutageList studyOutages(const NetworkModel& model, bool allBranches, std::string_view text,
                        const std::string& fileName, const CaseStudyData& caseData)
{
    const BranchIndex index(model);
    if (allBranches) {
        OutageList list;
        list.ok = true;
        list.outages = allBranchOutages(index);
        return list;
    }
    if (!isContingencyTable(text))
        return readOutageList(text, index);
    if (caseData.branchRecordOfCaseBranch.empty()) {
        OutageList list;
        list.error = "Таблица отключений MATPOWER (chgtab) применима только к случаю MATPOWER: \"" + fileName + "\"";
        return list;
    }
    return readContingencyTable(text, {caseData.caseName, caseData.branchRecordOfCaseBranch});
}

std::string studyLimits(const NetworkModel& model, const CaseStudyData& caseData, bool hasLimitsFile,
                        std::string_view limitsText, Limits& limits)
{
    limits = defaultLimits(model);
    if (!caseData.branchRatingMva.empty())
        applyRatings(limits, caseData.branchRatingMva);
    if (!hasLimitsFile)
        return {};
    return readCurrentLimits(limitsText, BranchIndex(model), limits);
}

}  // namespace tarvel
