#pragma once

#include <string>

#include "tyq/status.h"

namespace tyq_tool {

// The library's failure as a user reads it: what went wrong and on what. The
// operations it passed through are added only in verbose mode (-v).
std::string describeFailure(const Qra::Ostrel::Tyq::Private::Status& status);
// A message the library already put in words (Status::message() text, as
// the compressing tools keep it): the trail of operations at its end is kept
// only in verbose mode.
std::string describeFailure(const std::string& libraryMessage);
void setVerbose(bool verbose);

}  // namespace tyq_tool
