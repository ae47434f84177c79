#include "compressed/alpha_tile.h"

#include "tyq/byte_coder.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {

bool AlphaTile::Fill(const uint8_t* flags, int32_t size) {
  if (size < 0 || size > kMaxInput) return false;
  // A copy is the longest form the coder falls back to.
  bytes_.assign(static_cast<size_t>(size), 0);
  int32_t bits = 0;
  mode_ = Compression::compressData(size, flags, bits, bytes_.data(), 0);
  bits_ = bits;
  bytes_.resize(static_cast<size_t>(GetByteCount()));
  return true;
}

uint8_t* AlphaTile::GetInputBuffer(uint8_t mode, int32_t bits) {
  if (bits < 0 || bits > kMaxBits) return nullptr;
  mode_ = mode;
  bits_ = bits;
  bytes_.assign(static_cast<size_t>(GetByteCount()), 0);
  return bytes_.data();
}

bool AlphaTile::Decode(uint8_t* out, int32_t size) const {
  int32_t produced = size;
  return Compression::uncompressData(bits_, bytes_.data(), produced, out, mode_) &&
         produced == size;
}

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
