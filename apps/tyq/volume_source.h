#pragma once

#include <string>

#include "tyq/tyq.h"

namespace tyq_tool {

// Opens `file` for reading with its descriptions, and checks that level `lod`
// exists; false after a message prefixed by the command's name.
bool openVolume(const char* command, const std::string& file, int lod,
                Qra::Ostrel::Tyq::FileAccess::AutoRef<Qra::Ostrel::Tyq::FileAccess::Reader>& reader,
                Qra::Ostrel::Tyq::FileAccess::FileInfo& info,
                Qra::Ostrel::Tyq::FileAccess::DataInfo& data);

}  // namespace tyq_tool
