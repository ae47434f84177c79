// Lookup-table records: the entries of every level, coded by the byte
// coder's automatic choice behind a mode byte and a bit count.
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

bool decodeTable(const uint8_t head[kTableHeadSize], const uint8_t* payload, size_t payloadSize,
                 std::vector<int64_t>& entries) {
  const int32_t bits = tableBits(head);
  if (bits < 0 || static_cast<size_t>((int64_t{bits} + 7) / 8) != payloadSize) return false;
  std::vector<uint8_t> plain(entries.size() * 8);
  int32_t produced = static_cast<int32_t>(plain.size());
  if (!Compression::uncompressData(bits, payload, produced, plain.data(), head[0]) ||
      produced != static_cast<int32_t>(plain.size())) {
    return false;
  }
  for (size_t e = 0; e < entries.size(); ++e) {
    entries[e] = Le::getI64(plain.data() + 8 * e);
  }
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
