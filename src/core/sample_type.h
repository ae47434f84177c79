#pragma once

// The run-time sample type of a volume (DataTypeEnum codes) and its C++
// element type, both ways: per-type code is written once as a template and
// reached through visitSampleType, never through a switch of its own.
#include <type_traits>

#include "tyq/enums.h"

namespace Qra::Ostrel::Tyq::Private {

// Stands for the element type T in a call through visitSampleType.
template <typename T>
struct SampleTag {
  using type = T;
};

// The sample-type code of an element type (float for anything else).
template <typename T>
constexpr int SampleTypeOf() {
  namespace FA = FileAccess;
  if constexpr (std::is_same_v<T, signed char>) return FA::DataTypeEnum::Int8;
  if constexpr (std::is_same_v<T, unsigned char>) return FA::DataTypeEnum::UInt8;
  if constexpr (std::is_same_v<T, short>) return FA::DataTypeEnum::Int16;
  if constexpr (std::is_same_v<T, unsigned short>) return FA::DataTypeEnum::UInt16;
  if constexpr (std::is_same_v<T, int>) return FA::DataTypeEnum::Int32;
  if constexpr (std::is_same_v<T, unsigned int>) return FA::DataTypeEnum::UInt32;
  return FA::DataTypeEnum::Float32;
}

// Calls f(SampleTag<T>{}) for the element type T of `type`, or `unknown()`
// for a code with no element type of its own (the IBM float code included).
// Both must return the same type.
template <typename F, typename Unknown>
auto visitSampleType(int type, F&& f, Unknown&& unknown) {
  namespace FA = FileAccess;
  switch (type) {
    case FA::DataTypeEnum::Int8:
      return f(SampleTag<signed char>{});
    case FA::DataTypeEnum::UInt8:
      return f(SampleTag<unsigned char>{});
    case FA::DataTypeEnum::Int16:
      return f(SampleTag<short>{});
    case FA::DataTypeEnum::UInt16:
      return f(SampleTag<unsigned short>{});
    case FA::DataTypeEnum::Int32:
      return f(SampleTag<int>{});
    case FA::DataTypeEnum::UInt32:
      return f(SampleTag<unsigned int>{});
    case FA::DataTypeEnum::Float32:
      return f(SampleTag<float>{});
    default:
      return unknown();
  }
}

}  // namespace Qra::Ostrel::Tyq::Private
