#include "tyq/version.h"

namespace Qra::Ostrel::Tyq {

const char* versionString() {
  return "0.1.0";
}

}  // namespace Qra::Ostrel::Tyq
