#include <algorithm>

#include "tyq/records.h"

namespace Qra::Ostrel::Tyq::FileAccess {

namespace {

int32_t ceilDiv(int32_t size, int32_t brick) {
  if (brick <= 0 || size <= 0) return 0;
  return static_cast<int32_t>((int64_t{size} + brick - 1) / brick);
}

// 1 + ceil(log2(largest)), or 1 when there is at most one brick per axis.
int32_t levelsFor(int32_t largest) {
  int32_t levels = 1;
  while (levels < 32 && (int64_t{1} << (levels - 1)) < largest) ++levels;
  return levels;
}

}  // namespace

void FileInfo::SetBasic(const std::string& name, int64_t size) {
  fileName = name;
  fileSize = size;
}

void FileInfo::SetFormat(const std::string& name, int32_t version, int64_t alignment) {
  formatName = name;
  formatVersion = version;
  brickAlignment = alignment;
}

void FileInfo::SetBricked(int32_t size0, int32_t size1, int32_t size2, int32_t brick0,
                          int32_t brick1, int32_t brick2, int32_t lods,
                          EnumClass<StorageOrderEnum> order) {
  brickSize[0] = brick0;
  brickSize[1] = brick1;
  brickSize[2] = brick2;
  brickCount[0] = ceilDiv(size0, brick0);
  brickCount[1] = ceilDiv(size1, brick1);
  brickCount[2] = ceilDiv(size2, brick2);
  const int32_t largest = std::max({brickCount[0], brickCount[1], brickCount[2]});
  numberOfLods = lods > 0 ? lods : levelsFor(largest);
  storageOrder = order;
}

void FileInfo::SetUnbricked(EnumClass<StorageOrderEnum> order) {
  for (int a = 0; a < 3; ++a) brickSize[a] = brickCount[a] = 0;
  numberOfLods = 1;
  storageOrder = order;
}

bool FileInfo::IsBricked() const {
  return int64_t{brickSize[0]} * brickSize[1] * brickSize[2] > 1;
}

void FileInfo::SetCodingUncompressed(EnumClass<DataTypeEnum> type, float min, float max) {
  coding = CodingTypeEnum::Uncompressed;
  dataType = type;
  valueMin = min;
  valueMax = max;
  compressionFactor = 0.0f;
  sqnr = 0.0f;
}

void FileInfo::SetCodingCompressed(float factor, float quality) {
  coding = CodingTypeEnum::Compressed;
  dataType = DataTypeEnum::Float32;
  valueMin = valueMax = 0.0f;
  compressionFactor = factor;
  sqnr = quality;
}

int32_t FileInfo::GetNumberOfSamplesPerBrick() const {
  return static_cast<int32_t>(int64_t{brickSize[0]} * brickSize[1] * brickSize[2]);
}

int32_t FileInfo::GetNumberOfSamplesPerHorzTile() const {
  return static_cast<int32_t>(int64_t{brickSize[0]} * brickSize[1]);
}

int32_t FileInfo::GetNumberOfBytesPerBrick() const {
  return static_cast<int32_t>(int64_t{GetNumberOfSamplesPerBrick()} * DataTypeEnum::Size(dataType));
}

int32_t FileInfo::GetNumberOfBricks(int axis, int lod) const {
  if (lod <= 0) return brickCount[axis];
  if (lod >= 62) return brickCount[axis] > 0 ? 1 : 0;
  return static_cast<int32_t>((int64_t{brickCount[axis]} + (int64_t{1} << lod) - 1) >> lod);
}

int64_t FileInfo::GetTotalNumberOfBricks(int lod) const {
  return int64_t{GetNumberOfBricks(0, lod)} * GetNumberOfBricks(1, lod) * GetNumberOfBricks(2, lod);
}

void FileInfo::GetBrickRange(int32_t& first, int32_t& count, int axis, int32_t begin, int32_t size,
                             int lod) const {
  const int64_t brick = brickSize[axis];
  if (brick <= 0) {
    first = count = 0;
    return;
  }
  int64_t length = size;
  if (size < 0) length = int64_t{GetNumberOfBricks(axis, lod)} * brick - begin;
  first = static_cast<int32_t>(begin / brick);
  count = static_cast<int32_t>((begin + length + brick - 1) / brick - first);
}

void FileInfo::GetBrickRange(int32_t& first0, int32_t& first1, int32_t& first2, int32_t& count0,
                             int32_t& count1, int32_t& count2, int32_t begin0, int32_t begin1,
                             int32_t begin2, int32_t size0, int32_t size1, int32_t size2,
                             int lod) const {
  GetBrickRange(first0, count0, 0, begin0, size0, lod);
  GetBrickRange(first1, count1, 1, begin1, size1, lod);
  GetBrickRange(first2, count2, 2, begin2, size2, lod);
}

void FileInfo::GetHorzTileRange(int32_t& first0, int32_t& first1, int32_t& count0, int32_t& count1,
                                int32_t begin0, int32_t begin1, int32_t size0, int32_t size1,
                                int lod) const {
  GetBrickRange(first0, count0, 0, begin0, size0, lod);
  GetBrickRange(first1, count1, 1, begin1, size1, lod);
}

bool operator==(const FileInfo& a, const FileInfo& b) {
  for (int i = 0; i < 3; ++i) {
    if (a.brickSize[i] != b.brickSize[i] || a.brickCount[i] != b.brickCount[i]) return false;
  }
  if (a.fileName != b.fileName || a.fileSize != b.fileSize || a.formatName != b.formatName ||
      a.formatVersion != b.formatVersion || a.brickAlignment != b.brickAlignment ||
      a.numberOfLods != b.numberOfLods || a.storageOrder != b.storageOrder ||
      a.coding != b.coding || a.dataType != b.dataType) {
    return false;
  }
  if (a.dataType != DataTypeEnum::Float32 &&
      (a.valueMin != b.valueMin || a.valueMax != b.valueMax)) {
    return false;
  }
  if (a.coding != CodingTypeEnum::Uncompressed &&
      (a.compressionFactor != b.compressionFactor || a.sqnr != b.sqnr)) {
    return false;
  }
  return true;
}

}  // namespace Qra::Ostrel::Tyq::FileAccess
