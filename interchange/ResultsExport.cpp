#include "interchange/ResultsExport.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>
#include <unordered_map>

#include "model/TextFile.h"

namespace tarvel {

namespace {

// The shortest text that reads back as the same value. A figure of single
// precision (every figure of the exact method, and the values taken from the
// model's float tables) is written as that float: 233.2, not the
// 233.1999969482422 that the same number gives as a double. A zero is "0",
// never "-0".
std::string shortestText(double v, bool singlePrecision)
{
    const float single = static_cast<float>(v);
    const bool asFloat = (singlePrecision && std::isfinite(single)) || static_cast<double>(single) == v;
    if (v == 0 || (asFloat && single == 0.0f))
        return "0";
    char buf[64];
    const auto r = asFloat ? std::to_chars(buf, buf + sizeof buf, single) : std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string csvNumber(double v, CsvConvention c, bool singlePrecision)
{
    std::string s = shortestText(v, singlePrecision);
    for (char& ch : s)
        if (ch == '.')
            ch = c.decimal;
    return s;
}

class CsvTable {
public:
    CsvTable(CsvConvention c, bool singlePrecision) : c_(c), single_(singlePrecision)
    {
        if (c.byteOrderMark)
            out_ = "\xEF\xBB\xBF";
    }
    CsvTable& text(const std::string& s)
    {
        separate();
        line_ += s;
        return *this;
    }
    CsvTable& number(double v)
    {
        separate();
        line_ += csvNumber(v, c_, single_);
        return *this;
    }
    void endRow()
    {
        out_ += line_ + "\r\n";
        line_.clear();
        first_ = true;
    }
    std::string result() const { return out_; }

private:
    void separate()
    {
        if (!first_)
            line_ += c_.separator;
        first_ = false;
    }
    CsvConvention c_;
    bool single_;
    std::string out_, line_;
    bool first_ = true;
};

const char* nodeTypeName(int32_t type)
{
    switch (type) {
    case 3: return "base";
    case 2: return "fixedVoltage";
    default: return "load";
    }
}

}  // namespace

CsvConvention csvConventionFor(char localeDecimalMark)
{
    return localeDecimalMark == ',' ? CsvConvention{';', ',', true} : CsvConvention{',', '.', false};
}

std::string nodesCsv(const NetworkResults& results, CsvConvention convention)
{
    CsvTable t(convention, results.singlePrecision);
    for (const char* h : {"N", "Район", "Uном (кВ)", "U (кВ)", "dV (%)", "Угол (град)", "P (МВт)", "Q (Мвар)",
                          "Pg (МВт)", "Qb (Мвар)"})
        t.text(h);
    t.endRow();
    for (const NodeResult& n : results.nodes) {
        t.text(formatInt(n.number)).text(formatInt(n.district)).number(n.unom).number(n.u).number(n.deviation);
        t.number(n.angle).number(n.p).number(n.q).number(n.pg).number(n.qb).endRow();
    }
    return t.result();
}

std::string branchesCsv(const NetworkResults& results, CsvConvention convention)
{
    CsvTable t(convention, results.singlePrecision);
    for (const char* h : {"N1", "N2", "P12 (МВт)", "Q12 (Мвар)", "P21 (МВт)", "Q21 (Мвар)", "dP (МВт)", "I (кА)",
                          "Трансформатор"})
        t.text(h);
    t.endRow();
    for (const BranchResult& b : results.branches) {
        t.text(formatInt(b.startNode)).text(formatInt(b.endNode)).number(b.p12).number(b.q12).number(b.p21);
        t.number(b.q21).number(b.dP).number(b.current).text(b.transformer ? "1" : "0").endRow();
    }
    return t.result();
}

std::filesystem::path nodesCsvPath(const std::filesystem::path& prefix)
{
    return prefix.string() + "-nodes.csv";
}

std::filesystem::path branchesCsvPath(const std::filesystem::path& prefix)
{
    return prefix.string() + "-branches.csv";
}

bool writeResultsCsv(const NetworkResults& results, const std::filesystem::path& prefix, CsvConvention convention,
                     std::filesystem::path& failedPath)
{
    // Both files are written aside first, so that a failure leaves the
    // earlier pair as it was.
    const std::filesystem::path paths[2] = {nodesCsvPath(prefix), branchesCsvPath(prefix)};
    const std::string texts[2] = {nodesCsv(results, convention), branchesCsv(results, convention)};
    FileSet set;
    for (int i = 0; i < 2; ++i) {
        removeStaleTemporaries(paths[i]);
        AsideFile file;
        if (!file.create(paths[i]) || !file.write(texts[i])) {
            failedPath = paths[i];
            return false;
        }
        set.add(std::move(file));
    }
    if (!set.commit()) {
        failedPath = set.failedTarget();
        return false;
    }
    return true;
}

namespace {

// A JSON string of UTF-8 text.
std::string jsonText(const std::string& text)
{
    std::string j = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            j += '\\';
            j += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned char>(c));
            j += code;
        } else {
            j += c;
        }
    }
    return j + "\"";
}

}  // namespace

std::string resultsJson(const CalculationSettings& settings, const NetworkResults& results,
                        const ConvergenceFigures& convergence)
{
    const auto jsonNumber = [single = results.singlePrecision](double v) -> std::string {
        return std::isfinite(v) ? shortestText(v, single) : "null";
    };
    std::string j;
    j.reserve(256 + results.nodes.size() * 220 + results.branches.size() * 200);
    j += "{\n  \"settings\": {\"precision\": " + jsonNumber(settings.precision) +
         ", \"iterationLimit\": " + formatInt(settings.iteraz) + "},\n";
    j += "  \"convergence\": {\"outcome\": \"" + std::string(convergence.converged ? "converged" : "notConverged") +
         "\", \"iterations\": " + formatInt(convergence.iterations) +
         ", \"residual\": " + jsonNumber(convergence.residual) + "},\n";
    if (!convergence.warnings.empty()) {
        j += "  \"warnings\": [";
        for (std::size_t i = 0; i < convergence.warnings.size(); ++i)
            j += std::string(i ? ", " : "") + jsonText(convergence.warnings[i]);
        j += "],\n";
    }
    j += "  \"nodes\": [";
    for (std::size_t i = 0; i < results.nodes.size(); ++i) {
        const NodeResult& n = results.nodes[i];
        j += std::string(i ? "," : "") + "\n    {\"number\": " + formatInt(n.number) + ", \"type\": \"" +
             nodeTypeName(n.type) + "\", \"district\": " + formatInt(n.district) +
             ", \"unom\": " + jsonNumber(n.unom) + ", \"u\": " + jsonNumber(n.u) +
             ", \"deviation\": " + jsonNumber(n.deviation) + ", \"angle\": " + jsonNumber(n.angle) +
             ", \"p\": " + jsonNumber(n.p) + ", \"q\": " + jsonNumber(n.q) + ", \"pg\": " + jsonNumber(n.pg) +
             ", \"qb\": " + jsonNumber(n.qb) + "}";
    }
    j += "\n  ],\n  \"branches\": [";
    for (std::size_t i = 0; i < results.branches.size(); ++i) {
        const BranchResult& b = results.branches[i];
        j += std::string(i ? "," : "") + "\n    {\"n1\": " + formatInt(b.startNode) + ", \"n2\": " +
             formatInt(b.endNode) + ", \"p12\": " + jsonNumber(b.p12) + ", \"q12\": " + jsonNumber(b.q12) +
             ", \"p21\": " + jsonNumber(b.p21) + ", \"q21\": " + jsonNumber(b.q21) + ", \"dP\": " + jsonNumber(b.dP) +
             ", \"current\": " + jsonNumber(b.current) + ", \"transformer\": " + (b.transformer ? "true" : "false") +
             "}";
    }
    j += "\n  ],\n  \"totalLoss\": " + jsonNumber(results.totalLoss) + ",\n  \"districts\": [";
    for (std::size_t i = 0; i < results.districts.size(); ++i) {
        const DistrictResult& d = results.districts[i];
        j += std::string(i ? "," : "") + "\n    {\"district\": " + formatInt(d.district) +
             ", \"nodes\": " + formatInt(d.nodes) + ", \"innerBranches\": " + formatInt(d.innerBranches) +
             ", \"loss\": " + jsonNumber(d.loss) + ", \"lineLosses\": [";
        for (std::size_t k = 0; k < d.lineLosses.size(); ++k)
            j += std::string(k ? ", " : "") + "{\"kv\": " + formatInt(d.lineLosses[k].kv) +
                 ", \"lines\": " + formatInt(d.lineLosses[k].lines) + ", \"loss\": " + jsonNumber(d.lineLosses[k].loss) +
                 "}";
        j += "], \"transformers\": " + formatInt(d.transformers) +
             ", \"transformerLoss\": " + jsonNumber(d.transformerLoss) + ", \"saldoP\": " + jsonNumber(d.saldoP) +
             ", \"saldoQ\": " + jsonNumber(d.saldoQ) + "}";
    }
    j += "\n  ]\n}\n";
    return j;
}

void restoreCaseVoltages(NetworkResults& results, const std::vector<std::pair<int64_t, double>>& raisedBases)
{
    if (raisedBases.empty())
        return;
    const std::unordered_map<int64_t, double> factor(raisedBases.begin(), raisedBases.end());
    for (NodeResult& n : results.nodes) {
        if (const auto it = factor.find(n.number); it != factor.end()) {
            n.u /= it->second;
            n.unom /= it->second;
        }
    }
    for (BranchResult& b : results.branches)
        if (const auto it = factor.find(b.startNode); it != factor.end())
            b.current *= it->second;
}

}  // namespace tarvel
