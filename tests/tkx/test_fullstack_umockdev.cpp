// The whole stack against the virtual firmware behind an emulated kernel device:
// the C API, the USB protocol class, the real libusb backend and the usbfs
// interface, with no part of the library knowing the device is not hardware.
// Run under umockdev-wrapper.
#include "support/UmockdevHost.h"
#include "tkx/tkxError.h"
#include "tkx/tkxTime.h"
#include "tkx/tkxUSB.h"
#include "tkx/tkxc.h"
#include "tkx/virtual/tkxVirtualBus.h"
#include "tkx/virtual/tkxVirtualDevice.h"

#include <gtest/gtest.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

namespace {

void Hung(int) {
  static const char text[] = "watchdog: the test hung\n";
  (void)!write(2, text, sizeof text - 1);
  _exit(124);
}

class FullStack : public ::testing::Test {
 protected:
  void SetUp() override {
    std::signal(SIGALRM, &Hung);
    alarm(20);
    unsetenv("TKX_VIRTUAL_DEVICES");
    host_ = std::make_unique<usbmock::UmockdevHost>();
    ASSERT_TRUE(host_->Active()) << "run this test under umockdev-wrapper";
    device_ = std::make_shared<tkx::virt::Device>(61, false);
    node_ = &host_->AddVirtual(device_);
    // the slots counted the devices before the testbed existed: forget that
    // discovery (its release ends the library context too), so the next count
    // looks inside the testbed; a context some other discovery made goes as well
    tkx::virt::Rescan();
    tkxUSBCleanup(0, 0);
  }

  void TearDown() override {
    tkxClose(0);
    tkx::virt::Rescan();
    tkxUSBCleanup(0, 0);
    host_.reset();
    alarm(0);
  }

  std::unique_ptr<usbmock::UmockdevHost> host_;
  std::shared_ptr<tkx::virt::Device> device_;
  usbmock::UsbDevice *node_ = nullptr;
};

}  // namespace

// ---- open, queries, close ----------------------------------------------------------

TEST_F(FullStack, OpensAndReadsATrionThroughTheKernelInterface) {
  device_->SetEncoder(0, 1111);
  device_->SetEncoder(1, 2222);
  device_->SetEncoder(2, 3333);

  ASSERT_EQ(tkxGetDeviceCount(), 1);
  ASSERT_EQ(tkxOpenID(0), 0) << tkxErrorGetLastStr();
  // the open went through the kernel interface, claimed and spoke to the firmware
  EXPECT_EQ(node_->Count(USBDEVFS_CLAIMINTERFACE), 1);
  EXPECT_GT(device_->Exchanges(), 0u);
  EXPECT_EQ(device_->WristCalibrations(), 1);

  EXPECT_EQ(tkxGetSystemType(0), 61);
  EXPECT_STREQ(tkxGetSystemName(0), "trion.6");
  double version = 0;
  EXPECT_EQ(tkxGetVersion(&version, 0), 0);
  EXPECT_GT(version, 0.0);
  uint16_t serial = 0;
  EXPECT_EQ(tkxGetSerialNumber(&serial, 0), 0);
  EXPECT_NE(serial, 0);

  tkxEnableExpertMode();
  int e0 = 0, e1 = 0, e2 = 0;
  EXPECT_EQ(tkxGetTrionEncoders(&e0, &e1, &e2, 0), 0) << tkxErrorGetLastStr();
  EXPECT_EQ(e0, 1111);
  EXPECT_EQ(e1, 2222);
  EXPECT_EQ(e2, 3333);
  tkxDisableExpertMode();

  EXPECT_EQ(tkxClose(0), 0);
  EXPECT_TRUE(device_->BrakesOn());
  // the last object gone, the class gave its claimed devices back
  EXPECT_EQ(node_->Count(USBDEVFS_RELEASEINTERFACE), 1);
}

// ---- faults as the kernel reports them --------------------------------------------------

TEST_F(FullStack, FaultsFailOneExchangeAndTheNextSucceeds) {
  ASSERT_EQ(tkxGetDeviceCount(), 1);
  ASSERT_EQ(tkxOpenID(0), 0) << tkxErrorGetLastStr();
  double version = 0;
  const int clears = node_->Count(USBDEVFS_CLEAR_HALT);

  // a halted endpoint: the class clears both, through the kernel
  device_->Stall();
  EXPECT_EQ(tkxGetVersion(&version, 0), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_COMMUNICATION);
  EXPECT_EQ(node_->Count(USBDEVFS_CLEAR_HALT), clears + 2);
  EXPECT_EQ(tkxGetVersion(&version, 0), 0);

  // a packet damaged on the wire, and one cut short
  device_->CorruptReplies(1);
  EXPECT_EQ(tkxGetVersion(&version, 0), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_COMMUNICATION);
  EXPECT_EQ(tkxGetVersion(&version, 0), 0);
  device_->ShortenReplies(1, 0);
  EXPECT_EQ(tkxGetVersion(&version, 0), -1);
  EXPECT_EQ(tkxGetVersion(&version, 0), 0);

  // a reply that never comes costs one time-out
  device_->DropReplies(1);
  const double start = tkx::GetTimeMonotonic();
  EXPECT_EQ(tkxGetVersion(&version, 0), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_COMMUNICATION);
  EXPECT_GE(tkx::GetTimeMonotonic() - start, 0.45);
  EXPECT_EQ(tkxGetVersion(&version, 0), 0);
  EXPECT_EQ(node_->InFlight(), 0);
}

TEST_F(FullStack, UnpluggedDeviceFailsWithoutHanging) {
  ASSERT_EQ(tkxGetDeviceCount(), 1);
  ASSERT_EQ(tkxOpenID(0), 0) << tkxErrorGetLastStr();
  // the open's flush ended with a time-out; no other may follow
  const int discards = node_->Count(USBDEVFS_DISCARDURB);
  device_->Unplug();
  double version = 0;
  EXPECT_EQ(tkxGetVersion(&version, 0), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_COMMUNICATION);
  EXPECT_EQ(tkxGetVersion(&version, 0), -1);
  // failed as the kernel refused, not by waiting out a time-out
  EXPECT_EQ(node_->Count(USBDEVFS_DISCARDURB), discards);
  EXPECT_EQ(tkxClose(0), 0);
}
