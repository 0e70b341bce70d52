// Bad case files are refused with a Russian sentence that names the line, and
// no cut or damaged file makes the import crash or accept half a network.
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
