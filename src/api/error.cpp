#include <locale>
#include <sstream>

#include "api/api_imp.h"
#include "api/api_internal.h"
#include "tyq/status.h"

namespace Qra::Ostrel::Tyq::TyqApi {

Error::Error(int code, const SimpleString& context)
    : imp_(new ErrorImp(code, ToStdString(context))) {}

Error::Error(const Error& other) : imp_(other.imp_) {
  imp_->addRef();
}

Error& Error::operator=(const Error& other) {
  ErrorImp* previous = imp_;
  other.imp_->addRef();
  imp_ = other.imp_;
  previous->release();
  return *this;
}

Error::~Error() {
  imp_->release();
}

int Error::getCode() const {
  return imp_->code();
}

bool Error::isOk() const {
  return imp_->code() == 0;
}

SimpleString Error::getMsg() const {
  return SimpleString(FileAccess::Error::Message(imp_->code()));
}

SimpleString Error::getCtx() const {
  return ToSimpleString(imp_->context());
}

SimpleString Error::getFullMsg() const {
  std::ostringstream out;
  // The code must read the same whatever locale the host installed.
  out.imbue(std::locale::classic());
  out << imp_->code() << ": ";
  if (!imp_->context().empty()) out << imp_->context() << ": ";
  out << FileAccess::Error::Message(imp_->code());
  return ToSimpleString(out.str());
}

}  // namespace Qra::Ostrel::Tyq::TyqApi
