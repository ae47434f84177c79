#pragma once

// HDF5 with the ZFP filter (the plugin HDF5 loads by filter id) in accuracy
// mode: the compressed store bench_vs_hdf5 measures tyq's compressed files
// against.
#include <hdf5.h>

#include <string>
#include <vector>

namespace tyq_bench::vs_hdf5 {

// True when HDF5 finds the ZFP plugin; else `why` says what is missing.
bool zfpAvailable(std::string& why);

// Writes `cube` (size g_size, sample fastest) as dataset "cube" with 64^3
// chunks through ZFP at absolute error `tolerance`, then fdatasyncs.
bool writeZfp(const std::string& name, const std::vector<float>& cube, double tolerance);

// SQNR (as tyq measures it) of the cube after a round trip through
// HDF5+ZFP at `tolerance`, in memory; negative when HDF5 failed.
double zfpSqnr(const std::vector<float>& cube, double tolerance);

// ZFP's accuracy mode rounds the tolerance down to a power of two, so the
// SQNRs it can reach are about 6 dB apart: the search bisects over that
// exponent and returns the tolerance whose SQNR is nearest `target`, with
// that SQNR in `achieved`; 0 when HDF5 failed.
double searchTolerance(const std::vector<float>& cube, double target, double& achieved);

}  // namespace tyq_bench::vs_hdf5
