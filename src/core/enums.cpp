#include "tyq/enums.h"

namespace Qra::Ostrel::Tyq::FileAccess {

const char* DataTypeEnum::Name(value_type v) {
  switch (v) {
    case Int8:
      return "8-bit signed integer";
    case UInt8:
      return "8-bit unsigned integer";
    case Int16:
      return "16-bit signed integer";
    case UInt16:
      return "16-bit unsigned integer";
    case Int32:
      return "32-bit signed integer";
    case UInt32:
      return "32-bit unsigned integer";
    case Float32:
      return "32-bit float";
    case IbmFloat32:
      return "32-bit IBM float";
  }
  return "<unknown>";
}

int32_t DataTypeEnum::Size(value_type v) {
  switch (v) {
    case Int8:
    case UInt8:
      return 1;
    case Int16:
    case UInt16:
      return 2;
    case Int32:
    case UInt32:
    case Float32:
    case IbmFloat32:
      return 4;
  }
  return 0;
}

}  // namespace Qra::Ostrel::Tyq::FileAccess
