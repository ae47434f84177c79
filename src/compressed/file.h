#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "compressed/file_adt.h"
#include "compressed/format.h"
#include "tyq/file.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {

class FileVersionHandlerBase;

struct LookupTable {
  std::vector<int64_t> entries;
  int64_t stored = 0;
  bool changed = false;
};

// One open compressed volume file. The file is only appended to: bricks,
// tiles, tables and histogram go to its end, and only header, offsets and
// information block are rewritten in place.
//
// Threads: brick and tile transfers may run from several threads at once;
// the table entries and the end of file are guarded by one lock, under
// which records are appended. Life cycle and record setters belong to one
// thread while no other call runs.
class File final : public CompressedFileADT {
 public:
  // Without `file`, one is made by the process-wide factory and owned here.
  File(FileAccess::FileFactory::UsageHint hint, FileAccess::FileADT* file);
  ~File() override;

  bool IsTwoStage() const override { return twoStage_; }
  bool IsWritable() const override { return writable_; }
  bool Create(const std::string& name, const DataInfo& dataInfo, float sqnr, int32_t version,
              bool overwrite, Status* status) override;
  bool Open(const std::string& name, int32_t version, Status* status) override;
  bool Finalize(bool newRevision, Status* status) override;
  bool Discard(Status* status) override;
  const FileInfo* GetFileInfo(Status* status) const override;
  const DataInfo* GetDataInfo(Status* status) const override;
  const Histogram* GetDataHist(Status* status) const override;
  bool GetGridFlagsTilePos(long long* out, int level, int32_t i0, int32_t j0, int32_t ni,
                           int32_t nj, Status* status) override;
  bool GetDataBrickPos(long long* out, int level, int32_t i0, int32_t j0, int32_t k0, int32_t ni,
                       int32_t nj, int32_t nk, Status* status) override;
  bool SetBrick(int32_t i, int32_t j, int32_t k, int level, const CompressedBlock3d& block,
                Status* status) override;
  bool GetBrick(int32_t i, int32_t j, int32_t k, int level, CompressedBlock3d& block,
                Status* status) override;
  bool SetGridFlagsTile(int32_t i, int32_t j, int level, const AlphaTile& tile,
                        Status* status) override;
  bool GetGridFlagsTile(int32_t i, int32_t j, int level, AlphaTile& tile, Status* status) override;
  bool SetDataInfo(const DataInfo& info, Status* status) override;
  bool SetDataStats(int64_t count, double sum, double sumOfSquares, double min, double max,
                    Status* status) override;
  bool SetDataHist(int64_t count, double min, double max, const int64_t* bins,
                   Status* status) override;

  int64_t GetBrickLookupIndex(int32_t i, int32_t j, int32_t k, int level, Status* status) const;
  int64_t GetAlphaPlaneLookupIndex(int32_t i, int32_t j, int level, Status* status) const;

 private:
  bool SetVersion(int32_t version, Status* status);
  bool ReadFileHeader(int32_t version, Status* status);
  bool WriteFileHeader(Status* status);
  bool ReadOffsets(Status* status);
  bool WriteOffsets(Status* status);
  bool ReadInfo(Status* status);
  bool WriteInfo(Status* status);
  bool ReadHist(Status* status);
  bool WriteHist(Status* status);
  // The statistics record, when the file has a sound one; without it the
  // count and sums read as 0, as they do in files of other writers.
  void ReadStats();
  bool WriteStats(Status* status);
  // The level geometry of both tables, without their entries.
  bool SetTableGeometry(Status* status);
  bool AllocateTable(LookupTable& table, int64_t entries, Func& func);
  bool OnCriticalInfoChanged(Status* status);
  bool ReadLookupTable(Status* status);
  bool ReadTable(int64_t position, int64_t entries, LookupTable& table, Status* status);
  bool WriteLookupTable(Status* status);
  bool WriteTable(LookupTable& table, int64_t& position, Func& func);
  bool NewRevision(Status* status);
  void Normalize();
  bool Fail(Func& func);
  bool CheckWritable(Func& func) const;
  // Appends `record` at the end of the file; the caller holds the lock.
  bool Append(const std::string& record, int64_t& position, Func& func);
  bool ReadAt(int64_t position, size_t size, void* buffer, Func& func);
  void SetEntry(LookupTable& table, int64_t index, int64_t position);
  void EntriesOf(const LookupTable& table, long long* out, int level, const int32_t begin[3],
                 const int32_t count[3], bool tiles) const;

  FileAccess::FileADT* file_ = nullptr;
  std::unique_ptr<FileAccess::FileADT> ownedFile_;
  FileAccess::FileFactory::UsageHint hint_;
  const FileVersionHandlerBase* handler_ = nullptr;
  bool twoStage_ = false;
  FileInfo fileInfo_;
  DataInfo dataInfo_;
  Histogram hist_;
  Offsets offsets_;
  bool infoChanged_ = false;
  bool histChanged_ = false;
  LevelGeometry bricks_;
  LevelGeometry tiles_;
  LookupTable brickTable_;
  LookupTable tileTable_;
  bool open_ = false;
  bool writable_ = false;
  int64_t end_ = 0;
  mutable std::mutex lock_;
};

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
