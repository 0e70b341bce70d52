#include "powerflow/BranchFlows.h"

#include <cmath>

namespace tarvel {

FlowState<float> singleState(const NetworkModel& model)
{
    return {model.voltageRe.data(), model.voltageIm.data(), model.calcP.data(),
            model.calcQ.data(),     model.seriesG.data(),   model.seriesB.data()};
}

FlowState<double> doubleState(const NetworkModel& model)
{
    const DoubleSolution& x = model.exact;
    return {x.voltageRe.data(), x.voltageIm.data(), x.calcP.data(), x.calcQ.data(), x.seriesG.data(), x.seriesB.data()};
}

template <typename Real>
BranchFlowOf<Real> branchFlowsOf(const NetworkModel& model, const FlowState<Real>& state, int i)
{
    const int s = model.branchStartIndex[i];
    const int t = model.branchEndIndex[i];
    const Real K = model.branchRatio[i];
    const Real g = state.seriesG[i];
    const Real b = state.seriesB[i];
    const Real gsh = model.branchConductance[i];
    const Real bsh = model.branchSusceptance[i];
    const Real es = state.voltageRe[s], fs = state.voltageIm[s];
    const Real et = state.voltageRe[t], ft = state.voltageIm[t];

    // y*Us and y*Ut, each part rounded to the working precision as stored.
    const Real yUsRe = g * es - b * fs;
    const Real yUsIm = g * fs + b * es;
    const Real yUtRe = g * et - b * ft;
    const Real yUtIm = g * ft + b * et;

    BranchFlowOf<Real> f;
    f.i12Re = yUsRe / K / K - yUtRe / K;
    f.i12Im = yUsIm / K / K - yUtIm / K;
    f.i21Re = yUsRe / K - yUtRe;
    f.i21Im = yUsIm / K - yUtIm;

    const Real us2 = es * es + fs * fs;
    const Real ut2 = et * et + ft * ft;
    const Real halfG = Real(0.5) * gsh;
    const Real halfB = Real(0.5) * bsh;
    f.p12 = es * f.i12Re + fs * f.i12Im + halfG * us2;
    f.q12 = fs * f.i12Re - es * f.i12Im - halfB * us2;
    f.p21 = et * f.i21Re + ft * f.i21Im - halfG * ut2;
    f.q21 = ft * f.i21Re - et * f.i21Im + halfB * ut2;
    f.dP = std::fabs(static_cast<double>(f.p21) - static_cast<double>(f.p12));
    return f;
}

template BranchFlowOf<float> branchFlowsOf(const NetworkModel&, const FlowState<float>&, int);
template BranchFlowOf<double> branchFlowsOf(const NetworkModel&, const FlowState<double>&, int);

BranchFlow branchFlows(const NetworkModel& model, int i)
{
    return branchFlowsOf(model, singleState(model), i);
}

}  // namespace tarvel
