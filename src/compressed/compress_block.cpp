// Compression of one brick: padding, conversion, transform, plane choice
// and the coding of the kept planes into streams.
#include <cstring>

#include "compressed/compressor3d_impl.h"
#include "compressed/vector_clones.h"

namespace Qra::Ostrel::Tyq::Private {

namespace {

// All magnitude bits of `count` sign-magnitude values ORed together: its
// bit length is that of the largest magnitude.
TYQ_VECTOR_CLONES uint32_t magnitudeBits(const uint32_t* u, int count) {
  using U8 = uint32_t __attribute__((vector_size(32)));
  U8 bits{};
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    U8 v;
    std::memcpy(&v, u + i, sizeof v);
    bits |= v;
  }
  uint32_t all = 0;
  for (int k = 0; k < 8; ++k) all |= bits[k];
  for (; i < count; ++i) all |= u[i];
  return all & 0x7FFFFFFFu;
}

// Bit length of the largest magnitude in every subband of sign-magnitude
// coefficients.
Block::PlaneArray mostSignificantPlanes(const int32_t* coef) {
  Block::PlaneArray msb{};
  const uint32_t* u = reinterpret_cast<const uint32_t*>(coef);
  for (int s = 0; s < Block::kSubbands; ++s) {
    const Block::Subband& b = Block::kBands[s];
    msb[s] = static_cast<uint8_t>(Block::bitLength(magnitudeBits(u + b.offset, b.size())));
  }
  return msb;
}

// Compression attempts; each failed one re-partitions the stream area.
constexpr int kCodingAttempts = 5;
// Raw stream 5 is never written and is not stored.
constexpr int kUnusedStream = 5;

}  // namespace

bool Compressor3d::Impl::compressBrick() {
  const bool zombies = zombieGuard && withSamples(type, samples, [&](auto* s) {
                         return Block::hasZombies(s, layout);
                       });
  withSamples(type, samples, [&](auto* s) {
    Block::fillMissing(s, layout, false);
    gain = Block::toCoefficients(s, coef.data());
    Block::fillMissing(s, layout, true);
  });
  if (!prepareEstimates()) return false;
  Block::forwardTransform(coef.data(), tmp.data());
  Block::toSignMagnitude(coef.data(), Block::kSamples);
  msb = mostSignificantPlanes(coef.data());
  double sqnr = settleQuality();
  if (zombies) {
    // Quantisation noise would wake up silent trace ends; keep everything.
    quality = Block::kQualityLevels - 1;
    planes = Block::planesForQuality(msb, quality);
    sqnr = estimateSqnr();
  }
  CompressedBlock3d& block = *target;
  block.SetGain(gain);
  for (int s = 0; s < Block::kSubbands; ++s) {
    block.SetMostSignificantBitPlane(s, msb[s]);
    block.SetNumberOfBitPlanes(s, planes[s]);
  }
  block.SetCompressionInfo(static_cast<float>(sqnr), quality);
  return codeStreams();
}

bool Compressor3d::Impl::codeStreams() {
  Block::PlanePlan plan;
  plan.msb = msb;
  plan.planes = planes;
  plan.first = twoStage ? Block::firstStagePlanes(msb, planes) : planes;
  plan.secondStage = twoStage;
  for (int attempt = 0; attempt < kCodingAttempts; ++attempt) {
    area.startWriting(writers);
    Block::encodeBands(writers, reinterpret_cast<uint32_t*>(coef.data()), states.data(), plan);
    size_t lengths[Block::kRawStreams];
    bool overflow = false;
    for (int k = 0; k < Block::kRawStreams; ++k) {
      lengths[k] = writers[k].finish();
      overflow = overflow || writers[k].overflowed();
    }
    if (overflow) {
      if (!area.repartition(lengths)) return false;
      continue;
    }
    const uint8_t* starts[CompressedBlock3d::kStreams];
    int32_t sizes[CompressedBlock3d::kStreams];
    for (int k = 0, out = 0; k < Block::kRawStreams; ++k) {
      if (k == kUnusedStream) continue;
      starts[out] = writers[k].start();
      sizes[out++] = static_cast<int32_t>(lengths[k]);
    }
    return target->AddStreams(starts, sizes);
  }
  return false;
}

}  // namespace Qra::Ostrel::Tyq::Private
