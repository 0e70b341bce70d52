#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "powerflow/Equations.h"
#include "powerflow/Newton.h"
#include "tests/powerflow/SolverTestNetworks.h"

using tarvel::test::HandNetwork;

namespace {

// A meshed network with every kind of element: lines with charging, two
// parallel lines, a transformer, a node with fixed voltage magnitude, a
// shunt, and a node fed from the base node alone.
HandNetwork meshedNetwork()
{
    HandNetwork net(118.0f);
    const int n1 = net.node(11, 110.0f, 30.0f, 12.0f);
    const int n2 = net.node(12, 110.0f, 0.6f, -0.4f);              // small load: absolute errors
    const int n3 = net.node(13, 112.0f, -40.0f, 0.0f, 2);           // generator holding 112 kV
    const int n4 = net.node(14, 10.5f, 8.0f, 3.0f);                 // behind the transformer
    const int n5 = net.node(15, 110.0f, 5.0f, 2.0f);                // fed from the base only
    net.branch(0, n1, 6.0f, 24.0f, 1.5e-4f);
    net.branch(n1, n2, 8.0f, 30.0f, 1e-4f);
    net.branch(n2, n3, 5.0f, 21.0f, 0.8e-4f);
    net.branch(n2, n3, 5.0f, 21.0f, 0.8e-4f);                       // parallel
    net.branch(n3, n1, 9.0f, 33.0f);
    net.branch(n2, n4, 0.1f, 1.5f, 0.0f, 10.5f);                    // 110/10.5 kV, impedance on the 10 kV side
    net.branch(0, n5, 4.0f, 16.0f);
    net->nodeShuntB[n2] = 2e-4f;
    return net;
}

// The equation values whose derivatives the Jacobian holds: per node k the
// reactive power (or |U|^2/U_set at a fixed-voltage node) and the active power.
std::vector<double> equationValues(tarvel::NetworkModel& m)
{
    tarvel::computeInjections(m);
    std::vector<double> v(2 * m.nodeCount + 1);
    for (int k = 1; k <= m.nodeCount; ++k) {
        const double e = m.voltageRe[k], f = m.voltageIm[k];
        v[2 * k - 1] = m.nodeType[k] == 1 ? m.calcQ[k] : (e * e + f * f) / m.nodeUnom[k];
        v[2 * k] = m.calcP[k];
    }
    return v;
}

void setSystem(tarvel::NetworkModel& m, std::initializer_list<std::initializer_list<float>> rows,
               std::initializer_list<float> rhs)
{
    int r = 1;
    for (const auto& row : rows) {
        int c = 1;
        for (float v : row)
            m.jacobian[r][c++] = v;
        ++r;
    }
    int i = 1;
    for (float v : rhs)
        m.mismatch[i++] = v;
}

// One load node (index 1) at 10 kV, 0 rad, for the elimination tests.
HandNetwork oneNode()
{
    HandNetwork net(10.0f);
    net.node(2, 10.0f);
    net->voltageRe[0] = 10.0f;
    net->voltageRe[1] = 10.0f;
    return net;
}

}  // namespace

TEST(Residual, MixesRelativeAndAbsoluteErrorsAndTheVoltageCondition)
{
    // At flat start with no charging nothing flows, so the mismatches are the loads.
    HandNetwork net(110.0f);
    const int k = net.node(2, 110.0f, 0.5f, 0.0f);
    net.branch(0, k, 5.0f, 20.0f);
    tarvel::initVoltages(*net);
    tarvel::formAdmittances(*net);

    EXPECT_NEAR(tarvel::computeResidual(*net), std::sqrt(0.25 / 2), 1e-6);  // 0.5 MW in MW
    EXPECT_FLOAT_EQ(net->mismatch[2], -0.5f);
    EXPECT_EQ(net->mismatch[1], 0.0f);

    net->nodeLoadP[k] = 2.0f;  // from 1 MW on the error is relative
    EXPECT_NEAR(tarvel::computeResidual(*net), std::sqrt(1.0 / 2), 1e-6);
    net->nodeLoadQ[k] = -3.0f;  // generation: mismatch +3, error 3 / -3
    EXPECT_NEAR(tarvel::computeResidual(*net), 1.0, 1e-6);
    EXPECT_FLOAT_EQ(net->mismatch[1], 3.0f);
    net->nodeLoadQ[k] = 0.999f;  // just below 1: absolute again
    EXPECT_NEAR(tarvel::computeResidual(*net), std::sqrt((1.0 + 0.999 * 0.999) / 2), 1e-6);

    // A 10.5 kV generator node behind a 110/11 transformer, found at 10 kV:
    // the transformer carries nothing, only the voltage condition is off.
    HandNetwork gen(110.0f);
    const int g = gen.node(3, 10.5f, 0.0f, 0.0f, 2);
    gen.branch(0, g, 1.0f, 30.0f, 0.0f, 11.0f);
    tarvel::initVoltages(*gen);
    tarvel::formAdmittances(*gen);
    gen->voltageRe[g] = 10.0f;
    const float residual = tarvel::computeResidual(*gen);
    EXPECT_NEAR(gen->mismatch[1], (110.25 - 100) / 10.5, 1e-5);
    EXPECT_NEAR(gen->mismatch[2], 0.0, 1e-5);
    EXPECT_NEAR(residual, (110.25 - 100) / 110.25 / std::sqrt(2.0), 1e-6);
}

TEST(Jacobian, HoldsTheDerivativesOfTheNodeEquations)
{
    HandNetwork net = meshedNetwork();
    tarvel::NetworkModel& m = *net;
    tarvel::initVoltages(m);
    tarvel::formAdmittances(m);
    // A point away from the flat start, so every term is exercised.
    const float re[] = {118.0f, 113.0f, 110.5f, 111.0f, 10.1f, 115.0f};
    const float im[] = {0.0f, -2.5f, -4.0f, -3.1f, -1.4f, -1.2f};
    for (int k = 0; k <= m.nodeCount; ++k) {
        m.voltageRe[k] = re[k];
        m.voltageIm[k] = im[k];
    }
    tarvel::computeResidual(m);
    tarvel::formJacobian(m);

    const int N = 2 * m.nodeCount;
    const float h = 0.5f;
    for (int q = 1; q <= m.nodeCount; ++q) {
        for (int part = 0; part < 2; ++part) {
            float& v = part == 0 ? m.voltageRe[q] : m.voltageIm[q];
            const float saved = v;
            v = saved + h;
            const auto up = equationValues(m);
            v = saved - h;
            const auto down = equationValues(m);
            v = saved;
            const int col = 2 * q - 1 + part;
            for (int row = 1; row <= N; ++row) {
                const double derivative = (up[row] - down[row]) / (2.0 * h);
                EXPECT_NEAR(m.jacobian[row][col], derivative, 2e-3 + 1e-4 * std::fabs(derivative))
                    << "row " << row << " column " << col;
            }
        }
    }

    // Node 5 hangs on the base node alone: its rows are its own block only,
    // and no other row has a column of it.
    for (int c = 1; c <= N; ++c) {
        if (c == 9 || c == 10)
            continue;
        EXPECT_EQ(m.jacobian[9][c], 0.0f) << c;
        EXPECT_EQ(m.jacobian[10][c], 0.0f) << c;
        EXPECT_EQ(m.jacobian[c][9], 0.0f) << c;
        EXPECT_EQ(m.jacobian[c][10], 0.0f) << c;
    }
    // The voltage row of the generator node couples to nothing.
    for (int c = 1; c <= N; ++c) {
        if (c != 5 && c != 6) {
            EXPECT_EQ(m.jacobian[5][c], 0.0f) << c;
        }
    }
    EXPECT_FLOAT_EQ(m.jacobian[5][5], 2 * 111.0f / 112.0f);
    EXPECT_FLOAT_EQ(m.jacobian[5][6], 2 * -3.1f / 112.0f);

    // The two parallel branches between nodes 2 and 3 add their terms.
    const float g = m.seriesG[3], b = m.seriesB[3];
    const float e = m.voltageRe[2], f = m.voltageIm[2];
    EXPECT_FLOAT_EQ(m.jacobian[4][5], 2 * (-(g * e + b * f)));
    EXPECT_FLOAT_EQ(m.jacobian[3][6], 2 * (g * e + b * f));
}

TEST(SolveAndUpdate, SolvesTheTwoByTwoSystemOfOneNode)
{
    HandNetwork net = oneNode();
    setSystem(*net, {{4, 1}, {2, 3}}, {1, 2});
    ASSERT_TRUE(tarvel::solveAndUpdate(*net));
    // x = (0.1, 0.6); the last unknown is mismatch[2] / J[2][2] after elimination.
    EXPECT_FLOAT_EQ(net->jacobian[2][2], 2.5f);
    EXPECT_FLOAT_EQ(net->voltageRe[1], 10.1f);
    EXPECT_FLOAT_EQ(net->voltageIm[1], 0.6f);
    EXPECT_FLOAT_EQ(net->voltageRe[0], 10.0f);  // the base node stays
}

TEST(SolveAndUpdate, FloorsSmallPivotsSkipsSmallEntriesAndKeepsTheLastPivot)
{
    {
        // A pivot of -1e-9 becomes +1e-7, whatever its sign.
        HandNetwork net = oneNode();
        setSystem(*net, {{-1e-9f, 0}, {0, 1}}, {3e-7f, 5});
        ASSERT_TRUE(tarvel::solveAndUpdate(*net));
        EXPECT_NEAR(net->voltageRe[1], 13.0f, 1e-5);
        EXPECT_FLOAT_EQ(net->voltageIm[1], 5.0f);
        EXPECT_EQ(net->jacobian[1][1], -1e-9f);
    }
    {
        // An entry of 5e-8 counts as zero: neither divided nor used.
        HandNetwork net = oneNode();
        setSystem(*net, {{2, 5e-8f}, {0, 4}}, {2, 4e8f});
        ASSERT_TRUE(tarvel::solveAndUpdate(*net));
        EXPECT_FLOAT_EQ(net->voltageRe[1], 11.0f);
        EXPECT_FLOAT_EQ(net->voltageIm[1], 1e8f);
        EXPECT_EQ(net->jacobian[1][2], 5e-8f);
    }
    {
        // The last pivot has no floor: 1e-9 is used as it is.
        HandNetwork net = oneNode();
        setSystem(*net, {{1, 0}, {0, 1e-9f}}, {0, 1e-9f});
        ASSERT_TRUE(tarvel::solveAndUpdate(*net));
        EXPECT_FLOAT_EQ(net->voltageIm[1], 1.0f);
    }
    {
        // A multiplier of 5e-8 leaves its row alone, right-hand side included
        // (else the second unknown would come out 2.95).
        HandNetwork net = oneNode();
        setSystem(*net, {{1, 1}, {5e-8f, 1}}, {1e6f, 3});
        ASSERT_TRUE(tarvel::solveAndUpdate(*net));
        EXPECT_EQ(net->voltageIm[1], 3.0f);
        EXPECT_EQ(net->voltageRe[1], 10.0f + 999997.0f);
    }
    {
        // 2e-7 is divided by its pivot 4; the 5e-8 it becomes is then zero
        // for the row update and the back substitution alike.
        HandNetwork net = oneNode();
        setSystem(*net, {{4, 2e-7f}, {1, 1}}, {4, 10000001.0f});
        ASSERT_TRUE(tarvel::solveAndUpdate(*net));
        EXPECT_EQ(net->jacobian[1][2], 5e-8f);
        EXPECT_EQ(net->jacobian[2][2], 1.0f);
        EXPECT_EQ(net->voltageIm[1], 1e7f);
        EXPECT_EQ(net->voltageRe[1], 11.0f);
    }
}

TEST(SolveAndUpdate, RefusesASingularOrBrokenSystemAndKeepsTheVoltages)
{
    for (float broken : {1.0f, NAN, INFINITY}) {
        HandNetwork net = oneNode();
        net->voltageIm[1] = -0.5f;
        // Equal rows leave a last pivot of exactly zero; NaN and infinity
        // poison it.
        setSystem(*net, {{1, 1}, {1, broken}}, {1, 2});
        EXPECT_FALSE(tarvel::solveAndUpdate(*net)) << broken;
        EXPECT_EQ(net->voltageRe[1], 10.0f);
        EXPECT_EQ(net->voltageIm[1], -0.5f);
    }
}

TEST(SolveAndUpdate, AgreesWithADoublePrecisionSolutionOnALargerSystem)
{
    HandNetwork net(10.0f);
    for (int k = 0; k < 4; ++k)
        net.node(k + 2, 10.0f);
    tarvel::initVoltages(*net);
    const int N = 8;
    double a[N + 1][N + 1] = {};
    double rhs[N + 1] = {};
    for (int r = 1; r <= N; ++r) {
        for (int c = 1; c <= N; ++c) {
            // Diagonally dominant, with some zero entries as in a network.
            const double v = ((r * 7 + c * 3) % 5 == 0) ? 0.0 : std::sin(r * 1.7 + c * 0.9);
            a[r][c] = r == c ? 6.0 + r : v;
            net->jacobian[r][c] = static_cast<float>(a[r][c]);
        }
        rhs[r] = std::cos(r * 0.7) * 3.0;
        net->mismatch[r] = static_cast<float>(rhs[r]);
    }
    ASSERT_TRUE(tarvel::solveAndUpdate(*net));

    // Gaussian elimination in double for comparison.
    for (int i = 1; i <= N; ++i)
        for (int k = i + 1; k <= N; ++k) {
            const double factor = a[k][i] / a[i][i];
            for (int j = i; j <= N; ++j)
                a[k][j] -= factor * a[i][j];
            rhs[k] -= factor * rhs[i];
        }
    double x[N + 1];
    for (int i = N; i >= 1; --i) {
        double s = rhs[i];
        for (int j = i + 1; j <= N; ++j)
            s -= a[i][j] * x[j];
        x[i] = s / a[i][i];
    }
    for (int k = 1; k <= 4; ++k) {
        EXPECT_NEAR(net->voltageRe[k], 10.0 + x[2 * k - 1], 1e-5) << k;
        EXPECT_NEAR(net->voltageIm[k], x[2 * k], 1e-5) << k;
    }
}

TEST(Newton, ConvergesQuadraticallyToAPhysicalSolution)
{
    HandNetwork net = meshedNetwork();
    tarvel::NetworkModel& m = *net;
    tarvel::initVoltages(m);
    tarvel::formAdmittances(m);
    std::vector<float> residuals{tarvel::computeResidual(m)};
    while (residuals.back() > 1e-5f && residuals.size() < 12) {
        tarvel::formJacobian(m);
        ASSERT_TRUE(tarvel::solveAndUpdate(m));
        residuals.push_back(tarvel::computeResidual(m));
    }
    ASSERT_LE(residuals.size(), 6u) << "residual " << residuals.back();
    EXPECT_LT(residuals[2], 0.01f * residuals[1]);

    EXPECT_EQ(m.voltageRe[0], 118.0f);
    EXPECT_EQ(m.voltageIm[0], 0.0f);
    double losses = 0;
    for (int k = 0; k <= m.nodeCount; ++k) {
        losses += m.calcP[k];
        if (k == 0)
            continue;
        EXPECT_NEAR(m.calcP[k], -m.nodeLoadP[k], 1e-3 + 1e-4 * std::fabs(m.nodeLoadP[k])) << k;
        if (m.nodeType[k] == 1) {
            EXPECT_NEAR(m.calcQ[k], -m.nodeLoadQ[k], 1e-3 + 1e-4 * std::fabs(m.nodeLoadQ[k])) << k;
        } else {
            EXPECT_NEAR(std::hypot(m.voltageRe[k], m.voltageIm[k]), m.nodeUnom[k], 1e-3) << k;
        }
    }
    // The base node covers the loads and the losses of the branches.
    EXPECT_GT(losses, 0.1);
    EXPECT_LT(losses, 5.0);
    EXPECT_NEAR(m.voltageRe[4], 10.0, 0.6);  // the transformer brings 110 kV down to about 10.5 kV
}
