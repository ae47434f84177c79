// The bricks of one write request coded on the library's pool: a file
// written with several threads decodes, counts and flags exactly as the
// file written with one, and a brick that cannot be stored fails the call
// once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "compressed/volume_util.h"
#include "support/fault_injection.h"
#include "support/temp_dir.h"
#include "tyq/brick_geometry.h"

namespace {

using namespace tyq_test;
constexpr int kB = 64;
// 3 x 4 x 3 bricks, cut at the far edges.
constexpr int kSize[3] = {3 * kB - 10, 4 * kB - 37, 2 * kB + 5};
constexpr float kSqnr = 25.0f;

// The bricks of the last inline row with an odd crossline index hold
// samples far below the zero threshold of the others.
bool quiet(int i, int j) {
  return i / kB == 2 && (j / kB) % 2 == 1;
}

// Computed once, as every test writes the survey several times; whole
// bricks reach beyond it.
float sampleAt(int i, int j, int k) {
  static const std::vector<float> volume = [] {
    std::vector<float> v;
    v.reserve(size_t(kSize[0]) * kSize[1] * kSize[2]);
    for (int a = 0; a < kSize[0]; ++a) {
      for (int b = 0; b < kSize[1]; ++b) {
        for (int c = 0; c < kSize[2]; ++c) {
          const float x = volumeSample(a, b, c);
          v.push_back(quiet(a, b) ? x * 5e-7f : x);
        }
      }
    }
    return v;
  }();
  if (i >= kSize[0] || j >= kSize[1] || k >= kSize[2]) return volumeSample(i, j, k);
  return volume[(size_t(i) * kSize[1] + j) * kSize[2] + k];
}

// The box's samples with the vertical index fastest, made T by `code`.
template <typename T, typename Code>
std::vector<T> boxOf(const int start[3], const int size[3], Code code) {
  std::vector<T> v;
  v.reserve(size_t(size[0]) * size[1] * size[2]);
  for (int i = start[0]; i < start[0] + size[0]; ++i) {
    for (int j = start[1]; j < start[1] + size[1]; ++j) {
      for (int k = start[2]; k < start[2] + size[2]; ++k) v.push_back(code(sampleAt(i, j, k)));
    }
  }
  return v;
}

std::vector<float> floatBox(const int start[3], const int size[3]) {
  return boxOf<float>(start, size, [](float v) { return v; });
}

FA::AutoRef<FA::Writer> makeWriter(const std::string& name, bool compressed, int threads) {
  FA::TyqOptions options;
  options.sqnr = compressed ? kSqnr : 0.0f;
  options.threads = threads;
  FA::AutoRef<FA::Writer> writer;
  Status status;
  FA::Tyq::CreateTyqWriter(writer, name, volumeInfo(kSize[0], kSize[1], kSize[2]),
                           compressed ? FA::DataTypeEnum::Float32 : FA::DataTypeEnum::Int16,
                           options, &status, -1000, 1000);
  EXPECT_TRUE(writer) << status.message();
  if (writer) writer->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), &status);
  return writer;
}

// Column (1, 2) loses every third trace; column (2, 0) is dead.
void writeFlags(FA::Writer& writer) {
  std::vector<unsigned char> mixed(size_t{kB} * kB, 1);
  for (size_t n = 0; n < mixed.size(); n += 3) mixed[n] = 0;
  const std::vector<unsigned char> dead(size_t{kB} * kB, 0);
  Status status;
  EXPECT_TRUE(writer.WriteGridFlags(0, kB, 2 * kB, kB, kB, mixed.data(), &status));
  EXPECT_TRUE(writer.WriteGridFlags(0, 2 * kB, 0, kSize[0] - 2 * kB, kB, dead.data(), &status));
}

bool writeBox(FA::Writer& writer, const int start[3], const int size[3]) {
  Status status;
  const bool ok = writer.WriteData(0, start[0], start[1], start[2], size[0], size[1], size[2],
                                   floatBox(start, size).data(), &status);
  EXPECT_TRUE(ok) << status.message();
  return ok;
}

enum class Plan { OneCall, Boxes, SignedBytes };

// Level 0 as one box, as three boxes whose bricks do not overlap (the
// second of int16 samples, the last holding the quiet bricks), or as one
// request of int8 bricks with one brick left out.
void writeVolume(FA::Writer& writer, Plan plan) {
  const int origin[3] = {0, 0, 0};
  Status status;
  if (plan == Plan::OneCall) {
    writeBox(writer, origin, kSize);
  } else if (plan == Plan::Boxes) {
    const int starts[3][3] = {{0, 0, 0}, {0, 2 * kB, 0}, {2 * kB, 0, 0}};
    const int sizes[3][3] = {{2 * kB, 2 * kB, kSize[2]},
                             {2 * kB, kSize[1] - 2 * kB, kSize[2]},
                             {kSize[0] - 2 * kB, kSize[1], kSize[2]}};
    writeBox(writer, starts[0], sizes[0]);
    const auto v = boxOf<short>(starts[1], sizes[1], [](float x) { return short(x * 30); });
    EXPECT_TRUE(writer.WriteData(0, starts[1][0], starts[1][1], starts[1][2], sizes[1][0],
                                 sizes[1][1], sizes[1][2], v.data(), &status))
        << status.message();
    writeBox(writer, starts[2], sizes[2]);
  } else {
    std::vector<std::vector<signed char>> bricks;
    std::vector<const signed char*> pointers;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 4; ++j) {
        for (int k = 0; k < 3; ++k) {
          const int start[3] = {i * kB, j * kB, k * kB}, size[3] = {kB, kB, kB};
          bricks.push_back(boxOf<signed char>(start, size, [](float x) {
            return static_cast<signed char>(std::clamp(x / 8.0f, -127.0f, 127.0f));
          }));
          pointers.push_back(i == 0 && j == 3 && k == 2 ? nullptr : bricks.back().data());
        }
      }
    }
    EXPECT_TRUE(writer.WriteDataBrick(0, 0, 0, 0, 3, 4, 3, pointers.data(), &status))
        << status.message();
  }
}

// What a file holds at one level, and its statistics and histogram.
struct Outcome {
  std::vector<float> samples;
  std::vector<unsigned char> flags;
  FA::DataInfo info;
  FA::Histogram hist;
};

Outcome readBack(const std::string& name, int lod) {
  Outcome out;
  auto reader = traceReader(name);
  EXPECT_TRUE(reader);
  if (!reader) return out;
  Status status;
  EXPECT_TRUE(reader->GetDataInfo(out.info, &status));
  EXPECT_TRUE(reader->GetDataHist(out.hist, &status));
  int n[3];
  Qra::Ostrel::Tyq::Private::LevelExtent(kSize, lod, n);
  out.samples.resize(size_t(n[0]) * n[1] * n[2]);
  out.flags.resize(size_t(n[0]) * n[1]);
  EXPECT_TRUE(reader->ReadData(lod, 0, 0, 0, n[0], n[1], n[2], out.samples.data(), &status))
      << status.message();
  EXPECT_TRUE(reader->ReadGridFlags(lod, 0, 0, n[0], n[1], out.flags.data(), &status))
      << status.message();
  return out;
}

void expectSame(const Outcome& a, const Outcome& b) {
  ASSERT_EQ(a.samples.size(), b.samples.size());
  EXPECT_EQ(std::memcmp(a.samples.data(), b.samples.data(), a.samples.size() * sizeof(float)), 0);
  EXPECT_EQ(a.flags, b.flags);
  EXPECT_EQ(a.info.statCount, b.info.statCount);
  EXPECT_EQ(a.info.statSum, b.info.statSum);
  EXPECT_EQ(a.info.statSumOfSquares, b.info.statSumOfSquares);
  EXPECT_EQ(a.info.statMin, b.info.statMin);
  EXPECT_EQ(a.info.statMax, b.info.statMax);
  EXPECT_TRUE(a.hist == b.hist);
}

Outcome writeCompressed(const std::string& name, Plan plan, int threads) {
  {
    auto writer = makeWriter(name, true, threads);
    if (!writer) return {};
    writeFlags(*writer);
    writeVolume(*writer, plan);
    Status status;
    EXPECT_TRUE(writer->Finalize(false, false, &status)) << status.message();
  }
  return readBack(name, 0);
}

float quietBrickPeak(const Outcome& outcome) {
  float peak = 0.0f;
  for (int i = 2 * kB; i < kSize[0]; ++i) {
    for (int j = kB; j < 2 * kB; ++j) {
      for (int k = 0; k < kSize[2]; ++k) {
        const size_t at = (size_t(i) * kSize[1] + j) * kSize[2] + k;
        peak = std::max(peak, std::fabs(outcome.samples[at]));
      }
    }
  }
  return peak;
}

// Whatever the request, two threads give the file one gives. Bricks are
// weighed against the statistics written before their request: in one
// request with the loud bricks, the quiet bricks are coded; in a request
// after them, they are below the zero threshold and stored as 0.
TEST(CompressedWriteThreads, RequestsDecodeCountAndFlagLikeOneThread) {
  TempDir dir;
  for (Plan plan : {Plan::OneCall, Plan::Boxes, Plan::SignedBytes}) {
    SCOPED_TRACE(static_cast<int>(plan));
    const std::string tag = std::to_string(static_cast<int>(plan));
    const Outcome single = writeCompressed(dir.file("one" + tag + ".vcs"), plan, 1);
    EXPECT_GT(single.info.statCount, 0);
    if (plan == Plan::OneCall) {
      EXPECT_GT(quietBrickPeak(single), 0.0f);
      EXPECT_LT(quietBrickPeak(single), 1e-3f);
    } else if (plan == Plan::Boxes) {
      EXPECT_EQ(quietBrickPeak(single), 0.0f);
    }
    const Outcome shared = writeCompressed(dir.file("two" + tag + ".vcs"), plan, 2);
    expectSame(shared, single);
  }
}

// Statistics are sums of doubles, whose rounding depends on the order they
// are added in: bricks 1 and 2 (constants of opposite sign, quick to store)
// cancel, and the small samples of brick 0 (slow to code) lose their last
// bits when added before them, but not after. With two threads bricks 1 and
// 2 are stored while brick 0 is being coded.
TEST(CompressedWriteThreads, CountsMergeInBrickOrderWhateverOrderBricksFinish) {
  TempDir dir;
  const int size[3] = {kB, kB, 3 * kB};
  const size_t brick = size_t{kB} * kB * kB;
  std::vector<float> v(3 * brick);
  for (int i = 0; i < kB; ++i) {
    for (int j = 0; j < kB; ++j) {
      for (int k = 0; k < 3 * kB; ++k) {
        const size_t at = (size_t(i) * kB + j) * 3 * kB + k;
        v[at] = k < kB ? volumeSample(i, j, k) * 1e-3f : (k < 2 * kB ? 512.0f : -512.0f);
      }
    }
  }
  std::vector<double> sums;
  for (int threads : {1, 2}) {
    const std::string name = dir.file("order" + std::to_string(threads) + ".vcs");
    {
      FA::TyqOptions options;
      options.sqnr = kSqnr;
      options.threads = threads;
      FA::AutoRef<FA::Writer> writer;
      Status status;
      ASSERT_EQ(FA::Tyq::CreateTyqWriter(writer, name, volumeInfo(size[0], size[1], size[2]),
                                         FA::DataTypeEnum::Float32, options, &status, -1000, 1000),
                0);
      writer->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), &status);
      ASSERT_TRUE(writer->WriteData(0, 0, 0, 0, size[0], size[1], size[2], v.data(), &status));
      ASSERT_TRUE(writer->Finalize(false, false, &status));
    }
    auto reader = traceReader(name);
    ASSERT_TRUE(reader);
    FA::DataInfo info;
    Status status;
    ASSERT_TRUE(reader->GetDataInfo(info, &status));
    sums.push_back(info.statSum);
  }
  EXPECT_EQ(sums[0], sums[1]);
}

// An int16 file rebuilding its levels after each request, with boxes that
// replace stored samples in part: every level, the counts and the flags as
// with one thread.
TEST(UncompressedWriteThreads, LevelsAndCountsMatchOneThread) {
  TempDir dir;
  const auto write = [&](const std::string& name, int threads) {
    auto writer = makeWriter(name, false, threads);
    if (!writer) return;
    writeFlags(*writer);
    writeVolume(*writer, Plan::OneCall);
    const int start[2][3] = {{30, 50, 17}, {100, 5, 60}};
    const int size[2][3] = {{100, 150, 90}, {82, 200, 111}};
    for (int b = 0; b < 2; ++b) writeBox(*writer, start[b], size[b]);
    writeVolume(*writer, Plan::SignedBytes);
    Status status;
    EXPECT_TRUE(writer->Finalize(false, true, &status)) << status.message();
  };
  write(dir.file("one.vbs"), 1);
  write(dir.file("two.vbs"), 2);
  auto reader = traceReader(dir.file("one.vbs"));
  ASSERT_TRUE(reader);
  FA::FileInfo info;
  Status status;
  ASSERT_TRUE(reader->GetFileInfo(info, &status));
  ASSERT_GT(info.numberOfLods, 1);
  for (int lod = 0; lod < info.numberOfLods; ++lod) {
    SCOPED_TRACE(lod);
    expectSame(readBack(dir.file("two.vbs"), lod), readBack(dir.file("one.vbs"), lod));
  }
}

// Samples of level-0 bricks the file holds, live traces only (no flags are
// written here).
int64_t storedSamples(const std::string& name) {
  auto reader = traceReader(name);
  EXPECT_TRUE(reader);
  if (!reader) return -1;
  std::vector<long long> positions(3 * 4 * 3);
  Status status;
  EXPECT_TRUE(reader->GetDataBrickPos(positions.data(), 0, 0, 0, 0, 3, 4, 3, &status));
  int64_t samples = 0;
  for (int n = 0; n < 3 * 4 * 3; ++n) {
    if (positions[size_t(n)] == 0) continue;
    const int index[3] = {n / 12, n / 3 % 4, n % 3};
    int64_t brick = 1;
    for (int d = 0; d < 3; ++d) brick *= std::min(kB, kSize[d] - index[d] * kB);
    samples += brick;
  }
  return samples;
}

// A request stores the flag tiles of its columns before its bricks.
constexpr int kColumns = 3 * 4;

class FailingWrites : public testing::Test {
 protected:
  void SetUp() override {
    state_ = std::make_shared<FaultState>();
    FA::FileFactory::setInstanceGiveOwnership(new FaultInjectionFactory(state_));
  }
  void TearDown() override { delete FA::FileFactory::getInstanceTakeOwnership(); }

  TempDir dir_;
  std::shared_ptr<FaultState> state_;
};

TEST_F(FailingWrites, ThreadsReportTheFirstFailedBrickOnce) {
  const std::string name = dir_.file("full.vcs");
  auto writer = makeWriter(name, true, 4);
  ASSERT_TRUE(writer);
  state_->write = Fault::error(state_->writes + kColumns + 5);
  state_->write.repeat = true;
  const int origin[3] = {0, 0, 0};
  const std::vector<float> volume = floatBox(origin, kSize);
  Status status;
  EXPECT_FALSE(writer->WriteData(0, 0, 0, 0, kSize[0], kSize[1], kSize[2], volume.data(), &status));
  EXPECT_EQ(status.sysError(), EIO) << status.message();
  const std::string trail = status.function();
  EXPECT_EQ(trail.find("FaultInjectionFile::"), 0u) << trail;
  EXPECT_NE(trail.find("File::SetBrick"), std::string::npos) << trail;
  const size_t outer = trail.find("Accessor::WriteData");
  ASSERT_NE(outer, std::string::npos) << trail;
  EXPECT_EQ(trail.find("Accessor::WriteData", outer + 1), std::string::npos) << trail;
}

// One write fails, the rest of the request may go on or stop: whatever was
// stored is what the statistics count.
TEST_F(FailingWrites, ThreadsCountTheBricksStoredBeforeAFailure) {
  const std::string name = dir_.file("torn.vcs");
  {
    auto writer = makeWriter(name, true, 2);
    ASSERT_TRUE(writer);
    state_->write = Fault::error(state_->writes + kColumns + 7);
    const int origin[3] = {0, 0, 0};
    const std::vector<float> volume = floatBox(origin, kSize);
    Status status;
    EXPECT_FALSE(
        writer->WriteData(0, 0, 0, 0, kSize[0], kSize[1], kSize[2], volume.data(), &status));
    EXPECT_TRUE(writer->Finalize(false, false, &status)) << status.message();
  }
  const int64_t stored = storedSamples(name);
  EXPECT_GT(stored, 0);
  EXPECT_LT(stored, int64_t{kSize[0]} * kSize[1] * kSize[2]);
  FA::DataInfo info;
  FA::Histogram hist;
  auto reader = traceReader(name);
  ASSERT_TRUE(reader);
  Status status;
  ASSERT_TRUE(reader->GetDataInfo(info, &status) && reader->GetDataHist(hist, &status));
  EXPECT_EQ(info.statCount, stored);
  EXPECT_EQ(hist.count, stored);
}

}  // namespace
