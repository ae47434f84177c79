#pragma once

#include <cstdint>
#include <string>

namespace tyq_tool {

// Samples along an axis of `size` samples at level `lod`: ceil(size / 2^lod).
int64_t levelExtent(int32_t size, int lod);

// Whether a box of `dims` axes (2: traces, 3: samples) is worth reading from
// level `lod` of a survey of `survey` samples per axis, into a buffer of
// `bytes`. A box that overlaps the level is read (what lies outside reads as
// zero); one wholly outside it, or one whose buffer would not fit in the
// machine's memory, is refused with a message that says which.
bool boxWorthReading(const int* start, const int* size, int dims, const int32_t* survey, int lod,
                     int64_t bytes);

// Says why a read failed; a level the file does not count is named, since
// only some readers (the synthetic one) serve levels beyond their count.
void reportReadFailure(const std::string& failure, int lod, int levels);

}  // namespace tyq_tool
