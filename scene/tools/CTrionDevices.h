// The device wrapper over the device library's C API: one slot of the library,
// the model's workspace radius and force limit, and the numbered commands.
#ifndef SCENE_CTRIONDEVICES_H
#define SCENE_CTRIONDEVICES_H

#include "scene/tools/CGenericDevice.h"

class cTrionDevice : public cGenericDevice {
 public:
  // present when the library counts more than index devices
  explicit cTrionDevice(unsigned int index = 0);
  ~cTrionDevice() override;

  // waits one second for the device to settle, then opens the slot; -1 when the
  // device is absent or the open fails, 0 at once when already open
  int open() override;
  // the library's close result; -1 when not open
  int close() override;
  // nothing to do: 0
  int initialize(bool resetEncoders = false) override;
  // results: 0 when the library call succeeds, -1 when it fails (its error code
  // tells why), -2 for an unknown or unsupported code, -3 while closed
  int command(int code, void *data) override;
  // the library's system type code, -1 until opened
  virtual int getDeviceType() { return m_modelCode; }

  unsigned int m_slotIndex;
  double m_reachRadius;
  double m_forceLimit;
  bool m_gripperActuated;
  int m_modelCode;

  // live objects; changed on the main thread only
  static int m_activeTrionDevices;

 private:
  signed char Id() const { return static_cast<signed char>(m_slotIndex); }
  void SetModelParameters(int type);
};

#endif
