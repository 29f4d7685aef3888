// A device double for the tools' tests: readings the test sets, force commands it
// records, and failures it can switch on.
#ifndef TESTS_SUPPORT_STUBDEVICE_H
#define TESTS_SUPPORT_STUBDEVICE_H

#include "scene/math/CMatrix3d.h"
#include "scene/math/CVector3d.h"
#include "scene/tools/CGenericDevice.h"

namespace devicetest {

class StubDevice : public cGenericDevice {
 public:
  cVector3d position;
  double reach = 0.075;
  // gripper: thumb at the origin, finger `gap` metres along x
  double gap = 0.06;
  // no gripper: thumb and finger read the position, as the device layer gives them
  bool gripperless = false;
  // a gripper whose thumb and finger points the test places itself
  bool placedGripper = false;
  cVector3d thumb, finger;
  cMatrix3d rotation;
  int button = 0;
  bool failPosition = false;
  bool failRadius = false;
  // last CMD_SET_FORCE_AND_GRIPPER_FORCE, or CMD_SET_FORCE with no gripper force
  double sent[4] = {0, 0, 0, 0};
  int sends = 0;
  // last CMD_SET_FORCE
  cVector3d force;
  int forceSends = 0;
  int opens = 0, closes = 0;

  StubDevice() { m_present = true; }
  int open() override {
    ++opens;
    m_opened = true;
    return 0;
  }
  int close() override {
    ++closes;
    m_opened = false;
    return 0;
  }
  int initialize(bool) override { return 0; }
  int command(int code, void *data) override {
    switch (code) {
      case CMD_GET_POSITION:
        if (failPosition) return -1;
        *static_cast<cVector3d *>(data) = position;
        return 0;
      case CMD_GET_NORMALIZED_POSITION:
        if (failPosition) return -1;
        *static_cast<cVector3d *>(data) = position / reach;
        return 0;
      case CMD_GET_GRIPPER_THUMB_POS:
      case CMD_GET_GRIPPER_FINGER_POS:
        if (placedGripper) {
          *static_cast<cVector3d *>(data) = code == CMD_GET_GRIPPER_THUMB_POS ? thumb : finger;
          return failPosition ? -1 : 0;
        }
        if (gripperless) {
          *static_cast<cVector3d *>(data) = failPosition ? cVector3d() : position;
          return failPosition ? -1 : 0;
        }
        if (code == CMD_GET_GRIPPER_THUMB_POS)
          static_cast<cVector3d *>(data)->zero();
        else
          static_cast<cVector3d *>(data)->set(gap, 0, 0);
        return 0;
      case CMD_GET_ROTATION_MATRIX:
        *static_cast<cMatrix3d *>(data) = rotation;
        return 0;
      case CMD_GET_BUTTON:
        *static_cast<int *>(data) = button;
        return 0;
      case CMD_GET_WORKSPACE_RADIUS_MM:
        if (failRadius) return -1;
        *static_cast<double *>(data) = reach * 1000.0;
        return 0;
      case CMD_SET_FORCE: {
        const cVector3d &f = *static_cast<const cVector3d *>(data);
        force = f;
        ++forceSends;
        sent[0] = f.x;
        sent[1] = f.y;
        sent[2] = f.z;
        sent[3] = 0;
        ++sends;
        return 0;
      }
      case CMD_SET_FORCE_AND_GRIPPER_FORCE:
        for (int i = 0; i < 4; ++i) sent[i] = static_cast<const double *>(data)[i];
        ++sends;
        return 0;
      default:
        return -2;
    }
  }
  cVector3d sentForce() const { return cVector3d(sent[0], sent[1], sent[2]); }
};

}  // namespace devicetest

#endif
