#pragma once

#include <cstdint>
#include <string>

namespace tyq_tool {

// tyq compress: a compressed (or, at SQNR 0, uncompressed) copy of a volume
// file made from several threads, with progress and a summary line.
int runCompress(int argc, char** argv);

struct CopyFigures {
  int64_t inputBytes = 0, outputBytes = 0;
};

// Copies `in` to the new file `out` at `sqnr` dB (0: uncompressed, one
// thread) from `threads` threads, with a progress bar over `volumeBytes` of
// samples; Ctrl-C cancels. False with the copy's message; a failed copy
// leaves no output.
bool runCompressCopy(const std::string& in, const std::string& out, double sqnr, int threads,
                     int64_t volumeBytes, CopyFigures& figures, std::string& error);
extern const char* const kCompressUsage;

}  // namespace tyq_tool
