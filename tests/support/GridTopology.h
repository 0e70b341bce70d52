// Seeded network topologies of any size for the diagram's tests and benchmarks
// (the calculation's own generator stops at the table limits).
#pragma once

#include <cstdint>

#include "diagram/Topology.h"

namespace tarvel::test {

// A meshed backbone (a ring with chords) of about one node in twenty-five,
// radial feeders hanging from it over transformers, and a few ties between
// neighbouring feeders. Node numbers carry up to nine districts (r * 10000 + i),
// each an arc of the backbone with its feeders; the base node is number 1,
// district 0.
diagram::Topology meshedTopology(int nodes, uint32_t seed = 1);

// A tree from the base node: feeders that branch now and then.
diagram::Topology radialTopology(int nodes, uint32_t seed = 1);

}  // namespace tarvel::test
