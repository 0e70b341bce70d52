// tarvel-netgen: writes seeded ЦДУ networks for the comparison script and the
// whole-process measurements.
//
//   tarvel-netgen small COUNT DIR      COUNT networks of 1..99 nodes (net-0001.cdu ...),
//                                      the odd ones with figures in every unread field
//   tarvel-netgen grid NODES SEED FILE a meshed grid of NODES nodes besides the base node
//   tarvel-netgen regional NODES SEED FILE  the same grid cut into regions of 16 x 16 positions
//   tarvel-netgen lattice SIDE SEED FILE    a fully meshed lattice of SIDE x SIDE nodes
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "model/TextFile.h"
#include "tests/support/NetworkGenerator.h"

namespace {

int usage()
{
    std::fputs("usage: tarvel-netgen small COUNT DIR | tarvel-netgen grid|regional NODES SEED FILE"
               " | tarvel-netgen lattice SIDE SEED FILE\n", stderr);
    return 2;
}

// Network k of the small set: sizes, meshing and elements vary with k.
tarvel::test::NetworkOptions smallOptions(int k)
{
    tarvel::test::NetworkOptions o;
    o.seed = static_cast<uint32_t>(1000 + k);
    o.nodes = 1 + (k * 37) % 99;
    o.extraBranches = (k % 3 == 0) ? 0 : (k * 13) % (150 - o.nodes);
    o.districts = 1 + k % 10;
    o.transformers = k % 7;
    o.fixedVoltageNodes = k % 4;
    o.shunts = k % 5;
    return o;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    const std::string mode = argv[1];
    if (mode == "small" && argc == 4) {
        const int count = std::atoi(argv[2]);
        const std::filesystem::path dir = argv[3];
        std::filesystem::create_directories(dir);
        for (int k = 1; k <= count; ++k) {
            char name[32];
            std::snprintf(name, sizeof name, "net-%04d.cdu", k);
            // Every other network has a figure in each field the run leaves
            // unread: such figures must change nothing.
            const tarvel::test::GeneratedNetwork network = tarvel::test::generateNetwork(smallOptions(k));
            const std::string text = k % 2 == 1
                                         ? tarvel::test::cduTextWithUnusedFigures(network, static_cast<uint32_t>(k))
                                         : network.text;
            if (!tarvel::writeFileBytes(dir / name, text))
                return 1;
        }
        return 0;
    }
    if ((mode == "grid" || mode == "regional") && argc == 5) {
        tarvel::test::GridOptions o;
        o.nodes = std::atoi(argv[2]);
        o.seed = static_cast<uint32_t>(std::atoi(argv[3]));
        o.region = mode == "regional" ? 16 : 0;
        return tarvel::writeFileBytes(argv[4], tarvel::test::generateGrid(o).text) ? 0 : 1;
    }
    if (mode == "lattice" && argc == 5) {
        const int side = std::atoi(argv[2]);
        const auto seed = static_cast<uint32_t>(std::atoi(argv[3]));
        return tarvel::writeFileBytes(argv[4], tarvel::test::generateLattice(side, seed).text) ? 0 : 1;
    }
    return usage();
}
