// The most frequent value of each 2 x 2 x 2 cube, for classified data such as
// facies codes where averaging would invent classes that do not exist.
#include "lod/lod_kernel.h"

namespace Qra::Ostrel::Tyq::Private::Lod {
namespace {

// Each position counts the later positions holding its value, so the first
// occurrence of a value carries its full count and ties go to the value seen
// first. Non-finite values (-2) lose to everything, zeros (-1) to every other
// finite value when they are skipped.
template <typename T, bool kSkipZero>
T mostFrequentOf(const T (&v)[8]) {
  bool allEqual = true;
  for (int i = 1; i < 8; ++i) allEqual &= v[i] == v[0];
  if (allEqual) return v[0];

  int best = 0;
  int bestCount = -3;
  for (int p = 0; p < 8; ++p) {
    int count = 0;
    if (!isFinite(v[p])) {
      count = -2;
    } else if (kSkipZero && v[p] == T(0)) {
      count = -1;
    } else {
      for (int q = p + 1; q < 8; ++q) count += v[q] == v[p];
    }
    if (count > bestCount) {
      best = p;
      bestCount = count;
    }
  }
  return v[best];
}

}  // namespace

template <typename T>
void mostFrequent(T* dst, const Shape& shape, const T* const* src, bool skipZero) {
  if (skipZero) {
    decimateCubes(dst, shape, src, [](const T(&v)[8]) { return mostFrequentOf<T, true>(v); });
  } else {
    decimateCubes(dst, shape, src, [](const T(&v)[8]) { return mostFrequentOf<T, false>(v); });
  }
}

#define TYQ_LOD_FREQUENT(T) template void mostFrequent<T>(T*, const Shape&, const T* const*, bool);
TYQ_LOD_INSTANTIATE(TYQ_LOD_FREQUENT)
#undef TYQ_LOD_FREQUENT

}  // namespace Qra::Ostrel::Tyq::Private::Lod
