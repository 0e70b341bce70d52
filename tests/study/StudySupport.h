// Networks for the study tests: read from ЦДУ text, and cut down to what an
// outage leaves, for a cold run of the sparse method to compare with.
#pragma once

#include <string>
#include <vector>

#include "model/NetworkModel.h"

namespace tarvel::test {

// Reads a ЦДУ text (UTF-8 or ASCII) into a model; fails the test when the
// data are refused.
NetworkModel modelFromText(const std::string& text);
NetworkModel modelFromFile(const std::string& relativeOrAbsolutePath);

// The network without the given branches and nodes (indices), renumbered in
// the tables: what a cold run of the remaining network sees.
NetworkModel withoutElements(const NetworkModel& model, const std::vector<int>& branches, const std::vector<char>& lostNodes);

}  // namespace tarvel::test
