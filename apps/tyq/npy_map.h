#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "npy.h"
#include "tyq/accessor.h"

namespace tyq_tool {

// A .npy file mapped into memory rather than read: the array is streamed
// from the page cache, and the pages already used are handed back, so memory
// does not grow with the array.
class MappedNpy {
 public:
  MappedNpy() = default;
  ~MappedNpy();
  MappedNpy(const MappedNpy&) = delete;
  MappedNpy& operator=(const MappedNpy&) = delete;

  bool open(const std::string& path, std::string& error);
  const std::string& dtype() const { return header_.dtype; }
  const int64_t* shape() const { return header_.shape; }
  const char* data() const { return base_ + dataStart_; }
  size_t elementSize() const {
    return header_.dtype == "<f4" ? 4 : (header_.dtype == "<i2" ? 2 : 1);
  }
  size_t bytes() const;
  // Lets the kernel drop the pages of data bytes [begin, end) from memory.
  void release(size_t begin, size_t end) const;

 private:
  NpyArray header_;
  char* base_ = nullptr;
  size_t length_ = 0;
  int64_t dataStart_ = 0;
};

// The finite range of the array's values (a width of at least 1).
void mappedMinMax(const MappedNpy& array, double& lo, double& hi);
// Writes the whole array, slabs of `slab` inlines at a time, with a progress
// bar. Integer arrays hold values: their codes are mapped one to one.
bool writeMappedArray(Qra::Ostrel::Tyq::FileAccess::Writer& writer, const MappedNpy& array,
                      int slab, Qra::Ostrel::Tyq::Private::Status* status);

}  // namespace tyq_tool
