#include "app/CalculationRun.h"

#include "app/ResultsForExport.h"
#include "model/TextFile.h"
#include "model/WorkingFiles.h"

#include <algorithm>

namespace tarvel::app {

WorkingFilePaths workingFilesIn(const std::filesystem::path& workDir)
{
    return {workDir / kInputFile,   workDir / kErrorFile,    workDir / kEchoFile,
            workDir / kResultsFile, workDir / kDistrictFile, workDir / kCurrentsFile};
}

namespace {

// The line of the record a finding names: its own, or for a finding of one
// node the first record of that number.
int recordLineOf(const NetworkModel& model, const Finding& finding)
{
    if (finding.recordLine > 0 || listsNodes(finding.kind) || finding.nodes.size() != 1)
        return finding.recordLine;
    const std::vector<int32_t>& lines = model.reading.nodeLines;
    const std::size_t slots = std::min(lines.size(), model.nodeNumber.size());
    for (std::size_t k = 0; k < slots; ++k)
        if (model.nodeNumber[k] == finding.nodes.front() && lines[k] > 0)
            return lines[k];
    return 0;
}

}  // namespace

std::vector<std::string> findingsWithTheirLines(const NetworkModel& model)
{
    std::vector<std::string> out;
    for (const Finding& finding : model.reading.findings) {
        std::vector<std::string> lines = findingLines(finding);
        if (const int line = recordLineOf(model, finding); line > 0 && !lines.empty())
            lines.front() += " (строка " + formatInt(line) + ")";
        out.insert(out.end(), lines.begin(), lines.end());
    }
    return out;
}

CalculationResult runCalculation(Calculation& calculation, const std::filesystem::path& workDir,
                                 const CalculationRequest& request, MessageSink& sink)
{
    CalculationResult result;
    result.files = workingFilesIn(workDir);
    NetworkModel& model = calculation.model;
    CalculationSettings settings = calculation.settings;
    if (request.importedCase)
        settings.method = importedMethod(settings.method);
    result.outcome = runPowerFlow(model, settings, workDir, request.text, sink, request.decimalSeparator,
                                  request.loads, request.storedVoltages);
    const bool read = result.outcome != RunOutcome::InputNotSaved && result.outcome != RunOutcome::OutNotCreatable &&
                      result.outcome != RunOutcome::FilesNotWritten;
    if (request.wantResults && result.solved())
        result.results = resultsForExport(model, request.raisedBases);
    if (request.wantDiagram && read && diagram::diagramHelps(model))
        result.diagram = diagram::diagramDataOfRun(model, result.solved());
    return result;
}

}  // namespace tarvel::app
