// Lookup-table records: the entries of every level, coded by the byte
// coder's automatic choice behind a mode byte and a bit count.
#include <algorithm>
#include <cstring>

#include "compressed/format.h"
#include "core/endian.h"
#include "tyq/byte_coder.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {

std::string encodeTable(const std::vector<int64_t>& entries) {
  const size_t bytes = entries.size() * 8;
  std::vector<uint8_t> plain(bytes), coded(bytes);
  for (size_t e = 0; e < entries.size(); ++e) Le::putI64(plain.data() + 8 * e, entries[e]);
  int32_t bits = 0;
  const uint8_t mode =
      Compression::compressData(static_cast<int32_t>(bytes), plain.data(), bits, coded.data(), 0);
  std::string out;
  Le::Writer w(out);
  w.u8(mode);
  w.i32(bits);
  w.bytes(coded.data(), static_cast<size_t>((int64_t{bits} + 7) / 8));
  return out;
}

int32_t tableBits(const uint8_t head[kTableHeadSize]) {
  return Le::getI32(head + 1);
}

int64_t tableBytesBound(const uint8_t head[kTableHeadSize], const uint8_t* payload,
                        size_t payloadSize) {
  const int64_t bits = tableBits(head);
  const auto equalHalves = [&](size_t half) {
    return payloadSize >= 2 * half && std::memcmp(payload, payload + half, half) == 0;
  };
  switch (head[0]) {
    case Compression::kModeAllZero:
    case Compression::kModeAll255:
    case Compression::kModeAllEqual:
    case Compression::kModeAllWordsEqual:
      // The fill carries its byte count.
      return payloadSize >= 4 ? std::max(Le::getI32(payload), 0) : 0;
    case Compression::kModeBytesPacked:
      // Packed values above their minimum; with maximum and minimum equal,
      // one value stands for as many as asked.
      return equalHalves(1) ? INT64_MAX : std::max<int64_t>(bits, 0);
    case Compression::kModeWordsPacked:
      return equalHalves(4) ? INT64_MAX : std::max<int64_t>(bits, 0) * 4;
    default:
      // A copy yields its bytes, a Huffman code at least one bit per byte,
      // and the other modes nothing.
      return std::max<int64_t>(bits, 0);
  }
}

bool decodeTable(const uint8_t head[kTableHeadSize], const uint8_t* payload, size_t payloadSize,
                 std::vector<int64_t>& entries) {
  const int32_t bits = tableBits(head);
  if (bits < 0 || static_cast<size_t>((int64_t{bits} + 7) / 8) != payloadSize) return false;
  // Decoded straight into the entries and turned around in place: a second
  // buffer would double what a large table costs.
  static_assert(sizeof(int64_t) == 8);
  const int64_t bytes = static_cast<int64_t>(entries.size()) * 8;
  if (bytes > INT32_MAX) return false;
  auto* plain = reinterpret_cast<uint8_t*>(entries.data());
  int32_t produced = static_cast<int32_t>(bytes);
  if (!Compression::uncompressData(bits, payload, produced, plain, head[0]) ||
      produced != static_cast<int32_t>(bytes)) {
    return false;
  }
  for (size_t e = 0; e < entries.size(); ++e) {
    entries[e] = Le::getI64(plain + 8 * e);
  }
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
