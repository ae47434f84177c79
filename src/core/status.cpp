#include "tyq/status.h"

#include <cstdio>
#include <cstring>

namespace Qra::Ostrel::Tyq::FileAccess {

namespace {
constexpr const char* kMessages[] = {
    "<no error>",
    "unknown error",
    "feature not yet implemented",
    "invalid arguments",
    "internal inconsistency",
    "unable to allocate memory",
    "unable to create new file",
    "unable to open file",
    "file type not recognized",
    "file version no longer supported",
    "file version is newer than this program",
    "intermediate file version not supported",
    "file is not open",
    "file is open for reading only",
    "unable to read file",
    "unable to write file",
    "brick not found",
    "brick already exists",
    "failed to report detailed information",
    "System error",
    "read less data than expected",
    "wrote less data than expected",
    "errors during asynchronous processing",
    "error accessing cloud storage",
    "timeout accessing cloud storage",
    "resource not found in cloud storage",
    "already exists in cloud storage",
    "permission denied accessing cloud storage",
    "login needed to access cloud storage",
    "resource exhausted accessing cloud storage",
    "resource unavailable in cloud storage",
    "range error while accessing cloud storage",
    "data loss while accessing cloud storage",
};
constexpr int kMessageCount = static_cast<int>(sizeof(kMessages) / sizeof(kMessages[0]));
}  // namespace

const char* Error::Message(int code) {
  if (code < 0 || code >= kMessageCount) return "<invalid error code>";
  return kMessages[code];
}

}  // namespace Qra::Ostrel::Tyq::FileAccess

namespace Qra::Ostrel::Tyq::Private {

namespace {
TyqErrorCode toCode(int code) {
  return static_cast<TyqErrorCode>(code == 0 ? FileAccess::Error::UnknownError : code);
}
}  // namespace

int Status::severity(int code) {
  if (code == FileAccess::Error::NoError) return 0;
  if (code == FileAccess::Error::UnknownError) return 1;
  if (code == FileAccess::Error::SystemError) return 2;
  if (code >= FileAccess::Error::CloudError && code <= FileAccess::Error::CloudDataLoss) return 4;
  return 3;
}

bool Status::setSuccess() {
  code_ = FileAccess::Error::NoError;
  sysError_ = 0;
  return true;
}

bool Status::setError(int code, const std::string& context, const std::string& function) {
  code_ = toCode(code);
  sysError_ = 0;
  context_ = context;
  function_ = function;
  return ok();
}

bool Status::setSysError(int32_t sysError, const std::string& context,
                         const std::string& function) {
  code_ = FileAccess::Error::SystemError;
  sysError_ = sysError;
  context_ = context;
  function_ = function;
  return false;
}

bool Status::pushError(int code, const char* name) {
  const TyqErrorCode next = toCode(code);
  if (severity(next) < severity(code_)) return ok();
  code_ = next;
  addFunction(name);
  return ok();
}

bool Status::ensureError(const char* function) {
  if (ok()) {
    code_ = FileAccess::Error::NoDetails;
    sysError_ = 0;
    context_.clear();
    function_ = function ? function : "";
  }
  return ok();
}

void Status::addFunction(const char* name) {
  if (ok()) return;
  if (!function_.empty()) function_ += " from ";
  function_ += name ? name : "";
}

std::string Status::message() const {
  std::string text = getTyqMessage(code_);
  if (sysError_ != 0) text += " (" + getSysMessage(sysError_) + ")";
  if (!context_.empty()) text += " while accessing " + context_;
  if (!function_.empty()) text += " in " + function_;
  return text;
}

std::string Status::getTyqMessage(int code) {
  return FileAccess::Error::Message(code);
}

std::string Status::getSysMessage(int32_t sysError) {
  char buffer[2048] = {0};
  // The XSI strerror_r fills the buffer; the GNU one may return a static text.
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
  const char* text = strerror_r(sysError, buffer, sizeof buffer);
#else
  const char* text = strerror_r(sysError, buffer, sizeof buffer) == 0 ? buffer : "";
#endif
  std::string result = text ? text : "";
  // glibc answers "Unknown error N" for numbers it has no text for; treat that
  // like a missing message so the fallback below applies.
  if (result.rfind("Unknown error", 0) == 0) result.clear();
  while (!result.empty() && (result.back() == '\r' || result.back() == '\n')) result.pop_back();
  if (result.empty()) {
    std::snprintf(buffer, sizeof buffer, "Windows error %d", sysError);
    result = buffer;
  }
  return result;
}

Func::Func(const char* name, Status* status) : name_(name), status_(status ? status : &own_) {
  status_->code_ = FileAccess::Error::NoError;
  status_->sysError_ = 0;
}

// A copy of a Func that reported into its own status reports into the copy's
// own status, so the copy never points into an object that may die first.
Func::Func(const Func& other)
    : name_(other.name_),
      status_(other.status_ == &other.own_ ? &own_ : other.status_),
      own_(other.own_) {}

Func::~Func() {
  if (status_->ok()) return;
  const std::string& trail = status_->function_;
  const size_t len = std::strlen(name_);
  const bool endsWithName =
      trail.size() >= len && trail.compare(trail.size() - len, len, name_) == 0;
  if (!endsWithName) status_->addFunction(name_);
}

bool Func::ensureError() {
  if (status_->ok()) status_->ensureError(name_);
  return false;
}

}  // namespace Qra::Ostrel::Tyq::Private
