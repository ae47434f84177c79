#include "blocks.h"

#include <string>

#include "errors.h"
#include "tyq/status.h"

namespace py = pybind11;
namespace FA = Qra::Ostrel::Tyq::FileAccess;

namespace tyq_python {

namespace {

std::string ShapeText(const std::vector<py::ssize_t>& shape) {
  std::string text = "(";
  for (size_t d = 0; d < shape.size(); ++d) text += (d ? ", " : "") + std::to_string(shape[d]);
  return text + (shape.size() == 1 ? ",)" : ")");
}

void CheckNumbers(const py::dtype& dtype) {
  const char kind = dtype.kind();
  if (kind != 'f' && kind != 'i' && kind != 'u') {
    ThrowError(FA::Error::InvalidArgument, "samples must be floats or integers, not " +
                                               std::string(py::str(py::handle(dtype))));
  }
}

}  // namespace

py::array PrepareBlock(py::handle block, const Selection& box) {
  py::module_ numpy = py::module_::import("numpy");
  py::array given = numpy.attr("asarray")(block);
  CheckNumbers(given.dtype());
  const std::vector<py::ssize_t> shape = box.Shape();
  try {
    py::tuple target(shape.size());
    for (size_t d = 0; d < shape.size(); ++d) target[d] = shape[d];
    py::object fitted = numpy.attr("broadcast_to")(given, target);
    return fitted.attr("reshape")(box.size[0], box.size[1], box.size[2]);
  } catch (const py::error_already_set& e) {
    if (!e.matches(PyExc_ValueError)) throw;
    std::vector<py::ssize_t> givenShape(given.shape(), given.shape() + given.ndim());
    ThrowError(FA::Error::InvalidArgument, "an array of shape " + ShapeText(givenShape) +
                                               " does not fit a box of shape " + ShapeText(shape));
  }
}

py::array_t<float> Slab(const py::array& block, int i0, int i1) {
  py::object rows = block[py::slice(i0, i1, 1)];
  return py::module_::import("numpy").attr("ascontiguousarray")(rows, py::dtype::of<float>());
}

bool FiniteRange(py::array array, double& lo, double& hi) {
  py::module_ numpy = py::module_::import("numpy");
  if (array.size() == 0) return false;
  if (array.dtype().kind() == 'f') {
    py::array finite = array[numpy.attr("isfinite")(array)];
    if (finite.size() == 0) return false;
    array = finite;
  }
  lo = numpy.attr("min")(array).cast<double>();
  hi = numpy.attr("max")(array).cast<double>();
  return true;
}

}  // namespace tyq_python
