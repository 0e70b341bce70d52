#include "losses/LossReport.h"

#include "model/TextFile.h"

namespace tarvel {

namespace {

// Node number at a model position; a position outside the node table has no
// number and prints as 0.
int32_t numberAt(const NetworkModel& model, int32_t index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= model.nodeNumber.size())
        return 0;
    return model.nodeNumber[static_cast<std::size_t>(index)];
}

std::string real(float value, int width = 0)
{
    return formatFixed(value, width, 2);
}

}  // namespace

int32_t lossNodeLabel(const NetworkModel& model, int N, int j)
{
    return numberAt(model, j == N ? 0 : j);
}

int32_t lossBranchStartLabel(const NetworkModel& model, int b)
{
    return numberAt(model, model.branchStartIndex[static_cast<std::size_t>(b)]);
}

int32_t lossBranchEndLabel(const NetworkModel& model, int b)
{
    return numberAt(model, model.branchEndIndex[static_cast<std::size_t>(b)]);
}

bool writeLossReport(const std::filesystem::path& path, const NetworkModel& model, const LossTables& t,
                     int N, int M)
{
    TextFileWriter out;
    if (!out.open(path))
        return false;
    auto label = [&](int j) { return lossNodeLabel(model, N, j); };

    // Input data: the branch currents and the node driving currents.
    out << "  Разделение потерь мощности электрической сети  ";
    out.endLine();
    out << "  Входные данные для расчета ";
    out.endLine();
    out << "  Число узлов  = " << formatInt(N) << '\t' << "Число Ветвей  = " << formatInt(M);
    out.endLine();
    out << "         Токи ветвей ";
    out.endLine();
    out << " " << " Ветвь Нач.   Кон.    Ток Ak   Ток Re    R  ";
    out.endLine();
    for (int b = 1; b <= M; ++b) {
        out << formatInt(lossBranchStartLabel(model, b), 10) << formatInt(lossBranchEndLabel(model, b), 10)
            << real(t.branchIa[b], 10) << real(t.branchIr[b], 10) << real(t.branchR[b], 10);
        out.endLine();
    }
    out << "       Задающие токи узлов  ";
    out.endLine();
    out << "     Узел            ТЗа     ТЗр  ";
    out.endLine();
    for (int j = 1; j <= N; ++j) {
        out << formatInt(label(j), 10) << real(t.nodeIa[j], 10) << real(t.nodeIr[j], 10);
        out.endLine();
    }

    // Results: the components table.
    out.endLine();
    out << "              Результаты расчетов  ";
    out.endLine();
    out.endLine();
    out << "          Составляющие потерь от нагрузок узлов   ";
    out.endLine();
    out << "Ветвь    ";
    for (int j = 1; j <= N; ++j)
        out << formatInt(label(j), j == 1 ? 0 : 6);
    out << "   dP";
    out.endLine();
    for (int b = 1; b <= M; ++b) {
        out << formatInt(lossBranchStartLabel(model, b), 2) << formatInt(lossBranchEndLabel(model, b), 4);
        float total = 0.0f;
        for (int j = 1; j <= N; ++j) {
            out << real(t.lossPart[b][j], 6);
            total = total + t.lossPart[b][j];
        }
        out << real(total, 7);
        out.endLine();
    }

    // Per-branch listing of the nonzero components.
    out.endLine();
    for (int b = 1; b <= M; ++b) {
        out << "Ветвь   " << formatInt(lossBranchStartLabel(model, b), 2) << "-"
            << formatInt(lossBranchEndLabel(model, b)) << "  Потери  " << real(t.branchLoss[b]);
        out.endLine();
        out << "Составляющие ";
        for (int j = 1; j <= N; ++j)
            if (t.lossPart[b][j] != 0.0f)
                out << " dP" << formatInt(label(j)) << "=" << real(t.lossPart[b][j]);
        out.endLine();
    }

    // Loss caused by each node's load over the whole network.
    out.endLine();
    out << "          Доля транзитных потерь от нагрузок узлов   ";
    out.endLine();
    out << "Узлы    ";
    for (int j = 1; j <= N; ++j)
        out << formatInt(label(j), j == 1 ? 0 : 6);
    out.endLine();
    out << "Потери ";
    for (int j = 1; j <= N; ++j) {
        float column = 0.0f;
        for (int b = 1; b <= M; ++b)
            column = column + t.lossPart[b][j];
        out << real(column, j == 1 ? 0 : 6);
    }
    out.endLine();
    return out.close();
}

}  // namespace tarvel
