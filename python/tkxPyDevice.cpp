#include "python/tkxPyDevice.h"

#include "python/tkxPyError.h"
#include "tkx/tkxc.h"

#include <pthread.h>
#include <sched.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <mutex>
#include <shared_mutex>
#include <thread>

namespace py = pybind11;

namespace tkxpy {

namespace {

constexpr int kSlots = 4;
constexpr int kButtons = 8;
// the program's haptic thread runs at this priority too
constexpr int kLoopPriority = 75;

// open, close and the device count share the bus registry's counters: one at a time
std::mutex &RegistryMutex() {
  static std::mutex m;
  return m;
}
// slots held by a Device object, so that two objects never share one
std::array<bool, kSlots> slotTaken{};

// the calls of a device against its close: calls share, close is alone
std::shared_mutex &CallMutex(int index) {
  static std::array<std::shared_mutex, kSlots> m;
  return m[static_cast<size_t>(index)];
}

// set on the loop's thread, which must not close the device it is running on
thread_local bool inLoop = false;

py::array_t<double> Vector(const double v[3]) {
  py::array_t<double> a(3);
  double *d = a.mutable_data();
  d[0] = v[0], d[1] = v[1], d[2] = v[2];
  return a;
}

double ToNumber(py::handle value, const char *what) {
  const double d = PyFloat_AsDouble(value.ptr());
  if (d == -1.0 && PyErr_Occurred()) {
    PyErr_Clear();
    RaiseValue(std::string(what) + " must be a number");
  }
  if (!std::isfinite(d)) RaiseValue(std::string(what) + " must be finite");
  return d;
}

// result and error code of one library call made without the GIL
struct Outcome {
  int rc = 0;
  int code = 0;
  bool closed = false;
};

}  // namespace

std::array<double, 3> ToVector3(py::handle value, const char *what) {
  auto a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(value);
  if (!a || a.ndim() != 1 || a.shape(0) != 3) {
    PyErr_Clear();
    RaiseValue(std::string(what) + " must be 3 numbers");
  }
  std::array<double, 3> v{a.at(0), a.at(1), a.at(2)};
  for (double d : v) {
    if (!std::isfinite(d)) RaiseValue(std::string(what) + " must be finite");
  }
  return v;
}

// ---- open, close, listing ----

tkxPyDevice::tkxPyDevice(int index, bool force) : id_(static_cast<signed char>(index)), index_(index) {
  if (index < 0 || index >= kSlots) Raise(TKX_ERR_INDEX_RANGE, "open(" + std::to_string(index) + ")");
  const std::string op = "open(" + std::to_string(index) + ")";
  int code = 0;
  bool taken = false;
  {
    py::gil_scoped_release nogil;
    std::lock_guard<std::mutex> lock(RegistryMutex());
    if (slotTaken[static_cast<size_t>(index)]) {
      taken = true;
    } else if (index >= tkxGetDeviceCount()) {
      code = TKX_ERR_NO_DEVICE;
    } else {
      *tkxErrnoLocation() = 0;
      if (tkxOpenID(id_) < 0) {
        code = *tkxErrnoLocation() != 0 ? *tkxErrnoLocation() : TKX_ERR_NO_DEVICE;
      } else {
        slotTaken[static_cast<size_t>(index)] = true;
        open_.store(true);
      }
    }
  }
  // two objects on one slot would close it under each other
  if (taken) Raise(TKX_ERR_NOT_AVAILABLE, op + ": the device is already open");
  if (code != 0) Raise(code, op);
  {
    try {
      SetForceEnabled(force);
    } catch (...) {
      Close();
      throw;
    }
  }
}

tkxPyDevice::~tkxPyDevice() {
  try {
    Close();
  } catch (...) {
    // a destructor that runs in the loop's own callback leaves the slot to the loop's end
  }
}

void tkxPyDevice::Close() {
  if (!open_.load()) return;
  if (inLoop) throw std::runtime_error("close() from the haptic loop's callback: call stop() instead");
  stop_.store(true);
  py::gil_scoped_release nogil;
  while (running_.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  // the registry first, then the slot's calls, as devices() takes them
  std::lock_guard<std::mutex> lock(RegistryMutex());
  std::unique_lock<std::shared_mutex> calls(CallMutex(index_));
  if (!open_.exchange(false)) return;
  tkxClose(id_);
  slotTaken[static_cast<size_t>(index_)] = false;
}

py::list tkxPyDevice::Devices() {
  std::vector<DeviceInfo> found;
  int failedIndex = -1, failedCode = 0;
  {
    py::gil_scoped_release nogil;
    std::lock_guard<std::mutex> lock(RegistryMutex());
    const int saved = *tkxErrnoLocation();
    const int current = tkxGetDeviceID();
    const int count = std::min(tkxGetDeviceCount(), kSlots);
    for (int i = 0; i < count && failedIndex < 0; ++i) {
      const auto id = static_cast<signed char>(i);
      const bool ours = !slotTaken[static_cast<size_t>(i)];
      // a slot some Device holds is read as it is; the others are opened for the reading
      std::shared_lock<std::shared_mutex> calls(CallMutex(i));
      *tkxErrnoLocation() = 0;
      if (ours && tkxOpenID(id) < 0) {
        failedIndex = i;
        failedCode = *tkxErrnoLocation() != 0 ? *tkxErrnoLocation() : TKX_ERR_NO_DEVICE;
        break;
      }
      DeviceInfo d;
      d.index = i;
      d.system_type = tkxGetSystemType(id);
      d.system_name = tkxGetSystemName(id);
      uint16_t serial = 0;
      if (tkxGetSerialNumber(&serial, id) == 0) d.serial_number = serial;
      double version = 0.0;
      if (tkxGetVersion(&version, id) >= 0) d.firmware_version = version;
      if (ours) tkxClose(id);
      found.push_back(d);
    }
    // opening moved the current slot, which is process-wide
    if (current < count) tkxSetDevice(static_cast<signed char>(current));
    *tkxErrnoLocation() = saved;
  }
  if (failedIndex >= 0) Raise(failedCode, "devices(): device " + std::to_string(failedIndex));
  py::list out;
  for (const DeviceInfo &d : found) out.append(py::cast(d));
  return out;
}

// ---- calls on the open slot ----

#define TKX_CALL(op, fallback, expr)                                               \
  [&]() {                                                                          \
    Outcome o;                                                                     \
    {                                                                              \
      py::gil_scoped_release nogil;                                                \
      std::shared_lock<std::shared_mutex> calls(CallMutex(index_));                \
      if (!open_.load()) {                                                         \
        o.closed = true;                                                           \
      } else {                                                                     \
        *tkxErrnoLocation() = 0;                                                   \
        o.rc = (expr);                                                             \
        o.code = *tkxErrnoLocation();                                              \
      }                                                                            \
    }                                                                              \
    if (o.closed) Raise(TKX_ERR_NO_DEVICE, std::string(op) + ": closed");          \
    if (o.rc < 0 && (fallback) >= 0) Raise(o.code != 0 ? o.code : (fallback), op); \
    return o;                                                                      \
  }()

void tkxPyDevice::RequireOpen(const char *operation) const {
  if (!open_.load()) Raise(TKX_ERR_NO_DEVICE, std::string(operation) + ": closed");
}

template <class F>
auto tkxPyDevice::Locked(const char *operation, F &&read) const {
  std::optional<decltype(read())> value;
  {
    py::gil_scoped_release nogil;
    std::shared_lock<std::shared_mutex> calls(CallMutex(index_));
    if (open_.load()) value = read();
  }
  if (!value) Raise(TKX_ERR_NO_DEVICE, std::string(operation) + ": closed");
  return *value;
}

int tkxPyDevice::SystemType() const {
  return Locked("system_type", [&] { return tkxGetSystemType(id_); });
}

std::string tkxPyDevice::SystemName() const {
  return Locked("system_name", [&] { return std::string(tkxGetSystemName(id_)); });
}

int tkxPyDevice::SerialNumber() const {
  return Locked("serial_number", [&] {
    uint16_t serial = 0;
    return tkxGetSerialNumber(&serial, id_) == 0 ? static_cast<int>(serial) : 0;
  });
}

double tkxPyDevice::FirmwareVersion() const {
  double v = 0.0;
  TKX_CALL("firmware_version", TKX_ERR_UNDOCUMENTED, tkxGetVersion(&v, id_));
  return v;
}

bool tkxPyDevice::LeftHanded() const {
  return Locked("left_handed", [&] { return tkxIsLeftHanded(id_); });
}

py::array_t<double> tkxPyDevice::Position() const {
  double p[3];
  TKX_CALL("position", TKX_ERR_UNDOCUMENTED, tkxGetPosition(&p[0], &p[1], &p[2], id_));
  return Vector(p);
}

py::array_t<double> tkxPyDevice::Velocity() const {
  double v[3];
  // -1 with the code unchanged: too few samples apart in time, a velocity of zero
  Outcome o = TKX_CALL("velocity", -1, tkxGetLinearVelocity(&v[0], &v[1], &v[2], id_));
  if (o.rc < 0 && o.code != 0) Raise(o.code, "velocity");
  return Vector(v);
}

py::array_t<double> tkxPyDevice::Orientation() const {
  double m[3][3];
  // without a wrist or stylus the frame stays the identity
  Outcome o = TKX_CALL("orientation", -1, tkxGetOrientationFrame(m, id_));
  if (o.rc < 0 && o.code != 0) Raise(o.code, "orientation");
  py::array_t<double> a({3, 3});
  auto r = a.mutable_unchecked<2>();
  for (py::ssize_t i = 0; i < 3; ++i) {
    for (py::ssize_t j = 0; j < 3; ++j) r(i, j) = m[i][j];
  }
  return a;
}

py::array_t<double> tkxPyDevice::Force() const {
  double f[3];
  TKX_CALL("force", TKX_ERR_UNDOCUMENTED, tkxGetForce(&f[0], &f[1], &f[2], id_));
  return Vector(f);
}

int tkxPyDevice::Buttons() const {
  Outcome o = TKX_CALL("buttons", -1, [&] {
    int bits = 0;
    for (int i = 0; i < kButtons; ++i) bits |= tkxGetButton(i, id_);
    // a failed read answers released and sets the code, which was cleared before
    return *tkxErrnoLocation() != 0 ? -1 : bits;
  }());
  if (o.rc < 0) Raise(o.code, "buttons");
  return o.rc;
}

bool tkxPyDevice::Button(int i) const {
  if (i < 0 || i >= kButtons) Raise(TKX_ERR_INDEX_RANGE, "button(" + std::to_string(i) + ")");
  return (Buttons() >> i & 1) != 0;
}

double tkxPyDevice::GripperAngle() const {
  double a = 0.0;
  TKX_CALL("gripper_angle", TKX_ERR_NOT_AVAILABLE, tkxGetGripperAngleRad(&a, id_));
  return a;
}

void tkxPyDevice::SetForce(py::handle force, py::handle torque, py::handle gripper) {
  // everything is checked before anything reaches the device
  const std::array<double, 3> f = ToVector3(force, "force");
  std::array<double, 3> t{};
  const bool withTorque = !torque.is_none();
  if (withTorque) t = ToVector3(torque, "torque");
  const bool withGripper = !gripper.is_none();
  const double g = withGripper ? ToNumber(gripper, "gripper") : 0.0;
  if (withTorque) {
    TKX_CALL("set_force", TKX_ERR_NOT_AVAILABLE, tkxSetForceAndTorque(f[0], f[1], f[2], t[0], t[1], t[2], id_));
    // without a gripper its force is ignored, as the force-and-gripper entry does
    if (withGripper) TKX_CALL("set_force", -1, tkxSetGripperForce(g, id_));
  } else if (withGripper) {
    TKX_CALL("set_force", TKX_ERR_NOT_AVAILABLE, tkxSetForceAndGripperForce(f[0], f[1], f[2], g, id_));
  } else {
    TKX_CALL("set_force", TKX_ERR_NOT_AVAILABLE, tkxSetForce(f[0], f[1], f[2], id_));
  }
}

bool tkxPyDevice::GravityCompensation() const {
  int status[TKX_STATUS_COUNT];
  TKX_CALL("gravity_compensation", TKX_ERR_UNDOCUMENTED, tkxGetStatus(status, id_));
  return status[TKX_STATUS_GRAVITY_ON] != 0;
}

void tkxPyDevice::SetGravityCompensation(bool on) {
  TKX_CALL("gravity_compensation", TKX_ERR_NOT_AVAILABLE, tkxSetGravityCompensation(on ? 1 : 0, id_));
}

double tkxPyDevice::EffectorMass() const {
  double m = 0.0;
  TKX_CALL("effector_mass", TKX_ERR_UNDOCUMENTED, tkxGetEffectorMass(&m, id_));
  return m;
}

void tkxPyDevice::SetEffectorMass(double mass) {
  if (!std::isfinite(mass) || mass < 0.0) RaiseValue("effector_mass must be a finite mass, 0 or more");
  RequireOpen("effector_mass");
  // the mass is read unlocked by every force command: nothing else may run meanwhile
  if (running_.load()) throw std::runtime_error("effector_mass cannot change while the haptic loop runs");
  int code = 0;
  {
    py::gil_scoped_release nogil;
    std::unique_lock<std::shared_mutex> calls(CallMutex(index_));
    *tkxErrnoLocation() = 0;
    if (tkxSetEffectorMass(mass, id_) < 0) code = *tkxErrnoLocation() != 0 ? *tkxErrnoLocation() : TKX_ERR_NO_DEVICE;
  }
  if (code != 0) Raise(code, "effector_mass");
}

bool tkxPyDevice::ForceEnabled() const {
  int status[TKX_STATUS_COUNT];
  TKX_CALL("force_enabled", TKX_ERR_UNDOCUMENTED, tkxGetStatus(status, id_));
  return status[TKX_STATUS_FORCE_ON] != 0;
}

void tkxPyDevice::SetForceEnabled(bool on) {
  // switching the output is an expert entry; expert mode stays on for the process
  tkxEnableExpertMode();
  TKX_CALL("force_enabled", TKX_ERR_UNDOCUMENTED, tkxEnableForce(on ? 1 : 0, id_));
  // the status byte is shared for the time guard's period: past it, the next read
  // of force_enabled asks the device instead of answering the state before the change
  py::gil_scoped_release nogil;
  std::this_thread::sleep_for(std::chrono::microseconds(600));
}

std::string tkxPyDevice::Repr() const {
  std::string name;
  {
    std::shared_lock<std::shared_mutex> calls(CallMutex(index_), std::try_to_lock);
    if (calls.owns_lock() && open_.load()) name = tkxGetSystemName(id_);
  }
  if (!open_.load()) return "<tkx.Device " + std::to_string(index_) + " closed>";
  return "<tkx.Device " + std::to_string(index_) + (name.empty() ? "" : " " + name) + ">";
}

// ---- the haptic loop ----

void tkxPyDevice::Run(py::function callback, std::optional<double> duration, double budget) {
  RequireOpen("run");
  if (duration && !(std::isfinite(*duration) && *duration >= 0.0)) {
    RaiseValue("duration must be a finite number of seconds, 0 or more, or None");
  }
  if (!(std::isfinite(budget) && budget > 0.0)) RaiseValue("budget must be a finite number of seconds above 0");
  bool idle = false;
  if (!running_.compare_exchange_strong(idle, true)) throw std::runtime_error("the haptic loop is already running");
  stop_.store(false);
  iterations_.store(0);
  overruns_.store(0);
  callbackNs_.store(0);
  loopError_.reset();
  loopCode_ = 0;
  loopOperation_.clear();
  const double seconds = duration ? *duration : std::numeric_limits<double>::infinity();

  std::optional<py::error_already_set> interrupted;
  {
    py::gil_scoped_release nogil;
    std::atomic<bool> done{false};
    std::thread loop;
    try {
      loop = std::thread([&] {
        Loop(callback, seconds, budget);
        done.store(true);
      });
    } catch (...) {
      // no thread, no loop: a later run() may try again
      running_.store(false);
      throw;
    }
    // signals reach the main thread only: look for them while waiting
    while (!done.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      py::gil_scoped_acquire gil;
      if (!interrupted && PyErr_CheckSignals() != 0) {
        interrupted.emplace();
        stop_.store(true);
      }
    }
    loop.join();
    running_.store(false);
  }
  if (loopError_) {
    py::error_already_set e = std::move(*loopError_);
    loopError_.reset();
    throw e;
  }
  if (interrupted) throw std::move(*interrupted);
  if (loopCode_ != 0) Raise(loopCode_, loopOperation_);
}

void tkxPyDevice::ZeroForce() {
  std::shared_lock<std::shared_mutex> calls(CallMutex(index_));
  if (open_.load()) tkxSetForce(0.0, 0.0, 0.0, id_);
}

void tkxPyDevice::Loop(const py::function &callback, double duration, double budget) {
  inLoop = true;
  // real-time priority when the process may have it; an ordinary thread otherwise
  sched_param param{};
  param.sched_priority = kLoopPriority;
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);

  py::gil_scoped_acquire gil;
  std::array<double, 3> force{};
  bool send = false;
  double start = 0.0, last = 0.0;
  using Clock = std::chrono::steady_clock;
  Clock::time_point pythonFrom;
  try {
    for (uint64_t i = 0;; ++i) {
      double p[3], v[3], now = 0.0;
      int buttons = 0, code = 0;
      const char *op = nullptr;
      bool finished = false;
      {
        // the force of the previous iteration, then the next state: one exchange
        py::gil_scoped_release nogil;
        std::shared_lock<std::shared_mutex> calls(CallMutex(index_));
        *tkxErrnoLocation() = 0;
        if (send && tkxSetForce(force[0], force[1], force[2], id_) < 0) {
          code = *tkxErrnoLocation(), op = "run: set_force";
        }
        now = tkxGetTime();
        if (i == 0) start = last = now;
        if (now - last > budget) overruns_.fetch_add(1);
        last = now;
        if (code != 0 || stop_.load() || now - start >= duration || !open_.load()) {
          finished = true;
        } else if (tkxGetPosition(&p[0], &p[1], &p[2], id_) < 0) {
          code = *tkxErrnoLocation(), op = "run: position";
        } else {
          *tkxErrnoLocation() = 0;
          if (tkxGetLinearVelocity(&v[0], &v[1], &v[2], id_) < 0) {
            code = *tkxErrnoLocation(), op = "run: velocity";
          }
          for (int b = 0; b < kButtons && code == 0; ++b) buttons |= tkxGetButton(b, id_);
          if (code == 0 && *tkxErrnoLocation() != 0) code = *tkxErrnoLocation(), op = "run: buttons";
        }
        pythonFrom = Clock::now();
      }
      if (code != 0) {
        loopCode_ = code;
        loopOperation_ = op;
        break;
      }
      if (finished) break;
      LoopState s;
      s.t = now - start;
      s.position = Vector(p);
      s.velocity = Vector(v);
      s.buttons = buttons;
      s.iteration = i;
      py::object result = callback(std::move(s));
      if (result.is_none()) {
        force = {0.0, 0.0, 0.0};
      } else {
        force = ToVector3(result, "the callback's force");
      }
      send = true;
      iterations_.fetch_add(1);
      callbackNs_.fetch_add(static_cast<uint64_t>(
          std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - pythonFrom).count()));
    }
  } catch (py::error_already_set &e) {
    loopError_.emplace(std::move(e));
  } catch (const std::exception &e) {
    PyErr_SetString(PyExc_RuntimeError, e.what());
    loopError_.emplace();
  }
  {
    // whatever ended the loop, nothing stays on the motors
    py::gil_scoped_release nogil;
    ZeroForce();
  }
  inLoop = false;
}

}  // namespace tkxpy
