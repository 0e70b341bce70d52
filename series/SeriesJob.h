// A run over a load profile as the programs start it: the network's text
// and the profile's bytes in, the files of the study out. tarvel-cli runs it
// in one process; tarvel-study builds the same job in every process of a
// cluster from the same bytes, so that every process holds the same network
// and profile.
#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "interchange/CaseConversion.h"
#include "model/CalculationSettings.h"
#include "model/NetworkModel.h"
#include "series/LoadProfile.h"
#include "series/StepResult.h"
#include "series/TimeSeries.h"
#include "study/Limits.h"
#include "study/Outage.h"

namespace tarvel {

// The results of a run over a profile, every step in step order.
struct SeriesResults {
    std::vector<StepResult> steps;
    bool withOutages = false;  // the N-1 of every step was solved
    // With the outages: the violations table's rows (step, outage, violation
    // in that order), each ended by CR LF, without its header.
    std::string violations;
};

// What one share of the work solved: the steps it touched (from firstStep)
// with its part of their outage counts, and its rows of the violations
// table. Shares are merged by mergeShares.
struct SeriesShare {
    int firstStep = 0;
    std::vector<StepResult> steps;
    std::string violations;
};

// Where the results go besides timeseries.rez in the working folder.
struct SeriesOutputs {
    std::filesystem::path workDir = ".";
    std::filesystem::path csvPrefix;  // PREFIX-steps.csv; none when empty
    std::filesystem::path jsonPath;   // the study as JSON; none when empty
};

enum class SeriesPrepared {
    Ready,            // the study can run
    NetworkRejected,  // the reader refused the network: the ordinary run tells why
    BadProfile,       // the profile is wrong: error says where
};

class SeriesJob {
public:
    SeriesJob();
    ~SeriesJob();

    // Reads the network (the ЦДУ text in UTF-8, as the input pane holds it;
    // areas: the buses of an imported MATPOWER case, else empty) in a folder
    // of its own, then the profile (a CSV file, or for an imported case its
    // scenario table) and binds it to the network. Nothing is written where
    // the user sees it. note, when not empty, tells the user how the areas
    // were read.
    SeriesPrepared prepare(const std::string& cduText, const NodeAreas& areas, std::string_view profileBytes,
                           const CalculationSettings& settings, std::string& error, std::string& note);

    const TimeSeriesStudy& study() const { return *study_; }
    const LoadProfile& profile() const { return profile_; }
    const NetworkModel& model() const { return model_; }

    // The limits of the steps (and of their outages): by default each
    // voltage class's and no branch limit.
    void setLimits(Limits limits);
    // The outages solved at every solved step, starting from that step's
    // solution; none by default. branchShunts: the node shunts that go out
    // with each branch (StudyOptions::branchShunts).
    void setOutages(std::vector<Outage> outages, std::vector<std::array<double, 2>> branchShunts = {});
    bool withOutages() const { return withOutages_; }
    const std::vector<Outage>& outages() const { return outages_; }

    // Every step on this machine's cores, in step order.
    std::vector<StepResult> solveAll(const std::atomic<bool>* cancel = nullptr,
                                     const std::function<void(int)>& progress = {}) const;
    // The same with the outages of every step; progress counts the steps
    // whose outages are done.
    SeriesResults solveWithOutages(const std::atomic<bool>* cancel = nullptr,
                                   const std::function<void(int)>& progress = {}) const;

    // Share `part` of `parts` equal shares of the work, on this machine's
    // cores: blocks of steps, or with outages the pairs of a step and an
    // outage, step by step. Merged in part order, the shares give
    // solveWithOutages's results whatever their number.
    SeriesShare solveShare(int part, int parts, const std::atomic<bool>* cancel = nullptr,
                           const std::function<void(int)>& progress = {}) const;

private:
    NetworkModel model_;
    NodeAreas areas_;
    LoadProfile profile_;
    ProfileBinding binding_;
    std::unique_ptr<TimeSeriesStudy> study_;
    std::vector<Outage> outages_;
    std::vector<std::array<double, 2>> branchShunts_;
    bool withOutages_ = false;
};

// The shares of all parts, in part order, as one result.
SeriesResults mergeShares(const std::vector<SeriesShare>& shares, int stepCount, bool withOutages);

// The summary line: "График нагрузки: шагов 48, не решено 0, потери
// энергии 1234.567 МВт·ч" and with the outages ", небезопасных шагов при
// N-1 3".
std::string seriesSummary(const SeriesResults& results);

// The name of the violations table for a prefix: PREFIX-violations.csv.
std::filesystem::path seriesViolationsCsvPath(const std::filesystem::path& prefix);

// The buses of an imported case as a profile's area columns read them.
NodeAreas nodeAreasOf(const std::vector<CduConversion::BusArea>& buses);

// The study as JSON: the settings, the energy lost and every step's figures
// (with the outages, their counts).
std::string seriesJson(const SeriesResults& results, const CalculationSettings& settings);

// Writes timeseries.rez and the files asked for (with the outages,
// PREFIX-violations.csv beside PREFIX-steps.csv). False with the name of
// the file that could not be written in failed.
bool writeSeriesFiles(const SeriesResults& results, const CalculationSettings& settings,
                      const SeriesOutputs& outputs, std::filesystem::path& failed);

}  // namespace tarvel
