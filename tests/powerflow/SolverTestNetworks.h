// Small hand-made networks for the solver tests: the tables are set directly,
// as the reader would leave them after accepting the data (susceptances in S).
#pragma once

#include <memory>

#include "model/NetworkModel.h"

namespace tarvel::test {

class HandNetwork {
public:
    explicit HandNetwork(float baseVoltage, int baseNumber = 1) : model(std::make_unique<NetworkModel>())
    {
        model->nodeNumber[0] = baseNumber;
        model->nodeType[0] = 3;
        model->nodeUnom[0] = baseVoltage;
    }

    // A node with its load (+ consumption); type 2 keeps |U| at unom.
    int node(int number, float unom, float loadP = 0.0f, float loadQ = 0.0f, int type = 1)
    {
        const int k = ++model->nodeCount;
        model->nodeNumber[k] = number;
        model->nodeType[k] = type;
        model->nodeUnom[k] = unom;
        model->nodeLoadP[k] = loadP;
        model->nodeLoadQ[k] = loadQ;
        return k;
    }

    // A branch between node indices s and t; b is the total charging in S.
    int branch(int s, int t, float r, float x, float b = 0.0f, float ratio = 1.0f)
    {
        const int j = ++model->branchCount;
        model->branchStartIndex[j] = s;
        model->branchEndIndex[j] = t;
        model->branchStartNode[j] = model->nodeNumber[s];
        model->branchEndNode[j] = model->nodeNumber[t];
        model->branchResistance[j] = r;
        model->branchReactance[j] = x;
        model->branchSusceptance[j] = b;
        model->branchRatio[j] = ratio;
        return j;
    }

    NetworkModel& operator*() { return *model; }
    NetworkModel* operator->() { return model.get(); }

    std::unique_ptr<NetworkModel> model;
};

}  // namespace tarvel::test
