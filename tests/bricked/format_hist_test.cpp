#include <gtest/gtest.h>

#include <string>

#include "bricked/format.h"
#include "core/endian.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {
namespace {

namespace E = FileAccess;

const uint8_t* bytes(const std::string& s) {
  return reinterpret_cast<const uint8_t*>(s.data());
}
uint32_t bin(const std::string& s, int k) {
  return Le::getU32(bytes(s) + 8 + 4 * k);
}

E::FileInfo coded(E::DataTypeEnum::value_type type, float min, float max) {
  E::FileInfo f;
  f.SetCodingUncompressed(type, min, max);
  return f;
}

E::Histogram flat(float min, float max, int64_t count) {
  E::Histogram h(256 * count, min, max);
  for (int64_t& b : h.bins) b = count;
  return h;
}

TEST(FormatHistV1, FloatFilesShiftOwnBinsIntoThirtyTwoBits) {
  E::Histogram h(0, -2.0f, 6.0f);
  h.bins[0] = (int64_t{1} << 33) + 3;  // two shifts bring it to 2^31
  h.bins[1] = 5;
  h.bins[2] = -9;  // no count, not a huge unsigned one
  const std::string out = encodeHistV1(h, coded(E::DataTypeEnum::Float32, 0.0f, 1.0f));
  ASSERT_EQ(out.size(), kV1HistSize);
  EXPECT_EQ(Le::getF32(bytes(out)), 6.0f);  // maximum first
  EXPECT_EQ(Le::getF32(bytes(out) + 4), -2.0f);
  EXPECT_EQ(bin(out, 0), 1u << 31);
  EXPECT_EQ(bin(out, 1), 1u);
  EXPECT_EQ(bin(out, 2), 0u);
  h.bins[0] = UINT32_MAX;  // fits as it is
  EXPECT_EQ(bin(encodeHistV1(h, coded(E::DataTypeEnum::Float32, 0, 0)), 1), 5u);

  const std::string empty =
      encodeHistV1(flat(3.0f, 3.0f, 100), coded(E::DataTypeEnum::Int8, -1, 1));
  for (int k = 0; k < 256; ++k) ASSERT_EQ(bin(empty, k), 0u) << k;
}

TEST(FormatHistV1, IntegerFilesRebinIntoTheCodingRange) {
  E::Histogram h(0, 0.0f, 255.0f);
  for (int k = 0; k < 256; ++k) h.bins[k] = 1000 + k;
  EXPECT_EQ(bin(encodeHistV1(h, coded(E::DataTypeEnum::UInt8, 0.0f, 255.0f)), 17), 1017u);

  const std::string wide = encodeHistV1(h, coded(E::DataTypeEnum::UInt8, 0.0f, 510.0f));
  EXPECT_EQ(Le::getF32(bytes(wide)), 510.0f);
  EXPECT_EQ(bin(wide, 0), 1000u + 1001u);
  EXPECT_EQ(bin(wide, 127), 1254u + 1255u);
  EXPECT_EQ(bin(wide, 128), 0u);

  // Half as wide: half a histogram bin each (float rounding may cost one).
  const std::string narrow =
      encodeHistV1(flat(0.0f, 255.0f, 1000), coded(E::DataTypeEnum::UInt8, 0.0f, 127.5f));
  for (int j : {0, 1, 100, 255}) EXPECT_NEAR(bin(narrow, j), 500.0, 1.0) << j;
}

TEST(FormatHistV1, RebinningCountsEveryBinAtMostOnce) {
  // Ten histogram bins per written bin: the one reaching past the top holds six.
  const auto h = flat(0.0f, 255.0f, 100);
  const std::string wide = encodeHistV1(h, coded(E::DataTypeEnum::Int16, 0.0f, 2550.0f));
  EXPECT_NEAR(bin(wide, 0), 1000.0, 1.0);
  EXPECT_NEAR(bin(wide, 25), 600.0, 1.0);
  EXPECT_EQ(bin(wide, 26), 0u);
  // Straddling the bottom by a whole histogram bin still holds bin 0.
  const std::string low = encodeHistV1(h, coded(E::DataTypeEnum::Int16, -3.0f, 507.0f));
  EXPECT_EQ(bin(low, 0), 0u);
  EXPECT_NEAR(bin(low, 1), 100.0, 1.0);
  EXPECT_NEAR(bin(low, 2), 200.0, 1.0);
  // Merged bins beyond 32 bits saturate rather than wrap.
  const std::string full =
      encodeHistV1(flat(0.0f, 255.0f, UINT32_MAX), coded(E::DataTypeEnum::Int16, 0.0f, 2550.0f));
  EXPECT_EQ(bin(full, 0), UINT32_MAX);
}

TEST(FormatHist, ReadingBothVersions) {
  uint8_t in[kV1HistSize] = {};
  Le::putF32(in, 9.5f);
  Le::putF32(in + 4, -0.5f);
  Le::putU32(in + 8, UINT32_MAX);
  E::Histogram h(55, 0, 0);
  E::FileInfo f;
  E::DataInfo d;
  decodeHistV1(in, h, f, d);
  EXPECT_EQ(h.count, 0);
  EXPECT_EQ(h.min, -0.5f);
  EXPECT_EQ(h.max, 9.5f);
  EXPECT_EQ(h.bins[0], int64_t{UINT32_MAX});
  EXPECT_EQ(f.valueMin, -0.5f);
  EXPECT_EQ(d.statMax, 9.5f);

  h = E::Histogram(int64_t{1} << 40, -1.5f, 2.5f);
  h.bins[255] = -3;
  const std::string v23 = encodeHistV23(h);
  ASSERT_EQ(v23.size(), kV23HistSize);
  EXPECT_EQ(Le::getI64(bytes(v23)), int64_t{1} << 40);
  EXPECT_EQ(Le::getF32(bytes(v23) + 12), 2.5f);
  EXPECT_EQ(Le::getI64(bytes(v23) + 16 + 8 * 255), -3);
  E::Histogram back;
  decodeHistV23(bytes(v23), back);
  EXPECT_EQ(back, h);
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::Bricked
