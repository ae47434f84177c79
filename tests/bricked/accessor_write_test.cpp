// The write path against an in-memory model, and its bookkeeping: flag
// tiles, constant bricks, histogram and statistics, levels of detail.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "bricked/accessor.h"
#include "support/fault_injection.h"
#include "support/temp_dir.h"
#include "tyq/environment.h"
#include "tyq/tyq.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {
namespace {

namespace FA = FileAccess;
using E = FA::Error;

constexpr int kN[3] = {40, 37, 33};

FA::DataInfo survey(int n0 = kN[0], int n1 = kN[1], int n2 = kN[2]) {
  FA::DataInfo info;
  info.SetExtent(100, 1, n0, 200, 1, n1, 0, 4, n2, false);
  return info;
}

FA::AutoRef<FA::Writer> create(const std::string& name, FA::DataTypeEnum::value_type type,
                               int brick, const FA::DataInfo& info = survey(),
                               FA::TyqOptions options = FA::TyqOptions()) {
  Environment::putNumericEnv("OSTREL_TYQ_BRICK_SIZE", brick);
  FA::AutoRef<FA::Writer> writer;
  Status status;
  EXPECT_EQ(FA::Tyq::CreateTyqWriter(writer, name, info, type, options, &status, -1.0, 1.0), 0)
      << status.message();
  ::unsetenv("OSTREL_TYQ_BRICK_SIZE");
  return writer;
}

size_t at(const int n[3], int i, int j, int k) {
  return (static_cast<size_t>(i) * n[1] + j) * n[2] + k;
}

TEST(WritePath, RandomBoxesMatchAModelAcrossReopen) {
  tyq_test::TempDir dir;
  const std::string name = dir.file("model.vbs");
  auto writer = create(name, FA::DataTypeEnum::Float32, 16);
  ASSERT_TRUE(writer);
  std::vector<float> model(static_cast<size_t>(kN[0]) * kN[1] * kN[2], 0.0f);
  std::vector<bool> written(model.size(), false);
  std::mt19937 rng(3);
  for (int trial = 0; trial < 60; ++trial) {
    int start[3], size[3];
    for (int a = 0; a < 3; ++a) {
      start[a] = static_cast<int>(rng() % kN[a]);
      size[a] = 1 + static_cast<int>(rng() % (kN[a] - start[a]));
    }
    std::vector<float> box(static_cast<size_t>(size[0]) * size[1] * size[2]);
    for (auto& v : box) v = static_cast<float>(rng() % 1000) * 0.25f - 100.0f;
    Status status;
    ASSERT_TRUE(writer->WriteData(0, start[0], start[1], start[2], size[0], size[1], size[2],
                                  box.data(), &status))
        << status.message();
    for (int i = 0; i < size[0]; ++i) {
      for (int j = 0; j < size[1]; ++j) {
        for (int k = 0; k < size[2]; ++k) {
          const size_t m = at(kN, start[0] + i, start[1] + j, start[2] + k);
          model[m] = box[at(size, i, j, k)];
          written[m] = true;
        }
      }
    }
  }
  Status status;
  ASSERT_TRUE(writer->Finalize(false, true, &status)) << status.message();
  writer = FA::AutoRef<FA::Writer>();

  FA::AutoRef<FA::Reader> reader;
  ASSERT_EQ(FA::Tyq::CreateTyqReader(reader, name, FA::TyqOptions(), &status), 0);
  std::vector<float> back(model.size());
  ASSERT_TRUE(reader->ReadData(0, 0, 0, 0, kN[0], kN[1], kN[2], back.data(), &status));
  EXPECT_EQ(back, model);
  // Statistics count every sample of every brick written once, however often.
  FA::DataInfo info;
  ASSERT_TRUE(reader->GetDataInfo(info, nullptr));
  double sum = 0;
  int64_t samplesInWrittenBricks = 0;
  for (int bi = 0; bi < 3; ++bi) {
    for (int bj = 0; bj < 3; ++bj) {
      for (int bk = 0; bk < 3; ++bk) {
        bool any = false;
        int64_t count = 0;
        for (int i = bi * 16; i < std::min(kN[0], bi * 16 + 16); ++i) {
          for (int j = bj * 16; j < std::min(kN[1], bj * 16 + 16); ++j) {
            for (int k = bk * 16; k < std::min(kN[2], bk * 16 + 16); ++k) {
              any = any || written[at(kN, i, j, k)];
              ++count;
            }
          }
        }
        if (!any) continue;
        samplesInWrittenBricks += count;
        for (int i = bi * 16; i < std::min(kN[0], bi * 16 + 16); ++i) {
          for (int j = bj * 16; j < std::min(kN[1], bj * 16 + 16); ++j) {
            for (int k = bk * 16; k < std::min(kN[2], bk * 16 + 16); ++k)
              sum += model[at(kN, i, j, k)];
          }
        }
      }
    }
  }
  EXPECT_EQ(info.statCount, samplesInWrittenBricks);
  EXPECT_NEAR(info.statSum, sum, 1e-6 * std::fabs(sum) + 1e-3);
  FA::Histogram hist;
  ASSERT_TRUE(reader->GetDataHist(hist, nullptr));
  EXPECT_EQ(hist.count, samplesInWrittenBricks);
  // Every level exists after finalising with generation.
  float coarse[1];
  FA::FileInfo fileInfo;
  ASSERT_TRUE(reader->GetFileInfo(fileInfo, nullptr));
  EXPECT_TRUE(reader->ReadData(fileInfo.numberOfLods - 1, 0, 0, 0, 1, 1, 1, coarse, &status))
      << status.message();
}

TEST(WritePath, OverwritesAndHigherLevelsKeepTheCountsExact) {
  tyq_test::TempDir dir;
  auto writer = create(dir.file("c.vbs"), FA::DataTypeEnum::Float32, 16);
  std::vector<float> brick(16 * 16 * 16);
  for (size_t n = 0; n < brick.size(); ++n) brick[n] = static_cast<float>(n % 7);
  const float* bricks[1] = {brick.data()};
  ASSERT_TRUE(writer->WriteDataBrick(0, 0, 0, 0, 1, 1, 1, bricks, nullptr));
  ASSERT_TRUE(writer->WriteDataBrick(0, 0, 0, 0, 1, 1, 1, bricks, nullptr));
  ASSERT_TRUE(writer->WriteDataBrick(1, 0, 0, 0, 1, 1, 1, bricks, nullptr));
  ASSERT_TRUE(writer->Flush(false, false, nullptr));
  FA::DataInfo info;
  ASSERT_TRUE(writer->GetDataInfo(info, nullptr));
  EXPECT_EQ(info.statCount, 4096);
  EXPECT_EQ(info.statMin, 0.0f);
  EXPECT_EQ(info.statMax, 6.0f);
}

TEST(WritePath, ConstantBricksBecomeTableEntries) {
  tyq_test::TempDir dir;
  auto writer = create(dir.file("k.vbs"), FA::DataTypeEnum::Int16, 16);
  std::vector<short> same(16 * 16 * 16, 1234);
  const short* bricks[1] = {same.data()};
  resetDebugLevelForTesting();
  Environment::putNumericEnv("OSTREL_TYQ_DEBUG", 2);
  testing::internal::CaptureStdout();
  ASSERT_TRUE(writer->WriteDataBrick(0, 1, 0, 0, 1, 1, 1, bricks, nullptr));
  const std::string trace = testing::internal::GetCapturedStdout();
  ::unsetenv("OSTREL_TYQ_DEBUG");
  resetDebugLevelForTesting();
  EXPECT_NE(trace.find("Brick (1,0,0) LOD0 (CONSTANT)"), std::string::npos) << trace;
  long long pos = -1;
  ASSERT_TRUE(writer->GetDataBrickPos(&pos, 0, 1, 0, 0, 1, 1, 1, nullptr));
  EXPECT_EQ(pos, 1);
}

TEST(WritePath, FlagsDecideWhatIsWritten) {
  tyq_test::TempDir dir;
  const std::string name = dir.file("f.vbs");
  auto writer = create(name, FA::DataTypeEnum::Float32, 16);
  std::vector<unsigned char> dead(16 * 16, 0);
  ASSERT_TRUE(writer->WriteGridFlags(0, 0, 0, 16, 16, dead.data(), nullptr));
  std::vector<float> box(16 * 16 * 16, 2.5f);
  ASSERT_TRUE(writer->WriteData(0, 0, 0, 0, 16, 16, 16, box.data(), nullptr));
  long long pos = -1;
  ASSERT_TRUE(writer->GetDataBrickPos(&pos, 0, 0, 0, 0, 1, 1, 1, nullptr));
  EXPECT_EQ(pos, 0);  // a column of dead traces receives nothing
  // The first write into a column without flags makes every trace live.
  ASSERT_TRUE(writer->WriteData(0, 16, 0, 0, 16, 16, 16, box.data(), nullptr));
  auto* reader = dynamic_cast<FA::Reader*>(writer.get());
  ASSERT_NE(reader, nullptr);
  std::vector<unsigned char> flags(16 * 16, 9);
  ASSERT_TRUE(reader->ReadGridFlags(0, 16, 0, 16, 16, flags.data(), nullptr));
  for (const unsigned char f : flags) ASSERT_EQ(f, 1);
}

TEST(WritePath, PartialBricksMergeWithZerosAndIntegerCodesClamp) {
  tyq_test::TempDir dir;
  auto writer = create(dir.file("i.vbs"), FA::DataTypeEnum::Int8, 16);
  const float values[3] = {2.0f, std::nanf(""), -1.0f};
  ASSERT_TRUE(writer->WriteData(0, 3, 4, 5, 1, 1, 3, values, nullptr));
  auto* reader = dynamic_cast<FA::Reader*>(writer.get());
  signed char codes[5];
  ASSERT_TRUE(reader->ReadData(0, 3, 4, 4, 1, 1, 5, codes, nullptr));
  // Merged with an absent brick: the value 0.0, whose nearest code is -1.
  EXPECT_EQ(codes[0], -1);
  EXPECT_EQ(codes[1], 127);
  EXPECT_EQ(codes[2], 0);
  EXPECT_EQ(codes[3], -128);
}

TEST(WritePath, AutomaticGenerationWaitsForTheWholeFootprint) {
  tyq_test::TempDir dir;
  auto writer = create(dir.file("a.vbs"), FA::DataTypeEnum::Float32, 16, survey(64, 64, 64));
  std::vector<float> box(32 * 32 * 32, 1.0f);
  for (size_t n = 0; n < box.size(); n += 3) box[n] = 2.0f;  // not constant
  ASSERT_TRUE(writer->WriteData(0, 0, 0, 0, 32, 32, 16, box.data(), nullptr));
  long long pos = -1;
  ASSERT_TRUE(writer->GetDataBrickPos(&pos, 1, 0, 0, 0, 1, 1, 1, nullptr));
  EXPECT_EQ(pos, 0);
  ASSERT_TRUE(writer->WriteData(0, 0, 0, 16, 32, 32, 16, box.data(), nullptr));
  ASSERT_TRUE(writer->GetDataBrickPos(&pos, 1, 0, 0, 0, 1, 1, 1, nullptr));
  EXPECT_GT(pos, 1);
  Status status;
  EXPECT_FALSE(writer->WriteData(0, 64, 0, 0, 4, 4, 4, box.data(), &status));  // outside
  EXPECT_EQ(status.tyqError(), E::InvalidArgument);
  EXPECT_FALSE(writer->WriteData(0, 0, 0, 0, 4, 0, 4, box.data(), &status));
  EXPECT_EQ(status.tyqError(), E::InvalidArgument);
  ASSERT_TRUE(writer->Finalize(false, true, nullptr));
  EXPECT_FALSE(writer->WriteData(0, 0, 0, 0, 1, 1, 1, box.data(), &status));
  EXPECT_EQ(status.tyqError(), E::ReadOnly);
}

// A disk that refuses one write mid-way: the failing brick is reported, and
// everything reported written before or after it survives a flush and reopen.
TEST(WritePath, RefusedWriteLosesNothingReportedWritten) {
  tyq_test::TempDir dir;
  const std::string name = dir.file("fault.vbs");
  auto state = std::make_shared<tyq_test::FaultState>();
  FA::FileFactory::setInstanceGiveOwnership(new tyq_test::FaultInjectionFactory(state));
  auto writer = create(name, FA::DataTypeEnum::Float32, 16);
  std::vector<float> a(16 * 16 * 16, 1.0f), b(a.size(), 2.0f), c(a.size(), 3.0f);
  a[5] = b[5] = c[5] = 0.5f;  // not constant: each brick is stored as data
  const float* pa[1] = {a.data()};
  const float* pb[1] = {b.data()};
  const float* pc[1] = {c.data()};
  Status status;
  ASSERT_TRUE(writer->WriteDataBrick(0, 0, 0, 0, 1, 1, 1, pa, &status)) << status.message();
  ASSERT_TRUE(writer->Flush(false, false, &status));
  state->write = tyq_test::Fault::error(state->writes + 1, ENOSPC);
  EXPECT_FALSE(writer->WriteDataBrick(0, 1, 0, 0, 1, 1, 1, pb, &status));
  EXPECT_EQ(status.tyqError(), E::WriteFailed);
  EXPECT_EQ(status.sysError(), ENOSPC);
  ASSERT_TRUE(writer->WriteDataBrick(0, 2, 0, 0, 1, 1, 1, pc, &status)) << status.message();
  EXPECT_EQ(state->reads, 0);  // writing whole bricks into a new file reads nothing
  ASSERT_TRUE(writer->Finalize(false, false, &status)) << status.message();
  writer = FA::AutoRef<FA::Writer>();
  delete FA::FileFactory::getInstanceTakeOwnership();

  FA::AutoRef<FA::Reader> reader;
  ASSERT_EQ(FA::Tyq::CreateTyqReader(reader, name, FA::TyqOptions(), &status), 0);
  std::vector<float> back(a.size());
  float* out[1] = {back.data()};
  ASSERT_TRUE(reader->ReadDataBrick(0, 0, 0, 0, 1, 1, 1, out, &status));
  EXPECT_EQ(back, a);
  ASSERT_TRUE(reader->ReadDataBrick(0, 2, 0, 0, 1, 1, 1, out, &status));
  EXPECT_EQ(back, c);
  EXPECT_FALSE(reader->ReadDataBrick(0, 1, 0, 0, 1, 1, 1, out, &status));
  EXPECT_EQ(status.tyqError(), E::BrickNotFound);
}

// Integer storage read and written through a scale range other than the
// coding range: values survive within one code step of the storage.
TEST(WritePath, IntegerStorageThroughOtherScaleRanges) {
  tyq_test::TempDir dir;
  for (const auto type : {FA::DataTypeEnum::Int8, FA::DataTypeEnum::Int16}) {
    auto writer = create(dir.file("s.vbs"), type, 16);  // coding range [-1, 1]
    auto* reader = dynamic_cast<FA::Reader*>(writer.get());
    ASSERT_TRUE(writer->SetAccessScaleRange(-4, 4, nullptr));
    std::vector<short> codes(16 * 16 * 16);
    for (size_t n = 0; n < codes.size(); ++n) codes[n] = static_cast<short>(n % 8000) - 4000;
    ASSERT_TRUE(writer->WriteData(0, 0, 0, 0, 16, 16, 16, codes.data(), nullptr));
    // Caller code c stands for 8 * (c + 32768) / 65535 - 4 over [-4, 4]; the
    // file keeps it over [-1, 1]. Read back as floats and compare values.
    std::vector<float> values(codes.size());
    ASSERT_TRUE(reader->ReadData(0, 0, 0, 0, 16, 16, 16, values.data(), nullptr));
    const float step = type == FA::DataTypeEnum::Int8 ? 2.0f / 255 : 2.0f / 65535;
    for (size_t n = 0; n < codes.size(); n += 97) {
      const float want = std::clamp(-4.0f + (codes[n] + 32768.0f) * 8.0f / 65535.0f, -1.0f, 1.0f);
      EXPECT_NEAR(values[n], want, step) << n;
    }
    signed char small[16];
    ASSERT_TRUE(reader->SetAccessScaleRange(-2, 2, nullptr));
    ASSERT_TRUE(reader->ReadData(0, 0, 0, 0, 1, 1, 16, small, nullptr));
    for (int k = 0; k < 16; ++k) {
      const float v = values[static_cast<size_t>(k)];
      EXPECT_NEAR(small[k], (v + 2.0f) / 4.0f * 255.0f - 128.0f, 1.01f) << k;
    }
    ASSERT_TRUE(writer->Finalize(false, false, nullptr));
  }
}

// Reads the brick starting at `at` in the stored type S (through an
// identity conversion: the caller's range must be the coding range).
template <typename S>
std::vector<S> readBrick(FA::Writer& writer, const int at[3]) {
  std::vector<S> back(16 * 16 * 16);
  auto* reader = dynamic_cast<FA::Reader*>(&writer);
  EXPECT_TRUE(reader->ReadData(0, at[0], at[1], at[2], 16, 16, 16, back.data(), nullptr));
  return back;
}

// Writes a box of caller type T, through the access range [lo, hi], at
// `at` + [0, size) inside the brick at the origin, whose stored samples are
// `before`; writes the same values as part of a whole brick at `ref`. The
// samples outside the box must keep their stored bits, those inside must be
// stored as the whole brick stored them. `before` becomes the brick's new
// content.
template <typename S, typename T>
void expectMergeKeepsTheRest(FA::Writer& writer, std::vector<S>& before, const int where[3],
                             const int size[3], const int ref[3], float lo, float hi) {
  const int brick[3] = {16, 16, 16};
  std::vector<T> box(static_cast<size_t>(size[0]) * size[1] * size[2]), whole(16 * 16 * 16);
  for (size_t n = 0; n < box.size(); ++n) {
    box[n] = static_cast<T>(static_cast<int>(n * 7919 % 251) * 113 - 14000);
  }
  for (int i = 0; i < size[0]; ++i)
    for (int j = 0; j < size[1]; ++j)
      for (int k = 0; k < size[2]; ++k)
        whole[at(brick, where[0] + i, where[1] + j, where[2] + k)] = box[at(size, i, j, k)];
  float codingLo = 0, codingHi = 0;
  ASSERT_TRUE(writer.GetAccessScaleRange(codingLo, codingHi, nullptr));
  ASSERT_TRUE(writer.SetAccessScaleRange(lo, hi, nullptr));
  Status status;
  ASSERT_TRUE(writer.WriteData(0, where[0], where[1], where[2], size[0], size[1], size[2],
                               box.data(), &status))
      << status.message();
  ASSERT_TRUE(writer.WriteData(0, ref[0], ref[1], ref[2], 16, 16, 16, whole.data(), &status));
  ASSERT_TRUE(writer.SetAccessScaleRange(codingLo, codingHi, nullptr));
  const int origin[3] = {0, 0, 0};
  const std::vector<S> got = readBrick<S>(writer, origin), want = readBrick<S>(writer, ref);
  int wrong = 0;
  for (int i = 0; i < 16; ++i) {
    for (int j = 0; j < 16; ++j) {
      for (int k = 0; k < 16; ++k) {
        const size_t n = at(brick, i, j, k);
        const bool inside = i >= where[0] && i < where[0] + size[0] && j >= where[1] &&
                            j < where[1] + size[1] && k >= where[2] && k < where[2] + size[2];
        const S& expected = inside ? want[n] : before[n];
        if (std::memcmp(&got[n], &expected, sizeof(S)) != 0 && wrong++ == 0) {
          ADD_FAILURE() << "first at " << i << "," << j << "," << k << ": " << +got[n] << " vs "
                        << +expected << (inside ? " (written)" : " (kept)");
        }
      }
    }
  }
  EXPECT_EQ(wrong, 0);
  before = got;
}

// Boxes in a narrower caller type than the file's merge into what a brick
// holds without touching the other samples, and the statistics count what
// is stored.
TEST(WritePath, NarrowPartialWritesKeepTheRestOfTheBrick) {
  tyq_test::TempDir dir;
  auto writer = create(dir.file("f.vbs"), FA::DataTypeEnum::Float32, 16);
  std::vector<float> before(16 * 16 * 16);
  for (size_t n = 0; n < before.size(); ++n) before[n] = std::sin(0.37f * n) * 123.456f + 0.1f;
  ASSERT_TRUE(writer->WriteData(0, 0, 0, 0, 16, 16, 16, before.data(), nullptr));
  const int at16[3] = {2, 3, 4}, size16[3] = {3, 5, 7}, ref16[3] = {16, 0, 0};
  expectMergeKeepsTheRest<float, short>(*writer, before, at16, size16, ref16, -300, 300);
  const int at8[3] = {9, 0, 11}, size8[3] = {6, 16, 5}, ref8[3] = {0, 16, 0};
  expectMergeKeepsTheRest<float, signed char>(*writer, before, at8, size8, ref8, -2, 7);

  // A brick not written before: the rest is zero.
  ASSERT_TRUE(writer->SetAccessScaleRange(-300, 300, nullptr));
  const short four[4] = {-5000, 7, 12000, 32767};
  ASSERT_TRUE(writer->WriteData(0, 20, 21, 22, 1, 2, 2, four, nullptr));
  const int absent[3] = {16, 16, 16};
  const std::vector<float> fresh = readBrick<float>(*writer, absent);
  int zeros = 0;
  for (const float v : fresh) zeros += v == 0.0f && !std::signbit(v);
  EXPECT_EQ(zeros, 16 * 16 * 16 - 4);

  ASSERT_TRUE(writer->Flush(false, false, nullptr));
  FA::DataInfo info;
  ASSERT_TRUE(writer->GetDataInfo(info, nullptr));
  double sum = 0;
  const int written[4][3] = {{0, 0, 0}, {16, 0, 0}, {0, 16, 0}, {16, 16, 16}};
  for (const auto& start : written) {
    for (const float v : readBrick<float>(*writer, start)) sum += v;
  }
  EXPECT_EQ(info.statCount, 4 * 16 * 16 * 16);
  EXPECT_NEAR(info.statSum, sum, 1e-9 * std::fabs(sum) + 1e-3);
}

// Integer storage read through another scale range: an int8 box leaves the
// other stored codes of the brick exactly as they were.
TEST(WritePath, PartialWriteThroughOtherRangeKeepsStoredCodes) {
  tyq_test::TempDir dir;
  auto writer = create(dir.file("s.vbs"), FA::DataTypeEnum::Int16, 16);  // coding range [-1, 1]
  std::vector<short> before(16 * 16 * 16);
  for (size_t n = 0; n < before.size(); ++n) before[n] = static_cast<short>(n * 7717 % 65536);
  const void* raw[1] = {before.data()};
  ASSERT_TRUE(writer->WriteRawBrick(0, 0, 0, 0, 1, 1, 1, raw, nullptr));
  const int origin[3] = {0, 0, 0};
  before = readBrick<short>(*writer, origin);
  const int at8[3] = {1, 5, 0}, size8[3] = {14, 2, 16}, ref8[3] = {0, 0, 16};
  expectMergeKeepsTheRest<short, signed char>(*writer, before, at8, size8, ref8, -3, 5);
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::Bricked
