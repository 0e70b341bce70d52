#include "cli/DiagramFile.h"

#include <dlfcn.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <system_error>

#include "diagram/Layout.h"
#include "diagram/RunDiagram.h"
#include "diagram/SvgWriter.h"
#include "diagram/png/PngModule.h"

namespace cli {

namespace {

// Where the module may lie: under the library folder of an installed tree,
// then next to the program as the build folder has it.
std::filesystem::path findPngModule()
{
    std::error_code ec;
    const std::filesystem::path bin = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
    for (const std::filesystem::path& candidate :
         {bin / TARVEL_MODULE_DIR_FROM_BIN / TARVEL_PNG_MODULE_FILE, bin / TARVEL_PNG_MODULE_FILE})
        if (std::filesystem::is_regular_file(candidate, ec))
            return candidate.lexically_normal();
    return {};
}

void tellNotWritten(const std::filesystem::path& file)
{
    std::fprintf(stderr, "Невозможно записать файл схемы \"%s\"\n", file.string().c_str());
}

tarvel::diagram::WritePngFunction loadPngModule()
{
    const std::filesystem::path module = findPngModule();
    if (module.empty()) {
        std::fprintf(stderr, "Схема в PNG не записана: не найден модуль %s (он устанавливается вместе с tarvel-cli)\n",
                     TARVEL_PNG_MODULE_FILE);
        return nullptr;
    }
    // The module and the toolkit stay loaded until the process ends.
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    void* entry = handle ? dlsym(handle, tarvel::diagram::kWritePngSymbol) : nullptr;
    if (!entry) {
        std::fprintf(stderr, "Схема в PNG не записана: не загружается модуль \"%s\": %s\n", module.c_str(), dlerror());
        return nullptr;
    }
    return reinterpret_cast<tarvel::diagram::WritePngFunction>(entry);
}

bool writePng(const std::string& svg, const std::filesystem::path& file)
{
    const tarvel::diagram::WritePngFunction write = loadPngModule();
    if (!write)
        return false;
    switch (write(svg.data(), svg.size(), file.c_str())) {
    case tarvel::diagram::PngWritten:
        return true;
    case tarvel::diagram::PngNotDrawn:
        std::fprintf(stderr, "Схема в PNG не записана: рисунок не построен\n");
        return false;
    default:
        tellNotWritten(file);
        return false;
    }
}

}  // namespace

DiagramFormat diagramFormatOf(const std::filesystem::path& file)
{
    std::string ext = file.extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".svg")
        return DiagramFormat::Svg;
    if (ext == ".png")
        return DiagramFormat::Png;
    return DiagramFormat::None;
}

bool writeDiagram(const std::optional<tarvel::diagram::DiagramData>& data, const tarvel::NetworkModel& model,
                  const std::filesystem::path& file)
{
    if (!data) {
        std::fprintf(stderr, "%s\n", tarvel::diagram::tooLargeText(model.nodeCount + 1, model.branchCount).c_str());
        return false;
    }
    const tarvel::diagram::Picture picture =
        tarvel::diagram::pictureOf(*data, tarvel::diagram::layoutTopology(data->topology));
    if (diagramFormatOf(file) == DiagramFormat::Png)
        return writePng(tarvel::diagram::svgText(picture), file);
    if (tarvel::diagram::writeSvg(picture, file))
        return true;
    tellNotWritten(file);
    return false;
}

}  // namespace cli
