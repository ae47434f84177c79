#include <cstring>

#include "tyq/records.h"

namespace Qra::Ostrel::Tyq::FileAccess {

bool operator==(const Histogram& a, const Histogram& b) {
  return a.count == b.count && a.min == b.min && a.max == b.max &&
         std::memcmp(a.bins, b.bins, sizeof a.bins) == 0;
}

}  // namespace Qra::Ostrel::Tyq::FileAccess
