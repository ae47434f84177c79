#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "access/brick_store.h"
#include "access/dirty_bits.h"
#include "bricked/format.h"
#include "core/aligned_buffer.h"
#include "io/mapped_file.h"
#include "tyq/file.h"
#include "tyq/records.h"
#include "tyq/status.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {

class FileVersionHandlerBase;

// One lookup table (bricks or grid-flag tiles) as held in memory: decoded
// entries of every level, highest level first.
struct LookupTable {
  bool changed = false;
  int64_t position = -1;
  int64_t count = 0;
  std::vector<int64_t> entries;
  std::vector<int64_t> levelStart;
};

// Owns one open uncompressed volume file: its records, both lookup tables,
// where new bricks and tiles go, and which ones were written since levels of
// detail were last rebuilt. Threads as the brick store says: brick and tile
// transfers take the table lock only to look up and place entries, and run
// the file I/O outside it.
class File final : public Access::BrickStore {
 public:
  // Without `file`, one is made by the process-wide factory and owned here.
  File(const std::string& name, FileAccess::FileFactory::UsageHint hint, FileAccess::FileADT* file);
  ~File() override;

  static int32_t GetCurrentVersionNumber() { return 3; }
  static int32_t GetHighestSupportedVersionNumber() { return 3; }
  static int32_t GetLowestSupportedVersionNumber() { return 1; }
  static int32_t GetMemoryAlignment() { return 4096; }
  int32_t GetPreferredAlignment() const { return fileInfo_.GetNumberOfBytesPerBrick(); }
  FileAccess::FileADT* GetFileADT() const { return file_; }
  const Access::DirtyBits4& GetDirtyBricks() const { return marks_.bricks; }
  const Access::DirtyBits4& GetDirtyTiles() const { return marks_.tiles; }
  Access::DirtyMarks* GetDirtyMarks() override { return &marks_; }
  bool IsOpen() const { return open_; }
  bool IsWritable() const override { return writable_; }
  bool IsSequential() const { return sequential_; }
  int32_t GetSampleSize() const override { return sampleSize_; }
  int32_t GetNumberOfBricks(int axis, int level) const override;
  const std::string& GetStoreName() const override { return file_->FileName(); }
  const LookupTable& GetBrickTable() const { return brickTable_; }
  const LookupTable& GetTileTable() const { return tileTable_; }
  const FileVersionHandlerBase* GetVersionHandler() const { return handler_; }

  bool Open(const std::string& name, bool readOnly, const FileAccess::TyqOptions& options,
            Status* status, int32_t version = 0);
  bool Reload(int32_t version, Status* status) override;
  bool Create(const std::string& name, const DataInfo& dataInfo,
              FileAccess::EnumClass<FileAccess::DataTypeEnum> dataType,
              const FileAccess::TyqOptions& options, Status* status, float valueMin, float valueMax,
              int32_t version = 0, bool overwrite = true);
  bool Flush(bool newIdentity, Status* status) override;
  bool Finalize(bool newIdentity, Status* status) override;
  bool Discard(Status* status) override;

  const FileInfo* GetFileInfo(Status* status) const override;
  const DataInfo* GetDataInfo(Status* status) const override;
  const Histogram* GetDataHist(Status* status) const override;
  bool SetDataInfo(const DataInfo& info, Status* status) override;
  bool SetDataHist(int64_t count, double min, double max, const int64_t* bins,
                   Status* status) override;
  bool SetDataStats(int64_t count, double sum, double sumOfSquares, double min, double max,
                    Status* status) override;

  // Bricks: `buffer` holds one brick, axis 2 fastest and axis 0 slowest.
  bool GetBrick(int32_t i, int32_t j, int32_t k, int level, void* buffer, Status* status) override;
  bool GetBrick(int32_t i, int32_t j, int32_t k, int level, void* buffer, int64_t skipBefore,
                int64_t skipAfter, Status* status);
  bool GetBrickPart(int32_t i, int32_t j, int32_t k, int level, void* buffer,
                    const Access::BrickReadHint& hint, Status* status) override;
  bool GetBrickWindow(int32_t i, int32_t j, int32_t k, int level, void* window,
                      const Access::BrickReadHint& hint, Status* status) override;
  Holding PeekBrick(int32_t i, int32_t j, int32_t k, int level, void* constant) override;
  Holding LocateBrick(int32_t i, int32_t j, int32_t k, int level, void* constant,
                      const void** mapped) override;
  // Whether bricks of a read-only open are read through a mapping.
  bool IsMapped() const { return mapping_.data() != nullptr; }
  bool SetBrick(int32_t i, int32_t j, int32_t k, int level, const void* data,
                Status* status) override;
  bool SetBrickAllConst(int32_t i, int32_t j, int32_t k, int level, const void* value,
                        Status* status) override;
  bool SetBrickAllZero(int32_t i, int32_t j, int32_t k, int level, Status* status);
  void BeginBrickBatch() override;
  bool EndBrickBatch(bool write, Status* status) override;
  bool SetExplicitBrickAllConst(int32_t i, int32_t j, int32_t k, int level, const void* value,
                                Status* status);

  // Grid-flag tiles: one byte per trace, axis 1 fastest.
  bool GetGridFlagsTileEx(int32_t i, int32_t j, int level, uint8_t* buffer, bool* isConstant,
                          bool expand, Status* status);
  bool GetGridFlagsTile(int32_t i, int32_t j, int level, uint8_t* buffer, Status* status);
  bool GetGridFlagsTile(int32_t i, int32_t j, int level, uint8_t* buffer, bool* isConstant,
                        Status* status) override;
  bool SetGridFlagsTile(int32_t i, int32_t j, int level, const uint8_t* flags,
                        Status* status) override;
  bool SetGridFlagsTileAllConst(int32_t i, int32_t j, int level, uint8_t value,
                                Status* status) override;
  bool SetExplicitGridFlagsTileAllConst(int32_t i, int32_t j, int level, uint8_t value,
                                        Status* status);

  // Decoded entries (position, 1 for a constant, 0 for absent or out of
  // range), i outermost and k innermost.
  bool GetDataBrickPos(long long* out, int level, int32_t i0, int32_t j0, int32_t k0, int32_t ni,
                       int32_t nj, int32_t nk, Status* status) override;
  bool GetGridFlagsTilePos(long long* out, int level, int32_t i0, int32_t j0, int32_t ni,
                           int32_t nj, Status* status) override;

  // Where the next new tile or brick goes; moves the matching cursor.
  int64_t GetNextGridFlagsTilePosition();
  int64_t GetNextDataBrickPosition();

 private:
  bool SetVersion(int32_t version, Status* status);
  bool ReadFileHeader(int32_t version, Status* status);
  bool WriteFileHeader(Status* status);
  void DefaultPositions();
  bool ReadOffsets(Status* status);
  bool WriteOffsets(Status* status);
  bool ReadInfo(Status* status);
  bool WriteInfo(Status* status);
  bool ReadHist(Status* status);
  bool WriteHist(Status* status);
  bool OnCriticalInfoChanged(int64_t sizeLimit, Status* status);
  bool CheckGeometry(Status* status) const;
  bool AllocateLookupTable(LookupTable& table, bool tiles, Status* status);
  bool ReadLookupTable(Status* status);
  bool ReadTable(LookupTable& table, Status* status);
  bool WriteLookupTable(Status* status);
  bool WriteTable(LookupTable& table, Status* status);
  void ChooseFileModes(const std::string& name, const FileAccess::TyqOptions& options,
                       bool& buffered, bool& synchronous) const;
  void ApplyBrickSizeOverride();
  bool ChooseBrickSize(const DataInfo& dataInfo,
                       FileAccess::EnumClass<FileAccess::DataTypeEnum> dataType,
                       const FileAccess::TyqOptions& options, Status* status);
  bool NewIdentity(Status* status);
  void Normalize();
  int64_t GetNextPosition(int64_t& cursor, int64_t size);
  void SetInitialCursors();

  bool CheckWritable(Func& func) const;
  bool BrickIndex(int32_t i, int32_t j, int32_t k, int level, int64_t& index, Func& func) const;
  bool TileIndex(int32_t i, int32_t j, int level, int64_t& index, Func& func) const;
  int64_t DecodeBrick(int64_t entry, void* constantOut) const;
  int64_t DecodeTile(int64_t entry, uint8_t* constantOut) const;
  bool ReadBrickSamples(int32_t i, int32_t j, int32_t k, int level, void* buffer,
                        int64_t skipBefore, int64_t skipAfter, bool windowed, Func& func);
  // Whether `size` bytes stored at `position` lie in the data area: clear of
  // the header, the description blocks and both tables, and inside the file.
  // The caller holds the table lock.
  bool InDataArea(int64_t position, int64_t size) const;
  bool StoredBlocksFit(const LookupTable& table, bool tiles, Status* status) const;
  // Maps a read-only file anew after its size was read; see file_mapping.cpp.
  void RefreshMapping();
  bool ReadBlock(int64_t position, size_t traceBytes, size_t size, void* buffer, Func& func);
  bool WriteBlock(int64_t position, size_t traceBytes, size_t size, const void* data, Func& func);
  void OnBrickWritten(int level, int32_t i, int32_t j, int32_t k);
  // Whether a new brick may be held back in the open batch.
  bool Batching() const;
  // Holds back a new brick placed at `position`, writing the held run first
  // when the brick does not extend it.
  bool HoldBrick(int32_t i, int32_t j, int32_t k, int level, int64_t index, int64_t position,
                 const void* data, Func& func);
  bool WriteHeldBricks(Func& func);
  int64_t TileBytes() const;
  int64_t BrickBytes() const;

  FileAccess::FileADT* file_ = nullptr;
  std::unique_ptr<FileAccess::FileADT> ownedFile_;
  const FileVersionHandlerBase* handler_ = nullptr;
  FileInfo fileInfo_;
  int32_t sampleSize_ = 0;
  TableGeometry geometry_;
  int64_t infoPosition_ = -1;
  bool infoChanged_ = false;
  DataInfo dataInfo_;
  int64_t histPosition_ = -1;
  bool histChanged_ = false;
  Histogram hist_;
  LookupTable brickTable_;
  LookupTable tileTable_;
  bool open_ = false;
  bool writable_ = false;
  int64_t tileCursor_ = -1;
  int64_t brickCursor_ = -1;
  // The end of the file as far as is known: its size when read, grown by
  // every block placed since. Guarded by the table lock.
  int64_t dataEnd_ = 0;
  bool sequential_ = false;
  Access::DirtyMarks marks_;
  // New bricks held back by an open batch: one run of adjacent places in the
  // file, written in one transfer. Only the thread that opened the batch
  // adds to it.
  struct HeldBrick {
    int level;
    int32_t i, j, k;
    int64_t index;
    int64_t position;
  };
  struct HeldRun {
    std::atomic<std::thread::id> owner{};  // the thread whose batch is open, if any
    int64_t start = 0;
    size_t used = 0;
    AlignedBuffer bytes;
    std::vector<HeldBrick> bricks;
  } heldRun_;
  // The end of the held run while it is not yet in the file, so that new
  // places are found beyond it. Guarded by the table lock.
  int64_t heldEnd_ = 0;
  // Guards the table entries, their changed flags, the placement cursors
  // and the written region while bricks and tiles move.
  mutable std::mutex tableLock_;
  // The whole file, mapped while it is open read-only and may be mapped.
  MappedFile mapping_;
};

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
