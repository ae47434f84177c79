#pragma once

namespace tyq_tool {

// tyq compress: a compressed (or, at SQNR 0, uncompressed) copy of a volume
// file made from several threads, with progress and a summary line.
int runCompress(int argc, char** argv);
extern const char* const kCompressUsage;

}  // namespace tyq_tool
