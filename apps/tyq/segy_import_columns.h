#pragma once

// The brick columns of a SEG-Y survey, decoded on a second thread while the
// caller writes the previous one.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
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

  // The next column, null after the last or after a read failure (see
  // error()); give it back with recycle().
  SegyColumn<T>* next();
  void recycle(SegyColumn<T>* column);
  // Why the columns stopped early; empty when they did not. Valid once
  // next() has returned null.
  const std::string& error() const { return error_; }

 private:
  void decodeAll();
  bool decodeColumns();
  bool fill(SegyColumn<T>& column);

  SegyInput& in_;
  const SegyGrid& grid_;
  int brick_[2];
  std::vector<SegyColumn<T>> slots_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<SegyColumn<T>*> ready_, free_;  // guarded by mutex_
  bool stop_ = false, finished_ = false;     // guarded by mutex_
  std::string error_;                        // set before finished_
  std::thread decoder_;
};

}  // namespace tyq_tool
