// Constant, absent, dead and partly dead bricks, levels above 0 and the
// caller's sample types through the compressed accessor.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "compressed/accessor.h"
#include "compressed/file.h"
#include "compressed/store.h"
#include "compressed/volume_util.h"
#include "support/temp_dir.h"
#include "tyq/api.h"

namespace {

using namespace tyq_test;
using Err = FA::Error;
namespace C = Qra::Ostrel::Tyq::Private::Compressed;
constexpr int kB = 64;

bool isConstantRecord(const std::string& name, int i, int j, int k, double* value) {
  C::File file(FA::FileFactory::UsageRead, nullptr);
  if (!file.Open(name, 0, nullptr)) return false;
  Qra::Ostrel::Tyq::Private::CompressedBlock3d block;
  if (!file.GetBrick(i, j, k, 0, block, nullptr)) return false;
  *value = block.GetGain();
  return block.IsAllConst();
}

// A 3 x 2 x 1 brick survey: brick (0,0) loud data, (1,0) zeros, (2,0) all
// 5.0, column (0,1) dead, column (1,1) half dead, column (2,1) never written.
class CompressedBricks : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = dir_.file("bricks.vcs");
    auto writer = compressedWriter(name_, volumeInfo(3 * kB, 2 * kB, kB), 30.0f);
    ASSERT_TRUE(writer);
    Status status;
    std::vector<uint8_t> flags(static_cast<size_t>(kB) * kB, 1);
    std::fill(flags.begin(), flags.end() - kB * kB / 2, 0);  // inline 0..31 dead
    std::vector<uint8_t> dead(flags.size(), 0);
    ASSERT_TRUE(writer->WriteGridFlags(0, 0, kB, kB, kB, dead.data(), &status));
    ASSERT_TRUE(writer->WriteGridFlags(0, kB, kB, kB, kB, flags.data(), &status));
    const int loud[3] = {0, 0, 0}, size[3] = {kB, kB, kB};
    ASSERT_TRUE(writer->WriteData(0, 0, 0, 0, kB, kB, kB, volumeBox(loud, size).data(), &status));
    const std::vector<float> zeros(size_t{kB} * kB * kB, 0.0f), fives(zeros.size(), 5.0f);
    ASSERT_TRUE(writer->WriteData(0, kB, 0, 0, kB, kB, kB, zeros.data(), &status));
    ASSERT_TRUE(writer->WriteData(0, 2 * kB, 0, 0, kB, kB, kB, fives.data(), &status));
    for (int c = 0; c < 2; ++c) {
      const int at[3] = {c * kB, kB, 0};
      EXPECT_TRUE(
          writer->WriteData(0, at[0], at[1], 0, kB, kB, kB, volumeBox(at, size).data(), &status))
          << status.message();
    }
    EXPECT_FALSE(writer->WriteData(0, 0, 0, 0, kB, kB, kB, zeros.data(), &status));
    EXPECT_EQ(status.tyqError(), Err::BrickExists);
    ASSERT_TRUE(writer->Finalize(false, false, &status)) << status.message();
  }

  TempDir dir_;
  std::string name_;
};

TEST_F(CompressedBricks, ConstantZeroAndValueBricks) {
  double value = -1;
  EXPECT_TRUE(isConstantRecord(name_, 1, 0, 0, &value));
  EXPECT_EQ(value, 0.0);
  EXPECT_TRUE(isConstantRecord(name_, 2, 0, 0, &value));
  EXPECT_EQ(value, 5.0);
  EXPECT_FALSE(isConstantRecord(name_, 0, 0, 0, &value));
  auto reader = traceReader(name_);
  std::vector<float> box(size_t{kB} * kB * kB);
  Status status;
  ASSERT_TRUE(reader->ReadData(0, 2 * kB, 0, 0, kB, kB, kB, box.data(), &status));
  EXPECT_TRUE(std::all_of(box.begin(), box.end(), [](float v) { return v == 5.0f; }));
}

TEST_F(CompressedBricks, DeadAndPartlyDeadColumns) {
  long long positions[3] = {};
  auto reader = traceReader(name_);
  Status status;
  ASSERT_TRUE(reader->GetDataBrickPos(positions, 0, 0, 1, 0, 3, 1, 1, &status));
  EXPECT_EQ(positions[0], 0);  // the dead column holds no brick
  EXPECT_GT(positions[1], 1);
  EXPECT_EQ(positions[2], 0);
  std::vector<float> box(size_t{3} * kB * kB * kB);
  ASSERT_TRUE(reader->ReadData(0, 0, kB, 0, 3 * kB, kB, kB, box.data(), &status));
  const auto at = [&](int i, int j, int k) { return box[(size_t(i) * kB + j) * kB + k]; };
  EXPECT_EQ(at(10, 5, 5), 0.0f);
  EXPECT_EQ(at(kB + 10, 5, 5), 0.0f);  // a dead trace
  EXPECT_NEAR(at(kB + 40, 5, 5), volumeSample(kB + 40, kB + 5, 5), 150.0f);
  EXPECT_EQ(at(2 * kB + 40, 5, 5), 0.0f);  // never written
  unsigned char flags[3] = {};
  ASSERT_TRUE(reader->ReadGridFlags(0, 10, kB, 3, 1, flags, &status));
  EXPECT_EQ(flags[0], 0);
  ASSERT_TRUE(reader->ReadGridFlags(0, kB + 40, kB + 5, 1, 1, flags, &status));
  EXPECT_EQ(flags[0], 1);
  // A box of unwritten bricks only is not found.
  EXPECT_FALSE(reader->ReadData(0, 2 * kB, kB, 0, 10, 10, 10, box.data(), &status));
  EXPECT_EQ(status.tyqError(), Err::BrickNotFound);
}

TEST_F(CompressedBricks, IntegerReadsFollowTheScaleRange) {
  auto reader = traceReader(name_);
  Status status;
  std::vector<float> f(size_t{kB} * kB * kB);
  std::vector<short> s(f.size());
  ASSERT_TRUE(reader->ReadData(0, 0, 0, 0, kB, kB, kB, f.data(), &status));
  ASSERT_TRUE(reader->SetAccessScaleRange(-1000, 1000, &status));
  ASSERT_TRUE(reader->ReadData(0, 0, 0, 0, kB, kB, kB, s.data(), &status));
  for (size_t n = 0; n < f.size(); n += 997) EXPECT_NEAR(s[n], f[n] * 32767.0 / 1000.0, 40.0);
  ASSERT_TRUE(reader->SetAccessScaleRange(0, 0, &status));
  float lo = 0, hi = 0;
  ASSERT_TRUE(reader->GetAccessScaleRange(lo, hi, &status));
  EXPECT_LT(lo, -500.0f);
  EXPECT_FALSE(reader->SetAccessScaleRange(2, 1, &status));
  EXPECT_EQ(status.tyqError(), Err::InvalidArgument);
}

TEST_F(CompressedBricks, PublicReaderOpensCompressedFiles) {
  using namespace Qra::Ostrel::Tyq::TyqApi;
  AutoRef<Reader> reader;
  ASSERT_TRUE(getReaderFactory()->createReader(name_.c_str(), reader, nullptr));
  std::vector<float> box(8);
  ASSERT_TRUE(reader->readFloat(2 * kB, 0, 0, 2, 2, 2, box.data(), nullptr));
  EXPECT_EQ(box[7], 5.0f);
  std::vector<short> ints(8);
  EXPECT_FALSE(reader->readInt16(0, 0, 0, 2, 2, 2, ints.data(), nullptr));
}

TEST(CompressedLevels, HigherLevelsAreWrittenExplicitlyAtLowerQuality) {
  EXPECT_EQ(C::Store::LevelSqnr(40, 0), 40);
  EXPECT_EQ(C::Store::LevelSqnr(40, 1), 30);
  EXPECT_EQ(C::Store::LevelSqnr(30, 2), 25);
  EXPECT_EQ(C::Store::LevelSqnr(18, 1), 15);
  EXPECT_EQ(C::Store::LevelSqnr(12, 3), 12);
  TempDir dir;
  const std::string name = dir.file("levels.vcs");
  const int size[3] = {130, 64, 64}, half[3] = {65, 32, 32}, origin[3] = {0, 0, 0};
  {
    auto writer = compressedWriter(name, volumeInfo(size[0], size[1], size[2]), 40.0f);
    ASSERT_TRUE(writer);
    Status status;
    ASSERT_TRUE(writer->WriteData(0, 0, 0, 0, size[0], size[1], size[2],
                                  volumeBox(origin, size).data(), &status));
    ASSERT_TRUE(writer->WriteData(1, 0, 0, 0, half[0], half[1], half[2],
                                  volumeBox(origin, half).data(), &status))
        << status.message();
    EXPECT_FALSE(writer->WriteData(3, 0, 0, 0, 1, 1, 1, volumeBox(origin, half).data(), &status));
    ASSERT_TRUE(writer->Finalize(false, false, &status));
  }
  auto reader = traceReader(name);
  FA::FileInfo info;
  Status status;
  ASSERT_TRUE(reader->GetFileInfo(info, &status));
  EXPECT_EQ(info.numberOfLods, 3);
  std::vector<float> back(size_t{65} * 32 * 32);
  ASSERT_TRUE(reader->ReadData(1, 0, 0, 0, half[0], half[1], half[2], back.data(), &status));
  const double achieved = sqnrOf(volumeBox(origin, half), back);
  EXPECT_GT(achieved, 27.0);
  EXPECT_FALSE(reader->ReadData(2, 0, 0, 0, 1, 1, 1, back.data(), &status));
  EXPECT_EQ(status.tyqError(), Err::BrickNotFound);
}

TEST(CompressedLevels, ZeroThresholdAndTenUlpRule) {
  using Qra::Ostrel::Tyq::Private::StatisticData;
  const StatisticData loud(100, 0, 0, 0, -1000, 1000);
  float value = -1;
  EXPECT_TRUE(C::Accessor::ConstantValue(StatisticData(10, 0, 0, 0, -1e-4, 1e-4), loud, &value));
  EXPECT_EQ(value, 0.0f);
  EXPECT_FALSE(
      C::Accessor::ConstantValue(StatisticData(10, 0, 0, 0, -1e-4, 1e-4), StatisticData(), &value));
  const float five = 5.0f, next = std::nextafter(std::nextafter(five, 6.0f), 6.0f);
  EXPECT_TRUE(C::Accessor::ConstantValue(StatisticData(10, 0, 0, 0, five, next), loud, &value));
  EXPECT_NEAR(value, 5.0f, 1e-5f);
  EXPECT_FALSE(C::Accessor::ConstantValue(StatisticData(10, 0, 0, 0, -five, five), loud, &value));
  EXPECT_FALSE(C::Accessor::ConstantValue(StatisticData(10, 1, 0, 0, five, five), loud, &value));
}

}  // namespace
