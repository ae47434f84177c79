#include "tools/compressed_volume.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/task_pool.h"
#include "stats/binning.h"
#include "tyq/lod.h"
#include "tyq/tyq.h"

namespace Qra::Ostrel::Tyq::Private::Tools {

namespace {

namespace FA = FileAccess;

constexpr int kB = 64;
constexpr size_t kBrickSamples = size_t{kB} * kB * kB;

const float* TraceOf(const FloatVolumeView& v, int i, int j) {
  return v.samples + (size_t(i) * v.size[1] + j) * v.size[2];
}

// Copies the box at `start` of `size` samples from a volume into a buffer
// of the box's own shape, both vertical fastest.
void CopyBox(const FloatVolumeView& v, const int start[3], const int size[3], float* box) {
  for (int i = 0; i < size[0]; ++i) {
    for (int j = 0; j < size[1]; ++j) {
      const float* from = TraceOf(v, start[0] + i, start[1] + j) + start[2];
      std::copy(from, from + size[2], box + (size_t(i) * size[1] + j) * size[2]);
    }
  }
}

// One 64^3 brick of `v` (zero beyond its edge), vertical fastest.
void CutBrick(const FloatVolumeView& v, int bi, int bj, int bk, float* brick) {
  std::fill(brick, brick + kBrickSamples, 0.0f);
  const int start[3] = {bi * kB, bj * kB, bk * kB};
  for (int a = 0; a < 3; ++a) {
    if (start[a] >= v.size[a]) return;
  }
  for (int i = 0; i < std::min(kB, v.size[0] - start[0]); ++i) {
    for (int j = 0; j < std::min(kB, v.size[1] - start[1]); ++j) {
      const float* from = TraceOf(v, start[0] + i, start[1] + j) + start[2];
      std::copy(from, from + std::min(kB, v.size[2] - start[2]), brick + (size_t(i) * kB + j) * kB);
    }
  }
}

int BricksAlong(int n) {
  return (n + kB - 1) / kB;
}

// Puts the part of a 64^3 brick that lies inside `out` at brick (bi, bj, bk).
void PlaceBrick(const float* brick, int bi, int bj, int bk, FloatVolume& out) {
  const int start[3] = {bi * kB, bj * kB, bk * kB};
  for (int i = 0; i < std::min(kB, out.size[0] - start[0]); ++i) {
    for (int j = 0; j < std::min(kB, out.size[1] - start[1]); ++j) {
      const float* from = brick + (size_t(i) * kB + j) * kB;
      std::copy(from, from + std::min(kB, out.size[2] - start[2]),
                out.samples.data() +
                    (size_t(start[0] + i) * out.size[1] + start[1] + j) * out.size[2] + start[2]);
    }
  }
}

}  // namespace

DecimationHistogram HistogramOf(const FloatVolumeView& v, double lo, double hi) {
  constexpr int kBins = 256;
  DecimationHistogram out;
  if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo)) return out;
  // Two extra counters take what falls outside the range, without a branch.
  std::vector<long long> counts(kBins + 2, 0);
  const double factor = (kBins - 1) / (hi - lo), offset = -factor * lo;
  for (size_t n = 0; n < v.Count(); ++n) {
    ++counts[static_cast<size_t>(Binning::BinPlusOne(v.samples[n], factor, offset, kBins))];
  }
  out.bins.assign(counts.begin() + 1, counts.end() - 1);
  out.min = lo;
  out.max = hi;
  return out;
}

// Parent bricks are independent: each is built from its own eight children
// into its own place, so they run as items of the library's pool.
FloatVolume Decimate(const FloatVolumeView& below, int level, const DecimationHistogram& histogram,
                     int threads) {
  FloatVolume out;
  for (int a = 0; a < 3; ++a) out.size[a] = (below.size[a] + 1) / 2;
  out.samples.assign(out.Count(), 0.0f);
  const auto algorithm = level <= 1 ? vvArrayBasic::LowPass : vvArrayBasic::WeightedAverage;
  const int shape[3] = {kB, kB, kB}, strides[3] = {kB * kB, kB, 1};
  const int n[3] = {BricksAlong(out.size[0]), BricksAlong(out.size[1]), BricksAlong(out.size[2])};
  TaskPool::RunEach(int64_t{n[0]} * n[1] * n[2], threads, [&](int64_t item) {
    const int bi = static_cast<int>(item / (int64_t{n[1]} * n[2]));
    const int bj = static_cast<int>(item / n[2] % n[1]), bk = static_cast<int>(item % n[2]);
    thread_local std::vector<float> children, brick;
    children.resize(8 * kBrickSamples);
    brick.resize(kBrickSamples);
    const float* sources[8];
    for (int c = 0; c < 8; ++c) {
      float* child = children.data() + c * kBrickSamples;
      CutBrick(below, 2 * bi + (c >> 2), 2 * bj + ((c >> 1) & 1), 2 * bk + (c & 1), child);
      sources[c] = child;
    }
    vvArrayBasic::createLevelOfDetail<float>(
        brick.data(), shape, strides, sources, algorithm, histogram.bins.data(),
        static_cast<int>(histogram.bins.size()), histogram.min, histogram.max);
    PlaceBrick(brick.data(), bi, bj, bk, out);
    return true;
  });
  return out;
}

std::vector<unsigned char> CoarserFlags(const std::vector<unsigned char>& finer,
                                        const int finerSize[2]) {
  const int n[2] = {(finerSize[0] + 1) / 2, (finerSize[1] + 1) / 2};
  std::vector<unsigned char> out(static_cast<size_t>(n[0]) * n[1], 0);
  for (int i = 0; i < finerSize[0]; ++i) {
    for (int j = 0; j < finerSize[1]; ++j) {
      if (finer[static_cast<size_t>(i) * finerSize[1] + j]) {
        out[static_cast<size_t>(i / 2) * n[1] + j / 2] = 1;
      }
    }
  }
  return out;
}

namespace {

// Every level's flags from those of level 0, written before any sample.
bool WriteLevelFlags(FA::Writer& writer, const std::vector<FloatVolumeView>& levels,
                     const unsigned char* live, Status* status) {
  const int* n0 = levels[0].size;
  std::vector<unsigned char> flags(live, live + static_cast<size_t>(n0[0]) * n0[1]);
  for (size_t level = 0; level < levels.size(); ++level) {
    const int* n = levels[level].size;
    if (level > 0) {
      const int* below = levels[level - 1].size;
      const int finer[2] = {below[0], below[1]};
      flags = CoarserFlags(flags, finer);
    }
    if (!writer.WriteGridFlags(static_cast<int>(level), 0, 0, n[0], n[1], flags.data(), status)) {
      return false;
    }
  }
  return true;
}

struct Column {
  int level, bi, bj;
};

// Every brick column of every level, level 0 first.
std::vector<Column> ColumnsOf(const std::vector<FloatVolumeView>& levels) {
  std::vector<Column> columns;
  for (size_t level = 0; level < levels.size(); ++level) {
    for (int bi = 0; bi < BricksAlong(levels[level].size[0]); ++bi) {
      for (int bj = 0; bj < BricksAlong(levels[level].size[1]); ++bj) {
        columns.push_back({static_cast<int>(level), bi, bj});
      }
    }
  }
  return columns;
}

// The work the writing threads share; the first failure stops them all.
struct SharedWork {
  SharedWork(FA::Writer& w, const std::vector<FloatVolumeView>& l)
      : writer(w), levels(l), columns(ColumnsOf(l)) {}

  FA::Writer& writer;
  const std::vector<FloatVolumeView>& levels;
  std::vector<Column> columns;
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  std::mutex mutex;
  std::condition_variable changed;
  size_t done = 0;  // guarded by mutex
};

bool WriteColumn(SharedWork& work, const Column& c, std::vector<float>& box, Status& status) {
  const FloatVolumeView& v = work.levels[static_cast<size_t>(c.level)];
  const int start[3] = {c.bi * kB, c.bj * kB, 0};
  const int size[3] = {std::min(kB, v.size[0] - start[0]), std::min(kB, v.size[1] - start[1]),
                       v.size[2]};
  box.resize(static_cast<size_t>(size[0]) * size[1] * size[2]);
  CopyBox(v, start, size, box.data());
  return work.writer.WriteData(c.level, start[0], start[1], 0, size[0], size[1], size[2],
                               box.data(), &status);
}

void WriteColumns(SharedWork& work, Status& status) {
  std::vector<float> box;
  for (size_t n = work.next++; n < work.columns.size() && !work.failed; n = work.next++) {
    const bool ok = WriteColumn(work, work.columns[n], box, status);
    std::lock_guard<std::mutex> lock(work.mutex);
    if (!ok) work.failed = true;
    ++work.done;
    work.changed.notify_all();
  }
  // A thread that stops early must still wake the waiter.
  std::lock_guard<std::mutex> lock(work.mutex);
  work.changed.notify_all();
}

// Runs the writers and reports progress from this thread until every
// column is written or one write failed.
bool WriteAll(FA::Writer& writer, const std::vector<FloatVolumeView>& levels,
              const CompressedVolumeOptions& options, Status* status) {
  SharedWork work(writer, levels);
  const int64_t total = static_cast<int64_t>(work.columns.size());
  std::vector<Status> statuses(static_cast<size_t>(std::max(options.threads, 1)));
  std::vector<std::thread> pool;
  for (Status& s : statuses) pool.emplace_back(WriteColumns, std::ref(work), std::ref(s));
  {
    std::unique_lock<std::mutex> lock(work.mutex);
    while (work.done < work.columns.size() && !work.failed) {
      const int64_t done = static_cast<int64_t>(work.done);
      if (options.progress) {
        lock.unlock();
        options.progress(done, total);
        lock.lock();
      }
      work.changed.wait_for(lock, std::chrono::milliseconds(100));
    }
  }
  for (std::thread& t : pool) t.join();
  for (const Status& s : statuses) {
    if (!s.ok()) {
      if (status) *status = s;
      return false;
    }
  }
  if (options.progress) options.progress(total, total);
  return true;
}

}  // namespace

bool WriteCompressedVolume(const std::string& name, const FA::DataInfo& info,
                           const FloatVolumeView& level0, const CompressedVolumeOptions& options,
                           Status* status) {
  Func func("WriteCompressedVolume", status);
  if (!(options.sqnr > 0.0f) || !std::equal(level0.size, level0.size + 3, info.size) ||
      !level0.samples) {
    return func.setError(FA::Error::InvalidArgument,
                         "a compressed volume needs a positive SQNR and samples of its own size");
  }
  FA::AutoRef<FA::Writer> writer;
  FA::FileInfo fileInfo;
  if (FA::Tyq::CreateCompressedWriter(writer, name, info, func.statusP(), options.sqnr,
                                      options.histogramMin, options.histogramMax) != 0 ||
      !writer->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), func.statusP()) ||
      !writer->GetFileInfo(fileInfo, func.statusP())) {
    return false;
  }
  std::vector<FloatVolume> above;
  std::vector<FloatVolumeView> levels = {level0};
  above.reserve(static_cast<size_t>(std::max(fileInfo.numberOfLods, 1)));
  const DecimationHistogram histogram =
      fileInfo.numberOfLods > 2 ? HistogramOf(level0, options.histogramMin, options.histogramMax)
                                : DecimationHistogram();
  for (int level = 1; level < fileInfo.numberOfLods; ++level) {
    above.push_back(Decimate(levels.back(), level, histogram, options.threads));
    levels.push_back(above.back().View());
  }
  return (!options.live || WriteLevelFlags(*writer, levels, options.live, func.statusP())) &&
         WriteAll(*writer, levels, options, func.statusP()) &&
         writer->Finalize(false, false, func.statusP());
}

}  // namespace Qra::Ostrel::Tyq::Private::Tools
