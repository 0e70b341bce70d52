// The files of a contingency study: the report contingency.rez (Windows-1251,
// CR LF, as the other reports), the JSON document (docs/study.schema.json)
// and two CSV tables. The texts are made here from the results; they are
// written only when the study is complete.
#pragma once

#include <filesystem>
#include <string>

#include "study/Study.h"

namespace tarvel {

constexpr const char* kContingencyReportFile = "contingency.rez";

// Where the limits came from, for the report's heading.
struct LimitsSource {
    std::string currentFile;  // the limits file's name, empty when none
    bool caseRatings = false; // rateA of an imported case
};

// The outcome as the report and the table name it ("решено", "не сошлось",
// "расходится", "разделение сети") and as JSON and CSV name it.
const char* outcomeText(OutageOutcome outcome);
const char* outcomeKey(OutageOutcome outcome);

// "Отключений: 186; без нарушений: 170; с нарушениями: 10; разделение сети: 5; не сошлось: 1"
std::string studySummary(const StudyCounts& counts);

// One violation in words, e.g. "узел 53: U = 445.12 кВ (0.890 о.е.) ниже предела 450.00 кВ".
std::string violationText(const StudyBase& base, const Violation& v);

// The report: heading, the base case's violations, then every outage from
// the most severe with its violations. UTF-8, lines ended by "\n".
std::string contingencyReport(const StudyBase& base, const StudyResult& study, const LimitsSource& source);

std::string studyJson(const StudyBase& base, const StudyResult& study);

// One line an outage, in outage order / one line a violation. UTF-8 with a
// header row, lines ended by CR LF.
std::string contingenciesCsv(const StudyBase& base, const StudyResult& study, char separator = ',',
                             char decimal = '.');
std::string violationsCsv(const StudyBase& base, const StudyResult& study, char separator = ',',
                          char decimal = '.');
// The header row of the violations table, and one violation's row (label:
// the outage's, "base" for the base case).
std::string violationsCsvHeader(char separator = ',');
std::string violationCsvLine(const StudyBase& base, const std::string& label, const Violation& v,
                             char separator = ',', char decimal = '.');
std::filesystem::path contingenciesCsvPath(const std::filesystem::path& prefix);
std::filesystem::path violationsCsvPath(const std::filesystem::path& prefix);

// Writes the report into workDir and, when their paths are not empty, the
// JSON and CSV files, each under a temporary name renamed when complete.
// False with the failing file in failedPath.
struct StudyFilePaths {
    std::filesystem::path workDir;
    std::filesystem::path json;
    std::filesystem::path csvPrefix;
};
bool writeStudyFiles(const StudyBase& base, const StudyResult& study, const LimitsSource& source,
                     const StudyFilePaths& paths, std::filesystem::path& failedPath);

}  // namespace tarvel
