#include "scan_command.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "args.h"
#include "json_writer.h"
#include "output_file.h"
#include "output_options.h"
#include "progress.h"
#include "svg_plot.h"
#include "text_escape.h"
#include "tool_threads.h"
#include "tyq/compress_tools.h"
#include "user_errors.h"
#include "volume_source.h"

namespace tyq_tool {

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
namespace Tyq = Qra::Ostrel::Tyq;
constexpr int kSteps = Tyq::TyqCompressScan::kQualities;

// Bricks drawn by default: enough that the estimate of a real survey lies
// within a few per cent of the copy at 20 to 40 dB, few enough that the
// scan of a survey of a gigabyte costs a small part of its copy.
constexpr int kDefaultBricks = 24;

struct ScanArgs {
  std::string in, plot;
  int bricks = kDefaultBricks, threads = 0, seed = 1;
  bool json = false;
};

bool parseArgs(int argc, char** argv, ScanArgs& args) {
  const auto toggle = [&args](const std::string& flag) {
    if (flag != "--json") return false;
    args.json = true;
    return true;
  };
  const auto option = [&args](const std::string& flag, const char* value) {
    if (flag == "--bricks") return parseInt(value, args.bricks) && args.bricks >= 1;
    if (flag == "--threads") return parseThreads(value, args.threads);
    if (flag == "--seed") return parseInt(value, args.seed);
    if (flag == "--plot") return !(args.plot = value).empty();
    return false;
  };
  return walkArguments("scan", kScanUsage, argc, argv, {&args.in}, toggle, option);
}

// What the input is, for the estimate and the notes.
struct Input {
  double floatBytes = 0;  // the survey's samples as 32-bit floats
  float sqnr = -1;        // of a compressed input
};

double floatBytes(const FA::DataInfo& d) {
  return 4.0 * static_cast<double>(d.size[0]) * static_cast<double>(d.size[1]) *
         static_cast<double>(d.size[2]);
}

struct ScanView {
  std::unique_ptr<Progress> progress;
  bool quiet = false;
};

bool onScan(Tyq::TyqCompressState state, float percent, float, int64_t, int64_t, const char*,
            void* user) {
  auto& view = *static_cast<ScanView*>(user);
  if (state == Tyq::TyqCompressProgress && !view.quiet) {
    if (!view.progress) view.progress = std::make_unique<Progress>("coding sampled bricks", 100);
    view.progress->update(static_cast<int64_t>(percent * 100 / 95));
  }
  return !interrupted();
}

struct Row {
  int sqnr;
  int64_t ppm;
  double factor, megabytes;
};

std::vector<Row> rowsOf(const Tyq::TyqCompressScan& scan, const Input& input) {
  std::vector<Row> rows;
  for (int s = 0; s < kSteps; ++s) {
    const int64_t ppm = scan.partsPerMillion(s);
    rows.push_back({s, ppm, ppm > 0 ? 1e6 / static_cast<double>(ppm) : 0.0,
                    static_cast<double>(ppm) * 1e-6 * input.floatBytes / 1e6});
  }
  return rows;
}

void printTable(const ScanArgs& args, const Input& input, const std::vector<Row>& rows,
                int sampled) {
  std::printf(
      "tyq scan: %s, %d bricks drawn from every level and coded as a compressed copy codes "
      "them\n(sizes include the levels of detail and the file's own tables)\n",
      escapeForTerminal(args.in).c_str(), sampled);
  if (input.sqnr > 0) {
    std::printf(
        "note: the input is already compressed (SQNR %g dB); these figures estimate a "
        "recompression of its decoded samples\n",
        static_cast<double>(input.sqnr));
  }
  if (sampled == 0) std::printf("note: the survey holds no samples; nothing to estimate\n");
  std::printf("\n  SQNR dB      ppm   factor   estimated MB\n");
  for (const Row& r : rows) {
    if (r.sqnr % 5 != 0 && r.sqnr != 99) continue;
    std::printf("  %7d %8lld %8.1f %14.3f%s\n", r.sqnr, static_cast<long long>(r.ppm), r.factor,
                r.megabytes, r.sqnr == 20 || r.sqnr == 30 || r.sqnr == 40 ? "   <" : "");
  }
  std::printf(
      "\n(every 5 dB shown; --json lists every dB; ppm and factor against the survey's samples "
      "as 32-bit floats)\n");
}

std::string jsonOf(const ScanArgs& args, const Input& input, const std::vector<Row>& rows,
                   int sampled) {
  JsonWriter json;
  json.beginObject();
  json.value("file", args.in);
  json.value("compressedInput", input.sqnr > 0);
  if (input.sqnr > 0) json.value("inputSqnr", static_cast<double>(input.sqnr), 6);
  json.value("bricksSampled", static_cast<int64_t>(sampled));
  json.value("floatBytes", input.floatBytes, 15);
  json.beginArray("table");
  for (const Row& r : rows) {
    json.beginObject();
    json.value("sqnr", static_cast<int64_t>(r.sqnr));
    json.value("ppm", r.ppm);
    json.value("factor", r.factor, 6);
    json.value("estimatedMB", r.megabytes, 6);
    json.endObject();
  }
  json.endArray();
  json.endObject();
  return json.str() + "\n";
}

bool writePlot(const ScanArgs& args, const std::vector<Row>& rows) {
  SvgChart chart;
  chart.title = "Estimated compressed size of " + args.in;
  chart.xLabel = "SQNR (dB)";
  chart.yLabel = "estimated size (MB)";
  chart.marks = {20, 30, 40};
  for (const Row& r : rows) {
    chart.x.push_back(r.sqnr);
    chart.y.push_back(r.megabytes);
  }
  const std::string svg = svgLineChart(chart);
  OutputFile output(args.plot);
  std::string error;
  std::FILE* out = output.open(error);
  if (out) std::fwrite(svg.data(), 1, svg.size(), out);
  if (!out || !output.commit(error)) {
    std::fprintf(stderr, "tyq scan: %s\n", error.c_str());
    return false;
  }
  return true;
}

}  // namespace

const char* const kScanUsage =
    "tyq scan IN [--bricks N] [--seed N] [--threads N] [--json] [--plot OUT.svg]";

int runScan(int argc, char** argv) {
  ScanArgs args;
  if (!parseArgs(argc, argv, args)) return 2;
  if (!args.plot.empty() && !mayStreamOutput("scan", args.plot, {args.in})) return 1;
  Input input;
  {
    FA::AutoRef<FA::Reader> reader;
    FA::FileInfo info;
    FA::DataInfo data;
    if (!openVolume("scan", args.in, 0, reader, info, data)) return 1;
    input.floatBytes = floatBytes(data);
    if (info.coding == FA::CodingTypeEnum::Compressed && info.sqnr > 0) input.sqnr = info.sqnr;
  }
  const int threads = args.threads > 0 ? args.threads : coreCount();
  // The scan stops cleanly on its own guard; this one covers the rest.
  InterruptExit stop("tyq scan: interrupted");
  ScanView view;
  view.quiet = args.json;
  InterruptGuard guard;
  // The draw follows std::rand: a seed of our own keeps runs repeatable.
  std::srand(static_cast<unsigned>(args.seed));
  Tyq::TyqCompressScan scan(args.in, args.bricks, onScan, &view, Tyq::TyqScanMode::CopyEstimate);
  if (scan.open(threads)) {
    runItems(scan.size(), threads,
             [&scan](int item, int thread) { return scan.scan(item, thread); });
  }
  scan.close();
  if (view.progress) view.progress->finish();
  if (!scan.ok()) {
    const std::string why = interrupted() ? "interrupted" : describeFailure(scan.message());
    std::fprintf(stderr, "tyq scan: %s\n", why.c_str());
    return interrupted() ? 130 : 1;
  }
  const std::vector<Row> rows = rowsOf(scan, input);
  if (args.json) {
    std::fputs(jsonOf(args, input, rows, scan.size()).c_str(), stdout);
  } else {
    printTable(args, input, rows, scan.size());
  }
  if (!args.plot.empty() && !writePlot(args, rows)) return 1;
  return 0;
}

}  // namespace tyq_tool
