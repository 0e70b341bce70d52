#include "app/SeriesStudy.h"

#include "series/SeriesReports.h"

namespace tarvel::app {

SeriesSetUp prepareSeries(const SeriesRequest& request, const CalculationSettings& settings)
{
    SeriesSetUp setUp;
    auto job = std::make_shared<SeriesJob>();
    std::string error;
    setUp.state = job->prepare(std::string(request.text), request.areas, request.profileBytes, settings, error,
                               setUp.note);
    if (setUp.state == SeriesPrepared::BadProfile)
        setUp.problem = {StudyProblem::Kind::Invalid, std::move(error)};
    if (setUp.state != SeriesPrepared::Ready)
        return setUp;
    StudyInput input = request.studyBytes ? takeStudyInput(job->model(), request.caseData, request.files,
                                                           *request.studyBytes, request.withOutages)
                                          : readStudyInput(job->model(), request.caseData, request.files,
                                                           request.withOutages);
    if (input.problem) {
        setUp.state = SeriesPrepared::BadProfile;
        setUp.problem = std::move(input.problem);
        return setUp;
    }
    job->setLimits(std::move(input.limits));
    if (request.withOutages)
        job->setOutages(std::move(input.outages), std::move(input.branchShunts));
    setUp.job = std::move(job);
    return setUp;
}

SeriesResults runSeries(const SeriesJob& job, int threads, const std::atomic<bool>* cancel,
                        const std::function<void(int)>& progress)
{
    const std::unique_ptr<tbb::global_control> cap = limitThreads(threads);
    return job.solveWithOutages(cancel, progress);
}

SeriesTally tallySeries(const SeriesResults& results)
{
    SeriesTally tally;
    tally.steps = static_cast<int>(results.steps.size());
    for (const StepResult& s : results.steps) {
        tally.unsolved += s.outcome != StepOutcome::Solved;
        tally.insecure += results.withOutages && isInsecureStep(s);
    }
    tally.energyLostMwh = energyLostMwh(results.steps);
    return tally;
}

}  // namespace tarvel::app
