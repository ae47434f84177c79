// The SQNR estimate of a plane choice and the loop that tunes the quality
// level towards the target; also the exported SQNR helpers.
#include <cmath>
#include <new>

#include "compressed/compressor3d_impl.h"

namespace Qra::Ostrel::Tyq::Private {

namespace {

constexpr int kMaxChecks = 32;
constexpr int kTopLevel = Block::kQualityLevels - 1;
constexpr int kFirstFinest = Block::kSubbands - 6;

bool isFullBlock(const Block::TraceLayout& l) {
  return l.valid[0] == 64 && l.valid[1] == 64 && l.valid[2] == 64;
}

// Compares each plane of the inverse with the input as it comes out of the
// transform; dead traces count as zeros.
struct ErrorSink final : Block::PlaneSink {
  const double* ref;
  double scale;
  const Block::TraceLayout& layout;
  bool full;
  double error = 0;
  ErrorSink(const double* r, double s, const Block::TraceLayout& l, bool f)
      : ref(r), scale(s), layout(l), full(f) {}
  void take(int i2, int32_t* plane) override {
    if (layout.hasDead()) Block::zeroDeadInPlane(plane, layout.flags);
    error = Block::addPlaneError(error, ref + Block::kEdge * Block::kEdge * i2, plane, scale,
                                 layout, full, i2);
  }
};

}  // namespace

// The estimate compares with the samples as they are after padding was
// undone; their sums do not change between estimates. Called with the
// coefficients not yet transformed.
bool Compressor3d::Impl::prepareEstimates() {
  if (check.empty()) {
    try {
      check.resize(Block::kSamples);
      reference.resize(Block::kSamples);
      untransformed.resize(Block::kSamples);
    } catch (const std::bad_alloc&) {
      check = {};
      reference = {};
      untransformed = {};
      return false;
    }
  }
  withSamples(type, samples, [&](auto* s) { Block::comparableSamples(s, reference.data()); });
  signal = Block::sumSignal(reference.data(), layout, isFullBlock(layout));
  untransformed = coef;
  if (layout.hasDead()) Block::zeroDeadTraces(untransformed.data(), 64, layout.flags);
  return true;
}

// Keeping every plane of every band reconstructs the coefficients exactly:
// the integer lifting inverts itself for any input, and sign-magnitude
// loses nothing while no magnitude reaches 2^30 (the one value it cannot
// hold, -2^31, has 32 bits).
bool Compressor3d::Impl::keepsEverything() const {
  for (int s = 0; s < Block::kSubbands; ++s) {
    if (planes[s] != msb[s] || msb[s] > 30) return false;
  }
  return true;
}

// Decodes in thought: keeps the planes the coder would keep, inverts the
// transform and compares with the caller's samples.
double Compressor3d::Impl::estimateSqnr() {
  const bool full = isFullBlock(layout);
  const double scale = type == CompDataFloat ? gain : 1.0;
  Block::ErrorSums sums = signal;
  if (keepsEverything()) {
    sums.error = Block::sumError(reference.data(), untransformed.data(), scale, layout, full);
    return Block::sqnrFromSums(sums, full);
  }
  uint32_t keep[Block::kSubbands];
  for (int s = 0; s < Block::kSubbands; ++s)
    keep[s] = planes[s] == 0 ? 0u : (0x7FFFFFFFu << (msb[s] - planes[s])) & 0x7FFFFFFFu;
  // The finest subbands are masked on their way into the inverse.
  for (int s = 0; s < kFirstFinest; ++s) {
    const Block::Subband& b = Block::kBands[s];
    Block::fromSignMagnitude(coef.data() + b.offset, check.data() + b.offset, b.size(), keep[s]);
  }
  ErrorSink sink(reference.data(), scale, layout, full);
  Block::inverseTransformKeptFinest(check.data(), coef.data() + Block::kBands[kFirstFinest].offset,
                                    keep + kFirstFinest, tmp.data(), sink);
  sums.error = sink.error;
  return Block::sqnrFromSums(sums, full);
}

// Walks the quality level until the estimate lies within [target - 5 %,
// target + 10 %], never settling below the lower bound when a level above it
// was seen.
double Compressor3d::Impl::settleQuality() {
  planes = Block::planesForQuality(msb, quality);
  if (!sqnrControl) return estimateSqnr();
  const double goal = sqnrTarget;
  const double lo = goal - 0.05 * goal, hi = goal + 0.1 * goal;
  double prev = 0, e = 0;
  int prevQuality = quality;
  for (int checks = 0; checks < kMaxChecks; ++checks) {
    planes = Block::planesForQuality(msb, quality);
    e = estimateSqnr();
    if (e > lo) {
      if (e <= hi || (prev > 0 && prev < lo) || quality == 0) return e;
      prev = e;
      prevQuality = quality--;
    } else if (prev > lo) {
      quality = prevQuality;
      planes = Block::planesForQuality(msb, quality);
      return prev;
    } else if (quality <= kTopLevel) {
      prev = e;
      prevQuality = quality++;
    } else {
      quality = kTopLevel;
      planes = Block::planesForQuality(msb, quality);
      return prev;
    }
  }
  return e;
}

namespace Compression {

namespace {

template <typename T, bool Power>
double snr(int64_t count, const T* a, const float* b) {
  if (static_cast<const void*>(a) == static_cast<const void*>(b) || count <= 0) return 200.0;
  double sig = 0, err = 0;
  for (int64_t i = 0; i < count; ++i) {
    const double x = static_cast<double>(a[i]);
    const double d = double{b[i]} - x;
    sig += Power ? x * x : std::fabs(x);
    err += Power ? d * d : std::fabs(d);
  }
  const double n = static_cast<double>(count);
  if (err / n < 1e-8) return 200.0;
  return 10.0 * std::log10((sig / n) / (err / n));
}

}  // namespace

template <typename T>
double snramp(int64_t count, const T* a, const float* b) {
  return snr<T, false>(count, a, b);
}
template <typename T>
double snrpow(int64_t count, const T* a, const float* b) {
  return snr<T, true>(count, a, b);
}

#define TYQ_INSTANTIATE_SNR(T)                                           \
  template TYQ_EXPORT double snramp<T>(int64_t, const T*, const float*); \
  template TYQ_EXPORT double snrpow<T>(int64_t, const T*, const float*);
TYQ_INSTANTIATE_SNR(int8_t)
TYQ_INSTANTIATE_SNR(int16_t)
TYQ_INSTANTIATE_SNR(int32_t)
TYQ_INSTANTIATE_SNR(float)
TYQ_INSTANTIATE_SNR(double)
#undef TYQ_INSTANTIATE_SNR

}  // namespace Compression

}  // namespace Qra::Ostrel::Tyq::Private
