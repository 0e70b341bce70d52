#include "cli/ProfileRun.h"

#include <cstdio>

#include "cli/Contingency.h"
#include "series/SeriesReports.h"

namespace cli {

const char* const kProfileHelp =
    "  --profile FILE   после расчета сети рассчитать ее на каждом шаге графика нагрузки\n"
    "                   FILE (CSV: step или hour, d0...d9, n<узел>, a<область>) или\n"
    "                   таблицы сценариев MATPOWER (scenarios_*.m); отчет timeseries.rez\n"
    "                   вместе с --contingencies - анализ отключений (N-1) каждого\n"
    "                   шага; --limits задает пределы шагов и отключений\n"
    "  --study-csv PREFIX\n"
    "                   записать шаги в PREFIX-steps.csv, с --contingencies -\n"
    "                   нарушения в PREFIX-violations.csv\n"
    "  --study-json FILE\n"
    "                   записать шаги в FILE в формате JSON\n";

bool isProfileOption(const std::string& name)
{
    return name == "--profile" || name == "--study-csv" || name == "--study-json";
}

bool setProfileOption(ProfileOptions& options, const std::string& name, const std::string& value, std::string& problem)
{
    if (value.empty()) {
        problem = "не задан файл параметра " + name;
        return false;
    }
    if (name == "--profile")
        options.profile = value;
    else if (name == "--study-csv")
        options.csvPrefix = value;
    else
        options.jsonPath = value;
    return true;
}

tarvel::SeriesPrepared prepareProfile(const ProfileOptions& options, const StudyOptions& study,
                                      const InterchangeOptions& interchange, const std::string& cduText,
                                      const tarvel::CalculationSettings& settings,
                                      std::shared_ptr<const tarvel::SeriesJob>& job)
{
    std::string bytes;
    if (const tarvel::app::StudyProblem problem = tarvel::app::readUserFile(options.profile, bytes)) {
        tellProblem(problem);
        return tarvel::SeriesPrepared::BadProfile;
    }
    tarvel::app::SeriesRequest request;
    request.text = cduText;
    request.profileBytes = bytes;
    request.areas = tarvel::nodeAreasOf(interchange.busAreas);
    request.caseData = caseStudyData(interchange);
    request.files = studyFileNames(study);
    request.withOutages = !study.contingencies.empty();
    tarvel::app::SeriesSetUp setUp = tarvel::app::prepareSeries(request, settings);
    if (!setUp.note.empty())
        std::fprintf(stderr, "%s\n", setUp.note.c_str());
    if (setUp.problem)
        tellProblem(setUp.problem);
    job = std::move(setUp.job);
    return setUp.state;
}

int runProfile(const ProfileOptions& options, const StudyOptions& study, const tarvel::SeriesJob& job,
               const tarvel::CalculationSettings& settings, const std::filesystem::path& workDir)
{
    const tarvel::SeriesResults results = tarvel::app::runSeries(job, study.threads);
    tarvel::SeriesOutputs outputs;
    outputs.workDir = workDir;
    outputs.csvPrefix = options.csvPrefix;
    outputs.jsonPath = options.jsonPath;
    std::filesystem::path failed;
    if (!tarvel::writeSeriesFiles(results, settings, outputs, failed)) {
        std::fprintf(stderr, "Невозможно записать файл \"%s\"\n", failed.string().c_str());
        return 2;
    }
    std::fprintf(stderr, "%s\n", tarvel::seriesSummary(results).c_str());
    return profileStatus(tarvel::app::tallySeries(results));
}

int profileStatus(const tarvel::app::SeriesTally& tally)
{
    if (tally.unsolved > 0)
        return 3;
    return tally.insecure > 0 ? kExitInsecure : 0;
}

}  // namespace cli
