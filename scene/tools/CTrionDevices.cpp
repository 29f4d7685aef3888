#include "scene/tools/CTrionDevices.h"

#include "scene/math/CMatrix3d.h"
#include "scene/math/CVector3d.h"
#include "tkx/tkxc.h"

int cTrionDevice::m_activeTrionDevices = 0;

cTrionDevice::cTrionDevice(unsigned int index)
    : m_slotIndex(index), m_reachRadius(0.0), m_forceLimit(0.0), m_gripperActuated(false), m_modelCode(-1) {
  m_present = tkxGetDeviceCount() >= static_cast<int>(index) + 1;
  ++m_activeTrionDevices;
}

cTrionDevice::~cTrionDevice() {
  if (m_opened) tkxClose(Id());
  --m_activeTrionDevices;
}

int cTrionDevice::open() {
  if (!m_present) return DEVICE_FAILED;
  if (m_opened) return DEVICE_OK;
  // the device needs a moment after power-up or a previous close
  tkxSleep(1.0);
  // the library answers an open with the slot index, so only a negative result
  // is a failure
  if (tkxOpenID(Id()) < 0) return DEVICE_FAILED;
  m_opened = true;
  m_modelCode = tkxGetSystemType(Id());
  SetModelParameters(m_modelCode);
  return DEVICE_OK;
}

void cTrionDevice::SetModelParameters(int type) {
  switch (type) {
    case TKX_SYSTEM_TRION3:
    case TKX_SYSTEM_TRION6:
    case TKX_SYSTEM_TRION6_HR:
    case TKX_SYSTEM_TRION3_USB:
    case TKX_SYSTEM_TRION6_USB:
      m_reachRadius = 0.15;
      m_forceLimit = 20.0;
      break;
    case TKX_SYSTEM_POLUX:
    case TKX_SYSTEM_POLUX3:
    case TKX_SYSTEM_POLUX6_RIGHT:
    case TKX_SYSTEM_POLUX6_LEFT:
      m_reachRadius = 0.075;
      m_forceLimit = 12.0;
      m_gripperActuated = false;
      break;
    case TKX_SYSTEM_POLUX7_RIGHT:
    case TKX_SYSTEM_POLUX7_LEFT:
      m_reachRadius = 0.075;
      m_forceLimit = 12.0;
      m_gripperActuated = true;
      break;
    case TKX_SYSTEM_FALCON:
      m_reachRadius = 0.05;
      m_forceLimit = 3.0;
      m_gripperActuated = false;
      break;
    default:
      break;
  }
}

int cTrionDevice::close() {
  if (!m_opened) return DEVICE_FAILED;
  const int result = tkxClose(Id());
  m_opened = false;
  return result;
}

int cTrionDevice::initialize(bool) { return DEVICE_OK; }

namespace {

bool IsSupported(int code) {
  switch (code) {
    case CMD_GET_POSITION:
    case CMD_GET_NORMALIZED_POSITION:
    case CMD_SET_FORCE:
    case CMD_GET_ROTATION_ANGLES:
    case CMD_GET_ROTATION_MATRIX:
    case CMD_SET_TORQUE:
    case CMD_GET_BUTTON:
    case CMD_GET_BUTTON_STATE:
    case CMD_GET_WORKSPACE_RADIUS_MM:
    case CMD_GET_GRIPPER_FINGER_POS:
    case CMD_GET_GRIPPER_THUMB_POS:
    case CMD_SET_FORCE_AND_GRIPPER_FORCE:
      return true;
    default:
      return false;
  }
}

// the library's failure (its error code already set) is the command's failure; a
// read answered from its cache (1) is a success like any other
int Result(int libraryResult) { return libraryResult < 0 ? DEVICE_FAILED : DEVICE_OK; }

}  // namespace

int cTrionDevice::command(int code, void *data) {
  if (!m_opened) return DEVICE_NOT_OPEN;
  const signed char id = Id();
  // every supported command reads or writes through data
  if (data == nullptr) return IsSupported(code) ? DEVICE_FAILED : DEVICE_UNSUPPORTED;
  switch (code) {
    case CMD_GET_POSITION: {
      double x = 0.0, y = 0.0, z = 0.0;
      const int r = tkxGetPosition(&x, &y, &z, id);
      static_cast<cVector3d *>(data)->set(x, y, z);
      return Result(r);
    }
    case CMD_GET_NORMALIZED_POSITION: {
      // a model without a known workspace cannot be normalised: dividing by
      // its zero radius would hand infinities to the force algorithms
      if (!(m_reachRadius > 0.0)) return DEVICE_FAILED;
      double x = 0.0, y = 0.0, z = 0.0;
      const int r = tkxGetPosition(&x, &y, &z, id);
      static_cast<cVector3d *>(data)->set(x / m_reachRadius, y / m_reachRadius, z / m_reachRadius);
      return Result(r);
    }
    case CMD_SET_FORCE: {
      const cVector3d *f = static_cast<const cVector3d *>(data);
      return Result(tkxSetForce(f->x, f->y, f->z, id));
    }
    case CMD_GET_ROTATION_ANGLES: {
      cVector3d *a = static_cast<cVector3d *>(data);
      a->zero();
      return Result(tkxGetOrientationRad(&a->x, &a->y, &a->z, id));
    }
    case CMD_GET_ROTATION_MATRIX: {
      double m[3][3] = {{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}};
      const int r = tkxGetOrientationFrame(m, id);
      static_cast<cMatrix3d *>(data)->set(m[0][0], m[0][1], m[0][2], m[1][0], m[1][1], m[1][2], m[2][0], m[2][1],
                                          m[2][2]);
      return Result(r);
    }
    case CMD_SET_TORQUE: {
      const cVector3d *t = static_cast<const cVector3d *>(data);
      return Result(tkxSetTorque(t->x, t->y, t->z, id));
    }
    case CMD_GET_BUTTON: {
      // a failed read must not pass its -1 off as every button pressed
      const int r = tkxGetButton(0, id);
      *static_cast<int *>(data) = r < 0 ? 0 : r;
      return Result(r);
    }
    case CMD_GET_BUTTON_STATE: {
      const int r = tkxGetButton(0, id);
      *static_cast<int *>(data) = r > 0 ? 1 : 0;
      return Result(r);
    }
    case CMD_GET_WORKSPACE_RADIUS_MM:
      *static_cast<double *>(data) = m_reachRadius * 1000.0;
      return DEVICE_OK;
    case CMD_GET_GRIPPER_FINGER_POS: {
      double x = 0.0, y = 0.0, z = 0.0;
      const int r = tkxGetGripperFingerPos(&x, &y, &z, id);
      static_cast<cVector3d *>(data)->set(x, y, z);
      return Result(r);
    }
    case CMD_GET_GRIPPER_THUMB_POS: {
      double x = 0.0, y = 0.0, z = 0.0;
      const int r = tkxGetGripperThumbPos(&x, &y, &z, id);
      static_cast<cVector3d *>(data)->set(x, y, z);
      return Result(r);
    }
    case CMD_SET_FORCE_AND_GRIPPER_FORCE: {
      const double *v = static_cast<const double *>(data);
      if (m_gripperActuated) return Result(tkxSetForceAndGripperForce(v[0], v[1], v[2], v[3], id));
      return Result(tkxSetForce(v[0], v[1], v[2], id));
    }
    default:
      return DEVICE_UNSUPPORTED;
  }
}
