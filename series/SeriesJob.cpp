#include "series/SeriesJob.h"

#include <atomic>
#include <charconv>
#include <cmath>
#include <system_error>
#include <unistd.h>

#include "model/MessageSink.h"
#include "model/ReadNetworkData.h"
#include "model/TextFile.h"
#include "powerflow/PowerFlowRun.h"
#include "series/ScenarioTable.h"
#include "series/SeriesReports.h"

namespace tarvel {

namespace {

// A folder of this process's own, removed when done.
class PrivateFolder {
public:
    PrivateFolder()
    {
        static std::atomic<int> counter{0};
        std::error_code ec;
        path_ = std::filesystem::temp_directory_path(ec) /
                ("tarvel-series-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(path_, ec);
    }
    ~PrivateFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

void appendNumber(std::string& out, double value)
{
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, r.ptr);
}

}  // namespace

SeriesJob::SeriesJob() = default;
SeriesJob::~SeriesJob() = default;

SeriesPrepared SeriesJob::prepare(const std::string& cduText, const NodeAreas& areas, std::string_view profileBytes,
                                  const CalculationSettings& settings, std::string& error, std::string& note)
{
    areas_ = areas;
    if (looksLikeScenarioTable(profileBytes)) {
        const ScenarioReadResult read = readScenarioTable(profileBytes);
        if (!read.ok) {
            error = read.error;
            return SeriesPrepared::BadProfile;
        }
        if (areas_.empty()) {
            error = "Таблица сценариев MATPOWER задает нагрузку областей случая MATPOWER, а исходные данные - текст ЦДУ";
            return SeriesPrepared::BadProfile;
        }
        if (chooseAreaNumbering(read.table.profile, areas_))
            note = "Области таблицы сценариев найдены в столбце зон (ZONE) узлов случая";
        if (!scenarioProfile(read.table, areas_, profile_, error))
            return SeriesPrepared::BadProfile;
    } else {
        ProfileReadResult read = readLoadProfile(profileBytes);
        if (!read.ok) {
            error = read.error;
            return SeriesPrepared::BadProfile;
        }
        profile_ = std::move(read.profile);
        if (!areas_.empty() && chooseAreaNumbering(profile_, areas_))
            note = "Области графика нагрузки найдены в столбце зон (ZONE) узлов случая";
    }

    {
        const PrivateFolder folder;
        if (!writeFileBytes(folder.path() / "network.cdu", paneTextToCduBytes(cduText))) {
            error = "Невозможно создать временный файл в \"" + folder.path().string() + "\"";
            return SeriesPrepared::BadProfile;
        }
        clearRunTables(model_);
        CollectingSink quiet;
        if (!readNetworkData(model_, folder.path(), quiet))
            return SeriesPrepared::NetworkRejected;
    }
    if (!bindProfile(profile_, model_, areas_, binding_, error))
        return SeriesPrepared::BadProfile;
    study_ = std::make_unique<TimeSeriesStudy>(model_, profile_, binding_, settings);
    return SeriesPrepared::Ready;
}

std::vector<StepResult> SeriesJob::solveAll(const std::atomic<bool>* cancel,
                                            const std::function<void(int)>& progress) const
{
    std::vector<StepResult> steps(static_cast<std::size_t>(study_->stepCount()));
    study_->solve({0, study_->stepCount()}, steps, cancel, progress);
    return steps;
}

NodeAreas nodeAreasOf(const std::vector<CduConversion::BusArea>& buses)
{
    NodeAreas areas;
    areas.buses.reserve(buses.size());
    for (const CduConversion::BusArea& b : buses)
        areas.buses.push_back({b.node, b.area, b.zone, b.pd});
    return areas;
}

std::string seriesJson(const std::vector<StepResult>& steps, const CalculationSettings& settings)
{
    std::string j = "{\n  \"settings\": {\"precision\": ";
    appendNumber(j, settings.precision);
    j += ", \"iterations\": " + std::to_string(settings.iteraz) + "},\n  \"energy_lost_mwh\": ";
    appendNumber(j, energyLostMwh(steps));
    j += ",\n  \"steps\": [";
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const StepResult& s = steps[i];
        j += i ? ",\n    " : "\n    ";
        j += "{\"step\": " + std::to_string(s.step) + ", \"outcome\": \"" + stepOutcomeName(s.outcome) +
             "\", \"iterations\": " + std::to_string(s.iterations) + ", \"load_mw\": ";
        appendNumber(j, s.loadMw);
        j += ", \"base_mw\": ";
        appendNumber(j, s.baseMw);
        j += ", \"losses_mw\": ";
        appendNumber(j, s.lossesMw);
        j += ", \"vmin\": {\"node\": " + std::to_string(s.vminNode) + ", \"pu\": ";
        appendNumber(j, s.vminPu);
        j += "}, \"vmax\": {\"node\": " + std::to_string(s.vmaxNode) + ", \"pu\": ";
        appendNumber(j, s.vmaxPu);
        j += "}, \"max_loading\": ";
        if (std::isfinite(s.maxLoadingPct)) {
            j += "{\"n1\": " + std::to_string(s.maxLoadingStart) + ", \"n2\": " + std::to_string(s.maxLoadingEnd) +
                 ", \"k\": " + std::to_string(s.maxLoadingParallel) + ", \"percent\": ";
            appendNumber(j, s.maxLoadingPct);
            j += "}";
        } else {
            j += "null";
        }
        j += ", \"violations\": " + std::to_string(s.violations) + "}";
    }
    j += steps.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return j;
}

bool writeSeriesFiles(const std::vector<StepResult>& steps, const CalculationSettings& settings,
                      const SeriesOutputs& outputs, std::filesystem::path& failed)
{
    const bool withOutages = false;
    if (!writeTimeSeriesReport(steps, withOutages, outputs.workDir)) {
        failed = outputs.workDir / kTimeSeriesFile;
        return false;
    }
    if (!outputs.csvPrefix.empty() &&
        !replaceFileSafely(stepsCsvPath(outputs.csvPrefix), stepsCsv(steps, withOutages))) {
        failed = stepsCsvPath(outputs.csvPrefix);
        return false;
    }
    if (!outputs.jsonPath.empty() && !replaceFileSafely(outputs.jsonPath, seriesJson(steps, settings))) {
        failed = outputs.jsonPath;
        return false;
    }
    return true;
}

}  // namespace tarvel
