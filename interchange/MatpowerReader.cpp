#include "interchange/MatpowerReader.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <regex>
#include <vector>

#include "interchange/CaseReadSupport.h"
#include "interchange/ConstantExpression.h"
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

class Scanner {
public:
    // constants: the variables the case has set to a constant so far.
    Scanner(std::string_view text, const caseread::Constants& constants) : text_(text), constants_(&constants) {}

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

    char peekAt(std::size_t ahead) const { return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0'; }

    // The condition of an "if" as written: up to the ",", ";", comment or
    // line end that closes it outside parentheses; the "," or ";" is taken.
    std::string_view condition()
    {
        const std::size_t start = pos_;
        int depth = 0;
        while (!atEnd()) {
            const char c = peek();
            if (c == '(' || c == '[')
                ++depth;
            else if ((c == ')' || c == ']') && depth > 0)
                --depth;
            else if (c == '\n' || c == '%' || c == '#' || (depth == 0 && (c == ',' || c == ';')))
                break;
            advance();
        }
        const std::string_view written = text_.substr(start, pos_ - start);
        if (peek() == ',' || peek() == ';')
            advance();
        return written;
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
                row.push_back(element(name));
            }
        }
    }

private:
    // A figure of a table: a number or a constant expression (50/3,
    // 135/sqrt(3)), up to the blank, comma, ";" or "]" that ends it.
    double element(const std::string& name)
    {
        const caseread::Evaluation e =
            caseread::evaluate(text_, pos_, *constants_, caseread::ExpressionContext::MatrixElement);
        if (!e.ok || !endsElement(e.end)) {
            const std::size_t start = pos_;
            std::size_t end = start;
            while (end < text_.size() && !endsElement(end))
                ++end;
            const std::string_view token = text_.substr(start, end - start);
            failAt(line_, caseread::quoted(token) + " в таблице " + name +
                              (looksLikeExpression(token) ? " не вычисляется (импорт вычисляет числа, четыре действия, "
                                                            "скобки, sqrt, pi и величины, заданные в файле числом)"
                                                          : " не число"));
        }
        while (pos_ < e.end)
            advance();
        if (std::isnan(e.value))
            failAt(line_, "значение NaN в таблице " + name);
        return e.value;
    }

    bool endsElement(std::size_t at) const
    {
        if (at >= text_.size())
            return true;
        const char c = text_[at];
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == ';' || c == ']' || c == '%' ||
               c == '#' || text_.substr(at, 3) == "...";
    }

    static bool looksLikeExpression(std::string_view token)
    {
        return token.find_first_of("()*/^") != std::string_view::npos ||
               token.find_first_of("+-", 1) != std::string_view::npos;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 1;
    const caseread::Constants* constants_;
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

std::string_view trimmedBlanks(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

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

std::string fieldOf(std::string_view identifier);

// MATPOWER's names of the columns (idx_bus, idx_gen, idx_brch), 0-based.
int namedColumn(const std::string& field, const std::string& column)
{
    static const std::map<std::string, std::map<std::string, int>> columns = {
        {"bus", {{"PD", 2}, {"QD", 3}, {"GS", 4}, {"BS", 5}, {"VM", 7}, {"VA", 8}, {"BASE_KV", 9}}},
        {"gen", {{"PG", 1}, {"QG", 2}, {"QMAX", 3}, {"QMIN", 4}, {"VG", 5}, {"MBASE", 6}, {"PMAX", 8}, {"PMIN", 9}}},
        {"branch", {{"BR_R", 2}, {"BR_X", 3}, {"BR_B", 4}, {"RATE_A", 5}, {"TAP", 8}, {"SHIFT", 9}}},
    };
    const auto table = columns.find(field);
    if (table == columns.end())
        return -1;
    const auto it = table->second.find(column);
    if (it != table->second.end())
        return it->second;
    int number = 0;
    const auto [end, ec] = std::from_chars(column.data(), column.data() + column.size(), number);
    return ec == std::errc() && end == column.data() + column.size() && number >= 1 ? number - 1 : -1;
}

// A column set to another column of the same table times or over a constant
// (case141: "mpc.bus(:, QD) = mpc.bus(:, PD) * sin(acos(pf));" for loads
// given in MVA at a power factor), applied to the table as read; false for
// any other statement.
bool takeColumnScaling(Tables& t, const std::string& name, const std::string& change,
                       const caseread::Constants& constants)
{
    static const std::regex form(R"(^\(:,([A-Za-z_0-9]+)\)=([A-Za-z_0-9.]+)\(:,([A-Za-z_0-9]+)\)([*/])(.+)$)");
    std::smatch m;
    if (!std::regex_match(change, m, form) || m[2].str() != name)
        return false;
    const std::string field = fieldOf(name);
    Matrix* matrix = field == "bus" ? &t.bus : field == "gen" ? &t.gen : field == "branch" ? &t.branch : nullptr;
    if (!matrix || matrix->columns == 0)
        return false;
    const int target = namedColumn(field, m[1].str()), source = namedColumn(field, m[3].str());
    if (target < 0 || source < 0 || static_cast<std::size_t>(std::max(target, source)) >= matrix->columns)
        return false;
    const std::string factorText = m[5].str();
    const caseread::Evaluation e = caseread::evaluate(factorText, 0, constants, caseread::ExpressionContext::Statement);
    if (!e.ok || e.end != factorText.size() || !std::isfinite(e.value))
        return false;
    const double factor = m[4].str() == "*" ? e.value : 1.0 / e.value;
    for (std::size_t row = 0; row < matrix->rows(); ++row)
        matrix->values[row * matrix->columns + static_cast<std::size_t>(target)] =
            matrix->values[row * matrix->columns + static_cast<std::size_t>(source)] * factor;
    return true;
}

// A statement that changes a table after it was written: the two standard
// unit conversions are taken, anything else cannot be evaluated here and is
// refused rather than leaving the table wrong.
void takeTableChange(Tables& t, const std::string& name, std::string_view rest, int line,
                     const caseread::Constants& constants)
{
    const std::string change = normalized(rest);
    const std::string table = name.substr(0, name.rfind('.') + 1);
    if (takeColumnScaling(t, name, change, constants))
        return;
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

// A scalar statement's value: the expression up to its ";", comment or line
// end; false when it is no constant expression.
bool evaluateStatement(std::string_view rest, const caseread::Constants& constants, caseread::Evaluation& e)
{
    e = caseread::evaluate(rest, 0, constants, caseread::ExpressionContext::Statement);
    if (!e.ok)
        return false;
    std::size_t i = e.end;
    while (i < rest.size() && (rest[i] == ' ' || rest[i] == '\t' || rest[i] == '\r'))
        ++i;
    return i == rest.size() || rest[i] == ';' || rest[i] == ',' || rest[i] == '%' || rest[i] == '#' || rest[i] == '\n';
}

double baseMvaValue(std::string_view rest, const caseread::Constants& constants, const std::string& name, int line)
{
    const std::string written = normalized(rest);
    caseread::Evaluation e;
    if (!evaluateStatement(rest, constants, e) || std::isnan(e.value))
        failAt(line, "базисная мощность " + name + " не число: " + caseread::quoted(written));
    if (e.value == 0 && e.underflow)
        failAt(line, "базисная мощность " + name + " слишком мала: " + caseread::quoted(written));
    if (std::isinf(e.value) && e.value > 0)
        failAt(line, "базисная мощность " + name + " слишком велика: " + caseread::quoted(written));
    if (!(e.value > 0))
        failAt(line, "базисная мощность " + name + " должна быть положительным числом: " + caseread::quoted(written));
    return e.value;
}

// The "if", "for", "while", "switch" and "try" blocks around the statements:
// which of them the case runs. An "if" is decided by its condition when the
// condition is a constant expression (fixed = 0; if fixed ... end); a block
// the reader cannot decide is told as soon as a statement inside it would
// change what the import reads.
class Blocks {
public:
    enum class State { Run, Skipped, Undecided };

    State state() const { return frames_.empty() ? State::Run : frames_.back().state; }

    void openIf(std::string_view condition, const caseread::Constants& constants, int line)
    {
        Frame f;
        f.isIf = true;
        f.outer = state();
        f.state = f.outer;
        if (f.outer == State::Run)
            decide(f, "if", condition, constants, line);
        frames_.push_back(f);
    }

    void elseIf(std::string_view condition, const caseread::Constants& constants, int line)
    {
        if (!inIf())
            failAt(line, "«elseif» без «if»");
        Frame& f = frames_.back();
        if (f.outer != State::Run || !f.decided)
            return;
        if (f.taken)
            f.state = State::Skipped;
        else
            decide(f, "elseif", condition, constants, line);
    }

    void otherwise(int line)
    {
        if (!inIf())
            failAt(line, "«else» без «if»");
        Frame& f = frames_.back();
        if (f.outer != State::Run || !f.decided)
            return;
        f.state = f.taken ? State::Skipped : State::Run;
        f.taken = true;
    }

    // A loop or another block runs its statements as the block around it.
    void openOther()
    {
        Frame f;
        f.outer = state();
        f.state = f.outer;
        frames_.push_back(f);
    }

    // An "end" with no block open closes the function.
    void close()
    {
        if (!frames_.empty())
            frames_.pop_back();
    }

    // Refuses a statement that an undecided block holds.
    void requireDecided(const std::string& what, int line) const
    {
        if (state() != State::Undecided)
            return;
        for (const Frame& f : frames_)
            if (f.state == State::Undecided && f.outer == State::Run)
                failAt(f.line, "импорт не может вычислить условие " + caseread::quoted(f.condition) +
                                   ", а от него зависит " + what + " в строке " + formatInt(line));
    }

private:
    struct Frame {
        bool isIf = false;
        State outer = State::Run;  // the state around the block
        State state = State::Run;
        bool taken = false;    // a branch of the "if" has run
        bool decided = true;   // every condition so far was evaluated
        int line = 0;          // of the undecided condition
        std::string condition;
    };

    bool inIf() const { return !frames_.empty() && frames_.back().isIf; }

    static void decide(Frame& f, const char* keyword, std::string_view condition, const caseread::Constants& constants,
                       int line)
    {
        caseread::Evaluation e;
        if (!evaluateStatement(condition, constants, e) || std::isnan(e.value)) {
            f.state = State::Undecided;
            f.decided = false;
            f.line = line;
            f.condition = std::string(keyword) + " " + std::string(trimmedBlanks(condition));
            return;
        }
        f.taken = e.value != 0;
        f.state = f.taken ? State::Run : State::Skipped;
    }

    std::vector<Frame> frames_;
};

bool isTableField(const std::string& field)
{
    return field == "bus" || field == "gen" || field == "branch";
}

Tables scanTables(std::string_view text)
{
    caseread::Constants constants;
    Scanner s(text, constants);
    Tables t;
    Blocks blocks;
    while (true) {
        s.skipSpace();
        if (s.atEnd())
            break;
        if (s.peek() == ',' || s.peek() == ';') {
            s.advance();
            continue;
        }
        if (!isIdentifierChar(s.peek())) {
            s.skipValue();
            continue;
        }
        const int line = s.line();
        const std::string name(s.identifier());
        if (name == "function") {
            s.skipToLineEnd();
            continue;
        }
        if (name == "if" || name == "elseif") {
            const std::string_view condition = s.condition();
            if (name == "if")
                blocks.openIf(condition, constants, line);
            else
                blocks.elseIf(condition, constants, line);
            continue;
        }
        if (name == "else") {
            blocks.otherwise(line);
            continue;
        }
        if (name == "for" || name == "while" || name == "switch" || name == "try" || name == "parfor") {
            blocks.openOther();
            s.skipValue();
            continue;
        }
        if (name == "end" || name == "endif" || name == "endfor" || name == "endwhile" || name == "end_try_catch" ||
            name == "endswitch") {
            blocks.close();
            continue;
        }
        if (blocks.state() == Blocks::State::Skipped) {
            s.skipValue();
            continue;
        }
        s.skipSpace();
        const std::string field = fieldOf(name);
        if (s.peek() == '(' && (isTableField(field) || field == "baseMVA")) {
            blocks.requireDecided("таблица " + name, line);
            takeTableChange(t, name, s.statementRest(), line, constants);
            continue;
        }
        if (s.peek() != '=' || s.peekAt(1) == '=') {
            s.skipValue();
            continue;
        }
        s.advance();
        s.skipSpace();
        if (isTableField(field)) {
            blocks.requireDecided("таблица " + name, line);
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
            blocks.requireDecided("базисная мощность " + name, line);
            t.baseMva = baseMvaValue(s.statementRest(), constants, name, line);
            t.haveBaseMva = true;
            t.baseMvaLine = line;
        } else if (field == "version") {
            blocks.requireDecided("версия формата " + name, line);
            t.version = s.scalarText();
        } else if (name == "Vbase" || name == "Sbase") {
            blocks.requireDecided("величина " + name, line);
            (name == "Vbase" ? t.vbase : t.sbase) = normalized(s.statementRest());
        } else if (field.empty()) {
            // A variable: known while it holds a constant the case decided.
            const std::string_view rest = s.statementRest();
            caseread::Evaluation e;
            if (blocks.state() == Blocks::State::Run && evaluateStatement(rest, constants, e))
                constants[name] = e.value;
            else
                constants.erase(name);
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
        // A rating that is no positive finite number limits nothing.
        const double rateA = t.branch.at(i, 5);
        br.rateA = std::isfinite(rateA) && rateA > 0 ? rateA : 0.0;
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
    // Looked for by "bus": its "b" is rare where every figure has a ".".
    for (std::size_t bus = text.find("bus", 1); bus != std::string_view::npos; bus = text.find("bus", bus + 3)) {
        if (text[bus - 1] != '.')
            continue;
        const std::size_t pos = bus - 1;
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
    }
    return false;
}

}  // namespace tarvel
