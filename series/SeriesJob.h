// A run over a load profile as the programs start it: the network's text
// and the profile's bytes in, the files of the study out. tarvel-cli runs it
// in one process; tarvel-study builds the same job in every process of a
// cluster from the same bytes, so that every process holds the same network
// and profile.
#pragma once

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

namespace tarvel {

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

    // Every step on this machine's cores, in step order.
    std::vector<StepResult> solveAll(const std::atomic<bool>* cancel = nullptr,
                                     const std::function<void(int)>& progress = {}) const;

private:
    NetworkModel model_;
    NodeAreas areas_;
    LoadProfile profile_;
    ProfileBinding binding_;
    std::unique_ptr<TimeSeriesStudy> study_;
};

// The buses of an imported case as a profile's area columns read them.
NodeAreas nodeAreasOf(const std::vector<CduConversion::BusArea>& buses);

// The study as JSON: the settings, the energy lost and every step's figures.
std::string seriesJson(const std::vector<StepResult>& steps, const CalculationSettings& settings);

// Writes timeseries.rez and the files asked for. False with the name of the
// file that could not be written in failed.
bool writeSeriesFiles(const std::vector<StepResult>& steps, const CalculationSettings& settings,
                      const SeriesOutputs& outputs, std::filesystem::path& failed);

}  // namespace tarvel
