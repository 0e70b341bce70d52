// The run over a load profile, with or without the N-1 of every step, as a
// user starts it, once for the window, tarvel-cli and tarvel-study: the
// network, the profile, the limits and the outages are taken here, the steps
// are solved, and the results and what went wrong come back as data.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/ContingencyStudy.h"
#include "model/CalculationSettings.h"
#include "series/LoadProfile.h"
#include "series/SeriesJob.h"
#include "study/StudyInput.h"

namespace tarvel::app {

struct SeriesRequest {
    std::string_view text;          // the network's ЦДУ text, UTF-8, as the input pane holds it
    std::string_view profileBytes;  // the profile file as read (readUserFile)
    NodeAreas areas;                // the buses of an imported case; empty for a ЦДУ text
    CaseStudyData caseData;         // what an imported case adds to the limits and outages
    StudyFileNames files;           // the limits and (withOutages) the outages
    bool withOutages = false;       // the N-1 of every step
    // The study files' bytes when they have been read already (tarvel-study
    // reads them in one process); null: the files named are read here.
    const StudyFileBytes* studyBytes = nullptr;
};

struct SeriesSetUp {
    // Ready; NetworkRejected (the ordinary run of the network tells why); or
    // BadProfile, which stands for any input that cannot be taken (problem).
    SeriesPrepared state = SeriesPrepared::BadProfile;
    StudyProblem problem;
    std::string note;                // how the areas were read, for the user; may be empty
    std::shared_ptr<SeriesJob> job;  // with Ready
};

// Reads the network in a folder of its own and binds the profile to it, then
// takes the limits and outages; nothing is written where the user sees it.
SeriesSetUp prepareSeries(const SeriesRequest& request, const CalculationSettings& settings);

// Solves every step (with the outages, their N-1) on `threads` threads (0:
// every core), in step order; cancel stops it, progress counts the steps done.
SeriesResults runSeries(const SeriesJob& job, int threads, const std::atomic<bool>* cancel = nullptr,
                        const std::function<void(int)>& progress = {});

// What the summaries and the exit status tell of a run.
struct SeriesTally {
    int steps = 0;
    int unsolved = 0;  // steps that did not reach the precision
    int insecure = 0;  // with the outages: steps that need the engineer's attention
    double energyLostMwh = 0;
};

SeriesTally tallySeries(const SeriesResults& results);

}  // namespace tarvel::app
