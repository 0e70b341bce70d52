#include "cli/Interchange.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "app/CaseImport.h"
#include "app/ResultsForExport.h"
#include "interchange/CaseImport.h"
#include "interchange/ResultsExport.h"
#include "model/TextFile.h"
#include "powerflow/NetworkResults.h"
#include "study/Outage.h"

namespace cli {


const char* const kInterchangeHelp =
    "  --base-kv KV     базисное напряжение узлов, для которых случай MATPOWER или\n"
    "                   IEEE CDF его не задает, кВ (по умолчанию 220)\n"
    "  --convert OUT    записать случай MATPOWER или IEEE CDF как текст ЦДУ в файл OUT\n"
    "                   (Windows-1251) и закончить без расчета\n"
    "  --csv PREFIX     записать результаты в PREFIX-nodes.csv и PREFIX-branches.csv\n"
    "  --json FILE      записать результаты в FILE в формате JSON\n";

bool isInterchangeOption(const std::string& name)
{
    return name == "--base-kv" || name == "--convert" || name == "--csv" || name == "--json";
}

bool setInterchangeOption(InterchangeOptions& options, const std::string& name, const std::string& value,
                          std::string& problem)
{
    if (name == "--base-kv") {
        double kv = 0;
        const auto r = std::from_chars(value.data(), value.data() + value.size(), kv);
        if (value.empty() || r.ec != std::errc() || r.ptr != value.data() + value.size() || !std::isfinite(kv) ||
            kv < 0.1 || kv > 1500) {
            problem = "базисное напряжение должно быть числом от 0.1 до 1500 кВ: " + value;
            return false;
        }
        options.baseKv = kv;
        return true;
    }
    if (value.empty()) {
        problem = "не задан файл параметра " + name;
        return false;
    }
    if (name == "--convert")
        options.convertTo = value;
    else if (name == "--csv")
        options.csvPrefix = value;
    else
        options.jsonPath = value;
    return true;
}

ImportStep importInput(const std::string& bytes, InterchangeOptions& options, std::string& text)
{
    const tarvel::InputFormat format = tarvel::detectInputFormat(bytes);
    if (format == tarvel::InputFormat::Cdu) {
        if (options.convertTo.empty())
            return ImportStep::NotACase;
        std::fprintf(stderr, "Импорт невозможен: %s\n", tarvel::readCase(bytes, format).error.c_str());
        return ImportStep::Failed;
    }
    const tarvel::CaseReadResult read = tarvel::readCase(bytes, format);
    if (!read.ok) {
        std::fprintf(stderr, "Импорт невозможен: %s\n", read.error.c_str());
        return ImportStep::Failed;
    }
    tarvel::app::ImportResult converted = tarvel::app::importCase(read.data, {options.baseKv, options.precision, options.method});
    if (!converted.ok) {
        std::fprintf(stderr, "Импорт невозможен: %s\n", converted.error.c_str());
        return ImportStep::Failed;
    }
    std::fputs(converted.imported.summary.c_str(), stderr);
    text = std::move(converted.imported.text);
    options.raisedBases = std::move(converted.imported.raisedBases);
    options.busAreas = std::move(converted.imported.busAreas);
    options.branchRecordOfCaseBranch = std::move(converted.imported.branchRecordOfCaseBranch);
    options.branchRatingMva = std::move(converted.imported.branchRatingMva);
    options.branchChargingShuntS = std::move(converted.imported.branchChargingShuntS);
    options.storedVoltages = std::move(converted.imported.storedVoltages);
    if (format == tarvel::InputFormat::Matpower)
        options.caseName = tarvel::caseFunctionName(bytes);
    if (options.convertTo.empty())
        return ImportStep::Converted;
    if (!tarvel::replaceFileSafely(options.convertTo, tarvel::utf8ToCp1251(text))) {
        std::fprintf(stderr, "Невозможно записать файл \"%s\"\n", options.convertTo.string().c_str());
        return ImportStep::Failed;
    }
    return ImportStep::Written;
}

bool exportResults(const tarvel::NetworkResults& results, const tarvel::NetworkModel& model,
                   const tarvel::CalculationSettings& settings, tarvel::RunOutcome outcome,
                   const InterchangeOptions& options)
{
    bool ok = true;
    if (!options.csvPrefix.empty()) {
        std::filesystem::path failed;
        if (!tarvel::writeResultsCsv(results, options.csvPrefix, tarvel::csvConventionFor('.'), failed)) {
            std::fprintf(stderr, "Невозможно записать файл \"%s\"\n", failed.string().c_str());
            ok = false;
        }
    }
    if (!options.jsonPath.empty()) {
        const tarvel::ConvergenceFigures convergence{outcome == tarvel::RunOutcome::Converged, model.iterationNumber,
                                                     model.residual, model.runWarnings};
        if (!tarvel::replaceFileSafely(options.jsonPath, tarvel::resultsJson(settings, results, convergence))) {
            std::fprintf(stderr, "Невозможно записать файл \"%s\"\n", options.jsonPath.string().c_str());
            ok = false;
        }
    }
    return ok;
}

}  // namespace cli
