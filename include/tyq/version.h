#pragma once

#include "tyq/export.h"

namespace Qra::Ostrel::Tyq {

// "major.minor.patch" of the library that is linked.
TYQ_EXPORT const char* versionString();

}  // namespace Qra::Ostrel::Tyq
