#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace tarvel::app {
namespace {

OptionKind kindOf(std::string_view name)
{
    if (name == "--losses")
        return OptionKind::Flag;
    return name == kWorkDirOption || name == "--precision" ? OptionKind::WithValue : OptionKind::Unknown;
}

std::string shown(const std::vector<Argument>& arguments)
{
    std::string text;
    for (const Argument& a : arguments)
        text += std::to_string(static_cast<int>(a.kind)) + "[" + a.name + "|" + a.value + "] ";
    return text;
}

std::vector<Argument> split(std::vector<std::string> args)
{
    return splitCommandLine(args, kindOf);
}

TEST(CommandLine, EachArgumentIsToldForWhatItIs)
{
    using K = Argument::Kind;
    // Both ways of giving a value; a value may start with '-' or hold '='.
    EXPECT_EQ(shown(split({"--workdir", "-d", "--precision=0.1=2", "net.cdu"})),
              shown({{K::Option, "--workdir", "-d"}, {K::Option, "--precision", "0.1=2"}, {K::Input, "", "net.cdu"}}));
    // A flag takes no value; an unknown name is told as written.
    EXPECT_EQ(shown(split({"--losses=1", "--losses", "-x", "--workdirx"})),
              shown({{K::Unknown, "--losses=1", ""}, {K::Flag, "--losses", ""}, {K::Unknown, "-x", ""},
                     {K::Unknown, "--workdirx", ""}}));
    // "-" is an operand, and so is everything after "--"; a second operand is extra.
    EXPECT_EQ(shown(split({"-", "--", "--help", "--"})),
              shown({{K::Input, "", "-"}, {K::Extra, "--help", ""}, {K::Extra, "--", ""}}));
    EXPECT_EQ(shown(split({"-h", "--help", "--precision"})),
              shown({{K::Help, "-h", ""}, {K::Help, "--help", ""}, {K::MissingValue, "--precision", ""}}));
    EXPECT_EQ(shown(split({"--workdir="})), shown({{K::Option, "--workdir", ""}}));
}

}  // namespace
}  // namespace tarvel::app
