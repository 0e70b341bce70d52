#include "interchange/CaseReadSupport.h"

#include "model/TextFile.h"

namespace tarvel::caseread {

void fail(std::string message)
{
    throw Failure{std::move(message)};
}

void failAt(int line, const std::string& message)
{
    fail("Строка " + formatInt(line) + ": " + message);
}

std::string quoted(std::string_view token)
{
    std::string out = "«";
    std::size_t shown = 0;
    for (char c : token) {
        if (shown == 40) {
            out += "...";
            break;
        }
        const auto u = static_cast<unsigned char>(c);
        out += (u >= 0x20 && u < 0x7f) ? c : '?';
        ++shown;
    }
    return out + "»";
}

int64_t busNumber(double value, int line, const char* what)
{
    if (!std::isfinite(value) || value != std::floor(value) || std::fabs(value) > 1e15)
        failAt(line, std::string(what) + " должен быть целым числом: " + formatGeneral(value, 0, 15));
    return static_cast<int64_t>(value);
}

double finite(double value, int line, const char* what)
{
    if (!std::isfinite(value))
        failAt(line, std::string(what) + ": недопустимое значение " + (std::isnan(value) ? "NaN" : "Inf"));
    return value;
}

}  // namespace tarvel::caseread
