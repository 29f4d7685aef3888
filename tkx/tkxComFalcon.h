// Falcon devices behind their USB serial converter. Discovery only so far: no
// transport is present yet, so no device is found.
#ifndef TKX_COMFALCON_H
#define TKX_COMFALCON_H

class tkxComFalcon {
 public:
  static int FindDevices();
  static int GetDeviceCount();
  static int ReleaseDevices();
};

#endif
