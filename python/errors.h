#pragma once

// Library failures on their way to Python: C++ code throws LibraryError (with
// or without the GIL held) and the module's translator raises tyq.Error with
// the library's code and message.

#include <pybind11/pybind11.h>

#include <stdexcept>
#include <string>

#include "tyq/status.h"

namespace tyq_python {

class LibraryError : public std::runtime_error {
 public:
  LibraryError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

// Throws the failure a status holds (NoDetails when it holds none).
[[noreturn]] void ThrowStatus(const Qra::Ostrel::Tyq::Private::Status& status);
// Throws `code` with the library's text for it, followed by `detail`.
[[noreturn]] void ThrowError(int code, const std::string& detail);

// Library text as a Python str; bytes that are not UTF-8 (names and units
// come from files) become U+FFFD rather than failing the whole call.
pybind11::str DecodedText(const std::string& text);

// Defines tyq.Error and routes LibraryError to it.
void RegisterErrors(pybind11::module_& module);

}  // namespace tyq_python
