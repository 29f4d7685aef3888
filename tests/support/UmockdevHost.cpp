#include "support/UmockdevHost.h"

#include "tkx/tkxTime.h"
#include "tkx/tkxUSB.h"
#include "tkx/virtual/tkxVirtualDevice.h"

#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <umockdev.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace usbmock {

namespace {

constexpr int kMaxPacket = 64;

void Put16(std::vector<unsigned char> *v, unsigned value) {
  v->push_back(static_cast<unsigned char>(value & 0xFF));
  v->push_back(static_cast<unsigned char>(value >> 8));
}

std::string Hex(const std::vector<unsigned char> &bytes) {
  std::string s;
  char b[3];
  for (unsigned char c : bytes) {
    std::snprintf(b, sizeof b, "%02x", c);
    s += b;
  }
  return s;
}

// fills the FIFO until it would block, so poll() reports it not writable
void Fill(int fd) {
  static const char page[4096] = {};
  while (write(fd, page, sizeof page) > 0) {}
}

void Drain(int fd) {
  char page[4096];
  while (read(fd, page, sizeof page) > 0) {}
}

}  // namespace

std::vector<unsigned char> Descriptors(uint16_t vendor, uint16_t product) {
  std::vector<unsigned char> d;
  // device: USB 2.0, vendor-specific, 64-byte control endpoint, one configuration
  d.insert(d.end(), {18, 0x01});
  Put16(&d, 0x0200);
  d.insert(d.end(), {0x00, 0x00, 0x00, kMaxPacket});
  Put16(&d, vendor);
  Put16(&d, product);
  Put16(&d, 0x0100);
  d.insert(d.end(), {0, 0, 0, 1});
  // configuration 1: one interface, bus powered
  d.insert(d.end(), {9, 0x02});
  Put16(&d, 9 + 9 + 7 + 7);
  d.insert(d.end(), {1, 1, 0, 0x80, 50});
  // interface 0, alternate setting 0: two endpoints, vendor class
  d.insert(d.end(), {9, 0x04, 0, 0, 2, 0xFF, 0x00, 0x00, 0});
  // bulk OUT 0x02 and bulk IN 0x86
  d.insert(d.end(), {7, 0x05, 0x02, 0x02});
  Put16(&d, kMaxPacket);
  d.push_back(0);
  d.insert(d.end(), {7, 0x05, 0x86, 0x02});
  Put16(&d, kMaxPacket);
  d.push_back(0);
  return d;
}

// ---- the pluggable function --------------------------------------------------------

void UsbFunction::SetWake(std::function<void()> wake) {
  std::lock_guard<std::mutex> lock(wakeMutex_);
  wake_ = std::move(wake);
}

void UsbFunction::Wake() {
  std::lock_guard<std::mutex> lock(wakeMutex_);
  if (wake_) wake_();
}

// ---- the scripted fake ---------------------------------------------------------------

void ScriptedUsb::QueueIn(std::vector<unsigned char> reply) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_.push_back({std::move(reply), 0});
  }
  Wake();
}

void ScriptedUsb::QueueInStatus(int status) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_.push_back({{}, status});
  }
  Wake();
}

void ScriptedUsb::SetEcho(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  echo_ = on;
}

void ScriptedUsb::Halt(int endpoint) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (std::find(halted_.begin(), halted_.end(), endpoint) == halted_.end()) halted_.push_back(endpoint);
  }
  Wake();
}

bool ScriptedUsb::Halted(int endpoint) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::find(halted_.begin(), halted_.end(), endpoint) != halted_.end();
}

void ScriptedUsb::SetControlAnswer(int status, int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  controlStatus_ = status;
  controlCount_ = count;
}

std::vector<std::vector<unsigned char>> ScriptedUsb::OutPackets() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return out_;
}

std::vector<ControlRequest> ScriptedUsb::ControlRequests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return control_;
}

std::vector<int> ScriptedUsb::ClearedHalts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return cleared_;
}

int ScriptedUsb::PendingReplies() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(replies_.size());
}

int ScriptedUsb::Out(int endpoint, const unsigned char *data, int length) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (std::find(halted_.begin(), halted_.end(), endpoint) != halted_.end()) return -EPIPE;
  out_.emplace_back(data, data + length);
  if (echo_) replies_.push_back({out_.back(), 0});
  return 0;
}

bool ScriptedUsb::In(int endpoint, int, std::vector<unsigned char> *reply, int *status) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (std::find(halted_.begin(), halted_.end(), endpoint) != halted_.end()) {
    *status = -EPIPE;
    return true;
  }
  if (replies_.empty()) return false;
  *reply = std::move(replies_.front().bytes);
  *status = replies_.front().status;
  replies_.erase(replies_.begin());
  return true;
}

int ScriptedUsb::Control(const ControlRequest &request, std::vector<unsigned char> *reply, int *count) {
  std::lock_guard<std::mutex> lock(mutex_);
  control_.push_back(request);
  *count = controlStatus_ == 0 ? controlCount_ : 0;
  // a device-to-host request gets that many bytes of a recognisable pattern
  if ((request.requestType & 0x80) != 0)
    for (int i = 0; i < *count; ++i) reply->push_back(static_cast<unsigned char>(0xA0 + i));
  return controlStatus_;
}

void ScriptedUsb::ClearHalt(int endpoint) {
  std::lock_guard<std::mutex> lock(mutex_);
  cleared_.push_back(endpoint);
  halted_.erase(std::remove(halted_.begin(), halted_.end(), endpoint), halted_.end());
}

// ---- the virtual device's host ------------------------------------------------------

namespace {

int StatusOf(tkx::virt::Transfer t) {
  switch (t) {
    case tkx::virt::Transfer::Ok:
      return 0;
    case tkx::virt::Transfer::Timeout:
      return UsbFunction::kPending;
    case tkx::virt::Transfer::Stall:
      return -EPIPE;
    case tkx::virt::Transfer::Error:
      return -EILSEQ;
    case tkx::virt::Transfer::NoDevice:
      break;
  }
  return -ESHUTDOWN;
}

}  // namespace

VirtualUsb::VirtualUsb(std::shared_ptr<tkx::virt::Device> device) : device_(std::move(device)) {}

int VirtualUsb::Out(int, const unsigned char *data, int length) {
  return StatusOf(device_->Write(data, length, tkx::GetTimeMonotonic()));
}

bool VirtualUsb::In(int, int capacity, std::vector<unsigned char> *reply, int *status) {
  std::vector<unsigned char> buffer(static_cast<size_t>(std::max(capacity, 0)));
  int received = 0;
  const int s = StatusOf(device_->Read(buffer.data(), capacity, &received, tkx::GetTimeMonotonic()));
  if (s == kPending) return false;
  *status = s;
  if (s == 0) reply->assign(buffer.begin(), buffer.begin() + std::min(received, capacity));
  return true;
}

int VirtualUsb::Control(const ControlRequest &, std::vector<unsigned char> *, int *count) {
  // the firmware knows no control requests beyond the standard ones
  *count = 0;
  return device_->IsUnplugged() ? -ESHUTDOWN : -EPIPE;
}

void VirtualUsb::ClearHalt(int endpoint) { device_->ClearHalt(endpoint); }

bool VirtualUsb::Gone() { return device_->IsUnplugged(); }

// ---- one emulated device ------------------------------------------------------------

struct UsbDevice::Urb {
  UMockdevIoctlData *data;  // our reference to the client's URB
  unsigned long address;    // where the client keeps it
  int type;
  int endpoint;
  int capacity;
  int status = 0;
  int actual = 0;
  std::vector<unsigned char> reply;  // copied into the client's buffer when reaped
};

UsbDevice::UsbDevice(UmockdevHost *host, int number, uint16_t vendor, uint16_t product, std::shared_ptr<UsbFunction> fn)
    : host_(host), number_(number), vendor_(vendor), product_(product), fn_(std::move(fn)) {}

UsbDevice::~UsbDevice() {
  if (fn_) fn_->SetWake(nullptr);
  for (Urb *u : pending_) {
    umockdev_ioctl_data_unref(u->data);
    delete u;
  }
  for (Urb *u : ready_) {
    umockdev_ioctl_data_unref(u->data);
    delete u;
  }
  if (fifo_ >= 0) close(fifo_);
}

bool UsbDevice::Attach(std::string *error) {
  auto *testbed = static_cast<UMockdevTestbed *>(host_->testbed_);
  const int devnum = number_ + 1;
  char node[64], sys[128];
  std::snprintf(node, sizeof node, "/dev/bus/usb/001/%03d", devnum);
  std::snprintf(sys, sizeof sys, "/devices/pci0000:00/0000:00:14.0/usb1/1-%d", number_);
  node_ = node;
  sysPath_ = std::string("/sys") + sys;
  nodeFile_ = host_->root_ + node_;

  char record[2048];
  std::snprintf(record, sizeof record,
                "P: %s\n"
                "N: %s\n"
                "E: SUBSYSTEM=usb\n"
                "E: DEVTYPE=usb_device\n"
                "E: DRIVER=usb\n"
                "E: DEVNAME=%s\n"
                "E: BUSNUM=001\n"
                "E: DEVNUM=%03d\n"
                "E: MAJOR=189\n"
                "E: MINOR=%d\n"
                "E: PRODUCT=%x/%x/100\n"
                "A: busnum=1\\n\n"
                "A: devnum=%d\\n\n"
                "A: speed=12\\n\n"
                "A: dev=189:%d\\n\n"
                "A: bConfigurationValue=1\\n\n"
                "A: bNumConfigurations=1\\n\n"
                "A: idVendor=%04x\\n\n"
                "A: idProduct=%04x\\n\n"
                "H: descriptors=%s\n",
                sys, node_.c_str() + 5, node_.c_str(), devnum, devnum - 1, vendor_, product_, devnum, devnum - 1,
                vendor_, product_, Hex(Descriptors(vendor_, product_)).c_str());
  GError *err = nullptr;
  if (!umockdev_testbed_add_from_string(testbed, record, &err)) {
    *error = err ? err->message : "cannot declare the device";
    g_clear_error(&err);
    return false;
  }

  // umockdev makes the node a plain file, always ready for poll(); a FIFO
  // lets libusb sleep until a transfer is ready to be reaped
  unlink(nodeFile_.c_str());
  if (mkfifo(nodeFile_.c_str(), 0666) != 0) {
    *error = "cannot make the node a FIFO: " + std::string(std::strerror(errno));
    return false;
  }
  fifo_ = open(nodeFile_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fifo_ < 0) {
    *error = "cannot open the node: " + std::string(std::strerror(errno));
    return false;
  }
  fcntl(fifo_, F_SETPIPE_SZ, 4096);
  Fill(fifo_);

  UMockdevIoctlBase *handler = umockdev_ioctl_base_new();
  g_signal_connect(handler, "handle-ioctl", G_CALLBACK(&UsbDevice::HandleIoctl), this);
  if (!umockdev_testbed_attach_ioctl(testbed, node_.c_str(), handler, &err)) {
    *error = err ? err->message : "cannot attach the ioctl handler";
    g_clear_error(&err);
    g_object_unref(handler);
    return false;
  }
  handler_ = handler;
  fn_->SetWake([this] { Rouse(); });
  return true;
}

std::vector<IoctlCall> UsbDevice::Ioctls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

int UsbDevice::Count(unsigned long request) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(
      std::count_if(calls_.begin(), calls_.end(), [request](const IoctlCall &c) { return c.request == request; }));
}

void UsbDevice::FailIoctl(unsigned long request, int error) {
  std::lock_guard<std::mutex> lock(mutex_);
  failures_.erase(std::remove_if(failures_.begin(), failures_.end(),
                                 [request](const std::pair<unsigned long, int> &f) { return f.first == request; }),
                  failures_.end());
  if (error != 0) failures_.emplace_back(request, error);
}

int UsbDevice::InFlight() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(pending_.size());
}

bool UsbDevice::Unplugged() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return unplugged_ || unplugRequested_;
}

void UsbDevice::Unplug() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (unplugRequested_) return;
    // the worker applies it at the next ioctl; wake libusb so there is one
    unplugRequested_ = true;
    UpdateNode();
  }
  auto *testbed = static_cast<UMockdevTestbed *>(host_->testbed_);
  // the uevent reads sysfs, so it goes out before the device leaves it
  umockdev_testbed_uevent(testbed, sysPath_.c_str(), "remove");
  umockdev_testbed_remove_device(testbed, sysPath_.c_str());
}

void UsbDevice::Rouse() {
  std::lock_guard<std::mutex> lock(mutex_);
  wakeRequested_ = true;
  UpdateNode();
}

void UsbDevice::UpdateNode() {
  if (fifo_ < 0) return;
  if (!ready_.empty() || unplugged_ || unplugRequested_ || wakeRequested_)
    Drain(fifo_);
  else
    Fill(fifo_);
}

int UsbDevice::HandleIoctl(void *, void *client, void *self) {
  static_cast<UsbDevice *>(self)->Handle(client);
  return TRUE;
}

void UsbDevice::Handle(void *c) {
  auto *client = static_cast<UMockdevIoctlClient *>(c);
  const unsigned long request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
  std::lock_guard<std::mutex> lock(mutex_);
  wakeRequested_ = false;
  if (unplugRequested_ && !unplugged_) {
    unplugged_ = true;
    EndAll(-ESHUTDOWN);
  }

  // the argument of the requests the tests look at
  IoctlCall call{request, -1, -1};
  GError *err = nullptr;
  int words = 0;
  switch (request) {
    case USBDEVFS_SETCONFIGURATION:
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE:
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESETEP:
      words = 1;
      break;
    case USBDEVFS_SETINTERFACE:
      words = 2;
      break;
    default:
      break;
  }
  if (words > 0) {
    // one resolution per argument: a second one would hand back the first
    UMockdevIoctlData *d = umockdev_ioctl_data_resolve(arg, 0, sizeof(unsigned int) * words, &err);
    g_clear_error(&err);
    if (d != nullptr) {
      unsigned int u[2] = {0, 0};
      std::memcpy(u, d->data, sizeof(unsigned int) * words);
      call.arg0 = static_cast<int>(u[0]);
      if (words > 1) call.arg1 = static_cast<int>(u[1]);
      umockdev_ioctl_data_unref(d);
    }
  }
  if (request != USBDEVFS_REAPURBNDELAY && request != USBDEVFS_REAPURB) calls_.push_back(call);

  auto failure = std::find_if(failures_.begin(), failures_.end(),
                              [request](const std::pair<unsigned long, int> &f) { return f.first == request; });
  const bool reaping = request == USBDEVFS_REAPURBNDELAY || request == USBDEVFS_REAPURB;
  if (unplugged_ && !reaping) {
    umockdev_ioctl_client_complete(client, -1, ENODEV);
  } else if (failure != failures_.end()) {
    umockdev_ioctl_client_complete(client, -1, failure->second);
  } else {
    switch (request) {
      case USBDEVFS_GET_CAPABILITIES: {
        UMockdevIoctlData *d = umockdev_ioctl_data_resolve(arg, 0, sizeof(uint32_t), &err);
        g_clear_error(&err);
        if (d != nullptr) {
          const uint32_t caps =
              USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
          std::memcpy(d->data, &caps, sizeof caps);
          umockdev_ioctl_data_unref(d);
        }
        umockdev_ioctl_client_complete(client, 0, 0);
        break;
      }
      case USBDEVFS_CLEAR_HALT:
        fn_->ClearHalt(call.arg0);
        CheckGone();
        umockdev_ioctl_client_complete(client, 0, 0);
        break;
      case USBDEVFS_SETCONFIGURATION:
      case USBDEVFS_CLAIMINTERFACE:
      case USBDEVFS_RELEASEINTERFACE:
      case USBDEVFS_SETINTERFACE:
      case USBDEVFS_RESET:
      case USBDEVFS_RESETEP:
        umockdev_ioctl_client_complete(client, 0, 0);
        break;
      case USBDEVFS_SUBMITURB:
        Submit(client, arg);
        break;
      case USBDEVFS_REAPURB:
      case USBDEVFS_REAPURBNDELAY:
        Reap(client, arg);
        break;
      case USBDEVFS_DISCARDURB:
        Discard(client, arg);
        break;
      default:
        umockdev_ioctl_client_complete(client, -1, ENOTTY);
        break;
    }
  }
  UpdateNode();
}

void UsbDevice::Submit(void *c, void *a) {
  auto *client = static_cast<UMockdevIoctlClient *>(c);
  auto *arg = static_cast<UMockdevIoctlData *>(a);
  GError *err = nullptr;
  UMockdevIoctlData *d = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), &err);
  g_clear_error(&err);
  if (d == nullptr) {
    umockdev_ioctl_client_complete(client, -1, EFAULT);
    return;
  }
  auto *u = reinterpret_cast<usbdevfs_urb *>(d->data);
  const bool in = (u->endpoint & 0x80) != 0;
  if ((u->type != USBDEVFS_URB_TYPE_BULK && u->type != USBDEVFS_URB_TYPE_CONTROL) || u->buffer_length < 0 ||
      (u->type == USBDEVFS_URB_TYPE_CONTROL && u->buffer_length < 8)) {
    umockdev_ioctl_data_unref(d);
    umockdev_ioctl_client_complete(client, -1, EINVAL);
    return;
  }
  Urb *urb = new Urb{d, d->client_addr, u->type, u->endpoint, u->buffer_length, 0, 0, {}};

  // the bytes the host sends: an OUT packet, or a setup packet and its data stage
  std::vector<unsigned char> sent;
  UMockdevIoctlData *buffer = nullptr;
  if ((u->type == USBDEVFS_URB_TYPE_BULK && !in) || u->type == USBDEVFS_URB_TYPE_CONTROL) {
    if (u->buffer_length > 0) {
      buffer = umockdev_ioctl_data_resolve(d, offsetof(usbdevfs_urb, buffer), u->buffer_length, &err);
      g_clear_error(&err);
      if (buffer != nullptr) sent.assign(buffer->data, buffer->data + u->buffer_length);
    }
  }

  if (u->type == USBDEVFS_URB_TYPE_CONTROL) {
    ControlRequest r;
    if (sent.size() >= 8) {
      r.requestType = sent[0];
      r.request = sent[1];
      r.value = static_cast<uint16_t>(sent[2] | sent[3] << 8);
      r.index = static_cast<uint16_t>(sent[4] | sent[5] << 8);
      r.length = static_cast<uint16_t>(sent[6] | sent[7] << 8);
      if ((r.requestType & 0x80) == 0) r.data.assign(sent.begin() + 8, sent.end());
    }
    std::vector<unsigned char> reply;
    int count = 0;
    const int status = fn_->Control(r, &reply, &count);
    count = std::max(0, std::min(count, urb->capacity - 8));
    // the buffer is resolved already: the data stage goes in now, before the
    // submission is written back, and only the status waits for the reaping
    if ((r.requestType & 0x80) != 0 && buffer != nullptr && status == 0) {
      reply.resize(static_cast<size_t>(count));
      if (count > 0) umockdev_ioctl_data_update(buffer, 8, reply.data(), count);
    }
    urb->actual = status == 0 ? count : 0;
    Finish(urb, status, {});
  } else if (!in) {
    const int status = fn_->Out(urb->endpoint, sent.data(), static_cast<int>(sent.size()));
    if (status == UsbFunction::kPending) {
      pending_.push_back(urb);
    } else {
      urb->actual = status == 0 ? urb->capacity : 0;
      Finish(urb, status, {});
    }
  } else {
    pending_.push_back(urb);
  }
  if (buffer != nullptr) umockdev_ioctl_data_unref(buffer);
  CheckGone();
  RetryPending();
  umockdev_ioctl_client_complete(client, 0, 0);
}

void UsbDevice::Finish(Urb *urb, int status, std::vector<unsigned char> reply) {
  urb->status = status;
  if (urb->type == USBDEVFS_URB_TYPE_BULK && (urb->endpoint & 0x80) != 0) {
    // more than the transfer holds is an overflow, as the controller reports it
    if (static_cast<int>(reply.size()) > urb->capacity) {
      reply.resize(static_cast<size_t>(urb->capacity));
      if (urb->status == 0) urb->status = -EOVERFLOW;
    }
    urb->actual = static_cast<int>(reply.size());
  }
  urb->reply = std::move(reply);
  ready_.push_back(urb);
}

void UsbDevice::RetryPending() {
  std::vector<int> waiting;  // endpoints whose oldest transfer is still unanswered
  for (size_t i = 0; i < pending_.size();) {
    Urb *urb = pending_[i];
    const bool in = urb->type == USBDEVFS_URB_TYPE_BULK && (urb->endpoint & 0x80) != 0;
    if (!in || unplugged_ || std::find(waiting.begin(), waiting.end(), urb->endpoint) != waiting.end()) {
      ++i;
      continue;
    }
    std::vector<unsigned char> reply;
    int status = 0;
    if (!fn_->In(urb->endpoint, urb->capacity, &reply, &status)) {
      waiting.push_back(urb->endpoint);
      ++i;
      continue;
    }
    pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(i));
    Finish(urb, status, std::move(reply));
    CheckGone();
  }
}

void UsbDevice::CheckGone() {
  if (!unplugged_ && fn_->Gone()) {
    unplugged_ = true;
    EndAll(-ESHUTDOWN);
  }
}

void UsbDevice::EndAll(int status) {
  for (Urb *urb : pending_) {
    urb->status = status;
    urb->actual = 0;
    urb->reply.clear();
    ready_.push_back(urb);
  }
  pending_.clear();
}

void UsbDevice::Reap(void *c, void *a) {
  auto *client = static_cast<UMockdevIoctlClient *>(c);
  auto *arg = static_cast<UMockdevIoctlData *>(a);
  RetryPending();
  if (ready_.empty()) {
    umockdev_ioctl_client_complete(client, -1, unplugged_ ? ENODEV : EAGAIN);
    return;
  }
  GError *err = nullptr;
  UMockdevIoctlData *ptr = umockdev_ioctl_data_resolve(arg, 0, sizeof(void *), &err);
  g_clear_error(&err);
  if (ptr == nullptr) {
    umockdev_ioctl_client_complete(client, -1, EFAULT);
    return;
  }
  Urb *urb = ready_.front();
  ready_.erase(ready_.begin());
  // an IN buffer is resolved only now, so it is fresh and written back with the URB
  if (!urb->reply.empty()) {
    UMockdevIoctlData *b = umockdev_ioctl_data_resolve(urb->data, offsetof(usbdevfs_urb, buffer), urb->capacity, &err);
    g_clear_error(&err);
    if (b != nullptr) {
      const int n = std::min(static_cast<int>(urb->reply.size()), b->data_len);
      umockdev_ioctl_data_update(b, 0, urb->reply.data(), n);
      umockdev_ioctl_data_unref(b);
    }
  }
  int status = urb->status, actual = urb->actual;
  umockdev_ioctl_data_update(urb->data, offsetof(usbdevfs_urb, status), reinterpret_cast<unsigned char *>(&status),
                             sizeof status);
  umockdev_ioctl_data_update(urb->data, offsetof(usbdevfs_urb, actual_length),
                             reinterpret_cast<unsigned char *>(&actual), sizeof actual);
  umockdev_ioctl_data_set_ptr(ptr, 0, urb->data);
  umockdev_ioctl_data_unref(ptr);
  umockdev_ioctl_data_unref(urb->data);
  delete urb;
  umockdev_ioctl_client_complete(client, 0, 0);
}

void UsbDevice::Discard(void *c, void *a) {
  auto *client = static_cast<UMockdevIoctlClient *>(c);
  auto *arg = static_cast<UMockdevIoctlData *>(a);
  // the argument is the client's URB pointer itself, not something to resolve
  unsigned long address = 0;
  std::memcpy(&address, arg->data, sizeof address);
  auto it = std::find_if(pending_.begin(), pending_.end(), [address](Urb *u) { return u->address == address; });
  if (it == pending_.end()) {
    umockdev_ioctl_client_complete(client, -1, EINVAL);
    return;
  }
  Urb *urb = *it;
  pending_.erase(it);
  urb->actual = 0;
  Finish(urb, -ENOENT, {});
  umockdev_ioctl_client_complete(client, 0, 0);
}

// ---- the testbed ----------------------------------------------------------------------

UmockdevHost::UmockdevHost() {
  UMockdevTestbed *testbed = umockdev_testbed_new();
  testbed_ = testbed;
  // only right after the testbed exists; cached from then on
  active_ = umockdev_in_mock_environment();
  gchar *root = umockdev_testbed_get_root_dir(testbed);
  root_ = root;
  g_free(root);
}

UmockdevHost::~UmockdevHost() {
  auto *testbed = static_cast<UMockdevTestbed *>(testbed_);
  for (auto &d : devices_) {
    if (d->handler_ != nullptr) {
      umockdev_testbed_detach_ioctl(testbed, d->node_.c_str(), nullptr);
      g_object_unref(d->handler_);
      d->handler_ = nullptr;
    }
  }
  devices_.clear();
  g_object_unref(testbed);
}

UsbDevice &UmockdevHost::Add(uint16_t vendor, uint16_t product, std::shared_ptr<UsbFunction> fn) {
  const int number = static_cast<int>(devices_.size()) + 1;
  devices_.emplace_back(new UsbDevice(this, number, vendor, product, std::move(fn)));
  std::string error;
  if (!devices_.back()->Attach(&error)) {
    std::fprintf(stderr, "umockdev: cannot declare device %d: %s\n", number, error.c_str());
    std::abort();
  }
  return *devices_.back();
}

std::pair<UsbDevice *, std::shared_ptr<ScriptedUsb>> UmockdevHost::AddScripted(uint16_t vendor, uint16_t product) {
  auto fn = std::make_shared<ScriptedUsb>();
  UsbDevice &d = Add(vendor, product, fn);
  return {&d, fn};
}

UsbDevice &UmockdevHost::AddVirtual(std::shared_ptr<tkx::virt::Device> device) {
  return Add(TKX_USB_VENDOR_ID, TKX_USB_PRODUCT_ID, std::make_shared<VirtualUsb>(std::move(device)));
}

std::vector<UsbDevice *> UmockdevHost::Devices() const {
  std::vector<UsbDevice *> v;
  for (auto &d : devices_) v.push_back(d.get());
  return v;
}

}  // namespace usbmock
