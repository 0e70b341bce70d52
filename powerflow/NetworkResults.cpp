#include "powerflow/NetworkResults.h"

#include <algorithm>
#include <cmath>

#include "powerflow/BranchFlows.h"
#include "powerflow/DistrictAnalysis.h"

namespace tarvel {

namespace {

NodeResult nodeResult(const NetworkModel& model, int k)
{
    NodeResult r;
    const double e = model.voltageRe[k];
    const double f = model.voltageIm[k];
    const double u2 = e * e + f * f;
    r.number = model.nodeNumber[k];
    r.type = model.nodeType[k];
    r.district = districtOf(r.number);
    r.unom = model.nodeUnom[k];
    r.u = std::sqrt(u2);
    r.angle = (e == 0 && f == 0) ? 0.0 : std::atan2(f, e) * 180.0 / M_PI;
    r.deviation = r.unom != 0 ? 100.0 * (r.u - r.unom) / r.unom : 0.0;
    r.p = -static_cast<double>(model.calcP[k]);
    r.q = -static_cast<double>(model.calcQ[k]);
    r.pg = u2 * model.nodeShuntG[k];
    r.qb = -u2 * model.nodeShuntB[k];
    return r;
}

std::vector<DistrictResult> districtResults(const DistrictAccumulators& acc, const NetworkModel& model)
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

}  // namespace

NetworkResults collectResults(const NetworkModel& model)
{
    const int n = std::clamp(model.nodeCount, 0, kNodeSlots - 1);
    const int m = std::clamp(model.branchCount, 0, kBranchSlots - 1);
    NetworkResults results;
    DistrictAccumulators districts;
    results.nodes.reserve(n + 1);
    for (int k = 0; k <= n; ++k)
        results.nodes.push_back(nodeResult(model, k));
    for (int i = 1; i <= m; ++i) {
        const int s = model.branchStartIndex[i];
        const int t = model.branchEndIndex[i];
        if (s < 0 || s > n || t < 0 || t > n)
            continue;
        const BranchFlow f = branchFlows(model, i);
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
    return results;
}

}  // namespace tarvel
