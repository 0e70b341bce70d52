#include "powerflow/NetworkResults.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

#include "powerflow/BranchFlows.h"
#include "powerflow/DistrictAnalysis.h"
#include "powerflow/Reports.h"

namespace tarvel {

namespace {

template <typename Real>
NodeResult nodeResult(const NetworkModel& model, const FlowState<Real>& state, int k)
{
    NodeResult r;
    const double e = state.voltageRe[k];
    const double f = state.voltageIm[k];
    const double u2 = e * e + f * f;
    r.number = model.nodeNumber[k];
    r.type = model.nodeType[k];
    r.district = districtOf(r.number);
    r.unom = nominalVoltage(model, k);
    r.u = std::sqrt(u2);
    r.angle = (e == 0 && f == 0) ? 0.0 : std::atan2(f, e) * 180.0 / M_PI;
    r.deviation = r.unom != 0 ? 100.0 * (r.u - r.unom) / r.unom : 0.0;
    r.p = -static_cast<double>(state.calcP[k]);
    r.q = -static_cast<double>(state.calcQ[k]);
    r.pg = u2 * state.shuntG[k];
    r.qb = -u2 * state.shuntB[k];
    return r;
}

template <typename Real>
std::vector<DistrictResult> districtResults(const DistrictAccumulatorsOf<Real>& acc, const NetworkModel& model)
{
    std::vector<DistrictResult> districts;
    for (int d = 0; d < kDistricts; ++d) {
        if (model.districtNodeCount[d] == 0)
            continue;
        DistrictResult r;
        r.district = d;
        r.nodes = model.districtNodeCount[d];
        r.innerBranches = acc.districtBranchCount[d];
        r.loss = acc.districtLoss[d];
        for (int v = 0; v < kVoltageClasses; ++v)
            if (acc.lineCountByClass[d][v] != 0)
                r.lineLosses.push_back({voltageClassLabel[v], acc.lineCountByClass[d][v], acc.lineLossByClass[d][v]});
        r.transformers = acc.transformerCount[d];
        r.transformerLoss = acc.transformerLoss[d];
        r.saldoP = acc.saldoP[d];
        r.saldoQ = acc.saldoQ[d];
        districts.push_back(std::move(r));
    }
    return districts;
}

template <typename Real>
NetworkResults collect(const NetworkModel& model, const FlowState<Real>& state)
{
    const int n = std::clamp(model.nodeCount, 0, static_cast<int>(model.nodeNumber.size()) - 1);
    const int m = std::clamp(model.branchCount, 0, static_cast<int>(model.branchStartIndex.size()) - 1);
    NetworkResults results;
    DistrictAccumulatorsOf<Real> districts;
    results.nodes.reserve(n + 1);
    for (int k = 0; k <= n; ++k)
        results.nodes.push_back(nodeResult(model, state, k));
    results.branches.reserve(m);
    for (int i = 1; i <= m; ++i) {
        if (!branchEndsInside(model, i, n))
            continue;
        const int s = model.branchStartIndex[i];
        const int t = model.branchEndIndex[i];
        const BranchFlowOf<Real> f = branchFlowsOf(model, state, i);
        BranchResult b;
        b.startNode = model.nodeNumber[s];
        b.endNode = model.nodeNumber[t];
        b.startIndex = s;
        b.endIndex = t;
        b.p12 = -static_cast<double>(f.p12);
        b.q12 = -static_cast<double>(f.q12);
        b.p21 = f.p21;
        b.q21 = f.q21;
        b.dP = f.dP;
        b.current = std::hypot(static_cast<double>(f.i12Re), static_cast<double>(f.i12Im));
        b.transformer = isTransformer(model.branchRatio[i]);
        results.branches.push_back(b);
        results.totalLoss += f.dP;
        accumulateBranch(districts, model, i, f);
    }
    results.districts = districtResults(districts, model);
    results.singlePrecision = std::is_same_v<Real, float>;
    return results;
}

}  // namespace

NetworkResults collectResults(const NetworkModel& model)
{
    return !model.solvedSparse() ? collect(model, singleState(model)) : collect(model, doubleState(model));
}

}  // namespace tarvel
