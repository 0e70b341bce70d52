#include "app/CommandLine.h"

#include <charconv>

#include "model/CalculationSettings.h"

namespace tarvel::app {

std::vector<Argument> splitCommandLine(const std::vector<std::string>& arguments,
                                       const std::function<OptionKind(std::string_view name)>& kindOf)
{
    using Kind = Argument::Kind;
    std::vector<Argument> out;
    bool optionsEnded = false;
    bool haveInput = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        if (optionsEnded || arg.size() <= 1 || arg[0] != '-') {
            out.push_back({haveInput ? Kind::Extra : Kind::Input, haveInput ? arg : "", haveInput ? "" : arg});
            haveInput = true;
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            out.push_back({Kind::Help, arg, ""});
            continue;
        }
        if (kindOf(arg) == OptionKind::Flag) {
            out.push_back({Kind::Flag, arg, ""});
            continue;
        }
        const std::size_t eq = arg.starts_with("--") ? arg.find('=') : std::string::npos;
        const std::string name = eq == std::string::npos ? arg : arg.substr(0, eq);
        if (kindOf(name) != OptionKind::WithValue) {
            out.push_back({Kind::Unknown, arg, ""});
        } else if (eq != std::string::npos) {
            out.push_back({Kind::Option, name, arg.substr(eq + 1)});
        } else if (i + 1 < arguments.size()) {
            out.push_back({Kind::Option, name, arguments[++i]});
        } else {
            out.push_back({Kind::MissingValue, name, ""});
        }
    }
    return out;
}

std::string iterationsProblem(std::string_view text, int32_t& value)
{
    long long v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    const bool whole = !text.empty() && r.ptr == text.data() + text.size();
    if (!whole || text.starts_with('-') || (r.ec != std::errc() && r.ec != std::errc::result_out_of_range))
        return "число итераций должно быть целым числом не меньше 0: " + std::string(text);
    if (r.ec != std::errc() || v > kMostIterations)
        return "число итераций не может быть больше " + std::to_string(kMostIterations) + ": " + std::string(text);
    value = static_cast<int32_t>(v);
    return {};
}

}  // namespace tarvel::app
