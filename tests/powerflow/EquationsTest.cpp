#include <complex>

#include <gtest/gtest.h>

#include "powerflow/Equations.h"
#include "tests/powerflow/SolverTestNetworks.h"

using tarvel::test::HandNetwork;
using cd = std::complex<double>;

namespace {

cd voltage(const tarvel::NetworkModel& m, int k)
{
    return {m.voltageRe[k], m.voltageIm[k]};
}

cd seriesY(const tarvel::NetworkModel& m, int i)
{
    return 1.0 / cd(m.branchResistance[i], m.branchReactance[i]);
}

}  // namespace

TEST(Equations, LinesOnlyGiveTheSameBranchTermAtBothEndsAndOnlyChargingAtFlatStart)
{
    HandNetwork net(110.0f);
    const int a = net.node(2, 110.0f, 10.0f, 5.0f);
    const int b = net.node(3, 110.0f, 4.0f, 1.0f);
    net.branch(0, a, 5.0f, 20.0f, 1e-4f);
    net.branch(a, b, 2.0f, 8.0f, 2e-4f);
    net->nodeShuntB[b] = -3e-4f;  // a reactor

    tarvel::initVoltages(*net);
    tarvel::formAdmittances(*net);

    const cd y1 = seriesY(*net, 1), y2 = seriesY(*net, 2);
    EXPECT_NEAR(net->seriesG[1], y1.real(), 1e-7);
    EXPECT_NEAR(net->seriesB[1], y1.imag(), 1e-7);
    EXPECT_NEAR(net->selfG[0], y1.real(), 1e-7);
    EXPECT_NEAR(net->selfB[0], y1.imag() + 0.5e-4, 1e-7);
    EXPECT_NEAR(net->selfG[a], y1.real() + y2.real(), 1e-7);
    EXPECT_NEAR(net->selfB[a], y1.imag() + 0.5e-4 + y2.imag() + 1e-4, 1e-7);
    EXPECT_NEAR(net->selfB[b], -3e-4 + y2.imag() + 1e-4, 1e-7);

    // Every node at 110 kV, angle 0: the series elements carry nothing, only
    // the charging and the reactor draw reactive power.
    tarvel::computeInjections(*net);
    for (int k = 0; k <= 2; ++k) {
        EXPECT_FLOAT_EQ(net->voltageRe[k], 110.0f);
        EXPECT_EQ(net->voltageIm[k], 0.0f);
        EXPECT_NEAR(net->calcP[k], 0.0, 1e-4) << k;
    }
    EXPECT_NEAR(net->calcQ[0], -12100 * 0.5e-4, 1e-4);
    EXPECT_NEAR(net->calcQ[a], -12100 * 1.5e-4, 1e-4);
    EXPECT_NEAR(net->calcQ[b], -12100 * (1e-4 - 3e-4), 1e-4);
}

TEST(Equations, NodePowersAddUpToWhatTheBranchesAndShuntsTake)
{
    // Lines, a transformer 110/10.5 and shunts, at voltages that are no solution.
    HandNetwork net(115.0f);
    const int a = net.node(2, 110.0f);
    const int b = net.node(3, 110.0f);
    const int c = net.node(4, 10.5f);
    net.branch(0, a, 4.0f, 18.0f, 1.2e-4f);
    net.branch(a, b, 7.5f, 25.0f, 0.8e-4f);
    net.branch(b, 0, 3.0f, 30.0f);
    net.branch(b, c, 1.0f, 40.0f, 0.0f, 10.5f);
    net->nodeShuntB[a] = 2e-4f;
    net->nodeShuntG[c] = 1e-3f;

    tarvel::initVoltages(*net);
    tarvel::formAdmittances(*net);
    const float re[] = {115.0f, 108.0f, 104.5f, 9.8f};
    const float im[] = {0.0f, -3.0f, -6.5f, -1.2f};
    for (int k = 0; k <= 3; ++k) {
        net->voltageRe[k] = re[k];
        net->voltageIm[k] = im[k];
    }
    tarvel::computeInjections(*net);

    cd taken = 0;
    for (int i = 1; i <= net->branchCount; ++i) {
        const int s = net->branchStartIndex[i], t = net->branchEndIndex[i];
        const cd us = voltage(*net, s), ut = voltage(*net, t);
        const cd du = us / static_cast<double>(net->branchRatio[i]) - ut;
        const cd halfShunt(0.0, 0.5 * net->branchSusceptance[i]);
        taken += std::conj(seriesY(*net, i)) * std::norm(du) + std::conj(halfShunt) * (std::norm(us) + std::norm(ut));
    }
    for (int k = 0; k <= 3; ++k)
        taken += std::conj(cd(net->nodeShuntG[k], net->nodeShuntB[k])) * std::norm(voltage(*net, k));

    double sumP = 0, sumQ = 0;
    for (int k = 0; k <= 3; ++k) {
        sumP += net->calcP[k];
        sumQ += net->calcQ[k];
        // S = U conj(I) at every node.
        const cd s = voltage(*net, k) * std::conj(cd(net->currentRe[k], net->currentIm[k]));
        EXPECT_NEAR(net->calcP[k], s.real(), 1e-3 * (1 + std::abs(s)));
        EXPECT_NEAR(net->calcQ[k], s.imag(), 1e-3 * (1 + std::abs(s)));
    }
    EXPECT_NEAR(sumP, taken.real(), 0.02);
    EXPECT_NEAR(sumQ, taken.imag(), 0.02);
    EXPECT_GT(taken.real(), 1.0);  // the case does exercise the losses
}

TEST(Equations, TransformerSeesKSquaredAtItsFirstEndAndKInTheMutualTerm)
{
    HandNetwork net(110.0f);
    const int s = net.node(2, 110.0f);
    const int t = net.node(3, 10.5f);
    net.branch(0, s, 2.0f, 10.0f);
    const int tr = net.branch(s, t, 0.5f, 12.0f, 0.0f, 10.5f);

    tarvel::initVoltages(*net);
    tarvel::formAdmittances(*net);
    const float g = net->seriesG[tr], b = net->seriesB[tr];
    EXPECT_FLOAT_EQ(net->selfG[s], net->seriesG[1] + g / 110.25f);
    EXPECT_FLOAT_EQ(net->selfB[s], net->seriesB[1] + b / 110.25f);
    EXPECT_FLOAT_EQ(net->selfG[t], g);
    EXPECT_FLOAT_EQ(net->selfB[t], b);

    net->voltageIm[s] = -2.0f;
    net->voltageRe[t] = 10.2f;
    net->voltageIm[t] = -0.7f;
    tarvel::computeInjections(*net);
    const cd y(g, b), us = voltage(*net, s), ut = voltage(*net, t), u0 = voltage(*net, 0);
    const cd is = cd(net->selfG[s], net->selfB[s]) * us - cd(net->seriesG[1], net->seriesB[1]) * u0 - y * ut / 10.5;
    const cd it = y * ut - y * us / 10.5;
    EXPECT_NEAR(net->currentRe[s], is.real(), 1e-5);
    EXPECT_NEAR(net->currentIm[s], is.imag(), 1e-5);
    EXPECT_NEAR(net->currentRe[t], it.real(), 1e-5);
    EXPECT_NEAR(net->currentIm[t], it.imag(), 1e-5);
    // At the ratio's own voltages (110/10.5) the transformer carries no current.
    net->voltageRe[s] = 110.0f;
    net->voltageIm[s] = 0.0f;
    net->voltageRe[t] = 110.0f / 10.5f;
    net->voltageIm[t] = 0.0f;
    tarvel::computeInjections(*net);
    EXPECT_NEAR(net->currentRe[t], 0.0, 1e-6);
    EXPECT_NEAR(net->currentIm[t], 0.0, 1e-6);
}

TEST(Equations, ParallelLinesActAsOneWithTheSummedAdmittance)
{
    auto build = [](bool parallel) {
        HandNetwork net(110.0f);
        const int a = net.node(2, 110.0f);
        const int b = net.node(3, 110.0f);
        net.branch(0, a, 3.0f, 15.0f);
        if (parallel) {
            net.branch(a, b, 6.0f, 24.0f, 1e-4f);
            net.branch(a, b, 6.0f, 24.0f, 1e-4f);
        } else {
            net.branch(a, b, 3.0f, 12.0f, 2e-4f);
        }
        tarvel::initVoltages(*net);
        tarvel::formAdmittances(*net);
        net->voltageRe[a] = 106.0f;
        net->voltageIm[a] = -4.0f;
        net->voltageRe[b] = 101.0f;
        net->voltageIm[b] = -7.5f;
        tarvel::computeInjections(*net);
        return net;
    };
    HandNetwork two = build(true), one = build(false);
    for (int k = 0; k <= 2; ++k) {
        EXPECT_FLOAT_EQ(two->selfG[k], one->selfG[k]) << k;
        EXPECT_FLOAT_EQ(two->selfB[k], one->selfB[k]) << k;
        EXPECT_NEAR(two->currentRe[k], one->currentRe[k], 1e-5) << k;
        EXPECT_NEAR(two->currentIm[k], one->currentIm[k], 1e-5) << k;
        EXPECT_NEAR(two->calcP[k], one->calcP[k], 1e-3) << k;
        EXPECT_NEAR(two->calcQ[k], one->calcQ[k], 1e-3) << k;
    }
}

TEST(Equations, PureReactanceAndNodeShuntStartTheSelfAdmittance)
{
    HandNetwork net(110.0f);
    const int a = net.node(2, 110.0f);
    net.branch(0, a, 0.0f, 20.0f);
    net->nodeShuntG[a] = 2e-5f;
    net->nodeShuntB[a] = -1e-4f;
    // Stale values of an earlier run must not leak in.
    net->selfG[a] = 99.0f;
    net->selfB[a] = 99.0f;

    tarvel::formAdmittances(*net);
    EXPECT_EQ(net->seriesG[1], 0.0f);
    EXPECT_FLOAT_EQ(net->seriesB[1], -1.0f / 20.0f);
    EXPECT_FLOAT_EQ(net->selfG[a], 2e-5f);
    EXPECT_FLOAT_EQ(net->selfB[a], -1e-4f - 0.05f);
    EXPECT_FLOAT_EQ(net->selfB[0], -0.05f);
}
