#include "access/lod_driver.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "bricked/file.h"
#include "support/memory_file.h"
#include "tyq/environment.h"
#include "tyq/lod.h"

namespace Qra::Ostrel::Tyq::Private::Lod {
namespace {

namespace FA = FileAccess;
using Bricked::File;
using tyq_test::MemoryFile;

constexpr int kBrick = 64;
constexpr size_t kSamples = size_t{kBrick} * kBrick * kBrick;
constexpr int kStrides[3] = {kBrick * kBrick, kBrick, 1};

class FileSource : public BrickSource {
 public:
  explicit FileSource(File& file) : file_(file) {}
  int GetBrick(int i, int j, int k, int lod, void* buffer, Status* status) override {
    ++calls;
    Func func("Test::GetBrick", status);
    file_.GetBrick(i, j, k, lod, buffer, func.statusP());
    return func.tyqError();
  }
  int calls = 0;

 private:
  File& file_;
};

struct Volume {
  std::shared_ptr<tyq_test::Bytes> bytes = std::make_shared<tyq_test::Bytes>();
  MemoryFile adt{bytes};
  File file{"lod.vbs", FA::FileFactory::UsageCreate, &adt};

  explicit Volume(int n0, int n1, int n2) {
    FA::DataInfo info;
    info.SetExtent(0, 1, n0, 0, 1, n1, 0, 1, n2, false);
    EXPECT_TRUE(
        file.Create("lod.vbs", info, FA::DataTypeEnum::Float32, FA::TyqOptions(), nullptr, 0, 0));
  }
  void fill(int i, int j, int k, float value) {
    std::vector<float> brick(kSamples, value);
    ASSERT_TRUE(file.SetBrick(i, j, k, 0, brick.data(), nullptr));
  }
  bool exists(int i, int j, int k, int lod) {
    long long pos = 0;
    file.GetDataBrickPos(&pos, lod, i, j, k, 1, 1, 1, nullptr);
    return pos != 0;
  }
  bool generate(int force, const LodSettings& settings, Status* status = nullptr) {
    FileSource source(file);
    LodGenerator generator(file, settings, HistogramView(), kStrides);
    return generator.GenerateLODs(-1, force, nullptr, nullptr, source, status);
  }
};

LodSettings decimate() {
  LodSettings s;
  s.algorithm[0] = s.algorithm[1] = s.algorithm[2] = vvArrayBasic::Decimate;
  return s;
}

TEST(LodDriver, AutomaticModeWaitsForEveryChildFlushBuildsWhatIsDirty) {
  Volume v(128, 128, 128);  // 2 x 2 x 2 bricks: one level-1 brick
  v.fill(0, 0, 0, 1.0f);
  v.fill(1, 1, 1, 3.0f);
  ASSERT_TRUE(v.generate(kAutomatic, decimate()));
  EXPECT_FALSE(v.exists(0, 0, 0, 1));
  EXPECT_TRUE(v.file.GetDirtyBricks().AnyDirty(0));  // automatic mode leaves the marks

  ASSERT_TRUE(v.generate(kDirty, decimate()));
  ASSERT_TRUE(v.exists(0, 0, 0, 1));
  EXPECT_FALSE(v.file.GetDirtyBricks().AnyDirty(0));
  std::vector<float> parent(kSamples);
  ASSERT_TRUE(v.file.GetBrick(0, 0, 0, 1, parent.data(), nullptr));
  EXPECT_EQ(parent[0], 1.0f);             // octant of child (0,0,0)
  EXPECT_EQ(parent[kSamples - 1], 3.0f);  // octant of child (1,1,1)
  EXPECT_EQ(parent[32], 0.0f);            // absent child (0,0,1) reads as zeros

  for (int c = 0; c < 8; ++c) v.fill(c >> 2, (c >> 1) & 1, c & 1, 5.0f);
  ASSERT_TRUE(v.generate(kAutomatic, decimate()));
  ASSERT_TRUE(v.file.GetBrick(0, 0, 0, 1, parent.data(), nullptr));
  EXPECT_EQ(parent[32], 5.0f);
}

TEST(LodDriver, CleanFileDoesNothingAndSaysSo) {
  Volume v(128, 64, 64);
  resetDebugLevelForTesting();
  Environment::putNumericEnv("OSTREL_TYQ_DEBUG", 3);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(v.generate(kDirty, decimate()));
  const std::string out = testing::internal::GetCapturedStdout();
  ::unsetenv("OSTREL_TYQ_DEBUG");
  resetDebugLevelForTesting();
  EXPECT_NE(out.find("## GenerateLODsT(max=-1, force=2): all clean, return.\n"), std::string::npos)
      << out;
  EXPECT_FALSE(v.exists(0, 0, 0, 1));
}

TEST(LodDriver, AllZeroChildrenGiveAConstantBrickWithoutTheKernel) {
  Volume v(128, 64, 64);
  v.fill(0, 0, 0, 0.0f);
  v.fill(1, 0, 0, -0.0f);
  ASSERT_TRUE(v.generate(kDirty, decimate()));
  long long pos = -1;
  v.file.GetDataBrickPos(&pos, 1, 0, 0, 0, 1, 1, 1, nullptr);
  EXPECT_EQ(pos, 1);  // a constant entry, no stored data

  LodSettings zero;
  zero.algorithm[0] = zero.algorithm[1] = zero.algorithm[2] = vvArrayBasic::AllZero;
  v.fill(0, 0, 0, 4.0f);
  ASSERT_TRUE(v.generate(kDirty, zero));
  v.file.GetDataBrickPos(&pos, 1, 0, 0, 0, 1, 1, 1, nullptr);
  EXPECT_EQ(pos, 1);
}

TEST(LodDriver, LastValidPlaneIsRepeatedToTheBrickEdge) {
  Volume v(64, 64, 100);  // k: 64 + 36 samples in two bricks
  v.fill(0, 0, 0, 1.0f);
  std::vector<float> brick(kSamples, 100.0f);  // 100 beyond the survey's end
  for (size_t n = 0; n < kSamples; ++n) {
    if (n % kBrick <= 35) brick[n] = 2.0f;
  }
  ASSERT_TRUE(v.file.SetBrick(0, 0, 1, 0, brick.data(), nullptr));
  ASSERT_TRUE(v.generate(kDirty, decimate()));
  std::vector<float> parent(kSamples);
  ASSERT_TRUE(v.file.GetBrick(0, 0, 0, 1, parent.data(), nullptr));
  EXPECT_EQ(parent[31], 1.0f);
  for (int z = 32; z < 64; ++z) EXPECT_EQ(parent[z], 2.0f) << z;
}

TEST(LodDriver, FlagTilesOrTheirChildren) {
  Volume v(128, 128, 64);
  std::vector<uint8_t> tile(kBrick * kBrick, 0);
  tile[0] = 1;  // trace (0,0) of tile (0,0)
  ASSERT_TRUE(v.file.SetGridFlagsTile(0, 0, 0, tile.data(), nullptr));
  ASSERT_TRUE(v.file.SetGridFlagsTileAllConst(1, 1, 0, 1, nullptr));
  ASSERT_TRUE(v.generate(kDirty, decimate()));
  std::vector<uint8_t> parent(kBrick * kBrick);
  ASSERT_TRUE(v.file.GetGridFlagsTile(0, 0, 1, parent.data(), nullptr));
  EXPECT_EQ(parent[0], 1);
  EXPECT_EQ(parent[1], 0);
  EXPECT_EQ(parent[32 * kBrick + 32], 1);  // quadrant of the all-live child
  EXPECT_EQ(parent[32 * kBrick], 0);       // quadrant of the absent child (1, 0)
}

// A store that fails stops the request and leaves the marks of what was not
// done; nothing done before is undone.
TEST(LodDriver, FailingStoreStopsAndKeepsMarks) {
  Volume v(128, 64, 64);
  v.fill(0, 0, 0, 1.0f);
  ASSERT_TRUE(v.file.Finalize(false, nullptr));  // read-only from here on
  Status status;
  EXPECT_FALSE(v.generate(kEverything, decimate(), &status));
  EXPECT_EQ(status.tyqError(), FA::Error::ReadOnly);
  EXPECT_NE(status.function().find("Accessor::GenerateLOD_brick from "
                                   "Accessor::GenerateLOD_levelN"),
            std::string::npos)
      << status.function();
}

TEST(LodSettings, OptionsThenEnvironmentThenNameMarkers) {
  FA::TyqOptions options;
  options.lod1Algorithm = 107;
  options.lod2Algorithm = 5;  // not 100-based: the default stays
  options.noAutoFlush = true;
  LodSettings s = ChooseLodSettings(options, "a.vbs", false);
  EXPECT_EQ(s.algorithm[0], 7);
  EXPECT_EQ(s.algorithm[1], 1);
  EXPECT_EQ(s.autoGenerate, 0);
  Environment::putNumericEnv("OSTREL_LODN_ALGORITHM", 3);
  s = ChooseLodSettings(FA::TyqOptions(), "a.vbs", false);
  ::unsetenv("OSTREL_LODN_ALGORITHM");
  EXPECT_EQ(s.algorithm[2], 3);
  EXPECT_EQ(s.autoGenerate, -1);
  s = ChooseLodSettings(options, "/data/x.tyqb/y.vbs", false);
  EXPECT_EQ(s.algorithm[0], 10);
  EXPECT_EQ(s.algorithm[2], 10);
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::Lod
