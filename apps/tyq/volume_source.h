#pragma once

#include <string>

#include "tyq/tyq.h"

namespace tyq_tool {

// The options every reader and writer of the tool starts from: the
// library's pool with one thread per core (the library alone uses none),
// unless "OSTREL_TYQ_THREADS" says otherwise.
Qra::Ostrel::Tyq::FileAccess::TyqOptions toolOptions();

// Opens `file` for reading with its descriptions and sets the layout of every
// buffer the command reads into: `order` (trace order unless a command is
// asked for another). The accessor's own default is the file's storage
// order, which differs between formats, so no command may rely on it.
// False after a message prefixed by the command's name.
bool openReader(const char* command, const std::string& file, int order,
                Qra::Ostrel::Tyq::FileAccess::AutoRef<Qra::Ostrel::Tyq::FileAccess::Reader>& reader,
                Qra::Ostrel::Tyq::FileAccess::FileInfo& info,
                Qra::Ostrel::Tyq::FileAccess::DataInfo& data);

// openReader in trace order, and a check that level `lod` exists.
bool openVolume(const char* command, const std::string& file, int lod,
                Qra::Ostrel::Tyq::FileAccess::AutoRef<Qra::Ostrel::Tyq::FileAccess::Reader>& reader,
                Qra::Ostrel::Tyq::FileAccess::FileInfo& info,
                Qra::Ostrel::Tyq::FileAccess::DataInfo& data);

// A writer the command made takes its buffers in trace order, said as
// explicitly as for readers.
bool useTraceOrder(Qra::Ostrel::Tyq::FileAccess::Writer& writer,
                   Qra::Ostrel::Tyq::Private::Status* status);

}  // namespace tyq_tool
