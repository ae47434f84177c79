#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "synthetic/synthetic_description.h"
#include "synthetic/synthetic_field.h"
#include "tyq/accessor.h"
#include "tyq/file.h"

namespace Qra::Ostrel::Tyq::Private::Factory {

// Everything a SyntheticReader holds, and its operations. Each public
// operation runs in a scope named after the reader's operation
// ("SyntheticReader::ReadData"), holds the lock for its whole run, and
// fails with NotOpen unless the description file is open and was read.
class SyntheticReaderImp {
 public:
  using FileInfo = FileAccess::FileInfo;
  using DataInfo = FileAccess::DataInfo;
  using Histogram = FileAccess::Histogram;
  using StorageOrder = FileAccess::EnumClass<FileAccess::StorageOrderEnum>;

  SyntheticReaderImp(const std::string& name, FileAccess::FileADT* file);
  ~SyntheticReaderImp();
  SyntheticReaderImp(const SyntheticReaderImp&) = delete;
  SyntheticReaderImp& operator=(const SyntheticReaderImp&) = delete;

  bool Open(const std::string& name, Status* status);
  bool Reopen(Status* status);

  bool GetFileInfo(FileInfo& info, Status* status);
  bool GetDataInfo(DataInfo& info, Status* status);
  bool GetDataHist(Histogram& hist, Status* status);
  bool SetAccessScaleRange(float low, float high, Status* status);
  bool GetAccessScaleRange(float& low, float& high, Status* status);
  bool SetAccessStorageOrder(StorageOrder order, Status* status);
  bool GetAccessStorageOrder(StorageOrder& order, Status* status);

  // Nothing is stored, so every brick and tile is at position 0.
  bool GetGridFlagsTilePos(long long* positions, int lod, int nti, int ntj, Status* status);
  bool GetDataBrickPos(long long* positions, int lod, const int count[3], Status* status);
  // Every trace is live.
  bool ReadGridFlags(int lod, int ni, int nj, unsigned char* flags, Status* status);
  bool ReadGridFlagsTile(int lod, int nti, int ntj, unsigned char** tiles, Status* status);

  // Boxes of samples at any level of detail, in the access storage order.
  bool ReadData(int lod, const int start[3], const int size[3], float* data, Status* status);
  bool ReadData(int lod, const int start[3], const int size[3], short* data, Status* status);
  bool ReadData(int lod, const int start[3], const int size[3], signed char* data, Status* status);
  // Whole bricks [first, first + count), one buffer per brick (i slowest, k
  // fastest), a null buffer skipping its brick.
  bool ReadDataBrick(int lod, const int first[3], const int count[3], signed char** bricks,
                     Status* status);
  bool ReadDataBrick(int lod, const int first[3], const int count[3], short** bricks,
                     Status* status);
  bool ReadDataBrick(int lod, const int first[3], const int count[3], float** bricks,
                     Status* status);
  // Bricks in the described sample type, as codes of the coding range.
  bool ReadRawBrick(int lod, const int first[3], const int count[3], void** bricks, Status* status);

 private:
  bool OpenLocked(const std::string& name, Func& func);
  bool ReadDescription(const std::string& name, std::string& text, Func& func);
  bool ReadVersion(std::string_view text, SyntheticDescription& description, Status* status);
  void Adopt(const SyntheticDescription& d, const std::string& name, int64_t size);
  bool CheckOpen(Func& func) const;

  template <typename T>
  bool ReadBox(int lod, const int start[3], const int size[3], T* data, Status* status);
  template <typename T>
  bool ReadBricks(int lod, const int first[3], const int count[3], T** bricks, Status* status);
  // Buffer is T* or, for raw bricks, void*.
  template <typename Samples, typename Buffer>
  void FillBricks(int lod, const int first[3], const int count[3], Buffer* bricks,
                  const Samples& samples) const;

  std::mutex lock_;  // held by every public operation
  std::unique_ptr<FileAccess::FileADT> ownedFile_;
  FileAccess::FileADT* file_ = nullptr;
  bool described_ = false;
  FileInfo fileInfo_;
  DataInfo dataInfo_;
  Histogram hist_;
  float scaleLow_ = 0.0f;
  float scaleHigh_ = 0.0f;
  StorageOrder accessOrder_;
  // The last order of 0..5 set, which lays out caller buffers; other order
  // values are kept in accessOrder_ but leave the layout alone.
  int layoutOrder_ = 0;
  SyntheticField field_;
};

}  // namespace Qra::Ostrel::Tyq::Private::Factory
