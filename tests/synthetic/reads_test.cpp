// Samples of synthetic volumes: the field, missing samples, conversion to the
// caller's type and scale, buffer layout, bricks, flags, and shared use.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "synthetic/synthetic_field.h"
#include "synthetic_text.h"

namespace tyq_synthetic_test {
namespace {

using E = FA::Error;
using Qra::Ostrel::Tyq::Private::Factory::IntegerSamples;

// The field written out independently, in double precision.
double Expected(double x, double y, double z, double lo, double hi) {
  const double pi = 3.14159265358979323846;
  const double a = std::sin(0.005 * y) * 2 * pi * std::sin(0.001 * x) * pi;
  const double b = std::sin(0.02 * y + pi / 2) * 0.7 * std::sin(0.01 * x + pi / 2) * 0.7 *
                   std::sin(0.03 * z + pi / 2) * 0.7;
  return (0.5 * std::sin(a + b * z) + 0.5) * (hi - lo) + lo;
}

// A volume of 70 x 50 x 90 samples.
MemoryReader Open(const std::string& range = "F32 -1 1", const std::string& bricks = "64 64 64",
                  const std::string& border = "0") {
  Description d;
  d.typeAndRange = range;
  d.bricks = bricks;
  d.border = border;
  return MemoryReader(d.Text());
}

template <typename T>
std::vector<T> Box(FA::Reader& r, int lod, int i0, int j0, int k0, int ni, int nj, int nk) {
  std::vector<T> out(static_cast<size_t>(ni) * nj * nk);
  Status status;
  EXPECT_TRUE(r.ReadData(lod, i0, j0, k0, ni, nj, nk, out.data(), &status)) << status.message();
  return out;
}

// Calls f(i, j, k, p) for every sample of a box of n samples, p being its
// place in a buffer with k fastest.
template <typename F>
void ForEach(const int n[3], F f) {
  for (int i = 0; i < n[0]; ++i) {
    for (int j = 0; j < n[1]; ++j) {
      for (int k = 0; k < n[2]; ++k) f(i, j, k, (static_cast<size_t>(i) * n[1] + j) * n[2] + k);
    }
  }
}

TEST(SyntheticField, FollowsTheFormulaAtEveryLevel) {
  MemoryReader m = Open("F32 -3 5");
  ASSERT_EQ(m.code, 0);
  const int n[3] = {7, 6, 9};
  const int start[3] = {5, 3, 1};
  for (int lod : {0, 1, 2}) {
    const auto v = Box<float>(*m.reader, lod, start[0], start[1], start[2], n[0], n[1], n[2]);
    const int s = 1 << lod;
    ForEach(n, [&](int i, int j, int k, size_t p) {
      const double want =
          Expected((start[0] + i) * s, (start[1] + j) * s, (start[2] + k) * s, -3, 5);
      EXPECT_NEAR(v[p], want, 1e-3) << lod << " " << i << " " << j << " " << k;
    });
  }
  // Level 2 is the full-resolution field at every fourth position, exactly.
  const int three[3] = {3, 3, 3};
  const auto coarse = Box<float>(*m.reader, 2, 0, 0, 0, 3, 3, 3);
  ForEach(three, [&](int i, int j, int k, size_t p) {
    EXPECT_EQ(coarse[p], Box<float>(*m.reader, 0, 4 * i, 4 * j, 4 * k, 1, 1, 1)[0]);
  });
}

// Values of a coding range (1, 2) are never 0, so a float 0 marks a
// missing sample; read as 8-bit over (0, 3) they are never -128 either.
TEST(SyntheticMissing, BorderWidthMarksTheEndOfEveryBrick) {
  for (const char* border : {"0", "1"}) {
    MemoryReader m = Open("F32 1 2", "64 64 64", border);
    ASSERT_EQ(m.code, 0);
    ASSERT_TRUE(m.reader->SetAccessScaleRange(0, 3, nullptr));
    const int n[3] = {70, 50, 90};
    const auto f = Box<float>(*m.reader, 0, 0, 0, 0, n[0], n[1], n[2]);
    const auto c = Box<signed char>(*m.reader, 0, 0, 0, 0, n[0], n[1], n[2]);
    int wrong = 0;
    ForEach(n, [&](int i, int j, int k, size_t p) {
      const bool missing = border[0] == '1' && (i % 64 == 63 || j % 64 == 63 || k % 64 == 63);
      wrong += (f[p] == 0.0f) != missing || (c[p] == -128) != missing;
    });
    EXPECT_EQ(wrong, 0) << border;
  }
}

TEST(SyntheticMissing, WideBordersAndSmallBricks) {
  MemoryReader m = Open("F32 1 2", "8 64 64", "3");
  ASSERT_EQ(m.code, 0);
  const auto f = Box<float>(*m.reader, 0, 0, 10, 10, 16, 1, 1);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(f[i] == 0.0f, i % 8 >= 5) << i;

  MemoryReader all = Open("F32 1 2", "8 64 64", "8");
  ASSERT_EQ(all.code, 0);
  for (float v : Box<float>(*all.reader, 0, 0, 0, 0, 9, 2, 2)) EXPECT_EQ(v, 0.0f);
}

TEST(SyntheticMissing, BoxPastTheEdgesReadsMissingOutside) {
  MemoryReader m = Open("F32 1 2");
  ASSERT_EQ(m.code, 0);
  const int start[3] = {-2, 47, 88}, n[3] = {5, 6, 4};
  const auto f = Box<float>(*m.reader, 0, start[0], start[1], start[2], n[0], n[1], n[2]);
  const auto c = Box<short>(*m.reader, 0, start[0], start[1], start[2], n[0], n[1], n[2]);
  const auto inside = Box<float>(*m.reader, 0, 0, 47, 88, 3, 3, 2);
  ForEach(n, [&](int i, int j, int k, size_t p) {
    const int gi = start[0] + i, gj = start[1] + j, gk = start[2] + k;
    if (gi < 0 || gj >= 50 || gk >= 90) {
      EXPECT_EQ(f[p], 0.0f);
      EXPECT_EQ(c[p], -32768);
    } else {
      EXPECT_EQ(f[p], inside[(static_cast<size_t>(gi) * 3 + gj - 47) * 2 + gk - 88]);
    }
  });
}

// A level holds ceil(n / 2^L) samples along an axis of n; beyond that it has
// none, even though the full-resolution field goes on.
TEST(SyntheticMissing, LevelsEndAtTheirOwnExtent) {
  MemoryReader m = Open("F32 1 2");
  ASSERT_EQ(m.code, 0);
  const auto level1 = Box<float>(*m.reader, 1, 34, 0, 0, 2, 1, 1);  // 70 inlines: 35 at level 1
  EXPECT_NE(level1[0], 0.0f);
  EXPECT_EQ(level1[1], 0.0f);
  const auto top = Box<float>(*m.reader, 40, 0, 0, 0, 2, 2, 2);
  EXPECT_NE(top[0], 0.0f);
  for (int p = 1; p < 8; ++p) EXPECT_EQ(top[p], 0.0f) << p;
}

TEST(SyntheticConversion, ScaleRangeMapsOntoTheWholeType) {
  // The value at the origin is the middle of the coding range.
  const struct {
    const char* range;
    float value;
    signed char code8;
    short code16;
  } cases[] = {{"F32 0 2", 1, 127, 32767}, {"F32 -2 0", -1, -128, -32768}, {"F32 -1 1", 0, 0, 0}};
  for (const auto& c : cases) {
    MemoryReader m = Open(c.range);
    ASSERT_EQ(m.code, 0);
    ASSERT_TRUE(m.reader->SetAccessScaleRange(-1, 1, nullptr));
    EXPECT_EQ(Box<signed char>(*m.reader, 0, 0, 0, 0, 1, 1, 1)[0], c.code8) << c.range;
    EXPECT_EQ(Box<short>(*m.reader, 0, 0, 0, 0, 1, 1, 1)[0], c.code16) << c.range;
    // Float samples are values, whatever the scale.
    EXPECT_EQ(Box<float>(*m.reader, 0, 0, 0, 0, 1, 1, 1)[0], c.value) << c.range;
  }
}

TEST(SyntheticConversion, TruncatesClampsAndNeverOverflows) {
  const IntegerSamples<int8_t> s8(-1, 1);
  EXPECT_EQ(s8(0.0f), 0);     // -0.5, truncated toward zero
  EXPECT_EQ(s8(0.02f), 2);    // 2.05
  EXPECT_EQ(s8(-0.02f), -3);  // -3.05
  EXPECT_EQ(s8(5.0f), 127);
  EXPECT_EQ(s8(-5.0f), -128);
  EXPECT_EQ(s8(std::nanf("")), -128);
  const IntegerSamples<uint16_t> u16(0, 10);
  EXPECT_EQ(u16(5.0f), 32767);
  EXPECT_EQ(u16(-1.0f), 0);
  const IntegerSamples<int32_t> s32(-3e38f, 3e38f);
  EXPECT_EQ(s32(3e38f), INT32_MAX);
  EXPECT_EQ(s32(-3e38f), INT32_MIN);
  EXPECT_NEAR(s32(0.0f), 0, 256);
  const IntegerSamples<uint32_t> u32(0, 1);
  EXPECT_EQ(u32(1.0f), UINT32_MAX);
  EXPECT_EQ(u32(0.5f), 2147483648u);
  const IntegerSamples<int16_t> empty(2, 2);
  EXPECT_EQ(empty(2.0f), INT16_MIN);
}

TEST(SyntheticConversion, UnusableScaleRangesAreRefused) {
  MemoryReader m = Open("F32 0 2");  // 1 at the origin
  ASSERT_EQ(m.code, 0);
  ASSERT_TRUE(m.reader->SetAccessScaleRange(4, -4, nullptr));           // reversed maps reversed
  EXPECT_EQ(Box<signed char>(*m.reader, 0, 0, 0, 0, 1, 1, 1)[0], -32);  // -128 + 95.625
  for (const auto& range :
       {std::pair{1.0f, 1.0f}, std::pair{0.0f, INFINITY}, std::pair{NAN, 1.0f}}) {
    Status status;
    EXPECT_FALSE(m.reader->SetAccessScaleRange(range.first, range.second, &status));
    EXPECT_EQ(status.tyqError(), E::InvalidArgument);
  }
  float low = 0, high = 0;
  ASSERT_TRUE(m.reader->GetAccessScaleRange(low, high, nullptr));
  EXPECT_EQ(low, 4.0f);
  EXPECT_EQ(high, -4.0f);
}

// Element strides (i, j, k) of a 3 x 4 x 5 box in each storage order.
TEST(SyntheticLayout, EveryStorageOrder) {
  MemoryReader m = Open();
  ASSERT_EQ(m.code, 0);
  const int n[3] = {3, 4, 5}, n0 = 3, n1 = 4, n2 = 5;
  const int strides[6][3] = {{n1 * n2, n2, 1}, {n1 * n2, 1, n1}, {n2, n0 * n2, 1},
                             {1, n0 * n2, n0}, {n1, 1, n0 * n1}, {1, n0, n0 * n1}};
  const auto reference = Box<float>(*m.reader, 0, 10, 20, 30, n0, n1, n2);
  for (int order = 5; order >= 0; --order) {
    ASSERT_TRUE(m.reader->SetAccessStorageOrder(
        static_cast<FA::StorageOrderEnum::value_type>(order), nullptr));
    const auto v = Box<float>(*m.reader, 0, 10, 20, 30, n0, n1, n2);
    const int* s = strides[order];
    ForEach(n, [&](int i, int j, int k, size_t p) {
      EXPECT_EQ(v[i * s[0] + j * s[1] + k * s[2]], reference[p]) << order;
    });
  }
  // An unknown order is kept but lays buffers out as the last known one.
  ASSERT_TRUE(m.reader->SetAccessStorageOrder(FA::StorageOrderEnum::TraditionalTyq(), nullptr));
  ASSERT_TRUE(
      m.reader->SetAccessStorageOrder(static_cast<FA::StorageOrderEnum::value_type>(9), nullptr));
  FA::EnumClass<FA::StorageOrderEnum> order;
  ASSERT_TRUE(m.reader->GetAccessStorageOrder(order, nullptr));
  EXPECT_EQ(order, 9);
  const auto v = Box<float>(*m.reader, 0, 10, 20, 30, n0, n1, n2);
  EXPECT_EQ(v[1], reference[n1 * n2]);  // i fastest, as order 5
}

// Bricks of 8 x 6 x 4 samples; the second brick along k ends at sample 8.
TEST(SyntheticBricks, WholeBricksMatchBoxReads) {
  MemoryReader m = Open("SI16 -2 2", "8 6 4");
  ASSERT_EQ(m.code, 0);
  ASSERT_TRUE(m.reader->SetAccessScaleRange(-1, 3, nullptr));
  ASSERT_TRUE(m.reader->SetAccessStorageOrder(FA::StorageOrderEnum::TraditionalTyq(), nullptr));
  constexpr int kSamples = 8 * 6 * 4;
  std::vector<float> f(kSamples);
  std::vector<short> s(kSamples);
  std::vector<signed char> c(kSamples);
  std::vector<int16_t> raw(kSamples);
  float* fp[2] = {f.data(), nullptr};
  short* sp[2] = {s.data(), nullptr};
  signed char* cp[2] = {c.data(), nullptr};
  void* rp[2] = {raw.data(), nullptr};
  ASSERT_TRUE(m.reader->ReadDataBrick(0, 8, 3, 1, 1, 1, 2, fp, nullptr));  // second one skipped
  ASSERT_TRUE(m.reader->ReadDataBrick(0, 8, 3, 1, 1, 1, 1, sp, nullptr));
  ASSERT_TRUE(m.reader->ReadDataBrick(0, 8, 3, 1, 1, 1, 1, cp, nullptr));
  ASSERT_TRUE(m.reader->ReadRawBrick(0, 8, 3, 1, 1, 1, 1, rp, nullptr));
  // Brick (8, 3, 1) holds inlines 64..71 (70 exist), crosslines 18..23 and
  // samples 4..7.
  const auto box = Box<float>(*m.reader, 0, 64, 18, 4, 8, 6, 4);
  const auto box16 = Box<short>(*m.reader, 0, 64, 18, 4, 8, 6, 4);
  const auto box8 = Box<signed char>(*m.reader, 0, 64, 18, 4, 8, 6, 4);
  EXPECT_EQ(f, box);
  EXPECT_EQ(s, box16);
  EXPECT_EQ(c, box8);
  EXPECT_EQ(box[7], 0.0f);  // inline 71
  // Raw samples are codes of the coding range, not of the caller's scale.
  const IntegerSamples<int16_t> coding(-2, 2);
  for (int p = 0; p < kSamples; ++p) {
    ASSERT_EQ(raw[p], p % 8 >= 6 ? INT16_MIN : coding(box[p])) << p;
  }
  EXPECT_NE(std::vector<int16_t>(s.begin(), s.end()), raw);
}

// Codes of the coding range (0, 1) in the described type, and nothing
// written past the brick.
template <typename T>
void ExpectRawBrick(const std::string& type) {
  MemoryReader m = Open(type + " 0 1", "4 4 4");
  ASSERT_EQ(m.code, 0);
  const auto values = Box<float>(*m.reader, 0, 0, 0, 0, 4, 4, 4);
  std::vector<T> brick(65, T(7));
  void* p = brick.data();
  ASSERT_TRUE(m.reader->ReadRawBrick(0, 0, 0, 0, 1, 1, 1, &p, nullptr)) << type;
  for (int n = 0; n < 64; ++n) {
    if constexpr (std::is_same_v<T, float>) {
      ASSERT_EQ(brick[n], values[n]) << type;
    } else {
      ASSERT_EQ(brick[n], IntegerSamples<T>(0, 1)(values[n])) << type << " " << n;
    }
  }
  EXPECT_EQ(brick[64], T(7)) << type;
}

TEST(SyntheticBricks, RawBricksOfEveryType) {
  ExpectRawBrick<int8_t>("SI8");
  ExpectRawBrick<uint8_t>("UI8");
  ExpectRawBrick<int16_t>("SI16");
  ExpectRawBrick<uint16_t>("UI16");
  ExpectRawBrick<int32_t>("SI32");
  ExpectRawBrick<uint32_t>("UI32");
  ExpectRawBrick<float>("F32");
}

TEST(SyntheticFlags, EveryTraceLiveAndNothingStored) {
  MemoryReader m = Open("F32 -1 1", "8 6 4");
  ASSERT_EQ(m.code, 0);
  std::vector<unsigned char> flags(3 * 5 + 1, 7);
  ASSERT_TRUE(m.reader->ReadGridFlags(0, 1, 2, 3, 5, flags.data(), nullptr));
  for (int p = 0; p < 15; ++p) EXPECT_EQ(flags[p], 1);
  EXPECT_EQ(flags[15], 7);

  std::vector<unsigned char> tile(8 * 6 + 1, 7);
  unsigned char* tiles[2] = {nullptr, tile.data()};
  ASSERT_TRUE(m.reader->ReadGridFlagsTile(3, 0, 0, 1, 2, tiles, nullptr));
  for (int p = 0; p < 48; ++p) EXPECT_EQ(tile[p], 1);
  EXPECT_EQ(tile[48], 7);

  std::vector<long long> positions(2 * 3 * 4 + 1, -1);
  ASSERT_TRUE(m.reader->GetDataBrickPos(positions.data(), 0, 0, 0, 0, 2, 3, 4, nullptr));
  for (int p = 0; p < 24; ++p) EXPECT_EQ(positions[p], 0);
  EXPECT_EQ(positions[24], -1);
  ASSERT_TRUE(m.reader->GetGridFlagsTilePos(positions.data(), 1, 0, 0, 5, 5, nullptr));
  EXPECT_EQ(positions[24], 0);
}

TEST(SyntheticArguments, NonsenseIsRefusedEmptyIsFine) {
  MemoryReader m = Open();
  ASSERT_EQ(m.code, 0);
  FA::Reader& r = *m.reader;
  float v[4] = {};
  float* bricks[1] = {nullptr};
  long long pos[1] = {};
  Status status;
  EXPECT_FALSE(r.ReadData(-1, 0, 0, 0, 1, 1, 1, v, &status));
  EXPECT_EQ(status.tyqError(), E::InvalidArgument);
  EXPECT_FALSE(r.ReadData(0, 0, 0, 0, 1, -1, 1, v, &status));
  EXPECT_FALSE(r.ReadData(0, 0, 0, 0, 1, 1, 1, static_cast<float*>(nullptr), &status));
  EXPECT_FALSE(r.ReadData(0, 0, 0, 0, 1 << 30, 1 << 30, 1 << 30, v, &status));
  EXPECT_FALSE(r.ReadDataBrick(0, 0, 0, 0, 1, 1, -1, bricks, &status));
  EXPECT_FALSE(r.ReadGridFlags(0, 0, 0, 2, 2, nullptr, &status));
  EXPECT_FALSE(r.GetDataBrickPos(nullptr, 0, 0, 0, 0, 1, 1, 1, &status));
  EXPECT_EQ(status.tyqError(), E::InvalidArgument);
  EXPECT_TRUE(r.ReadData(0, 0, 0, 0, 0, 5, 5, static_cast<float*>(nullptr), nullptr));
  EXPECT_TRUE(r.ReadDataBrick(0, 0, 0, 0, 0, 0, 0, static_cast<float**>(nullptr), nullptr));
  EXPECT_TRUE(r.GetDataBrickPos(pos, 0, 0, 0, 0, 1, 1, 1, nullptr));
  // Positions far outside the volume and the int range are simply missing.
  ASSERT_TRUE(r.ReadData(0, INT32_MAX, INT32_MIN, INT32_MAX, 2, 1, 2, v, &status));
  for (float x : v) EXPECT_EQ(x, 0.0f);
  bricks[0] = v;
  MemoryReader tiny = Open("F32 -1 1", "1 1 4");
  ASSERT_EQ(tiny.code, 0);
  ASSERT_TRUE(tiny.reader->ReadDataBrick(3, INT32_MAX, 0, 0, 1, 1, 1, bricks, &status));
}

// Two threads read while a third changes the scale and re-reads the
// description; float samples depend on neither, so every read must match.
TEST(SyntheticThreads, SharedReaderServesConcurrentReads) {
  MemoryReader m = Open("F32 -1 1", "16 16 16");
  ASSERT_EQ(m.code, 0);
  const auto reference = Box<float>(*m.reader, 0, 0, 0, 0, 70, 50, 90);
  std::atomic<int> mismatches{0};
  std::atomic<bool> done{false};
  auto reader = [&](int seed) {
    for (int round = 0; round < 60; ++round) {
      const int i0 = (seed * 7 + round * 13) % 60, j0 = (round * 5) % 40;
      const int n[3] = {10, 10, 90};
      std::vector<float> box(10 * 10 * 90);
      if (!m.reader->ReadData(0, i0, j0, 0, 10, 10, 90, box.data(), nullptr)) ++mismatches;
      ForEach(n, [&](int i, int j, int k, size_t p) {
        mismatches += box[p] != reference[((static_cast<size_t>(i0) + i) * 50 + j0 + j) * 90 + k];
      });
    }
  };
  std::thread meddler([&] {
    for (int n = 0; !done; ++n) {
      m.reader->SetAccessScaleRange(-1.0f - n % 3, 1, nullptr);
      if (n % 8 == 0) m.reader->Reopen(nullptr);
      FA::FileInfo fi;
      m.reader->GetFileInfo(fi, nullptr);
    }
  });
  std::thread a(reader, 1), b(reader, 2);
  a.join();
  b.join();
  done = true;
  meddler.join();
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace tyq_synthetic_test
