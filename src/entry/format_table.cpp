// The table is built here, from one row function per format folder, on
// first use: no static initialisation order to depend on, and no row that a
// static link could drop.
#include "entry/format_table.h"

#include <array>

#include "bricked/format_row.h"
#include "compressed/format_row.h"
#include "synthetic/synthetic_row.h"

namespace Qra::Ostrel::Tyq::Private::Entry {

std::span<const Access::FormatRow> FormatTable() {
  static const std::array<Access::FormatRow, 3> table = {Compressed::FormatRowOfCompressed(),
                                                         Bricked::FormatRowOfBricked(),
                                                         Factory::FormatRowOfSynthetic()};
  return table;
}

const Access::FormatRow* FormatRowOf(int type) {
  for (const Access::FormatRow& row : FormatTable()) {
    if (row.type == type) return &row;
  }
  return nullptr;
}

}  // namespace Qra::Ostrel::Tyq::Private::Entry
