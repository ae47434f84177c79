// Golden checksums of coded bricks, so that any change of the coded bytes is
// deliberate. The bricks come from integer formulas (no libm), so every
// machine sees the same samples.
//
// After a deliberate change of the bitstream, print the new values with
//   TYQ_PRINT_GOLDEN=1 ./tyq_compressed_tests --gtest_filter='BlockGolden*'
// and paste them into kGolden below.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>

#include "compressed/block_test_util.h"

namespace P = Qra::Ostrel::Tyq::Private;
using namespace tyq_test;

namespace {

// Layered triangle waves along a dipping axis 2, plus hashed noise; all
// integer until one exact scaling.
std::vector<float> goldenBrick(uint32_t seed) {
  std::vector<float> v(kBrick);
  for (int i2 = 0; i2 < 64; ++i2)
    for (int i1 = 0; i1 < 64; ++i1)
      for (int i0 = 0; i0 < 64; ++i0) {
        int32_t s = 0;
        for (int l = 0; l < 4; ++l) {
          const int period = 9 + 4 * l + static_cast<int>(seed % 3);
          const int phase =
              (i2 * 8 + i0 * (l + 1) + i1 * (3 - l) + static_cast<int>(seed) * 5) % (8 * period);
          const int tri = phase < 4 * period ? phase : 8 * period - phase;
          s += (tri - 2 * period) * (40 - 8 * l);
        }
        const uint32_t h =
            (static_cast<uint32_t>(i0 + 64 * i1 + 4096 * i2) + seed * 7919u) * 2654435761u;
        s += static_cast<int32_t>(h >> 26) - 32;
        v[i0 + 64 * i1 + 4096 * i2] = static_cast<float>(s) * 0.125f;
      }
  return v;
}

// Reflectors convolved with a small integer wavelet, dipping and cut by a
// fault, fading with depth: a trace-like structure with sharp events.
std::vector<float> reflectivityBrick(uint32_t seed) {
  constexpr int kWavelet[9] = {-1, -4, -6, 4, 16, 4, -6, -4, -1};
  std::vector<float> v(kBrick);
  for (int i1 = 0; i1 < 64; ++i1)
    for (int i0 = 0; i0 < 64; ++i0) {
      const int shift = (i0 * 3 + i1 * 2) / 8 + (i0 > 40 ? 5 : 0);
      for (int i2 = 0; i2 < 64; ++i2) {
        int32_t s = 0;
        for (int r = 0; r < 12; ++r) {
          const uint32_t h = (static_cast<uint32_t>(r) + seed * 131u) * 2654435761u;
          const int at = 7 * r + static_cast<int>(h >> 29) + shift - 10;
          const int d = i2 - at;
          if (d >= -4 && d <= 4)
            s += (static_cast<int32_t>(h >> 21 & 2047) - 1024) * kWavelet[d + 4];
        }
        const uint32_t n = (static_cast<uint32_t>(i0 + 64 * i1 + 4096 * i2) + seed) * 2246822519u;
        s = s * (160 - i2) / 128 + static_cast<int32_t>(n >> 25) - 64;
        v[i0 + 64 * i1 + 4096 * i2] = static_cast<float>(s) * 0.25f;
      }
    }
  return v;
}

struct Golden {
  const char* name;
  uint64_t header, bitstream, raw;
};

// name, FNV-1a 64 of the coded header, of the coded streams and of the
// eighteen raw streams (before the byte coder).
const Golden kGolden[] = {
    {"float-sqnr12", 0xdfd0b967c2983cd8, 0xe41c6c9c4deefc45, 0x645ef538c596ab0f},
    {"float-sqnr30", 0x8dc03e33f1273e38, 0x426a95cd269db50f, 0xc816a330ca43363b},
    {"int16-sqnr20-two-stage", 0xf74fa6ceee06f335, 0x69231e7a78f57f17, 0x63adbb676e4f7c50},
    {"float-partial-dead-zombie", 0x09c5db22f37548a8, 0x96d15c81fb37581f, 0x91dc087312d99258},
    {"float-fixed-level10", 0xd37307d1d254226b, 0x95f9ba24da6ce8b7, 0xf62f4e4149d4f135},
    {"float-reflectivity-sqnr40", 0x21fc9d44b22c8182, 0x2ea213af61ff4bb2, 0x21c5d6241b00ccb4},
    {"int16-reflectivity-sqnr35-two-stage", 0x3b373ee0437e5004, 0x1bdf61f67c23c21d,
     0x169a8109f2b43b78},
};

// FNV-1a 64 of the decoded samples of each case above: float at full and
// half resolution, 16-bit at quarter resolution, one after the other.
const uint64_t kDecodedGolden[std::size(kGolden)] = {
    0x32fe915ceca7862c, 0xf2d06769b167b6b9, 0xe6dc60af796258c9, 0x651d7c9df25fdfa3,
    0x7b2c62bb016c4a95, 0x7f1f11b9f019a30b, 0x530c5f224b6b2ba4,
};

bool codedInTwoStages(const std::string& name) {
  return name.find("two-stage") != std::string::npos;
}

P::CompressedBlock3d codeCase(const std::string& name) {
  P::Compressor3d c;
  P::CompressedBlock3d block;
  EncodeOptions o;
  std::vector<uint8_t> flags(64 * 64, 1);
  if (name == "float-reflectivity-sqnr40") {
    std::vector<float> s = reflectivityBrick(5);
    o.sqnr = 40;
    EXPECT_TRUE(encodeBrick(c, block, s, o));
    return block;
  }
  if (name == "int16-sqnr20-two-stage" || name == "int16-reflectivity-sqnr35-two-stage") {
    const bool reflectivity = name == "int16-reflectivity-sqnr35-two-stage";
    const std::vector<float> f = reflectivity ? reflectivityBrick(6) : goldenBrick(3);
    std::vector<int16_t> s(f.begin(), f.end());
    o.sqnr = reflectivity ? 35 : 20;
    o.twoStage = true;
    EXPECT_TRUE(encodeBrick(c, block, s, o));
    return block;
  }
  std::vector<float> s = goldenBrick(name == "float-sqnr12" ? 1 : 2);
  if (name == "float-sqnr12") o.sqnr = 12;
  if (name == "float-partial-dead-zombie") {
    for (int i = 0; i < 64 * 64; i += 5) flags[i] = 0;
    o.flags = flags.data();
    o.valid[0] = 40;
    o.valid[2] = 50;
    o.sqnr = 25;
    c.SetZombieGuard(true);
  }
  if (name == "float-fixed-level10") {
    o.sqnr = 10.5f;
    o.control = false;
  }
  EXPECT_TRUE(encodeBrick(c, block, s, o));
  return block;
}

uint64_t rawStreamsChecksum(const P::CompressedBlock3d& block) {
  std::vector<uint8_t> area(8 << 20);
  uint8_t* starts[18];
  int32_t lengths[18];
  EXPECT_TRUE(block.GetStreams(starts, area.data(), static_cast<int64_t>(area.size()), lengths));
  uint64_t h = 0;
  for (int k = 0; k < 18; ++k) h ^= fnv1a(starts[k], static_cast<size_t>(lengths[k])) * (2 * k + 1);
  return h;
}

}  // namespace

TEST(BlockGolden, CodedBytesAreUnchanged) {
  const bool print = std::getenv("TYQ_PRINT_GOLDEN") != nullptr;
  for (const Golden& g : kGolden) {
    P::CompressedBlock3d block = codeCase(g.name);
    ASSERT_TRUE(block.PackData());
    const uint64_t header =
        fnv1a(block.GetHeaderData(), static_cast<size_t>(block.GetHeaderSize()));
    const uint64_t bits =
        fnv1a(block.GetBitstreamData(), static_cast<size_t>(block.GetBitstreamSize()));
    const uint64_t raw = rawStreamsChecksum(block);
    if (print) {
      std::printf("    {\"%s\", 0x%016" PRIx64 ", 0x%016" PRIx64 ", 0x%016" PRIx64 "},\n", g.name,
                  header, bits, raw);
      continue;
    }
    EXPECT_EQ(header, g.header) << g.name;
    EXPECT_EQ(bits, g.bitstream) << g.name;
    EXPECT_EQ(raw, g.raw) << g.name;
  }
}

// The decoder is the mirror of the coder; its output is pinned as well.
TEST(BlockGolden, DecodedSamplesAreUnchanged) {
  const bool print = std::getenv("TYQ_PRINT_GOLDEN") != nullptr;
  P::Compressor3d c;
  for (size_t i = 0; i < std::size(kGolden); ++i) {
    const std::string name = kGolden[i].name;
    P::CompressedBlock3d block = codeCase(name);
    P::CompressedBlock3d read;
    ASSERT_TRUE(readBack(payloadOf(block), block.GetGain(), read)) << name;
    DecodeOptions o;
    o.twoStage = codedInTwoStages(name);
    const std::vector<float> full = decodeBrick<float>(c, read, o);
    o.level = P::DecompHalf;
    const std::vector<float> half = decodeBrick<float>(c, read, o);
    o.level = P::DecompQuarter;
    const std::vector<int16_t> quarter = decodeBrick<int16_t>(c, read, o);
    auto bytes = [](const auto& v) { return reinterpret_cast<const uint8_t*>(v.data()); };
    const uint64_t h = fnv1a(bytes(full), full.size() * 4) ^
                       3 * fnv1a(bytes(half), half.size() * 4) ^
                       5 * fnv1a(bytes(quarter), quarter.size() * 2);
    if (print) {
      std::printf("    0x%016" PRIx64 ",  // %s\n", h, name.c_str());
      continue;
    }
    EXPECT_EQ(h, kDecodedGolden[i]) << name;
  }
}
