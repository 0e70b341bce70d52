// tarvel-cli --profile: the network at every step of a load profile, after
// the ordinary run of the network as written.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "app/SeriesStudy.h"
#include "cli/Contingency.h"
#include "cli/Interchange.h"
#include "model/CalculationSettings.h"
#include "series/LoadProfile.h"
#include "series/SeriesJob.h"

namespace cli {

struct ProfileOptions {
    std::filesystem::path profile;    // --profile; no study when empty
    std::filesystem::path csvPrefix;  // --study-csv
    std::filesystem::path jsonPath;   // --study-json
};

// True when name is one of the options above (each takes a value).
bool isProfileOption(const std::string& name);
// Stores the option's value; false with a message in problem when it is wrong.
bool setProfileOption(ProfileOptions& options, const std::string& name, const std::string& value,
                      std::string& problem);

extern const char* const kProfileHelp;

// Reads the profile file, the limits and (with --contingencies) the outages,
// and prepares the study before anything is written; prints what is wrong.
// Ready (with the job), NetworkRejected (the ordinary run will tell why) or
// BadProfile (exit 2).
tarvel::SeriesPrepared prepareProfile(const ProfileOptions& options, const StudyOptions& study,
                                      const InterchangeOptions& interchange, const std::string& cduText,
                                      const tarvel::CalculationSettings& settings,
                                      std::shared_ptr<const tarvel::SeriesJob>& job);

// Solves every step (with the outages of each) on --threads threads and
// writes the study's files; prints a summary line. Returns the exit status
// (profileStatus), or 2 when a file could not be written.
int runProfile(const ProfileOptions& options, const StudyOptions& study, const tarvel::SeriesJob& job,
               const tarvel::CalculationSettings& settings, const std::filesystem::path& workDir);

// 0 every step solved (and with the outages, every step secure), 3 some step
// did not solve, kExitInsecure some step's N-1 found a violation, a split or
// an outage that did not solve.
int profileStatus(const tarvel::app::SeriesTally& tally);

}  // namespace cli
