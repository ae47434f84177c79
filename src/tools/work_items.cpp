#include "tools/work_items.h"

#include <algorithm>
#include <cstdlib>
#include <random>
#include <utility>

namespace Qra::Ostrel::Tyq::Private::Tools {

namespace {
constexpr int kColumn = 64;
}  // namespace

std::vector<WorkItem> CopyItems(const TyqCompressIO::IReader& input, int levels) {
  std::vector<WorkItem> items;
  for (int level = 0; level < levels; ++level) {
    const int n0 = input.size0(level), n1 = input.size1(level), n2 = input.size2(level);
    if (n0 <= 0 || n1 <= 0 || n2 <= 0) continue;
    for (int i = 0; i < n0; i += kColumn) {
      for (int j = 0; j < n1; j += kColumn) {
        WorkItem item;
        item.level = level;
        item.start[0] = i;
        item.start[1] = j;
        item.size[0] = std::min(kColumn, n0 - i);
        item.size[1] = std::min(kColumn, n1 - j);
        item.size[2] = n2;
        items.push_back(item);
      }
    }
  }
  return items;
}

std::vector<WorkItem> ScanItems(const TyqCompressIO::IReader& input) {
  std::vector<WorkItem> items;
  const int n0 = input.size0(0) / kColumn, n1 = input.size1(0) / kColumn,
            n2 = input.size2(0) / kColumn;
  for (int i = 0; i < n0; ++i) {
    for (int j = 0; j < n1; ++j) {
      for (int k = 0; k < n2; ++k) {
        WorkItem item;
        item.start[0] = i * kColumn;
        item.start[1] = j * kColumn;
        item.start[2] = k * kColumn;
        std::fill(item.size, item.size + 3, kColumn);
        items.push_back(item);
      }
    }
  }
  // Seeded from std::rand, so a host that seeds that sequence varies the
  // draw and one that does not gets the same draw every run; the engine
  // itself gives a uniform shuffle whatever RAND_MAX is.
  std::mt19937 engine(static_cast<unsigned>(std::rand()));
  for (size_t n = items.size(); n > 1; --n) {
    std::uniform_int_distribution<size_t> pick(0, n - 1);
    std::swap(items[pick(engine)], items[n - 1]);
  }
  return items;
}

int64_t LargestItem(const std::vector<WorkItem>& items) {
  int64_t largest = 0;
  for (const WorkItem& item : items) largest = std::max(largest, item.samples());
  return largest;
}

}  // namespace Qra::Ostrel::Tyq::Private::Tools
