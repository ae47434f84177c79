#pragma once

// What the accessor core and the level-of-detail driver need of a volume
// format: its records, single bricks and flag tiles by index, statistics and
// the life cycle of the file. Each format (uncompressed, compressed) is one
// implementation; a test keeps one in memory.
#include <cstdint>
#include <memory>
#include <string>

#include "access/dirty_bits.h"
#include "tyq/records.h"
#include "tyq/status.h"

namespace Qra::Ostrel::Tyq::Private::Access {

// The part of a brick a reader needs, in samples of the brick's storage
// order: the first `skipBefore` and the last `skipAfter` may be left
// unread. A format that reads bricks whole ignores it.
struct BrickReadHint {
  int64_t skipBefore = 0;
  int64_t skipAfter = 0;
};

// Bricks travel in the stored sample type, laid out in the file's storage
// order (GetFileInfo()->storageOrder). Flag tiles travel as one byte per
// trace of a brick column (non-zero meaning live) laid out as FlagStrides
// gives for that order; each format converts to its own order on disk.
//
// Threads: the brick and tile operations may be called from several threads
// at once for different bricks and tiles. Records, statistics, flush,
// finalize, discard and reload belong to one thread while no other call runs.
class BrickStore {
 public:
  using FileInfo = FileAccess::FileInfo;
  using DataInfo = FileAccess::DataInfo;
  using Histogram = FileAccess::Histogram;

  BrickStore() = default;
  BrickStore(const BrickStore&) = delete;
  BrickStore& operator=(const BrickStore&) = delete;
  virtual ~BrickStore() = default;

  // Records, valid while the store is open.
  virtual const FileInfo* GetFileInfo(Status* status) const = 0;
  virtual const DataInfo* GetDataInfo(Status* status) const = 0;
  virtual const Histogram* GetDataHist(Status* status) const = 0;
  virtual bool SetDataInfo(const DataInfo& info, Status* status) = 0;
  virtual bool SetDataHist(int64_t count, double min, double max, const int64_t* bins,
                           Status* status) = 0;
  virtual bool SetDataStats(int64_t count, double sum, double sumOfSquares, double min, double max,
                            Status* status) = 0;

  virtual bool IsWritable() const = 0;
  // Bytes of one stored sample.
  virtual int32_t GetSampleSize() const = 0;
  virtual int32_t GetNumberOfBricks(int axis, int level) const = 0;
  // The name the file was opened under (file-name markers steer options).
  virtual const std::string& GetStoreName() const = 0;

  // One whole brick; an absent brick fails with "brick not found" and
  // leaves `buffer` alone; a constant brick is expanded.
  virtual bool GetBrick(int32_t i, int32_t j, int32_t k, int level, void* buffer,
                        Status* status) = 0;
  // The same where only part of the brick is needed (see BrickReadHint).
  virtual bool GetBrickPart(int32_t i, int32_t j, int32_t k, int level, void* buffer,
                            const BrickReadHint& hint, Status* status) = 0;
  // The same read into a buffer that holds only the samples the hint asks
  // for: samples [skipBefore, total - skipAfter) of the brick go to the
  // start of `window`. The default reads the whole brick into a scratch
  // buffer; a format that can read part of a brick should do better.
  virtual bool GetBrickWindow(int32_t i, int32_t j, int32_t k, int level, void* window,
                              const BrickReadHint& hint, Status* status);
  // How a brick is held, found without reading it, so that a reader can
  // fill its box from a constant or absent brick without expanding it. A
  // constant's one sample goes to `constant` (GetSampleSize bytes). A store
  // that cannot tell answers Stored; so does one asked outside its bricks.
  enum class Holding { Absent, Constant, Stored };
  virtual Holding PeekBrick(int32_t i, int32_t j, int32_t k, int level, void* constant) {
    (void)i, (void)j, (void)k, (void)level, (void)constant;
    return Holding::Stored;
  }
  // PeekBrick that also says where a stored brick's samples can be read in
  // place: `mapped` receives its first byte in a read-only mapping of the
  // file (laid out as GetBrick delivers it), or null when the brick must be
  // read by transfer. Mapped bytes are read under GuardedRead, as the file
  // may shrink beneath the mapping.
  virtual Holding LocateBrick(int32_t i, int32_t j, int32_t k, int level, void* constant,
                              const void** mapped) {
    *mapped = nullptr;
    return PeekBrick(i, j, k, level, constant);
  }
  // A decoded brick lent to a reader: its samples stay valid while `hold`
  // lives. The store picks their layout (sample (i, j, k) at i * strides[0]
  // + j * strides[1] + k * strides[2]), which need not be the file's.
  struct LentBrick {
    const void* samples = nullptr;
    std::shared_ptr<const void> hold;
    int strides[3] = {0, 0, 0};
  };
  // Lends a stored brick without copying it, from a store that decodes
  // bricks and keeps them. `requestBricks` is the number of bricks the
  // reader's request touches: the store keeps a brick it decodes for this
  // call only when the request is small beside what it keeps. A store that
  // cannot lend succeeds and leaves `out` empty; an absent brick fails with
  // "brick not found".
  virtual bool LendBrick(int32_t i, int32_t j, int32_t k, int level, int64_t requestBricks,
                         LentBrick& out, Status* status) {
    (void)i, (void)j, (void)k, (void)level, (void)requestBricks, (void)status;
    out = LentBrick{};
    return true;
  }
  virtual bool SetBrick(int32_t i, int32_t j, int32_t k, int level, const void* data,
                        Status* status) = 0;
  // New bricks this thread stores from now on (SetBrick) may be held back
  // and written together, in as few large writes as their places in the
  // file allow, until EndBrickBatch. Held-back bricks read as absent until
  // then. A format that writes every brick at once ignores this.
  virtual void BeginBrickBatch() {}
  // Writes the held-back bricks (or drops them when `write` is false); when
  // they cannot be written they stay absent and the call fails.
  virtual bool EndBrickBatch(bool write, Status* status) {
    (void)write, (void)status;
    return true;
  }
  // Every sample equal to the one sample at `value` (GetSampleSize bytes).
  virtual bool SetBrickAllConst(int32_t i, int32_t j, int32_t k, int level, const void* value,
                                Status* status) = 0;

  // One flag tile, always expanded; `isConstant` (may be null) tells
  // whether the store holds it as one value. Absent: "brick not found".
  virtual bool GetGridFlagsTile(int32_t i, int32_t j, int level, uint8_t* buffer, bool* isConstant,
                                Status* status) = 0;
  virtual bool SetGridFlagsTile(int32_t i, int32_t j, int level, const uint8_t* flags,
                                Status* status) = 0;
  virtual bool SetGridFlagsTileAllConst(int32_t i, int32_t j, int level, uint8_t value,
                                        Status* status) = 0;

  // Positions of stored bricks and tiles (1 for a constant, 0 for absent or
  // out of range), i outermost and k innermost.
  virtual bool GetDataBrickPos(long long* out, int level, int32_t i0, int32_t j0, int32_t k0,
                               int32_t ni, int32_t nj, int32_t nk, Status* status) = 0;
  virtual bool GetGridFlagsTilePos(long long* out, int level, int32_t i0, int32_t j0, int32_t ni,
                                   int32_t nj, Status* status) = 0;

  // The marks of bricks and tiles written since their parents were last
  // rebuilt; null for a store whose levels of detail are written explicitly.
  virtual DirtyMarks* GetDirtyMarks() = 0;

  virtual bool Flush(bool newIdentity, Status* status) = 0;
  virtual bool Finalize(bool newIdentity, Status* status) = 0;
  virtual bool Discard(Status* status) = 0;
  // Reads the records and tables again from the file.
  virtual bool Reload(int32_t version, Status* status) = 0;
};

}  // namespace Qra::Ostrel::Tyq::Private::Access
