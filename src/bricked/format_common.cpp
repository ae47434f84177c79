#include <algorithm>

#include "bricked/format.h"
#include "core/endian.h"
#include "tyq/geometry.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {

namespace E = FileAccess;

void encodeHeader(int32_t version, uint8_t out[kHeaderSize]) {
  Le::putI32(out, kMagic);
  Le::putI32(out + 4, version);
}

bool decodeHeader(const uint8_t in[kHeaderSize], int32_t& version) {
  if (Le::getI32(in) != kMagic) return false;
  version = Le::getI32(in + 4);
  return true;
}

void encodeV1Offsets(const V1Offsets& offsets, uint8_t out[kV1OffsetsSize]) {
  Le::putI64HighFirst(out, offsets.info);
  Le::putI64HighFirst(out + 8, offsets.tiles);
  Le::putI64HighFirst(out + 16, offsets.bricks);
  Le::putI64HighFirst(out + 24, offsets.hist);
}

V1Offsets decodeV1Offsets(const uint8_t in[kV1OffsetsSize]) {
  V1Offsets offsets;
  offsets.info = Le::getI64HighFirst(in);
  offsets.tiles = Le::getI64HighFirst(in + 8);
  offsets.bricks = Le::getI64HighFirst(in + 16);
  offsets.hist = Le::getI64HighFirst(in + 24);
  return offsets;
}

namespace {

uint64_t countOf(int32_t size) {
  return static_cast<uint64_t>(std::max(size, 0));
}

}  // namespace

void cornersFromTiePoints(E::DataInfo& info, const float inlineAnnot[3],
                          const float crosslineAnnot[3], const double x[3], const double y[3]) {
  E::OrderedCornerPoints corners(
      info.annotStart[0], info.annotInc[0], countOf(info.size[0]), info.annotStart[1],
      info.annotInc[1], countOf(info.size[1]), inlineAnnot[0], crosslineAnnot[0], x[0], y[0],
      inlineAnnot[1], crosslineAnnot[1], x[1], y[1], inlineAnnot[2], crosslineAnnot[2], x[2], y[2]);
  // A corner at a tie point's annotation takes the stored position itself.
  // Solving and re-applying the map moves it by rounding, so every save and
  // reload would drift the corners; and for a survey of a single line the
  // tie points are collinear, the map degenerates to zero and the stored
  // corners would be lost altogether.
  for (E::OrderedCornerPoints::Element& e : corners.elements) {
    for (int t = 0; t < 3; ++t) {
      if (e.inlineAnnot == inlineAnnot[t] && e.crosslineAnnot == crosslineAnnot[t]) {
        e.x = x[t];
        e.y = y[t];
        break;
      }
    }
  }
  corners.GetCoords(info.corners);
}

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
