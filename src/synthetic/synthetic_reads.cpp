// Reading a synthetic volume: boxes and bricks of computed samples, and the
// grid flags and positions of a volume that stores nothing.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>

#include "core/sample_type.h"
#include "synthetic/synthetic_reader_imp.h"
#include "tyq/brick_geometry.h"

namespace Qra::Ostrel::Tyq::Private::Factory {

namespace {

using Err = FileAccess::Error;
namespace FA = FileAccess;

using Lock = std::lock_guard<std::mutex>;

// How many entries of `elementBytes` each a caller buffer of n[0] x ... x
// n[dims - 1] entries holds; -1 for a negative size or a count that no
// buffer can have, which would otherwise let offsets overflow.
int64_t Entries(const int* n, int dims, size_t elementBytes) {
  const int64_t limit =
      std::numeric_limits<std::ptrdiff_t>::max() / static_cast<int64_t>(elementBytes);
  int64_t total = 1;
  for (int d = 0; d < dims; ++d) {
    if (n[d] < 0) return -1;
    if (n[d] != 0 && total > limit / n[d]) return -1;
    total *= n[d];
  }
  return total;
}

// A level below 0 has no meaning; levels beyond the file's count are served.
bool CheckRequest(Func& func, const std::string& name, int lod, int64_t entries,
                  const void* buffer) {
  if (lod < 0 || entries < 0 || (entries > 0 && buffer == nullptr)) {
    return func.setError(Err::InvalidArgument, name);
  }
  return true;
}

template <typename T>
auto SamplesFor(float low, float high) {
  if constexpr (std::is_floating_point_v<T>) {
    return FloatSamples{};
  } else {
    return IntegerSamples<T>(low, high);
  }
}

}  // namespace

template <typename T>
bool SyntheticReaderImp::ReadBox(int lod, const int start[3], const int size[3], T* data,
                                 Status* status) {
  Func func("SyntheticReader::ReadData", status);
  Lock hold(lock_);
  if (!CheckOpen(func)) return false;
  const int64_t entries = Entries(size, 3, sizeof(T));
  if (!CheckRequest(func, fileInfo_.fileName, lod, entries, data)) return false;
  if (entries == 0) return true;
  int64_t strides[3] = {0, 0, 0};
  StorageStrides(layoutOrder_, size, strides);
  const int64_t first[3] = {start[0], start[1], start[2]};
  field_.Fill(lod, first, size, strides, data, SamplesFor<T>(scaleLow_, scaleHigh_));
  return true;
}

bool SyntheticReaderImp::ReadData(int lod, const int start[3], const int size[3], float* data,
                                  Status* status) {
  return ReadBox(lod, start, size, data, status);
}

bool SyntheticReaderImp::ReadData(int lod, const int start[3], const int size[3], short* data,
                                  Status* status) {
  return ReadBox(lod, start, size, data, status);
}

bool SyntheticReaderImp::ReadData(int lod, const int start[3], const int size[3], signed char* data,
                                  Status* status) {
  return ReadBox(lod, start, size, data, status);
}

template <typename Samples, typename Buffer>
void SyntheticReaderImp::FillBricks(int lod, const int first[3], const int count[3], Buffer* bricks,
                                    const Samples& samples) const {
  using T = typename Samples::value_type;
  const int* brick = fileInfo_.brickSize;
  int64_t strides[3] = {0, 0, 0};
  StorageStrides(layoutOrder_, brick, strides);
  int64_t p = 0;
  for (int64_t bi = first[0]; bi < int64_t{first[0]} + count[0]; ++bi) {
    for (int64_t bj = first[1]; bj < int64_t{first[1]} + count[1]; ++bj) {
      for (int64_t bk = first[2]; bk < int64_t{first[2]} + count[2]; ++bk) {
        T* out = static_cast<T*>(bricks[p++]);
        if (!out) continue;
        const int64_t start[3] = {bi * brick[0], bj * brick[1], bk * brick[2]};
        field_.Fill(lod, start, brick, strides, out, samples);
      }
    }
  }
}

template <typename T>
bool SyntheticReaderImp::ReadBricks(int lod, const int first[3], const int count[3], T** bricks,
                                    Status* status) {
  Func func("SyntheticReader::ReadDataBrick", status);
  Lock hold(lock_);
  if (!CheckOpen(func)) return false;
  if (!CheckRequest(func, fileInfo_.fileName, lod, Entries(count, 3, sizeof(T*)), bricks))
    return false;
  FillBricks(lod, first, count, bricks, SamplesFor<T>(scaleLow_, scaleHigh_));
  return true;
}

bool SyntheticReaderImp::ReadDataBrick(int lod, const int first[3], const int count[3],
                                       signed char** bricks, Status* status) {
  return ReadBricks(lod, first, count, bricks, status);
}

bool SyntheticReaderImp::ReadDataBrick(int lod, const int first[3], const int count[3],
                                       short** bricks, Status* status) {
  return ReadBricks(lod, first, count, bricks, status);
}

bool SyntheticReaderImp::ReadDataBrick(int lod, const int first[3], const int count[3],
                                       float** bricks, Status* status) {
  return ReadBricks(lod, first, count, bricks, status);
}

// Raw samples are what a file of this coding would store: codes of the
// coding range, whatever access scale the caller chose.
bool SyntheticReaderImp::ReadRawBrick(int lod, const int first[3], const int count[3],
                                      void** bricks, Status* status) {
  Func func("SyntheticReader::ReadRawBrick", status);
  Lock hold(lock_);
  if (!CheckOpen(func)) return false;
  if (!CheckRequest(func, fileInfo_.fileName, lod, Entries(count, 3, sizeof(void*)), bricks))
    return false;
  const float low = fileInfo_.valueMin, high = fileInfo_.valueMax;
  return visitSampleType(
      fileInfo_.dataType,
      [&](auto tag) {
        using T = typename decltype(tag)::type;
        if constexpr (std::is_same_v<T, float>) {
          FillBricks(lod, first, count, bricks, FloatSamples{});
        } else {
          FillBricks(lod, first, count, bricks, IntegerSamples<T>(low, high));
        }
        return true;
      },
      [&] { return func.setError(Err::InternalError, fileInfo_.fileName); });
}

bool SyntheticReaderImp::ReadGridFlags(int lod, int ni, int nj, unsigned char* flags,
                                       Status* status) {
  Func func("SyntheticReader::ReadGridFlags", status);
  Lock hold(lock_);
  if (!CheckOpen(func)) return false;
  const int n[2] = {ni, nj};
  const int64_t entries = Entries(n, 2, 1);
  if (!CheckRequest(func, fileInfo_.fileName, lod, entries, flags)) return false;
  if (entries > 0) std::memset(flags, 1, static_cast<size_t>(entries));
  return true;
}

bool SyntheticReaderImp::ReadGridFlagsTile(int lod, int nti, int ntj, unsigned char** tiles,
                                           Status* status) {
  Func func("SyntheticReader::ReadGridFlagsTile", status);
  Lock hold(lock_);
  if (!CheckOpen(func)) return false;
  const int n[2] = {nti, ntj};
  const int64_t entries = Entries(n, 2, sizeof(unsigned char*));
  if (!CheckRequest(func, fileInfo_.fileName, lod, entries, tiles)) return false;
  const auto tileBytes = static_cast<size_t>(fileInfo_.GetNumberOfSamplesPerHorzTile());
  for (int64_t p = 0; p < entries; ++p) {
    if (tiles[p]) std::memset(tiles[p], 1, tileBytes);
  }
  return true;
}

bool SyntheticReaderImp::GetGridFlagsTilePos(long long* positions, int lod, int nti, int ntj,
                                             Status* status) {
  Func func("SyntheticReader::GetGridFlagsTilePos", status);
  Lock hold(lock_);
  if (!CheckOpen(func)) return false;
  const int n[2] = {nti, ntj};
  const int64_t entries = Entries(n, 2, sizeof(long long));
  if (!CheckRequest(func, fileInfo_.fileName, lod, entries, positions)) return false;
  for (int64_t p = 0; p < entries; ++p) positions[p] = 0;
  return true;
}

bool SyntheticReaderImp::GetDataBrickPos(long long* positions, int lod, const int count[3],
                                         Status* status) {
  Func func("SyntheticReader::GetDataBrickPos", status);
  Lock hold(lock_);
  if (!CheckOpen(func)) return false;
  const int64_t entries = Entries(count, 3, sizeof(long long));
  if (!CheckRequest(func, fileInfo_.fileName, lod, entries, positions)) return false;
  for (int64_t p = 0; p < entries; ++p) positions[p] = 0;
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private::Factory
