#pragma once

// The working memory the bit-plane coder writes its 19 raw streams into (and
// the decoder unpacks them into): one buffer cut into consecutive areas.
// Where the areas lie never changes the streams' contents, only whether
// they fit; an attempt that overflows re-partitions by the measured needs.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "compressed/bit_io.h"
#include "compressed/bitplane_passes.h"

namespace Qra::Ostrel::Tyq::Private::Block {

class StreamArea {
 public:
  // Allocates `bytes` and cuts the initial areas; false when out of memory.
  bool allocate(size_t bytes);
  uint8_t* data() { return buf_.data(); }
  size_t size() const { return buf_.size(); }

  // Points the writers at their areas.
  void startWriting(BitWriter* writers);
  // Measured lengths in bytes of the streams of an attempt that overflowed;
  // false when the larger area cannot be had.
  bool repartition(const size_t* lengths);
  // Grows the buffer by half for another decoding attempt; false once it
  // holds kMaxDecodeBytes, so that damaged payloads cannot make a long-lived
  // compressor hoard memory (six attempts from the initial size stay below).
  bool grow();
  static constexpr size_t kMaxDecodeBytes = size_t{16} << 20;

 private:
  void cutInitialAreas();

  std::vector<uint8_t> buf_;
  size_t start_[kRawStreams + 1] = {};
};

}  // namespace Qra::Ostrel::Tyq::Private::Block
