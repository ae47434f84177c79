// The histogram record: quality figures, ranges and 256 bin counts, packed
// as words above their minimum unless a count needs 64 bits.
#include <algorithm>
#include <cmath>

#include "compressed/format.h"
#include "core/endian.h"
#include "core/saturate.h"
#include "tyq/byte_coder.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {

namespace {

constexpr int32_t kNarrowBytes = kHistBins * 4;

bool needsWideForm(const int64_t bins[kHistBins]) {
  return *std::max_element(bins, bins + kHistBins) > INT32_MAX;
}

}  // namespace

std::string encodeHist(const HistRecord& h) {
  std::string payload;
  if (needsWideForm(h.bins)) {
    payload.assign(8, '\0');
    Le::Writer w(payload);
    for (int64_t v : h.bins) w.i64(v);
  } else {
    uint8_t words[kNarrowBytes];
    for (int b = 0; b < kHistBins; ++b) {
      Le::putI32(words + 4 * b, static_cast<int32_t>(std::max<int64_t>(h.bins[b], 0)));
    }
    uint8_t coded[kHistNarrowMax];
    int32_t bits = static_cast<int32_t>(kHistNarrowMax * 8);
    Compression::compressData(kNarrowBytes, words, bits, coded, Compression::kModeWordsPacked,
                              true);
    payload.assign(reinterpret_cast<const char*>(coded), static_cast<size_t>((bits + 7) / 8));
  }
  std::string out;
  Le::Writer w(out);
  w.i32(static_cast<int32_t>(payload.size()));
  uint8_t q[4];
  Le::putU16(q, truncToCode<uint16_t>(double{h.sqnr} * 100.0));
  Le::putU16(q + 2, truncToCode<uint16_t>(double{h.compressionFactor} * 10.0));
  w.bytes(q, 4);
  for (float v : {h.rangeMax, h.rangeMin, h.statMax, h.statMin}) w.f32(v);
  out += payload;
  return out;
}

int32_t histPayloadSize(const uint8_t head[kHistHeadSize]) {
  return Le::getI32(head);
}

bool histPayloadFits(int32_t size) {
  return size == static_cast<int32_t>(kHistWideSize) ||
         (size >= 0 && size <= static_cast<int32_t>(kHistNarrowMax));
}

bool decodeHist(const uint8_t head[kHistHeadSize], const uint8_t* payload, int32_t size,
                bool symmetricRange, HistRecord& h) {
  h = HistRecord{};
  h.sqnr = static_cast<float>(Le::getU16(head + 4) / 100.0);
  h.compressionFactor = static_cast<float>(Le::getU16(head + 6) / 10.0);
  h.rangeMax = Le::getF32(head + 8);
  h.rangeMin = Le::getF32(head + 12);
  h.statMax = Le::getF32(head + 16);
  h.statMin = Le::getF32(head + 20);
  if (symmetricRange) {
    const float m = std::max(std::fabs(h.rangeMax), std::fabs(h.rangeMin));
    h.rangeMax = m;
    h.rangeMin = -m;
  }
  if (size == static_cast<int32_t>(kHistWideSize)) {
    for (int b = 0; b < kHistBins; ++b) h.bins[b] = Le::getI64(payload + 8 + 8 * b);
    return true;
  }
  if (!histPayloadFits(size)) return false;
  uint8_t words[kNarrowBytes];
  const uint8_t* pos = payload;
  if (!Compression::uncompressData(&pos, payload + size, kNarrowBytes, words,
                                   Compression::kModeWordsPacked)) {
    return false;
  }
  // Narrow counts are unsigned words: their sum cannot overflow.
  for (int b = 0; b < kHistBins; ++b) h.bins[b] = Le::getU32(words + 4 * b);
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
