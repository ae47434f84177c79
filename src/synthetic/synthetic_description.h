#pragma once

// The text that describes a synthetic volume: its layout, value range,
// statistics, histogram, annotation, units and world position. Samples are
// never stored; they are computed from the position (synthetic_field.h).
//
// Format: "#" starts a comment running to the end of the line; blank lines
// and leading blanks are skipped. Each remaining line is one logical line of
// blank-separated tokens, in this order:
//   1      signature "Synthetic-TYQ-...-abc8c7a331c2 Version " and the version
//   2      sample type (SI8 UI8 SI16 UI16 SI32 UI32 F32), coding low and high
//   3      brick size along inline, crossline, vertical
//   4      statistics minimum and maximum
//   5      histogram lower and upper bound
//   6-21   256 histogram bin counts, sixteen per line
//   22-24  annotation start, increment and sample count of each axis
//   25     vertical unit factor, unit name, "depth" or "time"
//   26     horizontal unit factor, unit name
//   27-30  tie points: inline and crossline annotation, world x and y
//   31     border width (trailing samples of every brick that read as missing)
// Extra tokens at the end of a line are ignored, as are lines after line 31.
#include <cstdint>
#include <string>
#include <string_view>

#include "tyq/enums.h"

namespace Qra::Ostrel::Tyq::Private::Factory {

struct SyntheticDescription {
  struct TiePoint {
    float inlineAnnot = 0.0f;
    float crosslineAnnot = 0.0f;
    double x = 0.0;
    double y = 0.0;
  };

  int64_t version = 0;
  FileAccess::DataTypeEnum::value_type sampleType = FileAccess::DataTypeEnum::Float32;
  float codingLow = 0.0f;
  float codingHigh = 0.0f;
  int32_t brickSize[3] = {0, 0, 0};
  float statMin = 0.0f;
  float statMax = 0.0f;
  float histMin = 0.0f;
  float histMax = 0.0f;
  int64_t bins[256] = {};
  float annotStart[3] = {0, 0, 0};
  float annotInc[3] = {0, 0, 0};
  int32_t count[3] = {0, 0, 0};
  double vertFactor = 1.0;
  std::string vertUnit;
  FileAccess::VertDimEnum::value_type vertDomain = FileAccess::VertDimEnum::Unknown;
  double horzFactor = 1.0;
  std::string horzUnit;
  TiePoint tiePoints[4];
  uint64_t borderWidth = 0;
};

// The first 59 bytes of every description, which also identify the file type.
inline constexpr std::string_view kSyntheticSignature =
    "Synthetic-TYQ-c1842746-79d2-4fdb-a5fb-abc8c7a331c2 Version ";

// Descriptions are a few kilobytes; anything far larger is not one, and is
// refused before a byte of it is read into memory.
inline constexpr int64_t kMaxSyntheticDescriptionBytes = int64_t{1} << 20;

// Parses the signature line into `out.version`. Returns 0 on success (then
// the version is 1), or the error code: ReadFailed when the text ends before
// the signature or version, or nothing follows the signature line;
// UnknownFileType when the signature differs; VersionTooOld / VersionTooNew.
int ParseSyntheticSignature(std::string_view text, SyntheticDescription& out);

// Parses a whole version-1 description. Returns 0, or the error code of the
// signature (above) or ReadFailed for a missing line, a missing or malformed
// token, an unknown word, or a size that no volume can have. On failure `out`
// is partly filled and must be discarded.
int ParseSyntheticDescription(std::string_view text, SyntheticDescription& out);

}  // namespace Qra::Ostrel::Tyq::Private::Factory
