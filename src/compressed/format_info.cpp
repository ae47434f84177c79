// The information block of every version: the survey's extent, annotation
// and corners in the integer widths each version gives them.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "compressed/format.h"
#include "core/endian.h"
#include "core/saturate.h"
#include "tyq/geometry.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {

namespace E = FileAccess;

namespace {

// Where each field lies in one version's block, and how wide it is.
struct InfoLayout {
  size_t bytes;
  int sizeAt, sizeWidth;                               // unsigned 16 or signed 32 bits
  int firstAt, firstWidth;                             // signed 16 or 32 bits
  int incAt, incWidth;                                 // unsigned 8 or signed 16 bits
  int cornerInlineAt, cornerCrosslineAt, cornerWidth;  // signed 16 or 32 bits
  int xAt, yAt, typeAt, unitAt;                        // unitAt < 0: none
};

constexpr InfoLayout kLayout6{98, 0, 2, 6, 2, 12, 1, 17, 25, 2, 33, 65, 97, -1};
constexpr InfoLayout kLayout9{113, 0, 4, 12, 4, 24, 2, 32, 40, 2, 48, 80, 112, -1};
constexpr InfoLayout kLayout11{114, 0, 4, 12, 4, 24, 2, 32, 40, 2, 48, 80, 112, 113};
constexpr InfoLayout kLayout12{130, 0, 4, 12, 4, 24, 2, 32, 48, 4, 64, 96, 128, 129};

const InfoLayout* layoutOf(int32_t version) {
  if (version >= 6 && version <= 8) return &kLayout6;
  if (version == 9 || version == 10) return &kLayout9;
  if (version == 11) return &kLayout11;
  if (version >= 12 && version <= 16) return &kLayout12;
  return nullptr;
}

void putInt(uint8_t* p, int width, double v) {
  const int32_t n = truncToInt32(v);
  if (width == 1) *p = static_cast<uint8_t>(n);
  if (width == 2) Le::putU16(p, static_cast<uint16_t>(n));
  if (width == 4) Le::putI32(p, n);
}

int32_t getSigned(const uint8_t* p, int width) {
  return width == 2 ? Le::getI16(p) : Le::getI32(p);
}

int32_t getSize(const uint8_t* p, int width) {
  return width == 2 ? Le::getU16(p) : Le::getI32(p);
}

bool verticalInTime(const E::DataInfo& d) {
  return d.vertDimension == E::VertDimEnum::Time || d.vertDimension == E::VertDimEnum::Time2;
}

// The unit code of the horizontal domain, and the factor the corner
// coordinates are multiplied by to fit it.
uint8_t horzUnitCode(const E::DataInfo& d, double* scale) {
  *scale = 1.0;
  const double f = d.horzUnit.factor;
  if (d.horzDimension == E::HorzDimEnum::Length) {
    if (f == 1.0) return 1;
    if (f == 0.3048) return 2;
    *scale = f;
    return 1;
  }
  if (d.horzDimension == E::HorzDimEnum::ArcAngle) {
    if (f == 1.0) return 3;
    if (f == 3600.0) return 4;
    *scale = f;
    return 3;
  }
  return 0;
}

// Packed degrees, minutes and seconds (D * 10000 + M * 100 + S) to degrees.
double degreesOfPacked(double v) {
  const double whole = std::trunc(v);
  const double d = std::trunc(whole / 10000.0);
  const double m = std::trunc(std::fmod(whole, 10000.0) / 100.0);
  const double s = v - d * 10000.0 - m * 100.0;
  return d + m / 60.0 + s / 3600.0;
}

void readHorzUnit(uint8_t code, E::DataInfo& d) {
  if (code == 5) {
    for (auto& c : d.corners) {
      c[0] = degreesOfPacked(c[0]);
      c[1] = degreesOfPacked(c[1]);
    }
    code = 4;
  }
  switch (code) {
    case 1:
      d.SetHorzDomain("", E::HorzDimEnum::Length, 1.0, "m");
      break;
    case 2:
      d.SetHorzDomain("", E::HorzDimEnum::Length, 0.3048, "ft");
      break;
    case 3:
      d.SetHorzDomain("", E::HorzDimEnum::ArcAngle, 1.0, "arcsec");
      break;
    case 4:
      d.SetHorzDomain("", E::HorzDimEnum::ArcAngle, 3600.0, "argdeg");
      break;
    default:
      d.SetHorzDomain("", E::HorzDimEnum::Unknown, 1.0, "<unknown>");
      break;
  }
}

}  // namespace

size_t infoSize(int32_t version) {
  const InfoLayout* l = layoutOf(version);
  return l ? l->bytes : 0;
}

uint8_t storedTypeCode(int32_t v) {
  if (v >= 0 && v <= 5) return static_cast<uint8_t>(v ^ 1);
  return static_cast<uint8_t>(v == 7 ? 7 : 6);
}

int32_t typeOfStoredCode(uint8_t code) {
  if (code <= 5) return code ^ 1;
  return code == 6 || code == 7 ? code : 255;
}

std::string encodeInfo(int32_t version, const E::FileInfo& /*fileInfo*/, const E::DataInfo& d) {
  const InfoLayout* l = layoutOf(version);
  if (!l) return {};
  std::string out(l->bytes, '\0');
  uint8_t* p = reinterpret_cast<uint8_t*>(out.data());
  const double vscale = verticalInTime(d) ? d.vertUnit.factor * 1000.0 : 1.0;
  const double first[3] = {d.annotStart[0], d.annotStart[1], d.annotStart[2] * vscale};
  const double inc[3] = {d.annotInc[0], d.annotInc[1], d.annotInc[2] * vscale};
  for (int a = 0; a < 3; ++a) {
    putInt(p + l->sizeAt + a * l->sizeWidth, l->sizeWidth, d.size[a]);
    putInt(p + l->firstAt + a * l->firstWidth, l->firstWidth, first[a]);
    putInt(p + l->incAt + a * l->incWidth, l->incWidth, inc[a]);
  }
  double scale = 1.0;
  const uint8_t unit = horzUnitCode(d, &scale);
  const E::OrderedCornerPoints corners(d);
  for (int c = 0; c < 4; ++c) {
    const auto& e = corners.elements[c];
    putInt(p + l->cornerInlineAt + c * l->cornerWidth, l->cornerWidth, e.inlineAnnot);
    putInt(p + l->cornerCrosslineAt + c * l->cornerWidth, l->cornerWidth, e.crosslineAnnot);
    Le::putF64(p + l->xAt + c * 8, d.corners[c][0] * scale);
    Le::putF64(p + l->yAt + c * 8, d.corners[c][1] * scale);
  }
  p[l->typeAt] = storedTypeCode(d.sourceType);
  if (l->unitAt >= 0) p[l->unitAt] = unit;
  return out;
}

void decodeInfo(int32_t version, const uint8_t* p, E::FileInfo& fileInfo, E::DataInfo& info) {
  const InfoLayout* l = layoutOf(version);
  E::DataInfo d;
  if (!l) {
    info = d;
    return;
  }
  int32_t size[3];
  float first[3], inc[3];
  for (int a = 0; a < 3; ++a) {
    size[a] = std::max(0, getSize(p + l->sizeAt + a * l->sizeWidth, l->sizeWidth));
    first[a] = static_cast<float>(getSigned(p + l->firstAt + a * l->firstWidth, l->firstWidth));
    const uint8_t* at = p + l->incAt + a * l->incWidth;
    inc[a] = static_cast<float>(l->incWidth == 1 ? *at : Le::getI16(at));
  }
  d.SetExtent(first[0], inc[0], size[0], first[1], inc[1], size[1], first[2], inc[2], size[2],
              true);
  d.SetSourceInfo("<no source name>", "<no source description>",
                  static_cast<E::DataTypeEnum::value_type>(typeOfStoredCode(p[l->typeAt])));
  d.SetVertDomain(E::VertDimEnum::Time, 0.001, "ms");
  for (int c = 0; c < 4; ++c) {
    d.corners[c][0] = Le::getF64(p + l->xAt + c * 8);
    d.corners[c][1] = Le::getF64(p + l->yAt + c * 8);
  }
  readHorzUnit(l->unitAt >= 0 ? p[l->unitAt] : uint8_t{1}, d);

  const int32_t bricks[3] = {bricksAlong(size[0]), bricksAlong(size[1]), bricksAlong(size[2])};
  const int levels = version == kNewestVersion ? pyramidLevels(bricks) : 1;
  fileInfo.SetFormat("Compressed TYQ", version, 1);
  fileInfo.SetBricked(size[0], size[1], size[2], kBrick, kBrick, kBrick, levels,
                      E::StorageOrderEnum::TraditionalTyq());
  fileInfo.SetCodingCompressed(fileInfo.compressionFactor, fileInfo.sqnr);
  info = std::move(d);
}

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
