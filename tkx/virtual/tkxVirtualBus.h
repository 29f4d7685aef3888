// The virtual bus: the in-process host of virtual devices behind the USB
// transport, and the API tests use to plug and inspect them.
//
// Users enable it with TKX_VIRTUAL_DEVICES, a comma-separated list of the codes
// the devices report, each optionally followed by ":blank" (61,35:blank). The
// listed devices are plugged at the first discovery, after any real ones.
// TKX_VIRTUAL_LOG names a file that receives one line per bus event and, once a
// second while a device is open, its exchange rate and last motor commands, and for
// a simulated mechanism its effector, the hand's target, the force the motors apply
// (device frame) and the number of exchanges in that second.
// TKX_VIRTUAL_TRACE names a file that receives one line per servo exchange
// (tkxVirtualTrace.h).
//
// Devices of the three-arm types on the bus simulate their mechanism
// (tkxVirtualDevice.h). TKX_VIRTUAL_HAND names a hand script they all follow
// (tkxVirtualHand.h); a file that cannot be read, or a malformed line, is reported
// on standard error with its line number and the script is ignored: the hand then
// rests at the workspace centre with its button released.
// TKX_VIRTUAL_HAND_STIFFNESS sets the hand's spring in N/m (200 when unset) for
// the devices plugged from then on, a firmer hand holding the effector closer to
// the script; anything but a positive number up to 1e6 is reported and ignored.
//
// The bus answers at the pace of a real device, whose servo loop serves encoder
// reads and motor commands: each device takes at most TKX_VIRTUAL_RATE of them a
// second (4000 when unset), its host sleeping until the next slot; other commands
// are answered at once. 0 answers everything at once (tests, benchmarks).
#ifndef TKX_VIRTUAL_BUS_H
#define TKX_VIRTUAL_BUS_H

#include "tkx/virtual/tkxVirtualDevice.h"
#include "tkx/virtual/tkxVirtualFalcon.h"

#include <memory>
#include <string>
#include <vector>

class tkxUSBBackend;

namespace tkx {
namespace virt {

// one item of a device list
struct DeviceSpec {
  int code;
  bool blank;
};

// parses a device list; malformed items are skipped and their texts collected in
// *bad (when given). Never fails as a whole: an empty or null text gives no devices.
std::vector<DeviceSpec> ParseDeviceList(const char *text, std::vector<std::string> *bad);

// the backend the transport consults after libusb
tkxUSBBackend &Backend();

// The bus reads TKX_VIRTUAL_DEVICES and TKX_VIRTUAL_LOG at its first use (the
// first discovery, or any of the calls below), so listed devices come first.

// plugs a new device into the bus after those already there; it is found by the
// next discovery (see Rescan)
std::shared_ptr<Device> Plug(int code, bool blank = false);
// code 60 in the device list plugs a virtual Falcon behind its converter (tkxVirtualFalcon.h)
constexpr int kFalconCode = 60;
std::shared_ptr<Falcon> PlugFalcon();
std::vector<std::shared_ptr<Falcon>> Falcons();
// removes every device from the bus and unplugs it: records still held by the
// library stay valid, but their transfers fail
void UnplugAll();
// the devices on the bus, in discovery order
std::vector<std::shared_ptr<Device>> Devices();
// forgets the USB and Falcon classes' discovery so the next device count looks again; does
// nothing while a device is open
void Rescan();

namespace testing {

// reads both variables again now, as the first use does: plugs the listed devices
// after those on the bus and starts the log when one is named
void ReadEnvironment();
// starts the bus log on this file (appending), as TKX_VIRTUAL_LOG does, or moves
// it there; false when the file cannot be opened
bool StartLog(const char *path);
// the pace, packets per device and second (0: at once), as TKX_VIRTUAL_RATE sets it
void SetRate(int perSecond);
int Rate();
// how many times a host has slept for its slot since the process started
uint64_t PaceSleeps();
// writes every queued line now; with rates, first a rate line per open device
void FlushLog(bool rates);

}  // namespace testing

}  // namespace virt
}  // namespace tkx

#endif
