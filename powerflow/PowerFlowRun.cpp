#include "powerflow/PowerFlowRun.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "model/ReadNetworkData.h"
#include "model/TextFile.h"
#include "powerflow/BranchFlows.h"
#include "powerflow/Equations.h"
#include "powerflow/InputEcho.h"
#include "powerflow/Newton.h"
#include "powerflow/Reports.h"

namespace tarvel {

const char* const kRunProgressText = "Идёт расчет потокораспределения электрической сети Tarvel V.M 1.1";

namespace {

// True when every voltage and its squared magnitude, which the residual and
// the reports are built on, are finite numbers in single precision.
bool voltagesFinite(const NetworkModel& model)
{
    for (int k = 1; k <= model.nodeCount; ++k) {
        const float e = model.voltageRe[k];
        const float f = model.voltageIm[k];
        if (!std::isfinite(e * e + f * f))
            return false;
    }
    return true;
}

// True when every figure that the reports show for the present voltages is a
// finite number: the voltage, power and shunt powers of every node, the
// currents and flows of every branch, and the sums of them that the reports
// accumulate. Voltages that the residual accepts may still fail this, for a
// base node of absurd voltage or flows through a transformer of tiny ratio.
bool reportFiguresFinite(const NetworkModel& model)
{
    // Sums of magnitudes below this cannot overflow a float however they are added.
    const double sumLimit = 0.5 * std::numeric_limits<float>::max();
    double nodeSum = 0.0;
    for (int k = 0; k <= model.nodeCount; ++k) {
        const float e = model.voltageRe[k];
        const float f = model.voltageIm[k];
        const float u2 = e * e + f * f;
        for (const float v : {u2, model.calcP[k], model.calcQ[k], u2 * model.nodeShuntG[k], u2 * model.nodeShuntB[k]}) {
            if (!std::isfinite(v))
                return false;
            nodeSum += std::fabs(v);
        }
    }
    double branchSum = 0.0;
    for (int i = 1; i <= model.branchCount; ++i) {
        const BranchFlow flow = branchFlows(model, i);
        for (const double v : {double(flow.i12Re), double(flow.i12Im), double(flow.p12), double(flow.q12),
                               double(flow.p21), double(flow.q21), flow.dP}) {
            if (!std::isfinite(v))
                return false;
            branchSum += std::fabs(v);
        }
    }
    return nodeSum <= sumLimit && branchSum <= sumLimit;
}

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

}  // namespace

std::string paneTextToCduBytes(std::string_view paneText)
{
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

std::string divergenceText(int iteration)
{
    return "Итерационный процесс расходится на " + formatInt(iteration) +
           "-ой итерации.\nПроверьте исходные данные.";
}

bool solvePowerFlow(NetworkModel& model, TextFileWriter& log, MessageSink& sink, char decimalSeparator)
{
    initVoltages(model);
    formAdmittances(model);
    model.iterationNumber = 0;
    model.residual = computeResidual(model);

    // The voltages before the step under way, to fall back on when it diverges.
    std::array<float, kNodeSlots> lastRe;
    std::array<float, kNodeSlots> lastIm;
    int divergedAt = std::isfinite(model.residual) ? -1 : 0;

    while (divergedAt < 0 && model.residual > model.precision && model.iterationNumber < model.iteraz) {
        const int iteration = model.iterationNumber + 1;
        lastRe = model.voltageRe;
        lastIm = model.voltageIm;
        formJacobian(model);
        if (!solveAndUpdate(model)) {
            // The voltages and the injections are still those of the last
            // finite iteration.
            divergedAt = iteration;
            break;
        }
        const float residual = computeResidual(model);
        if (!std::isfinite(residual) || !voltagesFinite(model)) {
            model.voltageRe = lastRe;
            model.voltageIm = lastIm;
            model.residual = computeResidual(model);
            divergedAt = iteration;
            break;
        }
        model.iterationNumber = iteration;
        model.residual = residual;
        log << iterationLogLine(model.iterationNumber, model.residual);
        log.endLine();
    }

    // Figures beyond single precision are told as a diverging iteration.
    if (divergedAt < 0 && !reportFiguresFinite(model))
        divergedAt = model.iterationNumber;

    if (divergedAt >= 0) {
        model.runMessage = divergenceText(divergedAt);
        writeLines(log, model.runMessage);
        sink.showMessage(model.runMessage);
        return false;
    }
    if (model.iterationNumber >= model.iteraz && model.residual > model.precision) {
        model.runMessage = nonConvergenceText(model.iterationNumber, model.residual, decimalSeparator);
        sink.showMessage(model.runMessage);
        return false;
    }
    return !(model.residual > model.precision);
}

RunOutcome runPowerFlow(NetworkModel& model, const std::filesystem::path& workDir,
                        std::string_view inputText, MessageSink& sink, char decimalSeparator)
{
    clearRunTables(model);

    if (!writeFileBytes(workDir / "network.cdu", paneTextToCduBytes(inputText))) {
        sink.showMessage("Невозможно создать файл \"network.cdu\"");
        return RunOutcome::InputNotSaved;
    }

    model.runMessage = kRunProgressText;
    sink.runStarted(model.runMessage);

    // The counts are checked again only to keep the tables safe.
    if (!readNetworkData(model, workDir, sink) || model.nodeCount < 1 || model.nodeCount >= kNodeSlots ||
        model.branchCount < 1 || model.branchCount >= kBranchSlots) {
        sink.showMessage("Расчет невозможен!");
        return RunOutcome::Rejected;
    }

    TextFileWriter out;
    if (!out.open(workDir / "network.out")) {
        sink.showMessage("Невозможно открыть(создать) файл \"network.out\"");
        return RunOutcome::OutNotCreatable;
    }
    writeInputEcho(model, out);

    const bool converged = solvePowerFlow(model, out, sink, decimalSeparator);

    writeReports(model, workDir, sink);
    out.close();
    return converged ? RunOutcome::Converged : RunOutcome::NotConverged;
}

}  // namespace tarvel
