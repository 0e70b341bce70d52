#include "powerflow/Reports.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include "model/TextFile.h"
#include "model/WorkingFiles.h"
#include "powerflow/BranchFlows.h"
#include "powerflow/DistrictAnalysis.h"
#include "powerflow/TaskHandOver.h"

namespace tarvel {

std::string reportFileMessage(const std::string& firstSentence)
{
    return firstSentence + " Проверьте, не ограничены ли ваши права, или имеется ли свободное" +
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

// The heading of the node section.
void writeNodeHeading(TextFileWriter& rez)
{
    rez << "\t          Результаты расчета по узлам";
    rez.endLine();
    rez << "    N        V         dV         P         Q" << "        Pg       Qb";
    rez.endLine();
}

// The node lines of slots first..last-1.
template <typename Real>
void writeNodeLines(const NetworkModel& model, const FlowState<Real>& state, int first, int last, TextFileWriter& rez)
{
    for (int k = first; k < last; ++k) {
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
    }
}

// The balance line over nodes 0..n, then the branch heading.
template <typename Real>
void writeBalanceAndBranchHeading(const NetworkModel& model, const FlowState<Real>& state, int n, TextFileWriter& rez)
{
    Real sumP = 0, sumQ = 0, sumPg = 0, sumQb = 0;
    for (int k = 0; k <= n; ++k) {
        const Real e = state.voltageRe[k];
        const Real f = state.voltageIm[k];
        const Real u2 = e * e + f * f;
        sumP += state.calcP[k];
        sumQ += state.calcQ[k];
        sumPg += u2 * state.shuntG[k];
        sumQb += -u2 * state.shuntB[k];
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

// Writes the node section, the balance line and the branch heading.
template <typename Real>
void writeNodeSection(const NetworkModel& model, const FlowState<Real>& state, int n, TextFileWriter& rez)
{
    writeNodeHeading(rez);
    writeNodeLines(model, state, 0, n + 1, rez);
    writeBalanceAndBranchHeading(model, state, n, rez);
}

// The lines of branches first..last-1 in network.tok.
template <typename Real>
void writeCurrentLines(const NetworkModel& model, const FlowState<Real>& state, int n, int first, int last,
                       TextFileWriter& tok)
{
    for (int i = first; i < last; ++i) {
        if (!branchEndsInside(model, i, n))
            continue;
        const BranchFlowOf<Real> f = branchFlowsOf(model, state, i);
        tok << IntField{model.branchStartIndex[i], 5} << IntField{model.branchEndIndex[i], 5}
            << FixedField{static_cast<double>(f.i12Re), 10, 4} << FixedField{static_cast<double>(f.i12Im), 10, 4}
            << FixedField{static_cast<double>(model.branchResistance[i]), 15, 3};
        tok.endLine();
    }
}

// The lines of branches first..last-1 in network.rez.
template <typename Real>
void writeBranchLines(const NetworkModel& model, const FlowState<Real>& state, int n, int first, int last,
                      TextFileWriter& rez)
{
    for (int i = first; i < last; ++i) {
        if (!branchEndsInside(model, i, n))
            continue;
        const BranchFlowOf<Real> f = branchFlowsOf(model, state, i);
        rez << IntField{model.nodeNumber[model.branchStartIndex[i]], 5}
            << IntField{model.nodeNumber[model.branchEndIndex[i]], 5} << FixedField{static_cast<double>(-f.p12), 10, 2}
            << FixedField{static_cast<double>(-f.q12), 10, 2} << FixedField{static_cast<double>(f.p21), 10, 2}
            << FixedField{static_cast<double>(f.q21), 10, 2} << FixedField{static_cast<double>(f.dP), 10, 2};
        rez.endLine();
    }
}

// The total branch loss and the district sums, over the branches in order.
template <typename Real>
struct BranchTotals {
    DistrictAccumulatorsOf<Real> districts;
    Real totalBranchLoss = 0;
};

template <typename Real>
void addUpBranches(const NetworkModel& model, const FlowState<Real>& state, int n, int m, BranchTotals<Real>& totals)
{
    for (int i = 1; i <= m; ++i) {
        if (!branchEndsInside(model, i, n))
            continue;
        const BranchFlowOf<Real> f = branchFlowsOf(model, state, i);
        totals.totalBranchLoss = static_cast<Real>(totals.totalBranchLoss + f.dP);
        accumulateBranch(totals.districts, model, i, f);
    }
}

// network.rip and the total loss line that ends network.rez.
template <typename Real>
void writeTotals(const NetworkModel& model, const BranchTotals<Real>& totals, TextFileWriter& rez, TextFileWriter& rip)
{
    writeDistrictReport(totals.districts, model, rip);
    rez << formatFixed(totals.totalBranchLoss, 60, 2);
    rez.endLine();
}

void tellCurrentsFileFailure(MessageSink& sink)
{
    sink.showMessage(reportFileMessage("Невозможно открыть файл network.tok."));
}

// Everything after the opening of network.rez and network.rip, one file
// after the other.
template <typename Real>
bool writeResultsInTurn(const NetworkModel& model, const FlowState<Real>& state, int n, int m,
                        const std::filesystem::path& workDir, MessageSink& sink, TextFileWriter& rez,
                        TextFileWriter& rip, FileSet* files)
{
    writeNodeSection(model, state, n, rez);
    TextFileWriter tok;
    if (!tok.open(workDir / kCurrentsFile, files)) {
        tellCurrentsFileFailure(sink);
        return false;
    }
    writeCurrentLines(model, state, n, 1, m + 1, tok);
    writeBranchLines(model, state, n, 1, m + 1, rez);
    BranchTotals<Real> totals;
    addUpBranches(model, state, n, m, totals);
    writeTotals(model, totals, rez, rip);
    return true;
}

// Lines of a report formatted a part at a time on all cores and written in
// their order: every part's text depends on its own lines only, so the files
// are the same whatever the number of threads. A window of parts is held in
// memory at a time.
constexpr int kLinesPerPart = 1024;
constexpr int kPartsPerWindow = 64;

int partsOf(int lines)
{
    return (lines + kLinesPerPart - 1) / kLinesPerPart;
}

// Parts 0..count-1: format(part, writer) fills an in-memory writer, then
// write(part, bytes) takes its text, in order of the parts.
template <typename Format, typename Write>
void formatInParts(int count, const Format& format, const Write& write)
{
    std::vector<std::string> texts;
    for (int first = 0; first < count; first += kPartsPerWindow) {
        const int last = std::min(count, first + kPartsPerWindow);
        texts.assign(static_cast<std::size_t>(last - first), {});
        parallelFor(tbb::blocked_range<int>(first, last, 1), [&](const tbb::blocked_range<int>& parts) {
            for (int p = parts.begin(); p < parts.end(); ++p) {
                TextFileWriter part;
                part.openInMemory();
                format(p, part);
                texts[static_cast<std::size_t>(p - first)] = part.takeBytes();
            }
        });
        for (int p = first; p < last; ++p)
            write(p, texts[static_cast<std::size_t>(p - first)]);
    }
}

// The same for a large network on all cores: the node lines, the branch
// lines of network.rez and those of network.tok in parts, the sums over the
// branches beside them. The files and messages are those of
// writeResultsInTurn, a network.tok that cannot be created included.
template <typename Real>
bool writeResultsInParallel(const NetworkModel& model, const FlowState<Real>& state, int n, int m,
                            const std::filesystem::path& workDir, MessageSink& sink, TextFileWriter& rez,
                            TextFileWriter& rip, FileSet* files)
{
    const auto nodeLines = [&](int part, TextFileWriter& out) {
        writeNodeLines(model, state, part * kLinesPerPart, std::min(n + 1, (part + 1) * kLinesPerPart), out);
    };
    writeNodeHeading(rez);
    formatInParts(partsOf(n + 1), nodeLines, [&rez](int, const std::string& bytes) { rez.writeBytes(bytes); });
    writeBalanceAndBranchHeading(model, state, n, rez);

    TextFileWriter tok;
    if (!tok.open(workDir / kCurrentsFile, files)) {
        tellCurrentsFileFailure(sink);
        return false;
    }
    // Even parts are lines of network.rez, odd ones the same branches' lines of network.tok.
    const auto branchLines = [&](int part, TextFileWriter& out) {
        const int first = 1 + (part / 2) * kLinesPerPart;
        const int last = std::min(m + 1, first + kLinesPerPart);
        if (part % 2 == 0)
            writeBranchLines(model, state, n, first, last, out);
        else
            writeCurrentLines(model, state, n, first, last, out);
    };
    // Two tasks: the sums over the branches beside the parts of their lines.
    BranchTotals<Real> totals;
    runTwo(
        [&](int task) {
            if (task == 0)
                addUpBranches(model, state, n, m, totals);
            else
                formatInParts(2 * partsOf(m), branchLines, [&](int part, const std::string& bytes) {
                    (part % 2 == 0 ? rez : tok).writeBytes(bytes);
                });
        },
        true);
    writeTotals(model, totals, rez, rip);
    return true;
}

template <typename Real>
bool writeResults(const NetworkModel& model, const FlowState<Real>& state, int n, int m,
                  const std::filesystem::path& workDir, MessageSink& sink, TextFileWriter& rez, TextFileWriter& rip,
                  ReportCores cores, FileSet* files)
{
    if (cores == ReportCores::All)
        return writeResultsInParallel(model, state, n, m, workDir, sink, rez, rip, files);
    return writeResultsInTurn(model, state, n, m, workDir, sink, rez, rip, files);
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

// Nodes from which the reports are formatted on all cores. Below, starting
// oneTBB's threads costs more than the parts save (Release, 2 cores, median
// of the report stage: 2 000-node grid 1.7 ms on one core against 2.9 on
// two, 5 000 4.0 against 4.5, 9 000 9.5 against 7.2, 30 000 22 against 15),
// and IEEE 118 and 300 ran 0.7-0.9 ms longer as a whole on two.
constexpr int kAllCoresReportNodes = 7000;

bool writeReports(NetworkModel& model, const std::filesystem::path& workDir, MessageSink& sink, FileSet* files)
{
    return writeReports(model, workDir, sink,
                        model.nodeCount >= kAllCoresReportNodes ? ReportCores::All : ReportCores::One, files);
}

bool writeReports(NetworkModel& model, const std::filesystem::path& workDir, MessageSink& sink, ReportCores cores,
                  FileSet* files)
{
    // The counts come from the reader, which keeps them within the tables;
    // they are clamped here all the same so that no report reads past them.
    const int n = std::clamp(model.nodeCount, 0, static_cast<int>(model.nodeNumber.size()) - 1);
    const int m = std::clamp(model.branchCount, 0, static_cast<int>(model.branchStartIndex.size()) - 1);

    TextFileWriter rez;
    if (!rez.open(workDir / kResultsFile, files)) {
        sink.showMessage(reportFileMessage("Невозможно открыть файл для хранения результатов."));
        return false;
    }
    TextFileWriter rip;
    if (!rip.open(workDir / kDistrictFile, files)) {
        sink.showMessage(reportFileMessage("Невозможно открыть файл network.rip."));
        return false;
    }

    const bool written = !model.solvedSparse()
                             ? writeResults(model, singleState(model), n, m, workDir, sink, rez, rip, cores, files)
                             : writeResults(model, doubleState(model), n, m, workDir, sink, rez, rip, cores, files);
    // The files close in turn (each hands itself to the set as it closes),
    // so that whether they were written in full is known here.
    return written & rez.close() & rip.close();
}

}  // namespace tarvel
