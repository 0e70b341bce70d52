#include "powerflow/PowerFlowRun.h"

namespace tarvel {

const char* const kRunProgressText = "Идёт расчет потокораспределения электрической сети Tarvel V.M 1.1";

RunOutcome runPowerFlow(NetworkModel&, const std::filesystem::path&, std::string_view, MessageSink&, char)
{
    return RunOutcome::Rejected;  // placeholder
}

}  // namespace tarvel
