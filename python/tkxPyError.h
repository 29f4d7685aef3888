// Python exceptions for the library's error codes: tkx.Error and one subclass per
// family, each carrying the code and the library's message.
#ifndef TKX_PYTHON_TKXPYERROR_H
#define TKX_PYTHON_TKXPYERROR_H

#include <pybind11/pybind11.h>

#include <string>

namespace tkxpy {

// creates tkx.Error and its subclasses in the module
void RegisterErrors(pybind11::module_ &m);

// the exception class that raises for code (tkx.Error for a code outside every family)
pybind11::object ErrorClass(int code);

// raises the class of code with the library's message; needs the GIL
[[noreturn]] void Raise(int code, const std::string &operation);

// raises ValueError; needs the GIL
[[noreturn]] void RaiseValue(const std::string &message);

}  // namespace tkxpy

#endif
