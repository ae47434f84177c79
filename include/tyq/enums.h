#pragma once

#include <cstdint>

#include "tyq/export.h"

namespace Qra::Ostrel::Tyq::FileAccess {

// Holds one value of an enumeration class T (a class with a nested
// value_type); the type used in signatures.
template <typename T>
class EnumClass {
 public:
  using value_type = typename T::value_type;
  EnumClass() : value_(static_cast<value_type>(0)) {}
  EnumClass(value_type v) : value_(v) {}  // NOLINT: implicit by design
  operator value_type() const { return value_; }
  value_type value() const { return value_; }

 private:
  value_type value_;
};

class TYQ_EXPORT DataTypeEnum {
 public:
  enum value_type : int32_t {
    Int8 = 0,
    UInt8 = 1,
    Int16 = 2,
    UInt16 = 3,
    Int32 = 4,
    UInt32 = 5,
    Float32 = 6,
    IbmFloat32 = 7,
  };
  static const char* Name(value_type v);
  static int32_t Size(value_type v);
  static value_type Get(uint64_t raw) { return static_cast<value_type>(raw); }
};

class CodingTypeEnum {
 public:
  enum value_type : int32_t { Compressed = 0, Uncompressed = 1 };
};

class StorageOrderEnum {
 public:
  enum value_type : int32_t {
    TraceOptimizedOrder = 0,
    TraditionalTyqOrder = 5,
  };
  static value_type TraceOptimized() { return TraceOptimizedOrder; }
  static value_type TraditionalTyq() { return TraditionalTyqOrder; }
};

class HorzDimEnum {
 public:
  enum value_type : int32_t { Unknown = 0, Length = 1, ArcAngle = 2 };
};

class VertDimEnum {
 public:
  enum value_type : int32_t { Unknown = 0, Depth = 1, Time = 2, Time2 = 3 };
};

namespace Tyq {
class FileTypeEnum {
 public:
  enum value_type : int32_t { Uncompressed = 0, Compressed = 1, Synthetic = 2 };
};
}  // namespace Tyq

}  // namespace Qra::Ostrel::Tyq::FileAccess
