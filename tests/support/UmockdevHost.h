// Emulated kernel USB devices for the transport tests: a umockdev testbed that
// declares USB devices in sysfs and answers their usbfs ioctls, so that an
// unmodified libusb enumerates, opens, claims and exchanges with them.
//
// What happens behind a device's endpoints is pluggable (UsbFunction): a scripted
// fake for the transport tests, or a host for a virtual device's firmware model.
//
// The test binary must run under umockdev-wrapper (the preload library), and the
// libusb context must be created after the devices are declared: libusb takes its
// device list from the udev scan at libusb_init.
#ifndef TESTS_SUPPORT_UMOCKDEVHOST_H
#define TESTS_SUPPORT_UMOCKDEVHOST_H

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tkx {
namespace virt {
class Device;
}
}  // namespace tkx

namespace usbmock {

// one control request as the device saw it
struct ControlRequest {
  uint8_t requestType = 0;
  uint8_t request = 0;
  uint16_t value = 0;
  uint16_t index = 0;
  uint16_t length = 0;
  std::vector<unsigned char> data;  // the data stage of a host-to-device request
};

// the device side of the endpoints. The host calls these on umockdev's worker
// thread, one at a time per device; statuses are 0 or a negative errno as the
// kernel would put it in the URB (-EPIPE a stall, -EILSEQ a CRC error, ...).
class UsbFunction {
 public:
  virtual ~UsbFunction() = default;
  // an answer that leaves the transfer in flight until libusb gives up on it
  static constexpr int kPending = 1;
  // a bulk OUT packet arrived: its status, or kPending
  virtual int Out(int endpoint, const unsigned char *data, int length) = 0;
  // a bulk IN transfer of at most capacity bytes wants an answer: false leaves it
  // pending (the host asks again later, libusb discards it at its time-out)
  virtual bool In(int endpoint, int capacity, std::vector<unsigned char> *reply, int *status) = 0;
  // a control transfer: its status; *count gets the data-stage byte count, for a
  // device-to-host request the first *count bytes of *reply
  virtual int Control(const ControlRequest &request, std::vector<unsigned char> *reply, int *count) = 0;
  virtual void ClearHalt(int endpoint) = 0;
  // true once the device has gone away by itself
  virtual bool Gone() { return false; }

  // set by the host: wakes libusb so that pending transfers are asked again. Call
  // it after changing state from the test thread.
  void SetWake(std::function<void()> wake);

 protected:
  void Wake();

 private:
  std::mutex wakeMutex_;
  std::function<void()> wake_;
};

// the scripted fake: IN replies are queued by the test (or echo the OUT packets),
// OUT packets are recorded, an endpoint can be halted, control requests answered
// with a chosen status and byte count. With nothing queued an IN transfer never
// completes, so libusb times it out.
class ScriptedUsb : public UsbFunction {
 public:
  void QueueIn(std::vector<unsigned char> reply);
  // the next IN transfer ends with this status (e.g. -EILSEQ) and no data
  void QueueInStatus(int status);
  // queue every OUT packet as the next reply
  void SetEcho(bool on);
  // transfers on the endpoint end with -EPIPE until the host clears the halt
  void Halt(int endpoint);
  bool Halted(int endpoint) const;
  void SetControlAnswer(int status, int count);

  std::vector<std::vector<unsigned char>> OutPackets() const;
  std::vector<ControlRequest> ControlRequests() const;
  std::vector<int> ClearedHalts() const;
  int PendingReplies() const;

  int Out(int endpoint, const unsigned char *data, int length) override;
  bool In(int endpoint, int capacity, std::vector<unsigned char> *reply, int *status) override;
  int Control(const ControlRequest &request, std::vector<unsigned char> *reply, int *count) override;
  void ClearHalt(int endpoint) override;

 private:
  struct Reply {
    std::vector<unsigned char> bytes;
    int status;
  };
  mutable std::mutex mutex_;
  std::vector<Reply> replies_;
  std::vector<std::vector<unsigned char>> out_;
  std::vector<ControlRequest> control_;
  std::vector<int> cleared_;
  std::vector<int> halted_;
  bool echo_ = false;
  int controlStatus_ = 0;
  int controlCount_ = 0;
};

// hosts a virtual device's firmware model: OUT packets go to Device::Write, an IN
// transfer completes when Device::Read has a reply, its faults become the kernel's
// URB statuses (stall -EPIPE, damaged packet -EILSEQ, unplugged -ESHUTDOWN).
class VirtualUsb : public UsbFunction {
 public:
  explicit VirtualUsb(std::shared_ptr<tkx::virt::Device> device);
  const std::shared_ptr<tkx::virt::Device> &Device() const { return device_; }

  int Out(int endpoint, const unsigned char *data, int length) override;
  bool In(int endpoint, int capacity, std::vector<unsigned char> *reply, int *status) override;
  int Control(const ControlRequest &request, std::vector<unsigned char> *reply, int *count) override;
  void ClearHalt(int endpoint) override;
  bool Gone() override;

 private:
  std::shared_ptr<tkx::virt::Device> device_;
};

// one ioctl as the device saw it; the arguments that matter to the tests
struct IoctlCall {
  unsigned long request;
  int arg0;  // configuration, interface or endpoint
  int arg1;  // alternate setting of SETINTERFACE
};

class UmockdevHost;

// one emulated device on the testbed
class UsbDevice {
 public:
  ~UsbDevice();
  UsbDevice(const UsbDevice &) = delete;
  UsbDevice &operator=(const UsbDevice &) = delete;

  const std::string &Node() const { return node_; }
  uint16_t Vendor() const { return vendor_; }
  uint16_t Product() const { return product_; }

  std::vector<IoctlCall> Ioctls() const;
  // how many times the request was made
  int Count(unsigned long request) const;
  // the request fails with this errno from now on (0 lets it succeed again)
  void FailIoctl(unsigned long request, int error);
  // transfers in flight that the device has not answered
  int InFlight() const;

  // pulls the device out: transfers in flight end with -ESHUTDOWN, every later
  // ioctl fails with ENODEV, and the device leaves sysfs
  void Unplug();
  bool Unplugged() const;

 private:
  friend class UmockdevHost;
  struct Urb;
  UsbDevice(UmockdevHost *host, int number, uint16_t vendor, uint16_t product, std::shared_ptr<UsbFunction> fn);
  bool Attach(std::string *error);
  // the ioctl handler; runs on umockdev's worker thread
  static int HandleIoctl(void *handler, void *client, void *self);
  void Handle(void *client);
  void Submit(void *client, void *arg);
  void Reap(void *client, void *arg);
  void Discard(void *client, void *arg);
  void RetryPending();
  void EndAll(int status);
  void Finish(Urb *urb, int status, std::vector<unsigned char> reply);
  void CheckGone();
  // the node is a FIFO that is kept full while no transfer is ready, so libusb
  // sleeps in poll() instead of spinning, and drained when one is
  void UpdateNode();
  void Rouse();

  UmockdevHost *host_;
  int number_;
  uint16_t vendor_;
  uint16_t product_;
  std::shared_ptr<UsbFunction> fn_;
  std::string sysPath_;
  std::string node_;      // /dev/bus/usb/001/00N
  std::string nodeFile_;  // the FIFO in the testbed
  int fifo_ = -1;
  void *handler_ = nullptr;

  mutable std::mutex mutex_;  // guards everything below
  std::vector<IoctlCall> calls_;
  std::vector<std::pair<unsigned long, int>> failures_;
  std::vector<Urb *> pending_;
  std::vector<Urb *> ready_;
  bool unplugRequested_ = false;
  bool unplugged_ = false;
  bool wakeRequested_ = false;
};

// the testbed. Declare the devices first, then create the libusb context.
class UmockdevHost {
 public:
  UmockdevHost();
  ~UmockdevHost();
  UmockdevHost(const UmockdevHost &) = delete;
  UmockdevHost &operator=(const UmockdevHost &) = delete;

  // false when the preload library is missing: nothing is emulated then
  bool Active() const { return active_; }
  const std::string &Root() const { return root_; }

  // declares a device with the maker's layout: one configuration, interface 0
  // alternate setting 0, bulk OUT 0x02 and bulk IN 0x86 of 64 bytes
  UsbDevice &Add(uint16_t vendor, uint16_t product, std::shared_ptr<UsbFunction> fn);
  // a scripted device
  std::pair<UsbDevice *, std::shared_ptr<ScriptedUsb>> AddScripted(uint16_t vendor, uint16_t product);
  // a virtual device's firmware behind the maker's identifiers
  UsbDevice &AddVirtual(std::shared_ptr<tkx::virt::Device> device);

  std::vector<UsbDevice *> Devices() const;

 private:
  friend class UsbDevice;
  void *testbed_ = nullptr;
  bool active_ = false;
  std::string root_;
  std::vector<std::unique_ptr<UsbDevice>> devices_;
};

// the configuration descriptor block of the maker's devices (device descriptor
// followed by the whole configuration), as sysfs exposes it
std::vector<unsigned char> Descriptors(uint16_t vendor, uint16_t product);

}  // namespace usbmock

#endif
