#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "core/ref_counted.h"
#include "tyq/accessor.h"
#include "tyq/file.h"

namespace Qra::Ostrel::Tyq::Private::Factory {

class SyntheticReaderImp;

// A read-only volume whose samples are computed, not stored, from a short
// text description (synthetic_description.h). It gives tests and
// demonstrations a volume of any size without storage. Every call holds the
// reader's lock, so threads may share one reader; their calls take turns.
class SyntheticReader final : public FileAccess::Reader, private RefCounted {
 public:
  using FileInfo = FileAccess::FileInfo;
  using DataInfo = FileAccess::DataInfo;
  using Histogram = FileAccess::Histogram;
  using StorageOrder = FileAccess::EnumClass<FileAccess::StorageOrderEnum>;

  // Makes a reader for the description `name`, read through `file` when
  // given (closed, but never destroyed, when the reader goes) or else through
  // a file from the current file factory, and opens it. On success `reader`
  // receives it; returns 0 or the error code.
  static int Create(FileAccess::AutoRef<FileAccess::Reader>& reader, const std::string& name,
                    FileAccess::FileADT* file, Status* status);

  explicit SyntheticReader(const std::string& name, FileAccess::FileADT* file = nullptr);
  ~SyntheticReader() override;
  SyntheticReader(const SyntheticReader&) = delete;
  SyntheticReader& operator=(const SyntheticReader&) = delete;

  // Reads the description and builds the records from it. On failure the
  // records of an earlier successful open stay in force.
  bool Open(const std::string& name, Status* status);

  // AccessorBase
  bool GetFileInfo(FileInfo& info, Status* status) override;
  bool GetDataInfo(DataInfo& info, Status* status) override;
  bool GetDataHist(Histogram& hist, Status* status) override;
  bool SetAccessScaleRange(float low, float high, Status* status) override;
  bool GetAccessScaleRange(float& low, float& high, Status* status) override;
  bool SetAccessStorageOrder(StorageOrder order, Status* status) override;
  bool GetAccessStorageOrder(StorageOrder& order, Status* status) override;
  bool GetGridFlagsTilePos(long long* positions, int lod, int ti, int tj, int nti, int ntj,
                           Status* status) override;
  bool GetDataBrickPos(long long* positions, int lod, int bi, int bj, int bk, int nbi, int nbj,
                       int nbk, Status* status) override;
  void AddRef() override;
  void Release() override;

  // Reader
  bool Reopen(Status* status) override;
  bool ReadGridFlags(int lod, int i0, int j0, int ni, int nj, unsigned char* flags,
                     Status* status) override;
  bool ReadData(int lod, int i0, int j0, int k0, int ni, int nj, int nk, float* data,
                Status* status) override;
  bool ReadData(int lod, int i0, int j0, int k0, int ni, int nj, int nk, short* data,
                Status* status) override;
  bool ReadData(int lod, int i0, int j0, int k0, int ni, int nj, int nk, signed char* data,
                Status* status) override;
  bool ReadGridFlagsTile(int lod, int ti, int tj, int nti, int ntj, unsigned char** tiles,
                         Status* status) override;
  bool ReadDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                     signed char** bricks, Status* status) override;
  bool ReadDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk, short** bricks,
                     Status* status) override;
  bool ReadDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk, float** bricks,
                     Status* status) override;
  bool ReadRawBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk, void** bricks,
                    Status* status) override;

 private:
  std::unique_ptr<SyntheticReaderImp> imp_;
};

}  // namespace Qra::Ostrel::Tyq::Private::Factory
