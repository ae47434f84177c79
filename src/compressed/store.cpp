// Coding and decoding single bricks and flag tiles between the accessor
// core and the compressed file object.
#include "compressed/store.h"

#include <algorithm>
#include <cstring>

#include "access/strided_copy.h"
#include "tyq/compressor3d.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {

using Err = FileAccess::Error;

namespace {

constexpr int kSamples = kBrick * kBrick * kBrick;

// Working memory of the codec is large; each thread keeps one.
Compressor3d& threadCompressor() {
  thread_local Compressor3d compressor;
  return compressor;
}

// Bricks are decoded in the file's order, inline fastest. The cache keeps
// them sample fastest instead: readers mostly ask for trace order, and an
// inline or crossline then copies whole rows out of a cached brick where
// the file's order would touch one cache line per sample.
constexpr int kFileStrides[3] = {1, kBrick, kBrick* kBrick};
constexpr int kCacheStrides[3] = {kBrick * kBrick, kBrick, 1};
constexpr int kBrickSize[3] = {kBrick, kBrick, kBrick};

void ToCacheOrder(float* cached, const float* decoded) {
  Access::CopyBox(cached, kCacheStrides, decoded, kFileStrides, kBrickSize);
}

void FromCacheOrder(float* out, const float* cached) {
  Access::CopyBox(out, kFileStrides, cached, kCacheStrides, kBrickSize);
}

// Where a brick is decoded before it is reordered into the cache.
float* threadBrick() {
  thread_local std::unique_ptr<float[]> brick(new float[kSamples]);
  return brick.get();
}

}  // namespace

Store::Store(std::unique_ptr<CompressedFileADT> file, const std::string& name, int64_t cacheBytes)
    : file_(std::move(file)), name_(name), cache_(cacheBytes, kSamples) {
  const FileInfo* info = file_->GetFileInfo(nullptr);
  if (info) geometry_ = makeGeometry(info->brickCount, info->numberOfLods);
}

Store::~Store() = default;

float Store::LevelSqnr(float q, int level) {
  if (level <= 0 || q <= 15.0f) return q;
  if (q > 35.0f) return 30.0f;
  return q > 20.0f ? q - 5.0f : 15.0f;
}

int32_t Store::GetNumberOfBricks(int axis, int level) const {
  const FileInfo* info = file_->GetFileInfo(nullptr);
  return info ? info->GetNumberOfBricks(axis, level) : 0;
}

int64_t Store::CacheKey(int32_t i, int32_t j, int32_t k, int level) const {
  return geometry_.index(i, j, k, level);
}

void Store::ValidSize(int32_t i, int32_t j, int32_t k, int level, int valid[3]) const {
  const DataInfo* data = file_->GetDataInfo(nullptr);
  const int32_t index[3] = {i, j, k};
  for (int a = 0; a < 3; ++a) {
    const int64_t extent = (int64_t{data->size[a]} + (int64_t{1} << level) - 1) >> level;
    valid[a] =
        static_cast<int>(std::clamp<int64_t>(extent - int64_t{index[a]} * kBrick, 0, kBrick));
  }
}

bool Store::FindTile(int32_t i, int32_t j, int level, Tile& tile, AlphaTile::Kind& kind,
                     Func& func) {
  const int64_t key = (int64_t{level} << 58) | (int64_t{j} << 29) | i;
  {
    std::lock_guard<std::mutex> hold(tileLock_);
    const auto it = tiles_.find(key);
    if (it != tiles_.end()) {
      tile = it->second.flags;
      kind = it->second.kind;
      return true;
    }
  }
  AlphaTile coded;
  tile = nullptr;
  if (!file_->GetGridFlagsTile(i, j, level, coded, func.statusP())) return false;
  auto flags = std::make_shared<std::vector<uint8_t>>(kTileBytes);
  if (!coded.Decode(flags->data(), kTileBytes)) {
    return func.setError(Err::InternalError, name_);
  }
  kind = coded.GetKind();
  tile = flags;
  std::lock_guard<std::mutex> hold(tileLock_);
  tiles_[key] = TileEntry{tile, kind};
  return true;
}

bool Store::StoreTile(int32_t i, int32_t j, int level, const uint8_t* flags, Func& func) {
  AlphaTile coded;
  if (!coded.Fill(flags, kTileBytes)) return func.setError(Err::InternalError, name_);
  return file_->SetGridFlagsTile(i, j, level, coded, func.statusP());
}

bool Store::GetGridFlagsTile(int32_t i, int32_t j, int level, uint8_t* buffer, bool* isConstant,
                             Status* status) {
  Func func("Store::GetGridFlagsTile", status);
  Tile tile;
  AlphaTile::Kind kind;
  if (!FindTile(i, j, level, tile, kind, func)) return false;
  std::memcpy(buffer, tile->data(), tile->size());
  if (isConstant) *isConstant = kind != AlphaTile::Mixed;
  return true;
}

bool Store::SetGridFlagsTile(int32_t i, int32_t j, int level, const uint8_t* flags,
                             Status* status) {
  Func func("Store::SetGridFlagsTile", status);
  return StoreTile(i, j, level, flags, func);
}

// Only the data write path asks for a uniform tile, for a column that had
// none; another writer thread may have stored it meanwhile.
bool Store::SetGridFlagsTileAllConst(int32_t i, int32_t j, int level, uint8_t value,
                                     Status* status) {
  Func func("Store::SetGridFlagsTileAllConst", status);
  std::vector<uint8_t> flags(kTileBytes, value);
  if (StoreTile(i, j, level, flags.data(), func)) return true;
  if (func.tyqError() != Err::BrickExists) return false;
  return func.setSuccess();
}

bool Store::DecodeBrick(int32_t i, int32_t j, int32_t k, int level, const uint8_t* flags,
                        float* out, Func& func) {
  CompressedBlock3d block;
  if (!file_->GetBrick(i, j, k, level, block, func.statusP())) return false;
  if (block.IsAllConst()) {
    std::fill(out, out + kSamples, static_cast<float>(block.GetGain()));
    return true;
  }
  int valid[3];
  ValidSize(i, j, k, level, valid);
  decoded_.fetch_add(1, std::memory_order_relaxed);
  Compressor3d& codec = threadCompressor();
  codec.PrepareDecompress(&block, CompDataFloat, out, flags, DecompSubbandsAll, DecompFull,
                          file_->IsTwoStage());
  codec.setDataSizeInBlock(valid[0], valid[1], valid[2]);
  if (!block.UnpackData() || !codec.Execute()) return func.setError(Err::UnknownError, name_);
  return true;
}

bool Store::ColumnFlags(int32_t i, int32_t j, int level, Tile& tile, const uint8_t*& flags,
                        bool& dead, Func& func) {
  AlphaTile::Kind kind = AlphaTile::Uniform;
  flags = nullptr;
  dead = false;
  if (!FindTile(i, j, level, tile, kind, func)) {
    if (func.tyqError() != Err::BrickNotFound) return false;
    return func.setSuccess();  // no tile: every trace alive
  }
  dead = kind == AlphaTile::Dead;
  if (tile && kind == AlphaTile::Mixed) flags = tile->data();
  return true;
}

Access::BrickStore::Holding Store::PeekBrick(int32_t i, int32_t j, int32_t k, int level,
                                             void* constant) {
  Func func("Store::PeekBrick", nullptr);
  Tile tile;
  const uint8_t* flags;
  bool dead;
  long long position = 0;
  // Failures are left for the read that follows to report.
  if (!ColumnFlags(i, j, level, tile, flags, dead, func)) return Holding::Stored;
  if (!dead && !file_->GetDataBrickPos(&position, level, i, j, k, 1, 1, 1, nullptr)) {
    return Holding::Stored;
  }
  if (!dead && position > 1) return Holding::Stored;
  if (!dead && position == 0) return Holding::Absent;
  const float zero = 0.0f;  // a dead column and the table's constant both read as 0
  std::memcpy(constant, &zero, sizeof zero);
  return Holding::Constant;
}

bool Store::GetBrick(int32_t i, int32_t j, int32_t k, int level, void* buffer, Status* status) {
  Func func("Store::GetBrick", status);
  float* out = static_cast<float*>(buffer);
  Tile tile;
  const uint8_t* flags;
  bool dead;
  if (!ColumnFlags(i, j, level, tile, flags, dead, func)) return false;
  if (dead) {
    std::memset(out, 0, kSamples * sizeof(float));
    return true;
  }
  const int64_t key = CacheKey(i, j, k, level);
  if (cache_.Enabled() && key >= 0) {
    if (BrickCache::Brick hit = cache_.Find(key)) {
      FromCacheOrder(out, hit.get());
      return true;
    }
  }
  if (!DecodeBrick(i, j, k, level, flags, out, func)) return false;
  if (cache_.Admits(1) && key >= 0) {
    if (BrickCache::Buffer kept = cache_.Acquire()) {
      ToCacheOrder(kept.get(), out);
      cache_.Insert(key, std::move(kept));
    }
  }
  return true;
}

bool Store::LendBrick(int32_t i, int32_t j, int32_t k, int level, int64_t requestBricks,
                      LentBrick& out, Status* status) {
  Func func("Store::GetBrick", status);
  out = LentBrick{};
  std::copy(kCacheStrides, kCacheStrides + 3, out.strides);
  const int64_t key = CacheKey(i, j, k, level);
  if (cache_.Enabled() && key >= 0) {
    if (BrickCache::Brick hit = cache_.Find(key)) {
      out.samples = hit.get();
      out.hold = std::move(hit);
      return true;
    }
  }
  Tile tile;
  const uint8_t* flags;
  bool dead;
  if (!ColumnFlags(i, j, level, tile, flags, dead, func)) return false;
  BrickCache::Buffer decoded = cache_.Acquire();
  if (!decoded) return func.setError(Err::OutOfMemory, name_);
  const bool keep = !dead && key >= 0 && cache_.Admits(requestBricks);
  if (dead) {
    std::memset(decoded.get(), 0, kSamples * sizeof(float));
  } else if (keep) {
    float* brick = threadBrick();
    if (!DecodeBrick(i, j, k, level, flags, brick, func)) return false;
    ToCacheOrder(decoded.get(), brick);
  } else {
    // Used once: lent as decoded, the reader reorders it on its way out.
    if (!DecodeBrick(i, j, k, level, flags, decoded.get(), func)) return false;
    std::copy(kFileStrides, kFileStrides + 3, out.strides);
  }
  if (keep) cache_.Insert(key, decoded);
  out.samples = decoded.get();
  out.hold = std::move(decoded);
  return true;
}

bool Store::GetBrickPart(int32_t i, int32_t j, int32_t k, int level, void* buffer,
                         const Access::BrickReadHint& /*hint*/, Status* status) {
  return GetBrick(i, j, k, level, buffer, status);
}

bool Store::SetBrick(int32_t i, int32_t j, int32_t k, int level, const void* data, Status* status) {
  Func func("Store::SetBrick", status);
  const FileInfo* info = file_->GetFileInfo(func.statusP());
  if (!info) return false;
  Tile tile;
  AlphaTile::Kind kind = AlphaTile::Uniform;
  if (!FindTile(i, j, level, tile, kind, func)) {
    if (func.tyqError() != Err::BrickNotFound) return false;
    func.setSuccess();
  }
  thread_local std::vector<float> samples;
  samples.assign(static_cast<const float*>(data), static_cast<const float*>(data) + kSamples);
  int valid[3];
  ValidSize(i, j, k, level, valid);
  CompressedBlock3d block;
  Compressor3d& codec = threadCompressor();
  codec.PrepareCompress(&block, CompDataFloat, samples.data(),
                        tile && kind == AlphaTile::Mixed ? tile->data() : nullptr,
                        LevelSqnr(info->sqnr, level), true, file_->IsTwoStage());
  codec.setDataSizeInBlock(valid[0], valid[1], valid[2]);
  if (!codec.Execute() || !block.PackData()) return func.setError(Err::UnknownError, name_);
  return file_->SetBrick(i, j, k, level, block, func.statusP());
}

bool Store::SetBrickAllConst(int32_t i, int32_t j, int32_t k, int level, const void* value,
                             Status* status) {
  Func func("Store::SetBrickAllConst", status);
  float v;
  std::memcpy(&v, value, sizeof v);
  CompressedBlock3d block;
  block.SetAllConst(v);
  return file_->SetBrick(i, j, k, level, block, func.statusP());
}

bool Store::Flush(bool /*newIdentity*/, Status* status) {
  Func func("Store::Flush", status);
  if (!file_->GetFileInfo(func.statusP())) return false;
  if (!file_->IsWritable()) return func.setError(Err::ReadOnly, name_);
  return true;
}

bool Store::Finalize(bool newIdentity, Status* status) {
  return file_->Finalize(newIdentity, status);
}

bool Store::Discard(Status* status) {
  cache_.Clear();
  return file_->Discard(status);
}

bool Store::Reload(int32_t version, Status* status) {
  Func func("Store::Reload", status);
  cache_.Clear();
  {
    std::lock_guard<std::mutex> hold(tileLock_);
    tiles_.clear();
  }
  if (file_->IsWritable()) return func.setError(Err::InvalidArgument, name_);
  return file_->Open(name_, version, func.statusP());
}

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
