#pragma once

// Conversion of samples between the stored type of a file and the type and
// scale a caller reads or writes in. Sample types are numbered as
// DataTypeEnum: 0 int8, 1 uint8, 2 int16, 3 uint16, 4 int32, 5 uint32,
// 6 float.
//
// An integer code c of type [cmin, cmax] stands for the value
//   lo + (c - cmin) * (hi - lo) / (cmax - cmin)
// of its range [lo, hi]. Going from a value to a code clamps to [cmin, cmax]
// (so +inf gives cmax and -inf cmin), rounds half away from zero and maps NaN
// to code 0. Integer to integer goes through the value in one expression.
// Float to float is a plain copy. All per-sample arithmetic is single
// precision.
#include <cstdint>

namespace Qra::Ostrel::Tyq::Private::Access {

// Converts `count` samples from `src` (with range [srcLo, srcHi]) into `dst`
// (range [dstLo, dstHi]) and returns `dst`. A null `src`, or one equal to
// `dst`, converts in place: the buffer holds `count` source samples and must
// have room for `count` destination samples; widening then runs from the
// last sample to the first. Other overlaps of `src` and `dst` are not
// allowed.
//
// Only an integer side's range is used: a float side carries values, not
// codes, so its range is ignored. A caller passing (access range, coding
// range) to every function therefore converts float buffers with the coding
// range alone, as it must.
using ConvFcn = void* (*)(void* dst, float dstLo, float dstHi, const void* src, float srcLo,
                          float srcHi, int64_t count);

// Indexed by the caller's sample type. read[t] turns stored samples into type
// t and is called with (access range, coding range); write[t] turns type t
// into stored samples and is called with (coding range, access range). A null
// entry means the samples need no conversion.
struct ConversionTables {
  ConvFcn read[7];
  ConvFcn write[7];
};

// Fills `out` for samples stored as `storedType` with coding range
// [codingLo, codingHi], read and written through the access range
// [accessLo, accessHi]. Entries are null exactly when caller and stored type
// are the same and either both are float or the two ranges are equal as
// floats. Returns false, leaving `out` alone, for a stored type outside 0..6.
bool BuildConversionTables(int storedType, float codingLo, float codingHi, float accessLo,
                           float accessHi, ConversionTables& out);

// The function from sample type `from` to sample type `to` (both 0..6),
// including same-type re-coding; null for other types.
ConvFcn ConversionFunction(int from, int to);

}  // namespace Qra::Ostrel::Tyq::Private::Access
