#pragma once

namespace tyq_fuzz {

// While one lives, an allocation above the cap of allocation_cap.cpp throws
// std::bad_alloc; outside, the fuzzer's own large buffers are left alone.
class AllocationCap {
 public:
  AllocationCap();
  ~AllocationCap();
  AllocationCap(const AllocationCap&) = delete;
  AllocationCap& operator=(const AllocationCap&) = delete;
};

}  // namespace tyq_fuzz
