// Feeds arbitrary bytes as the stored payload of a coded brick and decodes
// it once, as a compressed file's reader would. The first byte picks the
// decode: bit 0 the gain's sign, bit 1 two stages, bits 2-3 the subbands
// read, bits 4-5 the output type (float, int8, int16, int32; the integer
// ones with some dead traces), bits 6-7 the resolution (quarter, half,
// quarter, full).
//   build/fuzz/fuzz/fuzz_block_decode fuzz/corpus/block
// Under the sanitizers a full-resolution decode costs several coarse ones
// (four times that with integer output), so full resolution is read only as
// floats with every subband (other choices fall back to half); the coarse
// decodes run every stage but the finest subbands and the last inverse
// step. Payloads are capped for the same reason: a decode's work grows with
// its payload (the seeds take under three kilobytes).
// The seeds are payloads of two seismic-like bricks coded at SQNR 12 and 20
// (the second with two stages), each after one option byte asking for a
// quarter, and again asking for full resolution.
#include <cstdint>
#include <cstring>
#include <vector>

#include "tyq/compressor3d.h"

namespace P = Qra::Ostrel::Tyq::Private;

namespace {

constexpr int kSamples = P::Compressor3d::kBlockSamples;
constexpr size_t kMaxPayload = 4096;

P::DECOMPLEVEL levelOf(uint8_t options, P::COMPDATATYPE type, P::DECOMPQUALITY quality) {
  const int pick = options >> 6;
  if (pick == 0 || pick == 2) return P::DecompQuarter;
  if (pick == 3 && type == P::CompDataFloat && quality == P::DecompSubbandsAll) {
    return P::DecompFull;
  }
  return P::DecompHalf;
}

// Outputs and flags outlive the inputs: allocating and clearing them per
// input would cost more than a coarse decode.
struct Outputs {
  std::vector<float> floats = std::vector<float>(kSamples);
  std::vector<int8_t> bytes = std::vector<int8_t>(kSamples);
  std::vector<int16_t> shorts = std::vector<int16_t>(kSamples);
  std::vector<int32_t> ints = std::vector<int32_t>(kSamples);
  std::vector<uint8_t> flags = std::vector<uint8_t>(64 * 64, 1);
  Outputs() {
    for (size_t i = 0; i < flags.size(); i += 7) flags[i] = 0;
  }
  void* buffer(P::COMPDATATYPE type) {
    switch (type) {
      case P::CompDataInt8:
        return bytes.data();
      case P::CompDataInt16:
        return shorts.data();
      case P::CompDataInt32:
        return ints.data();
      case P::CompDataFloat:
        break;
    }
    return floats.data();
  }
};

constexpr P::COMPDATATYPE kTypes[4] = {P::CompDataFloat, P::CompDataInt8, P::CompDataInt16,
                                       P::CompDataInt32};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > kMaxPayload + 1) return 0;
  const uint8_t options = data[0];
  ++data;
  --size;
  static P::Compressor3d* compressor = new P::Compressor3d;
  static Outputs* outputs = new Outputs;
  P::CompressedBlock3d block;
  uint8_t* in = block.GetInputBuffer(static_cast<int64_t>(size), (options & 1) ? -0.25 : 1e-3);
  if (in == nullptr) return 0;
  if (size > 0) std::memcpy(in, data, size);
  block.UnpackData();
  const bool twoStage = (options & 2) != 0;
  const auto quality = static_cast<P::DECOMPQUALITY>((options >> 2) & 3);
  const P::COMPDATATYPE type = kTypes[(options >> 4) & 3];
  const uint8_t* flags = type == P::CompDataFloat ? nullptr : outputs->flags.data();
  compressor->PrepareDecompress(&block, type, outputs->buffer(type), flags, quality,
                                levelOf(options, type, quality), twoStage);
  if (type != P::CompDataFloat) compressor->setMinAndMax(-1, 1, -1, 1, (options & 1) == 0);
  compressor->Execute();
  return 0;
}
