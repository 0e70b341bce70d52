// A network solved at every step of a load profile.
//
// The network is read once; the base case (the loads as written) is solved
// from the flat start, and every step from the solution of the step before
// it, reusing the base case's ordering and symbolic analysis. Steps are dealt
// out in blocks of kStepsPerBlock: each block starts from the base case, so
// a step's result is the same whichever thread, or whichever process of a
// cluster, solves its block. A step that does not converge is reported as
// such; the next one starts from the base case again.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "model/CalculationSettings.h"
#include "model/NetworkModel.h"
#include "series/LoadProfile.h"
#include "series/StepResult.h"
#include "study/Limits.h"

namespace tarvel {

struct Solution;

// Steps solved one after the other from one start (a day of hours).
constexpr int kStepsPerBlock = 24;

// The blocks [first, last) of a share of the steps: share `part` of `parts`
// equal contiguous shares of the blocks, in steps.
struct StepRange {
    int first = 0;
    int last = 0;
};
StepRange stepShare(int stepCount, int part, int parts);

class TimeSeriesStudy {
public:
    // model: a network the reader accepted. The profile and binding must
    // outlive the study.
    TimeSeriesStudy(const NetworkModel& model, const LoadProfile& profile, const ProfileBinding& binding,
                    const CalculationSettings& settings);
    ~TimeSeriesStudy();

    int stepCount() const { return profile_.stepCount(); }
    const NetworkModel& model() const { return model_; }
    const CalculationSettings& settings() const;

    // The limits every solved step is checked against (its violations and
    // most loaded branch): by default the node voltages of each voltage
    // class and no branch limit.
    void setLimits(Limits limits);
    const Limits& limits() const;

    // Called in the solving thread once a step is solved and summed up,
    // before progress counts it: the step's index in the profile, its
    // solution and loads (valid during the call only), its figures.
    using StepHook = std::function<void(int step, const Solution& solution, const StepLoads& loads, StepResult& result)>;

    // Solves the steps [range.first, range.last) on all cores (oneTBB) into
    // out (range.last - range.first results, in step order); range.first is
    // a multiple of kStepsPerBlock. progress (when given) is called from the
    // solving threads with the number of steps done so far; a set cancel
    // flag stops at the next step (the results are then incomplete).
    void solve(StepRange range, std::span<StepResult> out, const std::atomic<bool>* cancel = nullptr,
               const std::function<void(int)>& progress = {}, const StepHook& hook = {}) const;

    // The loads of one step (nodes 0..n), as they are solved.
    void stepLoads(int step, StepLoads& loads) const;

    // The solver's side: the network as it solves it, what every solve
    // shares, the base case.
    struct Engine;

private:
    const NetworkModel& model_;
    const LoadProfile& profile_;
    const ProfileBinding& binding_;
    std::unique_ptr<Engine> engine_;
};

}  // namespace tarvel
