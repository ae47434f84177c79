#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "bricked/format.h"
#include "core/endian.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {
namespace {

namespace E = FileAccess;

const uint8_t* bytes(const std::string& s) {
  return reinterpret_cast<const uint8_t*>(s.data());
}
int32_t i32At(const std::string& s, size_t at) {
  return Le::getI32(bytes(s) + at);
}
float f32At(const std::string& s, size_t at) {
  return Le::getF32(bytes(s) + at);
}
double f64At(const std::string& s, size_t at) {
  return Le::getF64(bytes(s) + at);
}

void setCorners(E::DataInfo& d, const double (&c)[4][2]) {
  std::memcpy(d.corners, c, sizeof c);
}

E::FileInfo int16File() {
  E::FileInfo f;
  f.SetBricked(50, 40, 500, 64, 64, 64, 0, E::StorageOrderEnum::TraceOptimized());
  f.SetCodingUncompressed(E::DataTypeEnum::Int16, -5.0f, 5.0f);
  return f;
}

// Inline annotations 100.7 .. 198.7, crosslines -20.9 .. 96.1.
E::DataInfo fractionalSurvey() {
  E::DataInfo d;
  d.SetExtent(100.7f, 2.0f, 50, -20.9f, 3.0f, 40, 1.5f, 4.0f, 500, true);
  d.SetVertDomain(E::VertDimEnum::Time, 0.001, "ms");
  d.SetHorzDomain("", E::HorzDimEnum::Length, 1.0, "m");
  setCorners(d, {{1, 2}, {3, 4}, {5, 6}, {7, 8}});
  return d;
}

TEST(FormatInfoV1, FieldsLandAtTheirOffsets) {
  const std::string out = encodeInfoV1(int16File(), fractionalSurvey());
  ASSERT_EQ(out.size(), kV1InfoSize);
  const int32_t ints[] = {50,  40,  500,  // sizes
                          100, -20,       // starts truncated toward zero
                          1,              // 1.5 ms * 0.001 * 1000
                          2,   3,   4};
  for (int n = 0; n < 9; ++n) EXPECT_EQ(i32At(out, 4 * n), ints[n]) << "int " << n;
  for (size_t at : {36, 40, 44}) EXPECT_EQ(f32At(out, at), 1.0f);
  const int32_t inlines[] = {100, 198, 100, 198};
  const int32_t crosslines[] = {-20, -20, 96, 96};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(i32At(out, 48 + 4 * k), inlines[k]) << k;
    EXPECT_EQ(i32At(out, 64 + 4 * k), crosslines[k]) << k;
    EXPECT_EQ(f64At(out, 80 + 8 * k), 1.0 + 2 * k) << k;
    EXPECT_EQ(f64At(out, 112 + 8 * k), 2.0 + 2 * k) << k;
  }
  EXPECT_EQ(out[144], 2);  // 16-bit signed
  EXPECT_EQ(out[145], 1);  // metres
}

TEST(FormatInfoV1, VerticalValuesAndOutOfRangeNumbers) {
  E::DataInfo d = fractionalSurvey();
  d.annotStart[2] = 0.0125f;
  d.SetVertDomain(E::VertDimEnum::Time, 1.0, "s");
  EXPECT_EQ(i32At(encodeInfoV1(int16File(), d), 20), 12);
  // Read back in milliseconds, values are stored unchanged on every later save.
  d.SetVertDomain(E::VertDimEnum::Time, 0.001, "ms");
  for (float ms : {12.0f, 8192005.0f, -16777216.0f}) {
    d.annotStart[2] = ms;
    EXPECT_EQ(i32At(encodeInfoV1(int16File(), d), 20), static_cast<int32_t>(ms)) << ms;
  }
  d.annotStart[0] = std::numeric_limits<float>::quiet_NaN();
  d.annotStart[1] = 1e20f;
  d.annotInc[0] = -std::numeric_limits<float>::infinity();
  d.SetVertDomain(E::VertDimEnum::Time, 1e300, "");  // no float holds the factor
  E::FileInfo f = int16File();
  f.dataType = E::DataTypeEnum::Get(9);
  const std::string out = encodeInfoV1(f, d);
  EXPECT_EQ(i32At(out, 12), 0);
  EXPECT_EQ(i32At(out, 16), INT32_MAX);
  EXPECT_EQ(i32At(out, 20), INT32_MIN);
  EXPECT_EQ(i32At(out, 24), INT32_MIN);
  EXPECT_EQ(out[144], 6);
}

TEST(FormatInfoV1, HorizontalUnitCodes) {
  struct Case {
    E::HorzDimEnum::value_type dimension;
    double factor;
    uint8_t code;
    double xWritten;  // for a stored x of 1
  };
  const Case cases[] = {{E::HorzDimEnum::Length, 1.0, 1, 1.0},
                        {E::HorzDimEnum::Length, 0.3048, 2, 1.0},
                        {E::HorzDimEnum::Length, 2.0, 1, 2.0},
                        {E::HorzDimEnum::ArcAngle, 1.0, 3, 1.0},
                        {E::HorzDimEnum::ArcAngle, 3600.0, 4, 1.0},
                        {E::HorzDimEnum::ArcAngle, 60.0, 3, 60.0},
                        {E::HorzDimEnum::Unknown, 2.0, 0, 1.0},
                        {static_cast<E::HorzDimEnum::value_type>(7), 2.0, 0, 1.0}};
  for (const Case& c : cases) {
    E::DataInfo d = fractionalSurvey();
    d.SetHorzDomain("", c.dimension, c.factor, "u");
    const std::string out = encodeInfoV1(int16File(), d);
    EXPECT_EQ(out[145], c.code) << c.dimension << " " << c.factor;
    EXPECT_EQ(f64At(out, 80), c.xWritten) << c.dimension << " " << c.factor;
    EXPECT_EQ(f64At(out, 112 + 24), 8.0 * c.xWritten) << c.dimension << " " << c.factor;
  }
}

// A version-1 block as an old writer left it: 10 x 20 x 30 samples, inlines
// 1000..1009, crosslines 2000..2038 step 2, world x = 500000 + 10 * (il - 1000),
// y = 6e6 + 25 * (xl - 2000).
struct V1Block {
  uint8_t b[kV1InfoSize] = {};
  V1Block() {
    const int32_t head[] = {10, 20, 30, 1000, 2000, 8, 1, 2, 4};
    for (int n = 0; n < 9; ++n) Le::putI32(b + 4 * n, head[n]);
    const int32_t inlines[] = {1000, 1009, 1000, 0}, crosslines[] = {2000, 2000, 2038, 0};
    const double x[] = {500000, 500090, 500000, 0}, y[] = {6e6, 6e6, 6e6 + 950, 0};
    for (int k = 0; k < 4; ++k) {
      Le::putI32(b + 48 + 4 * k, inlines[k]);
      Le::putI32(b + 64 + 4 * k, crosslines[k]);
      Le::putF64(b + 80 + 8 * k, x[k]);
      Le::putF64(b + 112 + 8 * k, y[k]);
    }
    b[144] = 200;
    b[145] = 2;
  }
};

TEST(FormatInfoV1, ReadingFillsTheFixedParts) {
  V1Block block;
  E::FileInfo f;
  f.SetBasic("keep.tyq", 4096);
  E::DataInfo d;
  d.statCount = 9;
  decodeInfoV1(block.b, f, d);
  EXPECT_EQ(f.fileName, "keep.tyq");
  EXPECT_EQ(f.brickSize[0], 64);
  EXPECT_EQ(f.numberOfLods, 1);
  EXPECT_EQ(f.dataType, E::DataTypeEnum::Get(255));
  EXPECT_EQ(d.sourceName, "<no source name>");
  EXPECT_EQ(d.sourceType, E::DataTypeEnum::Get(255));
  EXPECT_EQ(d.annotStart[2], 8.0f);  // as stored, in milliseconds
  EXPECT_EQ(d.regionSize[2], 30);
  EXPECT_EQ(d.annotBox[4], 40.0f);
  EXPECT_EQ(d.statCount, 0);
  EXPECT_EQ(d.vertUnit, E::Unit(0.001, "ms"));
  EXPECT_EQ(d.horzUnit, E::Unit(0.3048, "ft"));
  // Corners 0..2 as stored; the fourth (stored as 0, 0) follows from the map.
  EXPECT_EQ(d.corners[1][0], 500090.0);
  EXPECT_EQ(d.corners[2][1], 6e6 + 950);
  EXPECT_NEAR(d.corners[3][0], 500090.0, 1e-6);
  EXPECT_NEAR(d.corners[3][1], 6e6 + 950, 1e-6);
}

TEST(FormatInfoV1, PackedDegreesMinutesSeconds) {
  V1Block block;
  block.b[145] = 5;
  const double x[] = {1234530.5, 1240000.0, 1234530.5}, y[] = {-451500.25, -451500.25, -452000};
  for (int k = 0; k < 3; ++k) {
    Le::putF64(block.b + 80 + 8 * k, x[k]);
    Le::putF64(block.b + 112 + 8 * k, y[k]);
  }
  E::FileInfo f;
  E::DataInfo d;
  decodeInfoV1(block.b, f, d);
  EXPECT_EQ(d.horzDimension, E::HorzDimEnum::ArcAngle);
  EXPECT_EQ(d.horzUnit.factor, 3600.0);
  EXPECT_DOUBLE_EQ(d.corners[0][0], 123 + 45 / 60.0 + 30.5 / 3600);
  EXPECT_DOUBLE_EQ(d.corners[0][1], -(45 + 15 / 60.0 + 0.25 / 3600));
  EXPECT_DOUBLE_EQ(d.corners[1][0], 124.0);
  EXPECT_DOUBLE_EQ(d.corners[2][1], -(45 + 20 / 60.0));
  block.b[145] = 9;
  decodeInfoV1(block.b, f, d);
  EXPECT_EQ(d.horzUnit, E::Unit(1.0, "<unknown>"));
}

// Inlines 100..198 step 2, crosslines 200..317 step 3; world x = 10 il + 5000,
// y = 10 xl + 9000.
E::DataInfo distinctSurvey() {
  E::DataInfo d;
  uint8_t ids[3][16];
  for (int n = 0; n < 3; ++n) std::memset(ids[n], 0x11 * (n + 1), 16);
  d.SetId(ids[0], ids[1], ids[2], 9);
  d.SetSourceInfo("src", "desc", E::DataTypeEnum::UInt8);
  d.SetExtent(100, 2, 50, 200, 3, 40, 1000, 4, 500, true);
  for (int a = 0; a < 3; ++a) d.regionBegin[a] = 1 + a;
  d.SetStatistics(77, 1.5, 2.5, -1.0f, 1.0f);
  setCorners(d, {{6000, 11000}, {6980, 11000}, {6000, 12170}, {6980, 12170}});
  d.SetHorzDomain("CRS", E::HorzDimEnum::Length, 0.3048, "ft");
  d.SetVertDomain(E::VertDimEnum::Depth, 1.0, "m");
  return d;
}

E::FileInfo unevenBricks() {
  E::FileInfo f = int16File();
  f.SetBricked(50, 40, 500, 64, 32, 16, 0, E::StorageOrderEnum::TraceOptimized());
  return f;
}

TEST(FormatInfoV23, FieldsLandAtTheirOffsets) {
  const std::string out = encodeInfoV23(unevenBricks(), distinctSurvey());
  ASSERT_EQ(out.size(), kV23InfoFixedSize + 18);
  for (auto [at, v] : {std::pair<size_t, int32_t>{0, 64},
                       {4, 32},
                       {8, 16},
                       {94, 50},
                       {102, 500},
                       {106, 1},
                       {114, 3},
                       {118, 50},
                       {126, 500},
                       {333, 18}}) {
    EXPECT_EQ(i32At(out, at), v) << "offset " << at;
  }
  for (auto [at, v] : {std::pair<size_t, float>{13, -5},
                       {17, 5},
                       {70, 100},
                       {78, 1000},
                       {82, 2},
                       {90, 4},
                       {154, -1},
                       {158, 1},
                       {162, 100},
                       {182, 2000},
                       {219, 100},
                       {223, 198},
                       {235, 200},
                       {247, 317}}) {
    EXPECT_EQ(f32At(out, at), v) << "offset " << at;
  }
  for (auto [at, v] : {std::pair<size_t, double>{138, 1.5},
                       {146, 2.5},
                       {251, 6000},
                       {259, 6980},
                       {283, 11000},
                       {307, 12170},
                       {316, 0.3048},
                       {325, 1.0}}) {
    EXPECT_EQ(f64At(out, at), v) << "offset " << at;
  }
  EXPECT_EQ(Le::getI64(bytes(out) + 130), 77);
  const std::pair<size_t, int> bytesAt[] = {{12, 2},  {21, 0x11}, {37, 0x22}, {68, 0x33}, {69, 1},
                                            {186, 3}, {187, 0},   {218, 0},   {315, 1},   {324, 1}};
  for (auto [at, v] : bytesAt) EXPECT_EQ(out[at], v) << "offset " << at;
  EXPECT_EQ(out.substr(337), std::string("src\0desc\0CRS\0ft\0m\0", 18));

  // Codes outside their range, and five empty strings.
  E::FileInfo f = unevenBricks();
  f.dataType = E::DataTypeEnum::Get(12);
  E::DataInfo d;
  d.sourceType = E::DataTypeEnum::Get(40);
  d.horzDimension = static_cast<E::HorzDimEnum::value_type>(7);
  d.vertDimension = static_cast<E::VertDimEnum::value_type>(9);
  const std::string odd = encodeInfoV23(f, d);
  EXPECT_EQ(odd.size(), 342u);
  EXPECT_EQ(std::string({odd[12], odd[69], odd[315], odd[324]}), std::string("\6\6\0\0", 4));
}

bool decodeV23(const std::string& block, E::FileInfo& f, E::DataInfo& d) {
  return decodeInfoV23(bytes(block), bytes(block) + kV23InfoFixedSize,
                       block.size() - kV23InfoFixedSize, f, d);
}

TEST(FormatInfoV23, ReadingDerivesGeometryRangeAndCorners) {
  std::string block = encodeInfoV23(unevenBricks(), distinctSurvey());
  E::FileInfo f;
  E::DataInfo d;
  ASSERT_TRUE(decodeV23(block, f, d));
  EXPECT_EQ(f.brickCount[1], 2);
  EXPECT_EQ(f.numberOfLods, 6);  // 32 bricks vertically
  EXPECT_EQ(f.valueMin, -5.0f);
  EXPECT_EQ(d.updateCounter, 1);
  EXPECT_EQ(d.coordinateSystem, "CRS");
  EXPECT_EQ(d.vertUnit, E::Unit(1.0, "m"));
  EXPECT_EQ(d.previousDataId[15], 0x33);
  EXPECT_NEAR(d.corners[3][0], 6980.0, 1e-9);
  EXPECT_NEAR(d.corners[3][1], 12170.0, 1e-9);

  for (uint8_t mode : {0, 2, 4}) {
    block[186] = static_cast<char>(mode);
    ASSERT_TRUE(decodeV23(block, f, d));
    EXPECT_EQ(d.corners[1][0], mode == 2 ? 6980.0 : 0.0) << int(mode);
  }
  // Float files written without a coding range keep it in the statistics.
  for (auto type :
       {E::DataTypeEnum::Float32, E::DataTypeEnum::IbmFloat32, E::DataTypeEnum::Int16}) {
    f = unevenBricks();
    f.SetCodingUncompressed(type, 0.0f, 0.0f);
    ASSERT_TRUE(decodeV23(encodeInfoV23(f, distinctSurvey()), f, d));
    EXPECT_EQ(f.valueMax, type == E::DataTypeEnum::Int16 ? 0.0f : 1.0f) << type;
  }
}

TEST(FormatInfoV23, StringsBlockMustBeExactlyFiveStrings) {
  const std::string fixed =
      encodeInfoV23(unevenBricks(), E::DataInfo()).substr(0, kV23InfoFixedSize);
  for (const std::string& strings :
       {std::string("a\0b\0c\0d\0", 8), std::string("a\0b\0c\0d\0e\0f\0", 12),
        std::string("a\0b\0c\0d\0ee", 10), std::string()}) {
    std::string block = fixed + strings;
    Le::putU32(reinterpret_cast<uint8_t*>(block.data()) + 333,
               static_cast<uint32_t>(strings.size()));
    E::FileInfo f;
    E::DataInfo d;
    d.sourceName = "untouched";
    EXPECT_FALSE(decodeV23(block, f, d)) << strings.size();
    EXPECT_EQ(d.sourceName, "untouched");
    EXPECT_EQ(f.brickSize[0], 0);
  }
  const std::string good = fixed + std::string(5, '\0');
  E::FileInfo f;
  E::DataInfo d;
  EXPECT_TRUE(decodeV23(good, f, d));
  EXPECT_FALSE(decodeInfoV23(bytes(good), bytes(good) + kV23InfoFixedSize, 4, f, d));
  EXPECT_FALSE(stringsLengthPlausibleV23(4, 1 << 20));
  EXPECT_TRUE(stringsLengthPlausibleV23(5, 351));
  EXPECT_FALSE(stringsLengthPlausibleV23(5, 350));

  // An embedded zero would make a sixth string: the string ends there.
  d = distinctSurvey();
  d.sourceName = std::string("ab\0cd", 5);
  const std::string cut = encodeInfoV23(unevenBricks(), d);
  EXPECT_EQ(stringsLengthV23(d), 17u);
  EXPECT_EQ(cut.size(), kV23InfoFixedSize + 17);
  ASSERT_TRUE(decodeV23(cut, f, d));
  EXPECT_EQ(d.sourceName, "ab");
}

// ---------------------------------------------------------------------------
// Saving re-reads what it wrote; a second save must change nothing more.

struct Records {
  E::FileInfo file;
  E::DataInfo data;
  E::Histogram hist;
};

Records normalized(Records r, int version) {
  if (version == 1) {
    const std::string info = encodeInfoV1(r.file, r.data);
    const std::string hist = encodeHistV1(r.hist, r.file);
    decodeInfoV1(bytes(info), r.file, r.data);
    decodeHistV1(bytes(hist), r.hist, r.file, r.data);
  } else {
    EXPECT_TRUE(decodeV23(encodeInfoV23(r.file, r.data), r.file, r.data));
    decodeHistV23(bytes(encodeHistV23(r.hist)), r.hist);
  }
  return r;
}

Records typicalSurvey() {
  Records r;
  r.file = int16File();
  r.file.SetCodingUncompressed(E::DataTypeEnum::Int8, -1.0f, 1.0f);
  r.data.SetExtent(1000.25f, 1.0f, 300, 2000.0f, 2.0f, 200, 0.0125f, 0.004f, 1500, false);
  r.data.SetVertDomain(E::VertDimEnum::Time, 1.0, "s");
  r.data.SetHorzDomain("ED50", E::HorzDimEnum::Length, 2.0, "yd2");
  r.data.SetStatistics(1234, 5.5, 66.25, -0.75f, 0.5f);
  // Not a parallelogram: the fourth corner cannot survive a three-point map.
  setCorners(r.data,
             {{512345.123, 6012345.456}, {512644.7, 6012348.3}, {512346.9, 6012745.1}, {123, 456}});
  r.hist = E::Histogram(99, -0.5f, 0.7f);
  for (int k = 0; k < 256; ++k) r.hist.bins[k] = (k * 7919) % 1000;
  r.hist.bins[200] = int64_t{1} << 35;
  return r;
}

// One inline, fractional increments (integers in version 1), odd codes.
Records degenerateSurvey() {
  Records r;
  r.file = int16File();
  r.file.SetCodingUncompressed(E::DataTypeEnum::Float32, 0.0f, 0.0f);
  r.data.SetExtent(10.5f, 0.5f, 1, 20.0f, 0.25f, 70, 3.0f, 4.0f, 10, true);
  r.data.SetSourceInfo(std::string("na\0me", 5), "d", E::DataTypeEnum::Get(77));
  r.data.SetHorzDomain("", static_cast<E::HorzDimEnum::value_type>(9), 60.0, "x");
  r.data.SetVertDomain(E::VertDimEnum::Depth, 0.3048, "ft");
  r.data.SetStatistics(5, 1, 1, -2.0f, 3.0f);
  setCorners(r.data, {{1.1, 2.2}, {1.1, 2.2}, {7.7, 8.8}, {7.7, 8.8}});
  r.hist = E::Histogram(5, 1.0f, 1.0f);
  r.hist.bins[3] = 5;
  return r;
}

TEST(FormatNormalize, SecondRoundTripChangesNothing) {
  for (int version : {1, 3}) {
    for (const Records& input : {typicalSurvey(), degenerateSurvey()}) {
      const Records once = normalized(input, version);
      const Records twice = normalized(once, version);
      EXPECT_EQ(twice.file, once.file) << "version " << version;
      EXPECT_EQ(twice.data, once.data) << "version " << version;
      EXPECT_EQ(twice.hist, once.hist) << "version " << version;
    }
    Records line = degenerateSurvey();
    line.data.annotInc[1] = 1.0f;  // one inline, crosslines 20..89
    const Records once = normalized(line, version);
    EXPECT_EQ(once.data.corners[0][0], 1.1) << "end points of a single line, " << version;
    EXPECT_EQ(once.data.corners[3][1], 8.8) << "end points of a single line, " << version;
  }
}

// Corners solved from three tie points and applied again move by rounding
// unless the stored ones are kept.
TEST(FormatNormalize, CornersOfManySurveysDoNotDrift) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (int n = 0; n < 300; ++n) {
    Records r = typicalSurvey();
    const int32_t inlines = 100 + static_cast<int32_t>(u(rng) * 2000);
    const int32_t crosslines = 100 + static_cast<int32_t>(u(rng) * 2000);
    r.data.SetExtent(std::floor(u(rng) * 5000), 1 + std::floor(u(rng) * 4), inlines,
                     std::floor(u(rng) * 5000), 1 + std::floor(u(rng) * 4), crosslines, 0, 4, 100,
                     true);
    r.data.SetHorzDomain("", E::HorzDimEnum::Length, 1.0, "m");
    const double x0 = 4e5 + u(rng) * 3e5, y0 = 6e6 + u(rng) * 1e6;
    const double ix = u(rng) * 30, iy = -u(rng) * 30, cx = u(rng) * 30, cy = u(rng) * 30;
    const double li = inlines - 1, lc = crosslines - 1;
    setCorners(r.data, {{x0, y0},
                        {x0 + ix * li, y0 + iy * li},
                        {x0 + cx * lc, y0 + cy * lc},
                        {x0 + ix * li + cx * lc, y0 + iy * li + cy * lc}});
    for (int version : {1, 3}) {
      const Records once = normalized(r, version);
      ASSERT_EQ(normalized(once, version).data, once.data) << "survey " << n << " v" << version;
    }
  }
}

// ---------------------------------------------------------------------------

template <size_t N>
void scramble(std::mt19937& rng, uint8_t (&b)[N]) {
  for (uint8_t& v : b) v = static_cast<uint8_t>(rng());
  // Values that break careless conversions, at random places.
  const double specials[] = {std::nan(""), INFINITY, -INFINITY, 1e300, -1e300, 4e9, -3e18, 5e-324};
  for (int n = 0; n < 6; ++n) {
    const size_t at = rng() % (N - 8);
    const double v = specials[rng() % std::size(specials)];
    if (rng() % 2) {
      Le::putF64(b + at, v);
    } else {
      Le::putF32(b + at, static_cast<float>(std::fmax(std::fmin(v, 3e38), -3e38)));
    }
  }
}

TEST(FormatDecoders, ArbitraryBytesDecodeAndReencode) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 3000; ++round) {
    E::FileInfo f;
    E::DataInfo d;
    E::Histogram h;
    uint8_t v1[kV1InfoSize], hist1[kV1HistSize], fixed[kV23InfoFixedSize];
    scramble(rng, v1);
    scramble(rng, hist1);
    decodeInfoV1(v1, f, d);
    decodeHistV1(hist1, h, f, d);
    ASSERT_EQ(encodeInfoV1(f, d).size(), kV1InfoSize);
    ASSERT_EQ(encodeHistV1(h, f).size(), kV1HistSize);

    scramble(rng, fixed);
    std::string strings(rng() % 24, 'a');
    for (char& c : strings) c = rng() % 3 ? 'a' : '\0';
    Le::putU32(fixed + 333, static_cast<uint32_t>(strings.size()));
    if (decodeInfoV23(fixed, bytes(strings), strings.size(), f, d)) {
      ASSERT_TRUE(decodeV23(encodeInfoV23(f, d), f, d));
    }
  }
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::Bricked
