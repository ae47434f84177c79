#pragma once

// Bricks the writer has just stored, kept in memory exactly as the file
// holds them (stored sample type, file layout) until the level above has
// been built from them, so that building the pyramid need not read them
// back. Bounded: beyond the limit bricks are simply not kept, and the
// pyramid reads those from the file as before.
#include <array>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "core/aligned_buffer.h"

namespace Qra::Ostrel::Tyq::Private::Access {

class HeldBricks {
 public:
  static constexpr size_t kDefaultLimit = size_t{256} << 20;

  // The limit of writers opened from now on. 0 gives the plain way, for
  // tests that compare both: nothing held, every level built from what the
  // file reads back, every brick written on its own.
  static void SetLimitForNewWriters(size_t limit);
  static size_t LimitForNewWriters();

  HeldBricks() = default;
  HeldBricks(const HeldBricks&) = delete;
  HeldBricks& operator=(const HeldBricks&) = delete;

  // Bricks of `brickBytes` each, at most the limit for new writers in
  // all; forgets everything held.
  void Reset(size_t brickBytes);
  // Keeps a copy of the brick (replacing an older one), unless the limit is
  // reached.
  void Keep(int level, int i, int j, int k, const void* data);
  // A brick-sized buffer to fill and Adopt, so that keeping the brick
  // costs no copy; null when nothing can be held.
  std::shared_ptr<AlignedBuffer> Lend();
  // Keeps `buffer` (from Lend) as the brick, as Keep would keep a copy.
  void Adopt(int level, int i, int j, int k, std::shared_ptr<AlignedBuffer> buffer);
  void Forget(int level, int i, int j, int k);
  // The brick held, or null; the pointer keeps it alive while in use, even
  // if it is replaced or forgotten meanwhile.
  std::shared_ptr<const AlignedBuffer> Find(int level, int i, int j, int k) const;
  void Clear();
  size_t HeldBytes() const;

 private:
  using Key = std::array<int, 4>;
  void Recycle(std::shared_ptr<AlignedBuffer> buffer);

  mutable std::mutex lock_;
  size_t brickBytes_ = 0;
  size_t limit_ = 0;
  std::map<Key, std::shared_ptr<AlignedBuffer>> held_;
  // Buffers of forgotten bricks, reused so that keeping a brick costs no
  // fresh pages.
  std::vector<std::shared_ptr<AlignedBuffer>> spare_;
};

}  // namespace Qra::Ostrel::Tyq::Private::Access
