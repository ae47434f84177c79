#pragma once

// Two tools over whole volume files: a copy that compresses a volume to a
// requested quality (or writes it uncompressed), and a scan that estimates
// the size of a compressed copy for every SQNR from 0 to 99 dB by coding a
// random sample of bricks at every quality level.
//
// Both cut their work into numbered items. A caller runs open(threads),
// then every item 0..size()-1 in any order from up to `threads` threads of
// its own, each passing its own thread index (0..threads-1), then close().
// The library starts no thread. Progress is reported from the items run
// with thread index 0 only, so thread 0 should take a fair share.
//
// Errors never throw: the first message is kept (message()), later ones
// are ignored, and once one is recorded every call does nothing and
// returns false. A copy that fails deletes its partial output file.
#include <cstdint>
#include <memory>
#include <string>

#include "tyq/accessor.h"
#include "tyq/export.h"
#include "tyq/records.h"

namespace Qra::Ostrel::Tyq {

using Private::Status;

namespace Private::Tools {
struct CopyRun;
struct ScanRun;
}  // namespace Private::Tools

enum TyqCompressState : int32_t {
  TyqCompressStarting = 0,  // at open, before anything else
  TyqCompressProgress = 1,  // from items (thread 0) and at close
  TyqCompressFailed = 2,    // the final call after an error; text: the message
  TyqCompressFinished = 3,  // the final call after success
  TyqCompressReport = 4,    // scan only, before the final call; text: the report
};

// Called with the state, percent done, a ratio (copy: the output's
// compression factor), the input file size (a), the output file size (b,
// copy only), a text and the caller's pointer. Returning false from state
// 0 or 1 cancels the run. The call comes from the thread running open,
// close or an item of thread 0; calls never overlap.
using TyqCompressCallback = bool (*)(TyqCompressState state, float percent, float ratio, int64_t a,
                                     int64_t b, const char* text, void* user);

namespace TyqCompressIO {

// A box of samples at one level: a column of whole traces (copy) or one
// brick (scan).
struct WorkItem {
  int32_t level = 0;
  int32_t start[3] = {0, 0, 0};
  int32_t size[3] = {0, 0, 0};

  int64_t samples() const { return int64_t{size[0]} * size[1] * size[2]; }
};

// The input side of a tool. Reads fill the item's box in the storage order
// the reader was opened with; they return false with BrickNotFound in the
// status when none of the box's bricks is stored. Reads may run from
// several threads at once.
class TYQ_EXPORT IReader {
 public:
  virtual ~IReader();
  virtual bool read(const WorkItem& item, signed char* buffer, Status* status) = 0;
  virtual bool read(const WorkItem& item, short* buffer, Status* status) = 0;
  virtual bool read(const WorkItem& item, float* buffer, Status* status) = 0;
  virtual int levels() const = 0;
  virtual int64_t fileSize() const = 0;
  virtual void close() = 0;
  virtual const FileAccess::FileInfo& fileInfo() const = 0;
  virtual const FileAccess::DataInfo& dataInfo() const = 0;
  virtual const FileAccess::Histogram& histogram() const = 0;
  // Samples along an axis at `level`, ceil(size / 2^level).
  virtual int size0(int level) const = 0;
  virtual int size1(int level) const = 0;
  virtual int size2(int level) const = 0;
  virtual int size(int axis, int level) const = 0;
  // Bytes of one stored sample.
  virtual int sampleSize() const = 0;
  // Float samples read inside [deadLow, deadHigh] stand for the stored
  // zero of an integer coding and come back as 0; both 0 when there is no
  // such band.
  virtual float deadLow() const = 0;
  virtual float deadHigh() const = 0;
  // The SQNR the input was compressed to, -1 when it is not compressed.
  virtual float sqnr() const = 0;
};

// The output side of the copy. Writes of different items may run from
// several threads at once when the output is compressed.
class TYQ_EXPORT IWriter {
 public:
  virtual ~IWriter();
  // Trace flags first (a trace is live when a sample lies outside the dead
  // band, or for integer samples when a byte is not 0), then the samples.
  virtual bool write(const WorkItem& item, const void* samples, int sampleSize, float deadLow,
                     float deadHigh, Status* status) = 0;
  // -1 without a file, 0 after an error.
  virtual int64_t fileSize() const = 0;
  // 1.0 without a file and for an uncompressed one.
  virtual float compressionFactor() const = 0;
  // Finalizes and closes the output.
  virtual bool close(Status* status) = 0;
  // Drops the output without finalizing it.
  virtual void release() = 0;
};

// IReader on a reader from CreateTyqReader.
class TYQ_EXPORT Reader : public IReader {
 public:
  Reader();
  ~Reader() override;
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  // Opens `name`; items are read in `order` (see StorageOrderEnum).
  bool open(const std::string& name, FileAccess::EnumClass<FileAccess::StorageOrderEnum> order,
            Status* status);

  bool read(const WorkItem& item, signed char* buffer, Status* status) override;
  bool read(const WorkItem& item, short* buffer, Status* status) override;
  bool read(const WorkItem& item, float* buffer, Status* status) override;
  int levels() const override;
  int64_t fileSize() const override;
  void close() override;
  const FileAccess::FileInfo& fileInfo() const override;
  const FileAccess::DataInfo& dataInfo() const override;
  const FileAccess::Histogram& histogram() const override;
  int size0(int level) const override;
  int size1(int level) const override;
  int size2(int level) const override;
  int size(int axis, int level) const override;
  int sampleSize() const override;
  float deadLow() const override;
  float deadHigh() const override;
  float sqnr() const override;

 private:
  struct Data;
  std::unique_ptr<Data> d_;
};

// IWriter on a writer from CreateTyqWriter.
class TYQ_EXPORT Writer : public IWriter {
 public:
  Writer();
  ~Writer() override;
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  // Creates `name` with the input's DataInfo and brick layout, compressed
  // to `sqnr` (over the input's histogram range) or, for sqnr <= 0,
  // uncompressed in the input's sample type and range. `reserved` goes into
  // the last reserved flag of the options. False with `error` set.
  bool create(const std::string& name, const IReader& input, float sqnr, bool reserved,
              std::string& error);
  // The output's levels (valid after create).
  int levels() const;

  bool write(const WorkItem& item, const void* samples, int sampleSize, float deadLow,
             float deadHigh, Status* status) override;
  int64_t fileSize() const override;
  float compressionFactor() const override;
  bool close(Status* status) override;
  void release() override;

 private:
  struct Data;
  std::unique_ptr<Data> d_;
};

}  // namespace TyqCompressIO

// Copies `input` into the new file `output`, compressed to `sqnr` dB, or
// uncompressed (one thread only) when sqnr <= 0. Items are columns of 64 x
// 64 traces of every level.
class TYQ_EXPORT TyqCompressCopy {
 public:
  TyqCompressCopy(const std::string& input, const std::string& output, float sqnr, bool reserved,
                  TyqCompressCallback callback, void* user);
  ~TyqCompressCopy();
  TyqCompressCopy(const TyqCompressCopy&) = delete;
  TyqCompressCopy& operator=(const TyqCompressCopy&) = delete;

  // Discards any earlier run, checks, opens the input, creates the output.
  bool open(int threads);
  bool copy(int item, int thread);
  // Finalizes the output (or deletes it after an error) and makes the
  // final callback.
  bool close();
  bool ok() const;
  std::string message() const;
  int size() const;

  // open(1), every item from thread 0, close(); returns ok().
  static bool run(const std::string& input, const std::string& output, float sqnr, bool reserved,
                  TyqCompressCallback callback, void* user);

 private:
  std::unique_ptr<Private::Tools::CopyRun> p_;
};

// What a scan draws and how its table is to be read.
enum class TyqScanMode : int32_t {
  // Up to `bricks` whole bricks of level 0 lying fully inside the survey,
  // shuffled, each coded at every quality level; a size per SQNR is the
  // cheapest level that reaches it. The table is in parts per million of
  // the coded bricks' float size. A survey under 64 samples along an axis
  // has no such brick: its table is all zeros.
  WholeBricks = 0,
  // An estimate of the file a compress copy would write: about `bricks`
  // bricks drawn from every level the copy writes, partial bricks at the
  // survey's edge included. Bricks of one level and shape (whole, or cut
  // along the same axes) are drawn and weighed together, spread over the
  // survey (one at random from each of as many runs of neighbouring
  // bricks); each is gathered, judged constant and coded with the quality
  // loop as the copy does, at a few SQNR targets (20, 30 and 40 dB for
  // every brick; sizes between the targets interpolated). The file's
  // headers, tables and flag tiles are added. The table is in parts per
  // million of the survey's own float samples (n0 x n1 x n2 x 4 bytes), so
  // a survey of any size has an estimate and 1e6 / ppm is the compression
  // factor against its real samples.
  CopyEstimate = 1,
};

// Estimates compressed sizes from a sample of bricks (see TyqScanMode; the
// default is WholeBricks). The pseudo-random draw follows the process's
// std::rand sequence (seed it with std::srand to vary it).
class TYQ_EXPORT TyqCompressScan {
 public:
  static constexpr int kQualities = 100;  // SQNR 0..99 dB

  TyqCompressScan(const std::string& input, int bricks, TyqCompressCallback callback, void* user);
  TyqCompressScan(const std::string& input, int bricks, TyqCompressCallback callback, void* user,
                  TyqScanMode mode);
  ~TyqCompressScan();
  TyqCompressScan(const TyqCompressScan&) = delete;
  TyqCompressScan& operator=(const TyqCompressScan&) = delete;

  bool open(int threads);
  bool scan(int item, int thread);
  // Turns the sums into the table, reports it (state 4) and makes the
  // final callback.
  bool close();
  bool ok() const;
  std::string message() const;
  int size() const;
  // After close: the estimated compressed size at `sqnr` dB in parts per
  // million of the 32-bit float size that the mode names (0 outside 0..99
  // or without bricks).
  int64_t partsPerMillion(int sqnr) const;

  static bool run(const std::string& input, int bricks, TyqCompressCallback callback, void* user);

 private:
  std::unique_ptr<Private::Tools::ScanRun> p_;
};

}  // namespace Qra::Ostrel::Tyq
