#include "user_errors.h"

namespace tyq_tool {

namespace {
bool gVerbose = false;
}  // namespace

void setVerbose(bool verbose) {
  gVerbose = verbose;
}

std::string describeFailure(const Qra::Ostrel::Tyq::Private::Status& status) {
  using Qra::Ostrel::Tyq::Private::Status;
  if (status.ok()) return "failed without details";
  std::string text = Status::getTyqMessage(status.tyqError());
  if (status.sysError() != 0) text += " (" + Status::getSysMessage(status.sysError()) + ")";
  if (!status.context().empty()) text += ": " + status.context();
  if (gVerbose && !status.function().empty()) text += " [in " + status.function() + "]";
  return text;
}

}  // namespace tyq_tool
