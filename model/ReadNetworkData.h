// The reader and checker of the ЦДУ input text.
#pragma once

#include <filesystem>

#include "model/MessageSink.h"
#include "model/NetworkModel.h"

namespace tarvel {

// Reads workDir/network.cdu into the model, checks the data and writes every
// finding to workDir/network.err (Windows-1251, CR LF). True when the data are
// accepted; then the branch end indices are set and the susceptances and
// conductances are scaled to siemens. The caller has cleared the run tables
// (clearRunTables) before the call.
bool readNetworkData(NetworkModel& model, const std::filesystem::path& workDir, MessageSink& sink);

}  // namespace tarvel
