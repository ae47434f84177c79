#pragma once

#include "access/format_row.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {

// The uncompressed format's row of the format table.
Access::FormatRow FormatRowOfBricked();

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
