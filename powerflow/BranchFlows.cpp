#include "powerflow/BranchFlows.h"

#include <cmath>

namespace tarvel {

BranchFlow branchFlows(const NetworkModel& model, int i)
{
    const int s = model.branchStartIndex[i];
    const int t = model.branchEndIndex[i];
    const float K = model.branchRatio[i];
    const float g = model.seriesG[i];
    const float b = model.seriesB[i];
    const float gsh = model.branchConductance[i];
    const float bsh = model.branchSusceptance[i];
    const float es = model.voltageRe[s], fs = model.voltageIm[s];
    const float et = model.voltageRe[t], ft = model.voltageIm[t];

    // y*Us and y*Ut, each part rounded to single precision as stored.
    const float yUsRe = g * es - b * fs;
    const float yUsIm = g * fs + b * es;
    const float yUtRe = g * et - b * ft;
    const float yUtIm = g * ft + b * et;

    BranchFlow f;
    f.i12Re = yUsRe / K / K - yUtRe / K;
    f.i12Im = yUsIm / K / K - yUtIm / K;
    f.i21Re = yUsRe / K - yUtRe;
    f.i21Im = yUsIm / K - yUtIm;

    const float us2 = es * es + fs * fs;
    const float ut2 = et * et + ft * ft;
    const float halfG = 0.5f * gsh;
    const float halfB = 0.5f * bsh;
    f.p12 = es * f.i12Re + fs * f.i12Im + halfG * us2;
    f.q12 = fs * f.i12Re - es * f.i12Im - halfB * us2;
    f.p21 = et * f.i21Re + ft * f.i21Im - halfG * ut2;
    f.q21 = ft * f.i21Re - et * f.i21Im + halfB * ut2;
    f.dP = std::fabs(static_cast<double>(f.p21) - static_cast<double>(f.p12));
    return f;
}

}  // namespace tarvel
