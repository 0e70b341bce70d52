// Feeds arbitrary bytes as network.cdu through the whole calculation chain in
// a private temporary folder: reader, Newton iterations, reports, district
// analysis and loss allocation.
//
// Besides the sanitizers, the target checks what the user must be able to
// rely on: a report never shows "nan" or "inf" unless the run has told the
// user that its iteration diverged (RunOutcome::Diverged).
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "losses/LossAllocation.h"
#include "fuzz/FuzzSupport.h"
#include "model/TextFile.h"
#include "model/WorkingFiles.h"
#include "powerflow/PowerFlowRun.h"

namespace {

using fuzz::QuietSink;

std::filesystem::path workDir()
{
    return fuzz::workDir("tarvel-fuzz");
}

// A report that shows a value which is no number, as printf writes one.
void checkFinite(const char* name)
{
    std::string bytes;
    if (!tarvel::readFileBytes(workDir() / name, bytes))
        return;
    std::transform(bytes.begin(), bytes.end(), bytes.begin(), [](unsigned char c) { return std::tolower(c); });
    if (bytes.find("nan") != std::string::npos || bytes.find("inf") != std::string::npos) {
        std::fprintf(stderr, "%s shows a value that is no number, and no divergence was told\n", name);
        std::abort();
    }
}

// The loss allocation's coefficient walk deliberately allows up to
// kLossWalkLimit steps per matrix, seconds of work on densely meshed networks; the fuzz
// target leaves such networks out of the allocation so that one input stays
// well under a second. The branch ends are those the run writes to
// network.tok.
constexpr double kFuzzWalkBudget = 5.0e6;

bool walkWithinBudget(const tarvel::NetworkModel& model)
{
    const int n = model.nodeCount;
    const int m = std::clamp(model.branchCount, 0, tarvel::kLossBranchLimit);
    tarvel::LossBranchInts from{}, to{};
    for (int b = 1; b <= m; ++b) {
        from[b] = model.branchStartIndex[b] == 0 ? n + 1 : model.branchStartIndex[b];
        to[b] = model.branchEndIndex[b];
    }
    return tarvel::countPropagationSteps(from, to, m) <= kFuzzWalkBudget;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The window hands the core the pane's text in UTF-8, as it was loaded
    // from a Windows-1251 file.
    const std::string text = tarvel::toCrLf(
        tarvel::cp1251ToUtf8(std::string_view(reinterpret_cast<const char*>(data), size)));
    static auto model = std::make_unique<tarvel::NetworkModel>();
    QuietSink sink;
    // Reports of an earlier input must not be judged with this one.
    for (const char* name : {tarvel::kEchoFile, tarvel::kResultsFile, tarvel::kDistrictFile, tarvel::kCurrentsFile, tarvel::kLossShareFile})
        std::filesystem::remove(workDir() / name);
    // Tables keep their contents from run to run, as in the program.
    const auto outcome = tarvel::runPowerFlow(*model, workDir(), text, sink, ',');
    if (outcome != tarvel::RunOutcome::Converged && outcome != tarvel::RunOutcome::NotConverged &&
        outcome != tarvel::RunOutcome::Diverged)
        return 0;
    const bool diverged = outcome == tarvel::RunOutcome::Diverged;
    if (!diverged)
        for (const char* name : {tarvel::kEchoFile, tarvel::kResultsFile, tarvel::kDistrictFile, tarvel::kCurrentsFile})
            checkFinite(name);
    if (!walkWithinBudget(*model))
        return 0;
    tarvel::allocateLosses(*model, workDir(), sink);
    if (!diverged)
        checkFinite(tarvel::kLossShareFile);
    return 0;
}
