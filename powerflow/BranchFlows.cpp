#include "powerflow/BranchFlows.h"

#include <cmath>

#include "powerflow/SparseSolver.h"

namespace tarvel {

FlowState<float> singleState(const NetworkModel& model)
{
    return {model.voltageRe.data(),         model.voltageIm.data(),      model.calcP.data(),
            model.calcQ.data(),             model.seriesG.data(),        model.seriesB.data(),
            model.nodeShuntG.data(),        model.nodeShuntB.data(),     model.branchRatio.data(),
            model.branchConductance.data(), model.branchSusceptance.data()};
}

FlowState<double> doubleState(const NetworkModel& model)
{
    const Network& n = *model.sparseNetwork;
    const Solution& x = *model.sparseSolution;
    FlowState<double> state{x.voltageRe.data(), x.voltageIm.data(), x.powerP.data(),    x.powerQ.data(),
                            n.seriesG.data(),   n.seriesB.data(),   n.shuntG.data(),    n.shuntB.data(),
                            n.ratio.data(),     n.chargingG.data(), n.chargingB.data()};
    state.shiftCos = n.shiftCos.data();
    state.shiftSin = n.shiftSin.data();
    if (n.hasTies && !x.tieP.empty()) {
        state.tie = n.tie.data();
        state.tieP = x.tieP.data();
        state.tieQ = x.tieQ.data();
    }
    return state;
}

template <typename Real>
BranchFlowOf<Real> branchFlowsOf(const NetworkModel& model, const FlowState<Real>& state, int i)
{
    const int s = model.branchStartIndex[i];
    const int t = model.branchEndIndex[i];
    const Real K = state.ratio[i];
    const Real g = state.seriesG[i];
    const Real b = state.seriesB[i];
    const Real gsh = state.chargingG[i];
    const Real bsh = state.chargingB[i];
    const Real es = state.voltageRe[s], fs = state.voltageIm[s];
    const Real et = state.voltageRe[t], ft = state.voltageIm[t];

    BranchFlowOf<Real> f;
    if (state.tie && state.tie[i]) {
        // S = U conj(I): the current from the series power at the first end.
        const Real p = static_cast<Real>(state.tieP[i]);
        const Real q = static_cast<Real>(state.tieQ[i]);
        const Real us2 = es * es + fs * fs;
        if (us2 > 0) {
            f.i12Re = (p * es + q * fs) / us2;
            f.i12Im = (p * fs - q * es) / us2;
        }
        f.i21Re = f.i12Re;
        f.i21Im = f.i12Im;
        const Real ut2 = et * et + ft * ft;
        f.p12 = p + Real(0.5) * gsh * us2;
        f.q12 = q - Real(0.5) * bsh * us2;
        f.p21 = p - Real(0.5) * gsh * ut2;
        f.q21 = q + Real(0.5) * bsh * ut2;
        f.dP = std::fabs(static_cast<double>(f.p21) - static_cast<double>(f.p12));
        return f;
    }

    // y*Us and y*Ut, each part rounded to the working precision as stored.
    const Real yUsRe = g * es - b * fs;
    const Real yUsIm = g * fs + b * es;
    Real yUtRe = g * et - b * ft;
    Real yUtIm = g * ft + b * et;

    if (state.shiftSin && state.shiftSin[i] != 0) {
        // I12 = y Us/K^2 - y Ut e^(j phi)/K, I21 = y Us e^(-j phi)/K - y Ut.
        const Real c = static_cast<Real>(state.shiftCos[i]);
        const Real sn = static_cast<Real>(state.shiftSin[i]);
        const Real rotRe = yUtRe * c - yUtIm * sn;
        const Real rotIm = yUtRe * sn + yUtIm * c;
        f.i12Re = yUsRe / K / K - rotRe / K;
        f.i12Im = yUsIm / K / K - rotIm / K;
        f.i21Re = (yUsRe * c + yUsIm * sn) / K - yUtRe;
        f.i21Im = (yUsIm * c - yUsRe * sn) / K - yUtIm;
    } else {
        f.i12Re = yUsRe / K / K - yUtRe / K;
        f.i12Im = yUsIm / K / K - yUtIm / K;
        f.i21Re = yUsRe / K - yUtRe;
        f.i21Im = yUsIm / K - yUtIm;
    }

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
