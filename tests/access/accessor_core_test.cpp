// The accessor core over an in-memory store: what requests turn into at the
// store, and what comes back, without any file format underneath.
#include "access/accessor_core.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "access/memory_store.h"
#include "tyq/environment.h"

namespace tyq_test {
namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Err = FA::Error;
using Qra::Ostrel::Tyq::Private::StatisticData;

// The core with the uncompressed rules, or with the other rules a format
// may choose.
class CoreAccessor : public Access::AccessorCore {
 public:
  bool merge = true, replace = true, constants = true;

  MemoryStore* Attach(const MemoryStoreShape& shape, bool autoLods = false) {
    auto store = std::make_unique<MemoryStore>(shape);
    MemoryStore* raw = store.get();
    FA::TyqOptions options;
    options.noAutoFlush = !autoLods;
    Status status;
    EXPECT_TRUE(AccessorCore::Attach(std::move(store), options, &status)) << status.message();
    return raw;
  }

 protected:
  bool MergesPartialBricks() const override { return merge; }
  bool ReplacesOldSamples() const override { return replace; }
  bool ChooseConstant(const StatisticData& stats, const StatisticData& written,
                      const void* firstLive, unsigned char* value) const override {
    return constants && AccessorCore::ChooseConstant(stats, written, firstLive, value);
  }
};

FA::AutoRef<CoreAccessor> makeAccessor() {
  return FA::AutoRef<CoreAccessor>(new CoreAccessor);
}

class AccessorCoreTest : public testing::Test {
 protected:
  void SetUp() override {
    Qra::Ostrel::Tyq::Private::Environment::putStringEnv("OSTREL_LOD_AUTOFLUSH", "");
  }
  Status status_;
};

// A plain array of the whole survey, the model the accessor must agree with.
struct Model {
  int n[3];
  std::vector<float> v;
  explicit Model(const int size[3]) : n{size[0], size[1], size[2]} {
    v.assign(static_cast<size_t>(n[0]) * n[1] * n[2], 0.0f);
  }
  float& at(int i, int j, int k) { return v[(static_cast<size_t>(i) * n[1] + j) * n[2] + k]; }
};

// Boxes at random places of a survey of `n`, at most `most` samples long.
struct BoxPicker {
  std::mt19937 random;
  int pick(int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); }
  void box(const int n[3], int most, int start[3], int size[3]) {
    for (int a = 0; a < 3; ++a) {
      start[a] = pick(n[a]);
      size[a] = 1 + pick(std::min(most, n[a] - start[a]));
    }
  }
};

TEST_F(AccessorCoreTest, RandomBoxesAgreeWithAnArrayModel) {
  MemoryStoreShape shape;
  auto accessor = makeAccessor();
  accessor->Attach(shape);
  Model model(shape.size);
  BoxPicker boxes{std::mt19937(7)};
  auto pick = [&](int n) { return boxes.pick(n); };
  for (int round = 0; round < 60; ++round) {
    int start[3], size[3];
    boxes.box(shape.size, INT_MAX, start, size);
    std::vector<float> box(static_cast<size_t>(size[0]) * size[1] * size[2]);
    // Every other box is uniform, so that constant bricks arise too.
    const float uniform = static_cast<float>(pick(50));
    for (size_t n = 0; n < box.size(); ++n) {
      box[n] = round % 2 ? uniform : static_cast<float>(pick(200) - 100);
    }
    ASSERT_TRUE(accessor->WriteData(0, start[0], start[1], start[2], size[0], size[1], size[2],
                                    box.data(), &status_))
        << status_.message();
    size_t n = 0;
    for (int i = 0; i < size[0]; ++i) {
      for (int j = 0; j < size[1]; ++j) {
        for (int k = 0; k < size[2]; ++k)
          model.at(start[0] + i, start[1] + j, start[2] + k) = box[n++];
      }
    }
  }
  std::vector<float> all(model.v.size());
  ASSERT_TRUE(accessor->ReadData(0, 0, 0, 0, shape.size[0], shape.size[1], shape.size[2],
                                 all.data(), &status_));
  EXPECT_EQ(all, model.v);
  // The traditional order runs i fastest.
  ASSERT_TRUE(accessor->SetAccessStorageOrder(FA::StorageOrderEnum::TraditionalTyqOrder, &status_));
  std::vector<float> box(3 * 4 * 5);
  ASSERT_TRUE(accessor->ReadData(0, 30, 9, 14, 3, 4, 5, box.data(), &status_));
  for (int k = 0; k < 5; ++k) {
    for (int j = 0; j < 4; ++j) {
      for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(box[(k * 4 + j) * 3 + i], model.at(30 + i, 9 + j, 14 + k));
      }
    }
  }
}

// Whole numbers written as int16 codes (through a scale range where a code
// is its value) between boxes of fractions, in an access order other than
// the store's: every brick an int16 box covers in part keeps its fractions.
TEST_F(AccessorCoreTest, IntegerBoxesMergeIntoFloatBricksWithoutRounding) {
  for (const int order : {0, 5}) {
    MemoryStoreShape shape;
    shape.storageOrder = 5 - order;
    auto accessor = makeAccessor();
    accessor->Attach(shape);
    ASSERT_TRUE(accessor->SetAccessStorageOrder(
        static_cast<FA::StorageOrderEnum::value_type>(order), &status_));
    ASSERT_TRUE(accessor->SetAccessScaleRange(-32768, 32767, &status_));
    Model model(shape.size);
    BoxPicker boxes{std::mt19937(11)};
    auto pick = [&](int n) { return boxes.pick(n); };
    for (int round = 0; round < 40; ++round) {
      int start[3], size[3];
      boxes.box(shape.size, 12, start, size);
      std::vector<float> values(static_cast<size_t>(size[0]) * size[1] * size[2]);
      std::vector<short> codes(values.size());
      for (size_t n = 0; n < values.size(); ++n) {
        codes[n] = static_cast<short>(pick(60000) - 30000);
        values[n] = round % 2 ? codes[n] : static_cast<float>(pick(4000)) / 8.0f - 250.0f;
      }
      ASSERT_TRUE(round % 2 ? accessor->WriteData(0, start[0], start[1], start[2], size[0], size[1],
                                                  size[2], codes.data(), &status_)
                            : accessor->WriteData(0, start[0], start[1], start[2], size[0], size[1],
                                                  size[2], values.data(), &status_))
          << status_.message();
      for (int i = 0; i < size[0]; ++i) {
        for (int j = 0; j < size[1]; ++j) {
          for (int k = 0; k < size[2]; ++k) {
            const int n =
                order == 0 ? (i * size[1] + j) * size[2] + k : (k * size[1] + j) * size[0] + i;
            model.at(start[0] + i, start[1] + j, start[2] + k) = values[static_cast<size_t>(n)];
          }
        }
      }
    }
    ASSERT_TRUE(accessor->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), &status_));
    std::vector<float> all(model.v.size());
    ASSERT_TRUE(accessor->ReadData(0, 0, 0, 0, shape.size[0], shape.size[1], shape.size[2],
                                   all.data(), &status_));
    EXPECT_EQ(all, model.v) << "access order " << order;
  }
}

TEST_F(AccessorCoreTest, UniformBricksBecomeConstantsAndSmallReadsAskForPart) {
  MemoryStoreShape shape;
  auto accessor = makeAccessor();
  MemoryStore* store = accessor->Attach(shape);
  std::vector<float> brick(8 * 8 * 8, 2.5f);
  ASSERT_TRUE(accessor->WriteData(0, 8, 8, 8, 8, 8, 8, brick.data(), &status_));
  EXPECT_EQ(store->BrickKind(1, 1, 1, 0), 1);
  brick[17] = 3.0f;
  ASSERT_TRUE(accessor->WriteData(0, 0, 0, 0, 8, 8, 8, brick.data(), &status_));
  EXPECT_EQ(store->BrickKind(0, 0, 0, 0), 2);
  float one = 0;
  ASSERT_TRUE(accessor->ReadData(0, 3, 2, 1, 1, 1, 1, &one, &status_));
  EXPECT_EQ(store->partReads.load(), 1);
  // Absent bricks read as zeros beside a present one, and alone fail.
  std::vector<float> two(16 * 8 * 8, -1.0f);
  ASSERT_TRUE(accessor->ReadData(0, 8, 8, 8, 16, 8, 8, two.data(), &status_));
  EXPECT_EQ(two[0], 2.5f);
  EXPECT_EQ(two.back(), 0.0f);
  EXPECT_FALSE(accessor->ReadData(0, 32, 16, 16, 8, 8, 4, two.data(), &status_));
  EXPECT_EQ(status_.tyqError(), Err::BrickNotFound);
}

TEST_F(AccessorCoreTest, OverwrittenSamplesLeaveTheStatisticsUnlessTheFormatSaysNot) {
  for (const bool replace : {true, false}) {
    MemoryStoreShape shape;
    auto accessor = makeAccessor();
    accessor->replace = replace;
    MemoryStore* store = accessor->Attach(shape);
    std::vector<float> brick(8 * 8 * 8, 1.0f);
    brick[0] = 9.0f;  // not constant
    ASSERT_TRUE(accessor->WriteData(0, 0, 0, 0, 8, 8, 8, brick.data(), &status_));
    ASSERT_TRUE(accessor->WriteData(0, 0, 0, 0, 8, 8, 8, brick.data(), &status_));
    ASSERT_TRUE(accessor->Flush(false, false, &status_));
    FA::DataInfo info;
    ASSERT_TRUE(accessor->GetDataInfo(info, &status_));
    EXPECT_EQ(info.statCount, replace ? 512 : 1024);
    EXPECT_EQ(info.statMax, 9.0f);
    EXPECT_EQ(store->GetDataHist(nullptr)->count, info.statCount);
    EXPECT_EQ(store->flushes.load(), 1);
  }
}

TEST_F(AccessorCoreTest, PartialBrickKeepsOrZeroesTheRestAsTheFormatSays) {
  for (const bool merge : {true, false}) {
    auto accessor = makeAccessor();
    accessor->merge = merge;
    accessor->constants = false;
    MemoryStore* store = accessor->Attach(MemoryStoreShape());
    std::vector<float> brick(8 * 8 * 8, 4.0f);
    ASSERT_TRUE(accessor->WriteData(0, 0, 0, 0, 8, 8, 8, brick.data(), &status_));
    const float five = 5.0f;
    ASSERT_TRUE(accessor->WriteData(0, 1, 1, 1, 1, 1, 1, &five, &status_));
    const std::vector<float> back = store->BrickFloats(0, 0, 0, 0);
    EXPECT_EQ(back[0], merge ? 4.0f : 0.0f);
    EXPECT_EQ(back[64 + 8 + 1], 5.0f);
    EXPECT_EQ(store->stored.load(), 2);
  }
}

TEST_F(AccessorCoreTest, DeadColumnsStoreNothingAndFlagsRoundTrip) {
  auto accessor = makeAccessor();
  MemoryStore* store = accessor->Attach(MemoryStoreShape());
  std::vector<unsigned char> dead(8 * 8, 0), flags(10 * 3);
  ASSERT_TRUE(accessor->WriteGridFlags(0, 0, 0, 8, 8, dead.data(), &status_));
  std::vector<float> brick(8 * 8 * 8, 1.0f);
  ASSERT_TRUE(accessor->WriteData(0, 0, 0, 0, 8, 8, 8, brick.data(), &status_));
  EXPECT_EQ(store->BrickKind(0, 0, 0, 0), 0);
  for (size_t n = 0; n < flags.size(); ++n) flags[n] = n % 3 == 0;
  ASSERT_TRUE(accessor->WriteGridFlags(0, 5, 6, 10, 3, flags.data(), &status_));
  std::vector<unsigned char> back(flags.size());
  ASSERT_TRUE(accessor->ReadGridFlags(0, 5, 6, 10, 3, back.data(), &status_));
  EXPECT_EQ(back, flags);
  // A column first written with data gets a tile of live traces.
  ASSERT_TRUE(accessor->WriteData(0, 16, 16, 0, 8, 8, 8, brick.data(), &status_));
  unsigned char live = 0;
  ASSERT_TRUE(accessor->ReadGridFlags(0, 20, 20, 1, 1, &live, &status_));
  EXPECT_EQ(live, 1);
}

TEST_F(AccessorCoreTest, FlushBuildsLevelsFromDirtyMarksOnlyWhereTheStoreKeepsThem) {
  for (const bool marks : {true, false}) {
    MemoryStoreShape shape;
    shape.size[0] = shape.size[1] = shape.size[2] = 16;
    shape.dirtyMarks = marks;
    auto accessor = makeAccessor();
    MemoryStore* store = accessor->Attach(shape);
    std::vector<float> box(16 * 16 * 16);
    for (size_t n = 0; n < box.size(); ++n) box[n] = static_cast<float>(n % 7);
    ASSERT_TRUE(accessor->WriteData(0, 0, 0, 0, 16, 16, 16, box.data(), &status_));
    EXPECT_EQ(store->BrickKind(0, 0, 0, 1), 0);
    ASSERT_TRUE(accessor->Flush(false, true, &status_)) << status_.message();
    EXPECT_EQ(store->BrickKind(0, 0, 0, 1), marks ? 2 : 0);
    if (marks) {
      EXPECT_FALSE(store->GetDirtyMarks()->bricks.AnyDirty(0));
      std::vector<float> parent(8 * 8 * 8);
      ASSERT_TRUE(accessor->ReadData(1, 0, 0, 0, 8, 8, 8, parent.data(), &status_));
    }
  }
}

TEST_F(AccessorCoreTest, WritesRebuildCompleteParentsAutomatically) {
  MemoryStoreShape shape;
  shape.size[0] = shape.size[1] = shape.size[2] = 16;
  auto accessor = makeAccessor();
  MemoryStore* store = accessor->Attach(shape, true);
  std::vector<float> brick(8 * 8 * 8, 0.0f);
  brick[1] = 1.0f;
  for (int n = 0; n < 7; ++n) {
    ASSERT_TRUE(accessor->WriteData(0, (n >> 2) * 8, ((n >> 1) & 1) * 8, (n & 1) * 8, 8, 8, 8,
                                    brick.data(), &status_));
  }
  EXPECT_EQ(store->BrickKind(0, 0, 0, 1), 0);  // one child still missing
  ASSERT_TRUE(accessor->WriteData(0, 8, 8, 8, 8, 8, 8, brick.data(), &status_));
  EXPECT_NE(store->BrickKind(0, 0, 0, 1), 0);
}

TEST_F(AccessorCoreTest, ReadOnlyStoreAndFinalize) {
  MemoryStoreShape shape;
  shape.writable = false;
  auto reader = makeAccessor();
  reader->Attach(shape);
  const float one = 1.0f;
  EXPECT_FALSE(reader->WriteData(0, 0, 0, 0, 1, 1, 1, &one, &status_));
  EXPECT_EQ(status_.tyqError(), Err::ReadOnly);
  auto writer = makeAccessor();
  MemoryStore* store = writer->Attach(MemoryStoreShape());
  ASSERT_TRUE(writer->Finalize(false, false, &status_));
  EXPECT_EQ(store->finalizes.load(), 1);
  EXPECT_FALSE(writer->WriteData(0, 0, 0, 0, 1, 1, 1, &one, &status_));
  EXPECT_EQ(status_.tyqError(), Err::ReadOnly);
}

// Brick and tile ranges whose ends pass the level, or would pass the int
// range, are refused before a single brick is touched.
TEST_F(AccessorCoreTest, RangesOutsideTheLevelAreRefusedBeforeAnyBrick) {
  auto accessor = makeAccessor();
  MemoryStore* store = accessor->Attach(MemoryStoreShape());  // 5 x 3 x 3 bricks
  std::vector<float> brick(8 * 8 * 8, 1.0f);
  float* out[1] = {brick.data()};
  const float* in[1] = {brick.data()};
  const int bricks[][6] = {{INT_MAX, 0, 0, 2, 1, 1}, {0, 0, 1, 1, 1, INT_MAX},
                           {-1, 0, 0, 1, 1, 1},      {5, 0, 0, 1, 1, 1},
                           {0, 0, 0, 1, 1, -1},      {0, 2, 0, 1, INT_MAX - 1, 1}};
  for (const auto& r : bricks) {
    EXPECT_FALSE(accessor->ReadDataBrick(0, r[0], r[1], r[2], r[3], r[4], r[5], out, &status_));
    EXPECT_EQ(status_.tyqError(), Err::InvalidArgument) << r[0] << " " << r[5];
    EXPECT_FALSE(accessor->WriteDataBrick(0, r[0], r[1], r[2], r[3], r[4], r[5], in, &status_));
    EXPECT_EQ(status_.tyqError(), Err::InvalidArgument) << r[0] << " " << r[5];
  }
  std::vector<unsigned char> tile(8 * 8, 1);
  unsigned char* tilesOut[1] = {tile.data()};
  const unsigned char* tilesIn[1] = {tile.data()};
  const int tiles[][4] = {
      {INT_MAX / 8 + 1, 0, 1, 1}, {0, INT_MAX, 1, 2}, {0, 0, 6, 1}, {0, 1, 1, INT_MAX}};
  for (const auto& r : tiles) {
    EXPECT_FALSE(accessor->ReadGridFlagsTile(0, r[0], r[1], r[2], r[3], tilesOut, &status_));
    EXPECT_EQ(status_.tyqError(), Err::InvalidArgument) << r[0] << " " << r[1];
    EXPECT_FALSE(accessor->WriteGridFlagsTile(0, r[0], r[1], r[2], r[3], tilesIn, &status_));
    EXPECT_EQ(status_.tyqError(), Err::InvalidArgument) << r[0] << " " << r[1];
  }
  EXPECT_EQ(store->stored.load() + store->constants.load(), 0);
  long long position = -1;
  ASSERT_TRUE(accessor->GetGridFlagsTilePos(&position, 0, 0, 0, 1, 1, &status_));
  EXPECT_EQ(position, 0);
}

// The count and sum of the live samples the store holds at level 0, from
// what reads back: the statistics must equal these whatever was written.
StatisticData liveStatistics(CoreAccessor& accessor, MemoryStore& store,
                             const MemoryStoreShape& shape) {
  const int* n = shape.size;
  std::vector<float> all(static_cast<size_t>(n[0]) * n[1] * n[2]);
  std::vector<unsigned char> flags(static_cast<size_t>(n[0]) * n[1]);
  Status status;
  accessor.ReadData(0, 0, 0, 0, n[0], n[1], n[2], all.data(), &status);
  accessor.ReadGridFlags(0, 0, 0, n[0], n[1], flags.data(), &status);
  StatisticData stats;
  for (int i = 0; i < n[0]; ++i) {
    for (int j = 0; j < n[1]; ++j) {
      for (int k = 0; k < n[2]; ++k) {
        const int* b = shape.brick;
        if (!flags[static_cast<size_t>(i) * n[1] + j] ||
            store.BrickKind(i / b[0], j / b[1], k / b[2], 0) == 0) {
          continue;
        }
        stats.add(all[(static_cast<size_t>(i) * n[1] + j) * n[2] + k]);
      }
    }
  }
  return stats;
}

TEST_F(AccessorCoreTest, StatisticsFollowFlagChangesOverStoredBricks) {
  MemoryStoreShape shape;
  auto accessor = makeAccessor();
  MemoryStore* store = accessor->Attach(shape);
  std::mt19937 random(11);
  const auto box = [&](int ni, int nj, int nk) {
    std::vector<float> v(static_cast<size_t>(ni) * nj * nk);
    for (float& x : v) x = static_cast<float>(random() % 200) - 100.0f;
    return v;
  };
  const auto dead = std::vector<unsigned char>(64, 0), live = std::vector<unsigned char>(64, 1);
  const auto data = box(20, 16, 20);
  ASSERT_TRUE(accessor->WriteData(0, 0, 0, 0, 20, 16, 20, data.data(), &status_));
  // Traces die over stored bricks, their bricks are rewritten, some revive,
  // then whole tiles die and revive; the counts must follow every step.
  ASSERT_TRUE(accessor->WriteGridFlags(0, 2, 3, 9, 7, dead.data(), &status_));
  const auto again = box(8, 8, 20);
  ASSERT_TRUE(accessor->WriteData(0, 0, 0, 0, 8, 8, 20, again.data(), &status_));
  ASSERT_TRUE(accessor->WriteGridFlags(0, 4, 3, 2, 7, live.data(), &status_));
  ASSERT_TRUE(accessor->WriteGridFlags(0, 8, 8, 8, 8, dead.data(), &status_));
  ASSERT_TRUE(accessor->WriteGridFlags(0, 12, 8, 4, 8, live.data(), &status_));
  const auto third = box(4, 8, 20);
  ASSERT_TRUE(accessor->WriteData(0, 12, 8, 0, 4, 8, 20, third.data(), &status_));
  ASSERT_TRUE(accessor->Flush(false, false, &status_));
  const StatisticData want = liveStatistics(*accessor, *store, shape);
  FA::DataInfo info;
  ASSERT_TRUE(accessor->GetDataInfo(info, &status_));
  EXPECT_EQ(info.statCount, want.getcnt());
  EXPECT_DOUBLE_EQ(info.statSum, want.getsum());
  EXPECT_DOUBLE_EQ(info.statSumOfSquares, want.getssq());
  EXPECT_EQ(store->GetDataHist(nullptr)->count, want.getcnt());
}

// The kernel cannot halve an odd brick: no level built from one is stored.
TEST_F(AccessorCoreTest, OddBricksBuildNoLevels) {
  MemoryStoreShape shape;
  shape.brick[0] = 7;
  auto accessor = makeAccessor();
  MemoryStore* store = accessor->Attach(shape, true);
  std::vector<float> box(14 * 16 * 16);
  for (size_t n = 0; n < box.size(); ++n) box[n] = static_cast<float>(n % 5);
  EXPECT_FALSE(accessor->WriteData(0, 0, 0, 0, 14, 16, 16, box.data(), &status_));
  EXPECT_EQ(status_.tyqError(), Err::NotImplemented);
  EXPECT_EQ(store->BrickKind(0, 0, 0, 0), 2);  // level 0 is written and counted
  EXPECT_EQ(store->BrickKind(0, 0, 0, 1), 0);
  EXPECT_FALSE(accessor->Flush(false, true, &status_));
  EXPECT_EQ(store->flushes.load(), 1);  // what was written is stored all the same
  EXPECT_EQ(store->BrickKind(0, 0, 0, 1), 0);
}

// A writer released without Flush loses what it wrote: a trace line says so.
TEST_F(AccessorCoreTest, ReleaseWithoutFlushIsTraced) {
  using Qra::Ostrel::Tyq::Private::Environment;
  std::vector<float> brick(8 * 8 * 8, 1.0f);
  brick[3] = 2.0f;
  std::string traces[2];
  for (const bool flush : {false, true}) {
    auto accessor = makeAccessor();
    accessor->Attach(MemoryStoreShape());
    ASSERT_TRUE(accessor->WriteData(0, 0, 0, 0, 8, 8, 8, brick.data(), &status_));
    if (flush) {
      ASSERT_TRUE(accessor->Flush(false, false, &status_));
    }
    Qra::Ostrel::Tyq::Private::resetDebugLevelForTesting();
    Environment::putNumericEnv("OSTREL_TYQ_DEBUG", 1);
    testing::internal::CaptureStdout();
    accessor = FA::AutoRef<CoreAccessor>();
    traces[flush] = testing::internal::GetCapturedStdout();
    Environment::putStringEnv("OSTREL_TYQ_DEBUG", "");
    Qra::Ostrel::Tyq::Private::resetDebugLevelForTesting();
  }
  EXPECT_NE(traces[0].find("## Release without Flush or Finalize: 2 bricks and tiles"),
            std::string::npos)
      << traces[0];
  EXPECT_EQ(traces[1].find("Release without"), std::string::npos) << traces[1];
}

}  // namespace
}  // namespace tyq_test
