#include "cli/Contingency.h"

#include <charconv>
#include <cstdio>
#include <memory>

#include <tbb/global_control.h>

#include "model/TextFile.h"
#include "study/Limits.h"
#include "study/Outage.h"
#include "study/Study.h"
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
    if (options.contingencies.empty() && (!options.limitsFile.empty() || options.threads > 0))
        return "параметры --limits и --threads действуют только вместе с --contingencies";
    if (!options.contingencies.empty() && profileGiven)
        return "параметры --contingencies и --profile не задаются вместе";
    return {};
}

int runStudy(const tarvel::NetworkModel& model, const tarvel::CalculationSettings& settings,
             const StudyOptions& options, const StudyOutputs& outputs, const InterchangeOptions& interchange,
             const std::filesystem::path& workDir)
{
    const tarvel::BranchIndex index(model);
    tarvel::OutageList list;
    if (options.contingencies == "all") {
        list.ok = true;
        list.outages = tarvel::allBranchOutages(index);
    } else {
        std::string text;
        if (!readText(options.contingencies, text))
            return kExitBadInput;
        if (tarvel::isContingencyTable(text)) {
            if (interchange.branchRecordOfCaseBranch.empty()) {
                tell("Таблица отключений MATPOWER (chgtab) применима только к случаю MATPOWER: \"" +
                     options.contingencies + "\"");
                return kExitBadInput;
            }
            list = tarvel::readContingencyTable(text, {interchange.caseName, interchange.branchRecordOfCaseBranch});
        } else {
            list = tarvel::readOutageList(text, index);
        }
    }
    if (!list.ok) {
        tell(list.error);
        return kExitBadInput;
    }

    tarvel::Limits limits = tarvel::defaultLimits(model);
    tarvel::LimitsSource source;
    if (!interchange.branchRatingMva.empty()) {
        tarvel::applyRatings(limits, interchange.branchRatingMva);
        source.caseRatings = true;
    }
    if (!options.limitsFile.empty()) {
        std::string text;
        if (!readText(options.limitsFile, text))
            return kExitBadInput;
        if (const std::string problem = tarvel::readCurrentLimits(text, index, limits); !problem.empty()) {
            tell(problem);
            return kExitBadInput;
        }
        source.currentFile = options.limitsFile.filename().string();
    }

    std::unique_ptr<tbb::global_control> threads;
    if (options.threads > 0)
        threads = std::make_unique<tbb::global_control>(tbb::global_control::max_allowed_parallelism,
                                                        static_cast<std::size_t>(options.threads));
    tarvel::StudyOptions studyOptions;
    studyOptions.settings = settings;
    const tarvel::StudyBase base(model, limits, studyOptions);
    if (!base.solved()) {
        tell("Анализ отключений невозможен: исходный режим не рассчитан с заданной точностью");
        return kExitBaseNotConverged;
    }
    const tarvel::StudyResult study = tarvel::runStudy(base, std::move(list.outages));
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
