// Compressor3d set-up and dispatch; the work is in compress_block.cpp,
// sqnr_control.cpp and decompress_block.cpp.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "compressed/compressor3d_impl.h"
#include "compressed/vector_clones.h"

namespace Qra::Ostrel::Tyq::Private {

namespace {

// Stream area: 8 bytes per sample.
constexpr size_t kAreaBytes = 8 * static_cast<size_t>(Block::kSamples);

}  // namespace

Compressor3d::Impl::Impl() {
  try {
    coef.resize(Block::kSamples);
    tmp.resize(Block::kSamples);
    states.resize(Block::kStateBytes);
    usable = area.allocate(kAreaBytes);
  } catch (const std::bad_alloc&) {
    coef = {};
    tmp = {};
    states = {};
    usable = false;
  }
}

Compressor3d::Compressor3d() : p_(std::make_unique<Impl>()) {}
Compressor3d::~Compressor3d() = default;

namespace {

bool allAlive(const uint8_t* flags) {
  if (flags == nullptr) return true;
  return std::all_of(flags, flags + 64 * 64, [](uint8_t f) { return f != 0; });
}

}  // namespace

void Compressor3d::Impl::prepare(CompressedBlock3d* to, const CompressedBlock3d* from,
                                 COMPDATATYPE sampleType, void* buffer, const uint8_t* traceFlags,
                                 bool useTwoStages) {
  compress = to != nullptr;
  target = to;
  source = from;
  type = sampleType;
  samples = buffer;
  layout.flags = traceFlags;
  layout.allAlive = allAlive(traceFlags);
  twoStage = useTwoStages;
}

void Compressor3d::PrepareCompress(CompressedBlock3d* target, COMPDATATYPE type, void* samples,
                                   const uint8_t* traceFlags, float sqnrTarget, bool sqnrControl,
                                   bool twoStage) {
  Impl& p = *p_;
  p.prepare(target, nullptr, type, samples, traceFlags, twoStage);
  p.sqnrTarget = sqnrTarget;
  p.sqnrControl = sqnrControl;
  const float level = std::isnan(sqnrTarget) ? 0.0f : std::clamp(sqnrTarget, 0.0f, 30.0f);
  p.quality = static_cast<int>(level);
}

void Compressor3d::PrepareDecompress(const CompressedBlock3d* source, COMPDATATYPE type,
                                     void* output, const uint8_t* traceFlags, DECOMPQUALITY quality,
                                     DECOMPLEVEL level, bool twoStage) {
  Impl& p = *p_;
  p.prepare(nullptr, source, type, output, traceFlags, twoStage);
  p.decompQuality = quality;
  p.decompLevel = level;
}

void Compressor3d::setDataSizeInBlock(int size0, int size1, int size2) {
  p_->layout.valid[0] = std::clamp(size0, 0, 64);
  p_->layout.valid[1] = std::clamp(size1, 0, 64);
  p_->layout.valid[2] = std::clamp(size2, 0, 64);
}

void Compressor3d::setMinAndMax(double valueMin, double valueMax, double outMin, double outMax,
                                bool symmetric) {
  Impl& p = *p_;
  p.valueMin = valueMin;
  p.valueMax = valueMax;
  p.outMin = outMin;
  p.outMax = outMax;
  p.symmetric = symmetric;
}

bool Compressor3d::Execute() {
  Impl& p = *p_;
  if (!p.usable || p.samples == nullptr) return false;
  if (p.compress) return p.target != nullptr && p.compressBrick();
  return p.source != nullptr && p.decompressBrick();
}

void Compressor3d::SetZombieGuard(bool on) {
  p_->zombieGuard = on;
}
bool Compressor3d::GetZombieGuard() const {
  return p_->zombieGuard;
}

int Compressor3d::getNrOfQualityLevels() {
  return Block::kQualityLevels;
}

float Compressor3d::calculateSQNR(int64_t count, const float* a, const float* b) {
  if (a == b || count <= 0) return 400.0f;
  double sig = 0, err = 0;
  for (int64_t i = 0; i < count; ++i) {
    sig += std::fabs(double{a[i]});
    err += std::fabs(double{a[i]} - double{b[i]});
  }
  const double n = static_cast<double>(count);
  if (err / n < 1e-8) return 400.0f;
  return static_cast<float>(20.0 * std::log10((sig / n) / (err / n)));
}

namespace {

// The clones live in an unnamed namespace: a cloned function with external
// linkage has its resolver exported from the shared library.
TYQ_VECTOR_CLONES void toSignMagnitudeClones(int32_t* coef, int count) {
  using U8 = uint32_t __attribute__((vector_size(32)));
  using I8 = int32_t __attribute__((vector_size(32)));
  uint32_t* u = reinterpret_cast<uint32_t*>(coef);
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    U8 v;
    std::memcpy(&v, u + i, sizeof v);
    const U8 neg = reinterpret_cast<U8>(reinterpret_cast<I8>(v) >> 31);
    U8 mag = (v ^ neg) - neg;
    // Only -2^31 keeps bit 31 in its magnitude.
    mag -= mag >> 31;
    const U8 r = mag | (neg & 0x80000000u);
    std::memcpy(u + i, &r, sizeof r);
  }
  for (; i < count; ++i) {
    const uint32_t v = u[i];
    const uint32_t neg = v >> 31;
    uint32_t mag = neg ? 0u - v : v;
    mag = mag > 0x7FFFFFFFu ? 0x7FFFFFFFu : mag;
    u[i] = mag | (neg << 31);
  }
}

// Eight values at a time, written as vectors so that the loop vectorises
// whatever the optimisation level.
TYQ_VECTOR_CLONES void fromSignMagnitudeClones(const int32_t* in, int32_t* out, int count,
                                               uint32_t keep) {
  using U8 = uint32_t __attribute__((vector_size(32)));
  using I8 = int32_t __attribute__((vector_size(32)));
  keep &= 0x7FFFFFFFu;
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    U8 v;
    std::memcpy(&v, in + i, sizeof v);
    const U8 neg = reinterpret_cast<U8>(reinterpret_cast<I8>(v) >> 31);
    const U8 r = ((v & keep) ^ neg) - neg;
    std::memcpy(out + i, &r, sizeof r);
  }
  for (; i < count; ++i) {
    const uint32_t v = static_cast<uint32_t>(in[i]);
    const uint32_t mag = v & keep;
    out[i] = static_cast<int32_t>((v >> 31) ? 0u - mag : mag);
  }
}

}  // namespace

namespace Block {

void toSignMagnitude(int32_t* coef, int count) {
  toSignMagnitudeClones(coef, count);
}

void fromSignMagnitude(const int32_t* in, int32_t* out, int count, uint32_t keep) {
  fromSignMagnitudeClones(in, out, count, keep);
}

void fromSignMagnitude(int32_t* coef, int count) {
  fromSignMagnitudeClones(coef, coef, count, 0x7FFFFFFFu);
}

}  // namespace Block

}  // namespace Qra::Ostrel::Tyq::Private
