#include "segy_export.h"

#include <segyio/segy.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "args.h"
#include "output_options.h"
#include "progress.h"
#include "replacing_output.h"
#include "segy_input.h"
#include "tool_threads.h"
#include "tyq/tyq.h"
#include "user_errors.h"
#include "volume_source.h"

namespace tyq_tool {

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Qra::Ostrel::Tyq::Private::Status;

struct ExportArgs {
  std::string in, out;
  int lod = 0;
  bool force = false;
};

bool parseArgs(int argc, char** argv, ExportArgs& args) {
  const auto toggle = [&args](const std::string& flag) {
    return flag == "--force" && (args.force = true);
  };
  const auto option = [&args](const std::string& flag, const char* value) {
    return flag == "--lod" && parseInt(value, args.lod) && args.lod >= 0;
  };
  return walkArguments("export-segy", kExportSegyUsage, argc, argv, {&args.in, &args.out}, toggle,
                       option);
}

// The level's grid in SEG-Y terms: numbers, positions and sampling.
struct Layout {
  int n[3] = {0, 0, 0};
  double start[3] = {0, 0, 0}, step[3] = {0, 0, 0};
  double origin[2] = {0, 0}, alongI[2] = {0, 0}, alongJ[2] = {0, 0};  // world per level index
  int scalar = -100;                                                  // coordinates in hundredths
};

bool levelLayout(const FA::DataInfo& d, int lod, Layout& l, std::string& error) {
  const double f = std::ldexp(1.0, lod);
  for (int a = 0; a < 3; ++a) {
    l.n[a] = static_cast<int>(((int64_t{d.size[a]} - 1) >> lod) + 1);
    l.start[a] = d.annotStart[a];
    l.step[a] = d.annotInc[a] * f;
  }
  for (int c = 0; c < 2; ++c) {
    l.origin[c] = d.corners[0][c];
    l.alongI[c] = d.size[0] > 1 ? (d.corners[1][c] - d.corners[0][c]) / (d.size[0] - 1) * f : 0;
    l.alongJ[c] = d.size[1] > 1 ? (d.corners[2][c] - d.corners[0][c]) / (d.size[1] - 1) * f : 0;
  }
  double reach = 0;
  for (const auto& corner : d.corners)
    reach = std::max({reach, std::fabs(corner[0]), std::fabs(corner[1])});
  if (reach * 100 >= 2147483647.0) l.scalar = 1;
  if (l.n[2] > 32767 || l.step[2] * 1000 > 65535 || int64_t{l.n[0]} * l.n[1] > INT32_MAX) {
    error =
        "the volume does not fit SEG-Y's header fields (at most 32767 samples of at most "
        "65.535 ms or m, and 2^31 - 1 traces)";
    return false;
  }
  return true;
}

int32_t roundTo32(double v) {
  return static_cast<int32_t>(std::clamp(std::lround(v), -2147483647L, 2147483647L));
}

void traceHeader(const Layout& l, int i, int j, bool live, char* h) {
  std::memset(h, 0, SEGY_TRACE_HEADER_SIZE);
  const double coordinate = l.scalar < 0 ? 100.0 : 1.0;
  const int32_t il = roundTo32(l.start[0] + i * l.step[0]);
  const int32_t xl = roundTo32(l.start[1] + j * l.step[1]);
  segy_set_field(h, SEGY_TR_SEQ_LINE, i * l.n[1] + j + 1);
  segy_set_field(h, SEGY_TR_SEQ_FILE, i * l.n[1] + j + 1);
  segy_set_field(h, SEGY_TR_FIELD_RECORD, il);
  segy_set_field(h, SEGY_TR_ENSEMBLE, xl);
  segy_set_field(h, SEGY_TR_TRACE_ID, live ? 1 : 2);  // 2: dead trace
  segy_set_field(h, SEGY_TR_SOURCE_GROUP_SCALAR, l.scalar);
  segy_set_field(h, SEGY_TR_COORD_UNITS, 1);
  segy_set_field(h, SEGY_TR_DELAY_REC_TIME, roundTo32(l.start[2]));
  segy_set_field(h, SEGY_TR_SAMPLE_COUNT, l.n[2]);
  segy_set_field(h, SEGY_TR_SAMPLE_INTER, roundTo32(l.step[2] * 1000));
  segy_set_field(h, SEGY_TR_CDP_X,
                 roundTo32((l.origin[0] + i * l.alongI[0] + j * l.alongJ[0]) * coordinate));
  segy_set_field(h, SEGY_TR_CDP_Y,
                 roundTo32((l.origin[1] + i * l.alongI[1] + j * l.alongJ[1]) * coordinate));
  segy_set_field(h, SEGY_TR_INLINE, il);
  segy_set_field(h, SEGY_TR_CROSSLINE, xl);
}

// A failed write with the system's reason (segyio writes through stdio,
// which leaves it in errno): a full disk says so.
bool writeFailed(Status* status, const std::string& what) {
  const int err = errno;
  if (err != 0) {
    status->setSysError(err, what, "tyq export-segy");
    status->pushError(FA::Error::WriteFailed, "tyq export-segy");
  } else {
    status->setError(FA::Error::WriteFailed, what, "tyq export-segy");
  }
  return false;
}

bool writeHeaders(segy_file* fp, const Layout& l, const FA::DataInfo& d, const std::string& in) {
  std::string text;
  char line[96];
  const char* lines[] = {"SEG-Y rev 1 written by tyq export-segy",
                         "",
                         "",
                         "inline number at byte 189, crossline number at byte 193",
                         "CDP X, Y at bytes 181, 185 with the scalar at byte 71",
                         "samples as 4-byte IEEE floats; dead traces have trace code 2"};
  for (int n = 0; n < 40; ++n) {
    std::string body = n < 6 ? lines[n] : "";
    if (n == 1) body = "from " + in.substr(0, 70);
    if (n == 2) body = "vertical unit " + d.vertUnit.name.substr(0, 20);
    std::snprintf(line, sizeof line, "C%2d %-75.75s", n + 1, body.c_str());
    text += line;
  }
  char bin[SEGY_BINARY_HEADER_SIZE] = {};
  segy_set_bfield(bin, SEGY_BIN_INTERVAL, roundTo32(l.step[2] * 1000));
  segy_set_bfield(bin, SEGY_BIN_SAMPLES, l.n[2]);
  segy_set_bfield(bin, SEGY_BIN_FORMAT, SEGY_IEEE_FLOAT_4_BYTE);
  segy_set_bfield(bin, SEGY_BIN_MEASUREMENT_SYSTEM, d.horzUnit.name == "ft" ? 2 : 1);
  segy_set_bfield(bin, SEGY_BIN_SEGY_REVISION, 0x0100);
  segy_set_bfield(bin, SEGY_BIN_TRACE_FLAG, 1);
  return segy_write_textheader(fp, 0, text.c_str()) == SEGY_OK &&
         segy_write_binheader(fp, bin) == SEGY_OK;
}

// One brick column read from the volume and written as traces.
class ColumnWriter {
 public:
  ColumnWriter(FA::Reader& reader, segy_file* fp, const Layout& l, const int brick[2])
      : reader_(reader), fp_(fp), l_(l), trace0_(3600), bytes_(4 * l.n[2]) {
    column_.resize(static_cast<size_t>(brick[0]) * brick[1] * l.n[2]);
    flags_.resize(static_cast<size_t>(brick[0]) * brick[1]);
    raw_.resize(static_cast<size_t>(bytes_));
  }

  bool write(int lod, int i0, int j0, int ni, int nj, Status* status) {
    if (!reader_.ReadData(lod, i0, j0, 0, ni, nj, l_.n[2], column_.data(), status) ||
        !reader_.ReadGridFlags(lod, i0, j0, ni, nj, flags_.data(), status)) {
      return false;
    }
    char h[SEGY_TRACE_HEADER_SIZE];
    for (int i = 0; i < ni; ++i) {
      for (int j = 0; j < nj; ++j) {
        const size_t n = static_cast<size_t>(i) * nj + j;
        const bool live = flags_[n] != 0;
        const int trace = (i0 + i) * l_.n[1] + j0 + j;
        traceHeader(l_, i0 + i, j0 + j, live, h);
        if (live) {
          encodeSegyFloats(&column_[n * l_.n[2]], l_.n[2], raw_.data());
        } else {
          std::fill(raw_.begin(), raw_.end(), '\0');
        }
        if (segy_write_traceheader(fp_, trace, h, trace0_, bytes_) != SEGY_OK ||
            segy_writetrace(fp_, trace, raw_.data(), trace0_, bytes_) != SEGY_OK) {
          return writeFailed(status, "trace " + std::to_string(trace));
        }
      }
    }
    return true;
  }

 private:
  FA::Reader& reader_;
  segy_file* fp_;
  const Layout& l_;
  long trace0_;
  int bytes_;
  std::vector<float> column_;
  std::vector<unsigned char> flags_;
  std::vector<char> raw_;
};

bool writeTraces(FA::Reader& reader, segy_file* fp, const Layout& l, int lod,
                 const FA::FileInfo& info, Status* status) {
  ColumnWriter writer(reader, fp, l, info.brickSize);
  Progress progress("exporting traces", int64_t{l.n[0]} * l.n[1]);
  for (int i0 = 0; i0 < l.n[0]; i0 += info.brickSize[0]) {
    for (int j0 = 0; j0 < l.n[1]; j0 += info.brickSize[1]) {
      const int ni = std::min(info.brickSize[0], l.n[0] - i0);
      const int nj = std::min(info.brickSize[1], l.n[1] - j0);
      if (!writer.write(lod, i0, j0, ni, nj, status)) return false;
      progress.update(int64_t{i0} * l.n[1] + int64_t{j0 + nj} * ni);
    }
  }
  progress.finish();
  return true;
}

int fail(const std::string& message) {
  std::fprintf(stderr, "tyq export-segy: %s\n", message.c_str());
  return 1;
}

}  // namespace

const char* const kExportSegyUsage = "tyq export-segy IN OUT.sgy [--lod L] [--force]";

int runExportSegy(int argc, char** argv) {
  ExportArgs args;
  if (!parseArgs(argc, argv, args)) return 2;
  if (!mayWriteOutput("export-segy", args.out, args.force, {args.in})) return 1;
  FA::AutoRef<FA::Reader> reader;
  FA::FileInfo info;
  FA::DataInfo data;
  if (!openVolume("export-segy", args.in, args.lod, reader, info, data)) return 1;
  Status status;
  Layout layout;
  std::string error;
  if (!levelLayout(data, args.lod, layout, error)) return fail(error);
  ReplacingOutput output(args.out);
  if (!output.reserve(error)) return fail(error);
  bool ok = false;
  {
    InterruptExit stop("tyq export-segy: interrupted, nothing written to " + args.out);
    stop.removeOnInterrupt(output.temporaryName());
    segy_file* fp = segy_open(output.temporaryName().c_str(), "w+b");
    ok = fp && writeHeaders(fp, layout, data, args.in) &&
         writeTraces(*reader, fp, layout, args.lod, info, &status);
    if (fp && segy_close(fp) != SEGY_OK && ok) ok = writeFailed(&status, output.temporaryName());
  }
  if (!ok) {
    return fail((status.ok() ? std::string("writing failed") : describeFailure(status)) +
                " (nothing written to " + args.out + ")");
  }
  if (!output.commit(error)) return fail(error + " (nothing written to " + args.out + ")");
  std::printf("tyq export-segy: wrote %s (%d x %d traces of %d samples)\n", args.out.c_str(),
              layout.n[0], layout.n[1], layout.n[2]);
  return 0;
}

}  // namespace tyq_tool
