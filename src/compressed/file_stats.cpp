// Sample count and sums of a compressed file, kept in a record of their own
// beside the histogram, which holds only the minimum and maximum.
#include "compressed/file.h"
#include "core/record_read.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {

// The record only adds figures: one that is missing, damaged or that
// disagrees with the histogram's count is passed over, never fatal.
void File::ReadStats() {
  const int64_t position = offsets_.statistics;
  if (position <= 0 || !RecordFits(position, static_cast<int64_t>(kStatsRecordSize), end_, 0)) {
    return;
  }
  uint8_t bytes[kStatsRecordSize];
  Status ignored;
  Func func("File::ReadStats", &ignored);
  StatsRecord record;
  if (!ReadAt(position, kStatsRecordSize, bytes, func) || !decodeStats(bytes, record) ||
      record.count != hist_.count) {
    return;
  }
  dataInfo_.SetStatistics(record.count, record.sum, record.sumOfSquares, dataInfo_.statMin,
                          dataInfo_.statMax);
}

bool File::WriteStats(Status* status) {
  Func func("File::WriteStats", status);
  if (offsets_.statistics != 0)
    return func.setError(FileAccess::Error::InternalError, file_->FileName());
  StatsRecord record;
  record.count = dataInfo_.statCount;
  record.sum = dataInfo_.statSum;
  record.sumOfSquares = dataInfo_.statSumOfSquares;
  return Append(encodeStats(record), offsets_.statistics, func);
}

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
