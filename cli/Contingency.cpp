#include "cli/Contingency.h"

#include <charconv>
#include <cstdio>
#include <memory>

#include <tbb/global_control.h>

#include "model/TextFile.h"
#include "study/Limits.h"
#include "study/Outage.h"
#include "study/Study.h"
#include "study/StudyInput.h"
#include "study/StudyFiles.h"

namespace cli {

namespace {

constexpr int kExitSecure = 0;
constexpr int kExitBadInput = 2;
constexpr int kExitBaseNotConverged = 3;

bool readText(const std::filesystem::path& path, std::string& text)
{
    std::string bytes;
    if (!tarvel::readFileBytes(path, bytes)) {
        std::fprintf(stderr, "Невозможно прочитать файл \"%s\"\n", path.string().c_str());
        return false;
    }
    text = tarvel::cp1251ToUtf8(bytes);
    return true;
}

void tell(const std::string& text)
{
    std::fprintf(stderr, "%s\n", text.c_str());
}

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

tarvel::CaseStudyData caseStudyData(const InterchangeOptions& interchange)
{
    return {interchange.caseName, interchange.branchRecordOfCaseBranch, interchange.branchRatingMva};
}

bool readOutages(const tarvel::NetworkModel& model, const StudyOptions& options, const InterchangeOptions& interchange,
                 std::vector<tarvel::Outage>& outages)
{
    const bool all = options.contingencies == "all";
    std::string text;
    if (!all && !readText(options.contingencies, text))
        return false;
    tarvel::OutageList list = tarvel::studyOutages(model, all, text, options.contingencies, caseStudyData(interchange));
    if (!list.ok) {
        tell(list.error);
        return false;
    }
    outages = std::move(list.outages);
    return true;
}

bool readLimits(const tarvel::NetworkModel& model, const StudyOptions& options, const InterchangeOptions& interchange,
                tarvel::Limits& limits, tarvel::LimitsSource& source)
{
    source = {};
    source.caseRatings = !interchange.branchRatingMva.empty();
    const bool hasFile = !options.limitsFile.empty();
    std::string text;
    if (hasFile && !readText(options.limitsFile, text))
        return false;
    if (const std::string problem = tarvel::studyLimits(model, caseStudyData(interchange), hasFile, text, limits);
        !problem.empty()) {
        tell(problem);
        return false;
    }
    if (hasFile)
        source.currentFile = options.limitsFile.filename().string();
    return true;
}

std::unique_ptr<tbb::global_control> limitThreads(const StudyOptions& options)
{
    if (options.threads <= 0)
        return nullptr;
    return std::make_unique<tbb::global_control>(tbb::global_control::max_allowed_parallelism,
                                                 static_cast<std::size_t>(options.threads));
}

int runStudy(const tarvel::NetworkModel& model, const tarvel::CalculationSettings& settings,
             const StudyOptions& options, const StudyOutputs& outputs, const InterchangeOptions& interchange,
             const std::filesystem::path& workDir)
{
    std::vector<tarvel::Outage> outages;
    if (!readOutages(model, options, interchange, outages))
        return kExitBadInput;
    tarvel::Limits limits;
    tarvel::LimitsSource source;
    if (!readLimits(model, options, interchange, limits, source))
        return kExitBadInput;

    const std::unique_ptr<tbb::global_control> threads = limitThreads(options);
    tarvel::StudyOptions studyOptions;
    studyOptions.settings = settings;
    const tarvel::StudyBase base(model, limits, studyOptions);
    if (!base.solved()) {
        tell("Анализ отключений невозможен: исходный режим не рассчитан с заданной точностью");
        return kExitBaseNotConverged;
    }
    const tarvel::StudyResult study = tarvel::runStudy(base, std::move(outages));
    std::filesystem::path failed;
    if (!tarvel::writeStudyFiles(base, study, source, {workDir, outputs.json, outputs.csvPrefix}, failed)) {
        std::fprintf(stderr, "Невозможно записать файл \"%s\"\n", failed.string().c_str());
        return kExitBadInput;
    }
    const tarvel::StudyCounts counts = tarvel::countOutcomes(study.results);
    std::printf("%s\n", tarvel::studySummary(counts).c_str());
    return counts.secure == counts.outages ? kExitSecure : kExitInsecure;
}

}  // namespace cli
