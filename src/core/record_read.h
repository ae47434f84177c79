#pragma once

// Reading and writing the fixed records of a volume file (headers,
// information blocks, histograms), shared by every format. Positions and
// sizes read from a file are checked with RecordFits before they are used.
#include <cstdint>

#include "tyq/file.h"
#include "tyq/status.h"

namespace Qra::Ostrel::Tyq::Private {

// Whether a record of `size` bytes at `position` lies inside a file of
// `fileSize` bytes and not before `first` (the end of the file header).
inline bool RecordFits(int64_t position, int64_t size, int64_t fileSize, int64_t first) {
  return position >= first && size >= 0 && position <= fileSize && size <= fileSize - position;
}

// One whole record; a failure is reported as "read failed" (or "write
// failed") on top of the file's own error.
inline bool ReadRecord(FileAccess::FileADT& file, int64_t position, uint32_t size, void* buffer,
                       Func& func) {
  if (!file.ReadFromPosition(position, size, buffer, func.statusP())) {
    return func.pushError(FileAccess::Error::ReadFailed);
  }
  return true;
}

inline bool WriteRecord(FileAccess::FileADT& file, int64_t position, uint32_t size,
                        const void* data, Func& func) {
  if (!file.WriteAtPosition(position, size, data, func.statusP())) {
    return func.pushError(FileAccess::Error::WriteFailed);
  }
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private
