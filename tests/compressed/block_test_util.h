#pragma once

// Helpers of the block codec tests: coding a brick, reading the payload back
// as a file would, decoding at a resolution.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "support/seismic_brick.h"
#include "tyq/compressor3d.h"

namespace tyq_test {

namespace P = Qra::Ostrel::Tyq::Private;

constexpr int kBrick = 64 * 64 * 64;

template <typename T>
constexpr P::COMPDATATYPE typeCode() {
  if constexpr (sizeof(T) == 1)
    return P::CompDataInt8;
  else if constexpr (sizeof(T) == 2)
    return P::CompDataInt16;
  else if constexpr (std::is_same_v<T, float>)
    return P::CompDataFloat;
  else
    return P::CompDataInt32;
}

struct EncodeOptions {
  float sqnr = 30.0f;
  bool control = true;
  bool twoStage = false;
  const uint8_t* flags = nullptr;
  int valid[3] = {64, 64, 64};
};

// Codes `samples` (changed in place as the coder does) into `block`.
template <typename T>
bool encodeBrick(P::Compressor3d& c, P::CompressedBlock3d& block, std::vector<T>& samples,
                 const EncodeOptions& o = {}) {
  c.PrepareCompress(&block, typeCode<T>(), samples.data(), o.flags, o.sqnr, o.control, o.twoStage);
  c.setDataSizeInBlock(o.valid[0], o.valid[1], o.valid[2]);
  return c.Execute();
}

// The payload a file would store for `block`, as one byte string.
inline std::vector<uint8_t> payloadOf(P::CompressedBlock3d& block) {
  block.PackData();
  std::vector<uint8_t> p(block.GetHeaderData(), block.GetHeaderData() + block.GetHeaderSize());
  p.insert(p.end(), block.GetBitstreamData(), block.GetBitstreamData() + block.GetBitstreamSize());
  return p;
}

// A block read back from a payload, as the file layer does it.
inline bool readBack(const std::vector<uint8_t>& payload, double gain, P::CompressedBlock3d& out) {
  uint8_t* in = out.GetInputBuffer(static_cast<int64_t>(payload.size()), gain);
  if (in == nullptr) return false;
  if (!payload.empty()) std::memcpy(in, payload.data(), payload.size());
  return out.UnpackData();
}

struct DecodeOptions {
  P::DECOMPLEVEL level = P::DecompFull;
  P::DECOMPQUALITY quality = P::DecompSubbandsAll;
  bool twoStage = false;
  const uint8_t* flags = nullptr;
  double range[4] = {-1000, 1000, -1000, 1000};  // value min/max, output min/max
};

template <typename T>
std::vector<T> decodeBrick(P::Compressor3d& c, const P::CompressedBlock3d& block,
                           const DecodeOptions& o = {}, bool* ok = nullptr) {
  const int edge = o.level == P::DecompFull ? 64 : o.level == P::DecompHalf ? 32 : 16;
  std::vector<T> out(static_cast<size_t>(edge) * edge * edge, T{1});
  c.PrepareDecompress(&block, typeCode<T>(), out.data(), o.flags, o.quality, o.level, o.twoStage);
  c.setMinAndMax(o.range[0], o.range[1], o.range[2], o.range[3], false);
  const bool done = c.Execute();
  if (ok != nullptr) *ok = done;
  return out;
}

template <typename A, typename B>
double sqnrOf(const std::vector<A>& ref, const std::vector<B>& got) {
  double sig = 0, err = 0;
  for (size_t i = 0; i < ref.size(); ++i) {
    sig += std::fabs(double(ref[i]));
    err += std::fabs(double(ref[i]) - double(got[i]));
  }
  return err == 0 ? 400.0 : 20 * std::log10(sig / err);
}

inline uint64_t fnv1a(const uint8_t* p, size_t n) {
  uint64_t h = 1469598103934665603ULL;
  for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ULL;
  return h;
}

}  // namespace tyq_test
