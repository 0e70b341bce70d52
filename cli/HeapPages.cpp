#include "cli/HeapPages.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace cli {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr int kHeapStep = 64 << 20;
constexpr int kLargestHeapBlock = 32 << 20;  // the most glibc takes for M_MMAP_THRESHOLD
constexpr int kNeverTrim = 1 << 30;

}  // namespace

void keepHeapOnHugePages()
{
    if (mallopt(M_MMAP_THRESHOLD, kLargestHeapBlock) == 0 || mallopt(M_TRIM_THRESHOLD, kNeverTrim) == 0 ||
        mallopt(M_TOP_PAD, kHeapStep) == 0)
        return;
    // A block larger than what the start-up left free makes the heap grow
    // now, by the block and the step; freed, it stays in the heap.
    void* block = std::malloc(kHugePage);
    if (!block)
        return;
    const auto from = (reinterpret_cast<std::uintptr_t>(block) + kHugePage - 1) & ~(kHugePage - 1);
    const auto end = reinterpret_cast<std::uintptr_t>(sbrk(0));
    if (end > from + kHugePage)
        madvise(reinterpret_cast<void*>(from), end - from, MADV_HUGEPAGE);
    std::free(block);
}

}  // namespace cli
