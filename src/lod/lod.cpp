// Entry point of the decimation kernel: checks the arguments and hands the
// brick to the algorithm family.
#include "tyq/lod.h"

#include "lod/lod_kernel.h"

namespace Qra::Ostrel::Tyq::Private {

const char* vvArrayBasic::lodAlgorithmName(LodAlgorithm algorithm) {
  static const char* const kNames[] = {
      "LowPass", "WeightedAverage", "Average",      "Median",           "Minimum",
      "Maximum", "MinMax",          "Decimate",     "DecimateSkipNaN",  "DecimateRandom",
      "AllZero", "WhiteNoise",      "MostFrequent", "MostFrequentNon0", "AverageNon0"};
  const int n = static_cast<int>(sizeof kNames / sizeof kNames[0]);
  return algorithm >= 0 && algorithm < n ? kNames[algorithm] : "Unknown";
}

template <typename T>
void vvArrayBasic::createLevelOfDetail(T* dst, const int* brickSize, const int* strides,
                                       const T** sources, LodAlgorithm algorithm,
                                       const long long* bins, int binCount, double histMin,
                                       double histMax) {
  if (!dst || !brickSize || !strides || !sources) return;
  for (int c = 0; c < 8; ++c) {
    if (!sources[c]) return;
  }
  Lod::Shape shape{};
  for (int d = 0; d < 3; ++d) {
    if (brickSize[d] <= 0 || brickSize[d] % 2 != 0) return;
    shape.half[d] = brickSize[d] / 2;
    shape.stride[d] = strides[d];
  }
  switch (algorithm) {
    case LowPass:
      return Lod::lowPass(dst, shape, sources);
    case WeightedAverage:
      return Lod::weightedAverage(dst, shape, sources,
                                  Lod::Histogram{bins, binCount, histMin, histMax});
    case MostFrequent:
      return Lod::mostFrequent(dst, shape, sources, false);
    case MostFrequentNon0:
      return Lod::mostFrequent(dst, shape, sources, true);
    default:
      return Lod::cubeAlgorithm(dst, shape, sources, algorithm);
  }
}

#define TYQ_LOD_ENTRY(T)                              \
  template void vvArrayBasic::createLevelOfDetail<T>( \
      T*, const int*, const int*, const T**, LodAlgorithm, const long long*, int, double, double);
TYQ_LOD_INSTANTIATE(TYQ_LOD_ENTRY)
#undef TYQ_LOD_ENTRY

}  // namespace Qra::Ostrel::Tyq::Private
