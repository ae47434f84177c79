// Grid-flag tiles and bulk position queries.
#include <cstring>

#include "bricked/file.h"
#include "bricked/version_handler.h"
#include "core/aligned_buffer.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {

using Err = FileAccess::Error;

bool File::GetGridFlagsTile(int32_t i, int32_t j, int level, uint8_t* buffer, Status* status) {
  return GetGridFlagsTileEx(i, j, level, buffer, nullptr, true, status);
}

bool File::GetGridFlagsTile(int32_t i, int32_t j, int level, uint8_t* buffer, bool* isConstant,
                            Status* status) {
  return GetGridFlagsTileEx(i, j, level, buffer, isConstant, true, status);
}

bool File::GetGridFlagsTileEx(int32_t i, int32_t j, int level, uint8_t* buffer, bool* isConstant,
                              bool expand, Status* status) {
  Func func("File::GetGridFlagsTileEx", status);
  if (!open_) return func.setError(Err::NotOpen, fileInfo_.fileName);
  int64_t index = 0;
  if (!TileIndex(i, j, level, index, func)) return false;
  if (!buffer) return func.setError(Err::InvalidArgument, fileInfo_.fileName);
  uint8_t constant = 0;
  int64_t position = 0;
  {
    std::lock_guard<std::mutex> hold(tableLock_);
    position = DecodeTile(tileTable_.entries[static_cast<size_t>(index)], &constant);
    if (position != 0 && position != 1 && !InDataArea(position, TileBytes())) {
      return func.setError(Err::ReadFailed, fileInfo_.fileName);
    }
  }
  if (position == 0) return func.setError(Err::BrickNotFound, fileInfo_.fileName);
  if (position == 1) {
    if (isConstant) *isConstant = true;
    const size_t count = (expand || !isConstant) ? static_cast<size_t>(TileBytes()) : 1;
    std::memset(buffer, constant, count);
    return true;
  }
  if (isConstant) *isConstant = false;
  return ReadBlock(position, 1, static_cast<size_t>(TileBytes()), buffer, func);
}

bool File::SetGridFlagsTile(int32_t i, int32_t j, int level, const uint8_t* flags, Status* status) {
  Func func("File::SetGridFlagsTile", status);
  int64_t index = 0;
  if (!CheckWritable(func) || !TileIndex(i, j, level, index, func)) return false;
  if (!flags) return func.setError(Err::InvalidArgument, fileInfo_.fileName);
  int64_t position = 0;
  bool isNew = false;
  {
    std::lock_guard<std::mutex> hold(tableLock_);
    position = DecodeTile(tileTable_.entries[static_cast<size_t>(index)], nullptr);
    isNew = position <= 1;
    if (!isNew && sequential_) return func.setError(Err::InvalidArgument, "");
    if (!isNew && !InDataArea(position, TileBytes())) {
      return func.setError(Err::ReadFailed, fileInfo_.fileName);
    }
    if (isNew) position = GetNextGridFlagsTilePosition();
  }
  if (!WriteBlock(position, 1, static_cast<size_t>(TileBytes()), flags, func)) return false;
  if (isNew) {
    std::lock_guard<std::mutex> hold(tableLock_);
    tileTable_.entries[static_cast<size_t>(index)] = handler_->EncodeTileEntry(position, nullptr);
    tileTable_.changed = true;
  }
  marks_.tiles.Mark(level, i, j, 0);
  return true;
}

bool File::SetGridFlagsTileAllConst(int32_t i, int32_t j, int level, uint8_t value,
                                    Status* status) {
  Func func("File::SetGridFlagsTileAllConst", status);
  int64_t index = 0;
  if (!CheckWritable(func) || !TileIndex(i, j, level, index, func)) return false;
  {
    std::lock_guard<std::mutex> hold(tableLock_);
    int64_t& entry = tileTable_.entries[static_cast<size_t>(index)];
    if ((handler_->SupportsAnyConstant() || value == 0) && DecodeTile(entry, nullptr) <= 1) {
      entry = handler_->EncodeTileEntry(0, &value);
      tileTable_.changed = true;
      marks_.tiles.Mark(level, i, j, 0);
      return true;
    }
  }
  return SetExplicitGridFlagsTileAllConst(i, j, level, value, func.statusP());
}

bool File::SetExplicitGridFlagsTileAllConst(int32_t i, int32_t j, int level, uint8_t value,
                                            Status* status) {
  Func func("File::SetExplicitGridFlagsTileAllConst", status);
  if (!CheckWritable(func)) return false;
  AlignedBuffer tile;
  if (!tile.Resize(static_cast<size_t>(TileBytes()))) {
    return func.setError(Err::OutOfMemory, fileInfo_.fileName);
  }
  std::memset(tile.data(), value, static_cast<size_t>(TileBytes()));
  return SetGridFlagsTile(i, j, level, tile.bytes(), func.statusP());
}

bool File::GetDataBrickPos(long long* out, int level, int32_t i0, int32_t j0, int32_t k0,
                           int32_t ni, int32_t nj, int32_t nk, Status* status) {
  Func func("File::GetDataBrickPos", status);
  if (!open_) return func.setError(Err::NotOpen, fileInfo_.fileName);
  if (!out || ni < 0 || nj < 0 || nk < 0) {
    return func.setError(Err::InvalidArgument, fileInfo_.fileName);
  }
  Status ignored;
  std::lock_guard<std::mutex> hold(tableLock_);
  for (int32_t i = 0; i < ni; ++i) {
    for (int32_t j = 0; j < nj; ++j) {
      for (int32_t k = 0; k < nk; ++k) {
        int64_t index = 0;
        Func probe("File::GetDataBrickPos", &ignored);
        const int64_t value =
            BrickIndex(i0 + i, j0 + j, k0 + k, level, index, probe)
                ? DecodeBrick(brickTable_.entries[static_cast<size_t>(index)], nullptr)
                : 0;
        out[(int64_t{i} * nj + j) * nk + k] = value;
      }
    }
  }
  return true;
}

bool File::GetGridFlagsTilePos(long long* out, int level, int32_t i0, int32_t j0, int32_t ni,
                               int32_t nj, Status* status) {
  Func func("File::GetGridFlagsTilePos", status);
  if (!open_) return func.setError(Err::NotOpen, fileInfo_.fileName);
  if (!out || ni < 0 || nj < 0) return func.setError(Err::InvalidArgument, fileInfo_.fileName);
  Status ignored;
  std::lock_guard<std::mutex> hold(tableLock_);
  for (int32_t i = 0; i < ni; ++i) {
    for (int32_t j = 0; j < nj; ++j) {
      int64_t index = 0;
      Func probe("File::GetGridFlagsTilePos", &ignored);
      out[int64_t{i} * nj + j] =
          TileIndex(i0 + i, j0 + j, level, index, probe)
              ? DecodeTile(tileTable_.entries[static_cast<size_t>(index)], nullptr)
              : 0;
    }
  }
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
