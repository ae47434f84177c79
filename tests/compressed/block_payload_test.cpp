// The stored form of a coded brick: header packing, reading back, refusal
// of damaged payloads.
#include <gtest/gtest.h>

#include <algorithm>

#include "compressed/block_test_util.h"
#include "core/endian.h"
#include "tyq/byte_coder.h"

namespace P = Qra::Ostrel::Tyq::Private;
namespace C = Qra::Ostrel::Tyq::Private::Compression;
using namespace tyq_test;

namespace {

P::CompressedBlock3d codedBrick(uint32_t seed, float sqnr = 25.0f) {
  P::Compressor3d c;
  P::CompressedBlock3d block;
  std::vector<float> work = seismicBrick(seed);
  EXPECT_TRUE(encodeBrick(c, block, work, {sqnr, true}));
  return block;
}

// A header coded the way the compressor codes it, from raw fields.
std::vector<uint8_t> header(const uint8_t* msb, const uint8_t* planes, const uint8_t* modes,
                            const int32_t* sizes) {
  std::vector<uint8_t> h;
  auto section = [&](const uint8_t* in, int n, uint8_t mode, int capacity) {
    std::vector<uint8_t> out(static_cast<size_t>(capacity));
    int32_t bits = capacity * 8;
    EXPECT_EQ(C::compressData(n, in, bits, out.data(), mode, true), mode);
    h.insert(h.end(), out.begin(), out.begin() + (bits + 7) / 8);
  };
  uint8_t sizeBytes[72];
  for (int k = 0; k < 18; ++k) P::Le::putI32(sizeBytes + 4 * k, sizes[k]);
  section(msb, 24, C::kModeBytesPacked, 26);
  section(planes, 24, C::kModeBytesPacked, 26);
  section(modes, 18, C::kModeBytesPacked, 20);
  section(sizeBytes, 72, C::kModeWordsPacked, 80);
  return h;
}

struct Fields {
  uint8_t msb[24], planes[24], modes[18];
  int32_t sizes[18];
  explicit Fields(const P::CompressedBlock3d& b) {
    for (int s = 0; s < 24; ++s) {
      msb[s] = static_cast<uint8_t>(b.GetMostSignificantBitPlane(s));
      planes[s] = static_cast<uint8_t>(b.GetNumberOfBitPlanes(s));
    }
    // Every stream stored as a plain copy of one zero byte.
    std::fill(std::begin(modes), std::end(modes), C::kModeCopy);
    std::fill(std::begin(sizes), std::end(sizes), 8);
  }
  std::vector<uint8_t> payload(size_t streamBytes = 18) const {
    std::vector<uint8_t> p = header(msb, planes, modes, sizes);
    p.resize(p.size() + streamBytes, 0);
    return p;
  }
};

void expectRefused(const std::vector<uint8_t>& payload) {
  P::CompressedBlock3d back;
  EXPECT_FALSE(readBack(payload, 0.5, back));
  EXPECT_EQ(back.GetGain(), 1.0);
  EXPECT_EQ(back.GetBitstreamSize(), 0);
  for (int s = 0; s < 24; ++s) EXPECT_EQ(back.GetNumberOfBitPlanes(s), 0);
  P::Compressor3d c;
  bool ok = false;
  const auto out = decodeBrick<float>(c, back, {}, &ok);
  EXPECT_TRUE(ok);
  // Zero coefficients; the rounding offsets of the inverse lifting leave a
  // few tens at gain 1.
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float v) { return std::fabs(v) <= 64; }));
}

}  // namespace

TEST(BlockPayload, ReadBackDecodesLikeTheOriginal) {
  P::CompressedBlock3d block = codedBrick(1);
  const std::vector<uint8_t> payload = payloadOf(block);
  EXPECT_LE(block.GetHeaderSize(), 152);
  P::CompressedBlock3d back;
  ASSERT_TRUE(readBack(payload, block.GetGain(), back));
  EXPECT_EQ(back.GetHeaderSize(), block.GetHeaderSize());
  EXPECT_EQ(back.GetBitstreamSize(), block.GetBitstreamSize());
  for (int s = 0; s < 24; ++s) {
    EXPECT_EQ(back.GetMostSignificantBitPlane(s), block.GetMostSignificantBitPlane(s));
    EXPECT_EQ(back.GetNumberOfBitPlanes(s), block.GetNumberOfBitPlanes(s));
  }
  P::Compressor3d c;
  EXPECT_EQ(decodeBrick<float>(c, back), decodeBrick<float>(c, block));
  // Packing a block that was read back reproduces the payload.
  EXPECT_EQ(payloadOf(back), payload);
}

TEST(BlockPayload, SimulatedWriteReadCountsTheStoredBytes) {
  P::CompressedBlock3d block = codedBrick(2);
  P::Compressor3d c;
  const auto before = decodeBrick<float>(c, block);
  const size_t stored = payloadOf(block).size();
  EXPECT_EQ(block.SimulateWriteRead(), static_cast<int64_t>(stored) + 12);
  EXPECT_EQ(decodeBrick<float>(c, block), before);
}

TEST(BlockPayload, InputBufferHasALimit) {
  P::CompressedBlock3d b;
  EXPECT_EQ(b.GetInputBuffer(2621441, 1.0), nullptr);
  EXPECT_EQ(b.GetInputBuffer(-1, 1.0), nullptr);
  EXPECT_NE(b.GetInputBuffer(2621440, 2.0), nullptr);
  EXPECT_EQ(b.GetGain(), 2.0);
}

TEST(BlockPayload, ForgedHeaderOfTheRightShapeIsAccepted) {
  const Fields f(codedBrick(3));
  P::CompressedBlock3d back;
  EXPECT_TRUE(readBack(f.payload(), 0.5, back));
  EXPECT_EQ(back.GetGain(), 0.5);
}

TEST(BlockPayload, DamagedHeadersAreRefused) {
  const Fields good(codedBrick(4));
  {
    Fields f = good;
    f.sizes[3] = -8;
    expectRefused(f.payload());
  }
  {
    Fields f = good;
    f.sizes[17] = 8 * 1000;  // runs past the payload
    expectRefused(f.payload());
  }
  {
    Fields f = good;
    f.msb[5] = 32;
    expectRefused(f.payload());
  }
  {
    Fields f = good;
    f.planes[7] = static_cast<uint8_t>(f.msb[7] + 1);
    expectRefused(f.payload());
  }
  // Truncated inside the header, and nothing at all.
  std::vector<uint8_t> p = good.payload();
  p.resize(30);
  expectRefused(p);
  expectRefused({});
}

TEST(BlockPayload, UndecodableStreamsFailTheDecode) {
  Fields f(codedBrick(5));
  f.modes[2] = 5;  // not a defined form
  P::CompressedBlock3d back;
  ASSERT_TRUE(readBack(f.payload(), 1.0, back));
  P::Compressor3d c;
  bool ok = true;
  decodeBrick<float>(c, back, {}, &ok);
  EXPECT_FALSE(ok);
}

TEST(BlockPayload, GarbageStreamsDecodeSafely) {
  Fields f(codedBrick(6, 40.0f));
  std::fill(std::begin(f.sizes), std::end(f.sizes), 64 * 8);
  std::vector<uint8_t> p = f.payload(18 * 64);
  for (size_t i = p.size() - 18 * 64; i < p.size(); ++i) p[i] = static_cast<uint8_t>(i * 37 + 11);
  P::CompressedBlock3d back;
  ASSERT_TRUE(readBack(p, 1e-3, back));
  P::Compressor3d c;
  for (auto level : {P::DecompQuarter, P::DecompHalf, P::DecompFull}) {
    DecodeOptions d;
    d.level = level;
    bool ok = false;
    decodeBrick<int8_t>(c, back, d, &ok);
    EXPECT_TRUE(ok);
    d.twoStage = true;
    decodeBrick<float>(c, back, d, &ok);
    EXPECT_TRUE(ok);
  }
}
