#pragma once

// New volume files from Python: whole arrays (create) or empty volumes filled
// by slice assignment (create_empty).

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <array>
#include <filesystem>
#include <memory>
#include <string>

#include "volume.h"

namespace tyq_python {

struct CreateOptions {
  std::string type = "float";
  pybind11::object valueRange = pybind11::none();  // (lo, hi) or None
  double sqnr = 0.0;
  std::array<int, 3> brick = {64, 64, 64};
  pybind11::object annotation = pybind11::none();
  pybind11::object corners = pybind11::none();
  pybind11::object live = pybind11::none();  // level-0 live mask or None (all live)
  bool overwrite = false;
};

// Without a value range, 8- and 16-bit integer types take the one in which
// every code stands for itself and float files none; 32-bit integer types
// need one. Compressed files (sqnr > 0) cannot be made this way.
std::shared_ptr<Volume> CreateEmpty(const std::filesystem::path& path,
                                    const std::array<int64_t, 3>& shape,
                                    const CreateOptions& options);
// Writes the array whole and finalises the file under a temporary name
// beside `path`, then renames it to `path`: a file already there stays
// untouched until the new one is complete, and on failure nothing is left.
// An existing `path` raises FileExistsError unless options.overwrite. A
// live mask (bool or integers, inline x crossline; ValueError for another
// shape) becomes the grid flags of level 0, and the statistics and
// histogram count the live traces only. Without a value range, an 8- or
// 16-bit integer file of the array's own type keeps codes equal to values;
// any other file codes the array's finite minimum to maximum. With sqnr > 0
// the file is compressed: float samples in 64^3 bricks, every level of
// detail computed here, from several threads.
void CreateFrom(const std::filesystem::path& path, pybind11::handle array,
                const CreateOptions& options);

}  // namespace tyq_python
