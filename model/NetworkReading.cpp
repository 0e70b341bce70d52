#include "model/NetworkReading.h"

#include "model/TextFile.h"

namespace tarvel {

namespace {

constexpr int kNumbersPerLine = 10;  // node numbers per line of a long list

}  // namespace

bool listsNodes(FindingKind kind)
{
    return kind == FindingKind::NotJoinedToBase || kind == FindingKind::RepeatedNumber ||
           kind == FindingKind::NumberWithoutDistrict;
}

std::vector<std::string> findingLines(const Finding& finding)
{
    std::vector<std::string> lines;
    if (listsNodes(finding.kind)) {
        std::string line = finding.text + ":";
        int onLine = 0;
        for (const int32_t number : finding.nodes) {
            if (onLine == kNumbersPerLine) {
                lines.push_back(line);
                line.clear();
                onLine = 0;
            }
            line += " " + formatInt(number);
            ++onLine;
        }
        lines.push_back(line);
        return lines;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = finding.text.find('\n', start);
        lines.push_back(finding.text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return lines;
        start = end + 1;
    }
}

}  // namespace tarvel
