// Copying a volume file into a new one, compressed or not, column of
// traces by column and level by level, from the caller's threads.
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "tools/tool_run.h"
#include "tools/work_items.h"
#include "tyq/compress_tools.h"

namespace Qra::Ostrel::Tyq {

namespace FA = FileAccess;
using Private::Tools::ToolRun;
using TyqCompressIO::WorkItem;

struct Private::Tools::CopyRun {
  CopyRun(TyqCompressCallback callback, void* user) : run(callback, user) {}

  bool checks(int threads);
  bool openInput();
  bool createOutput();
  bool fail(const std::string& message);
  void progress();
  void end();
  void discard();

  std::string input, output;
  float sqnr = 0.0f;
  bool reserved = false;
  ToolRun run;
  std::unique_ptr<TyqCompressIO::Reader> reader;
  std::unique_ptr<TyqCompressIO::Writer> writer;
  std::vector<WorkItem> items;
  int sampleSize = 4;
  int threadCount = 1;
  int64_t inputSize = 0;
  bool outputMade = false;  // the output's name may now hold a file of ours
  bool ended = true;        // the final callback was made
};

namespace {

bool exists(const std::string& name) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::symlink_status(name, error));
}

// Reads an item in the copy's sample size.
bool readItem(TyqCompressIO::IReader& reader, const WorkItem& item, int sampleSize, void* buffer,
              Status* status) {
  switch (sampleSize) {
    case 1:
      return reader.read(item, static_cast<signed char*>(buffer), status);
    case 2:
      return reader.read(item, static_cast<short*>(buffer), status);
    default:
      return reader.read(item, static_cast<float*>(buffer), status);
  }
}

}  // namespace

bool Private::Tools::CopyRun::fail(const std::string& message) {
  run.errors.record(message);
  return false;
}

bool Private::Tools::CopyRun::checks(int threads) {
  if (input == output) return fail("Input- and output file names must not be identical");
  if (exists(output)) return fail("The output file should not already exist");
  if (sqnr <= 0 && threads != 1) return fail("Writing an uncompressed file is not thread safe");
  return true;
}

bool Private::Tools::CopyRun::openInput() {
  reader = std::make_unique<TyqCompressIO::Reader>();
  Status status;
  if (!reader->open(input, FA::StorageOrderEnum::TraceOptimized(), &status)) {
    return fail(status.message());
  }
  inputSize = reader->fileSize();
  const int own = reader->sampleSize();
  sampleSize = sqnr > 0 || (own != 1 && own != 2) ? 4 : own;
  const float was = reader->sqnr();
  if (was > 0 && was <= sqnr + 0.1f) {
    return fail(
        "Source file is already compressed with the same or lower SQNR. It is not possible to "
        "obtain the requested quality.");
  }
  return true;
}

bool Private::Tools::CopyRun::createOutput() {
  writer = std::make_unique<TyqCompressIO::Writer>();
  std::string error;
  outputMade = true;
  if (!writer->create(output, *reader, sqnr, reserved, error)) return fail(error);
  // An uncompressed output builds its own levels of detail when finalized.
  const int levels = sqnr > 0 ? std::min(reader->levels(), writer->levels()) : 1;
  items = Private::Tools::CopyItems(*reader, levels);
  const int64_t bytes = Private::Tools::LargestItem(items) * sampleSize;
  return run.allocate(threadCount, static_cast<size_t>(bytes));
}

void Private::Tools::CopyRun::progress() {
  run.progress(static_cast<int64_t>(items.size()), [this](float& ratio, int64_t& a, int64_t& b) {
    ratio = writer ? writer->compressionFactor() : 1.0f;
    a = inputSize;
    b = writer ? writer->fileSize() : -1;
  });
}

// Finishes the output (or drops and deletes it after an error), closes the
// input and makes the final callback.
void Private::Tools::CopyRun::end() {
  if (writer) {
    Status status;
    if (!run.errors.ok()) {
      writer->release();
    } else if (!writer->close(&status)) {
      run.errors.record("Error closing file: " + status.message());
    }
  }
  if (reader) reader->close();
  if (!run.errors.ok() && outputMade) {
    std::error_code ignored;
    std::filesystem::remove(output, ignored);
  }
  const bool done = run.errors.ok();
  run.finish(done && writer ? writer->compressionFactor() : 0.0f, inputSize,
             done && writer ? writer->fileSize() : -1);
  ended = true;
}

// Drops an earlier run; an output it had not finished is deleted.
void Private::Tools::CopyRun::discard() {
  if (writer) writer->release();
  if (!ended && outputMade) {
    std::error_code ignored;
    std::filesystem::remove(output, ignored);
  }
  reader.reset();
  writer.reset();
  items.clear();
  run.reset();
  inputSize = 0;
  outputMade = false;
  ended = false;
}

TyqCompressCopy::TyqCompressCopy(const std::string& input, const std::string& output, float sqnr,
                                 bool reserved, TyqCompressCallback callback, void* user)
    : p_(std::make_unique<Private::Tools::CopyRun>(callback, user)) {
  p_->input = input;
  p_->output = output;
  p_->sqnr = sqnr;
  p_->reserved = reserved;
}

// A run never closed is incomplete: its output goes with it.
TyqCompressCopy::~TyqCompressCopy() {
  p_->discard();
}

bool TyqCompressCopy::open(int threads) {
  Private::Tools::CopyRun& p = *p_;
  p.discard();
  p.threadCount = threads;
  p.run.start();
  if (p.run.errors.ok()) p.checks(threads);
  if (!p.run.errors.ok()) {
    p.run.finish(0.0f, 0, -1);
    p.ended = true;
    return false;
  }
  if (!p.openInput() || !p.createOutput()) {
    p.end();
    return false;
  }
  return true;
}

bool TyqCompressCopy::copy(int item, int thread) {
  Private::Tools::CopyRun& p = *p_;
  if (!p.run.errors.ok()) return false;
  void* buffer = p.run.claim(item, static_cast<int>(p.items.size()), thread);
  if (!buffer) return false;
  const WorkItem& w = p.items[static_cast<size_t>(item)];
  Status status;
  if (readItem(*p.reader, w, p.sampleSize, buffer, &status)) {
    if (!p.writer->write(w, buffer, p.sampleSize, p.reader->deadLow(), p.reader->deadHigh(),
                         &status)) {
      return p.fail(status.message());
    }
  } else if (status.tyqError() != FA::Error::BrickNotFound) {
    return p.fail(status.message());
  }
  p.run.done.fetch_add(1);
  if (thread == 0) p.progress();
  return p.run.errors.ok();
}

bool TyqCompressCopy::close() {
  Private::Tools::CopyRun& p = *p_;
  if (p.ended) return p.run.errors.ok();
  if (p.run.errors.ok()) p.progress();
  p.end();
  return p.run.errors.ok();
}

bool TyqCompressCopy::ok() const {
  return p_->run.errors.ok();
}

std::string TyqCompressCopy::message() const {
  return p_->run.errors.message();
}

int TyqCompressCopy::size() const {
  return static_cast<int>(p_->items.size());
}

bool TyqCompressCopy::run(const std::string& input, const std::string& output, float sqnr,
                          bool reserved, TyqCompressCallback callback, void* user) {
  TyqCompressCopy copy(input, output, sqnr, reserved, callback, user);
  if (copy.open(1)) {
    for (int item = 0; item < copy.size() && copy.ok(); ++item) copy.copy(item, 0);
  }
  copy.close();
  return copy.ok();
}

}  // namespace Qra::Ostrel::Tyq
