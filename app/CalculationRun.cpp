#include "app/CalculationRun.h"

#include "app/ResultsForExport.h"
#include "model/WorkingFiles.h"

namespace tarvel::app {

WorkingFilePaths workingFilesIn(const std::filesystem::path& workDir)
{
    return {workDir / kInputFile,   workDir / kErrorFile,    workDir / kEchoFile,
            workDir / kResultsFile, workDir / kDistrictFile, workDir / kCurrentsFile};
}

CalculationResult runCalculation(Calculation& calculation, const std::filesystem::path& workDir,
                                 const CalculationRequest& request, MessageSink& sink)
{
    CalculationResult result;
    result.files = workingFilesIn(workDir);
    NetworkModel& model = calculation.model;
    result.outcome = runPowerFlow(model, calculation.settings, workDir, request.text, sink, request.decimalSeparator,
                                  request.loads);
    const bool read = result.outcome != RunOutcome::InputNotSaved && result.outcome != RunOutcome::OutNotCreatable &&
                      result.outcome != RunOutcome::FilesNotWritten;
    if (request.wantResults && result.solved())
        result.results = resultsForExport(model, request.raisedBases);
    if (request.wantDiagram && read && diagram::diagramHelps(model))
        result.diagram = diagram::diagramDataOfRun(model, result.solved());
    return result;
}

}  // namespace tarvel::app
