// The full model's own accuracy: a shunt record's conductance, the start
// from stored voltages, the control of the Newton step and the warning about
// a solution that no stable network holds.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>

#include "model/MessageSink.h"
#include "model/NetworkModel.h"
#include "model/StoredVoltages.h"
#include "powerflow/NetworkResults.h"
#include "powerflow/PowerFlowRun.h"
#include "powerflow/SparseSolver.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace tarvel;
using namespace tarvel::test;

struct Run {
    std::unique_ptr<NetworkModel> model = std::make_unique<NetworkModel>();
    TempDir dir;
    CollectingSink sink;
    RunOutcome outcome = RunOutcome::Rejected;
};

std::unique_ptr<Run> run(const std::string& text, CalculationSettings settings, const StoredVoltages& stored = {})
{
    auto r = std::make_unique<Run>();
    r->outcome = runPowerFlow(*r->model, settings, r->dir.path(), text, r->sink, ',', {}, stored);
    return r;
}

CalculationSettings method(CalculationMethod m)
{
    CalculationSettings s;
    s.method = m;
    s.precision = 1e-4f;
    s.iteraz = 20;
    return s;
}

// 110 kV: node 3 carries a shunt of g = 5000 µS and b = -400 µS (a
// capacitor), about 60 MW at nominal voltage.
const char* const kShuntNetwork =
    "0102 0 1 115 0 0 0 0 0 0 0\r\n"
    "0201 0 2 110 20 10 0 0 0 0 0\r\n"
    "0201 0 3 110 10 5 0 0 0 0 0\r\n"
    "0301 0 3 0 5000 -400\r\n"
    "0301 0 1 2 2 10 0 1 0 0 0\r\n"
    "0301 0 2 3 3 12 0 1 0 0 0\r\n";

}  // namespace

// The full model draws P = G·U² at the node (the report's Pg); the exact
// method leaves the conductance out as it always did, and says so.
TEST(ShuntConductance, TheFullModelDrawsGTimesUSquaredAndTheExactMethodTellsItLeavesItOut)
{
    const auto full = run(kShuntNetwork, method(CalculationMethod::Sparse));
    ASSERT_EQ(full->outcome, RunOutcome::Converged);
    const NetworkResults r = collectResults(*full->model);
    const double u = r.nodes[2].u;
    EXPECT_NEAR(r.nodes[2].pg, 5000e-6 * u * u, 1e-9);
    EXPECT_NEAR(r.nodes[2].qb, -400e-6 * u * u, 1e-9);
    // The base node feeds the conductance's power besides the loads.
    EXPECT_GT(-r.nodes[0].p, 30 + 5000e-6 * u * u);
    EXPECT_TRUE(full->sink.warnings.empty());

    const auto exact = run(kShuntNetwork, method(CalculationMethod::Auto));
    ASSERT_EQ(exact->outcome, RunOutcome::Converged);
    const NetworkResults e = collectResults(*exact->model);
    EXPECT_EQ(e.nodes[2].pg, 0.0);
    ASSERT_EQ(exact->sink.warnings.size(), 1u);
    EXPECT_EQ(exact->sink.warnings[0], "Активная проводимость шунтов не учитывается классическим методом (ее "
                                       "учитывает полная модель), узлы: 3.");
}

namespace {

// A generator at node 2 sends 242 MW over 100 Ohm to the base node, both at
// 220 kV: the angle is 30 degrees in the stable state and 150 in the other.
const char* const kTwoStates =
    "0102 0 1 220 0 0 0 0 0 0 0\r\n"
    "0201 0 2 220 -242 0 0 0 220 0 0\r\n"
    "0301 0 1 2 0 100 0 1 0 0 0\r\n";

double angleOfNode2(const NetworkModel& model)
{
    const Solution& x = *model.sparseSolution;
    return std::atan2(x.voltageIm[1], x.voltageRe[1]) * 180.0 / std::numbers::pi;
}

}  // namespace

// The iteration starts from stored voltages where it is asked to, and a
// solution beyond 90 degrees across a branch is reported with a warning.
TEST(StoredStart, TheStartDecidesTheStateAndAnUnstableOneIsWarnedOf)
{
    const CalculationSettings settings = method(CalculationMethod::Sparse);
    const auto flat = run(kTwoStates, settings);
    ASSERT_EQ(flat->outcome, RunOutcome::Converged);
    EXPECT_NEAR(angleOfNode2(*flat->model), 30.0, 1e-6);
    EXPECT_TRUE(flat->model->runWarnings.empty());

    const StoredVoltages stored{{{1, 220, 0}, {2, 220, 140}}, false};
    const auto far = run(kTwoStates, settings, stored);
    ASSERT_EQ(far->outcome, RunOutcome::Converged);
    EXPECT_NEAR(angleOfNode2(*far->model), 150.0, 1e-6);
    ASSERT_EQ(far->model->runWarnings.size(), 1u);
    EXPECT_EQ(far->model->runWarnings[0],
              "Угол между напряжениями концов ветви больше 90° (режим, вероятно, неустойчивый): 1-2 (-150,0°)");
    EXPECT_EQ(far->sink.warnings, far->model->runWarnings);

    // A flat start chosen leaves the stored voltages aside.
    CalculationSettings flatChosen = settings;
    flatChosen.start = StartChoice::Flat;
    EXPECT_NEAR(angleOfNode2(*run(kTwoStates, flatChosen, stored)->model), 30.0, 1e-6);
}

// More than the network can carry (the 242 MW over 1 000 Ohm, where at most
// 48.4 MW go): no solution exists. The step control keeps the voltages in
// bounds instead of running away to figures no network holds.
TEST(StepControl, AnUnsolvableNetworkStaysBounded)
{
    const std::string text = "0102 0 1 220 0 0 0 0 0 0 0\r\n"
                             "0201 0 2 220 242 100 0 0 0 0 0\r\n"
                             "0301 0 1 2 100 1000 0 1 0 0 0\r\n";
    const auto r = run(text, method(CalculationMethod::Sparse));
    EXPECT_NE(r->outcome, RunOutcome::Converged);
    const Solution& x = *r->model->sparseSolution;
    for (std::size_t k = 0; k < x.voltageRe.size(); ++k)
        EXPECT_LT(std::hypot(x.voltageRe[k], x.voltageIm[k]), 2 * 220.0) << k;
    for (const double residual : x.residuals)
        EXPECT_LT(residual, 1e4);
    // Where it went wrong is told: the node that cannot be fed.
    ASSERT_FALSE(r->sink.warnings.empty());
    EXPECT_EQ(r->sink.warnings.back().rfind("Наибольший небаланс мощности в узлах: 2 - ", 0), 0u)
        << r->sink.warnings.back();
}
