// The outages and limits of a study taken from the texts the user names,
// the same way by tarvel-cli and by every process of tarvel-study.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "model/NetworkModel.h"
#include "study/Limits.h"
#include "study/Outage.h"

namespace tarvel {

// What an imported MATPOWER case adds to a study: its function name, its
// branches as the network holds them and their ratings (empty for a ЦДУ text).
struct CaseStudyData {
    std::string caseName;
    std::vector<int> branchRecordOfCaseBranch;
    std::vector<double> branchRatingMva;
    // Per branch 1..m: its charging written as node shunts at its two ends, S.
    std::vector<std::array<double, 2>> branchChargingShuntS;
};

// The outages "all" names (every branch on its own), or those of a list or,
// for an imported case, a contingency table (text in UTF-8, read from the
// file named fileName); not ok with the message, naming the line, when the
// text cannot be taken.
OutageList studyOutages(const NetworkModel& model, bool allBranches, std::string_view text,
                        const std::string& fileName, const CaseStudyData& caseData);

// The limits: each voltage class's node limits, an imported case's ratings,
// then the currents of a limits file (limitsText, UTF-8; none when
// hasLimitsFile is false). An empty string, or why the file cannot be taken.
std::string studyLimits(const NetworkModel& model, const CaseStudyData& caseData, bool hasLimitsFile,
                        std::string_view limitsText, Limits& limits);

}  // namespace tarvel
