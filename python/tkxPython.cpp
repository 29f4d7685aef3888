// The Python module tkx: the device library for scripts, over the C API.
#include "python/tkxPyDevice.h"
#include "python/tkxPyError.h"
#include "tkx/tkxc.h"

#include <pybind11/stl.h>

namespace py = pybind11;
using tkxpy::DeviceInfo;
using tkxpy::LoopState;
using tkxpy::tkxPyDevice;

PYBIND11_MODULE(tkx, m) {
  m.doc() = R"(Force-feedback devices from Python.

    with tkx.open() as dev:          # device 0, force output on
        print(dev.system_name, dev.position)
        dev.set_force([0.0, 0.0, 1.0])
        dev.run(lambda s: [0.0, 0.0, -500.0 * s.position[2]] if s.position[2] < 0 else None,
                duration=5.0)

Units: metres, radians, newtons, newton-metres, kilograms, seconds. Failures raise
tkx.Error (or a subclass) with the library's code and message; values of the wrong
shape, NaN and infinities raise ValueError before anything reaches the device.
Every device exchange runs without the GIL. Devices are found once, when the module
is imported (TKX_VIRTUAL_DEVICES selects virtual ones: set it before the import).)";

  tkxpy::RegisterErrors(m);
#define TKX_ERROR_CONSTANT_(code, name, msg) m.attr(#name + 4) = code;
  TKX_ERROR_TABLE(TKX_ERROR_CONSTANT_)
#undef TKX_ERROR_CONSTANT_

  m.def(
      "error_message", [](int code) { return std::string(tkxErrorGetStr(code)); }, py::arg("code"),
      "The library's message for an error code.");
  m.def(
      "api_version",
      [] {
        int major = 0, minor = 0, release = 0, revision = 0;
        tkxGetAPIVersion(&major, &minor, &release, &revision);
        return py::make_tuple(major, minor, release, revision);
      },
      "The C API's version: (major, minor, release, revision).");
  m.def("time", &tkxGetTime, "The library's clock in seconds (monotonic, about 0 at its first reading).");

  py::class_<DeviceInfo>(m, "DeviceInfo", "One device found on the bus (tkx.devices()).")
      .def_readonly("index", &DeviceInfo::index, "Index to pass to tkx.open().")
      .def_readonly("system_type", &DeviceInfo::system_type, "System type the device reports.")
      .def_readonly("system_name", &DeviceInfo::system_name, "Model name of the system type.")
      .def_readonly("serial_number", &DeviceInfo::serial_number, "Serial number in its memory, 0 when none.")
      .def_readonly("firmware_version", &DeviceInfo::firmware_version, "Firmware version (3.2 for firmware 32).")
      .def("__repr__", [](const DeviceInfo &d) {
        return "DeviceInfo(index=" + std::to_string(d.index) + ", system_type=" + std::to_string(d.system_type) +
               ", system_name='" + d.system_name + "', serial_number=" + std::to_string(d.serial_number) +
               ", firmware_version=" + py::repr(py::float_(d.firmware_version)).cast<std::string>() + ")";
      });

  py::class_<LoopState>(m, "State", "What the haptic loop hands its callback each iteration.")
      .def_readonly("t", &LoopState::t, "Seconds since the loop started.")
      .def_readonly("position", &LoopState::position, "Effector position (m), array of 3.")
      .def_readonly("velocity", &LoopState::velocity, "Effector velocity (m/s), array of 3.")
      .def_readonly("buttons", &LoopState::buttons, "Buttons pressed: bit i for button i.")
      .def_readonly("iteration", &LoopState::iteration, "Iterations before this one.");

  m.def("devices", &tkxPyDevice::Devices,
        "One DeviceInfo per device found. Devices no tkx.Device holds are opened for the\n"
        "reading and closed again.");

  py::class_<tkxPyDevice>(m, "Device",
                          "An open device (tkx.open()). Use it in a with block, or call close().\n"
                          "Reads and commands raise tkx.Error once it is closed.")
      .def(py::init<int, bool>(), py::arg("index") = 0, py::arg("force") = true,
           "Opens device index; its force output on with force=True, off with False.")
      .def("close", &tkxPyDevice::Close,
           "Stops the haptic loop if it runs, applies the brakes and releases the device.\n"
           "Closing twice does nothing.")
      .def("__enter__", [](py::object self) { return self; })
      .def(
          "__exit__",
          [](tkxPyDevice &d, py::handle, py::handle, py::handle) {
            d.Close();
            return false;
          },
          "Closes the device, also when the block ends with an exception.")
      .def("__repr__", &tkxPyDevice::Repr)
      .def_property_readonly(
          "closed", [](const tkxPyDevice &d) { return !d.IsOpen(); }, "True once closed.")
      .def_property_readonly("index", &tkxPyDevice::Index, "The device's index (and slot).")
      .def_property_readonly("system_type", &tkxPyDevice::SystemType, "System type the device reports.")
      .def_property_readonly("system_name", &tkxPyDevice::SystemName, "Model name of the system type.")
      .def_property_readonly("serial_number", &tkxPyDevice::SerialNumber, "Serial number, 0 when none.")
      .def_property_readonly("firmware_version", &tkxPyDevice::FirmwareVersion,
                             "Firmware version, asked of the device.")
      .def_property_readonly("left_handed", &tkxPyDevice::LeftHanded, "True for a left-handed wrist or stylus.")
      .def_property_readonly("position", &tkxPyDevice::Position, "Effector position (m), array of 3.")
      .def_property_readonly("velocity", &tkxPyDevice::Velocity, "Effector velocity (m/s), array of 3.")
      .def_property_readonly("orientation", &tkxPyDevice::Orientation,
                             "Wrist or stylus orientation, 3 x 3 rotation matrix (identity without one).")
      .def_property_readonly("force", &tkxPyDevice::Force,
                             "Force (N) last requested while force output is on, zeros otherwise.")
      .def_property_readonly("buttons", &tkxPyDevice::Buttons, "Buttons pressed: bit i for button i.")
      .def("button", &tkxPyDevice::Button, py::arg("index"), "True while button index (0..7) is pressed.")
      .def_property_readonly("gripper_angle", &tkxPyDevice::GripperAngle,
                             "Gripper opening (rad); NotAvailableError without a gripper.")
      .def("set_force", &tkxPyDevice::SetForce, py::arg("force"), py::arg("torque") = py::none(),
           py::arg("gripper") = py::none(),
           "Commands the force (N, 3 values), with the gravity compensation added; torque\n"
           "(N m, 3 values) on an active wrist, gripper force (N) on a gripper. ValueError\n"
           "for a wrong shape, NaN or infinity, before anything is sent.")
      .def_property("gravity_compensation", &tkxPyDevice::GravityCompensation, &tkxPyDevice::SetGravityCompensation,
                    "Gravity compensation on (the default at open) or off; it fades over 0.25 s.")
      .def_property("effector_mass", &tkxPyDevice::EffectorMass, &tkxPyDevice::SetEffectorMass,
                    "Mass (kg) the gravity compensation carries; not settable while run() runs.")
      .def_property("force_enabled", &tkxPyDevice::ForceEnabled, &tkxPyDevice::SetForceEnabled,
                    "Force output on or off (switching it turns the library's expert mode on).")
      .def("run", &tkxPyDevice::Run, py::arg("callback"), py::arg("duration") = py::none(), py::arg("budget") = 0.001,
           "Runs the haptic loop on a thread of its own (real-time priority when allowed)\n"
           "and blocks until it ends. Each iteration reads the device and calls\n"
           "callback(state) -> force (3 values, or None for no force), then sends the force.\n"
           "Ends on stop(), after duration seconds, on a device error (raised here as\n"
           "tkx.Error) or on an exception in the callback (raised here). The force is set to\n"
           "zero when the loop ends. An iteration that starts more than budget seconds\n"
           "after the previous one counts as an overrun.")
      .def("stop", &tkxPyDevice::Stop, "Ends run() after the current iteration; from any thread or the callback.")
      .def_property_readonly("running", &tkxPyDevice::Running, "True while run() runs.")
      .def_property_readonly("iterations", &tkxPyDevice::Iterations, "Callbacks made by the current or last run().")
      .def_property_readonly("callback_seconds", &tkxPyDevice::CallbackSeconds,
                             "Seconds the current or last run() spent on the Python side: taking the GIL,\n"
                             "building the state, the callback and reading its force.")
      .def_property_readonly("overruns", &tkxPyDevice::Overruns,
                             "Iterations of the current or last run() that came later than its budget.");

  m.def(
      "open", [](int index, bool force) { return std::make_unique<tkxPyDevice>(index, force); }, py::arg("index") = 0,
      py::arg("force") = true,
      "Opens device index (tkx.devices() lists them) and returns its Device, with its\n"
      "force output on (force=True) or off (force=False: reads only).\n"
      "NoDeviceError when there is no such device,\n"
      "NotAvailableError when a Device already holds it.");
}
