#include "volume.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "blocks.h"
#include "errors.h"

namespace py = pybind11;

namespace tyq_python {

namespace {

using Qra::Ostrel::Tyq::Private::Status;
using Err = FA::Error;

// Samples per write call: bounds the converted copy of a slab.
constexpr int64_t kWriteSlabSamples = int64_t{1} << 26;

// Calls f(i0, i1) for consecutive row ranges [i0, i1) of axis 0 covering
// [start, start + size), each of at most `limit` samples and, once a range
// spans whole bricks, cut at brick boundaries so writes need no merging.
template <typename F>
void ForEachSlab(int start, int size, int64_t rowSamples, int brick, int64_t limit, F f) {
  brick = std::max(brick, 1);  // unbricked sources report 0
  int64_t rows = std::max<int64_t>(1, limit / std::max<int64_t>(1, rowSamples));
  if (rows >= brick) rows -= rows % brick;
  const int64_t stop = int64_t{start} + size;
  for (int64_t i = start; i < stop;) {
    const int64_t base = rows % brick == 0 ? i - i % brick : i;
    const int64_t end = std::min(stop, base + rows);
    f(static_cast<int>(i), static_cast<int>(end));
    i = end;
  }
}

void CheckLevel(int lod, const FA::FileInfo& info) {
  if (lod < 0 || lod >= info.numberOfLods) {
    ThrowError(Err::InvalidArgument, "level " + std::to_string(lod) +
                                         " does not exist (the file has " +
                                         std::to_string(info.numberOfLods) + ")");
  }
}

// Native float32, int16 or int8: what the reader fills.
void CheckSampleDtype(const py::dtype& dtype) {
  const char kind = dtype.kind();
  const auto bytes = dtype.itemsize();
  const bool native = dtype.attr("isnative").cast<bool>();
  if (!native || !((kind == 'f' && bytes == 4) || (kind == 'i' && (bytes == 2 || bytes == 1)))) {
    ThrowError(Err::InvalidArgument, "samples are read as float32, int16 or int8, not " +
                                         std::string(py::str(py::handle(dtype))));
  }
}

}  // namespace

std::shared_ptr<Volume> Volume::Open(const std::filesystem::path& path) {
  FA::AutoRef<FA::Reader> reader;
  Status status;
  // numpy's C order is the trace-optimised order; a format's own storage
  // order (the compressed one keeps inline fastest) must not leak through.
  // The library's pool decodes the bricks of one read on every core, unless
  // "OSTREL_TYQ_THREADS" asks otherwise (dask users running many reads at
  // once may want 1).
  FA::TyqOptions options;
  options.threads = std::getenv("OSTREL_TYQ_THREADS") ? -1 : 0;
  if (FA::Tyq::CreateTyqReader(reader, path.string(), options, &status) != 0 ||
      !reader->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), &status)) {
    ThrowStatus(status);
  }
  return std::shared_ptr<Volume>(new Volume(std::move(reader), path.string()));
}

Volume::Volume(FA::AutoRef<FA::Reader> reader, const std::string& path)
    : path_(path), reader_(std::move(reader)) {
  LoadInfo(*reader_);
}

Volume::Volume(FA::AutoRef<FA::Writer> writer, const std::string& path)
    : path_(path), writable_(true), writer_(std::move(writer)) {
  // The uncompressed writer reads too; a writer that cannot leaves reads
  // failing with "file is not open".
  reader_.reset(dynamic_cast<FA::Reader*>(writer_.get()));
  Status status;
  if (!writer_->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), &status)) {
    ThrowStatus(status);
  }
  LoadInfo(*writer_);
}

Volume::~Volume() {
  if (!writer_) return;
  // Dropped without close(): finalise anyway, so the samples written are not
  // lost with the unwritten tables.
  Status status;
  if (!writer_->Finalize(false, true, &status)) {
    PySys_WriteStderr("tyq: finalising %s failed: %s\n", path_.c_str(), status.message().c_str());
  }
}

void Volume::LoadInfo(FA::AccessorBase& accessor) {
  Status status;
  if (!accessor.GetFileInfo(fileInfo_, &status) || !accessor.GetDataInfo(dataInfo_, &status)) {
    ThrowStatus(status);
  }
}

void Volume::LevelShape(int lod, int extent[3]) const {
  for (int d = 0; d < 3; ++d)
    extent[d] = static_cast<int>(((int64_t{dataInfo_.size[d]} - 1) >> lod) + 1);
}

template <typename Record, typename Get>
Record Volume::Query(Get get) {
  Record record;
  Status status;
  bool ok = false;
  {
    py::gil_scoped_release nogil;
    std::shared_lock<std::shared_mutex> hold(mutex_);
    FA::AccessorBase* base =
        writer_ ? static_cast<FA::AccessorBase*>(writer_.get()) : reader_.get();
    ok = base ? get(*base, record, &status) : status.setError(Err::NotOpen, path_, "tyq.Volume");
  }
  if (!ok) ThrowStatus(status);
  return record;
}

FA::DataInfo Volume::DataInfo() {
  return Query<FA::DataInfo>([](FA::AccessorBase& base, FA::DataInfo& info, Status* status) {
    return base.GetDataInfo(info, status);
  });
}

FA::Histogram Volume::Histogram() {
  return Query<FA::Histogram>([](FA::AccessorBase& base, FA::Histogram& hist, Status* status) {
    return base.GetDataHist(hist, status);
  });
}

template <typename T>
void Volume::ReadInto(int lod, const int start[3], const int size[3], T* data) {
  Status status;
  bool ok = true;
  const int64_t rowSamples = int64_t{size[1]} * size[2];
  {
    py::gil_scoped_release nogil;
    std::shared_lock<std::shared_mutex> hold(mutex_);
    if (!reader_) {
      ok = status.setError(closed_ ? Err::NotOpen : Err::NotImplemented, path_, "tyq.Volume");
    }
    ForEachSlab(start[0], size[0], rowSamples, fileInfo_.brickSize[0], INT32_MAX,
                [&](int i0, int i1) {
                  if (!ok) return;
                  T* rows = data + (i0 - start[0]) * rowSamples;
                  ok = reader_->ReadData(lod, i0, start[1], start[2], i1 - i0, size[1], size[2],
                                         rows, &status);
                });
  }
  if (!ok) ThrowStatus(status);
}

void Volume::Fill(int lod, const Selection& box, py::array& out) {
  CheckLevel(lod, fileInfo_);
  CheckSampleDtype(out.dtype());
  if (box.Empty()) return;
  const auto bytes = out.dtype().itemsize();
  void* data = out.mutable_data();
  if (out.dtype().kind() == 'f') {
    ReadInto(lod, box.start, box.size, static_cast<float*>(data));
  } else if (bytes == 2) {
    ReadInto(lod, box.start, box.size, static_cast<short*>(data));
  } else {
    ReadInto(lod, box.start, box.size, static_cast<signed char*>(data));
  }
}

py::array Volume::Read(int lod, const Selection& box, py::dtype dtype) {
  CheckSampleDtype(dtype);
  if (box.Stepped() && !box.Empty()) return ReadStepped(lod, box, dtype);
  py::array result(dtype, box.Shape());
  Fill(lod, box, result);
  if (!box.Stepped()) return result;
  // Empty: only the shape needs thinning.
  return py::module_::import("numpy").attr("ascontiguousarray")(result[box.Thinning()]);
}

// Brick row by brick row along axis 0: the samples a step skips then take
// at most one brick row's plane of memory, not the whole covering box, and
// every brick is still decoded once.
py::array Volume::ReadStepped(int lod, const Selection& box, py::dtype dtype) {
  const int step = box.step[0], brick = std::max(fileInfo_.brickSize[0], 1);
  const int first = step > 0 ? box.start[0] : box.start[0] + box.size[0] - 1;
  const int count = (box.size[0] - 1) / std::abs(step) + 1;
  const auto row = [&](int n) { return first + n * step; };
  Selection slab = box;
  slab.keep[0] = true;
  py::list parts;
  for (int n = 0, end = 0; n < count; n = end) {
    for (end = n + 1; end < count && row(end) / brick == row(n) / brick;) ++end;
    slab.start[0] = std::min(row(n), row(end - 1));
    slab.size[0] = std::abs(row(end - 1) - row(n)) + 1;
    py::array samples(dtype, slab.Shape());
    Fill(lod, slab, samples);
    parts.append(samples[slab.Thinning()]);
  }
  py::module_ numpy = py::module_::import("numpy");
  py::object rows = numpy.attr("concatenate")(parts, 0);
  return numpy.attr("ascontiguousarray")(box.keep[0] ? rows : rows[py::int_(0)]);
}

Selection Volume::CheckBox(int lod, const int start[3], const int size[3]) const {
  CheckLevel(lod, fileInfo_);
  int extent[3];
  LevelShape(lod, extent);
  Selection box;
  for (int d = 0; d < 3; ++d) {
    if (start[d] < 0 || size[d] < 0 || int64_t{start[d]} + size[d] > extent[d]) {
      ThrowError(Err::InvalidArgument,
                 "the box " + std::to_string(start[0]) + "," + std::to_string(start[1]) + "," +
                     std::to_string(start[2]) + " + " + std::to_string(size[0]) + "," +
                     std::to_string(size[1]) + "," + std::to_string(size[2]) +
                     " lies outside level " + std::to_string(lod) + " (" +
                     std::to_string(extent[0]) + " x " + std::to_string(extent[1]) + " x " +
                     std::to_string(extent[2]) + " samples)");
    }
    box.start[d] = start[d];
    box.size[d] = size[d];
  }
  return box;
}

py::array Volume::ReadBox(int lod, const int start[3], const int size[3], py::dtype dtype) {
  return Read(lod, CheckBox(lod, start, size), dtype);
}

py::array Volume::ReadBoxInto(int lod, const int start[3], const int size[3], py::array out) {
  const Selection box = CheckBox(lod, start, size);
  const bool fits = out.ndim() == 3 && out.shape(0) == box.size[0] && out.shape(1) == box.size[1] &&
                    out.shape(2) == box.size[2];
  if (!fits || !(out.flags() & py::array::c_style) || !out.writeable()) {
    ThrowError(Err::InvalidArgument,
               "out must be a writable C-contiguous array of the box's shape");
  }
  Fill(lod, box, out);
  return out;
}

py::array Volume::Flags(int lod) {
  CheckLevel(lod, fileInfo_);
  int extent[3];
  LevelShape(lod, extent);
  std::vector<unsigned char> flags(static_cast<size_t>(extent[0]) * extent[1]);
  Status status;
  bool ok = true;
  {
    py::gil_scoped_release nogil;
    std::shared_lock<std::shared_mutex> hold(mutex_);
    // The buffer follows the access storage order set when the volume was
    // opened or created: trace order, crossline fastest, as numpy's C order.
    ok = reader_
             ? reader_->ReadGridFlags(lod, 0, 0, extent[0], extent[1], flags.data(), &status)
             : status.setError(closed_ ? Err::NotOpen : Err::NotImplemented, path_, "tyq.Volume");
    // Without a single flag tile nothing was ever marked dead: files
    // written without flags hold samples for every trace.
    if (!ok && status.tyqError() == Err::BrickNotFound) {
      std::fill(flags.begin(), flags.end(), 1);
      ok = status.setSuccess();
    }
  }
  if (!ok) ThrowStatus(status);
  py::array_t<bool> result({extent[0], extent[1]});
  std::transform(flags.begin(), flags.end(), result.mutable_data(),
                 [](unsigned char flag) { return flag != 0; });
  return result;
}

void Volume::WriteFlags(const TraceMask& mask) {
  Status status;
  bool ok = true;
  {
    py::gil_scoped_release nogil;
    std::unique_lock<std::shared_mutex> hold(mutex_);
    ok = writer_ ? writer_->WriteGridFlags(0, 0, 0, mask.size[0], mask.size[1], mask.live.data(),
                                           &status)
                 : status.setError(closed_ ? Err::NotOpen : Err::ReadOnly, path_, "tyq.Volume");
  }
  if (!ok) ThrowStatus(status);
}

void Volume::WriteFrom(const int start[3], const int size[3], const float* data) {
  Status status;
  bool ok = true;
  {
    py::gil_scoped_release nogil;
    std::unique_lock<std::shared_mutex> hold(mutex_);
    ok = writer_ ? writer_->WriteData(0, start[0], start[1], start[2], size[0], size[1], size[2],
                                      data, &status)
                 : status.setError(closed_ ? Err::NotOpen : Err::ReadOnly, path_, "tyq.Volume");
  }
  if (!ok) ThrowStatus(status);
}

void Volume::Write(const Selection& box, py::handle block) {
  const py::array samples = PrepareBlock(block, box);
  if (box.Empty()) return;
  const int64_t rowSamples = int64_t{box.size[1]} * box.size[2];
  ForEachSlab(box.start[0], box.size[0], rowSamples, fileInfo_.brickSize[0], kWriteSlabSamples,
              [&](int i0, int i1) {
                const py::array_t<float> slab = Slab(samples, i0 - box.start[0], i1 - box.start[0]);
                const int start[3] = {i0, box.start[1], box.start[2]};
                const int size[3] = {i1 - i0, box.size[1], box.size[2]};
                WriteFrom(start, size, slab.data());
              });
}

void Volume::Close() {
  Status status;
  bool ok = true;
  {
    py::gil_scoped_release nogil;
    std::unique_lock<std::shared_mutex> hold(mutex_);
    if (writer_) ok = writer_->Finalize(false, true, &status);
    reader_.reset();
    writer_.reset();
    closed_ = true;
  }
  if (!ok) ThrowStatus(status);
}

}  // namespace tyq_python
