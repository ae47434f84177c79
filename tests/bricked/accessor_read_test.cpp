// The read path against a plain in-memory model of the volume: random boxes
// at random levels, in every storage order and caller type.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "bricked/accessor.h"
#include "support/temp_dir.h"
#include "tyq/environment.h"
#include "tyq/tyq.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {
namespace {

namespace FA = FileAccess;
using E = FA::Error;

// One level of the model: samples in (i, j, k) order, k fastest.
struct Level {
  int n[3];
  std::vector<float> v;
  float at(int i, int j, int k) const { return v[(static_cast<size_t>(i) * n[1] + j) * n[2] + k]; }
};

constexpr int kBrick = 16;

// Writes a float volume whose levels hold unrelated values (the read path
// does not care how levels were made), leaving some bricks absent.
class ReadPathTest : public testing::Test {
 protected:
  void SetUp() override {
    Environment::putNumericEnv("OSTREL_TYQ_BRICK_SIZE", kBrick);
    name_ = dir_.file("model.vbs");
    FA::DataInfo info;
    info.SetExtent(0, 1, 45, 0, 1, 33, 0, 4, 40, false);
    File file(name_, FA::FileFactory::UsageCreate, nullptr);
    ASSERT_TRUE(
        file.Create(name_, info, FA::DataTypeEnum::Float32, FA::TyqOptions(), nullptr, 0, 0));
    ::unsetenv("OSTREL_TYQ_BRICK_SIZE");
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> value(-100, 100);
    const int levels = file.GetFileInfo(nullptr)->numberOfLods;
    for (int lod = 0; lod < levels; ++lod) {
      Level level;
      for (int a = 0; a < 3; ++a) level.n[a] = (info.size[a] + (1 << lod) - 1) >> lod;
      level.v.assign(static_cast<size_t>(level.n[0]) * level.n[1] * level.n[2], 0.0f);
      writeLevel(file, lod, level, rng, value);
      levels_.push_back(level);
    }
    ASSERT_TRUE(file.Flush(false, nullptr));
  }

  void writeLevel(File& file, int lod, Level& level, std::mt19937& rng,
                  std::uniform_real_distribution<float>& value) {
    std::vector<float> brick(kBrick * kBrick * kBrick);
    for (int bi = 0; bi < file.GetNumberOfBricks(0, lod); ++bi) {
      for (int bj = 0; bj < file.GetNumberOfBricks(1, lod); ++bj) {
        for (int bk = 0; bk < file.GetNumberOfBricks(2, lod); ++bk) {
          if ((bi + 2 * bj + bk) % 5 == 4) continue;  // absent: reads as zeros
          for (int i = 0; i < kBrick; ++i) {
            for (int j = 0; j < kBrick; ++j) {
              for (int k = 0; k < kBrick; ++k) {
                const float x = value(rng);
                brick[(i * kBrick + j) * kBrick + k] = x;
                const int gi = bi * kBrick + i, gj = bj * kBrick + j, gk = bk * kBrick + k;
                if (gi < level.n[0] && gj < level.n[1] && gk < level.n[2]) {
                  level.v[(static_cast<size_t>(gi) * level.n[1] + gj) * level.n[2] + gk] = x;
                }
              }
            }
          }
          ASSERT_TRUE(file.SetBrick(bi, bj, bk, lod, brick.data(), nullptr));
        }
      }
    }
  }

  FA::AutoRef<FA::Reader> open() {
    FA::AutoRef<FA::Reader> reader;
    Status status;
    EXPECT_EQ(FA::Tyq::CreateTyqReader(reader, name_, FA::TyqOptions(), &status), 0)
        << status.message();
    return reader;
  }

  tyq_test::TempDir dir_;
  std::string name_;
  std::vector<Level> levels_;
};

// Index of (i, j, k) of a box of size n in storage order `order`.
size_t callerIndex(int order, const int n[3], int i, int j, int k) {
  static const int slowToFast[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2},
                                       {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
  const int idx[3] = {i, j, k};
  size_t offset = 0;
  for (const int axis : slowToFast[order]) offset = offset * n[axis] + idx[axis];
  return offset;
}

TEST_F(ReadPathTest, RandomBoxesMatchTheModelInEveryOrder) {
  auto reader = open();
  ASSERT_TRUE(reader);
  std::mt19937 rng(11);
  for (int trial = 0; trial < 300; ++trial) {
    const int lod = static_cast<int>(rng() % levels_.size());
    const Level& level = levels_[lod];
    int start[3], size[3];
    for (int a = 0; a < 3; ++a) {
      start[a] = static_cast<int>(rng() % (level.n[a] + 8)) - 4;
      size[a] = 1 + static_cast<int>(rng() % (level.n[a] + 4));
      if (trial % 4 == 0) {  // exactly one brick: the brick-wise path
        start[a] = static_cast<int>(rng() % ((level.n[a] + kBrick - 1) / kBrick)) * kBrick;
        size[a] = kBrick;
      }
    }
    const int order = static_cast<int>(rng() % 6);
    ASSERT_TRUE(reader->SetAccessStorageOrder(static_cast<FA::StorageOrderEnum::value_type>(order),
                                              nullptr));
    std::vector<float> out(static_cast<size_t>(size[0]) * size[1] * size[2], 12345.0f);
    Status status;
    const bool ok = reader->ReadData(lod, start[0], start[1], start[2], size[0], size[1], size[2],
                                     out.data(), &status);
    bool inside = true;
    for (int a = 0; a < 3; ++a) inside &= start[a] < level.n[a] && start[a] + size[a] > 0;
    if (!inside) {
      EXPECT_FALSE(ok);
      continue;
    }
    if (!ok) {
      ASSERT_EQ(status.tyqError(), E::BrickNotFound) << status.message();
    }
    for (int i = 0; i < size[0]; ++i) {
      for (int j = 0; j < size[1]; ++j) {
        for (int k = 0; k < size[2]; ++k) {
          const int gi = start[0] + i, gj = start[1] + j, gk = start[2] + k;
          const float got = out[callerIndex(order, size, i, j, k)];
          const bool inSurvey = gi >= 0 && gj >= 0 && gk >= 0 && gi < level.n[0] &&
                                gj < level.n[1] && gk < level.n[2];
          // Samples outside the survey are left alone, except by whole-brick
          // requests, which receive the brick as stored.
          if (!inSurvey && trial % 4 == 0) continue;
          const float want = inSurvey ? level.at(gi, gj, gk) : 12345.0f;
          ASSERT_EQ(got, want) << "trial " << trial << " lod " << lod << " order " << order
                               << " at " << gi << "," << gj << "," << gk;
        }
      }
    }
  }
}

TEST_F(ReadPathTest, BricksReadWholeAndAbsentOnesAsZeros) {
  auto reader = open();
  std::vector<float> a(kBrick * kBrick * kBrick, 9.0f), b(a.size(), 9.0f);
  float* bricks[2] = {a.data(), b.data()};
  // Brick (0, 2, 0) is absent, (0, 2, 1) is not.
  ASSERT_TRUE(reader->ReadDataBrick(0, 0, 2, 0, 1, 1, 2, bricks, nullptr));
  EXPECT_EQ(a[5], 0.0f);
  EXPECT_EQ(b[0], levels_[0].at(0, 32, 16));
  float* absentOnly[1] = {a.data()};
  Status status;
  EXPECT_FALSE(reader->ReadDataBrick(0, 0, 2, 0, 1, 1, 1, absentOnly, &status));
  EXPECT_EQ(status.tyqError(), E::BrickNotFound);
  EXPECT_FALSE(reader->ReadDataBrick(9, 0, 0, 0, 1, 1, 1, absentOnly, &status));
  EXPECT_EQ(status.tyqError(), E::InvalidArgument);
  EXPECT_EQ(status.function(), "Accessor::ReadDataBrick");
}

TEST_F(ReadPathTest, BadRequestsAreRefusedWithoutTouchingTheBuffer) {
  auto reader = open();
  std::vector<float> out(16, 7.0f);
  Status status;
  const int bad[][7] = {{0, 0, 0, 0, 0, 1, 1},         {0, 0, 0, 0, -1, 1, 1},
                        {5, 0, 0, 0, 1, 1, 1},         {-1, 0, 0, 0, 1, 1, 1},
                        {0, 0, 0, 0, 65536, 65536, 2}, {0, 100, 0, 0, 1, 1, 1}};
  for (const auto& r : bad) {
    EXPECT_FALSE(reader->ReadData(r[0], r[1], r[2], r[3], r[4], r[5], r[6], out.data(), &status));
    EXPECT_EQ(status.tyqError(), E::InvalidArgument) << r[0] << " " << r[1] << " " << r[4];
  }
  EXPECT_FALSE(reader->ReadData(0, 0, 0, 0, 1, 1, 1, static_cast<float*>(nullptr), &status));
  EXPECT_EQ(status.tyqError(), E::InvalidArgument);
  for (const float x : out) EXPECT_EQ(x, 7.0f);
}

TEST(ReadConversion, IntegerCodesToValuesAndBack) {
  tyq_test::TempDir dir;
  const std::string name = dir.file("codes.vbs");
  FA::DataInfo info;
  info.SetExtent(0, 1, 64, 0, 1, 64, 0, 1, 64, false);
  {
    File file(name, FA::FileFactory::UsageCreate, nullptr);
    ASSERT_TRUE(file.Create(name, info, FA::DataTypeEnum::Int8, FA::TyqOptions(), nullptr, -1, 1));
    std::vector<int8_t> brick(64 * 64 * 64);
    brick[0] = -128;
    brick[1] = 127;
    brick[2] = 0;
    ASSERT_TRUE(file.SetBrick(0, 0, 0, 0, brick.data(), nullptr));
    ASSERT_TRUE(file.Flush(false, nullptr));
  }
  FA::AutoRef<FA::Reader> reader;
  ASSERT_EQ(FA::Tyq::CreateTyqReader(reader, name, FA::TyqOptions(), nullptr), 0);
  float values[3];
  ASSERT_TRUE(reader->ReadData(0, 0, 0, 0, 1, 1, 3, values, nullptr));
  EXPECT_EQ(values[0], -1.0f);
  EXPECT_EQ(values[1], 1.0f);
  EXPECT_FLOAT_EQ(values[2], -1.0f + 128 * 2.0f / 255);
  signed char codes[3];
  ASSERT_TRUE(reader->ReadData(0, 0, 0, 0, 1, 1, 3, codes, nullptr));
  EXPECT_EQ(codes[0], -128);
  EXPECT_EQ(codes[2], 0);
  // A narrower access range re-codes: -1 is now below the range.
  ASSERT_TRUE(reader->SetAccessScaleRange(0, 1, nullptr));
  ASSERT_TRUE(reader->ReadData(0, 0, 0, 0, 1, 1, 3, codes, nullptr));
  EXPECT_EQ(codes[0], -128);
  EXPECT_EQ(codes[1], 127);
  Status status;
  EXPECT_FALSE(reader->SetAccessScaleRange(1, 1, &status));
  EXPECT_EQ(status.tyqError(), E::InvalidArgument);
  EXPECT_FALSE(reader->SetAccessScaleRange(2, 1, &status));
  float lo = 0, hi = 0;
  ASSERT_TRUE(reader->GetAccessScaleRange(lo, hi, nullptr));
  EXPECT_EQ(lo, 0.0f);
  ASSERT_TRUE(reader->SetAccessScaleRange(0, 0, nullptr));
  ASSERT_TRUE(reader->GetAccessScaleRange(lo, hi, nullptr));
  EXPECT_EQ(lo, -1.0f);
  EXPECT_EQ(hi, 1.0f);
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::Bricked
