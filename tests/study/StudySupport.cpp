#include "tests/study/StudySupport.h"

#include <gtest/gtest.h>

#include "model/MessageSink.h"
#include "model/ReadNetworkData.h"
#include "model/TextFile.h"
#include "model/WorkingFiles.h"
#include "tests/support/TestSupport.h"

namespace tarvel::test {

namespace {

class QuietSink : public MessageSink {
public:
    void showMessage(const std::string&) override {}
    void warning(const std::string&) override {}
};

}  // namespace

NetworkModel modelFromText(const std::string& text)
{
    TempDir dir;
    writeBytes(dir / kInputFile, utf8ToCp1251(toCrLf(text)));
    NetworkModel model;
    clearRunTables(model);
    QuietSink sink;
    EXPECT_TRUE(readNetworkData(model, dir.path(), sink).accepted) << fileBytes(dir / kErrorFile);
    return model;
}

NetworkModel modelFromFile(const std::string& path)
{
    std::string bytes = fileBytes(path.starts_with("/") ? std::filesystem::path(path) : sourcePath(path));
    EXPECT_FALSE(bytes.empty()) << path;
    return modelFromText(cp1251ToUtf8(bytes));
}

NetworkModel withoutElements(const NetworkModel& model, const std::vector<int>& branches, const std::vector<char>& lost)
{
    NetworkModel cut;
    std::vector<int> newIndex(model.nodeCount + 1, -1);
    int n = 0;
    for (int k = 0; k <= model.nodeCount; ++k)
        if (k == 0 || !lost[k])
            newIndex[k] = k == 0 ? 0 : ++n;
    cut.reserveNodes(n + 1);
    cut.nodeCount = n;
    for (int k = 0; k <= model.nodeCount; ++k) {
        const int j = newIndex[k];
        if (j < 0)
            continue;
        cut.nodeNumber[j] = model.nodeNumber[k];
        cut.nodeType[j] = model.nodeType[k];
        cut.nodeUnom[j] = model.nodeUnom[k];
        cut.nodeLoadP[j] = model.nodeLoadP[k];
        cut.nodeLoadQ[j] = model.nodeLoadQ[k];
        cut.nodeShuntG[j] = model.nodeShuntG[k];
        cut.nodeShuntB[j] = model.nodeShuntB[k];
        cut.written.nodeUnom[j] = model.written.nodeUnom[k];
        cut.written.nodeLoadP[j] = model.written.nodeLoadP[k];
        cut.written.nodeLoadQ[j] = model.written.nodeLoadQ[k];
        cut.written.nodeShuntB[j] = model.written.nodeShuntB[k];
    }
    int m = 0;
    cut.reserveBranches(model.branchCount + 1);
    for (int i = 1; i <= model.branchCount; ++i) {
        const int s = newIndex[model.branchStartIndex[i]];
        const int t = newIndex[model.branchEndIndex[i]];
        if (s < 0 || t < 0 || std::find(branches.begin(), branches.end(), i) != branches.end())
            continue;
        ++m;
        cut.branchStartNode[m] = model.branchStartNode[i];
        cut.branchEndNode[m] = model.branchEndNode[i];
        cut.branchStartIndex[m] = s;
        cut.branchEndIndex[m] = t;
        cut.branchResistance[m] = model.branchResistance[i];
        cut.branchReactance[m] = model.branchReactance[i];
        cut.branchSusceptance[m] = model.branchSusceptance[i];
        cut.branchConductance[m] = model.branchConductance[i];
        cut.branchRatio[m] = model.branchRatio[i];
        cut.written.branchResistance[m] = model.written.branchResistance[i];
        cut.written.branchReactance[m] = model.written.branchReactance[i];
        cut.written.branchSusceptance[m] = model.written.branchSusceptance[i];
        cut.written.branchRatio[m] = model.written.branchRatio[i];
        cut.written.branchPhase[m] = model.written.branchPhase[i];
    }
    cut.branchCount = m;
    return cut;
}

}  // namespace tarvel::test
