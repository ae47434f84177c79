#pragma once

#include <cstdint>
#include <string>

#include "tyq/export.h"

namespace Qra::Ostrel::Tyq::Private {

// Reads and writes process environment variables. Values are read when asked
// (never cached), except the debug level, which is read once per process.
class TYQ_EXPORT Environment {
 public:
  // Empty when the variable is unset, empty or unreadable.
  static std::string getStringEnv(const char* name);
  // atoi rules on a non-empty value ("abc" gives 0, "12xy" gives 12);
  // defaultValue when the variable is unset or empty.
  static int32_t getNumericEnv(const char* name, int32_t defaultValue);
  static void putStringEnv(const char* name, const char* value);
  static void putNumericEnv(const char* name, int32_t value);
};

// The debug level from "OSTREL_TYQ_DEBUG", read on first use; a positive
// level is announced once on standard output.
TYQ_EXPORT int32_t getDebugLevel();

// Forgets the stored level so the next query reads the environment again;
// for tests only.
TYQ_EXPORT void resetDebugLevelForTesting();

}  // namespace Qra::Ostrel::Tyq::Private
