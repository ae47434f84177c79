#include "blocks.h"

#ifdef __SSE2__
#include <immintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
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

namespace {

// Samples per side of the cubes a strided array is copied in: a cube's
// source cache lines and its 16 KiB of output stay in cache whichever axis
// of the source is the contiguous one. numpy copies a Fortran-ordered array
// into C order sample by sample along the output, at a cache miss each: 4 s
// for 256 MiB, where cubes take 0.3 s.
constexpr py::ssize_t kCube = 16;

struct Strided {
  const char* data;      // sample [0, 0, 0]
  py::ssize_t step[3];   // bytes, any sign, 0 for a broadcast axis
  py::ssize_t count[3];  // samples
};

template <typename T>
void CopyCube(const Strided& from, const py::ssize_t begin[3], float* to) {
  py::ssize_t end[3];
  for (int d = 0; d < 3; ++d) end[d] = std::min(begin[d] + kCube, from.count[d]);
  for (py::ssize_t i = begin[0]; i < end[0]; ++i) {
    for (py::ssize_t j = begin[1]; j < end[1]; ++j) {
      const char* row = from.data + i * from.step[0] + j * from.step[1];
      float* out = to + (i * from.count[1] + j) * from.count[2];
      for (py::ssize_t k = begin[2]; k < end[2]; ++k) {
        T value;
        std::memcpy(&value, row + k * from.step[2], sizeof value);  // numpy allows unaligned
        out[k] = static_cast<float>(value);                         // as numpy casts
      }
    }
  }
}

template <typename T>
void CopyRun(const char* from, py::ssize_t count, float* to) {
  for (py::ssize_t k = 0; k < count; ++k) {
    T value;
    std::memcpy(&value, from + k * py::ssize_t{sizeof value}, sizeof value);
    to[k] = static_cast<float>(value);
  }
}

template <typename T>
void CopyToFloat(const Strided& from, float* to) {
  if (from.step[2] == py::ssize_t{sizeof(T)}) {  // rows already in order: plain runs
    for (py::ssize_t i = 0; i < from.count[0]; ++i) {
      for (py::ssize_t j = 0; j < from.count[1]; ++j) {
        CopyRun<T>(from.data + i * from.step[0] + j * from.step[1], from.count[2],
                   to + (i * from.count[1] + j) * from.count[2]);
      }
    }
    return;
  }
  py::ssize_t at[3];
  for (at[0] = 0; at[0] < from.count[0]; at[0] += kCube) {
    for (at[1] = 0; at[1] < from.count[1]; at[1] += kCube) {
      for (at[2] = 0; at[2] < from.count[2]; at[2] += kCube) CopyCube<T>(from, at, to);
    }
  }
}

// Rows [i0, i1) of a native float32 or float64 array that is not C-ordered
// float32 already, as a new C-ordered float32 array; None for any other.
py::object CopyRows(const py::array& block, int i0, int i1) {
  const py::dtype dtype = block.dtype();
  const bool floats = dtype.kind() == 'f' && (dtype.itemsize() == 4 || dtype.itemsize() == 8);
  const bool asIs = dtype.itemsize() == 4 && (block.flags() & py::array::c_style);
  if (block.ndim() != 3 || !floats || asIs || !dtype.attr("isnative").cast<bool>()) {
    return py::none();
  }
  Strided from{static_cast<const char*>(block.data()) + i0 * block.strides(0),
               {block.strides(0), block.strides(1), block.strides(2)},
               {i1 - i0, block.shape(1), block.shape(2)}};
  py::array_t<float> rows({from.count[0], from.count[1], from.count[2]});
  float* to = rows.mutable_data();
  const bool single = dtype.itemsize() == 4;
  {
    py::gil_scoped_release unlocked;
    single ? CopyToFloat<float>(from, to) : CopyToFloat<double>(from, to);
  }
  return rows;
}

}  // namespace

py::array_t<float> Slab(const py::array& block, int i0, int i1) {
  py::object copied = CopyRows(block, i0, i1);
  if (!copied.is_none()) return copied;
  py::object rows = block[py::slice(i0, i1, 1)];
  return py::module_::import("numpy").attr("ascontiguousarray")(rows, py::dtype::of<float>());
}

namespace {

// Minimum and maximum of n floats or doubles where a NaN takes no part (a
// comparison with NaN fails, so the running value stays), in four vector
// registers of each: memory speed on a large array, where numpy's isfinite,
// boolean indexing (a copy of the array into fresh pages), min and max take
// four passes. An infinity does take part; the caller then counts again.
#ifdef __SSE2__
struct FloatLanes {
  using V = __m128;
  static constexpr int kWidth = 4;
  static V Set(float x) { return _mm_set1_ps(x); }
  static V Load(const float* p) { return _mm_loadu_ps(p); }
  static V Min(V x, V m) { return _mm_min_ps(x, m); }  // m when either is NaN
  static V Max(V x, V m) { return _mm_max_ps(x, m); }
  static void Store(float* p, V v) { _mm_store_ps(p, v); }
};

struct DoubleLanes {
  using V = __m128d;
  static constexpr int kWidth = 2;
  static V Set(double x) { return _mm_set1_pd(x); }
  static V Load(const double* p) { return _mm_loadu_pd(p); }
  static V Min(V x, V m) { return _mm_min_pd(x, m); }
  static V Max(V x, V m) { return _mm_max_pd(x, m); }
  static void Store(double* p, V v) { _mm_store_pd(p, v); }
};

template <typename L, typename T>
size_t VectorMinMax(const T* values, size_t n, T& lo, T& hi) {
  constexpr int kWidth = L::kWidth, kStep = 4 * kWidth;
  using V = typename L::V;
  // Four running values of each, named so that they stay in registers.
  V min0 = L::Set(lo), min1 = min0, min2 = min0, min3 = min0;
  V max0 = L::Set(hi), max1 = max0, max2 = max0, max3 = max0;
  const auto add = [](const T* p, V& min, V& max) {
    const V x = L::Load(p);
    min = L::Min(x, min);
    max = L::Max(x, max);
  };
  size_t i = 0;
  for (; i + kStep <= n; i += kStep) {
    add(values + i, min0, max0);
    add(values + i + kWidth, min1, max1);
    add(values + i + 2 * kWidth, min2, max2);
    add(values + i + 3 * kWidth, min3, max3);
  }
  alignas(16) T low[kStep], high[kStep];
  const V mins[4] = {min0, min1, min2, min3}, maxs[4] = {max0, max1, max2, max3};
  for (int v = 0; v < 4; ++v)
    L::Store(low + v * kWidth, mins[v]), L::Store(high + v * kWidth, maxs[v]);
  for (int l = 0; l < kStep; ++l) lo = low[l] < lo ? low[l] : lo, hi = high[l] > hi ? high[l] : hi;
  return i;
}

size_t VectorMinMax(const float* values, size_t n, float& lo, float& hi) {
  return VectorMinMax<FloatLanes>(values, n, lo, hi);
}
size_t VectorMinMax(const double* values, size_t n, double& lo, double& hi) {
  return VectorMinMax<DoubleLanes>(values, n, lo, hi);
}
#else
template <typename T>
size_t VectorMinMax(const T*, size_t, T&, T&) {
  return 0;
}
#endif

template <typename T>
void NanlessMinMax(const T* values, size_t n, T& lo, T& hi) {
  for (size_t i = VectorMinMax(values, n, lo, hi); i < n; ++i) {
    lo = values[i] < lo ? values[i] : lo, hi = values[i] > hi ? values[i] : hi;
  }
}

// The finite minimum and maximum; false when there is no finite value.
template <typename T>
bool FiniteMinMax(const T* values, size_t n, double& lo, double& hi) {
  constexpr T kInfinity = std::numeric_limits<T>::infinity();
  T low = kInfinity, high = -kInfinity;
  NanlessMinMax(values, n, low, high);
  if (std::isinf(low) || std::isinf(high)) {  // rare: a second, slower pass
    low = kInfinity, high = -kInfinity;
    for (size_t i = 0; i < n; ++i) {
      if (std::isfinite(values[i]))
        low = std::min(low, values[i]), high = std::max(high, values[i]);
    }
  }
  if (!(low <= high)) return false;
  lo = static_cast<double>(low);
  hi = static_cast<double>(high);
  return true;
}

// The range of contiguous (C or Fortran order: the range takes no order)
// aligned native float32 or float64 without the GIL; nothing (false) for
// any other array, which numpy's passes handle.
bool FastFiniteRange(const py::array& array, bool& any, double& lo, double& hi) {
  const py::dtype dtype = array.dtype();
  const int flags = array.flags();
  const bool contiguous = flags & (py::array::c_style | py::array::f_style);
  const bool aligned = flags & py::detail::npy_api::NPY_ARRAY_ALIGNED_;
  if (!contiguous || !aligned || dtype.kind() != 'f' || !dtype.attr("isnative").cast<bool>()) {
    return false;
  }
  const auto n = static_cast<size_t>(array.size());
  if (dtype.itemsize() == 4) {
    const auto* values = static_cast<const float*>(array.data());
    py::gil_scoped_release unlocked;
    any = FiniteMinMax(values, n, lo, hi);
    return true;
  }
  if (dtype.itemsize() == 8) {
    const auto* values = static_cast<const double*>(array.data());
    py::gil_scoped_release unlocked;
    any = FiniteMinMax(values, n, lo, hi);
    return true;
  }
  return false;
}

}  // namespace

bool FiniteRange(py::array array, double& lo, double& hi) {
  if (array.size() == 0) return false;
  bool any = false;
  if (FastFiniteRange(array, any, lo, hi)) return any;
  py::module_ numpy = py::module_::import("numpy");
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
