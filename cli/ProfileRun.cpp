#include "cli/ProfileRun.h"

#include <cstdio>

#include "model/TextFile.h"
#include "series/SeriesReports.h"

namespace cli {

const char* const kProfileHelp =
    "  --profile FILE   после расчета сети рассчитать ее на каждом шаге графика нагрузки\n"
    "                   FILE (CSV: step или hour, d0...d9, n<узел>, a<область>) или\n"
    "                   таблицы сценариев MATPOWER (scenarios_*.m); отчет timeseries.rez\n"
    "  --study-csv PREFIX\n"
    "                   записать шаги в PREFIX-steps.csv\n"
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

tarvel::SeriesPrepared prepareProfile(const ProfileOptions& options, const std::string& cduText,
                                      const tarvel::NodeAreas& areas, const tarvel::CalculationSettings& settings,
                                      tarvel::SeriesJob& job)
{
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
    return prepared;
}

int runProfile(const ProfileOptions& options, const tarvel::SeriesJob& job, const tarvel::CalculationSettings& settings,
               const std::filesystem::path& workDir)
{
    const std::vector<tarvel::StepResult> steps = job.solveAll();
    tarvel::SeriesOutputs outputs;
    outputs.workDir = workDir;
    outputs.csvPrefix = options.csvPrefix;
    outputs.jsonPath = options.jsonPath;
    std::filesystem::path failed;
    if (!tarvel::writeSeriesFiles(steps, settings, outputs, failed)) {
        std::fprintf(stderr, "Невозможно записать файл \"%s\"\n", failed.string().c_str());
        return 2;
    }
    int unsolved = 0;
    for (const tarvel::StepResult& s : steps)
        unsolved += s.outcome != tarvel::StepOutcome::Solved;
    std::fprintf(stderr, "График нагрузки: шагов %d, не решено %d, потери энергии %s МВт·ч\n",
                 static_cast<int>(steps.size()), unsolved,
                 tarvel::formatFixed(tarvel::energyLostMwh(steps), 0, 3).c_str());
    return unsolved == 0 ? 0 : 3;
}

}  // namespace cli
