#pragma once

#include <cstdint>
#include <string>

#include "tyq/export.h"

namespace Qra::Ostrel::Tyq::FileAccess {

class TYQ_EXPORT Error {
 public:
  // The numbers are returned by the entry functions and are fixed forever.
  enum TyqErrorCode : int32_t {
    NoError = 0,
    UnknownError = 1,
    NotImplemented = 2,
    InvalidArgument = 3,
    InternalError = 4,
    OutOfMemory = 5,
    CreateFailed = 6,
    OpenFailed = 7,
    UnknownFileType = 8,
    VersionTooOld = 9,
    VersionTooNew = 10,
    VersionUnsupported = 11,
    NotOpen = 12,
    ReadOnly = 13,
    ReadFailed = 14,
    WriteFailed = 15,
    BrickNotFound = 16,
    BrickExists = 17,
    NoDetails = 18,
    SystemError = 19,
    ShortRead = 20,
    ShortWrite = 21,
    AsyncError = 22,
    CloudError = 23,
    CloudTimeout = 24,
    CloudNotFound = 25,
    CloudAlreadyExists = 26,
    CloudPermissionDenied = 27,
    CloudLoginNeeded = 28,
    CloudResourceExhausted = 29,
    CloudUnavailable = 30,
    CloudRangeError = 31,
    CloudDataLoss = 32,
  };

  // Constant text of a code; "<invalid error code>" outside 0..32.
  static const char* Message(int code);
};

}  // namespace Qra::Ostrel::Tyq::FileAccess

namespace Qra::Ostrel::Tyq::Private {

using TyqErrorCode = FileAccess::Error::TyqErrorCode;

// Outcome of one call chain: a code, an optional OS error number, what was
// being accessed, and the operations the failure travelled through
// (innermost first, joined by " from "). Context and trail are hidden while
// the code is 0 but kept, so message() still shows them after setSuccess().
class TYQ_EXPORT Status {
 public:
  Status() = default;

  bool ok() const { return code_ == FileAccess::Error::NoError; }
  TyqErrorCode tyqError() const { return code_; }
  int32_t sysError() const { return sysError_; }
  const std::string& context() const { return ok() ? empty_ : context_; }
  const std::string& function() const { return ok() ? empty_ : function_; }

  bool setSuccess();
  bool setError(int code, const std::string& context, const std::string& function);
  bool setSysError(int32_t sysError, const std::string& context, const std::string& function);
  // Re-reports an inner failure from an outer operation; a code of lower
  // severity than the current one changes nothing.
  bool pushError(int code, const char* name);
  // Turns a success into NoDetails; leaves an existing error alone.
  bool ensureError(const char* function);
  void addFunction(const char* name);
  std::string message() const;

  static std::string getTyqMessage(int code);
  static std::string getSysMessage(int32_t sysError);
  static int severity(int code);

 private:
  TyqErrorCode code_ = FileAccess::Error::NoError;
  int32_t sysError_ = 0;
  std::string context_;
  std::string function_;
  std::string empty_;

  friend class Func;
};

// Scope of one operation: resets the caller's status on entry, stamps the
// operation name into errors it sets, and appends the name to the trail of an
// error that passes through it on exit. A null caller status is replaced by
// the Func's own, so every operation accepts a null Status*.
class TYQ_EXPORT Func {
 public:
  Func(const char* name, Status* status);
  Func(const Func& other);
  Func& operator=(const Func&) = delete;
  ~Func();

  Status& status() { return *status_; }
  const Status& status() const { return *status_; }
  Status* statusP() { return status_; }
  const Status* statusP() const { return status_; }
  const char* name() const { return name_; }

  bool ok() const { return status_->ok(); }
  TyqErrorCode tyqError() const { return status_->tyqError(); }
  int32_t sysError() const { return status_->sysError(); }
  const std::string& context() const { return status_->context(); }
  const std::string& function() const { return status_->function(); }

  bool setError(int code, const std::string& context) {
    return status_->setError(code, context, name_);
  }
  bool setSysError(int32_t sysError, const std::string& context) {
    return status_->setSysError(sysError, context, name_);
  }
  bool setSuccess() { return status_->setSuccess(); }
  bool pushError(int code) { return status_->pushError(code, name_); }
  bool ensureError();

 private:
  const char* name_;
  Status* status_;
  Status own_;
};

}  // namespace Qra::Ostrel::Tyq::Private
