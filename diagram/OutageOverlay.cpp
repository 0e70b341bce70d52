#include "diagram/OutageOverlay.h"

#include <algorithm>
#include <cmath>

#include "model/TextFile.h"

namespace tarvel::diagram {

namespace {

std::string fixed(double value, int decimals)
{
    return hoverFixed(value, decimals);
}

std::string signedFixed(double value, int decimals)
{
    const std::string text = fixed(value, decimals);
    return text.starts_with('-') ? text : "+" + text;
}

void appendLines(std::string& text, const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        text += "\n" + line;
}

std::string nodeText(const NodeShape& shape, const OutageOverlay& overlay, const OutageNodeState& s)
{
    std::string text = nodeHeading(shape) + "\nОтключение: " + overlay.label;
    if (s.cutOff)
        return text + "\nУзел отделен от базового узла";
    text += "\nV = " + fixed(s.u, 2) + " кВ";
    if (s.unom > 0)
        text += ", " + fixed(s.u / s.unom, 4) + " о.е. (Uном " + fixed(s.unom, 2) + " кВ, " +
                signedFixed(100.0 * (s.u - s.unom) / s.unom, 2) + " %)";
    text += "\nУгол = " + fixed(s.angle, 2) + "°\nP = " + fixed(s.p, 2) + " МВт, Q = " + fixed(s.q, 2) + " Мвар";
    appendLines(text, s.violations);
    return text;
}

std::string branchText(const BranchShape& shape, const OutageOverlay& overlay, const OutageBranchState& s)
{
    std::string text = branchHeading(shape) + "\nОтключение: " + overlay.label;
    if (s.out)
        return text + "\nВетвь отключена";
    if (s.cutOff)
        return text + "\nВетвь отделена от базового узла";
    text += "\nP12 = " + fixed(s.p12, 2) + " МВт, Q12 = " + fixed(s.q12, 2) + " Мвар\nP21 = " + fixed(s.p21, 2) +
            " МВт, Q21 = " + fixed(s.q21, 2) + " Мвар\nI = " + fixed(s.current, 3) + " кА";
    if (s.loading >= 0)
        text += ", загрузка " + fixed(s.loading, 1) + " %";
    appendLines(text, s.violations);
    return text;
}

}  // namespace

void overlayOutage(Picture& picture, const OutageOverlay& overlay)
{
    for (NodeShape& shape : picture.nodes) {
        if (shape.record < 0 || static_cast<std::size_t>(shape.record) >= overlay.nodes.size())
            continue;
        const OutageNodeState& s = overlay.nodes[static_cast<std::size_t>(shape.record)];
        shape.cutOff = s.cutOff;
        shape.violation = !s.violations.empty();
        if (!shape.warning)
            shape.fill = s.cutOff || !(s.unom > 0) ? noResultColor() : deviationColor(100.0 * (s.u - s.unom) / s.unom);
        shape.text = nodeText(shape, overlay, s);
    }

    // Widths as the base case's picture gives them: by the largest flow of
    // the state shown.
    double largest = 0;
    for (const OutageBranchState& s : overlay.branches)
        largest = std::max(largest, std::fabs(s.p12));
    for (BranchShape& shape : picture.branches) {
        if (shape.record <= 0 || static_cast<std::size_t>(shape.record) >= overlay.branches.size())
            continue;
        const OutageBranchState& s = overlay.branches[static_cast<std::size_t>(shape.record)];
        shape.outaged = s.out;
        shape.cutOff = s.cutOff;
        shape.violation = !s.violations.empty();
        shape.text = branchText(shape, overlay, s);
        if (s.out || s.cutOff) {
            // Dashes of a thin line are lost among the branches at work.
            shape.width = s.out ? kOutagedWidth : 1.5;
            shape.direction = 0;
            continue;
        }
        const double p = std::fabs(s.p12);
        shape.width = 1.0 + (largest > 0 ? 5.0 * std::sqrt(p / largest) : 0.0);
        shape.direction = p < 0.005 ? 0 : (s.p12 < 0 ? 1 : -1);
        if (shape.violation)
            shape.width = std::max(shape.width, kViolationWidth);
    }
    picture.outage = overlay.label;
}

}  // namespace tarvel::diagram
