// Measurements shared by the benchmark programs.
#pragma once

#include <string>

#include <benchmark/benchmark.h>

namespace tarvel::bench {

// Whole power-flow runs of a pane text as the window starts them: write
// network.cdu, read and check it, echo, solve, write every report. Counts
// the nodes, branches and iterations of the last run.
void runWholeCalculation(benchmark::State& state, const std::string& text);

}  // namespace tarvel::bench
