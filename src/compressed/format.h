#pragma once

// Byte layout of the compressed ("VCS") volume file: records to bytes and
// back, with no file I/O. Decoders take untrusted bytes, read only what they
// are given and turn any bit pattern into defined values.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tyq/records.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {

inline constexpr char kMagicBytes[] = "VCS";
constexpr int32_t kMagic = 0x00534356;
constexpr int32_t kOldestVersion = 6;
constexpr int32_t kNewestVersion = 16;
constexpr size_t kHeaderSize = 8;
constexpr int64_t kOffsetsPos = 8;
constexpr size_t kOffsetsSize = 40;
constexpr int64_t kInfoPos = 48;
constexpr int kBrick = 64;
constexpr int kMaxLevels = 32;
constexpr int kHistBins = 256;
constexpr size_t kHistHeadSize = 24;
constexpr size_t kHistWideSize = 2056;
constexpr size_t kHistNarrowMax = 1032;
constexpr size_t kBrickHeadSize = 12;
constexpr size_t kTileHeadSize = 9;
constexpr size_t kTableHeadSize = 5;
constexpr int32_t kTileBytes = kBrick * kBrick;

// The five record positions of the offsets record. The second slot, left 0
// by other writers and ignored by their readers, holds the position of the
// statistics record.
struct Offsets {
  int64_t info = kInfoPos;
  int64_t statistics = 0;
  int64_t alphaTable = 0;
  int64_t brickTable = 0;
  int64_t hist = 0;
};

std::string encodeOffsets(const Offsets& offsets);
Offsets decodeOffsets(const uint8_t bytes[kOffsetsSize]);

// Information block: its size by version (0 outside 6..16), and the block
// from and to the two records. Decoding fills every field the block does
// not hold with the values a reader of the file sees.
size_t infoSize(int32_t version);
std::string encodeInfo(int32_t version, const FileAccess::FileInfo& fileInfo,
                       const FileAccess::DataInfo& dataInfo);
void decodeInfo(int32_t version, const uint8_t* bytes, FileAccess::FileInfo& fileInfo,
                FileAccess::DataInfo& dataInfo);
// Data-type codes of the block, exchanged in pairs.
uint8_t storedTypeCode(int32_t sourceType);
int32_t typeOfStoredCode(uint8_t code);

// Histogram record: the 24-byte head and the bin counts.
struct HistRecord {
  float sqnr = 0.0f;
  float compressionFactor = 0.0f;
  float rangeMax = 0.0f;
  float rangeMin = 0.0f;
  float statMax = 0.0f;
  float statMin = 0.0f;
  int64_t bins[kHistBins] = {};
};

std::string encodeHist(const HistRecord& record);
// The payload byte count in the head; negative or oversized counts are the
// caller's to refuse (see histPayloadFits).
int32_t histPayloadSize(const uint8_t head[kHistHeadSize]);
bool histPayloadFits(int32_t size);
// Head and payload; false when the payload does not decode to 256 counts.
bool decodeHist(const uint8_t head[kHistHeadSize], const uint8_t* payload, int32_t size,
                bool symmetricRange, HistRecord& record);

// Statistics record: sample count, sum and sum of squares of the live
// samples written, which the histogram record cannot hold. A tag guards
// against a foreign value in the slot that points to it.
struct StatsRecord {
  int64_t count = 0;
  double sum = 0.0;
  double sumOfSquares = 0.0;
};
constexpr size_t kStatsRecordSize = 28;
std::string encodeStats(const StatsRecord& record);
// False for bytes that are not a sound record (wrong tag, negative count,
// sums that are not finite).
bool decodeStats(const uint8_t bytes[kStatsRecordSize], StatsRecord& record);

// Where each level's entries begin in a lookup table, and its counts.
struct LevelGeometry {
  int levels = 0;
  int32_t count[kMaxLevels][3] = {};
  int64_t start[kMaxLevels + 1] = {};

  int64_t total() const { return start[levels]; }
  // -1 outside the level's counts or beyond the last level.
  int64_t index(int32_t i, int32_t j, int32_t k, int level) const;
};

// Bricks along an axis of `samples` samples.
inline int32_t bricksAlong(int32_t samples) {
  return static_cast<int32_t>((int64_t{samples} + kBrick - 1) / kBrick);
}

// Levels of a volume of `bricks` bricks per axis, 1 + ceil(log2(largest)),
// at most 32.
int pyramidLevels(const int32_t bricks[3]);
LevelGeometry makeGeometry(const int32_t bricks[3], int levels);

// Lookup-table record: 5-byte head and the coded entries, already in file
// order (see FileVersionHandlerBase::ToFileOrder).
std::string encodeTable(const std::vector<int64_t>& entries);
// The coded size in bits from the head; the caller checks it against the
// file before reading the payload.
int32_t tableBits(const uint8_t head[kTableHeadSize]);
// The most bytes the table record could decode to, known from its head
// without decoding: a table needing more cannot be this record, and is
// refused before it is allocated. Forms that repeat one value as often as
// the reader asks are unbounded (INT64_MAX).
int64_t tableBytesBound(const uint8_t head[kTableHeadSize], const uint8_t* payload,
                        size_t payloadSize);
// `entries` holds as many entries as the table must decode to.
bool decodeTable(const uint8_t head[kTableHeadSize], const uint8_t* payload, size_t payloadSize,
                 std::vector<int64_t>& entries);
// Most entries a table may have (32 Mi bricks, a 256 MiB table): more is
// taken for a damaged block rather than allocated.
constexpr int64_t kMaxTableEntries = int64_t{1} << 25;

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
