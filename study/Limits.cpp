#include "study/Limits.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "model/TextFile.h"

namespace tarvel {

namespace {

struct VoltageClass {
    double unom;
    double highest;
};

constexpr VoltageClass kClasses[] = {{6, 7.2},     {10, 12},    {20, 24},    {35, 40.5},
                                     {110, 126},   {150, 172},  {220, 252},  {330, 363},
                                     {500, 525},   {750, 787},  {1150, 1200}};

std::vector<std::string_view> words(std::string_view s)
{
    std::vector<std::string_view> out;
    std::size_t i = 0;
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (i < s.size()) {
        while (i < s.size() && blank(s[i]))
            ++i;
        const std::size_t start = i;
        while (i < s.size() && !blank(s[i]))
            ++i;
        if (i > start)
            out.push_back(s.substr(start, i - start));
    }
    return out;
}

template <typename T>
bool parseWhole(std::string_view word, T& value)
{
    const auto r = std::from_chars(word.data(), word.data() + word.size(), value);
    return !word.empty() && r.ec == std::errc() && r.ptr == word.data() + word.size();
}

}  // namespace

double highestOperatingVoltage(double unom)
{
    for (const VoltageClass& c : kClasses)
        if (unom == c.unom)
            return c.highest;
    return 1.1 * unom;
}

Limits defaultLimits(const NetworkModel& model)
{
    Limits limits;
    const int n = model.nodeCount;
    limits.vmin.resize(n + 1);
    limits.vmax.resize(n + 1);
    // Against the Unom written in each record: a fixed-voltage node's own
    // voltage is its setting, not its class.
    for (int k = 0; k <= n; ++k) {
        const double unom = nominalVoltage(model, k);
        limits.vmin[k] = 0.9 * unom;
        limits.vmax[k] = highestOperatingVoltage(unom);
    }
    limits.kind.assign(model.branchCount + 1, BranchLimitKind::None);
    limits.branchLimit.assign(model.branchCount + 1, 0.0);
    return limits;
}

void applyRatings(Limits& limits, const std::vector<double>& ratingMva)
{
    for (std::size_t i = 1; i < ratingMva.size() && i < limits.kind.size(); ++i) {
        if (ratingMva[i] > 0) {
            limits.kind[i] = BranchLimitKind::Power;
            limits.branchLimit[i] = ratingMva[i];
        }
    }
}

std::string readCurrentLimits(std::string_view text, const BranchIndex& index, Limits& limits)
{
    const std::vector<std::string_view> lines = textLines(text);
    Limits read = limits;
    // The line of each branch's limit, that none be given twice.
    std::vector<std::size_t> givenAt(read.kind.size(), 0);
    for (std::size_t l = 0; l < lines.size(); ++l) {
        const std::string where = "Строка " + formatInt(static_cast<long long>(l) + 1) + " файла пределов: ";
        std::string_view content = lines[l];
        if (const auto hash = content.find('#'); hash != std::string_view::npos)
            content = content.substr(0, hash);
        const std::vector<std::string_view> w = words(content);
        if (w.empty())
            continue;
        int32_t n1 = 0, n2 = 0;
        int k = 1;
        if ((w.size() != 3 && w.size() != 4) || !parseWhole(w[0], n1) || !parseWhole(w[1], n2) ||
            (w.size() == 4 && (!parseWhole(w[2], k) || k < 1)))
            return where + "ожидается \"N1 N2 Imax\" или \"N1 N2 K Imax\" (Imax в кА): \"" +
                   std::string(content) + "\"";
        double imax = 0;
        const std::string_view limitWord = w.back();
        // A decimal comma is taken as the point it stands for.
        std::string figure(limitWord);
        std::replace(figure.begin(), figure.end(), ',', '.');
        if (!parseWhole(std::string_view(figure), imax) || !std::isfinite(imax) || imax <= 0)
            return where + "предел тока должен быть положительным числом (кА): \"" + std::string(limitWord) + "\"";
        // Reports give a limit to the ampere; a smaller one is a slip of the
        // unit or the exponent, and would give every flow an infinite share.
        if (imax < kLeastCurrentLimit)
            return where + "предел тока меньше " + formatGeneral(kLeastCurrentLimit, 0, 6) + " кА (1 А): \"" +
                   std::string(limitWord) + "\"";
        const int branch = index.find(n1, n2, k);
        std::string name = formatInt(n1) + " " + formatInt(n2);
        if (w.size() == 4)
            name += " " + formatInt(k);
        if (branch == 0)
            return where + "ветви " + name + " в сети нет";
        if (const std::size_t earlier = givenAt[static_cast<std::size_t>(branch)]; earlier != 0)
            return where + "предел ветви " + name + " уже задан в строке " + formatInt(static_cast<long long>(earlier));
        givenAt[static_cast<std::size_t>(branch)] = l + 1;
        read.kind[branch] = BranchLimitKind::Current;
        read.branchLimit[branch] = imax;
    }
    limits = std::move(read);
    return {};
}

}  // namespace tarvel
