// Geometry checks, lookup tables and placement of new data.
#include <algorithm>
#include <new>

#include "bricked/file.h"
#include "bricked/format.h"
#include "bricked/version_handler.h"
#include "core/endian.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {

using Err = FileAccess::Error;
namespace FA = FileAccess;

namespace {

// Bricks are read and written in one transfer and held in memory whole.
constexpr int64_t kMaxBrickBytes = int64_t{1} << 30;
// A brick may outgrow a small survey, but not absurdly.
constexpr int32_t kMaxBrickOverhang = 4096;
// Tables are read and written in pieces of this many entries.
constexpr int64_t kTableChunkEntries = 1 << 17;

int64_t roundUp(int64_t value, int64_t multiple) {
  if (multiple <= 1) return value;
  return (value + multiple - 1) / multiple * multiple;
}

}  // namespace

int64_t File::TileBytes() const {
  return fileInfo_.GetNumberOfSamplesPerHorzTile();
}
int64_t File::BrickBytes() const {
  return fileInfo_.GetNumberOfBytesPerBrick();
}

// Sizes and brick sizes come from the file (or the caller) and are trusted
// only once they describe a layout that can be held and addressed.
bool File::CheckGeometry(Status* status) const {
  Func func("File::CheckGeometry", status);
  int64_t samplesPerBrick = 1;
  for (int a = 0; a < 3; ++a) {
    const int32_t size = dataInfo_.size[a];
    const int32_t brick = fileInfo_.brickSize[a];
    if (size <= 0 || brick <= 0) return func.setError(Err::ReadFailed, fileInfo_.fileName);
    if (brick > size && brick > kMaxBrickOverhang) {
      return func.setError(Err::ReadFailed, fileInfo_.fileName);
    }
    samplesPerBrick *= brick;
    if (samplesPerBrick * sampleSize_ > kMaxBrickBytes) {
      return func.setError(Err::ReadFailed, fileInfo_.fileName);
    }
  }
  // A brick of fewer than eight samples cannot be halved into a parent and
  // makes the tables larger than the data.
  if (samplesPerBrick < 8) return func.setError(Err::ReadFailed, fileInfo_.fileName);
  return true;
}

bool File::OnCriticalInfoChanged(int64_t sizeLimit, Status* status) {
  Func func("File::OnCriticalInfoChanged", status);
  sampleSize_ = FA::DataTypeEnum::Size(fileInfo_.dataType);
  bool ok = sampleSize_ != 0 || func.setError(Err::InternalError, fileInfo_.fileName);
  if (ok && !CheckGeometry(func.statusP())) {
    // What the caller asked for is refused as an argument; what a file
    // claims is reported as a file that cannot be read.
    if (sizeLimit < 0) func.setError(Err::InvalidArgument, fileInfo_.fileName);
    ok = false;
  }
  if (ok && !computeTableGeometry(fileInfo_, geometry_)) {
    ok = func.setError(sizeLimit < 0 ? Err::InvalidArgument : Err::ReadFailed, fileInfo_.fileName);
  }
  // A table read from a file must fit in it; this bounds the allocation by
  // what the file's own size can justify.
  if (ok && sizeLimit >= 0 &&
      geometry_.brickEntries + geometry_.tileEntries > sizeLimit / int64_t{kEntrySize}) {
    ok = func.setError(Err::ReadFailed, fileInfo_.fileName);
  }
  ok = ok && AllocateLookupTable(tileTable_, true, func.statusP()) &&
       AllocateLookupTable(brickTable_, false, func.statusP());
  if (ok && writable_) {
    marks_.bricks.Reset(fileInfo_.numberOfLods, fileInfo_.brickCount[0], fileInfo_.brickCount[1],
                        fileInfo_.brickCount[2]);
    marks_.tiles.Reset(fileInfo_.numberOfLods, fileInfo_.brickCount[0], fileInfo_.brickCount[1], 1);
  } else {
    marks_.bricks.Clear();
    marks_.tiles.Clear();
  }
  if (!ok) {
    Discard(nullptr);
    return func.ensureError();
  }
  DefaultPositions();
  return true;
}

bool File::AllocateLookupTable(LookupTable& table, bool tiles, Status* status) {
  Func func("File::AllocateLookupTable", status);
  table.levelStart.clear();
  for (const TableGeometry::Level& level : geometry_.levels) {
    table.levelStart.push_back(tiles ? level.tileStart : level.brickStart);
  }
  const int64_t total = tiles ? geometry_.tileEntries : geometry_.brickEntries;
  try {
    table.entries.assign(static_cast<size_t>(total), 0);
  } catch (const std::exception&) {  // bad_alloc or length_error alike
    table.entries.clear();
    return func.setError(Err::OutOfMemory, fileInfo_.fileName);
  }
  table.count = total;
  table.changed = true;
  return true;
}

bool File::ReadTable(LookupTable& table, Status* status) {
  Func func("File::ReadLookupTable", status);
  if (table.position <= 0) return func.setError(Err::InternalError, fileInfo_.fileName);
  std::vector<uint8_t> bytes;
  for (int64_t first = 0; first < table.count; first += kTableChunkEntries) {
    const int64_t n = std::min(kTableChunkEntries, table.count - first);
    bytes.resize(static_cast<size_t>(n) * 8);
    if (!file_->ReadFromPosition(table.position + first * 8, static_cast<uint32_t>(n * 8),
                                 bytes.data(), func.statusP())) {
      return func.pushError(Err::ReadFailed);
    }
    int64_t* entries = table.entries.data() + first;
    for (int64_t e = 0; e < n; ++e) entries[e] = Le::getI64(bytes.data() + e * 8);
    handler_->FromFileOrder(entries, n);
  }
  table.changed = false;
  return true;
}

bool File::InDataArea(int64_t position, int64_t size) const {
  if (position < 0 || size < 0 || position > dataEnd_ - size) return false;
  const int64_t end = position + size;
  const auto clear = [&](int64_t begin, int64_t length) {
    return begin < 0 || length <= 0 || end <= begin || position >= begin + length;
  };
  const int64_t firstBlock = handler_->HasOffsetsRecord()
                                 ? static_cast<int64_t>(kHeaderSize + kV1OffsetsSize)
                                 : static_cast<int64_t>(kHeaderSize);
  return clear(0, firstBlock) && clear(infoPosition_, handler_->InfoBlockSize(dataInfo_)) &&
         clear(histPosition_, handler_->HistSize()) &&
         clear(tileTable_.position, tileTable_.count * int64_t{kEntrySize}) &&
         clear(brickTable_.position, brickTable_.count * int64_t{kEntrySize});
}

// Stored blocks cannot share bytes, so a brick size (or tile size) is
// believed only when the blocks the table claims to store fit in the file
// together. This bounds what a read of such a file may allocate.
bool File::StoredBlocksFit(const LookupTable& table, bool tiles, Status* status) const {
  Func func("File::ReadLookupTable", status);
  const int64_t blockBytes = tiles ? TileBytes() : BrickBytes();
  int64_t stored = 0;
  for (const int64_t entry : table.entries) {
    const int64_t position = tiles ? DecodeTile(entry, nullptr) : DecodeBrick(entry, nullptr);
    if (position > 1) ++stored;
  }
  if (stored > 0 && stored > fileInfo_.fileSize / blockBytes) {
    return func.setError(Err::ReadFailed, fileInfo_.fileName + " is truncated or damaged: it has " +
                                              std::to_string(fileInfo_.fileSize) +
                                              " bytes, too few for the " + std::to_string(stored) +
                                              (tiles ? " stored tiles of " : " stored bricks of ") +
                                              std::to_string(blockBytes) +
                                              " bytes its table lists");
  }
  return true;
}

bool File::ReadLookupTable(Status* status) {
  Func func("File::ReadLookupTable", status);
  if (!ReadTable(brickTable_, func.statusP())) return false;
  if (!StoredBlocksFit(brickTable_, false, func.statusP())) return false;
  const int64_t brickBytes = BrickBytes();
  fileInfo_.brickAlignment = brickBytes;
  for (const int64_t entry : brickTable_.entries) {
    const int64_t position = DecodeBrick(entry, nullptr);
    if (position > 1 && position % brickBytes != 0) {
      fileInfo_.brickAlignment = 1;
      break;
    }
  }
  return ReadTable(tileTable_, func.statusP()) && StoredBlocksFit(tileTable_, true, func.statusP());
}

bool File::WriteTable(LookupTable& table, Status* status) {
  Func func("File::WriteLookupTable", status);
  if (!table.changed) return true;
  if (table.position <= 0) return func.setError(Err::InternalError, fileInfo_.fileName);
  std::vector<int64_t> chunk;
  std::vector<uint8_t> bytes;
  for (int64_t first = 0; first < table.count; first += kTableChunkEntries) {
    const int64_t n = std::min(kTableChunkEntries, table.count - first);
    chunk.assign(table.entries.begin() + first, table.entries.begin() + first + n);
    handler_->ToFileOrder(chunk.data(), n);
    bytes.resize(static_cast<size_t>(n) * 8);
    for (int64_t e = 0; e < n; ++e) Le::putI64(bytes.data() + e * 8, chunk[static_cast<size_t>(e)]);
    if (!file_->WriteAtPosition(table.position + first * 8, static_cast<uint32_t>(n * 8),
                                bytes.data(), func.statusP())) {
      return func.pushError(Err::WriteFailed);
    }
  }
  table.changed = false;
  return true;
}

bool File::WriteLookupTable(Status* status) {
  return WriteTable(brickTable_, status) && WriteTable(tileTable_, status);
}

int64_t File::GetNextPosition(int64_t& cursor, int64_t size) {
  // Bricks held back for one write count as written already.
  const int64_t fileSize = std::max<int64_t>({file_->GetFileSize(nullptr), 0, heldEnd_});
  int64_t align = std::max<int64_t>(fileInfo_.brickAlignment, 1);
  // Small objects (tiles) that divide the alignment pack at their own size.
  const int64_t packed = (size < align && size > 0 && align % size == 0) ? size : align;
  int64_t p = cursor;
  if (sequential_) {
    p = roundUp(fileSize, packed);
  } else {
    if (cursor == -1) {
      p = fileSize;
      align = packed;
    }
    if (p % align == 0 && p < fileSize) p = fileSize;  // that boundary is taken already
    if (p % align != 0 && p % align + size > align) p = roundUp(p, align);
    cursor = p + size;
  }
  dataEnd_ = std::max(dataEnd_, p + size);
  return p;
}

int64_t File::GetNextGridFlagsTilePosition() {
  return GetNextPosition(tileCursor_, TileBytes());
}

int64_t File::GetNextDataBrickPosition() {
  return GetNextPosition(brickCursor_, BrickBytes());
}

void File::SetInitialCursors() {
  fileInfo_.brickAlignment = BrickBytes();
  tileCursor_ = brickCursor_ = -1;
  const int64_t firstTile = GetNextGridFlagsTilePosition();
  const int64_t firstBrick = GetNextDataBrickPosition();
  tileCursor_ = firstTile;
  brickCursor_ = firstBrick;
  // Without room for one tile before the first brick, everything is appended.
  if (brickCursor_ < tileCursor_ + TileBytes()) tileCursor_ = brickCursor_ = -1;
}

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
