// Bricks of one pass written together: a level of detail is built brick by
// brick into adjacent new places, which leave the library in a few large
// writes instead of one per brick.
#include <algorithm>
#include <cstring>

#include "bricked/file.h"
#include "bricked/version_handler.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {

using Err = FileAccess::Error;

namespace {
// Bytes held back at most before they are written.
constexpr size_t kRunBytes = size_t{16} << 20;
}  // namespace

// One batch at a time; another thread's bricks meanwhile go out on their own.
void File::BeginBrickBatch() {
  std::thread::id none;
  heldRun_.owner.compare_exchange_strong(none, std::this_thread::get_id());
}

bool File::EndBrickBatch(bool write, Status* status) {
  Func func("File::EndBrickBatch", status);
  if (heldRun_.owner.load() != std::this_thread::get_id()) return true;
  bool ok = true;
  if (write) {
    ok = WriteHeldBricks(func);
  } else {
    heldRun_.used = 0;
    heldRun_.bricks.clear();
    std::lock_guard<std::mutex> hold(tableLock_);
    heldEnd_ = 0;
  }
  heldRun_.owner.store(std::thread::id());
  return ok;
}

// Sequential placement finds each place from the file's size, which held
// bricks would not have grown; the oldest layout reorders every brick.
bool File::Batching() const {
  return heldRun_.owner.load() == std::this_thread::get_id() && !sequential_ &&
         !handler_->IsBlockedLayout() && static_cast<size_t>(BrickBytes()) <= kRunBytes;
}

bool File::HoldBrick(int32_t i, int32_t j, int32_t k, int level, int64_t index, int64_t position,
                     const void* data, Func& func) {
  const size_t bytes = static_cast<size_t>(BrickBytes());
  const bool extends =
      heldRun_.used > 0 && position == heldRun_.start + static_cast<int64_t>(heldRun_.used);
  if (heldRun_.used > 0 && (!extends || heldRun_.used + bytes > kRunBytes) &&
      !WriteHeldBricks(func)) {
    return false;
  }
  if (!heldRun_.bytes.Resize(kRunBytes)) return func.setError(Err::OutOfMemory, fileInfo_.fileName);
  if (heldRun_.used == 0) heldRun_.start = position;
  std::memcpy(heldRun_.bytes.bytes() + heldRun_.used, data, bytes);
  heldRun_.used += bytes;
  heldRun_.bricks.push_back({level, i, j, k, index, position});
  std::lock_guard<std::mutex> hold(tableLock_);
  heldEnd_ = heldRun_.start + static_cast<int64_t>(heldRun_.used);
  return true;
}

// The held bricks enter the table only once they are in the file; when the
// write fails they stay absent, as a brick whose own write failed.
bool File::WriteHeldBricks(Func& func) {
  if (heldRun_.used == 0) return true;
  const bool ok = file_->WriteAtPosition(heldRun_.start, static_cast<uint32_t>(heldRun_.used),
                                         heldRun_.bytes.data(), func.statusP());
  std::lock_guard<std::mutex> hold(tableLock_);
  if (ok) {
    for (const HeldBrick& b : heldRun_.bricks) {
      brickTable_.entries[static_cast<size_t>(b.index)] =
          handler_->EncodeBrickEntry(b.position, nullptr, sampleSize_);
      OnBrickWritten(b.level, b.i, b.j, b.k);
    }
    brickTable_.changed = true;
  }
  heldRun_.used = 0;
  heldRun_.bricks.clear();
  heldEnd_ = 0;
  return ok || func.pushError(Err::WriteFailed);
}

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
