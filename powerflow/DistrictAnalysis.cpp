#include "powerflow/DistrictAnalysis.h"

namespace tarvel {

const std::array<int, kVoltageClasses> voltageClassLabel = {6, 10, 20, 35, 110, 220, 330, 500, 750, 1150};

int voltageClassOf(float unom)
{
    // Upper bounds of classes 0..8; everything above 900 kV is class 9.
    static constexpr std::array<double, kVoltageClasses - 1> upper = {8, 15, 28, 70, 140, 270, 430, 600, 900};
    const double u = unom;
    for (int v = 0; v < kVoltageClasses - 1; ++v)
        if (u <= upper[v])
            return v;
    return kVoltageClasses - 1;
}

bool isTransformer(float ratio)
{
    const double r = ratio;
    return r - 1.0 >= 0.001 || r - 1.0 <= -0.001;
}

namespace {

bool validDistrict(int d)
{
    return d >= 0 && d < kDistricts;
}

}  // namespace

template <typename Real>
void accumulateBranch(DistrictAccumulatorsOf<Real>& acc, const NetworkModel& model, int i,
                      const BranchFlowOf<Real>& f)
{
    const int s = model.branchStartIndex[i];
    const int t = model.branchEndIndex[i];
    const int d1 = districtOf(model.nodeNumber[s]);
    const int d2 = districtOf(model.nodeNumber[t]);

    if (d1 == d2) {
        if (!validDistrict(d1))
            return;
        acc.districtBranchCount[d1] += 1;
        acc.districtLoss[d1] = static_cast<Real>(acc.districtLoss[d1] + f.dP);
        if (isTransformer(model.branchRatio[i])) {
            acc.transformerLoss[d1] += static_cast<Real>(f.dP);
            acc.transformerCount[d1] += 1;
        } else {
            const int v = voltageClassOf(model.nodeUnom[s]);
            acc.lineLossByClass[d1][v] = static_cast<Real>(acc.lineLossByClass[d1][v] + f.dP);
            acc.lineCountByClass[d1][v] += 1;
        }
        return;
    }

    if (validDistrict(d1)) {
        acc.saldoP[d1] += -f.p12;
        acc.saldoQ[d1] += -f.q12;
    }
    if (validDistrict(d2)) {
        acc.saldoP[d2] += f.p21;
        acc.saldoQ[d2] += f.q21;
    }
}

template <typename Real>
void writeDistrictReport(const DistrictAccumulatorsOf<Real>& acc, const NetworkModel& model, TextFileWriter& rip)
{
    for (int d = 0; d < kDistricts; ++d) {
        if (acc.districtBranchCount[d] == 0)
            continue;
        rip << "Район  № " << formatInt(d, 5);
        rip.endLine();
        for (int v = 0; v < kVoltageClasses; ++v) {
            if (acc.lineCountByClass[d][v] == 0)
                continue;
            rip << " Потери в линиях";
            rip.endLine();
            rip << formatInt(voltageClassLabel[v], 5) << " кВ" << formatFixed(acc.lineLossByClass[d][v], 15, 3);
            rip.endLine();
        }
        if (acc.transformerCount[d] != 0) {
            rip << " Потери в трансформаторах текущего района  " << formatFixed(acc.transformerLoss[d], 10, 3);
            rip.endLine();
        }
    }

    rip.endLine();
    rip << "№ района   " << "       Сальдо P   " << "        Сальдо Q  " << "     Сумм. потери в районе";
    rip.endLine();
    Real total = 0;
    for (int d = 0; d < kDistricts; ++d) {
        if (model.districtNodeCount[d] == 0)
            continue;
        rip << formatInt(d, 5) << formatFixed(acc.saldoP[d], 20, 2) << formatFixed(acc.saldoQ[d], 20, 2)
            << formatFixed(acc.districtLoss[d], 20, 2);
        rip.endLine();
        total += acc.districtLoss[d];
    }
    rip << " Суммарные потери в сетях районов " << formatFixed(total, 25, 2);
    rip.endLine();
    rip.close();
}

template void accumulateBranch(DistrictAccumulatorsOf<float>&, const NetworkModel&, int, const BranchFlowOf<float>&);
template void accumulateBranch(DistrictAccumulatorsOf<double>&, const NetworkModel&, int, const BranchFlowOf<double>&);
template void writeDistrictReport(const DistrictAccumulatorsOf<float>&, const NetworkModel&, TextFileWriter&);
template void writeDistrictReport(const DistrictAccumulatorsOf<double>&, const NetworkModel&, TextFileWriter&);

}  // namespace tarvel
