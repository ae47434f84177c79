#include "raw_box.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

#include "level_box.h"
#include "tyq/brick_geometry.h"

namespace tyq_tool {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Qra::Ostrel::Tyq::Private::Status;
using Qra::Ostrel::Tyq::Private::StorageStrides;

namespace {

// The stored bricks' sample codes only come through unconverted while the
// access scale range is the file's coding range.
bool useCodingRange(FA::Reader& reader, const FA::FileInfo& info, Status* status) {
  if (info.valueMin == info.valueMax) return true;
  return reader.SetAccessScaleRange(info.valueMin, info.valueMax, status);
}

// Copies the part of brick `index` that lies in the box and inside the
// level's `extent` (a brick at the edge pads past it). Both buffers share the
// storage order, so runs along its fastest axis (stride 1) are contiguous.
void copyOverlap(char* box, const int start[3], const int size[3], const int64_t boxStrides[3],
                 const char* brick, const int index[3], const int brickSize[3],
                 const int64_t brickStrides[3], const int64_t extent[3], size_t sampleSize) {
  int lo[3], hi[3];
  for (int d = 0; d < 3; ++d) {
    const int64_t origin = int64_t{index[d]} * brickSize[d];
    lo[d] = static_cast<int>(std::max<int64_t>(start[d], origin));
    hi[d] =
        static_cast<int>(std::min({int64_t{start[d]} + size[d], origin + brickSize[d], extent[d]}));
  }
  const int fast = boxStrides[0] == 1 ? 0 : (boxStrides[1] == 1 ? 1 : 2);
  const int outer = fast == 0 ? 1 : 0, inner = fast == 2 ? 1 : 2;
  const size_t run = static_cast<size_t>(hi[fast] - lo[fast]) * sampleSize;
  int at[3];
  at[fast] = lo[fast];
  for (at[outer] = lo[outer]; at[outer] < hi[outer]; ++at[outer]) {
    for (at[inner] = lo[inner]; at[inner] < hi[inner]; ++at[inner]) {
      int64_t from = 0, to = 0;
      for (int d = 0; d < 3; ++d) {
        from += (at[d] - int64_t{index[d]} * brickSize[d]) * brickStrides[d];
        to += (at[d] - int64_t{start[d]}) * boxStrides[d];
      }
      std::memcpy(box + to * static_cast<int64_t>(sampleSize),
                  brick + from * static_cast<int64_t>(sampleSize), run);
    }
  }
}

}  // namespace

std::string npyTypeOfStored(FA::DataTypeEnum::value_type type) {
  // Indexed by the type code, int8 (0) to float (6); IBM float (7) has none.
  static const char* const kNames[] = {"|i1", "|u1", "<i2", "<u2", "<i4", "<u4", "<f4"};
  if (type < 0 || type >= static_cast<int>(std::size(kNames))) return "";
  return kNames[type];
}

bool readRawBox(FA::Reader& reader, const FA::FileInfo& info, const int32_t survey[3], int lod,
                const int start[3], const int size[3], int order, std::vector<char>& bytes,
                Status* status) {
  const size_t sampleSize = static_cast<size_t>(FA::DataTypeEnum::Size(info.dataType));
  const int* brickSize = info.brickSize;
  int64_t boxStrides[3], brickStrides[3];
  if (!StorageStrides(order, size, boxStrides) || !StorageStrides(order, brickSize, brickStrides)) {
    return status->setError(FA::Error::InvalidArgument, info.fileName, "tyq read");
  }
  std::vector<char> brick;
  try {
    bytes.assign(static_cast<size_t>(size[0]) * size[1] * size[2] * sampleSize, 0);
    brick.resize(static_cast<size_t>(brickSize[0]) * brickSize[1] * brickSize[2] * sampleSize);
  } catch (const std::bad_alloc&) {
    return status->setError(FA::Error::OutOfMemory, info.fileName, "tyq read");
  }
  if (!useCodingRange(reader, info, status)) return false;
  // Only the level's bricks: the box may reach past either end of it.
  int64_t extent[3];
  int first[3], last[3];
  for (int d = 0; d < 3; ++d) {
    extent[d] = levelExtent(survey[d], lod);
    const int64_t end = std::min(int64_t{start[d]} + size[d], extent[d]);
    first[d] = static_cast<int>(std::max(start[d], 0) / brickSize[d]);
    last[d] = static_cast<int>((end - 1) / brickSize[d]);
  }
  int64_t found = 0;
  int index[3];
  for (index[0] = first[0]; index[0] <= last[0]; ++index[0]) {
    for (index[1] = first[1]; index[1] <= last[1]; ++index[1]) {
      for (index[2] = first[2]; index[2] <= last[2]; ++index[2]) {
        void* target[1] = {brick.data()};
        if (reader.ReadRawBrick(lod, index[0], index[1], index[2], 1, 1, 1, target, status)) {
          ++found;
          copyOverlap(bytes.data(), start, size, boxStrides, brick.data(), index, brickSize,
                      brickStrides, extent, sampleSize);
        } else if (status->tyqError() != FA::Error::BrickNotFound) {
          return false;
        }
      }
    }
  }
  // Absent bricks leave their zeros; the status keeps the last "not found".
  if (found == 0) return false;
  return status->setSuccess();
}

}  // namespace tyq_tool
