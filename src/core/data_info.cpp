#include <cstring>

#include "tyq/records.h"

namespace Qra::Ostrel::Tyq::FileAccess {

namespace {

void copyId(uint8_t* to, const uint8_t* from) {
  if (from) {
    std::memcpy(to, from, 16);
  } else {
    std::memset(to, 0, 16);
  }
}

template <typename T, size_t N>
bool sameBits(const T (&a)[N], const T (&b)[N]) {
  return std::memcmp(a, b, sizeof a) == 0;
}

}  // namespace

void DataInfo::SetId(const uint8_t* id, const uint8_t* newDataId, const uint8_t* previousId,
                     int32_t counter) {
  copyId(fileId, id);
  copyId(dataId, newDataId);
  copyId(previousDataId, previousId);
  updateCounter = counter;
}

void DataInfo::SetSourceInfo(const std::string& name, const std::string& description,
                             EnumClass<DataTypeEnum> type) {
  sourceName = name;
  sourceDescription = description;
  sourceType = type;
}

void DataInfo::SetExtent(float start0, float inc0, int32_t size0, float start1, float inc1,
                         int32_t size1, float start2, float inc2, int32_t size2, bool full) {
  const float starts[3] = {start0, start1, start2};
  const float incs[3] = {inc0, inc1, inc2};
  const int32_t sizes[3] = {size0, size1, size2};
  for (int a = 0; a < 3; ++a) {
    annotStart[a] = starts[a];
    annotInc[a] = incs[a];
    size[a] = sizes[a];
    regionBegin[a] = 0;
    regionSize[a] = full ? sizes[a] : 0;
    annotBox[a] = starts[a];
    annotBox[3 + a] = static_cast<float>(sizes[a]) * incs[a];
  }
}

void DataInfo::SetStatistics(int64_t count, double sum, double sumOfSquares, float min, float max) {
  statCount = count;
  statSum = sum;
  statSumOfSquares = sumOfSquares;
  statMin = min;
  statMax = max;
}

void DataInfo::SetHorzDomain(const std::string& system, EnumClass<HorzDimEnum> dimension,
                             double factor, const std::string& unitName) {
  coordinateSystem = system;
  horzDimension = dimension;
  horzUnit = Unit(factor, unitName);
}

void DataInfo::SetVertDomain(EnumClass<VertDimEnum> dimension, double factor,
                             const std::string& unitName) {
  vertDimension = dimension;
  vertUnit = Unit(factor, unitName);
}

void DataInfo::Reset() {
  *this = DataInfo();
}

float DataInfo::GetAnnot(int axis, int32_t index) const {
  return annotStart[axis] + static_cast<float>(index) * annotInc[axis];
}

float DataInfo::GetFirstAnnot(int axis) const {
  return annotStart[axis];
}

float DataInfo::GetLastAnnot(int axis) const {
  return GetAnnot(axis, size[axis] - 1);
}

int64_t DataInfo::GetTotalNumberOfSamples() const {
  return int64_t{size[0]} * size[1] * size[2];
}

int64_t DataInfo::GetCrossSectionNumberOfSamples(int axis) const {
  return int64_t{size[(axis + 2) % 3]} * size[(axis + 1) % 3];
}

bool operator==(const DataInfo& a, const DataInfo& b) {
  return sameBits(a.fileId, b.fileId) && sameBits(a.dataId, b.dataId) &&
         sameBits(a.previousDataId, b.previousDataId) && a.updateCounter == b.updateCounter &&
         a.sourceName == b.sourceName && a.sourceDescription == b.sourceDescription &&
         a.sourceType == b.sourceType && sameBits(a.annotStart, b.annotStart) &&
         sameBits(a.annotInc, b.annotInc) && sameBits(a.size, b.size) &&
         sameBits(a.regionBegin, b.regionBegin) && sameBits(a.regionSize, b.regionSize) &&
         a.statCount == b.statCount && a.statSum == b.statSum &&
         a.statSumOfSquares == b.statSumOfSquares && a.statMin == b.statMin &&
         a.statMax == b.statMax && sameBits(a.annotBox, b.annotBox) &&
         std::memcmp(a.corners, b.corners, sizeof a.corners) == 0 &&
         a.coordinateSystem == b.coordinateSystem && a.horzDimension == b.horzDimension &&
         a.horzUnit == b.horzUnit && a.vertDimension == b.vertDimension && a.vertUnit == b.vertUnit;
}

}  // namespace Qra::Ostrel::Tyq::FileAccess
