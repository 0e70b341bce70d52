#include "interchange/MatpowerReader.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

#include "interchange/CaseReadSupport.h"
#include "model/TextFile.h"

namespace tarvel {

namespace {

using caseread::busNumber;
using caseread::fail;
using caseread::failAt;
using caseread::finite;

// Column counts the format requires; a case may have more.
constexpr std::size_t kBusColumns = 13;
constexpr std::size_t kGenColumns = 10;
constexpr std::size_t kBranchColumns = 11;

struct Matrix {
    std::size_t columns = 0;
    std::vector<double> values;  // row after row
    std::vector<int> rowLine;    // source line of each row
    std::size_t rows() const { return rowLine.size(); }
    double at(std::size_t row, std::size_t column) const { return values[row * columns + column]; }
};

bool isIdentifierChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.';
}

// Numbers as MATLAB writes them, and Inf/NaN in any case.
bool parseNumber(std::string_view token, double& value)
{
    std::string_view body = token;
    bool negative = false;
    if (!body.empty() && (body[0] == '+' || body[0] == '-')) {
        negative = body[0] == '-';
        body.remove_prefix(1);
    }
    auto lower = [](std::string_view s) {
        std::string out(s);
        for (char& c : out)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return out;
    };
    const std::string word = body.size() <= 3 ? lower(body) : std::string();
    if (word == "inf") {
        value = negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
        return true;
    }
    if (word == "nan") {
        value = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    if (body.empty() || body[0] == '+' || body[0] == '-')
        return false;
    const auto r = std::from_chars(body.data(), body.data() + body.size(), value);
    if (r.ec == std::errc::result_out_of_range) {
        value = std::numeric_limits<double>::infinity();
    } else if (r.ec != std::errc() || r.ptr != body.data() + body.size()) {
        return false;
    }
    if (negative)
        value = -value;
    return true;
}

class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return atEnd() ? '\0' : text_[pos_]; }
    int line() const { return line_; }

    void advance()
    {
        if (text_[pos_] == '\n')
            ++line_;
        ++pos_;
    }

    // Blanks, line ends and comments.
    void skipSpace()
    {
        while (!atEnd()) {
            const char c = peek();
            if (c == '%' || c == '#')
                skipToLineEnd();
            else if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v')
                advance();
            else
                break;
        }
    }

    void skipToLineEnd()
    {
        while (!atEnd() && peek() != '\n')
            advance();
    }

    std::string_view identifier()
    {
        const std::size_t start = pos_;
        while (!atEnd() && isIdentifierChar(peek()))
            advance();
        return text_.substr(start, pos_ - start);
    }

    // A value that is not read: up to the ";" or line end that closes the
    // statement, over brackets and quoted texts.
    void skipValue()
    {
        int depth = 0;
        const int startLine = line_;
        while (!atEnd()) {
            const char c = peek();
            if (c == '\'' || c == '"') {
                skipQuoted(c);
                continue;
            }
            if (c == '%' || c == '#') {
                skipToLineEnd();
                continue;
            }
            if (c == '[' || c == '{' || c == '(')
                ++depth;
            else if ((c == ']' || c == '}' || c == ')') && depth > 0)
                --depth;
            else if (depth == 0 && (c == ';' || c == '\n')) {
                advance();
                return;
            }
            advance();
        }
        if (depth > 0)
            failAt(startLine, "значение не закрыто скобкой до конца файла");
    }

    // The rest of a statement as written, up to its closing ";" or line end.
    std::string_view statementRest()
    {
        const std::size_t start = pos_;
        skipValue();
        return text_.substr(start, pos_ - start);
    }

    void skipQuoted(char quote)
    {
        advance();
        while (!atEnd() && peek() != '\n') {
            if (peek() == quote) {
                advance();
                if (peek() != quote)  // a doubled quote stands for itself
                    return;
            }
            advance();
        }
    }

    // A quoted text or a bare word up to the end of the statement.
    std::string scalarText()
    {
        std::string out;
        while (!atEnd() && peek() != ';' && peek() != '\n' && peek() != '%') {
            if (peek() != '\'' && peek() != '"' && peek() != ' ' && peek() != '\t' && peek() != '\r')
                out += peek();
            advance();
        }
        return out;
    }

    Matrix matrix(const std::string& name)
    {
        const int startLine = line_;
        advance();  // '['
        Matrix m;
        std::vector<double> row;
        int rowLine = line_;
        auto endRow = [&] {
            if (row.empty())
                return;
            if (m.rows() == 0)
                m.columns = row.size();
            else if (row.size() != m.columns)
                failAt(rowLine, "в строке таблицы " + name + " " + formatInt(static_cast<long long>(row.size())) +
                                    " чисел, а в первой ее строке " + formatInt(static_cast<long long>(m.columns)));
            m.values.insert(m.values.end(), row.begin(), row.end());
            m.rowLine.push_back(rowLine);
            row.clear();
        };
        while (true) {
            if (atEnd())
                fail("Файл обрывается: таблица " + name + ", начатая в строке " + formatInt(startLine) +
                     ", не закрыта знаком «]»");
            const char c = peek();
            if (c == ' ' || c == '\t' || c == '\r' || c == ',') {
                advance();
            } else if (c == '%' || c == '#') {
                skipToLineEnd();
            } else if (c == '\n' || c == ';') {
                endRow();
                advance();
                rowLine = line_;
            } else if (c == ']') {
                endRow();
                advance();
                return m;
            } else if (text_.substr(pos_, 3) == "...") {
                skipToLineEnd();
                if (!atEnd())
                    advance();
            } else {
                if (row.empty())
                    rowLine = line_;
                row.push_back(number(name));
            }
        }
    }

private:
    double number(const std::string& name)
    {
        const std::size_t start = pos_;
        while (!atEnd()) {
            const char c = peek();
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == ';' || c == ']' || c == '%')
                break;
            advance();
        }
        const std::string_view token = text_.substr(start, pos_ - start);
        double value = 0;
        if (!parseNumber(token, value))
            failAt(line_, caseread::quoted(token) + " в таблице " + name + " не число");
        if (std::isnan(value))
            failAt(line_, "значение NaN в таблице " + name);
        return value;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

struct Tables {
    bool haveBaseMva = false, haveBus = false, haveBranch = false;
    double baseMva = 0;
    int baseMvaLine = 0;
    std::string version;
    Matrix bus, gen, branch;
    // The distribution cases give r and x in Ohm and loads in kW, and turn
    // them into per unit and MW by two standard statements at their end.
    bool branchInOhm = false, loadsInKw = false;
    std::string vbase, sbase;  // the definitions those statements use
};

// A statement without blanks, its comment and its closing ";".
std::string normalized(std::string_view statement)
{
    std::string out;
    for (char c : statement) {
        if (c == '%' || c == '#' || c == ';' || c == '\n')
            break;
        if (c != ' ' && c != '\t' && c != '\r')
            out += c;
    }
    return out;
}

// A statement that changes a table after it was written: the two standard
// unit conversions are taken, anything else cannot be evaluated here and is
// refused rather than leaving the table wrong.
void takeTableChange(Tables& t, const std::string& name, std::string_view rest, int line)
{
    const std::string change = normalized(rest);
    const std::string table = name.substr(0, name.rfind('.') + 1);
    if (change == "(:,[BR_RBR_X])=" + table + "branch(:,[BR_RBR_X])/(Vbase^2/Sbase)") {
        t.branchInOhm = true;
        return;
    }
    if (change == "(:,[PD,QD])=" + table + "bus(:,[PD,QD])/1e3") {
        t.loadsInKw = true;
        return;
    }
    failAt(line, "таблица " + name + " изменяется выражением, которое импорт не вычисляет: " +
                     caseread::quoted(name + change));
}

std::string fieldOf(std::string_view identifier)
{
    const auto dot = identifier.rfind('.');
    return std::string(dot == std::string_view::npos ? std::string_view() : identifier.substr(dot + 1));
}

Tables scanTables(std::string_view text)
{
    Scanner s(text);
    Tables t;
    while (true) {
        s.skipSpace();
        if (s.atEnd())
            break;
        if (!isIdentifierChar(s.peek())) {
            s.skipValue();
            continue;
        }
        const std::string_view id = s.identifier();
        if (id == "function") {
            s.skipToLineEnd();
            continue;
        }
        s.skipSpace();
        const std::string field = fieldOf(id);
        const std::string name = std::string(id);
        if (s.peek() == '(' && (field == "bus" || field == "gen" || field == "branch" || field == "baseMVA")) {
            const int line = s.line();
            takeTableChange(t, name, s.statementRest(), line);
            continue;
        }
        if (s.peek() != '=') {
            s.skipValue();
            continue;
        }
        s.advance();
        s.skipSpace();
        if (field == "bus" || field == "gen" || field == "branch") {
            if (s.peek() != '[')
                failAt(s.line(), "таблица " + name + " должна начинаться знаком «[»");
            Matrix m = s.matrix(name);
            if (field == "bus") {
                t.bus = std::move(m);
                t.haveBus = true;
            } else if (field == "gen") {
                t.gen = std::move(m);
            } else {
                t.branch = std::move(m);
                t.haveBranch = true;
            }
        } else if (field == "baseMVA") {
            const int line = s.line();
            const std::string value = s.scalarText();
            if (!parseNumber(value, t.baseMva) || !std::isfinite(t.baseMva) || !(t.baseMva > 0))
                failAt(line, "базисная мощность " + name + " должна быть положительным числом: " +
                                 caseread::quoted(value));
            t.haveBaseMva = true;
            t.baseMvaLine = line;
        } else if (field == "version") {
            t.version = s.scalarText();
        } else if (name == "Vbase" || name == "Sbase") {
            (name == "Vbase" ? t.vbase : t.sbase) = normalized(s.statementRest());
        } else {
            s.skipValue();
        }
    }
    return t;
}

void requireColumns(const Matrix& m, std::size_t columns, const char* name)
{
    if (m.rows() > 0 && m.columns < columns)
        failAt(m.rowLine[0], std::string("в таблице ") + name + " " + formatInt(static_cast<long long>(m.columns)) +
                                 " столбцов, нужно не меньше " + formatInt(static_cast<long long>(columns)));
}

CaseBusType busType(double value, int line)
{
    if (value == 1 || value == 2 || value == 3 || value == 4)
        return static_cast<CaseBusType>(static_cast<int>(value));
    failAt(line, "тип узла " + formatGeneral(value, 0, 10) + " не существует (допустимы 1, 2, 3 и 4)");
}

CaseData caseFromTables(const Tables& t)
{
    if (!t.version.empty() && t.version != "2")
        fail("Формат MATPOWER версии " + caseread::quoted(t.version) + " не поддерживается: нужна версия 2");
    if (!t.haveBus)
        fail("В файле нет таблицы узлов (mpc.bus)");
    if (!t.haveBranch)
        fail("В файле нет таблицы ветвей (mpc.branch)");
    if (!t.haveBaseMva)
        fail("В файле нет базисной мощности (mpc.baseMVA)");
    requireColumns(t.bus, kBusColumns, "узлов");
    requireColumns(t.gen, kGenColumns, "генераторов");
    requireColumns(t.branch, kBranchColumns, "ветвей");

    // Vbase^2/Sbase with Vbase = the first bus's base voltage in V and Sbase
    // = the MVA base in VA: the base impedance in Ohm.
    double ohmPerUnit = 1;
    if (t.branchInOhm) {
        if (t.vbase != "mpc.bus(1,BASE_KV)*1e3" || t.sbase != "mpc.baseMVA*1e6" || t.bus.rows() == 0)
            fail("Сопротивления ветвей пересчитываются из Ом по базисным величинам Vbase = " +
                 caseread::quoted(t.vbase) + " и Sbase = " + caseread::quoted(t.sbase) +
                 ", которые импорт не вычисляет");
        const double kv = t.bus.at(0, 9);
        ohmPerUnit = kv * kv / t.baseMva;
        if (!(ohmPerUnit > 0) || !std::isfinite(ohmPerUnit))
            failAt(t.bus.rowLine[0], "сопротивления ветвей заданы в Ом, а базисное напряжение первого узла не задано");
    }
    const double loadScale = t.loadsInKw ? 1e-3 : 1.0;

    CaseData c;
    c.format = "MATPOWER";
    c.baseMva = t.baseMva;
    c.buses.reserve(t.bus.rows());
    for (std::size_t i = 0; i < t.bus.rows(); ++i) {
        const int line = t.bus.rowLine[i];
        auto v = [&](std::size_t col, const char* what) { return finite(t.bus.at(i, col), line, what); };
        CaseBus b;
        b.line = line;
        b.number = busNumber(t.bus.at(i, 0), line, "номер узла");
        b.type = busType(t.bus.at(i, 1), line);
        b.pd = v(2, "Pd") * loadScale;
        b.qd = v(3, "Qd") * loadScale;
        b.gs = v(4, "Gs");
        b.bs = v(5, "Bs");
        b.vm = v(7, "Vm");
        b.va = v(8, "Va");
        b.baseKv = v(9, "baseKV");
        b.area = static_cast<int64_t>(v(6, "area"));
        b.zone = static_cast<int64_t>(v(10, "zone"));
        c.buses.push_back(b);
    }
    c.generators.reserve(t.gen.rows());
    for (std::size_t i = 0; i < t.gen.rows(); ++i) {
        const int line = t.gen.rowLine[i];
        auto v = [&](std::size_t col, const char* what) { return finite(t.gen.at(i, col), line, what); };
        CaseGenerator g;
        g.line = line;
        g.bus = busNumber(t.gen.at(i, 0), line, "номер узла генератора");
        g.pg = v(1, "Pg");
        g.qg = v(2, "Qg");
        g.qmax = t.gen.at(i, 3);
        g.qmin = t.gen.at(i, 4);
        g.hasQLimits = std::isfinite(g.qmax) || std::isfinite(g.qmin);
        g.vg = v(5, "Vg");
        g.inService = t.gen.at(i, 7) > 0;
        c.generators.push_back(g);
    }
    c.branches.reserve(t.branch.rows());
    for (std::size_t i = 0; i < t.branch.rows(); ++i) {
        const int line = t.branch.rowLine[i];
        auto v = [&](std::size_t col, const char* what) { return finite(t.branch.at(i, col), line, what); };
        CaseBranch br;
        br.line = line;
        br.from = busNumber(t.branch.at(i, 0), line, "номер узла начала ветви");
        br.to = busNumber(t.branch.at(i, 1), line, "номер узла конца ветви");
        br.r = v(2, "r") / ohmPerUnit;
        br.x = v(3, "x") / ohmPerUnit;
        br.b = v(4, "b");
        br.ratio = v(8, "ratio");
        br.shift = v(9, "angle");
        br.inService = finite(t.branch.at(i, 10), line, "status") > 0;
        c.branches.push_back(br);
    }
    return c;
}

}  // namespace

CaseReadResult readMatpowerCase(std::string_view text)
{
    CaseReadResult result;
    try {
        result.data = caseFromTables(scanTables(text));
        result.ok = true;
    } catch (const caseread::Failure& f) {
        result.error = f.message;
    }
    return result;
}

bool looksLikeMatpowerCase(std::string_view text)
{
    // ".bus" followed by "=" and "[" on the same line, outside a comment.
    std::size_t pos = 0;
    while ((pos = text.find(".bus", pos)) != std::string_view::npos) {
        std::size_t lineStart = text.rfind('\n', pos);
        lineStart = lineStart == std::string_view::npos ? 0 : lineStart + 1;
        const std::string_view before = text.substr(lineStart, pos - lineStart);
        std::size_t i = pos + 4;
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
        if (before.find('%') == std::string_view::npos && i < text.size() && text[i] == '=') {
            ++i;
            while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
                ++i;
            if (i < text.size() && text[i] == '[')
                return true;
        }
        pos += 4;
    }
    return false;
}

}  // namespace tarvel
