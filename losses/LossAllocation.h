// The split of every branch's active power loss among the loads of the nodes.
#pragma once

#include <filesystem>

#include "model/MessageSink.h"
#include "model/NetworkModel.h"

namespace tarvel {

// Reads workDir/network.tok, allocates the losses and writes workDir/losses.rez.
// False when the network has more than 30 nodes (the message has been shown
// and nothing was read or written); true otherwise.
bool allocateLosses(NetworkModel& model, const std::filesystem::path& workDir, MessageSink& sink);

}  // namespace tarvel
