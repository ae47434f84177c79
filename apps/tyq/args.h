#pragma once

namespace tyq_tool {

// Whole-token parsing of command-line values; false on anything else.
bool parseInt(const char* text, int& out);
bool parseInts(const char* text, int count, int* out);  // "a,b,..." with `count` of them
bool parseTriple(const char* text, int out[3]);    // "i,j,k"
bool parseRange(const char* text, double out[2]);  // "lo,hi", finite, lo < hi

}  // namespace tyq_tool
