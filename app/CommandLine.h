// The command line of tarvel and tarvel-cli, split once into what each
// argument is; each program then takes the values it knows.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvel::app {

// The working folder, which both programs take.
inline constexpr std::string_view kWorkDirOption = "--workdir";

enum class OptionKind { Unknown, Flag, WithValue };

struct Argument {
    enum class Kind {
        Help,          // -h or --help
        Flag,          // name
        Option,        // name and value ("--name value" or "--name=value")
        Input,         // value: the one operand
        Unknown,       // name: the argument as given
        MissingValue,  // name: an option with a value that the command line ends before
        Extra,         // name: an operand after the first
    };
    Kind kind = Kind::Input;
    std::string name;
    std::string value;
};

// The arguments after the program's name, in their order. An argument of
// more than one character that starts with '-' is an option until "--",
// after which every argument is an operand; "-" alone is an operand.
// kindOf tells the options a program knows by name.
std::vector<Argument> splitCommandLine(const std::vector<std::string>& arguments,
                                       const std::function<OptionKind(std::string_view name)>& kindOf);

// The value of --iterations: a whole number 0..kMostIterations, stored in
// value; else why it is refused.
std::string iterationsProblem(std::string_view text, int32_t& value);

}  // namespace tarvel::app
