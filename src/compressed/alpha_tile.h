#pragma once

// One coded flag tile of a brick column: one byte per trace, 0 marking a
// dead trace, indexed i0 + 64 * i1.
#include <cstdint>
#include <vector>

#include "compressed/format.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {

class AlphaTile {
 public:
  enum Kind { Dead = 1, Uniform = 2, Mixed = 3 };
  static constexpr int32_t kMaxInput = 1048576;
  static constexpr int32_t kMaxBits = 8388608;

  // Codes `size` flag bytes with the byte coder's automatic choice; false
  // for a size above kMaxInput.
  bool Fill(const uint8_t* flags, int32_t size);
  // A buffer for ceil(bits / 8) coded bytes of form `mode`; null for a bit
  // count outside 0..kMaxBits.
  uint8_t* GetInputBuffer(uint8_t mode, int32_t bits);
  // Decodes into exactly `size` bytes; false when the coded form is damaged.
  bool Decode(uint8_t* out, int32_t size) const;

  uint8_t GetMode() const { return mode_; }
  int32_t GetBits() const { return bits_; }
  int32_t GetByteCount() const { return (bits_ + 7) / 8; }
  const uint8_t* GetData() const { return bytes_.data(); }
  Kind GetKind() const {
    if (mode_ == 1) return Dead;
    return mode_ == 2 || mode_ == 3 ? Uniform : Mixed;
  }

 private:
  uint8_t mode_ = 11;  // empty
  int32_t bits_ = 0;
  std::vector<uint8_t> bytes_;
};

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
