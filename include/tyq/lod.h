#pragma once

#include <cstdint>

#include "tyq/export.h"

namespace Qra::Ostrel::Tyq::Private {

// Decimation of one level-of-detail brick from the 2 x 2 x 2 bricks of the
// level below it (its children).
class TYQ_EXPORT vvArrayBasic {
 public:
  // The numbers are stored in options and environment settings and never
  // change. Any other number decimates like DecimateRandom.
  enum LodAlgorithm : int32_t {
    LowPass = 0,
    WeightedAverage = 1,
    Average = 2,
    Median = 3,
    Minimum = 4,
    Maximum = 5,
    MinMax = 6,
    Decimate = 7,
    DecimateSkipNaN = 8,
    DecimateRandom = 9,
    AllZero = 10,
    WhiteNoise = 11,
    MostFrequent = 12,
    MostFrequentNon0 = 13,
    AverageNon0 = 14,
  };

  // Name used in trace output; "Unknown" outside 0..14.
  static const char* lodAlgorithmName(LodAlgorithm algorithm);

  // Fills the brick dst of size brickSize[0..2] (each even) from the eight
  // children sources[4a + 2b + c], child (a, b, c) covering the octant that
  // starts at (a, b, c) * brickSize / 2. Each output sample summarises the
  // 2 x 2 x 2 cube of its child below it; LowPass filters along k instead.
  // strides are the element strides of dst and of every child alike. The
  // histogram (bins, binCount, histMin, histMax) is used by WeightedAverage
  // only and may be empty. Null pointers, odd or non-positive sizes leave dst
  // untouched. Instantiated for char, signed char, unsigned char, short,
  // unsigned short, int, unsigned int and float.
  template <typename T>
  static void createLevelOfDetail(T* dst, const int* brickSize, const int* strides,
                                  const T** sources, LodAlgorithm algorithm, const long long* bins,
                                  int binCount, double histMin, double histMax);
};

}  // namespace Qra::Ostrel::Tyq::Private
