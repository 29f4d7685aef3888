// The position, orientation and force operations of an open slot, through the C
// entries, against virtual devices. The library clock runs on a test clock that
// moves only when a case says so, which makes the time-guard cache, the velocity
// window and the reset wait deterministic.
#include "support/VirtualBusTest.h"

#include "tkx/tkx.h"

#include "tkx/tkxComUSBPacket.h"
#include "tkx/tkxGripper.h"
#include "tkx/tkxPincher.h"
#include "tkx/tkxRotator.h"
#include "tkx/tkxStylus.h"
#include "tkx/tkxTime.h"
#include "tkx/tkxTrion.h"
#include "tkx/tkxTypes.h"
#include "tkx/tkxUSB.h"
#include "tkx/tkxWrist.h"
#include "tkx/tkxc.h"
#include "tkx/virtual/tkxVirtualBus.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <ctime>
#include <functional>
#include <memory>
#include <vector>

using tkx::virt::Device;

namespace {

// ---- the test clock ----

std::atomic<double> clockNow{0.0};
std::atomic<int> sleeps{0};
std::function<void()> onSleep;

double TestClock() { return clockNow.load(); }

int TestSleep(const timespec *d) {
  clockNow.store(clockNow.load() + static_cast<double>(d->tv_sec) + d->tv_nsec * 1e-9);
  ++sleeps;
  if (onSleep) onSleep();
  return 0;
}

double SystemNow() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

void Advance(double seconds) { clockNow.store(clockNow.load() + seconds); }

// ---- models for the parts the library does not build yet ----

// a wrist with linear conversions: 1 mrad per count about the rest position
class LinearWrist : public tkxRotator {
 public:
  int SetConfig(int) override { return 0; }
  int ConfigFromFile(std::ifstream &) override { return 0; }
  int ConfigToFile(std::ofstream &) override { return 0; }
  int ConfigFromMemory(tkxCom *) override { return 0; }
  int ConfigToMemory(tkxCom *) override { return 0; }
  int Calibrate(tkxCom *) override { return 0; }
  double GetParam(int) override { return 0.0; }
  const char *GetParamName(int) override { return "undefined"; }
  int SetParam(int, double) override { return 0; }
  int EncToRot(int e0, int e1, int e2, double *a, double *b, double *g) override {
    *a = Angle(e0), *b = Angle(e1), *g = Angle(e2);
    return 0;
  }
  // a turn about z by the first angle
  int EncToMatrix(int e0, int, int, double R[3][3]) override {
    const double c = std::cos(Angle(e0)), s = std::sin(Angle(e0));
    const double M[3][3] = {{c, -s, 0}, {s, c, 0}, {0, 0, 1}};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) R[i][j] = M[i][j];
    return 0;
  }
  int TrqToMot(double t0, double t1, double t2, int, int, int, short *m0, short *m1, short *m2) override {
    *m0 = static_cast<short>(t0 * 1000), *m1 = static_cast<short>(t1 * 1000), *m2 = static_cast<short>(t2 * 1000);
    return 0;
  }
  static double Angle(int e) { return (e - 32768) * 0.001; }
};

// a gripper whose thumb sits 1 cm along the wrist's y axis and whose finger
// opens with the gripper angle
class LinearGripper : public tkxGripper {
 public:
  int SetConfig(int) override { return 0; }
  int ConfigFromFile(std::ifstream &) override { return 0; }
  int ConfigToFile(std::ofstream &) override { return 0; }
  int ConfigFromMemory(tkxCom *) override { return 0; }
  int ConfigToMemory(tkxCom *) override { return 0; }
  int Calibrate(tkxCom *) override { return 0; }
  double GetParam(int) override { return 0.0; }
  const char *GetParamName(int) override { return "undefined"; }
  int SetParam(int, double) override { return 0; }
  int EncToRot(int enc, double *angle) override { return *angle = (enc - 32768) * 0.001, 0; }
  int FrcToMot(double f, short *m) override { return *m = static_cast<short>(f * 100), 0; }
  int TrqToMot(double t, short *m) override { return *m = static_cast<short>(t * 200), 0; }
  int EncToThumb(double R[3][3], double *x, double *y, double *z) override { return Along(R, 0.01, x, y, z); }
  int EncToFinger(int enc, double R[3][3], double *x, double *y, double *z) override {
    return Along(R, -0.01 - 0.02 * (enc - 32768) * 0.001, x, y, z);
  }
  static int Along(double R[3][3], double d, double *x, double *y, double *z) {
    *x = R[0][1] * d, *y = R[1][1] * d, *z = R[2][1] * d;
    return 0;
  }
};

// the library's own channel and translator, with the two models above
class WithWristAndGripper : public tkxDeviceFactory {
 public:
  std::unique_ptr<tkxRotator> NewRotator(tkxRotatorKind, double) override { return std::make_unique<LinearWrist>(); }
  std::unique_ptr<tkxGripper> NewGripper() override { return std::make_unique<LinearGripper>(); }
};

// ---- fixture ----

class Pipeline : public bustest::VirtualBusTest {
 protected:
  void SetUp() override {
    clockNow.store(SystemNow());
    sleeps = 0;
    tkx::testing::SetRawClock(&TestClock);
    tkx::testing::SetSleepFunction(&TestSleep);
    // answered at once: a paced bus would sleep on the test clock
    rate_ = tkx::virt::testing::Rate();
    tkx::virt::testing::SetRate(0);
    VirtualBusTest::SetUp();
    tkxEnableExpertMode();
  }
  void TearDown() override {
    for (signed char id = 0; id < 4; ++id) tkxClose(id);
    tkxDisableExpertMode();
    VirtualBusTest::TearDown();
    TKX::SetFactory(nullptr);
    tkxGetDeviceCount();
    tkxSetDevice(0);
    onSleep = nullptr;
    tkx::virt::testing::SetRate(rate_);
    tkx::testing::SetSleepFunction(nullptr);
    tkx::testing::SetRawClock(nullptr);
  }

  // a new virtual device opened into slot 0 with its encoders at a pose in reach;
  // setting them takes the channels over from any simulated mechanism
  std::shared_ptr<Device> Open(int code) {
    auto dev = Plug(code);
    tkxGetDeviceCount();
    EXPECT_EQ(tkxOpenID(0), 0);
    const int pose[3] = {30000, 21000, 22000};
    for (int c = 0; c < 3 && c < dev->Channels(); ++c) dev->SetEncoder(c, pose[c]);
    for (int c = 3; c < dev->Channels(); ++c) dev->SetEncoder(c, 32768);
    // an active wrist's legs at their reference lengths
    if (tkx::LookUpReported(code).HasWrist())
      for (int c = 3; c < 6; ++c) dev->SetEncoder(c, static_cast<int>(tkxWrist::DefaultParam(200 + c)));
    Advance(0.001);
    return dev;
  }

  // the slot's own conversion of the encoders the device holds now
  static void Converted(const Device &dev, double p[3]) {
    ASSERT_EQ(tkxTrionEncoderToPosition(dev.Encoder(0), dev.Encoder(1), dev.Encoder(2), &p[0], &p[1], &p[2], 0), 0);
  }
  static void Motors(const Device &dev, double fx, double fy, double fz, short m[3]) {
    ASSERT_EQ(tkxTrionForceToMotor(fx, fy, fz, dev.Encoder(0), dev.Encoder(1), dev.Encoder(2), &m[0], &m[1], &m[2], 0),
              0);
  }
  static int Error() { return *tkxErrnoLocation(); }

  int rate_ = 0;
};

// ---- positions and orientations ----

TEST_F(Pipeline, PositionIsTheTrionConversionOfTheDeviceEncoders) {
  auto dev = Open(63);
  double x = 9, y = 9, z = 9, p[3];
  ASSERT_EQ(tkxGetPosition(&x, &y, &z, 0), 0);
  Converted(*dev, p);
  EXPECT_DOUBLE_EQ(x, p[0]);
  EXPECT_DOUBLE_EQ(y, p[1]);
  EXPECT_DOUBLE_EQ(z, p[2]);
  // a new pose is read once the guard period has passed
  dev->SetEncoder(0, 31000);
  dev->SetEncoder(2, 21000);
  Advance(0.001);
  ASSERT_EQ(tkxGetPosition(&x, &y, &z, -1), 0);
  Converted(*dev, p);
  EXPECT_DOUBLE_EQ(x, p[0]);
  EXPECT_DOUBLE_EQ(y, p[1]);
  EXPECT_DOUBLE_EQ(z, p[2]);
  // the combined reads and the frame agree with it; no wrist gives no angles
  double a = 9, b = 9, g = 9, R[3][3];
  double x2, y2, z2;
  EXPECT_GE(tkxGetPositionAndOrientationDeg(&x2, &y2, &z2, &a, &b, &g, 0), 0);
  EXPECT_EQ(x2, x);
  EXPECT_EQ(a + b + g, 0.0);
  EXPECT_GE(tkxGetPositionAndOrientationFrame(&x2, &y2, &z2, R, 0), 0);
  EXPECT_EQ(z2, z);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_EQ(R[i][j], i == j ? 1.0 : 0.0);
  // the trion answers its Jacobian without filling it
  double J[3][3];
  EXPECT_EQ(tkxGetJacobian(J, 0), 0);
  EXPECT_EQ(J[1][1], 0.0);
  // without a gripper the thumb and finger are the effector itself
  EXPECT_EQ(tkxGetGripperThumbPos(&x2, &y2, &z2, 0), 0);
  EXPECT_EQ(y2, y);
  EXPECT_EQ(tkxGetGripperFingerPos(&x2, &y2, &z2, 0), 0);
  EXPECT_EQ(x2, x);
}

// ---- the time-guard cache ----

TEST_F(Pipeline, SecondReadWithinTheGuardPeriodIsAnsweredFromTheCache) {
  auto dev = Open(63);
  double x, y, z, a, b, g;
  ASSERT_EQ(tkxGetPositionAndOrientationRad(&x, &y, &z, &a, &b, &g, 0), 0);
  const uint64_t exchanges = dev->Exchanges();
  Advance(0.0004);
  EXPECT_EQ(tkxGetPositionAndOrientationRad(&x, &y, &z, &a, &b, &g, 0), 1);
  // a plain position read never reports the flag, but is served the same way
  EXPECT_EQ(tkxGetPosition(&x, &y, &z, 0), 0);
  EXPECT_EQ(dev->Exchanges(), exchanges);
  Advance(0.0002);
  EXPECT_EQ(tkxGetPositionAndOrientationRad(&x, &y, &z, &a, &b, &g, 0), 0);
  EXPECT_EQ(dev->Exchanges(), exchanges + 1);
  // with the guard off every read goes to the device
  ASSERT_EQ(tkxSetTimeGuard(0, 0), 0);
  EXPECT_EQ(tkxGetPositionAndOrientationRad(&x, &y, &z, &a, &b, &g, 0), 0);
  EXPECT_EQ(tkxGetPositionAndOrientationRad(&x, &y, &z, &a, &b, &g, 0), 0);
  EXPECT_EQ(dev->Exchanges(), exchanges + 3);
}

TEST_F(Pipeline, CombinedReadOfAWristMakesOneExchange) {
  auto dev = Open(61);
  Advance(0.001);
  const uint64_t exchanges = dev->Exchanges();
  double x, y, z, a, b, g;
  // the position part is served by the exchange the orientation part just made
  EXPECT_EQ(tkxGetPositionAndOrientationRad(&x, &y, &z, &a, &b, &g, 0), 1);
  EXPECT_EQ(dev->Exchanges(), exchanges + 1);
  EXPECT_NEAR(a, 0.0, 1e-9);
}

TEST_F(Pipeline, MotorCommandReplyRefreshesTheCache) {
  auto dev = Open(63);
  double x, y, z;
  ASSERT_GE(tkxSetForce(0, 0, 0, 0), 0);
  const uint64_t exchanges = dev->Exchanges();
  // the step's next read uses the encoders that came back with the command
  ASSERT_EQ(tkxGetPosition(&x, &y, &z, 0), 0);
  EXPECT_EQ(dev->Exchanges(), exchanges);
}

// only a read that succeeded fills the cache: after a failed one the next read
// asks the device again, however soon it follows
TEST_F(Pipeline, FailedReadLeavesNothingForTheCacheToAnswer) {
  auto dev = Open(63);
  double x = 7, y = 7, z = 7, a, b, g, p[3];
  // the encoders, right after the open
  dev->DropReplies(1);
  EXPECT_EQ(tkxGetPositionAndOrientationRad(&x, &y, &z, &a, &b, &g, 0), -1);
  EXPECT_EQ(Error(), TKX_ERR_COMMUNICATION);
  Advance(0.0001);
  EXPECT_EQ(tkxGetPositionAndOrientationRad(&x, &y, &z, &a, &b, &g, 0), 0);
  Converted(*dev, p);
  EXPECT_DOUBLE_EQ(x, p[0]);
  EXPECT_DOUBLE_EQ(y, p[1]);
  EXPECT_DOUBLE_EQ(z, p[2]);
  // the status byte
  Advance(0.003);
  int s[TKX_STATUS_COUNT];
  dev->DropReplies(1);
  EXPECT_EQ(tkxGetStatus(s, 0), -1);
  Advance(0.0001);
  uint64_t exchanges = dev->Exchanges();
  EXPECT_EQ(tkxGetStatus(s, 0), 0);
  EXPECT_EQ(dev->Exchanges(), exchanges + 1);
  // the button byte, with its own 2 ms period
  Advance(0.003);
  dev->SetButtons(0x04);
  dev->DropReplies(1);
  *tkxErrnoLocation() = 0;
  EXPECT_EQ(tkxGetButton(2, 0), 0);
  EXPECT_EQ(Error(), TKX_ERR_COMMUNICATION);
  Advance(0.0001);
  exchanges = dev->Exchanges();
  EXPECT_EQ(tkxGetButton(2, 0), 4);
  EXPECT_EQ(dev->Exchanges(), exchanges + 1);
  // an unplugged device fails every read, never answered from the cache
  Advance(0.003);
  dev->Unplug();
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(tkxGetPositionAndOrientationRad(&x, &y, &z, &a, &b, &g, 0), -1);
    EXPECT_EQ(tkxGetStatus(s, 0), -1);
    Advance(0.0001);
  }
}

// ---- velocity ----

TEST_F(Pipeline, VelocityComesFromThePositionsReadWithTheirEncoderTimes) {
  auto dev = Open(63);
  const double step = 0.0013;
  std::vector<double> px, times;
  double x, y, z;
  for (int k = 0; k <= 30; ++k) {
    dev->SetEncoder(0, 30000 + 20 * k);
    Advance(step);
    ASSERT_EQ(tkxGetPosition(&x, &y, &z, 0), 0);
    px.push_back(x);
    times.push_back(tkxGetTime());
  }
  double vx = 0, vy = 0, vz = 0;
  // answered at the same instant: no new sample, only the estimate over 20 ms
  ASSERT_EQ(tkxGetLinearVelocity(&vx, &vy, &vz, 0), 0);
  // the newest sample and the newest one older than the window (k = 14)
  const double expected = (px[30] - px[14]) / (times[30] - times[14]);
  EXPECT_NE(expected, 0.0);
  EXPECT_NEAR(vx, expected, std::fabs(expected) * 1e-9);
  // held still for less than the window, the device still reports motion
  for (int k = 0; k < 5; ++k) {
    Advance(step);
    ASSERT_EQ(tkxGetPosition(&x, &y, &z, 0), 0);
  }
  ASSERT_EQ(tkxGetLinearVelocity(&vx, &vy, &vz, 0), 0);
  EXPECT_NE(vx, 0.0);
}

TEST_F(Pipeline, ConfiguredWindowIsGivenInMilliseconds) {
  auto dev = Open(63);
  // 5 ms at 1000 samples per second
  ASSERT_EQ(tkxConfigLinearVelocity(5, 1000, 0), 0);
  double x, y, z, vx = 1, vy = 1, vz = 1;
  for (int k = 0; k <= 10; ++k) {
    dev->SetEncoder(1, 21000 + 20 * k);
    Advance(0.0013);
    ASSERT_EQ(tkxGetPosition(&x, &y, &z, 0), 0);
  }
  ASSERT_EQ(tkxGetLinearVelocity(&vx, &vy, &vz, 0), 0);
  EXPECT_NE(vy, 0.0);
  // still for 6.5 ms: the whole window holds one position
  for (int k = 0; k < 5; ++k) {
    Advance(0.0013);
    ASSERT_EQ(tkxGetPosition(&x, &y, &z, 0), 0);
  }
  ASSERT_EQ(tkxGetLinearVelocity(&vx, &vy, &vz, 0), 0);
  EXPECT_EQ(vx, 0.0);
  EXPECT_EQ(vy, 0.0);
  EXPECT_EQ(vz, 0.0);
}

// ---- forces and motor commands ----

TEST_F(Pipeline, ForceIsSentAsTheTrionMotorCommand) {
  auto dev = Open(63);
  const uint64_t commands = dev->MotorCommands();
  short m[3];
  Motors(*dev, 0.5, -0.25, 1.0, m);
  ASSERT_EQ(tkxSetForce(0.5, -0.25, 1.0, 0), 0);
  EXPECT_EQ(dev->MotorCommands(), commands + 1);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(dev->Motor(c), m[c]) << c;
}

TEST_F(Pipeline, ForceAndGripperForceSendTheTranslationMotorsAloneWithoutAGripper) {
  // a polux.3 and a polux.6: a trion alone and a trion with a stylus
  for (int code : {33, 34}) {
    SCOPED_TRACE(code);
    auto dev = Open(code);
    double x, y, z;
    ASSERT_EQ(tkxGetPosition(&x, &y, &z, 0), 0);
    dev->RecordPackets(true);
    short m[3];
    Motors(*dev, 1, 0, 0, m);
    ASSERT_GE(tkxSetForceAndGripperForce(1, 0, 0, 2.0, 0), 0);
    ASSERT_GE(tkxSetForceAndGripperTorque(1, 0, 0, 2.0, 0), 0);
    const auto packets = dev->Packets();
    ASSERT_EQ(packets.size(), 2u);
    for (const auto &p : packets) {
      EXPECT_EQ(p[0], tkx::usb::kSetMotMask);
      EXPECT_EQ(p[1], 0x07);
    }
    for (int c = 0; c < 3; ++c) EXPECT_EQ(dev->Motor(c), m[c]);
    EXPECT_EQ(dev->Motor(3), 0);
    // the gripper alone has nothing to command
    *tkxErrnoLocation() = 77;
    EXPECT_EQ(tkxSetGripperForce(1.0, 0), -1);
    EXPECT_EQ(tkxSetGripperTorque(1.0, 0), -1);
    EXPECT_EQ(Error(), 77);
    tkxClose(0);
    tkx::virt::UnplugAll();
    tkx::virt::Rescan();
  }
}

TEST_F(Pipeline, ForceAndTorqueOnAStylusAppliesTheForceOnly) {
  auto dev = Open(34);
  short m[3];
  Motors(*dev, 0, 1, 0, m);
  const uint64_t commands = dev->MotorCommands();
  const int r = tkxSetForceAndTorque(0, 1, 0, 0.1, 0.2, 0.3, 0);
  EXPECT_TRUE(r == 0 || r == 1) << r;
  EXPECT_EQ(dev->MotorCommands(), commands + 1);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(dev->Motor(c), m[c]);
}

// ---- force read-back and status ----

TEST_F(Pipeline, ForceReadBackFollowsTheForceOutputBit) {
  auto dev = Open(63);
  ASSERT_GE(tkxSetForce(0.1, 0.2, 0.3, 0), 0);
  double fx = 9, fy = 9, fz = 9;
  dev->SetStatus(0x05);
  Advance(0.001);
  ASSERT_EQ(tkxGetForce(&fx, &fy, &fz, 0), 0);
  EXPECT_EQ(fx, 0.1);
  EXPECT_EQ(fy, 0.2);
  EXPECT_EQ(fz, 0.3);
  dev->SetStatus(0x04);
  Advance(0.001);
  ASSERT_EQ(tkxGetForce(&fx, &fy, &fz, 0), 0);
  EXPECT_EQ(fx + fy + fz, 0.0);
  // the value is remembered once converted, even when its command is lost
  double x, y, z;
  ASSERT_EQ(tkxGetPosition(&x, &y, &z, 0), 0);
  dev->SetStatus(0x05);
  dev->DropReplies(1);
  EXPECT_EQ(tkxSetForce(0.4, 0.5, 0.6, 0), -1);
  EXPECT_EQ(Error(), TKX_ERR_COMMUNICATION);
  Advance(0.001);
  ASSERT_EQ(tkxGetForce(&fx, &fy, &fz, 0), 0);
  EXPECT_EQ(fx, 0.4);
  EXPECT_EQ(fz, 0.6);
}

TEST_F(Pipeline, StatusArrayMapsTheStatusByte) {
  auto dev = Open(63);
  int s[13];
  // bits 0, 1, 3, 5, 7 set; encoders not valid
  dev->SetStatus(0xAB);
  Advance(0.001);
  ASSERT_EQ(tkxGetStatus(s, 0), 0);
  const int first[13] = {1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 1, 1, 1};
  for (int i = 0; i < 13; ++i) EXPECT_EQ(s[i], first[i]) << i;
  // the complement: bits 2, 4, 6; compensation and guard off
  dev->SetStatus(0x54);
  ASSERT_EQ(tkxSetGravityCompensation(0, 0), 0);
  ASSERT_EQ(tkxSetTimeGuard(0, 0), 0);
  ASSERT_EQ(tkxGetStatus(s, 0), 0);
  const int second[13] = {1, 1, 1, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0};
  for (int i = 0; i < 13; ++i) EXPECT_EQ(s[i], second[i]) << i;
}

TEST_F(Pipeline, Type64ReportsTorqueOutputWithTheForceOutput) {
  auto dev = Open(64);
  int s[13];
  dev->SetStatus(0x05);
  Advance(0.001);
  ASSERT_EQ(tkxGetStatus(s, 0), 0);
  EXPECT_EQ(s[7], 1);
  EXPECT_EQ(s[8], 1);
  // the torque is remembered with the force even where no wrist model applies it
  ASSERT_GE(tkxSetForceAndTorque(0, 0, 0.5, 0.01, 0.02, 0.03, 0), 0);
  double ta = 9, tb = 9, tg = 9;
  ASSERT_EQ(tkxGetTorque(&ta, &tb, &tg, 0), 0);
  EXPECT_EQ(ta, 0.01);
  EXPECT_EQ(tg, 0.03);
  double f[3], t[3];
  ASSERT_EQ(tkxGetForceAndTorque(&f[0], &f[1], &f[2], &t[0], &t[1], &t[2], 0), 0);
  EXPECT_EQ(f[2], 0.5);
  EXPECT_EQ(t[1], 0.02);
  dev->SetStatus(0x24);
  Advance(0.001);
  ASSERT_EQ(tkxGetStatus(s, 0), 0);
  EXPECT_EQ(s[7], 0);
  EXPECT_EQ(s[8], 1);
  ASSERT_EQ(tkxGetTorque(&ta, &tb, &tg, 0), 0);
  EXPECT_EQ(ta + tb + tg, 0.0);
}

// ---- buttons ----

TEST_F(Pipeline, ButtonReadsAsItsBitValue) {
  auto dev = Open(61);
  dev->SetButtons(0x04);
  Advance(0.003);
  EXPECT_EQ(tkxGetButton(2, 0), 4);
  EXPECT_EQ(tkxGetButton(0, 0), 0);
  EXPECT_EQ(tkxGetButton(8, 0), 0);
  EXPECT_EQ(tkxGetButton(-1, 0), 0);
  dev->SetButtons(0x81);
  Advance(0.003);
  EXPECT_EQ(tkxGetButton(7, 0), 0x80);
  EXPECT_EQ(tkxGetButton(0, 0), 1);
  // a failed read is no press
  dev->Unplug();
  Advance(0.003);
  EXPECT_EQ(tkxGetButton(0, 0), 0);
  EXPECT_EQ(Error(), TKX_ERR_COMMUNICATION);
}

// ---- gravity, effector mass and device angle ----

TEST_F(Pipeline, GravityCompensationFadesOverAQuarterSecond) {
  auto dev = Open(63);
  short on[3], off[3];
  Motors(*dev, 0, 0, 0, on);
  ASSERT_EQ(tkxSetGravityCompensation(0, 0), 0);
  Advance(0.125);
  ASSERT_GE(tkxSetForce(0, 0, 0, 0), 0);
  const short half = dev->Motor(0);
  Advance(0.2);
  ASSERT_GE(tkxSetForce(0, 0, 0, 0), 0);
  for (int c = 0; c < 3; ++c) off[c] = dev->Motor(c);
  EXPECT_NE(off[0], on[0]);
  EXPECT_TRUE((half > std::min(on[0], off[0]) && half < std::max(on[0], off[0]))) << half;
  // anything but 1 is off; 1 fades it back
  ASSERT_EQ(tkxSetGravityCompensation(2, 0), 0);
  ASSERT_EQ(tkxSetGravityCompensation(1, 0), 0);
  Advance(0.3);
  ASSERT_GE(tkxSetForce(0, 0, 0, 0), 0);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(dev->Motor(c), on[c]);
}

TEST_F(Pipeline, EffectorMassActsAsAnUpwardForce) {
  auto dev = Open(63);
  double m0 = 0;
  ASSERT_EQ(tkxGetEffectorMass(&m0, 0), 0);
  ASSERT_EQ(tkxSetEffectorMass(0.5, 0), 0);
  double m = 0;
  ASSERT_EQ(tkxGetEffectorMass(&m, 0), 0);
  EXPECT_DOUBLE_EQ(m, 0.5);
  ASSERT_GE(tkxSetForce(0, 0, 0, 0), 0);
  short heavy[3];
  for (int c = 0; c < 3; ++c) heavy[c] = dev->Motor(c);
  // the compensation of the extra mass is the force m·g up
  ASSERT_EQ(tkxSetEffectorMass(m0, 0), 0);
  ASSERT_GE(tkxSetForce(0, 0, (0.5 - m0) * 9.81, 0), 0);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(dev->Motor(c), heavy[c], 1) << c;
  // without gravity the mass weighs nothing
  ASSERT_EQ(tkxSetStandardGravity(0.0, 0), 0);
  ASSERT_GE(tkxSetForce(0, 0, 0, 0), 0);
  const short light = dev->Motor(0);
  ASSERT_EQ(tkxSetEffectorMass(2.0, 0), 0);
  ASSERT_GE(tkxSetForce(0, 0, 0, 0), 0);
  EXPECT_EQ(dev->Motor(0), light);
}

TEST_F(Pipeline, DeviceAngleTurnsThePositionAboutTheVerticalAxis) {
  Open(63);
  double a = 9;
  ASSERT_EQ(tkxGetDeviceAngleRad(&a, 0), 0);
  EXPECT_EQ(a, 0.0);
  double x0, y0, z0;
  ASSERT_EQ(tkxGetPosition(&x0, &y0, &z0, 0), 0);
  ASSERT_EQ(tkxSetDeviceAngleDeg(30.0, 0), 0);
  ASSERT_EQ(tkxGetDeviceAngleRad(&a, 0), 0);
  EXPECT_DOUBLE_EQ(a, M_PI / 6);
  ASSERT_EQ(tkxGetDeviceAngleDeg(&a, 0), 0);
  EXPECT_DOUBLE_EQ(a, 30.0);
  double x, y, z;
  Advance(0.001);
  ASSERT_EQ(tkxGetPosition(&x, &y, &z, 0), 0);
  EXPECT_DOUBLE_EQ(y, y0);
  EXPECT_NEAR(x * x + z * z, x0 * x0 + z0 * z0, 1e-12);
  EXPECT_GT(std::fabs(x - x0) + std::fabs(z - z0), 1e-4);
  ASSERT_EQ(tkxSetDeviceAngleRad(0.0, 0), 0);
  Advance(0.001);
  ASSERT_EQ(tkxGetPosition(&x, &y, &z, 0), 0);
  EXPECT_NEAR(x, x0, 1e-12);
  EXPECT_NEAR(z, z0, 1e-12);
}

// ---- brakes, stop and reset ----

TEST_F(Pipeline, StopSendsZeroForceThenBrakes) {
  auto dev = Open(63);
  ASSERT_EQ(tkxSetBrakes(0, 0), 0);
  EXPECT_FALSE(dev->BrakesOn());
  ASSERT_EQ(tkxSetBrakes(1, 0), 0);
  EXPECT_TRUE(dev->BrakesOn());
  ASSERT_EQ(tkxSetBrakes(2, 0), 0);
  EXPECT_FALSE(dev->BrakesOn());
  ASSERT_GE(tkxSetForce(1, 1, 1, 0), 0);
  short zero[3];
  Motors(*dev, 0, 0, 0, zero);
  dev->RecordPackets(true);
  ASSERT_EQ(tkxStop(0), 0);
  const auto packets = dev->Packets();
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(packets[0][0], tkx::usb::kSetTransMot);
  EXPECT_EQ(packets[1][0], tkx::usb::kBrakesOn);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(dev->Motor(c), zero[c]);
  EXPECT_TRUE(dev->BrakesOn());
  // no brakes when the zero force cannot be sent
  tkxClose(0);
  tkx::virt::UnplugAll();
  tkx::virt::Rescan();
  auto controller = Open(81);
  controller->RecordPackets(true);
  EXPECT_EQ(tkxStop(0), -1);
  EXPECT_EQ(Error(), TKX_ERR_NOT_AVAILABLE);
  EXPECT_TRUE(controller->Packets().empty());
}

TEST_F(Pipeline, WaitForResetWaitsForValidEncoders) {
  auto dev = Open(63);
  // valid already: one reset, no wait
  ASSERT_EQ(tkxWaitForReset(1000, 0), 0);
  EXPECT_EQ(dev->Resets(), 1);
  EXPECT_EQ(sleeps, 0);
  // no limit: as long as it takes
  dev->SetStatus(0x00);
  Advance(0.001);
  onSleep = [&] {
    if (sleeps == 5000) dev->SetStatus(0x04);
  };
  const double start = tkxGetTime();
  ASSERT_EQ(tkxWaitForReset(0, 0), 0);
  EXPECT_GE(sleeps, 5000);
  EXPECT_GT(tkxGetTime() - start, 2.0);
  EXPECT_EQ(dev->Resets(), 2);
}

TEST_F(Pipeline, WaitForResetGivesUpAfterItsTimeOut) {
  auto dev = Open(63);
  dev->SetStatus(0x00);
  Advance(0.001);
  const double start = tkxGetTime();
  EXPECT_EQ(tkxWaitForReset(1000, 0), -1);
  EXPECT_EQ(Error(), TKX_ERR_TIMEOUT);
  const double waited = tkxGetTime() - start;
  EXPECT_GT(waited, 1.0);
  EXPECT_LT(waited, 1.01);
  // a lost device ends the wait at once
  dev->Unplug();
  EXPECT_EQ(tkxWaitForReset(0, 0), -1);
  EXPECT_EQ(Error(), TKX_ERR_COMMUNICATION);
}

// ---- missing parts ----

TEST_F(Pipeline, EmptySlotAnswersNoDevice) {
  double v[6], R[3][3];
  int s[13];
  const std::vector<std::function<int()>> ops = {
      [&] { return tkxGetPosition(&v[0], &v[1], &v[2], 3); },
      [&] { return tkxGetOrientationRad(&v[0], &v[1], &v[2], 3); },
      [&] { return tkxGetOrientationDeg(&v[0], &v[1], &v[2], 3); },
      [&] { return tkxGetPositionAndOrientationRad(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], 3); },
      [&] { return tkxGetPositionAndOrientationDeg(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], 3); },
      [&] { return tkxGetOrientationFrame(R, 3); },
      [&] { return tkxGetPositionAndOrientationFrame(&v[0], &v[1], &v[2], R, 3); },
      [&] { return tkxGetJacobian(R, 3); },
      [&] { return tkxGetLinearVelocity(&v[0], &v[1], &v[2], 3); },
      [&] { return tkxGetGripperAngleRad(&v[0], 3); },
      [&] { return tkxGetGripperAngleDeg(&v[0], 3); },
      [&] { return tkxGetGripperThumbPos(&v[0], &v[1], &v[2], 3); },
      [&] { return tkxGetGripperFingerPos(&v[0], &v[1], &v[2], 3); },
      [&] { return tkxSetForce(1, 2, 3, 3); },
      [&] { return tkxGetForce(&v[0], &v[1], &v[2], 3); },
      [&] { return tkxSetTorque(1, 2, 3, 3); },
      [&] { return tkxGetTorque(&v[0], &v[1], &v[2], 3); },
      [&] { return tkxSetForceAndTorque(1, 2, 3, 4, 5, 6, 3); },
      [&] { return tkxGetForceAndTorque(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], 3); },
      [&] { return tkxSetForceAndGripperForce(1, 2, 3, 4, 3); },
      [&] { return tkxSetForceAndGripperTorque(1, 2, 3, 4, 3); },
      [&] { return tkxSetGripperForce(1, 3); },
      [&] { return tkxSetGripperTorque(1, 3); },
      [&] { return tkxGetStatus(s, 3); },
      [&] { return tkxGetButton(0, 3); },
      [&] { return tkxSetGravityCompensation(1, 3); },
      [&] { return tkxSetStandardGravity(9.81, 3); },
      [&] { return tkxSetDeviceAngleRad(0.1, 3); },
      [&] { return tkxSetDeviceAngleDeg(10, 3); },
      [&] { return tkxSetBrakes(1, 3); },
      [&] { return tkxStop(3); },
      [&] { return tkxWaitForReset(0, 3); },
  };
  for (size_t i = 0; i < ops.size(); ++i) {
    for (double &x : v) x = 7;
    *tkxErrnoLocation() = 0;
    EXPECT_EQ(ops[i](), -1) << i;
    EXPECT_EQ(Error(), TKX_ERR_NO_DEVICE) << i;
    for (double x : v) EXPECT_TRUE(x == 0.0 || x == 7.0) << i;
  }
  // the model queries answer for any slot
  double a = 7, m = 7;
  EXPECT_EQ(tkxGetDeviceAngleRad(&a, 3), 0);
  EXPECT_EQ(a, -1.0);
  EXPECT_EQ(tkxGetEffectorMass(&m, 3), 0);
  EXPECT_EQ(m, 0.0);
  EXPECT_EQ(tkxSetEffectorMass(0.5, 3), 0);
  EXPECT_EQ(tkxConfigLinearVelocity(20, 5000, 3), 0);
}

TEST_F(Pipeline, ControllerHasNoTranslator) {
  auto dev = Open(81);
  double x = 7, y = 7, z = 7, a = 7, b = 7, g = 7;
  EXPECT_EQ(tkxGetPosition(&x, &y, &z, 0), -1);
  EXPECT_EQ(Error(), TKX_ERR_NOT_AVAILABLE);
  EXPECT_EQ(x + y + z, 0.0);
  *tkxErrnoLocation() = 0;
  EXPECT_EQ(tkxGetPositionAndOrientationRad(&x, &y, &z, &a, &b, &g, 0), -1);
  EXPECT_EQ(Error(), TKX_ERR_NOT_AVAILABLE);
  *tkxErrnoLocation() = 0;
  EXPECT_EQ(tkxSetForce(1, 0, 0, 0), -1);
  EXPECT_EQ(Error(), TKX_ERR_NOT_AVAILABLE);
  *tkxErrnoLocation() = 0;
  EXPECT_EQ(tkxGetLinearVelocity(&x, &y, &z, 0), -1);
  EXPECT_EQ(Error(), TKX_ERR_NOT_AVAILABLE);
  *tkxErrnoLocation() = 0;
  EXPECT_EQ(tkxSetForceAndGripperForce(1, 0, 0, 1, 0), -1);
  EXPECT_EQ(Error(), TKX_ERR_NOT_AVAILABLE);
  // the translator's settings fail without a reason
  *tkxErrnoLocation() = 77;
  EXPECT_EQ(tkxSetGravityCompensation(1, 0), -1);
  EXPECT_EQ(tkxSetStandardGravity(9.0, 0), -1);
  EXPECT_EQ(tkxSetDeviceAngleRad(0.5, 0), -1);
  EXPECT_EQ(tkxGetGripperFingerPos(&x, &y, &z, 0), -1);
  EXPECT_EQ(Error(), 77);
  EXPECT_EQ(tkxGetDeviceAngleDeg(&a, 0), 0);
  EXPECT_DOUBLE_EQ(a, -180.0 / M_PI);
  // what needs no model still works
  int s[13];
  EXPECT_EQ(tkxGetStatus(s, 0), 0);
  EXPECT_EQ(s[10], 0);
  EXPECT_EQ(dev->MotorCommands(), 0u);
}

TEST_F(Pipeline, Trion3HasNoWrist) {
  Open(63);
  double a = 7, b = 7, g = 7, R[3][3];
  EXPECT_EQ(tkxGetOrientationRad(&a, &b, &g, 0), -1);
  EXPECT_EQ(Error(), TKX_ERR_NOT_AVAILABLE);
  EXPECT_EQ(a + b + g, 0.0);
  *tkxErrnoLocation() = 77;
  EXPECT_EQ(tkxGetOrientationFrame(R, 0), -1);
  EXPECT_EQ(tkxGetGripperAngleDeg(&a, 0), -1);
  EXPECT_EQ(Error(), 77);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_EQ(R[i][j], i == j ? 1.0 : 0.0);
}

TEST_F(Pipeline, TorqueNeedsAnActiveWrist) {
  for (int code : {63, 34, 35}) {
    SCOPED_TRACE(code);
    Open(code);
    double t[3];
    *tkxErrnoLocation() = 0;
    EXPECT_EQ(tkxSetTorque(0.1, 0.1, 0.1, 0), -1);
    EXPECT_EQ(Error(), TKX_ERR_NOT_AVAILABLE);
    *tkxErrnoLocation() = 0;
    EXPECT_EQ(tkxGetTorque(&t[0], &t[1], &t[2], 0), -1);
    EXPECT_EQ(Error(), TKX_ERR_NOT_AVAILABLE);
    tkxClose(0);
    tkx::virt::UnplugAll();
    tkx::virt::Rescan();
  }
  // an active wrist takes it
  Open(61);
  *tkxErrnoLocation() = 0;
  EXPECT_EQ(tkxSetTorque(0.1, 0.1, 0.1, 0), 0);
  EXPECT_EQ(Error(), 0);
}

// ---- raw device access through the expert entries ----

// a null array of motor commands or preset values is refused before the device:
// sending raw 0 drives every motor full reverse, presetting 0 loses the counts
TEST_F(Pipeline, NullInputArraysAreRefusedBeforeTheDevice) {
  auto dev = Open(61);
  std::vector<int32_t> encoders;
  for (int c = 0; c < dev->Channels(); ++c) encoders.push_back(dev->Encoder(c));
  dev->RecordPackets(true);
  for (signed char id : {0, 1}) {
    SCOPED_TRACE(static_cast<int>(id));
    *tkxErrnoLocation() = 0;
    EXPECT_EQ(tkxSetMot(nullptr, 0x3F, id), -1);
    EXPECT_EQ(Error(), TKX_ERR_UNDOCUMENTED);
    *tkxErrnoLocation() = 0;
    EXPECT_EQ(tkxPreset(nullptr, 0x3F, id), -1);
    EXPECT_EQ(Error(), TKX_ERR_UNDOCUMENTED);
  }
  EXPECT_TRUE(dev->Packets().empty());
  for (int c = 0; c < dev->Channels(); ++c) EXPECT_EQ(dev->Encoder(c), encoders[c]) << c;
  // the expert gate still comes first
  tkxDisableExpertMode();
  EXPECT_EQ(tkxSetMot(nullptr, 0x3F, 0), -1);
  EXPECT_EQ(Error(), TKX_ERR_EXPERT_DISABLED);
  tkxEnableExpertMode();
  // with arrays both reach the device
  short motors[8] = {2048, 2048, 2048, 2048, 2048, 2048, 2048, 2048};
  EXPECT_EQ(tkxSetMot(motors, 0x07, 0), 0);
  EXPECT_EQ(dev->Motor(1), 2048);
  int preset[8] = {100, 200, 300, 0, 0, 0, 0, 0};
  EXPECT_EQ(tkxPreset(preset, 0x02, 0), 0);
  EXPECT_EQ(dev->Encoder(1), 200);
  EXPECT_EQ(dev->Encoder(0), encoders[0]);
}

// the channel goes to the device as one byte: one outside 0..7 would reach
// whichever motor its low byte names, or one the device does not have
TEST_F(Pipeline, MotorIndexOutsideTheChannelsIsRefusedBeforeTheDevice) {
  auto dev = Open(61);
  dev->RecordPackets(true);
  for (int index : {8, 256, 259, -1, -256}) {
    SCOPED_TRACE(index);
    *tkxErrnoLocation() = 0;
    EXPECT_EQ(tkxSetMotor(index, 1234, 0), -1);
    EXPECT_EQ(Error(), TKX_ERR_INDEX_RANGE);
    // checked before the slot, as the encoder index is
    EXPECT_EQ(tkxSetMotor(index, 1234, 1), -1);
    EXPECT_EQ(Error(), TKX_ERR_INDEX_RANGE);
  }
  EXPECT_TRUE(dev->Packets().empty());
  for (int c = 0; c < 8; ++c) EXPECT_NE(dev->Motor(c), 1234) << c;
  // the channels themselves are taken
  ASSERT_EQ(tkxSetMotor(0, 1234, 0), 0);
  ASSERT_EQ(tkxSetMotor(7, 1235, 0), 0);
  EXPECT_EQ(dev->Packets().size(), 2u);
  EXPECT_EQ(dev->Motor(0), 1234);
}

// ---- the polux types: the library's own stylus and pincher ----

TEST_F(Pipeline, PoluxReadsGoThroughTheStylusAndThePincher) {
  for (int code : {34, 35, 36, 37}) {
    SCOPED_TRACE(code);
    const tkx::SystemType &type = tkx::LookUpReported(code);
    auto dev = Open(code);
    EXPECT_EQ(tkxIsLeftHanded(0), type.IsLeftHanded());
    // the models as the type table builds them, with the factory calibration
    tkxStylus stylus(type.stylusOffset);
    stylus.SetLeftHanded(type.IsLeftHanded());
    stylus.Update();
    tkxPincher pincher;
    pincher.SetLeftHanded(type.IsLeftHanded());
    // its numbers as device memory holds them, in single precision
    for (int id = tkxPincher::kFirstParam; id <= tkxPincher::kLastParam; ++id)
      pincher.SetParam(id, static_cast<float>(tkxPincher::DefaultParam(id)));
    pincher.Update();
    const int e[4] = {32768 + 150, 32768 - 90, 32768 + 40, 32768 + 3000};
    for (int c = 0; c < 3; ++c) dev->SetEncoder(3 + c, e[c]);
    if (type.HasGripper()) dev->SetEncoder(6, e[3]);
    Advance(0.001);
    double r[3], want[3];
    ASSERT_GE(tkxGetOrientationRad(&r[0], &r[1], &r[2], 0), 0);
    stylus.EncToRot(e[0], e[1], e[2], &want[0], &want[1], &want[2]);
    for (int c = 0; c < 3; ++c) EXPECT_DOUBLE_EQ(r[c], want[c]) << c;
    double R[3][3], W[3][3];
    ASSERT_EQ(tkxGetOrientationFrame(R, 0), 0);
    stylus.EncToMatrix(e[0], e[1], e[2], W);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) EXPECT_DOUBLE_EQ(R[i][j], W[i][j]);
    // the expert conversions answer through the same models
    ASSERT_EQ(tkxWristEncoderToOrientation(e[0], e[1], e[2], &r[0], &r[1], &r[2], 0), 0);
    EXPECT_DOUBLE_EQ(r[1], want[1]);
    double a = 9;
    if (!type.HasGripper()) {
      *tkxErrnoLocation() = 0;
      EXPECT_EQ(tkxGetGripperAngleRad(&a, 0), -1);
      EXPECT_EQ(a, 0.0);
      // without a gripper its points are the effector's
      double p[3], t[3], f[3];
      ASSERT_EQ(tkxGetPosition(&p[0], &p[1], &p[2], 0), 0);
      ASSERT_EQ(tkxGetGripperThumbPos(&t[0], &t[1], &t[2], 0), 0);
      ASSERT_EQ(tkxGetGripperFingerPos(&f[0], &f[1], &f[2], 0), 0);
      for (int c = 0; c < 3; ++c) EXPECT_EQ(t[c], p[c]);
      for (int c = 0; c < 3; ++c) EXPECT_EQ(f[c], p[c]);
      tkxClose(0);
      tkx::virt::UnplugAll();
      continue;
    }
    double wantAngle = 0;
    pincher.EncToRot(e[3], &wantAngle);
    ASSERT_EQ(tkxGetGripperAngleRad(&a, 0), 0);
    EXPECT_DOUBLE_EQ(a, wantAngle);
    ASSERT_EQ(tkxGetGripperAngleDeg(&a, 0), 0);
    EXPECT_DOUBLE_EQ(a, wantAngle * 180 / M_PI);
    ASSERT_EQ(tkxGripperEncoderToOrientation(e[3], &a, 0), 0);
    EXPECT_DOUBLE_EQ(a, wantAngle);
    int enc = 0;
    ASSERT_EQ(tkxGripperOrientationToEncoder(wantAngle, &enc, 0), 0);
    EXPECT_LE(std::abs(enc - e[3]), 1);
    double gap = 9;
    EXPECT_EQ(tkxGripperEncoderToPosition(e[3], &gap, 0), -1);
    EXPECT_EQ(Error(), TKX_ERR_NOT_AVAILABLE);
    // thumb and finger: the effector position plus the model's offsets in the stylus frame
    double p[3], t[3], f[3], dt[3], df[3];
    ASSERT_EQ(tkxGetPosition(&p[0], &p[1], &p[2], 0), 0);
    ASSERT_GE(tkxGetGripperThumbPos(&t[0], &t[1], &t[2], 0), 0);
    ASSERT_GE(tkxGetGripperFingerPos(&f[0], &f[1], &f[2], 0), 0);
    pincher.EncToThumb(W, &dt[0], &dt[1], &dt[2]);
    pincher.EncToFinger(e[3], W, &df[0], &df[1], &df[2]);
    for (int c = 0; c < 3; ++c) {
      EXPECT_DOUBLE_EQ(t[c], p[c] + dt[c]) << c;
      EXPECT_DOUBLE_EQ(f[c], p[c] + df[c]) << c;
    }
    // the gripper force goes to motor 3 as the model commands it, in one packet with the arms
    short m = 0, mt = 0, trq = 0;
    pincher.FrcToMot(1.0, &m);
    pincher.TrqToMot(-0.02, &trq);
    ASSERT_EQ(tkxGripperForceToMotor(1.0, &mt, 0), 0);
    EXPECT_EQ(mt, m);
    dev->RecordPackets(true);
    ASSERT_GE(tkxSetForceAndGripperForce(0, 0, 0.5, 1.0, 0), 0);
    EXPECT_EQ(dev->Motor(3), m);
    ASSERT_EQ(tkxSetGripperTorque(-0.02, 0), 0);
    EXPECT_EQ(dev->Motor(3), trq);
    const auto packets = dev->Packets();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0][1], 0x0F);
    tkxClose(0);
    tkx::virt::UnplugAll();
  }
}

TEST_F(Pipeline, ForceOrGripperValueThatIsNoNumberCommandsNothing) {
  const double nan = std::nan(""), inf = HUGE_VAL;
  for (int code : {35, 37, 33}) {
    SCOPED_TRACE(code);
    auto dev = Open(code);
    ASSERT_GE(tkxSetForceAndGripperForce(0, 0, 0.5, 1.0, 0), 0);
    short before[4];
    for (int c = 0; c < 4; ++c) before[c] = static_cast<short>(dev->Motor(c));
    dev->RecordPackets(true);
    auto refused = [&](int r) {
      EXPECT_EQ(r, -1);
      EXPECT_EQ(Error(), TKX_ERR_GEOMETRY);
      *tkxErrnoLocation() = 0;
    };
    *tkxErrnoLocation() = 0;
    refused(tkxSetForceAndGripperForce(0, 0, 0.5, nan, 0));
    refused(tkxSetForceAndGripperTorque(0, 0, 0.5, -inf, 0));
    refused(tkxSetForceAndGripperForce(nan, 0, 0.5, 1.0, 0));
    refused(tkxSetForceAndGripperTorque(0, inf, 0.5, 0.01, 0));
    if (code != 33) {
      refused(tkxSetGripperForce(nan, 0));
      refused(tkxSetGripperTorque(inf, 0));
      short m = 1;
      refused(tkxGripperForceToMotor(nan, &m, 0));
    }
    EXPECT_TRUE(dev->Packets().empty());
    for (int c = 0; c < 4; ++c) EXPECT_EQ(dev->Motor(c), before[c]) << c;
    tkxClose(0);
    tkx::virt::UnplugAll();
  }
}

// ---- models with a wrist and a gripper ----

class PipelineWithModels : public Pipeline {
 protected:
  void SetUp() override {
    Pipeline::SetUp();
    TKX::SetFactory(&factory);
  }
  WithWristAndGripper factory;
};

TEST_F(PipelineWithModels, OrientationIsTheWristConversion) {
  auto dev = Open(61);
  dev->SetEncoder(3, 32768 + 100);
  dev->SetEncoder(4, 32768 - 200);
  dev->SetEncoder(5, 32768 + 300);
  Advance(0.001);
  double a, b, g;
  ASSERT_EQ(tkxGetOrientationRad(&a, &b, &g, 0), 0);
  EXPECT_DOUBLE_EQ(a, 0.1);
  EXPECT_DOUBLE_EQ(b, -0.2);
  EXPECT_DOUBLE_EQ(g, 0.3);
  EXPECT_EQ(tkxGetOrientationDeg(&a, &b, &g, 0), 1);
  EXPECT_DOUBLE_EQ(b, -0.2 * 180 / M_PI);
  double x, y, z, R[3][3];
  EXPECT_EQ(tkxGetPositionAndOrientationFrame(&x, &y, &z, R, 0), 1);
  EXPECT_DOUBLE_EQ(R[0][0], std::cos(0.1));
  EXPECT_DOUBLE_EQ(R[1][0], std::sin(0.1));
  EXPECT_EQ(tkxGetOrientationFrame(R, 0), 0);
  EXPECT_DOUBLE_EQ(R[0][1], -std::sin(0.1));
}

TEST_F(PipelineWithModels, TorqueGoesToTheWristMotors) {
  auto dev = Open(61);
  ASSERT_EQ(tkxSetTorque(0.1, 0.2, -0.3, 0), 0);
  EXPECT_EQ(dev->Motor(3), 100);
  EXPECT_EQ(dev->Motor(4), 200);
  EXPECT_EQ(dev->Motor(5), -300);
  // read back while the torque output is on: bit 5 on this type
  dev->SetStatus(0x05);
  Advance(0.001);
  double t[3];
  ASSERT_EQ(tkxGetTorque(&t[0], &t[1], &t[2], 0), 0);
  EXPECT_EQ(t[0] + t[1] + t[2], 0.0);
  dev->SetStatus(0x25);
  Advance(0.001);
  ASSERT_EQ(tkxGetTorque(&t[0], &t[1], &t[2], 0), 0);
  EXPECT_EQ(t[2], -0.3);
  // force and torque together: wrist first, then the arms
  double x, y, z;
  ASSERT_EQ(tkxGetPosition(&x, &y, &z, 0), 0);
  dev->RecordPackets(true);
  short m[3];
  Motors(*dev, 0.2, 0, 0, m);
  const int r = tkxSetForceAndTorque(0.2, 0, 0, 0.05, 0, 0, 0);
  EXPECT_TRUE(r == 0 || r == 1) << r;
  const auto packets = dev->Packets();
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(packets[0][0], tkx::usb::kSetRotMot);
  EXPECT_EQ(packets[1][0], tkx::usb::kSetTransMot);
  EXPECT_EQ(dev->Motor(3), 50);
  EXPECT_EQ(dev->Motor(0), m[0]);
}

TEST_F(PipelineWithModels, GripperMotorJoinsTheForceCommand) {
  auto dev = Open(35);
  double x, y, z;
  ASSERT_EQ(tkxGetPosition(&x, &y, &z, 0), 0);
  dev->RecordPackets(true);
  short m[3];
  Motors(*dev, 0, 0, 1, m);
  ASSERT_GE(tkxSetForceAndGripperForce(0, 0, 1, 2.5, 0), 0);
  ASSERT_GE(tkxSetForceAndGripperTorque(0, 0, 1, 0.5, 0), 0);
  auto packets = dev->Packets();
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(packets[0][1], 0x0F);
  EXPECT_EQ(packets[1][1], 0x0F);
  EXPECT_EQ(dev->Motor(3), 100);  // the torque, sent last
  for (int c = 0; c < 3; ++c) EXPECT_EQ(dev->Motor(c), m[c]);
  // the gripper alone goes to motor 3
  ASSERT_EQ(tkxSetGripperForce(1.5, 0), 0);
  EXPECT_EQ(dev->Motor(3), 150);
  ASSERT_EQ(tkxSetGripperTorque(-1.0, 0), 0);
  EXPECT_EQ(dev->Motor(3), -200);
}

// a read that fails on an open device leaves its outputs cleared: never the
// values of an earlier read, nor degrees scaled from something stale
TEST_F(PipelineWithModels, FailedReadsLeaveClearedOutputs) {
  auto dev = Open(35);
  double v[6], R[3][3];
  int s[13];
  // each read past the guard period, so that it asks the device
  auto fill = [&] {
    Advance(0.003);
    for (double &x : v) x = 7;
    for (auto &row : R)
      for (double &x : row) x = 7;
    for (int &x : s) x = 7;
  };
  auto cleared = [&](int n) {
    for (int i = 0; i < n; ++i) EXPECT_EQ(v[i], 0.0) << i;
  };
  dev->Unplug();
  fill();
  EXPECT_EQ(tkxGetPositionAndOrientationDeg(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], 0), -1);
  EXPECT_EQ(Error(), TKX_ERR_COMMUNICATION);
  cleared(6);
  fill();
  EXPECT_EQ(tkxGetOrientationDeg(&v[0], &v[1], &v[2], 0), -1);
  cleared(3);
  fill();
  EXPECT_EQ(tkxGetGripperAngleDeg(&v[0], 0), -1);
  cleared(1);
  fill();
  EXPECT_EQ(tkxGetGripperFingerPos(&v[0], &v[1], &v[2], 0), -1);
  cleared(3);
  fill();
  EXPECT_EQ(tkxGetLinearVelocity(&v[0], &v[1], &v[2], 0), -1);
  cleared(3);
  fill();
  EXPECT_EQ(tkxGetForceAndTorque(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], 0), -1);
  cleared(6);
  fill();
  EXPECT_EQ(tkxGetPositionAndOrientationFrame(&v[0], &v[1], &v[2], R, 0), -1);
  cleared(3);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_EQ(R[i][j], i == j ? 1.0 : 0.0);
  fill();
  EXPECT_EQ(tkxGetStatus(s, 0), -1);
  for (int x : s) EXPECT_EQ(x, 0);
}

TEST_F(PipelineWithModels, ThumbAndFingerAreOffsetInTheWristFrame) {
  auto dev = Open(35);
  dev->SetEncoder(3, 32768 + 500);  // a turn of 0.5 rad about z
  dev->SetEncoder(6, 32768 + 250);  // gripper opened 0.25 rad
  Advance(0.001);
  double a;
  ASSERT_EQ(tkxGetGripperAngleRad(&a, 0), 0);
  EXPECT_DOUBLE_EQ(a, 0.25);
  double x, y, z, tx, ty, tz, fx, fy, fz;
  ASSERT_EQ(tkxGetPosition(&x, &y, &z, 0), 0);
  EXPECT_EQ(tkxGetGripperThumbPos(&tx, &ty, &tz, 0), 1);
  EXPECT_DOUBLE_EQ(tx, x - 0.01 * std::sin(0.5));
  EXPECT_DOUBLE_EQ(ty, y + 0.01 * std::cos(0.5));
  EXPECT_DOUBLE_EQ(tz, z);
  EXPECT_EQ(tkxGetGripperFingerPos(&fx, &fy, &fz, 0), 1);
  const double d = -0.01 - 0.02 * 0.25;
  EXPECT_DOUBLE_EQ(fx, x - d * std::sin(0.5));
  EXPECT_DOUBLE_EQ(fy, y + d * std::cos(0.5));
}

}  // namespace
