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

namespace {

std::string grouped(long long value)
{
    std::string digits = std::to_string(value < 0 ? -value : value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), "\u00a0");
    return (value < 0 ? "-" : "") + digits;
}

}  // namespace

std::string tooLargeText(long long nodes, long long branches)
{
    return "Схема не строится: узлов " + grouped(nodes) + ", ветвей " + grouped(branches) + ", больше " +
           grouped(kMaxDiagramElements) + " элементов, на таком рисунке ничего не разобрать.";
}

bool diagramHelps(const NetworkModel& model)
{
    return 1LL + model.nodeCount + model.branchCount <= kMaxDiagramElements;
}

}  // namespace tarvel::diagram
