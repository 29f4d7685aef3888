#include "tkx/tkxComFalcon.h"

int tkxComFalcon::FindDevices() { return 0; }
int tkxComFalcon::GetDeviceCount() { return FindDevices(); }
int tkxComFalcon::ReleaseDevices() { return 0; }
