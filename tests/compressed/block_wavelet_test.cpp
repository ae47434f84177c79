// The brick wavelet: exact inversion and where each kind of content lands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "compressed/subbands.h"
#include "compressed/wavelet.h"

namespace B = Qra::Ostrel::Tyq::Private::Block;

namespace {

std::vector<int32_t> randomBrick(uint32_t seed, int32_t lo, int32_t hi) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int32_t> d(lo, hi);
  std::vector<int32_t> v(B::kSamples);
  for (auto& x : v) x = d(rng);
  return v;
}

int32_t largestIn(const std::vector<int32_t>& c, int s) {
  const B::Subband& b = B::kBands[s];
  int32_t m = 0;
  for (int i = 0; i < b.size(); ++i) m = std::max(m, std::abs(c[b.offset + i]));
  return m;
}

}  // namespace

TEST(BlockWavelet, SubbandsTileTheBrick) {
  int32_t next = 0;
  for (const B::Subband& b : B::kBands) {
    EXPECT_EQ(b.offset, next);
    EXPECT_EQ(b.n1 % 4, 0);
    next += b.size();
  }
  EXPECT_EQ(next, B::kSamples);
}

TEST(BlockWavelet, InverseUndoesForwardExactly) {
  std::vector<int32_t> tmp(B::kSamples);
  // Sample-sized values, and values whose lifting terms overflow and wrap.
  for (auto range : {std::pair{-131071, 131071}, std::pair{INT32_MIN, INT32_MAX}}) {
    const std::vector<int32_t> in = randomBrick(7, range.first, range.second);
    std::vector<int32_t> c = in;
    B::forwardTransform(c.data(), tmp.data());
    EXPECT_NE(c, in);
    B::inverseTransform(c.data(), tmp.data(), B::Resolution::Full);
    EXPECT_EQ(c, in);
  }
}

TEST(BlockWavelet, SingleAxisStepsInvert) {
  const std::vector<int32_t> in = randomBrick(3, -50000, 50000);
  for (int axis = 0; axis < 3; ++axis) {
    std::vector<int32_t> c(in.begin(), in.begin() + 16 * 8 * 32);
    const std::vector<int32_t> orig = c;
    B::liftAxis(c.data(), 16, 8, 32, axis, false);
    B::liftAxis(c.data(), 16, 8, 32, axis, true);
    EXPECT_EQ(c, orig) << axis;
  }
}

TEST(BlockWavelet, RowEndsMirrorWithoutRepeatingTheEnd) {
  // A row of 4 worked through the four lifting steps with whole-sample
  // mirroring (x[4] = x[2], x[-1] = x[1]) and floor shifts:
  // odd -= ...203:  (10, -42, 30, -54); even -= ...217: (15, -42, 36, -54);
  // odd += ...113:  (15, 3, 36, 10);    even += ...1817: (18, 3, 42, 10).
  int32_t x[4] = {10, 20, 30, 40};
  B::liftAxis(x, 4, 1, 1, 0, false);
  EXPECT_EQ(x[0], 18);
  EXPECT_EQ(x[1], 3);
  EXPECT_EQ(x[2], 42);
  EXPECT_EQ(x[3], 10);
}

// The four steps on one line of n values, one value at a time in wrapping
// arithmetic: what the vectorised paths must reproduce for every length.
void referenceLift(int32_t* x, int n, ptrdiff_t stride) {
  auto at = [&](int k) -> uint32_t& { return reinterpret_cast<uint32_t*>(x)[k * stride]; };
  auto step = [&](int first, uint32_t mul, uint32_t add, int shift, bool subtract) {
    for (int k = first; k < n; k += 2) {
      const uint32_t a = at(k > 0 ? k - 1 : k + 1), b = at(k + 1 < n ? k + 1 : k - 1);
      const uint32_t t = static_cast<uint32_t>(static_cast<int32_t>((a + b) * mul + add) >> shift);
      at(k) = subtract ? at(k) - t : at(k) + t;
    }
  };
  step(1, 203, uint32_t(-64), 7, true);
  step(0, 217, uint32_t(-2048), 12, true);
  step(1, 113, 64, 7, false);
  step(0, 1817, 2048, 12, false);
}

TEST(BlockWavelet, StepsMatchTheOneValueAtATimeLifting) {
  // Extreme values included, so that wrapping and the arithmetic shift count.
  std::vector<int32_t> in = randomBrick(5, INT32_MIN, INT32_MAX);
  const std::vector<int32_t> mild = randomBrick(6, -70000, 70000);
  std::copy(mild.begin(), mild.begin() + B::kSamples / 2, in.begin());
  for (const int n0 : {4, 16, 24, 32, 48, 64}) {
    const int n1 = 8, n2 = 12;
    for (int axis = 0; axis < 3; ++axis) {
      std::vector<int32_t> got(in.begin(), in.begin() + n0 * n1 * n2);
      std::vector<int32_t> want = got;
      B::liftAxis(got.data(), n0, n1, n2, axis, false);
      const int n[3] = {n0, n1, n2};
      const ptrdiff_t stride[3] = {1, n0, static_cast<ptrdiff_t>(n0) * n1};
      for (int i = 0; i < n0 * n1 * n2; ++i) {
        if ((i / stride[axis]) % n[axis] == 0)
          referenceLift(want.data() + i, n[axis], stride[axis]);
      }
      EXPECT_EQ(got, want) << n0 << " axis " << axis;
    }
  }
}

TEST(BlockWavelet, ConstantBrickGathersInTheFirstSubband) {
  std::vector<int32_t> c(B::kSamples, 1000), tmp(B::kSamples);
  B::forwardTransform(c.data(), tmp.data());
  EXPECT_GT(largestIn(c, 0), 4000);
  for (int s = 1; s < B::kSubbands; ++s) EXPECT_LE(largestIn(c, s), 16) << s;
}

TEST(BlockWavelet, AlternationAlongOneAxisLandsInItsHighBand) {
  // Level-1 bands: axis 0 high -> subband 18, axis 1 high -> 19, axis 2
  // high -> subbands 14..17 (of which the low-low one carries it).
  const int expected[3] = {18, 19, 14};
  std::vector<int32_t> tmp(B::kSamples);
  for (int axis = 0; axis < 3; ++axis) {
    std::vector<int32_t> c(B::kSamples);
    for (int i = 0; i < B::kSamples; ++i) {
      const int pos = axis == 0 ? i % 64 : axis == 1 ? (i / 64) % 64 : i / 4096;
      c[i] = pos % 2 ? -1000 : 1000;
    }
    B::forwardTransform(c.data(), tmp.data());
    for (int s = 0; s < B::kSubbands; ++s) {
      if (s == expected[axis])
        EXPECT_GT(largestIn(c, s), 2000) << axis;
      else
        EXPECT_LT(largestIn(c, s), 200) << axis << " " << s;
    }
  }
}

TEST(BlockWavelet, PartialInversesLeaveTheLowBands) {
  std::vector<int32_t> c(B::kSamples, 1000), tmp(B::kSamples);
  B::forwardTransform(c.data(), tmp.data());
  std::vector<int32_t> half = c, quarter = c;
  B::inverseTransform(half.data(), tmp.data(), B::Resolution::Half);
  B::inverseTransform(quarter.data(), tmp.data(), B::Resolution::Quarter);
  // Low-pass gain about 1.23 per axis and level.
  EXPECT_NEAR(half[32768 / 2] * 0.5371558, 1000, 10);
  EXPECT_NEAR(quarter[4096 / 2] * 0.28853634, 1000, 10);
}

namespace {

// Takes the planes of the full inverse, and the order they come in.
struct CollectPlanes final : B::PlaneSink {
  std::vector<int32_t> brick = std::vector<int32_t>(B::kSamples, 0);
  std::vector<int> order;
  void take(int i2, int32_t* plane) override {
    std::memcpy(brick.data() + 4096 * i2, plane, 4096 * sizeof(int32_t));
    order.push_back(i2);
  }
};

TEST(BlockWavelet, KeptFinestInverseEqualsMaskingFirst) {
  std::vector<int32_t> sm = randomBrick(7, INT32_MIN, INT32_MAX);
  uint32_t keep[6];
  for (int k = 0; k < 6; ++k) keep[k] = 0xFFFFFFFFu << (3 * k + 1);
  // The coarser subbands as two's complement, the finest still sign-magnitude.
  std::vector<int32_t> got = randomBrick(8, -100000, 100000);
  std::vector<int32_t> want = got;
  const int first = B::kBands[B::kSubbands - 6].offset;
  for (int i = first; i < B::kSamples; ++i) {
    const uint32_t u = static_cast<uint32_t>(sm[i]);
    const uint32_t mag = u & keep[(i - first) / 32768] & 0x7FFFFFFFu;
    want[i] = static_cast<int32_t>((u >> 31) ? 0u - mag : mag);
  }
  std::vector<int32_t> tmp(B::kSamples);
  B::inverseTransform(want.data(), tmp.data(), B::Resolution::Full);
  CollectPlanes sink;
  B::inverseTransformKeptFinest(got.data(), sm.data() + first, keep, tmp.data(), sink);
  EXPECT_EQ(sink.brick, want);
}

// Band of the finest level by the parities of (axis 2, axis 1, axis 0).
constexpr int kFinestBand[2][2][2] = {{{0, 2}, {3, 6}}, {{1, 4}, {5, 7}}};

// The finest inverse level the plain way: the eight bands interleaved into
// the whole brick, then each axis lifted over all of it.
std::vector<int32_t> plainFinestInverse(const std::vector<int32_t>& bands) {
  std::vector<int32_t> full(B::kSamples);
  for (int i2 = 0; i2 < 64; ++i2)
    for (int i1 = 0; i1 < 64; ++i1)
      for (int i0 = 0; i0 < 64; ++i0) {
        const int band = kFinestBand[i2 % 2][i1 % 2][i0 % 2];
        const int at = (i2 / 2) * 1024 + (i1 / 2) * 32 + i0 / 2;
        full[i0 + 64 * i1 + 4096 * i2] = bands[32768 * band + at];
      }
  for (const int axis : {2, 1, 0}) B::liftAxis(full.data(), 64, 64, 64, axis, true);
  return full;
}

TEST(BlockWavelet, PiecewiseFinestInverseEqualsTheWholeBrickOne) {
  // Extreme values as well, so that wrapping arithmetic counts.
  for (const auto& [lo, hi] : {std::pair{-300000, 300000}, std::pair{INT32_MIN, INT32_MAX}}) {
    // -2^31 has no sign-magnitude form.
    const std::vector<int32_t> coef = randomBrick(11, std::max(lo, INT32_MIN + 1), hi);
    std::vector<int32_t> tmp(B::kSamples);
    // The coarser levels the usual way: they leave the two lowest finest
    // bands in the first 65536 values.
    std::vector<int32_t> bands = coef;
    B::inverseTransform(bands.data(), tmp.data(), B::Resolution::Half);
    const std::vector<int32_t> want = plainFinestInverse(bands);

    std::vector<int32_t> got = coef;
    B::inverseTransform(got.data(), tmp.data(), B::Resolution::Full);
    EXPECT_EQ(got, want);

    // Handed out plane by plane, axis 2 ascending.
    std::vector<int32_t> work = coef;
    const uint32_t keepAll[6] = {~0u, ~0u, ~0u, ~0u, ~0u, ~0u};
    std::vector<int32_t> signMagnitude(coef.begin() + 65536, coef.end());
    for (auto& v : signMagnitude) {
      const uint32_t u = static_cast<uint32_t>(v);
      const uint32_t mag = (u >> 31) ? 0u - u : u;
      v = static_cast<int32_t>(mag | (u & 0x80000000u));
    }
    CollectPlanes sink;
    B::inverseTransformKeptFinest(work.data(), signMagnitude.data(), keepAll, tmp.data(), sink);
    EXPECT_EQ(sink.brick, want);
    ASSERT_EQ(sink.order.size(), 64u);
    for (int k = 0; k < 64; ++k) EXPECT_EQ(sink.order[k], k);
  }
}

}  // namespace
