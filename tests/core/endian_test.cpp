#include "core/endian.h"

#include <gtest/gtest.h>

#include <string>

#include "core/random_id.h"

namespace Qra::Ostrel::Tyq::Private {
namespace {

TEST(Endian, ByteOrderOfEveryWidth) {
  std::string out;
  Le::Writer w(out);
  w.i16(0x0102);
  w.i32(5456470);  // "VBS\0"
  w.i64(0x0102030405060708LL);
  w.i64HighFirst(0x0102030405060708LL);
  w.f32(1.0f);
  w.f64(-2.0);
  const std::string expected(
      "\x02\x01"
      "VBS\0"
      "\x08\x07\x06\x05\x04\x03\x02\x01"
      "\x04\x03\x02\x01\x08\x07\x06\x05"
      "\x00\x00\x80\x3f"
      "\x00\x00\x00\x00\x00\x00\x00\xc0",
      34);
  EXPECT_EQ(out, expected);

  Le::Reader r(reinterpret_cast<const uint8_t*>(out.data()), out.size());
  EXPECT_EQ(r.i16(), 0x0102);
  EXPECT_EQ(r.i32(), 5456470);
  EXPECT_EQ(r.i64(), 0x0102030405060708LL);
  EXPECT_EQ(r.i64HighFirst(), 0x0102030405060708LL);
  EXPECT_EQ(r.f32(), 1.0f);
  EXPECT_EQ(r.f64(), -2.0);
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.remaining(), 0u);
}

TEST(Endian, ReaderStopsAtEndAndStaysFailed) {
  const uint8_t bytes[6] = {1, 0, 0, 0, 9, 9};
  Le::Reader r(bytes, sizeof bytes);
  EXPECT_EQ(r.i32(), 1);
  EXPECT_EQ(r.i32(), 0);  // only two bytes left
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.u8(), 0);  // no partial recovery after a short read
  EXPECT_EQ(r.remaining(), 2u);
}

TEST(RandomId, DrawsDistinctVersion4Ids) {
  uint8_t a[16], b[16];
  ASSERT_TRUE(newRandomId(a, nullptr));
  ASSERT_TRUE(newRandomId(b, nullptr));
  EXPECT_NE(std::string(a, a + 16), std::string(b, b + 16));
  EXPECT_EQ(a[6] >> 4, 4);
  EXPECT_EQ(a[8] >> 6, 2);
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private
