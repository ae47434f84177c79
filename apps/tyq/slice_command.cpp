#include "slice_command.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "args.h"
#include "output_options.h"
#include "png_writer.h"
#include "tyq/tyq.h"
#include "user_errors.h"
#include "volume_source.h"

namespace tyq_tool {

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Qra::Ostrel::Tyq::Private::Status;

constexpr uint8_t kDeadColour[3] = {200, 200, 190};  // neutral, off either colour map

struct SliceArgs {
  std::string file, out, cmap = "seismic";
  int axis = -1, lod = 0;
  double value = 0, clip = 99;
};

bool parseNumber(const char* text, double& out) {
  char* end = nullptr;
  out = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(out);
}

bool parseOption(const std::string& flag, const char* value, SliceArgs& args) {
  static const char* const kAxes[] = {"--inline", "--crossline", "--time"};
  for (int a = 0; a < 3; ++a) {
    if (flag == kAxes[a]) {
      const bool first = args.axis < 0;
      args.axis = a;
      return first && parseNumber(value, args.value);
    }
  }
  if (flag == "--lod") return parseInt(value, args.lod) && args.lod >= 0;
  if (flag == "--clip") return parseNumber(value, args.clip) && args.clip > 0 && args.clip <= 100;
  if (flag == "--cmap") {
    args.cmap = value;
    return args.cmap == "gray" || args.cmap == "seismic";
  }
  if (flag == "-o") return !(args.out = value).empty();
  return false;
}

bool parseArgs(int argc, char** argv, SliceArgs& args) {
  const auto none = [](const std::string&) { return false; };
  const auto option = [&args](const std::string& flag, const char* value) {
    return parseOption(flag, value, args);
  };
  if (!walkArguments("slice", kSliceUsage, argc, argv, {&args.file}, none, option)) return false;
  if (args.out.empty() || args.axis < 0) {
    std::fprintf(stderr, "usage: %s\n", kSliceUsage);
    return false;
  }
  return true;
}

// The slice's level-0 index along its axis, from the survey's own numbers.
bool locate(const SliceArgs& args, const FA::DataInfo& d, int& index) {
  static const char* const kNames[] = {"inline", "crossline", "time or depth"};
  const int a = args.axis;
  const double position = (args.value - d.annotStart[a]) / d.annotInc[a];
  const double nearest = std::round(position);
  if (std::fabs(position - nearest) < 1e-3 && nearest >= 0 && nearest < d.size[a]) {
    index = static_cast<int>(nearest);
    return true;
  }
  std::fprintf(stderr, "tyq slice: %s %g is not in %s (%s %g to %g, step %g)\n", kNames[a],
               args.value, args.file.c_str(), kNames[a], static_cast<double>(d.annotStart[a]),
               static_cast<double>(d.GetLastAnnot(a)), static_cast<double>(d.annotInc[a]));
  return false;
}

// The amplitude that maps to full colour: the clip percentile of |value|
// over live, finite samples.
float clipLevel(const std::vector<float>& v, const std::vector<bool>& live, double percent) {
  std::vector<float> magnitudes;
  for (size_t n = 0; n < v.size(); ++n) {
    if (live[n] && std::isfinite(v[n])) magnitudes.push_back(std::fabs(v[n]));
  }
  if (magnitudes.empty()) return 1;
  const size_t at =
      static_cast<size_t>(percent / 100.0 * static_cast<double>(magnitudes.size() - 1));
  std::nth_element(magnitudes.begin(), magnitudes.begin() + at, magnitudes.end());
  return magnitudes[at] > 0 ? magnitudes[at] : 1;
}

// t in [-1, 1]: blue through white to red, or black to white.
void colour(float t, bool seismic, uint8_t* rgb) {
  const auto level = [](float x) { return static_cast<uint8_t>(std::lround(255.0f * x)); };
  if (!seismic) {
    rgb[0] = rgb[1] = rgb[2] = level((t + 1) / 2);
    return;
  }
  const uint8_t fade = level(1 - std::fabs(t));
  rgb[0] = t < 0 ? fade : 255;
  rgb[1] = fade;
  rgb[2] = t > 0 ? fade : 255;
}

struct Slice {
  int width = 0, height = 0;
  std::vector<float> values;  // row by row, top to bottom
  std::vector<bool> live;
};

// Reads the slice through the level's box and lays it out as an image:
// vertical sections have time or depth downwards, time slices inlines.
bool readSlice(FA::Reader& reader, const SliceArgs& args, int index, const FA::DataInfo& d,
               Slice& s, Status* status) {
  int n[3], start[3] = {0, 0, 0};
  for (int a = 0; a < 3; ++a) n[a] = static_cast<int>(((int64_t{d.size[a]} - 1) >> args.lod) + 1);
  start[args.axis] = index >> args.lod;
  n[args.axis] = 1;
  std::vector<float> box(static_cast<size_t>(n[0]) * n[1] * n[2]);
  std::vector<unsigned char> flags(static_cast<size_t>(n[0]) * n[1]);
  if (!reader.ReadData(args.lod, start[0], start[1], start[2], n[0], n[1], n[2], box.data(),
                       status) ||
      !reader.ReadGridFlags(args.lod, start[0], start[1], n[0], n[1], flags.data(), status)) {
    return false;
  }
  const bool section = args.axis != 2;
  s.width = section ? n[1 - args.axis] : n[1];
  s.height = section ? n[2] : n[0];
  s.values.resize(box.size());
  s.live.resize(box.size());
  for (int y = 0; y < s.height; ++y) {
    for (int x = 0; x < s.width; ++x) {
      const size_t trace = section ? static_cast<size_t>(x) : static_cast<size_t>(y) * n[1] + x;
      const size_t sample = section ? trace * n[2] + y : trace;
      s.values[static_cast<size_t>(y) * s.width + x] = box[sample];
      s.live[static_cast<size_t>(y) * s.width + x] = flags[trace] != 0;
    }
  }
  return true;
}

std::vector<uint8_t> render(const Slice& s, double clip, bool seismic) {
  const float c = clipLevel(s.values, s.live, clip);
  std::vector<uint8_t> rgb(s.values.size() * 3);
  for (size_t p = 0; p < s.values.size(); ++p) {
    if (!s.live[p] || !std::isfinite(s.values[p])) {
      std::copy(kDeadColour, kDeadColour + 3, &rgb[p * 3]);
      continue;
    }
    colour(std::clamp(s.values[p] / c, -1.0f, 1.0f), seismic, &rgb[p * 3]);
  }
  return rgb;
}

}  // namespace

const char* const kSliceUsage =
    "tyq slice FILE (--inline N | --crossline N | --time T) [--lod L] [--clip P] "
    "[--cmap gray|seismic] -o OUT.png";

int runSlice(int argc, char** argv) {
  SliceArgs args;
  if (!parseArgs(argc, argv, args)) return 2;
  if (!mayStreamOutput("slice", args.out, {args.file})) return 1;
  FA::AutoRef<FA::Reader> reader;
  FA::FileInfo info;
  FA::DataInfo data;
  if (!openVolume("slice", args.file, args.lod, reader, info, data)) return 1;
  Status status;
  int index = 0;
  if (!locate(args, data, index)) return 2;
  if (int64_t{data.size[0]} * data.size[1] * data.size[2] / data.size[args.axis] > INT32_MAX) {
    std::fprintf(stderr, "tyq slice: the slice is too large; ask for a level with --lod\n");
    return 2;
  }
  Slice slice;
  std::string error;
  if (!readSlice(*reader, args, index, data, slice, &status)) {
    std::fprintf(stderr, "tyq slice: %s\n", describeFailure(status).c_str());
    return 1;
  }
  if (!writePng(args.out, slice.width, slice.height,
                render(slice, args.clip, args.cmap == "seismic"), error)) {
    std::fprintf(stderr, "tyq slice: %s\n", error.c_str());
    return 1;
  }
  if (args.out != "-") {
    std::printf("tyq slice: wrote %s (%d x %d pixels)\n", args.out.c_str(), slice.width,
                slice.height);
  }
  return 0;
}

}  // namespace tyq_tool
