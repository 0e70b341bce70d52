// Feeds arbitrary bytes as network.cdu through the whole calculation chain in
// a private temporary folder: reader, Newton iterations, reports, district
// analysis and loss allocation.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

#include "losses/LossAllocation.h"
#include "model/TextFile.h"
#include "powerflow/PowerFlowRun.h"

namespace {

class QuietSink : public tarvel::MessageSink {
public:
    void showMessage(const std::string&) override {}
};

std::filesystem::path workDir()
{
    static const std::filesystem::path dir = [] {
        const char* shm = "/dev/shm";
        std::filesystem::path base = std::filesystem::exists(shm) ? shm : std::filesystem::temp_directory_path();
        auto d = base / ("tarvel-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
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
    // Tables keep their contents from run to run, as in the program.
    const auto outcome = tarvel::runPowerFlow(*model, workDir(), text, sink, ',');
    if (outcome == tarvel::RunOutcome::Converged || outcome == tarvel::RunOutcome::NotConverged)
        tarvel::allocateLosses(*model, workDir(), sink);
    return 0;
}
