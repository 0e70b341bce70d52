#include "powerflow/PowerFlowRun.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <limits>
#include <numbers>
#include <unordered_map>
#include <system_error>
#include <thread>

#include "model/ReadNetworkData.h"
#include "model/TextFile.h"
#include "model/WorkingFiles.h"
#include "powerflow/InputEcho.h"
#include "powerflow/Reports.h"
#include "powerflow/Solver.h"
#include "powerflow/SparseSolver.h"

namespace tarvel {

const char* const kExactMethodTooSmallText =
    "Классический метод рассчитывает сети до 99 узлов и 149 ветвей; сеть рассчитана по полной модели.";

const char* const kRunProgressText = "Идёт расчет потокораспределения электрической сети Tarvel V.M 1.1";

namespace {

// Writes a message of one or more lines ("\n" between them) to network.out.
void writeLines(TextFileWriter& out, std::string_view text)
{
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\n', start);
        out << text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        out.endLine();
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
}

// Shows the message of a run that did not converge or diverged, keeps it in
// runMessage and, for a diverging one, writes it to network.out as well.
RunOutcome tellOutcome(NetworkModel& model, const SolveResult& result, TextFileWriter& out, MessageSink& sink,
                       char decimalSeparator)
{
    switch (result.outcome) {
    case SolveOutcome::Converged:
        return RunOutcome::Converged;
    case SolveOutcome::Diverged:
        model.runMessage = divergenceText(result.divergedAt);
        writeLines(out, model.runMessage);
        sink.showMessage(model.runMessage);
        return RunOutcome::Diverged;
    case SolveOutcome::NotConverged:
        break;
    }
    // The sparse method also waits for every single equation; the message
    // tells the error that kept it from converging.
    const float error = result.method == SolveMethod::Sparse
                            ? static_cast<float>(std::max<double>(model.residual, result.worstError))
                            : model.residual;
    model.runMessage = nonConvergenceText(model.iterationNumber, error, decimalSeparator);
    if (result.stalledAt >= 0) {
        const std::string stall = stallText(result.stalledAt);
        writeLines(out, stall);
        model.runMessage += "\n" + stall;
    }
    sink.showMessage(model.runMessage);
    return RunOutcome::NotConverged;
}

// The switches of nodes at their reactive limits, in order, and the nodes
// held at a limit at the end; nothing when no node was switched.
void writeLimitSwitches(const NetworkModel& model, const SolveResult& result, TextFileWriter& log)
{
    for (const LimitSwitch& s : result.limitSwitches) {
        log << limitSwitchLine(model, s);
        log.endLine();
    }
    if (const std::string held = heldNodesLine(model); !held.empty())
        writeLines(log, held);
}

// The log lines of the iterations, then the switches at reactive limits and
// the outcome's message.
RunOutcome logAndTell(NetworkModel& model, const SolveResult& result, TextFileWriter& log, MessageSink& sink,
                      char decimalSeparator)
{
    for (std::size_t i = 0; i < result.residuals.size(); ++i) {
        log << iterationLogLine(static_cast<int>(i) + 1, result.residuals[i]);
        log.endLine();
    }
    writeLimitSwitches(model, result, log);
    return tellOutcome(model, result, log, sink, decimalSeparator);
}

// A large network's echo is written on the second core while the solver
// runs: it reads only the tables the reader filled, which the solver leaves
// alone, and nothing else touches network.out until it is done, so it still
// comes before the iteration log.
SolveResult solveBesideEcho(NetworkModel& model, const CalculationSettings& settings, TextFileWriter& out,
                            const StoredVoltages& stored)
{
    const NetworkModel& input = model;
    std::exception_ptr failure;
    SolveResult result;
    {
        std::jthread echoing([&input, &out, &failure] {
            try {
                writeInputEcho(input, out);
                out << sparseMethodLine(input.nodeCount);
                out.endLine();
            } catch (...) {
                failure = std::current_exception();
            }
        });
        result = solvePowerFlow(model, settings, stored.nodes);
    }
    if (failure)
        std::rethrow_exception(failure);
    return result;
}

// The network.cdu of a run, written aside into its set.
bool writeInputFile(const std::filesystem::path& workDir, std::string_view bytes, FileSet& files)
{
    AsideFile file;
    if (!file.create(workDir / kInputFile) || !file.write(bytes))
        return false;
    files.add(std::move(file));
    return true;
}

// The reports of the network a refused one replaced: they are not of the
// network.cdu beside them.
void removeEarlierReports(const std::filesystem::path& workDir)
{
    for (const char* name : {kEchoFile, kResultsFile, kDistrictFile, kCurrentsFile, kLossShareFile}) {
        std::error_code ec;
        const std::filesystem::path path = workDir / name;
        if (!std::filesystem::is_directory(std::filesystem::symlink_status(path, ec)))
            std::filesystem::remove(path, ec);
    }
}

// Puts the run's files in place together, or tells the file that could not
// be written and leaves the earlier set.
bool commitRunFiles(FileSet& files, const std::filesystem::path& workDir, MessageSink& sink)
{
    if (files.commit())
        return true;
    sink.showMessage(workingFileFailureText(files.failedTarget(), workDir, files.failedError()));
    return false;
}

}  // namespace

std::string workingFileFailureText(const std::filesystem::path& file, const std::filesystem::path& folder, int error)
{
    return "Файл \"" + file.filename().string() + "\" не записан в папку \"" + folder.string() + "\": " +
           fileErrorText(error) + ". Файлы прежнего расчета оставлены без изменений.";
}

std::string paneTextToCduBytes(std::string_view paneText)
{
    // Lines that end with CR LF already, the last one included, go over as they are.
    if (hasCrLfLineEnds(paneText) && (paneText.empty() || paneText.ends_with("\r\n")))
        return utf8ToCp1251(paneText);
    std::string text = toCrLf(paneText);
    if (!text.empty() && !text.ends_with("\r\n"))
        text += "\r\n";
    return utf8ToCp1251(text);
}

std::string formatMessageResidual(float residual, char decimalSeparator)
{
    const double v = residual;
    if (!std::isfinite(v))
        return std::isnan(v) ? "NaN" : (v < 0 ? "-INF" : "INF");

    // The power of ten of the first significant digit once the value is
    // rounded to 5 significant digits.
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 4);
    const std::string_view sci(buf, static_cast<std::size_t>(r.ptr - buf));
    const int exponent = std::atoi(std::string(sci.substr(sci.find('e') + 1)).c_str());

    std::string text;
    if (exponent >= 5) {
        text = formatGeneral(v, 0, 5);
    } else {
        // 5 significant digits, but never more than 6 decimals; the places
        // beyond the significant digits are filled with zeros.
        text = formatFixed(v, 0, exponent >= -2 ? 4 - exponent : 6);
        std::size_t point = text.find('.');
        if (point == std::string::npos) {
            point = text.size();
            text += '.';
        }
        text.append(6 - (text.size() - point - 1), '0');
    }
    for (char& c : text)
        if (c == '.')
            c = decimalSeparator;
    return text;
}

std::string nonConvergenceText(int iteration, float residual, char decimalSeparator)
{
    return "За данное число итераций сходимость с заданной точностью не обеспечена.\n"
           "Точность на последней " +
           formatInt(iteration) + "-ой итерации составляет " + formatMessageResidual(residual, decimalSeparator);
}

std::string stallText(int iteration)
{
    return "Невязка не уменьшилась вдвое за " + formatInt(kStallSteps) + " итераций: расчет остановлен на " +
           formatInt(iteration) + "-ой итерации.";
}

std::string divergenceText(int iteration)
{
    return "Итерационный процесс расходится на " + formatInt(iteration) +
           "-ой итерации.\nПроверьте исходные данные.";
}

RunOutcome solveAndLog(NetworkModel& model, const CalculationSettings& settings, TextFileWriter& log,
                       MessageSink& sink, char decimalSeparator)
{
    return logAndTell(model, solvePowerFlow(model, settings), log, sink, decimalSeparator);
}

std::string voltageRangeWarning(const NetworkModel& model, char decimalSeparator)
{
    if (!model.solvedSparse())
        return "";
    const Solution& x = *model.sparseSolution;
    const auto decimal = [decimalSeparator](double v, int decimals) {
        std::string text = formatFixed(v, 0, decimals);
        std::replace(text.begin(), text.end(), '.', decimalSeparator);
        return text;
    };
    std::string nodes;
    int count = 0;
    for (int k = 0; k <= model.nodeCount; ++k) {
        const double unom = model.nodeUnom[k];
        const double u = std::hypot(x.voltageRe[k], x.voltageIm[k]);
        if (!(unom > 0) || (u >= kLowestBelievableVoltage * unom && u <= kHighestBelievableVoltage * unom))
            continue;
        if (++count <= kWarningNodes)
            nodes += std::string(count > 1 ? ", " : "") + formatInt(model.nodeNumber[k]) + " - " + decimal(u, 2) +
                     " кВ (" + decimal(u / unom, 3) + " Uном)";
    }
    if (count == 0)
        return "";
    std::string text = "Напряжение вне пределов " + decimal(kLowestBelievableVoltage, 1) + "-" +
                       decimal(kHighestBelievableVoltage, 1) + " Uном в узлах: " + nodes;
    if (count > kWarningNodes)
        text += " и еще в " + formatInt(count - kWarningNodes);
    return text;
}

namespace {

std::string decimalText(double v, int decimals, char decimalSeparator)
{
    std::string text = formatFixed(v, 0, decimals);
    std::replace(text.begin(), text.end(), '.', decimalSeparator);
    return text;
}

// Degrees in -180..180.
double wrappedDegrees(double degrees)
{
    return std::remainder(degrees, 360.0);
}

std::string listedWarning(const std::string& head, const std::string& items, int count)
{
    if (count == 0)
        return "";
    std::string text = head + items;
    if (count > kWarningNodes)
        text += " и еще " + formatInt(count - kWarningNodes);
    return text;
}

}  // namespace

std::string unbalancedNodesWarning(const NetworkModel& model, char decimalSeparator)
{
    if (!model.solvedSparse() || !model.sparseNetwork)
        return "";
    const Network& net = *model.sparseNetwork;
    const Solution& x = *model.sparseSolution;
    struct Unbalance {
        double mva;
        int k;
    };
    std::vector<Unbalance> nodes;
    for (int k = 1; k <= net.nodeCount; ++k) {
        if (net.solvedAs[k] != k || (x.voltageRe[k] == 0 && x.voltageIm[k] == 0))
            continue;
        // A fixed magnitude leaves Q free (a node held at a limit is told by its own lines).
        const double dp = x.powerP[k] + net.loadP[k];
        const double dq = net.nodeType[k] == 2 ? 0.0 : x.powerQ[k] + net.loadQ[k];
        const double mva = std::hypot(dp, dq);
        if (std::isfinite(mva) && mva > 0)
            nodes.push_back({mva, k});
    }
    const std::size_t shown = std::min<std::size_t>(nodes.size(), kUnbalancedNodes);
    std::partial_sort(nodes.begin(), nodes.begin() + static_cast<std::ptrdiff_t>(shown), nodes.end(),
                      [](const Unbalance& a, const Unbalance& b) { return a.mva > b.mva; });
    std::string items;
    for (std::size_t i = 0; i < shown; ++i) {
        const int k = nodes[i].k;
        const double unom = nominalVoltage(model, k);
        items += std::string(i ? ", " : "") + formatInt(model.nodeNumber[k]) + " - " +
                 decimalText(nodes[i].mva, 2, decimalSeparator) + " МВА при " +
                 decimalText(std::hypot(x.voltageRe[k], x.voltageIm[k]) / unom, 3, decimalSeparator) + " Uном";
    }
    return items.empty() ? "" : "Наибольший небаланс мощности в узлах: " + items;
}

std::string branchAngleWarning(const NetworkModel& model, char decimalSeparator)
{
    if (!model.solvedSparse())
        return "";
    const Solution& x = *model.sparseSolution;
    std::string items;
    int count = 0;
    for (int j = 1; j <= model.branchCount; ++j) {
        const int a = model.branchStartIndex[j], b = model.branchEndIndex[j];
        const double ua = std::hypot(x.voltageRe[a], x.voltageIm[a]), ub = std::hypot(x.voltageRe[b], x.voltageIm[b]);
        if (!(ua > 0) || !(ub > 0))
            continue;
        const double degrees = wrappedDegrees((std::atan2(x.voltageIm[a], x.voltageRe[a]) -
                                               std::atan2(x.voltageIm[b], x.voltageRe[b])) *
                                              180.0 / std::numbers::pi);
        if (!(std::fabs(degrees) > kLargestBranchAngle))
            continue;
        if (++count <= kWarningNodes)
            items += std::string(count > 1 ? ", " : "") + formatInt(model.branchStartNode[j]) + "-" +
                     formatInt(model.branchEndNode[j]) + " (" + decimalText(degrees, 1, decimalSeparator) + "°)";
    }
    return listedWarning("Угол между напряжениями концов ветви больше 90° (режим, вероятно, неустойчивый): ", items,
                         count);
}

std::string storedVoltagesWarning(const NetworkModel& model, const StoredVoltages& stored, char decimalSeparator)
{
    if (!model.solvedSparse() || !stored.solved)
        return "";
    const Solution& x = *model.sparseSolution;
    std::unordered_map<int64_t, const StoredVoltage*> byNode;
    for (const StoredVoltage& v : stored.nodes)
        byNode[v.node] = &v;
    const auto base = byNode.find(model.nodeNumber[0]);
    const double baseDegrees = base != byNode.end() ? base->second->degrees : 0.0;
    std::string items;
    int count = 0;
    for (int k = 1; k <= model.nodeCount; ++k) {
        const auto it = byNode.find(model.nodeNumber[k]);
        const double unom = nominalVoltage(model, k);
        if (it == byNode.end() || !(unom > 0) || !(it->second->kv > 0))
            continue;
        const double u = std::hypot(x.voltageRe[k], x.voltageIm[k]);
        const double degrees = std::atan2(x.voltageIm[k], x.voltageRe[k]) * 180.0 / std::numbers::pi;
        const double storedDegrees = wrappedDegrees(it->second->degrees - baseDegrees);
        // A fixed magnitude is the node's setting, whatever the case stored.
        const bool fixed = model.nodeType[k] == 2;
        const bool far = (!fixed && std::fabs(u - it->second->kv) > kStoredVoltageDeviation * unom) ||
                         std::fabs(wrappedDegrees(degrees - storedDegrees)) > kStoredAngleDeviation;
        if (!far)
            continue;
        if (++count <= kWarningNodes)
            items += std::string(count > 1 ? ", " : "") + formatInt(model.nodeNumber[k]) + " - " +
                     decimalText(u / unom, 3, decimalSeparator) + " Uном, " +
                     decimalText(degrees, 1, decimalSeparator) + "° (в файле " +
                     decimalText(it->second->kv / unom, 3, decimalSeparator) + " Uном, " +
                     decimalText(storedDegrees, 1, decimalSeparator) + "°)";
    }
    return listedWarning("Решение далеко от напряжений, записанных в файле случая, в узлах: ", items, count);
}

std::string sparseMethodLine(int nodeCount)
{
    return "Расчет разреженным методом Ньютона в двойной точности, число узлов n = " + formatInt(nodeCount);
}

RunOutcome runPowerFlow(NetworkModel& model, const std::filesystem::path& workDir, std::string_view inputText,
                        MessageSink& sink, char decimalSeparator)
{
    return runPowerFlow(model, CalculationSettings{}, workDir, inputText, sink, decimalSeparator);
}

RunOutcome runPowerFlow(NetworkModel& model, const CalculationSettings& settings, const std::filesystem::path& workDir,
                        std::string_view inputText, MessageSink& sink, char decimalSeparator, const LoadOverride& loads,
                        const StoredVoltages& stored)
{
    clearRunTables(model);
    model.method = settings.method;
    model.qLimits = settings.qLimits;

    // Every working file is written aside and the run's set put in place at
    // its end: a run that fails leaves the earlier set, never a mix.
    FileSet files;
    const std::string cduBytes = paneTextToCduBytes(inputText);
    if (!writeInputFile(workDir, cduBytes, files)) {
        sink.showMessage("Невозможно создать файл \"network.cdu\"");
        return RunOutcome::InputNotSaved;
    }

    model.runMessage = kRunProgressText;
    sink.runStarted(model.runMessage);

    // The counts are checked again only to keep the tables safe.
    model.reading = readWrittenNetwork(model, cduBytes, workDir, sink, &files);
    if (!model.reading.accepted || model.nodeCount < 1 ||
        model.nodeCount >= static_cast<int>(model.nodeNumber.size()) || model.branchCount < 1 ||
        model.branchCount >= static_cast<int>(model.branchStartIndex.size())) {
        sink.showMessage("Расчет невозможен!");
        if (!commitRunFiles(files, workDir, sink))
            return RunOutcome::FilesNotWritten;
        removeEarlierReports(workDir);
        return RunOutcome::Rejected;
    }
    if (loads.p.size() == static_cast<std::size_t>(model.nodeCount) + 1 && loads.q.size() == loads.p.size()) {
        for (int k = 0; k <= model.nodeCount; ++k) {
            model.nodeLoadP[k] = static_cast<float>(loads.p[static_cast<std::size_t>(k)]);
            model.nodeLoadQ[k] = static_cast<float>(loads.q[static_cast<std::size_t>(k)]);
        }
    }

    TextFileWriter out;
    if (!out.open(workDir / kEchoFile, &files)) {
        sink.showMessage("Невозможно открыть(создать) файл \"network.out\"");
        return RunOutcome::OutNotCreatable;
    }
    SolveResult result;
    if (settings.method == CalculationMethod::Exact && model.needsSparseMethod())
        sink.warning(kExactMethodTooSmallText);
    if (model.fullModel()) {
        result = solveBesideEcho(model, settings, out, stored);
    } else {
        writeInputEcho(model, out);
        result = solvePowerFlow(model, settings);
    }
    const RunOutcome outcome = logAndTell(model, result, out, sink, decimalSeparator);
    // Where a full model's iteration went wrong.
    if (outcome == RunOutcome::NotConverged || outcome == RunOutcome::Diverged) {
        if (const std::string warning = unbalancedNodesWarning(model, decimalSeparator); !warning.empty()) {
            writeLines(out, warning);
            sink.warning(warning);
        }
    }
    // A converged result can still be no believable state of the network.
    if (outcome == RunOutcome::Converged) {
        for (const std::string& warning :
             {voltageRangeWarning(model, decimalSeparator), branchAngleWarning(model, decimalSeparator),
              storedVoltagesWarning(model, stored, decimalSeparator)}) {
            if (warning.empty())
                continue;
            writeLines(out, warning);
            sink.warning(warning);
            model.runWarnings.push_back(warning);
        }
    }

    const bool reportsWritten = writeReports(model, workDir, sink, &files);
    out.close();
    if (!reportsWritten && !files.failed()) {
        // Told already: a report that could not be created.
        files.discard();
        return RunOutcome::FilesNotWritten;
    }
    if (!commitRunFiles(files, workDir, sink))
        return RunOutcome::FilesNotWritten;
    return outcome;
}

}  // namespace tarvel
