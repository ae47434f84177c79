#pragma once

// Caller arrays on their way into the writer: type checks, broadcasting to
// the target box, and float32 slabs.
//
// Samples always travel as float32: the writer merges a partly covered brick
// in the caller's sample type, so integer buffers would round the brick's
// other samples to the integer grid. float32 holds every 8- and 16-bit
// integer exactly.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "indexing.h"

namespace tyq_python {

// `block` as the samples of `box`, with three axes of the box's sizes (numpy
// broadcasting rules against the selection's shape). Throws tyq.Error
// (invalid argument) for arrays that are not numbers or do not fit.
pybind11::array PrepareBlock(pybind11::handle block, const Selection& box);
// Rows [i0, i1) of axis 0 as C-contiguous float32; no copy when the array
// already is that.
pybind11::array_t<float> Slab(const pybind11::array& block, int i0, int i1);

// The finite minimum and maximum of an array of numbers; false when it
// holds no finite value.
bool FiniteRange(pybind11::array array, double& lo, double& hi);

}  // namespace tyq_python
