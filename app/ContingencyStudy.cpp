#include "app/ContingencyStudy.h"

#include "model/TextFile.h"

namespace tarvel::app {

std::filesystem::path outagesFileOfOption(const std::string& value)
{
    return value == "all" ? std::filesystem::path() : std::filesystem::path(value);
}

StudyProblem readUserFile(const std::filesystem::path& path, std::string& bytes)
{
    int error = 0;
    if (readFileBytes(path, bytes, &error))
        return {};
    return {StudyProblem::Kind::Unreadable, unreadableFileText(path, error)};
}

namespace {

StudyProblem takeOutages(const NetworkModel& model, const CaseStudyData& caseData, const StudyFileNames& names,
                         std::string_view bytes, StudyInput& input)
{
    OutageList list =
        studyOutages(model, names.outages.empty(), userFileText(bytes), names.outages.string(), caseData);
    if (!list.ok)
        return {StudyProblem::Kind::Invalid, std::move(list.error)};
    input.outages = std::move(list.outages);
    return {};
}

StudyProblem takeLimits(const NetworkModel& model, const CaseStudyData& caseData, const StudyFileNames& names,
                        std::string_view bytes, StudyInput& input)
{
    const bool hasLimits = !names.limits.empty();
    if (std::string problem = studyLimits(model, caseData, hasLimits, userFileText(bytes), input.limits);
        !problem.empty())
        return {StudyProblem::Kind::Invalid, std::move(problem)};
    input.source.caseRatings = !caseData.branchRatingMva.empty();
    if (hasLimits)
        input.source.currentFile = names.limits.filename().string();
    return {};
}

}  // namespace

StudyInput takeStudyInput(const NetworkModel& model, const CaseStudyData& caseData, const StudyFileNames& names,
                          const StudyFileBytes& bytes, bool withOutages)
{
    StudyInput input;
    input.branchShunts = caseData.branchChargingShuntS;
    if (withOutages)
        input.problem = takeOutages(model, caseData, names, bytes.outages, input);
    if (!input.problem)
        input.problem = takeLimits(model, caseData, names, bytes.limits, input);
    return input;
}

StudyInput readStudyInput(const NetworkModel& model, const CaseStudyData& caseData, const StudyFileNames& names,
                          bool withOutages)
{
    // Each file is read and taken before the next is read, so that the first
    // problem in the order of the files is the one told.
    StudyInput input;
    input.branchShunts = caseData.branchChargingShuntS;
    std::string bytes;
    if (withOutages && !names.outages.empty())
        input.problem = readUserFile(names.outages, bytes);
    if (withOutages && !input.problem)
        input.problem = takeOutages(model, caseData, names, bytes, input);
    bytes.clear();
    if (!input.problem && !names.limits.empty())
        input.problem = readUserFile(names.limits, bytes);
    if (!input.problem)
        input.problem = takeLimits(model, caseData, names, bytes, input);
    return input;
}

std::unique_ptr<tbb::global_control> limitThreads(int threads)
{
    if (threads <= 0)
        return nullptr;
    return std::make_unique<tbb::global_control>(tbb::global_control::max_allowed_parallelism,
                                                 static_cast<std::size_t>(threads));
}

ContingencyRun runContingencyStudy(const NetworkModel& model, const CalculationSettings& settings, StudyInput input,
                                   int threads, StudyControl* control)
{
    const std::unique_ptr<tbb::global_control> cap = limitThreads(threads);
    ContingencyRun run;
    run.source = std::move(input.source);
    StudyOptions options;
    options.settings = settings;
    options.branchShunts = std::move(input.branchShunts);
    run.base = std::make_unique<StudyBase>(model, input.limits, options);
    if (!run.base->solved()) {
        run.status = ContingencyRun::Status::BaseNotSolved;
        return run;
    }
    if (control && control->cancel)
        return run;
    run.study = runStudy(*run.base, std::move(input.outages), control);
    if (run.study.cancelled)
        return run;
    run.status = ContingencyRun::Status::Complete;
    run.counts = countOutcomes(run.study.results);
    return run;
}

bool writeContingencyFiles(const ContingencyRun& run, const StudyFilePaths& paths, std::filesystem::path& failed)
{
    if (!run.complete())
        return true;
    return writeStudyFiles(*run.base, run.study, run.source, paths, failed);
}

}  // namespace tarvel::app
