#include "indexing.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace py = pybind11;

namespace tyq_python {

namespace {

[[noreturn]] void Refuse(const std::string& why) {
  throw py::index_error(why);
}

// The position an integer index names along an axis of `extent` samples.
int IntegerIndex(py::handle item, int axis, int extent) {
  const Py_ssize_t raw = PyNumber_AsSsize_t(item.ptr(), PyExc_IndexError);
  if (raw == -1 && PyErr_Occurred()) throw py::error_already_set();
  const Py_ssize_t index = raw < 0 ? raw + extent : raw;
  if (index < 0 || index >= extent) {
    Refuse("index " + std::to_string(raw) + " is out of bounds for axis " + std::to_string(axis) +
           " with size " + std::to_string(extent));
  }
  return static_cast<int>(index);
}

// The box of samples a slice picks from, first to last.
void SelectSlice(py::handle item, int axis, int extent, bool steps, Selection& box) {
  Py_ssize_t start = 0, stop = 0, step = 0;
  if (PySlice_Unpack(item.ptr(), &start, &stop, &step) < 0) throw py::error_already_set();
  if (step != 1 && !steps) {
    Refuse("tyq volumes are written through slices with step 1 only (got step " +
           std::to_string(step) + ")");
  }
  const Py_ssize_t length = PySlice_AdjustIndices(extent, &start, &stop, step);
  const Py_ssize_t last = start + (length - 1) * step;
  box.start[axis] = static_cast<int>(length > 0 ? std::min(start, last) : 0);
  box.size[axis] = static_cast<int>(length > 0 ? (length - 1) * std::abs(step) + 1 : 0);
  // A single sample needs no thinning, whatever the step.
  box.step[axis] = length > 1 ? static_cast<int>(step) : 1;
}

void SelectAxis(py::handle item, int axis, int extent, bool steps, Selection& box) {
  if (PySlice_Check(item.ptr())) return SelectSlice(item, axis, extent, steps, box);
  // bool is an int in Python, but numpy reads it as a mask: refuse it.
  if (PyBool_Check(item.ptr()) || !PyIndex_Check(item.ptr())) {
    Refuse("tyq volumes take integers, slices and ... as indices, not " +
           std::string(Py_TYPE(item.ptr())->tp_name));
  }
  box.start[axis] = IntegerIndex(item, axis, extent);
  box.size[axis] = 1;
  box.keep[axis] = false;
}

py::object FullSlice() {
  return py::reinterpret_steal<py::object>(PySlice_New(nullptr, nullptr, nullptr));
}

// The key as three per-axis items, an Ellipsis expanded to full slices.
std::vector<py::object> AxisItems(py::handle key) {
  std::vector<py::object> given;
  if (PyTuple_Check(key.ptr())) {
    for (py::handle item : py::reinterpret_borrow<py::tuple>(key)) {
      given.push_back(py::reinterpret_borrow<py::object>(item));
    }
  } else {
    given.push_back(py::reinterpret_borrow<py::object>(key));
  }
  std::vector<py::object> items;
  bool ellipsis = false;
  const size_t explicitCount = given.size();
  for (const py::object& item : given) {
    if (!item.is(py::ellipsis())) {
      items.push_back(item);
      continue;
    }
    if (ellipsis) Refuse("an index can only have a single ellipsis ('...')");
    ellipsis = true;
    for (size_t n = explicitCount - 1; n < 3; ++n) items.push_back(FullSlice());
  }
  if (items.size() > 3) {
    Refuse("too many indices for a volume: it has 3 axes but " + std::to_string(items.size()) +
           " were indexed");
  }
  while (items.size() < 3) items.push_back(FullSlice());
  return items;
}

}  // namespace

std::vector<py::ssize_t> Selection::Shape() const {
  std::vector<py::ssize_t> shape;
  for (int d = 0; d < 3; ++d) {
    if (keep[d]) shape.push_back(size[d]);
  }
  return shape;
}

py::tuple Selection::Thinning() const {
  py::list key;
  for (int d = 0; d < 3; ++d) {
    if (keep[d]) key.append(py::slice(py::none(), py::none(), py::int_(step[d])));
  }
  return py::tuple(key);
}

Selection SelectBox(py::handle key, const int extent[3], bool steps) {
  const std::vector<py::object> items = AxisItems(key);
  Selection box;
  for (int d = 0; d < 3; ++d) SelectAxis(items[d], d, extent[d], steps, box);
  return box;
}

}  // namespace tyq_python
