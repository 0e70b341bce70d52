// The command-line tool's --diagram: the picture of the run as SVG, or as PNG
// through a module that is loaded only then.
#pragma once

#include <filesystem>
#include <optional>

#include "diagram/RunDiagram.h"
#include "model/NetworkModel.h"

namespace cli {

enum class DiagramFormat { None, Svg, Png };

// By the file name's extension, in any case of letters.
DiagramFormat diagramFormatOf(const std::filesystem::path& file);

// Lays out and writes the diagram of the run; false, with the reason printed,
// when the file cannot be written.
// data: the diagram of the run, none when the network is too large to be
// drawn (then that is told and nothing is written).
bool writeDiagram(const std::optional<tarvel::diagram::DiagramData>& data, const tarvel::NetworkModel& model,
                  const std::filesystem::path& file);

}  // namespace cli
