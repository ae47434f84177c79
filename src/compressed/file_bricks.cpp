// The lookup tables of a compressed file, and the brick and tile records
// they point to.
#include <algorithm>
#include <new>

#include "compressed/file.h"
#include "compressed/version_handler.h"
#include "core/endian.h"
#include "core/record_read.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {

using Err = FileAccess::Error;

bool File::ReadAt(int64_t position, size_t size, void* buffer, Func& func) {
  if (!RecordFits(position, static_cast<int64_t>(size), end_, 0) || size > UINT32_MAX) {
    return func.setError(Err::ReadFailed, file_->FileName());
  }
  return size == 0 || ReadRecord(*file_, position, static_cast<uint32_t>(size), buffer, func);
}

bool File::Append(const std::string& record, int64_t& position, Func& func) {
  if (record.size() > UINT32_MAX) return func.setError(Err::WriteFailed, file_->FileName());
  if (!WriteRecord(*file_, end_, static_cast<uint32_t>(record.size()), record.data(), func)) {
    return false;
  }
  position = end_;
  end_ += static_cast<int64_t>(record.size());
  return true;
}

bool File::SetTableGeometry(Status* status) {
  Func func("File::SetTableGeometry", status);
  const int32_t* count = fileInfo_.brickCount;
  const int levels = handler_->KeepsPyramid() ? fileInfo_.numberOfLods : 1;
  bricks_ = makeGeometry(count, levels);
  const int32_t columns[3] = {count[0], count[1], 1};
  tiles_ = makeGeometry(columns, levels);
  brickTable_ = LookupTable();
  tileTable_ = LookupTable();
  if (bricks_.total() > kMaxTableEntries || tiles_.total() > kMaxTableEntries) {
    return func.setError(Err::OutOfMemory, file_->FileName());
  }
  return true;
}

bool File::AllocateTable(LookupTable& table, int64_t entries, Func& func) {
  try {
    table.entries.assign(static_cast<size_t>(entries), 0);
  } catch (const std::bad_alloc&) {
    return func.setError(Err::OutOfMemory, file_->FileName());
  }
  return true;
}

bool File::OnCriticalInfoChanged(Status* status) {
  Func func("File::OnCriticalInfoChanged", status);
  if (!SetTableGeometry(func.statusP()) || !AllocateTable(brickTable_, bricks_.total(), func) ||
      !AllocateTable(tileTable_, tiles_.total(), func)) {
    return false;
  }
  brickTable_.changed = tileTable_.changed = true;
  return true;
}

// The table is allocated only once its record is known to be able to fill
// it: a header claiming a vast survey beside a small table costs nothing.
bool File::ReadTable(int64_t position, int64_t entries, LookupTable& table, Status* status) {
  Func func("File::ReadLookupTable", status);
  if (position == 0) return func.setError(Err::InternalError, file_->FileName());
  uint8_t head[kTableHeadSize];
  if (!ReadAt(position, kTableHeadSize, head, func)) return false;
  const int64_t bits = tableBits(head);
  const int64_t bytes = (bits + 7) / 8;
  if (bits < 0 || !RecordFits(position + static_cast<int64_t>(kTableHeadSize), bytes, end_, 0)) {
    return func.setError(Err::ReadFailed, file_->FileName());
  }
  std::vector<uint8_t> payload(static_cast<size_t>(bytes));
  if (!ReadAt(position + static_cast<int64_t>(kTableHeadSize), payload.size(), payload.data(),
              func)) {
    return false;
  }
  if (tableBytesBound(head, payload.data(), payload.size()) < entries * 8) {
    return func.setError(Err::InternalError, file_->FileName());
  }
  if (!AllocateTable(table, entries, func)) return false;
  if (!decodeTable(head, payload.data(), payload.size(), table.entries)) {
    table.entries.clear();
    return func.setError(Err::InternalError, file_->FileName());
  }
  handler_->FromFileOrder(table.entries);
  table.stored =
      std::count_if(table.entries.begin(), table.entries.end(), [](int64_t e) { return e != 0; });
  table.changed = false;
  return true;
}

bool File::ReadLookupTable(Status* status) {
  Func func("File::ReadLookupTable", status);
  return ReadTable(offsets_.brickTable, bricks_.total(), brickTable_, func.statusP()) &&
         ReadTable(offsets_.alphaTable, tiles_.total(), tileTable_, func.statusP());
}

bool File::WriteTable(LookupTable& table, int64_t& position, Func& func) {
  if (!table.changed) return true;
  if (position != 0) return func.setError(Err::InternalError, file_->FileName());
  handler_->ToFileOrder(table.entries);
  const std::string record = encodeTable(table.entries);
  handler_->FromFileOrder(table.entries);
  if (!Append(record, position, func)) return false;
  table.changed = false;
  return true;
}

bool File::WriteLookupTable(Status* status) {
  Func func("File::WriteLookupTable", status);
  return WriteTable(brickTable_, offsets_.brickTable, func) &&
         WriteTable(tileTable_, offsets_.alphaTable, func);
}

int64_t File::GetBrickLookupIndex(int32_t i, int32_t j, int32_t k, int level,
                                  Status* status) const {
  Func func("File::GetBrickLookupIndex", status);
  const int64_t index = bricks_.index(i, j, k, level);
  if (index < 0) func.setError(Err::InternalError, file_->FileName());
  return index;
}

int64_t File::GetAlphaPlaneLookupIndex(int32_t i, int32_t j, int level, Status* status) const {
  Func func("File::GetAlphaPlaneLookupIndex", status);
  const int64_t index = tiles_.index(i, j, 0, level);
  if (index < 0) func.setError(Err::InternalError, file_->FileName());
  return index;
}

void File::SetEntry(LookupTable& table, int64_t index, int64_t position) {
  int64_t& entry = table.entries[static_cast<size_t>(index)];
  if (entry == 0) ++table.stored;
  entry = position;
  table.changed = true;
}

bool File::SetBrick(int32_t i, int32_t j, int32_t k, int level, const CompressedBlock3d& block,
                    Status* status) {
  Func func("File::SetBrick", status);
  if (!CheckWritable(func)) return false;
  const int64_t index = GetBrickLookupIndex(i, j, k, level, func.statusP());
  if (index < 0) return false;
  const bool constant = block.IsAllConst();
  const int32_t header = constant ? 0 : block.GetHeaderSize();
  const int32_t stream = constant ? 0 : block.GetBitstreamSize();
  std::string record;
  record.reserve(kBrickHeadSize + static_cast<size_t>(header) + static_cast<size_t>(stream));
  Le::Writer w(record);
  w.i32(header + stream);
  w.f64(block.GetGain());
  w.bytes(block.GetHeaderData(), static_cast<size_t>(header));
  w.bytes(block.GetBitstreamData(), static_cast<size_t>(stream));
  std::lock_guard<std::mutex> hold(lock_);
  if (brickTable_.entries[static_cast<size_t>(index)] > 1) {
    return func.setError(Err::BrickExists, file_->FileName());
  }
  int64_t position = 0;
  if (!Append(record, position, func)) return false;
  SetEntry(brickTable_, index, position);
  return true;
}

bool File::GetBrick(int32_t i, int32_t j, int32_t k, int level, CompressedBlock3d& block,
                    Status* status) {
  Func func("File::GetBrick", status);
  if (!open_) return func.setError(Err::NotOpen, "");
  const int64_t index = GetBrickLookupIndex(i, j, k, level, func.statusP());
  if (index < 0) return false;
  int64_t entry;
  {
    std::lock_guard<std::mutex> hold(lock_);
    entry = brickTable_.entries[static_cast<size_t>(index)];
  }
  if (entry == 0) return func.setError(Err::BrickNotFound, file_->FileName());
  if (entry == 1) {
    block.SetAllConst(0.0);
    return true;
  }
  uint8_t head[kBrickHeadSize];
  if (!ReadAt(entry, kBrickHeadSize, head, func)) return false;
  const uint32_t size = Le::getU32(head);
  const double gain = Le::getF64(head + 4);
  if (size == 0) {
    block.SetAllConst(handler_->HonoursConstantValue() ? gain : 0.0);
    return true;
  }
  uint8_t* buffer = block.GetInputBuffer(size, gain);
  if (!buffer) return func.setError(Err::InternalError, file_->FileName());
  return ReadAt(entry + static_cast<int64_t>(kBrickHeadSize), size, buffer, func);
}

bool File::SetGridFlagsTile(int32_t i, int32_t j, int level, const AlphaTile& tile,
                            Status* status) {
  Func func("File::SetGridFlagsTile", status);
  if (!CheckWritable(func)) return false;
  const int64_t index = GetAlphaPlaneLookupIndex(i, j, level, func.statusP());
  if (index < 0) return false;
  std::string record;
  Le::Writer w(record);
  w.i32(tile.GetByteCount());
  w.u8(tile.GetMode());
  w.i32(tile.GetBits());
  w.bytes(tile.GetData(), static_cast<size_t>(tile.GetByteCount()));
  std::lock_guard<std::mutex> hold(lock_);
  if (tileTable_.entries[static_cast<size_t>(index)] != 0) {
    return func.setError(Err::BrickExists, file_->FileName());
  }
  int64_t position = 0;
  if (!Append(record, position, func)) return false;
  SetEntry(tileTable_, index, position);
  return true;
}

bool File::GetGridFlagsTile(int32_t i, int32_t j, int level, AlphaTile& tile, Status* status) {
  Func func("File::GetGridFlagsTile", status);
  if (!open_) return func.setError(Err::NotOpen, "");
  const int64_t index = GetAlphaPlaneLookupIndex(i, j, level, func.statusP());
  if (index < 0) return false;
  int64_t entry;
  {
    std::lock_guard<std::mutex> hold(lock_);
    entry = tileTable_.entries[static_cast<size_t>(index)];
  }
  if (entry == 0) return func.setError(Err::BrickNotFound, file_->FileName());
  uint8_t head[kTileHeadSize];
  if (!ReadAt(entry, kTileHeadSize, head, func)) return false;
  const int64_t bytes = Le::getU32(head);
  uint8_t* buffer = tile.GetInputBuffer(head[4], Le::getI32(head + 5));
  if (!buffer || bytes != tile.GetByteCount()) {
    return func.setError(Err::InternalError, file_->FileName());
  }
  return ReadAt(entry + static_cast<int64_t>(kTileHeadSize), static_cast<size_t>(bytes), buffer,
                func);
}

void File::EntriesOf(const LookupTable& table, long long* out, int level, const int32_t begin[3],
                     const int32_t count[3], bool tiles) const {
  const LevelGeometry& g = tiles ? tiles_ : bricks_;
  std::lock_guard<std::mutex> hold(lock_);
  for (int32_t a = 0; a < count[0]; ++a) {
    for (int32_t b = 0; b < count[1]; ++b) {
      for (int32_t c = 0; c < count[2]; ++c) {
        const int64_t index = g.index(begin[0] + a, begin[1] + b, begin[2] + c, level);
        *out++ = index < 0 ? 0 : table.entries[static_cast<size_t>(index)];
      }
    }
  }
}

bool File::GetDataBrickPos(long long* out, int level, int32_t i0, int32_t j0, int32_t k0,
                           int32_t ni, int32_t nj, int32_t nk, Status* status) {
  Func func("File::GetDataBrickPos", status);
  if (!open_) return func.setError(Err::NotOpen, "");
  if (!out || ni < 0 || nj < 0 || nk < 0) return func.setError(Err::InvalidArgument, "");
  const int32_t begin[3] = {i0, j0, k0}, count[3] = {ni, nj, nk};
  EntriesOf(brickTable_, out, level, begin, count, false);
  return true;
}

bool File::GetGridFlagsTilePos(long long* out, int level, int32_t i0, int32_t j0, int32_t ni,
                               int32_t nj, Status* status) {
  Func func("File::GetGridFlagsTilePos", status);
  if (!open_) return func.setError(Err::NotOpen, "");
  if (!out || ni < 0 || nj < 0) return func.setError(Err::InvalidArgument, "");
  const int32_t begin[3] = {i0, j0, 0}, count[3] = {ni, nj, 1};
  EntriesOf(tileTable_, out, level, begin, count, true);
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
