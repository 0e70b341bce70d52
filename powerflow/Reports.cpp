#include "powerflow/Reports.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <thread>

#include "model/TextFile.h"
#include "model/WorkingFiles.h"
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
template <typename Real>
double voltageAngle(Real e, Real f)
{
    if (e == 0 && f == 0)
        return 0.0;
    return std::atan(static_cast<double>(f / e)) * 57.295779515;
}

// Writes the node section, the balance line and the branch heading.
template <typename Real>
void writeNodeSection(const NetworkModel& model, const FlowState<Real>& state, int n, TextFileWriter& rez)
{
    rez << "\t          Результаты расчета по узлам";
    rez.endLine();
    rez << "    N        V         dV         P         Q" << "        Pg       Qb";
    rez.endLine();

    Real sumP = 0, sumQ = 0, sumPg = 0, sumQb = 0;
    for (int k = 0; k <= n; ++k) {
        const Real e = state.voltageRe[k];
        const Real f = state.voltageIm[k];
        const Real u2 = e * e + f * f;
        const Real pg = u2 * state.shuntG[k];
        const Real qb = -u2 * state.shuntB[k];
        rez << IntField{model.nodeNumber[k], 5} << FixedField{std::sqrt(static_cast<double>(u2)), 10, 2}
            << FixedField{voltageAngle(e, f), 10, 2} << FixedField{static_cast<double>(-state.calcP[k]), 10, 2}
            << FixedField{static_cast<double>(-state.calcQ[k]), 10, 2} << FixedField{static_cast<double>(pg), 10, 2}
            << FixedField{static_cast<double>(qb), 10, 2};
        // A fixed-voltage node held at a reactive limit is marked after its figures.
        if (const int8_t held = model.nodeHeldAt[k]; held != 0)
            rez << (held > 0 ? "  Qmax" : "  Qmin");
        rez.endLine();
        sumP += state.calcP[k];
        sumQ += state.calcQ[k];
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
    if (std::any_of(model.nodeHeldAt.begin(), model.nodeHeldAt.begin() + n + 1, [](int8_t held) { return held != 0; })) {
        rez << "                         Qmax, Qmin - генерация Q на пределе, напряжение не удержано";
        rez.endLine();
    }
    rez << " ";
    rez.endLine();
    rez << "                   Результаты расчета по ветвям";
    rez.endLine();
    rez << "   N1   N1       P12       Q12       P21       Q21       dP";
    rez.endLine();
}

template <typename Real>
void writeCurrents(const NetworkModel& model, const FlowState<Real>& state, int n, int m, TextFileWriter& tok)
{
    for (int i = 1; i <= m; ++i) {
        if (!branchEndsInside(model, i, n))
            continue;
        const BranchFlowOf<Real> f = branchFlowsOf(model, state, i);
        tok << IntField{model.branchStartIndex[i], 5} << IntField{model.branchEndIndex[i], 5}
            << FixedField{static_cast<double>(f.i12Re), 10, 4} << FixedField{static_cast<double>(f.i12Im), 10, 4}
            << FixedField{static_cast<double>(model.branchResistance[i]), 15, 3};
        tok.endLine();
    }
}

// The branch lines and the total loss of network.rez, and network.rip.
template <typename Real>
void writeFlowsAndDistricts(const NetworkModel& model, const FlowState<Real>& state, int n, int m,
                            TextFileWriter& rez, TextFileWriter& rip)
{
    DistrictAccumulatorsOf<Real> districts;
    Real totalBranchLoss = 0;
    for (int i = 1; i <= m; ++i) {
        if (!branchEndsInside(model, i, n))
            continue;
        const BranchFlowOf<Real> f = branchFlowsOf(model, state, i);
        rez << IntField{model.nodeNumber[model.branchStartIndex[i]], 5}
            << IntField{model.nodeNumber[model.branchEndIndex[i]], 5} << FixedField{static_cast<double>(-f.p12), 10, 2}
            << FixedField{static_cast<double>(-f.q12), 10, 2} << FixedField{static_cast<double>(f.p21), 10, 2}
            << FixedField{static_cast<double>(f.q21), 10, 2} << FixedField{static_cast<double>(f.dP), 10, 2};
        rez.endLine();

        totalBranchLoss = static_cast<Real>(totalBranchLoss + f.dP);
        accumulateBranch(districts, model, i, f);
    }

    writeDistrictReport(districts, model, rip);

    rez << formatFixed(totalBranchLoss, 60, 2);
    rez.endLine();
}

void tellCurrentsFileFailure(MessageSink& sink)
{
    sink.showMessage(reportFileMessage("Невозможно открыть файл network.tok."));
}

// Everything after the opening of network.rez and network.rip, one file
// after the other.
template <typename Real>
void writeResultsInTurn(const NetworkModel& model, const FlowState<Real>& state, int n, int m,
                        const std::filesystem::path& workDir, MessageSink& sink, TextFileWriter& rez,
                        TextFileWriter& rip)
{
    writeNodeSection(model, state, n, rez);
    TextFileWriter tok;
    if (!tok.open(workDir / kCurrentsFile)) {
        tellCurrentsFileFailure(sink);
        return;
    }
    writeCurrents(model, state, n, m, tok);
    writeFlowsAndDistricts(model, state, n, m, rez, rip);
}

// The same for a large network on two cores: network.tok on the second,
// network.rez and network.rip on this one; both only read the solution. The
// second core takes the smaller share, as it starts a moment later. The files
// and messages are those of writeResultsInTurn, a network.tok that cannot be
// created included.
template <typename Real>
void writeResultsOnTwoCores(const NetworkModel& model, const FlowState<Real>& state, int n, int m,
                            const std::filesystem::path& workDir, MessageSink& sink, TextFileWriter& rez,
                            TextFileWriter& rip)
{
    TextFileWriter tok;
    if (!tok.open(workDir / kCurrentsFile)) {
        writeNodeSection(model, state, n, rez);
        tellCurrentsFileFailure(sink);
        return;
    }
    std::exception_ptr failure;
    {
        std::jthread currents([&] {
            try {
                writeCurrents(model, state, n, m, tok);
            } catch (...) {
                failure = std::current_exception();
            }
        });
        writeNodeSection(model, state, n, rez);
        writeFlowsAndDistricts(model, state, n, m, rez, rip);
    }
    if (failure)
        std::rethrow_exception(failure);
}

template <typename Real>
void writeResults(const NetworkModel& model, const FlowState<Real>& state, int n, int m,
                  const std::filesystem::path& workDir, MessageSink& sink, TextFileWriter& rez, TextFileWriter& rip,
                  ReportCores cores)
{
    if (cores == ReportCores::Two)
        writeResultsOnTwoCores(model, state, n, m, workDir, sink, rez, rip);
    else
        writeResultsInTurn(model, state, n, m, workDir, sink, rez, rip);
}

template <typename Real>
bool figuresFinite(const NetworkModel& model, const FlowState<Real>& state)
{
    // Sums of magnitudes below this cannot overflow a float however they are added.
    const double sumLimit = 0.5 * std::numeric_limits<float>::max();
    const double valueLimit = std::numeric_limits<float>::max();
    const auto fits = [valueLimit](double v) { return std::isfinite(v) && std::fabs(v) <= valueLimit; };
    double nodeSum = 0.0;
    for (int k = 0; k <= model.nodeCount; ++k) {
        const Real e = state.voltageRe[k];
        const Real f = state.voltageIm[k];
        const Real u2 = e * e + f * f;
        for (const Real v : {u2, state.calcP[k], state.calcQ[k], Real(u2 * state.shuntG[k]),
                             Real(u2 * state.shuntB[k])}) {
            if (!fits(v))
                return false;
            nodeSum += std::fabs(static_cast<double>(v));
        }
    }
    double branchSum = 0.0;
    for (int i = 1; i <= model.branchCount; ++i) {
        const BranchFlowOf<Real> flow = branchFlowsOf(model, state, i);
        for (const double v : {double(flow.i12Re), double(flow.i12Im), double(flow.p12), double(flow.q12),
                               double(flow.p21), double(flow.q21), flow.dP}) {
            if (!fits(v))
                return false;
            branchSum += std::fabs(v);
        }
    }
    return nodeSum <= sumLimit && branchSum <= sumLimit;
}

}  // namespace

bool branchEndsInside(const NetworkModel& model, int i, int n)
{
    const int s = model.branchStartIndex[i];
    const int t = model.branchEndIndex[i];
    return s >= 0 && s <= n && t >= 0 && t <= n;
}

bool reportFiguresFinite(const NetworkModel& model)
{
    return !model.solvedSparse() ? figuresFinite(model, singleState(model)) : figuresFinite(model, doubleState(model));
}

void writeReports(NetworkModel& model, const std::filesystem::path& workDir, MessageSink& sink)
{
    writeReports(model, workDir, sink, model.needsSparseMethod() ? ReportCores::Two : ReportCores::One);
}

void writeReports(NetworkModel& model, const std::filesystem::path& workDir, MessageSink& sink, ReportCores cores)
{
    // The counts come from the reader, which keeps them within the tables;
    // they are clamped here all the same so that no report reads past them.
    const int n = std::clamp(model.nodeCount, 0, static_cast<int>(model.nodeNumber.size()) - 1);
    const int m = std::clamp(model.branchCount, 0, static_cast<int>(model.branchStartIndex.size()) - 1);

    TextFileWriter rez;
    if (!rez.open(workDir / kResultsFile)) {
        sink.showMessage(reportFileMessage("Невозможно открыть файл для хранения результатов."));
        return;
    }
    TextFileWriter rip;
    if (!rip.open(workDir / kDistrictFile)) {
        sink.showMessage(reportFileMessage("Невозможно открыть файл network.rip."));
        rez.close();
        return;
    }

    if (!model.solvedSparse())
        writeResults(model, singleState(model), n, m, workDir, sink, rez, rip, cores);
    else
        writeResults(model, doubleState(model), n, m, workDir, sink, rez, rip, cores);
}

}  // namespace tarvel
