#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct segy_file_handle;

namespace tyq_tool {

// What the binary header and the first trace header say about a SEG-Y file.
struct SegyLayout {
  int format = 0;  // sample format code: 1 IBM float, 2 int32, 3 int16, 5 IEEE float, 8 int8
  int samples = 0;
  long trace0 = 0;     // byte offset of the first trace header
  int traceBytes = 0;  // sample bytes per trace, header excluded
  int traces = 0;
  double interval = 0;     // sample interval as stored: microseconds, or millimetres for depth
  double firstSample = 0;  // delay recording time of the first trace
  int measurement = 0;     // 1 metres, 2 feet, 0 not given
};

// The regular grid the traces' inline and crossline numbers lie on; a grid
// position no trace claims is dead.
struct SegyGrid {
  int inlineStart = 0, inlineStep = 1, inlines = 0;
  int crosslineStart = 0, crosslineStep = 1, crosslines = 0;
  std::vector<int32_t> traceAt;  // per (i, j), i slowest: trace number or -1
  int64_t dead = 0;
  double corners[4][2] = {};  // world positions of the four grid corners
};

// Decodes `count` big-endian samples of SEG-Y format `format` into floats;
// IBM floats are converted exactly where the value fits a float (denormals
// rounded, out-of-range values saturated). Instantiated for float, short and
// signed char; the integer types take integer formats whose every value they
// hold (a value is converted as the float it decodes to).
template <typename T>
void decodeSegySamples(int format, const char* raw, int count, T* out);
// Encodes floats as big-endian IEEE floats.
void encodeSegyFloats(const float* in, int count, char* raw);
// Bytes per sample of a format this tool reads; 0 for any other.
int segySampleBytes(int format);

// A SEG-Y file opened for import: layout, grid and trace reads. segyio reads
// the binary header and the trace headers' fields; runs of traces are read
// in one go. Memory does not grow with the survey beyond one small record
// per trace.
class SegyInput {
 public:
  SegyInput() = default;
  ~SegyInput();
  SegyInput(const SegyInput&) = delete;
  SegyInput& operator=(const SegyInput&) = delete;

  // Opens `path` and reads its layout; false with a reason naming the fault.
  bool open(const std::string& path, std::string& error);
  // Reads every trace header and infers the grid from the inline and
  // crossline numbers at the given byte positions; `progress` is called with
  // the number of headers read.
  bool scanGrid(int inlineByte, int crosslineByte, SegyGrid& grid, std::string& error,
                void (*progress)(void*, int64_t) = nullptr, void* context = nullptr);
  // Traces first .. first + count - 1, which lie one after another in the
  // file, decoded (layout().samples per trace, trace after trace). T is
  // float, short or signed char, as for decodeSegySamples.
  template <typename T>
  bool readTraces(int first, int count, T* out, std::string& error);
  const SegyLayout& layout() const { return layout_; }

 private:
  // Opens fd_ on `path` when it is a regular file.
  bool openRegular(const std::string& path, std::string& error);
  // Whole records (header and samples) first .. first + count - 1 into raw_.
  bool readRecords(int first, int count, std::string& error);
  int64_t recordBytes() const;

  struct segy_file_handle* fp_ = nullptr;
  int fd_ = -1;  // bulk reads: segyio reads one trace per call, after a seek
  std::string path_;
  SegyLayout layout_;
  std::vector<char> raw_;
};

}  // namespace tyq_tool
