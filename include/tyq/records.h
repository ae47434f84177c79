#pragma once

#include <cstdint>
#include <string>

#include "tyq/enums.h"
#include "tyq/export.h"

namespace Qra::Ostrel::Tyq::FileAccess {

// A unit of measure: how many base units one unit is, and its name.
class TYQ_EXPORT Unit {
 public:
  Unit() = default;
  Unit(double f, const std::string& n) : factor(f), name(n) {}
  friend bool operator==(const Unit& a, const Unit& b) {
    return a.factor == b.factor && a.name == b.name;
  }
  friend bool operator!=(const Unit& a, const Unit& b) { return !(a == b); }

  double factor = 1.0;
  std::string name;
};

// Physical description of a volume file: name and size, format, brick
// geometry, levels of detail, sample type and coding.
class TYQ_EXPORT FileInfo {
 public:
  void SetBasic(const std::string& name, int64_t size);
  void SetFormat(const std::string& name, int32_t version, int64_t alignment);
  // lods <= 0 derives the level count from the largest brick count.
  void SetBricked(int32_t size0, int32_t size1, int32_t size2, int32_t brick0, int32_t brick1,
                  int32_t brick2, int32_t lods, EnumClass<StorageOrderEnum> order);
  void SetUnbricked(EnumClass<StorageOrderEnum> order);
  bool IsBricked() const;
  void SetCodingUncompressed(EnumClass<DataTypeEnum> type, float min, float max);
  void SetCodingCompressed(float factor, float sqnr);

  int32_t GetNumberOfSamplesPerBrick() const;
  int32_t GetNumberOfSamplesPerHorzTile() const;
  int32_t GetNumberOfBytesPerBrick() const;
  int32_t GetNumberOfBricks(int axis, int lod) const;
  int64_t GetTotalNumberOfBricks(int lod) const;
  // Bricks of one axis touched by `size` samples from `begin` at level `lod`;
  // a negative size reaches to the end of the level's bricked extent.
  void GetBrickRange(int32_t& first, int32_t& count, int axis, int32_t begin, int32_t size,
                     int lod) const;
  void GetBrickRange(int32_t& first0, int32_t& first1, int32_t& first2, int32_t& count0,
                     int32_t& count1, int32_t& count2, int32_t begin0, int32_t begin1,
                     int32_t begin2, int32_t size0, int32_t size1, int32_t size2, int lod) const;
  void GetHorzTileRange(int32_t& first0, int32_t& first1, int32_t& count0, int32_t& count1,
                        int32_t begin0, int32_t begin1, int32_t size0, int32_t size1,
                        int lod) const;

  friend TYQ_EXPORT bool operator==(const FileInfo& a, const FileInfo& b);
  friend bool operator!=(const FileInfo& a, const FileInfo& b) { return !(a == b); }

  std::string fileName;
  int64_t fileSize = 0;
  std::string formatName;
  int32_t formatVersion = 0;
  int64_t brickAlignment = 1;
  int32_t brickSize[3] = {0, 0, 0};
  int32_t brickCount[3] = {0, 0, 0};
  int32_t numberOfLods = 0;
  EnumClass<StorageOrderEnum> storageOrder;
  EnumClass<CodingTypeEnum> coding;
  EnumClass<DataTypeEnum> dataType;
  float valueMin = 0.0f;
  float valueMax = 0.0f;
  float compressionFactor = 0.0f;
  float sqnr = 0.0f;
};

// Logical description of a survey: identity, source, annotation axes,
// written region, statistics, world corners and units.
class TYQ_EXPORT DataInfo {
 public:
  using Guid = uint8_t[16];

  void SetId(const uint8_t* id, const uint8_t* dataId, const uint8_t* previousId, int32_t counter);
  void SetSourceInfo(const std::string& name, const std::string& description,
                     EnumClass<DataTypeEnum> type);
  void SetExtent(float start0, float inc0, int32_t size0, float start1, float inc1, int32_t size1,
                 float start2, float inc2, int32_t size2, bool full);
  void SetStatistics(int64_t count, double sum, double sumOfSquares, float min, float max);
  void SetHorzDomain(const std::string& coordinateSystem, EnumClass<HorzDimEnum> dimension,
                     double factor, const std::string& unitName);
  void SetVertDomain(EnumClass<VertDimEnum> dimension, double factor, const std::string& unitName);
  void Reset();

  float GetAnnot(int axis, int32_t index) const;
  float GetFirstAnnot(int axis) const;
  float GetLastAnnot(int axis) const;
  int64_t GetTotalNumberOfSamples() const;
  int64_t GetCrossSectionNumberOfSamples(int axis) const;

  // Statistics and unit factors compare as numbers (NaN never equals); every
  // other number bit for bit.
  friend TYQ_EXPORT bool operator==(const DataInfo& a, const DataInfo& b);
  friend bool operator!=(const DataInfo& a, const DataInfo& b) { return !(a == b); }

  Guid fileId = {};
  Guid dataId = {};
  Guid previousDataId = {};
  int32_t updateCounter = 0;
  std::string sourceName;
  std::string sourceDescription;
  EnumClass<DataTypeEnum> sourceType;
  float annotStart[3] = {0, 0, 0};
  float annotInc[3] = {0, 0, 0};
  int32_t size[3] = {0, 0, 0};
  int32_t regionBegin[3] = {0, 0, 0};
  int32_t regionSize[3] = {0, 0, 0};
  int64_t statCount = 0;
  double statSum = 0.0;
  double statSumOfSquares = 0.0;
  float statMin = 0.0f;
  float statMax = 0.0f;
  float annotBox[6] = {0, 0, 0, 0, 0, 0};
  double corners[4][2] = {{0, 0}, {0, 0}, {0, 0}, {0, 0}};
  std::string coordinateSystem;
  EnumClass<HorzDimEnum> horzDimension;
  Unit horzUnit;
  EnumClass<VertDimEnum> vertDimension;
  Unit vertUnit;
};

// The public 256-bin histogram; the binning rule lives with the builder.
class TYQ_EXPORT Histogram {
 public:
  static constexpr int kBins = 256;
  Histogram() = default;
  Histogram(int64_t n, float lo, float hi) : count(n), min(lo), max(hi) {}
  friend TYQ_EXPORT bool operator==(const Histogram& a, const Histogram& b);
  friend bool operator!=(const Histogram& a, const Histogram& b) { return !(a == b); }

  int64_t count = 0;
  float min = 0.0f;
  float max = 0.0f;
  int64_t bins[kBins] = {};
};

// What a caller asks for when opening or creating a file.
class TYQ_EXPORT TyqOptions {
 public:
  TyqOptions() = default;

  float sqnr = 0.0f;  // <= 0: uncompressed
  // 100 + n selects decimation algorithm n; anything else the level's default.
  int32_t lod1Algorithm = 0;
  int32_t lod2Algorithm = 0;
  int32_t lodNAlgorithm = 0;
  bool reserved1 = false;
  bool noAutoFlush = false;
  bool unbuffered = false;
  bool asynchronous = false;
  bool reserved2 = false;
  // Brick size of a new uncompressed file along axes 0, 1, 2; all 0 for
  // the default (64 x 64 x 64, or what OSTREL_TYQ_BRICK_SIZE asks for).
  // Version-1 files have 64 x 64 x 64 bricks only.
  int32_t brickSize[3] = {0, 0, 0};
  // Decoded bricks a compressed reader keeps, in MiB; negative: the
  // setting "OSTREL_TYQ_BRICK_CACHE_MB", else a sixteenth of the machine's
  // memory and at least 256.
  int32_t brickCacheMegabytes = -1;
  // Threads of the library's pool that one reader or writer may use for
  // the bricks of one request (decoding, coding, decimation); 1 runs every
  // brick on the caller's thread, 0 one thread per core, negative: the
  // setting "OSTREL_TYQ_THREADS", else 1.
  int32_t threads = -1;
};

}  // namespace Qra::Ostrel::Tyq::FileAccess
