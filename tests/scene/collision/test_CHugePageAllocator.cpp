// The allocator behind the collision tree's arrays: small blocks keep their type's
// alignment, large ones start on a huge-page boundary, and both hold what is
// written into them through growth and release.
#include "scene/collision/CHugePageAllocator.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace {

struct alignas(64) Line {
  uint32_t value[16];
};

TEST(HugePageAllocator, SmallAndLargeBlocksAreAlignedAndKeepTheirContents) {
  std::vector<Line, cHugePageAllocator<Line>> lines;
  // grows through small blocks into ones of several huge pages
  const size_t count = 3 * cHugePageAllocator<Line>::kHugePage / sizeof(Line) + 5;
  for (size_t i = 0; i < count; ++i) {
    lines.push_back(Line{{static_cast<uint32_t>(i)}});
    const auto address = reinterpret_cast<uintptr_t>(lines.data());
    ASSERT_EQ(address % alignof(Line), 0u) << "after " << i + 1;
    if (lines.capacity() * sizeof(Line) >= cHugePageAllocator<Line>::kHugePage) {
      ASSERT_EQ(address % cHugePageAllocator<Line>::kHugePage, 0u) << "after " << i + 1;
    }
  }
  for (size_t i = 0; i < count; ++i) ASSERT_EQ(lines[i].value[0], i);
  // a copy and a swap with an empty vector hand the blocks back the way they came
  std::vector<Line, cHugePageAllocator<Line>> copy(lines);
  std::vector<Line, cHugePageAllocator<Line>>().swap(lines);
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(copy.back().value[0], count - 1);
}

// sizes a vector can ask for but no block can have: failures it expects, and no
// rounding up that wraps around to a small block
TEST(HugePageAllocator, ImpossibleSizesFailAsAVectorExpects) {
  cHugePageAllocator<Line> allocator;
  EXPECT_THROW(allocator.allocate(static_cast<size_t>(-1) / sizeof(Line) + 1), std::bad_array_new_length);
  EXPECT_THROW(allocator.allocate(static_cast<size_t>(-1) / sizeof(Line)), std::bad_alloc);
  EXPECT_THROW(allocator.allocate(static_cast<size_t>(PTRDIFF_MAX) / sizeof(Line) + 1), std::bad_alloc);
}

}  // namespace
