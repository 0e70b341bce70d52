#include "powerflow/Reports.h"

#include <algorithm>
#include <cmath>

#include "model/TextFile.h"
#include "powerflow/BranchFlows.h"
#include "powerflow/DistrictAnalysis.h"

namespace tarvel {

std::string reportFileMessage(const std::string& firstSentence)
{
    return firstSentence + " Проверте не ограничены ли ваши права, или имеется ли свободное" +
           " место в директории программы." + "\n" + "Попробуйте перезапустить расчет потокораспределения";
}

namespace {

// Voltage angle in degrees, the principal value of arctan(f/e). A node at
// zero voltage (0/0) has angle 0 rather than "nan".
double voltageAngle(float e, float f)
{
    if (e == 0.0f && f == 0.0f)
        return 0.0;
    return std::atan(static_cast<double>(f / e)) * 57.295779515;
}

// Writes the node section, the balance line and the branch heading.
void writeNodeSection(const NetworkModel& model, int n, TextFileWriter& rez)
{
    rez << "\t          Результаты расчета по узлам";
    rez.endLine();
    rez << "    N        V         dV         P         Q" << "        Pg       Qb";
    rez.endLine();

    float sumP = 0, sumQ = 0, sumPg = 0, sumQb = 0;
    for (int k = 0; k <= n; ++k) {
        const float e = model.voltageRe[k];
        const float f = model.voltageIm[k];
        const float u2 = e * e + f * f;
        const float pg = u2 * model.nodeShuntG[k];
        const float qb = -u2 * model.nodeShuntB[k];
        rez << formatInt(model.nodeNumber[k], 5) << formatFixed(std::sqrt(static_cast<double>(u2)), 10, 2)
            << formatFixed(voltageAngle(e, f), 10, 2) << formatFixed(-model.calcP[k], 10, 2)
            << formatFixed(-model.calcQ[k], 10, 2) << formatFixed(pg, 10, 2) << formatFixed(qb, 10, 2);
        rez.endLine();
        sumP += model.calcP[k];
        sumQ += model.calcQ[k];
        sumPg += pg;
        sumQb += qb;
    }

    rez << "---------------------------------------------------";
    rez.endLine();
    rez << "Баланс пассивных элементов " << formatFixed(sumP, 10, 2) << formatFixed(sumQ, 10, 2)
        << formatFixed(sumPg, 10, 2) << formatFixed(sumQb, 10, 2);
    rez.endLine();
    rez << "                         + потребление, - генерация ";
    rez.endLine();
    rez << " ";
    rez.endLine();
    rez << "                   Результаты расчета по ветвям";
    rez.endLine();
    rez << "   N1   N1       P12       Q12       P21       Q21       dP";
    rez.endLine();
}

// True when the branch's end indices name nodes of the network.
bool endsInside(const NetworkModel& model, int i, int n)
{
    const int s = model.branchStartIndex[i];
    const int t = model.branchEndIndex[i];
    return s >= 0 && s <= n && t >= 0 && t <= n;
}

}  // namespace

void writeReports(NetworkModel& model, const std::filesystem::path& workDir, MessageSink& sink)
{
    // The counts come from the reader, which keeps them within the tables;
    // they are clamped here all the same so that no report reads past them.
    const int n = std::clamp(model.nodeCount, 0, kNodeSlots - 1);
    const int m = std::clamp(model.branchCount, 0, kBranchSlots - 1);

    DistrictAccumulators districts;
    districts.clear();

    TextFileWriter rez;
    if (!rez.open(workDir / "network.rez")) {
        sink.showMessage(reportFileMessage("Невозможно открыть файл для хранения результатов."));
        return;
    }
    TextFileWriter rip;
    if (!rip.open(workDir / "network.rip")) {
        sink.showMessage(reportFileMessage("Невозможно открыть файл network.rip."));
        rez.close();
        return;
    }

    writeNodeSection(model, n, rez);

    TextFileWriter tok;
    if (!tok.open(workDir / "network.tok")) {
        sink.showMessage(reportFileMessage("Невозможно открыть файл network.tok."));
        rez.close();
        rip.close();
        return;
    }

    float totalBranchLoss = 0;
    for (int i = 1; i <= m; ++i) {
        if (!endsInside(model, i, n))
            continue;
        const BranchFlow f = branchFlows(model, i);
        const int s = model.branchStartIndex[i];
        const int t = model.branchEndIndex[i];

        tok << formatInt(s, 5) << formatInt(t, 5) << formatFixed(f.i12Re, 10, 4) << formatFixed(f.i12Im, 10, 4)
            << formatFixed(model.branchResistance[i], 15, 3);
        tok.endLine();

        rez << formatInt(model.nodeNumber[s], 5) << formatInt(model.nodeNumber[t], 5) << formatFixed(-f.p12, 10, 2)
            << formatFixed(-f.q12, 10, 2) << formatFixed(f.p21, 10, 2) << formatFixed(f.q21, 10, 2)
            << formatFixed(f.dP, 10, 2);
        rez.endLine();

        totalBranchLoss = static_cast<float>(totalBranchLoss + f.dP);
        accumulateBranch(districts, model, i, f);
    }

    writeDistrictReport(districts, model, rip);

    rez << formatFixed(totalBranchLoss, 60, 2);
    rez.endLine();
    rez.close();
    tok.close();
}

}  // namespace tarvel
