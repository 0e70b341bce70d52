// Feeds arbitrary bytes to every reader of a study's input, against the IEEE
// 118 network: the outage list, the limits file, a MATPOWER contingency
// table (for a case whose branch rows map onto the network's branches), the
// load-profile CSV and a MATPOWER scenario table (for buses spread over seven
// areas), and takes what they accept as far as a study takes it: limits
// applied, profiles bound and every step's loads computed.
//
// Besides the sanitizers, the target checks what the study relies on: an
// accepted outage names branches of the network and at least one, a limit
// is a positive finite number, a step's loads are finite. A text that breaks
// one of these aborts with the reader's name.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "model/ReadNetworkData.h"
#include "model/TextFile.h"
#include "series/LoadProfile.h"
#include "series/ScenarioTable.h"
#include "study/Limits.h"
#include "study/StudyInput.h"

namespace {

using namespace tarvel;

[[noreturn]] void broken(const char* reader, const char* promise)
{
    std::fprintf(stderr, "%s: %s\n", reader, promise);
    std::abort();
}

struct StudyNetwork {
    NetworkModel model;
    CaseStudyData caseData;
    NodeAreas areas;
};

// IEEE 118 as the sample holds it; two case rows a branch (the second left
// out), so that a table may name rows the network does not keep.
const StudyNetwork& network()
{
    static const std::unique_ptr<StudyNetwork> net = [] {
        auto n = std::make_unique<StudyNetwork>();
        std::string bytes;
        if (!readFileBytes(TARVEL_SOURCE_DIR "/samples/ieee118.cdu", bytes))
            broken("setup", "samples/ieee118.cdu cannot be read");
        clearRunTables(n->model);
        fuzz::QuietSink sink;
        if (!readNetworkText(n->model, bytes, sink).accepted)
            broken("setup", "samples/ieee118.cdu is not accepted");
        const NetworkModel& m = n->model;
        for (int i = 1; i <= m.branchCount; ++i) {
            n->caseData.branchRecordOfCaseBranch.push_back(i);
            n->caseData.branchRecordOfCaseBranch.push_back(0);
            n->caseData.branchRatingMva.push_back(i % 3 == 0 ? 0.0 : 100.0 + i);
        }
        for (int k = 1; k <= m.nodeCount; ++k)
            n->areas.buses.push_back({m.nodeNumber[k], k % 7 + 1, k % 3 + 1, static_cast<double>(m.nodeLoadP[k])});
        return n;
    }();
    return *net;
}

void checkOutages(const OutageList& list, const NetworkModel& model)
{
    if (!list.ok)
        return;
    for (const Outage& outage : list.outages) {
        if (outage.branches.empty())
            broken("outages", "an outage without a branch");
        for (int i : outage.branches)
            if (i < 1 || i > model.branchCount)
                broken("outages", "a branch outside the network");
    }
}

void checkLimits(const std::string& error, const Limits& limits)
{
    if (!error.empty())
        return;
    for (std::size_t i = 1; i < limits.kind.size(); ++i)
        if (limits.kind[i] != BranchLimitKind::None && !(std::isfinite(limits.branchLimit[i]) && limits.branchLimit[i] > 0))
            broken("limits", "a limit that is no positive finite number");
}

// Binds the profile as a run does and computes the loads of its first and
// last steps.
void takeProfile(const LoadProfile& profile, NodeAreas areas, const NetworkModel& model)
{
    chooseAreaNumbering(profile, areas);
    ProfileBinding binding;
    std::string error;
    if (!bindProfile(profile, model, areas, binding, error))
        return;
    StepLoads loads;
    for (int step : {0, profile.stepCount() - 1}) {
        if (step < 0)
            continue;
        computeStepLoads(profile, binding, model, step, loads);
        for (std::size_t k = 0; k < loads.p.size(); ++k)
            if (!std::isfinite(loads.p[k]) || !std::isfinite(loads.q[k]))
                broken("profile", "a step's load that is no finite number");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const StudyNetwork& net = network();
    const NetworkModel& model = net.model;

    checkOutages(studyOutages(model, false, text, "fuzz.txt", net.caseData), model);
    checkOutages(studyOutages(model, false, text, "fuzz.txt", {}), model);

    Limits limits;
    checkLimits(studyLimits(model, net.caseData, true, text, limits), limits);

    const ProfileReadResult csv = readLoadProfile(text);
    if (csv.ok)
        takeProfile(csv.profile, net.areas, model);

    if (looksLikeScenarioTable(text)) {
        const ScenarioReadResult table = readScenarioTable(text);
        if (table.ok) {
            NodeAreas areas = net.areas;
            chooseAreaNumbering(table.table.profile, areas);
            LoadProfile profile;
            std::string error;
            if (scenarioProfile(table.table, areas, profile, error))
                takeProfile(profile, areas, model);
        }
    }
    return 0;
}
