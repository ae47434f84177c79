// Volume descriptions between the internal records and public metadata keys.
#include <string>
#include <vector>

#include "api/reader_writer_metadata.h"
#include "tyq/status.h"

namespace Qra::Ostrel::Tyq::TyqApi::Impl {

namespace FA = FileAccess;
using Err = FA::Error;

namespace {

std::string toStd(const SimpleString& s) {
  std::vector<char> buffer(static_cast<size_t>(s.size()) + 1);
  s.getCstr(buffer.data(), static_cast<int>(buffer.size()));
  return std::string(buffer.data());
}

// Looks a key up by its code; false when absent or not convertible.
template <typename T>
bool fetch(const MetaDataProvider& metadata, int code, T* out) {
  Generic value;
  return metadata.get(MetaDataKey::Get(code), &value) && value.get(out);
}

bool fetchString(const MetaDataProvider& metadata, int code, std::string* out) {
  SimpleString text;
  if (!fetch(metadata, code, &text)) return false;
  *out = toStd(text);
  return true;
}

bool vertFromCode(int code, FA::VertDimEnum::value_type* out) {
  switch (code) {
    case 1000:
      *out = FA::VertDimEnum::Unknown;
      return true;
    case 1001:
      *out = FA::VertDimEnum::Time;
      return true;
    case 1002:
      *out = FA::VertDimEnum::Depth;
      return true;
    default:
      return false;
  }
}

bool horzFromCode(int code, FA::HorzDimEnum::value_type* out) {
  switch (code) {
    case 1000:
      *out = FA::HorzDimEnum::Unknown;
      return true;
    case 1002:
      *out = FA::HorzDimEnum::Length;
      return true;
    case 1003:
      *out = FA::HorzDimEnum::ArcAngle;
      return true;
    default:
      return false;
  }
}

bool typeFromCode(int code, FA::DataTypeEnum::value_type* out) {
  switch (code) {
    case 1000:
      *out = FA::DataTypeEnum::Int8;
      return true;
    case 1001:
      *out = FA::DataTypeEnum::Int16;
      return true;
    case 1002:
      *out = FA::DataTypeEnum::Float32;
      return true;
    default:
      return false;
  }
}

int typeCode(int type) {
  switch (type) {
    case FA::DataTypeEnum::Int8:
      return 1000;
    case FA::DataTypeEnum::Int16:
      return 1001;
    case FA::DataTypeEnum::Float32:
      return 1002;
    default:
      return 0;
  }
}

int orderCode(int order) {
  return order == 0 ? 1001 : (order == 5 ? 1002 : 0);
}

int vertCode(int dim) {
  switch (dim) {
    case FA::VertDimEnum::Unknown:
      return 1000;
    case FA::VertDimEnum::Depth:
      return 1002;
    case FA::VertDimEnum::Time:
    case FA::VertDimEnum::Time2:
      return 1001;
    default:
      return 0;
  }
}

int horzCode(int dim) {
  switch (dim) {
    case FA::HorzDimEnum::Unknown:
      return 1000;
    case FA::HorzDimEnum::Length:
      return 1002;
    case FA::HorzDimEnum::ArcAngle:
      return 1003;
    default:
      return 0;
  }
}

// The corner of each world-coordinate key pair, in key order 1018..1025.
constexpr int kCornerOfKey[4] = {0, 2, 1, 3};

}  // namespace

int ReadWriterMetadata(const MetaDataProvider& metadata, WriterDescription& out) {
  FA::DataInfo& info = out.dataInfo;
  int typeCodeValue = 0, vertDim = 0, horzDim = 0;
  std::string vertName, horzName;
  double vertFactor = 0, horzFactor = 0;
  // The keys are read in this order, and the first one missing ends the call.
  const bool ok =
      fetch(metadata, 1000, &info.size[0]) && fetch(metadata, 1001, &info.size[1]) &&
      fetch(metadata, 1002, &info.size[2]) && fetch(metadata, 1003, &typeCodeValue) &&
      fetch(metadata, 1004, &out.dataMin) && fetch(metadata, 1005, &out.dataMax) &&
      fetch(metadata, 1006, &info.annotStart[0]) && fetch(metadata, 1007, &info.annotInc[0]) &&
      fetch(metadata, 1008, &info.annotStart[1]) && fetch(metadata, 1009, &info.annotInc[1]) &&
      fetch(metadata, 1010, &vertDim) && fetchString(metadata, 1012, &vertName) &&
      fetch(metadata, 1011, &vertFactor) && fetch(metadata, 1013, &info.annotStart[2]) &&
      fetch(metadata, 1014, &info.annotInc[2]) && fetch(metadata, 1015, &horzDim) &&
      fetchString(metadata, 1017, &horzName) && fetch(metadata, 1016, &horzFactor) &&
      fetch(metadata, 1018, &info.corners[0][0]) && fetch(metadata, 1019, &info.corners[0][1]) &&
      fetch(metadata, 1022, &info.corners[1][0]) && fetch(metadata, 1023, &info.corners[1][1]) &&
      fetch(metadata, 1020, &info.corners[2][0]) && fetch(metadata, 1021, &info.corners[2][1]) &&
      fetch(metadata, 1024, &info.corners[3][0]) && fetch(metadata, 1025, &info.corners[3][1]);
  if (!ok) return Err::InvalidArgument;
  FA::DataTypeEnum::value_type type;
  FA::VertDimEnum::value_type vert;
  FA::HorzDimEnum::value_type horz;
  if (!typeFromCode(typeCodeValue, &type) || !vertFromCode(vertDim, &vert) ||
      !horzFromCode(horzDim, &horz)) {
    return Err::InvalidArgument;
  }
  out.dataType = type;
  info.vertDimension = vert;
  info.vertUnit = FA::Unit(vertFactor, vertName);
  info.horzDimension = horz;
  info.horzUnit = FA::Unit(horzFactor, horzName);
  int32_t* algorithms[3] = {&out.options.lod1Algorithm, &out.options.lod2Algorithm,
                            &out.options.lodNAlgorithm};
  for (int n = 0; n < 3; ++n) {
    Generic name;
    int number = 0;
    if (metadata.get(MetaDataKey::Get(1034 + n), &name) && !LodAlgorithmNumber(name, &number)) {
      return Err::InvalidArgument;
    }
    *algorithms[n] = number;
  }
  double sqnr = 0;
  if (fetch(metadata, MetaDataKey::Sqnr, &sqnr)) out.options.sqnr = static_cast<float>(sqnr);
  return 0;
}

int SendMetadata(const FA::FileInfo& file, const FA::DataInfo& data, MetaDataReceiver& receiver) {
  const int codes[4] = {typeCode(file.dataType), orderCode(file.storageOrder),
                        vertCode(data.vertDimension), horzCode(data.horzDimension)};
  for (const int code : codes) {
    if (code == 0) return Err::UnknownError;  // nothing is sent for what has no public code
  }
  const auto put = [&receiver](int key, const Generic& value) {
    receiver.set(MetaDataKey::Get(key), value);
  };
  const auto real = [](float v) { return Generic(static_cast<double>(v)); };
  put(1000, Generic(data.size[0]));
  put(1001, Generic(data.size[1]));
  put(1002, Generic(data.size[2]));
  put(1003, Generic(codes[0]));
  put(1004, real(file.valueMin));
  put(1005, real(file.valueMax));
  put(1006, real(data.annotStart[0]));
  put(1007, real(data.annotInc[0]));
  put(1008, real(data.annotStart[1]));
  put(1009, real(data.annotInc[1]));
  put(1010, Generic(codes[2]));
  put(1012, Generic(SimpleString(data.vertUnit.name.c_str())));
  put(1011, Generic(data.vertUnit.factor));
  put(1013, real(data.annotStart[2]));
  put(1014, real(data.annotInc[2]));
  put(1015, Generic(codes[3]));
  put(1017, Generic(SimpleString(data.horzUnit.name.c_str())));
  put(1016, Generic(data.horzUnit.factor));
  for (const int key : {1018, 1019, 1022, 1023, 1020, 1021, 1024, 1025}) {
    const int corner = kCornerOfKey[(key - 1018) / 2];
    put(key, Generic(data.corners[corner][(key - 1018) % 2]));
  }
  for (int a = 0; a < 3; ++a) put(1026 + a, Generic(file.brickSize[a]));
  for (int a = 0; a < 3; ++a) put(1029 + a, Generic(file.brickCount[a]));
  put(1032, Generic(codes[1]));
  put(1033, Generic(file.numberOfLods));
  if (file.coding == FA::CodingTypeEnum::Compressed) {
    put(MetaDataKey::Sqnr, Generic(static_cast<double>(file.sqnr)));
  }
  return 0;
}

}  // namespace Qra::Ostrel::Tyq::TyqApi::Impl
