// Bad case files are refused with a Russian sentence that names the line, and
// no cut or damaged file makes the import crash or accept half a network.
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/interchange/InterchangeTestSupport.h"

using namespace tarvel;
using namespace tarvel::test;

namespace {

std::string errorOf(const std::string& text)
{
    const Imported i = importText(text);
    if (!i.read.ok)
        return i.read.error;
    return i.conversion.ok ? std::string() : i.conversion.error;
}

const std::string kHead = "function mpc = bad\nmpc.version = '2';\nmpc.baseMVA = 100;\n";          // lines 1-3
const std::string kBus = "mpc.bus = [\n1 3 0 0 0 0 1 1 0 110 1 1.1 0.9;\n2 1 10 5 0 0 1 1 0 110 1 1.1 0.9;\n];\n";  // 4-7
const std::string kGen = "mpc.gen = [\n1 0 0 10 -10 1.05 100 1 100 0;\n];\n";                          // 8-10
const std::string kBranch = "mpc.branch = [\n1 2 0.01 0.05 0.02 0 0 0 0 0 1;\n];\n";                    // 11-13

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    const auto p = text.find(from);
    EXPECT_NE(p, std::string::npos) << from;
    return text.replace(p, from.size(), to);
}

}  // namespace

TEST(CaseReaderErrors, MatpowerFaultsAreNamedWithTheirLine)
{
    const std::string good = kHead + kBus + kGen + kBranch;
    ASSERT_EQ(errorOf(good), "");
    const struct {
        std::string text, expected;
    } cases[] = {
        {good.substr(0, good.size() - 20), "Файл обрывается: таблица mpc.branch, начатая в строке 11, не закрыта знаком «]»"},
        {replaced(good, "2 1 10 5 0 0 1 1 0 110 1 1.1 0.9", "2 1 10 5 0 0 1 1 0 110 1 1.1"),
         "Строка 6: в строке таблицы mpc.bus 12 чисел, а в первой ее строке 13"},
        {replaced(good, "2 1 10 5", "2 1 1O 5"), "Строка 6: «1O» в таблице mpc.bus не число"},
        {replaced(good, "2 1 10 5", "2 1 NaN 5"), "Строка 6: значение NaN в таблице mpc.bus"},
        {replaced(good, "2 1 10 5", "2 1 Inf 5"), "Строка 6: Pd: недопустимое значение Inf"},
        {replaced(good, "1 2 0.01", "1 7 0.01"), "Строка 12: ветвь 1-7 ссылается на узел 7, которого нет среди узлов"},
        {replaced(good, "\n1 0 0 10", "\n5 0 0 10"), "Строка 9: генератор ссылается на узел 5, которого нет среди узлов"},
        {replaced(good, "2 1 10 5", "1 1 10 5"), "Строка 6: узел 1 задан повторно (впервые в строке 5)"},
        {replaced(good, "2 1 10 5", "2.5 1 10 5"), "Строка 6: номер узла должен быть целым числом: 2.5"},
        {replaced(good, "2 1 10 5", "2 7 10 5"), "Строка 6: тип узла 7 не существует (допустимы 1, 2, 3 и 4)"},
        {replaced(good, "1 2 0.01 0.05 0.02 0 0 0 0 0 1", "1 2 0.01 0.05 0.02 0 0 0 0 0"),
         "Строка 12: в таблице ветвей 10 столбцов, нужно не меньше 11"},
        {replaced(good, "mpc.baseMVA = 100", "mpc.baseMVA = -1"), "Строка 3: базисная мощность mpc.baseMVA должна быть положительным числом: «-1»"},
        {replaced(good, "mpc.version = '2'", "mpc.version = '1'"), "Формат MATPOWER версии «1» не поддерживается: нужна версия 2"},
        {kHead + kBus + kGen, "В файле нет таблицы ветвей (mpc.branch)"},
        {replaced(good, "2 1 10 5 0 0 1 1 0 110", "2 1 10 5 0 0 1 1 0 2000"),
         "Строка 6: базисное напряжение узла 2 2000 кВ вне пределов от 0,1 до 1500 кВ"},
        // Values whose ЦДУ figure would overflow: the text must not end at "inf".
        {replaced(good, "1 2 0.01", "1 2 1e300"), "Строка 12: значение вне допустимых пределов: 1.21e+302"},
        {replaced(good, "2 1 10 5", "2 1 1e308 5"), "Строка 6: значение вне допустимых пределов: 1e+308"},
        {replaced(good, "1 3 0 0", "1 1 0 0"),
         "В схеме нет балансирующего узла (тип 3) и нет узла с генератором, который мог бы его заменить"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(errorOf(c.text), c.expected) << c.text;
}

TEST(CaseReaderErrors, CommonDataFormatFaultsAreNamedWithTheirLine)
{
    const std::string good = fileBytes(sourcePath("tests/data/interchange/ieee14.cdf"));
    ASSERT_EQ(errorOf(good), "");
    const std::string bus5 = "   5 Bus 5     HV  1  1  0 1.020  -8.78      7.6      1.6";
    const struct {
        std::string text, expected;
    } cases[] = {
        {good.substr(0, good.find("-999")), "Файл обрывается: раздел BUS DATA, начатый в строке 2, не закончен строкой -999"},
        {replaced(good, bus5, "   5 Bus 5     HV  1  1  0 1.020  -8.78      7.6      1,6"),
         "Строка 7: поле «нагрузка Q» (колонки 50-59) «1,6» не число"},
        {replaced(good, bus5 + "      0.0     0.0     0.0  0.0       0.0     0.0   0.0    0.0        0", "   5 Bus 5"),
         "Строка 7: запись узла обрывается до колонки 33"},
        {replaced(good, "   4    7  1  1 1 0", "   4   77  1  1 1 0"),
         "Строка 26: ветвь 4-77 ссылается на узел 77, которого нет среди узлов"},
        {replaced(good, " 08/19/93 UW ARCHIVE           100.0", " 08/19/93 UW ARCHIVE             0.0"),
         "Строка 1: в заглавной строке нет базисной мощности (колонки 32-37)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(errorOf(c.text), c.expected);
}

// Every cut of a case either converts or is refused with a message: nothing
// crashes, and an accepted cut never holds a branch to an unknown bus.
TEST(CaseReaderErrors, EveryCutOfACaseIsConvertedOrRefused)
{
    for (const char* file : {"tests/data/interchange/case9.m", "tests/data/interchange/ieee14.cdf"}) {
        const std::string whole = fileBytes(sourcePath(file));
        ASSERT_FALSE(whole.empty());
        for (std::size_t length = 0; length < whole.size(); length += 13) {
            const Imported i = importText(whole.substr(0, length));
            if (!i.read.ok) {
                EXPECT_FALSE(i.read.error.empty()) << file << " " << length;
            } else if (!i.conversion.ok) {
                EXPECT_FALSE(i.conversion.error.empty()) << file << " " << length;
            }
        }
    }
}

// MATPOWER's own habits: comments anywhere, commas, "..." continuations, rows
// on one line, extra columns, other assignments with brackets and quotes.
TEST(CaseReaderErrors, MatpowerSyntaxVariantsReadAlike)
{
    const std::string plain = kHead + kBus + kGen + kBranch;
    const std::string varied =
        "function s = variant\n% mpc.bus = [ 9 9 9 ];\ns.version = '2';\ns.baseMVA = 100;\n"
        "s.bus_name = { 'A;]'; 'B' };\n"
        "s.bus = [ 1, 3, 0, 0, 0, 0, 1, 1, 0, 110, 1, 1.1, 0.9, 7; % first\n"
        "          2  1 10 ...\n 5 0 0 1 1 0 110 1 1.1 0.9 7 ];\n"
        "s.gen = [1 0 0 10 -10 1.05 100 1 100 0 0 0 0];\n"
        "s.gencost = [2 0 0 3 0.1 1 0];\n"
        "s.branch = [\n\t1\t2\t1e-2\t5E-2\t.02\t0\t0\t0\t0\t0\t1\t-360\t360\n];\n";
    const Imported a = importText(plain), b = importText(varied);
    ASSERT_TRUE(b.conversion.ok) << b.read.error << b.conversion.error;
    EXPECT_EQ(a.conversion.text, b.conversion.text);
}

// A case's own switch around its corrections (fixed = 0; if fixed ... end)
// decides which statements run: a switched-off block is passed over, a
// switched-on one is read as any statement is, and a condition the reader
// cannot evaluate is refused with its line once a table depends on it.
TEST(CaseReaderErrors, IfBlocksAreDecidedByTheCasesOwnConstants)
{
    const std::string plain = kHead + kBus + kGen + kBranch;
    const std::string expected = importText(plain).conversion.text;
    const std::string fix = "mpc.gen(:, 2) = 0;\n";
    const std::string off = plain + "fixed = 0;   % 1 applies the fixes\nif fixed\n  " + fix + "end\n";
    const Imported a = importText(off);
    ASSERT_TRUE(a.conversion.ok) << a.read.error;
    EXPECT_EQ(a.conversion.text, expected);
    for (const std::string& variant :
         {plain + "fixed = 0; if fixed, " + fix + "end\n", plain + "fixed = 2 - 2;\nif fixed == 1 && 1\n" + fix + "end\n",
          plain + "on = 1;\nif ~on\n" + fix + "elseif on > 1\n" + fix + "else\n  x = 3;\nend\n",
          plain + "if false\n  if true\n" + fix + "  end\n  mpc.bus = [ 9 ];\nend\n",
          // A block that changes nothing the import reads needs no decision.
          plain + "if nargout > 1\n  x = 2;\nend\n"}) {
        const Imported b = importText(variant);
        EXPECT_TRUE(b.conversion.ok) << variant << b.read.error;
        EXPECT_EQ(b.conversion.text, expected) << variant;
    }
    // Switched on, the correction is a change the import does not evaluate.
    EXPECT_EQ(errorOf(plain + "fixed = 1;\nif fixed\n" + fix + "end\n"),
              "Строка 16: таблица mpc.gen изменяется выражением, которое импорт не вычисляет: «mpc.gen(:,2)=0»");
    // A variable set inside an undecided block is no longer known.
    EXPECT_EQ(errorOf(plain + "fixed = 0;\nif exist('fixes', 'file')\n  fixed = 1;\nend\nif fixed\n" + fix + "end\n"),
              "Строка 18: импорт не может вычислить условие «if fixed», а от него зависит таблица mpc.gen в строке 19");
    EXPECT_EQ(errorOf(plain + "if exist('fixes', 'file')  % optional\n  x = 1;\n  " + fix + "end\n"),
              "Строка 14: импорт не может вычислить условие «if exist('fixes', 'file')», а от него зависит таблица "
              "mpc.gen в строке 16");
    EXPECT_EQ(errorOf(plain + "else\n"), "Строка 14: «else» без «if»");
}

// Figures written as constant expressions are evaluated as MATLAB does,
// blanks included: in a table "1 -2" are two figures, "1 - 2" is one.
TEST(CaseReaderErrors, ConstantExpressionsInTablesAndScalarsAreEvaluated)
{
    const std::string text = "function mpc = expr\nmpc.version = '2';\nscale = 2;\nmpc.baseMVA = 50 * scale;\n"
                             "mpc.bus = [\n1 3 0 0 0 0 1 1 0 135/sqrt(3) 1 1.1 0.9;\n"
                             "2 1 50/3 (1+2)*1.5 0 0 1 1 -2^2 110 1 1.1 0.9;\n"
                             "3 1 10 - 4 -scale 0 0 1 1 0 110 1 1.1 0.9;\n];\n"
                             "mpc.gen = [1 0 0 10 -10 1.05 100 1 100 0];\n"
                             "mpc.branch = [\n1 2 0.01 0.05 pi/100 0 0 0 0 0 1;\n2 3 1e-2 .5e-1 0 0 0 0 0 0 1;\n];\n";
    const Imported i = importText(text);
    ASSERT_TRUE(i.read.ok) << i.read.error;
    const CaseData& c = i.read.data;
    EXPECT_DOUBLE_EQ(c.baseMva, 100);
    EXPECT_DOUBLE_EQ(c.buses[0].baseKv, 135 / std::sqrt(3.0));
    EXPECT_DOUBLE_EQ(c.buses[1].pd, 50.0 / 3);
    EXPECT_DOUBLE_EQ(c.buses[1].qd, 4.5);
    EXPECT_DOUBLE_EQ(c.buses[1].va, -4);
    EXPECT_DOUBLE_EQ(c.buses[2].pd, 6);
    EXPECT_DOUBLE_EQ(c.buses[2].qd, -2);
    EXPECT_DOUBLE_EQ(c.branches[0].b, std::numbers::pi / 100);

    const std::string good = kHead + kBus + kGen + kBranch;
    const struct {
        std::string text, expected;
    } refused[] = {
        {replaced(good, "2 1 10 5", "2 1 10/x 5"),
         "Строка 6: «10/x» в таблице mpc.bus не вычисляется (импорт вычисляет числа, четыре действия, скобки, sqrt, "
         "pi и величины, заданные в файле числом)"},
        {replaced(good, "2 1 10 5", "2 1 max(1,2) 5"), "Строка 6: «max(1» в таблице mpc.bus не вычисляется (импорт "
                                                        "вычисляет числа, четыре действия, скобки, sqrt, pi и "
                                                        "величины, заданные в файле числом)"},
        {replaced(good, "1.1 0.9;\n2", "1.1 0.9 +;\n2"), "Строка 5: «+» в таблице mpc.bus не число"},
        {replaced(good, "2 1 10 5", "2 1 ((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((1" +
                                        std::string(70, ')') + " 5"),
         "Строка 6: «((((((((((((((((((((((((((((((((((((((((...» в таблице mpc.bus не вычисляется (импорт вычисляет "
         "числа, четыре действия, скобки, sqrt, pi и величины, заданные в файле числом)"},
    };
    for (const auto& r : refused)
        EXPECT_EQ(errorOf(r.text), r.expected) << r.text;
}

// A refused base power is told for what it is: a positive value is never
// called "not positive".
TEST(CaseReaderErrors, ARefusedBasePowerIsToldForWhatItIs)
{
    const std::string good = kHead + kBus + kGen + kBranch;
    const struct {
        std::string value, expected;
    } cases[] = {
        {"1e-400", "слишком мала: «1e-400»"},
        {"1e400", "слишком велика: «1e400»"},
        {"100 MVA", "не число: «100MVA»"},
        {"0", "должна быть положительным числом: «0»"},
        {"-50*2", "должна быть положительным числом: «-50*2»"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(errorOf(replaced(good, "mpc.baseMVA = 100", "mpc.baseMVA = " + c.value)),
                  "Строка 3: базисная мощность mpc.baseMVA " + c.expected)
            << c.value;
    EXPECT_EQ(importText(replaced(good, "mpc.baseMVA = 100", "mpc.baseMVA = 1e3 / 10")).conversion.text,
              importText(good).conversion.text);
}
