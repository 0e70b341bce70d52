// Outages of imported cases against an independent double-precision Newton
// (tools/case_newton.py --outage ROW) that takes the case's branch row out of
// service, all of it.
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "interchange/CaseConversion.h"
#include "interchange/MatpowerReader.h"
#include "study/Limits.h"
#include "study/OutageSolver.h"
#include "tests/study/StudySupport.h"
#include "tests/support/TestSupport.h"

namespace tarvel {
namespace {

// The numbers following every "key": in a JSON text, in order.
std::vector<double> jsonValues(const std::string& json, const std::string& key)
{
    std::vector<double> values;
    const std::string pattern = "\"" + key + "\": ";
    for (std::size_t at = json.find(pattern); at != std::string::npos; at = json.find(pattern, at + 1))
        values.push_back(std::strtod(json.c_str() + at + pattern.size(), nullptr));
    return values;
}

struct ImportedNetwork {
    CduConversion conversion;
    NetworkModel model;
};

ImportedNetwork import(const std::string& relative)
{
    const CaseReadResult read = readMatpowerCase(test::fileBytes(test::sourcePath(relative)));
    EXPECT_TRUE(read.ok) << read.error;
    ImportedNetwork n;
    n.conversion = convertCase(read.data);
    EXPECT_TRUE(n.conversion.ok) << n.conversion.error;
    n.model = test::modelFromText(n.conversion.text);
    return n;
}

// Transformers whose charging the import writes as node shunts: an outage of
// one takes its shunts out with it, at the default precision as at a fine one.
TEST(OutageReference, AnOutageTakesTheChargingItsBranchLeftAtItsEndNodes)
{
    const ImportedNetwork net = import("tests/data/study/case9_charged_transformers.m");
    ASSERT_EQ(net.conversion.branchChargingShuntS.size(), 10u);
    const std::string json = test::fileBytes(test::sourcePath("tests/data/study/case9_charged_transformers.outages.json"));
    const std::vector<double> rows = jsonValues(json, "row");
    const std::vector<double> numbers = jsonValues(json, "number");
    const std::vector<double> vm = jsonValues(json, "vm");
    ASSERT_EQ(rows.size(), 6u);
    const std::size_t buses = 9;
    for (float precision : {0.01f, 1e-6f}) {
        StudyOptions options;
        options.settings.precision = precision;
        options.branchShunts = net.conversion.branchChargingShuntS;
        const StudyBase base(net.model, defaultLimits(net.model), options);
        ASSERT_TRUE(base.solved());
        OutageWorkspace workspace(base);
        for (std::size_t o = 0; o < rows.size(); ++o) {
            const int branch = net.conversion.branchRecordOfCaseBranch[static_cast<std::size_t>(rows[o]) - 1];
            ASSERT_GT(branch, 0);
            OutageSolution solution;
            const OutageResult r = evaluateOutage(base, {"row", {branch}}, workspace, &solution);
            ASSERT_EQ(r.outcome, OutageOutcome::Solved) << "row " << rows[o];
            for (std::size_t b = 0; b < buses; ++b) {
                const std::size_t at = buses * o + b;
                int k = 0;
                while (k <= net.model.nodeCount && net.model.nodeNumber[k] != static_cast<int>(numbers[at]))
                    ++k;
                ASSERT_LE(k, net.model.nodeCount);
                const double u = std::hypot(solution.voltageRe[k], solution.voltageIm[k]) / 345.0;
                EXPECT_NEAR(u, vm[at], 1e-6) << "row " << rows[o] << ", bus " << numbers[at] << ", precision "
                                             << precision;
            }
        }
    }
}

}  // namespace
}  // namespace tarvel
