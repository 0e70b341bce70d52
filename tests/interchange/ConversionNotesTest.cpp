// Every change that ЦДУ text forces on a case is told in the summary, and the
// converted network is still one that the calculation accepts.
#include <string>

#include <gtest/gtest.h>

#include "tests/interchange/InterchangeTestSupport.h"

using namespace tarvel;
using namespace tarvel::test;

namespace {

// A MATPOWER case from its rows (columns as in the format; bus rows need 13
// numbers, generator rows 10, branch rows 11).
std::string caseText(const std::string& buses, const std::string& generators, const std::string& branches)
{
    return "function mpc = test_case\nmpc.version = '2';\nmpc.baseMVA = 100;\nmpc.bus = [\n" + buses +
           "];\nmpc.gen = [\n" + generators + "];\nmpc.branch = [\n" + branches + "];\n";
}

// Three buses at 110 kV: 1 reference, 2 holding its voltage, 3 a load.
const std::string kBuses = "1 3 0 0 0 0 1 1 0 110 1 1.1 0.9;\n"
                           "2 2 10 5 0 0 1 1 0 110 1 1.1 0.9;\n"
                           "3 1 30 10 0 0 1 1 0 110 1 1.1 0.9;\n";
const std::string kGenerators = "1 0 0 Inf -Inf 1.05 100 1 100 0;\n"
                                "2 20 0 Inf -Inf 1.02 100 1 100 0;\n";
const std::string kBranches = "1 2 0.01 0.05 0.02 0 0 0 0 0 1;\n"
                              "2 3 0.01 0.05 0.02 0 0 0 0 0 1;\n"
                              "1 3 0.01 0.05 0.02 0 0 0 0 0 1;\n";

bool hasLine(const std::string& text, const std::string& line)
{
    return text.find(line + "\n") != std::string::npos;
}

// Imports and runs the case; the calculation must accept what was written.
Imported importAndRun(const std::string& text, double baseKv = kDefaultBaseKv)
{
    Imported i = importText(text, baseKv);
    EXPECT_TRUE(i.conversion.ok) << i.read.error << i.conversion.error;
    const auto s = solve(i.conversion.text, 1e-3f, 20);
    EXPECT_EQ(s->outcome, RunOutcome::Converged) << i.conversion.text;
    return i;
}

}  // namespace

TEST(ConversionNotes, ACaseThatFitsIsConvertedWithoutNotes)
{
    const Imported i = importAndRun(caseText(kBuses, kGenerators, kBranches));
    EXPECT_TRUE(i.conversion.notes.empty());
    EXPECT_NE(i.summary().find("Все данные перенесены без изменений"), std::string::npos);
    EXPECT_TRUE(hasLine(i.conversion.text, "0102 0 1 115.5 0 0 0 0 0 0 0"));
    EXPECT_TRUE(hasLine(i.conversion.text, "0201 0 2 110 -10 5 0 0 112.2 0 0"));
    EXPECT_TRUE(hasLine(i.conversion.text, "0201 0 3 110 30 10 0 0 0 0 0"));
}

TEST(ConversionNotes, GeneratorQLimitsAndConflictingSetVoltagesAreNamedByBus)
{
    const Imported i = importAndRun(caseText(kBuses,
                                             "1 0 0 Inf -Inf 1.05 100 1 100 0;\n2 20 0 15 -5 1.02 100 1 100 0;\n"
                                             "2 5 0 10 -3 1.03 100 1 100 0;\n",
                                             kBranches));
    EXPECT_NE(i.summary().find("Пределы реактивной мощности генераторов записаны в узлах с фиксированным напряжением "
                               "(расчет учитывает их, когда включено «Учитывать пределы Q» или задан --q-limits), "
                               "узлов: 1 (2)"),
              std::string::npos)
        << i.summary();
    // Both generators feed bus 2 and their limits add up; the first one's
    // voltage is kept.
    EXPECT_TRUE(hasLine(i.conversion.text, "0201 0 2 110 -15 5 0 0 112.2 -8 25")) << i.conversion.text;
    EXPECT_NE(i.summary().find("Генераторы одного узла держат разные напряжения: взято напряжение первого, узлов: 1 (2)"),
              std::string::npos)
        << i.summary();
}

TEST(ConversionNotes, ShuntConductanceBecomesLoadAtNominalVoltage)
{
    const Imported i = importAndRun(caseText("1 3 0 0 0 0 1 1 0 110 1 1.1 0.9;\n2 2 10 5 0 0 1 1 0 110 1 1.1 0.9;\n"
                                             "3 1 30 10 4 12.1 1 1 0 110 1 1.1 0.9;\n",
                                             kGenerators, kBranches));
    // 30 MW of load and 4 MW of shunt conductance; 12.1 Mvar at 110 kV is 1000 µS.
    EXPECT_TRUE(hasLine(i.conversion.text, "0201 0 3 110 34 10 0 0 0 0 0")) << i.conversion.text;
    EXPECT_TRUE(hasLine(i.conversion.text, "0301 0 3 0 0 -1000")) << i.conversion.text;
    EXPECT_NE(i.summary().find("Активная проводимость шунтов заменена нагрузкой при номинальном напряжении, узлов: 1 (3)"),
              std::string::npos)
        << i.summary();
}

TEST(ConversionNotes, PhaseShiftAndSmallReactanceAreNamedByBranch)
{
    const Imported i = importAndRun(caseText(kBuses, kGenerators,
                                             "1 2 0.01 0.05 0.02 0 0 0 1 5 1;\n"
                                             "2 3 0 0.00005 0 0 0 0 0 0 1;\n"
                                             "1 3 0.01 0.05 0.02 0 0 0 0 0 1;\n"));
    // The angle stands after Kt; the exact method of a small network does
    // without it, and the summary says so.
    EXPECT_TRUE(hasLine(i.conversion.text, "0301 0 1 2 1.21 6.05 -165.2893 1 5 0 0")) << i.conversion.text;
    EXPECT_NE(i.summary().find("Фазовый сдвиг трансформаторов записан после Kt, но сеть до 99 узлов и 149 ветвей точный "
                               "метод рассчитывает без него (его учитывает полная модель), ветвей: 1 (1-2)"),
              std::string::npos)
        << i.summary();
    // 0.00005 p.u. at 110 kV is 0.00605 Ohm.
    EXPECT_NE(i.summary().find("меньше 1,001 Ом: расчет примет x = 1,01 Ом, ветвей: 1 (2-3)"), std::string::npos)
        << i.summary();
    EXPECT_TRUE(hasLine(i.conversion.text, "0301 0 2 3 0 0.00605 0 1 0 0 0")) << i.conversion.text;
}

TEST(ConversionNotes, IsolatedAndOutOfServiceElementsAreLeftOut)
{
    const Imported i = importAndRun(caseText(kBuses + "4 1 5 1 0 0 1 1 0 110 1 1.1 0.9;\n"
                                                      "5 1 5 1 0 0 1 1 0 110 1 1.1 0.9;\n"
                                                      "6 4 5 1 0 0 1 1 0 110 1 1.1 0.9;\n"
                                                      "7 1 5 1 0 0 1 1 0 110 1 1.1 0.9;\n",
                                             kGenerators + "3 10 0 Inf -Inf 1 100 0 100 0;\n",
                                             kBranches + "4 5 0.01 0.05 0 0 0 0 0 0 1;\n"
                                                         "3 6 0.01 0.05 0 0 0 0 0 0 1;\n"
                                                         "3 7 0.01 0.05 0 0 0 0 0 0 0;\n"));
    const std::string& t = i.conversion.text;
    for (const char* gone : {"0201 0 4 ", "0201 0 5 ", "0201 0 6 ", "0201 0 7 ", "0301 0 4 5 ", "0301 0 3 6 ", "0301 0 3 7 "})
        EXPECT_EQ(t.find(gone), std::string::npos) << gone;
    EXPECT_TRUE(hasLine(t, "0201 0 3 110 30 10 0 0 0 0 0")) << "the switched-off generator adds nothing";
    const std::string s = i.summary();
    EXPECT_NE(s.find("Изолированные узлы (не связаны с базисным узлом) не переносятся, узлов: 3 (4, 5, 7)"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("Отключенные узлы не переносятся: 1 (6)"), std::string::npos) << s;
    EXPECT_NE(s.find("Отключенные генераторы не переносятся, в узлах: 1 (3)"), std::string::npos) << s;
    EXPECT_NE(s.find("Отключенные ветви не переносятся: 2 (3-6, 3-7)"), std::string::npos) << s;
    EXPECT_EQ(i.conversion.nodes, 3);
    EXPECT_EQ(i.conversion.branches, 3);
}

// A generator at 10.5 kV behind its step-up transformer is the reference
// bus. Both ends of the transformer are barred from being the base node, so
// it moves to the nearest bus without one, at the case's voltage there; the
// generator keeps its voltage and its scheduled output.
TEST(ConversionNotes, ReferenceBusAtAStepUpTransformerHandsTheBaseNodeOver)
{
    const Imported i = importAndRun(caseText("1 3 0 0 0 0 1 1.05 0 10.5 1 1.1 0.9;\n"
                                             "2 1 0 0 0 0 1 1.02 0 110 1 1.1 0.9;\n"
                                             "3 1 60 20 0 0 1 1.01 0 110 1 1.1 0.9;\n",
                                             "1 62 0 Inf -Inf 1.05 100 1 100 0;\n",
                                             "1 2 0 0.1 0 0 0 0 0 0 1;\n"
                                             "2 3 0.01 0.05 0.02 0 0 0 0 0 1;\n"));
    const std::string& t = i.conversion.text;
    EXPECT_TRUE(hasLine(t, "0102 0 3 111.1 60 20 0 0 0 0 0")) << t;
    EXPECT_TRUE(hasLine(t, "0201 0 1 10.5 -62 0 0 0 11.025 0 0")) << t;
    EXPECT_TRUE(hasLine(t, "0301 0 1 2 0 12.1 0 0.09545455 0 0 0")) << t;
    EXPECT_EQ(i.conversion.baseNode, 3);
    EXPECT_NE(i.summary().find("базисный узел перенесен в узел 3 при 111,1 кВ, узел 1 записан с фиксированным "
                               "напряжением 11,025 кВ и заданной генерацией 62 МВт"),
              std::string::npos)
        << i.summary();
}

TEST(ConversionNotes, NumbersBeyondTheFormatAreReplacedAndMapped)
{
    const Imported i = importAndRun(caseText("1 3 0 0 0 0 1 1 0 110 1 1.1 0.9;\n"
                                             "250000 1 10 5 0 0 1 1 0 110 1 1.1 0.9;\n"
                                             "3 1 30 10 0 0 1 1 0 110 1 1.1 0.9;\n",
                                             "1 0 0 Inf -Inf 1.05 100 1 100 0;\n",
                                             "1 250000 0.01 0.05 0.02 0 0 0 0 0 1;\n"
                                             "250000 3 0.01 0.05 0.02 0 0 0 0 0 1;\n"));
    const std::string& t = i.conversion.text;
    EXPECT_TRUE(hasLine(t, "0201 0 2 110 10 5 0 0 0 0 0")) << t;
    EXPECT_TRUE(hasLine(t, "0301 0 1 2 1.21 6.05 -165.2893 1 0 0 0")) << t;
    EXPECT_TRUE(hasLine(t, "0301 0 2 3 1.21 6.05 -165.2893 1 0 0 0")) << t;
    EXPECT_NE(i.summary().find("Номера узлов вне пределов 1..100000 заменены: 1 (250000 → 2)"), std::string::npos)
        << i.summary();
}

TEST(ConversionNotes, ACaseWithoutBaseVoltagesTakesTheGivenOne)
{
    std::string buses = kBuses;
    for (std::size_t p; (p = buses.find(" 110 ")) != std::string::npos;)
        buses.replace(p, 5, " 0 ");
    const std::string text = caseText(buses, kGenerators, kBranches);
    EXPECT_TRUE(caseLacksBaseVoltage(importText(text).read.data));
    // (At 35 kV these lines would be shorter than 1 Ohm and the level raised.)
    const Imported i = importAndRun(text, 66);
    EXPECT_TRUE(hasLine(i.conversion.text, "0201 0 3 66 30 10 0 0 0 0 0")) << i.conversion.text;
    EXPECT_NE(i.summary().find("Базисные напряжения в файле не заданы: все узлы приняты на 66 кВ"), std::string::npos);
    EXPECT_FALSE(importText(text, 0.05).conversion.ok);
}

TEST(ConversionNotes, ShuntAtTheBaseNodeAndChargingOfLongCablesAreTold)
{
    // 13 p.u. of charging at 110 kV is 107438 µS: too much for a branch record,
    // so each end gets half as a shunt.
    const Imported i = importAndRun(caseText("1 3 0 0 0 20 1 1 0 110 1 1.1 0.9;\n"
                                             "2 2 10 5 0 0 1 1 0 110 1 1.1 0.9;\n"
                                             "3 1 30 10 0 0 1 1 0 110 1 1.1 0.9;\n",
                                             kGenerators,
                                             "1 2 0.01 0.05 0.02 0 0 0 0 0 1;\n"
                                             "2 3 0.01 0.05 13 0 0 0 0 0 1;\n"
                                             "1 3 0.01 0.05 0.02 0 0 0 0 0 1;\n"));
    EXPECT_TRUE(hasLine(i.conversion.text, "0301 0 2 3 1.21 6.05 0 1 0 0 0")) << i.conversion.text;
    EXPECT_TRUE(hasLine(i.conversion.text, "0301 0 3 0 0 -53719.01")) << i.conversion.text;
    EXPECT_NE(i.summary().find("Зарядная проводимость записана шунтами в узлах концов, ветвей: 1 (2-3)"),
              std::string::npos)
        << i.summary();
    EXPECT_NE(i.summary().find("Шунт базисного узла не переносится (он меняет только мощность базисного узла): 1 (1)"),
              std::string::npos)
        << i.summary();
}

// The reader holds ratios in single precision, where 0.9 lies more than 0.1
// from 1: a reference bus at such a transformer hands the base node over too.
TEST(ConversionNotes, ARatioOfExactlyPointNineAtTheReferenceBusCountsAsFarFromOne)
{
    const Imported i = importAndRun(caseText(kBuses + "4 1 5 1 0 0 1 1 0 110 1 1.1 0.9;\n", kGenerators,
                                             "1 2 0.01 0.05 0 0 0 0 0.9 0 1;\n"
                                             "2 3 0.01 0.05 0.02 0 0 0 0 0 1;\n"
                                             "1 3 0.01 0.05 0.02 0 0 0 0 0 1;\n"
                                             "3 4 0.01 0.05 0.02 0 0 0 0 0 1;\n"));
    EXPECT_EQ(i.conversion.baseNode, 3) << i.conversion.text;
}

// A file that puts a line before the title card reads as the file without it;
// remote voltage control and automatic tap control are told, not dropped.
TEST(ConversionNotes, CommonDataFormatControlDataIsTold)
{
    std::string text = fileBytes(sourcePath("tests/data/interchange/ieee14.cdf"));
    const Imported plain = importText(text);
    // Bus 2 controls bus 4; transformer 4-7 has a tap that controls voltage.
    text.replace(text.find("-40.0   0.0    0.0        0"), 27, "-40.0   0.0    0.0        4");
    text.replace(text.find("   4    7  1  1 1 0"), 19, "   4    7  1  1 1 2");
    const Imported i = importAndRun("TAPE\n" + text);
    EXPECT_EQ(i.conversion.text, plain.conversion.text);
    const std::string s = i.summary();
    EXPECT_NE(s.find("Автоматическое регулирование коэффициента трансформации или фазы не переносится (взят "
                     "конечный коэффициент), ветвей: 1 (4-7)"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("Регулирование напряжения другого узла не переносится (генератор держит напряжение своего "
                     "узла), узлов: 1 (2→4)"),
              std::string::npos)
        << s;
}

// The base node leaves a reference bus behind a transformer for the nearest
// bus that holds its voltage (bus 3), whose voltage is right in any solution,
// rather than for the nearer load bus 2.
TEST(ConversionNotes, AMovedBaseNodeGoesToABusThatHoldsItsVoltage)
{
    const Imported i = importAndRun(caseText("1 3 0 0 0 0 1 1.05 0 10.5 1 1.1 0.9;\n"
                                             "2 1 60 20 0 0 1 1.02 0 110 1 1.1 0.9;\n"
                                             "3 2 10 0 0 0 1 1.03 0 110 1 1.1 0.9;\n",
                                             "1 62 0 Inf -Inf 1.05 100 1 100 0;\n"
                                             "3 10 0 Inf -Inf 1.03 100 1 100 0;\n",
                                             "1 2 0 0.1 0 0 0 0 0 0 1;\n"
                                             "2 3 0.01 0.05 0.02 0 0 0 0 0 1;\n"));
    EXPECT_EQ(i.conversion.baseNode, 3);
    EXPECT_TRUE(hasLine(i.conversion.text, "0102 0 3 113.3 10 0 0 0 0 0 0")) << i.conversion.text;
}

// A fixed-voltage node's record holds its load's Q (its generation is what the
// calculation finds beyond it) and its generators' summed reactive limits; a
// side that no generator limits is written open, a bus whose generators
// limit neither side, or give a minimum above the maximum, gets none.
TEST(ConversionNotes, FixedVoltageNodesCarryTheirLoadAndTheirGeneratorsLimits)
{
    const std::string buses = kBuses + "4 2 7 3 0 0 1 1 0 110 1 1.1 0.9;\n5 2 0 0 0 0 1 1 0 110 1 1.1 0.9;\n";
    const std::string branches = kBranches + "3 4 0.01 0.05 0.02 0 0 0 0 0 1;\n4 5 0.01 0.05 0.02 0 0 0 0 0 1;\n";
    const Imported i = importAndRun(caseText(buses,
                                             "1 0 0 50 -50 1.05 100 1 100 0;\n"
                                             "2 20 12 40 -Inf 1.02 100 1 100 0;\n"
                                             "2 5 -4 15 -10 1.02 100 1 100 0;\n"
                                             "4 10 6 Inf -Inf 1.01 100 1 100 0;\n"
                                             "5 10 6 -5 5 1.01 100 1 100 0;\n",
                                             branches));
    const std::string& t = i.conversion.text;
    EXPECT_TRUE(hasLine(t, "0201 0 2 110 -15 5 0 0 112.2 -1e+09 55")) << t;
    EXPECT_TRUE(hasLine(t, "0201 0 4 110 -3 3 0 0 111.1 0 0")) << t;
    EXPECT_TRUE(hasLine(t, "0201 0 5 110 -10 0 0 0 111.1 0 0")) << t;
    // A load bus keeps its net injection, a generator's Q included.
    EXPECT_TRUE(hasLine(t, "0201 0 3 110 30 10 0 0 0 0 0")) << t;
    EXPECT_NE(i.summary().find("узлов: 1 (2)"), std::string::npos) << i.summary();
    EXPECT_NE(i.summary().find("Пределы реактивной мощности генераторов с Qmin больше Qmax не переносятся, узлов: 1 (5)"),
              std::string::npos)
        << i.summary();

    // A voltage-controlled bus's scheduled Q was part of its record before;
    // the solution does not depend on it.
    const Imported j = importAndRun(caseText(kBuses, "1 0 0 Inf -Inf 1.05 100 1 100 0;\n2 20 30 Inf -Inf 1.02 100 1 100 0;\n",
                                             kBranches));
    EXPECT_TRUE(hasLine(j.conversion.text, "0201 0 2 110 -10 5 0 0 112.2 0 0")) << j.conversion.text;
}

// Loads that the precision would hide are told with the precision to use:
// a feeder of 0.9 MW at 0.01 converges almost before it starts.
TEST(ConversionNotes, LoadsBelowAHundredPrecisionsAreToldWithThePrecisionToUse)
{
    const std::string buses = "1 3 0 0 0 0 1 1 0 10 1 1.1 0.9;\n2 1 0.9 0.4 0 0 1 1 0 10 1 1.1 0.9;\n"
                              "3 1 0.2 -0.5 0 0 1 1 0 10 1 1.1 0.9;\n";
    const std::string branches = "1 2 0.01 0.05 0 0 0 0 0 0 1;\n2 3 0.01 0.05 0 0 0 0 0 0 1;\n";
    const std::string text = caseText(buses, "1 0 0 Inf -Inf 1 100 1 100 0;\n", branches);
    const Imported i = importAndRun(text);
    EXPECT_NE(i.summary().find("Нагрузки узлов меньше 100 точностей расчета (наибольшая 0,9 МВт или Мвар при точности "
                               "0,01): задайте точность 0,0001 или меньше"),
              std::string::npos)
        << i.summary();
    auto toldAt = [&](double precision, CalculationMethod method = CalculationMethod::Exact) {
        ConversionOptions options;
        options.precision = precision;
        options.method = method;
        return conversionSummary(i.read.data, convertCase(i.read.data, options)).find("Нагрузки узлов") !=
               std::string::npos;
    };
    EXPECT_FALSE(toldAt(1e-4));
    EXPECT_FALSE(toldAt(0.009));
    EXPECT_TRUE(toldAt(0.0091));
    // The full model, an import's own, goes on to the accuracy of the data
    // whatever the precision: nothing to propose.
    EXPECT_FALSE(toldAt(0.01, CalculationMethod::Auto));
    EXPECT_FALSE(toldAt(0.01, CalculationMethod::Sparse));
}

namespace {

// A 110 kV ring of `ring` buses fed by a 10.5 kV generator behind its step-up
// transformer (the reference bus 1), every fifth line a 0.3 Ohm tie, one
// line a phase shifter of 5 degrees, and a 110/10 kV transformer whose
// reactance on the 10 kV side is 0.08 Ohm.
std::string ringCase(int ring)
{
    std::string buses = "1 3 0 0 0 0 1 1.05 0 10.5 1 1.1 0.9;\n", branches = "1 2 0 0.1 0 0 0 0 0 0 1;\n";
    for (int k = 2; k <= ring + 1; ++k) {
        buses += std::to_string(k) + " 1 5 2 0 0 1 1 0 110 1 1.1 0.9;\n";
        const int next = k == ring + 1 ? 2 : k + 1;
        const char* x = k % 5 == 0 ? "0.00247934" : "0.05";
        branches += std::to_string(k) + " " + std::to_string(next) + " 0.01 " + x + " 0.02 0 0 0 0 " +
                    (k == 3 ? "5" : "0") + " 1;\n";
    }
    const std::string low = std::to_string(ring + 2);
    buses += low + " 1 3 1 0 0 1 1 0 10 1 1.1 0.9;\n";
    branches += "2 " + low + " 0.005 0.08 0 0 0 0 1.025 0 1;\n";
    return caseText(buses, "1 0 0 Inf -Inf 1.05 100 1 100 0;\n", branches);
}

}  // namespace

// Within 99 nodes and 149 branches the small-impedance and base-node
// workarounds stay as they were; beyond, the calculation takes the network
// as written, so the case's reference bus stays the base node, the step-down
// transformer keeps its own side and short lines and phase shifts are
// written as they are, without a note.
TEST(ConversionNotes, BeyondTheExactMethodsTablesTheNetworkIsWrittenAsItIs)
{
    const Imported small = importText(ringCase(20));
    ASSERT_TRUE(small.conversion.ok) << small.read.error << small.conversion.error;
    EXPECT_NE(small.conversion.baseNode, 1);
    EXPECT_TRUE(hasLine(small.conversion.text, "0301 0 22 2 0.6356281 10.17005 0 0.0886918 0 0 0"))
        << small.conversion.text;
    for (const char* told : {"базисный узел перенесен", "|x| меньше 1,001 Ом", "Фазовый сдвиг"})
        EXPECT_NE(small.summary().find(told), std::string::npos) << told << "\n" << small.summary();

    const Imported large = importText(ringCase(110));
    ASSERT_TRUE(large.conversion.ok) << large.read.error << large.conversion.error;
    const std::string& t = large.conversion.text;
    EXPECT_EQ(large.conversion.baseNode, 1);
    EXPECT_TRUE(hasLine(t, "0102 0 1 11.025 0 0 0 0 0 0 0")) << t.substr(0, 200);
    EXPECT_TRUE(hasLine(t, "0301 0 1 2 0 12.1 0 0.09545455 0 0 0"));
    EXPECT_TRUE(hasLine(t, "0301 0 2 112 0.005 0.08 0 11.275 0 0 0"));
    EXPECT_TRUE(hasLine(t, "0301 0 5 6 1.21 0.3000001 -165.2893 1 0 0 0"));
    EXPECT_TRUE(hasLine(t, "0301 0 3 4 1.21 6.05 -165.2893 1 5 0 0"));
    EXPECT_TRUE(large.conversion.raisedBases.empty());
    for (const char* silent : {"перенесен в узел", "|x| меньше", "Фазовый сдвиг", "повышенном"})
        EXPECT_EQ(large.summary().find(silent), std::string::npos) << silent << "\n" << large.summary();
}
