// Feeds arbitrary bytes to both decoding forms of the byte coder, and checks
// that coding the same bytes in the automatic and in a forced form decodes
// back to them. Layout of an input: mode byte, output capacity (2 bytes,
// little-endian), bits to drop from the end (low 3 bits of one byte), then
// the coded payload.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tyq/byte_coder.h"

namespace C = Qra::Ostrel::Tyq::Private::Compression;

namespace {

constexpr size_t kHead = 4;

void decodeSized(uint8_t mode, int32_t capacity, const std::vector<uint8_t>& payload, int drop) {
  int64_t bits = static_cast<int64_t>(payload.size()) * 8 - drop;
  if (bits < 0) bits = 0;
  std::vector<uint8_t> out(static_cast<size_t>(capacity));
  int32_t size = capacity;
  if (C::uncompressData(static_cast<int32_t>(bits), payload.data(), size, out.data(), mode) &&
      (size < 0 || size > capacity)) {
    std::abort();
  }
}

void decodeReader(uint8_t mode, int32_t size, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> out(static_cast<size_t>(size));
  const uint8_t* pos = payload.data();
  const uint8_t* end = pos + payload.size();
  if (C::uncompressData(&pos, end, size, out.data(), mode) && (pos < payload.data() || pos > end)) {
    std::abort();
  }
}

void roundTrip(uint8_t mode, const std::vector<uint8_t>& in) {
  const int32_t n = static_cast<int32_t>(in.size());
  std::vector<uint8_t> coded(in.size() + 16);
  int32_t bits = 0;
  const uint8_t used = C::compressData(n, in.data(), bits, coded.data(), mode);
  coded.resize(static_cast<size_t>((bits + 7) / 8));
  std::vector<uint8_t> back(in.size());
  int32_t size = n;
  if (!C::uncompressData(bits, coded.data(), size, back.data(), used) || back != in) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kHead) return 0;
  const uint8_t mode = data[0];
  const int32_t capacity = data[1] | (data[2] << 8);
  const int drop = data[3] & 7;
  // An exactly sized copy, so that any read past the coded bytes is caught.
  const std::vector<uint8_t> payload(data + kHead, data + size);
  decodeSized(mode, capacity, payload, drop);
  decodeReader(mode, capacity, payload);
  roundTrip(0, payload);
  roundTrip(mode, payload);
  return 0;
}
