#pragma once

// What the compressed store needs of a compressed volume file: its records,
// coded bricks and flag tiles by index, and its life cycle. The file object
// implements it; a wrapper serialises it for several threads.
#include <cstdint>
#include <string>

#include "compressed/alpha_tile.h"
#include "tyq/compressor3d.h"
#include "tyq/records.h"
#include "tyq/status.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {

class CompressedFileADT {
 public:
  using FileInfo = FileAccess::FileInfo;
  using DataInfo = FileAccess::DataInfo;
  using Histogram = FileAccess::Histogram;

  virtual ~CompressedFileADT() = default;
  virtual bool IsTwoStage() const = 0;
  virtual bool IsWritable() const = 0;
  virtual bool Create(const std::string& name, const DataInfo& dataInfo, float sqnr,
                      int32_t version, bool overwrite, Status* status) = 0;
  virtual bool Open(const std::string& name, int32_t version, Status* status) = 0;
  virtual bool Finalize(bool newRevision, Status* status) = 0;
  virtual bool Discard(Status* status) = 0;
  virtual const FileInfo* GetFileInfo(Status* status) const = 0;
  virtual const DataInfo* GetDataInfo(Status* status) const = 0;
  virtual const Histogram* GetDataHist(Status* status) const = 0;
  // Entries (position, 1 for a zero brick without record, 0 for absent or
  // out of range), i outermost and k innermost.
  virtual bool GetGridFlagsTilePos(long long* out, int level, int32_t i0, int32_t j0, int32_t ni,
                                   int32_t nj, Status* status) = 0;
  virtual bool GetDataBrickPos(long long* out, int level, int32_t i0, int32_t j0, int32_t k0,
                               int32_t ni, int32_t nj, int32_t nk, Status* status) = 0;
  virtual bool SetBrick(int32_t i, int32_t j, int32_t k, int level, const CompressedBlock3d& block,
                        Status* status) = 0;
  virtual bool GetBrick(int32_t i, int32_t j, int32_t k, int level, CompressedBlock3d& block,
                        Status* status) = 0;
  virtual bool SetGridFlagsTile(int32_t i, int32_t j, int level, const AlphaTile& tile,
                                Status* status) = 0;
  virtual bool GetGridFlagsTile(int32_t i, int32_t j, int level, AlphaTile& tile,
                                Status* status) = 0;
  virtual bool SetDataInfo(const DataInfo& info, Status* status) = 0;
  virtual bool SetDataStats(int64_t count, double sum, double sumOfSquares, double min, double max,
                            Status* status) = 0;
  virtual bool SetDataHist(int64_t count, double min, double max, const int64_t* bins,
                           Status* status) = 0;
};

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
