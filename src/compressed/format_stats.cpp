// The statistics record: count and sums of the live samples of level 0.
#include <cmath>
#include <cstring>

#include "compressed/format.h"
#include "core/endian.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {

namespace {
constexpr char kStatsTag[4] = {'S', 'T', 'A', 'T'};
}  // namespace

std::string encodeStats(const StatsRecord& record) {
  std::string out(kStatsTag, sizeof kStatsTag);
  Le::Writer w(out);
  w.i64(record.count);
  w.f64(record.sum);
  w.f64(record.sumOfSquares);
  return out;
}

bool decodeStats(const uint8_t bytes[kStatsRecordSize], StatsRecord& record) {
  if (std::memcmp(bytes, kStatsTag, sizeof kStatsTag) != 0) return false;
  Le::Reader r(bytes + sizeof kStatsTag, kStatsRecordSize - sizeof kStatsTag);
  StatsRecord read;
  read.count = r.i64();
  read.sum = r.f64();
  read.sumOfSquares = r.f64();
  if (read.count < 0 || !std::isfinite(read.sum) || !std::isfinite(read.sumOfSquares) ||
      read.sumOfSquares < 0) {
    return false;
  }
  record = read;
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
