// The diagram as an SVG 1.1 document (UTF-8): every node's number as text,
// the hover texts as titles, a legend of the colour scale and the symbols.
#pragma once

#include <filesystem>
#include <string>

#include "diagram/Picture.h"

namespace tarvel::diagram {

std::string svgText(const Picture& picture);

// Writes the SVG text to a file through a neighbour renamed over it; false,
// with any earlier file left as it was, when it cannot be written whole.
bool writeSvg(const Picture& picture, const std::filesystem::path& path);

// The legend's captions, shared by every view of the diagram.
struct LegendEntry {
    double percent;
    std::string caption;
};
std::vector<LegendEntry> legendScale();
// The caption of a district's tint in the legend.
std::string districtCaption(int district);

}  // namespace tarvel::diagram
