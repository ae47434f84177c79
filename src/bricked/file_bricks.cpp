// Storing and fetching bricks and grid-flag tiles, by table entry.
#include <algorithm>
#include <cstring>

#include "bricked/file.h"
#include "bricked/format.h"
#include "bricked/version_handler.h"
#include "core/aligned_buffer.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {

using Err = FileAccess::Error;

namespace {

// Repeats one sample of `size` bytes `count` times.
void fillPattern(void* dst, size_t count, const uint8_t* value, int32_t size) {
  auto* out = static_cast<uint8_t*>(dst);
  if (size == 1) {
    std::memset(out, value[0], count);
    return;
  }
  for (size_t n = 0; n < count; ++n) std::memcpy(out + n * static_cast<size_t>(size), value, size);
}

}  // namespace

bool File::BrickIndex(int32_t i, int32_t j, int32_t k, int level, int64_t& index,
                      Func& func) const {
  index = brickEntryIndex(geometry_, level, i, j, k);
  if (index < 0) return func.setError(Err::InvalidArgument, fileInfo_.fileName);
  if (index >= brickTable_.count) return func.setError(Err::InternalError, fileInfo_.fileName);
  return true;
}

bool File::TileIndex(int32_t i, int32_t j, int level, int64_t& index, Func& func) const {
  index = tileEntryIndex(geometry_, level, i, j);
  if (index < 0) return func.setError(Err::InvalidArgument, fileInfo_.fileName);
  if (index >= tileTable_.count) return func.setError(Err::InternalError, fileInfo_.fileName);
  return true;
}

int64_t File::DecodeBrick(int64_t entry, void* constantOut) const {
  return handler_->DecodeBrickEntry(entry, constantOut, sampleSize_);
}

int64_t File::DecodeTile(int64_t entry, uint8_t* constantOut) const {
  return handler_->DecodeTileEntry(entry, constantOut);
}

// Reads one whole brick or tile; the oldest layout keeps traces in 8 x 8
// blocks and is reordered through a scratch buffer.
bool File::ReadBlock(int64_t position, size_t traceBytes, size_t size, void* buffer, Func& func) {
  if (!handler_->IsBlockedLayout()) {
    if (!file_->ReadFromPosition(position, static_cast<uint32_t>(size), buffer, func.statusP())) {
      return func.pushError(Err::ReadFailed);
    }
    return true;
  }
  AlignedBuffer scratch;
  if (!scratch.Resize(size)) return func.setError(Err::OutOfMemory, fileInfo_.fileName);
  if (!file_->ReadFromPosition(position, static_cast<uint32_t>(size), scratch.data(),
                               func.statusP())) {
    return func.pushError(Err::ReadFailed);
  }
  if (!fromBlockedLayout(scratch.bytes(), static_cast<uint8_t*>(buffer), fileInfo_.brickSize[0],
                         fileInfo_.brickSize[1], traceBytes)) {
    return func.setError(Err::ReadFailed, fileInfo_.fileName);
  }
  return true;
}

bool File::WriteBlock(int64_t position, size_t traceBytes, size_t size, const void* data,
                      Func& func) {
  const void* out = data;
  AlignedBuffer scratch;
  if (handler_->IsBlockedLayout()) {
    if (!scratch.Resize(size)) return func.setError(Err::OutOfMemory, fileInfo_.fileName);
    if (!toBlockedLayout(static_cast<const uint8_t*>(data), scratch.bytes(), fileInfo_.brickSize[0],
                         fileInfo_.brickSize[1], traceBytes)) {
      return func.setError(Err::WriteFailed, fileInfo_.fileName);
    }
    out = scratch.data();
  }
  if (!file_->WriteAtPosition(position, static_cast<uint32_t>(size), out, func.statusP())) {
    return func.pushError(Err::WriteFailed);
  }
  return true;
}

bool File::GetBrick(int32_t i, int32_t j, int32_t k, int level, void* buffer, Status* status) {
  return GetBrick(i, j, k, level, buffer, 0, 0, status);
}

bool File::GetBrickPart(int32_t i, int32_t j, int32_t k, int level, void* buffer,
                        const Access::BrickReadHint& hint, Status* status) {
  return GetBrick(i, j, k, level, buffer, hint.skipBefore, hint.skipAfter, status);
}

bool File::GetBrick(int32_t i, int32_t j, int32_t k, int level, void* buffer, int64_t skipBefore,
                    int64_t skipAfter, Status* status) {
  Func func("File::GetBrick", status);
  return ReadBrickSamples(i, j, k, level, buffer, skipBefore, skipAfter, false, func);
}

bool File::GetBrickWindow(int32_t i, int32_t j, int32_t k, int level, void* window,
                          const Access::BrickReadHint& hint, Status* status) {
  Func func("File::GetBrick", status);
  return ReadBrickSamples(i, j, k, level, window, hint.skipBefore, hint.skipAfter, true, func);
}

Access::BrickStore::Holding File::PeekBrick(int32_t i, int32_t j, int32_t k, int level,
                                            void* constant) {
  const int64_t index = brickEntryIndex(geometry_, level, i, j, k);
  if (!open_ || index < 0 || index >= brickTable_.count) return Holding::Stored;
  std::lock_guard<std::mutex> hold(tableLock_);
  const int64_t position = DecodeBrick(brickTable_.entries[static_cast<size_t>(index)], constant);
  return position == 0 ? Holding::Absent : (position == 1 ? Holding::Constant : Holding::Stored);
}

// Samples [skipBefore, total - skipAfter) of a brick: at their own offset in
// a whole-brick `buffer`, or at the start of `buffer` when `windowed`.
bool File::ReadBrickSamples(int32_t i, int32_t j, int32_t k, int level, void* buffer,
                            int64_t skipBefore, int64_t skipAfter, bool windowed, Func& func) {
  if (!open_) return func.setError(Err::NotOpen, fileInfo_.fileName);
  const int64_t total = fileInfo_.GetNumberOfSamplesPerBrick();
  if (skipBefore < 0 || skipAfter < 0 || skipBefore > total - skipAfter || !buffer) {
    return func.setError(Err::InvalidArgument, fileInfo_.fileName);
  }
  int64_t index = 0;
  if (!BrickIndex(i, j, k, level, index, func)) return false;
  if (skipBefore + skipAfter == total) return true;
  uint8_t constant[8] = {};
  int64_t position = 0;
  bool inDataArea = false;
  {
    std::lock_guard<std::mutex> hold(tableLock_);
    position = DecodeBrick(brickTable_.entries[static_cast<size_t>(index)], constant);
    inDataArea = position == 0 || position == 1 || InDataArea(position, BrickBytes());
  }
  if (position == 0) return func.setError(Err::BrickNotFound, fileInfo_.fileName);
  if (!inDataArea) return func.setError(Err::ReadFailed, fileInfo_.fileName);
  const int64_t first = skipBefore * sampleSize_;
  const int64_t bytes = (total - skipBefore - skipAfter) * sampleSize_;
  auto* out = static_cast<uint8_t*>(buffer) + (windowed ? 0 : first);
  if (position == 1) {
    fillPattern(out, static_cast<size_t>(total - skipBefore - skipAfter), constant, sampleSize_);
    return true;
  }
  const size_t traceBytes = static_cast<size_t>(fileInfo_.brickSize[2]) * sampleSize_;
  if (handler_->IsBlockedLayout()) {
    if (!windowed) {
      return ReadBlock(position, traceBytes, static_cast<size_t>(BrickBytes()), buffer, func);
    }
    // Blocked bricks are small (64 samples a side) and read whole.
    AlignedBuffer brick;
    if (!brick.Resize(static_cast<size_t>(BrickBytes()))) {
      return func.setError(Err::OutOfMemory, fileInfo_.fileName);
    }
    if (!ReadBlock(position, traceBytes, brick.size(), brick.data(), func)) return false;
    std::memcpy(out, brick.bytes() + first, static_cast<size_t>(bytes));
    return true;
  }
  if (!file_->ReadFromPosition(position + first, static_cast<uint32_t>(bytes), out,
                               func.statusP())) {
    return func.pushError(Err::ReadFailed);
  }
  return true;
}

bool File::SetBrick(int32_t i, int32_t j, int32_t k, int level, const void* data, Status* status) {
  Func func("File::SetBrick", status);
  int64_t index = 0;
  if (!CheckWritable(func) || !BrickIndex(i, j, k, level, index, func)) return false;
  if (!data) return func.setError(Err::InvalidArgument, fileInfo_.fileName);
  int64_t position = 0;
  bool isNew = false;
  {
    std::lock_guard<std::mutex> hold(tableLock_);
    position = DecodeBrick(brickTable_.entries[static_cast<size_t>(index)], nullptr);
    isNew = position <= 1;
    if (!isNew && sequential_) return func.setError(Err::InvalidArgument, "");
    if (!isNew && !InDataArea(position, BrickBytes())) {
      return func.setError(Err::ReadFailed, fileInfo_.fileName);
    }
    if (isNew) position = GetNextDataBrickPosition();
  }
  if (isNew && Batching()) return HoldBrick(i, j, k, level, index, position, data, func);
  const size_t traceBytes = static_cast<size_t>(fileInfo_.brickSize[2]) * sampleSize_;
  if (!WriteBlock(position, traceBytes, static_cast<size_t>(BrickBytes()), data, func)) {
    return false;
  }
  std::lock_guard<std::mutex> hold(tableLock_);
  if (isNew) {
    brickTable_.entries[static_cast<size_t>(index)] =
        handler_->EncodeBrickEntry(position, nullptr, sampleSize_);
    brickTable_.changed = true;
  }
  OnBrickWritten(level, i, j, k);
  return true;
}

bool File::SetBrickAllConst(int32_t i, int32_t j, int32_t k, int level, const void* value,
                            Status* status) {
  Func func("File::SetBrickAllConst", status);
  int64_t index = 0;
  if (!CheckWritable(func) || !BrickIndex(i, j, k, level, index, func)) return false;
  if (!value) return func.setError(Err::InvalidArgument, fileInfo_.fileName);
  const auto* bytes = static_cast<const uint8_t*>(value);
  const bool zero = std::all_of(bytes, bytes + sampleSize_, [](uint8_t b) { return b == 0; });
  {
    std::lock_guard<std::mutex> hold(tableLock_);
    int64_t& entry = brickTable_.entries[static_cast<size_t>(index)];
    // Stored data is overwritten in place; a value the table cannot express
    // is written out in full.
    if ((handler_->SupportsAnyConstant() || zero) && DecodeBrick(entry, nullptr) <= 1) {
      entry = handler_->EncodeBrickEntry(0, value, sampleSize_);
      brickTable_.changed = true;
      OnBrickWritten(level, i, j, k);
      return true;
    }
  }
  return SetExplicitBrickAllConst(i, j, k, level, value, func.statusP());
}

bool File::SetBrickAllZero(int32_t i, int32_t j, int32_t k, int level, Status* status) {
  const uint8_t zero[8] = {};
  return SetBrickAllConst(i, j, k, level, zero, status);
}

bool File::SetExplicitBrickAllConst(int32_t i, int32_t j, int32_t k, int level, const void* value,
                                    Status* status) {
  Func func("File::SetExplicitBrickAllConst", status);
  if (!CheckWritable(func)) return false;
  AlignedBuffer brick;
  if (!brick.Resize(static_cast<size_t>(BrickBytes()))) {
    return func.setError(Err::OutOfMemory, fileInfo_.fileName);
  }
  fillPattern(brick.data(), static_cast<size_t>(fileInfo_.GetNumberOfSamplesPerBrick()),
              static_cast<const uint8_t*>(value), sampleSize_);
  return SetBrick(i, j, k, level, brick.data(), func.statusP());
}

// The caller holds the table lock.
void File::OnBrickWritten(int level, int32_t i, int32_t j, int32_t k) {
  if (level == 0) {
    const int32_t index[3] = {i, j, k};
    for (int a = 0; a < 3; ++a) {
      const int64_t begin = int64_t{index[a]} * fileInfo_.brickSize[a];
      const int64_t end = begin + fileInfo_.brickSize[a];
      int64_t regionBegin = dataInfo_.regionBegin[a];
      int64_t regionSize = dataInfo_.regionSize[a];
      if (begin < regionBegin) {
        regionSize += regionBegin - begin;
        regionBegin = begin;
      }
      if (end > regionBegin + regionSize) regionSize = end - regionBegin;
      if (regionBegin != dataInfo_.regionBegin[a] || regionSize != dataInfo_.regionSize[a]) {
        dataInfo_.regionBegin[a] = static_cast<int32_t>(regionBegin);
        dataInfo_.regionSize[a] = static_cast<int32_t>(std::min<int64_t>(regionSize, INT32_MAX));
        infoChanged_ = true;
      }
    }
  }
  marks_.bricks.Mark(level, i, j, k);
}

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
