// Helpers of the interchange tests: import a case text, run the converted
// network, read the numbers of a reference solution.
#pragma once

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "interchange/CaseImport.h"
#include "model/TextFile.h"
#include "powerflow/NetworkResults.h"
#include "powerflow/PowerFlowRun.h"
#include "tests/support/TestSupport.h"

namespace tarvel::test {

struct Imported {
    CaseReadResult read;
    CduConversion conversion;
    std::string summary() const { return conversionSummary(read.data, conversion); }
};

// Written for the exact method unless another is given: the workarounds that
// method needs within its limits are what most of these tests check.
inline Imported importText(const std::string& text, double baseKv = kDefaultBaseKv,
                           CalculationMethod method = CalculationMethod::Exact)
{
    Imported i;
    i.read = readCase(text, detectInputFormat(text));
    if (i.read.ok)
        i.conversion = convertCase(i.read.data, {baseKv, CalculationSettings{}.precision, method});
    return i;
}

inline Imported importFile(const std::string& relative, double baseKv = kDefaultBaseKv,
                           CalculationMethod method = CalculationMethod::Exact)
{
    return importText(fileBytes(sourcePath(relative)), baseKv, method);
}

struct Solved {
    std::unique_ptr<NetworkModel> model = std::make_unique<NetworkModel>();
    CollectingSink sink;
    RunOutcome outcome = RunOutcome::Rejected;
    NetworkResults results;
};

// Runs the ЦДУ text as the window's input pane would hand it.
inline std::unique_ptr<Solved> solve(const std::string& cduText, float precision = 0.01f, int iterations = 10)
{
    auto s = std::make_unique<Solved>();
    TempDir dir;
    CalculationSettings settings;
    settings.precision = precision;
    settings.iteraz = iterations;
    s->outcome = runPowerFlow(*s->model, settings, dir.path(), toCrLf(cduText), s->sink);
    s->results = collectResults(*s->model);
    return s;
}

// The numbers of "key": value pairs, in file order.
inline std::vector<double> jsonNumbers(const std::string& json, const std::string& key)
{
    std::vector<double> values;
    const std::regex pair("\"" + key + "\"\\s*:\\s*(-?[0-9.eE+-]+)");
    for (auto it = std::sregex_iterator(json.begin(), json.end(), pair); it != std::sregex_iterator(); ++it)
        values.push_back(std::stod((*it)[1]));
    return values;
}

inline const NodeResult* nodeNumbered(const NetworkResults& r, int number)
{
    for (const NodeResult& n : r.nodes)
        if (n.number == number)
            return &n;
    return nullptr;
}

}  // namespace tarvel::test
