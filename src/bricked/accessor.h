#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "bricked/conversion.h"
#include "bricked/file.h"
#include "core/aligned_buffer.h"
#include "core/ref_counted.h"
#include "access/lod_driver.h"
#include "tyq/stats.h"
#include "tyq/accessor.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {

// The accessor over an uncompressed volume file: cuts requests into bricks,
// fetches them from the file object, converts samples between the stored
// coding and the caller's type and scale, and lays them out in the caller's
// storage order. One thread at a time; only the reference count is atomic.
class Accessor final : public FileAccess::Accessor, private RefCounted {
 public:
  using FileInfo = FileAccess::FileInfo;
  using DataInfo = FileAccess::DataInfo;
  using Histogram = FileAccess::Histogram;
  using StorageOrder = FileAccess::EnumClass<FileAccess::StorageOrderEnum>;

  // `file`, when given, is used for every file object and never destroyed.
  explicit Accessor(FileAccess::FileADT* file = nullptr);
  ~Accessor() override;

  bool Open(const std::string& name, const FileAccess::TyqOptions& options, Status* status,
            bool readOnly, int version);
  bool Create(const std::string& name, const DataInfo& dataInfo,
              FileAccess::EnumClass<FileAccess::DataTypeEnum> dataType,
              const FileAccess::TyqOptions& options, Status* status, float valueMin, float valueMax,
              int version);

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

  // Writer
  bool Flush(bool newIdentity, bool generateLods, Status* status) override;
  bool Finalize(bool newIdentity, bool generateLods, Status* status) override;
  void Discard(Status* status) override;
  bool SetDataInfo(const DataInfo& info, Status* status) override;
  bool WriteGridFlags(int lod, int i0, int j0, int ni, int nj, const unsigned char* flags,
                      Status* status) override;
  bool WriteData(int lod, int i0, int j0, int k0, int ni, int nj, int nk, const float* data,
                 Status* status) override;
  bool WriteData(int lod, int i0, int j0, int k0, int ni, int nj, int nk, const short* data,
                 Status* status) override;
  bool WriteData(int lod, int i0, int j0, int k0, int ni, int nj, int nk, const signed char* data,
                 Status* status) override;
  bool WriteGridFlagsTile(int lod, int ti, int tj, int nti, int ntj,
                          const unsigned char* const* tiles, Status* status) override;
  bool WriteDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                      const signed char* const* bricks, Status* status) override;
  bool WriteDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                      const short* const* bricks, Status* status) override;
  bool WriteDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                      const float* const* bricks, Status* status) override;
  bool WriteRawBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                     const void* const* bricks, Status* status) override;

  // Reads one whole brick in the stored sample type; 0 or the error code.
  class BrickReader : public Lod::BrickSource {
   public:
    explicit BrickReader(Accessor& accessor) : accessor_(accessor) {}
    int GetBrick(int i, int j, int k, int lod, void* buffer, Status* status) override;

   private:
    Accessor& accessor_;
  };

  File* GetFile() const { return file_.get(); }

 private:
  bool Initialize(const FileAccess::TyqOptions& options, Status* status);
  void ResetAccessScaleRange();
  bool UpdateConvFcn(Status* status);
  bool CheckOpen(Func& func) const;
  bool CheckLod(int lod, Func& func) const;

  template <typename T>
  bool ReadGeneralRangeT(int lod, const int start[3], const int size[3], T* data, Func& func);
  template <typename T>
  bool ReadBrickRangeT(int lod, const int start[3], const int count[3], T** bricks, bool raw,
                       Func& func);
  template <typename T>
  bool ReadDataExT(int lod, const int begin[3], const int end[3], T** bricks, bool raw, Func& func);
  template <typename T>
  ConvFcn ReadConversion(bool raw) const;
  template <typename T>
  ConvFcn WriteConversion(bool raw) const;
  template <typename T>
  bool WriteGeneralRangeT(int lod, const int start[3], const int size[3], const T* data,
                          Func& func);
  template <typename T>
  bool WriteBrickRangeT(int lod, const int start[3], const int count[3],
                        const T* const* bricks, bool raw, Func& func);
  template <typename T>
  bool WriteDataExT(int lod, const int begin[3], const int end[3], const T* const* bricks,
                    bool raw, Func& func);
  // Stores one brick of a column whose flag tile is `tile` (state as below),
  // keeping the in-memory histogram exact at level 0.
  bool StoreBrick(int lod, const int index[3], const void* samples, bool direct, int tileState,
                  const unsigned char* tile, Func& func);
  bool CheckWritable(Func& func) const;
  bool GenerateLODs(int highest, int force, const int* begin, const int* end, Status* status);
  void FlagExtent(int lod, int extent[3]) const;
  // State of a flag tile: 0 absent, 1 all dead, 2 all live, 3 mixed.
  bool ReadRawGridFlagsTile(int lod, int ti, int tj, int* state, unsigned char* buffer, Func& func);

  FileAccess::FileADT* callerFile_ = nullptr;
  std::unique_ptr<File> file_;
  const FileInfo* fileInfo_ = nullptr;
  const DataInfo* dataInfo_ = nullptr;
  float scaleLow_ = 0.0f;
  float scaleHigh_ = 0.0f;
  StorageOrder accessOrder_;
  int brickStrides_[3] = {0, 0, 0};
  int flagStrides_[2] = {0, 0};
  ConversionTables conversions_{};
  std::unique_ptr<HistogramBuilder> hist_;  // present exactly while writable
  Lod::LodSettings lodSettings_;
  AlignedBuffer oldBrick_;  // the overwritten brick, kept between writes
};

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
