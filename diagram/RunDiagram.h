// The diagram of the last power-flow run that read its input.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "diagram/Picture.h"
#include "diagram/Topology.h"
#include "model/NetworkModel.h"
#include "model/NetworkReading.h"
#include "powerflow/NetworkResults.h"

namespace tarvel::diagram {

struct DiagramData {
    Topology topology;
    std::optional<NetworkResults> results;  // accepted data
    std::vector<Finding> findings;          // refused data: what the reader found
};

// Beyond this many nodes and branches together a picture helps nobody: no
// node could be told from its neighbours, and its layout would take minutes
// and gigabytes. Such a run gets no diagram.
constexpr long long kMaxDiagramElements = 200000;

// True when the model's network is small enough to be drawn.
bool diagramHelps(const NetworkModel& model);

// What the user is told of a network too large to be drawn (UTF-8; figures
// grouped by threes with a no-break space, as Russian writes them).
std::string tooLargeText(long long nodes, long long branches);

// accepted: the reader accepted the data and the run computed them.
DiagramData diagramDataOfRun(const NetworkModel& model, bool accepted);

Picture pictureOf(const DiagramData& data, const Layout& layout);

}  // namespace tarvel::diagram
