// The Python module `tyq`: volume files as numpy arrays, through the
// library's own reader and writer.

#include <pybind11/eval.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <climits>
#include <cmath>
#include <memory>
#include <string>

#include "errors.h"
#include "indexing.h"
#include "records.h"
#include "tyq/version.h"
#include "volume.h"
#include "writing.h"

namespace py = pybind11;
using namespace py::literals;

namespace tyq_python {

namespace {

using Err = FA::Error;
using Triple = std::array<long long, 3>;

// One level of detail of a volume, sliced like the volume itself.
struct LevelView {
  std::shared_ptr<Volume> volume;
  int lod = 0;
};

py::tuple ShapeTuple(const Volume& volume, int lod) {
  int extent[3];
  volume.LevelShape(lod, extent);
  return py::make_tuple(extent[0], extent[1], extent[2]);
}

py::array ReadKey(Volume& volume, int lod, py::handle key) {
  int extent[3];
  volume.LevelShape(lod, extent);
  return volume.Read(lod, SelectBox(key, extent, true), py::dtype::of<float>());
}

py::dtype DtypeArgument(py::handle given) {
  try {
    return py::dtype::from_args(py::reinterpret_borrow<py::object>(given));
  } catch (const py::error_already_set&) {
    ThrowError(Err::InvalidArgument, "not a numpy dtype: " + std::string(py::repr(given)));
  }
}

py::array ReadTriples(Volume& volume, int lod, const Triple& start, const Triple& size,
                      py::handle dtype, py::handle out) {
  int s[3], n[3];
  for (int d = 0; d < 3; ++d) {
    const auto outside = [](long long v) { return v < INT32_MIN || v > INT32_MAX; };
    if (outside(start[d]) || outside(size[d])) {
      ThrowError(Err::InvalidArgument, "box coordinates must fit 32-bit integers");
    }
    s[d] = static_cast<int>(start[d]);
    n[d] = static_cast<int>(size[d]);
  }
  if (out.is_none()) return volume.ReadBox(lod, s, n, DtypeArgument(dtype));
  if (!py::isinstance<py::array>(out)) {
    ThrowError(Err::InvalidArgument, "out must be a numpy array");
  }
  return volume.ReadBoxInto(lod, s, n, py::reinterpret_borrow<py::array>(out));
}

py::array AsArray(Volume& volume, int lod, py::handle dtype) {
  py::array samples = ReadKey(volume, lod, py::ellipsis());
  if (dtype.is_none()) return samples;
  return samples.attr("astype")(dtype, "copy"_a = false);
}

// The index of a survey number (inline, crossline or vertical value) along
// an axis; tyq.Error when no sample of the axis has that number.
int SurveyIndex(const FA::DataInfo& info, int axis, double number) {
  static const char* const names[3] = {"inline", "crossline", "vertical value"};
  const double start = info.annotStart[axis], step = info.annotInc[axis];
  const double position = step != 0 ? (number - start) / step : NAN;
  const double index = std::round(position);
  if (std::isfinite(position) && std::fabs(position - index) <= 1e-3 && index >= 0 &&
      index < info.size[axis]) {
    return static_cast<int>(index);
  }
  ThrowError(Err::InvalidArgument,
             std::string(names[axis]) + " " + py::str(py::float_(number)).cast<std::string>() +
                 " is not in the survey (" + std::to_string(info.size[axis]) + " from " +
                 py::str(py::float_(start)).cast<std::string>() + " step " +
                 py::str(py::float_(step)).cast<std::string>() + ")");
}

py::array SurveySlice(Volume& volume, int axis, double number) {
  Selection box;
  volume.LevelShape(0, box.size);
  box.start[axis] = SurveyIndex(volume.DataInfo(), axis, number);
  box.size[axis] = 1;
  box.keep[axis] = false;
  return volume.Read(0, box, py::dtype::of<float>());
}

// A volume being written would come back unfinished: only files pickle.
void CheckPicklable(const Volume& volume) {
  if (volume.Writable()) {
    throw py::type_error("a volume being written cannot be pickled; close it and open the file");
  }
}

// Pickles as the call that opens the file again, as a path object so that
// names that are not UTF-8 survive.
py::tuple ReopeningCall(const Volume& volume) {
  CheckPicklable(volume);
  return py::make_tuple(py::module_::import("tyq").attr("open"),
                        py::make_tuple(std::filesystem::path(volume.Path())));
}

std::string Describe(const Volume& volume, int lod) {
  int extent[3];
  volume.LevelShape(lod, extent);
  std::string text = "'" + volume.Path() + "' " + std::to_string(extent[0]) + " x " +
                     std::to_string(extent[1]) + " x " + std::to_string(extent[2]) + " " +
                     SampleTypeName(volume.FileInfo().dataType);
  if (volume.Closed()) return text + ", closed";
  return text + (volume.Writable() ? ", writable" : "");
}

CreateOptions MakeOptions(const std::string& type, py::object valueRange, double sqnr,
                          const std::array<int, 3>& brick, py::object annotation,
                          py::object corners) {
  CreateOptions options;
  options.type = type;
  options.valueRange = std::move(valueRange);
  options.sqnr = sqnr;
  options.brick = brick;
  options.annotation = std::move(annotation);
  options.corners = std::move(corners);
  return options;
}

void BindLevelView(py::module_& m) {
  py::class_<LevelView>(m, "Level", "One level of detail of a volume, sliced like the volume.")
      .def_property_readonly("lod", [](const LevelView& v) { return v.lod; })
      .def_property_readonly("shape",
                             [](const LevelView& v) { return ShapeTuple(*v.volume, v.lod); })
      .def_property_readonly("dtype", [](const LevelView&) { return py::dtype::of<float>(); })
      .def_property_readonly("ndim", [](const LevelView&) { return 3; })
      .def("__reduce__",
           [](const LevelView& v) {
             CheckPicklable(*v.volume);
             const py::object level =
                 py::module_::import("operator").attr("methodcaller")("level", v.lod);
             return py::make_tuple(level, py::make_tuple(py::cast(v.volume)));
           })
      .def("__getitem__",
           [](LevelView& v, py::handle key) { return ReadKey(*v.volume, v.lod, key); })
      .def(
          "read",
          [](LevelView& v, const Triple& start, const Triple& size, py::handle dtype,
             py::handle out) { return ReadTriples(*v.volume, v.lod, start, size, dtype, out); },
          "start"_a, "size"_a, "dtype"_a = py::dtype::of<float>(), "out"_a = py::none())
      .def(
          "__array__",
          [](LevelView& v, py::handle dtype, py::handle) {
            return AsArray(*v.volume, v.lod, dtype);
          },
          "dtype"_a = py::none(), "copy"_a = py::none())
      .def("__repr__", [](const LevelView& v) {
        return DecodedText("<tyq.Level " + std::to_string(v.lod) + " of " +
                           Describe(*v.volume, v.lod) + ">");
      });
}

void BindMetadata(py::class_<Volume, std::shared_ptr<Volume>>& c) {
  c.def_property_readonly("path", [](const Volume& v) { return DecodedText(v.Path()); })
      .def_property_readonly("shape", [](const Volume& v) { return ShapeTuple(v, 0); })
      .def_property_readonly("dtype", [](const Volume&) { return py::dtype::of<float>(); })
      .def_property_readonly("stored_dtype",
                             [](const Volume& v) { return StoredDtype(v.FileInfo().dataType); })
      .def_property_readonly("ndim", [](const Volume&) { return 3; })
      .def_property_readonly("sample_type",
                             [](const Volume& v) { return SampleTypeName(v.FileInfo().dataType); })
      .def_property_readonly("levels", [](const Volume& v) { return v.FileInfo().numberOfLods; })
      .def_property_readonly("brick_shape",
                             [](const Volume& v) {
                               const int32_t* b = v.FileInfo().brickSize;
                               return py::make_tuple(b[0], b[1], b[2]);
                             })
      .def_property_readonly("value_range",
                             [](const Volume& v) {
                               return py::make_tuple(v.FileInfo().valueMin, v.FileInfo().valueMax);
                             })
      .def_property_readonly("sqnr",
                             [](const Volume& v) -> py::object {
                               const FA::FileInfo& info = v.FileInfo();
                               if (info.coding == FA::CodingTypeEnum::Uncompressed) {
                                 return py::none();
                               }
                               return py::float_(info.sqnr);
                             })
      .def_property_readonly("annotation", [](Volume& v) { return AnnotationDict(v.DataInfo()); })
      .def_property_readonly("corners", [](Volume& v) { return CornersArray(v.DataInfo()); })
      .def_property_readonly("statistics", [](Volume& v) { return StatisticsDict(v.DataInfo()); })
      .def_property_readonly("histogram", [](Volume& v) { return HistogramBins(v.Histogram()); })
      .def_property_readonly("histogram_range",
                             [](Volume& v) {
                               const FA::Histogram hist = v.Histogram();
                               return py::make_tuple(hist.min, hist.max);
                             })
      .def_property_readonly("writable", &Volume::Writable)
      .def_property_readonly("closed", &Volume::Closed);
}

void BindVolume(py::module_& m) {
  py::class_<Volume, std::shared_ptr<Volume>> c(m, "Volume", "A volume file, read or written.");
  BindMetadata(c);
  c.def("__getitem__", [](Volume& v, py::handle key) { return ReadKey(v, 0, key); })
      .def("__setitem__",
           [](Volume& v, py::handle key, py::handle block) {
             int extent[3];
             v.LevelShape(0, extent);
             v.Write(SelectBox(key, extent), block);
           })
      .def(
          "read",
          [](Volume& v, const Triple& start, const Triple& size, int lod, py::handle dtype,
             py::handle out) { return ReadTriples(v, lod, start, size, dtype, out); },
          "start"_a, "size"_a, "lod"_a = 0, "dtype"_a = py::dtype::of<float>(),
          "out"_a = py::none(),
          "Reads the box start + size of level `lod` as a new array of `dtype` (float32, "
          "int16 or int8 codes of the value range), or into `out`, a writable C-contiguous "
          "array of the box's shape whose dtype decides the sample type.")
      .def(
          "flags", [](Volume& v, int lod) { return v.Flags(lod); }, "lod"_a = 0,
          "The live-trace mask of level `lod`: bool, inline x crossline, True where the trace "
          "holds samples. A file that holds no flag at all (one never written to, or written by "
          "a program that keeps no flags) reads as all live.")
      .def("__reduce__", &ReopeningCall)
      .def(
          "level",
          [](const std::shared_ptr<Volume>& v, int lod) {
            if (lod < 0 || lod >= v->FileInfo().numberOfLods) {
              ThrowError(Err::InvalidArgument, "level " + std::to_string(lod) + " does not exist");
            }
            return LevelView{v, lod};
          },
          "lod"_a)
      .def(
          "inline", [](Volume& v, double n) { return SurveySlice(v, 0, n); }, "number"_a)
      .def(
          "crossline", [](Volume& v, double n) { return SurveySlice(v, 1, n); }, "number"_a)
      .def(
          "time", [](Volume& v, double t) { return SurveySlice(v, 2, t); }, "value"_a)
      .def("close", &Volume::Close)
      .def("__enter__", [](const std::shared_ptr<Volume>& v) { return v; })
      .def("__exit__",
           [](Volume& v, py::args) {
             v.Close();
             return false;
           })
      .def(
          "__array__", [](Volume& v, py::handle dtype, py::handle) { return AsArray(v, 0, dtype); },
          "dtype"_a = py::none(), "copy"_a = py::none())
      .def("__repr__",
           [](const Volume& v) { return DecodedText("<tyq.Volume " + Describe(v, 0) + ">"); });
}

// A function of pybind11 cannot be pickled by name (its self is a
// capsule), and volumes pickle as a call of tyq.open: so open is a plain
// Python function around the binding.
constexpr const char* kOpenSource = R"(
def open(path):
    """Opens a volume file for reading."""
    return _open(path)
)";

void BindOpen(py::module_& m) {
  py::dict scope;
  scope["__name__"] = m.attr("__name__");
  scope["__builtins__"] = py::module_::import("builtins");
  scope["_open"] = py::cpp_function(&Volume::Open, "path"_a);
  py::exec(kOpenSource, scope);
  m.attr("open") = scope["open"];
}

void BindFunctions(py::module_& m) {
  BindOpen(m);
  m.def(
      "create",
      [](const std::filesystem::path& path, py::handle array, const std::string& type,
         py::object valueRange, double sqnr, const std::array<int, 3>& brick, py::object annotation,
         py::object corners, py::object live, bool overwrite) {
        CreateOptions options = MakeOptions(type, valueRange, sqnr, brick, annotation, corners);
        options.live = std::move(live);
        options.overwrite = overwrite;
        CreateFrom(path, array, options);
      },
      "path"_a, "array"_a, py::kw_only(), "type"_a = "float", "value_range"_a = py::none(),
      "sqnr"_a = 0.0, "brick"_a = std::array<int, 3>{64, 64, 64}, "annotation"_a = py::none(),
      "corners"_a = py::none(), "live"_a = py::none(), "overwrite"_a = false,
      "Writes a three-axis array as a new volume file with its levels of detail, statistics "
      "and histogram. `live` (bool or integers, shape array.shape[:2]) marks the traces that "
      "hold samples; the others are dead and stay out of the statistics. `sqnr` 0 writes an "
      "uncompressed file, more than 0 and less than 100 (dB) a compressed one, as tyq "
      "compress does. An existing file at "
      "`path` raises FileExistsError unless overwrite=True, and is replaced only once the new "
      "file is complete.");
  m.def(
      "create_empty",
      [](const std::filesystem::path& path, const std::array<int64_t, 3>& shape,
         const std::string& type, py::object valueRange, double sqnr,
         const std::array<int, 3>& brick, py::object annotation, py::object corners) {
        return CreateEmpty(path, shape,
                           MakeOptions(type, valueRange, sqnr, brick, annotation, corners));
      },
      "path"_a, "shape"_a, py::kw_only(), "type"_a = "float", "value_range"_a = py::none(),
      "sqnr"_a = 0.0, "brick"_a = std::array<int, 3>{64, 64, 64}, "annotation"_a = py::none(),
      "corners"_a = py::none(),
      "Creates a volume file to be filled by slice assignment and finished by close().");
}

}  // namespace

}  // namespace tyq_python

PYBIND11_MODULE(tyq, m) {
  m.doc() = "Seismic volume files of the tyq library as numpy arrays.";
  m.attr("__version__") = Qra::Ostrel::Tyq::versionString();
  tyq_python::RegisterErrors(m);
  tyq_python::BindLevelView(m);
  tyq_python::BindVolume(m);
  tyq_python::BindFunctions(m);
}
