#include "interchange/CdfReader.h"

#include <charconv>
#include <cmath>
#include <vector>

#include "interchange/CaseReadSupport.h"
#include "model/TextFile.h"

namespace tarvel {

namespace {

using caseread::busNumber;
using caseread::fail;
using caseread::failAt;

// A field by its first and last column, counted from 1 as the format does.
struct Field {
    int first, last;
    const char* name;
};

// Bus data cards.
constexpr Field kBusNumber{1, 4, "номер узла"};
constexpr Field kBusType{25, 26, "тип узла"};
constexpr Field kFinalVoltage{28, 33, "напряжение"};
constexpr Field kFinalAngle{34, 40, "угол напряжения"};
constexpr Field kLoadMw{41, 49, "нагрузка P"};
constexpr Field kLoadMvar{50, 59, "нагрузка Q"};
constexpr Field kGenMw{60, 67, "генерация P"};
constexpr Field kGenMvar{68, 75, "генерация Q"};
constexpr Field kBaseKv{77, 83, "базисное напряжение"};
constexpr Field kDesiredVolts{85, 90, "заданное напряжение"};
constexpr Field kMaxMvar{91, 98, "предел Q max"};
constexpr Field kMinMvar{99, 106, "предел Q min"};
constexpr Field kShuntG{107, 114, "проводимость G"};
constexpr Field kShuntB{115, 122, "проводимость B"};
constexpr Field kRemoteBus{124, 127, "номер регулируемого узла"};
// Branch data cards.
constexpr Field kTapBus{1, 4, "номер узла начала ветви"};
constexpr Field kZBus{6, 9, "номер узла конца ветви"};
constexpr Field kResistance{20, 29, "сопротивление R"};
constexpr Field kReactance{30, 40, "сопротивление X"};
constexpr Field kBranchType{19, 19, "тип ветви"};
constexpr Field kCharging{41, 50, "проводимость B"};
constexpr Field kTurnsRatio{77, 82, "коэффициент трансформации"};
constexpr Field kPhaseAngle{84, 90, "угол фазового сдвига"};
// Title card.
constexpr Field kMvaBase{32, 37, "базисная мощность"};

// The shortest card that still holds the fields every bus and branch needs.
constexpr int kBusCardLength = kFinalVoltage.last;
constexpr int kBranchCardLength = kReactance.last - 1;

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

struct Card {
    std::string_view text;
    int line;

    std::string_view field(const Field& f) const
    {
        const std::size_t first = static_cast<std::size_t>(f.first - 1);
        if (first >= text.size())
            return {};
        std::string_view s = trimmed(text.substr(first, static_cast<std::size_t>(f.last - f.first + 1)));
        if (!s.empty() && s.front() == '+')
            s.remove_prefix(1);
        return s;
    }

    // False when the field holds something other than a finite number.
    bool tryNumber(const Field& f, double& value) const
    {
        const std::string_view s = field(f);
        value = 0;
        if (s.empty())
            return true;
        const auto r = std::from_chars(s.data(), s.data() + s.size(), value);
        return r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(value);
    }

    double number(const Field& f) const
    {
        double value = 0;
        if (!tryNumber(f, value))
            failAt(line, std::string("поле «") + f.name + "» (колонки " + formatInt(f.first) + "-" + formatInt(f.last) +
                             ") " + caseread::quoted(field(f)) + " не число");
        return value;
    }
};

class Lines {
public:
    explicit Lines(std::string_view text) : text_(text) {}
    bool next(Card& card)
    {
        if (pos_ >= text_.size())
            return false;
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos)
            end = text_.size();
        std::string_view s = text_.substr(pos_, end - pos_);
        if (!s.empty() && s.back() == '\r')
            s.remove_suffix(1);
        pos_ = end + 1;
        card = Card{s, ++line_};
        return true;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 0;
};

bool startsSection(std::string_view line, std::string_view keyword)
{
    line = trimmed(line);
    return line.substr(0, keyword.size()) == keyword;
}

bool endsSection(std::string_view line)
{
    return trimmed(line).substr(0, 4) == "-999";
}

void requireLength(const Card& card, int length, const char* what)
{
    if (static_cast<int>(trimmed(card.text).size()) == 0 || static_cast<int>(card.text.size()) < length)
        failAt(card.line, std::string("запись ") + what + " обрывается до колонки " + formatInt(length));
}

CaseBus busFromCard(const Card& card, double baseMva, std::vector<CaseGenerator>& generators)
{
    requireLength(card, kBusCardLength, "узла");
    CaseBus b;
    b.line = card.line;
    b.number = busNumber(card.number(kBusNumber), card.line, "номер узла");
    const double type = card.number(kBusType);
    if (type == 0 || type == 1)
        b.type = CaseBusType::Load;
    else if (type == 2)
        b.type = CaseBusType::VoltageControlled;
    else if (type == 3)
        b.type = CaseBusType::Reference;
    else
        failAt(card.line, "тип узла " + formatGeneral(type, 0, 10) + " не существует (допустимы 0, 1, 2 и 3)");
    b.vm = card.number(kFinalVoltage);
    if (!(b.vm > 0))
        b.vm = card.number(kDesiredVolts) > 0 ? card.number(kDesiredVolts) : 1.0;
    b.va = card.number(kFinalAngle);
    b.pd = card.number(kLoadMw);
    b.qd = card.number(kLoadMvar);
    b.baseKv = card.number(kBaseKv);
    b.gs = card.number(kShuntG) * baseMva;
    b.bs = card.number(kShuntB) * baseMva;
    // Only told, so a field that holds no bus number is passed over.
    double remote = 0;
    if (b.type == CaseBusType::VoltageControlled && card.tryNumber(kRemoteBus, remote) &&
        remote == std::floor(remote) && std::fabs(remote) < 1e15)
        b.remoteBus = static_cast<int64_t>(remote);

    // The card holds the bus's whole generation; a voltage-controlled or
    // reference bus is a generator even when it produces nothing.
    const double pg = card.number(kGenMw);
    const double qg = card.number(kGenMvar);
    const bool controlsVoltage = b.type != CaseBusType::Load;
    if (controlsVoltage || pg != 0 || qg != 0) {
        CaseGenerator g;
        g.line = card.line;
        g.bus = b.number;
        g.pg = pg;
        g.qg = qg;
        g.vg = b.vm;
        if (controlsVoltage) {
            g.qmax = card.number(kMaxMvar);
            g.qmin = card.number(kMinMvar);
            g.hasQLimits = g.qmax != 0 || g.qmin != 0;
        }
        generators.push_back(g);
    }
    return b;
}

CaseBranch branchFromCard(const Card& card)
{
    requireLength(card, kBranchCardLength, "ветви");
    CaseBranch br;
    br.line = card.line;
    br.from = busNumber(card.number(kTapBus), card.line, "номер узла начала ветви");
    br.to = busNumber(card.number(kZBus), card.line, "номер узла конца ветви");
    br.r = card.number(kResistance);
    br.x = card.number(kReactance);
    br.b = card.number(kCharging);
    br.ratio = card.number(kTurnsRatio);
    br.shift = card.number(kPhaseAngle);
    // Types 2-4 adjust the tap or the angle in the case's own solution; the
    // final values are what the card holds.
    const double type = card.number(kBranchType);
    br.controlled = type >= 2 && type <= 4;
    return br;
}

// Hands every card of the section that starts at card to takeCard, up to the
// card that ends it.
template <typename TakeCard>
void readSection(Lines& lines, Card& card, const char* name, TakeCard takeCard)
{
    const int start = card.line;
    while (lines.next(card)) {
        if (endsSection(card.text))
            return;
        if (!trimmed(card.text).empty())
            takeCard(card);
    }
    fail(std::string("Файл обрывается: раздел ") + name + ", начатый в строке " + formatInt(start) +
         ", не закончен строкой -999");
}

CaseData readCards(std::string_view text)
{
    CaseData c;
    c.format = "IEEE CDF";
    Lines lines(text);
    Card card;
    if (!lines.next(card))
        fail("Файл пуст");
    // Some files put a line such as "TAPE" before the title card: the title
    // is the first card before the bus data that holds the MVA base.
    bool titleRead = false;
    bool busesRead = false, branchesRead = false;
    do {
        if (!titleRead && !startsSection(card.text, "BUS DATA")) {
            double base = 0;
            if (card.tryNumber(kMvaBase, base) && base > 0) {
                c.baseMva = base;
                titleRead = true;
            }
            continue;
        }
        if (!titleRead)
            failAt(1, "в заглавной строке нет базисной мощности (колонки 32-37)");
        if (startsSection(card.text, "BUS DATA")) {
            readSection(lines, card, "BUS DATA",
                        [&](const Card& bus) { c.buses.push_back(busFromCard(bus, c.baseMva, c.generators)); });
            busesRead = true;
        } else if (startsSection(card.text, "BRANCH DATA")) {
            readSection(lines, card, "BRANCH DATA", [&](const Card& branch) { c.branches.push_back(branchFromCard(branch)); });
            branchesRead = true;
        } else if (startsSection(card.text, "END OF DATA")) {
            break;
        }
    } while (lines.next(card));
    if (!titleRead)
        failAt(1, "в заглавной строке нет базисной мощности (колонки 32-37)");
    if (!busesRead)
        fail("В файле нет раздела BUS DATA");
    if (!branchesRead)
        fail("В файле нет раздела BRANCH DATA");
    return c;
}

}  // namespace

CaseReadResult readCdfCase(std::string_view text)
{
    CaseReadResult result;
    try {
        result.data = readCards(text);
        result.ok = true;
    } catch (const caseread::Failure& f) {
        result.error = f.message;
    }
    return result;
}

bool looksLikeCdfCase(std::string_view text)
{
    // Most files looked at hold no such line; one search tells so at once.
    if (text.find("BUS DATA FOLLOWS") == std::string_view::npos)
        return false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        if (startsSection(text.substr(pos, end - pos), "BUS DATA FOLLOWS"))
            return true;
        pos = end + 1;
    }
    return false;
}

}  // namespace tarvel
