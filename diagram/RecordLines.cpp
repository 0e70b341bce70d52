#include "diagram/RecordLines.h"

#include <charconv>
#include <vector>

namespace tarvel::diagram {

namespace {

std::vector<std::string_view> words(std::string_view line, std::size_t count)
{
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (out.size() < count) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        if (i == line.size())
            break;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
            ++i;
        out.push_back(line.substr(start, i - start));
    }
    return out;
}

bool integer(std::string_view word, long long& value)
{
    if (!word.empty() && word.front() == '+')
        word.remove_prefix(1);
    const auto r = std::from_chars(word.data(), word.data() + word.size(), value);
    return r.ec == std::errc() && r.ptr == word.data() + word.size();
}

// Calls visit(line, code, first words) for every line that starts with a
// number; stops when visit returns true and gives that line, else -1.
template <typename Visit> int findLine(std::string_view text, Visit visit)
{
    int number = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::vector<std::string_view> w = words(text.substr(start, end - start), 4);
        long long code = 0;
        if (!w.empty() && integer(w[0], code) && visit(number, code, w))
            return number;
        ++number;
        start = end + 1;
    }
    return -1;
}

}  // namespace

int nodeRecordLine(std::string_view text, int k)
{
    int seen = 0, last = -1;
    const int line = findLine(text, [&](int number, long long code, const std::vector<std::string_view>&) {
        if (k == 0 && code == 102)
            last = number;  // the reader keeps the last base-node record
        return k > 0 && code == 201 && ++seen == k;
    });
    return k == 0 ? last : line;
}

int branchRecordLine(std::string_view text, int j)
{
    int seen = 0;
    return findLine(text, [&](int, long long code, const std::vector<std::string_view>& w) {
        long long n2 = 0;
        // A record cut before N2 counts as a branch, as the reader stores it
        // only when N2 is read and not 0; here the line is all there is.
        const bool branch = code == 301 && (w.size() < 4 || !integer(w[3], n2) || n2 != 0);
        return branch && ++seen == j;
    });
}

}  // namespace tarvel::diagram
