// Coding and decoding whole bricks: quality against the target, sample
// types, resolutions, partial and dead parts, constants.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "compressed/block_test_util.h"

namespace P = Qra::Ostrel::Tyq::Private;
using namespace tyq_test;

namespace {

template <typename T>
std::vector<T> scaled(const std::vector<float>& v, double factor) {
  std::vector<T> out(v.size());
  for (size_t i = 0; i < v.size(); ++i) out[i] = static_cast<T>(std::lround(v[i] * factor));
  return out;
}

// Codes, stores and reads back, then decodes at full resolution.
template <typename T>
std::vector<T> roundTrip(P::Compressor3d& c, std::vector<T> samples, const EncodeOptions& eo,
                         const DecodeOptions& dopt = {}, P::CompressedBlock3d* coded = nullptr) {
  P::CompressedBlock3d block;
  EXPECT_TRUE(encodeBrick(c, block, samples, eo));
  P::CompressedBlock3d back;
  EXPECT_TRUE(readBack(payloadOf(block), block.GetGain(), back));
  if (coded) *coded = block;
  return decodeBrick<T>(c, back, dopt);
}

}  // namespace

TEST(BlockRoundTrip, FloatLandsNearTheTargetSqnr) {
  P::Compressor3d c;
  const std::vector<float> in = seismicBrick(1);
  for (float target : {12.0f, 20.0f, 30.0f, 40.0f}) {
    P::CompressedBlock3d block;
    const std::vector<float> out = roundTrip(c, in, {target, true}, {}, &block);
    const double got = sqnrOf(in, out);
    // The final border plane only adds quality, so the estimate is a floor.
    EXPECT_GT(got, target * 0.95 - 0.5) << target;
    EXPECT_LT(got, target * 1.1 + 6) << target;
    EXPECT_NEAR(block.GetCompressionSQNR(), target, target * 0.1 + 0.01);
  }
}

TEST(BlockRoundTrip, IntegerTypesKeepTheirValues) {
  P::Compressor3d c;
  const std::vector<float> in = seismicBrick(2, 1.0f);
  const auto i16 = scaled<int16_t>(in, 20000);
  DecodeOptions d16;
  std::copy_n(std::begin({-32768.0, 32767.0, -32768.0, 32768.0}), 4, d16.range);
  EXPECT_GT(sqnrOf(i16, roundTrip(c, i16, {25.0f, true}, d16)), 23.0);
  const auto i8 = scaled<int8_t>(in, 100);
  DecodeOptions d8;
  std::copy_n(std::begin({-128.0, 127.0, -128.0, 128.0}), 4, d8.range);
  EXPECT_GT(sqnrOf(i8, roundTrip(c, i8, {20.0f, true}, d8)), 18.0);
  const auto i32 = scaled<int32_t>(in, 1e6);
  EXPECT_GT(sqnrOf(i32, roundTrip(c, i32, {30.0f, true})), 28.0);
}

TEST(BlockRoundTrip, HighestQualityIsNearlyLossless) {
  P::Compressor3d c;
  const auto in = scaled<int16_t>(seismicBrick(3, 1.0f), 3000);
  DecodeOptions d;
  std::copy_n(std::begin({-32768.0, 32767.0, -32768.0, 32768.0}), 4, d.range);
  const auto out = roundTrip(c, in, {30.0f, false}, d);
  EXPECT_GT(sqnrOf(in, out), 60.0);
}

TEST(BlockRoundTrip, TwoStageBlocksDecodeWithAndWithoutTheSecondStage) {
  P::Compressor3d c;
  const std::vector<float> in = seismicBrick(4);
  P::CompressedBlock3d block;
  std::vector<float> work = in;
  ASSERT_TRUE(encodeBrick(c, block, work, {30.0f, true, true}));
  P::CompressedBlock3d back;
  ASSERT_TRUE(readBack(payloadOf(block), block.GetGain(), back));
  DecodeOptions d;
  d.twoStage = true;
  const auto both = decodeBrick<float>(c, back, d);
  EXPECT_GT(sqnrOf(in, both), 27.0);
  // Fewer than all subbands: the first stage alone.
  d.quality = P::DecompSubbands18;
  const auto first = decodeBrick<float>(c, back, d);
  EXPECT_LT(sqnrOf(in, first), sqnrOf(in, both));
  // Decoding as one stage reads the streams in the wrong order.
  d.quality = P::DecompSubbandsAll;
  d.twoStage = false;
  EXPECT_LT(sqnrOf(in, decodeBrick<float>(c, back, d)), 10.0);
}

TEST(BlockRoundTrip, ReducedResolutionsFollowTheFullDecode) {
  P::Compressor3d c;
  const auto in = scaled<int16_t>(seismicBrick(5, 1.0f), 10000);
  P::CompressedBlock3d block;
  std::vector<int16_t> work = in;
  ASSERT_TRUE(encodeBrick(c, block, work, {35.0f, true}));
  DecodeOptions d;
  std::copy_n(std::begin({-32768.0, 32767.0, -32768.0, 32768.0}), 4, d.range);
  const auto full = decodeBrick<int16_t>(c, block, d);
  for (auto level : {P::DecompHalf, P::DecompQuarter}) {
    d.level = level;
    const int step = level == P::DecompHalf ? 2 : 4, edge = 64 / step;
    const auto coarse = decodeBrick<int16_t>(c, block, d);
    ASSERT_EQ(coarse.size(), static_cast<size_t>(edge * edge * edge));
    // A coarse sample stands for the fine sample at its even position
    // (the low-pass filters are centred there), smoothed.
    std::vector<double> fine(coarse.size());
    for (int k = 0; k < edge; ++k)
      for (int j = 0; j < edge; ++j)
        for (int i = 0; i < edge; ++i)
          fine[i + edge * (j + edge * k)] = full[i * step + 64 * (j * step) + 4096 * (k * step)];
    EXPECT_GT(sqnrOf(fine, coarse), level == P::DecompHalf ? 8.0 : 4.0) << level;
  }
}

TEST(BlockRoundTrip, PartialBrickPadsAndRestoresZeros) {
  P::Compressor3d c;
  std::vector<float> in = seismicBrick(6);
  for (int k = 0; k < 64; ++k)
    for (int j = 0; j < 64; ++j)
      for (int i = 10; i < 64; ++i) in[i + 64 * j + 4096 * k] = 0;
  std::vector<float> work = in;
  P::CompressedBlock3d block;
  EncodeOptions o{30.0f, true};
  o.valid[0] = 10;
  ASSERT_TRUE(encodeBrick(c, block, work, o));
  EXPECT_EQ(work, in);  // padding undone
  const auto out = decodeBrick<float>(c, block);
  std::vector<float> validIn, validOut;
  for (int k = 0; k < 64; ++k)
    for (int j = 0; j < 64; ++j)
      for (int i = 0; i < 10; ++i) {
        validIn.push_back(in[i + 64 * j + 4096 * k]);
        validOut.push_back(out[i + 64 * j + 4096 * k]);
      }
  EXPECT_GT(sqnrOf(validIn, validOut), 27.0);
}

TEST(BlockRoundTrip, DeadTracesDecodeAsZeroAtEveryResolution) {
  P::Compressor3d c;
  std::vector<float> in = seismicBrick(7);
  std::vector<uint8_t> flags(64 * 64, 1);
  for (int j = 0; j < 64; ++j)
    for (int i = 0; i < 64; ++i)
      if ((i / 4 + j / 4) % 3 == 0) flags[i + 64 * j] = 0;
  std::vector<float> work = in;
  P::CompressedBlock3d block;
  EncodeOptions o{25.0f, true};
  o.flags = flags.data();
  ASSERT_TRUE(encodeBrick(c, block, work, o));
  DecodeOptions d;
  d.flags = flags.data();
  const auto out = decodeBrick<float>(c, block, d);
  for (int j = 0; j < 64; ++j)
    for (int i = 0; i < 64; ++i)
      for (int k = 0; k < 64; ++k) {
        const size_t at = i + 64 * j + 4096 * k;
        if (!flags[i + 64 * j]) {
          ASSERT_EQ(work[at], 0.0f);
          ASSERT_EQ(out[at], 0.0f);
        }
      }
  d.level = P::DecompQuarter;
  const auto quarter = decodeBrick<float>(c, block, d);
  // 4 x 4 groups whose corners are all dead: (i/4 + j/4) % 3 == 0.
  EXPECT_EQ(quarter[0], 0.0f);
  EXPECT_NE(quarter[1], 0.0f);
}

TEST(BlockRoundTrip, AllDeadBrickDecodesToZero) {
  P::Compressor3d c;
  std::vector<float> work = seismicBrick(8);
  std::vector<uint8_t> flags(64 * 64, 0);
  P::CompressedBlock3d block;
  EncodeOptions o{30.0f, true};
  o.flags = flags.data();
  ASSERT_TRUE(encodeBrick(c, block, work, o));
  EXPECT_EQ(block.GetGain(), 0.0);
  const auto out = decodeBrick<float>(c, block);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float v) { return v == 0.0f; }));
}

TEST(BlockRoundTrip, TinyFloatsGetGainZero) {
  P::Compressor3d c;
  std::vector<float> work = seismicBrick(9, 5e-7f);
  P::CompressedBlock3d block;
  ASSERT_TRUE(encodeBrick(c, block, work, {30.0f, true}));
  EXPECT_EQ(block.GetGain(), 0.0);
  const auto out = decodeBrick<float>(c, block);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float v) { return v == 0.0f; }));
}

TEST(BlockRoundTrip, ConstantBricks) {
  P::Compressor3d c;
  std::vector<float> work(kBrick, 3.25f);
  P::CompressedBlock3d block;
  ASSERT_TRUE(encodeBrick(c, block, work, {30.0f, true}));
  const auto out = decodeBrick<float>(c, block);
  EXPECT_GT(sqnrOf(std::vector<float>(kBrick, 3.25f), out), 28.0);
  // A block marked constant decodes without streams.
  P::CompressedBlock3d konst;
  konst.SetAllConst(-2.5);
  EXPECT_EQ(konst.SimulateWriteRead(), 12);
  const auto filled = decodeBrick<float>(c, konst);
  EXPECT_TRUE(std::all_of(filled.begin(), filled.end(), [](float v) { return v == -2.5f; }));
}

TEST(BlockRoundTrip, NonFiniteSamplesCodeAsZero) {
  P::Compressor3d c;
  std::vector<float> work = seismicBrick(10);
  work[100] = NAN;
  work[200] = INFINITY;
  work[300] = 3.4028235e38f;
  const std::vector<float> in = work;
  P::CompressedBlock3d block;
  ASSERT_TRUE(encodeBrick(c, block, work, {30.0f, true}));
  EXPECT_LT(block.GetGain(), 1.0);  // the markers did not set the scale
  const auto out = decodeBrick<float>(c, block);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float v) { return std::isfinite(v); }));
}

TEST(BlockRoundTrip, CompressorsOnSeveralThreadsAgree) {
  const std::vector<float> in = seismicBrick(11);
  P::Compressor3d c;
  P::CompressedBlock3d ref;
  std::vector<float> work = in;
  ASSERT_TRUE(encodeBrick(c, ref, work, {25.0f, true}));
  const std::vector<uint8_t> expected = payloadOf(ref);
  std::vector<std::vector<uint8_t>> got(3);
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      P::Compressor3d mine;
      for (int round = 0; round < 2; ++round) {
        P::CompressedBlock3d b;
        std::vector<float> w = in;
        encodeBrick(mine, b, w, {25.0f, true});
        got[t] = payloadOf(b);
      }
    });
  }
  for (auto& th : threads) th.join();
  for (const auto& g : got) EXPECT_EQ(g, expected);
}

TEST(BlockRoundTrip, SqnrHelpers) {
  const std::vector<float> a = {1, -2, 3, -4}, b = {1.5f, -2, 3, -3.5f};
  // mean |a| = 2.5, mean |a - b| = 0.25: 20 dB by amplitude.
  EXPECT_NEAR(P::Compressor3d::calculateSQNR(4, a.data(), b.data()), 20.0f, 1e-4);
  EXPECT_EQ(P::Compressor3d::calculateSQNR(4, a.data(), a.data()), 400.0f);
  EXPECT_EQ(P::Compressor3d::calculateSQNR(0, a.data(), b.data()), 400.0f);
  EXPECT_NEAR(P::Compression::snramp(4, a.data(), b.data()), 10.0, 1e-9);
  // mean a^2 = 7.5, mean (b - a)^2 = 0.125.
  EXPECT_NEAR(P::Compression::snrpow(4, a.data(), b.data()), 10 * std::log10(60.0), 1e-9);
  const std::vector<int16_t> ints = {1, -2, 3, -4};
  EXPECT_NEAR(P::Compression::snramp(4, ints.data(), b.data()), 10.0, 1e-9);
  const std::vector<float> same(ints.begin(), ints.end());
  EXPECT_EQ(P::Compression::snrpow(4, ints.data(), same.data()), 200.0);
  EXPECT_EQ(P::Compression::snramp(4, a.data(), a.data()), 200.0);
  EXPECT_EQ(P::Compressor3d::getNrOfQualityLevels(), 31);
}

TEST(BlockRoundTrip, TopLevelIsLosslessEvenForNoise) {
  // Full-range 32-bit noise: the lifting wraps and still inverts exactly,
  // and the coded planes outgrow the first cut of the stream area, so this
  // also runs the re-partition and second attempt.
  std::vector<int32_t> in(kBrick);
  uint32_t x = 12345;
  for (auto& v : in) {
    x = x * 1664525u + 1013904223u;
    v = static_cast<int32_t>(x);
  }
  P::Compressor3d c;
  P::CompressedBlock3d block;
  std::vector<int32_t> work = in;
  ASSERT_TRUE(encodeBrick(c, block, work, {30.0f, false}));
  P::CompressedBlock3d back;
  ASSERT_TRUE(readBack(payloadOf(block), block.GetGain(), back));
  EXPECT_EQ(decodeBrick<int32_t>(c, back), in);
}
