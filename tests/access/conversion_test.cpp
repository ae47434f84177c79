#include "access/conversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace Qra::Ostrel::Tyq::Private::Access {
namespace {

constexpr int kInt8 = 0, kUInt8 = 1, kInt16 = 2, kInt32 = 4, kUInt32 = 5, kFloat = 6;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

constexpr int kSizes[7] = {1, 1, 2, 2, 4, 4, 4};
constexpr double kCodeMin[7] = {-128, 0, -32768, 0, -2147483648.0, 0, 0};
constexpr double kCodeMax[7] = {127, 255, 32767, 65535, 2147483647.0, 4294967295.0, 0};

// Samples of any type held as double, moved in and out of raw buffers.
double load(int type, const void* buffer, int64_t i) {
  const auto* p = static_cast<const unsigned char*>(buffer) + i * kSizes[type];
  switch (type) {
    case 0:
      return *reinterpret_cast<const int8_t*>(p);
    case 1:
      return *reinterpret_cast<const uint8_t*>(p);
    case 2:
      return *reinterpret_cast<const int16_t*>(p);
    case 3:
      return *reinterpret_cast<const uint16_t*>(p);
    case 4:
      return *reinterpret_cast<const int32_t*>(p);
    case 5:
      return *reinterpret_cast<const uint32_t*>(p);
    default:
      return *reinterpret_cast<const float*>(p);
  }
}

void store(int type, void* buffer, int64_t i, double v) {
  auto* p = static_cast<unsigned char*>(buffer) + i * kSizes[type];
  switch (type) {
    case 0:
      *reinterpret_cast<int8_t*>(p) = static_cast<int8_t>(v);
      break;
    case 1:
      *reinterpret_cast<uint8_t*>(p) = static_cast<uint8_t>(v);
      break;
    case 2:
      *reinterpret_cast<int16_t*>(p) = static_cast<int16_t>(v);
      break;
    case 3:
      *reinterpret_cast<uint16_t*>(p) = static_cast<uint16_t>(v);
      break;
    case 4:
      *reinterpret_cast<int32_t*>(p) = static_cast<int32_t>(v);
      break;
    case 5:
      *reinterpret_cast<uint32_t*>(p) = static_cast<uint32_t>(v);
      break;
    default:
      *reinterpret_cast<float*>(p) = static_cast<float>(v);
      break;
  }
}

// Converts float values to codes of `type` over [lo, hi].
std::vector<double> toCodes(int type, float lo, float hi, const std::vector<float>& values) {
  std::vector<unsigned char> out(values.size() * 4);
  ConversionFunction(kFloat, type)(out.data(), lo, hi, values.data(), 0, 0,
                                   static_cast<int64_t>(values.size()));
  std::vector<double> codes;
  for (size_t i = 0; i < values.size(); ++i) codes.push_back(load(type, out.data(), i));
  return codes;
}

TEST(ConversionTables, NullExactlyForSameTypeWithNothingToRecode) {
  for (int stored = 0; stored < 7; ++stored) {
    ConversionTables same{}, rescaled{};
    ASSERT_TRUE(BuildConversionTables(stored, -1, 1, -1, 1, same));
    ASSERT_TRUE(BuildConversionTables(stored, -1, 1, -1, 1.5f, rescaled));
    for (int t = 0; t < 7; ++t) {
      const bool identity = t == stored;
      EXPECT_EQ(same.read[t] == nullptr, identity) << stored << "->" << t;
      EXPECT_EQ(same.write[t] == nullptr, identity) << t << "->" << stored;
      // Another access range re-codes integers; float values stay as they are.
      EXPECT_EQ(rescaled.read[t] == nullptr, identity && t == kFloat);
      EXPECT_EQ(rescaled.write[t] == nullptr, identity && t == kFloat);
    }
  }
  ConversionTables untouched{};
  untouched.read[0] = ConversionFunction(kInt8, kFloat);
  EXPECT_FALSE(BuildConversionTables(7, -1, 1, -1, 1, untouched));
  EXPECT_FALSE(BuildConversionTables(-1, -1, 1, -1, 1, untouched));
  EXPECT_EQ(untouched.read[0], ConversionFunction(kInt8, kFloat));
  EXPECT_EQ(ConversionFunction(7, 0), nullptr);
}

TEST(Conversion, EightBitCodesReadAsFloatIgnoreTheAccessRange) {
  ConversionTables tables{};
  ASSERT_TRUE(BuildConversionTables(kInt8, -1, 1, 0, 10, tables));
  const int8_t codes[3] = {-128, 127, 0};
  float values[3];
  tables.read[kFloat](values, 0, 10, codes, -1, 1, 3);
  EXPECT_FLOAT_EQ(values[0], -1.0f);
  EXPECT_FLOAT_EQ(values[1], 1.0f);
  EXPECT_FLOAT_EQ(values[2], -1.0f + 128.0f * 2.0f / 255.0f);

  // Written back the same way: the float side's range has no say either.
  int8_t back[3];
  tables.write[kFloat](back, -1, 1, values, 0, 10, 3);
  EXPECT_EQ(std::memcmp(back, codes, 3), 0);
}

TEST(Conversion, ValuesToCodesClampRoundAwayFromZeroAndSendNaNToZero) {
  // Eight bits over [-1, 1]: beyond the range clamps, infinities go to the
  // ends, NaN to code 0, and 0.0 sits at code -0.5, which rounds away.
  EXPECT_EQ(toCodes(kInt8, -1, 1, {2.0f, -2.0f, kInf, -kInf, kNaN, 1.0f, -1.0f, 0.0f}),
            (std::vector<double>{127, -128, 127, -128, 0, 127, -128, -1}));
  // Unsigned 8 bits over [0, 255]: codes equal values, halves round away.
  EXPECT_EQ(toCodes(kUInt8, 0, 255, {2.5f, 2.49f, 254.5f, -0.4f, -0.6f, kNaN, 300.0f}),
            (std::vector<double>{3, 2, 255, 0, 0, 0, 255}));
  // Signed 16 bits over [-32768, 32767]: halves round away on both sides.
  EXPECT_EQ(toCodes(2, -32768, 32767, {2.5f, -2.5f, -0.5f, 0.49f, -kInf, kNaN}),
            (std::vector<double>{3, -3, -1, 0, -32768, 0}));
}

// Long runs go through a wide path and their remainder one sample at a time;
// a value must give the same code wherever it sits.
TEST(Conversion, EveryPositionOfALongBufferGivesTheSameCode) {
  for (int type = 0; type < kFloat; ++type) {
    const float lo = static_cast<float>(kCodeMin[type]), hi = static_cast<float>(kCodeMax[type]);
    const std::vector<float> specials = {kNaN,  kInf,      -kInf,     2.5f,      -2.5f,
                                         0.5f,  -0.5f,     -0.0f,     1e9f,      -1e9f,
                                         0.49f, hi - 0.5f, lo - 0.6f, hi + 0.4f, 100.49f};
    std::vector<double> alone;
    for (const float v : specials) alone.push_back(toCodes(type, lo, hi, {v})[0]);
    std::vector<float> run;
    for (int i = 0; i < 45; ++i) run.push_back(specials[i % specials.size()]);
    const std::vector<double> codes = toCodes(type, lo, hi, run);
    for (size_t i = 0; i < run.size(); ++i) {
      EXPECT_EQ(codes[i], alone[i % specials.size()]) << "type " << type << " position " << i;
    }
  }
}

TEST(Conversion, ThirtyTwoBitCodesReachTheirEndsWithoutWrapping) {
  // Neither cmax is a float; 2^31 converted to int32 would wrap to INT_MIN.
  for (const int type : {kInt32, kUInt32}) {
    const std::vector<double> codes =
        toCodes(type, -1, 1, {1.0f, kInf, 1e30f, -1.0f, -kInf, kNaN, 0.5f});
    EXPECT_EQ(codes[0], kCodeMax[type]) << type;
    EXPECT_EQ(codes[1], kCodeMax[type]);
    EXPECT_EQ(codes[2], kCodeMax[type]);
    EXPECT_EQ(codes[3], kCodeMin[type]);
    EXPECT_EQ(codes[4], kCodeMin[type]);
    EXPECT_EQ(codes[5], 0);
    EXPECT_NEAR(codes[6], kCodeMin[type] + 0.75 * (kCodeMax[type] - kCodeMin[type]), 256);
  }
}

TEST(Conversion, DegenerateOrNonFiniteRangesGiveDefinedCodes) {
  // An empty coding range has no slope; a broken one no values at all. The
  // codes are meaningless but must come out of defined arithmetic.
  EXPECT_EQ(toCodes(kInt16, 1, 1, {0.0f, 1.0f, 2.0f}), (std::vector<double>{-32768, 0, 32767}));
  EXPECT_EQ(toCodes(kUInt8, kNaN, 1, {0.0f, 1.0f}), (std::vector<double>{0, 0}));
  EXPECT_EQ(toCodes(kInt32, -kInf, kInf, {0.0f, 5.0f}), (std::vector<double>{0, 0}));
  const int16_t codes[2] = {-32768, 32767};
  float values[2];
  ConversionFunction(kInt16, kFloat)(values, 0, 0, codes, 3, 3, 2);
  EXPECT_EQ(values[0], 3.0f);
  EXPECT_EQ(values[1], 3.0f);
}

TEST(Conversion, IntegerRecodingGoesThroughTheValue) {
  ConversionTables tables{};
  // Stored 16 bits over [-1, 1], read as 16 bits over [-2, 2]: each value
  // keeps its place, so the codes halve around the middle of the range.
  ASSERT_TRUE(BuildConversionTables(kInt16, -1, 1, -2, 2, tables));
  const int16_t stored[4] = {-32768, 32767, 0, -1};
  int16_t read[4];
  tables.read[kInt16](read, -2, 2, stored, -1, 1, 4);
  EXPECT_EQ(read[0], -16384);  // -16384.25 over the wider range
  EXPECT_EQ(read[1], 16383);   // 16383.25
  EXPECT_EQ(read[2], 0);       // -0.25
  EXPECT_EQ(read[3], -1);      // -0.75
  // 8-bit codes read as unsigned 8 bits over the same range shift by 128.
  ASSERT_TRUE(BuildConversionTables(kInt8, -1, 1, -1, 1, tables));
  const int8_t small[3] = {-128, 0, 127};
  uint8_t shifted[3];
  tables.read[kUInt8](shifted, -1, 1, small, -1, 1, 3);
  EXPECT_EQ(shifted[0], 0);
  EXPECT_EQ(shifted[1], 128);
  EXPECT_EQ(shifted[2], 255);
}

// The value-to-code rule as written, one sample at a time in single
// precision: t = (v - lo) / (hi - lo), clamped by t, else t * span + cmin
// rounded half away from zero. Another program that stores the same values
// divides this way; a multiplication by the inverse width lands about one
// int16 sample in a thousand one code away.
double writtenCode(int type, float v, float lo, float hi) {
  const float t = (v - lo) / (hi - lo);
  if (t < 0) return kCodeMin[type];
  if (t > 1) return kCodeMax[type];
  if (t != t) return 0;
  const float span = static_cast<float>(kCodeMax[type] - kCodeMin[type]);
  const float r = t * span + static_cast<float>(kCodeMin[type]);
  const float rounded = r <= 0 ? r - 0.5f : r + 0.5f;
  return std::min(std::trunc(static_cast<double>(rounded)), kCodeMax[type]);
}

TEST(Conversion, ValuesBecomeCodesExactlyAsTheRuleIsWritten) {
  std::mt19937 rng(5);
  const float ranges[][2] = {{-3.7f, 5.1f}, {-1, 1}, {0.1f, 0.7f}, {-1234.5f, 98.25f}};
  for (const int type : {kInt8, kUInt8, kInt16, 3, kInt32, kUInt32}) {
    for (const auto& range : ranges) {
      std::uniform_real_distribution<float> pick(range[0] - 0.1f, range[1] + 0.1f);
      std::vector<float> values(20000);
      for (float& v : values) v = pick(rng);
      const std::vector<double> codes = toCodes(type, range[0], range[1], values);
      int64_t differ = 0;
      for (size_t n = 0; n < values.size(); ++n) {
        differ += codes[n] != writtenCode(type, values[n], range[0], range[1]);
      }
      EXPECT_EQ(differ, 0) << "type " << type << " over [" << range[0] << ", " << range[1] << "]";
    }
  }
  // Re-coding goes through the value and then by the same rule.
  std::vector<int16_t> stored(4000);
  for (size_t n = 0; n < stored.size(); ++n) stored[n] = static_cast<int16_t>(n * 16 - 32000);
  std::vector<int16_t> read(stored.size());
  ConversionFunction(kInt16, kInt16)(read.data(), -3.7f, 5.1f, stored.data(), -1, 1,
                                     static_cast<int64_t>(stored.size()));
  std::vector<float> values(stored.size());
  ConversionFunction(kInt16, kFloat)(values.data(), 0, 0, stored.data(), -1, 1,
                                     static_cast<int64_t>(stored.size()));
  for (size_t n = 0; n < stored.size(); ++n) {
    ASSERT_EQ(read[n], writtenCode(kInt16, values[n], -3.7f, 5.1f)) << n;
  }
}

TEST(Conversion, FloatToFloatIsABitExactCopy) {
  const float in[3] = {-0.0f, kNaN, 1e-40f};
  float out[3];
  ConversionFunction(kFloat, kFloat)(out, -1, 1, in, 5, 6, 3);
  EXPECT_EQ(std::memcmp(in, out, sizeof in), 0);
}

// In place, a widening conversion must read each chunk before the wider
// samples overwrite it, and a narrowing one the other way round; both must
// agree with a conversion between separate buffers.
TEST(Conversion, InPlaceMatchesSeparateBuffersAcrossManyChunks) {
  const int64_t n = 5000;  // several chunks, the last one short
  std::mt19937 rng(7);
  for (const auto& [from, to] :
       {std::pair{kInt8, kFloat}, std::pair{kInt16, kInt32}, std::pair{kFloat, kInt8},
        std::pair{kFloat, kInt16}, std::pair{kUInt8, kInt8}, std::pair{kInt32, kFloat}}) {
    std::vector<unsigned char> src(n * kSizes[from]);
    const bool codes = from != kFloat;
    std::uniform_real_distribution<double> pick(codes ? kCodeMin[from] : -5,
                                                codes ? kCodeMax[from] : 5);
    for (int64_t i = 0; i < n; ++i) {
      store(from, src.data(), i, codes ? std::floor(pick(rng)) : pick(rng));
    }
    std::vector<unsigned char> separate(n * kSizes[to]);
    std::vector<unsigned char> inPlace(n * 4);
    std::memcpy(inPlace.data(), src.data(), src.size());
    const ConvFcn convert = ConversionFunction(from, to);
    convert(separate.data(), -3, 2, src.data(), -1, 4, n);
    EXPECT_EQ(convert(inPlace.data(), -3, 2, nullptr, -1, 4, n), inPlace.data());
    EXPECT_EQ(std::memcmp(separate.data(), inPlace.data(), separate.size()), 0)
        << from << " -> " << to;
  }
}

// Buffers at odd bytes (a brick another writer placed there, read in
// place; a caller's unaligned array) convert as the same samples aligned,
// separately and in place. The sanitizer build catches a misaligned load.
TEST(Conversion, SamplesAtOddBytesConvertAsAligned) {
  const int64_t n = 2500;  // several chunks, the last one short
  std::mt19937 rng(11);
  for (const auto& [from, to] :
       {std::pair{kInt16, kFloat}, std::pair{kFloat, kInt16}, std::pair{kInt8, kFloat},
        std::pair{kFloat, kUInt32}, std::pair{kInt16, kInt8}}) {
    std::vector<unsigned char> src(n * kSizes[from]);
    for (auto& b : src) b = static_cast<unsigned char>(rng());
    if (from == kFloat) {
      for (int64_t i = 0; i < n; ++i) store(kFloat, src.data(), i, rng() % 1000 / 100.0 - 5);
    }
    const ConvFcn convert = ConversionFunction(from, to);
    std::vector<unsigned char> aligned(n * 4);
    convert(aligned.data(), -3, 2, src.data(), -1, 4, n);
    const size_t out = n * kSizes[to];
    std::vector<unsigned char> odd(n * 4 + 1), oddOut(n * 4 + 1);
    std::memcpy(odd.data() + 1, src.data(), src.size());
    convert(oddOut.data() + 1, -3, 2, odd.data() + 1, -1, 4, n);
    EXPECT_EQ(std::memcmp(aligned.data(), oddOut.data() + 1, out), 0) << from << " -> " << to;
    convert(odd.data() + 1, -3, 2, nullptr, -1, 4, n);
    EXPECT_EQ(std::memcmp(aligned.data(), odd.data() + 1, out), 0) << from << " -> " << to;
  }
}

// Write then read through the same ranges gives back every value to within
// half a stored code step (the stored quantisation) plus half a caller code
// step (re-quantising an integer caller's value), for every pair of types.
TEST(Conversion, WriteThenReadRoundTripsEveryTypePair) {
  const float codingLo = -4, codingHi = 4, accessLo = -3, accessHi = 2.5f;
  const int64_t n = 3000;
  std::mt19937 rng(11);
  for (int stored = 0; stored < 7; ++stored) {
    ConversionTables tables{};
    ASSERT_TRUE(BuildConversionTables(stored, codingLo, codingHi, accessLo, accessHi, tables));
    for (int caller = 0; caller < 7; ++caller) {
      const bool callerCodes = caller != kFloat;
      // An integer caller's codes stand for values of the access range; float
      // callers write values, kept inside both ranges so that none clamps.
      auto valueOf = [&](double sample) {
        if (!callerCodes) return sample;
        return accessLo + (sample - kCodeMin[caller]) * (accessHi - accessLo) /
                              (kCodeMax[caller] - kCodeMin[caller]);
      };
      std::vector<unsigned char> in(n * 4), brick(n * 4), out(n * 4);
      std::uniform_real_distribution<double> pick(callerCodes ? kCodeMin[caller] : accessLo,
                                                  callerCodes ? kCodeMax[caller] : accessHi);
      for (int64_t i = 0; i < n; ++i) {
        store(caller, in.data(), i, callerCodes ? std::floor(pick(rng)) : pick(rng));
      }
      std::memcpy(brick.data(), in.data(), in.size());
      if (ConvFcn w = tables.write[caller])
        w(brick.data(), codingLo, codingHi, nullptr, accessLo, accessHi, n);
      std::memcpy(out.data(), brick.data(), brick.size());
      if (ConvFcn r = tables.read[caller])
        r(out.data(), accessLo, accessHi, nullptr, codingLo, codingHi, n);
      const double storedStep =
          stored == kFloat ? 0 : (codingHi - codingLo) / (kCodeMax[stored] - kCodeMin[stored]);
      const double callerStep =
          callerCodes ? (accessHi - accessLo) / (kCodeMax[caller] - kCodeMin[caller]) : 0;
      // Single precision leaves a few ulps of the range on top.
      const double tolerance = 0.5 * storedStep + 0.5 * callerStep + 1e-6 * (codingHi - codingLo);
      int64_t worst = 0;
      double worstError = 0;
      for (int64_t i = 0; i < n; ++i) {
        const double error =
            std::abs(valueOf(load(caller, out.data(), i)) - valueOf(load(caller, in.data(), i)));
        if (error > worstError) {
          worstError = error;
          worst = i;
        }
      }
      EXPECT_LE(worstError, tolerance) << "stored " << stored << ", caller " << caller
                                       << ", sample " << load(caller, in.data(), worst);
    }
  }
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::Access
