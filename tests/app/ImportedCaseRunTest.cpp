// Public cases as a user imports them, with no option at all: the import and
// the calculation that the window and tarvel-cli take, against each case's
// own double-precision solution (tools/case_newton.py, MATPOWER's model).
#include <cmath>
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "app/CalculationRun.h"
#include "app/CaseImport.h"
#include "interchange/ResultsExport.h"
#include "tests/interchange/InterchangeTestSupport.h"

using namespace tarvel;
using namespace tarvel::app;

namespace {

struct ImportedRun {
    ImportedCase imported;
    CaseData data;
    std::unique_ptr<Calculation> calculation = std::make_unique<Calculation>();
    CollectingSink sink;
    CalculationResult run;
};

// Imports the case as "Импорт..." does and calculates it with the settings
// given (the defaults unless changed).
std::unique_ptr<ImportedRun> runImported(const std::string& relative, CalculationSettings settings = {})
{
    auto r = std::make_unique<ImportedRun>();
    const std::string bytes = test::fileBytes(test::sourcePath(relative));
    const CaseReadResult read = readCase(bytes, detectInputFormat(bytes));
    EXPECT_TRUE(read.ok) << relative << ": " << read.error;
    r->data = read.data;
    ConversionOptions options;
    options.method = settings.method;
    const ImportResult converted = importCase(read.data, options);
    EXPECT_TRUE(converted.ok) << relative << ": " << converted.error;
    r->imported = converted.imported;
    r->calculation->settings = settings;
    test::TempDir dir;
    CalculationRequest request{r->imported.text};
    request.raisedBases = r->imported.raisedBases;
    request.storedVoltages = r->imported.storedVoltages;
    request.importedCase = true;
    request.wantDiagram = false;
    r->run = runCalculation(*r->calculation, dir.path(), request, r->sink);
    return r;
}

struct Deviation {
    double pu = 0, degrees = 0;
    int puBus = 0, degreesBus = 0;
};

// The largest deviation from the solution in test data, in per unit of each
// bus's base voltage and in degrees from the case's reference bus.
Deviation deviationFromSolution(const ImportedRun& r, const std::string& solutionFile)
{
    const std::string json = test::fileBytes(test::sourcePath(solutionFile));
    const auto numbers = test::jsonNumbers(json, "number");
    const auto vm = test::jsonNumbers(json, "vm");
    const auto va = test::jsonNumbers(json, "va_deg");
    std::map<int, double> baseKv;
    int reference = 0;
    for (const CaseBus& b : r.data.buses) {
        baseKv[static_cast<int>(b.number)] = b.baseKv > 0 ? b.baseKv : kDefaultBaseKv;
        if (b.type == CaseBusType::Reference)
            reference = static_cast<int>(b.number);
    }
    const NetworkResults& results = *r.run.results;
    const NodeResult* zero = test::nodeNumbered(results, reference);
    if (zero == nullptr)
        return {1e9, 1e9, reference, reference};
    Deviation d;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        const int number = static_cast<int>(numbers[i]);
        const NodeResult* n = test::nodeNumbered(results, number);
        if (n == nullptr)
            continue;
        const double pu = std::fabs(n->u / baseKv[number] - vm[i]);
        const double degrees = std::fabs(std::remainder(n->angle - zero->angle - va[i], 360.0));
        if (pu > d.pu)
            d = {pu, d.degrees, number, d.degreesBus};
        if (degrees > d.degrees)
            d = {d.pu, degrees, d.puBus, number};
    }
    return d;
}

}  // namespace

// Each case below was off with the defaults of before: IEEE 30 by 1.4e-2 p.u.
// (its short branches raised to 1.01 Ohm by the exact method), the Baran-Wu
// feeder by 0.7 % (stopped at 0.01 MW), the 145-bus system by 82 degrees (its
// shunt conductances as loads at nominal voltage), the French 1951-bus grid
// not at all (no convergence from a flat start, where its own voltages are
// two steps away).
TEST(ImportedCaseRun, PublicCasesAgreeWithTheirOwnSolutionsWithNoOption)
{
    for (const char* name : {"case_ieee30", "case33bw", "case145", "case1951rte"}) {
        const std::string base = std::string("tests/data/interchange/public/") + name;
        const auto r = runImported(base + ".m");
        ASSERT_EQ(r->run.outcome, RunOutcome::Converged) << name << "\n" << r->calculation->model.runMessage;
        ASSERT_TRUE(r->run.results.has_value());
        const Deviation d = deviationFromSolution(*r, base + ".voltages.json");
        EXPECT_LT(d.pu, 1e-4) << name << ": bus " << d.puBus << "\n" << r->imported.summary;
        EXPECT_LT(d.degrees, 0.01) << name << ": bus " << d.degreesBus << "\n" << r->imported.summary;
        // The case's own solution is where it comes out: nothing to warn about.
        EXPECT_TRUE(r->calculation->model.runWarnings.empty()) << name << ": " << r->calculation->model.runWarnings[0];
    }
}

// The exact method, chosen, still gets a text written for it: the workarounds
// and its note.
TEST(ImportedCaseRun, TheExactMethodChosenGetsItsWorkarounds)
{
    CalculationSettings settings;
    settings.method = CalculationMethod::Exact;
    const auto r = runImported("tests/data/interchange/public/case_ieee30.m", settings);
    EXPECT_EQ(r->run.outcome, RunOutcome::Converged);
    EXPECT_NE(r->imported.summary.find("расчет примет x = 1,01 Ом"), std::string::npos) << r->imported.summary;
    EXPECT_FALSE(r->calculation->model.solvedSparse());
}

// A shunt conductance goes into the text as the shunt record's g (µS), not
// as a load: the full model draws G·U² from it, which the report shows as the
// node's Pg.
TEST(ImportedCaseRun, AShuntConductanceIsWrittenAsAnAdmittance)
{
    const auto r = runImported("tests/data/interchange/public/case145.m");
    ASSERT_EQ(r->run.outcome, RunOutcome::Converged);
    // Bus 142: Gs 4 323 MW at 1 p.u. of 100 kV... on its own base voltage.
    const CaseBus* bus142 = nullptr;
    for (const CaseBus& b : r->data.buses)
        if (b.number == 142)
            bus142 = &b;
    ASSERT_NE(bus142, nullptr);
    const NodeResult* n = test::nodeNumbered(*r->run.results, 142);
    ASSERT_NE(n, nullptr);
    const double pu = n->u / bus142->baseKv;
    EXPECT_NEAR(n->pg, bus142->gs * pu * pu, 1e-6 * bus142->gs);
    EXPECT_EQ(r->imported.summary.find("Активная проводимость шунтов заменена"), std::string::npos);
}

// The case's reference bus stays the base node when the full model solves
// it, even behind a step-up transformer, and the former workaround's move of
// the base node is gone.
TEST(ImportedCaseRun, TheCasesReferenceBusStaysTheBaseNode)
{
    const auto r = runImported("tests/data/interchange/behind-step-up.m");
    ASSERT_TRUE(r->run.solved());
    const CaseData& c = r->data;
    int64_t reference = 0;
    for (const CaseBus& b : c.buses)
        if (b.type == CaseBusType::Reference)
            reference = b.number;
    EXPECT_EQ(r->calculation->model.nodeNumber[0], reference);
    EXPECT_EQ(r->imported.summary.find("базисный узел перенесен"), std::string::npos) << r->imported.summary;
}

// A solution far from the voltages the case stores is told; so is one across
// whose branch the angle exceeds 90 degrees.
TEST(ImportedCaseRun, ASolutionFarFromTheCasesVoltagesIsWarnedOf)
{
    std::string text = test::fileBytes(test::sourcePath("tests/data/interchange/case9.m"));
    // The case stores a flat profile but at bus 5, said to be at 1.2 p.u. and
    // -40 degrees; the others lie within 0.05 p.u. and 10 degrees of the
    // solution.
    const std::string bus5 = "\t5\t1\t90\t30\t0\t0\t1\t1\t0\t345";
    const std::size_t at = text.find(bus5);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, bus5.size(), "\t5\t1\t90\t30\t0\t0\t1\t1.2\t-40\t345");
    test::TempDir dir;
    const CaseReadResult read = readCase(text, InputFormat::Matpower);
    ASSERT_TRUE(read.ok) << read.error;
    const ImportResult converted = importCase(read.data, {});
    ASSERT_TRUE(converted.ok);
    ASSERT_TRUE(converted.imported.storedVoltages.solved);
    auto calculation = std::make_unique<Calculation>();
    CollectingSink sink;
    CalculationRequest request{converted.imported.text};
    request.storedVoltages = converted.imported.storedVoltages;
    request.importedCase = true;
    const CalculationResult run = runCalculation(*calculation, dir.path(), request, sink);
    ASSERT_EQ(run.outcome, RunOutcome::Converged);
    ASSERT_EQ(calculation->model.runWarnings.size(), 1u);
    EXPECT_EQ(calculation->model.runWarnings[0].rfind("Решение далеко от напряжений, записанных в файле случая, в "
                                                      "узлах: 5 - ",
                                                      0),
              0u)
        << calculation->model.runWarnings[0];
    EXPECT_EQ(sink.warnings, calculation->model.runWarnings);
}

// A generator whose limits are both 0 has its reactive output fixed at 0
// (17 of them in ACTIVSg2000). "0 0" in a node record means no limits, so
// the import writes limits of a watt around 0 and says so; with the limits
// on, the node gives 0 Mvar (its voltage freed), as the case means.
TEST(ImportedCaseRun, AGeneratorWithBothLimitsZeroKeepsItsOutputAtZero)
{
    std::string text = test::fileBytes(test::sourcePath("tests/data/interchange/case9.m"));
    const std::string gen3 = "\t3\t85\t-10.95\t300\t-300\t";
    const std::size_t at = text.find(gen3);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, gen3.size(), "\t3\t85\t-10.95\t0\t0\t");
    test::TempDir dir;
    const std::string path = (dir.path() / "case9zero.m").string();
    ASSERT_TRUE(writeFileBytes(path, text));

    CalculationSettings settings;
    settings.qLimits = true;
    const auto r = runImported(path, settings);
    EXPECT_NE(r->imported.text.find("0201 0 3 345 -85 0 0 0 353.625 -1e-06 1e-06\r\n"), std::string::npos)
        << r->imported.text;
    EXPECT_NE(r->imported.summary.find("Генераторы с Qmin = Qmax = 0"), std::string::npos) << r->imported.summary;
    ASSERT_EQ(r->run.outcome, RunOutcome::Converged) << r->calculation->model.runMessage;
    const NodeResult* n3 = test::nodeNumbered(*r->run.results, 3);
    ASSERT_NE(n3, nullptr);
    // The node's Q is + consumption: no generation, no load. Where it took
    // 10.95 Mvar to hold 1.025 p.u., its voltage now rises.
    EXPECT_NEAR(n3->q, 0.0, 1e-5);
    EXPECT_GT(n3->u, 353.625 + 1.0);
}
