// The level-of-detail driver over an in-memory store.
#include <gtest/gtest.h>

#include <vector>

#include "access/lod_driver.h"
#include "access/memory_store.h"
#include "tyq/lod.h"

namespace tyq_test {
namespace {

namespace Lod = Qra::Ostrel::Tyq::Private::Lod;
using Qra::Ostrel::Tyq::Private::Func;

class StoreSource : public Lod::BrickSource {
 public:
  explicit StoreSource(MemoryStore& store) : store_(store) {}
  int GetBrick(int i, int j, int k, int lod, void* buffer, Status* status) override {
    Func func("Test::GetBrick", status);
    store_.GetBrick(i, j, k, lod, buffer, func.statusP());
    return func.tyqError();
  }

 private:
  MemoryStore& store_;
};

MemoryStoreShape cube16(bool marks) {
  MemoryStoreShape shape;
  shape.size[0] = shape.size[1] = shape.size[2] = 16;
  shape.dirtyMarks = marks;
  return shape;
}

bool generate(MemoryStore& store, int force) {
  Lod::LodSettings settings;
  settings.algorithm[0] = settings.algorithm[1] = settings.algorithm[2] =
      Qra::Ostrel::Tyq::Private::vvArrayBasic::Decimate;
  const int strides[3] = {64, 8, 1};
  StoreSource source(store);
  Lod::LodGenerator generator(store, settings, Lod::HistogramView(), strides);
  Status status;
  return generator.GenerateLODs(-1, force, nullptr, nullptr, source, &status);
}

TEST(LodDriverOnAStore, ZeroChildrenGiveAConstantParentAndDecimationKeepsEvenSamples) {
  MemoryStore store(cube16(true));
  const float zero = 0.0f;
  ASSERT_TRUE(store.SetBrickAllConst(0, 0, 0, 0, &zero, nullptr));
  ASSERT_TRUE(generate(store, Lod::kDirty));
  EXPECT_EQ(store.BrickKind(0, 0, 0, 1), 1);

  std::vector<float> brick(512);
  for (size_t n = 0; n < brick.size(); ++n) brick[n] = static_cast<float>(n);
  ASSERT_TRUE(store.SetBrick(0, 0, 0, 0, brick.data(), nullptr));
  ASSERT_TRUE(generate(store, Lod::kDirty));
  const std::vector<float> parent = store.BrickFloats(0, 0, 0, 1);
  EXPECT_EQ(store.BrickKind(0, 0, 0, 1), 2);
  EXPECT_EQ(parent[0], 0.0f);
  EXPECT_EQ(parent[1], 2.0f);   // sample (0, 0, 2) of the child
  EXPECT_EQ(parent[8], 16.0f);  // sample (0, 2, 0)
  EXPECT_FALSE(store.GetDirtyMarks()->bricks.AnyDirty(0));
}

TEST(LodDriverOnAStore, FlagTilesOfTheParentMarkAnyLiveChildTrace) {
  MemoryStore store(cube16(true));
  std::vector<uint8_t> tile(64, 0);
  tile[9] = 1;  // trace (1, 1) of tile (1, 0)
  ASSERT_TRUE(store.SetGridFlagsTile(1, 0, 0, tile.data(), nullptr));
  ASSERT_TRUE(generate(store, Lod::kDirty));
  std::vector<uint8_t> parent(64, 9);
  ASSERT_TRUE(store.GetGridFlagsTile(0, 0, 1, parent.data(), nullptr, nullptr));
  for (int n = 0; n < 64; ++n) EXPECT_EQ(parent[n], n == 32 ? 1 : 0) << n;
}

TEST(LodDriverOnAStore, AStoreWithoutMarksIsLeftAlone) {
  MemoryStore store(cube16(false));
  std::vector<float> brick(512, 1.0f);
  ASSERT_TRUE(store.SetBrick(0, 0, 0, 0, brick.data(), nullptr));
  ASSERT_TRUE(generate(store, Lod::kEverything));
  EXPECT_EQ(store.BrickKind(0, 0, 0, 1), 0);
  EXPECT_EQ(store.stored.load(), 1);
}

}  // namespace
}  // namespace tyq_test
