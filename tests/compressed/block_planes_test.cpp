// Plane counts per quality level and the bit-plane coder on its own: what
// the decoder rebuilds is exactly the kept planes (plus one border plane).
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "compressed/bitplane.h"
#include "compressed/compressor3d_impl.h"
#include "compressed/stream_area.h"
#include "compressed/subbands.h"

namespace B = Qra::Ostrel::Tyq::Private::Block;

namespace {

B::PlaneArray sampleMsb() {
  B::PlaneArray m{};
  const int v[B::kSubbands] = {18, 15, 14, 12, 13, 11, 10, 9, 12, 11, 10, 9,
                               8,  7,  12, 10, 9,  8,  9,  8, 7,  6,  5,  4};
  for (int s = 0; s < B::kSubbands; ++s) m[s] = static_cast<uint8_t>(v[s]);
  return m;
}

// Random sign-magnitude coefficients whose subband s has exactly msb[s] bits.
std::vector<uint32_t> randomCoefficients(const B::PlaneArray& msb, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint32_t> c(B::kSamples, 0);
  for (int s = 0; s < B::kSubbands; ++s) {
    const B::Subband& b = B::kBands[s];
    if (msb[s] == 0) continue;
    for (int i = 0; i < b.size(); ++i) {
      // Mostly small values with a few large ones, like real subbands.
      const int bits = static_cast<int>(rng() % (msb[s] + 1));
      const uint32_t mag = bits == 0 ? 0 : (rng() & ((1u << bits) - 1)) | (1u << (bits - 1));
      c[b.offset + i] = mag | (mag && (rng() & 1) ? 0x80000000u : 0);
    }
    c[b.offset + static_cast<int>(rng() % b.size())] = 1u << (msb[s] - 1);
  }
  return c;
}

struct Coded {
  B::StreamArea area;
  B::BitWriter writers[B::kRawStreams];
  B::BitReader readers[B::kRawStreams];
};

// Encodes with `plan`, then decodes `bands` subbands with `decodePlan`.
std::vector<uint32_t> codeAndDecode(std::vector<uint32_t> coef, const B::PlanePlan& plan,
                                    const B::PlanePlan& decodePlan, int bands = B::kSubbands) {
  Coded k;
  EXPECT_TRUE(k.area.allocate(8 * static_cast<size_t>(B::kSamples)));
  std::vector<uint8_t> states(B::kStateBytes);
  // Incompressible coefficients outgrow the first partition, as they would
  // in the compressor, which re-partitions and codes again.
  size_t lengths[B::kRawStreams];
  for (int attempt = 0; attempt < 3; ++attempt) {
    k.area.startWriting(k.writers);
    B::encodeBands(k.writers, coef.data(), states.data(), plan);
    bool overflow = false;
    for (int s = 0; s < B::kRawStreams; ++s) {
      lengths[s] = k.writers[s].finish();
      overflow = overflow || k.writers[s].overflowed();
    }
    if (!overflow) break;
    EXPECT_EQ(attempt, 0);
    EXPECT_TRUE(k.area.repartition(lengths));
  }
  for (int s = 0; s < B::kRawStreams; ++s) k.readers[s].reset(k.writers[s].start(), lengths[s]);
  std::vector<uint32_t> out(B::kSamples, 0);
  B::decodeBands(k.readers, out.data(), states.data(), decodePlan, bands);
  return out;
}

bool onBorder(const B::Subband& b, int i) {
  const int i0 = i % b.n0, i1 = (i / b.n0) % b.n1;
  return i0 == 0 || i1 == 0 || i0 == b.n0 - 1 || i1 == b.n1 - 1;
}

// The coefficient as a decoder of `planes` planes (and the border pass)
// must see it.
uint32_t expectedAfter(uint32_t c, int msb, int planes, bool border) {
  const int kept = planes + (border ? 1 : 0);
  if (planes == 0 || msb == 0) return 0;
  const uint32_t mask = kept >= msb ? 0x7FFFFFFFu : (0x7FFFFFFFu << (msb - kept)) & 0x7FFFFFFFu;
  const uint32_t mag = c & mask;
  return mag ? mag | (c & 0x80000000u) : 0;
}

}  // namespace

TEST(BlockPlanes, QualityZeroKeepsFourPlanesOfTheStrongestBand) {
  const B::PlaneArray msb = sampleMsb();
  const B::PlaneArray p = B::planesForQuality(msb, 0);
  const int weight[B::kSubbands] = {0, 1, 1, 1, 1, 1, 1, 2, 1, 1, 2, 2,
                                    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 3};
  EXPECT_EQ(p[0], 4);
  for (int s = 1; s < B::kSubbands; ++s)
    EXPECT_EQ(p[s], std::max(0, msb[s] - weight[s] - msb[0] + 4)) << s;
}

TEST(BlockPlanes, CountsGrowWithTheLevelAndStayWithinTheBand) {
  const B::PlaneArray msb = sampleMsb();
  int previous = 0;
  for (int q = 0; q <= B::kQualityLevels; ++q) {
    const B::PlaneArray p = B::planesForQuality(msb, q);
    int total = 0;
    for (int s = 0; s < B::kSubbands; ++s) {
      EXPECT_LE(p[s], msb[s]);
      total += p[s];
    }
    EXPECT_GE(total, previous) << q;
    previous = total;
  }
  // The top level keeps everything.
  EXPECT_EQ(B::planesForQuality(msb, 30), msb);
  // An odd level uses the second weight table: subband 1 weighs 0 there.
  EXPECT_EQ(B::planesForQuality(msb, 1)[1], 15 - 0 - 18 + 4);
}

TEST(BlockPlanes, FirstStageIsCappedRelativeToTheFirstBand) {
  const B::PlaneArray msb = sampleMsb();
  const B::PlaneArray planes = B::planesForQuality(msb, 30);
  const B::PlaneArray p1 = B::firstStagePlanes(msb, planes);
  EXPECT_EQ(p1[0], 10);  // 18 - 0 - 18 + 10
  EXPECT_EQ(p1[1], 6);   // 15 - 1 - 18 + 10
  EXPECT_EQ(p1[23], 0);  // 4 - 3 - 18 + 10 < 0
  EXPECT_EQ(B::firstStagePlanes(msb, B::planesForQuality(msb, 0))[0], 4);
}

TEST(BlockPlanes, AllPlanesDecodeExactly) {
  const B::PlaneArray msb = sampleMsb();
  const std::vector<uint32_t> c = randomCoefficients(msb, 1);
  B::PlanePlan plan;
  plan.msb = msb;
  plan.planes = msb;
  plan.first = msb;
  EXPECT_EQ(codeAndDecode(c, plan, plan), c);
}

TEST(BlockPlanes, KeptPlanesAndTheBorderPlaneDecode) {
  const B::PlaneArray msb = sampleMsb();
  const std::vector<uint32_t> c = randomCoefficients(msb, 2);
  for (int q : {0, 5, 17}) {
    B::PlanePlan plan;
    plan.msb = msb;
    plan.planes = B::planesForQuality(msb, q);
    plan.first = plan.planes;
    const std::vector<uint32_t> out = codeAndDecode(c, plan, plan);
    for (int s = 0; s < B::kSubbands; ++s) {
      const B::Subband& b = B::kBands[s];
      for (int i = 0; i < b.size(); ++i)
        ASSERT_EQ(out[b.offset + i],
                  expectedAfter(c[b.offset + i], msb[s], plan.planes[s], onBorder(b, i)))
            << "q " << q << " subband " << s << " at " << i;
    }
  }
}

TEST(BlockPlanes, TwoStagesDecodeLikeOneAndTheFirstAlone) {
  const B::PlaneArray msb = sampleMsb();
  const std::vector<uint32_t> c = randomCoefficients(msb, 3);
  B::PlanePlan one;
  one.msb = msb;
  one.planes = B::planesForQuality(msb, 24);
  one.first = one.planes;
  B::PlanePlan two = one;
  two.first = B::firstStagePlanes(msb, one.planes);
  two.secondStage = true;
  EXPECT_EQ(codeAndDecode(c, two, two), codeAndDecode(c, one, one));
  // Stopping after the first stage gives the first-stage planes.
  B::PlanePlan firstOnly = two;
  firstOnly.secondStage = false;
  const std::vector<uint32_t> out = codeAndDecode(c, two, firstOnly, 18);
  for (int s = 0; s < 18; ++s) {
    const B::Subband& b = B::kBands[s];
    const bool complete = two.first[s] == two.planes[s];
    for (int i = 0; i < b.size(); ++i)
      ASSERT_EQ(out[b.offset + i],
                expectedAfter(c[b.offset + i], msb[s], two.first[s], complete && onBorder(b, i)))
          << s;
  }
  for (int s = 18; s < B::kSubbands; ++s) EXPECT_EQ(out[B::kBands[s].offset], 0u);
}

namespace {

// Random stream bytes, rich in 1s, name coefficients that are significant
// already and neighbourhoods of every count; the decoder must stay inside
// its tables and buffers, and set no bit above a band's most significant.
TEST(BlockPlanes, RandomStreamsDecodeWithinTheBands) {
  const B::PlaneArray msb = sampleMsb();
  B::PlanePlan plan;
  plan.msb = msb;
  plan.planes = B::planesForQuality(msb, 30);
  plan.first = B::firstStagePlanes(msb, plan.planes);
  plan.secondStage = true;
  std::vector<uint8_t> states(B::kStateBytes);
  std::mt19937 rng(21);
  for (int round = 0; round < 4; ++round) {
    std::vector<std::vector<uint8_t>> bytes(B::kRawStreams);
    B::BitReader readers[B::kRawStreams];
    for (int s = 0; s < B::kRawStreams; ++s) {
      bytes[s].resize(rng() % 20000);
      for (uint8_t& v : bytes[s]) v = static_cast<uint8_t>(rng() | (round < 2 ? rng() : 0));
      readers[s].reset(bytes[s].data(), bytes[s].size());
    }
    std::vector<uint32_t> out(B::kSamples, 0);
    B::decodeBands(readers, out.data(), states.data(), plan, B::kSubbands);
    for (int s = 0; s < B::kSubbands; ++s) {
      const B::Subband& b = B::kBands[s];
      for (int i = 0; i < b.size(); ++i)
        ASSERT_LT(out[b.offset + i] & 0x7FFFFFFFu, 1u << msb[s]) << s << " " << i;
    }
  }
}

TEST(BlockPlanes, SignMagnitudeRoundTripsAndMasksLikeOneValueAtATime) {
  // 21 values: the vector loops and their scalar tail both run.
  std::vector<int32_t> v = {0,       1,  -1,  INT32_MAX, INT32_MIN, INT32_MIN + 1, 77, -77,
                            1 << 30, -5, 300, -300,      1234567,   -7654321,      12, -12};
  std::mt19937 rng(9);
  while (v.size() < 21) v.push_back(static_cast<int32_t>(rng()));
  std::vector<int32_t> sm = v;
  B::toSignMagnitude(sm.data(), static_cast<int>(sm.size()));
  const uint32_t keep = 0xFFFFFF00u;
  std::vector<int32_t> masked(sm.size());
  B::fromSignMagnitude(sm.data(), masked.data(), static_cast<int>(sm.size()), keep);
  std::vector<int32_t> back = sm;
  B::fromSignMagnitude(back.data(), static_cast<int>(back.size()));
  for (size_t i = 0; i < v.size(); ++i) {
    const uint32_t u = static_cast<uint32_t>(v[i]);
    const uint32_t mag = v[i] < 0 ? (u == 0x80000000u ? 0x7FFFFFFFu : 0u - u) : u;
    EXPECT_EQ(static_cast<uint32_t>(sm[i]), mag | (u & 0x80000000u)) << i;
    const uint32_t kept = mag & keep & 0x7FFFFFFFu;
    EXPECT_EQ(static_cast<uint32_t>(masked[i]), v[i] < 0 ? 0u - kept : kept) << i;
    EXPECT_EQ(back[i], v[i] == INT32_MIN ? -INT32_MAX : v[i]) << i;
  }
}

}  // namespace
