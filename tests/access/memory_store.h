#pragma once

// A brick store held in memory, for driving the accessor core and the
// level-of-detail driver without any file format. It counts what it is
// asked, so tests can see which store operations a request turned into.
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "access/brick_store.h"

namespace tyq_test {

namespace Access = Qra::Ostrel::Tyq::Private::Access;
using Qra::Ostrel::Tyq::Private::Status;

struct MemoryStoreShape {
  int size[3] = {40, 24, 20};
  int brick[3] = {8, 8, 8};
  int dataType = 6;  // float
  float valueMin = -100.0f;
  float valueMax = 100.0f;
  int storageOrder = 0;
  bool writable = true;
  bool dirtyMarks = true;
};

class MemoryStore final : public Access::BrickStore {
 public:
  explicit MemoryStore(const MemoryStoreShape& shape);

  const FileInfo* GetFileInfo(Status* status) const override;
  const DataInfo* GetDataInfo(Status* status) const override;
  const Histogram* GetDataHist(Status* status) const override;
  bool SetDataInfo(const DataInfo& info, Status* status) override;
  bool SetDataHist(int64_t count, double min, double max, const int64_t* bins,
                   Status* status) override;
  bool SetDataStats(int64_t count, double sum, double sumOfSquares, double min, double max,
                    Status* status) override;
  bool IsWritable() const override { return shape_.writable; }
  int32_t GetSampleSize() const override { return sampleSize_; }
  int32_t GetNumberOfBricks(int axis, int level) const override;
  const std::string& GetStoreName() const override { return info_.fileName; }
  bool GetBrick(int32_t i, int32_t j, int32_t k, int level, void* buffer, Status* status) override;
  bool GetBrickPart(int32_t i, int32_t j, int32_t k, int level, void* buffer,
                    const Access::BrickReadHint& hint, Status* status) override;
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
                       int32_t nj, int32_t nk, Status* status) override;
  bool GetGridFlagsTilePos(long long* out, int level, int32_t i0, int32_t j0, int32_t ni,
                           int32_t nj, Status* status) override;
  Access::DirtyMarks* GetDirtyMarks() override { return shape_.dirtyMarks ? &marks_ : nullptr; }
  bool Flush(bool newIdentity, Status* status) override;
  bool Finalize(bool newIdentity, Status* status) override;
  bool Discard(Status* status) override;
  bool Reload(int32_t version, Status* status) override;

  // What the store holds of one brick: 0 absent, 1 constant, 2 stored.
  int BrickKind(int i, int j, int k, int level) const;
  // One stored or constant brick's samples as floats (float stores only).
  std::vector<float> BrickFloats(int i, int j, int k, int level) const;

  std::atomic<int> stored{0};     // SetBrick calls
  std::atomic<int> constants{0};  // SetBrickAllConst calls
  std::atomic<int> partReads{0};  // GetBrickPart calls that may skip samples
  std::atomic<int> flushes{0};
  std::atomic<int> finalizes{0};

 private:
  struct Block {
    bool constant = false;
    std::vector<uint8_t> bytes;  // one sample when constant
  };
  using Key = std::tuple<int, int, int, int>;

  bool Inside(int i, int j, int k, int level) const;
  bool Fetch(const std::map<Key, Block>& blocks, const Key& key, size_t bytes, void* buffer,
             bool* isConstant, Status* status) const;
  bool Put(std::map<Key, Block>& blocks, const Key& key, Block block, Access::DirtyBits4& marks,
           Status* status);

  MemoryStoreShape shape_;
  int32_t sampleSize_ = 4;
  FileInfo info_;
  DataInfo data_;
  Histogram hist_;
  mutable std::mutex lock_;
  std::map<Key, Block> bricks_;
  std::map<Key, Block> tiles_;
  Access::DirtyMarks marks_;
};

}  // namespace tyq_test
