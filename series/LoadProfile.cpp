#include "series/LoadProfile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <set>

#include "model/TextFile.h"

namespace tarvel {

namespace {

std::string lineText(int line)
{
    return "График нагрузки, строка " + formatInt(line) + ": ";
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> splitFields(std::string_view line, char separator)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = line.find(separator, start);
        fields.push_back(trim(line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start)));
        if (end == std::string_view::npos)
            return fields;
        start = end + 1;
    }
}

bool parseWhole(std::string_view text, int64_t& value)
{
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size();
}

bool parseReal(std::string_view text, char decimalMark, double& value)
{
    std::string copy(text);
    if (decimalMark != '.')
        std::replace(copy.begin(), copy.end(), decimalMark, '.');
    if (!copy.empty() && copy.front() == '+')
        copy.erase(0, 1);
    const auto r = std::from_chars(copy.data(), copy.data() + copy.size(), value);
    return !copy.empty() && r.ec == std::errc() && r.ptr == copy.data() + copy.size() && std::isfinite(value);
}

// A column of the header: d0..d9, n<number>, a<number>.
bool parseColumn(std::string_view name, ProfileColumn& column)
{
    if (name.size() < 2)
        return false;
    int64_t key = 0;
    if (!parseWhole(name.substr(1), key) || name[1] == '+')
        return false;
    column.name = std::string(name);
    column.key = key;
    switch (name[0]) {
    case 'd':
    case 'D':
        column.kind = ProfileColumnKind::District;
        return name.size() == 2 && key >= 0 && key < kDistricts;
    case 'n':
    case 'N':
        column.kind = ProfileColumnKind::Node;
        return true;
    case 'a':
    case 'A':
        column.kind = ProfileColumnKind::Area;
        return true;
    default:
        return false;
    }
}

struct Lines {
    std::vector<std::string_view> all;
    int number = 0;
    // The next line that is neither empty nor a comment; false at the end.
    bool next(std::string_view& line)
    {
        while (static_cast<std::size_t>(number) < all.size()) {
            line = all[static_cast<std::size_t>(number)];
            ++number;
            line = trim(line);
            if (!line.empty() && line.front() != '#')
                return true;
        }
        return false;
    }
};

ProfileReadResult failAt(int line, const std::string& why)
{
    ProfileReadResult result;
    result.error = lineText(line) + why;
    return result;
}

}  // namespace

ProfileReadResult readLoadProfile(std::string_view text)
{
    Lines lines{textLines(text)};
    std::string_view line;
    if (!lines.next(line)) {
        ProfileReadResult result;
        result.error = "График нагрузки пуст: нет строки заголовка";
        return result;
    }
    const char separator = line.find(';') != std::string_view::npos ? ';' : ',';
    const char decimalMark = separator == ';' ? ',' : '.';
    const auto header = splitFields(line, separator);
    ProfileReadResult result;
    LoadProfile& profile = result.profile;
    if (header[0] != "step" && header[0] != "hour")
        return failAt(lines.number, "первый столбец заголовка должен называться step или hour, а не \"" +
                                        std::string(header[0]) + "\"");
    std::set<std::string> seen;
    for (std::size_t i = 1; i < header.size(); ++i) {
        ProfileColumn column;
        if (!parseColumn(header[i], column))
            return failAt(lines.number, "неизвестный столбец \"" + std::string(header[i]) +
                                            "\" (ожидаются d0...d9, n<номер узла> или a<номер области>)");
        std::string key = std::string(1, static_cast<char>(column.kind == ProfileColumnKind::District ? 'd'
                                                            : column.kind == ProfileColumnKind::Node   ? 'n'
                                                                                                       : 'a')) +
                          std::to_string(column.key);
        if (!seen.insert(key).second)
            return failAt(lines.number, "столбец \"" + column.name + "\" повторяется");
        profile.columns.push_back(std::move(column));
    }

    std::map<int64_t, int> lineOfStep;
    while (lines.next(line)) {
        const auto fields = splitFields(line, separator);
        if (fields.size() != header.size())
            return failAt(lines.number, formatInt(static_cast<long long>(fields.size())) + " полей вместо " +
                                            formatInt(static_cast<long long>(header.size())));
        int64_t step = 0;
        if (!parseWhole(fields[0], step))
            return failAt(lines.number, "номер шага должен быть целым числом, а не \"" + std::string(fields[0]) + "\"");
        if (const auto found = lineOfStep.find(step); found != lineOfStep.end())
            return failAt(lines.number, "шаг " + formatInt(step) + " повторяется (он уже задан в строке " +
                                            formatInt(found->second) + ")");
        if (!profile.steps.empty() && step != profile.steps.back() + 1) {
            if (step > profile.steps.back() + 1)
                return failAt(lines.number, "пропущен шаг " + formatInt(profile.steps.back() + 1) +
                                                " (после шага " + formatInt(profile.steps.back()) + " идет шаг " +
                                                formatInt(step) + ")");
            return failAt(lines.number, "шаг " + formatInt(step) + " идет не по порядку (после шага " +
                                            formatInt(profile.steps.back()) + ")");
        }
        lineOfStep.emplace(step, lines.number);
        profile.steps.push_back(step);
        for (std::size_t i = 1; i < fields.size(); ++i) {
            const std::string where = "столбец \"" + profile.columns[i - 1].name + "\": ";
            if (fields[i].empty())
                return failAt(lines.number, where + "пустой множитель");
            double value = 0;
            if (!parseReal(fields[i], decimalMark, value))
                return failAt(lines.number, where + "множитель не число: \"" + std::string(fields[i]) + "\"");
            if (value < 0)
                return failAt(lines.number, where + "отрицательный множитель " + std::string(fields[i]));
            profile.multipliers.push_back(value);
        }
    }
    if (profile.steps.empty()) {
        result.error = "В графике нагрузки нет ни одного шага";
        return result;
    }
    result.ok = true;
    return result;
}

bool NodeAreas::hasArea(int64_t area) const
{
    return std::any_of(buses.begin(), buses.end(), [&](const Bus& b) { return areaOf(b) == area; });
}

double NodeAreas::areaLoad(int64_t area) const
{
    double total = 0;
    for (const Bus& b : buses)
        if (areaOf(b) == area)
            total += b.pd;
    return total;
}

bool chooseAreaNumbering(const LoadProfile& profile, NodeAreas& areas)
{
    const auto allNamed = [&](bool byZone) {
        areas.byZone = byZone;
        for (const ProfileColumn& c : profile.columns)
            if (c.kind == ProfileColumnKind::Area && !areas.hasArea(c.key))
                return false;
        return true;
    };
    if (allNamed(false))
        return false;
    if (allNamed(true))
        return true;
    areas.byZone = false;
    return false;
}

bool bindProfile(const LoadProfile& profile, const NetworkModel& model, const NodeAreas& areas, ProfileBinding& binding,
                 std::string& error)
{
    const int n = model.nodeCount;
    binding.columnOfNode.assign(static_cast<std::size_t>(n) + 1, -1);
    std::map<int64_t, int64_t> areaOfNode;
    for (const NodeAreas::Bus& b : areas.buses)
        areaOfNode.emplace(b.node, areas.areaOf(b));
    // Columns bind in rising precedence: districts, areas, nodes.
    for (const ProfileColumnKind kind : {ProfileColumnKind::District, ProfileColumnKind::Area, ProfileColumnKind::Node}) {
        for (std::size_t c = 0; c < profile.columns.size(); ++c) {
            const ProfileColumn& column = profile.columns[c];
            if (column.kind != kind)
                continue;
            if (kind == ProfileColumnKind::Area && areas.empty()) {
                error = "График нагрузки: столбец \"" + column.name +
                        "\" задает область, а области есть только у случаев MATPOWER";
                return false;
            }
            int bound = 0;
            for (int k = 1; k <= n; ++k) {
                if (model.nodeType[k] != 1)
                    continue;
                bool match = false;
                switch (kind) {
                case ProfileColumnKind::District:
                    match = districtOf(model.nodeNumber[k]) == column.key;
                    break;
                case ProfileColumnKind::Node:
                    match = model.nodeNumber[k] == column.key;
                    break;
                case ProfileColumnKind::Area: {
                    const auto found = areaOfNode.find(model.nodeNumber[k]);
                    match = found != areaOfNode.end() && found->second == column.key;
                    break;
                }
                }
                if (match) {
                    binding.columnOfNode[static_cast<std::size_t>(k)] = static_cast<int>(c);
                    ++bound;
                }
            }
            if (bound == 0) {
                switch (kind) {
                case ProfileColumnKind::District:
                    error = "График нагрузки: в сети нет узлов нагрузки района " + formatInt(column.key) +
                            " (столбец \"" + column.name + "\")";
                    break;
                case ProfileColumnKind::Node:
                    error = "График нагрузки: в сети нет узла нагрузки " + formatInt(column.key) + " (столбец \"" +
                            column.name + "\")";
                    break;
                case ProfileColumnKind::Area:
                    error = "График нагрузки: в сети нет узлов нагрузки области " + formatInt(column.key) +
                            " (столбец \"" + column.name + "\")";
                    break;
                }
                return false;
            }
        }
    }
    return true;
}

void computeStepLoads(const LoadProfile& profile, const ProfileBinding& binding, const NetworkModel& model, int step,
                      StepLoads& loads)
{
    const std::size_t slots = binding.columnOfNode.size();
    loads.p.resize(slots);
    loads.q.resize(slots);
    for (std::size_t k = 0; k < slots; ++k) {
        const int column = binding.columnOfNode[k];
        const double m = column < 0 ? 1.0 : profile.multiplier(step, column);
        loads.p[k] = m * model.nodeLoadP[k];
        loads.q[k] = m * model.nodeLoadQ[k];
    }
}

}  // namespace tarvel
