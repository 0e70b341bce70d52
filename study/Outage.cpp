#include "study/Outage.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <tuple>

#include "model/TextFile.h"

namespace tarvel {

namespace {

std::pair<int32_t, int32_t> orderedPair(int32_t a, int32_t b)
{
    return a <= b ? std::pair{a, b} : std::pair{b, a};
}

std::string_view trimmed(std::string_view s)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// The words of a text separated by blanks, tabs or commas.
std::vector<std::string_view> wordsOf(std::string_view s)
{
    std::vector<std::string_view> words;
    std::size_t i = 0;
    const auto separator = [](char c) { return c == ' ' || c == '\t' || c == ','; };
    while (i < s.size()) {
        while (i < s.size() && separator(s[i]))
            ++i;
        const std::size_t start = i;
        while (i < s.size() && !separator(s[i]))
            ++i;
        if (i > start)
            words.push_back(s.substr(start, i - start));
    }
    return words;
}

template <typename Int>
bool parseInteger(std::string_view word, Int& value)
{
    const auto r = std::from_chars(word.data(), word.data() + word.size(), value);
    return !word.empty() && r.ec == std::errc() && r.ptr == word.data() + word.size();
}

std::string lineText(int line)
{
    return formatInt(line);
}

}  // namespace

BranchIndex::BranchIndex(const NetworkModel& model)
{
    const int m = model.branchCount;
    names_.resize(static_cast<std::size_t>(m) + 1);
    parallels_.assign(static_cast<std::size_t>(m) + 1, 0);
    std::map<std::pair<int32_t, int32_t>, int> seen;
    for (int i = 1; i <= m; ++i) {
        const int32_t n1 = model.branchStartNode[i];
        const int32_t n2 = model.branchEndNode[i];
        names_[i] = BranchName{n1, n2, ++seen[orderedPair(n1, n2)]};
    }
    for (int i = 1; i <= m; ++i)
        parallels_[i] = seen[orderedPair(names_[i].n1, names_[i].n2)];
    sorted_.resize(m);
    for (int i = 0; i < m; ++i)
        sorted_[i] = i + 1;
    std::sort(sorted_.begin(), sorted_.end(), [&](int a, int b) {
        const auto [a1, a2] = orderedPair(names_[a].n1, names_[a].n2);
        const auto [b1, b2] = orderedPair(names_[b].n1, names_[b].n2);
        return std::tie(a1, a2, names_[a].k) < std::tie(b1, b2, names_[b].k);
    });
}

bool BranchIndex::hasParallels(int branch) const
{
    return parallels_[branch] > 1;
}

int BranchIndex::find(int32_t n1, int32_t n2, int k) const
{
    const auto key = std::tuple{orderedPair(n1, n2).first, orderedPair(n1, n2).second, k};
    const auto it = std::lower_bound(sorted_.begin(), sorted_.end(), key, [&](int b, const auto& wanted) {
        const auto [b1, b2] = orderedPair(names_[b].n1, names_[b].n2);
        return std::tuple{b1, b2, names_[b].k} < wanted;
    });
    if (it == sorted_.end())
        return 0;
    const auto [b1, b2] = orderedPair(names_[*it].n1, names_[*it].n2);
    return std::tuple{b1, b2, names_[*it].k} == key ? *it : 0;
}

std::string branchLabel(const BranchIndex& index, int branch)
{
    const BranchName& b = index.name(branch);
    std::string label = formatInt(b.n1) + "-" + formatInt(b.n2);
    if (index.hasParallels(branch))
        label += "/" + formatInt(b.k);
    return label;
}

std::vector<Outage> allBranchOutages(const BranchIndex& index)
{
    std::vector<Outage> outages(static_cast<std::size_t>(index.branchCount()));
    for (int i = 1; i <= index.branchCount(); ++i)
        outages[i - 1] = Outage{branchLabel(index, i), {i}};
    return outages;
}

OutageList readOutageList(std::string_view text, const BranchIndex& index)
{
    OutageList list;
    const auto refuse = [&](int line, const std::string& why) {
        list.error = "Строка " + lineText(line) + " списка отключений: " + why;
        list.outages.clear();
        return list;
    };
    const std::vector<std::string_view> lines = textLines(text);
    for (std::size_t l = 0; l < lines.size(); ++l) {
        const int line = static_cast<int>(l) + 1;
        std::string_view content = lines[l];
        if (const auto hash = content.find('#'); hash != std::string_view::npos)
            content = content.substr(0, hash);
        content = trimmed(content);
        if (content.empty())
            continue;
        Outage outage;
        outage.label = std::string(content);
        std::size_t start = 0;
        while (start <= content.size()) {
            std::size_t end = content.find(';', start);
            if (end == std::string_view::npos)
                end = content.size();
            const std::string_view part = trimmed(content.substr(start, end - start));
            const std::vector<std::string_view> words = wordsOf(part);
            int32_t n1 = 0, n2 = 0;
            int k = 1;
            if ((words.size() != 2 && words.size() != 3) || !parseInteger(words[0], n1) ||
                !parseInteger(words[1], n2) || (words.size() == 3 && (!parseInteger(words[2], k) || k < 1)))
                return refuse(line, "ветвь задается номерами узлов \"N1 N2\" или \"N1 N2 K\" (K - номер "
                                    "параллельной ветви от 1): \"" +
                                        std::string(part) + "\"");
            const int branch = index.find(n1, n2, k);
            if (branch == 0)
                return refuse(line, "ветви " + std::string(part) + " в сети нет");
            if (std::find(outage.branches.begin(), outage.branches.end(), branch) != outage.branches.end())
                return refuse(line, "ветвь " + std::string(part) + " названа дважды");
            outage.branches.push_back(branch);
            start = end + 1;
        }
        list.outages.push_back(std::move(outage));
    }
    if (list.outages.empty()) {
        list.error = "Список отключений пуст: в нем нет ни одной ветви";
        return list;
    }
    list.ok = true;
    return list;
}

bool isContingencyTable(std::string_view text)
{
    return text.find("chgtab") != std::string_view::npos;
}

namespace {

// The name after "function ... =" on the first function line, without the
// prefix given ("contab_", "case_").
std::string functionName(std::string_view text)
{
    for (std::string_view line : textLines(text)) {
        line = trimmed(line);
        if (!line.starts_with("function"))
            continue;
        const auto eq = line.find('=');
        std::string_view name = trimmed(eq == std::string_view::npos ? line.substr(8) : line.substr(eq + 1));
        if (const auto paren = name.find('('); paren != std::string_view::npos)
            name = trimmed(name.substr(0, paren));
        return std::string(name);
    }
    return {};
}

std::string withoutPrefix(std::string name, std::string_view prefix)
{
    if (name.starts_with(prefix))
        name.erase(0, prefix.size());
    if (!name.empty() && name.front() == '_')
        name.erase(0, 1);
    return name;
}

// A column of the table given by MATPOWER's name or by its value.
bool isCode(std::string_view word, std::string_view name, int value)
{
    int v = 0;
    return word == name || (parseInteger(word, v) && v == value);
}

}  // namespace

std::string caseFunctionName(std::string_view caseText)
{
    return functionName(caseText);
}

OutageList readContingencyTable(std::string_view text, const CaseBranchMap& map)
{
    OutageList list;
    const auto refuse = [&](int line, const std::string& why) {
        list.error = (line > 0 ? "Строка " + lineText(line) + " таблицы отключений: " : "Таблица отключений: ") + why;
        list.outages.clear();
        return list;
    };
    const std::string tableFor = withoutPrefix(functionName(text), "contab");
    const std::string caseName = withoutPrefix(map.caseName, "case");
    if (!tableFor.empty() && !caseName.empty() && tableFor != caseName)
        return refuse(0, "она составлена для случая " + tableFor + ", а рассчитывается случай " + map.caseName);

    const std::vector<std::string_view> lines = textLines(text);
    std::map<long long, std::size_t> outageOfLabel;
    bool inTable = false;
    bool sawTable = false;
    for (std::size_t l = 0; l < lines.size(); ++l) {
        const int line = static_cast<int>(l) + 1;
        std::string_view content = lines[l];
        if (const auto percent = content.find('%'); percent != std::string_view::npos)
            content = content.substr(0, percent);
        content = trimmed(content);
        if (!inTable) {
            if (content.starts_with("chgtab") && content.find('[') != std::string_view::npos) {
                inTable = sawTable = true;
                content = trimmed(content.substr(content.find('[') + 1));
            } else {
                continue;
            }
        }
        bool closes = false;
        if (const auto close = content.find(']'); close != std::string_view::npos) {
            content = trimmed(content.substr(0, close));
            closes = true;
        }
        std::size_t start = 0;
        while (start < content.size()) {
            std::size_t end = content.find(';', start);
            if (end == std::string_view::npos)
                end = content.size();
            const std::vector<std::string_view> words = wordsOf(trimmed(content.substr(start, end - start)));
            start = end + 1;
            if (words.empty())
                continue;
            long long label = 0;
            long long row = 0;
            if (words.size() != 7 || !parseInteger(words[0], label) || !parseInteger(words[3], row))
                return refuse(line, "строка изменения должна содержать 7 чисел (метка, вероятность, таблица, "
                                    "строка, столбец, вид, значение): \"" +
                                        std::string(trimmed(lines[l])) + "\"");
            if (!isCode(words[2], "CT_TBRCH", 3) || !isCode(words[4], "BR_STATUS", 11) ||
                !isCode(words[5], "CT_REP", 1) || words[6] != "0")
                return refuse(line, "рассчитываются только отключения ветвей (CT_TBRCH ... BR_STATUS CT_REP 0), "
                                    "другие изменения не поддерживаются: \"" +
                                        std::string(trimmed(lines[l])) + "\"");
            if (row < 1 || row > static_cast<long long>(map.branchOfRow.size()))
                return refuse(line, "ветви " + formatInt(row) + " в случае нет (в нем " +
                                        formatInt(static_cast<long long>(map.branchOfRow.size())) +
                                        " ветвей): таблица составлена для другого случая");
            const int branch = map.branchOfRow[static_cast<std::size_t>(row - 1)];
            if (branch == 0)
                return refuse(line, "ветвь " + formatInt(row) + " случая выведена из работы и в расчет не входит");
            auto [it, added] = outageOfLabel.try_emplace(label, list.outages.size());
            if (added)
                list.outages.push_back(Outage{formatInt(label), {}});
            std::vector<int>& branches = list.outages[it->second].branches;
            if (std::find(branches.begin(), branches.end(), branch) == branches.end())
                branches.push_back(branch);
        }
        if (closes)
            inTable = false;
    }
    if (!sawTable)
        return refuse(0, "в файле нет таблицы chgtab");
    if (list.outages.empty())
        return refuse(0, "таблица chgtab пуста");
    list.ok = true;
    return list;
}

}  // namespace tarvel
