// The pyramid built from the bricks a writer holds in memory, and written a
// level at a time in large writes, is the pyramid built by reading every
// child back and writing every brick on its own: the files agree byte for
// byte, random identifiers aside.
#include "access/held_bricks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "support/fault_injection.h"
#include "support/temp_dir.h"
#include "tyq/environment.h"
#include "tyq/tyq.h"

namespace Qra::Ostrel::Tyq::Private::Access {
namespace {

namespace FA = FileAccess;

// Restores the limit and the brick size whatever a test does.
struct Restore {
  ~Restore() {
    HeldBricks::SetLimitForNewWriters(HeldBricks::kDefaultLimit);
    Environment::putStringEnv("OSTREL_TYQ_BRICK_SIZE", "");
  }
};

struct Case {
  FA::DataTypeEnum::value_type type;
  int size[3];
  bool autoGenerate;
  size_t limit;  // what the writer may hold while the pyramid is built
};

std::vector<float> Values(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<float> noise(0.0f, 40.0f);
  std::vector<float> v(n);
  for (size_t s = 0; s < n; ++s) {
    v[s] = std::round(noise(rng)) / 4.0f;
    if (rng() % 97 == 0) v[s] = 0.0f;
  }
  return v;
}

// A box of the volume, written in the default (k fastest) order.
bool WriteBox(FA::Writer& w, const int start[3], const int size[3], uint32_t seed) {
  const std::vector<float> box = Values(size_t(size[0]) * size[1] * size[2], seed);
  return w.WriteData(0, start[0], start[1], start[2], size[0], size[1], size[2], box.data(),
                     nullptr);
}

// Writes the whole volume, then overwrites a box that straddles bricks, with
// a flush that builds the pyramid between them; the last brick column stays
// absent until the overwrite, so parents complete late.
std::vector<char> Build(const std::string& name, const Case& c) {
  HeldBricks::SetLimitForNewWriters(c.limit);
  Environment::putNumericEnv("OSTREL_TYQ_BRICK_SIZE", 16);
  FA::DataInfo info;
  info.SetExtent(0, 1, c.size[0], 0, 1, c.size[1], 0, 4, c.size[2], false);
  FA::TyqOptions options;
  options.noAutoFlush = !c.autoGenerate;
  // The files are compared byte for byte: with more threads new bricks are
  // placed in the order they finish.
  options.threads = 1;
  FA::AutoRef<FA::Writer> w;
  EXPECT_EQ(FA::Tyq::CreateTyqWriter(w, name, info, c.type, options, nullptr, -50, 50), 0);
  Environment::putStringEnv("OSTREL_TYQ_BRICK_SIZE", "");
  if (!w) return {};
  const int whole[3] = {0, 0, 0};
  const int most[3] = {c.size[0], c.size[1] - 16, c.size[2]};
  EXPECT_TRUE(WriteBox(*w, whole, most, 1));
  EXPECT_TRUE(w->Flush(false, true, nullptr));
  const int at[3] = {5, 7, 9};
  const int box[3] = {c.size[0] - 5, c.size[1] - 7, c.size[2] - 20};
  EXPECT_TRUE(WriteBox(*w, at, box, 2));
  EXPECT_TRUE(w->Finalize(false, true, nullptr));
  w = FA::AutoRef<FA::Writer>();
  std::ifstream in(name, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(HeldBricksTest, PyramidFromHeldBricksIsThePyramidReadBack) {
  Restore restore;
  tyq_test::TempDir dir;
  const size_t brick16 = 16 * 16 * 16 * 4;
  const Case cases[] = {
      {FA::DataTypeEnum::Float32, {100, 90, 70}, true, HeldBricks::kDefaultLimit},
      {FA::DataTypeEnum::Float32, {100, 90, 70}, false, HeldBricks::kDefaultLimit},
      {FA::DataTypeEnum::Int16, {70, 100, 90}, true, HeldBricks::kDefaultLimit},
      {FA::DataTypeEnum::Int8, {64, 64, 64}, true, 20 * brick16},  // most bricks not held
  };
  for (const Case& c : cases) {
    Case plain = c;
    plain.limit = 0;
    const std::vector<char> reference = Build(dir.file("reference.vbs"), plain);
    const std::vector<char> held = Build(dir.file("held.vbs"), c);
    ASSERT_EQ(held.size(), reference.size()) << "type " << int(c.type);
    ASSERT_GT(held.size(), 100000u);
    // Only the file's random data identifiers may differ.
    int differing = 0;
    for (size_t n = 0; n < held.size(); ++n) differing += held[n] != reference[n];
    EXPECT_LE(differing, 32) << "type " << int(c.type) << (c.autoGenerate ? " auto" : "");
  }
}

// Reads and writes of building a 128^3 volume of 16^3 bricks (512 of them,
// 73 above level 0): the whole write and flush with automatic generation,
// else the flush alone.
tyq_test::FaultState Transfers(const std::string& name, size_t limit, bool autoGenerate) {
  HeldBricks::SetLimitForNewWriters(limit);
  auto state = std::make_shared<tyq_test::FaultState>();
  FA::FileFactory::setInstanceGiveOwnership(new tyq_test::FaultInjectionFactory(state));
  Environment::putNumericEnv("OSTREL_TYQ_BRICK_SIZE", 16);
  FA::DataInfo info;
  info.SetExtent(0, 1, 128, 0, 1, 128, 0, 4, 128, false);
  FA::TyqOptions options;
  options.noAutoFlush = !autoGenerate;
  FA::AutoRef<FA::Writer> w;
  EXPECT_EQ(
      FA::Tyq::CreateTyqWriter(w, name, info, FA::DataTypeEnum::Float32, options, nullptr, 0, 0),
      0);
  Environment::putStringEnv("OSTREL_TYQ_BRICK_SIZE", "");
  tyq_test::FaultState counted;
  if (w) {
    const int whole[3] = {0, 0, 0}, size[3] = {128, 128, 128};
    const tyq_test::FaultState start = *state;
    EXPECT_TRUE(WriteBox(*w, whole, size, 3));
    const tyq_test::FaultState before = autoGenerate ? start : *state;
    EXPECT_TRUE(w->Flush(false, true, nullptr));
    counted.reads = state->reads - before.reads;
    counted.writes = state->writes - before.writes;
    counted.bytesWritten = state->bytesWritten - before.bytesWritten;
  }
  w = FA::AutoRef<FA::Writer>();
  delete FA::FileFactory::getInstanceTakeOwnership();
  return counted;
}

TEST(HeldBricksTest, ChildrenAreNotReadBackAndAFlushWritesEachLevelAtOnce) {
  Restore restore;
  tyq_test::TempDir dir;
  const size_t held = HeldBricks::kDefaultLimit;
  // Built as bricks complete: no child is read back (flag tiles are read
  // and written as before, a few hundred bytes each).
  const tyq_test::FaultState plainAuto = Transfers(dir.file("a.vbs"), 0, true);
  const tyq_test::FaultState heldAuto = Transfers(dir.file("b.vbs"), held, true);
  EXPECT_EQ(plainAuto.reads - heldAuto.reads, 512 + 64 + 8);
  EXPECT_EQ(heldAuto.bytesWritten, plainAuto.bytesWritten);
  // Built by the flush: each level read back once, and written in one go.
  const tyq_test::FaultState plainFlush = Transfers(dir.file("c.vbs"), 0, false);
  const tyq_test::FaultState heldFlush = Transfers(dir.file("d.vbs"), held, false);
  EXPECT_EQ(plainFlush.reads - heldFlush.reads, 64 + 8);  // levels 1 and 2 held once built
  EXPECT_EQ(plainFlush.writes - heldFlush.writes, 73 - 3);
  EXPECT_EQ(heldFlush.bytesWritten, plainFlush.bytesWritten);
}

TEST(HeldBricksTest, KeepsWithinItsLimitAndLendsWhatItHolds) {
  Restore restore;
  HeldBricks::SetLimitForNewWriters(3 * 64);
  HeldBricks held;
  held.Reset(64);
  std::vector<unsigned char> a(64, 1), b(64, 2);
  held.Keep(0, 0, 0, 0, a.data());
  held.Keep(0, 0, 0, 1, a.data());
  held.Keep(0, 0, 0, 2, a.data());
  held.Keep(0, 0, 0, 3, a.data());  // over the limit: not kept
  EXPECT_EQ(held.HeldBytes(), 3u * 64);
  EXPECT_EQ(held.Find(0, 0, 0, 3), nullptr);
  const auto lent = held.Find(0, 0, 0, 1);
  ASSERT_NE(lent, nullptr);
  held.Keep(0, 0, 0, 1, b.data());  // replaced: the lent copy stays as it was
  held.Forget(0, 0, 0, 0);
  held.Keep(1, 0, 0, 0, b.data());  // may reuse the forgotten buffer, never the lent one
  EXPECT_EQ(lent->bytes()[0], 1);
  EXPECT_EQ(held.Find(0, 0, 0, 1)->bytes()[63], 2);
  EXPECT_EQ(held.Find(1, 0, 0, 0)->bytes()[0], 2);
  held.Reset(0);
  held.Keep(0, 0, 0, 0, a.data());
  EXPECT_EQ(held.HeldBytes(), 0u);
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::Access
