// Reading boxes, bricks and grid flags through the accessor core.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>
#include <vector>

#include "access/accessor_core.h"
#include "access/accessor_util.h"
#include "access/brick_tasks.h"
#include "access/convert_box.h"
#include "access/strided_copy.h"
#include "core/aligned_buffer.h"
#include "core/sample_type.h"
#include "io/mapped_file.h"
#include "tyq/brick_geometry.h"

namespace Qra::Ostrel::Tyq::Private::Access {

using Err = FileAccess::Error;
namespace FA = FileAccess;

namespace {

// Partial bricks are read in slabs of their slowest axis.
int slowestAxis(int order) {
  return order <= 1 ? 0 : (order <= 3 ? 1 : 2);
}

// Scratch for bricks read by transfer.
AlignedBuffer& ThreadScratch() {
  static thread_local AlignedBuffer scratch;
  return scratch;
}

struct ScratchLease {
  ScratchLease() = default;
  ScratchLease(const ScratchLease&) = delete;
  ScratchLease& operator=(const ScratchLease&) = delete;
  ~ScratchLease() { TrimScratch(ThreadScratch()); }
};

// Whether a request of `bytes` is copied with cache-bypassing stores. Measured
// on a whole 256 MiB cube copied out of a mapped file: half the time of
// plain stores, which first read every destination line; below the size of
// the last-level cache plain stores win, as the caller reads the box next.
bool StreamsCopy(int64_t bytes) {
  return bytes > (int64_t{32} << 20);
}

// Sets every sample of a box of the caller's buffer to one value.
template <typename T>
void FillBox(T* dst, const int strides[3], T value, const int size[3]) {
  const int none[3] = {0, 0, 0};
  CopyBox<T>(dst, strides, &value, none, size);
}

}  // namespace

template <typename T>
ConvFcn AccessorCore::ReadConversion(bool raw) const {
  const int stored = fileInfo_->dataType;
  const ConvFcn entry = conversions_.read[SampleTypeOf<T>()];
  if (!raw || stored != SampleTypeOf<T>()) return entry;
  if constexpr (std::is_same_v<T, float>) {
    return nullptr;
  } else {
    const float lo = fileInfo_->valueMin, hi = fileInfo_->valueMax;
    return NearlyEqual(scaleLow_, lo) && NearlyEqual(scaleHigh_, hi) ? nullptr : entry;
  }
}

template <typename T>
bool AccessorCore::ReadGeneralRangeT(int lod, const int start[3], const int size[3], T* data,
                                     Func& func) {
  if (!CheckOpen(func)) return false;
  const int* brick = fileInfo_->brickSize;
  if (!ValidBox(size) || !data) return func.setError(Err::InvalidArgument, fileInfo_->fileName);
  int extent[3];
  LevelExtent(dataInfo_->size, lod, extent);
  const BrickRange range = CutIntoBricks(start, size, brick, extent);
  if (range.aligned) {
    T* bricks[1] = {data};
    const int end[3] = {range.first[0] + 1, range.first[1] + 1, range.first[2] + 1};
    return ReadDataExT(lod, range.first, end, bricks, false, func);
  }
  if (!CheckLod(lod, func)) return false;
  if (!OverlapsExtent(start, size, extent)) {
    return func.setError(Err::InvalidArgument, fileInfo_->fileName);
  }
  // Orders without a layout of their own keep the trace-optimised one.
  int callerStrides[3] = {size[1] * size[2], size[2], 1};
  StorageStrides(accessOrder_, size, callerStrides);
  const bool stream = StreamsCopy(int64_t{size[0]} * size[1] * size[2] * int64_t{sizeof(T)});
  const TileIntersect<3> clip{{extent[0], extent[1], extent[2]}, {brick[0], brick[1], brick[2]}};
  struct Piece {
    int index[3], start[3], size[3];
    int64_t offset;
  };
  std::vector<Piece> pieces;
  for (int i = range.first[0]; i < range.last[0]; ++i) {
    for (int j = range.first[1]; j < range.last[1]; ++j) {
      for (int k = range.first[2]; k < range.last[2]; ++k) {
        Piece p{{i, j, k}, {}, {}, 0};
        if (clip.GetEx(p.start, p.size, start, size, p.index) == TileIntersect<3>::None) continue;
        for (int d = 0; d < 3; ++d) p.offset += (int64_t{p.start[d]} - start[d]) * callerStrides[d];
        pieces.push_back(p);
      }
    }
  }
  const auto bricks = static_cast<int64_t>(pieces.size());
  return ReadBricks(bricks, threads_, fileInfo_->fileName, func, [&](int64_t n, Func& item) {
    const Piece& p = pieces[static_cast<size_t>(n)];
    const ScratchLease lease;
    return ReadBoxPieceT(lod, p.index, p.start, p.size, data + p.offset, callerStrides, stream,
                         bricks, item);
  });
}

// The part `ovStart`, `ovSize` of one brick into the caller's box at `dst`.
// Mapped bricks and bricks a store lends (decoded ones) are copied and
// converted in place; others are read by transfer, trimmed to the slabs of their slowest axis the
// part crosses, into the thread's scratch. Returns 1 when the brick exists, 0 when it is absent
// (the part then reads as zeros), -1 on failure.
template <typename T>
int AccessorCore::ReadBoxPieceT(int lod, const int index[3], const int ovStart[3],
                                const int ovSize[3], T* dst, const int dstStrides[3], bool stream,
                                int64_t requestBricks, Func& func) {
  const int* brick = fileInfo_->brickSize;
  const int32_t storedSize = store_->GetSampleSize();
  const ConvertCall convert{conversions_.read[SampleTypeOf<T>()], scaleLow_, scaleHigh_,
                            fileInfo_->valueMin, fileInfo_->valueMax};
  alignas(8) unsigned char constant[8] = {};
  const void* mapped = nullptr;
  const BrickStore::Holding holding =
      store_->LocateBrick(index[0], index[1], index[2], lod, constant, &mapped);
  if (holding != BrickStore::Holding::Stored) {
    T value{};
    if (holding == BrickStore::Holding::Constant) {
      if (convert.fn)
        convert.fn(constant, scaleLow_, scaleHigh_, nullptr, convert.srcLo, convert.srcHi, 1);
      std::memcpy(&value, constant, sizeof(T));
    }
    FillBox(dst, dstStrides, value, ovSize);
    return holding == BrickStore::Holding::Constant ? 1 : 0;
  }
  int64_t inBrick = 0;
  for (int d = 0; d < 3; ++d) {
    inBrick += int64_t{ovStart[d] - index[d] * brick[d]} * brickStrides_[d];
  }
  if (mapped) {
    const auto* src = static_cast<const unsigned char*>(mapped) + inBrick * storedSize;
    if (!GuardedRead([&] {
          ConvertBox(dst, dstStrides, src, storedSize, brickStrides_, ovSize, convert, stream);
        })) {
      return func.setError(Err::ReadFailed, fileInfo_->fileName), -1;
    }
    return 1;
  }
  BrickStore::LentBrick lent;
  if (!store_->LendBrick(index[0], index[1], index[2], lod, requestBricks, lent, func.statusP())) {
    if (func.tyqError() != Err::BrickNotFound) return -1;
    func.setSuccess();
    FillBox(dst, dstStrides, T{}, ovSize);
    return 0;
  }
  if (lent.samples) {
    int64_t at = 0;
    for (int d = 0; d < 3; ++d) at += int64_t{ovStart[d] - index[d] * brick[d]} * lent.strides[d];
    const auto* src = static_cast<const unsigned char*>(lent.samples) + at * storedSize;
    ConvertBox(dst, dstStrides, src, storedSize, lent.strides, ovSize, convert, stream);
    return 1;
  }
  const int slow = slowestAxis(fileInfo_->storageOrder);
  const int64_t slab = fileInfo_->GetNumberOfSamplesPerBrick() / brick[slow];
  const int64_t brickStart = int64_t{index[slow]} * brick[slow];
  const int64_t skipBefore = (ovStart[slow] - brickStart) * slab;
  const int64_t count = ovSize[slow] * slab;
  const int64_t skipAfter = (brickStart + brick[slow] - ovStart[slow] - ovSize[slow]) * slab;
  AlignedBuffer& window = ThreadScratch();
  if (!window.Resize(static_cast<size_t>(count) *
                     std::max<size_t>(sizeof(T), static_cast<size_t>(storedSize)))) {
    return func.setError(Err::OutOfMemory, fileInfo_->fileName), -1;
  }
  const BrickReadHint hint{skipBefore, skipAfter};
  if (!store_->GetBrickWindow(index[0], index[1], index[2], lod, window.data(), hint,
                              func.statusP())) {
    if (func.tyqError() != Err::BrickNotFound) return -1;
    func.setSuccess();
    FillBox(dst, dstStrides, T{}, ovSize);
    return 0;
  }
  if (convert.fn) {
    convert.fn(window.data(), scaleLow_, scaleHigh_, nullptr, convert.srcLo, convert.srcHi, count);
  }
  CopyBox<T>(dst, dstStrides, static_cast<const T*>(window.data()) + (inBrick - skipBefore),
             brickStrides_, ovSize, stream);
  return 1;
}

template <typename T>
bool AccessorCore::ReadBrickRangeT(int lod, const int start[3], const int count[3], T** bricks,
                                   bool raw, Func& func) {
  if (!CheckOpen(func) || !CheckLod(lod, func)) return false;
  int end[3];
  if (!bricks || !LevelRangeEnd(*store_, lod, 3, start, count, end)) {
    return func.setError(Err::InvalidArgument, fileInfo_->fileName);
  }
  return ReadDataExT(lod, start, end, bricks, raw, func);
}

template <typename T>
bool AccessorCore::ReadDataExT(int lod, const int begin[3], const int end[3], T** bricks, bool raw,
                               Func& func) {
  if (!CheckLod(lod, func)) return false;
  const ConvertCall convert{ReadConversion<T>(raw), scaleLow_, scaleHigh_, fileInfo_->valueMin,
                            fileInfo_->valueMax};
  int callerStrides[3] = {brickStrides_[0], brickStrides_[1], brickStrides_[2]};
  StorageStrides(accessOrder_, fileInfo_->brickSize, callerStrides);
  const int count[3] = {end[0] - begin[0], end[1] - begin[1], end[2] - begin[2]};
  const int64_t total = int64_t{count[0]} * count[1] * count[2];
  return ReadBricks(total, threads_, fileInfo_->fileName, func, [&](int64_t n, Func& item) {
    T* out = bricks[n];
    if (!out) return 0;
    const int index[3] = {begin[0] + static_cast<int>(n / (int64_t{count[1]} * count[2])),
                          begin[1] + static_cast<int>(n / count[2] % count[1]),
                          begin[2] + static_cast<int>(n % count[2])};
    const ScratchLease lease;
    return ReadWholeBrickT(lod, index, out, callerStrides, convert, total, item);
  });
}

// One whole brick into `out` (laid out by `outStrides`): copied from a
// mapping or from a brick the store lends, else read straight into `out`
// when it has the stored layout and room, else through the thread's
// scratch. Returns as ReadBoxPieceT does.
template <typename T>
int AccessorCore::ReadWholeBrickT(int lod, const int index[3], T* out, const int outStrides[3],
                                  const ConvertCall& convert, int64_t requestBricks, Func& func) {
  const int32_t storedSize = store_->GetSampleSize();
  const int64_t samples = fileInfo_->GetNumberOfSamplesPerBrick();
  const bool direct =
      accessOrder_ == fileInfo_->storageOrder && storedSize <= static_cast<int32_t>(sizeof(T));
  unsigned char constant[8];
  const void* mapped = nullptr;
  const BrickStore::Holding holding =
      store_->LocateBrick(index[0], index[1], index[2], lod, constant, &mapped);
  BrickStore::LentBrick lent;
  if (holding == BrickStore::Holding::Stored && !mapped && !direct &&
      !store_->LendBrick(index[0], index[1], index[2], lod, requestBricks, lent, func.statusP())) {
    if (func.tyqError() != Err::BrickNotFound) return -1;
    func.setSuccess();
    std::memset(out, 0, static_cast<size_t>(samples) * sizeof(T));
    return 0;
  }
  if (const void* in = mapped ? mapped : lent.samples) {
    const int* inStrides = mapped ? brickStrides_ : lent.strides;
    if (!GuardedRead([&] {
          ConvertBox(out, outStrides, in, storedSize, inStrides, fileInfo_->brickSize, convert);
        })) {
      return func.setError(Err::ReadFailed, fileInfo_->fileName), -1;
    }
    return 1;
  }
  AlignedBuffer& temp = ThreadScratch();
  if (!direct && !temp.Resize(static_cast<size_t>(samples) *
                              std::max<size_t>(sizeof(T), static_cast<size_t>(storedSize)))) {
    return func.setError(Err::OutOfMemory, fileInfo_->fileName), -1;
  }
  void* target = direct ? static_cast<void*>(out) : temp.data();
  if (!store_->GetBrick(index[0], index[1], index[2], lod, target, func.statusP())) {
    if (func.tyqError() != Err::BrickNotFound) return -1;
    func.setSuccess();
    std::memset(out, 0, static_cast<size_t>(samples) * sizeof(T));
    return 0;
  }
  if (convert.fn) {
    convert.fn(target, scaleLow_, scaleHigh_, nullptr, convert.srcLo, convert.srcHi, samples);
  }
  if (!direct) {
    CopyBox<T>(out, outStrides, static_cast<const T*>(temp.data()), brickStrides_,
               fileInfo_->brickSize);
  }
  return 1;
}

bool AccessorCore::ReadData(int lod, int i0, int j0, int k0, int ni, int nj, int nk, float* data,
                            Status* status) {
  Func func("Accessor::ReadData", status);
  const int start[3] = {i0, j0, k0}, size[3] = {ni, nj, nk};
  return ReadGeneralRangeT(lod, start, size, data, func);
}

bool AccessorCore::ReadData(int lod, int i0, int j0, int k0, int ni, int nj, int nk, short* data,
                            Status* status) {
  Func func("Accessor::ReadData", status);
  const int start[3] = {i0, j0, k0}, size[3] = {ni, nj, nk};
  return ReadGeneralRangeT(lod, start, size, data, func);
}

bool AccessorCore::ReadData(int lod, int i0, int j0, int k0, int ni, int nj, int nk,
                            signed char* data, Status* status) {
  Func func("Accessor::ReadData", status);
  const int start[3] = {i0, j0, k0}, size[3] = {ni, nj, nk};
  return ReadGeneralRangeT(lod, start, size, data, func);
}

bool AccessorCore::ReadDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                                 signed char** bricks, Status* status) {
  Func func("Accessor::ReadDataBrick", status);
  const int start[3] = {bi, bj, bk}, count[3] = {nbi, nbj, nbk};
  return ReadBrickRangeT(lod, start, count, bricks, false, func);
}

bool AccessorCore::ReadDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                                 short** bricks, Status* status) {
  Func func("Accessor::ReadDataBrick", status);
  const int start[3] = {bi, bj, bk}, count[3] = {nbi, nbj, nbk};
  return ReadBrickRangeT(lod, start, count, bricks, false, func);
}

bool AccessorCore::ReadDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                                 float** bricks, Status* status) {
  Func func("Accessor::ReadDataBrick", status);
  const int start[3] = {bi, bj, bk}, count[3] = {nbi, nbj, nbk};
  return ReadBrickRangeT(lod, start, count, bricks, false, func);
}

bool AccessorCore::ReadRawBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                                void** bricks, Status* status) {
  Func func("Accessor::ReadRawBrick", status);
  if (!CheckOpen(func)) return false;
  const int start[3] = {bi, bj, bk}, count[3] = {nbi, nbj, nbk};
  return visitSampleType(
      fileInfo_->dataType,
      [&](auto tag) {
        using T = typename decltype(tag)::type;
        return ReadBrickRangeT(lod, start, count, reinterpret_cast<T**>(bricks), true, func);
      },
      [&] { return func.setError(Err::InternalError, fileInfo_->fileName); });
}

}  // namespace Qra::Ostrel::Tyq::Private::Access
