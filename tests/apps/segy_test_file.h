#pragma once

// A small SEG-Y writer for tests: every header byte and every sample bit is
// under the test's control (IBM bit patterns, truncation, odd geometry).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace tyq_tool {

struct TestTrace {
  int32_t inlineNo = 0, crosslineNo = 0;
  int32_t x = 0, y = 0;  // CDP X and Y as stored, before the scalar
  int16_t scalar = 0;
  std::vector<uint32_t> words;  // samples as stored (bit patterns), one per sample
};

struct TestSegy {
  int format = 5;  // 1 IBM, 2 int32, 3 int16, 5 IEEE, 8 int8
  int samples = 4;
  int intervalUs = 4000;
  int delay = 0;
  std::vector<TestTrace> traces;

  static void put(std::string& bytes, size_t at1, uint32_t v, int width) {
    for (int b = 0; b < width; ++b) {
      bytes[at1 - 1 + b] = static_cast<char>(v >> (8 * (width - 1 - b)));
    }
  }

  static uint32_t ieee(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return bits;
  }

  std::string bytes() const {
    std::string out(3600, ' ');
    std::fill(out.begin() + 3200, out.end(), '\0');
    put(out, 3217, static_cast<uint32_t>(intervalUs), 2);
    put(out, 3221, static_cast<uint32_t>(samples), 2);
    put(out, 3225, static_cast<uint32_t>(format), 2);
    const int width = format == 3 ? 2 : (format == 8 ? 1 : 4);
    for (const TestTrace& t : traces) {
      std::string h(240, '\0');
      put(h, 71, static_cast<uint16_t>(t.scalar), 2);
      put(h, 109, static_cast<uint32_t>(delay), 2);
      put(h, 115, static_cast<uint32_t>(samples), 2);
      put(h, 117, static_cast<uint32_t>(intervalUs), 2);
      put(h, 181, static_cast<uint32_t>(t.x), 4);
      put(h, 185, static_cast<uint32_t>(t.y), 4);
      put(h, 189, static_cast<uint32_t>(t.inlineNo), 4);
      put(h, 193, static_cast<uint32_t>(t.crosslineNo), 4);
      std::string s(static_cast<size_t>(samples) * width, '\0');
      for (int k = 0; k < samples; ++k) put(s, 1 + k * width, t.words[k], width);
      out += h + s;
    }
    return out;
  }

  void write(const std::string& path) const {
    const std::string b = bytes();
    std::ofstream(path, std::ios::binary).write(b.data(), static_cast<std::streamsize>(b.size()));
  }
};

// An inline-sorted IEEE-float survey on a regular grid: inline il0 + i *
// ilStep, crossline xl0 + j, CDP (10 i, 10 j); the grid positions in `holes`
// have no trace; sample k of trace (i, j) is value(i, j, k).
template <typename Value>
TestSegy gridSurvey(int ni, int nj, int samples, const std::vector<std::pair<int, int>>& holes,
                    Value value, int il0 = 1, int ilStep = 1, int xl0 = 1) {
  TestSegy s;
  s.samples = samples;
  for (int i = 0; i < ni; ++i) {
    for (int j = 0; j < nj; ++j) {
      if (std::find(holes.begin(), holes.end(), std::make_pair(i, j)) != holes.end()) continue;
      TestTrace t;
      t.inlineNo = il0 + i * ilStep, t.crosslineNo = xl0 + j, t.x = 10 * i, t.y = 10 * j;
      for (int k = 0; k < samples; ++k) t.words.push_back(TestSegy::ieee(value(i, j, k)));
      s.traces.push_back(t);
    }
  }
  return s;
}

}  // namespace tyq_tool
