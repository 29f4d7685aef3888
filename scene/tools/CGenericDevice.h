// The device side of a tool: open, close, initialise, and numbered commands
// that read positions and buttons or send forces. The base answers every
// request with a failure, so a tool without a real device is still usable.
#ifndef SCENE_CGENERICDEVICE_H
#define SCENE_CGENERICDEVICE_H

class cCallback;

// command codes of cGenericDevice::command, with what data points to
enum {
  CMD_GET_POSITION = 2000,                 // cVector3d* out, metres
  CMD_GET_NORMALIZED_POSITION = 2001,      // cVector3d* out, position / reach radius
  CMD_GET_VELOCITY = 2002,                 // cVector3d* out, metres per second
  CMD_SET_FORCE = 2010,                    // cVector3d* in, newtons
  CMD_GET_ROTATION_ANGLES = 2020,          // cVector3d* out, radians
  CMD_GET_ROTATION_MATRIX = 2021,          // cMatrix3d* out
  CMD_SET_TORQUE = 2030,                   // cVector3d* in, newton metres
  CMD_GET_BUTTON = 2041,                   // int* out, the button bits as read
  CMD_GET_BUTTON_STATE = 2044,             // int* out, 0 or 1
  CMD_GET_WORKSPACE_RADIUS_MM = 2045,      // double* out
  CMD_GET_GRIPPER_FINGER_POS = 2046,       // cVector3d* out, metres
  CMD_GET_GRIPPER_THUMB_POS = 2047,        // cVector3d* out, metres
  CMD_SET_FORCE_AND_GRIPPER_FORCE = 2048,  // double[4] in: fx, fy, fz, gripper force
};

// results of the device operations
constexpr int DEVICE_OK = 0;
constexpr int DEVICE_FAILED = -1;
constexpr int DEVICE_UNSUPPORTED = -2;
constexpr int DEVICE_NOT_OPEN = -3;

class cGenericDevice {
 public:
  cGenericDevice() : m_present(false), m_opened(false), m_eventHook(nullptr) {}
  virtual ~cGenericDevice() = default;
  cGenericDevice(const cGenericDevice &) = delete;
  cGenericDevice &operator=(const cGenericDevice &) = delete;

  // 0 on success, -1 on failure (always here)
  virtual int open() { return DEVICE_FAILED; }
  virtual int close() { return DEVICE_FAILED; }
  virtual int initialize(bool resetEncoders = false) {
    (void)resetEncoders;
    return DEVICE_FAILED;
  }
  // 0 on success, -1 on failure, -2 for an unsupported code (every code here), -3
  // while closed
  virtual int command(int code, void *data) {
    (void)code;
    (void)data;
    return DEVICE_UNSUPPORTED;
  }
  // reserved: nothing is stored
  virtual int setCallback(cCallback *callback) {
    (void)callback;
    return 0;
  }

  bool isPresent() const { return m_present; }
  bool isOpened() const { return m_opened; }

  bool m_present;
  bool m_opened;
  cCallback *m_eventHook;
};

#endif
