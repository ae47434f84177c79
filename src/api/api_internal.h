#pragma once

// Helpers of the public interface for the library's own use (reader and
// writer implementations); not part of the exported surface.

#include <string>

#include "tyq/api_values.h"

namespace Qra::Ostrel::Tyq::TyqApi {

// Number of the level-of-detail algorithm that a metadata value names: 0 for
// "Default", 100..114 for "LowPass" .. "AverageNon0" (100 + the decimation
// algorithm). Names match exactly and case-sensitively. False, leaving
// *number alone, for a null number, a None value, a name of 32 bytes or more
// or an unknown name.
bool LodAlgorithmNumber(const Generic& value, int* number);

// The text of a string handle.
std::string ToStdString(const SimpleString& text);

// A string handle holding a copy of `text` (up to an embedded NUL, if any);
// the shared empty string when it is empty.
SimpleString ToSimpleString(const std::string& text);

}  // namespace Qra::Ostrel::Tyq::TyqApi
