// Reading boxes, bricks and grid flags through the accessor core.
#include <algorithm>
#include <cstring>

#include "access/accessor_core.h"
#include "access/accessor_util.h"
#include "access/strided_copy.h"
#include "core/aligned_buffer.h"
#include "core/sample_type.h"
#include "tyq/brick_geometry.h"

namespace Qra::Ostrel::Tyq::Private::Access {

using Err = FileAccess::Error;
namespace FA = FileAccess;

namespace {

// Partial bricks are read in slabs of their slowest axis.
int slowestAxis(int order) {
  return order <= 1 ? 0 : (order <= 3 ? 1 : 2);
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
  const int32_t storedSize = store_->GetSampleSize();
  const int64_t brickSamples = fileInfo_->GetNumberOfSamplesPerBrick();
  // Orders without a layout of their own keep the trace-optimised one.
  int callerStrides[3] = {size[1] * size[2], size[2], 1};
  StorageStrides(accessOrder_, size, callerStrides);
  // Stored bricks are read only along the slabs of their slowest axis that
  // the request crosses, into a window of that size; constant and absent
  // bricks fill the box directly. So the memory a read takes follows the
  // request, not the brick size a file claims.
  const int slow = slowestAxis(fileInfo_->storageOrder);
  const int64_t slab = brickSamples / brick[slow];
  const size_t windowBytes = static_cast<size_t>(slab * std::min(brick[slow], size[slow])) *
                             std::max<size_t>(sizeof(T), static_cast<size_t>(storedSize));
  AlignedBuffer window;
  const ConvFcn convert = conversions_.read[SampleTypeOf<T>()];
  // Requests much larger than the cache are written around it.
  const bool stream =
      int64_t{size[0]} * size[1] * size[2] * static_cast<int64_t>(sizeof(T)) > (int64_t{32} << 20);
  const TileIntersect<3> clip{{extent[0], extent[1], extent[2]}, {brick[0], brick[1], brick[2]}};
  int64_t found = 0;
  for (int i = range.first[0]; i < range.last[0]; ++i) {
    for (int j = range.first[1]; j < range.last[1]; ++j) {
      for (int k = range.first[2]; k < range.last[2]; ++k) {
        const int index[3] = {i, j, k};
        int ovStart[3], ovSize[3];
        if (clip.GetEx(ovStart, ovSize, start, size, index) == TileIntersect<3>::None) continue;
        int64_t dstOffset = 0;
        for (int d = 0; d < 3; ++d) {
          dstOffset += (int64_t{ovStart[d]} - start[d]) * callerStrides[d];
        }
        T* dst = data + dstOffset;
        alignas(8) unsigned char constant[8] = {};
        const BrickStore::Holding holding = store_->PeekBrick(i, j, k, lod, constant);
        if (holding == BrickStore::Holding::Absent) {
          FillBox(dst, callerStrides, T{}, ovSize);
          continue;
        }
        if (holding == BrickStore::Holding::Constant) {
          if (convert) {
            convert(constant, scaleLow_, scaleHigh_, nullptr, fileInfo_->valueMin,
                    fileInfo_->valueMax, 1);
          }
          T value;
          std::memcpy(&value, constant, sizeof(T));
          FillBox(dst, callerStrides, value, ovSize);
          ++found;
          continue;
        }
        if (window.size() == 0 && !window.Resize(windowBytes)) {
          return func.setError(Err::OutOfMemory, fileInfo_->fileName);
        }
        const int64_t brickStart = int64_t{index[slow]} * brick[slow];
        const int64_t skipBefore = (ovStart[slow] - brickStart) * slab;
        const int64_t skipAfter = (brickStart + brick[slow] - ovStart[slow] - ovSize[slow]) * slab;
        const BrickReadHint hint{skipBefore, skipAfter};
        if (!store_->GetBrickWindow(i, j, k, lod, window.data(), hint, func.statusP())) {
          if (func.tyqError() != Err::BrickNotFound) return false;
          func.setSuccess();
          FillBox(dst, callerStrides, T{}, ovSize);
          continue;
        }
        ++found;
        if (convert) {
          convert(window.data(), scaleLow_, scaleHigh_, nullptr, fileInfo_->valueMin,
                  fileInfo_->valueMax, brickSamples - skipBefore - skipAfter);
        }
        int64_t srcOffset = -skipBefore;
        for (int d = 0; d < 3; ++d) {
          srcOffset += int64_t{ovStart[d] - index[d] * brick[d]} * brickStrides_[d];
        }
        CopyBox<T>(dst, callerStrides, static_cast<const T*>(window.data()) + srcOffset,
                   brickStrides_, ovSize, stream);
      }
    }
  }
  if (found == 0) return func.setError(Err::BrickNotFound, fileInfo_->fileName);
  return true;
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
  const ConvFcn convert = ReadConversion<T>(raw);
  const int32_t storedSize = store_->GetSampleSize();
  const int64_t samples = fileInfo_->GetNumberOfSamplesPerBrick();
  const bool direct =
      accessOrder_ == fileInfo_->storageOrder && storedSize <= static_cast<int32_t>(sizeof(T));
  AlignedBuffer temp;
  if (!direct && !temp.Resize(static_cast<size_t>(samples) *
                              std::max<size_t>(sizeof(T), static_cast<size_t>(storedSize)))) {
    return func.setError(Err::OutOfMemory, fileInfo_->fileName);
  }
  int callerStrides[3] = {brickStrides_[0], brickStrides_[1], brickStrides_[2]};
  StorageStrides(accessOrder_, fileInfo_->brickSize, callerStrides);
  int64_t found = 0, n = 0;
  for (int i = begin[0]; i < end[0]; ++i) {
    for (int j = begin[1]; j < end[1]; ++j) {
      for (int k = begin[2]; k < end[2]; ++k, ++n) {
        T* out = bricks[n];
        if (!out) continue;
        void* target = direct ? static_cast<void*>(out) : temp.data();
        if (!store_->GetBrick(i, j, k, lod, target, func.statusP())) {
          if (func.tyqError() != Err::BrickNotFound) return false;
          func.setSuccess();
          std::memset(out, 0, static_cast<size_t>(samples) * sizeof(T));
          continue;
        }
        ++found;
        if (convert) {
          convert(target, scaleLow_, scaleHigh_, nullptr, fileInfo_->valueMin, fileInfo_->valueMax,
                  samples);
        }
        if (!direct) {
          CopyBox<T>(out, callerStrides, static_cast<const T*>(temp.data()), brickStrides_,
                     fileInfo_->brickSize);
        }
      }
    }
  }
  if (found == 0) return func.setError(Err::BrickNotFound, fileInfo_->fileName);
  return true;
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
