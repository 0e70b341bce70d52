// Work handed to oneTBB's threads, made visible to ThreadSanitizer.
#pragma once

#include <atomic>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#if defined(__SANITIZE_THREAD__)
#define TARVEL_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TARVEL_THREAD_SANITIZER 1
#endif
#endif
#ifdef TARVEL_THREAD_SANITIZER
#include <sanitizer/tsan_interface.h>
#endif

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

namespace detail {

// Release and acquire on an address, seen only by ThreadSanitizer (nothing
// in other builds: oneTBB's own hand-over already orders the memory).
inline void releaseAt([[maybe_unused]] const void* address)
{
#ifdef TARVEL_THREAD_SANITIZER
    __tsan_release(const_cast<void*>(address));
#endif
}

inline void acquireAt([[maybe_unused]] const void* address)
{
#ifdef TARVEL_THREAD_SANITIZER
    __tsan_acquire(const_cast<void*>(address));
#endif
}

// A loop body as oneTBB keeps it: every copy is made inside a task object
// that one thread builds and another may take, split (copying the body into
// a new task) and run, and the task's memory comes back from libtbb's pool
// to be built again by a third. Each hand-over is said on the copy's own
// address: whoever builds a copy releases it when done; whoever copies it or
// runs it acquires it first; whoever runs it releases it when done; and
// whoever builds in the same memory next acquires it first. The counter
// covers what the loop's caller reads after it.
template <typename Body>
class HandedBody {
public:
    HandedBody(const Body& body, TaskHandOver& handOver) : slot_(this, nullptr), body_(body), handOver_(&handOver)
    {
        releaseAt(this);
    }
    HandedBody(const HandedBody& other) : slot_(this, &other), body_(other.body_), handOver_(other.handOver_)
    {
        releaseAt(this);
    }
    HandedBody& operator=(const HandedBody&) = delete;

    template <typename Range>
    void operator()(const Range& range) const
    {
        acquireAt(this);
        body_(range);
        handOver_->handBack();
        releaseAt(this);
    }

private:
    // Acquires the memory before any member is built in it, and the copy
    // it is built from before that is read.
    struct Slot {
        Slot(const void* address, const void* source)
        {
            acquireAt(address);
            if (source)
                acquireAt(source);
        }
    };
    Slot slot_;
    Body body_;
    TaskHandOver* handOver_;
};

}  // namespace detail

// tbb::parallel_for(range, body), its hand-overs visible to ThreadSanitizer:
// what the caller wrote before is seen by every call of body, what every call
// wrote is seen by the caller after.
template <typename Range, typename Body>
void parallelFor(const Range& range, const Body& body)
{
    TaskHandOver handOver;
    tbb::parallel_for(range, detail::HandedBody<Body>(body, handOver));
    handOver.collect();
}

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
    tbb::this_task_arena::isolate([&task] {
        parallelFor(tbb::blocked_range<int>(0, 2, 1), [&task](const tbb::blocked_range<int>& which) {
            for (int i = which.begin(); i != which.end(); ++i)
                task(i);
        });
    });
}

}  // namespace tarvel
