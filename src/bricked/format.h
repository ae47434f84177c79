#pragma once

// Byte layout of the uncompressed ("VBS") volume file: records to bytes and
// back, with no file I/O. Every decoder takes untrusted bytes: it reads only
// the bytes it is given and turns any bit pattern into defined values.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/saturate.h"
#include "tyq/records.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {

// The first four bytes of every file, the terminating zero included.
inline constexpr char kMagicBytes[] = "VBS";
constexpr int32_t kMagic = kMagicBytes[0] | kMagicBytes[1] << 8 | kMagicBytes[2] << 16;
constexpr size_t kHeaderSize = 8;
constexpr size_t kV1OffsetsSize = 32;
constexpr size_t kV1InfoSize = 146;
constexpr size_t kV23InfoFixedSize = 337;
constexpr size_t kV1HistSize = 1032;
constexpr size_t kV23HistSize = 2064;
constexpr size_t kEntrySize = 8;
constexpr int64_t kV1InfoPos = 40;
constexpr int64_t kV23InfoPos = 9;
// Five empty strings, each with its terminator.
constexpr uint32_t kV23MinStringsLength = 5;

// ---------------------------------------------------------------------------
// Number conversions shared by the encoders and decoders.

using Private::truncToInt32;
using Private::truncToInt64;

// Sample-type byte of both information blocks: an unknown type is written as
// 32-bit float.
inline uint8_t storedSampleType(FileAccess::EnumClass<FileAccess::DataTypeEnum> type) {
  const int32_t t = type;
  return static_cast<uint8_t>(t >= 0 && t <= 7 ? t : 6);
}

// ---------------------------------------------------------------------------
// Header and version-1 offsets block.

void encodeHeader(int32_t version, uint8_t out[kHeaderSize]);
// False when the magic is missing; `version` is set only when it is present.
bool decodeHeader(const uint8_t in[kHeaderSize], int32_t& version);

struct V1Offsets {
  int64_t info = -1;
  int64_t tiles = -1;
  int64_t bricks = -1;
  int64_t hist = -1;
};
// Stored in the order info, tiles, bricks, hist; each high word first.
void encodeV1Offsets(const V1Offsets& offsets, uint8_t out[kV1OffsetsSize]);
V1Offsets decodeV1Offsets(const uint8_t in[kV1OffsetsSize]);

// ---------------------------------------------------------------------------
// Information block. Decoders set every DataInfo member and the FileInfo
// members the block describes (geometry, storage order, coding, sample type,
// value range); file name, size, format name, version and alignment are left
// alone.

// 146 bytes.
std::string encodeInfoV1(const FileAccess::FileInfo& fileInfo, const FileAccess::DataInfo& info);
// The version-1 block has no value range: it is left 0, 0 here and taken
// from the histogram block, so decode the information block first.
void decodeInfoV1(const uint8_t in[kV1InfoSize], FileAccess::FileInfo& fileInfo,
                  FileAccess::DataInfo& info);

// 337 fixed bytes followed by the strings block.
std::string encodeInfoV23(const FileAccess::FileInfo& fileInfo, const FileAccess::DataInfo& info);
// The strings block length stored at fixed offset 333.
uint32_t stringsLengthV23(const uint8_t fixed[kV23InfoFixedSize]);
// The strings block length that encodeInfoV23 writes for `info`. A string is
// stored up to its first zero byte, so this can be less than the sum of the
// std::string sizes; use it, not those sizes, to place the blocks behind.
uint32_t stringsLengthV23(const FileAccess::DataInfo& info);
// Whether a stored strings length can be right for a file of `fileSize`
// bytes (at least five terminators, and the block inside the file). Check
// this before allocating room for the block.
bool stringsLengthPlausibleV23(uint32_t length, int64_t fileSize);
// Decodes the fixed part and the strings block. False, with both records
// untouched, when `stringsLength` differs from the length stored in `fixed`
// or the block is not exactly five zero-terminated strings.
bool decodeInfoV23(const uint8_t fixed[kV23InfoFixedSize], const uint8_t* strings,
                   size_t stringsLength, FileAccess::FileInfo& fileInfo,
                   FileAccess::DataInfo& info);

// World corners of `info` (its annotation axes already set) from three tie
// points: ordered corners 0, 1 and 2 as stored, each an inline and crossline
// annotation with a world x and y.
void cornersFromTiePoints(FileAccess::DataInfo& info, const float inlineAnnot[3],
                          const float crosslineAnnot[3], const double x[3], const double y[3]);

// ---------------------------------------------------------------------------
// Histogram block.

// 1032 bytes. Bins are scaled down to fit 32 bits and rebinned when the range
// written (the FileInfo value range, except for float files) is not the
// histogram's own.
std::string encodeHistV1(const FileAccess::Histogram& hist, const FileAccess::FileInfo& fileInfo);
// Also sets the FileInfo value range and the statistics minimum and maximum
// from the stored range; the count comes back 0.
void decodeHistV1(const uint8_t in[kV1HistSize], FileAccess::Histogram& hist,
                  FileAccess::FileInfo& fileInfo, FileAccess::DataInfo& info);
// 2064 bytes: the record as it is.
std::string encodeHistV23(const FileAccess::Histogram& hist);
void decodeHistV23(const uint8_t in[kV23HistSize], FileAccess::Histogram& hist);

// ---------------------------------------------------------------------------
// Lookup table entries, as int64 values in memory (version-1 word order
// undone). Decoders return 0 for a never-written entry, 1 for a constant
// (whose value goes to the out pointer when it is not null) and otherwise the
// byte position. A version-1 entry that is negative is no valid position and
// is returned as it is; callers must treat it as corrupt.

// Exchanges the two 32-bit words of every entry: version-1 file order and
// memory order are each other's image.
void swapEntryWords(int64_t* entries, size_t count);

// `constant` (one sample, little-endian, 1 to 7 bytes) null gives `position`.
int64_t encodeBrickEntryV23(int64_t position, const void* constant, int sampleSize);
int64_t decodeBrickEntryV23(int64_t entry, void* constantOut, int sampleSize);
int64_t encodeTileEntryV23(int64_t position, const uint8_t* constant);
int64_t decodeTileEntryV23(int64_t entry, uint8_t* constantOut);

// Version 1 keeps only the constant zero as an entry (value 1).
int64_t encodeEntryV1(int64_t position, bool zeroConstant);
int64_t decodeBrickEntryV1(int64_t entry, void* constantOut, int sampleSize);
int64_t decodeTileEntryV1(int64_t entry, uint8_t* constantOut);

// ---------------------------------------------------------------------------
// Table geometry: the entries of every level, highest level first.

struct TableGeometry {
  struct Level {
    int32_t count[3] = {0, 0, 0};  // bricks along each axis
    int64_t brickStart = 0;        // index of the level's first entry
    int64_t tileStart = 0;
  };
  std::vector<Level> levels;  // indexed by level number
  int64_t brickEntries = 0;
  int64_t tileEntries = 0;
};

// False when the tables would not fit 64-bit byte offsets (only possible for
// geometry read from a corrupt file).
[[nodiscard]] bool computeTableGeometry(const FileAccess::FileInfo& fileInfo, TableGeometry& out);
// Entry index of brick (i, j, k) or tile (i, j) of a level; -1 outside.
int64_t brickEntryIndex(const TableGeometry& geometry, int level, int32_t i, int32_t j, int32_t k);
int64_t tileEntryIndex(const TableGeometry& geometry, int level, int32_t i, int32_t j);

// Whether geometry and sample type read from a file can be worked with:
// positive brick sizes, a known sample type and a brick whose byte size fits
// an int32.
[[nodiscard]] bool validBrickGeometry(const FileAccess::FileInfo& fileInfo);
// Whether a new file of `version` may have this geometry: valid as above, a
// brick the version can describe (version 1 stores none: 64 on every axis),
// and one the levels of detail can halve (even sizes whenever there is more
// than one level).
[[nodiscard]] bool creatableBrickGeometry(const FileAccess::FileInfo& fileInfo, int32_t version);

// ---------------------------------------------------------------------------
// Version-1 order of traces in bricks and tiles: 8 x 8 blocks of traces, each
// trace `traceBytes` long (one flag byte in a tile, brick2 samples in a
// brick). Both return false, writing nothing, unless brick0 and brick1 are
// positive multiples of 8.

[[nodiscard]] bool toBlockedLayout(const uint8_t* natural, uint8_t* blocked, int brick0, int brick1,
                                   size_t traceBytes);
[[nodiscard]] bool fromBlockedLayout(const uint8_t* blocked, uint8_t* natural, int brick0,
                                     int brick1, size_t traceBytes);
// Trace number of trace (i0, i1) in the blocked order.
int64_t blockedTraceIndex(int i0, int i1, int brick1);

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
