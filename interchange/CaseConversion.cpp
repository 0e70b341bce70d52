#include "interchange/CaseConversion.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <deque>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "interchange/CaseReadSupport.h"
#include "model/NetworkModel.h"
#include "model/TextFile.h"

namespace tarvel {

namespace {

using caseread::fail;
using caseread::failAt;

// Limits of the ЦДУ text and of its reader.
constexpr int64_t kMaxNodeNumber = 100000;
constexpr double kMinUnom = 0.1, kMaxUnom = 1500;  // kV
constexpr double kMaxBranchSusceptanceMicroS = 99999.0;
constexpr double kSmallReactanceOhm = 1.001;
constexpr double kRaisedReactanceOhm = 1.01;  // what the calculation makes of a smaller one
// Raising a reactance by less than this (p.u. on the system base, a quarter
// of what a long line has) is tolerated rather than moving a whole voltage
// level off its base: it is a switch, a short tie in a high-voltage network
// or a short medium-voltage line, whose raise is told.
constexpr double kTolerableAddedReactancePu = 0.25;
constexpr float kBaseTransformerTolerance = 0.1f;
// How many element numbers a note lists before "…".
constexpr std::size_t kListedElements = 5;
constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180.0;
// A reactive limit the case leaves open on one side is written as this
// many Mvar: far beyond any generator, and a figure the text holds.
constexpr double kOpenReactiveLimit = 1e9;
// Mvar: the limits written for generators whose reactive output the case
// fixes at 0 (both limits 0, which a node record reads as none).
constexpr double kZeroReactiveLimit = 1e-6;
// The largest phase shift a branch record holds, degrees.
constexpr double kMaxPhaseShift = 90.0;
// Loads below this many times the precision are told, and the precision
// proposed leaves them this many times more (a power of ten).
constexpr double kLoadsPerPrecision = 100.0;
constexpr double kProposedMargin = 10.0;

// A changed or left-out group of elements: its sentence, its count and the
// first few of its elements.
class Note {
public:
    explicit Note(std::string sentence) : sentence_(std::move(sentence)) {}
    void add(const std::string& element)
    {
        if (elements_.size() < kListedElements)
            elements_.push_back(element);
        ++count_;
    }
    // Counts the element but lists its name once (a bus with several
    // generators).
    void addOnce(const std::string& element)
    {
        if (std::find(elements_.begin(), elements_.end(), element) == elements_.end())
            add(element);
        else
            ++count_;
    }
    void addTo(std::vector<std::string>& notes, const std::string& count = {}) const
    {
        if (count_ == 0)
            return;
        std::string text = sentence_ + ": " + (count.empty() ? formatInt(count_) : count);
        if (!elements_.empty()) {
            text += " (";
            for (std::size_t i = 0; i < elements_.size(); ++i)
                text += (i ? ", " : "") + elements_[i];
            text += count_ > static_cast<long long>(elements_.size()) ? ", …)" : ")";
        }
        notes.push_back(text);
    }

private:
    std::string sentence_;
    std::vector<std::string> elements_;
    long long count_ = 0;
};

// A value that overflowed would read as the end of the ЦДУ text, so the
// case's line is named instead.
void requireWritable(double v, int line)
{
    if (!std::isfinite(v) || std::fabs(v) > 1e30)
        failAt(line, "значение вне допустимых пределов: " + formatGeneral(v, 0, 7));
}

// A number as the ЦДУ text holds it: the shortest of 7 significant digits,
// no "-0".
std::string cduNumber(double v, int line)
{
    requireWritable(v, line);
    if (v == 0 || std::fabs(v) < 1e-30)
        return "0";
    return formatGeneral(v, 0, 7);
}

// A figure of a note, with the decimal comma of Russian text.
std::string noteNumber(double v, int significant = 4)
{
    std::string s = formatGeneral(v, 0, significant);
    std::replace(s.begin(), s.end(), '.', ',');
    return s;
}

std::string busName(int64_t number)
{
    return formatInt(number);
}

std::string branchName(const CaseBranch& br)
{
    return formatInt(br.from) + "-" + formatInt(br.to);
}

struct BusState {
    bool inService = true;
    bool reached = false;
    double unom = 0;          // kV
    double genP = 0, genQ = 0;
    int generators = 0;       // in service
    double vg = 0;            // set voltage of the first generator, p.u.
    // Summed reactive limits of its generators, Mvar; infinite where one of
    // them has none.
    double qmin = 0, qmax = 0;
    bool setVoltageConflict = false;  // another generator sets another voltage
    double shuntB = 0;        // S, capacitive positive
    bool fixedVoltage = false;
    int64_t outNumber = 0;
    std::vector<std::size_t> branches;  // kept branches at the bus
};

struct BranchState {
    bool kept = false;
    double ratio = 1;             // Kt at the first end
    double r = 0, x = 0;          // Ohm
    double bMicroS = 0;           // charging kept on the branch, µS, capacitive positive
    double shuntFrom = 0, shuntTo = 0;  // charging written as node shunts at its ends, S
    bool reversed = false;        // written from the second end
    double shift = 0;             // degrees, the angle of the ratio at the first end written
};

class Converter {
public:
    Converter(const CaseData& c, const ConversionOptions& o) : c_(c), options_(o), bus_(c.buses.size()), branch_(c.branches.size()) {}

    CduConversion run()
    {
        indexBuses();
        sumGenerators();
        chooseReference();
        keepBranches();
        findIslands();
        judgeSize();
        setBaseVoltages();
        raiseShortLineLevels();
        convertBranches();
        moveBaseFromTransformer();
        convertShunts();
        numberNodes();
        writeText();
        collectNotes();
        return std::move(out_);
    }

private:
    std::size_t busIndex(int64_t number, int line, const std::string& what) const
    {
        const auto it = index_.find(number);
        if (it == index_.end())
            failAt(line, what + " ссылается на узел " + formatInt(number) + ", которого нет среди узлов");
        return it->second;
    }

    void indexBuses()
    {
        if (c_.buses.empty())
            fail("В файле нет ни одного узла");
        index_.reserve(c_.buses.size() * 2);
        for (std::size_t i = 0; i < c_.buses.size(); ++i) {
            const CaseBus& b = c_.buses[i];
            const auto [it, fresh] = index_.emplace(b.number, i);
            if (!fresh)
                failAt(b.line, "узел " + formatInt(b.number) + " задан повторно (впервые в строке " +
                                   formatInt(c_.buses[it->second].line) + ")");
            bus_[i].inService = b.type != CaseBusType::Isolated;
            if (!bus_[i].inService)
                outOfServiceBuses_.add(busName(b.number));
        }
    }

    void sumGenerators()
    {
        for (const CaseGenerator& g : c_.generators) {
            const std::size_t i = busIndex(g.bus, g.line, "генератор");
            if (!g.inService || !bus_[i].inService) {
                outOfServiceGenerators_.addOnce(busName(g.bus));
                continue;
            }
            BusState& s = bus_[i];
            if (s.generators == 0)
                s.vg = g.vg;
            else if (g.vg != s.vg && !s.setVoltageConflict && c_.buses[i].type != CaseBusType::Load) {
                s.setVoltageConflict = true;
                differentSetVoltages_.add(busName(g.bus));
            }
            ++s.generators;
            s.genP += g.pg;
            s.genQ += g.qg;
            s.qmin += g.hasQLimits ? g.qmin : -HUGE_VAL;
            s.qmax += g.hasQLimits ? g.qmax : HUGE_VAL;
        }
        for (std::size_t i = 0; i < c_.buses.size(); ++i) {
            const CaseBusType t = c_.buses[i].type;
            if (t == CaseBusType::VoltageControlled || t == CaseBusType::Reference) {
                const CaseBus& b = c_.buses[i];
                if (bus_[i].inService && b.remoteBus != 0 && b.remoteBus != b.number)
                    remoteControl_.add(busName(b.number) + "→" + busName(b.remoteBus));
                if (bus_[i].generators > 0)
                    bus_[i].fixedVoltage = true;
                else if (t == CaseBusType::VoltageControlled)
                    pvWithoutGenerators_.add(busName(c_.buses[i].number));
            }
        }
    }

    void chooseReference()
    {
        for (std::size_t i = 0; i < c_.buses.size(); ++i) {
            if (!bus_[i].inService || c_.buses[i].type != CaseBusType::Reference)
                continue;
            if (ref_ == kNone)
                ref_ = i;
            else
                extraReferences_.add(busName(c_.buses[i].number));
        }
        if (ref_ == kNone) {
            for (std::size_t i = 0; i < c_.buses.size() && ref_ == kNone; ++i)
                if (bus_[i].inService && bus_[i].fixedVoltage)
                    ref_ = i;
            if (ref_ == kNone)
                fail("В схеме нет балансирующего узла (тип 3) и нет узла с генератором, который мог бы его заменить");
            chosenReference_ = true;
        }
    }

    void keepBranches()
    {
        for (std::size_t j = 0; j < c_.branches.size(); ++j) {
            const CaseBranch& br = c_.branches[j];
            const std::size_t f = busIndex(br.from, br.line, "ветвь " + branchName(br));
            const std::size_t t = busIndex(br.to, br.line, "ветвь " + branchName(br));
            if (!br.inService || !bus_[f].inService || !bus_[t].inService) {
                outOfServiceBranches_.add(branchName(br));
                continue;
            }
            if (f == t) {
                selfLoops_.add(branchName(br));
                continue;
            }
            branch_[j].kept = true;
            bus_[f].branches.push_back(j);
            bus_[t].branches.push_back(j);
        }
    }

    std::size_t otherEnd(std::size_t j, std::size_t i) const
    {
        const std::size_t f = index_.at(c_.branches[j].from);
        return f == i ? index_.at(c_.branches[j].to) : f;
    }

    void findIslands()
    {
        std::deque<std::size_t> queue{ref_};
        bus_[ref_].reached = true;
        while (!queue.empty()) {
            const std::size_t i = queue.front();
            queue.pop_front();
            for (std::size_t j : bus_[i].branches) {
                const std::size_t k = otherEnd(j, i);
                if (!bus_[k].reached) {
                    bus_[k].reached = true;
                    queue.push_back(k);
                }
            }
        }
        for (std::size_t i = 0; i < c_.buses.size(); ++i)
            if (bus_[i].inService && !bus_[i].reached)
                isolated_.add(busName(c_.buses[i].number));
        // A branch inside an island is left out with its buses.
        for (std::size_t j = 0; j < c_.branches.size(); ++j)
            if (branch_[j].kept && !bus_[index_.at(c_.branches[j].from)].reached)
                branch_[j].kept = false;
    }

    // The full model (any import not solved by the exact method, and any
    // network beyond that method's tables of 99 nodes besides the base node
    // and 149 branches) takes the network as written: reactances below 1.001
    // Ohm, any transformer at the base node, shunt conductances.
    void judgeSize()
    {
        long long nodes = 0, branches = 0;
        for (const BusState& b : bus_)
            nodes += b.reached ? 1 : 0;
        for (const BranchState& br : branch_)
            branches += br.kept ? 1 : 0;
        fullModel_ = options_.method != CalculationMethod::Exact || nodes - 1 > kExactMethodNodes ||
                     branches > kExactMethodBranches;
    }

    void setBaseVoltages()
    {
        for (std::size_t i = 0; i < c_.buses.size(); ++i) {
            if (!bus_[i].reached)
                continue;
            const double kv = c_.buses[i].baseKv;
            if (kv > 0 && (kv < kMinUnom || kv > kMaxUnom))
                failAt(c_.buses[i].line, "базисное напряжение узла " + formatInt(c_.buses[i].number) + " " +
                                             noteNumber(kv, 7) + " кВ вне пределов от 0,1 до 1500 кВ");
            if (kv > 0) {
                bus_[i].unom = kv;
            } else {
                bus_[i].unom = options_.defaultBaseKv;
                ++defaultedBuses_;
            }
            ++reachedBuses_;
        }
    }

    // Buses joined by branches of one base voltage form a voltage level. A
    // level whose lines are so short that raising their reactance to 1.01 Ohm
    // would change them beyond tolerance (a 6.6 kV cable of 0.01 Ohm) is
    // written at a higher base voltage, the same for the whole level: nothing
    // changes in per unit, and the reactances in Ohm reach what the
    // calculation takes. Its voltages in kV are then on the raised base.
    void raiseShortLineLevels()
    {
        if (fullModel_)
            return;
        std::vector<std::size_t> level(c_.buses.size());
        for (std::size_t i = 0; i < level.size(); ++i)
            level[i] = i;
        auto root = [&](std::size_t i) {
            while (level[i] != i)
                i = level[i] = level[level[i]];
            return i;
        };
        auto sameLevel = [&](const CaseBranch& br, std::size_t& f, std::size_t& t) {
            f = index_.at(br.from);
            t = index_.at(br.to);
            return bus_[f].unom == bus_[t].unom;
        };
        for (std::size_t j = 0; j < c_.branches.size(); ++j) {
            std::size_t f = 0, t = 0;
            if (branch_[j].kept && sameLevel(c_.branches[j], f, t))
                level[root(f)] = root(t);
        }
        struct Level {
            int lines = 0, short_ = 0;
            bool gross = false;
            double neededKv = 0;
        };
        std::unordered_map<std::size_t, Level> levels;
        for (std::size_t j = 0; j < c_.branches.size(); ++j) {
            const CaseBranch& br = c_.branches[j];
            std::size_t f = 0, t = 0;
            if (!branch_[j].kept || !sameLevel(br, f, t))
                continue;
            Level& level = levels[root(t)];
            ++level.lines;
            const double kv = bus_[t].unom;
            const double xOhm = std::fabs(br.x) * kv * kv / c_.baseMva;
            if (xOhm >= kSmallReactanceOhm)
                continue;
            // A branch that no base voltage within the format's limit can
            // hold (a switch written with x near 0) is left to be raised.
            const double needed = br.x != 0 ? std::sqrt(kRaisedReactanceOhm * c_.baseMva / std::fabs(br.x)) : kMaxUnom * 2;
            if (needed > kMaxUnom)
                continue;
            ++level.short_;
            level.gross = level.gross || (kRaisedReactanceOhm - xOhm) * c_.baseMva / (kv * kv) > kTolerableAddedReactancePu;
            level.neededKv = std::max(level.neededKv, needed);
        }
        // A level is raised when a raise would change one of its lines
        // grossly, or most of its lines (a distribution feeder).
        std::unordered_map<std::size_t, double> raised;
        for (const auto& [r, level] : levels)
            if (level.gross || (level.short_ > 0 && 2 * level.short_ >= level.lines))
                raised[r] = std::min(roundedUp(level.neededKv), kMaxUnom);
        if (raised.empty())
            return;
        std::unordered_set<std::size_t> told;
        for (std::size_t i = 0; i < c_.buses.size(); ++i) {
            if (!bus_[i].reached)
                continue;
            const auto it = raised.find(root(i));
            if (it == raised.end())
                continue;
            if (told.insert(it->first).second)
                raisedLevels_.add(busName(c_.buses[i].number) + ": " + noteNumber(bus_[i].unom, 6) + " → " +
                                  noteNumber(it->second, 6) + " кВ");
            out_.raisedBases.emplace_back(i, it->second / bus_[i].unom);
            bus_[i].unom = it->second;
            ++raisedBuses_;
        }
    }

    // Up to two significant digits, so that the raised voltage reads plainly.
    static double roundedUp(double kv)
    {
        const double step = std::pow(10.0, std::floor(std::log10(kv)) - 1);
        return std::ceil(kv / step - 1e-9) * step;
    }

    void convertBranches()
    {
        for (std::size_t j = 0; j < c_.branches.size(); ++j) {
            if (!branch_[j].kept)
                continue;
            const CaseBranch& br = c_.branches[j];
            BranchState& s = branch_[j];
            BusState& from = bus_[index_.at(br.from)];
            BusState& to = bus_[index_.at(br.to)];
            const double tap = br.ratio != 0 ? br.ratio : 1.0;
            const double zBase = to.unom * to.unom / c_.baseMva;
            s.ratio = tap * from.unom / to.unom;
            if (std::fabs(s.ratio - 1.0) < 1e-12)
                s.ratio = 1.0;
            s.r = br.r * zBase;
            s.x = br.x * zBase;
            s.shift = br.shift;
            if (std::fabs(s.shift) > kMaxPhaseShift)
                failAt(br.line, "фазовый сдвиг ветви " + branchName(br) + " " + noteNumber(br.shift, 7) +
                                    "° вне пределов ±90°");
            if (!fullModel_ && std::fabs(s.x) < kSmallReactanceOhm && s.ratio > 1.0)
                reverse(s);
            for (double v : {s.ratio, s.r, s.x})
                requireWritable(v, br.line);
            if (br.shift != 0 && !fullModel_)
                phaseShift_.add(branchName(br));
            if (br.controlled)
                tapControl_.add(branchName(br));
            if (std::fabs(s.x) < kSmallReactanceOhm && !fullModel_)
                smallReactance_.add(branchName(br));
            if (s.ratio != 1.0)
                ++out_.transformers;

            // Charging: the branch holds equal halves at both ends; where the
            // case's halves differ (a transformer) or the value does not fit
            // the branch record, each end gets its own half as a node shunt.
            if (br.b == 0)
                continue;
            const double bMicroS = br.b * c_.baseMva / (to.unom * to.unom) * 1e6;
            if (s.ratio == 1.0 && bMicroS > 0 && bMicroS <= kMaxBranchSusceptanceMicroS) {
                s.bMicroS = bMicroS;
            } else {
                s.shuntFrom = br.b / 2 / (tap * tap) * c_.baseMva / (from.unom * from.unom);
                s.shuntTo = br.b / 2 * c_.baseMva / (to.unom * to.unom);
                from.shuntB += s.shuntFrom;
                to.shuntB += s.shuntTo;
                chargingAsShunts_.add(branchName(br));
            }
        }
    }

    // A step-down transformer whose reactance on the low side is below what
    // the calculation takes is written from its low side, with the impedance
    // on the high side: Kt' = 1/Kt and z' = z·Kt² give the same admittance
    // matrix (Y11 = y/Kt², Y22 = y, Y12 = -y/Kt).
    static void reverse(BranchState& s)
    {
        const double k2 = s.ratio * s.ratio;
        s.r *= k2;
        s.x *= k2;
        s.ratio = 1.0 / s.ratio;
        s.shift = -s.shift;
        s.reversed = true;
    }

    // Judged as the reader judges the ratio it reads from the text: in
    // single precision (0.9 is a transformer it refuses at the base node).
    static bool farFromOne(double ratio)
    {
        const float held = std::strtof(formatGeneral(ratio, 0, 7).c_str(), nullptr);
        return std::fabs(held - 1.0f) > kBaseTransformerTolerance;
    }

    bool holdsBaseNode(std::size_t i) const
    {
        return std::all_of(bus_[i].branches.begin(), bus_[i].branches.end(),
                           [&](std::size_t j) { return !branch_[j].kept || !farFromOne(branch_[j].ratio); });
    }

    // The reader takes no transformer with a ratio far from 1 at the base
    // node: the base node moves to the nearest bus that has none.
    void moveBaseFromTransformer()
    {
        if (fullModel_ || holdsBaseNode(ref_))
            return;
        std::vector<std::size_t> candidates;
        for (std::size_t j : bus_[ref_].branches)
            if (branch_[j].kept && farFromOne(branch_[j].ratio))
                candidates.push_back(otherEnd(j, ref_));
        std::vector<bool> seen(c_.buses.size(), false);
        std::deque<std::size_t> queue{ref_};
        seen[ref_] = true;
        while (!queue.empty()) {
            const std::size_t i = queue.front();
            queue.pop_front();
            candidates.push_back(i);
            for (std::size_t j : bus_[i].branches) {
                const std::size_t k = otherEnd(j, i);
                if (branch_[j].kept && !seen[k]) {
                    seen[k] = true;
                    queue.push_back(k);
                }
            }
        }
        // A bus that holds its voltage in the case keeps it in any solution, so
        // the nearest such bus is taken first; then the nearest of any.
        auto found = std::find_if(candidates.begin(), candidates.end(), [&](std::size_t i) {
            return i != ref_ && bus_[i].fixedVoltage && holdsBaseNode(i);
        });
        if (found == candidates.end())
            found = std::find_if(candidates.begin(), candidates.end(),
                                 [&](std::size_t i) { return i != ref_ && holdsBaseNode(i); });
        if (found == candidates.end())
            fail("Базисный узел " + formatInt(c_.buses[ref_].number) +
                 " стоит за трансформатором, и в схеме нет узла без трансформаторов, куда его можно перенести");
        const std::size_t former = ref_;
        ref_ = *found;
        movedBase_ = true;
        formerRef_ = former;
        // The former reference bus keeps its voltage; its generation is what
        // the case's own solution gives it, when the case carries one (a
        // reference bus's scheduled output is often just a placeholder).
        if (bus_[former].generators > 0) {
            bus_[former].fixedVoltage = true;
            if (carriesSolution()) {
                bus_[former].genP = solvedGeneration(former);
                solvedFormerGeneration_ = true;
            }
        } else {
            bus_[former].vg = 0;
        }
    }

    // A case whose buses are not all at angle 0 holds a solved state.
    bool carriesSolution() const
    {
        for (std::size_t i = 0; i < c_.buses.size(); ++i)
            if (bus_[i].reached && c_.buses[i].va != 0)
                return true;
        return false;
    }

    // MW that bus i generates in the case's voltages: what its in-service
    // branches and its shunt take, plus its load.
    double solvedGeneration(std::size_t i) const
    {
        using C = std::complex<double>;
        auto voltage = [&](std::size_t k) { return std::polar(c_.buses[k].vm, c_.buses[k].va * kRadiansPerDegree); };
        const C vi = voltage(i);
        C current = 0;
        for (std::size_t j : bus_[i].branches) {
            if (!branch_[j].kept)
                continue;
            const CaseBranch& br = c_.branches[j];
            const C y = 1.0 / C(br.r, br.x);
            const C charging(0, br.b / 2);
            const C tap = std::polar(br.ratio != 0 ? br.ratio : 1.0, br.shift * kRadiansPerDegree);
            const std::size_t f = index_.at(br.from), t = index_.at(br.to);
            if (f == i)
                current += (y + charging) / std::norm(tap) * vi - y / std::conj(tap) * voltage(t);
            else
                current += (y + charging) * vi - y / tap * voltage(f);
        }
        const CaseBus& b = c_.buses[i];
        return (vi * std::conj(current)).real() * c_.baseMva + b.gs * b.vm * b.vm + b.pd;
    }

    double baseVoltage() const
    {
        const BusState& s = bus_[ref_];
        const double pu = s.generators > 0 && s.fixedVoltage ? s.vg : c_.buses[ref_].vm;
        return (pu > 0 ? pu : 1.0) * s.unom;
    }

    void convertShunts()
    {
        for (std::size_t i = 0; i < c_.buses.size(); ++i) {
            if (!bus_[i].reached)
                continue;
            const CaseBus& b = c_.buses[i];
            bus_[i].shuntB += b.bs / (bus_[i].unom * bus_[i].unom);
            if (i == ref_) {
                if (bus_[i].shuntB != 0 || b.gs != 0)
                    baseShunt_.add(busName(b.number));
                continue;
            }
            if (b.gs != 0 && !fullModel_)
                conductance_.add(busName(b.number));
            if (bus_[i].shuntB != 0 || shuntG(i) != 0)
                ++out_.shunts;
        }
    }

    // S, drawing P = G·U²: the full model's; the exact method gets the
    // conductance as a load at nominal voltage (loadOfShunt).
    double shuntG(std::size_t i) const
    {
        return fullModel_ && i != ref_ ? c_.buses[i].gs / (bus_[i].unom * bus_[i].unom) : 0.0;
    }
    double loadOfShunt(std::size_t i) const { return fullModel_ && i != ref_ ? 0.0 : c_.buses[i].gs; }

    // Numbers the format cannot hold go to the smallest free numbers.
    void numberNodes()
    {
        std::unordered_set<int64_t> used;
        auto fits = [](int64_t n) { return n >= 1 && n <= kMaxNodeNumber; };
        for (std::size_t i = 0; i < c_.buses.size(); ++i)
            if (bus_[i].reached && fits(c_.buses[i].number))
                used.insert(c_.buses[i].number);
        int64_t next = 1;
        for (std::size_t i = 0; i < c_.buses.size(); ++i) {
            if (!bus_[i].reached)
                continue;
            const int64_t number = c_.buses[i].number;
            if (fits(number)) {
                bus_[i].outNumber = number;
                continue;
            }
            while (used.count(next))
                ++next;
            if (next > kMaxNodeNumber)
                fail("В схеме больше узлов, чем номеров от 1 до 100000");
            used.insert(next);
            bus_[i].outNumber = next;
            out_.renumbered.emplace_back(number, next);
        }
        for (auto& [bus, factor] : out_.raisedBases)
            bus = bus_[static_cast<std::size_t>(bus)].outNumber;
    }

    void writeText()
    {
        std::string& t = out_.text;
        t.reserve(c_.buses.size() * 48 + c_.branches.size() * 64);
        const CaseBus& rb = c_.buses[ref_];
        const BusState& rs = bus_[ref_];
        // The base node's generation is what the calculation finds; its record
        // keeps the bus's own load.
        t += "0102 0 " + formatInt(rs.outNumber) + " " + cduNumber(baseVoltage(), rb.line) + " " +
             cduNumber(rb.pd + rb.gs, rb.line) + " " + cduNumber(rb.qd, rb.line) + " 0 0 0 0 0\n";
        out_.baseNode = rs.outNumber;
        out_.nodes = 1;
        storeVoltages();
        out_.busAreas.push_back({rs.outNumber, rb.area, rb.zone, rb.pd});
        for (std::size_t i = 0; i < c_.buses.size(); ++i) {
            if (!bus_[i].reached || i == ref_)
                continue;
            const CaseBus& b = c_.buses[i];
            const BusState& s = bus_[i];
            const double fixed = s.fixedVoltage ? s.vg * s.unom : 0.0;
            // A fixed-voltage node's record holds its load's Q, so that its
            // generation is what the calculation finds beyond it.
            const double q = s.fixedVoltage ? b.qd : b.qd - s.genQ;
            const auto [qmin, qmax] = writtenLimits(i);
            t += "0201 0 " + formatInt(s.outNumber) + " " + cduNumber(s.unom, b.line) + " " +
                 cduNumber(b.pd + loadOfShunt(i) - s.genP, b.line) + " " + cduNumber(q, b.line) + " 0 0 " +
                 cduNumber(fixed, b.line) + " " + cduNumber(qmin, b.line) + " " + cduNumber(qmax, b.line) + "\n";
            ++out_.nodes;
            out_.busAreas.push_back({s.outNumber, b.area, b.zone, b.pd});
        }
        for (std::size_t i = 0; i < c_.buses.size(); ++i) {
            if (!bus_[i].reached || i == ref_ || (bus_[i].shuntB == 0 && shuntG(i) == 0))
                continue;
            t += "0301 0 " + formatInt(bus_[i].outNumber) + " 0 " + cduNumber(shuntG(i) * 1e6, c_.buses[i].line) +
                 " " + cduNumber(-bus_[i].shuntB * 1e6, c_.buses[i].line) + "\n";
        }
        out_.branchRecordOfCaseBranch.assign(c_.branches.size(), 0);
        out_.branchRatingMva.assign(1, 0.0);
        out_.branchChargingShuntS.assign(1, {0.0, 0.0});
        for (std::size_t j = 0; j < c_.branches.size(); ++j) {
            if (!branch_[j].kept)
                continue;
            const CaseBranch& br = c_.branches[j];
            const BranchState& s = branch_[j];
            out_.branchRecordOfCaseBranch[j] = out_.branches + 1;
            out_.branchRatingMva.push_back(br.rateA);
            const std::size_t from = index_.at(br.from), to = index_.at(br.to);
            int64_t n1 = bus_[from].outNumber, n2 = bus_[to].outNumber;
            std::array<double, 2> shunts{from == ref_ ? 0.0 : s.shuntFrom, to == ref_ ? 0.0 : s.shuntTo};
            if (s.reversed) {
                std::swap(n1, n2);
                std::swap(shunts[0], shunts[1]);
            }
            out_.branchChargingShuntS.push_back(shunts);
            t += "0301 0 " + formatInt(n1) + " " + formatInt(n2) + " " + cduNumber(s.r, br.line) + " " +
                 cduNumber(s.x, br.line) + " " + cduNumber(-s.bMicroS, br.line) + " " + cduNumber(s.ratio, br.line) +
                 " " + cduNumber(s.shift, br.line) + " 0 0\n";
            ++out_.branches;
        }
    }

    // The case's own voltages at the written nodes, in kV on their written
    // base: MATPOWER's start, and a solution when the case carries one.
    void storeVoltages()
    {
        StoredVoltages& v = out_.storedVoltages;
        v.solved = carriesSolution();
        for (std::size_t i = 0; i < c_.buses.size(); ++i)
            if (bus_[i].reached && c_.buses[i].vm > 0)
                v.nodes.push_back({bus_[i].outNumber, c_.buses[i].vm * bus_[i].unom, c_.buses[i].va});
    }

    // The reactive limits a fixed-voltage node's record holds: its
    // generators' sums, a side none of them limits written as open, none
    // (0 0) when neither side is limited or the bus holds no voltage.
    std::pair<double, double> writtenLimits(std::size_t i)
    {
        const BusState& s = bus_[i];
        if (!s.fixedVoltage || c_.buses[i].type != CaseBusType::VoltageControlled)
            return {0.0, 0.0};
        if (std::isinf(s.qmin) && std::isinf(s.qmax))
            return {0.0, 0.0};
        const double qmin = std::max(s.qmin, -kOpenReactiveLimit), qmax = std::min(s.qmax, kOpenReactiveLimit);
        if (qmin == 0 && qmax == 0) {
            // "0 0" would be no limits: the output fixed at 0 is held within
            // a watt of it.
            fixedAtZero_.add(busName(c_.buses[i].number));
            return {-kZeroReactiveLimit, kZeroReactiveLimit};
        }
        if (qmin > qmax) {
            crossedQLimits_.add(busName(c_.buses[i].number));
            return {0.0, 0.0};
        }
        qLimits_.add(busName(c_.buses[i].number));
        return {qmin, qmax};
    }

    // Loads that the default precision would hide from the exact method (a
    // kW-scale feeder at 0.01 MW converges before its first step): the
    // precision to use.
    void checkLoadsAgainstPrecision()
    {
        double largest = 0;
        for (std::size_t i = 0; i < c_.buses.size(); ++i)
            if (bus_[i].reached)
                largest = std::max({largest, std::fabs(c_.buses[i].pd), std::fabs(c_.buses[i].qd)});
        const double precision = options_.precision;
        // The full model goes on to the accuracy of the data by itself.
        if (fullModel_ || largest == 0 || !(precision > 0) || largest >= kLoadsPerPrecision * precision)
            return;
        const double proposed =
            std::pow(10.0, std::floor(std::log10(largest / (kLoadsPerPrecision * kProposedMargin)) + 1e-9));
        out_.notes.push_back("Нагрузки узлов меньше " + noteNumber(kLoadsPerPrecision, 4) +
                             " точностей расчета (наибольшая " + noteNumber(largest, 4) + " МВт или Мвар при точности " +
                             noteNumber(precision, 4) + "): задайте точность " + noteNumber(proposed, 1) +
                             " или меньше");
    }

    void collectNotes()
    {
        std::vector<std::string>& n = out_.notes;
        checkLoadsAgainstPrecision();
        if (defaultedBuses_ > 0) {
            const std::string kv = noteNumber(options_.defaultBaseKv, 7) + " кВ";
            n.push_back(defaultedBuses_ == reachedBuses_
                            ? "Базисные напряжения в файле не заданы: все узлы приняты на " + kv
                            : "Базисное напряжение не задано у " + formatInt(defaultedBuses_) + " узлов: принято " + kv);
        }
        if (chosenReference_)
            n.push_back("В файле нет балансирующего узла: базисным взят узел " + busName(c_.buses[ref_].number) +
                        " с генератором");
        if (movedBase_) {
            const BusState& f = bus_[formerRef_];
            std::string text = "Балансирующий узел " + busName(c_.buses[formerRef_].number) +
                               " связан трансформатором с коэффициентом, отличным от 1 больше чем на 0,1: базисный "
                               "узел перенесен в узел " +
                               formatInt(bus_[ref_].outNumber) + " при " + noteNumber(baseVoltage(), 6) + " кВ";
            text += f.fixedVoltage ? ", узел " + busName(c_.buses[formerRef_].number) +
                                         " записан с фиксированным напряжением " + noteNumber(f.vg * f.unom, 6) +
                                         " кВ и " +
                                         (solvedFormerGeneration_ ? "генерацией по напряжениям из файла "
                                                                  : "заданной генерацией ") +
                                         noteNumber(f.genP, 6) + " МВт"
                                   : ", узел " + busName(c_.buses[formerRef_].number) + " записан как узел нагрузки";
            n.push_back(text);
        }
        if (raisedBuses_ > 0)
            raisedLevels_.addTo(n, "узлов " + formatInt(raisedBuses_));
        extraReferences_.addTo(n);
        differentSetVoltages_.addTo(n);
        qLimits_.addTo(n);
        fixedAtZero_.addTo(n);
        crossedQLimits_.addTo(n);
        conductance_.addTo(n);
        phaseShift_.addTo(n);
        tapControl_.addTo(n);
        remoteControl_.addTo(n);
        smallReactance_.addTo(n);
        isolated_.addTo(n);
        chargingAsShunts_.addTo(n);
        baseShunt_.addTo(n);
        pvWithoutGenerators_.addTo(n);
        selfLoops_.addTo(n);
        outOfServiceBuses_.addTo(n);
        outOfServiceGenerators_.addTo(n);
        outOfServiceBranches_.addTo(n);
        if (!out_.renumbered.empty()) {
            std::string text = "Номера узлов вне пределов 1..100000 заменены: " +
                               formatInt(static_cast<long long>(out_.renumbered.size())) + " (";
            for (std::size_t i = 0; i < out_.renumbered.size(); ++i)
                text += (i ? ", " : "") + formatInt(out_.renumbered[i].first) + " → " +
                        formatInt(out_.renumbered[i].second);
            n.push_back(text + ")");
        }
        out_.ok = true;
    }

    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    const CaseData& c_;
    ConversionOptions options_;
    std::unordered_map<int64_t, std::size_t> index_;
    std::vector<BusState> bus_;
    std::vector<BranchState> branch_;
    std::size_t ref_ = kNone;
    std::size_t formerRef_ = kNone;
    bool chosenReference_ = false;
    bool movedBase_ = false;
    bool solvedFormerGeneration_ = false;
    bool fullModel_ = false;
    long long defaultedBuses_ = 0;
    long long reachedBuses_ = 0;
    long long raisedBuses_ = 0;
    CduConversion out_;

    Note raisedLevels_{"Уровни напряжения с линиями короче 1,001 Ом записаны на повышенном базисном напряжении (в "
                       "относительных единицах ничего не меняется, напряжения их узлов в кВ - на новом базисе)"};
    Note extraReferences_{"Другие балансирующие узлы записаны как узлы с фиксированным напряжением"};
    Note qLimits_{"Пределы реактивной мощности генераторов записаны в узлах с фиксированным напряжением (расчет "
                  "учитывает их, когда включено «Учитывать пределы Q» или задан --q-limits), узлов"};
    Note fixedAtZero_{"Генераторы с Qmin = Qmax = 0 (реактивная мощность постоянно равна 0) записаны с пределами "
                      "±0,000001 Мвар (расчет держит их Q = 0, когда учитываются пределы Q), узлов"};
    Note crossedQLimits_{"Пределы реактивной мощности генераторов с Qmin больше Qmax не переносятся, узлов"};
    Note differentSetVoltages_{"Генераторы одного узла держат разные напряжения: взято напряжение первого, узлов"};
    Note conductance_{"Активная проводимость шунтов заменена нагрузкой при номинальном напряжении, узлов"};
    Note phaseShift_{"Фазовый сдвиг трансформаторов записан после Kt, но сеть до 99 узлов и 149 ветвей точный метод "
                     "рассчитывает без него (его учитывает полная модель), ветвей"};
    Note tapControl_{"Автоматическое регулирование коэффициента трансформации или фазы не переносится (взят "
                     "конечный коэффициент), ветвей"};
    Note remoteControl_{"Регулирование напряжения другого узла не переносится (генератор держит напряжение своего "
                        "узла), узлов"};
    Note smallReactance_{"Ветви с |x| меньше 1,001 Ом: расчет примет x = 1,01 Ом, ветвей"};
    Note isolated_{"Изолированные узлы (не связаны с базисным узлом) не переносятся, узлов"};
    Note chargingAsShunts_{"Зарядная проводимость записана шунтами в узлах концов, ветвей"};
    Note baseShunt_{"Шунт базисного узла не переносится (он меняет только мощность базисного узла)"};
    Note pvWithoutGenerators_{"Узлы с регулированием напряжения без включенных генераторов записаны как узлы нагрузки"};
    Note selfLoops_{"Ветви, замкнутые на тот же узел, не переносятся"};
    Note outOfServiceBuses_{"Отключенные узлы не переносятся"};
    Note outOfServiceGenerators_{"Отключенные генераторы не переносятся, в узлах"};
    Note outOfServiceBranches_{"Отключенные ветви не переносятся"};
};

}  // namespace

CalculationMethod importedMethod(CalculationMethod chosen)
{
    return chosen == CalculationMethod::Auto ? CalculationMethod::Sparse : chosen;
}

bool caseLacksBaseVoltage(const CaseData& c)
{
    return std::any_of(c.buses.begin(), c.buses.end(),
                       [](const CaseBus& b) { return b.type != CaseBusType::Isolated && !(b.baseKv > 0); });
}

CduConversion convertCase(const CaseData& c, const ConversionOptions& options)
{
    CduConversion failed;
    if (!std::isfinite(options.defaultBaseKv) || options.defaultBaseKv < kMinUnom || options.defaultBaseKv > kMaxUnom) {
        failed.error = "Базисное напряжение должно быть от 0,1 до 1500 кВ";
        return failed;
    }
    try {
        return Converter(c, options).run();
    } catch (const caseread::Failure& f) {
        failed.error = f.message;
        return failed;
    }
}

std::string conversionSummary(const CaseData& c, const CduConversion& conversion)
{
    std::string s = "Импорт " + c.format + ": узлов " + formatInt(conversion.nodes) + ", ветвей " +
                    formatInt(conversion.branches) + " (трансформаторов " + formatInt(conversion.transformers) +
                    "), шунтов " + formatInt(conversion.shunts) + ", базисный узел " +
                    formatInt(conversion.baseNode) + ".\n";
    if (conversion.notes.empty())
        return s + "Все данные перенесены без изменений.\n";
    for (const std::string& note : conversion.notes)
        s += "- " + note + ".\n";
    return s;
}

}  // namespace tarvel
