#include "cli/Contingency.h"

#include <charconv>
#include <cstdio>

#include "study/StudyFiles.h"

namespace cli {

namespace {

constexpr int kExitSecure = 0;
constexpr int kExitBadInput = 2;
constexpr int kExitBaseNotConverged = 3;

}  // namespace

const char* const kStudyHelp =
    "  --contingencies all|FILE\n"
    "                   после расчета выполнить анализ отключений (N-1): all - каждая\n"
    "                   ветвь по отдельности; FILE - список отключений (\"N1 N2\" или\n"
    "                   \"N1 N2 K\" в строке, \";\" между ветвями одного отключения,\n"
    "                   \"#\" - комментарий) или таблица chgtab MATPOWER (contab_*.m)\n"
    "                   для случая MATPOWER; отчет contingency.rez пишется в DIR\n"
    "  --limits FILE    пределы токов ветвей: \"N1 N2 [K] Imax_кА\" в строке\n"
    "  --threads N      число потоков анализа (по умолчанию все ядра)\n"
    "                   --study-json FILE записывает результаты анализа отключений в\n"
    "                   формате JSON, --study-csv PREFIX - в PREFIX-contingencies.csv\n"
    "                   и PREFIX-violations.csv\n";

bool isStudyOption(const std::string& name)
{
    return name == "--contingencies" || name == "--limits" || name == "--threads";
}

bool setStudyOption(StudyOptions& options, const std::string& name, const std::string& value, std::string& problem)
{
    if (name == "--threads") {
        int threads = 0;
        const auto r = std::from_chars(value.data(), value.data() + value.size(), threads);
        if (value.empty() || r.ec != std::errc() || r.ptr != value.data() + value.size() || threads < 1 ||
            threads > 1024) {
            problem = "число потоков должно быть целым числом от 1 до 1024: " + value;
            return false;
        }
        options.threads = threads;
        return true;
    }
    if (value.empty()) {
        problem = "не задан файл параметра " + name;
        return false;
    }
    if (name == "--contingencies")
        options.contingencies = value;
    else
        options.limitsFile = value;
    return true;
}

std::string checkStudyOptions(const StudyOptions& options, bool profileGiven)
{
    if (options.contingencies.empty() && !profileGiven && (!options.limitsFile.empty() || options.threads > 0))
        return "параметры --limits и --threads действуют только вместе с --contingencies или --profile";
    return {};
}

tarvel::app::StudyFileNames studyFileNames(const StudyOptions& options)
{
    return {tarvel::app::outagesFileOfOption(options.contingencies), options.limitsFile};
}

tarvel::CaseStudyData caseStudyData(const InterchangeOptions& interchange)
{
    return {interchange.caseName, interchange.branchRecordOfCaseBranch, interchange.branchRatingMva,
            interchange.branchChargingShuntS};
}

void tellProblem(const tarvel::app::StudyProblem& problem)
{
    std::fprintf(stderr, "%s\n", problem.text.c_str());
}

int runStudy(const tarvel::NetworkModel& model, const tarvel::CalculationSettings& settings,
             const StudyOptions& options, const StudyOutputs& outputs, const InterchangeOptions& interchange,
             const std::filesystem::path& workDir)
{
    tarvel::app::StudyInput input =
        tarvel::app::readStudyInput(model, caseStudyData(interchange), studyFileNames(options), true);
    if (input.problem) {
        tellProblem(input.problem);
        return kExitBadInput;
    }
    const tarvel::app::ContingencyRun run =
        tarvel::app::runContingencyStudy(model, settings, std::move(input), options.threads);
    if (run.status == tarvel::app::ContingencyRun::Status::BaseNotSolved) {
        std::fprintf(stderr, "%s\n", tarvel::app::kBaseNotSolved);
        return kExitBaseNotConverged;
    }
    std::filesystem::path failed;
    if (!tarvel::app::writeContingencyFiles(run, {workDir, outputs.json, outputs.csvPrefix}, failed)) {
        std::fprintf(stderr, "Невозможно записать файл \"%s\"\n", failed.string().c_str());
        return kExitBadInput;
    }
    std::printf("%s\n", tarvel::studySummary(run.counts).c_str());
    return run.secure() ? kExitSecure : kExitInsecure;
}

}  // namespace cli
