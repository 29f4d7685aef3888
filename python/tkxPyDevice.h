// One open device as Python sees it: the slot it holds, its reads and force
// commands (each exchange made without the GIL) and a haptic loop that calls a
// Python function once per device exchange on a thread of its own.
#ifndef TKX_PYTHON_TKXPYDEVICE_H
#define TKX_PYTHON_TKXPYDEVICE_H

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace tkxpy {

// what the loop hands the callback each iteration
struct LoopState {
  double t = 0.0;  // seconds since the loop started
  pybind11::array_t<double> position;
  pybind11::array_t<double> velocity;
  int buttons = 0;  // bit i set while button i is pressed
  uint64_t iteration = 0;
};

// one record of tkx.devices()
struct DeviceInfo {
  int index = 0;
  int system_type = 0;
  std::string system_name;
  int serial_number = 0;  // 0 when the device has none
  double firmware_version = 0.0;
};

class tkxPyDevice {
 public:
  // opens device index into slot index; force=true switches force output on
  tkxPyDevice(int index, bool force);
  ~tkxPyDevice();
  tkxPyDevice(const tkxPyDevice &) = delete;
  tkxPyDevice &operator=(const tkxPyDevice &) = delete;

  static pybind11::list Devices();

  void Close();
  bool IsOpen() const { return open_.load(); }
  int Index() const { return index_; }

  int SystemType() const;
  std::string SystemName() const;
  int SerialNumber() const;
  double FirmwareVersion() const;
  bool LeftHanded() const;

  pybind11::array_t<double> Position() const;
  pybind11::array_t<double> Velocity() const;
  pybind11::array_t<double> Orientation() const;
  pybind11::array_t<double> Force() const;
  int Buttons() const;
  bool Button(int i) const;
  double GripperAngle() const;

  void SetForce(pybind11::handle force, pybind11::handle torque, pybind11::handle gripper);
  bool GravityCompensation() const;
  void SetGravityCompensation(bool on);
  double EffectorMass() const;
  void SetEffectorMass(double mass);
  bool ForceEnabled() const;
  void SetForceEnabled(bool on);

  // the haptic loop; blocks the caller until it ends
  void Run(pybind11::function callback, std::optional<double> duration, double budget);
  void Stop() { stop_.store(true); }
  bool Running() const { return running_.load(); }
  uint64_t Iterations() const { return iterations_.load(); }
  uint64_t Overruns() const { return overruns_.load(); }
  double CallbackSeconds() const { return static_cast<double>(callbackNs_.load()) * 1e-9; }

  std::string Repr() const;

 private:
  void RequireOpen(const char *operation) const;
  // read under the slot's call lock, without the GIL; NoDeviceError once closed
  template <class F>
  auto Locked(const char *operation, F &&read) const;
  void Loop(const pybind11::function &callback, double duration, double budget);
  void ZeroForce();

  signed char id_;
  int index_;
  std::atomic<bool> open_{false};
  std::atomic<bool> running_{false};
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> iterations_{0};
  std::atomic<uint64_t> overruns_{0};
  // time on the Python side of the loop: taking the GIL, the state, the callback, its force
  std::atomic<uint64_t> callbackNs_{0};
  // how the last loop ended: a Python exception, a library error code, or neither
  std::optional<pybind11::error_already_set> loopError_;
  int loopCode_ = 0;
  std::string loopOperation_;
};

// three finite numbers from any sequence or array of shape (3,); ValueError
// otherwise. Needs the GIL.
std::array<double, 3> ToVector3(pybind11::handle value, const char *what);

}  // namespace tkxpy

#endif
