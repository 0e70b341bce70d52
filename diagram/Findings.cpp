#include "diagram/Findings.h"

#include <charconv>
#include <sstream>

namespace tarvel::diagram {

namespace {

std::vector<std::string> words(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

bool toNumber(const std::string& word, int32_t& value)
{
    const auto r = std::from_chars(word.data(), word.data() + word.size(), value);
    return r.ec == std::errc() && r.ptr == word.data() + word.size();
}

bool allNumbers(const std::vector<std::string>& ws, std::vector<int32_t>& numbers)
{
    numbers.clear();
    for (const std::string& w : ws) {
        int32_t v = 0;
        if (!toNumber(w, v))
            return false;
        numbers.push_back(v);
    }
    return !numbers.empty();
}

}  // namespace

Findings parseFindings(const std::string& errText)
{
    Findings f;
    std::vector<std::string> lines;
    {
        std::string line;
        for (char c : errText) {
            if (c == '\r' || c == '\n') {
                if (!line.empty())
                    lines.push_back(line);
                line.clear();
            } else {
                line += c;
            }
        }
        if (!line.empty())
            lines.push_back(line);
    }

    std::string listHeading;  // the line whose numbers go on in the next lines
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::vector<std::string> ws = words(line);
        std::vector<int32_t> numbers;
        if (!listHeading.empty() && allNumbers(ws, numbers)) {
            for (int32_t n : numbers)
                f.nodes[n].push_back(listHeading);
            continue;
        }
        listHeading.clear();
        // Counts of the whole text, not numbers of nodes.
        if (line.rfind("Ошибка данных", 0) == 0) {
            f.general.push_back(line);
            continue;
        }

        // "Ветвь A B ...": the branch of the line before.
        int32_t a = 0, b = 0;
        if (ws.size() >= 3 && ws[0] == "Ветвь" && toNumber(ws[1], a) && toNumber(ws[2], b)) {
            std::string text = i > 0 ? lines[i - 1] : std::string();
            while (!text.empty() && text.back() == ' ')
                text.pop_back();
            f.branches[{a, b}].push_back(text.empty() ? line : text + " " + line);
            if (i > 0 && !f.general.empty() && f.general.back() == lines[i - 1])
                f.general.pop_back();
            continue;
        }
        const std::size_t n = ws.size();
        if (n >= 3 && ws[n - 3] == "ветви" && toNumber(ws[n - 2], a) && toNumber(ws[n - 1], b)) {
            f.branches[{a, b}].push_back(line);
            continue;
        }
        if (n >= 2 && ws[n - 2] == "узла" && toNumber(ws[n - 1], a)) {
            f.nodes[a].push_back(line);
            continue;
        }
        // "...: n1 n2 ..." lists nodes.
        if (const auto colon = line.rfind(':'); colon != std::string::npos) {
            if (allNumbers(words(line.substr(colon + 1)), numbers)) {
                const std::string heading = line.substr(0, colon);
                for (int32_t v : numbers)
                    f.nodes[v].push_back(heading);
                listHeading = heading;
                continue;
            }
        }
        f.general.push_back(line);
    }
    return f;
}

}  // namespace tarvel::diagram
