#include "errors.h"

#include <pybind11/eval.h>

#include "tyq/status.h"

namespace py = pybind11;
namespace FA = Qra::Ostrel::Tyq::FileAccess;

namespace tyq_python {

namespace {

constexpr const char* kErrorSource = R"(
class Error(Exception):
    """A failure reported by the tyq library.

    code: the library's error number (for example 3 for an invalid argument,
    7 when a file cannot be opened, 8 for a file of unknown type).
    message: the library's message, naming the file and the operations the
    failure passed through.
    """

    def __init__(self, message, code=1):
        super().__init__(message)
        self.message = message
        self.code = code

    def __reduce__(self):
        return (type(self), (self.message, self.code))
)";

// Kept for the life of the process: the translator may run while the
// interpreter shuts down.
PyObject* errorType = nullptr;

}  // namespace

void ThrowStatus(const Qra::Ostrel::Tyq::Private::Status& status) {
  if (status.ok()) ThrowError(FA::Error::NoDetails, "");
  throw LibraryError(status.tyqError(), status.message());
}

void ThrowError(int code, const std::string& detail) {
  std::string message = FA::Error::Message(code);
  if (!detail.empty()) message += ": " + detail;
  throw LibraryError(code, message);
}

py::str DecodedText(const std::string& text) {
  PyObject* decoded =
      PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
  if (!decoded) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(decoded);
}

void RegisterErrors(py::module_& module) {
  py::dict scope;
  scope["__name__"] = "tyq";
  scope["__builtins__"] = py::module_::import("builtins");
  py::exec(kErrorSource, scope);
  py::object type = scope["Error"];
  module.attr("Error") = type;
  errorType = type.release().ptr();
  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const LibraryError& e) {
      py::object error =
          py::reinterpret_borrow<py::object>(errorType)(DecodedText(e.what()), e.code());
      PyErr_SetObject(errorType, error.ptr());
    }
  });
}

}  // namespace tyq_python
