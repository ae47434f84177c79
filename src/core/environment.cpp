#include "tyq/environment.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace Qra::Ostrel::Tyq::Private {

namespace {
// Atomic so that threads sharing a writer may all ask; two threads racing on
// the first query both read the same variable and at worst print the
// announcement twice.
std::atomic<int32_t> g_debugLevel{-1};
}  // namespace

std::string Environment::getStringEnv(const char* name) {
  if (!name) return std::string();
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

int32_t Environment::getNumericEnv(const char* name, int32_t defaultValue) {
  const std::string text = getStringEnv(name);
  if (text.empty()) return defaultValue;
  // atoi semantics without its undefined behaviour on overflow.
  const long value = std::strtol(text.c_str(), nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

void Environment::putStringEnv(const char* name, const char* value) {
  if (!name) return;
  ::setenv(name, value ? value : "", 1);
}

void Environment::putNumericEnv(const char* name, int32_t value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%d", value);
  putStringEnv(name, buffer);
}

int32_t getDebugLevel() {
  const int32_t known = g_debugLevel.load(std::memory_order_relaxed);
  if (known >= 0) return known;
  int32_t level = Environment::getNumericEnv("OSTREL_TYQ_DEBUG", 0);
  if (level < 0) level = 0;
  g_debugLevel.store(level, std::memory_order_relaxed);
  if (level > 0) {
    std::printf("## TYQ debug output is set to level %d\n", level);
    std::fflush(stdout);
  }
  return level;
}

void resetDebugLevelForTesting() {
  g_debugLevel.store(-1, std::memory_order_relaxed);
}

}  // namespace Qra::Ostrel::Tyq::Private
