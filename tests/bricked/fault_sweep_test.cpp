// Every transfer of create -> write -> flush -> reopen failed in turn, and a
// disk that fills at every point: each failure is reported, what was
// reported written survives, and the statistics describe exactly the live
// samples the file holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/fault_injection.h"
#include "support/temp_dir.h"
#include "tyq/brick_geometry.h"
#include "tyq/environment.h"
#include "tyq/stats.h"
#include "tyq/tyq.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {
namespace {

namespace FA = FileAccess;
using tyq_test::Fault;
using tyq_test::FaultState;

constexpr int kN[3] = {40, 37, 33};
constexpr int kBrick = 16;
constexpr size_t kSamples = size_t{kN[0]} * kN[1] * kN[2];

size_t at(int i, int j, int k) {
  return (static_cast<size_t>(i) * kN[1] + j) * kN[2] + k;
}

float valueOf(int i, int j, int k, int seed) {
  return static_cast<float>((i * 7 + j * 3 + k * 5 + seed * 11) % 23) - 11.0f + 0.25f * seed;
}

// One call of the script: a box of samples (data), a box of flags, or a
// flush or finalise with levels of detail.
struct Step {
  enum Kind { Data, Flags, Flush, Finalize } kind;
  int box[6];  // i0, j0, k0, ni, nj, nk (flags: k0 and nk unused)
  int seed;    // data: the values; flags: the flag
};

const Step kScript[] = {
    {Step::Data, {0, 0, 0, 40, 37, 20}, 0},
    {Step::Flags, {3, 4, 0, 10, 9, 0}, 0},
    {Step::Data, {10, 5, 10, 25, 30, 23}, 1},
    {Step::Flags, {5, 5, 0, 4, 4, 0}, 1},
    {Step::Flush, {}, 0},
    {Step::Data, {0, 20, 0, 40, 17, 33}, 2},
    {Step::Flags, {30, 30, 0, 6, 5, 0}, 0},
    {Step::Finalize, {}, 0},
};

// What the file must hold: samples and flags known for certain, and those
// a failed call may or may not have changed.
struct Model {
  std::vector<float> v = std::vector<float>(kSamples, 0.0f);
  std::vector<bool> sure = std::vector<bool>(kSamples, true);
  std::vector<int> flag = std::vector<int>(size_t{kN[0]} * kN[1], -1);  // -1 unknown

  void apply(const Step& s, bool ok) {
    const int* b = s.box;
    if (s.kind == Step::Data) {
      for (int i = b[0]; i < b[0] + b[3]; ++i) {
        for (int j = b[1]; j < b[1] + b[4]; ++j) {
          for (int k = b[2]; k < b[2] + b[5]; ++k) {
            v[at(i, j, k)] = valueOf(i, j, k, s.seed);
            sure[at(i, j, k)] = ok;
          }
        }
      }
      // A column first written gets a tile of live traces.
      for (int i = b[0] / kBrick * kBrick; i < std::min(kN[0], b[0] + b[3]); ++i) {
        for (int j = b[1] / kBrick * kBrick; j < std::min(kN[1], b[1] + b[4]); ++j) {
          int& f = flag[static_cast<size_t>(i) * kN[1] + j];
          if (f == -1) f = ok ? 1 : -2;
        }
      }
    } else if (s.kind == Step::Flags) {
      for (int i = b[0]; i < b[0] + b[3]; ++i) {
        for (int j = b[1]; j < b[1] + b[4]; ++j) {
          flag[static_cast<size_t>(i) * kN[1] + j] = ok ? s.seed : -2;
        }
      }
    }
  }
};

bool perform(FA::Writer& w, const Step& s, Status* status) {
  const int* b = s.box;
  if (s.kind == Step::Data) {
    std::vector<float> box(static_cast<size_t>(b[3]) * b[4] * b[5]);
    size_t n = 0;
    for (int i = b[0]; i < b[0] + b[3]; ++i) {
      for (int j = b[1]; j < b[1] + b[4]; ++j) {
        for (int k = b[2]; k < b[2] + b[5]; ++k) box[n++] = valueOf(i, j, k, s.seed);
      }
    }
    return w.WriteData(0, b[0], b[1], b[2], b[3], b[4], b[5], box.data(), status);
  }
  if (s.kind == Step::Flags) {
    std::vector<unsigned char> flags(static_cast<size_t>(b[3]) * b[4],
                                     static_cast<unsigned char>(s.seed));
    return w.WriteGridFlags(0, b[0], b[1], b[3], b[4], flags.data(), status);
  }
  if (s.kind == Step::Flush) return w.Flush(false, true, status);
  return w.Finalize(false, true, status);
}

FA::AutoRef<FA::Writer> create(const std::string& name, Status* status) {
  FA::DataInfo info;
  info.SetExtent(100, 1, kN[0], 200, 1, kN[1], 0, 4, kN[2], false);
  Environment::putNumericEnv("OSTREL_TYQ_BRICK_SIZE", kBrick);
  FA::AutoRef<FA::Writer> writer;
  FA::Tyq::CreateTyqWriter(writer, name, info, FA::DataTypeEnum::Float32, FA::TyqOptions(), status,
                           -1.0, 1.0);
  Environment::putStringEnv("OSTREL_TYQ_BRICK_SIZE", "");
  return writer;
}

// What a run leaves: every level read back, the stored statistics, and
// what the file itself says they should be.
struct Result {
  bool opened = false;
  std::vector<std::vector<float>> levels;
  std::vector<unsigned char> flags;
  FA::DataInfo info;
  int64_t histCount = 0;
  StatisticData live;  // of the live samples in stored level-0 bricks
};

Result readBack(FA::Reader& r) {
  Result out;
  out.opened = true;
  FA::FileInfo fileInfo;
  r.GetFileInfo(fileInfo, nullptr);
  r.GetDataInfo(out.info, nullptr);
  FA::Histogram hist;
  r.GetDataHist(hist, nullptr);
  out.histCount = hist.count;
  for (int lod = 0; lod < fileInfo.numberOfLods; ++lod) {
    const int n[3] = {LevelExtent(kN[0], lod), LevelExtent(kN[1], lod), LevelExtent(kN[2], lod)};
    std::vector<float> level(static_cast<size_t>(n[0]) * n[1] * n[2], -999.0f);
    r.ReadData(lod, 0, 0, 0, n[0], n[1], n[2], level.data(), nullptr);
    out.levels.push_back(std::move(level));
  }
  out.flags.assign(size_t{kN[0]} * kN[1], 0);
  r.ReadGridFlags(0, 0, 0, kN[0], kN[1], out.flags.data(), nullptr);
  std::vector<long long> stored(27);
  r.GetDataBrickPos(stored.data(), 0, 0, 0, 0, 3, 3, 3, nullptr);
  for (int i = 0; i < kN[0]; ++i) {
    for (int j = 0; j < kN[1]; ++j) {
      if (!out.flags[static_cast<size_t>(i) * kN[1] + j]) continue;
      for (int k = 0; k < kN[2]; ++k) {
        if (stored[static_cast<size_t>((i / kBrick * 3 + j / kBrick) * 3 + k / kBrick)] != 0) {
          out.live.add(out.levels[0][at(i, j, k)]);
        }
      }
    }
  }
  return out;
}

// One pass of the script against `state`'s plan; with `retry` every failed
// call is made once more (the planned fault has passed by then).
struct Outcome {
  Result result;
  Model model;
  int failures = 0;
  bool created = false;
  int64_t readsBeforeCheck = 0;  // reads up to and including the reopen
};

Outcome runScript(const std::string& name, const std::shared_ptr<FaultState>& state, bool retry) {
  Outcome run;
  Status status;
  auto attempt = [&](const std::function<bool()>& call) {
    if (call()) return true;
    ++run.failures;
    return retry && call();
  };
  FA::FileFactory::setInstanceGiveOwnership(new tyq_test::FaultInjectionFactory(state));
  FA::AutoRef<FA::Writer> writer;
  run.created = attempt([&] {
    writer = create(name, &status);
    return static_cast<bool>(writer);
  });
  if (run.created) {
    for (const Step& s : kScript) {
      const bool ok = attempt([&] { return perform(*writer, s, &status); });
      EXPECT_TRUE(ok || !retry) << "step " << s.kind << ": " << status.message();
      run.model.apply(s, ok);
    }
  }
  writer = FA::AutoRef<FA::Writer>();
  FA::AutoRef<FA::Reader> reader;
  const bool opened =
      run.created && attempt([&] {
        return FA::Tyq::CreateTyqReader(reader, name, FA::TyqOptions(), &status) == 0;
      });
  state->read = Fault();
  run.readsBeforeCheck = state->reads;
  if (opened) run.result = readBack(*reader);
  reader = FA::AutoRef<FA::Reader>();
  delete FA::FileFactory::getInstanceTakeOwnership();
  return run;
}

// Samples known for certain read back; flags known for certain read back;
// the statistics are those of the live samples the file holds.
void expectHolds(const Outcome& run, const std::string& label) {
  ASSERT_TRUE(run.result.opened) << label;
  const std::vector<float>& level0 = run.result.levels[0];
  int64_t wrong = 0;
  for (size_t n = 0; n < kSamples; ++n) wrong += run.model.sure[n] && level0[n] != run.model.v[n];
  EXPECT_EQ(wrong, 0) << label;
  int64_t wrongFlags = 0;
  for (size_t t = 0; t < run.model.flag.size(); ++t) {
    const int f = run.model.flag[t];
    wrongFlags += f >= 0 && run.result.flags[t] != f;
  }
  EXPECT_EQ(wrongFlags, 0) << label;
  const StatisticData& live = run.result.live;
  EXPECT_EQ(run.result.info.statCount, live.getcnt()) << label;
  EXPECT_EQ(run.result.histCount, live.getcnt()) << label;
  EXPECT_NEAR(run.result.info.statSum, live.getsum(), 1e-9 * live.getssq() + 1e-6) << label;
}

TEST(FaultSweep, EveryFailedTransferIsReportedAndRepeatingItLosesNothing) {
  tyq_test::TempDir dir;
  const std::string name = dir.file("sweep.vbs");
  auto clean = std::make_shared<FaultState>();
  const Outcome reference = runScript(name, clean, false);
  ASSERT_EQ(reference.failures, 0);
  expectHolds(reference, "reference");
  const int64_t writes = clean->writes, reads = reference.readsBeforeCheck;
  ASSERT_GT(writes, 20);
  ASSERT_GT(reads, 20);
  for (const bool reading : {false, true}) {
    for (int64_t nth = 1; nth <= (reading ? reads : writes); ++nth) {
      auto state = std::make_shared<FaultState>();
      (reading ? state->read : state->write) = Fault::error(nth, reading ? EIO : ENOSPC);
      const Outcome run = runScript(name, state, true);
      const std::string label = (reading ? "read " : "write ") + std::to_string(nth);
      EXPECT_EQ(run.failures, 1) << label;
      expectHolds(run, label);
      // Repeated calls build the same file: every level, every statistic.
      EXPECT_EQ(run.result.levels, reference.result.levels) << label;
      EXPECT_EQ(run.result.info.statCount, reference.result.info.statCount) << label;
    }
  }
}

TEST(FaultSweep, AFullDiskKeepsEverythingReportedWrittenReachable) {
  tyq_test::TempDir dir;
  const std::string name = dir.file("full.vbs");
  auto clean = std::make_shared<FaultState>();
  runScript(name, clean, false);
  const auto finalSize = static_cast<int64_t>(std::filesystem::file_size(name));
  int checked = 0;
  for (int64_t limit = 4096; limit < finalSize; limit += 6000) {
    auto state = std::make_shared<FaultState>();
    state->sizeLimit = limit;
    const Outcome run = runScript(name, state, false);
    if (!run.created) continue;
    ++checked;
    expectHolds(run, "limit " + std::to_string(limit));
  }
  EXPECT_GT(checked, 10);
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::Bricked
