#include "writing.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <thread>

#include "blocks.h"
#include "errors.h"
#include "partial_file.h"
#include "records.h"
#include "tools/compressed_volume.h"

namespace py = pybind11;

namespace tyq_python {

namespace {

using Qra::Ostrel::Tyq::Private::Status;
using Err = FA::Error;
using Type = FA::DataTypeEnum;
namespace Tools = Qra::Ostrel::Tyq::Private::Tools;

// The bound the tool takes: the file keeps at most 655.35 dB, and long before
// that a target only asks for lossless coding at a far greater size.
constexpr double kMaxSqnr = 100.0;

void CheckSqnr(double sqnr) {
  if (!(sqnr == 0.0 || (sqnr > 0.0 && sqnr < kMaxSqnr))) {
    ThrowError(Err::InvalidArgument,
               "sqnr must be 0 (uncompressed) or more than 0 and less than 100 dB, as tyq "
               "compress takes it; got " +
                   std::to_string(sqnr));
  }
}

// A compressed file is append-only and takes every level of detail as an
// explicit write, so it is made from the whole array at once.
void CheckCompressedOptions(Type::value_type type, const CreateOptions& options) {
  if (type != Type::Float32) {
    ThrowError(Err::InvalidArgument,
               "compressed files (sqnr > 0) store float samples; use "
               "type=\"float\"");
  }
  if (options.brick != std::array<int, 3>{64, 64, 64}) {
    ThrowError(Err::InvalidArgument, "compressed files (sqnr > 0) use 64 x 64 x 64 bricks");
  }
}

// The range of stored codes of an integer type whose every code float32
// holds exactly, so that codes can stand for themselves; false for other
// types (32-bit codes are converted through float32 and so are coded over
// the data's range instead).
bool ExactCodeRange(Type::value_type type, double& lo, double& hi) {
  switch (type) {
    case Type::Int8:
      lo = -128, hi = 127;
      return true;
    case Type::UInt8:
      lo = 0, hi = 255;
      return true;
    case Type::Int16:
      lo = -32768, hi = 32767;
      return true;
    case Type::UInt16:
      lo = 0, hi = 65535;
      return true;
    default:
      return false;
  }
}

bool SameIntegers(const py::dtype& a, const py::dtype& b) {
  return a.kind() == b.kind() && a.kind() != 'f' && a.itemsize() == b.itemsize();
}

// The coding range as the file stores it: two floats, finite, in order.
void CheckRange(double lo, double hi) {
  const float flo = static_cast<float>(lo), fhi = static_cast<float>(hi);
  if (!std::isfinite(flo) || !std::isfinite(fhi) || !(flo < fhi) || !std::isfinite(fhi - flo)) {
    ThrowError(Err::InvalidArgument, "the value range " + std::to_string(lo) + " .. " +
                                         std::to_string(hi) + " cannot be coded");
  }
}

bool GivenRange(const py::object& given, double& lo, double& hi) {
  if (given.is_none()) return false;
  try {
    const auto pair = given.cast<std::pair<double, double>>();
    lo = pair.first;
    hi = pair.second;
  } catch (const py::cast_error&) {
    ThrowError(Err::InvalidArgument, "value_range must be a pair (lo, hi)");
  }
  CheckRange(lo, hi);
  return true;
}

// Bricks the library is sure to handle: powers of two from 4 to 256.
void CheckBrick(const std::array<int, 3>& brick) {
  for (int b : brick) {
    if (b < 4 || b > 256 || (b & (b - 1)) != 0) {
      ThrowError(Err::InvalidArgument, "brick sizes must be powers of two from 4 to 256");
    }
  }
}

std::shared_ptr<Volume> NewVolume(const std::filesystem::path& path, const int shape[3],
                                  Type::value_type type, double lo, double hi,
                                  const CreateOptions& options) {
  const FA::DataInfo info = MakeDataInfo(shape, options.annotation, options.corners);
  FA::TyqOptions tyqOptions;
  tyqOptions.sqnr = static_cast<float>(options.sqnr);
  tyqOptions.noAutoFlush = true;  // levels are built once, when the file is finalised
  for (int a = 0; a < 3; ++a) tyqOptions.brickSize[a] = options.brick[a];
  FA::AutoRef<FA::Writer> writer;
  Status status;
  if (FA::Tyq::CreateTyqWriter(writer, path.string(), info, type, tyqOptions, &status, lo, hi) !=
      0) {
    ThrowStatus(status);
  }
  return std::make_shared<Volume>(std::move(writer), path.string());
}

unsigned CompressingThreads() {
  return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}

// The samples as C-ordered float32 (copied only when they are not), written
// with every level of detail without holding the GIL.
void WriteCompressed(const std::filesystem::path& path, const py::array& samples, const int size[3],
                     double lo, double hi, const TraceMask* live, const CreateOptions& options) {
  const auto level0 =
      py::array_t<float, py::array::c_style | py::array::forcecast>::ensure(samples);
  if (!level0) throw py::error_already_set();
  Tools::FloatVolumeView view;
  std::copy(size, size + 3, view.size);
  view.samples = level0.data();
  const FA::DataInfo info = MakeDataInfo(size, options.annotation, options.corners);
  Tools::CompressedVolumeOptions compression;
  compression.sqnr = static_cast<float>(options.sqnr);
  compression.threads = static_cast<int>(CompressingThreads());
  compression.histogramMin = lo;
  compression.histogramMax = hi;
  compression.live = live ? live->live.data() : nullptr;
  Status status;
  bool written = false;
  {
    py::gil_scoped_release unlocked;
    written = Tools::WriteCompressedVolume(path.string(), info, view, compression, &status);
  }
  if (!written) ThrowStatus(status);
}

// Flags first, so that the statistics count the live traces only.
void WriteUncompressed(const std::filesystem::path& path, const py::array& samples,
                       const int size[3], Type::value_type type, double lo, double hi,
                       const TraceMask* live, const CreateOptions& options) {
  std::shared_ptr<Volume> volume = NewVolume(path, size, type, lo, hi, options);
  try {
    if (live) volume->WriteFlags(*live);
    Selection whole;
    std::copy(size, size + 3, whole.size);
    volume->Write(whole, samples);
    volume->Close();
  } catch (...) {
    try {
      volume->Close();
    } catch (...) {  // the first failure is the one to report
    }
    throw;
  }
}

void CheckShape(const std::array<int64_t, 3>& shape, int checked[3]) {
  for (int d = 0; d < 3; ++d) {
    if (shape[d] <= 0 || shape[d] > INT32_MAX) {
      ThrowError(Err::InvalidArgument,
                 "a volume needs 1 to 2147483647 samples along every axis, not " +
                     std::to_string(shape[d]));
    }
    checked[d] = static_cast<int>(shape[d]);
  }
}

}  // namespace

std::shared_ptr<Volume> CreateEmpty(const std::filesystem::path& path,
                                    const std::array<int64_t, 3>& shape,
                                    const CreateOptions& options) {
  int size[3];
  CheckShape(shape, size);
  CheckSqnr(options.sqnr);
  if (options.sqnr > 0.0) {
    ThrowError(Err::NotImplemented,
               "a compressed file (sqnr > 0) is written whole, with every level of detail at "
               "once: use tyq.create(path, array, sqnr=...)");
  }
  CheckBrick(options.brick);
  const Type::value_type type = WritableSampleType(options.type);
  double lo = 0, hi = 0;
  if (!GivenRange(options.valueRange, lo, hi) && !ExactCodeRange(type, lo, hi) &&
      type != Type::Float32) {
    ThrowError(Err::InvalidArgument,
               std::string("a ") + SampleTypeName(type) + " volume needs a value_range");
  }
  return NewVolume(path, size, type, lo, hi, options);
}

void CreateFrom(const std::filesystem::path& path, py::handle array, const CreateOptions& options) {
  const py::array given = py::module_::import("numpy").attr("asarray")(array);
  if (given.ndim() != 3) {
    ThrowError(Err::InvalidArgument,
               "a volume array has 3 axes, not " + std::to_string(given.ndim()));
  }
  int size[3];
  CheckShape({given.shape(0), given.shape(1), given.shape(2)}, size);
  CheckSqnr(options.sqnr);
  CheckBrick(options.brick);
  const Type::value_type type = WritableSampleType(options.type);
  Selection whole;
  for (int d = 0; d < 3; ++d) whole.size[d] = size[d];
  const py::array samples = PrepareBlock(given, whole);  // refuses arrays of non-numbers
  double lo = 0, hi = 0;
  if (!GivenRange(options.valueRange, lo, hi)) {
    const bool codesAreValues =
        SameIntegers(StoredDtype(type), given.dtype()) && ExactCodeRange(type, lo, hi);
    if (!codesAreValues && !FiniteRange(given, lo, hi)) lo = hi = 0;
    if (lo == hi) hi = lo + 1;  // a coding range needs some width
    CheckRange(lo, hi);
  }
  if (options.sqnr > 0.0) CheckCompressedOptions(type, options);
  std::optional<TraceMask> live;
  if (!options.live.is_none()) live = MaskArgument(options.live, size);
  PartialFile file(path, options.overwrite);
  if (options.sqnr > 0.0) {
    WriteCompressed(file.Path(), samples, size, lo, hi, live ? &*live : nullptr, options);
  } else {
    WriteUncompressed(file.Path(), samples, size, type, lo, hi, live ? &*live : nullptr, options);
  }
  file.Commit();
}

}  // namespace tyq_python
