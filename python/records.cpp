#include "records.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "errors.h"

namespace py = pybind11;

namespace tyq_python {

namespace {

using Type = FA::DataTypeEnum;

struct NamedType {
  const char* name;
  Type::value_type type;
};

constexpr NamedType kSampleTypes[] = {
    {"int8", Type::Int8},     {"uint8", Type::UInt8},         {"int16", Type::Int16},
    {"uint16", Type::UInt16}, {"int32", Type::Int32},         {"uint32", Type::UInt32},
    {"float", Type::Float32}, {"ibmfloat", Type::IbmFloat32},
};

constexpr const char* kVertDomains[] = {"unknown", "depth", "time", "time2"};
constexpr const char* kHorzDomains[] = {"unknown", "length", "arc_angle"};
constexpr const char* kAxisKeys[] = {"inline", "crossline", "vertical"};

[[noreturn]] void BadAnnotation(const std::string& detail) {
  ThrowError(FA::Error::InvalidArgument, "annotation: " + detail);
}

template <size_t N>
int DomainNumber(const char* const (&names)[N], const std::string& given, const char* key) {
  for (size_t n = 0; n < N; ++n) {
    if (given == names[n]) return static_cast<int>(n);
  }
  BadAnnotation(std::string("unknown ") + key + " \"" + given + "\"");
}

template <size_t N>
const char* DomainName(const char* const (&names)[N], int value) {
  return value >= 0 && static_cast<size_t>(value) < N ? names[value] : "unknown";
}

// A pair of two Python values, or an error naming the key.
std::pair<py::object, py::object> Pair(py::handle value, const char* key) {
  py::tuple items;
  try {
    items = py::tuple(py::reinterpret_borrow<py::object>(value));
  } catch (const py::error_already_set&) {
  }
  if (items.size() != 2) BadAnnotation(std::string(key) + " must be a pair");
  return {items[0], items[1]};
}

double Number(py::handle value, const char* key) {
  try {
    const double number = value.cast<double>();
    if (std::isfinite(number)) return number;
  } catch (const py::cast_error&) {
  }
  BadAnnotation(std::string(key) + " needs finite numbers");
}

std::string Text(py::handle value, const char* key) {
  if (!py::isinstance<py::str>(value)) BadAnnotation(std::string(key) + " must be a string");
  return value.cast<std::string>();
}

FA::Unit UnitOf(py::handle value, const char* key) {
  const auto [name, factor] = Pair(value, key);
  return FA::Unit(Number(factor, key), Text(name, key));
}

py::tuple UnitTuple(const FA::Unit& unit) {
  return py::make_tuple(DecodedText(unit.name), unit.factor);
}

// Axis starts and steps; a step of 0 would make every survey number the same.
void ApplyAxis(py::handle value, int axis, float start[3], float step[3]) {
  const auto [first, inc] = Pair(value, kAxisKeys[axis]);
  start[axis] = static_cast<float>(Number(first, kAxisKeys[axis]));
  step[axis] = static_cast<float>(Number(inc, kAxisKeys[axis]));
  if (step[axis] == 0.0f) BadAnnotation(std::string(kAxisKeys[axis]) + " step must not be 0");
}

void ApplyAnnotation(py::dict given, const int shape[3], FA::DataInfo& info) {
  float start[3] = {0, 0, 0}, step[3] = {1, 1, 1};
  int vertDomain = 0, horzDomain = 0;
  FA::Unit vertUnit, horzUnit;
  std::string coordinateSystem;
  for (const auto& [keyObject, value] : given) {
    const std::string key = py::str(keyObject);
    int axis = 0;
    while (axis < 3 && key != kAxisKeys[axis]) ++axis;
    if (axis < 3) {
      ApplyAxis(value, axis, start, step);
    } else if (key == "vertical_domain") {
      vertDomain = DomainNumber(kVertDomains, Text(value, "vertical_domain"), "vertical_domain");
    } else if (key == "horizontal_domain") {
      horzDomain =
          DomainNumber(kHorzDomains, Text(value, "horizontal_domain"), "horizontal_domain");
    } else if (key == "vertical_unit") {
      vertUnit = UnitOf(value, "vertical_unit");
    } else if (key == "horizontal_unit") {
      horzUnit = UnitOf(value, "horizontal_unit");
    } else if (key == "coordinate_system") {
      coordinateSystem = Text(value, "coordinate_system");
    } else {
      BadAnnotation("unknown key \"" + key + "\"");
    }
  }
  info.SetExtent(start[0], step[0], shape[0], start[1], step[1], shape[1], start[2], step[2],
                 shape[2], false);
  info.SetVertDomain(static_cast<FA::VertDimEnum::value_type>(vertDomain), vertUnit.factor,
                     vertUnit.name);
  info.SetHorzDomain(coordinateSystem, static_cast<FA::HorzDimEnum::value_type>(horzDomain),
                     horzUnit.factor, horzUnit.name);
}

void ApplyCorners(py::handle given, FA::DataInfo& info) {
  py::array_t<double, py::array::c_style | py::array::forcecast> corners;
  try {
    corners = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(given);
  } catch (const py::error_already_set&) {
  }
  if (!corners || corners.ndim() != 2 || corners.shape(0) != 4 || corners.shape(1) != 2) {
    ThrowError(FA::Error::InvalidArgument, "corners must be 4 x 2 world coordinates");
  }
  for (int c = 0; c < 4; ++c) {
    for (int xy = 0; xy < 2; ++xy) {
      const double value = corners.at(c, xy);
      if (!std::isfinite(value)) ThrowError(FA::Error::InvalidArgument, "corners must be finite");
      info.corners[c][xy] = value;
    }
  }
}

}  // namespace

const char* SampleTypeName(Type::value_type type) {
  for (const NamedType& t : kSampleTypes) {
    if (t.type == type) return t.name;
  }
  return "unknown";
}

Type::value_type WritableSampleType(const std::string& name) {
  for (const NamedType& t : kSampleTypes) {
    // IBM float files can be read, but the library has no encoder for them.
    if (name == t.name && t.type != Type::IbmFloat32) return t.type;
  }
  ThrowError(FA::Error::InvalidArgument,
             "type \"" + name +
                 "\" cannot be written (use float, int8, uint8, int16, uint16, int32 or uint32)");
}

py::dtype StoredDtype(Type::value_type type) {
  switch (type) {
    case Type::Int8:
      return py::dtype::of<int8_t>();
    case Type::UInt8:
      return py::dtype::of<uint8_t>();
    case Type::Int16:
      return py::dtype::of<int16_t>();
    case Type::UInt16:
      return py::dtype::of<uint16_t>();
    case Type::Int32:
      return py::dtype::of<int32_t>();
    case Type::UInt32:
      return py::dtype::of<uint32_t>();
    default:
      return py::dtype::of<float>();
  }
}

py::dict AnnotationDict(const FA::DataInfo& info) {
  py::dict result;
  for (int axis = 0; axis < 3; ++axis) {
    result[kAxisKeys[axis]] = py::make_tuple(info.annotStart[axis], info.annotInc[axis]);
  }
  result["vertical_domain"] = DomainName(kVertDomains, info.vertDimension);
  result["vertical_unit"] = UnitTuple(info.vertUnit);
  result["horizontal_domain"] = DomainName(kHorzDomains, info.horzDimension);
  result["horizontal_unit"] = UnitTuple(info.horzUnit);
  result["coordinate_system"] = DecodedText(info.coordinateSystem);
  return result;
}

py::dict StatisticsDict(const FA::DataInfo& info) {
  py::dict result;
  result["count"] = info.statCount;
  result["sum"] = info.statSum;
  result["sum_of_squares"] = info.statSumOfSquares;
  result["min"] = info.statMin;
  result["max"] = info.statMax;
  result["mean"] = py::none();
  result["std"] = py::none();
  if (info.statCount > 0) {
    const double n = static_cast<double>(info.statCount);
    const double mean = info.statSum / n;
    result["mean"] = mean;
    result["std"] = std::sqrt(std::max(0.0, info.statSumOfSquares / n - mean * mean));
  }
  return result;
}

py::array_t<double> CornersArray(const FA::DataInfo& info) {
  py::array_t<double> corners({4, 2});
  std::memcpy(corners.mutable_data(), info.corners, sizeof info.corners);
  return corners;
}

py::array_t<int64_t> HistogramBins(const FA::Histogram& hist) {
  py::array_t<int64_t> bins(FA::Histogram::kBins);
  std::memcpy(bins.mutable_data(), hist.bins, sizeof hist.bins);
  return bins;
}

FA::DataInfo MakeDataInfo(const int shape[3], py::handle annotation, py::handle corners) {
  FA::DataInfo info;
  py::dict given;
  if (!annotation.is_none()) {
    if (!py::isinstance<py::dict>(annotation)) BadAnnotation("must be a dict");
    given = py::reinterpret_borrow<py::dict>(annotation);
  }
  ApplyAnnotation(given, shape, info);
  if (!corners.is_none()) ApplyCorners(corners, info);
  return info;
}

}  // namespace tyq_python
