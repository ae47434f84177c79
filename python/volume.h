#pragma once

// A volume file opened or created from Python: its metadata, and boxes of
// samples read into new numpy arrays or written from them.
//
// Threads: reads and metadata queries run under a shared lock with the GIL
// released, so several Python threads read one volume at once; writes,
// flushes and close take the lock alone. The lock is always taken after the
// GIL has been given up, and given back before the GIL is taken again.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <shared_mutex>
#include <string>

#include "indexing.h"
#include "trace_mask.h"
#include "tyq/tyq.h"

namespace tyq_python {

namespace FA = Qra::Ostrel::Tyq::FileAccess;

class Volume {
 public:
  static std::shared_ptr<Volume> Open(const std::filesystem::path& path);
  // A volume being written; reads work too where the writer can read.
  Volume(FA::AutoRef<FA::Writer> writer, const std::string& path);
  ~Volume();
  Volume(const Volume&) = delete;
  Volume& operator=(const Volume&) = delete;

  const std::string& Path() const { return path_; }
  const FA::FileInfo& FileInfo() const { return fileInfo_; }
  // Extent of level `lod`: ceil(n / 2^lod) along every axis.
  void LevelShape(int lod, int extent[3]) const;
  bool Writable() const { return writable_ && !closed_; }
  bool Closed() const { return closed_; }

  // Live records: a volume being written changes them.
  FA::DataInfo DataInfo();
  FA::Histogram Histogram();

  // A box of level `lod` as a C-contiguous array of `dtype` (float32, int16
  // or int8), the axes an integer index took away removed and stepped
  // slices thinned.
  pybind11::array Read(int lod, const Selection& box, pybind11::dtype dtype);
  // start and size must lie inside the level; otherwise tyq.Error.
  pybind11::array ReadBox(int lod, const int start[3], const int size[3], pybind11::dtype dtype);
  // The same into `out`, a writable C-contiguous array of the box's shape
  // whose dtype chooses the sample type; returns `out`.
  pybind11::array ReadBoxInto(int lod, const int start[3], const int size[3], pybind11::array out);
  // The live mask of level `lod` as bool (inline x crossline). A file that
  // holds no flag tile at all reads as all live.
  pybind11::array Flags(int lod);
  // The grid flags of level 0; written before the samples they cover, so
  // that the statistics count live traces only.
  void WriteFlags(const TraceMask& mask);
  // Writes `block` (broadcast to the selection's shape) at level 0.
  void Write(const Selection& box, pybind11::handle block);
  // Finalises a volume being written (levels of detail, statistics,
  // histogram) and lets the file go; later reads and writes fail.
  void Close();

 private:
  Volume(FA::AutoRef<FA::Reader> reader, const std::string& path);
  void LoadInfo(FA::AccessorBase& accessor);
  // Runs get(accessor, record, status) under the shared lock.
  template <typename Record, typename Get>
  Record Query(Get get);
  pybind11::array ReadStepped(int lod, const Selection& box, pybind11::dtype dtype);
  Selection CheckBox(int lod, const int start[3], const int size[3]) const;
  void Fill(int lod, const Selection& box, pybind11::array& out);
  template <typename T>
  void ReadInto(int lod, const int start[3], const int size[3], T* data);
  void WriteFrom(const int start[3], const int size[3], const float* data);

  std::string path_;
  FA::FileInfo fileInfo_;
  FA::DataInfo dataInfo_;  // as opened or created; shape and annotation only
  const bool writable_ = false;
  std::atomic<bool> closed_{false};
  std::shared_mutex mutex_;
  FA::AutoRef<FA::Reader> reader_;
  FA::AutoRef<FA::Writer> writer_;
};

}  // namespace tyq_python
