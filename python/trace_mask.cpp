#include "trace_mask.h"

#include <pybind11/numpy.h>

#include <algorithm>
#include <string>

namespace py = pybind11;

namespace tyq_python {

namespace {

std::string ShapeText(const int size[2]) {
  return "(" + std::to_string(size[0]) + ", " + std::to_string(size[1]) + ")";
}

}  // namespace

TraceMask MaskArgument(py::handle given, const int size[2]) {
  py::module_ numpy = py::module_::import("numpy");
  const py::array mask = numpy.attr("asarray")(given);
  const char kind = mask.dtype().kind();
  // Floats are refused: a mask of 0.4 and 0.6 has no single reading.
  if (kind != 'b' && kind != 'i' && kind != 'u') {
    throw py::value_error("live must be a bool or integer array of shape " + ShapeText(size) +
                          ", not of dtype " + std::string(py::str(py::handle(mask.dtype()))));
  }
  if (mask.ndim() != 2 || mask.shape(0) != size[0] || mask.shape(1) != size[1]) {
    throw py::value_error("live must have the shape " + ShapeText(size) +
                          " (inline x crossline), not " + std::string(py::str(mask.attr("shape"))));
  }
  const auto bytes = py::array_t<unsigned char, py::array::c_style | py::array::forcecast>::ensure(
      mask.attr("__ne__")(0));
  if (!bytes) throw py::error_already_set();
  TraceMask out;
  std::copy(size, size + 2, out.size);
  out.live.assign(bytes.data(), bytes.data() + bytes.size());
  return out;
}

}  // namespace tyq_python
