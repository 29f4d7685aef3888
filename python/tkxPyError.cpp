#include "python/tkxPyError.h"

#include "tkx/tkxc.h"

#include <pybind11/eval.h>

#include <array>

namespace py = pybind11;

namespace tkxpy {

namespace {

// the classes are defined in Python so that they read like any other exception
const char *const kErrorSource = R"py(
class Error(Exception):
    """A failure reported by the device library.

    code: the library's error code (0..15, the ERR_* constants);
    message: the library's message for it;
    operation: what was being done, or None."""

    def __init__(self, code, message, operation=None):
        super().__init__(code, message, operation)
        self.code = code
        self.message = message
        self.operation = operation

    def __str__(self):
        where = f"{self.operation}: " if self.operation else ""
        return f"{where}{self.message} (code {self.code})"


class CommunicationError(Error):
    """The device did not answer as it should: a failed or garbled exchange, a busy
    controller, a time-out, or a channel that is not ready."""


class NoDeviceError(Error):
    """No device (or no driver) where one was asked for, or a closed device."""


class NotAvailableError(Error):
    """The device lacks what the operation needs, or the operation is not
    available (expert mode off, not implemented)."""


class GeometryError(Error):
    """The mechanism's model gives no answer: encoders without a pose, or a value
    that is not a number."""


class ConfigurationError(Error):
    """A configuration file or the device's calibration could not be used."""
)py";

std::array<PyObject *, TKX_ERROR_COUNT> classes{};
PyObject *baseClass = nullptr;

const char *FamilyOf(int code) {
  switch (code) {
    case TKX_ERR_COMMUNICATION:
    case TKX_ERR_CONTROLLER_BUSY:
    case TKX_ERR_TIMEOUT:
    case TKX_ERR_NOT_READY:
      return "CommunicationError";
    case TKX_ERR_NO_DRIVER:
    case TKX_ERR_NO_DEVICE:
      return "NoDeviceError";
    case TKX_ERR_NOT_AVAILABLE:
    case TKX_ERR_EXPERT_DISABLED:
    case TKX_ERR_NOT_IMPLEMENTED:
      return "NotAvailableError";
    case TKX_ERR_GEOMETRY:
      return "GeometryError";
    case TKX_ERR_FILE_NOT_FOUND:
    case TKX_ERR_AUTOCONFIG:
      return "ConfigurationError";
    default:
      return "Error";
  }
}

}  // namespace

void RegisterErrors(py::module_ &m) {
  py::dict ns = m.attr("__dict__");
  py::exec(kErrorSource, ns, ns);
  // the classes live as long as the module, which is never unloaded
  baseClass = py::object(m.attr("Error")).release().ptr();
  for (int code = 0; code < TKX_ERROR_COUNT; ++code) {
    classes[static_cast<size_t>(code)] = py::object(m.attr(FamilyOf(code))).release().ptr();
  }
}

py::object ErrorClass(int code) {
  PyObject *cls = code >= 0 && code < TKX_ERROR_COUNT ? classes[static_cast<size_t>(code)] : baseClass;
  return py::reinterpret_borrow<py::object>(cls);
}

void Raise(int code, const std::string &operation) {
  py::object cls = ErrorClass(code);
  py::object error =
      cls(code, tkxErrorGetStr(code), operation.empty() ? py::object(py::none()) : py::object(py::str(operation)));
  PyErr_SetObject(cls.ptr(), error.ptr());
  throw py::error_already_set();
}

void RaiseValue(const std::string &message) {
  PyErr_SetString(PyExc_ValueError, message.c_str());
  throw py::error_already_set();
}

}  // namespace tkxpy
