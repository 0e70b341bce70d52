#include "powerflow/KluMemory.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <SuiteSparse_config.h>

namespace tarvel {

namespace {

// The factors of a large network take megabytes that the factorisation
// walks again and again: in 2 MB pages they cost a fraction of the page
// faults and address-translation misses of 4 KB ones. Blocks from
// kLargeBlock up are mapped on their own, 2 MB aligned, and offered to the
// kernel for large pages; smaller ones come from malloc. Every block carries
// a header in front, so that free and realloc know which kind it is.
constexpr std::size_t kLargePage = std::size_t{2} << 20;
constexpr std::size_t kLargeBlock = std::size_t{1} << 20;

struct alignas(16) Header {
    void* base;             // what malloc or mmap returned
    std::size_t mapped;     // length of the mapping; 0 for a malloc block
    std::size_t size;       // bytes asked for
};

void* userPart(Header* h)
{
    return h + 1;
}

Header* headerOf(void* p)
{
    return static_cast<Header*>(p) - 1;
}

void* allocate(std::size_t size)
{
    if (size > SIZE_MAX / 2)
        return nullptr;
    const std::size_t total = size + sizeof(Header);
    if (size < kLargeBlock) {
        void* base = std::malloc(total);
        if (!base)
            return nullptr;
        auto* h = static_cast<Header*>(base);
        *h = Header{base, 0, size};
        return userPart(h);
    }
    // Room to place the block so that its data begins on a 2 MB boundary.
    const std::size_t mapped = total + kLargePage;
    void* base = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(base) + sizeof(Header);
    const std::uintptr_t data = (start + kLargePage - 1) & ~(std::uintptr_t{kLargePage} - 1);
    const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(base) + mapped;
    madvise(reinterpret_cast<void*>(data), end - data, MADV_HUGEPAGE);
    auto* h = reinterpret_cast<Header*>(data) - 1;
    *h = Header{base, mapped, size};
    return userPart(h);
}

void release(void* p)
{
    if (!p)
        return;
    const Header h = *headerOf(p);
    if (h.mapped)
        munmap(h.base, h.mapped);
    else
        std::free(h.base);
}

void* allocateZeroed(std::size_t count, std::size_t size)
{
    if (size != 0 && count > SIZE_MAX / 2 / size)
        return nullptr;
    void* p = allocate(count * size);
    // A fresh mapping is zero already.
    if (p && !headerOf(p)->mapped)
        std::memset(p, 0, count * size);
    return p;
}

void* reallocate(void* p, std::size_t size)
{
    if (!p)
        return allocate(size);
    void* q = allocate(size);
    if (!q)
        return nullptr;  // the old block stays valid, as realloc leaves it
    std::memcpy(q, p, std::min(size, headerOf(p)->size));
    release(p);
    return q;
}

}  // namespace

void useLargePagesForKlu()
{
    static const bool installed = [] {
        SuiteSparse_config.malloc_func = allocate;
        SuiteSparse_config.calloc_func = allocateZeroed;
        SuiteSparse_config.realloc_func = reallocate;
        SuiteSparse_config.free_func = release;
        return true;
    }();
    (void)installed;
}

}  // namespace tarvel
