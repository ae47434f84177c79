#pragma once

#include <span>

#include "access/format_row.h"

namespace Qra::Ostrel::Tyq::Private::Entry {

// Every format the entry functions know, in the order their magics are
// tried: the synthetic signature is the longest, so a short file that
// matches neither binary magic fails with a read error.
std::span<const Access::FormatRow> FormatTable();

// The row of a file type; null for a type without one.
const Access::FormatRow* FormatRowOf(int type);

}  // namespace Qra::Ostrel::Tyq::Private::Entry
