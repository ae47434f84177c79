// Feeds arbitrary bytes as the stored payload of a coded brick (the first
// byte picks the gain's sign and the decode options) and decodes it at each
// resolution, as a compressed file's reader would.
//   build/fuzz/fuzz/fuzz_block_decode -max_len=65536 fuzz/corpus/block
// The seeds are payloads of two seismic-like bricks coded at SQNR 12 and 30
// (the second with two stages), each after one option byte.
#include <cstdint>
#include <cstring>
#include <vector>

#include "tyq/compressor3d.h"

namespace P = Qra::Ostrel::Tyq::Private;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t options = data[0];
  ++data;
  --size;
  static P::Compressor3d* compressor = new P::Compressor3d;
  P::CompressedBlock3d block;
  uint8_t* in = block.GetInputBuffer(static_cast<int64_t>(size), (options & 1) ? -0.25 : 1e-3);
  if (in == nullptr) return 0;
  if (size > 0) std::memcpy(in, data, size);
  block.UnpackData();
  std::vector<float> out(64 * 64 * 64);
  std::vector<int8_t> codes(64 * 64 * 64);
  std::vector<uint8_t> flags(64 * 64, 1);
  for (size_t i = 0; i < flags.size(); i += 7) flags[i] = 0;
  const bool twoStage = (options & 2) != 0;
  const auto quality = static_cast<P::DECOMPQUALITY>((options >> 2) & 3);
  for (int level = 0; level < 3; ++level) {
    compressor->PrepareDecompress(&block, P::CompDataFloat, out.data(), nullptr, quality,
                                  static_cast<P::DECOMPLEVEL>(level), twoStage);
    compressor->Execute();
    compressor->PrepareDecompress(&block, P::CompDataInt8, codes.data(), flags.data(),
                                  P::DecompSubbandsAll, static_cast<P::DECOMPLEVEL>(level),
                                  twoStage);
    compressor->setMinAndMax(-1, 1, -1, 1, true);
    compressor->Execute();
  }
  return 0;
}
