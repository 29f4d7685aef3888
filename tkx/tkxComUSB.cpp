#include "tkx/tkxComUSB.h"

int tkxComUSB::FindDevices() { return 0; }
int tkxComUSB::GetDeviceCount() { return FindDevices(); }
int tkxComUSB::ReleaseDevices() { return 0; }
