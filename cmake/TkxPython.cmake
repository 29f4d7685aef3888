# Finds Debian's python3 and its pybind11 for the Python module; switches
# TKX_BUILD_PYTHON off, with a message, when either is missing.
# an instrumented module cannot load into the uninstrumented interpreter
if(NOT TKX_SANITIZE STREQUAL "" OR TKX_FUZZ)
  message(STATUS "sanitizer build: the Python module is not built")
  set(TKX_BUILD_PYTHON OFF)
  return()
endif()
if(NOT DEFINED Python3_EXECUTABLE)
  set(Python3_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "The Python the module is built for and tested with")
endif()
set(PYBIND11_FINDPYTHON ON)
execute_process(COMMAND ${Python3_EXECUTABLE} -c "import pybind11; print(pybind11.get_cmake_dir())"
  OUTPUT_VARIABLE tkx_pybind11_dir OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE tkx_pybind11_rc)
if(tkx_pybind11_rc EQUAL 0)
  find_package(Python3 COMPONENTS Interpreter Development.Module)
  find_package(pybind11 CONFIG HINTS ${tkx_pybind11_dir})
endif()
if(NOT pybind11_FOUND OR NOT Python3_FOUND)
  message(STATUS "pybind11 for ${Python3_EXECUTABLE} not found (python3-pybind11 python3-dev): "
    "the Python module is not built")
  set(TKX_BUILD_PYTHON OFF)
endif()
