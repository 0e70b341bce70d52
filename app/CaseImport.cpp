#include "app/CaseImport.h"

#include "model/TextFile.h"

namespace tarvel::app {

ImportResult importCase(const CaseData& data, const ConversionOptions& options)
{
    ImportResult result;
    CduConversion conversion = convertCase(data, options);
    if (!conversion.ok) {
        result.error = std::move(conversion.error);
        return result;
    }
    result.ok = true;
    result.imported.summary = conversionSummary(data, conversion);
    result.imported.text = toCrLf(conversion.text);
    result.imported.raisedBases = std::move(conversion.raisedBases);
    result.imported.busAreas = std::move(conversion.busAreas);
    result.imported.branchRecordOfCaseBranch = std::move(conversion.branchRecordOfCaseBranch);
    result.imported.branchRatingMva = std::move(conversion.branchRatingMva);
    result.imported.branchChargingShuntS = std::move(conversion.branchChargingShuntS);
    result.imported.storedVoltages = std::move(conversion.storedVoltages);
    return result;
}

}  // namespace tarvel::app
