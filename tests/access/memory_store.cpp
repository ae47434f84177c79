#include "access/memory_store.h"

#include <cstring>
#include <tuple>

#include "tyq/brick_geometry.h"

namespace tyq_test {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Err = FA::Error;
using Qra::Ostrel::Tyq::Private::Func;
using Qra::Ostrel::Tyq::Private::LevelExtent;

MemoryStore::MemoryStore(const MemoryStoreShape& shape) : shape_(shape) {
  sampleSize_ = FA::DataTypeEnum::Size(static_cast<FA::DataTypeEnum::value_type>(shape.dataType));
  info_.fileName = "memory";
  info_.formatName = "Memory";
  int largest = 1;
  for (int a = 0; a < 3; ++a) {
    info_.brickSize[a] = shape.brick[a];
    info_.brickCount[a] = (shape.size[a] + shape.brick[a] - 1) / shape.brick[a];
    largest = std::max(largest, info_.brickCount[a]);
  }
  info_.numberOfLods = 1;
  while ((1 << (info_.numberOfLods - 1)) < largest) ++info_.numberOfLods;
  info_.storageOrder = static_cast<FA::StorageOrderEnum::value_type>(shape.storageOrder);
  info_.dataType = static_cast<FA::DataTypeEnum::value_type>(shape.dataType);
  info_.valueMin = shape.valueMin;
  info_.valueMax = shape.valueMax;
  data_.SetExtent(0, 1, shape.size[0], 0, 1, shape.size[1], 0, 1, shape.size[2], false);
  hist_.min = shape.valueMin;
  hist_.max = shape.valueMax;
  if (shape.dirtyMarks) {
    marks_.bricks.Reset(info_.numberOfLods, info_.brickCount[0], info_.brickCount[1],
                        info_.brickCount[2]);
    marks_.tiles.Reset(info_.numberOfLods, info_.brickCount[0], info_.brickCount[1], 1);
  }
}

const FA::FileInfo* MemoryStore::GetFileInfo(Status*) const {
  return &info_;
}
const FA::DataInfo* MemoryStore::GetDataInfo(Status*) const {
  return &data_;
}
const FA::Histogram* MemoryStore::GetDataHist(Status*) const {
  return &hist_;
}

bool MemoryStore::SetDataInfo(const DataInfo& info, Status*) {
  data_ = info;
  return true;
}

bool MemoryStore::SetDataHist(int64_t count, double min, double max, const int64_t* bins, Status*) {
  hist_.count = count;
  hist_.min = static_cast<float>(min);
  hist_.max = static_cast<float>(max);
  std::copy(bins, bins + 256, hist_.bins);
  return true;
}

bool MemoryStore::SetDataStats(int64_t count, double sum, double sumOfSquares, double min,
                               double max, Status*) {
  data_.SetStatistics(count, sum, sumOfSquares, static_cast<float>(min), static_cast<float>(max));
  return true;
}

int32_t MemoryStore::GetNumberOfBricks(int axis, int level) const {
  return LevelExtent(info_.brickCount[axis], level);
}

bool MemoryStore::Inside(int i, int j, int k, int level) const {
  const int index[3] = {i, j, k};
  for (int a = 0; a < 3; ++a) {
    if (index[a] < 0 || index[a] >= GetNumberOfBricks(a, level)) return false;
  }
  return level >= 0 && level < info_.numberOfLods;
}

bool MemoryStore::Fetch(const std::map<Key, Block>& blocks, const Key& key, size_t bytes,
                        void* buffer, bool* isConstant, Status* status) const {
  Func func("MemoryStore::Fetch", status);
  std::lock_guard<std::mutex> hold(lock_);
  const auto found = blocks.find(key);
  if (found == blocks.end()) return func.setError(Err::BrickNotFound, info_.fileName);
  const Block& block = found->second;
  if (isConstant) *isConstant = block.constant;
  if (!block.constant) {
    std::memcpy(buffer, block.bytes.data(), bytes);
    return true;
  }
  const size_t size = block.bytes.size();
  for (size_t at = 0; at < bytes; at += size) {
    std::memcpy(static_cast<uint8_t*>(buffer) + at, block.bytes.data(), size);
  }
  return true;
}

bool MemoryStore::Put(std::map<Key, Block>& blocks, const Key& key, Block block,
                      Access::DirtyBits4& marks, Status* status) {
  Func func("MemoryStore::Put", status);
  if (!shape_.writable) return func.setError(Err::ReadOnly, info_.fileName);
  const auto [i, j, k, level] = key;
  if (!Inside(i, j, k, level)) return func.setError(Err::InvalidArgument, info_.fileName);
  std::lock_guard<std::mutex> hold(lock_);
  blocks[key] = std::move(block);
  if (shape_.dirtyMarks) marks.Mark(level, i, j, k);
  return true;
}

bool MemoryStore::GetBrick(int32_t i, int32_t j, int32_t k, int level, void* buffer,
                           Status* status) {
  const size_t bytes = static_cast<size_t>(info_.GetNumberOfBytesPerBrick());
  return Fetch(bricks_, Key{i, j, k, level}, bytes, buffer, nullptr, status);
}

bool MemoryStore::GetBrickPart(int32_t i, int32_t j, int32_t k, int level, void* buffer,
                               const Access::BrickReadHint& hint, Status* status) {
  if (hint.skipBefore > 0 || hint.skipAfter > 0) ++partReads;
  return GetBrick(i, j, k, level, buffer, status);
}

bool MemoryStore::SetBrick(int32_t i, int32_t j, int32_t k, int level, const void* data,
                           Status* status) {
  ++stored;
  const auto* bytes = static_cast<const uint8_t*>(data);
  Block block{false, std::vector<uint8_t>(bytes, bytes + info_.GetNumberOfBytesPerBrick())};
  return Put(bricks_, Key{i, j, k, level}, std::move(block), marks_.bricks, status);
}

bool MemoryStore::SetBrickAllConst(int32_t i, int32_t j, int32_t k, int level, const void* value,
                                   Status* status) {
  ++constants;
  const auto* bytes = static_cast<const uint8_t*>(value);
  Block block{true, std::vector<uint8_t>(bytes, bytes + sampleSize_)};
  return Put(bricks_, Key{i, j, k, level}, std::move(block), marks_.bricks, status);
}

bool MemoryStore::GetGridFlagsTile(int32_t i, int32_t j, int level, uint8_t* buffer,
                                   bool* isConstant, Status* status) {
  const size_t bytes = static_cast<size_t>(info_.GetNumberOfSamplesPerHorzTile());
  return Fetch(tiles_, Key{i, j, 0, level}, bytes, buffer, isConstant, status);
}

bool MemoryStore::SetGridFlagsTile(int32_t i, int32_t j, int level, const uint8_t* flags,
                                   Status* status) {
  Block block{false, std::vector<uint8_t>(flags, flags + info_.GetNumberOfSamplesPerHorzTile())};
  return Put(tiles_, Key{i, j, 0, level}, std::move(block), marks_.tiles, status);
}

bool MemoryStore::SetGridFlagsTileAllConst(int32_t i, int32_t j, int level, uint8_t value,
                                           Status* status) {
  return Put(tiles_, Key{i, j, 0, level}, Block{true, {value}}, marks_.tiles, status);
}

bool MemoryStore::GetDataBrickPos(long long* out, int level, int32_t i0, int32_t j0, int32_t k0,
                                  int32_t ni, int32_t nj, int32_t nk, Status*) {
  for (int32_t i = 0; i < ni; ++i) {
    for (int32_t j = 0; j < nj; ++j) {
      for (int32_t k = 0; k < nk; ++k) {
        const int kind = BrickKind(i0 + i, j0 + j, k0 + k, level);
        *out++ = kind == 2 ? 4096 : kind;
      }
    }
  }
  return true;
}

bool MemoryStore::GetGridFlagsTilePos(long long* out, int level, int32_t i0, int32_t j0, int32_t ni,
                                      int32_t nj, Status*) {
  std::lock_guard<std::mutex> hold(lock_);
  for (int32_t i = 0; i < ni; ++i) {
    for (int32_t j = 0; j < nj; ++j) {
      const auto found = tiles_.find(Key{i0 + i, j0 + j, 0, level});
      *out++ = found == tiles_.end() ? 0 : found->second.constant ? 1 : 4096;
    }
  }
  return true;
}

bool MemoryStore::Flush(bool, Status*) {
  ++flushes;
  return true;
}

bool MemoryStore::Finalize(bool, Status*) {
  ++finalizes;
  shape_.writable = false;
  return true;
}

bool MemoryStore::Discard(Status*) {
  return true;
}
bool MemoryStore::Reload(int32_t, Status*) {
  return true;
}

int MemoryStore::BrickKind(int i, int j, int k, int level) const {
  std::lock_guard<std::mutex> hold(lock_);
  const auto found = bricks_.find(Key{i, j, k, level});
  if (found == bricks_.end()) return 0;
  return found->second.constant ? 1 : 2;
}

std::vector<float> MemoryStore::BrickFloats(int i, int j, int k, int level) const {
  std::vector<float> samples(static_cast<size_t>(info_.GetNumberOfSamplesPerBrick()));
  Status status;
  Fetch(bricks_, Key{i, j, k, level}, samples.size() * sizeof(float), samples.data(), nullptr,
        &status);
  return samples;
}

}  // namespace tyq_test
