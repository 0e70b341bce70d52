#include "powerflow/InputEcho.h"

namespace tarvel {

namespace {

// General notation with 6 significant digits, as %g writes it: a zero whose
// sign bit is set (an input susceptance of 0 after the reader's change of
// sign) is written "-0".
GeneralField real(float value, int width)
{
    return GeneralField{static_cast<double>(value), width, 6};
}

}  // namespace

void writeInputEcho(const NetworkModel& model, TextFileWriter& out)
{
    const int n = model.nodeCount;
    const int m = model.branchCount;

    out << "Число узлов n = " << formatInt(n) << '\t' << "Число Ветвей m = " << formatInt(m);
    out.endLine();
    out << "     Входные данные для расчета потокораспределения";
    out.endLine();
    out << "           У з л ы    с е т и ";
    out.endLine();
    out << " Узел   Тип  Uном        P        Q        g           b ";
    out.endLine();
    for (int k = 0; k <= n; ++k) {
        out << IntField{model.nodeNumber[k], 5} << IntField{model.nodeType[k], 5}
            << real(model.nodeUnom[k], 7) << real(model.nodeLoadP[k], 9) << real(model.nodeLoadQ[k], 9)
            << real(model.nodeShuntG[k], 9) << real(model.nodeShuntB[k], 12);
        out.endLine();
    }
    out.endLine();

    out << "               В е т в и    с е т и";
    out.endLine();
    out << "   N1   N2        r         x            b           g       Kt ";
    out.endLine();
    for (int j = 1; j <= m; ++j) {
        out << IntField{model.branchStartNode[j], 5} << IntField{model.branchEndNode[j], 5}
            << real(model.branchResistance[j], 10) << real(model.branchReactance[j], 10)
            << real(model.branchSusceptance[j], 14) << real(model.branchConductance[j], 10)
            << real(model.branchRatio[j], 9);
        out.endLine();
    }
    out.endLine();
}

std::string iterationLogLine(int iteration, float residual)
{
    return formatInt(iteration) + formatGeneral(residual, 12, 3);
}

}  // namespace tarvel
