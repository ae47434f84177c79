#include "npy_map.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "progress.h"

namespace tyq_tool {

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Qra::Ostrel::Tyq::Private::Status;

constexpr size_t kChunk = size_t{32} << 20;

template <typename T>
void minMaxT(const MappedNpy& array, double& lo, double& hi) {
  const size_t total = array.bytes() / sizeof(T);
  const size_t chunk = kChunk / sizeof(T);
  const T* v = reinterpret_cast<const T*>(array.data());
  Progress progress("finding the value range", static_cast<int64_t>(total));
  for (size_t begin = 0; begin < total; begin += chunk) {
    const size_t end = std::min(total, begin + chunk);
    for (size_t s = begin; s < end; ++s) {
      const double x = static_cast<double>(v[s]);
      if (std::isfinite(x)) lo = std::min(lo, x), hi = std::max(hi, x);
    }
    array.release(begin * sizeof(T), end * sizeof(T));
    progress.update(static_cast<int64_t>(end));
  }
  progress.finish();
}

template <typename T>
bool writeSlabsT(FA::Writer& writer, const MappedNpy& array, int slab, Status* status) {
  const int n[3] = {static_cast<int>(array.shape()[0]), static_cast<int>(array.shape()[1]),
                    static_cast<int>(array.shape()[2])};
  const size_t perInline = static_cast<size_t>(n[1]) * n[2];
  const T* v = reinterpret_cast<const T*>(array.data());
  Progress progress("writing samples", n[0]);
  for (int i0 = 0; i0 < n[0]; i0 += slab) {
    const int ni = std::min(slab, n[0] - i0);
    if (!writer.WriteData(0, i0, 0, 0, ni, n[1], n[2], v + i0 * perInline, status)) return false;
    array.release(i0 * perInline * sizeof(T), (i0 + ni) * perInline * sizeof(T));
    progress.update(i0 + ni);
  }
  progress.finish();
  return true;
}

}  // namespace

MappedNpy::~MappedNpy() {
  if (base_) ::munmap(base_, length_);
}

bool MappedNpy::open(const std::string& path, std::string& error) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(openNpy(path, error), &std::fclose);
  if (!file || !readNpyHeader(file.get(), path, header_, dataStart_, error)) return false;
  length_ = static_cast<size_t>(dataStart_) + bytes();
  void* map = ::mmap(nullptr, length_, PROT_READ, MAP_SHARED, ::fileno(file.get()), 0);
  if (map == MAP_FAILED) return error = "cannot map " + path + " into memory", false;
  base_ = static_cast<char*>(map);
  ::madvise(base_, length_, MADV_SEQUENTIAL);
  return true;
}

size_t MappedNpy::bytes() const {
  return static_cast<size_t>(header_.shape[0] * header_.shape[1] * header_.shape[2]) *
         elementSize();
}

void MappedNpy::release(size_t begin, size_t end) const {
  static const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  // Whole pages inside the range only: the neighbours may still be needed.
  const size_t first = (static_cast<size_t>(dataStart_) + begin + page - 1) / page * page;
  const size_t last = (static_cast<size_t>(dataStart_) + end) / page * page;
  if (last > first) ::madvise(base_ + first, last - first, MADV_DONTNEED);
}

void mappedMinMax(const MappedNpy& array, double& lo, double& hi) {
  lo = INFINITY, hi = -INFINITY;
  if (array.dtype() == "<f4") minMaxT<float>(array, lo, hi);
  if (array.dtype() == "<i2") minMaxT<short>(array, lo, hi);
  if (array.dtype() == "|i1") minMaxT<signed char>(array, lo, hi);
  if (!(lo <= hi)) lo = hi = 0;
  if (lo == hi) hi = lo + 1;  // a coding range needs some width
}

bool writeMappedArray(FA::Writer& writer, const MappedNpy& array, int slab, Status* status) {
  if (array.dtype() == "<f4") return writeSlabsT<float>(writer, array, slab, status);
  if (array.dtype() == "<i2") {
    return writer.SetAccessScaleRange(-32768, 32767, status) &&
           writeSlabsT<short>(writer, array, slab, status);
  }
  return writer.SetAccessScaleRange(-128, 127, status) &&
         writeSlabsT<signed char>(writer, array, slab, status);
}

}  // namespace tyq_tool
