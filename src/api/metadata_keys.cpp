#include <cstring>
#include <iterator>

#include "api/api_internal.h"

namespace Qra::Ostrel::Tyq::TyqApi {

namespace {

constexpr int kFirstKeyCode = MetaDataKey::Size0;

// Indexed by code - kFirstKeyCode. Hosts look values up by these texts, so
// they never change.
constexpr const char* kKeyNames[] = {
    "Size0",
    "Size1",
    "Size2",
    "DataType",
    "DataMin",
    "DataMax",
    "InlineStart",
    "InlineInc",
    "CrosslineStart",
    "CrosslineInc",
    "ZUnitDim",
    "ZUnitFactor",
    "ZUnitName",
    "ZStart",
    "ZInc",
    "HUnitDim",
    "HUnitFactor",
    "HUnitName",
    "HCorner00X",
    "HCorner00Y",
    "HCorner0NX",
    "HCorner0NY",
    "HCornerM0X",
    "HCornerM0Y",
    "HCornerMNX",
    "HCornerMNY",
    "BrickSize0",
    "BrickSize1",
    "BrickSize2",
    "NumberOfBricks0",
    "NumberOfBricks1",
    "NumberOfBricks2",
    "BrickStorageOrder",
    "NumberOfLoDs",
    "LodAlgorithm1",
    "LodAlgorithm2",
    "LodAlgorithmN",
    "Sqnr",
};
static_assert(std::size(kKeyNames) == MetaDataKey::Sqnr - kFirstKeyCode + 1);

struct LodAlgorithmName {
  const char* name;
  int number;
};

// Searched in this order; the first exact match wins.
constexpr LodAlgorithmName kLodAlgorithms[] = {
    {"Default", 0},      {"LowPass", 100},         {"WeightedAverage", 101},  {"Average", 102},
    {"Median", 103},     {"Minimum", 104},         {"Maximum", 105},          {"MinMax", 106},
    {"Decimate", 107},   {"DecimateSkipNaN", 108}, {"DecimateRandom", 109},   {"AllZero", 110},
    {"WhiteNoise", 111}, {"MostFrequent", 112},    {"MostFrequentNon0", 113}, {"AverageNon0", 114},
};

// Longest accepted name plus its terminator.
constexpr int kLodNameBufferSize = 32;

}  // namespace

namespace MetaDataKey {

SimpleString Get(int code) {
  // Compared before subtracting, so that no code can overflow.
  if (code < kFirstKeyCode || code > MetaDataKey::Sqnr) {
    return SimpleString("<unknown code>");
  }
  return SimpleString(kKeyNames[code - kFirstKeyCode]);
}

}  // namespace MetaDataKey

bool LodAlgorithmNumber(const Generic& value, int* number) {
  SimpleString text;
  char name[kLodNameBufferSize];
  if (number == nullptr || !value.get(&text) || text.getCstr(name, kLodNameBufferSize) < 0) {
    return false;
  }
  for (const LodAlgorithmName& entry : kLodAlgorithms) {
    if (std::strcmp(name, entry.name) == 0) {
      *number = entry.number;
      return true;
    }
  }
  return false;
}

}  // namespace Qra::Ostrel::Tyq::TyqApi
