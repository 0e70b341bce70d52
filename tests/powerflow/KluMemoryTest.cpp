// SuiteSparse's memory once it comes from our allocator: small blocks from
// malloc, large ones mapped on their own for 2 MB pages.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include <SuiteSparse_config.h>

#include "powerflow/KluMemory.h"

TEST(KluMemory, BlocksOfEverySizeAreZeroedAndKeepTheirContentsWhenTheyGrowOrShrink)
{
    tarvel::useLargePagesForKlu();
    const std::size_t kMb = std::size_t{1} << 20;
    for (const std::size_t size : {std::size_t{24}, kMb / 2, kMb - 8, kMb, 3 * kMb + 5, 5 * kMb}) {
        auto* p = static_cast<unsigned char*>(SuiteSparse_calloc(size, 1));
        ASSERT_NE(p, nullptr) << size;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 16, 0u) << size;
        const std::vector<unsigned char> zeros(size, 0);
        EXPECT_EQ(std::memcmp(p, zeros.data(), size), 0) << size;
        for (std::size_t i = 0; i < size; ++i)
            p[i] = static_cast<unsigned char>(i * 7 + 3);
        std::size_t current = size;
        for (const std::size_t next : {2 * size + 1, size / 3 + 1}) {
            int ok = 0;
            auto* q = static_cast<unsigned char*>(SuiteSparse_realloc(next, current, 1, p, &ok));
            ASSERT_TRUE(ok) << current << " -> " << next;
            std::size_t differing = 0;
            for (std::size_t i = 0; i < std::min(current, next); ++i)
                differing += q[i] != static_cast<unsigned char>(i * 7 + 3);
            EXPECT_EQ(differing, 0u) << current << " -> " << next;
            p = q;
            for (std::size_t i = 0; i < next; ++i)
                p[i] = static_cast<unsigned char>(i * 7 + 3);
            current = next;
        }
        SuiteSparse_free(p);
    }
}
