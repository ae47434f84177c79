#pragma once

#include <cstdint>

#include "tyq/status.h"

namespace Qra::Ostrel::Tyq::Private {

// Fills `out` with 16 bytes from the operating system's random source, shaped
// as a version-4 identifier. Fails with a system error when no random source
// can be read.
bool newRandomId(uint8_t out[16], Status* status);

}  // namespace Qra::Ostrel::Tyq::Private
