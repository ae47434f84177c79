// Which child samples land where, and independence of the memory layout.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>

#include "lod/lod_test_util.h"

namespace Qra::Ostrel::Tyq::Private::LodTest {
namespace {

int sampleId(int child, int i, int j, int k) {
  return child * 1000 + i * 100 + j * 10 + k;
}

// Uneven sizes catch any mix-up of the axes.
TEST(LodLayout, EachChildFillsItsOctantFromItsOwnCubes) {
  Level<int> level(4, 6, 8);
  level.fill(sampleId);
  for (int d : {0, 1}) {  // Decimate takes the corner, Maximum the far corner
    level.run(d == 0 ? Alg::Decimate : Alg::Maximum);
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 6; ++j) {
        for (int k = 0; k < 8; ++k) {
          const int child = 4 * (i / 2) + 2 * (j / 3) + k / 4;
          EXPECT_EQ(level.result(i, j, k),
                    sampleId(child, 2 * (i % 2) + d, 2 * (j % 3) + d, 2 * (k % 4) + d))
              << i << "," << j << "," << k;
        }
      }
    }
  }
}

// Maximum where x + y + z is even, counted from the start of each octant.
TEST(LodLayout, MinMaxAlternatesWithParity) {
  Level<float> level(4, 4, 4);
  level.fill([](int, int i, int j, int k) { return static_cast<float>(100 * i + 10 * j + k); });
  level.run(Alg::MinMax);
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      for (int k = 0; k < 4; ++k) {
        const int x = i % 2, y = j % 2, z = k % 2;
        const float corner = static_cast<float>(200 * x + 20 * y + 2 * z);
        EXPECT_EQ(level.result(i, j, k), (x + y + z) % 2 == 0 ? corner + 111 : corner);
      }
    }
  }
  // With one sample per octant every output sits at its octant's origin.
  std::array<Cube<float>, 8> cubes;
  cubes.fill({1, 2, 3, 4, 5, 6, 7, 8});
  for (float v : decimateEight(Alg::MinMax, cubes)) EXPECT_EQ(v, 8.0f);
}

// A small repetitive alphabet with NaNs and zeros, so that every rule has
// ties, gaps and fallbacks to take.
template <typename T>
T sampleValue(int child, int i, int j, int k) {
  const uint32_t h = static_cast<uint32_t>(sampleId(child, i, j, k)) * 2654435761u >> 24;
  if (std::numeric_limits<T>::has_quiet_NaN && h % 11 == 0) {
    return std::numeric_limits<T>::quiet_NaN();
  }
  return static_cast<T>(static_cast<int>(h % 7) - 2);
}

template <typename T>
class LodStrides : public ::testing::Test {};
using StrideTypes = ::testing::Types<float, short>;
TYPED_TEST_SUITE(LodStrides, StrideTypes);

TYPED_TEST(LodStrides, EveryLayoutGivesTheSameBrick) {
  using T = TypeParam;
  Hist hist;
  for (int b = 0; b < 64; ++b) hist.bins.push_back(b * b % 17);
  hist.min = -1;
  hist.max = 4;
  Level<T> reference(4, 6, 8);
  Level<T> iFastest(4, 6, 8, 1, 4, 24);
  Level<T> jFastest(4, 6, 8, 6, 1, 24);
  Level<T> padded(4, 6, 8, 71, 11, 1);
  Level<T>* layouts[] = {&reference, &iFastest, &jFastest, &padded};
  for (Level<T>* level : layouts) level->fill(sampleValue<T>);

  for (int alg = 0; alg <= 15; ++alg) {
    for (Level<T>* level : layouts) level->run(static_cast<Alg>(alg), hist);
    for (Level<T>* level : layouts) {
      for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 6; ++j) {
          for (int k = 0; k < 8; ++k) {
            const T want = reference.result(i, j, k);
            const T got = level->result(i, j, k);
            EXPECT_EQ(std::memcmp(&want, &got, sizeof(T)), 0)
                << "algorithm " << alg << " strides " << level->strides[0] << ","
                << level->strides[1] << " at " << i << "," << j << "," << k;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::LodTest
