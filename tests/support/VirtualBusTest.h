// The shared base of the tests that drive the library against devices on the
// virtual bus: libusb is left out, and every test starts and ends with the bus
// empty and the discovery forgotten, so the next device count looks again.
#ifndef TESTS_SUPPORT_VIRTUALBUSTEST_H
#define TESTS_SUPPORT_VIRTUALBUSTEST_H

#include "tkx/tkxUSB.h"
#include "tkx/virtual/tkxVirtualBus.h"
#include "tkx/virtual/tkxVirtualDevice.h"

#include <gtest/gtest.h>

#include <memory>

namespace bustest {

class VirtualBusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tkx::testing::EnableLibusbBackend(false);
    ClearBus();
  }
  void TearDown() override { ClearBus(); }

  // unplugs every device and forgets the discovery
  static void ClearBus() {
    tkx::virt::UnplugAll();
    tkx::virt::Rescan();
  }
  // a new device after those on the bus, found by the next discovery
  static std::shared_ptr<tkx::virt::Device> Plug(int code, bool blank = false) {
    auto dev = tkx::virt::Plug(code, blank);
    tkx::virt::Rescan();
    return dev;
  }
};

}  // namespace bustest

#endif
