// The libusb transport against emulated kernel USB devices (umockdev): the
// unmodified libusb underneath enumerates, opens, claims and exchanges with
// devices whose behaviour is scripted here. Run under umockdev-wrapper.
#include "support/UmockdevHost.h"
#include "tkx/tkxTime.h"
#include "tkx/tkxUSB.h"

#include <gtest/gtest.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <thread>
#include <vector>

using usbmock::IoctlCall;
using usbmock::ScriptedUsb;
using usbmock::UmockdevHost;
using usbmock::UsbDevice;

namespace {

constexpr int kOut = 0x02;
constexpr int kIn = 0x86;

void Hung(int) {
  static const char text[] = "watchdog: the test hung\n";
  (void)!write(2, text, sizeof text - 1);
  _exit(124);
}

// pauses after control transfers, recorded instead of slept
std::atomic<int> pauses{0};
std::atomic<double> lastPause{0};
void RecordPause(double seconds) {
  lastPause = seconds;
  ++pauses;
}

class UsbTransport : public ::testing::Test {
 protected:
  void SetUp() override {
    // a lost transfer would block for ever
    std::signal(SIGALRM, &Hung);
    alarm(15);
    unsetenv("TKX_VIRTUAL_DEVICES");
    tkx::testing::SetControlPause(&RecordPause);
    pauses = 0;
    // a context made before the testbed existed looks at the real bus
    tkxUSBCleanup(0, 0);
    host_ = std::make_unique<UmockdevHost>();
    ASSERT_TRUE(host_->Active()) << "run this test under umockdev-wrapper";
  }

  void TearDown() override {
    for (int i = 0; i < count_; ++i) tkxUSBReleaseDevice(records_[i]);
    count_ = 0;
    tkxUSBCleanup(0, 0);
    host_.reset();
    tkx::testing::SetControlPause(nullptr);
    alarm(0);
  }

  std::shared_ptr<ScriptedUsb> Add(uint16_t vendor = TKX_USB_VENDOR_ID, uint16_t product = TKX_USB_PRODUCT_ID,
                                   UsbDevice **device = nullptr) {
    auto added = host_->AddScripted(vendor, product);
    if (device != nullptr) *device = added.first;
    return added.second;
  }

  // creates the library context inside the testbed and discovers the devices
  int Find(int vendor = TKX_USB_VENDOR_ID, int product = TKX_USB_PRODUCT_ID) {
    tkxUSBInit();
    const int n = tkxUSBFindDevices(records_, vendor, product, &out_, &in_);
    count_ = n > 0 ? n : 0;
    return n;
  }

  int Write(const std::vector<unsigned char> &bytes, bool async = false) {
    return tkxUSBWriteData(records_[0], out_, const_cast<unsigned char *>(bytes.data()), static_cast<int>(bytes.size()),
                           async);
  }

  int Read(std::vector<unsigned char> *got, bool async = false) {
    got->assign(64, 0);
    const int n = tkxUSBReadData(records_[0], in_, got->data(), 64, async);
    got->resize(n > 0 ? static_cast<size_t>(n) : 0);
    return n;
  }

  std::unique_ptr<UmockdevHost> host_;
  void *records_[TKX_USB_MAX_DEVICES] = {};
  int count_ = 0;
  int out_ = -1;
  int in_ = -1;
};

std::vector<unsigned char> Packet(unsigned char first, int size = 64) {
  std::vector<unsigned char> p(static_cast<size_t>(size));
  for (int i = 0; i < size; ++i) p[static_cast<size_t>(i)] = static_cast<unsigned char>(first + i);
  return p;
}

// waits until the device holds a transfer it has not answered
void AwaitInFlight(const UsbDevice &d) {
  for (int i = 0; i < 2000 && d.InFlight() == 0; ++i) tkx::Sleep(0.001);
}

// the requests that change the device's state, in order
std::vector<unsigned long> SetupSteps(const UsbDevice &d) {
  std::vector<unsigned long> r;
  for (const IoctlCall &c : d.Ioctls())
    if (c.request != USBDEVFS_GET_CAPABILITIES && c.request != USBDEVFS_SUBMITURB) r.push_back(c.request);
  return r;
}

}  // namespace

// ---- discovery ----------------------------------------------------------------------------

TEST_F(UsbTransport, FindsOnlyDevicesMatchingVendorAndProduct) {
  UsbDevice *first, *otherProduct, *otherVendor, *second;
  Add(TKX_USB_VENDOR_ID, TKX_USB_PRODUCT_ID, &first);
  Add(TKX_USB_VENDOR_ID, 0x0302, &otherProduct);
  Add(0x1234, TKX_USB_PRODUCT_ID, &otherVendor);
  Add(TKX_USB_VENDOR_ID, TKX_USB_PRODUCT_ID, &second);

  ASSERT_EQ(Find(), 2);
  EXPECT_EQ(out_, kOut);
  EXPECT_EQ(in_, kIn);
  EXPECT_NE(records_[0], nullptr);
  EXPECT_NE(records_[1], nullptr);
  EXPECT_NE(records_[0], records_[1]);
  EXPECT_EQ(first->Count(USBDEVFS_CLAIMINTERFACE), 1);
  EXPECT_EQ(second->Count(USBDEVFS_CLAIMINTERFACE), 1);
  // a skipped device is never even opened
  EXPECT_TRUE(otherProduct->Ioctls().empty());
  EXPECT_TRUE(otherVendor->Ioctls().empty());
}

TEST_F(UsbTransport, FifthMatchingDeviceIsLeftUncounted) {
  std::vector<UsbDevice *> devices(5);
  for (auto &d : devices) Add(TKX_USB_VENDOR_ID, TKX_USB_PRODUCT_ID, &d);

  ASSERT_EQ(Find(), TKX_USB_MAX_DEVICES);
  int claimed = 0, untouched = 0;
  for (UsbDevice *d : devices) {
    claimed += d->Count(USBDEVFS_CLAIMINTERFACE);
    untouched += d->Ioctls().empty() ? 1 : 0;
  }
  EXPECT_EQ(claimed, 4);
  EXPECT_EQ(untouched, 1);
}

TEST_F(UsbTransport, UnknownVendorLeavesOutputsUntouched) {
  UsbDevice *d;
  Add(0x1234, TKX_USB_PRODUCT_ID, &d);
  tkxUSBInit();
  void *sentinel = reinterpret_cast<void *>(0x1);
  void *records[TKX_USB_MAX_DEVICES] = {sentinel, sentinel, sentinel, sentinel};
  int out = 77, in = 78;

  EXPECT_EQ(tkxUSBFindDevices(records, 0x1234, TKX_USB_PRODUCT_ID, &out, &in), -1);
  EXPECT_EQ(out, 77);
  EXPECT_EQ(in, 78);
  for (void *r : records) EXPECT_EQ(r, sentinel);
  EXPECT_TRUE(d->Ioctls().empty());
}

TEST_F(UsbTransport, NoMatchFindsNothingButSetsEndpoints) {
  Add(0x1234, 0x5678);
  EXPECT_EQ(Find(), 0);
  EXPECT_EQ(out_, kOut);
  EXPECT_EQ(in_, kIn);
}

TEST_F(UsbTransport, ConverterDeviceIsResetBeforeUse) {
  UsbDevice *d;
  Add(TKX_FALCON_VENDOR_ID, 0x7A11, &d);
  ASSERT_EQ(Find(TKX_FALCON_VENDOR_ID, 0x7A11), 1);
  EXPECT_EQ(out_, 0x02);
  EXPECT_EQ(in_, 0x81);
  const std::vector<unsigned long> expected = {USBDEVFS_RESET, USBDEVFS_SETCONFIGURATION, USBDEVFS_CLAIMINTERFACE,
                                               USBDEVFS_SETINTERFACE};
  EXPECT_EQ(SetupSteps(*d), expected);
}

// ---- open, configure, claim, release ----------------------------------------------------

TEST_F(UsbTransport, OpenConfiguresClaimsAndReleases) {
  UsbDevice *d;
  Add(TKX_USB_VENDOR_ID, TKX_USB_PRODUCT_ID, &d);
  ASSERT_EQ(Find(), 1);

  const std::vector<unsigned long> expected = {USBDEVFS_SETCONFIGURATION, USBDEVFS_CLAIMINTERFACE,
                                               USBDEVFS_SETINTERFACE};
  ASSERT_EQ(SetupSteps(*d), expected);
  const std::vector<IoctlCall> calls = d->Ioctls();
  for (const IoctlCall &c : calls) {
    if (c.request == USBDEVFS_SETCONFIGURATION) {
      EXPECT_EQ(c.arg0, 1);
    } else if (c.request == USBDEVFS_CLAIMINTERFACE) {
      EXPECT_EQ(c.arg0, 0);
    } else if (c.request == USBDEVFS_SETINTERFACE) {
      EXPECT_EQ(c.arg0, 0);
      EXPECT_EQ(c.arg1, 0);
    }
  }

  EXPECT_EQ(tkxUSBReleaseDevice(records_[0]), 0);
  count_ = 0;
  ASSERT_EQ(d->Count(USBDEVFS_RELEASEINTERFACE), 1);
  EXPECT_EQ(d->Ioctls().back().request, USBDEVFS_RELEASEINTERFACE);
  EXPECT_EQ(d->Ioctls().back().arg0, 0);
}

TEST_F(UsbTransport, DeviceThatRefusesAnySetupStepIsSkipped) {
  const unsigned long steps[] = {USBDEVFS_SETCONFIGURATION, USBDEVFS_CLAIMINTERFACE, USBDEVFS_SETINTERFACE};
  std::vector<UsbDevice *> refusing;
  for (unsigned long step : steps) {
    UsbDevice *d;
    Add(TKX_USB_VENDOR_ID, TKX_USB_PRODUCT_ID, &d);
    d->FailIoctl(step, EBUSY);
    refusing.push_back(d);
  }
  UsbDevice *good;
  auto fn = Add(TKX_USB_VENDOR_ID, TKX_USB_PRODUCT_ID, &good);

  ASSERT_EQ(Find(), 1);
  // the record that was kept is the healthy device's
  ASSERT_EQ(Write(Packet(7)), 0);
  ASSERT_EQ(fn->OutPackets().size(), 1u);
  // the steps after a refused one are not tried
  EXPECT_EQ(refusing[0]->Count(USBDEVFS_CLAIMINTERFACE), 0);
  EXPECT_EQ(refusing[1]->Count(USBDEVFS_SETINTERFACE), 0);
}

// ---- synchronous exchanges ------------------------------------------------------------------

TEST_F(UsbTransport, SynchronousWriteAndRead) {
  auto fn = Add();
  ASSERT_EQ(Find(), 1);
  ASSERT_EQ(Write(Packet(1)), 0);
  ASSERT_EQ(fn->OutPackets().size(), 1u);
  EXPECT_EQ(fn->OutPackets()[0], Packet(1));

  fn->QueueIn(Packet(100));
  std::vector<unsigned char> got;
  ASSERT_EQ(Read(&got), 64);
  EXPECT_EQ(got, Packet(100));

  // a short packet ends the transfer with what arrived
  fn->QueueIn(Packet(50, 10));
  ASSERT_EQ(Read(&got), 10);
  EXPECT_EQ(got, Packet(50, 10));
}

TEST_F(UsbTransport, ReadWithoutReplyTimesOutAndTheNextExchangeWorks) {
  UsbDevice *d;
  auto fn = Add(TKX_USB_VENDOR_ID, TKX_USB_PRODUCT_ID, &d);
  ASSERT_EQ(Find(), 1);

  std::vector<unsigned char> got;
  const double start = tkx::GetTimeMonotonic();
  EXPECT_EQ(Read(&got), -1);
  const double waited = tkx::GetTimeMonotonic() - start;
  EXPECT_GE(waited, 0.45);
  EXPECT_LT(waited, 3.0);
  // the timed-out transfer was discarded, not left behind
  EXPECT_EQ(d->InFlight(), 0);
  EXPECT_EQ(d->Count(USBDEVFS_DISCARDURB), 1);

  fn->SetEcho(true);
  ASSERT_EQ(Write(Packet(9)), 0);
  ASSERT_EQ(Read(&got), 64);
  EXPECT_EQ(got, Packet(9));
}

TEST_F(UsbTransport, StalledEndpointFailsUntilPipesAreCleared) {
  UsbDevice *d;
  auto fn = Add(TKX_USB_VENDOR_ID, TKX_USB_PRODUCT_ID, &d);
  ASSERT_EQ(Find(), 1);
  fn->Halt(kIn);
  fn->Halt(kOut);
  fn->QueueIn(Packet(3));

  std::vector<unsigned char> got;
  EXPECT_EQ(Read(&got), -1);
  EXPECT_EQ(Write(Packet(1)), -1);
  EXPECT_EQ(Read(&got, true), -1);
  // a stall is an answer, not a time-out: nothing was discarded
  EXPECT_EQ(d->Count(USBDEVFS_DISCARDURB), 0);

  EXPECT_EQ(tkxUSBClearPipes(records_[0], out_, in_), 0);
  EXPECT_EQ(fn->ClearedHalts(), (std::vector<int>{kOut, kIn}));
  ASSERT_EQ(Read(&got), 64);
  EXPECT_EQ(got, Packet(3));
  EXPECT_EQ(Write(Packet(1)), 0);
}

TEST_F(UsbTransport, DamagedPacketFailsTheRead) {
  auto fn = Add();
  ASSERT_EQ(Find(), 1);
  fn->QueueInStatus(-EILSEQ);
  fn->QueueIn(Packet(4));
  std::vector<unsigned char> got;
  EXPECT_EQ(Read(&got), -1);
  EXPECT_EQ(Read(&got), 64);
}

// ---- asynchronous transfers ---------------------------------------------------------------

TEST_F(UsbTransport, AsynchronousReadReturnsTheByteCount) {
  UsbDevice *d;
  auto fn = Add(TKX_USB_VENDOR_ID, TKX_USB_PRODUCT_ID, &d);
  ASSERT_EQ(Find(), 1);
  fn->QueueIn(Packet(20, 33));
  std::vector<unsigned char> got;
  ASSERT_EQ(Read(&got, true), 33);
  EXPECT_EQ(got, Packet(20, 33));

  // a reply that comes while the transfer is in flight
  std::thread late([&] {
    AwaitInFlight(*d);
    fn->QueueIn(Packet(40));
  });
  const int n = Read(&got, true);
  late.join();
  ASSERT_EQ(n, 64);
  EXPECT_EQ(got, Packet(40));
  EXPECT_EQ(d->Count(USBDEVFS_DISCARDURB), 0);
}

TEST_F(UsbTransport, AsynchronousReadTimesOut) {
  UsbDevice *d;
  auto fn = Add(TKX_USB_VENDOR_ID, TKX_USB_PRODUCT_ID, &d);
  ASSERT_EQ(Find(), 1);
  std::vector<unsigned char> got;
  const double start = tkx::GetTimeMonotonic();
  EXPECT_EQ(Read(&got, true), -1);
  EXPECT_GE(tkx::GetTimeMonotonic() - start, 0.45);
  EXPECT_EQ(d->InFlight(), 0);

  fn->QueueIn(Packet(1));
  EXPECT_EQ(Read(&got, true), 64);
}

TEST_F(UsbTransport, AsynchronousWriteReturnsOnceSubmitted) {
  auto fn = Add();
  ASSERT_EQ(Find(), 1);
  fn->SetEcho(true);
  // the buffers outlive their transfers, as the caller must ensure
  const std::vector<unsigned char> a = Packet(1), b = Packet(2);
  std::vector<unsigned char> got;

  ASSERT_EQ(Write(a, true), 0);
  ASSERT_EQ(Read(&got, true), 64);
  EXPECT_EQ(got, a);
  // the write transfer is free again once a read has handled its completion
  ASSERT_EQ(Write(b, true), 0);
  ASSERT_EQ(Read(&got, true), 64);
  EXPECT_EQ(got, b);
  EXPECT_EQ(fn->OutPackets(), (std::vector<std::vector<unsigned char>>{a, b}));
}

TEST_F(UsbTransport, ReleaseWithAnUnhandledAsynchronousWrite) {
  UsbDevice *d;
  auto fn = Add(TKX_USB_VENDOR_ID, TKX_USB_PRODUCT_ID, &d);
  ASSERT_EQ(Find(), 1);
  const std::vector<unsigned char> a = Packet(1);
  ASSERT_EQ(Write(a, true), 0);
  // no read came to handle the completion: closing must still be clean
  EXPECT_EQ(tkxUSBReleaseDevice(records_[0]), 0);
  count_ = 0;
  EXPECT_EQ(d->Count(USBDEVFS_RELEASEINTERFACE), 1);
  EXPECT_EQ(tkxUSBCleanup(0, 0), 0);
}

// ---- control transfers -------------------------------------------------------------------------

TEST_F(UsbTransport, ControlTransferWithoutDataSucceedsAfterThePause) {
  auto fn = Add();
  ASSERT_EQ(Find(), 1);
  fn->SetControlAnswer(0, 0);

  EXPECT_EQ(tkxUSBControlMsg(records_[0], 0x40, 0x03, 0x4138, 0x0001, nullptr, 0), 0);
  EXPECT_EQ(pauses, 1);
  EXPECT_DOUBLE_EQ(lastPause, 0.2);
  ASSERT_EQ(fn->ControlRequests().size(), 1u);
  const usbmock::ControlRequest r = fn->ControlRequests()[0];
  EXPECT_EQ(r.requestType, 0x40);
  EXPECT_EQ(r.request, 0x03);
  EXPECT_EQ(r.value, 0x4138);
  EXPECT_EQ(r.index, 0x0001);
  EXPECT_EQ(r.length, 0);
}

TEST_F(UsbTransport, ControlTransferWithAByteCountFailsWithoutPause) {
  auto fn = Add();
  ASSERT_EQ(Find(), 1);
  fn->SetControlAnswer(0, 2);
  unsigned char data[2] = {};

  EXPECT_EQ(tkxUSBControlMsg(records_[0], 0xC0, 0x05, 0, 0, data, 2), -1);
  EXPECT_EQ(pauses, 0);
  EXPECT_EQ(fn->ControlRequests().size(), 1u);
  // the 16-bit fields are cut as the request carries them
  EXPECT_EQ(tkxUSBControlMsg(records_[0], 0x1C0, 0x105, 0x12345, 0x10002, data, 2), -1);
  ASSERT_EQ(fn->ControlRequests().size(), 2u);
  const usbmock::ControlRequest r = fn->ControlRequests()[1];
  EXPECT_EQ(r.requestType, 0xC0);
  EXPECT_EQ(r.request, 0x05);
  EXPECT_EQ(r.value, 0x2345);
  EXPECT_EQ(r.index, 0x0002);
  EXPECT_EQ(pauses, 0);
}

TEST_F(UsbTransport, RefusedControlTransferFailsWithoutPause) {
  auto fn = Add();
  ASSERT_EQ(Find(), 1);
  fn->SetControlAnswer(-EPIPE, 0);
  EXPECT_EQ(tkxUSBControlMsg(records_[0], 0x40, 0x00, 0, 0, nullptr, 0), -1);
  EXPECT_EQ(pauses, 0);
}

TEST_F(UsbTransport, ControlTransferWithoutABufferForItsDataIsRefused) {
  auto fn = Add();
  ASSERT_EQ(Find(), 1);
  fn->SetControlAnswer(0, 2);
  unsigned char data[2] = {};
  EXPECT_EQ(tkxUSBControlMsg(records_[0], 0xC0, 0x05, 0, 0, nullptr, 2), -1);
  EXPECT_EQ(tkxUSBControlMsg(records_[0], 0x40, 0x05, 0, 0, data, -1), -1);
  // refused before anything went on the wire
  EXPECT_TRUE(fn->ControlRequests().empty());
  EXPECT_EQ(pauses, 0);
}

// ---- context lifecycle ----------------------------------------------------------------------------

TEST_F(UsbTransport, CleanupTwiceThenStartAgain) {
  auto fn = Add();
  ASSERT_EQ(Find(), 1);
  tkxUSBReleaseDevice(records_[0]);
  count_ = 0;
  EXPECT_EQ(tkxUSBCleanup(0, 0), 0);
  EXPECT_EQ(tkxUSBCleanup(0, 0), 0);

  // a fresh context finds the device again
  ASSERT_EQ(Find(), 1);
  fn->SetEcho(true);
  ASSERT_EQ(Write(Packet(5)), 0);
  std::vector<unsigned char> got;
  EXPECT_EQ(Read(&got), 64);
}

// ---- unplugged devices ---------------------------------------------------------------------------

TEST_F(UsbTransport, DeviceUnpluggedDuringARead) {
  UsbDevice *d;
  auto fn = Add(TKX_USB_VENDOR_ID, TKX_USB_PRODUCT_ID, &d);
  ASSERT_EQ(Find(), 1);
  fn->SetEcho(true);
  ASSERT_EQ(Write(Packet(1)), 0);
  std::vector<unsigned char> got;
  ASSERT_EQ(Read(&got), 64);

  // nothing queued: the read is in flight when the device goes
  std::thread pull([&] {
    AwaitInFlight(*d);
    d->Unplug();
  });
  EXPECT_EQ(Read(&got), -1);
  pull.join();
  // it ended with the device, not with its time-out (which discards it)
  EXPECT_EQ(d->Count(USBDEVFS_DISCARDURB), 0);
  EXPECT_EQ(d->InFlight(), 0);

  EXPECT_EQ(Write(Packet(2)), -1);
  EXPECT_EQ(Read(&got), -1);
  EXPECT_EQ(Write(Packet(3), true), -1);
  EXPECT_EQ(Read(&got, true), -1);
  EXPECT_EQ(tkxUSBControlMsg(records_[0], 0x40, 0, 0, 0, nullptr, 0), -1);
  EXPECT_EQ(tkxUSBClearPipes(records_[0], out_, in_), 0);
  EXPECT_EQ(pauses, 0);
  EXPECT_EQ(fn->OutPackets().size(), 1u);
  // release and cleanup in TearDown must not hang or crash either
}

TEST_F(UsbTransport, DeviceUnpluggedBetweenExchanges) {
  UsbDevice *d;
  auto fn = Add(TKX_USB_VENDOR_ID, TKX_USB_PRODUCT_ID, &d);
  ASSERT_EQ(Find(), 1);
  d->Unplug();
  std::vector<unsigned char> got;
  EXPECT_EQ(Write(Packet(1)), -1);
  EXPECT_EQ(Read(&got), -1);
  EXPECT_EQ(Read(&got, true), -1);
  // refused at once, nothing waited for its time-out
  EXPECT_EQ(d->Count(USBDEVFS_DISCARDURB), 0);
  EXPECT_TRUE(fn->OutPackets().empty());

  // a fresh discovery no longer sees it
  tkxUSBReleaseDevice(records_[0]);
  count_ = 0;
  tkxUSBCleanup(0, 0);
  EXPECT_EQ(Find(), 0);
}
