#include "interchange/ConstantExpression.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <numbers>

namespace tarvel::caseread {

namespace {

// Deeper nesting than any figure needs is refused rather than recursed into.
constexpr int kMaxNesting = 64;

struct NotEvaluable {};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isNameStart(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isNameChar(char c)
{
    return isNameStart(c) || isDigit(c) || c == '_';
}

// Recursive descent in MATLAB's order of operations: || below &&, below the
// comparisons, below + and -, below * and /, below the unary signs, below ^.
class Parser {
public:
    Parser(std::string_view text, std::size_t pos, const Constants& constants, ExpressionContext context)
        : text_(text), pos_(pos), constants_(constants), context_(context)
    {
    }

    Evaluation run()
    {
        Evaluation e;
        try {
            skipBlanks();
            e.value = context_ == ExpressionContext::MatrixElement ? sum() : either();
            e.ok = true;
        } catch (const NotEvaluable&) {
            e.ok = false;
        }
        e.end = pos_;
        e.underflow = underflow_;
        return e;
    }

private:
    char peek(std::size_t ahead = 0) const { return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0'; }

    bool skipBlanks()
    {
        const std::size_t start = pos_;
        while (isBlank(peek()))
            ++pos_;
        return pos_ != start;
    }

    // Inside [ ] and outside parentheses a blank separates figures.
    bool blanksSeparate() const { return context_ == ExpressionContext::MatrixElement && parentheses_ == 0; }

    // The operator that follows an operand, after blanks that do not end it;
    // the position stays before the blanks when none follows.
    bool takeOperator(std::string_view op)
    {
        const std::size_t save = pos_;
        const bool spaced = skipBlanks();
        if (text_.substr(pos_, op.size()) != op) {
            pos_ = save;
            return false;
        }
        // "1 -2" in a matrix: a sign that touches the next figure after a
        // blank starts a new figure.
        if ((op == "+" || op == "-") && spaced && blanksSeparate() && !isBlank(peek(1))) {
            pos_ = save;
            return false;
        }
        // "a = b" is no comparison, "1.5" no operator.
        if ((op == "<" || op == ">") && peek(1) == '=') {
            pos_ = save;
            return false;
        }
        if ((op == "|" && peek(1) == '|') || (op == "&" && peek(1) == '&')) {
            pos_ = save;
            return false;
        }
        pos_ += op.size();
        skipBlanks();
        return true;
    }

    double either()
    {
        double v = both();
        while (takeOperator("||") || takeOperator("|")) {
            const double w = both();
            v = (v != 0 || w != 0) ? 1 : 0;
        }
        return v;
    }

    double both()
    {
        double v = comparison();
        while (takeOperator("&&") || takeOperator("&")) {
            const double w = comparison();
            v = (v != 0 && w != 0) ? 1 : 0;
        }
        return v;
    }

    double comparison()
    {
        const double a = sum();
        if (takeOperator("=="))
            return a == sum() ? 1 : 0;
        if (takeOperator("~=") || takeOperator("!="))
            return a != sum() ? 1 : 0;
        if (takeOperator("<="))
            return a <= sum() ? 1 : 0;
        if (takeOperator(">="))
            return a >= sum() ? 1 : 0;
        if (takeOperator("<"))
            return a < sum() ? 1 : 0;
        if (takeOperator(">"))
            return a > sum() ? 1 : 0;
        return a;
    }

    double sum()
    {
        double v = product();
        while (true) {
            if (takeOperator("+"))
                v += product();
            else if (takeOperator("-"))
                v -= product();
            else
                return v;
        }
    }

    double product()
    {
        double v = signed_();
        while (true) {
            if (takeOperator("*") || takeOperator(".*"))
                v *= signed_();
            else if (takeOperator("/") || takeOperator("./"))
                v /= signed_();
            else
                return v;
        }
    }

    double signed_()
    {
        const Nesting nesting(*this);
        const char c = peek();
        if (c == '-' || c == '+' || ((c == '~' || c == '!') && peek(1) != '=')) {
            ++pos_;
            skipBlanks();
            const double v = signed_();
            return c == '-' ? -v : c == '+' ? v : (v == 0 ? 1 : 0);
        }
        return power();
    }

    double power()
    {
        double v = primary();
        while (takeOperator("^") || takeOperator(".^"))
            v = std::pow(v, exponent());
        return v;
    }

    // 2^-1: the exponent may carry its own sign.
    double exponent()
    {
        const Nesting nesting(*this);
        const char c = peek();
        if (c == '-' || c == '+') {
            ++pos_;
            skipBlanks();
            return c == '-' ? -exponent() : exponent();
        }
        return primary();
    }

    double primary()
    {
        const char c = peek();
        if (isDigit(c) || (c == '.' && isDigit(peek(1))))
            return number();
        if (c == '(')
            return parenthesized();
        if (isNameStart(c))
            return named();
        throw NotEvaluable{};
    }

    double parenthesized()
    {
        const Nesting nesting(*this);
        ++pos_;
        ++parentheses_;
        skipBlanks();
        const double v = either();
        skipBlanks();
        if (peek() != ')')
            throw NotEvaluable{};
        ++pos_;
        --parentheses_;
        return v;
    }

    double number()
    {
        const std::size_t start = pos_;
        while (isDigit(peek()))
            ++pos_;
        // "1./x" divides 1 element by element; "1.5" and "1." are figures.
        if (peek() == '.' && peek(1) != '*' && peek(1) != '/' && peek(1) != '^') {
            ++pos_;
            while (isDigit(peek()))
                ++pos_;
        }
        if ((peek() == 'e' || peek() == 'E') &&
            (isDigit(peek(1)) || ((peek(1) == '+' || peek(1) == '-') && isDigit(peek(2))))) {
            pos_ += 2;
            while (isDigit(peek()))
                ++pos_;
        }
        const std::string_view digits = text_.substr(start, pos_ - start);
        double value = 0;
        const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (r.ec == std::errc::result_out_of_range) {
            value = std::strtod(std::string(digits).c_str(), nullptr);
            if (value == 0)
                underflow_ = true;
        } else if (r.ec != std::errc() || r.ptr != digits.data() + digits.size()) {
            throw NotEvaluable{};
        }
        return value;
    }

    // The functions of one argument a case's statements use (a power factor
    // turned into Q by sin(acos(pf))).
    static double (*functionNamed(const std::string& name))(double)
    {
        static const std::pair<const char*, double (*)(double)> functions[] = {
            {"sqrt", [](double x) { return std::sqrt(x); }}, {"sin", [](double x) { return std::sin(x); }},
            {"cos", [](double x) { return std::cos(x); }},   {"tan", [](double x) { return std::tan(x); }},
            {"asin", [](double x) { return std::asin(x); }}, {"acos", [](double x) { return std::acos(x); }},
            {"atan", [](double x) { return std::atan(x); }}, {"exp", [](double x) { return std::exp(x); }},
            {"abs", [](double x) { return std::fabs(x); }},
        };
        for (const auto& [n, f] : functions)
            if (name == n)
                return f;
        return nullptr;
    }

    double named()
    {
        const std::size_t start = pos_;
        while (isNameChar(peek()))
            ++pos_;
        const std::string name(text_.substr(start, pos_ - start));
        if (const auto function = functionNamed(name)) {
            if (!blanksSeparate())
                skipBlanks();
            if (peek() != '(')
                throw NotEvaluable{};
            return function(parenthesized());
        }
        // A call or an index: nothing this reader evaluates.
        if (peek() == '(')
            throw NotEvaluable{};
        if (name == "pi")
            return std::numbers::pi;
        if (name == "Inf" || name == "inf")
            return std::numeric_limits<double>::infinity();
        if (name == "NaN" || name == "nan")
            return std::numeric_limits<double>::quiet_NaN();
        if (name == "true")
            return 1;
        if (name == "false")
            return 0;
        const auto it = constants_.find(name);
        if (it == constants_.end())
            throw NotEvaluable{};
        return it->second;
    }

    // Counts the nesting of signs and parentheses for as long as it lives.
    class Nesting {
    public:
        explicit Nesting(Parser& p) : p_(p)
        {
            if (++p_.nesting_ > kMaxNesting)
                throw NotEvaluable{};
        }
        ~Nesting() { --p_.nesting_; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;

    private:
        Parser& p_;
    };

    std::string_view text_;
    std::size_t pos_;
    const Constants& constants_;
    ExpressionContext context_;
    int parentheses_ = 0;
    int nesting_ = 0;
    bool underflow_ = false;
};

}  // namespace

Evaluation evaluate(std::string_view text, std::size_t pos, const Constants& constants, ExpressionContext context)
{
    return Parser(text, pos, constants, context).run();
}

}  // namespace tarvel::caseread
