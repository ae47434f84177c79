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
          const int phase = (i2 * 8 + i0 * (l + 1) + i1 * (3 - l) + static_cast<int>(seed) * 5) % (8 * period);
          const int tri = phase < 4 * period ? phase : 8 * period - phase;
          s += (tri - 2 * period) * (40 - 8 * l);
        }
        const uint32_t h = (static_cast<uint32_t>(i0 + 64 * i1 + 4096 * i2) + seed * 7919u) * 2654435761u;
        s += static_cast<int32_t>(h >> 26) - 32;
        v[i0 + 64 * i1 + 4096 * i2] = static_cast<float>(s) * 0.125f;
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
};

P::CompressedBlock3d codeCase(const std::string& name) {
  P::Compressor3d c;
  P::CompressedBlock3d block;
  EncodeOptions o;
  std::vector<uint8_t> flags(64 * 64, 1);
  if (name == "int16-sqnr20-two-stage") {
    const std::vector<float> f = goldenBrick(3);
    std::vector<int16_t> s(f.begin(), f.end());
    o.sqnr = 20;
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
    const uint64_t header = fnv1a(block.GetHeaderData(), static_cast<size_t>(block.GetHeaderSize()));
    const uint64_t bits = fnv1a(block.GetBitstreamData(), static_cast<size_t>(block.GetBitstreamSize()));
    const uint64_t raw = rawStreamsChecksum(block);
    if (print) {
      std::printf("    {\"%s\", 0x%016" PRIx64 ", 0x%016" PRIx64 ", 0x%016" PRIx64 "},\n", g.name, header,
                  bits, raw);
      continue;
    }
    EXPECT_EQ(header, g.header) << g.name;
    EXPECT_EQ(bits, g.bitstream) << g.name;
    EXPECT_EQ(raw, g.raw) << g.name;
  }
}
