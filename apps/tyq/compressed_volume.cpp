#include "compressed_volume.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "progress.h"
#include "tyq/lod.h"

namespace tyq_tool {

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Qra::Ostrel::Tyq::Private::Status;
using Qra::Ostrel::Tyq::Private::vvArrayBasic;

constexpr int kB = 64;
constexpr size_t kBrickSamples = size_t{kB} * kB * kB;

// Copies the box at `start` of `size` samples between a volume and a
// buffer of the box's own shape, both vertical fastest.
void copyBox(const FloatVolume& v, const int start[3], const int size[3], float* box) {
  for (int i = 0; i < size[0]; ++i) {
    for (int j = 0; j < size[1]; ++j) {
      const float* from = v.samples.data() +
                          (size_t(start[0] + i) * v.size[1] + start[1] + j) * v.size[2] + start[2];
      std::copy(from, from + size[2], box + (size_t(i) * size[1] + j) * size[2]);
    }
  }
}

// One 64^3 brick of `v` (zero beyond its edge), vertical fastest.
void cutBrick(const FloatVolume& v, int bi, int bj, int bk, float* brick) {
  std::fill(brick, brick + kBrickSamples, 0.0f);
  const int start[3] = {bi * kB, bj * kB, bk * kB};
  for (int a = 0; a < 3; ++a) {
    if (start[a] >= v.size[a]) return;
  }
  for (int i = 0; i < std::min(kB, v.size[0] - start[0]); ++i) {
    for (int j = 0; j < std::min(kB, v.size[1] - start[1]); ++j) {
      const float* from = v.samples.data() +
                          (size_t(start[0] + i) * v.size[1] + start[1] + j) * v.size[2] + start[2];
      std::copy(from, from + std::min(kB, v.size[2] - start[2]), brick + (size_t(i) * kB + j) * kB);
    }
  }
}

int bricksAlong(int n) {
  return (n + kB - 1) / kB;
}

}  // namespace

FloatVolume decimate(const FloatVolume& below, int level) {
  FloatVolume out;
  for (int a = 0; a < 3; ++a) out.size[a] = (below.size[a] + 1) / 2;
  out.samples.assign(out.count(), 0.0f);
  const auto algorithm = level <= 1 ? vvArrayBasic::LowPass : vvArrayBasic::WeightedAverage;
  std::vector<float> children(8 * kBrickSamples), brick(kBrickSamples);
  const int shape[3] = {kB, kB, kB}, strides[3] = {kB * kB, kB, 1};
  for (int bi = 0; bi < bricksAlong(out.size[0]); ++bi) {
    for (int bj = 0; bj < bricksAlong(out.size[1]); ++bj) {
      for (int bk = 0; bk < bricksAlong(out.size[2]); ++bk) {
        const float* sources[8];
        for (int c = 0; c < 8; ++c) {
          float* child = children.data() + c * kBrickSamples;
          cutBrick(below, 2 * bi + (c >> 2), 2 * bj + ((c >> 1) & 1), 2 * bk + (c & 1), child);
          sources[c] = child;
        }
        vvArrayBasic::createLevelOfDetail<float>(brick.data(), shape, strides, sources, algorithm,
                                                 nullptr, 0, 0.0, 0.0);
        const int start[3] = {bi * kB, bj * kB, bk * kB};
        for (int i = 0; i < std::min(kB, out.size[0] - start[0]); ++i) {
          for (int j = 0; j < std::min(kB, out.size[1] - start[1]); ++j) {
            const float* from = brick.data() + (size_t(i) * kB + j) * kB;
            std::copy(from, from + std::min(kB, out.size[2] - start[2]),
                      out.samples.data() +
                          (size_t(start[0] + i) * out.size[1] + start[1] + j) * out.size[2] +
                          start[2]);
          }
        }
      }
    }
  }
  return out;
}

namespace {

struct Column {
  int level, bi, bj;
};

// Takes columns from `next` until none is left; the first failure stops
// every thread.
void writeColumns(FA::Writer& writer, const std::vector<const FloatVolume*>& levels,
                  const std::vector<Column>& columns, std::atomic<size_t>& next,
                  std::atomic<size_t>& done, std::atomic<bool>& failed, Status& status) {
  std::vector<float> box;
  for (size_t n = next++; n < columns.size() && !failed; n = next++) {
    const Column& c = columns[n];
    const FloatVolume& v = *levels[static_cast<size_t>(c.level)];
    const int start[3] = {c.bi * kB, c.bj * kB, 0};
    const int size[3] = {std::min(kB, v.size[0] - start[0]), std::min(kB, v.size[1] - start[1]),
                         v.size[2]};
    box.resize(static_cast<size_t>(size[0]) * size[1] * size[2]);
    copyBox(v, start, size, box.data());
    if (!writer.WriteData(c.level, start[0], start[1], 0, size[0], size[1], size[2], box.data(),
                          &status)) {
      failed = true;
    }
    ++done;
  }
}

}  // namespace

namespace {

// Every brick column of every level, level 0 first.
std::vector<Column> columnsOf(const std::vector<const FloatVolume*>& levels) {
  std::vector<Column> columns;
  for (size_t level = 0; level < levels.size(); ++level) {
    for (int bi = 0; bi < bricksAlong(levels[level]->size[0]); ++bi) {
      for (int bj = 0; bj < bricksAlong(levels[level]->size[1]); ++bj) {
        columns.push_back({static_cast<int>(level), bi, bj});
      }
    }
  }
  return columns;
}

// Runs `threads` writers over the columns while showing progress; false
// with the first failure's status.
bool writeAll(FA::Writer& writer, const std::vector<const FloatVolume*>& levels, int threads,
              Status* status) {
  const std::vector<Column> columns = columnsOf(levels);
  std::atomic<size_t> next{0}, done{0};
  std::atomic<bool> failed{false};
  std::vector<Status> statuses(static_cast<size_t>(std::max(threads, 1)));
  std::vector<std::thread> pool;
  for (Status& s : statuses) {
    pool.emplace_back(writeColumns, std::ref(writer), std::cref(levels), std::cref(columns),
                      std::ref(next), std::ref(done), std::ref(failed), std::ref(s));
  }
  Progress progress("compressing", static_cast<int64_t>(columns.size()));
  while (done < columns.size() && !failed) {
    progress.update(static_cast<int64_t>(done));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  for (std::thread& t : pool) t.join();
  for (const Status& s : statuses) {
    if (!s.ok()) {
      if (status) *status = s;
      return false;
    }
  }
  progress.finish();
  return true;
}

}  // namespace

bool writeCompressedVolume(const std::string& name, const FA::DataInfo& info,
                           const FloatVolume& level0, float sqnr, int threads, double lo, double hi,
                           Status* status) {
  FA::AutoRef<FA::Writer> writer;
  FA::FileInfo fileInfo;
  if (FA::Tyq::CreateCompressedWriter(writer, name, info, status, sqnr, lo, hi) != 0 ||
      !writer->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), status) ||
      !writer->GetFileInfo(fileInfo, status)) {
    return false;
  }
  std::vector<FloatVolume> above;
  std::vector<const FloatVolume*> levels = {&level0};
  above.reserve(static_cast<size_t>(fileInfo.numberOfLods));
  for (int level = 1; level < fileInfo.numberOfLods; ++level) {
    above.push_back(decimate(*levels.back(), level));
    levels.push_back(&above.back());
  }
  return writeAll(*writer, levels, threads, status) && writer->Finalize(false, false, status);
}

}  // namespace tyq_tool
