#include <algorithm>
#include <string_view>

#include "bricked/format.h"
#include "core/endian.h"
#include "tyq/geometry.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {

namespace E = FileAccess;

namespace {

constexpr size_t kStringsLengthOffset = 333;
constexpr uint8_t kCornerModeWritten = 3;
constexpr size_t kReservedBytes = 32;
constexpr int kStrings = 5;
// Keeps the five strings together within the uint32 length field.
constexpr size_t kMaxStoredString = (UINT32_MAX - kStrings) / kStrings;

// A string is stored up to its first zero byte: the terminator is the only
// separator, so an embedded zero would make a sixth string and the block
// unreadable.
std::string_view storedString(const std::string& s) {
  std::string_view v(s);
  return v.substr(0, std::min(v.find('\0'), kMaxStoredString));
}

void storedStrings(const E::DataInfo& info, std::string_view out[kStrings]) {
  out[0] = storedString(info.sourceName);
  out[1] = storedString(info.sourceDescription);
  out[2] = storedString(info.coordinateSystem);
  out[3] = storedString(info.horzUnit.name);
  out[4] = storedString(info.vertUnit.name);
}

uint8_t storedHorzDim(int32_t d) {
  return static_cast<uint8_t>(d == 1 || d == 2 ? d : 0);
}
uint8_t storedVertDim(int32_t d) {
  return static_cast<uint8_t>(d >= 1 && d <= 3 ? d : 0);
}

void writeIdentity(Le::Writer& w, const E::FileInfo& fileInfo, const E::DataInfo& info) {
  for (int a = 0; a < 3; ++a) w.i32(fileInfo.brickSize[a]);
  w.u8(storedSampleType(fileInfo.dataType));
  w.f32(fileInfo.valueMin);
  w.f32(fileInfo.valueMax);
  w.bytes(info.fileId, 16);
  w.bytes(info.dataId, 16);
  w.bytes(info.previousDataId, 16);
  w.u8(storedSampleType(info.sourceType));
}

void writeExtentAndStatistics(Le::Writer& w, const E::DataInfo& info) {
  for (float v : info.annotStart) w.f32(v);
  for (float v : info.annotInc) w.f32(v);
  for (int32_t v : info.size) w.i32(v);
  for (int32_t v : info.regionBegin) w.i32(v);
  for (int32_t v : info.regionSize) w.i32(v);
  w.i64(info.statCount);
  w.f64(info.statSum);
  w.f64(info.statSumOfSquares);
  w.f32(info.statMin);
  w.f32(info.statMax);
  for (float v : info.annotBox) w.f32(v);
}

void writeCornersAndUnits(Le::Writer& w, const E::DataInfo& info) {
  w.u8(kCornerModeWritten);
  const uint8_t reserved[kReservedBytes] = {};
  w.bytes(reserved, kReservedBytes);
  const E::OrderedCornerPoints corners(info);
  for (const auto& e : corners.elements) w.f32(e.inlineAnnot);
  for (const auto& e : corners.elements) w.f32(e.crosslineAnnot);
  for (const auto& e : corners.elements) w.f64(e.x);
  for (const auto& e : corners.elements) w.f64(e.y);
  w.u8(storedHorzDim(info.horzDimension));
  w.f64(info.horzUnit.factor);
  w.u8(storedVertDim(info.vertDimension));
  w.f64(info.vertUnit.factor);
}

}  // namespace

uint32_t stringsLengthV23(const E::DataInfo& info) {
  std::string_view strings[kStrings];
  storedStrings(info, strings);
  size_t length = kStrings;
  for (std::string_view s : strings) length += s.size();
  return static_cast<uint32_t>(length);
}

std::string encodeInfoV23(const E::FileInfo& fileInfo, const E::DataInfo& info) {
  std::string_view strings[kStrings];
  storedStrings(info, strings);
  const uint32_t length = stringsLengthV23(info);
  std::string out;
  out.reserve(kV23InfoFixedSize + length);
  Le::Writer w(out);
  writeIdentity(w, fileInfo, info);
  writeExtentAndStatistics(w, info);
  writeCornersAndUnits(w, info);
  w.i32(static_cast<int32_t>(length));
  for (std::string_view s : strings) {
    w.bytes(s.data(), s.size());
    w.u8(0);
  }
  return out;
}

uint32_t stringsLengthV23(const uint8_t fixed[kV23InfoFixedSize]) {
  return Le::getU32(fixed + kStringsLengthOffset);
}

bool stringsLengthPlausibleV23(uint32_t length, int64_t fileSize) {
  const int64_t end = kV23InfoPos + static_cast<int64_t>(kV23InfoFixedSize) + length;
  return length >= kV23MinStringsLength && end <= fileSize;
}

namespace {

// Exactly five strings, each closed by a zero byte, filling the block.
bool splitStrings(const uint8_t* p, size_t n, std::string out[kStrings]) {
  int found = 0;
  size_t begin = 0;
  for (size_t i = 0; i < n; ++i) {
    if (p[i] != 0) continue;
    if (found == kStrings) return false;
    out[found++].assign(reinterpret_cast<const char*>(p + begin), i - begin);
    begin = i + 1;
  }
  return found == kStrings && begin == n;
}

E::HorzDimEnum::value_type horzDim(uint8_t d) {
  return static_cast<E::HorzDimEnum::value_type>(storedHorzDim(d));
}
E::VertDimEnum::value_type vertDim(uint8_t d) {
  return static_cast<E::VertDimEnum::value_type>(storedVertDim(d));
}

void readIdentity(Le::Reader& r, E::DataInfo& d) {
  r.skip(21);  // brick size, sample type and value range: see readFileInfo
  r.bytes(d.fileId, 16);
  r.bytes(d.dataId, 16);
  r.bytes(d.previousDataId, 16);
  d.updateCounter = 1;
  d.sourceType = E::DataTypeEnum::Get(r.u8());
}

void readExtentAndStatistics(Le::Reader& r, E::DataInfo& d) {
  for (float& v : d.annotStart) v = r.f32();
  for (float& v : d.annotInc) v = r.f32();
  for (int32_t& v : d.size) v = r.i32();
  for (int32_t& v : d.regionBegin) v = r.i32();
  for (int32_t& v : d.regionSize) v = r.i32();
  d.statCount = r.i64();
  d.statSum = r.f64();
  d.statSumOfSquares = r.f64();
  d.statMin = r.f32();
  d.statMax = r.f32();
  for (float& v : d.annotBox) v = r.f32();
}

// Modes 2 and 3 hold three usable tie points; any other leaves the corners 0.
void readCorners(Le::Reader& r, E::DataInfo& d) {
  const uint8_t mode = r.u8();
  r.skip(kReservedBytes);
  float inlineAnnot[4], crosslineAnnot[4];
  double x[4], y[4];
  for (float& v : inlineAnnot) v = r.f32();
  for (float& v : crosslineAnnot) v = r.f32();
  for (double& v : x) v = r.f64();
  for (double& v : y) v = r.f64();
  if (mode == 2 || mode == 3) cornersFromTiePoints(d, inlineAnnot, crosslineAnnot, x, y);
}

void readUnits(Le::Reader& r, E::DataInfo& d) {
  d.horzDimension = horzDim(r.u8());
  d.horzUnit.factor = r.f64();
  d.vertDimension = vertDim(r.u8());
  d.vertUnit.factor = r.f64();
}

void readFileInfo(const uint8_t* fixed, const E::DataInfo& d, E::FileInfo& fileInfo) {
  Le::Reader r(fixed, kV23InfoFixedSize);
  int32_t brick[3];
  for (int32_t& v : brick) v = r.i32();
  const auto type = E::DataTypeEnum::Get(r.u8());
  float min = r.f32();
  float max = r.f32();
  // Float files written without a coding range keep it in the statistics.
  if ((type == E::DataTypeEnum::Float32 || type == E::DataTypeEnum::IbmFloat32) && min == max) {
    min = d.statMin;
    max = d.statMax;
  }
  fileInfo.SetBricked(d.size[0], d.size[1], d.size[2], brick[0], brick[1], brick[2], 0,
                      E::StorageOrderEnum::TraceOptimized());
  fileInfo.SetCodingUncompressed(type, min, max);
}

}  // namespace

bool decodeInfoV23(const uint8_t fixed[kV23InfoFixedSize], const uint8_t* strings,
                   size_t stringsLength, E::FileInfo& fileInfo, E::DataInfo& info) {
  if (stringsLength != stringsLengthV23(fixed)) return false;
  std::string parts[kStrings];
  if (!splitStrings(strings, stringsLength, parts)) return false;

  E::DataInfo d;
  Le::Reader r(fixed, kV23InfoFixedSize);
  readIdentity(r, d);
  readExtentAndStatistics(r, d);
  readCorners(r, d);
  readUnits(r, d);
  d.sourceName = std::move(parts[0]);
  d.sourceDescription = std::move(parts[1]);
  d.coordinateSystem = std::move(parts[2]);
  d.horzUnit.name = std::move(parts[3]);
  d.vertUnit.name = std::move(parts[4]);
  readFileInfo(fixed, d, fileInfo);
  info = std::move(d);
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
