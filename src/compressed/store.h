#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "access/brick_store.h"
#include "compressed/brick_cache.h"
#include "compressed/file_adt.h"
#include "compressed/format.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {

// The compressed file as the accessor core sees it: bricks travel as float
// samples (axis 0 fastest) and are coded and decoded here, outside the file
// object's lock, each call with its own compressor. Bricks are read whole,
// written once, and levels of detail arrive as explicit writes.
class Store final : public Access::BrickStore {
 public:
  Store(std::unique_ptr<CompressedFileADT> file, const std::string& name, int64_t cacheBytes);
  ~Store() override;

  const FileInfo* GetFileInfo(Status* status) const override { return file_->GetFileInfo(status); }
  const DataInfo* GetDataInfo(Status* status) const override { return file_->GetDataInfo(status); }
  const Histogram* GetDataHist(Status* status) const override { return file_->GetDataHist(status); }
  bool SetDataInfo(const DataInfo& info, Status* status) override {
    return file_->SetDataInfo(info, status);
  }
  bool SetDataHist(int64_t count, double min, double max, const int64_t* bins,
                   Status* status) override {
    return file_->SetDataHist(count, min, max, bins, status);
  }
  bool SetDataStats(int64_t count, double sum, double sumOfSquares, double min, double max,
                    Status* status) override {
    return file_->SetDataStats(count, sum, sumOfSquares, min, max, status);
  }
  bool IsWritable() const override { return file_->IsWritable(); }
  int32_t GetSampleSize() const override { return 4; }
  int32_t GetNumberOfBricks(int axis, int level) const override;
  const std::string& GetStoreName() const override { return name_; }

  bool GetBrick(int32_t i, int32_t j, int32_t k, int level, void* buffer, Status* status) override;
  bool GetBrickPart(int32_t i, int32_t j, int32_t k, int level, void* buffer,
                    const Access::BrickReadHint& hint, Status* status) override;
  Holding PeekBrick(int32_t i, int32_t j, int32_t k, int level, void* constant) override;
  bool LendBrick(int32_t i, int32_t j, int32_t k, int level, int64_t requestBricks, LentBrick& out,
                 Status* status) override;
  bool SetBrick(int32_t i, int32_t j, int32_t k, int level, const void* data,
                Status* status) override;
  bool SetBrickAllConst(int32_t i, int32_t j, int32_t k, int level, const void* value,
                        Status* status) override;
  bool GetGridFlagsTile(int32_t i, int32_t j, int level, uint8_t* buffer, bool* isConstant,
                        Status* status) override;
  bool SetGridFlagsTile(int32_t i, int32_t j, int level, const uint8_t* flags,
                        Status* status) override;
  bool SetGridFlagsTileAllConst(int32_t i, int32_t j, int level, uint8_t value,
                                Status* status) override;
  bool GetDataBrickPos(long long* out, int level, int32_t i0, int32_t j0, int32_t k0, int32_t ni,
                       int32_t nj, int32_t nk, Status* status) override {
    return file_->GetDataBrickPos(out, level, i0, j0, k0, ni, nj, nk, status);
  }
  bool GetGridFlagsTilePos(long long* out, int level, int32_t i0, int32_t j0, int32_t ni,
                           int32_t nj, Status* status) override {
    return file_->GetGridFlagsTilePos(out, level, i0, j0, ni, nj, status);
  }
  Access::DirtyMarks* GetDirtyMarks() override { return nullptr; }
  bool Flush(bool newIdentity, Status* status) override;
  bool Finalize(bool newIdentity, Status* status) override;
  bool Discard(Status* status) override;
  bool Reload(int32_t version, Status* status) override;

  // Brick buffers made by the decoded-brick cache (recycled ones not
  // counted again).
  int64_t CacheBuffersMade() const { return cache_.BuffersMade(); }
  // Bricks decoded so far (constant ones not counted).
  int64_t BricksDecoded() const { return decoded_.load(std::memory_order_relaxed); }

  // The target quality of a brick of `level`: lowered above level 0.
  static float LevelSqnr(float sqnr, int level);

 private:
  using Tile = std::shared_ptr<const std::vector<uint8_t>>;

  // The decoded tile of a column (cached); null when the file holds none.
  bool FindTile(int32_t i, int32_t j, int level, Tile& tile, AlphaTile::Kind& kind, Func& func);
  bool StoreTile(int32_t i, int32_t j, int level, const uint8_t* flags, Func& func);
  bool DecodeBrick(int32_t i, int32_t j, int32_t k, int level, const uint8_t* flags, float* out,
                   Func& func);
  // The brick's flag tile: false on failure; `dead` when every trace of
  // its column is dead, `flags` the tile when the column is mixed.
  bool ColumnFlags(int32_t i, int32_t j, int level, Tile& tile, const uint8_t*& flags, bool& dead,
                   Func& func);
  void ValidSize(int32_t i, int32_t j, int32_t k, int level, int valid[3]) const;
  int64_t CacheKey(int32_t i, int32_t j, int32_t k, int level) const;

  std::unique_ptr<CompressedFileADT> file_;
  std::string name_;
  LevelGeometry geometry_;
  BrickCache cache_;
  struct TileEntry {
    Tile flags;
    AlphaTile::Kind kind;
  };
  std::unordered_map<int64_t, TileEntry> tiles_;
  std::mutex tileLock_;
  std::atomic<int64_t> decoded_{0};
};

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
