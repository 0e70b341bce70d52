// Work handed to oneTBB's threads, made visible to ThreadSanitizer.
#pragma once

#include <atomic>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

namespace tarvel {

// oneTBB hands work from thread to thread inside its library, which
// ThreadSanitizer does not see into; these release/acquire operations say the
// same in the program's own code: what a thread wrote before handing work out
// is seen by every task that takes it, what every task wrote before handing
// it back is seen by the thread that collects it. The counter is only ever
// added to, so that hand-overs through one object from several threads at
// once stay correct. One atomic operation a task.
class TaskHandOver {
public:
    void handOut() { count_.fetch_add(1, std::memory_order_release); }
    void take() const { (void)count_.load(std::memory_order_acquire); }
    void handBack() { handOut(); }
    void collect() const { take(); }

private:
    std::atomic<unsigned> count_{0};
};

inline TaskHandOver twoTasksHandOver;

// Runs task(0) and task(1), at once on two cores where twoCores says so.
// Isolated: a thread that waits here for the second task takes up no other
// work of an enclosing parallel loop meanwhile.
template <typename Task>
void runTwo(const Task& task, bool twoCores)
{
    if (!twoCores) {
        task(0);
        task(1);
        return;
    }
    twoTasksHandOver.handOut();
    tbb::this_task_arena::isolate([&task] {
        tbb::parallel_for(tbb::blocked_range<int>(0, 2, 1), [&task](const tbb::blocked_range<int>& which) {
            twoTasksHandOver.take();
            for (int i = which.begin(); i != which.end(); ++i)
                task(i);
            twoTasksHandOver.handBack();
        });
    });
    twoTasksHandOver.collect();
}

}  // namespace tarvel
