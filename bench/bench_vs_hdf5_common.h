#pragma once

// What the uncompressed and the compressed runs of bench_vs_hdf5 share: the
// cube size, the request lists and reading a box through HDF5.
#include <fcntl.h>
#include <hdf5.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace tyq_bench::vs_hdf5 {

inline int g_size[3] = {512, 512, 256};
constexpr int kChunk = 64;

inline int64_t cubeSamples() {
  return int64_t{g_size[0]} * g_size[1] * g_size[2];
}

// TYQ_BENCH_CUBE=NI,NJ,NK picks another size; false when it is malformed.
inline bool readCubeSize() {
  const char* text = std::getenv("TYQ_BENCH_CUBE");
  if (!text || !*text) return true;
  return std::sscanf(text, "%d,%d,%d", &g_size[0], &g_size[1], &g_size[2]) == 3 && g_size[0] > 64 &&
         g_size[1] > 64 && g_size[2] > 64;
}

inline void syncFile(const std::string& name) {
  const int fd = ::open(name.c_str(), O_RDONLY);
  if (fd < 0) return;
  ::fdatasync(fd);
  ::close(fd);
}

struct Box {
  int start[3], size[3];
  int64_t samples() const { return int64_t{size[0]} * size[1] * size[2]; }
};

inline const char* kReads[] = {"whole", "boxes", "inlines", "crosslines", "timeslices"};

// The requests of each workload (an index into kReads), the same for every
// reader.
inline std::vector<Box> workload(int which) {
  const int ni = g_size[0], nj = g_size[1], nk = g_size[2];
  std::vector<Box> boxes;
  std::mt19937 rng(5);
  for (int n = 0; n < (which == 0 ? 1 : which == 1 ? 200 : 50); ++n) {
    switch (which) {
      case 0:
        boxes.push_back({{0, 0, 0}, {ni, nj, nk}});
        break;
      case 1:
        boxes.push_back({{static_cast<int>(rng() % (ni - 64)), static_cast<int>(rng() % (nj - 64)),
                          static_cast<int>(rng() % (nk - 64))},
                         {64, 64, 64}});
        break;
      case 2:
        boxes.push_back({{(n * 10 + 3) % ni, 0, 0}, {1, nj, nk}});
        break;
      case 3:
        boxes.push_back({{0, (n * 10 + 3) % nj, 0}, {ni, 1, nk}});
        break;
      default:
        boxes.push_back({{0, 0, (n * 5 + 1) % nk}, {ni, nj, 1}});
        break;
    }
  }
  return boxes;
}

inline bool readHdf(hid_t set, const Box& b, float* out) {
  const hsize_t start[3] = {static_cast<hsize_t>(b.start[0]), static_cast<hsize_t>(b.start[1]),
                            static_cast<hsize_t>(b.start[2])};
  const hsize_t count[3] = {static_cast<hsize_t>(b.size[0]), static_cast<hsize_t>(b.size[1]),
                            static_cast<hsize_t>(b.size[2])};
  const hid_t fileSpace = H5Dget_space(set);
  H5Sselect_hyperslab(fileSpace, H5S_SELECT_SET, start, nullptr, count, nullptr);
  const hid_t memSpace = H5Screate_simple(3, count, nullptr);
  const herr_t done = H5Dread(set, H5T_NATIVE_FLOAT, memSpace, fileSpace, H5P_DEFAULT, out);
  H5Sclose(memSpace);
  H5Sclose(fileSpace);
  return done >= 0;
}

// Opens the cube of `file`; a cache of `cacheBytes` (0: HDF5's default)
// with enough slots that chunks seldom collide.
inline hid_t openDataset(hid_t file, size_t cacheBytes) {
  const hid_t dapl = H5Pcreate(H5P_DATASET_ACCESS);
  if (cacheBytes) H5Pset_chunk_cache(dapl, 100003, cacheBytes, 1.0);
  const hid_t set = H5Dopen2(file, "cube", dapl);
  H5Pclose(dapl);
  return set;
}

}  // namespace tyq_bench::vs_hdf5
