// Decompression of one brick at full, half or quarter resolution.
#include <algorithm>
#include <cstring>
#include <type_traits>

#include "compressed/compressor3d_impl.h"
#include "core/saturate.h"

namespace Qra::Ostrel::Tyq::Private {

namespace {

constexpr int kDecodeAttempts = 6;
constexpr int kUnusedStream = 5;
// Bands read per DECOMPQUALITY, and at most per DECOMPLEVEL.
constexpr int kQualityBands[4] = {5, 15, 18, 24};
constexpr int kLevelBands[3] = {4, 14, 24};
constexpr int kLevelEdge[3] = {16, 32, 64};
// Coefficients the inverse transform touches per DECOMPLEVEL.
constexpr int kLevelExtent[3] = {8192, 65536, 64 * 64 * 64};
// Low-pass gain of the skipped levels, taken out of 8- and 16-bit output.
constexpr double kLevelFactor[3] = {0.28853634, 0.5371558, 1.0};

// 8- and 16-bit output maps [outMin, outMax] onto the code range:
// code = factor * value - offset.
struct OutputRange {
  double factor;
  double offset;
};

template <typename T>
OutputRange codeRange(double gain, double outMin, double outMax) {
  const double codes = std::is_same_v<T, int8_t> ? 256.0 : 65536.0;
  double range = outMax - outMin;
  if (!(range > 0)) range = 1.0;
  return {gain * codes / range, outMin * codes / range + codes / 2};
}

template <typename T>
Block::OutputMap outputMap(double gain, double outMin, double outMax, double levelFactor) {
  if constexpr (std::is_same_v<T, float>) {
    return {gain, 0.0};
  } else if constexpr (std::is_same_v<T, int32_t>) {
    return {1.0, 0.0};
  } else {
    const OutputRange r = codeRange<T>(gain, outMin, outMax);
    return {levelFactor * r.factor, r.offset};
  }
}

template <typename T>
void fillConstant(T* out, int count, double value, double outMin, double outMax) {
  T v;
  if constexpr (std::is_same_v<T, float>) {
    v = narrowToFloat(value);
  } else if constexpr (std::is_same_v<T, int32_t>) {
    v = roundToCode<int32_t>(value);
  } else {
    const OutputRange r = codeRange<T>(1.0, outMin, outMax);
    v = roundToCode<T>(value * r.factor - r.offset);
  }
  std::fill(out, out + count, v);
}

bool planesValid(const Block::PlanePlan& plan) {
  for (int s = 0; s < Block::kSubbands; ++s) {
    if (plan.msb[s] > 31 || plan.planes[s] > plan.msb[s]) return false;
  }
  return true;
}

// Writes each plane of the full inverse out as it comes.
template <typename T>
struct OutputSink final : Block::PlaneSink {
  T* out;
  Block::OutputMap map;
  const Block::TraceLayout& layout;
  OutputSink(T* o, const Block::OutputMap& m, const Block::TraceLayout& l)
      : out(o), map(m), layout(l) {}
  void take(int i2, int32_t* plane) override {
    constexpr int kPlane = Block::kEdge * Block::kEdge;
    if (layout.hasDead()) Block::zeroDeadInPlane(plane, layout.flags);
    Block::writeOutput(plane, kPlane, map, out + static_cast<size_t>(kPlane) * i2);
  }
};

}  // namespace

// Unpacks the coded streams into the stream area, growing it when a stream
// does not fit, and points the readers at them.
bool Compressor3d::Impl::loadStreams(const CompressedBlock3d& block) {
  uint8_t* starts[CompressedBlock3d::kStreams];
  int32_t lengths[CompressedBlock3d::kStreams];
  bool decoded = false;
  for (int attempt = 0; attempt < kDecodeAttempts && !decoded; ++attempt) {
    decoded = block.GetStreams(starts, area.data(), static_cast<int64_t>(area.size()), lengths);
    if (!decoded && attempt + 1 < kDecodeAttempts && !area.grow()) return false;
  }
  if (!decoded) return false;
  for (int k = 0, in = 0; k < Block::kRawStreams; ++k) {
    if (k == kUnusedStream) {
      readers[k].reset(nullptr, 0);
      continue;
    }
    readers[k].reset(starts[in], static_cast<size_t>(lengths[in]));
    ++in;
  }
  return true;
}

bool Compressor3d::Impl::decompressBrick() {
  const CompressedBlock3d& block = *source;
  const int level = std::clamp<int>(decompLevel, 0, 2);
  const int edge = kLevelEdge[level];
  const int count = edge * edge * edge;
  if (block.IsAllConst()) {
    withSamples(type, samples,
                [&](auto* out) { fillConstant(out, count, block.GetGain(), outMin, outMax); });
    return true;
  }
  if (!loadStreams(block)) return false;
  Block::PlanePlan plan;
  for (int s = 0; s < Block::kSubbands; ++s) {
    plan.msb[s] = static_cast<uint8_t>(block.GetMostSignificantBitPlane(s));
    plan.planes[s] = static_cast<uint8_t>(block.GetNumberOfBitPlanes(s));
  }
  if (!planesValid(plan)) return false;
  const int bands =
      std::min(kQualityBands[std::clamp<int>(decompQuality, 0, 3)], kLevelBands[level]);
  plan.first = twoStage ? Block::firstStagePlanes(plan.msb, plan.planes) : plan.planes;
  plan.secondStage = twoStage && bands == Block::kSubbands &&
                     (type != CompDataInt8 || valueMax - valueMin > 64 * (outMax - outMin));

  const int extent = kLevelExtent[level];
  std::memset(coef.data(), 0, sizeof(int32_t) * static_cast<size_t>(extent));
  Block::decodeBands(readers, reinterpret_cast<uint32_t*>(coef.data()), states.data(), plan, bands);
  const auto resolution = static_cast<Block::Resolution>(level);
  if (resolution == Block::Resolution::Full) {
    // The finest subbands leave sign-magnitude on their way into the inverse.
    const int finest = Block::kBands[Block::kSubbands - 6].offset;
    const uint32_t keepAll[6] = {~0u, ~0u, ~0u, ~0u, ~0u, ~0u};
    Block::fromSignMagnitude(coef.data(), finest);
    withSamples(type, samples, [&](auto* out) {
      using T = std::remove_pointer_t<decltype(out)>;
      OutputSink<T> sink(out, outputMap<T>(block.GetGain(), outMin, outMax, kLevelFactor[level]),
                         layout);
      Block::inverseTransformKeptFinest(coef.data(), coef.data() + finest, keepAll, tmp.data(),
                                        sink);
    });
    return true;
  }
  Block::fromSignMagnitude(coef.data(), extent);
  Block::inverseTransform(coef.data(), tmp.data(), resolution);
  if (layout.hasDead()) Block::zeroDeadTraces(coef.data(), edge, layout.flags);
  withSamples(type, samples, [&](auto* out) {
    using T = std::remove_pointer_t<decltype(out)>;
    const Block::OutputMap map = outputMap<T>(block.GetGain(), outMin, outMax, kLevelFactor[level]);
    Block::writeOutput(coef.data(), count, map, out);
  });
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private
