// The command-line tool's --diagram: the picture of the run as SVG, or as PNG
// through a module that is loaded only then.
#pragma once

#include <filesystem>

#include "model/NetworkModel.h"

namespace cli {

enum class DiagramFormat { None, Svg, Png };

// By the file name's extension, in any case of letters.
DiagramFormat diagramFormatOf(const std::filesystem::path& file);

// Lays out and writes the diagram of the run; false, with the reason printed,
// when the file cannot be written.
bool writeDiagram(const tarvel::NetworkModel& model, bool accepted,
                  const std::filesystem::path& file);

}  // namespace cli
