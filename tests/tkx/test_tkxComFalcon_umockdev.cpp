// The Falcon's channel through the real libusb backend, against an emulated
// kernel USB device (umockdev) with the virtual Falcon behind its converter:
// discovery, the converter's control requests and one whole upload, then frames.
// Run under umockdev-wrapper.
#include "support/UmockdevHost.h"

#include "tkx/tkxComFalcon.h"
#include "tkx/tkxComUSB.h"
#include "tkx/tkxTime.h"
#include "tkx/tkxUSB.h"
#include "tkx/virtual/tkxVirtualFalcon.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

namespace virt = tkx::virt;

void Hung(int) {
  static const char text[] = "watchdog: the test hung\n";
  (void)!write(2, text, sizeof text - 1);
  _exit(124);
}

std::atomic<int> pauses{0};
void CountPause(double) { ++pauses; }

// the virtual Falcon behind the emulated device's endpoints
class FalconUsb : public usbmock::UsbFunction {
 public:
  explicit FalconUsb(std::shared_ptr<virt::Falcon> falcon) : falcon_(std::move(falcon)) {}

  int Out(int, const unsigned char *data, int length) override {
    return Status(falcon_->Write(data, length, tkx::GetTimeMonotonic()));
  }
  bool In(int, int capacity, std::vector<unsigned char> *reply, int *status) override {
    reply->assign(static_cast<size_t>(capacity), 0);
    int n = 0;
    *status = Status(falcon_->Read(reply->data(), capacity, &n, tkx::GetTimeMonotonic()));
    reply->resize(*status == 0 ? static_cast<size_t>(n) : 0);
    return true;
  }
  int Control(const usbmock::ControlRequest &r, std::vector<unsigned char> *, int *count) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(r);
    }
    *count = 0;
    return Status(falcon_->Control(r.requestType, r.request, r.value, r.index, r.length, tkx::GetTimeMonotonic()));
  }
  void ClearHalt(int) override { falcon_->ClearHalt(); }
  bool Gone() override { return falcon_->IsUnplugged(); }

  std::vector<usbmock::ControlRequest> Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  static int Status(virt::Transfer t) {
    switch (t) {
      case virt::Transfer::Ok:
        return 0;
      case virt::Transfer::Stall:
        return -EPIPE;
      case virt::Transfer::NoDevice:
        return -ESHUTDOWN;
      default:
        return -EILSEQ;
    }
  }
  std::shared_ptr<virt::Falcon> falcon_;
  mutable std::mutex mutex_;
  std::vector<usbmock::ControlRequest> requests_;
};

class FalconUmockdev : public ::testing::Test {
 protected:
  void SetUp() override {
    std::signal(SIGALRM, &Hung);
    alarm(50);
    unsetenv("TKX_VIRTUAL_DEVICES");
    unsetenv("TKX_FALCON_FIRMWARE");
    tkx::testing::SetControlPause(&CountPause);
    pauses = 0;
    tkxComFalcon::ReleaseDevices();
    tkxUSBCleanup(0, 0);
    host_ = std::make_unique<usbmock::UmockdevHost>();
    ASSERT_TRUE(host_->Active()) << "run this test under umockdev-wrapper";
    falcon_ = std::make_shared<virt::Falcon>();
    fn_ = std::make_shared<FalconUsb>(falcon_);
    device_ = &host_->Add(TKX_FALCON_VENDOR_ID, TKX_FALCON_PRODUCT_ID, fn_);
  }
  void TearDown() override {
    com_.reset();
    tkxComFalcon::ReleaseDevices();
    tkxUSBCleanup(0, 0);
    host_.reset();
    tkx::testing::SetControlPause(nullptr);
    alarm(0);
  }

  std::unique_ptr<usbmock::UmockdevHost> host_;
  std::shared_ptr<virt::Falcon> falcon_;
  std::shared_ptr<FalconUsb> fn_;
  usbmock::UsbDevice *device_ = nullptr;
  std::unique_ptr<tkxComFalcon> com_;
};

TEST_F(FalconUmockdev, ControlRequestsAndOneUploadThenFrames) {
  com_ = std::make_unique<tkxComFalcon>();
  ASSERT_EQ(tkxComFalcon::GetDeviceCount(), 1);
  const double start = tkx::GetTimeMonotonic();
  ASSERT_EQ(com_->Open(0), 0);
  std::printf("open through libusb with its upload: %.3f s (control pauses not slept)\n",
              tkx::GetTimeMonotonic() - start);
  EXPECT_EQ(falcon_->Uploads(), 1);
  EXPECT_EQ(falcon_->GetStage(), virt::Falcon::Stage::Running);

  struct Want {
    int request, value;
  };
  const Want want[] = {{0, 1},      {0, 2},      {9, 16},     {3, 0x4138}, {4, 8}, {2, 0}, {1, 0x0200},
                       {1, 0x0100}, {1, 0x0101}, {1, 0x0100}, {3, 21},     {9, 1}, {3, 2}};
  const auto got = fn_->Requests();
  ASSERT_EQ(got.size(), sizeof want / sizeof want[0]);
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].requestType, 0x40) << i;
    EXPECT_EQ(got[i].request, want[i].request) << i;
    EXPECT_EQ(got[i].value, want[i].value) << i;
    EXPECT_EQ(got[i].index, 0) << i;
    EXPECT_EQ(got[i].length, 0) << i;
  }
  // each successful request is followed by the transport's pause
  EXPECT_EQ(pauses.load(), 13);

  // frames both ways through the asynchronous transfers
  falcon_->Home();
  tkx::Sleep(0.002);
  int e[3] = {9, 9, 9};
  EXPECT_EQ(com_->GetTransEnc(&e[0], &e[1], &e[2], nullptr), 0);
  EXPECT_TRUE(com_->Homed());
  EXPECT_EQ(com_->SetTransMot(100, -200, 300), 0);
  EXPECT_EQ(falcon_->Motor(0), 100);
  EXPECT_EQ(falcon_->Motor(1), -200);
  EXPECT_EQ(falcon_->Motor(2), 300);
}

TEST_F(FalconUmockdev, StalledUploadFailsItsStepAndIsClearedForTheNext) {
  com_ = std::make_unique<tkxComFalcon>();
  ASSERT_EQ(com_->Open(0), 0);
  falcon_->StallAfter(300);
  const auto &image = tkxComFalcon::PlaceholderFirmware();
  EXPECT_EQ(com_->WriteFirmware(image.data(), static_cast<int>(image.size())), -17);
  falcon_->StallAfter(-1);
  EXPECT_EQ(com_->WriteFirmware(image.data(), static_cast<int>(image.size())), 0);
  EXPECT_EQ(falcon_->Uploads(), 2);
}

// both classes' records live in one library context: the last to let go ends it
TEST_F(FalconUmockdev, ReleasingTheMakersDevicesLeavesTheOpenFalconWorking) {
  host_->AddScripted(TKX_USB_VENDOR_ID, TKX_USB_PRODUCT_ID);
  com_ = std::make_unique<tkxComFalcon>();
  ASSERT_EQ(com_->Open(0), 0);
  {
    tkxComUSB usb;
    EXPECT_EQ(tkxComUSB::GetDeviceCount(), 1);
  }
  EXPECT_FALSE(tkxComUSB::Discovered());
  falcon_->Home();
  tkx::Sleep(0.002);
  int e[3] = {0, 0, 0};
  EXPECT_EQ(com_->GetTransEnc(&e[0], &e[1], &e[2], nullptr), 0);
  EXPECT_EQ(com_->SetTransMot(10, 20, 30), 0);
  EXPECT_EQ(falcon_->Motor(2), 30);
}

}  // namespace
