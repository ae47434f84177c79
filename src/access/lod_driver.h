#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/aligned_buffer.h"

#include "tyq/records.h"
#include "tyq/status.h"

namespace Qra::Ostrel::Tyq::Private {

namespace Access {
class BrickStore;
}

namespace Lod {

// Which decimation algorithm builds each level, and whether levels are
// rebuilt automatically after writes (0 off, negative all levels, else the
// highest level to rebuild).
struct LodSettings {
  int algorithm[3] = {0, 1, 1};  // level 1, level 2, levels above
  int autoGenerate = -1;
  // Whether the bricks of a level go to the store as one batch.
  bool batchLevels = true;

  int ForLevel(int level) const { return algorithm[level <= 1 ? 0 : (level == 2 ? 1 : 2)]; }
};

// Options first, then the environment; the file-name markers that select
// file modes also make every level all zero.
LodSettings ChooseLodSettings(const FileAccess::TyqOptions& options, const std::string& fileName,
                              bool writable);

// Delivers one brick of a level in the stored sample type; 0 or an error code.
class BrickSource {
 public:
  virtual ~BrickSource() = default;
  virtual int GetBrick(int i, int j, int k, int lod, void* buffer, Status* status) = 0;
  // The same brick when it is held in memory exactly as stored, else null;
  // the driver then reads it in place instead of fetching a copy.
  virtual std::shared_ptr<const AlignedBuffer> HeldBrick(int i, int j, int k, int lod) {
    (void)i, (void)j, (void)k, (void)lod;
    return nullptr;
  }
  // Told when the driver has stored brick (i, j, k) of `lod` from its
  // children: `samples` as stored, or null for an all-zero brick.
  virtual void BrickBuilt(int i, int j, int k, int lod, const void* samples) {
    (void)i, (void)j, (void)k, (void)lod, (void)samples;
  }
  // Told when a brick reported built could not be written after all.
  virtual void BrickLost(int i, int j, int k, int lod) { (void)i, (void)j, (void)k, (void)lod; }
};

// The histogram the weighted decimation reads, and the sample count traced.
struct HistogramView {
  const long long* bins = nullptr;
  int binCount = 0;
  double min = 0.0;
  double max = 0.0;
  int64_t statCount = 0;
};

// Force levels of a generation request.
enum Force : int {
  kNothing = 0,
  kAutomatic = 1,   // only bricks whose every child was written; level marks stay
  kDirty = 2,       // every brick with a written child; level marks cleared
  kEverything = 3,  // every brick of the range; level marks cleared
};

// Rebuilds the levels of detail of a store from the level below, bottom up,
// driven by the store's dirty marks (a store without marks has nothing to
// rebuild). One generator runs at a time per store; writers may keep
// marking meanwhile.
class LodGenerator {
 public:
  // `work`, when given, is the nine-brick work buffer, kept by the caller
  // from one request to the next; else each request allocates its own.
  LodGenerator(Access::BrickStore& store, const LodSettings& settings, const HistogramView& hist,
               const int brickStrides[3], AlignedBuffer* work = nullptr);

  // `begin`/`end` bound the region in level-0 bricks; null for everything.
  bool GenerateLODs(int highest, int force, const int* begin, const int* end, BrickSource& source,
                    Status* status);

 private:
  template <typename T>
  bool GenerateLODsT(int highest, int force, const int* begin, const int* end, BrickSource& source,
                     Status* status);
  template <typename T>
  bool GenerateLOD_levelN(int level, T* work, int force, const int* begin, const int* end,
                          BrickSource& source, Status* status);
  template <typename T>
  bool GenerateLOD_brick(int level, int i, int j, int k, T* work, int force, BrickSource& source,
                         Status* status);
  bool GenerateLOD_tile(int level, int ti, int tj, uint8_t* work, int force, Status* status);
  template <typename T>
  int FetchChildren(int level, int i, int j, int k, T* work, const T* children[8],
                    std::shared_ptr<const AlignedBuffer> held[8], bool& zero, BrickSource& source,
                    Status* status);
  template <typename T>
  void ReplicateEdges(int level, int i, int j, int k, T* children) const;
  bool EdgeAlong(int level, int d, int index, int& side, int& plane) const;
  bool ReplicatesEdges(int level, int i, int j, int k) const;
  bool Proceeds(uint8_t dirty, int force) const;
  template <typename T>
  bool GenerateBricks(int level, const int lo[3], const int hi[3], T* work, int force,
                      BrickSource& source, Func& func);
  bool Inside(const int index[], int dims, int lod) const;

  Access::BrickStore& store_;
  LodSettings settings_;
  HistogramView hist_;
  int strides_[3];
  AlignedBuffer* work_;
  // Bricks of the level in progress stored into a batch, with the dirty
  // byte their children had, to be marked again if the batch is lost.
  struct Built {
    int i, j, k;
    uint8_t taken;
  };
  std::vector<Built> batch_;
};

}  // namespace Lod
}  // namespace Qra::Ostrel::Tyq::Private
