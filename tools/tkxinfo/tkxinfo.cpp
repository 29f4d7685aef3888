// tkxinfo: lists the haptic devices the library finds, one line each (or JSON
// for scripts), and says why when it finds none.
#include "tkx/tkx.h"

#include "tkx/tkxCom.h"
#include "tkx/tkxUSB.h"
#include "tkx/tkxc.h"

#include <libusb.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// the Falcon's converter answers as this product
constexpr int kFalconProductId = 0xCB48;

const char kUsage[] =
    "Usage: tkxinfo [OPTION]...\n"
    "List the haptic devices attached: index, system type and name, serial number,\n"
    "firmware version, memory model, whether calibrated and the exchange rate.\n"
    "\n"
    "  --json      print one JSON object instead of text\n"
    "  --no-rate   do not measure the exchange rate (one second per device)\n"
    "  -h, --help  print this help and exit\n"
    "\n"
    "Exit status: 0 with devices listed, 1 when none was found (a line says why),\n"
    "2 for a wrong command line.\n"
    "Devices are opened one after the other: a device that has no calibration in its\n"
    "memory is given its factory calibration.\n";

struct Info {
  int index = 0;
  int type = 0;
  std::string name;
  unsigned serial = 0;
  double firmware = 0.0;
  int memoryModel = 0;
  bool hasMemory = false;
  bool calibrated = false;
  bool rateMeasured = false;
  double rate = 0.0;  // exchanges per second
};

// encoder reads the device answers in one second, with the cache that spares
// repeated reads switched off; a read answered from what the channel already
// holds (1: the Falcon's channel keeps its own period) is not an exchange
double MeasureRate(tkxCom *com) {
  int enc[8];
  long exchanges = 0;
  com->EnableTimeGuard(0.0);
  const auto start = std::chrono::steady_clock::now();
  const auto end = start + std::chrono::seconds(1);
  auto now = start;
  while (now < end) {
    const int r = com->GetAllEnc(enc, nullptr);
    if (r < 0) break;
    if (r == 0) ++exchanges;
    now = std::chrono::steady_clock::now();
  }
  const double seconds = std::chrono::duration<double>(now - start).count();
  return seconds > 0.0 ? exchanges / seconds : 0.0;
}

bool ReadDevice(int index, bool rate, Info *info) {
  TKX slot;
  if (slot.Open(index) != index) return false;
  info->index = index;
  info->type = slot.GetSystemType();
  info->name = slot.GetSystemName();
  info->serial = slot.GetSerialNumber();
  tkxCom *com = slot.GetCom();
  com->GetVersion(&info->firmware);
  info->memoryModel = slot.GetMemoryModel();
  info->hasMemory = info->memoryModel == TKX_MEMORY_SMALL || info->memoryModel == TKX_MEMORY_FULL;
  info->calibrated = slot.IsCalibrated();
  if (rate) {
    info->rate = MeasureRate(com);
    info->rateMeasured = true;
  }
  slot.Close();
  return true;
}

// why no device was found: libusb missing, a node the user may not open, or nothing there
std::string NoDeviceReason() {
  libusb_context *ctx = nullptr;
  const int init = libusb_init(&ctx);
  if (init != 0) return std::string("libusb unavailable: ") + libusb_error_name(init);
  std::string reason = "no device found";
  libusb_device **list = nullptr;
  const ssize_t n = libusb_get_device_list(ctx, &list);
  for (ssize_t i = 0; i < n; ++i) {
    libusb_device_descriptor desc;
    if (libusb_get_device_descriptor(list[i], &desc) != 0) continue;
    const bool ours = desc.idVendor == TKX_USB_VENDOR_ID ||
                      (desc.idVendor == TKX_FALCON_VENDOR_ID && desc.idProduct == kFalconProductId);
    if (!ours) continue;
    libusb_device_handle *handle = nullptr;
    const int r = libusb_open(list[i], &handle);
    if (r == 0) {
      libusb_close(handle);
      reason = "a device is attached but could not be opened (busy, or in use by another program)";
      continue;
    }
    char node[64];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", libusb_get_bus_number(list[i]),
                  libusb_get_device_address(list[i]));
    reason = r == LIBUSB_ERROR_ACCESS
                 ? std::string("no permission on the USB node ") + node + " (install the udev rule 70-tkx.rules)"
                 : std::string("the device at ") + node + " cannot be opened: " + libusb_error_name(r);
    break;
  }
  if (n >= 0) libusb_free_device_list(list, 1);
  libusb_exit(ctx);
  return reason;
}

std::string JsonString(const std::string &s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

void PrintJson(const std::vector<Info> &devices, const std::string &reason) {
  std::printf("{\"devices\": [");
  for (size_t i = 0; i < devices.size(); ++i) {
    const Info &d = devices[i];
    std::printf(
        "%s\n  {\"index\": %d, \"type\": %d, \"name\": %s, \"serial\": %u, \"firmware\": %g, "
        "\"memory_model\": %d, \"calibrated\": %s, \"rate_hz\": ",
        i ? "," : "", d.index, d.type, JsonString(d.name).c_str(), d.serial, d.firmware, d.memoryModel,
        d.hasMemory ? (d.calibrated ? "true" : "false") : "null");
    if (d.rateMeasured)
      std::printf("%.1f}", d.rate);
    else
      std::printf("null}");
  }
  std::printf("%s],\n \"reason\": %s}\n", devices.empty() ? "" : "\n",
              devices.empty() ? JsonString(reason).c_str() : "null");
}

void PrintText(const std::vector<Info> &devices) {
  for (const Info &d : devices) {
    std::printf("%d: %s (type %d), serial %u, firmware %g, memory model %d, %s", d.index, d.name.c_str(), d.type,
                d.serial, d.firmware, d.memoryModel,
                d.hasMemory ? (d.calibrated ? "calibrated" : "factory calibration given") : "no calibration memory");
    if (d.rateMeasured) std::printf(", %.0f exchanges/s", d.rate);
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char **argv) {
  bool json = false, rate = true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (std::strcmp(argv[i], "--no-rate") == 0) {
      rate = false;
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      std::fprintf(stderr, "tkxinfo: unknown option '%s'\nTry 'tkxinfo --help' for more information.\n", argv[i]);
      return 2;
    }
  }
  std::vector<Info> devices;
  const int count = TKX::GetDeviceCount();
  for (int index = 0; index < count && index < TKX::kMaxDevices; ++index) {
    Info info;
    if (ReadDevice(index, rate, &info)) {
      devices.push_back(info);
    } else if (!json) {
      std::fprintf(stderr, "tkxinfo: device %d does not open: %s\n", index, tkxErrorGetLastStr());
    }
  }
  std::string reason;
  if (devices.empty()) reason = count > 0 ? "no device could be opened" : NoDeviceReason();
  if (json) {
    PrintJson(devices, reason);
  } else if (devices.empty()) {
    std::fprintf(stderr, "tkxinfo: %s\n", reason.c_str());
  } else {
    PrintText(devices);
  }
  return devices.empty() ? 1 : 0;
}
