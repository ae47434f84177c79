#pragma once

// The brick columns of a SEG-Y survey, decoded on a second thread while the
// caller writes the previous one.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "segy_input.h"

namespace tyq_tool {

// One brick column: traces i slowest, samples fastest; dead traces are zero
// with flag 0.
template <typename T>
struct SegyColumn {
  int box[4] = {0, 0, 0, 0};  // first inline, first crossline, inlines, crosslines
  std::vector<T> samples;
  std::vector<unsigned char> flags;
  bool anyDead = false;
};

// Columns in order, inline blocks slowest. The decoder runs one column
// ahead when a column is small enough to hold twice; memory holds at most
// two. The input belongs to the decoder until the pipeline is destroyed.
// T is float, short or signed char.
template <typename T>
class SegyColumnPipeline {
 public:
  SegyColumnPipeline(SegyInput& in, const SegyGrid& grid, const int brick[3]);
  ~SegyColumnPipeline();  // stops the decoder and waits for it
  SegyColumnPipeline(const SegyColumnPipeline&) = delete;
  SegyColumnPipeline& operator=(const SegyColumnPipeline&) = delete;

  // The next column, null after the last; give it back with recycle().
  SegyColumn<T>* next();
  void recycle(SegyColumn<T>* column);

 private:
  void decodeAll();
  void fill(SegyColumn<T>& column, int32_t& firstTrace, int32_t& lastTrace);

  SegyInput& in_;
  const SegyGrid& grid_;
  int brick_[2];
  std::vector<SegyColumn<T>> slots_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<SegyColumn<T>*> ready_, free_;  // guarded by mutex_
  bool stop_ = false, finished_ = false;     // guarded by mutex_
  std::thread decoder_;
};

}  // namespace tyq_tool
