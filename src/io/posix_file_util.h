#pragma once

#include <cstdint>
#include <string>

// Small POSIX helpers for the file classes of this folder: opening with the
// writer claim, and positioned transfers that ride out partial transfers and
// interruptions.
namespace Qra::Ostrel::Tyq::Private::PosixFile {

// The byte whose exclusive open-file-description lock marks the one writer of
// a file. Must stay equal to the byte vvFile uses, so that both file classes
// exclude each other.
constexpr int64_t kWriterClaimOffset = INT64_MAX - 1;

// Opens `name` with `flags` (O_CLOEXEC added), refuses directories, FIFOs and
// sockets, and with `claimWriter` takes the writer claim. Returns the
// descriptor, or -1 with the errno value in *error; a claim held elsewhere
// gives EBUSY, the nearest thing to a sharing violation.
int open(const std::string& name, int flags, bool claimWriter, int* error);

// Transfers up to `count` bytes at `position`, repeating partial transfers.
// Returns the bytes moved (fewer only at the end of the file), or minus the
// errno value of a failure, even one that came after some bytes moved.
int64_t readAt(int fd, void* buffer, uint64_t count, int64_t position);
int64_t writeAt(int fd, const void* buffer, uint64_t count, int64_t position);

}  // namespace Qra::Ostrel::Tyq::Private::PosixFile
