#include "model/NetworkModel.h"

namespace tarvel {

NetworkModel& globalModel()
{
    static NetworkModel model;
    return model;
}

int districtOf(int32_t number)
{
    if (number <= -100)
        return -1;
    int32_t q = number / 100;
    while (q > 9)
        q = q / 10;
    return q;
}

void countNode(NetworkModel& model, int32_t number)
{
    const int d = districtOf(number);
    if (d >= 0 && d < kDistricts)
        ++model.districtNodeCount[d];
}

void clearRunTables(NetworkModel& model)
{
    model.nodeNumber.fill(0);
    model.nodeType.fill(0);
    model.branchStartNode.fill(0);
    model.branchEndNode.fill(0);
    model.branchStartIndex.fill(0);
    model.branchEndIndex.fill(0);
}

}  // namespace tarvel
