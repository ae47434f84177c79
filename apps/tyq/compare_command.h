#pragma once

#include <cstdint>
#include <string>

#include "quality_figures.h"
#include "tyq/tyq.h"

namespace tyq_tool {

// tyq compare A B: how far B is from A over A's live traces, for any two
// volumes of the same geometry in any formats.
int runCompare(int argc, char** argv);
extern const char* const kCompareUsage;

// Where compared samples come from: a volume opened for reading, or an array
// a command is writing from. Reads may come from several threads at once.
class ColumnSource {
 public:
  virtual ~ColumnSource() = default;
  // The box of `size` samples from `start` at level `lod`, k fastest; parts
  // the source holds no samples for read as zero. False with a message.
  virtual bool readSamples(int lod, const int start[3], const int size[3], float* out,
                           std::string& error) = 0;
  // Whether each of the ni x nj traces from (i0, j0) is live (nonzero).
  // `stored` turns false when the source says nothing about them: then every
  // one of them is live.
  virtual bool readFlags(int lod, int i0, int j0, int ni, int nj, unsigned char* flags,
                         bool& stored, std::string& error) = 0;
};

// A volume through a reader in trace order (openVolume gives one).
class ReaderSource : public ColumnSource {
 public:
  explicit ReaderSource(Qra::Ostrel::Tyq::FileAccess::Reader& reader) : reader_(reader) {}
  bool readSamples(int lod, const int start[3], const int size[3], float* out,
                   std::string& error) override;
  bool readFlags(int lod, int i0, int j0, int ni, int nj, unsigned char* flags, bool& stored,
                 std::string& error) override;

 private:
  Qra::Ostrel::Tyq::FileAccess::Reader& reader_;
};

// Two volumes measured against each other at one level.
struct Comparison {
  QualityFigures figures;
  int size[3] = {0, 0, 0};  // the level's samples along inline, crossline, vertical
  int64_t liveTraces = 0, deadTraces = 0;
  // False when the source holds no live-trace flags for some traces: those
  // were all counted as live.
  bool flagsStored = true;
  int64_t copyFileBytes = 0;

  // The level's samples as 4-byte floats: what a compressed copy stands for.
  int64_t floatBytes() const { return int64_t{4} * size[0] * size[1] * size[2]; }
};

// Measures `copy` against `source` at level `lod` (`size` samples), one
// column of `footprint` traces at a time over the whole trace length (in
// slabs when traces are long), from several threads: memory stays a few
// columns whatever the survey's size. Live traces are the source's. A
// progress bar shows when `progress` is set and standard output is a
// terminal.
bool compareColumns(ColumnSource& source, ColumnSource& copy, int lod, const int size[3],
                    const int footprint[2], bool progress, Comparison& out, std::string& error);

// How comparing two volume files went.
enum class CompareOutcome { Done = 0, ReadFailed = 1, Refused = 2 };

// compareColumns over two files opened in trace order, in the brick columns
// of `source`. Refused when a file lacks level `lod` or the two differ in
// size there. Anything but Done comes after a message prefixed by `command`.
CompareOutcome compareVolumes(const char* command, const std::string& source,
                              const std::string& copy, int lod, bool progress, Comparison& out);

// The lines that end a command which wrote a compressed file: the achieved
// quality and the file's size against the survey's float samples.
void printAchieved(const Comparison& comparison);

// compareVolumes at level 0 of a compressed file just written from `source`,
// then printAchieved. False after a message when either could not be read.
bool reportAchievedQuality(const char* command, const std::string& source, const std::string& copy,
                           Comparison& out);

}  // namespace tyq_tool
