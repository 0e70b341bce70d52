// The loss allocation report losses.rez.
#pragma once

#include <filesystem>

#include "losses/LossAllocation.h"
#include "model/NetworkModel.h"

namespace tarvel {

// The number printed for node position j = 1..N: the model's node number,
// the base node's number for position N.
int32_t lossNodeLabel(const NetworkModel& model, int N, int j);
// The node numbers of the ends of branch b, from the model's branch indices.
int32_t lossBranchStartLabel(const NetworkModel& model, int b);
int32_t lossBranchEndLabel(const NetworkModel& model, int b);

// Writes the report of the allocation held in the tables (N node positions,
// M branches) to path as Windows-1251 text with CR LF line ends, replacing the
// file. False when the file cannot be created or written.
bool writeLossReport(const std::filesystem::path& path, const NetworkModel& model, const LossTables& t,
                     int N, int M);

}  // namespace tarvel
