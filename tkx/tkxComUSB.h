// The maker's USB devices. Discovery only so far: no USB transport is present
// yet, so the bus reports no devices.
#ifndef TKX_COMUSB_H
#define TKX_COMUSB_H

class tkxComUSB {
 public:
  static int FindDevices();
  static int GetDeviceCount();
  static int ReleaseDevices();
};

#endif
