#pragma once

#include "access/format_row.h"

namespace Qra::Ostrel::Tyq::Private::Factory {

// The synthetic source's row of the format table: readers only.
Access::FormatRow FormatRowOfSynthetic();

}  // namespace Qra::Ostrel::Tyq::Private::Factory
