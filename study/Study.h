// A contingency study: every outage of a list solved from the base case, on
// all the cores oneTBB is allowed, with the results kept in outage order.
#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

#include "study/OutageSolver.h"

namespace tarvel {

struct StudyResult {
    std::vector<Outage> outages;
    std::vector<OutageResult> results;  // one per outage, in the same order
    bool cancelled = false;             // stopped before every outage was solved
    // Which outages were solved (1) before a cancel: a cancelled study keeps
    // what it has, to be shown as partial; all 1 when it completed.
    std::vector<char> solved;
};

// What the caller watches and steers while a study runs (from another thread).
struct StudyControl {
    std::atomic<bool> cancel{false};     // set to stop; the outages under way finish
    std::atomic<std::size_t> done{0};    // outages solved so far
};

// Solves every outage. The number of threads is what the caller allows
// oneTBB (tbb::global_control); the results do not depend on it. Cancelled
// results are incomplete and are not to be written.
StudyResult runStudy(const StudyBase& base, std::vector<Outage> outages, StudyControl* control = nullptr);

// True when an outage needs the engineer's attention: a violation, a split or
// a failed solution.
bool isInsecure(const OutageResult& result);

// The outages from the most severe: splits (by the load cut off), then those
// that did not converge, then by the largest excess beyond a limit; ties in
// outage order.
std::vector<std::size_t> rankBySeverity(const std::vector<OutageResult>& results);

struct StudyCounts {
    std::size_t outages = 0;
    std::size_t secure = 0;       // solved without violation
    std::size_t violations = 0;   // solved with violations
    std::size_t splits = 0;
    std::size_t failed = 0;       // not converged or diverged
};

StudyCounts countOutcomes(const std::vector<OutageResult>& results);

}  // namespace tarvel
