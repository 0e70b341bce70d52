#include "app/ResultsForExport.h"

#include "interchange/ResultsExport.h"

namespace tarvel::app {

NetworkResults resultsForExport(const NetworkModel& model, const RaisedBases& raisedBases)
{
    NetworkResults results = collectResults(model);
    restoreCaseVoltages(results, raisedBases);
    return results;
}

}  // namespace tarvel::app
