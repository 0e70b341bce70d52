// Deterministic ЦДУ networks for tests, benchmarks and the fuzz corpus.
//
// A network is a 230 kV backbone fed from the base node, with sub-networks of
// lower voltage (115, 37, 10.5, 6.3 kV) hanging from it over transformers.
// Each sub-network is a tree of lines; extra lines mesh the voltage levels.
// Node numbers carry their district in the leading digit (1xx, 2xxx, 3xx,
// 4xxx, 5xx, 6xxxx, ...; district 0 is 1..99).
// Loads are sized per voltage level so that the default settings (precision
// 0.01, 10 iterations) converge.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvel::test {

struct NetworkOptions {
    int nodes = 14;               // nodes besides the base node, 1..99
    int extraBranches = 0;        // lines beyond the spanning tree (meshing); at most 149 branches in all
    int districts = 3;            // 1..10 leading digits in use
    uint32_t seed = 1;
    int transformers = 2;         // sub-networks fed over a transformer (never at the base node)
    int fixedVoltageNodes = 1;    // generator nodes with fixed voltage magnitude
    int shunts = 1;               // shunt records (capacitors and reactors)
};

struct GeneratedNode {
    int number = 0;
    int type = 1;        // 1 load, 2 fixed voltage magnitude (3 for the base node)
    double unom = 0;     // nominal voltage, kV
    double fixedVoltage = 0;  // kV, a type-2 node's voltage magnitude; 0 otherwise
    double p = 0, q = 0; // MW, Mvar, + consumption
    double shuntB = 0;   // uS as written (capacitive negative), 0 without shunt
    double qmin = 0, qmax = 0;  // Mvar generated, a type-2 node's reactive limits; 0 and 0: none
};

struct GeneratedBranch {
    int from = 0, to = 0;  // node numbers
    double r = 0, x = 0;   // Ohm
    double b = 0;          // uS as written (charging negative)
    double ratio = 1;      // Kt
};

struct GeneratedNetwork {
    std::vector<GeneratedNode> nodes;  // [0] is the base node
    std::vector<GeneratedBranch> branches;
    std::string text;                  // the ЦДУ text, ASCII with CR LF line ends
};

GeneratedNetwork generateNetwork(const NetworkOptions& options);

// A large meshed grid for the sparse method: 230 kV nodes on a square grid
// whose rows are chains of lines joined by a share of the vertical lines, a
// share of the cells crossed by a diagonal line (about 1.4 lines per node in
// all, as in real transmission grids), a share of the nodes holding a fixed
// voltage with generation, and a share of 115 kV nodes fed over a
// transformer from a grid node. Generation is placed along the rows to cover
// the nearby loads, and a backbone of strong lines joins the base node to a
// hub in every 2000 positions. The base node is number 1 in
// the middle of the grid; the others are numbered 2..nodes+1 in a shuffled
// order, so that the numbers stay within the format's limit up to 99 999
// nodes and fall into every district.
struct GridOptions {
    int nodes = 1000;             // nodes besides the base node
    double verticals = 0.3;       // share of the vertical lines between rows
    double diagonals = 0.1;       // share of grid cells with a diagonal line
    double generators = 0.1;      // share of nodes with fixed voltage magnitude
    double transformers = 0.05;   // share of nodes behind a transformer
    uint32_t seed = 1;
    // 0: one grid. Otherwise the grid is cut into regions of region x region
    // positions, meshed inside as above and joined to each neighbouring
    // region by one tie line only (at the region's corner), as regional
    // networks are joined by a few interconnections.
    int region = 0;
};

GeneratedNetwork generateGrid(const GridOptions& options);

// A fully meshed square lattice of side x side 230 kV nodes: every row and
// every column a chain of lines, every fifth cell crossed by a diagonal line
// (about 2.2 lines per node), no transformers. Every segment of ten
// consecutive positions holds a fixed-voltage node that covers the
// segment's load and its losses, so that the base node (number 1, in the
// middle) carries little. The other nodes are numbered 2..side^2 in a
// shuffled order. A side of 316 gives 99 856 nodes and 218 925 lines.
GeneratedNetwork generateLattice(int side, uint32_t seed = 1);

// The ЦДУ text of a network (codes written 0102, 0201, 0301; shunt records
// follow every node record).
std::string cduText(const GeneratedNetwork& network);
// The same records with a figure of every form the format allows in each field
// that a run without reactive limits leaves unread (flags, the reals marked
// unused, the limits of nodes that have none, the branch's reals after Kt), drawn from `seed`.
std::string cduTextWithUnusedFigures(const GeneratedNetwork& network, uint32_t seed);

}  // namespace tarvel::test
