#include "series/ScenarioTable.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

#include "model/TextFile.h"

namespace tarvel {

namespace {

std::string lineText(int line)
{
    return "Таблица сценариев, строка " + formatInt(line) + ": ";
}

ScenarioReadResult failAt(int line, const std::string& why)
{
    ScenarioReadResult result;
    result.error = lineText(line) + why;
    return result;
}

std::vector<std::string_view> tokens(std::string_view line)
{
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == ',' || line[i] == '\r'))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != ',' && line[i] != '\r')
            ++i;
        if (i > start)
            out.push_back(line.substr(start, i - start));
    }
    return out;
}

bool parseNumber(std::string_view text, double& value)
{
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size() && std::isfinite(value);
}

bool parseWhole(std::string_view text, int64_t& value)
{
    double v = 0;
    if (!parseNumber(text, v) || v != std::floor(v) || std::fabs(v) > 1e15)
        return false;
    value = static_cast<int64_t>(v);
    return true;
}

std::string_view withoutComment(std::string_view line)
{
    const std::size_t percent = line.find('%');
    return percent == std::string_view::npos ? line : line.substr(0, percent);
}

}  // namespace

bool looksLikeScenarioTable(std::string_view text)
{
    // Its constants (CT_...) may be written as figures, and an empty table
    // has none: the table's name and its bracket tell it from a profile.
    return text.find("chgtab") != std::string_view::npos &&
           (text.find("CT_") != std::string_view::npos || text.find('[') != std::string_view::npos);
}

ScenarioReadResult readScenarioTable(std::string_view text)
{
    ScenarioReadResult result;
    LoadProfile& profile = result.table.profile;
    std::map<int64_t, int> columnOfArea;
    // Rows as read: label, area, replaced, value, line.
    struct Row {
        int64_t label;
        int64_t area;
        bool replaced;
        double value;
        int line;
    };
    std::vector<Row> rows;
    bool inTable = false;
    bool done = false;
    int number = 0;
    const std::vector<std::string_view> lines = textLines(text);
    while (static_cast<std::size_t>(number) < lines.size() && !done) {
        std::string_view line = lines[static_cast<std::size_t>(number)];
        ++number;
        line = withoutComment(line);
        if (!inTable) {
            const std::size_t open = line.find('[');
            if (open == std::string_view::npos || line.find("chgtab") == std::string_view::npos)
                continue;
            inTable = true;
            line = line.substr(open + 1);
        }
        if (const std::size_t close = line.find(']'); close != std::string_view::npos) {
            line = line.substr(0, close);
            done = true;
        }
        // Rows end with ";" or the line's end.
        std::size_t start = 0;
        while (start <= line.size()) {
            const std::size_t semi = line.find(';', start);
            const std::string_view row =
                line.substr(start, semi == std::string_view::npos ? std::string_view::npos : semi - start);
            start = semi == std::string_view::npos ? line.size() + 1 : semi + 1;
            const auto t = tokens(row);
            if (t.empty())
                continue;
            if (t.size() != 7)
                return failAt(number, "в строке таблицы " + formatInt(static_cast<long long>(t.size())) +
                                          " значений вместо 7 (метка, вероятность, таблица, строка, столбец, вид "
                                          "изменения, значение)");
            if (t[2] != "CT_TAREALOAD" || t[4] != "CT_LOAD_ALL_P" || (t[5] != "CT_REP" && t[5] != "CT_REL"))
                return failAt(number, "изменение " + std::string(t[2]) + " " + std::string(t[4]) + " " +
                                          std::string(t[5]) +
                                          " не поддерживается; читаются только строки CT_TAREALOAD <область> "
                                          "CT_LOAD_ALL_P CT_REP|CT_REL <значение>");
            Row r{};
            r.line = number;
            r.replaced = t[5] == "CT_REP";
            if (!parseWhole(t[0], r.label))
                return failAt(number, "метка должна быть целым числом, а не \"" + std::string(t[0]) + "\"");
            if (!parseWhole(t[3], r.area))
                return failAt(number, "номер области должен быть целым числом, а не \"" + std::string(t[3]) + "\"");
            if (!parseNumber(t[6], r.value))
                return failAt(number, "значение не число: \"" + std::string(t[6]) + "\"");
            if (r.value < 0)
                return failAt(number, "отрицательное значение " + std::string(t[6]));
            rows.push_back(r);
        }
    }
    if (!inTable) {
        result.error = "Таблица сценариев: не найдена таблица изменений chgtab = [ ... ]";
        return result;
    }
    if (!done)
        return failAt(number, "таблица изменений не закрыта знаком ]");
    if (rows.empty()) {
        result.error = "Таблица сценариев пуста";
        return result;
    }

    for (const Row& r : rows)
        columnOfArea.emplace(r.area, 0);
    for (auto& [area, column] : columnOfArea) {
        column = static_cast<int>(profile.columns.size());
        profile.columns.push_back({ProfileColumnKind::Area, area, "a" + std::to_string(area)});
    }
    const std::size_t width = profile.columns.size();
    std::map<int64_t, int> lineOfLabel;
    std::vector<char> setInStep;
    for (const Row& r : rows) {
        if (profile.steps.empty() || r.label != profile.steps.back()) {
            if (const auto found = lineOfLabel.find(r.label); found != lineOfLabel.end())
                return failAt(r.line, "метка " + formatInt(r.label) + " повторяется (ее строки начались в строке " +
                                          formatInt(found->second) + ")");
            if (!profile.steps.empty() && r.label != profile.steps.back() + 1)
                return failAt(r.line, r.label > profile.steps.back() + 1
                                          ? "пропущена метка " + formatInt(profile.steps.back() + 1)
                                          : "метка " + formatInt(r.label) + " идет не по порядку");
            lineOfLabel.emplace(r.label, r.line);
            profile.steps.push_back(r.label);
            profile.multipliers.resize(profile.multipliers.size() + width, 1.0);
            result.table.replaced.resize(profile.multipliers.size(), 0);
            setInStep.assign(width, 0);
        }
        const std::size_t c = static_cast<std::size_t>(columnOfArea[r.area]);
        if (setInStep[c])
            return failAt(r.line, "область " + formatInt(r.area) + " задана дважды для метки " + formatInt(r.label));
        setInStep[c] = 1;
        const std::size_t at = (profile.steps.size() - 1) * width + c;
        profile.multipliers[at] = r.value;
        result.table.replaced[at] = r.replaced ? 1 : 0;
    }
    result.ok = true;
    return result;
}

bool scenarioProfile(const ScenarioTable& table, const NodeAreas& areas, LoadProfile& profile, std::string& error)
{
    profile = table.profile;
    const std::size_t width = profile.columns.size();
    for (std::size_t c = 0; c < width; ++c) {
        const int64_t area = profile.columns[c].key;
        const double total = areas.areaLoad(area);
        for (std::size_t s = 0; s < profile.steps.size(); ++s) {
            const std::size_t at = s * width + c;
            if (!table.replaced[at])
                continue;
            if (!(total > 0)) {
                error = "Таблица сценариев задает нагрузку области " + formatInt(area) +
                        ", но в случае у ее узлов нет нагрузки";
                return false;
            }
            profile.multipliers[at] /= total;
        }
    }
    return true;
}

}  // namespace tarvel
