#pragma once

#include <string>

#include "tyq/tyq.h"

namespace tyq_tool {

// Copies `source` into a compressed file `output` at 30 dB with every
// level, then reads it back whole: prints its size, the quality achieved
// against the source and the read speed. False after a message on failure.
bool demoCompressedCopy(Qra::Ostrel::Tyq::FileAccess::Reader& source, const std::string& output);

}  // namespace tyq_tool
