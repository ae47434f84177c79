#include "info_command.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "json_writer.h"
#include "text_escape.h"
#include "tyq/brick_geometry.h"
#include "tyq/tyq.h"
#include "user_errors.h"

namespace tyq_tool {

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Qra::Ostrel::Tyq::Private::Status;

struct LevelCounts {
  int64_t absent = 0, constant = 0, stored = 0;
};

struct Summary {
  FA::FileInfo fileInfo;
  FA::DataInfo dataInfo;
  FA::Histogram hist;
  std::vector<LevelCounts> bricks, tiles;
  int64_t tablesEnd = 0;  // where the stored bricks and tiles end, uncompressed files only
};

// The end of the furthest stored item (positions 0 and 1 store nothing). A
// damaged table may hold any position: an end past the largest file stops
// there instead of wrapping round to one that looks complete.
void extendEnd(int64_t& end, const std::vector<long long>& positions, int64_t itemBytes) {
  for (const long long p : positions) {
    if (p <= 1) continue;
    end = std::max<int64_t>(end, p > INT64_MAX - itemBytes ? INT64_MAX : p + itemBytes);
  }
}

void count(LevelCounts& counts, int64_t position) {
  if (position == 0) {
    ++counts.absent;
  } else if (position == 1) {
    ++counts.constant;
  } else {
    ++counts.stored;
  }
}

// Through the accessor interface, so that every format is described alike.
bool summarize(FA::Reader& reader, Summary& out, Status* status) {
  if (!reader.GetFileInfo(out.fileInfo, status) || !reader.GetDataInfo(out.dataInfo, status) ||
      !reader.GetDataHist(out.hist, status)) {
    return false;
  }
  for (int level = 0; level < out.fileInfo.numberOfLods; ++level) {
    int counts[3];
    Qra::Ostrel::Tyq::Private::LevelExtent(out.fileInfo.brickCount, level, counts);
    const int n0 = counts[0], n1 = counts[1], n2 = counts[2];
    std::vector<long long> positions(static_cast<size_t>(n0) * n1 * n2);
    LevelCounts bricks, tiles;
    if (!reader.GetDataBrickPos(positions.data(), level, 0, 0, 0, n0, n1, n2, status)) {
      return false;
    }
    for (const long long p : positions) count(bricks, p);
    const bool fixedSize = out.fileInfo.coding == FA::CodingTypeEnum::Uncompressed;
    if (fixedSize) extendEnd(out.tablesEnd, positions, out.fileInfo.GetNumberOfBytesPerBrick());
    positions.resize(static_cast<size_t>(n0) * n1);
    if (!reader.GetGridFlagsTilePos(positions.data(), level, 0, 0, n0, n1, status)) return false;
    for (const long long p : positions) count(tiles, p);
    if (fixedSize)
      extendEnd(out.tablesEnd, positions, out.fileInfo.GetNumberOfSamplesPerHorzTile());
    out.bricks.push_back(bricks);
    out.tiles.push_back(tiles);
  }
  return true;
}

std::string hex(const uint8_t* id) {
  std::string text;
  char pair[3];
  for (int b = 0; b < 16; ++b) {
    std::snprintf(pair, sizeof pair, "%02x", id[b]);
    text += pair;
  }
  return text;
}

bool isCompressed(const FA::FileInfo& f) {
  return f.coding == FA::CodingTypeEnum::Compressed;
}

// Versions 8 to 12 of the compressed format code every brick in two stages.
bool twoStage(const FA::FileInfo& f) {
  return f.formatVersion >= 8 && f.formatVersion <= 12;
}

// The survey's samples as stored: compressed files hand out 4-byte floats.
int64_t sampleBytes(const FA::FileInfo& f, const FA::DataInfo& d) {
  const int64_t each = isCompressed(f) ? 4 : FA::DataTypeEnum::Size(f.dataType);
  return int64_t{d.size[0]} * d.size[1] * d.size[2] * each;
}

// The sample bytes over the file's: unlike the factor the library records,
// which counts whole bricks, partial bricks at the survey's edge do not
// inflate it.
double surveyFactor(const FA::FileInfo& f, const FA::DataInfo& d) {
  return f.fileSize > 0 ? static_cast<double>(sampleBytes(f, d)) / static_cast<double>(f.fileSize)
                        : 0.0;
}

int64_t nonEmptyBins(const FA::Histogram& hist) {
  int64_t n = 0;
  for (const int64_t bin : hist.bins) n += bin != 0;
  return n;
}

template <typename T>
void array3(JsonWriter& json, const char* key, const T (&values)[3]) {
  json.beginArray(key);
  for (const T v : values) json.value(nullptr, v);
  json.endArray();
}

void array3(JsonWriter& json, const char* key, const float (&values)[3]) {
  json.beginArray(key);
  for (const float v : values) json.value(nullptr, static_cast<double>(v), 9);
  json.endArray();
}

void array3(JsonWriter& json, const char* key, const int32_t (&values)[3]) {
  json.beginArray(key);
  for (const int32_t v : values) json.value(nullptr, int64_t{v});
  json.endArray();
}

void levelsJson(JsonWriter& json, const char* key, const std::vector<LevelCounts>& levels) {
  json.beginArray(key);
  for (size_t level = 0; level < levels.size(); ++level) {
    json.beginObject();
    json.value("level", static_cast<int64_t>(level));
    json.value("absent", levels[level].absent);
    json.value("constant", levels[level].constant);
    json.value("stored", levels[level].stored);
    json.endObject();
  }
  json.endArray();
}

void printJson(const Summary& s) {
  const FA::FileInfo& f = s.fileInfo;
  const FA::DataInfo& d = s.dataInfo;
  JsonWriter json;
  json.beginObject();
  json.value("file", f.fileName);
  json.value("fileSize", f.fileSize);
  json.value("sampleBytes", sampleBytes(f, d));
  json.value("format", f.formatName);
  json.value("version", int64_t{f.formatVersion});
  json.value("sampleType", std::string(FA::DataTypeEnum::Name(f.dataType)));
  json.value("sampleTypeCode", int64_t{f.dataType});
  json.beginArray("valueRange");
  json.value(nullptr, static_cast<double>(f.valueMin), 9);
  json.value(nullptr, static_cast<double>(f.valueMax), 9);
  json.endArray();
  array3(json, "size", d.size);
  array3(json, "brickSize", f.brickSize);
  array3(json, "brickCount", f.brickCount);
  json.value("levels", int64_t{f.numberOfLods});
  json.value("brickAlignment", f.brickAlignment);
  if (isCompressed(f)) {
    json.beginObject("compression");
    json.value("sqnr", static_cast<double>(f.sqnr), 6);
    json.value("twoStage", twoStage(f));
    json.value("factor", static_cast<double>(f.compressionFactor), 6);
    json.value("surveyFactor", surveyFactor(f, d), 6);
    json.endObject();
  }
  json.beginObject("annotation");
  array3(json, "start", d.annotStart);
  array3(json, "increment", d.annotInc);
  json.endObject();
  json.beginObject("region");
  array3(json, "begin", d.regionBegin);
  array3(json, "size", d.regionSize);
  json.endObject();
  json.beginObject("statistics");
  json.value("count", d.statCount);
  json.value("sum", d.statSum);
  json.value("sumOfSquares", d.statSumOfSquares);
  json.value("min", static_cast<double>(d.statMin), 9);
  json.value("max", static_cast<double>(d.statMax), 9);
  json.endObject();
  json.beginArray("corners");
  for (const auto& corner : d.corners) {
    json.beginArray();
    json.value(nullptr, corner[0]);
    json.value(nullptr, corner[1]);
    json.endArray();
  }
  json.endArray();
  json.beginObject("horizontal");
  json.value("coordinateSystem", d.coordinateSystem);
  json.value("dimension", int64_t{d.horzDimension});
  json.value("unit", d.horzUnit.name);
  json.value("factor", d.horzUnit.factor);
  json.endObject();
  json.beginObject("vertical");
  json.value("dimension", int64_t{d.vertDimension});
  json.value("unit", d.vertUnit.name);
  json.value("factor", d.vertUnit.factor);
  json.endObject();
  json.beginObject("source");
  json.value("name", d.sourceName);
  json.value("description", d.sourceDescription);
  json.value("sampleTypeCode", int64_t{d.sourceType});
  json.endObject();
  json.beginObject("identity");
  json.value("file", hex(d.fileId));
  json.value("data", hex(d.dataId));
  json.value("previousData", hex(d.previousDataId));
  json.value("updateCounter", int64_t{d.updateCounter});
  json.endObject();
  json.beginObject("histogram");
  json.value("count", s.hist.count);
  json.value("min", static_cast<double>(s.hist.min), 9);
  json.value("max", static_cast<double>(s.hist.max), 9);
  json.value("nonEmptyBins", nonEmptyBins(s.hist));
  json.endObject();
  json.beginObject("tables");
  levelsJson(json, "bricks", s.bricks);
  levelsJson(json, "tiles", s.tiles);
  json.endObject();
  json.endObject();
  std::printf("%s\n", json.str().c_str());
}

void printText(const Summary& s) {
  const FA::FileInfo& f = s.fileInfo;
  const FA::DataInfo& d = s.dataInfo;
  std::printf("File          %s (%lld bytes)\n", escapeForTerminal(f.fileName).c_str(),
              static_cast<long long>(f.fileSize));
  std::printf("Format        %s, version %d\n", escapeForTerminal(f.formatName).c_str(),
              f.formatVersion);
  std::printf("Samples       %s, value range %g .. %g\n", FA::DataTypeEnum::Name(f.dataType),
              static_cast<double>(f.valueMin), static_cast<double>(f.valueMax));
  if (isCompressed(f)) {
    std::printf(
        "Compression   SQNR target %g dB, factor %.2f against the survey's samples (%g as "
        "recorded, over whole bricks), two-stage %s\n",
        static_cast<double>(f.sqnr), surveyFactor(f, d), static_cast<double>(f.compressionFactor),
        twoStage(f) ? "yes" : "no");
  }
  std::printf("Size          %d x %d x %d\n", d.size[0], d.size[1], d.size[2]);
  std::printf("Sample bytes  %lld (%s, %d bytes each)\n", static_cast<long long>(sampleBytes(f, d)),
              isCompressed(f) ? "float" : FA::DataTypeEnum::Name(f.dataType),
              isCompressed(f) ? 4 : static_cast<int>(FA::DataTypeEnum::Size(f.dataType)));
  std::printf("Bricks        %d x %d x %d samples, %d x %d x %d bricks, %d levels\n",
              f.brickSize[0], f.brickSize[1], f.brickSize[2], f.brickCount[0], f.brickCount[1],
              f.brickCount[2], f.numberOfLods);
  const char* axes[3] = {"Inline", "Crossline", "Vertical"};
  for (int a = 0; a < 3; ++a) {
    std::printf("%-13s start %g, increment %g, last %g\n", axes[a],
                static_cast<double>(d.annotStart[a]), static_cast<double>(d.annotInc[a]),
                static_cast<double>(d.GetLastAnnot(a)));
  }
  std::printf("Units         horizontal \"%s\" (x%g), vertical \"%s\" (x%g)\n",
              escapeForTerminal(d.horzUnit.name).c_str(), d.horzUnit.factor,
              escapeForTerminal(d.vertUnit.name).c_str(), d.vertUnit.factor);
  for (int c = 0; c < 4; ++c) {
    std::printf("Corner %d      %.3f, %.3f\n", c, d.corners[c][0], d.corners[c][1]);
  }
  std::printf("Region        begin %d,%d,%d size %d,%d,%d\n", d.regionBegin[0], d.regionBegin[1],
              d.regionBegin[2], d.regionSize[0], d.regionSize[1], d.regionSize[2]);
  std::printf("Statistics    count %lld, min %g, max %g, sum %g\n",
              static_cast<long long>(d.statCount), static_cast<double>(d.statMin),
              static_cast<double>(d.statMax), d.statSum);
  std::printf("Histogram     count %lld, range %g .. %g, %lld non-empty bins\n",
              static_cast<long long>(s.hist.count), static_cast<double>(s.hist.min),
              static_cast<double>(s.hist.max), static_cast<long long>(nonEmptyBins(s.hist)));
  for (size_t level = 0; level < s.bricks.size(); ++level) {
    std::printf(
        "Level %-2zu      bricks %lld absent / %lld constant / %lld stored; tiles %lld / "
        "%lld / %lld\n",
        level, static_cast<long long>(s.bricks[level].absent),
        static_cast<long long>(s.bricks[level].constant),
        static_cast<long long>(s.bricks[level].stored),
        static_cast<long long>(s.tiles[level].absent),
        static_cast<long long>(s.tiles[level].constant),
        static_cast<long long>(s.tiles[level].stored));
  }
}

}  // namespace

int runInfo(int argc, char** argv) {
  bool json = false;
  const char* name = nullptr;
  for (int a = 0; a < argc; ++a) {
    if (std::strcmp(argv[a], "--json") == 0) {
      json = true;
    } else if (!name) {
      name = argv[a];
    } else {
      std::fprintf(stderr, "tyq info: unexpected argument \"%s\"\n", argv[a]);
      return 2;
    }
  }
  if (!name) {
    std::fprintf(stderr, "usage: tyq info [--json] FILE\n");
    return 2;
  }
  FA::AutoRef<FA::Reader> reader;
  Status status;
  Summary summary;
  if (FA::Tyq::CreateTyqReader(reader, name, FA::TyqOptions(), &status) != 0 ||
      !summarize(*reader, summary, &status)) {
    std::fprintf(stderr, "tyq info: %s\n", describeFailure(status).c_str());
    return 1;
  }
  if (json) {
    printJson(summary);
  } else {
    printText(summary);
  }
  if (summary.tablesEnd > summary.fileInfo.fileSize) {
    std::fprintf(stderr,
                 "tyq info: %s is truncated: it has %lld bytes, but its tables place data up to "
                 "byte %lld\n",
                 name, static_cast<long long>(summary.fileInfo.fileSize),
                 static_cast<long long>(summary.tablesEnd));
    return 1;
  }
  return 0;
}

}  // namespace tyq_tool
