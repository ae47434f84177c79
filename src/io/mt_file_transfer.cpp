// The transfers of MtFileWin32: direct positioned reads and writes, pooled
// fire-and-forget writes, the optional 256 KiB write split, and the bounce
// path that hides the alignment rules of cache-bypassing files.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "io/mt_file.h"
#include "io/posix_file_util.h"
#include "tyq/environment.h"

namespace Qra::Ostrel::Tyq::Private {

namespace {

using E = FileAccess::Error;

// The padded block around a misaligned transfer.
struct Bounce {
  uint32_t head;
  uint32_t tail;
  uint32_t total;
};

Bounce bounceFor(int64_t position, uint32_t count, int32_t alignment) {
  const auto head = static_cast<uint32_t>(position % alignment);
  const auto rest = static_cast<uint32_t>((position + count) % alignment);
  const uint32_t tail = rest != 0 ? static_cast<uint32_t>(alignment) - rest : 0;
  return {head, tail, head + count + tail};
}

// What of a padded transfer of `moved` bytes fell inside the caller's range.
int64_t callerPart(int64_t moved, const Bounce& b, uint32_t count) {
  if (moved >= static_cast<int64_t>(b.head) + count) return count;
  if (moved > b.head) return moved - b.head;
  return 0;
}

bool validTransfer(int64_t position, uint32_t count, const void* buffer) {
  // Counts come back as int32, so a larger transfer could not be reported.
  return position >= 0 && count <= static_cast<uint32_t>(INT32_MAX) &&
         (count == 0 || buffer != nullptr) &&
         static_cast<int64_t>(count) <= INT64_MAX - position - 8192;
}

}  // namespace

bool MtFileWin32::writeLimitOn() {
  std::call_once(writeLimitKnown_, [this] {
    writeLimit_ = Environment::getNumericEnv("OSTREL_LIMIT_WRITE_SIZE", 0) == 1;
    if (writeLimit_) {
      std::fprintf(stderr, "Limiting block size to 256 Kb when writing %s\n", name_.c_str());
    }
  });
  return writeLimit_;
}

int64_t MtFileWin32::internalRead(int64_t position, uint32_t count, void* destination, Func& func) {
  if (pool_) {
    int err = 0;
    if (!pool_->waitForRegion(fd_, position, count, &err)) {
      func.setSysError(err, name_);
      return -1;
    }
  }
  return systemResult(PosixFile::readAt(fd_, destination, count, position), func);
}

// A closed file has no descriptor, so the system reports EBADF, the
// counterpart of an invalid handle.
int64_t MtFileWin32::systemResult(int64_t done, Func& func) {
  if (done >= 0) return done;
  func.setSysError(static_cast<int32_t>(-done), name_);
  return -1;
}

int64_t MtFileWin32::internalWrite(int64_t position, uint32_t count, const void* source,
                                   Func& func) {
  if (count > kWriteLimit && writeLimitOn()) {
    const auto* bytes = static_cast<const char*>(source);
    int64_t total = 0;
    for (uint32_t offset = 0; offset < count; offset += kWriteLimit) {
      const uint32_t piece = count - offset < kWriteLimit ? count - offset : kWriteLimit;
      const int64_t done = internalWrite(position + offset, piece, bytes + offset, func);
      if (done < 0) return -1;
      if (done == 0) break;
      total += done;
    }
    return total;
  }
  if (pool_) {
    // A refusal carries the failure of this write or of an earlier
    // fire-and-forget one; either way the caller's data is not safe.
    int err = 0;
    if (pool_->write(fd_, source, position, count, &err)) return count;
    // The system's reason, where the pool has one, tells a full disk from
    // a failing device.
    if (err > 0 && err < IORequestPool::ShortTransfer) {
      func.setSysError(err, name_);
      func.pushError(E::AsyncError);
    } else {
      func.setError(E::AsyncError, name_);
    }
    return -1;
  }
  const int64_t done = PosixFile::writeAt(fd_, source, count, position);
  if (done > 0) writeback_.Written(fd_, position, done);
  return systemResult(done, func);
}

void MtFileWin32::noteWritten(int64_t position, uint32_t count, int64_t written) {
  if (written != count) {
    cachedSize_ = -1;
    return;
  }
  const int64_t end = position + count;
  int64_t known = cachedSize_;
  while (known >= 0 && known < end && !cachedSize_.compare_exchange_weak(known, end)) {
  }
}

int32_t MtFileWin32::ReadBytesFromPosition(int64_t position, uint32_t count, void* destination,
                                           Status* status) {
  Func func("MtFileWin32::ReadBytesFromPosition", status);
  ++readCount_;
  if (!validTransfer(position, count, destination)) return invalidArgument(func);
  if (aligned(position) && aligned(count) &&
      aligned(static_cast<int64_t>(reinterpret_cast<uintptr_t>(destination)))) {
    const int64_t done = internalRead(position, count, destination, func);
    if (done < 0) cachedSize_ = -1;
    return static_cast<int32_t>(done);
  }
  ++misalignedReads_;
  return static_cast<int32_t>(bouncedRead(position, count, destination, func));
}

char* MtFileWin32::bounceBuffer(uint32_t size, Func& func) {
  auto* buffer = static_cast<char*>(AllocateBuffer(size));
  if (!buffer) func.setError(E::OutOfMemory, name_);
  return buffer;
}

int64_t MtFileWin32::bouncedRead(int64_t position, uint32_t count, void* destination, Func& func) {
  const Bounce b = bounceFor(position, count, alignment_);
  char* buffer = bounceBuffer(b.total, func);
  if (!buffer) return -1;
  const int64_t done = internalRead(position - b.head, b.total, buffer, func);
  int64_t result = -1;
  if (done < 0) {
    cachedSize_ = -1;
    func.ensureError();
  } else {
    result = callerPart(done, b, count);
    if (result > 0) std::memcpy(destination, buffer + b.head, static_cast<size_t>(result));
  }
  ReleaseBuffer(buffer);
  return result;
}

int32_t MtFileWin32::WriteBytesAtPosition(int64_t position, uint32_t count, const void* source,
                                          Status* status) {
  Func func("MtFileWin32::WriteBytesAtPosition", status);
  ++writeCount_;
  if (!validTransfer(position, count, source)) return invalidArgument(func);
  // The pool copies the source into its own aligned buffer, so only the
  // file-side alignment matters then.
  const bool sourceAligned =
      pool_ || aligned(static_cast<int64_t>(reinterpret_cast<uintptr_t>(source)));
  if (aligned(position) && aligned(count) && sourceAligned) {
    const int64_t done = internalWrite(position, count, source, func);
    noteWritten(position, count, done);
    return static_cast<int32_t>(done);
  }
  ++misalignedWrites_;
  return static_cast<int32_t>(bouncedWrite(position, count, source, func));
}

// Read-modify-write of the padded block; bytes beyond the end of the file
// stay zero, and the padded write may move the end of the file to the next
// alignment boundary.
int64_t MtFileWin32::bouncedWrite(int64_t position, uint32_t count, const void* source,
                                  Func& func) {
  const Bounce b = bounceFor(position, count, alignment_);
  char* buffer = bounceBuffer(b.total, func);
  if (!buffer) return -1;
  int64_t result = -1;
  if (b.head != 0 || b.tail != 0) {
    std::memset(buffer, 0, b.total);
    if (internalRead(position - b.head, b.total, buffer, func) < 0) {
      cachedSize_ = -1;
      func.ensureError();
      ReleaseBuffer(buffer);
      return -1;
    }
  }
  if (count > 0) std::memcpy(buffer + b.head, source, count);
  const int64_t done = internalWrite(position - b.head, b.total, buffer, func);
  if (done == count) {
    noteWritten(position, count, done);
  } else {
    cachedSize_ = -1;
  }
  if (done < 0) {
    func.ensureError();
  } else {
    result = callerPart(done, b, count);
  }
  ReleaseBuffer(buffer);
  return result;
}

bool MtFileWin32::ReadFromPosition(int64_t position, uint32_t count, void* destination,
                                   Status* status) {
  Func func("MtFileWin32::ReadFromPosition", status);
  const int32_t done = ReadBytesFromPosition(position, count, destination, func.statusP());
  return allMoved(done, count, E::ShortRead, func);
}

int32_t MtFileWin32::invalidArgument(Func& func) {
  func.setError(E::InvalidArgument, name_);
  return -1;
}

bool MtFileWin32::allMoved(int32_t done, uint32_t count, int shortCode, Func& func) {
  if (!func.ok()) return false;
  if (done < 0) return func.ensureError();
  if (static_cast<uint32_t>(done) < count) return func.setError(shortCode, name_);
  return true;
}

bool MtFileWin32::WriteAtPosition(int64_t position, uint32_t count, const void* source,
                                  Status* status) {
  Func func("MtFileWin32::WriteAtPosition", status);
  const int32_t done = WriteBytesAtPosition(position, count, source, func.statusP());
  return allMoved(done, count, E::ShortWrite, func);
}

}  // namespace Qra::Ostrel::Tyq::Private
