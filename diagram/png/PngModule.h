/* The entry of the module that writes the diagram's PNG image for tarvel-cli.
 * The command-line tool opens the module with dlopen only when a PNG is asked,
 * so that it starts without the window's toolkit on every other run. */
#pragma once

#include <cstddef>

namespace tarvel::diagram {

enum PngOutcome : int {
    PngWritten = 0,
    PngNotDrawn = 1,       // the SVG text cannot be drawn
    PngNotWritten = 2,     // the file cannot be created
};

// Draws the SVG text (UTF-8, `size` bytes) and writes it as PNG to `path`
// (a file name in the local encoding). No display is needed.
using WritePngFunction = int (*)(const char* svg, std::size_t size, const char* path);
constexpr const char* kWritePngSymbol = "tarvel_write_diagram_png";

}  // namespace tarvel::diagram
