#include "segy_import_columns.h"

#include <algorithm>

namespace tyq_tool {

namespace {

// Two columns up to this size let decoding run ahead of writing; a larger
// one (traces of tens of thousands of samples) is held once only.
constexpr size_t kAheadBytes = size_t{64} << 20;

}  // namespace

template <typename T>
SegyColumnPipeline<T>::SegyColumnPipeline(SegyInput& in, const SegyGrid& grid, const int brick[3])
    : in_(in), grid_(grid), brick_{brick[0], brick[1]} {
  const size_t traces = static_cast<size_t>(brick[0]) * brick[1];
  const size_t samples = traces * static_cast<size_t>(in.layout().samples);
  slots_.resize(samples * sizeof(T) <= kAheadBytes ? 2 : 1);
  for (SegyColumn<T>& slot : slots_) {
    slot.samples.resize(samples);
    slot.flags.resize(traces);
    free_.push_back(&slot);
  }
  decoder_ = std::thread(&SegyColumnPipeline::decodeAll, this);
}

template <typename T>
SegyColumnPipeline<T>::~SegyColumnPipeline() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  decoder_.join();
}

template <typename T>
SegyColumn<T>* SegyColumnPipeline<T>::next() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !ready_.empty() || finished_; });
  if (ready_.empty()) return nullptr;
  SegyColumn<T>* column = ready_.front();
  ready_.pop_front();
  return column;
}

template <typename T>
void SegyColumnPipeline<T>::recycle(SegyColumn<T>* column) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(column);
  }
  changed_.notify_all();
}

template <typename T>
void SegyColumnPipeline<T>::decodeAll() {
  decodeColumns();
  std::lock_guard<std::mutex> lock(mutex_);
  finished_ = true;
  changed_.notify_all();
}

// False when stopped or after a read failure.
template <typename T>
bool SegyColumnPipeline<T>::decodeColumns() {
  for (int i0 = 0; i0 < grid_.inlines; i0 += brick_[0]) {
    for (int j0 = 0; j0 < grid_.crosslines; j0 += brick_[1]) {
      SegyColumn<T>* column = nullptr;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !free_.empty() || stop_; });
        if (stop_) return false;
        column = free_.front();
        free_.pop_front();
      }
      column->box[0] = i0;
      column->box[1] = j0;
      column->box[2] = std::min(brick_[0], grid_.inlines - i0);
      column->box[3] = std::min(brick_[1], grid_.crosslines - j0);
      if (!fill(*column)) return false;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ready_.push_back(column);
      }
      changed_.notify_all();
    }
  }
  return true;
}

// Traces that follow each other in the file are decoded in one go.
template <typename T>
bool SegyColumnPipeline<T>::fill(SegyColumn<T>& column) {
  const size_t nk = static_cast<size_t>(in_.layout().samples);
  const int* box = column.box;
  column.anyDead = false;
  for (int i = 0; i < box[2]; ++i) {
    const int32_t* row =
        &grid_.traceAt[static_cast<size_t>(box[0] + i) * grid_.crosslines + box[1]];
    for (int j = 0; j < box[3];) {
      const size_t n = static_cast<size_t>(i) * box[3] + j;
      if (row[j] < 0) {
        column.anyDead = true;
        column.flags[n] = 0;
        std::fill_n(&column.samples[n * nk], nk, T{0});
        ++j;
        continue;
      }
      int length = 1;
      while (j + length < box[3] && row[j + length] == row[j] + length) ++length;
      if (!in_.readTraces(row[j], length, &column.samples[n * nk], error_)) return false;
      std::fill_n(&column.flags[n], length, 1);
      j += length;
    }
  }
  return true;
}

template class SegyColumnPipeline<float>;
template class SegyColumnPipeline<short>;
template class SegyColumnPipeline<signed char>;

}  // namespace tyq_tool
