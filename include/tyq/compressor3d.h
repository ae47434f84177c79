#pragma once

// The lossy coder of one 64 x 64 x 64 brick: an integer wavelet transform,
// 24 subbands with a per-subband count of kept bit planes tuned to a target
// signal-to-quantisation-noise ratio, and a context-separated bit-plane coder
// writing eighteen bit streams that the byte coder then squeezes.
//
// Samples are indexed i0 + 64 * i1 + 4096 * i2 (axis 0 fastest); trace flags,
// when given, are 64 * 64 bytes indexed i0 + 64 * i1, 0 marking a dead trace.
//
// Threads: a Compressor3d and a CompressedBlock3d belong to one thread at a
// time. Separate objects share nothing, so several threads may code
// different bricks at once, each with its own compressor.
#include <cstdint>
#include <memory>

#include "tyq/export.h"

namespace Qra::Ostrel::Tyq::Private {

// Sample type of the caller's buffer.
enum COMPDATATYPE : int32_t {
  CompDataInt8 = 0,
  CompDataInt16 = 1,
  CompDataInt32 = 2,
  CompDataFloat = 3,
};

// Output resolution of a decode: 16^3, 32^3 or 64^3 samples.
enum DECOMPLEVEL : int32_t {
  DecompQuarter = 0,
  DecompHalf = 1,
  DecompFull = 2,
};

// The most subbands a decode reads: 5, 15, 18 or all 24.
enum DECOMPQUALITY : int32_t {
  DecompSubbands5 = 0,
  DecompSubbands15 = 1,
  DecompSubbands18 = 2,
  DecompSubbandsAll = 3,
};

// One coded brick: gain, per-subband planes, the coded header and the
// eighteen coded streams, or a constant.
class TYQ_EXPORT CompressedBlock3d {
 public:
  static constexpr int kSubbands = 24;
  static constexpr int kStreams = 18;
  // Largest payload (header + streams) accepted from a file.
  static constexpr int64_t kMaxInputSize = 2621440;

  CompressedBlock3d();
  CompressedBlock3d(const CompressedBlock3d& other);
  CompressedBlock3d& operator=(const CompressedBlock3d& other);
  virtual ~CompressedBlock3d();

  bool IsAllConst() const;
  // Makes the block a constant: no header, no streams, gain = value.
  void SetAllConst(double value);
  double GetGain() const;
  void SetGain(double gain);

  int GetMostSignificantBitPlane(int subband) const;
  void SetMostSignificantBitPlane(int subband, int value);
  int GetNumberOfBitPlanes(int subband) const;
  void SetNumberOfBitPlanes(int subband, int value);

  // The coded header (after PackData) and the coded streams.
  int32_t GetHeaderSize() const;
  const uint8_t* GetHeaderData() const;
  int32_t GetBitstreamSize() const;
  const uint8_t* GetBitstreamData() const;

  void SetCompressionInfo(float sqnr, int32_t quality);
  float GetCompressionSQNR() const;

  // A buffer of `size` bytes to read a stored payload into, and the stored
  // gain; null for a negative size or one above kMaxInputSize.
  uint8_t* GetInputBuffer(int64_t size, double gain);
  // Codes the header from planes, stream modes and sizes. False only when a
  // section does not fit its fixed capacity (a plane value above 255).
  bool PackData();
  // Parses the payload in the input buffer. A damaged header is refused:
  // the block then holds no streams and decodes as zeros (gain 1.0).
  bool UnpackData();
  // Codes the eighteen raw streams (start and length in bytes each).
  bool AddStreams(const uint8_t* const streams[kStreams], const int32_t lengths[kStreams]);
  // Decodes the eighteen streams one after the other into `buffer`;
  // `streams` and `lengths` receive where each lies. False when a stream
  // does not decode or `capacity` is too small.
  bool GetStreams(uint8_t* streams[kStreams], uint8_t* buffer, int64_t capacity,
                  int32_t lengths[kStreams]) const;
  // Packs, reads the payload back as a file read would and unpacks it;
  // returns the bytes the brick occupies in a file (12 for a constant).
  int64_t SimulateWriteRead();

 private:
  struct Data;
  std::unique_ptr<Data> d_;
};

class TYQ_EXPORT Compressor3d {
 public:
  static constexpr int kBlockSamples = 64 * 64 * 64;

  // Allocates all working memory; when that fails the object is unusable
  // and Execute returns false.
  Compressor3d();
  Compressor3d(const Compressor3d&) = delete;
  Compressor3d& operator=(const Compressor3d&) = delete;
  ~Compressor3d();

  // `samples` (64^3 of `type`) is changed during Execute and has zeros in
  // dead traces and next to the valid size afterwards. The quality level
  // starts at trunc(sqnrTarget), clamped to 0..30.
  void PrepareCompress(CompressedBlock3d* target, COMPDATATYPE type, void* samples,
                       const uint8_t* traceFlags, float sqnrTarget, bool sqnrControl,
                       bool twoStage);
  // `output` receives 16^3, 32^3 or 64^3 samples of `type` by `level`.
  void PrepareDecompress(const CompressedBlock3d* source, COMPDATATYPE type, void* output,
                         const uint8_t* traceFlags, DECOMPQUALITY quality, DECOMPLEVEL level,
                         bool twoStage);
  void setDataSizeInBlock(int size0, int size1, int size2);
  // Value range of the data and the range mapped onto 8- and 16-bit output.
  void setMinAndMax(double valueMin, double valueMax, double outMin, double outMax, bool symmetric);
  bool Execute();

  void SetZombieGuard(bool on);
  bool GetZombieGuard() const;

  static int getNrOfQualityLevels();
  // 20 log10(mean |a| / mean |a - b|); 400 for the same array, no samples or
  // a mean error below 1e-8.
  static float calculateSQNR(int64_t count, const float* a, const float* b);

 private:
  struct Impl;
  std::unique_ptr<Impl> p_;
};

namespace Compression {

// 10 log10(mean |a| / mean |b - a|) and 10 log10(mean a^2 / mean (b - a)^2);
// 200 for the same array, no samples or a mean error below 1e-8.
// Instantiated for int8_t, int16_t, int32_t, float and double.
template <typename T>
TYQ_EXPORT double snramp(int64_t count, const T* a, const float* b);
template <typename T>
TYQ_EXPORT double snrpow(int64_t count, const T* a, const float* b);

}  // namespace Compression

}  // namespace Qra::Ostrel::Tyq::Private
