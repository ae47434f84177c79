#pragma once

#include <functional>
#include <initializer_list>
#include <string>

namespace tyq_tool {

// Whole-token parsing of command-line values; false on anything else.
bool parseInt(const char* text, int& out);
bool parseDouble(const char* text, double& out);        // finite
bool parseInts(const char* text, int count, int* out);  // "a,b,..." with `count` of them
bool parseTriple(const char* text, int out[3]);         // "i,j,k"
bool parseRange(const char* text, double out[2]);       // "lo,hi", finite, lo < hi

// A coding range as a file stores it: two finite floats in order whose
// width is finite too, since the codes are spread over hi - lo.
bool codableRange(double lo, double hi);

// The most threads a command starts: four per core (at least 8, at most
// 1024). Past that every thread only adds its buffers, and a mistyped count
// would exhaust memory before any work began.
int maxThreads();
bool parseThreads(const char* text, int& out);  // 1 .. maxThreads()

// Why the last parser above failed, when it knows more than "bad value";
// empty otherwise. Reading it clears it.
std::string takeParseNote();

// Walks a command's arguments: `toggle` takes the options without a value
// (true when it knew the flag); words not starting with '-' fill
// `positionals` in order; anything else is an option whose value is the next
// argument, handed to `option` (false: unknown option or bad value). False
// after a message naming the argument, or the usage when a positional is
// missing.
bool walkArguments(const char* command, const char* usage, int argc, char** argv,
                   std::initializer_list<std::string*> positionals,
                   const std::function<bool(const std::string&)>& toggle,
                   const std::function<bool(const std::string&, const char*)>& option);

}  // namespace tyq_tool
