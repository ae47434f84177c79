#include "user_errors.h"

#include <cctype>

namespace tyq_tool {

namespace {

bool gVerbose = false;

// "A::b from C::D from e": operation names joined by " from ". One plain
// word is taken for the end of a sentence, not for a trail.
bool isTrail(const std::string& text) {
  if (text.find("::") == std::string::npos && text.find(" from ") == std::string::npos) {
    return false;
  }
  size_t at = 0;
  while (true) {
    const size_t start = at;
    while (at < text.size() && (std::isalnum(static_cast<unsigned char>(text[at])) ||
                                text[at] == '_' || text[at] == ':')) {
      ++at;
    }
    if (at == start) return false;
    if (at == text.size()) return true;
    if (text.compare(at, 6, " from ") != 0) return false;
    at += 6;
  }
}

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

std::string describeFailure(const std::string& libraryMessage) {
  const size_t in = libraryMessage.rfind(" in ");
  if (in == std::string::npos || !isTrail(libraryMessage.substr(in + 4))) return libraryMessage;
  const std::string text = libraryMessage.substr(0, in);
  return gVerbose ? text + " [in " + libraryMessage.substr(in + 4) + "]" : text;
}

}  // namespace tyq_tool
