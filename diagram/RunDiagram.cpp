#include "diagram/RunDiagram.h"

namespace tarvel::diagram {

DiagramData diagramDataOfRun(const NetworkModel& model, bool accepted)
{
    DiagramData data;
    data.topology = topologyOf(model);
    if (accepted)
        data.results = collectResults(model);
    else
        data.findings = model.reading.findings;
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
