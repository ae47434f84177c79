// Reading grid flags (one byte per trace, non-zero meaning live).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "access/accessor_core.h"
#include "access/accessor_util.h"
#include "access/strided_copy.h"
#include "core/aligned_buffer.h"
#include "stats/brick_histogram.h"
#include "tyq/brick_geometry.h"
#include "tyq/environment.h"

namespace Qra::Ostrel::Tyq::Private::Access {

using Err = FileAccess::Error;

// The (i, j) extent of a level, as a box one sample deep.
void AccessorCore::FlagExtent(int lod, int extent[3]) const {
  LevelExtent(dataInfo_->size, lod, extent);
  extent[2] = 1;
}

bool AccessorCore::ReadRawGridFlagsTile(int lod, int ti, int tj, int* state, unsigned char* buffer,
                                        Func& func) {
  const size_t bytes = static_cast<size_t>(fileInfo_->GetNumberOfSamplesPerHorzTile());
  bool isConstant = false;
  if (!store_->GetGridFlagsTile(ti, tj, lod, buffer, &isConstant, func.statusP())) {
    if (func.tyqError() != Err::BrickNotFound) return false;
    func.setSuccess();
    std::memset(buffer, 0, bytes);
    *state = 0;
    return true;
  }
  if (isConstant) {
    *state = buffer[0] == 0 ? 1 : 2;
    return true;
  }
  const bool anyDead = std::find(buffer, buffer + bytes, 0) != buffer + bytes;
  const bool anyLive = std::any_of(buffer, buffer + bytes, [](unsigned char f) { return f; });
  *state = !anyDead ? 2 : (!anyLive ? 1 : 3);
  return true;
}

bool AccessorCore::ReadGridFlags(int lod, int i0, int j0, int ni, int nj, unsigned char* flags,
                                 Status* status) {
  Func func("Accessor::ReadGridFlags", status);
  if (!CheckOpen(func) || !CheckLod(lod, func)) return false;
  const int start[3] = {i0, j0, 0}, size[3] = {ni, nj, 1};
  const int tile[3] = {fileInfo_->brickSize[0], fileInfo_->brickSize[1], 1};
  int extent[3];
  FlagExtent(lod, extent);
  if (!ValidBox(size) || !flags || !OverlapsExtent(start, size, extent)) {
    return func.setError(Err::InvalidArgument, fileInfo_->fileName);
  }
  int callerFlags[2] = {nj, 1}, tileFlags[2] = {flagStrides_[0], flagStrides_[1]};
  FlagStrides(accessOrder_, ni, nj, callerFlags);
  const BrickRange range = CutIntoBricks(start, size, tile);
  AlignedBuffer buffer;
  if (!buffer.Resize(static_cast<size_t>(fileInfo_->GetNumberOfSamplesPerHorzTile()))) {
    return func.setError(Err::OutOfMemory, fileInfo_->fileName);
  }
  const TileIntersect<3> clip{{extent[0], extent[1], extent[2]}, {tile[0], tile[1], tile[2]}};
  const int dstStrides[3] = {callerFlags[0], callerFlags[1], 1};
  const int srcStrides[3] = {tileFlags[0], tileFlags[1], 1};
  int64_t found = 0;
  for (int ti = range.first[0]; ti < range.last[0]; ++ti) {
    for (int tj = range.first[1]; tj < range.last[1]; ++tj) {
      const int index[3] = {ti, tj, 0};
      int ovStart[3], ovSize[3];
      if (clip.GetEx(ovStart, ovSize, start, size, index) == TileIntersect<3>::None) continue;
      int state = 0;
      if (!ReadRawGridFlagsTile(lod, ti, tj, &state, buffer.bytes(), func)) return false;
      found += state != 0;
      const int64_t src = int64_t{ovStart[0] - ti * tile[0]} * srcStrides[0] +
                          int64_t{ovStart[1] - tj * tile[1]} * srcStrides[1];
      const int64_t dst =
          (int64_t{ovStart[0]} - i0) * dstStrides[0] + (int64_t{ovStart[1]} - j0) * dstStrides[1];
      CopyBox<unsigned char>(flags + dst, dstStrides, buffer.bytes() + src, srcStrides, ovSize);
    }
  }
  if (found == 0) return func.setError(Err::BrickNotFound, fileInfo_->fileName);
  return true;
}

bool AccessorCore::ReadGridFlagsTile(int lod, int ti, int tj, int nti, int ntj,
                                     unsigned char** tiles, Status* status) {
  Func func("Accessor::ReadGridFlagsTile", status);
  if (!CheckOpen(func) || !CheckLod(lod, func)) return false;
  const int start[2] = {ti, tj}, count[2] = {nti, ntj};
  int end[2];
  if (!tiles || !LevelRangeEnd(*store_, lod, 2, start, count, end)) {
    return func.setError(Err::InvalidArgument, fileInfo_->fileName);
  }
  const int b0 = fileInfo_->brickSize[0], b1 = fileInfo_->brickSize[1];
  int64_t found = 0, n = 0;
  // Inside the level a tile's first trace is inside the survey: an int.
  for (int i = ti; i < end[0]; ++i) {
    for (int j = tj; j < end[1]; ++j, ++n) {
      if (!tiles[n]) continue;
      if (ReadGridFlags(lod, i * b0, j * b1, b0, b1, tiles[n], func.statusP())) {
        ++found;
      } else if (func.tyqError() != Err::BrickNotFound) {
        return false;
      }
    }
  }
  if (found == 0) return func.setError(Err::BrickNotFound, fileInfo_->fileName);
  return func.setSuccess();
}

bool AccessorCore::WriteGridFlags(int lod, int i0, int j0, int ni, int nj,
                                  const unsigned char* flags, Status* status) {
  Func func("Accessor::WriteGridFlags", status);
  if (!CheckWritable(func) || !CheckLod(lod, func)) return false;
  const int start[3] = {i0, j0, 0}, size[3] = {ni, nj, 1};
  if (!ValidBox(size) || !flags) return func.setError(Err::InvalidArgument, fileInfo_->fileName);
  const int tile[3] = {fileInfo_->brickSize[0], fileInfo_->brickSize[1], 1};
  int extent[3];
  FlagExtent(lod, extent);
  const size_t tileBytes = static_cast<size_t>(fileInfo_->GetNumberOfSamplesPerHorzTile());
  AlignedBuffer buffer, before;
  if (!buffer.Resize(tileBytes) || !before.Resize(tileBytes)) {
    return func.setError(Err::OutOfMemory, fileInfo_->fileName);
  }
  int callerFlags[2] = {nj, 1};
  FlagStrides(accessOrder_, ni, nj, callerFlags);
  const int srcStrides[3] = {callerFlags[0], callerFlags[1], 1};
  const int dstStrides[3] = {flagStrides_[0], flagStrides_[1], 1};
  const BrickRange range = CutIntoBricks(start, size, tile);
  const TileIntersect<3> clip{{extent[0], extent[1], extent[2]}, {tile[0], tile[1], tile[2]}};
  for (int ti = range.first[0]; ti < range.last[0]; ++ti) {
    for (int tj = range.first[1]; tj < range.last[1]; ++tj) {
      const int index[3] = {ti, tj, 0};
      int ovStart[3], ovSize[3];
      const auto level = clip.GetEx(ovStart, ovSize, start, size, index);
      if (level == TileIntersect<3>::None) continue;
      int state = 0;
      // At level 0 the old flags say which samples the histogram counts.
      if ((level == TileIntersect<3>::Partial || lod == 0) &&
          !ReadRawGridFlagsTile(lod, ti, tj, &state, buffer.bytes(), func)) {
        return false;
      }
      if (lod == 0) std::memcpy(before.data(), buffer.data(), before.size());
      const int64_t src =
          (int64_t{ovStart[0]} - i0) * srcStrides[0] + (int64_t{ovStart[1]} - j0) * srcStrides[1];
      const int64_t dst = int64_t{ovStart[0] - ti * tile[0]} * dstStrides[0] +
                          int64_t{ovStart[1] - tj * tile[1]} * dstStrides[1];
      CopyBox<unsigned char>(buffer.bytes() + dst, dstStrides, flags + src, srcStrides, ovSize);
      HistogramBuilder gone(2), came(2);
      bool changed = false;
      if (lod == 0 && !CollectFlagChange(ti, tj, state, before.bytes(), buffer.bytes(), gone, came,
                                         changed, func)) {
        return false;
      }
      if (getDebugLevel() > 1) std::printf("##    Write Tile (%d,%d) LOD%d\n", ti, tj, lod);
      if (!store_->SetGridFlagsTile(ti, tj, lod, buffer.bytes(), func.statusP())) return false;
      ++unflushed_;
      if (changed) {
        std::lock_guard<std::mutex> hold(histLock_);
        *hist_ -= gone;
        *hist_ += came;
      }
    }
  }
  return true;
}

// The histogram counts the live samples of the bricks the file holds, so
// flags that change over stored bricks change what it counts: the samples of
// traces that die leave it (`gone`), those of traces that come alive enter
// it (`came`). Everything is read before the tile is stored, so that a read
// that fails changes nothing. An absent tile counted its column as live.
bool AccessorCore::CollectFlagChange(int ti, int tj, int oldState, const unsigned char* before,
                                     const unsigned char* after, HistogramBuilder& gone,
                                     HistogramBuilder& came, bool& changed, Func& func) {
  const size_t bytes = static_cast<size_t>(fileInfo_->GetNumberOfSamplesPerHorzTile());
  std::vector<unsigned char> died(bytes), born(bytes);
  changed = false;
  for (size_t t = 0; t < bytes; ++t) {
    const bool was = oldState == 0 || before[t] != 0, is = after[t] != 0;
    died[t] = was && !is;
    born[t] = !was && is;
    changed = changed || was != is;
  }
  if (!changed) return true;
  came = EmptyHistogram();
  const HistogramData& range = came.gethisto();
  gone = HistogramBuilder(range.GetSize(), range.getmin(), range.getmax(), true);
  AlignedBuffer samples;
  for (int tk = 0; tk < store_->GetNumberOfBricks(2, 0); ++tk) {
    const int index[3] = {ti, tj, tk};
    bool had = false;
    if (!ReadStoredBrick(index, samples, had, func)) return false;
    if (!had) continue;
    int valid[3];
    ValidSize(0, index, valid);
    AddBrickSamples(fileInfo_->dataType, &gone, samples.data(), valid, brickStrides_, died.data(),
                    flagStrides_, true, nullptr);
    AddBrickSamples(fileInfo_->dataType, &came, samples.data(), valid, brickStrides_, born.data(),
                    flagStrides_, true, nullptr);
  }
  return true;
}

bool AccessorCore::WriteGridFlagsTile(int lod, int ti, int tj, int nti, int ntj,
                                      const unsigned char* const* tiles, Status* status) {
  Func func("Accessor::WriteGridFlagsTile", status);
  if (!CheckWritable(func) || !CheckLod(lod, func)) return false;
  const int start[2] = {ti, tj}, count[2] = {nti, ntj};
  int end[2];
  if (!tiles || !LevelRangeEnd(*store_, lod, 2, start, count, end)) {
    return func.setError(Err::InvalidArgument, fileInfo_->fileName);
  }
  const int b0 = fileInfo_->brickSize[0], b1 = fileInfo_->brickSize[1];
  int64_t n = 0;
  for (int i = ti; i < end[0]; ++i) {
    for (int j = tj; j < end[1]; ++j, ++n) {
      if (tiles[n] && !WriteGridFlags(lod, i * b0, j * b1, b0, b1, tiles[n], func.statusP())) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private::Access
