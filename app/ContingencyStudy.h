// The contingency study (N-1) as a user starts it, once for the window,
// tarvel-cli and tarvel-study: the files named are read here against the
// network, the study runs, and its results and what went wrong come back as
// data. The front ends only ask, show and say.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <tbb/global_control.h>

#include "model/CalculationSettings.h"
#include "model/NetworkModel.h"
#include "study/Limits.h"
#include "study/Outage.h"
#include "study/Study.h"
#include "study/StudyFiles.h"
#include "study/StudyInput.h"

namespace tarvel::app {

// The files of a study, as the user named them.
struct StudyFileNames {
    std::filesystem::path outages;  // a list, or a MATPOWER contingency table; empty: every branch on its own
    std::filesystem::path limits;   // the branches' currents; empty: none
};

// The outages file of the command line's --contingencies: "all" names
// every branch on its own, which is no file.
std::filesystem::path outagesFileOfOption(const std::string& value);

// Why a contingency study cannot be made: its base case does not reach the precision.
inline constexpr const char* kBaseNotSolved =
    "Анализ отключений невозможен: исходный режим не рассчитан с заданной точностью";

// Why a study cannot start. The text is UTF-8 without a closing full stop;
// an Invalid one names the line.
struct StudyProblem {
    enum class Kind { None, Unreadable, Invalid };
    Kind kind = Kind::None;
    std::string text;
    explicit operator bool() const { return kind != Kind::None; }
};

// "Невозможно прочитать файл \"PATH\": файл не найден" (and why else) when the
// file cannot be read.
StudyProblem readUserFile(const std::filesystem::path& path, std::string& bytes);

// The bytes of a study's files (Windows-1251) as read: tarvel-study reads
// them in one process and hands them to the others.
struct StudyFileBytes {
    std::string outages;
    std::string limits;
};

// What a study runs with: the limits, where they came from and the outages.
struct StudyInput {
    StudyProblem problem;
    Limits limits;
    LimitsSource source;
    std::vector<Outage> outages;  // only when asked for
    // An imported case's charging written as node shunts, per branch 1..m
    // (CaseStudyData::branchChargingShuntS): out with its branch.
    std::vector<std::array<double, 2>> branchShunts;
};

// The outages (withOutages) and then the limits (each voltage class's, an
// imported case's ratings, then the currents of the limits file) for the
// network, from the files' bytes; the first problem stops. caseData: what an
// imported case adds (empty for a ЦДУ text).
StudyInput takeStudyInput(const NetworkModel& model, const CaseStudyData& caseData, const StudyFileNames& names,
                          const StudyFileBytes& bytes, bool withOutages);
// The same, each file read just before it is taken.
StudyInput readStudyInput(const NetworkModel& model, const CaseStudyData& caseData, const StudyFileNames& names,
                          bool withOutages);

// The cap on oneTBB's threads while it lives; none for 0 (every core).
std::unique_ptr<tbb::global_control> limitThreads(int threads);

struct ContingencyRun {
    enum class Status { Complete, BaseNotSolved, Cancelled };
    Status status = Status::Cancelled;
    std::unique_ptr<StudyBase> base;  // the network studied and its base case
    StudyResult study;                // complete only with Status::Complete
    LimitsSource source;
    StudyCounts counts;
    bool complete() const { return status == Status::Complete; }
    // Every outage solved without violation.
    bool secure() const { return complete() && counts.secure == counts.outages; }
};

// Solves the base case of the network and then every outage of the input on
// `threads` threads (0: every core); control, when given, cancels the study
// and counts the outages done, from another thread.
ContingencyRun runContingencyStudy(const NetworkModel& model, const CalculationSettings& settings, StudyInput input,
                                   int threads, StudyControl* control = nullptr);

// Writes contingency.rez into the working folder and the JSON and CSV files
// whose paths are given; a run that is not complete writes nothing. False
// with the file that could not be written in failed.
bool writeContingencyFiles(const ContingencyRun& run, const StudyFilePaths& paths, std::filesystem::path& failed);

}  // namespace tarvel::app
