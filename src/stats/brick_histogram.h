#pragma once

// Adding the samples of one brick to a histogram builder, as the write path
// needs it: the valid part of the brick (the part inside the survey), in the
// stored sample type, skipping dead traces when a flag plane is given.
//
// The samples are binned into local counts under the builder's current
// range. Only when they do not fit a growing range is the range widened and
// the samples binned once more; the builder's bins are touched once, at the
// end. Subtracting (add false) never widens: what was added before was
// binned under a range at most as wide as today's, and samples outside it
// were never counted in the bins.
//
// The write path passes its in-memory builder straight in: at level 0 once
// with a brick's old content (add false) and once with the new (add true);
// above level 0 with no builder, for the statistics of the constant test.
// The outcome equals adding the samples to a temporary builder over the same
// range (fixed when subtracting) and then adding or subtracting that.
//
// Sample types are numbered as DataTypeEnum: 0 int8, 1 uint8, 2 int16,
// 3 uint16, 4 int32, 5 uint32, 6 float.
#include "tyq/stats.h"

namespace Qra::Ostrel::Tyq::Private {

// Where a brick's samples are and which of them count.
template <typename T>
struct BrickSamples {
  const T* samples = nullptr;      // sample (0, 0, 0) of the valid part
  const int* validSize = nullptr;  // n0, n1, n2 along i, j, k
  const int* strides = nullptr;    // element strides s0, s1, s2 of the brick buffer
  // One flag per trace, non-zero meaning live, at flags[i * a0 + j * a1] with
  // a0, a1 = flagStrides. Null: every trace is live.
  const unsigned char* flags = nullptr;
  const int* flagStrides = nullptr;
};

// Adds the samples to `builder` (or removes them, add false: negative
// counts, statistics subtracted) and returns the statistics of the brick's
// own samples, which the write path's constant test uses. Returns false, and
// changes nothing, only when flags come without flag strides or the strides
// are too large to walk the buffer with int steps.
template <typename T>
bool AddBrickSamples(HistogramBuilder& builder, const BrickSamples<T>& brick, bool add,
                     StatisticData* brickStats = nullptr);

// The statistics of the samples alone, for bricks above level 0, which are
// tested for being constant but never counted.
template <typename T>
bool BrickStatistics(const BrickSamples<T>& brick, StatisticData* brickStats);

// Both of the above for a sample type known at run time: with a null
// `builder` only the statistics are computed. False for a type outside 0..6
// or strides that cannot be walked.
bool AddBrickSamples(int sampleType, HistogramBuilder* builder, const void* samples,
                     const int validSize[3], const int strides[3], const unsigned char* flags,
                     const int flagStrides[2], bool add, StatisticData* brickStats);

// Whether a brick with these statistics (of its valid, live samples, in the
// stored type) may be stored as one value: no non-finite sample, and for
// float minimum and maximum at most 10 units in the last place apart (of one
// sign; of different signs they must compare equal), for integer codes less
// than 0.1 apart. A brick without samples is not constant: there is no value
// to store.
bool IsConstantBrick(int sampleType, const StatisticData& brickStats);

// The templates are instantiated, in brick_histogram.cpp, for the seven
// stored sample types: signed char, unsigned char, short, unsigned short,
// int, unsigned int and float.

}  // namespace Qra::Ostrel::Tyq::Private
