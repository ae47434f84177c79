#include "tyq/brick_geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

namespace Qra::Ostrel::Tyq::Private {
namespace {

// Offset of (i, j, k) in a box of size n whose axes run fastest to slowest as
// `axes` lists them: written out from the order table, not from the strides.
int64_t orderIndex(const int axes[3], const int n[3], const int ijk[3]) {
  return ijk[axes[0]] + int64_t{n[axes[0]]} * (ijk[axes[1]] + int64_t{n[axes[1]]} * ijk[axes[2]]);
}

constexpr int kAxesOfOrder[6][3] = {{2, 1, 0}, {1, 2, 0}, {2, 0, 1},
                                    {0, 2, 1}, {1, 0, 2}, {0, 1, 2}};

TEST(StorageStrides, EveryOrderMatchesItsAxisSequence) {
  const int n[3] = {2, 3, 5};
  for (int order = 0; order < 6; ++order) {
    int s[3];
    ASSERT_TRUE(StorageStrides(order, n, s));
    for (int i = 0; i < n[0]; ++i) {
      for (int j = 0; j < n[1]; ++j) {
        for (int k = 0; k < n[2]; ++k) {
          const int ijk[3] = {i, j, k};
          EXPECT_EQ(i * s[0] + j * s[1] + k * s[2], orderIndex(kAxesOfOrder[order], n, ijk))
              << "order " << order << " at " << i << "," << j << "," << k;
        }
      }
    }
  }
}

TEST(StorageStrides, UnknownOrderOrOverflowLeavesStridesAlone) {
  const int n[3] = {4, 5, 6};
  int s[3] = {7, 8, 9};
  EXPECT_FALSE(StorageStrides(6, n, s));
  EXPECT_FALSE(StorageStrides(-1, n, s));
  const int big[3] = {2, 1 << 16, 1 << 16};
  EXPECT_FALSE(StorageStrides(0, big, s));  // n1 * n2 = 2^32
  EXPECT_EQ(s[0], 7);
  EXPECT_EQ(s[1], 8);
  EXPECT_EQ(s[2], 9);

  // Caller boxes can exceed 2^31 samples; their strides come out whole.
  int64_t wide[3];
  ASSERT_TRUE(StorageStrides(0, big, wide));
  EXPECT_EQ(wide[0], int64_t{1} << 32);
  const int huge[3] = {1 << 20, 1 << 20, 2};
  ASSERT_TRUE(StorageStrides(4, huge, wide));
  EXPECT_EQ(wide[2], int64_t{1} << 40);
}

TEST(FlagStrides, SplitByWhichOfIAndJIsFaster) {
  for (int order = 0; order < 6; ++order) {
    int a[2];
    ASSERT_TRUE(FlagStrides(order, 3, 5, a));
    // The flag plane keeps i and j in the order the samples have them.
    const int* axes = kAxesOfOrder[order];
    const bool jFirst = std::find(axes, axes + 3, 1) < std::find(axes, axes + 3, 0);
    EXPECT_EQ(a[0], jFirst ? 5 : 1) << "order " << order;
    EXPECT_EQ(a[1], jFirst ? 1 : 3) << "order " << order;
  }
  int a[2] = {-4, -5};
  EXPECT_FALSE(FlagStrides(9, 3, 5, a));
  EXPECT_EQ(a[0], -4);
  EXPECT_EQ(a[1], -5);
}

TEST(LevelExtent, RoundsUpAndNeverOverflows) {
  EXPECT_EQ(LevelExtent(100, 0), 100);
  EXPECT_EQ(LevelExtent(100, 1), 50);
  EXPECT_EQ(LevelExtent(101, 1), 51);
  EXPECT_EQ(LevelExtent(100, 7), 1);
  EXPECT_EQ(LevelExtent(INT_MAX, 1), 1 << 30);
  EXPECT_EQ(LevelExtent(INT_MAX, 40), 1);
  EXPECT_EQ(LevelExtent(0, 3), 0);
  int out[3];
  const int n[3] = {100, 64, 1};
  LevelExtent(n, 1, out);
  EXPECT_EQ(out[0], 50);
  EXPECT_EQ(out[1], 32);
  EXPECT_EQ(out[2], 1);
}

// ---- Clipping and classification -------------------------------------------

using Tile1 = TileIntersect<1>;
using Tile3 = TileIntersect<3>;

TEST(TileIntersect, SurveyEdgeBrickIsPartialEvenForTheWholeSurvey) {
  const Tile1 level0{{100}, {64}};
  int start = -1, size = -1;
  const int whole[2] = {0, 100};
  const int last = 1;
  EXPECT_EQ(level0.GetEx(&start, &size, &whole[0], &whole[1], &last), Tile1::Partial);
  EXPECT_EQ(start, 64);
  EXPECT_EQ(size, 36);  // samples 64..99
  const int first = 0;
  EXPECT_EQ(level0.GetEx(&start, &size, &whole[0], &whole[1], &first), Tile1::Full);
  EXPECT_EQ(level0.Get(&size, &last), Tile1::Partial);
  EXPECT_EQ(size, 36);

  // Level 1 halves the survey to 50 samples: one brick, cut by the edge.
  const int n1 = LevelExtent(100, 1);
  const Tile1 level1{{n1}, {64}};
  const int request[2] = {0, n1};
  const int start3[3] = {0, 0, 0}, size3[3] = {n1, 1, 1}, brick3[3] = {64, 64, 64};
  const BrickRange range = CutIntoBricks(start3, size3, brick3);
  EXPECT_EQ(range.last[0] - range.first[0], 1);
  EXPECT_EQ(level1.GetEx(&start, &size, &request[0], &request[1], &first), Tile1::Partial);
  EXPECT_EQ(size, 50);
}

TEST(TileIntersect, RegionDecidesBetweenNonePartialAndFull) {
  const Tile3 grid{{200, 200, 200}, {64, 64, 64}};
  const int index[3] = {1, 1, 1};
  int start[3], size[3];
  const int inside[3] = {64, 64, 64}, brick[3] = {64, 64, 64};
  EXPECT_EQ(grid.GetEx(start, size, inside, brick, index), Tile3::Full);

  const int shifted[3] = {64, 65, 64};
  EXPECT_EQ(grid.GetEx(start, size, shifted, brick, index), Tile3::Partial);
  EXPECT_EQ(start[1], 65);
  EXPECT_EQ(size[1], 63);

  const int beside[3] = {0, 0, 0}, small[3] = {64, 64, 10};
  EXPECT_EQ(grid.GetEx(start, size, beside, small, index), Tile3::None);

  // Tiles wholly before 0 or past the edge never reach the survey, however
  // large their index.
  const int negative[3] = {-1, 0, 0}, far[3] = {1 << 30, 0, 0}, all[3] = {0, 0, 0};
  const int allSize[3] = {200, 200, 200};
  EXPECT_EQ(grid.GetEx(start, size, all, allSize, negative), Tile3::None);
  EXPECT_EQ(grid.GetEx(start, size, all, allSize, far), Tile3::None);
  EXPECT_EQ(size[0], 0);

  // A region reaching past INT_MAX does not wrap into an empty one.
  const int late[3] = {100, 100, 100}, vast[3] = {INT_MAX, INT_MAX, INT_MAX};
  EXPECT_EQ(grid.GetEx(start, size, late, vast, index), Tile3::Partial);
  EXPECT_EQ(size[0], 28);
}

TEST(TileIntersect, TwoDimensionalFlagTiles) {
  const TileIntersect<2> tiles{{100, 70}, {64, 64}};
  int size[2];
  const int corner[2] = {1, 1}, inner[2] = {0, 0}, outside[2] = {2, 0};
  EXPECT_EQ(tiles.Get(size, corner), TileIntersect<2>::Partial);
  EXPECT_EQ(size[0], 36);
  EXPECT_EQ(size[1], 6);
  EXPECT_EQ(tiles.Get(size, inner), TileIntersect<2>::Full);
  EXPECT_EQ(tiles.Get(size, outside), TileIntersect<2>::None);
}

TEST(TileIntersect, IntersectAndLevelText) {
  int start[2], size[2];
  const int aStart[2] = {0, 10}, aSize[2] = {10, 5};
  const int bStart[2] = {5, 20}, bSize[2] = {10, 5};
  TileIntersect<2>::GetIntersect(start, size, aStart, aSize, bStart, bSize);
  EXPECT_EQ(start[0], 5);
  EXPECT_EQ(size[0], 5);
  EXPECT_EQ(start[1], 20);
  EXPECT_EQ(size[1], 0);  // disjoint: empty, not negative

  EXPECT_STREQ(TileLevelText(Tile3::None), "None");
  EXPECT_STREQ(Tile3::LevelText(Tile3::Partial), "Partial");
  EXPECT_STREQ(TileLevelText(Tile3::Full), "Full");
  EXPECT_STREQ(TileLevelText(3), "?");
}

TEST(CutIntoBricks, AlignedSingleBrickAndShiftedNeighbours) {
  const int brick[3] = {64, 64, 64};
  const int size[3] = {64, 64, 64};
  const int aligned[3] = {64, 128, 0};
  const BrickRange one = CutIntoBricks(aligned, size, brick);
  EXPECT_TRUE(one.aligned);
  EXPECT_EQ(one.first[0], 1);
  EXPECT_EQ(one.first[1], 2);
  EXPECT_EQ(one.last[2], 1);

  for (int d = 0; d < 3; ++d) {
    int shifted[3] = {64, 128, 0};
    ++shifted[d];
    const BrickRange r = CutIntoBricks(shifted, size, brick);
    EXPECT_FALSE(r.aligned);
    for (int e = 0; e < 3; ++e) EXPECT_EQ(r.last[e] - r.first[e], e == d ? 2 : 1);
  }
  const int all[3] = {1, 1, 1};
  const BrickRange r = CutIntoBricks(all, size, brick);
  EXPECT_EQ((r.last[0] - r.first[0]) * (r.last[1] - r.first[1]) * (r.last[2] - r.first[2]), 8);

  const int smaller[3] = {64, 64, 63};
  EXPECT_FALSE(CutIntoBricks(aligned, smaller, brick).aligned);
}

TEST(CutIntoBricks, NegativeStartsCoverTheRequestButNeverTakeTheAlignedPath) {
  const int brick[3] = {64, 64, 64};
  const int size[3] = {64, 64, 64};
  const int before[3] = {-64, 0, 0};
  const BrickRange r = CutIntoBricks(before, size, brick);
  EXPECT_FALSE(r.aligned);  // brick -1 does not exist; it must not reach the brick reader
  EXPECT_LE(int64_t{r.first[0]} * 64, -64);
  EXPECT_GE(int64_t{r.last[0]} * 64, 0);

  const int oneBefore[3] = {-1, 0, 0}, two[3] = {2, 1, 1};
  const BrickRange s = CutIntoBricks(oneBefore, two, brick);
  EXPECT_EQ(s.first[0], -1);
  EXPECT_EQ(s.last[0], 1);

  // With the level's extent known, a brick past its end is not aligned either.
  const int extent[3] = {100, 100, 100}, past[3] = {128, 0, 0};
  EXPECT_TRUE(CutIntoBricks(past, size, brick).aligned);
  EXPECT_FALSE(CutIntoBricks(past, size, brick, extent).aligned);
}

TEST(CutIntoBricks, DegenerateInputGivesAnEmptyRange) {
  const int brick[3] = {64, 64, 64}, zeroBrick[3] = {64, 0, 64};
  const int start[3] = {0, 0, 0};
  const int empty[3] = {64, 0, 64}, negative[3] = {64, -5, 64}, size[3] = {64, 64, 64};
  for (const BrickRange& r :
       {CutIntoBricks(start, empty, brick), CutIntoBricks(start, negative, brick),
        CutIntoBricks(start, size, zeroBrick)}) {
    EXPECT_FALSE(r.aligned);
    EXPECT_EQ(r.first[1], r.last[1]);
  }
  // Sums past INT_MAX saturate rather than wrap below `first`.
  const int one[3] = {1, 1, 1}, farStart[3] = {INT_MAX - 10, 0, 0};
  const int farSize[3] = {INT_MAX, 1, 1};
  const BrickRange r = CutIntoBricks(farStart, farSize, one);
  EXPECT_EQ(r.first[0], INT_MAX - 10);
  EXPECT_EQ(r.last[0], INT_MAX);
}

// ---- Iteration ------------------------------------------------------------

// A box of size n at offset (1, 2, 3) inside a 4 x 5 x 6 buffer of storage
// order `order`, whose samples hold their own buffer offset.
struct Box {
  int n[3];
  std::vector<int> buffer = std::vector<int>(4 * 5 * 6);
  int strides[3];
  BrickSpec<int> layout;

  Box(int order, int n0, int n1, int n2) : n{n0, n1, n2} {
    std::iota(buffer.begin(), buffer.end(), 0);
    const int whole[3] = {4, 5, 6};
    StorageStrides(order, whole, strides);
    layout.data = buffer.data() + strides[0] + 2 * strides[1] + 3 * strides[2];
    layout.size = n;
    EXPECT_TRUE(layout.SetSteps(strides));
  }
  int at(int i, int j, int k) const {
    return (1 + i) * strides[0] + (2 + j) * strides[1] + (3 + k) * strides[2];
  }
};

TEST(BrickIterator, WithoutFlagsVisitsEverySampleInBoxOrder) {
  for (int order : {0, 3, 5}) {
    Box box(order, 3, 2, 3);
    std::vector<int> expected, seen;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 2; ++j) {
        for (int k = 0; k < 3; ++k) expected.push_back(box.at(i, j, k));
      }
    }
    for (auto it = box.layout.begin(); it != box.layout.end(); ++it) {
      const int* idx = it.index();
      ASSERT_NE(idx, nullptr);
      EXPECT_EQ(*it, box.at(idx[0], idx[1], idx[2]));
      EXPECT_EQ(it.alpha(), 1);  // no flag plane: every trace live
      seen.push_back(*it);
    }
    EXPECT_EQ(seen, expected) << "order " << order;
  }
}

TEST(BrickIterator, SkipsDeadTracesWhereverTheyAre) {
  Box box(5, 3, 2, 3);
  // Flag plane of the box's 3 x 2 traces, i fastest (order 5).
  const unsigned char flags[6] = {0, 7, 1, 0, 0, 1};  // (i, j): (1,0) (2,0) (2,1) live
  const int flagStrides[2] = {1, 3};
  box.layout.alpha = flags;
  ASSERT_TRUE(box.layout.SetSteps(box.strides, flagStrides));
  std::vector<std::vector<int>> traces;
  for (auto it = box.layout.begin(); it != box.layout.end(); ++it) {
    EXPECT_NE(it.alpha(), 0);
    if (it.index()[2] == 0) traces.push_back({it.index()[0], it.index()[1]});
    EXPECT_EQ(*it, box.at(it.index()[0], it.index()[1], it.index()[2]));
  }
  EXPECT_EQ(traces, (std::vector<std::vector<int>>{{1, 0}, {2, 0}, {2, 1}}));
  int count = 0;
  for (const int v : box.layout) count += v >= 0;
  EXPECT_EQ(count, 9);
}

TEST(BrickIterator, AllDeadOrEmptyBoxesHaveNoSamples) {
  Box box(0, 2, 2, 3);
  const unsigned char dead[4] = {0, 0, 0, 0};
  const int flagStrides[2] = {2, 1};
  box.layout.alpha = dead;
  ASSERT_TRUE(box.layout.SetSteps(box.strides, flagStrides));
  EXPECT_TRUE(box.layout.begin() == box.layout.end());

  Box empty(0, 2, 0, 3);
  EXPECT_TRUE(empty.layout.begin() == empty.layout.end());
}

TEST(BrickIterator, PostfixAdvancesInPlaceAndTheEndRefusesToMove) {
  Box box(0, 1, 1, 2);
  auto it = box.layout.begin();
  auto& same = it++;
  EXPECT_EQ(&same, &it);
  EXPECT_EQ(*it, box.at(0, 0, 1));
  ++it;
  EXPECT_TRUE(it == box.layout.end());
  EXPECT_EQ(it.index(), nullptr);
  EXPECT_EQ(it.alpha(), 0);
  try {
    ++it;
    FAIL() << "advancing past the end must throw";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "brick iterator out of bounds");
  }
  // Iterators of different specs differ even when both are at their end.
  Box other(0, 1, 1, 2);
  EXPECT_TRUE(box.layout.end() != other.layout.end());
}

TEST(BrickSpec, StepsThatDoNotFitAnIntAreRefused) {
  const int n[3] = {2, 1 << 16, 2};
  const int strides[3] = {1, 1 << 16, 1 << 30};
  BrickSpec<float> layout;
  layout.size = n;
  EXPECT_FALSE(layout.SetSteps(strides));
  EXPECT_EQ(layout.step0, 0);
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private
