#include "cli/ProfileRun.h"

#include <cstdio>

#include "cli/Contingency.h"
#include "model/TextFile.h"
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
                                      const tarvel::CalculationSettings& settings, tarvel::SeriesJob& job)
{
    const tarvel::NodeAreas areas = tarvel::nodeAreasOf(interchange.busAreas);
    std::string bytes;
    if (!tarvel::readFileBytes(options.profile, bytes)) {
        std::fprintf(stderr, "Невозможно прочитать файл \"%s\"\n", options.profile.string().c_str());
        return tarvel::SeriesPrepared::BadProfile;
    }
    std::string error, note;
    const tarvel::SeriesPrepared prepared = job.prepare(cduText, areas, bytes, settings, error, note);
    if (!note.empty())
        std::fprintf(stderr, "%s\n", note.c_str());
    if (prepared == tarvel::SeriesPrepared::BadProfile)
        std::fprintf(stderr, "%s\n", error.c_str());
    if (prepared != tarvel::SeriesPrepared::Ready)
        return prepared;
    tarvel::Limits limits;
    tarvel::LimitsSource source;
    if (!readLimits(job.model(), study, interchange, limits, source))
        return tarvel::SeriesPrepared::BadProfile;
    job.setLimits(std::move(limits));
    if (!study.contingencies.empty()) {
        std::vector<tarvel::Outage> outages;
        if (!readOutages(job.model(), study, interchange, outages))
            return tarvel::SeriesPrepared::BadProfile;
        job.setOutages(std::move(outages));
    }
    return prepared;
}

int runProfile(const ProfileOptions& options, const StudyOptions& study, const tarvel::SeriesJob& job,
               const tarvel::CalculationSettings& settings, const std::filesystem::path& workDir)
{
    tarvel::SeriesResults results;
    {
        const std::unique_ptr<tbb::global_control> threads = limitThreads(study);
        results = job.solveWithOutages();
    }
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
    return profileStatus(results);
}

int profileStatus(const tarvel::SeriesResults& results)
{
    bool insecure = false;
    for (const tarvel::StepResult& s : results.steps) {
        if (s.outcome != tarvel::StepOutcome::Solved)
            return 3;
        insecure = insecure || tarvel::isInsecureStep(s);
    }
    return results.withOutages && insecure ? kExitInsecure : 0;
}

}  // namespace cli
