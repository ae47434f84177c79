// Padding of partial bricks and dead traces before the transform, and the
// zombie check.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <random>
#include <vector>

#include "compressed/block_test_util.h"
#include "compressed/samples.h"
#include "compressed/subbands.h"

namespace B = Qra::Ostrel::Tyq::Private::Block;
namespace P = Qra::Ostrel::Tyq::Private;
using namespace tyq_test;

namespace {

// Every trace holds its own id in all samples, so copies are traceable.
std::vector<int16_t> tracedBrick() {
  std::vector<int16_t> v(kBrick);
  for (int k = 0; k < 64; ++k)
    for (int t = 0; t < 4096; ++t) v[t + 4096 * k] = static_cast<int16_t>(t + 1);
  return v;
}

int16_t at(const std::vector<int16_t>& v, int i0, int i1, int i2) {
  return v[i0 + 64 * i1 + 4096 * i2];
}
int16_t id(int i0, int i1) {
  return static_cast<int16_t>(i0 + 64 * i1 + 1);
}

}  // namespace

TEST(BlockFill, DeadTracesBorrowFromTheFirstLiveNeighbour) {
  std::vector<uint8_t> flags(4096, 1);
  flags[5 + 64 * 5] = 0;                          // left neighbour alive
  flags[20 + 64 * 20] = flags[19 + 64 * 20] = 0;  // left dead: take the right
  // Isolated in a dead 5 x 5 patch: nothing within reach.
  for (int j = 40; j < 45; ++j)
    for (int i = 40; i < 45; ++i) flags[i + 64 * j] = 0;
  B::TraceLayout l;
  l.flags = flags.data();
  l.allAlive = false;
  std::vector<int16_t> v = tracedBrick();
  B::fillMissing(v.data(), l, false);
  EXPECT_EQ(at(v, 5, 5, 7), id(4, 5));
  EXPECT_EQ(at(v, 20, 20, 7), id(21, 20));
  EXPECT_EQ(at(v, 19, 20, 7), id(18, 20));
  EXPECT_EQ(at(v, 42, 42, 7), 0);
  EXPECT_EQ(at(v, 40, 42, 7), id(39, 42));
  B::fillMissing(v.data(), l, true);
  EXPECT_EQ(at(v, 5, 5, 7), 0);
  EXPECT_EQ(at(v, 20, 20, 63), 0);
  EXPECT_EQ(at(v, 6, 5, 7), id(6, 5));
}

TEST(BlockFill, PartialBrickReplicatesTwoBeyondTheValidSize) {
  B::TraceLayout l;
  l.valid[0] = 10;
  l.valid[1] = 30;
  l.valid[2] = 50;
  std::vector<int16_t> v = tracedBrick();
  for (int k = 50; k < 64; ++k)
    for (int t = 0; t < 4096; ++t) v[t + 4096 * k] = 0;
  std::vector<int16_t> original = v;
  B::fillMissing(v.data(), l, false);
  EXPECT_EQ(at(v, 3, 3, 50), id(3, 3));  // planes 50, 51 repeat plane 49
  EXPECT_EQ(at(v, 3, 3, 51), id(3, 3));
  EXPECT_EQ(at(v, 3, 3, 52), 0);
  EXPECT_EQ(at(v, 11, 3, 5), id(9, 3));  // clamped to the valid area
  EXPECT_EQ(at(v, 11, 31, 5), id(9, 29));
  EXPECT_EQ(at(v, 12, 3, 5), id(12, 3));  // three beyond: untouched
  B::fillMissing(v.data(), l, true);
  EXPECT_EQ(at(v, 3, 3, 50), 0);
  EXPECT_EQ(at(v, 11, 3, 5), 0);
  EXPECT_EQ(at(v, 9, 29, 49), original[9 + 64 * 29 + 4096 * 49]);
}

TEST(BlockFill, NoValidSamplesZeroTheBrick) {
  B::TraceLayout l;
  l.valid[1] = 0;
  std::vector<int16_t> v = tracedBrick();
  B::fillMissing(v.data(), l, false);
  EXPECT_TRUE(std::all_of(v.begin(), v.end(), [](int16_t s) { return s == 0; }));
}

TEST(BlockFill, ZombieCheckSeesSilentTraceEnds) {
  B::TraceLayout l;
  std::vector<float> v(kBrick, 1.0f);
  EXPECT_FALSE(B::hasZombies(v.data(), l));
  // 8 of 64 samples of every trace silent: 12 % outside the spans.
  for (int t = 0; t < 4096; ++t)
    for (int k = 0; k < 8; ++k) v[t + 4096 * k] = 0;
  EXPECT_TRUE(B::hasZombies(v.data(), l));
  // Only 4 silent samples (6 %): none.
  for (int t = 0; t < 4096; ++t)
    for (int k = 0; k < 4; ++k) v[t + 4096 * k] = 1;
  EXPECT_FALSE(B::hasZombies(v.data(), l));
  // A single silent trace counts; an entirely silent brick does not.
  for (int k = 0; k < 64; ++k) v[7 + 4096 * k] = 0;
  EXPECT_TRUE(B::hasZombies(v.data(), l));
  std::fill(v.begin(), v.end(), 0.0f);
  EXPECT_FALSE(B::hasZombies(v.data(), l));
}

TEST(BlockFill, ZombieGuardKeepsSilentEndsSilent) {
  std::vector<float> in = seismicBrick(12);
  for (int t = 0; t < 4096; ++t)
    for (int k = 40; k < 64; ++k) in[t + 4096 * k] = 0;
  P::Compressor3d c;
  auto coded = [&](bool guard) {
    c.SetZombieGuard(guard);
    EXPECT_EQ(c.GetZombieGuard(), guard);
    std::vector<float> work = in;
    P::CompressedBlock3d block;
    EXPECT_TRUE(encodeBrick(c, block, work, {15.0f, true}));
    return block;
  };
  P::CompressedBlock3d loose = coded(false), guarded = coded(true);
  EXPECT_GT(guarded.GetCompressionSQNR(), loose.GetCompressionSQNR() + 20);
  const auto out = decodeBrick<float>(c, guarded);
  double tail = 0;
  for (int t = 0; t < 4096; ++t)
    for (int k = 44; k < 64; ++k) tail = std::max(tail, std::fabs(double(out[t + 4096 * k])));
  EXPECT_LT(tail, 0.05);
}

namespace {

TEST(BlockFill, FloatOutputIsTheRoundedProductWhateverTheFactor) {
  // 11 values: the vector loop and its tail; extreme coefficients.
  const std::vector<int32_t> coef = {0, 1, -1, 3, INT32_MAX, INT32_MIN, 123456, -654321, 7, -9, 42};
  for (const double factor : {1.0 / 3.0, 1e-7, 7.3e28, 1e36, -2.5e30, 0.0}) {
    B::OutputMap map;
    map.factor = factor;
    std::vector<float> out(coef.size());
    B::writeOutput(coef.data(), static_cast<int>(coef.size()), map, out.data());
    for (size_t i = 0; i < coef.size(); ++i) {
      const double r = coef[i] * factor;
      const double limit = std::numeric_limits<float>::max();
      const float want = static_cast<float>(r > limit ? limit : r < -limit ? -limit : r);
      EXPECT_EQ(out[i], want) << factor << " " << coef[i];
    }
  }
}

}  // namespace

namespace {

TEST(BlockFill, FloatCodesRoundHalfAwayAndSkipMarkers) {
  std::vector<float> s(B::kSamples);
  std::mt19937 rng(4);
  std::uniform_real_distribution<float> d(-3.0f, 3.0f);
  for (float& v : s) v = d(rng);
  const float special[] = {0.0f,
                           -0.0f,
                           std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::infinity(),
                           -std::numeric_limits<float>::infinity(),
                           std::numeric_limits<float>::max(),
                           -5.0f,
                           std::numeric_limits<float>::denorm_min(),
                           2.5f / 131071.0f * 5.0f,
                           -2.5f / 131071.0f * 5.0f};
  for (size_t i = 0; i < std::size(special); ++i) s[1000 + 3 * i] = special[i];
  std::vector<int32_t> coef(B::kSamples);
  const double gain = B::toCoefficients(s.data(), coef.data());
  // The largest magnitude that is no marker is the -5.
  EXPECT_DOUBLE_EQ(gain, 5.0 / 131071.0);
  const double scale = 131071.0 / 5.0;
  for (int i = 0; i < B::kSamples; ++i) {
    const float v = s[i];
    const bool marker = !std::isfinite(v) || v == std::numeric_limits<float>::max();
    const double r = v * scale;
    const int32_t want = marker ? 0 : static_cast<int32_t>(r <= 0 ? r - 0.5 : r + 0.5);
    ASSERT_EQ(coef[i], want) << i << " " << v;
  }
}

}  // namespace
