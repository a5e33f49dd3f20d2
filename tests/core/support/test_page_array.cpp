#include "support/page_array.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>

namespace {

// Values survive growing from heap blocks into mapped pages and back out by a move; new room
// reads as zero.
TEST(PageArray, ValuesSurviveGrowthAcrossTheMappedSizeAndMoves) {
    vnu::page_array<std::uint32_t> a;
    const std::uint32_t n = 1u << 19;  // 2 MiB of values: past the size that maps pages
    for (std::uint32_t i = 0; i < n; ++i) a.push_back(i * 7u);
    a.resize(n + 1000);
    EXPECT_EQ(a[n + 999], 0u);
    vnu::page_array<std::uint32_t> b(std::move(a));
    EXPECT_EQ(a.size(), 0u);
    ASSERT_EQ(b.size(), n + 1000);
    bool same = true;
    for (std::uint32_t i = 0; i < n; ++i) same = same && b[i] == i * 7u;
    EXPECT_TRUE(same);
    // Reserved room far beyond what is written is only address space.
    vnu::page_array<std::uint32_t> big;
    big.reserve(std::size_t{1} << 28);
    big.push_back(5);
    big = std::move(b);
    EXPECT_EQ(big[n - 1], (n - 1) * 7u);
}

long VmSizeKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmSize:", 0) == 0) return std::stol(line.substr(7));
    return -1;
}

// Mapped storage of any size goes back whole: what was mapped around it for alignment too.
TEST(PageArray, MappedStorageIsGivenBackWhole) {
    const long before = VmSizeKiB();
    for (std::size_t n : {300001u, 524288u, 777777u, 1000003u})
        for (int i = 0; i < 10; ++i) {
            vnu::page_array<std::uint32_t> a;
            a.reserve(n);
            a.push_back(1);
        }
    EXPECT_LE(VmSizeKiB() - before, 1024) << "KiB of address space left mapped";
}

}  // namespace
