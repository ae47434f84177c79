#pragma once

// Caller arrays on their way into the writer: type checks, broadcasting to
// the target box, and the sample type each slab is handed over in.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "indexing.h"

namespace tyq_python {

// How samples reach the writer: integers that int16 or int8 hold exactly go
// as integer codes mapped one to one onto their values; everything else as
// float32.
enum class SampleKind { Float, Int16, Int8 };

struct Block {
  pybind11::array array;  // three axes: the box's sizes
  SampleKind kind = SampleKind::Float;
};

// `block` as the samples of `box` (numpy broadcasting rules against the
// selection's shape). Throws tyq.Error (invalid argument) for arrays that are
// not numbers or do not fit.
Block PrepareBlock(pybind11::handle block, const Selection& box);
// Rows [i0, i1) of axis 0, C-contiguous, in the kind's sample type; no copy
// when the array already is that.
pybind11::array Slab(const Block& block, int i0, int i1);

// The finite minimum and maximum of an array of numbers; false when it
// holds no finite value.
bool FiniteRange(pybind11::array array, double& lo, double& hi);

}  // namespace tyq_python
