#include "study/StudyFiles.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "model/TextFile.h"

namespace tarvel {

namespace {

std::string fullPrecision(double v)
{
    if (!std::isfinite(v))
        return "null";
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string jsonString(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            out += ' ';
            continue;
        }
        out += c;
    }
    return out + "\"";
}

std::string csvText(const std::string& s, char separator)
{
    if (s.find(separator) == std::string::npos && s.find('"') == std::string::npos)
        return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

std::string csvNumber(double v, char decimal)
{
    std::string s = fullPrecision(v);
    if (s == "null")
        return {};
    for (char& c : s)
        if (c == '.')
            c = decimal;
    return s;
}

int32_t numberOf(const StudyBase& base, int node)
{
    return base.model().nodeNumber[node];
}

std::string nodeList(const StudyBase& base, const std::vector<int>& nodes, std::size_t most)
{
    std::string s;
    for (std::size_t i = 0; i < nodes.size() && i < most; ++i)
        s += (i ? ", " : "") + formatInt(numberOf(base, nodes[i]));
    if (nodes.size() > most)
        s += " ... (всего " + formatInt(static_cast<long long>(nodes.size())) + ")";
    return s;
}

std::string branchesOf(const StudyBase& base, const Outage& outage)
{
    std::string s;
    for (std::size_t i = 0; i < outage.branches.size(); ++i)
        s += (i ? "; " : "") + branchLabel(base.branches(), outage.branches[i]);
    return s;
}

const char* unitOf(BranchLimitKind kind)
{
    return kind == BranchLimitKind::Current ? "кА" : "МВА";
}

}  // namespace

const char* outcomeText(OutageOutcome outcome)
{
    switch (outcome) {
    case OutageOutcome::Solved: return "решено";
    case OutageOutcome::NotConverged: return "не сошлось";
    case OutageOutcome::Diverged: return "расходится";
    case OutageOutcome::Split: return "разделение сети";
    }
    return "";
}

const char* outcomeKey(OutageOutcome outcome)
{
    switch (outcome) {
    case OutageOutcome::Solved: return "solved";
    case OutageOutcome::NotConverged: return "not_converged";
    case OutageOutcome::Diverged: return "diverged";
    case OutageOutcome::Split: return "split";
    }
    return "";
}

std::string studySummary(const StudyCounts& c)
{
    return "Отключений: " + formatInt(static_cast<long long>(c.outages)) +
           "; без нарушений: " + formatInt(static_cast<long long>(c.secure)) +
           "; с нарушениями: " + formatInt(static_cast<long long>(c.violations)) +
           "; разделение сети: " + formatInt(static_cast<long long>(c.splits)) +
           "; не сошлось: " + formatInt(static_cast<long long>(c.failed));
}

std::string violationText(const StudyBase& base, const Violation& v)
{
    if (v.kind == ViolationKind::Overload) {
        const BranchLimitKind kind = base.limits().kind[v.branch];
        const char* unit = unitOf(kind);
        const char* what = kind == BranchLimitKind::Current ? "I" : "S";
        return "перегрузка ветви " + branchLabel(base.branches(), v.branch) + ": " + what + " = " +
               formatFixed(v.value, 0, 3) + " " + unit + ", предел " + formatFixed(v.limit, 0, 3) + " " + unit +
               " (" + formatFixed(100.0 + v.excess, 0, 1) + " %)";
    }
    const double unom = nominalVoltage(base.model(), v.node);
    return "узел " + formatInt(numberOf(base, v.node)) + ": U = " + formatFixed(v.value, 0, 2) + " кВ (" +
           formatFixed(v.value / unom, 0, 3) + " о.е.) " +
           (v.kind == ViolationKind::VoltageLow ? "ниже предела " : "выше предела ") + formatFixed(v.limit, 0, 2) +
           " кВ";
}

std::string contingencyReport(const StudyBase& base, const StudyResult& study, const LimitsSource& source)
{
    const NetworkModel& model = base.model();
    const Limits& limits = base.limits();
    const CalculationSettings& settings = base.options().settings;
    std::string t;
    const auto line = [&](const std::string& s) { t += s + "\n"; };
    line("      Анализ отключений ветвей (N-1)");
    line("");
    line("Сеть: узлов " + formatInt(model.nodeCount + 1) + ", ветвей " + formatInt(model.branchCount) +
         "; отключений " + formatInt(static_cast<long long>(study.outages.size())));
    line("Точность " + formatGeneral(settings.precision, 0, 6) + ", итераций не более " + formatInt(settings.iteraz));
    line("Пределы напряжения: от 0.9 Uном до наибольшего рабочего напряжения класса (иначе 1.1 Uном)");
    int currents = 0, powers = 0;
    for (std::size_t i = 1; i < limits.kind.size(); ++i) {
        currents += limits.kind[i] == BranchLimitKind::Current;
        powers += limits.kind[i] == BranchLimitKind::Power;
    }
    std::string branchLimits = "Пределы ветвей:";
    if (currents == 0 && powers == 0)
        branchLimits += " не заданы";
    if (currents > 0)
        branchLimits += " по току у " + formatInt(currents) + " ветвей (кА" +
                        (source.currentFile.empty() ? std::string(")") : ", файл " + source.currentFile + ")");
    if (powers > 0)
        branchLimits += std::string(currents > 0 ? ";" : "") + " по мощности у " + formatInt(powers) +
                        " ветвей (МВА, rateA случая)";
    line(branchLimits);
    line(studySummary(countOutcomes(study.results)));
    line("");

    const OutageResult& b = base.baseResult();
    if (b.violations.empty()) {
        line("Исходный режим: нарушений нет");
    } else {
        line("Исходный режим: нарушений " + formatInt(static_cast<long long>(b.violations.size())));
        for (const Violation& v : b.violations)
            line("    " + violationText(base, v));
    }
    line("");
    line("Отключения в порядке тяжести");
    line("");
    line("     N  Отключение            Исход            Итер  Umin, о.е.   Узел  Umax, о.е.   Узел  Загрузка, %  Ветвь");
    const std::vector<std::size_t> order = rankBySeverity(study.results);
    for (std::size_t r = 0; r < order.size(); ++r) {
        const Outage& outage = study.outages[order[r]];
        const OutageResult& o = study.results[order[r]];
        std::string row = formatInt(static_cast<long long>(r) + 1, 6) + "  ";
        std::string label = outage.label;
        std::string outcome = outcomeText(o.outcome);
        row += label + std::string(label.size() < 20 ? 20 - label.size() : 0, ' ') + "  ";
        // Cyrillic letters take two bytes in UTF-8: pad by characters.
        const std::size_t outcomeChars = std::string_view(outcome).size() -
                                         std::count_if(outcome.begin(), outcome.end(), [](char c) {
                                             return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
                                         });
        row += outcome + std::string(outcomeChars < 15 ? 15 - outcomeChars : 0, ' ');
        row += formatInt(o.iterations, 6);
        const bool figures = o.vmin.node >= 0;
        if (figures) {
            row += formatFixed(o.vmin.pu, 12, 4) + formatInt(numberOf(base, o.vmin.node), 7) +
                   formatFixed(o.vmax.pu, 12, 4) + formatInt(numberOf(base, o.vmax.node), 7);
            if (o.maxLoading.branch > 0)
                row += formatFixed(o.maxLoading.percent, 13, 1) + "  " + branchLabel(base.branches(), o.maxLoading.branch);
        }
        line(row);
        if (outage.label != branchesOf(base, outage))
            line("        ветви: " + branchesOf(base, outage));
        if (!o.lostNodes.empty()) {
            std::string lost = "        отделены узлы: " + nodeList(base, o.lostNodes, 20) + "; нагрузка " +
                               formatFixed(o.lostLoadMw, 0, 2) + " МВт";
            if (o.lostGenerationMw > 0)
                lost += ", генерация " + formatFixed(o.lostGenerationMw, 0, 2) + " МВт";
            line(lost);
            if (o.balanceNode > 0)
                line("        базисный узел отделен, баланс принял узел " + formatInt(numberOf(base, o.balanceNode)));
        }
        if (o.outcome == OutageOutcome::NotConverged) {
            line("        заданная точность не достигнута за " + formatInt(o.iterations) + " итераций (невязка " +
                 formatGeneral(o.residual, 0, 5) + ")");
        } else if (o.outcome == OutageOutcome::Diverged) {
            line("        итерации расходятся или матрица вырождена");
        }
        for (const Violation& v : o.violations)
            line("        " + violationText(base, v));
    }
    if (study.outages.empty())
        line("        отключений нет");
    return t;
}

namespace {

std::string nodeJson(const StudyBase& base, const NodeVoltage& v)
{
    if (v.node < 0)
        return "null";
    return "{\"node\": " + formatInt(numberOf(base, v.node)) + ", \"kv\": " + fullPrecision(v.kv) +
           ", \"pu\": " + fullPrecision(v.pu) + "}";
}

std::string branchRefJson(const StudyBase& base, int branch)
{
    const BranchName& n = base.branches().name(branch);
    return "[" + formatInt(n.n1) + ", " + formatInt(n.n2) + ", " + formatInt(n.k) + "]";
}

std::string violationsJson(const StudyBase& base, const std::vector<Violation>& violations)
{
    std::string s = "[";
    for (std::size_t i = 0; i < violations.size(); ++i) {
        const Violation& v = violations[i];
        s += i ? ", " : "";
        if (v.kind == ViolationKind::Overload) {
            const BranchName& n = base.branches().name(v.branch);
            const bool current = base.limits().kind[v.branch] == BranchLimitKind::Current;
            s += "{\"kind\": \"overload\", \"n1\": " + formatInt(n.n1) + ", \"n2\": " + formatInt(n.n2) +
                 ", \"k\": " + formatInt(n.k) + ", \"quantity\": \"" + (current ? "current_ka" : "power_mva") +
                 "\", \"value\": " + fullPrecision(v.value) + ", \"limit\": " + fullPrecision(v.limit) +
                 ", \"percent\": " + fullPrecision(100.0 + v.excess) + "}";
        } else {
            const double unom = nominalVoltage(base.model(), v.node);
            s += std::string("{\"kind\": \"") + (v.kind == ViolationKind::VoltageLow ? "vmin" : "vmax") +
                 "\", \"node\": " + formatInt(numberOf(base, v.node)) + ", \"kv\": " + fullPrecision(v.value) +
                 ", \"pu\": " + fullPrecision(v.value / unom) + ", \"limit_kv\": " + fullPrecision(v.limit) + "}";
        }
    }
    return s + "]";
}

std::string figuresJson(const StudyBase& base, const OutageResult& o, const std::string& indent)
{
    std::string s;
    s += indent + "\"outcome\": \"" + outcomeKey(o.outcome) + "\",\n";
    s += indent + "\"iterations\": " + formatInt(o.iterations) + ",\n";
    s += indent + "\"residual\": " + fullPrecision(o.residual) + ",\n";
    s += indent + "\"vmin\": " + nodeJson(base, o.vmin) + ",\n";
    s += indent + "\"vmax\": " + nodeJson(base, o.vmax) + ",\n";
    if (o.maxLoading.branch > 0) {
        const BranchName& n = base.branches().name(o.maxLoading.branch);
        s += indent + "\"max_loading\": {\"n1\": " + formatInt(n.n1) + ", \"n2\": " + formatInt(n.n2) +
             ", \"k\": " + formatInt(n.k) + ", \"percent\": " + fullPrecision(o.maxLoading.percent) + "},\n";
    } else {
        s += indent + "\"max_loading\": null,\n";
    }
    s += indent + "\"violations\": " + violationsJson(base, o.violations);
    return s;
}

}  // namespace

std::string studyJson(const StudyBase& base, const StudyResult& study)
{
    const CalculationSettings& settings = base.options().settings;
    std::string s = "{\n";
    s += "  \"settings\": {\"precision\": " + fullPrecision(settings.precision) +
         ", \"iterationLimit\": " + formatInt(settings.iteraz) + "},\n";
    s += "  \"base\": {\n" + figuresJson(base, base.baseResult(), "    ") + "\n  },\n";
    s += "  \"contingencies\": [";
    for (std::size_t i = 0; i < study.outages.size(); ++i) {
        const Outage& outage = study.outages[i];
        const OutageResult& o = study.results[i];
        s += i ? ",\n    {\n" : "\n    {\n";
        s += "      \"label\": " + jsonString(outage.label) + ",\n";
        s += "      \"branches\": [";
        for (std::size_t b = 0; b < outage.branches.size(); ++b)
            s += (b ? ", " : "") + branchRefJson(base, outage.branches[b]);
        s += "],\n";
        s += figuresJson(base, o, "      ") + ",\n";
        s += "      \"lost_nodes\": [";
        for (std::size_t k = 0; k < o.lostNodes.size(); ++k)
            s += (k ? ", " : "") + formatInt(numberOf(base, o.lostNodes[k]));
        s += "],\n";
        s += "      \"lost_load_mw\": " + fullPrecision(o.lostLoadMw) + ",\n";
        s += "      \"lost_generation_mw\": " + fullPrecision(o.lostGenerationMw) + ",\n";
        s += "      \"balance_node\": " + (o.balanceNode > 0 ? formatInt(numberOf(base, o.balanceNode)) : "null") +
             "\n    }";
    }
    s += study.outages.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return s;
}

std::string contingenciesCsv(const StudyBase& base, const StudyResult& study, char separator, char decimal)
{
    const std::string sep(1, separator);
    std::string s = "label" + sep + "branches" + sep + "outcome" + sep + "iterations" + sep + "vmin_node" + sep +
                    "vmin_kv" + sep + "vmin_pu" + sep + "vmax_node" + sep + "vmax_kv" + sep + "vmax_pu" + sep +
                    "max_loading_branch" + sep + "max_loading_percent" + sep + "lost_nodes" + sep + "lost_load_mw" +
                    sep + "violations\r\n";
    for (std::size_t i = 0; i < study.outages.size(); ++i) {
        const Outage& outage = study.outages[i];
        const OutageResult& o = study.results[i];
        s += csvText(outage.label, separator) + sep + csvText(branchesOf(base, outage), separator) + sep +
             outcomeKey(o.outcome) + sep + formatInt(o.iterations) + sep;
        if (o.vmin.node >= 0)
            s += formatInt(numberOf(base, o.vmin.node)) + sep + csvNumber(o.vmin.kv, decimal) + sep +
                 csvNumber(o.vmin.pu, decimal) + sep + formatInt(numberOf(base, o.vmax.node)) + sep +
                 csvNumber(o.vmax.kv, decimal) + sep + csvNumber(o.vmax.pu, decimal) + sep;
        else
            s += sep + sep + sep + sep + sep + sep;
        if (o.maxLoading.branch > 0)
            s += csvText(branchLabel(base.branches(), o.maxLoading.branch), separator) + sep +
                 csvNumber(o.maxLoading.percent, decimal) + sep;
        else
            s += sep + sep;
        s += formatInt(static_cast<long long>(o.lostNodes.size())) + sep + csvNumber(o.lostLoadMw, decimal) + sep +
             formatInt(static_cast<long long>(o.violations.size())) + "\r\n";
    }
    return s;
}

std::string violationsCsvHeader(char separator)
{
    const std::string sep(1, separator);
    return "label" + sep + "kind" + sep + "node" + sep + "branch" + sep + "value" + sep + "limit" + sep + "unit" +
           sep + "excess_percent\r\n";
}

std::string violationCsvLine(const StudyBase& base, const std::string& label, const Violation& v, char separator,
                             char decimal)
{
    const std::string sep(1, separator);
    std::string s = csvText(label, separator) + sep;
    if (v.kind == ViolationKind::Overload) {
        const bool current = base.limits().kind[v.branch] == BranchLimitKind::Current;
        s += std::string("overload") + sep + sep + csvText(branchLabel(base.branches(), v.branch), separator) + sep +
             csvNumber(v.value, decimal) + sep + csvNumber(v.limit, decimal) + sep + (current ? "kA" : "MVA") + sep;
    } else {
        s += std::string(v.kind == ViolationKind::VoltageLow ? "vmin" : "vmax") + sep +
             formatInt(numberOf(base, v.node)) + sep + sep + csvNumber(v.value, decimal) + sep +
             csvNumber(v.limit, decimal) + sep + "kV" + sep;
    }
    s += csvNumber(v.excess, decimal) + "\r\n";
    return s;
}

std::string violationsCsv(const StudyBase& base, const StudyResult& study, char separator, char decimal)
{
    std::string s = violationsCsvHeader(separator);
    for (const Violation& v : base.baseResult().violations)
        s += violationCsvLine(base, "base", v, separator, decimal);
    for (std::size_t i = 0; i < study.outages.size(); ++i)
        for (const Violation& v : study.results[i].violations)
            s += violationCsvLine(base, study.outages[i].label, v, separator, decimal);
    return s;
}

std::filesystem::path contingenciesCsvPath(const std::filesystem::path& prefix)
{
    return prefix.string() + "-contingencies.csv";
}

std::filesystem::path violationsCsvPath(const std::filesystem::path& prefix)
{
    return prefix.string() + "-violations.csv";
}

bool writeStudyFiles(const StudyBase& base, const StudyResult& study, const LimitsSource& source,
                     const StudyFilePaths& paths, std::filesystem::path& failedPath)
{
    const auto write = [&](const std::filesystem::path& path, const std::string& bytes) {
        if (replaceFileSafely(path, bytes))
            return true;
        failedPath = path;
        return false;
    };
    if (!write(paths.workDir / kContingencyReportFile,
               utf8ToCp1251(toCrLf(contingencyReport(base, study, source)))))
        return false;
    if (!paths.json.empty() && !write(paths.json, studyJson(base, study)))
        return false;
    if (!paths.csvPrefix.empty() && (!write(contingenciesCsvPath(paths.csvPrefix), contingenciesCsv(base, study)) ||
                                     !write(violationsCsvPath(paths.csvPrefix), violationsCsv(base, study))))
        return false;
    return true;
}

}  // namespace tarvel
