#include "diagram/RunDiagram.h"

#include <string>

#include "model/TextFile.h"
#include "model/WorkingFiles.h"

namespace tarvel::diagram {

DiagramData diagramDataOfRun(const NetworkModel& model, bool accepted, const std::filesystem::path& workDir)
{
    DiagramData data;
    data.topology = topologyOf(model);
    if (accepted) {
        data.results = collectResults(model);
    } else {
        std::string err;
        if (readTextFile(workDir / kErrorFile, err))
            data.findings = parseFindings(err);
    }
    return data;
}

Picture pictureOf(const DiagramData& data, const Layout& layout)
{
    return drawPicture(data.topology, layout, data.results ? &*data.results : nullptr, data.findings);
}

bool diagramHelps(const NetworkModel& model)
{
    return 1LL + model.nodeCount + model.branchCount <= kMaxDiagramElements;
}

}  // namespace tarvel::diagram
