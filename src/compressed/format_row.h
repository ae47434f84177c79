#pragma once

#include "access/format_row.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {

// The compressed format's row of the format table.
Access::FormatRow FormatRowOfCompressed();

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
