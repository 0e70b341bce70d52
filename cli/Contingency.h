// tarvel-cli's contingency study: --contingencies all|FILE [--limits FILE]
// [--threads N], its files named by --study-json FILE and --study-csv PREFIX
// (options shared with --profile).
#pragma once

#include <filesystem>
#include <string>

#include "app/ContingencyStudy.h"
#include "cli/Interchange.h"
#include "model/CalculationSettings.h"
#include "model/NetworkModel.h"
#include "study/StudyInput.h"

namespace cli {

struct StudyOptions {
    std::string contingencies;          // "all" or a list file / contingency table; empty: no study
    std::filesystem::path limitsFile;   // --limits
    int threads = 0;                    // --threads; 0: every core
};

struct StudyOutputs {
    std::filesystem::path json;       // --study-json; none when empty
    std::filesystem::path csvPrefix;  // --study-csv; none when empty
};

// The exit status when some outage has a violation, splits the network or fails.
constexpr int kExitInsecure = 4;

bool isStudyOption(const std::string& name);
bool setStudyOption(StudyOptions& options, const std::string& name, const std::string& value, std::string& problem);
// A problem with the options taken together (--limits or --threads without
// --contingencies or --profile), or an empty string.
std::string checkStudyOptions(const StudyOptions& options, bool profileGiven);

extern const char* const kStudyHelp;

// The files --contingencies and --limits name ("all": none for the outages).
tarvel::app::StudyFileNames studyFileNames(const StudyOptions& options);
// What an imported case adds to a study.
tarvel::CaseStudyData caseStudyData(const InterchangeOptions& interchange);
// Prints why a study's input cannot be taken.
void tellProblem(const tarvel::app::StudyProblem& problem);

// Runs the study on the network of a converged run and writes its files:
// 0 when every outage is solved without violation, kExitInsecure otherwise,
// 2 for a list, limits or table that cannot be taken or a file that cannot be
// written (then no study file is written), 3 when the base case does not
// reach the precision. Prints the one summary line to standard output.
int runStudy(const tarvel::NetworkModel& model, const tarvel::CalculationSettings& settings,
             const StudyOptions& options, const StudyOutputs& outputs, const InterchangeOptions& interchange,
             const std::filesystem::path& workDir);

}  // namespace cli
