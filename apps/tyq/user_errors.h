#pragma once

#include <string>

#include "tyq/status.h"

namespace tyq_tool {

// The library's failure as a user reads it: what went wrong and on what. The
// operations it passed through are added only in verbose mode (-v).
std::string describeFailure(const Qra::Ostrel::Tyq::Private::Status& status);
void setVerbose(bool verbose);

}  // namespace tyq_tool
