#include "powerflow/Equations.h"

namespace tarvel {

void initVoltages(NetworkModel& model)
{
    const int n = model.nodeCount;
    for (int k = 0; k <= n; ++k) {
        model.voltageRe[k] = model.nodeUnom[k];
        model.voltageIm[k] = 0.0f;
    }
}

void formAdmittances(NetworkModel& model)
{
    const int n = model.nodeCount;
    const int m = model.branchCount;

    for (int i = 1; i <= m; ++i) {
        const float r = model.branchResistance[i];
        const float x = model.branchReactance[i];
        const float d = r * r + x * x;
        model.seriesG[i] = r / d;
        model.seriesB[i] = -x / d;
    }

    // The node's own shunt to ground is where its self admittance starts.
    for (int k = 0; k <= n; ++k) {
        model.selfG[k] = model.nodeShuntG[k];
        model.selfB[k] = model.nodeShuntB[k];
    }

    // The ideal transformer sits at the first end: the series admittance is
    // divided by K^2 there; the branch shunt is split in two plain halves.
    for (int i = 1; i <= m; ++i) {
        const int s = model.branchStartIndex[i];
        const int t = model.branchEndIndex[i];
        const float K = model.branchRatio[i];
        const float K2 = K * K;
        model.selfG[s] += model.seriesG[i] / K2 + 0.5f * model.branchConductance[i];
        model.selfB[s] += model.seriesB[i] / K2 + 0.5f * model.branchSusceptance[i];
        model.selfG[t] += model.seriesG[i] + 0.5f * model.branchConductance[i];
        model.selfB[t] += model.seriesB[i] + 0.5f * model.branchSusceptance[i];
    }
}

void computeInjections(NetworkModel& model)
{
    const int n = model.nodeCount;
    const int m = model.branchCount;
    auto& e = model.voltageRe;
    auto& f = model.voltageIm;
    auto& Ir = model.currentRe;
    auto& Ii = model.currentIm;

    for (int k = 0; k <= n; ++k) {
        Ir[k] = model.selfG[k] * e[k] - model.selfB[k] * f[k];
        Ii[k] = model.selfG[k] * f[k] + model.selfB[k] * e[k];
    }

    // Mutual terms -y/K between the two ends of every branch.
    for (int i = 1; i <= m; ++i) {
        const int s = model.branchStartIndex[i];
        const int t = model.branchEndIndex[i];
        const float K = model.branchRatio[i];
        const float g = model.seriesG[i];
        const float b = model.seriesB[i];
        Ir[s] -= (g * e[t] - b * f[t]) / K;
        Ii[s] -= (g * f[t] + b * e[t]) / K;
        Ir[t] -= (g * e[s] - b * f[s]) / K;
        Ii[t] -= (g * f[s] + b * e[s]) / K;
    }

    for (int k = 0; k <= n; ++k) {
        model.calcP[k] = e[k] * Ir[k] + f[k] * Ii[k];
        model.calcQ[k] = f[k] * Ir[k] - e[k] * Ii[k];
    }
}

}  // namespace tarvel
