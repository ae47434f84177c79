// A C++11 host of the value classes, linked to the shared library: the
// public header must compile at that language level, and everything it
// declares must be exported.
#include <cstdio>
#include <cstring>

#include "tyq/api_values.h"

namespace api = Qra::Ostrel::Tyq::TyqApi;

namespace {

int failures = 0;

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "C++11 host check failed: %s\n", what);
    ++failures;
  }
}

bool hasText(const api::SimpleString& s, const char* text) {
  char buffer[64];
  return s.getCstr(buffer, sizeof buffer) >= 0 && std::strcmp(buffer, text) == 0;
}

// A provider of the host's own, as a writer description could be.
class OneKey : public api::MetaDataProvider {
 public:
  bool get(const api::SimpleString& key, api::Generic* value) const override {
    if (!hasText(key, "ZInc") || value == 0) return false;
    *value = api::Generic(4.0);
    return true;
  }
};

}  // namespace

int main() {
  api::MetaData metadata;
  metadata.set(api::MetaDataKey::Get(api::MetaDataKey::ZUnitName),
               api::Generic(api::SimpleString("ms")));
  api::MetaData copy = metadata;
  api::Generic value;
  api::SimpleString text;
  check(copy.get("ZUnitName", &value) && value.get(&text) && hasText(text, "ms"),
        "metadata copies share their map");

  const OneKey provider;
  const api::MetaDataProvider& asProvider = provider;
  double zInc = 0;
  check(asProvider.get("ZInc", &value) && value.get(&zInc) && zInc == 4.0,
        "a host provider hands out library values");

  int number = 0;
  check(!api::Generic(2.5).get(&number) && value != api::Generic(4), "doubles are not integers");
  check(hasText(api::Error(12).getFullMsg(), "12: file is not open"), "error text");
  check(api::DataTypeCode::Float32 == 1002 && api::HUnitDimCode::ArcAngle == 1003, "value codes");
  return failures == 0 ? 0 : 1;
}
