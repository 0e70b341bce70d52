// A small network for the loss allocation tests: the model's counts, node
// numbers and branch ends set by hand, network.tok written by hand.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "losses/LossAllocation.h"
#include "model/MessageSink.h"
#include "model/NetworkModel.h"
#include "model/TextFile.h"
#include "tests/support/TestSupport.h"

namespace tarvel::test {

struct TokRecord {
    int from;  // model position, 0 = base node
    int to;
    double ia;
    double ir;
    double r;
};

class LossCase {
public:
    LossCase() : model(std::make_unique<NetworkModel>()), tables(std::make_unique<LossTables>()) {}

    // Node numbers by model position (position 0 = base node), branch ends
    // by model position; sets nodeCount and branchCount.
    void setNetwork(const std::vector<int>& numbers, const std::vector<std::pair<int, int>>& ends)
    {
        model->nodeCount = static_cast<int>(numbers.size()) - 1;
        for (std::size_t k = 0; k < numbers.size(); ++k)
            model->nodeNumber[k] = numbers[k];
        model->branchCount = static_cast<int>(ends.size());
        for (std::size_t b = 0; b < ends.size(); ++b) {
            model->branchStartIndex[b + 1] = ends[b].first;
            model->branchEndIndex[b + 1] = ends[b].second;
            model->branchStartNode[b + 1] = numbers[static_cast<std::size_t>(ends[b].first)];
            model->branchEndNode[b + 1] = numbers[static_cast<std::size_t>(ends[b].second)];
        }
    }

    // Writes network.tok in the layout of the power-flow reports.
    void writeTok(const std::vector<TokRecord>& records)
    {
        std::string text;
        for (const TokRecord& r : records)
            text += formatInt(r.from, 5) + formatInt(r.to, 5) + formatFixed(r.ia, 10, 4) + formatFixed(r.ir, 10, 4) +
                    formatFixed(r.r, 15, 3) + "\r\n";
        writeTokText(text);
    }
    void writeTokText(const std::string& text) { writeBytes(dir / "network.tok", text); }

    // The network itself taken from the records: ends as in the file.
    void setNetworkFromTok(const std::vector<int>& numbers, const std::vector<TokRecord>& records)
    {
        std::vector<std::pair<int, int>> ends;
        for (const TokRecord& r : records)
            ends.emplace_back(r.from, r.to);
        setNetwork(numbers, ends);
        writeTok(records);
    }

    // True unless the allocation was refused.
    bool run() { return allocateLosses(*model, dir.path(), sink, *tables) != LossOutcome::Refused; }
    std::string report() const { return fileBytes(dir / "losses.rez"); }
    std::string reportUtf8() const { return cp1251ToUtf8(report()); }

    int N() const { return model->nodeCount + 1; }
    int M() const { return model->branchCount; }
    float rowTotal(int b) const
    {
        float s = 0.0f;
        for (int j = 1; j <= N(); ++j)
            s = s + tables->lossPart[b][j];
        return s;
    }

    std::unique_ptr<NetworkModel> model;
    std::unique_ptr<LossTables> tables;
    TempDir dir;
    CollectingSink sink;
};

}  // namespace tarvel::test
