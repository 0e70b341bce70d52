// What the two case readers share: the failure that stops a read, and the
// checks of single values that both formats need.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvel::caseread {

// Thrown inside a reader and turned into CaseReadResult::error at its entry.
struct Failure {
    std::string message;
};

[[noreturn]] void fail(std::string message);
[[noreturn]] void failAt(int line, const std::string& message);

// The token as a message may quote it: at most 40 printable ASCII characters.
std::string quoted(std::string_view token);

// A bus number must be a whole number that a 64-bit integer holds exactly.
int64_t busNumber(double value, int line, const char* what);

// A value the conversion computes with must be finite.
double finite(double value, int line, const char* what);

}  // namespace tarvel::caseread
