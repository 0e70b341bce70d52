#include "tests/support/NetworkGenerator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <set>
#include <utility>

#include "model/TextFile.h"

namespace tarvel::test {

namespace {

// splitmix64: the same numbers on every platform and standard library.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) {}
    uint64_t next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [lo, hi).
    double real(double lo, double hi) { return lo + (hi - lo) * static_cast<double>(next() >> 11) * 0x1.0p-53; }
    // Uniform in lo..hi.
    int integer(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<uint64_t>(hi - lo + 1)); }
    bool chance(double p) { return real(0, 1) < p; }

private:
    uint64_t state_;
};

// One voltage level: line data, load per node, the largest load of one
// sub-network, the data of a transformer feeding it, and the size of a
// generator and of a shunt at it.
struct Level {
    double unom;
    double rMin, rMax, xMin, xMax;
    double bMin, bMax;  // line charging, uS (written negative)
    double pMin, pMax;
    double groupCap;
    double trR, trXMin, trXMax;  // transformer into this level, seen from its side
    double generator;            // MW of a fixed-voltage node
    double shuntMin, shuntMax;   // uS
};

constexpr std::array<Level, 5> kLevels = {{
    {230.0, 2.0, 6.0, 10.0, 25.0, 60, 160, 8.0, 25.0, 250.0, 0.0, 0.0, 0.0, 60.0, 100, 300},
    {115.0, 1.5, 5.0, 5.0, 14.0, 20, 60, 3.0, 8.0, 70.0, 0.5, 8.0, 12.0, 15.0, 50, 200},
    {37.0, 0.8, 2.5, 1.6, 4.0, 0, 0, 0.8, 2.0, 14.0, 0.3, 2.5, 4.0, 4.0, 100, 400},
    {10.5, 0.3, 1.0, 1.1, 2.0, 0, 0, 0.1, 0.35, 2.5, 0.1, 1.2, 2.0, 0.8, 200, 800},
    {6.3, 0.2, 0.5, 1.05, 1.4, 0, 0, 0.04, 0.12, 0.8, 0.05, 1.05, 1.3, 0.3, 200, 800},
}};
constexpr double kBaseVoltage = 240.0;
constexpr int kMaxNodes = 99;
constexpr int kMaxBranches = 149;

// Leading digits of the districts in the order they are taken.
constexpr std::array<int, 10> kDistrictDigits = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0};

double rounded(double v, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return std::round(v * scale) / scale;
}

// A number as the ЦДУ text holds it: plain decimals, no trailing zeros.
std::string number(double v)
{
    std::string s = formatFixed(v, 0, 4);
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0')
            s.pop_back();
        if (s.back() == '.')
            s.pop_back();
    }
    if (s == "-0")
        s = "0";
    return s;
}

class Builder {
public:
    explicit Builder(const NetworkOptions& o) : rng_(o.seed)
    {
        n_ = std::clamp(o.nodes, 1, kMaxNodes);
        districts_ = std::clamp(o.districts, 1, 10);
        transformers_ = std::clamp(o.transformers, 0, n_ - 1);
        extra_ = std::clamp(o.extraBranches, 0, kMaxBranches - n_);
        fixed_ = std::clamp(o.fixedVoltageNodes, 0, n_);
        shunts_ = std::clamp(o.shunts, 0, n_);
    }

    GeneratedNetwork build()
    {
        planGroups();
        placeNodes();
        buildTrees();
        addMeshing();
        setLoads();
        setGenerators();
        setShunts();
        return finish();
    }

private:
    struct Node {
        int group = 0;
        int slot = 0;  // district slot
        GeneratedNode data;
    };

    void planGroups()
    {
        // Group 0 is the backbone; group g > 0 is fed from feeder_[g] over a
        // transformer and lies one level below it.
        const int groups = transformers_ + 1;
        feeder_.assign(groups, -1);
        level_.assign(groups, 0);
        for (int g = 1; g < groups; ++g) {
            feeder_[g] = g <= 4 ? g - 1 : rng_.integer(0, std::min(3, g - 1));
            level_[g] = level_[feeder_[g]] + 1;
        }
        // Every group has a node (the backbone one besides the base node);
        // the rest go to the backbone a third of the time, else anywhere.
        size_.assign(groups, 1);
        for (int k = groups; k < n_; ++k)
            ++size_[rng_.chance(0.35) ? 0 : rng_.integer(0, groups - 1)];
    }

    int newNumber(int slot)
    {
        const int digit = kDistrictDigits[slot];
        const int k = counter_[slot]++;
        if (digit == 0)
            return k + 1;  // district 0 holds 1..99
        if (slot == 5)
            return digit * 10000 + k;  // five digits: 60000, 60001, ...
        return slot % 2 == 0 ? digit * 100 + k : digit * 1000 + k;
    }

    void addNode(int group, int slot)
    {
        Node node;
        node.group = group;
        node.slot = slot;
        node.data.number = newNumber(slot);
        node.data.unom = kLevels[level_[group]].unom;
        members_[group].push_back(static_cast<int>(nodes_.size()));
        nodes_.push_back(node);
    }

    void placeNodes()
    {
        members_.assign(size_.size(), {});
        // The backbone, base node first, in contiguous district blocks.
        const int backbone = size_[0] + 1;
        const int used = std::min(districts_, backbone);
        for (int j = 0; j < backbone; ++j)
            addNode(0, j * used / backbone);
        nodes_[0].data.type = 3;
        nodes_[0].data.unom = kBaseVoltage;
        // A sub-network lies in its feeder's district or in one of its own.
        feederNode_.assign(size_.size(), -1);
        for (std::size_t g = 1; g < size_.size(); ++g) {
            const auto& from = members_[feeder_[g]];
            // The base node never feeds a transformer.
            const int first = feeder_[g] == 0 ? 1 : 0;
            const int f = from[rng_.integer(first, static_cast<int>(from.size()) - 1)];
            feederNode_[g] = f;
            const int slot = rng_.chance(0.7) ? nodes_[f].slot : static_cast<int>(g) % districts_;
            for (int k = 0; k < size_[g]; ++k)
                addNode(static_cast<int>(g), slot);
        }
    }

    GeneratedBranch line(int a, int b, const Level& L)
    {
        GeneratedBranch br;
        const bool flip = rng_.chance(0.3);
        br.from = nodes_[flip ? b : a].data.number;
        br.to = nodes_[flip ? a : b].data.number;
        br.r = rounded(rng_.real(L.rMin, L.rMax), 3);
        br.x = rounded(rng_.real(L.xMin, L.xMax), 3);
        br.b = L.bMax > 0 ? -rounded(rng_.real(L.bMin, L.bMax), 1) : 0.0;
        br.ratio = 1;
        return br;
    }

    void connect(int a, int b)
    {
        links_.insert({std::min(a, b), std::max(a, b)});
    }

    void buildTrees()
    {
        for (std::size_t g = 0; g < members_.size(); ++g) {
            const Level& L = kLevels[level_[g]];
            const auto& mem = members_[g];
            if (g > 0) {
                // Transformer from the feeder (higher voltage) to the first node.
                const int f = feederNode_[g];
                const Level& high = kLevels[level_[feeder_[g]]];
                GeneratedBranch tr;
                tr.from = nodes_[f].data.number;
                tr.to = nodes_[mem[0]].data.number;
                tr.r = L.trR;
                tr.x = rounded(rng_.real(L.trXMin, L.trXMax), 3);
                tr.ratio = rounded(high.unom / L.unom * (1.0 + 0.025 * rng_.integer(-2, 2)), 4);
                branches_.push_back(tr);
                connect(f, mem[0]);
            }
            // Every later node hangs from a random earlier node of its group.
            for (std::size_t j = 1; j < mem.size(); ++j) {
                const int parent = mem[rng_.integer(0, static_cast<int>(j) - 1)];
                branches_.push_back(line(parent, mem[j], L));
                connect(parent, mem[j]);
            }
        }
    }

    void addMeshing()
    {
        std::vector<int> candidates;  // groups that hold two nodes
        for (std::size_t g = 0; g < members_.size(); ++g)
            if (members_[g].size() >= 2)
                candidates.push_back(static_cast<int>(g));
        if (candidates.empty())
            return;
        for (int e = 0; e < extra_; ++e) {
            int a = 0, b = 0;
            for (int attempt = 0; attempt < 20; ++attempt) {
                // Larger groups are meshed more often.
                int g = candidates[rng_.integer(0, static_cast<int>(candidates.size()) - 1)];
                if (rng_.chance(0.5))
                    g = candidates[0];
                const auto& mem = members_[g];
                a = mem[rng_.integer(0, static_cast<int>(mem.size()) - 1)];
                do
                    b = mem[rng_.integer(0, static_cast<int>(mem.size()) - 1)];
                while (b == a);
                if (!links_.count({std::min(a, b), std::max(a, b)}))
                    break;  // else try again; after 20 tries a parallel line will do
            }
            branches_.push_back(line(a, b, kLevels[level_[nodes_[a].group]]));
            connect(a, b);
        }
    }

    // Loads of a level, scaled down when the group is so large that its sum
    // would pass the level's limit.
    void setLoads()
    {
        for (std::size_t k = 1; k < nodes_.size(); ++k) {
            Node& node = nodes_[k];
            const Level& L = kLevels[level_[node.group]];
            const int size = size_[node.group];
            const double scale = std::min(1.0, L.groupCap / (size * L.pMax));
            if (rng_.chance(0.1))
                continue;  // a transit node without load
            node.data.p = rounded(rng_.real(L.pMin, L.pMax) * scale, 3);
            node.data.q = rounded(node.data.p * rng_.real(0.2, 0.5), 3);
        }
    }

    // Generators sit on the highest levels first.
    void setGenerators()
    {
        std::vector<int> order;
        for (int level = 0; level < 5; ++level) {
            std::vector<int> at;
            for (std::size_t k = 1; k < nodes_.size(); ++k)
                if (level_[nodes_[k].group] == level)
                    at.push_back(static_cast<int>(k));
            shuffle(at);
            order.insert(order.end(), at.begin(), at.end());
        }
        for (int j = 0; j < fixed_ && j < static_cast<int>(order.size()); ++j) {
            Node& node = nodes_[order[j]];
            const Level& L = kLevels[level_[node.group]];
            node.data.type = 2;
            // Near the voltage the base node holds on the backbone.
            node.data.fixedVoltage = rounded(L.unom * rng_.real(1.02, 1.04), 2);
            node.data.p = -rounded(L.generator * rng_.real(0.5, 1.0), 3);
            node.data.q = 0;
        }
    }

    void setShunts()
    {
        std::vector<int> at;
        for (std::size_t k = 1; k < nodes_.size(); ++k)
            at.push_back(static_cast<int>(k));
        shuffle(at);
        for (int j = 0; j < shunts_; ++j) {
            Node& node = nodes_[at[j]];
            const Level& L = kLevels[level_[node.group]];
            const double b = rounded(rng_.real(L.shuntMin, L.shuntMax), 1);
            node.data.shuntB = rng_.chance(0.7) ? -b : b;  // capacitor or reactor
        }
    }

    template <typename T> void shuffle(std::vector<T>& v)
    {
        for (std::size_t i = v.size(); i > 1; --i)
            std::swap(v[i - 1], v[static_cast<std::size_t>(rng_.integer(0, static_cast<int>(i) - 1))]);
    }

    GeneratedNetwork finish()
    {
        GeneratedNetwork net;
        // Records in a shuffled order, so that node indices do not follow the
        // structure; the base node stays first.
        std::vector<int> order;
        for (std::size_t k = 1; k < nodes_.size(); ++k)
            order.push_back(static_cast<int>(k));
        shuffle(order);
        net.nodes.push_back(nodes_[0].data);
        for (int k : order)
            net.nodes.push_back(nodes_[k].data);
        net.branches = branches_;
        shuffle(net.branches);
        net.text = cduText(net);
        return net;
    }

    Random rng_;
    int n_, districts_, transformers_, extra_, fixed_, shunts_;
    std::vector<int> feeder_, level_, size_;
    std::vector<std::vector<int>> members_;
    std::vector<int> feederNode_;
    std::vector<Node> nodes_;
    std::vector<GeneratedBranch> branches_;
    std::set<std::pair<int, int>> links_;
    std::array<int, 10> counter_{};
};

}  // namespace

GeneratedNetwork generateNetwork(const NetworkOptions& options)
{
    return Builder(options).build();
}

GeneratedNetwork generateGrid(const GridOptions& o)
{
    Random rng(o.seed);
    const int n = std::max(o.nodes, 1);
    const int behind = static_cast<int>(n * std::clamp(o.transformers, 0.0, 0.5));
    const int gridNodes = n + 1 - behind;  // base node included
    const int width = std::max(1, static_cast<int>(std::ceil(std::sqrt(static_cast<double>(gridNodes)))));

    // Node numbers: the base node 1, the others 2..n+1 shuffled.
    std::vector<int> numbers(n);
    for (int k = 0; k < n; ++k)
        numbers[k] = k + 2;
    for (std::size_t i = numbers.size(); i > 1; --i)
        std::swap(numbers[i - 1], numbers[static_cast<std::size_t>(rng.integer(0, static_cast<int>(i) - 1))]);

    // Grid position p = 0..gridNodes-1 at row p / width, column p % width; the
    // base node sits in the middle.
    const int basePosition = std::min(gridNodes - 1, (width / 2) * width + width / 2);
    std::vector<int> numberAt(gridNodes);
    int next = 0;
    for (int p = 0; p < gridNodes; ++p)
        numberAt[p] = p == basePosition ? 1 : numbers[next++];

    GeneratedNetwork net;
    GeneratedNode base;
    base.number = 1;
    base.type = 3;
    base.unom = 236.0;
    net.nodes.push_back(base);
    const auto line = [&](int a, int b, double lengthFactor) {
        GeneratedBranch br;
        br.from = numberAt[a];
        br.to = numberAt[b];
        br.r = rounded(rng.real(1.0, 3.0) * lengthFactor, 2);
        br.x = rounded(rng.real(8.0, 16.0) * lengthFactor, 2);
        br.b = -rounded(rng.real(50.0, 120.0) * lengthFactor, 1);
        net.branches.push_back(br);
    };
    std::vector<GeneratedNode> gridData(gridNodes);
    std::vector<double> served(gridNodes, 0.0);  // MW taken at or behind a grid node
    for (int p = 0; p < gridNodes; ++p) {
        GeneratedNode& node = gridData[p];
        node.number = numberAt[p];
        node.unom = 230.0;
        node.p = rounded(rng.real(5.0, 20.0), 2);
        node.q = rounded(rng.real(1.0, 6.0), 2);
        served[p] = node.p;
    }

    // 115 kV nodes, each fed over a transformer (impedance on its own side)
    // from a grid node other than the base node.
    std::vector<GeneratedNode> behindData;
    std::vector<GeneratedBranch> transformers;
    for (int k = 0; k < behind && gridNodes > 1; ++k) {
        GeneratedNode node;
        node.number = numbers[next++];
        node.unom = 115.0;
        node.p = rounded(rng.real(2.0, 8.0), 2);
        node.q = rounded(rng.real(0.5, 3.0), 2);
        if (rng.chance(0.2))
            node.shuntB = -rounded(rng.real(50.0, 200.0), 1);
        int feeder = rng.integer(0, gridNodes - 1);
        if (feeder == basePosition)
            feeder = (feeder + 1) % gridNodes;
        served[feeder] += node.p;
        behindData.push_back(node);
        GeneratedBranch tr;
        tr.from = numberAt[feeder];
        tr.to = node.number;
        tr.r = rounded(rng.real(0.3, 0.8), 2);
        tr.x = rounded(rng.real(8.0, 14.0), 2);
        tr.ratio = rounded(rng.real(1.95, 2.05), 3);
        transformers.push_back(tr);
    }

    // Generation where the loads are: every segment of consecutive positions
    // has a fixed-voltage node in its middle that covers what the segment
    // takes and about its losses, so that the base node balances the
    // remainder alone.
    const int segment = std::max(2, static_cast<int>(std::lround(1.0 / std::max(o.generators, 0.01))));
    for (int first = 0; first < gridNodes; first += segment) {
        const int last = std::min(gridNodes, first + segment);
        const int middle = (first + last) / 2;
        if (middle == basePosition || middle >= gridNodes)
            continue;
        double load = served[middle] - gridData[middle].p;
        for (int p = first; p < last; ++p)
            if (p != middle && p != basePosition)
                load += served[p];
        GeneratedNode& node = gridData[middle];
        node.type = 2;
        node.fixedVoltage = rounded(rng.real(232.0, 238.0), 1);
        node.p = -rounded(load * 1.01, 1);
        node.q = 0;
    }

    // Every row is a chain of lines; rows are joined where a random share of
    // the vertical lines stands, always at the first column, so that the grid
    // is connected; some cells are crossed by a diagonal.
    // With regions, a line that crosses a region's border stands only at
    // the region's first row or column (one tie to each neighbouring region,
    // which every region, even a cut one at the edge, has), and each
    // region's first column holds its rows together.
    const int region = o.region > 0 ? o.region : std::max(width, gridNodes / std::max(width, 1) + 1);
    const auto tie = [&](int along) { return along % region == 0; };
    for (int p = 0; p < gridNodes; ++p) {
        const int row = p / width, col = p % width;
        const bool regionLeft = col % region == 0, regionTop = row % region == 0;
        if (col > 0 && (!regionLeft || tie(row)))
            line(p - 1, p, 1.0);
        if (row > 0 && (regionTop ? tie(col) : (col % region == 0 || rng.chance(o.verticals))))
            line(p - width, p, 1.0);
        if (row > 0 && col > 0 && !regionLeft && !regionTop && rng.chance(o.diagonals))
            line(p - width - 1, p, 1.4);
    }
    // A strong backbone from the base node to a hub in every stretch of
    // kHubSpacing positions balances the losses where they arise.
    constexpr int kHubSpacing = 2000;
    for (int hub = kHubSpacing / 2; hub < gridNodes; hub += kHubSpacing) {
        if (hub == basePosition)
            continue;
        GeneratedBranch br;
        br.from = 1;
        br.to = numberAt[hub];
        br.r = 0.5;
        br.x = 5.0;
        br.b = -300.0;
        net.branches.push_back(br);
    }
    for (int p = 0; p < gridNodes; ++p)
        if (p != basePosition)
            net.nodes.push_back(gridData[p]);
    net.nodes.insert(net.nodes.end(), behindData.begin(), behindData.end());
    net.branches.insert(net.branches.end(), transformers.begin(), transformers.end());
    net.text = cduText(net);
    return net;
}

GeneratedNetwork generateLattice(int side, uint32_t seed)
{
    Random rng(seed);
    side = std::max(side, 2);
    const int count = side * side;
    const int basePosition = (side / 2) * side + side / 2;
    std::vector<int> numbers(count - 1);
    for (int k = 0; k < count - 1; ++k)
        numbers[k] = k + 2;
    for (std::size_t i = numbers.size(); i > 1; --i)
        std::swap(numbers[i - 1], numbers[static_cast<std::size_t>(rng.integer(0, static_cast<int>(i) - 1))]);
    std::vector<int> numberAt(count);
    for (int p = 0, next = 0; p < count; ++p)
        numberAt[p] = p == basePosition ? 1 : numbers[next++];

    GeneratedNetwork net;
    std::vector<GeneratedNode> data(count);
    for (int p = 0; p < count; ++p) {
        GeneratedNode& node = data[p];
        node.number = numberAt[p];
        node.unom = 230.0;
        node.p = rounded(rng.real(5.0, 20.0), 2);
        node.q = rounded(rng.real(1.0, 6.0), 2);
    }
    data[basePosition].type = 3;
    data[basePosition].unom = 236.0;
    data[basePosition].p = 0;
    data[basePosition].q = 0;
    // Segments of ten positions along each row; a segment's losses are
    // about 0.6 % of its load wherever it lies.
    constexpr int kSegment = 10;
    constexpr double kCoverage = 1.006;
    for (int row = 0; row < side; ++row) {
        for (int first = 0; first < side; first += kSegment) {
            const int last = std::min(side, first + kSegment);
            const int middle = row * side + (first + last) / 2;
            if (middle == basePosition)
                continue;
            double load = 0;
            for (int p = row * side + first; p < row * side + last; ++p)
                if (p != middle)
                    load += data[p].p;
            GeneratedNode& node = data[middle];
            node.type = 2;
            node.fixedVoltage = rounded(rng.real(232.0, 238.0), 1);
            node.p = -rounded(load * kCoverage, 1);
            node.q = 0;
        }
    }
    const auto line = [&](int a, int b, double lengthFactor) {
        GeneratedBranch br;
        br.from = numberAt[a];
        br.to = numberAt[b];
        br.r = rounded(rng.real(1.0, 3.0) * lengthFactor, 2);
        br.x = rounded(rng.real(8.0, 16.0) * lengthFactor, 2);
        br.b = -rounded(rng.real(50.0, 120.0) * lengthFactor, 1);
        net.branches.push_back(br);
    };
    int cell = 0;
    for (int p = 0; p < count; ++p) {
        const int row = p / side, col = p % side;
        if (col > 0)
            line(p - 1, p, 1.0);
        if (row > 0)
            line(p - side, p, 1.0);
        if (row > 0 && col > 0 && cell++ % 5 == 0)
            line(p - side - 1, p, 1.4);
    }
    net.nodes.push_back(data[basePosition]);
    for (int p = 0; p < count; ++p)
        if (p != basePosition)
            net.nodes.push_back(data[p]);
    net.text = cduText(net);
    return net;
}

namespace {

// The figures of fields that no run reads; `unused(i)` gives the i-th of the
// record (the flag first).
template <typename Unused>
std::string cduTextWith(const GeneratedNetwork& network, Unused unused)
{
    std::string text;
    auto line = [&text](std::initializer_list<std::string> fields) {
        bool first = true;
        for (const auto& f : fields) {
            if (!first)
                text += ' ';
            text += f;
            first = false;
        }
        text += "\r\n";
    };
    for (const GeneratedNode& n : network.nodes) {
        if (n.type == 3) {
            line({"0102", unused(0), number(n.number), number(n.unom), number(n.p), number(n.q), unused(1), unused(2),
                  unused(3), unused(4), unused(5)});
        } else {
            // Reactive limits are read only by a run with the limits, and
            // only at a fixed-voltage node: a node without limits of its own
            // may show any figures there, crossed or not.
            const bool limitsRead = n.qmin != 0 || n.qmax != 0;
            line({"0201", unused(0), number(n.number), number(n.unom), number(n.p), number(n.q), unused(1), unused(2),
                  number(n.fixedVoltage), limitsRead ? number(n.qmin) : unused(3),
                  limitsRead ? number(n.qmax) : unused(4)});
        }
        if (n.shuntB != 0 && n.type != 3)
            line({"0301", unused(0), number(n.number), "0", "0", number(n.shuntB)});
    }
    // The first real after Kt is the phase angle, which the full model reads.
    for (const GeneratedBranch& b : network.branches)
        line({"0301", unused(0), number(b.from), number(b.to), number(b.r), number(b.x), number(b.b),
              number(b.ratio), unused(1), unused(2), unused(3)});
    return text;
}

}  // namespace

std::string cduText(const GeneratedNetwork& network)
{
    return cduTextWith(network, [](int) { return std::string("0"); });
}

std::string cduTextWithUnusedFigures(const GeneratedNetwork& network, uint32_t seed)
{
    Random rng(seed);
    // Every form of figure a real field takes: signs, a point at either end,
    // exponents (overflowing a float among them), integers; a flag field
    // (index 0) takes an integer of either sign.
    auto figure = [&rng](int i) -> std::string {
        if (i == 0)
            return std::to_string(rng.integer(-99, 999));
        switch (rng.integer(0, 9)) {
        case 0:
            return "0";
        case 1:
            return std::to_string(rng.integer(-100000, 100000));
        case 2:
            return formatFixed(rng.real(-1000.0, 1000.0), 0, rng.integer(1, 4));
        case 3:
            return "." + std::to_string(rng.integer(0, 999));
        case 4:
            return std::to_string(rng.integer(-50, 50)) + ".";
        case 5:
            return formatFixed(rng.real(-10.0, 10.0), 0, 2) + (rng.chance(0.5) ? "e" : "E") +
                   std::to_string(rng.integer(-45, 45));
        case 6:
            return "-" + std::to_string(rng.integer(1, 9)) + "E+" + std::to_string(rng.integer(30, 40));
        case 7:
            return "+" + formatFixed(rng.real(0.0, 500.0), 0, 3);
        default:
            return formatFixed(rng.real(-500.0, 500.0), 0, 1);
        }
    };
    return cduTextWith(network, figure);
}

}  // namespace tarvel::test
