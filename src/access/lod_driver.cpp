// Keeps the level-of-detail pyramid in step with the full-resolution data:
// walks the levels bottom up and rebuilds every brick and flag tile whose
// children were written, as the file's dirty marks say.
#include "access/lod_driver.h"

#include <cstdio>
#include <cstring>

#include "access/brick_store.h"
#include "core/aligned_buffer.h"
#include "core/sample_type.h"
#include "tyq/brick_geometry.h"
#include "tyq/environment.h"
#include "tyq/lod.h"

namespace Qra::Ostrel::Tyq::Private::Lod {

using Err = FileAccess::Error;
namespace FA = FileAccess;
using Algorithm = vvArrayBasic::LodAlgorithm;

namespace {

constexpr int kAllZero = 10;

bool hasModeMarker(const std::string& name) {
  return name.find(".tyqb") != std::string::npos || name.find(".tyqu") != std::string::npos ||
         name.find(".tyqa") != std::string::npos;
}

// The kernel halves bricks and tiles into octants and quadrants; it leaves
// a brick of odd size untouched, which must then not be stored as a level.
bool Halvable(const FA::FileInfo& info) {
  for (const int32_t b : info.brickSize) {
    if (b <= 0 || b % 2 != 0) return false;
  }
  return true;
}

template <typename T>
bool allZero(const T* samples, size_t count) {
  for (size_t n = 0; n < count; ++n) {
    if (!(samples[n] == T(0))) return false;  // -0.0 counts as zero, NaN does not
  }
  return true;
}

}  // namespace

LodSettings ChooseLodSettings(const FA::TyqOptions& options, const std::string& fileName,
                              bool writable) {
  LodSettings s;
  const int32_t chosen[3] = {options.lod1Algorithm, options.lod2Algorithm, options.lodNAlgorithm};
  for (int n = 0; n < 3; ++n) {
    if (chosen[n] >= 100 && chosen[n] <= 114) s.algorithm[n] = chosen[n] - 100;
  }
  s.autoGenerate = options.noAutoFlush ? 0 : -1;
  s.algorithm[0] = Environment::getNumericEnv("OSTREL_LOD1_ALGORITHM", s.algorithm[0]);
  s.algorithm[1] = Environment::getNumericEnv("OSTREL_LOD2_ALGORITHM", s.algorithm[1]);
  s.algorithm[2] = Environment::getNumericEnv("OSTREL_LODN_ALGORITHM", s.algorithm[2]);
  s.autoGenerate = Environment::getNumericEnv("OSTREL_LOD_AUTOFLUSH", s.autoGenerate);
  if (hasModeMarker(fileName)) s.algorithm[0] = s.algorithm[1] = s.algorithm[2] = kAllZero;
  if (writable && getDebugLevel() > 0) {
    std::printf("## LOD algorithms %d,%d,%d autoflush %d\n", s.algorithm[0], s.algorithm[1],
                s.algorithm[2], s.autoGenerate);
  }
  return s;
}

LodGenerator::LodGenerator(Access::BrickStore& store, const LodSettings& settings,
                           const HistogramView& hist, const int brickStrides[3],
                           AlignedBuffer* work)
    : store_(store), settings_(settings), hist_(hist), work_(work) {
  for (int a = 0; a < 3; ++a) strides_[a] = brickStrides[a];
}

// Children beyond the survey's edge are absent, not failures.
bool LodGenerator::Inside(const int index[], int dims, int lod) const {
  for (int d = 0; d < dims; ++d) {
    if (index[d] >= store_.GetNumberOfBricks(d, lod)) return false;
  }
  return true;
}

bool LodGenerator::Proceeds(uint8_t dirty, int force) const {
  if (force == kAutomatic) return dirty == 0xFF;
  if (force == kDirty) return dirty != 0;
  return force == kEverything;
}

bool LodGenerator::GenerateLODs(int highest, int force, const int* begin, const int* end,
                                BrickSource& source, Status* status) {
  Func func("Accessor::GenerateLODs", status);
  const FA::FileInfo* info = store_.GetFileInfo(func.statusP());
  if (!info) return false;
  return visitSampleType(
      info->dataType,
      [&](auto tag) {
        using T = typename decltype(tag)::type;
        return GenerateLODsT<T>(highest, force, begin, end, source, func.statusP());
      },
      [&] { return func.setError(Err::UnknownError, info->fileName); });
}

template <typename T>
bool LodGenerator::GenerateLODsT(int highest, int force, const int* begin, const int* end,
                                 BrickSource& source, Status* status) {
  Func func("Accessor::GenerateLODsT", status);
  if (highest == 0 || force == kNothing) return true;
  const int level = getDebugLevel();
  const Access::DirtyMarks* marks = store_.GetDirtyMarks();
  if (!marks) return true;
  if ((force == kAutomatic || force == kDirty) && !marks->bricks.AnyDirty() &&
      !marks->tiles.AnyDirty()) {
    if ((level > 0 && force > 1) || level > 2) {
      std::printf("## GenerateLODsT(max=%d, force=%d): all clean, return.\n", highest, force);
    }
    return true;
  }
  const FA::FileInfo& info = *store_.GetFileInfo(nullptr);
  if (highest < 0 || highest >= info.numberOfLods) highest = info.numberOfLods - 1;
  bool work = false;
  for (int lod = 1; lod <= highest && !work; ++lod) {
    Status probe;
    work = !GenerateLOD_levelN<T>(lod, nullptr, force, begin, end, source, &probe);
  }
  if (!work) {
    if ((level > 0 && force >= 2) || level > 2) {
      std::printf("## GenerateLODsT(max=%d, force=%d): dry run says all ok.\n", highest, force);
    }
    return true;
  }
  AlignedBuffer own;
  AlignedBuffer& buffer = work_ ? *work_ : own;
  if (!buffer.Resize(size_t{9} * static_cast<size_t>(info.GetNumberOfSamplesPerBrick()) *
                     sizeof(T))) {
    return func.setError(Err::OutOfMemory, info.fileName);
  }
  for (int lod = 1; lod <= highest; ++lod) {
    if (!GenerateLOD_levelN<T>(lod, static_cast<T*>(buffer.data()), force, begin, end, source,
                               func.statusP())) {
      return false;
    }
  }
  return true;
}

template <typename T>
bool LodGenerator::GenerateLOD_levelN(int lod, T* work, int force, const int* begin, const int* end,
                                      BrickSource& source, Status* status) {
  Func func("Accessor::GenerateLOD_levelN", status);
  int lo[3], hi[3];
  for (int a = 0; a < 3; ++a) {
    lo[a] = 0;
    hi[a] = store_.GetNumberOfBricks(a, lod);
    if (begin && end) {
      lo[a] = std::max(lo[a], begin[a] >> lod);
      hi[a] = std::min(hi[a], LevelExtent(end[a], lod));
    }
  }
  const int level = getDebugLevel();
  if (level > 3 || (level > 2 && work)) {
    std::printf("## GenerateLOD_levelN(%d, force=%d) (%d,%d,%d)..(%d,%d,%d)%s\n", lod, force, lo[0],
                lo[1], lo[2], hi[0], hi[1], hi[2], work ? "" : " (dry run)");
  }
  // A dry run only asks; it never clears marks.
  const bool clearLevel = work && force >= kDirty;
  Access::DirtyMarks& marks = *store_.GetDirtyMarks();
  if (force == kEverything || marks.bricks.AnyDirty(lod - 1)) {
    if (!GenerateBricks(lod, lo, hi, work, force, source, func)) return false;
    if (clearLevel) marks.bricks.ClearLevel(lod - 1);
  }
  if (force == kEverything || marks.tiles.AnyDirty(lod - 1)) {
    for (int i = lo[0]; i < hi[0]; ++i) {
      for (int j = lo[1]; j < hi[1]; ++j) {
        if (!GenerateLOD_tile(lod, i, j, reinterpret_cast<uint8_t*>(work), force, func.statusP())) {
          return false;
        }
      }
    }
    if (clearLevel) marks.tiles.ClearLevel(lod - 1);
  }
  return true;
}

// The bricks of one level go to the store as one batch, so that they leave
// in large writes; the level above reads none of them before the batch is
// written. When the batch is lost their children are marked again.
template <typename T>
bool LodGenerator::GenerateBricks(int lod, const int lo[3], const int hi[3], T* work, int force,
                                  BrickSource& source, Func& func) {
  const bool batch = work && settings_.batchLevels;
  if (batch) store_.BeginBrickBatch();
  batch_.clear();
  bool ok = true;
  for (int i = lo[0]; i < hi[0] && ok; ++i) {
    for (int j = lo[1]; j < hi[1] && ok; ++j) {
      for (int k = lo[2]; k < hi[2] && ok; ++k) {
        ok = GenerateLOD_brick(lod, i, j, k, work, force, source, func.statusP());
      }
    }
  }
  if (batch && !store_.EndBrickBatch(ok, ok ? func.statusP() : nullptr)) ok = false;
  if (batch && !ok) {
    Access::DirtyBits4& marks = store_.GetDirtyMarks()->bricks;
    for (const Built& b : batch_) {
      marks.Restore(lod - 1, 2 * b.i, 2 * b.j, 2 * b.k, b.taken);
      source.BrickLost(b.i, b.j, b.k, lod);
    }
  }
  batch_.clear();
  return ok;
}

template <typename T>
bool LodGenerator::GenerateLOD_brick(int lod, int i, int j, int k, T* work, int force,
                                     BrickSource& source, Status* status) {
  Func func("Accessor::GenerateLOD_brick", status);
  const FA::FileInfo& info = *store_.GetFileInfo(nullptr);
  Access::DirtyBits4& marks = store_.GetDirtyMarks()->bricks;
  const uint8_t dirty = marks.Get(lod - 1, 2 * i, 2 * j, 2 * k);
  if (!Proceeds(dirty, force)) return true;
  const int algorithm = settings_.ForLevel(lod);
  if (!work) return func.setError(Err::OutOfMemory, info.fileName);
  if (!Halvable(info)) return func.setError(Err::NotImplemented, info.fileName);
  // Until the parent is stored its children stay marked, so that a later
  // request (after a full disk, say) builds it after all.
  const uint8_t taken = marks.TestAndClear(lod - 1, 2 * i, 2 * j, 2 * k);
  const auto fail = [&] {
    marks.Restore(lod - 1, 2 * i, 2 * j, 2 * k, taken);
    return false;
  };
  const size_t samples = static_cast<size_t>(info.GetNumberOfSamplesPerBrick());
  const T* children[8];
  std::shared_ptr<const AlignedBuffer> held[8];  // children read in place stay alive
  bool zero = true;
  const int present =
      FetchChildren(lod, i, j, k, work, children, held, zero, source, func.statusP());
  if (present < 0) return fail();
  if (present == 0) return true;
  if (zero) {
    const uint8_t zeros[8] = {};
    if (!store_.SetBrickAllConst(i, j, k, lod, zeros, func.statusP())) return fail();
    source.BrickBuilt(i, j, k, lod, nullptr);
    return true;
  }
  if (ReplicatesEdges(lod, i, j, k)) {
    // The edge is repeated in place, so children read in place are copied.
    for (int child = 0; child < 8; ++child) {
      T* slot = work + (child + 1) * samples;
      if (children[child] != slot) std::memcpy(slot, children[child], samples * sizeof(T));
      children[child] = slot;
    }
    ReplicateEdges(lod, i, j, k, work + samples);
  }
  if (getDebugLevel() > 1) {
    std::printf("##    %sGenerate LOD%d (%d,%d,%d) (%s) Dirty %02X Hist=%.1lf\n",
                force == kAutomatic ? "AUTO " : "", lod, i, j, k,
                vvArrayBasic::lodAlgorithmName(static_cast<Algorithm>(algorithm)), dirty,
                static_cast<double>(hist_.statCount) * 3.814697265625e-06);
  }
  vvArrayBasic::createLevelOfDetail<T>(work, info.brickSize, strides_, children,
                                       static_cast<Algorithm>(algorithm), hist_.bins,
                                       hist_.binCount, hist_.min, hist_.max);
  // Let go of the children first: the source recycles a buffer only when
  // nobody else holds it, and fresh pages for the next bricks cost more
  // than the decimation.
  for (auto& child : held) child.reset();
  if (!store_.SetBrick(i, j, k, lod, work, func.statusP())) return fail();
  batch_.push_back({i, j, k, taken});
  source.BrickBuilt(i, j, k, lod, work);
  return true;
}

// The eight children of brick (i, j, k) of `lod`, child 4a + 2b + c at
// children[4a + 2b + c]: read in place when the source holds them, else
// fetched into work slot 4a + 2b + c + 1 (an absent child reads as zeros,
// from the slot of the first absent one, and does not count); `held` keeps
// the children read in place alive.
// Returns how many are present, or -1 when one cannot be read; `zero`
// tells whether every present child is all zero.
template <typename T>
int LodGenerator::FetchChildren(int lod, int i, int j, int k, T* work, const T* children[8],
                                std::shared_ptr<const AlignedBuffer> held[8], bool& zero,
                                BrickSource& source, Status* status) {
  Func func("Accessor::GenerateLOD_brick", status);
  const FA::FileInfo& info = *store_.GetFileInfo(nullptr);
  const size_t samples = static_cast<size_t>(info.GetNumberOfSamplesPerBrick());
  const bool allZeroAlgorithm = settings_.ForLevel(lod) == kAllZero;
  const T* zeros = nullptr;
  int present = 0;
  for (int child = 0; child < 8; ++child) {
    T* slot = work + (child + 1) * samples;
    children[child] = slot;
    const int a = child >> 2, b = (child >> 1) & 1, c = child & 1;
    if (allZeroAlgorithm) {
      std::memset(slot, 0, samples * sizeof(T));
      ++present;
      continue;
    }
    const int child3[3] = {2 * i + a, 2 * j + b, 2 * k + c};
    const bool inside = Inside(child3, 3, lod - 1);
    if (inside) held[child] = source.HeldBrick(child3[0], child3[1], child3[2], lod - 1);
    if (held[child]) {
      children[child] = static_cast<const T*>(held[child]->data());
      ++present;
      zero = zero && allZero(children[child], samples);
      continue;
    }
    const int code =
        inside ? source.GetBrick(child3[0], child3[1], child3[2], lod - 1, slot, func.statusP())
               : int{Err::BrickNotFound};
    if (code == 0) {
      ++present;
      zero = zero && allZero(slot, samples);
    } else if (code == Err::BrickNotFound) {
      func.setSuccess();
      // An absent child reads as zeros; the absent ones share one slot,
      // which spares zeroing (and first touching) the others.
      if (!zeros) {
        std::memset(slot, 0, samples * sizeof(T));
        zeros = slot;
      }
      children[child] = zeros;
    } else {
      return -1;  // a child that cannot be read is not an absent one
    }
  }
  return present;
}

// Whether brick `index` of `lod` is the last along axis d and the last
// valid plane of the level below, at `plane` in the children on `side`,
// ends before their brick does.
bool LodGenerator::EdgeAlong(int lod, int d, int index, int& side, int& plane) const {
  if (index != store_.GetNumberOfBricks(d, lod) - 1) return false;
  const int b = store_.GetFileInfo(nullptr)->brickSize[d];
  const int r = (LevelExtent(store_.GetDataInfo(nullptr)->size[d], lod - 1) - 1) % (2 * b);
  side = r < b ? 0 : 1;
  plane = r % b;
  return plane < b - 1;
}

bool LodGenerator::ReplicatesEdges(int lod, int i, int j, int k) const {
  int side = 0, plane = 0;
  return EdgeAlong(lod, 0, i, side, plane) || EdgeAlong(lod, 1, j, side, plane) ||
         EdgeAlong(lod, 2, k, side, plane);
}

// Repeats the last valid plane of the level below to the end of its brick
// along every axis on which the output brick is the last of its level, so
// that samples beyond the survey do not pull the edge toward zero.
template <typename T>
void LodGenerator::ReplicateEdges(int lod, int i, int j, int k, T* children) const {
  const FA::FileInfo& info = *store_.GetFileInfo(nullptr);
  const int index[3] = {i, j, k};
  const size_t samples = static_cast<size_t>(info.GetNumberOfSamplesPerBrick());
  for (int d = 0; d < 3; ++d) {
    int side = 0, p = 0;
    if (!EdgeAlong(lod, d, index[d], side, p)) continue;
    const int b = info.brickSize[d];
    int n[3] = {info.brickSize[0], info.brickSize[1], info.brickSize[2]};
    for (int child = 0; child < 8; ++child) {
      if (((child >> (2 - d)) & 1) != side) continue;
      T* base = children + child * samples;
      n[d] = 1;
      for (int plane = p + 1; plane < b; ++plane) {
        for (int u = 0; u < n[0]; ++u) {
          for (int v = 0; v < n[1]; ++v) {
            for (int w = 0; w < n[2]; ++w) {
              const int64_t at = int64_t{u} * strides_[0] + int64_t{v} * strides_[1] +
                                 int64_t{w} * strides_[2] + int64_t{plane} * strides_[d];
              base[at] = base[at - strides_[d]];
            }
          }
        }
      }
      n[d] = info.brickSize[d];
    }
  }
}

bool LodGenerator::GenerateLOD_tile(int lod, int ti, int tj, uint8_t* work, int force,
                                    Status* status) {
  Func func("Accessor::GenerateLOD_tile", status);
  const FA::FileInfo& info = *store_.GetFileInfo(nullptr);
  Access::DirtyBits4& marks = store_.GetDirtyMarks()->tiles;
  const uint8_t dirty = marks.Get(lod - 1, 2 * ti, 2 * tj, 0);
  if (!Proceeds(dirty, force)) return true;
  if (!work) return func.setError(Err::OutOfMemory, info.fileName);
  if (!Halvable(info)) return func.setError(Err::NotImplemented, info.fileName);
  const uint8_t taken = marks.TestAndClear(lod - 1, 2 * ti, 2 * tj, 0);
  const auto fail = [&] {
    marks.Restore(lod - 1, 2 * ti, 2 * tj, 0, taken);
    return false;
  };
  const int b0 = info.brickSize[0], b1 = info.brickSize[1];
  const size_t tileBytes = static_cast<size_t>(b0) * b1;
  int present = 0;
  for (int child = 0; child < 4; ++child) {
    uint8_t* slot = work + (child + 1) * tileBytes;
    const int child2[2] = {2 * ti + (child >> 1), 2 * tj + (child & 1)};
    if (Inside(child2, 2, lod - 1) &&
        store_.GetGridFlagsTile(child2[0], child2[1], lod - 1, slot, nullptr, func.statusP())) {
      ++present;
    } else if (!Inside(child2, 2, lod - 1) || func.tyqError() == Err::BrickNotFound) {
      func.setSuccess();
      std::memset(slot, 0, tileBytes);
    } else {
      return fail();
    }
  }
  if (present == 0) return true;
  if (getDebugLevel() > 1) {
    std::printf("##    %sGenerate ALPHA%d (%d,%d) Dirty %02X\n", force == kAutomatic ? "AUTO " : "",
                lod, ti, tj, dirty);
  }
  int a[2] = {b1, 1};
  FlagStrides(info.storageOrder, b0, b1, a);
  for (int child = 0; child < 4; ++child) {
    const uint8_t* in = work + (child + 1) * tileBytes;
    const int qa = child >> 1, qb = child & 1;
    for (int x = 0; x < b0 / 2; ++x) {
      for (int y = 0; y < b1 / 2; ++y) {
        const int64_t s = int64_t{2 * x} * a[0] + int64_t{2 * y} * a[1];
        const bool live = in[s] | in[s + a[0]] | in[s + a[1]] | in[s + a[0] + a[1]];
        work[int64_t{qa * b0 / 2 + x} * a[0] + int64_t{qb * b1 / 2 + y} * a[1]] = live ? 1 : 0;
      }
    }
  }
  return store_.SetGridFlagsTile(ti, tj, lod, work, func.statusP()) || fail();
}

}  // namespace Qra::Ostrel::Tyq::Private::Lod
