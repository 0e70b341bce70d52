// What a program works on between runs: the network model of the last run
// and the settings of the next. The window and tarvel-cli each own one.
#pragma once

#include "model/CalculationSettings.h"
#include "model/NetworkModel.h"

namespace tarvel {

struct Calculation {
    NetworkModel model;
    CalculationSettings settings;
};

}  // namespace tarvel
