// Reading the bricks of a read-only file in place, through a mapping.
#include "bricked/file.h"
#include "bricked/version_handler.h"
#include "io/mt_file.h"
#include "tyq/environment.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {

// Only a file this object made itself is known to be a local file; a host's
// own file keeps its transfers. So do cache-bypassing opens (asked not to
// pass through the system cache, which a mapping is) and the oldest layout,
// whose bricks are not stored in their sample order.
void File::RefreshMapping() {
  mapping_.Unmap();
  if (!open_ || writable_ || !ownedFile_ || !handler_ || handler_->IsBlockedLayout()) return;
  if (Environment::getNumericEnv("OSTREL_TYQ_MMAP", 1) == 0) return;
  const auto* local = dynamic_cast<const MtFileWin32*>(ownedFile_.get());
  if (!local || local->alignment() != 1) return;
  // A file that cannot be mapped is read by transfers instead.
  mapping_.Map(local->descriptor(), fileInfo_.fileSize);
}

// A mapped file is read-only, so its table does not change while readers
// look into it and the table lock is not needed.
Access::BrickStore::Holding File::LocateBrick(int32_t i, int32_t j, int32_t k, int level,
                                              void* constant, const void** mapped) {
  *mapped = nullptr;
  if (!mapping_.data()) return PeekBrick(i, j, k, level, constant);
  const int64_t index = brickEntryIndex(geometry_, level, i, j, k);
  if (!open_ || index < 0 || index >= brickTable_.count) return Holding::Stored;
  const int64_t position = DecodeBrick(brickTable_.entries[static_cast<size_t>(index)], constant);
  if (position == 0) return Holding::Absent;
  if (position == 1) return Holding::Constant;
  // A brick outside the data area is left to the transfer path, which
  // reports it; so is one at a byte that is no multiple of its sample size,
  // whose samples the copies would load misaligned: the transfer lands it
  // in an aligned buffer.
  const int64_t bytes = BrickBytes();
  if (position % sampleSize_ == 0 && InDataArea(position, bytes) &&
      mapping_.Covers(position, bytes)) {
    *mapped = mapping_.data() + position;
  }
  return Holding::Stored;
}

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
