#include "app/ContingencyStudy.h"

#include "model/TextFile.h"

namespace tarvel::app {

std::filesystem::path outagesFileOfOption(const std::string& value)
{
    return value == "all" ? std::filesystem::path() : std::filesystem::path(value);
}

StudyProblem readUserFile(const std::filesystem::path& path, std::string& bytes)
{
    if (readFileBytes(path, bytes))
        return {};
    return {StudyProblem::Kind::Unreadable, "Невозможно прочитать файл \"" + path.string() + "\""};
}

StudyProblem readStudyFiles(const StudyFileNames& names, bool withOutages, StudyFileBytes& bytes)
{
    if (withOutages && !names.outages.empty())
        if (StudyProblem problem = readUserFile(names.outages, bytes.outages))
            return problem;
    if (!names.limits.empty())
        if (StudyProblem problem = readUserFile(names.limits, bytes.limits))
            return problem;
    return {};
}

StudyInput takeStudyInput(const NetworkModel& model, const CaseStudyData& caseData, const StudyFileNames& names,
                          const StudyFileBytes& bytes, bool withOutages)
{
    StudyInput input;
    if (withOutages) {
        OutageList list = studyOutages(model, names.outages.empty(), cp1251ToUtf8(bytes.outages),
                                       names.outages.string(), caseData);
        if (!list.ok) {
            input.problem = {StudyProblem::Kind::Invalid, std::move(list.error)};
            return input;
        }
        input.outages = std::move(list.outages);
    }
    const bool hasLimits = !names.limits.empty();
    if (std::string problem = studyLimits(model, caseData, hasLimits, cp1251ToUtf8(bytes.limits), input.limits);
        !problem.empty()) {
        input.problem = {StudyProblem::Kind::Invalid, std::move(problem)};
        return input;
    }
    input.source.caseRatings = !caseData.branchRatingMva.empty();
    if (hasLimits)
        input.source.currentFile = names.limits.filename().string();
    return input;
}

StudyInput readStudyInput(const NetworkModel& model, const CaseStudyData& caseData, const StudyFileNames& names,
                          bool withOutages)
{
    StudyFileBytes bytes;
    if (StudyProblem problem = readStudyFiles(names, withOutages, bytes)) {
        StudyInput input;
        input.problem = std::move(problem);
        return input;
    }
    return takeStudyInput(model, caseData, names, bytes, withOutages);
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
