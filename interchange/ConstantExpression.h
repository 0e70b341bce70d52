// Figures and conditions as MATPOWER case files write them: numbers, the four
// operations and "^", parentheses, sqrt, pi, Inf, NaN, true, false and the
// variables the case set to a constant before (fixed = 0); a condition may
// also compare (==, ~=, <, <=, >, >=) and join (~, &&, ||). Anything else
// (a function call, an index) cannot be evaluated.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tarvel::caseread {

using Constants = std::unordered_map<std::string, double>;

enum class ExpressionContext {
    Statement,      // blanks are insignificant: "50 / 3" and "if fixed == 1"
    MatrixElement,  // inside [ ]: "1 -2" are two figures, "1 - 2" and "1-2" one
};

struct Evaluation {
    bool ok = false;
    double value = 0;
    std::size_t end = 0;     // the first character after the expression
    bool underflow = false;  // a figure was below the smallest double and read as 0
};

// Evaluates the expression that starts at text[pos]; it ends before the first
// character that cannot continue it (in a statement, before "," ";" "%" or a
// line end; in a matrix, also before a blank that separates two figures).
// Fails (ok false) when the text there is no expression the case may hold.
Evaluation evaluate(std::string_view text, std::size_t pos, const Constants& constants, ExpressionContext context);

}  // namespace tarvel::caseread
