#include <algorithm>
#include <cmath>

#include "bricked/format.h"
#include "core/endian.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {

namespace E = FileAccess;

namespace {

constexpr int kBins = E::Histogram::kBins;

struct Range {
  float min;
  float max;
};

// Counts as unsigned; a negative count is no count at all.
void nonNegativeCounts(const E::Histogram& hist, uint64_t out[kBins]) {
  for (int k = 0; k < kBins; ++k)
    out[k] = hist.bins[k] > 0 ? static_cast<uint64_t>(hist.bins[k]) : 0;
}

// Right shifts that bring the largest count into 32 bits.
int shiftFor(const uint64_t counts[kBins]) {
  const uint64_t largest = *std::max_element(counts, counts + kBins);
  int s = 0;
  while ((largest >> s) > UINT32_MAX) ++s;
  return s;
}

// The histogram's bins that written bin j of `range` covers, weighted by
// how much of each it covers. Histogram bin k spans [k, k + 1) in units of
// (value - hmin) / (hmax - hmin) * 255. The span [p0, p1] is clipped to the
// histogram's 256 bins: unclipped, a bin straddling either end would weigh
// the end bin by more than 1 (or drop it) and invent or lose counts.
double rebinnedCount(const E::Histogram& hist, const uint64_t counts[kBins], Range range, int j) {
  const float lo = range.min + static_cast<float>(j) * (range.max - range.min) / 255.0f;
  const float hi = range.min + static_cast<float>(j + 1) * (range.max - range.min) / 255.0f;
  if (!(lo < hi) || lo >= hist.max || hi <= hist.min) return 0.0;
  const float width = hist.max - hist.min;
  const float p0 = std::max((lo - hist.min) / width * 255.0f, 0.0f);
  const float p1 = std::min((hi - hist.min) / width * 255.0f, 256.0f);
  if (!std::isfinite(p0) || !std::isfinite(p1) || !(p0 < p1)) return 0.0;
  const int first = static_cast<int>(p0);
  const int last = std::min(static_cast<int>(p1), kBins - 1);
  double sum = 0.0;
  for (int k = first; k <= last; ++k) {
    const double covered = std::min<double>(k + 1, p1) - std::max<double>(k, p0);
    if (covered > 0.0) sum += static_cast<double>(counts[k]) * covered;
  }
  return sum;
}

void binsV1(const E::Histogram& hist, Range range, uint32_t out[kBins]) {
  std::fill(out, out + kBins, 0u);
  if (hist.min == hist.max) return;
  uint64_t counts[kBins];
  nonNegativeCounts(hist, counts);
  const int s = shiftFor(counts);
  if (range.min == hist.min && range.max == hist.max) {
    for (int k = 0; k < kBins; ++k) out[k] = static_cast<uint32_t>(counts[k] >> s);
    return;
  }
  // Merging bins can exceed what the shift made room for; such a bin
  // saturates rather than wrapping to a small count.
  for (int j = 0; j < kBins; ++j) {
    const int64_t sum = truncToInt64(rebinnedCount(hist, counts, range, j));
    out[j] = saturateToUInt32(static_cast<uint64_t>(std::max<int64_t>(sum, 0)) >> s);
  }
}

}  // namespace

std::string encodeHistV1(const E::Histogram& hist, const E::FileInfo& fileInfo) {
  const Range range = fileInfo.dataType == E::DataTypeEnum::Float32
                          ? Range{hist.min, hist.max}
                          : Range{fileInfo.valueMin, fileInfo.valueMax};
  uint32_t bins[kBins];
  binsV1(hist, range, bins);
  std::string out;
  out.reserve(kV1HistSize);
  Le::Writer w(out);
  w.f32(range.max);
  w.f32(range.min);
  for (uint32_t b : bins) w.i32(static_cast<int32_t>(b));
  return out;
}

void decodeHistV1(const uint8_t in[kV1HistSize], E::Histogram& hist, E::FileInfo& fileInfo,
                  E::DataInfo& info) {
  const float max = Le::getF32(in);
  const float min = Le::getF32(in + 4);
  hist = E::Histogram(0, min, max);
  for (int k = 0; k < kBins; ++k) hist.bins[k] = Le::getU32(in + 8 + 4 * k);
  fileInfo.valueMin = info.statMin = min;
  fileInfo.valueMax = info.statMax = max;
}

std::string encodeHistV23(const E::Histogram& hist) {
  std::string out;
  out.reserve(kV23HistSize);
  Le::Writer w(out);
  w.i64(hist.count);
  w.f32(hist.min);
  w.f32(hist.max);
  for (int64_t b : hist.bins) w.i64(b);
  return out;
}

void decodeHistV23(const uint8_t in[kV23HistSize], E::Histogram& hist) {
  Le::Reader r(in, kV23HistSize);
  hist.count = r.i64();
  hist.min = r.f32();
  hist.max = r.f32();
  for (int64_t& b : hist.bins) b = r.i64();
}

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
