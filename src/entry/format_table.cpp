// The table is built here, from one row function per format folder, on
// first use: no static initialisation order to depend on, and no row that a
// static link could drop.
#include "entry/format_table.h"

#include <array>

#include "bricked/format_row.h"
#include "synthetic/synthetic_row.h"

namespace Qra::Ostrel::Tyq::Private::Entry {

namespace FA = FileAccess;

namespace {

// Compressed files are recognised, but their format is not served yet.
Access::FormatRow compressedPlaceholder() {
  return {FA::Tyq::FileTypeEnum::Compressed, std::string_view("VCS\0", 4), nullptr, nullptr,
          nullptr};
}

}  // namespace

std::span<const Access::FormatRow> FormatTable() {
  static const std::array<Access::FormatRow, 3> table = {
      compressedPlaceholder(), Bricked::FormatRowOfBricked(), Factory::FormatRowOfSynthetic()};
  return table;
}

const Access::FormatRow* FormatRowOf(int type) {
  for (const Access::FormatRow& row : FormatTable()) {
    if (row.type == type) return &row;
  }
  return nullptr;
}

}  // namespace Qra::Ostrel::Tyq::Private::Entry
