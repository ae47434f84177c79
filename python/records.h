#pragma once

// The library's metadata records as Python values (dicts, tuples and numpy
// arrays), and the records create() builds from its keyword arguments.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>

#include "tyq/records.h"

namespace tyq_python {

namespace FA = Qra::Ostrel::Tyq::FileAccess;

// "float", "int16", ...: the names the tool uses for sample types.
const char* SampleTypeName(FA::DataTypeEnum::value_type type);
// Throws tyq.Error (invalid argument) for a name the writer cannot store.
FA::DataTypeEnum::value_type WritableSampleType(const std::string& name);
// The numpy dtype of the stored samples (float32 for IBM floats, which
// read as float32).
pybind11::dtype StoredDtype(FA::DataTypeEnum::value_type type);

// {"inline": (start, step), "crossline": ..., "vertical": ..., "vertical_domain":
//  "time", "vertical_unit": (name, factor), "horizontal_domain": ...,
//  "horizontal_unit": (name, factor), "coordinate_system": str}
pybind11::dict AnnotationDict(const FA::DataInfo& info);
// count, sum, sum_of_squares, min, max, mean and std (None without samples).
pybind11::dict StatisticsDict(const FA::DataInfo& info);
// 4 x 2 world (x, y) of the corners (first inline, first crossline), (last,
// first), (first, last), (last, last).
pybind11::array_t<double> CornersArray(const FA::DataInfo& info);
pybind11::array_t<int64_t> HistogramBins(const FA::Histogram& hist);

// The description of a new volume of `shape` samples: annotation as
// AnnotationDict gives it (any subset of its keys; None for defaults) and
// corners as CornersArray gives them (None for zeros). Throws tyq.Error
// (invalid argument) for anything that cannot describe a survey.
FA::DataInfo MakeDataInfo(const int shape[3], pybind11::handle annotation,
                          pybind11::handle corners);

}  // namespace tyq_python
