#include <cfloat>
#include <cmath>

#include "bricked/format.h"
#include "core/endian.h"
#include "tyq/geometry.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {

namespace E = FileAccess;

namespace {

constexpr int32_t kV1BrickSize = 64;

// Vertical values are stored in thousandths of the unit's base (milliseconds
// for time). The scale is formed first: a stored value read back in "ms"
// then has scale exactly 1 and survives every later save unchanged. Scaling
// the value by the factor first and by 1000 afterwards drifts by one for
// values above about 8.2e6, once per save.
int32_t verticalToStored(float value, double unitFactor) {
  const float scale = toFloatOrInfinity(unitFactor) * 1000.0f;
  return truncToInt32(value * scale);
}

struct HorzCoding {
  uint8_t code;
  bool scaleCoordinates;
};

HorzCoding horzCoding(E::EnumClass<E::HorzDimEnum> dimension, double factor) {
  if (dimension == E::HorzDimEnum::Length) {
    if (factor == 1.0) return {1, false};
    if (factor == 0.3048) return {2, false};
    return {1, true};
  }
  if (dimension == E::HorzDimEnum::ArcAngle) {
    if (factor == 1.0) return {3, false};
    if (factor == 3600.0) return {4, false};
    return {3, true};
  }
  return {0, false};
}

void writeCorners(Le::Writer& w, const E::DataInfo& info, const HorzCoding& coding) {
  const E::OrderedCornerPoints corners(info);
  for (const auto& e : corners.elements) w.i32(truncToInt32(e.inlineAnnot));
  for (const auto& e : corners.elements) w.i32(truncToInt32(e.crosslineAnnot));
  const double f = info.horzUnit.factor;
  for (const auto& e : corners.elements) w.f64(coding.scaleCoordinates ? e.x * f : e.x);
  for (const auto& e : corners.elements) w.f64(coding.scaleCoordinates ? e.y * f : e.y);
}

}  // namespace

std::string encodeInfoV1(const E::FileInfo& fileInfo, const E::DataInfo& info) {
  std::string out;
  out.reserve(kV1InfoSize);
  Le::Writer w(out);
  for (int a = 0; a < 3; ++a) w.i32(info.size[a]);
  w.i32(truncToInt32(info.annotStart[0]));
  w.i32(truncToInt32(info.annotStart[1]));
  w.i32(verticalToStored(info.annotStart[2], info.vertUnit.factor));
  w.i32(truncToInt32(info.annotInc[0]));
  w.i32(truncToInt32(info.annotInc[1]));
  w.i32(verticalToStored(info.annotInc[2], info.vertUnit.factor));
  for (int a = 0; a < 3; ++a) w.f32(1.0f);
  const HorzCoding coding = horzCoding(info.horzDimension, info.horzUnit.factor);
  writeCorners(w, info, coding);
  w.u8(storedSampleType(fileInfo.dataType));
  w.u8(coding.code);
  return out;
}

namespace {

// Packed degrees, minutes and seconds (DDDMMSS.sss) to degrees.
double fromPackedDms(double c) {
  const int64_t whole = truncToInt64(c);
  const int64_t degrees = whole / 10000;
  const int64_t minutes = (whole % 10000) / 100;
  const double seconds =
      c - 10000.0 * static_cast<double>(degrees) - 100.0 * static_cast<double>(minutes);
  return seconds / 3600.0 + static_cast<double>(minutes) / 60.0 + static_cast<double>(degrees);
}

// Sets the horizontal domain of `code` and converts the stored coordinates
// to the unit it names.
void applyHorzCode(uint8_t code, E::DataInfo& info, double x[4], double y[4]) {
  switch (code) {
    case 1:
      info.SetHorzDomain("", E::HorzDimEnum::Length, 1.0, "m");
      return;
    case 2:
      info.SetHorzDomain("", E::HorzDimEnum::Length, 0.3048, "ft");
      return;
    case 3:
      info.SetHorzDomain("", E::HorzDimEnum::ArcAngle, 1.0, "arcsec");
      return;
    case 4:
      // Files and callers already know this spelling; it stays as it is.
      info.SetHorzDomain("", E::HorzDimEnum::ArcAngle, 3600.0, "argdeg");
      return;
    case 5:
      info.SetHorzDomain("", E::HorzDimEnum::ArcAngle, 3600.0, "arcdeg");
      for (int k = 0; k < 4; ++k) {
        x[k] = fromPackedDms(x[k]);
        y[k] = fromPackedDms(y[k]);
      }
      return;
    default:
      info.SetHorzDomain("", E::HorzDimEnum::Unknown, 1.0, "<unknown>");
      return;
  }
}

struct StoredV1 {
  int32_t size[3];
  int32_t start[3];
  int32_t inc[3];
  int32_t inlineAnnot[4];
  int32_t crosslineAnnot[4];
  double x[4];
  double y[4];
  uint8_t sampleType;
  uint8_t horzCode;
};

StoredV1 readStored(const uint8_t* in) {
  StoredV1 s;
  Le::Reader r(in, kV1InfoSize);
  for (int32_t& v : s.size) v = r.i32();
  for (int32_t& v : s.start) v = r.i32();
  for (int32_t& v : s.inc) v = r.i32();
  r.skip(12);  // three constant 1.0
  for (int32_t& v : s.inlineAnnot) v = r.i32();
  for (int32_t& v : s.crosslineAnnot) v = r.i32();
  for (double& v : s.x) v = r.f64();
  for (double& v : s.y) v = r.f64();
  s.sampleType = r.u8();
  s.horzCode = r.u8();
  return s;
}

float f(int32_t v) {
  return static_cast<float>(v);
}

}  // namespace

void decodeInfoV1(const uint8_t in[kV1InfoSize], E::FileInfo& fileInfo, E::DataInfo& info) {
  StoredV1 s = readStored(in);
  const auto type = E::DataTypeEnum::Get(s.sampleType > 7 ? 255 : s.sampleType);
  fileInfo.SetBricked(s.size[0], s.size[1], s.size[2], kV1BrickSize, kV1BrickSize, kV1BrickSize, 0,
                      E::StorageOrderEnum::TraceOptimized());
  fileInfo.SetCodingUncompressed(type, 0.0f, 0.0f);

  E::DataInfo d;
  d.SetSourceInfo("<no source name>", "<no source description>", type);
  d.SetExtent(f(s.start[0]), f(s.inc[0]), s.size[0], f(s.start[1]), f(s.inc[1]), s.size[1],
              f(s.start[2]), f(s.inc[2]), s.size[2], true);
  d.SetVertDomain(E::VertDimEnum::Time, 0.001, "ms");
  applyHorzCode(s.horzCode, d, s.x, s.y);
  const float inlineAnnot[3] = {f(s.inlineAnnot[0]), f(s.inlineAnnot[1]), f(s.inlineAnnot[2])};
  const float crosslineAnnot[3] = {f(s.crosslineAnnot[0]), f(s.crosslineAnnot[1]),
                                   f(s.crosslineAnnot[2])};
  cornersFromTiePoints(d, inlineAnnot, crosslineAnnot, s.x, s.y);
  info = std::move(d);
}

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
