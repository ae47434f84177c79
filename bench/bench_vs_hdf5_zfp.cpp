#include "bench_vs_hdf5_zfp.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "bench_vs_hdf5_common.h"
#include "tyq/compressor3d.h"

namespace tyq_bench::vs_hdf5 {

namespace {

// The id the ZFP plugin registers with HDF5.
constexpr H5Z_filter_t kZfpFilter = 32013;

// The plugin's generic parameters: mode 3 (accuracy), then the tolerance
// as a double over the words 2 and 3, as its own helper macro lays it out.
void accuracyParameters(double tolerance, unsigned int (&values)[4]) {
  values[0] = 3;
  values[1] = 0;
  std::memcpy(&values[2], &tolerance, sizeof tolerance);
}

hid_t createZfpDataset(hid_t file, double tolerance) {
  const hsize_t dims[3] = {static_cast<hsize_t>(g_size[0]), static_cast<hsize_t>(g_size[1]),
                           static_cast<hsize_t>(g_size[2])};
  const hsize_t chunk[3] = {kChunk, kChunk, kChunk};
  unsigned int values[4];
  accuracyParameters(tolerance, values);
  const hid_t space = H5Screate_simple(3, dims, nullptr);
  const hid_t dcpl = H5Pcreate(H5P_DATASET_CREATE);
  H5Pset_chunk(dcpl, 3, chunk);
  hid_t set = -1;
  if (H5Pset_filter(dcpl, kZfpFilter, H5Z_FLAG_MANDATORY, 4, values) >= 0) {
    set = H5Dcreate2(file, "cube", H5T_NATIVE_FLOAT, space, H5P_DEFAULT, dcpl, H5P_DEFAULT);
  }
  H5Pclose(dcpl);
  H5Sclose(space);
  return set;
}

bool writeInto(hid_t file, const std::vector<float>& cube, double tolerance) {
  const hid_t set = createZfpDataset(file, tolerance);
  const bool ok =
      set >= 0 && H5Dwrite(set, H5T_NATIVE_FLOAT, H5S_ALL, H5S_ALL, H5P_DEFAULT, cube.data()) >= 0;
  if (set >= 0) H5Dclose(set);
  return ok;
}

}  // namespace

bool zfpAvailable(std::string& why) {
  if (H5Zfilter_avail(kZfpFilter) > 0) return true;
  why =
      "HDF5 finds no ZFP filter (id 32013): install hdf5-filter-plugin-zfp-serial or set "
      "HDF5_PLUGIN_PATH";
  return false;
}

bool writeZfp(const std::string& name, const std::vector<float>& cube, double tolerance) {
  const hid_t file = H5Fcreate(name.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
  if (file < 0) return false;
  const bool ok = writeInto(file, cube, tolerance);
  H5Fclose(file);
  syncFile(name);
  return ok;
}

double zfpSqnr(const std::vector<float>& cube, double tolerance) {
  // A file in memory only: the search should not wait for the disk.
  const hid_t fapl = H5Pcreate(H5P_FILE_ACCESS);
  H5Pset_fapl_core(fapl, size_t{64} << 20, 0);
  const hid_t file = H5Fcreate("zfp-search.h5", H5F_ACC_TRUNC, H5P_DEFAULT, fapl);
  H5Pclose(fapl);
  if (file < 0) return -1;
  std::vector<float> back(cube.size());
  bool ok = writeInto(file, cube, tolerance);
  if (ok) {
    const hid_t set = H5Dopen2(file, "cube", H5P_DEFAULT);
    ok =
        set >= 0 && H5Dread(set, H5T_NATIVE_FLOAT, H5S_ALL, H5S_ALL, H5P_DEFAULT, back.data()) >= 0;
    if (set >= 0) H5Dclose(set);
  }
  H5Fclose(file);
  if (!ok) return -1;
  return Qra::Ostrel::Tyq::Private::Compressor3d::calculateSQNR(static_cast<int64_t>(cube.size()),
                                                                cube.data(), back.data());
}

double searchTolerance(const std::vector<float>& cube, double target, double& achieved) {
  double meanAbs = 0;
  for (float v : cube) meanAbs += std::fabs(double{v});
  meanAbs /= static_cast<double>(cube.size());
  // The mean error ZFP makes is a fraction of its tolerance, so the first
  // guess sits a little above the error the target allows.
  int low = static_cast<int>(std::floor(std::log2(meanAbs * std::pow(10.0, -target / 20.0)))) - 4;
  int high = low + 8;
  double atLow = zfpSqnr(cube, std::ldexp(1.0, low));
  double atHigh = zfpSqnr(cube, std::ldexp(1.0, high));
  if (atLow < 0 || atHigh < 0) return 0;
  // Widen until the target lies between the two exponents' SQNRs.
  while (atLow < target && low > -140) atLow = zfpSqnr(cube, std::ldexp(1.0, --low));
  while (atHigh > target && high < 120) atHigh = zfpSqnr(cube, std::ldexp(1.0, ++high));
  while (high - low > 1) {
    const int mid = (low + high) / 2;
    const double at = zfpSqnr(cube, std::ldexp(1.0, mid));
    if (at < 0) return 0;
    (at >= target ? low : high) = mid;
    (at >= target ? atLow : atHigh) = at;
  }
  const bool lowNearer = atLow - target <= target - atHigh;
  achieved = lowNearer ? atLow : atHigh;
  return std::ldexp(1.0, lowNearer ? low : high);
}

}  // namespace tyq_bench::vs_hdf5
