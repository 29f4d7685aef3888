// The virtual bus: the device list, discovery through the backend, and the log.
#include "tkx/virtual/tkxVirtualBus.h"

#include "support/VirtualBusTest.h"

#include "tkx/tkxComUSB.h"
#include "tkx/tkxUSB.h"
#include "tkx/virtual/tkxVirtualTrace.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace {

namespace virt = tkx::virt;
using Bytes = std::vector<unsigned char>;

class VirtualBus : public bustest::VirtualBusTest {
 protected:
  void TearDown() override {
    for (void *r : held_) virt::Backend().Release(r);
    VirtualBusTest::TearDown();
  }

  // discovers the bus's devices and releases the records after the test
  int Find(void **records, int room = 4, int vendor = TKX_USB_VENDOR_ID, int product = TKX_USB_PRODUCT_ID) {
    const int n = virt::Backend().Find(records, room, vendor, product, false);
    held_.insert(held_.end(), records, records + std::max(n, 0));
    return n;
  }
  void Release(void *record) {
    held_.erase(std::remove(held_.begin(), held_.end(), record), held_.end());
    EXPECT_EQ(virt::Backend().Release(record), 0);
  }
  // one command and its reply through the backend; the reply's byte count or -1
  static int Exchange(void *record, Bytes cmd, unsigned char *reply) {
    if (virt::Backend().Write(record, virt::kEndpointOut, cmd.data(), static_cast<int>(cmd.size()), false) != 0) {
      return -1;
    }
    return virt::Backend().Read(record, virt::kEndpointIn, reply, 64, false);
  }
  static std::string ReadFile(const std::string &path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::vector<void *> held_;
};

// ---- the device list ----

TEST_F(VirtualBus, DeviceListTakesCodesAndBlankMarks) {
  std::vector<std::string> bad;
  const auto specs = virt::ParseDeviceList(" 61 , 35:blank,3 : blank ,0,255,061,", &bad);
  ASSERT_EQ(specs.size(), 6u);
  const int codes[] = {61, 35, 3, 0, 255, 61};
  const bool blank[] = {false, true, true, false, false, false};
  for (size_t i = 0; i < specs.size(); ++i) {
    EXPECT_EQ(specs[i].code, codes[i]) << i;
    EXPECT_EQ(specs[i].blank, blank[i]) << i;
  }
  EXPECT_TRUE(bad.empty());
  EXPECT_TRUE(virt::ParseDeviceList(nullptr, &bad).empty());
  EXPECT_TRUE(virt::ParseDeviceList("", &bad).empty());
  EXPECT_TRUE(virt::ParseDeviceList(" , ,", &bad).empty());
  EXPECT_TRUE(bad.empty());
}

TEST_F(VirtualBus, MalformedItemsAreCollectedAndSkipped) {
  std::vector<std::string> bad;
  const auto specs = virt::ParseDeviceList("abc, 256,-1,61:blnk , 6 1,:blank,0x10,62,99999999999,61:blank:blank", &bad);
  ASSERT_EQ(specs.size(), 1u);
  EXPECT_EQ(specs[0].code, 62);
  EXPECT_EQ(bad, (std::vector<std::string>{"abc", "256", "-1", "61:blnk", "6 1", ":blank", "0x10", "99999999999",
                                           "61:blank:blank"}));
  // without a collector the good items still come through
  EXPECT_EQ(virt::ParseDeviceList("x,4", nullptr).size(), 1u);
}

TEST_F(VirtualBus, EnvironmentPlugsListedDevicesAndReportsMistakesOnce) {
  setenv("TKX_VIRTUAL_DEVICES", " 63 , 7x, 82:blank", 1);
  unsetenv("TKX_VIRTUAL_LOG");
  ::testing::internal::CaptureStderr();
  virt::testing::ReadEnvironment();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "tkx: TKX_VIRTUAL_DEVICES: ignoring \"7x\"\n");
  unsetenv("TKX_VIRTUAL_DEVICES");
  const auto devices = virt::Devices();
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[0]->Code(), 63);
  EXPECT_EQ(devices[0]->Memory(100, 2), (Bytes{0x01, 0x10}));
  EXPECT_EQ(devices[1]->Code(), 82);
  EXPECT_EQ(devices[1]->Memory(100, 2), (Bytes{0xFF, 0xFF}));
}

// ---- discovery ----

TEST_F(VirtualBus, FindHandsOutBusDevicesInOrder) {
  virt::Plug(61);
  auto blank = virt::Plug(35, true);
  virt::Plug(82);
  void *rec[4] = {};
  EXPECT_EQ(Find(rec, 4, TKX_FALCON_VENDOR_ID), 0);
  EXPECT_EQ(Find(rec, 4, TKX_USB_VENDOR_ID, 0x0302), 0);
  ASSERT_EQ(Find(rec), 3);
  unsigned char reply[64];
  const int codes[] = {61, 35, 82};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(static_cast<tkxUSBRecord *>(rec[i])->backend, &virt::Backend());
    ASSERT_EQ(Exchange(rec[i], {0x51}, reply), 64);
    EXPECT_EQ(reply[0], codes[i]);
  }
  // released records leave their devices on the bus
  for (int i = 0; i < 3; ++i) Release(rec[i]);
  EXPECT_EQ(virt::Devices().size(), 3u);
  // an unplugged device stays on the bus until removed: found, but silent
  blank->Unplug();
  ASSERT_EQ(Find(rec, 2), 2);
  EXPECT_EQ(Exchange(rec[1], {0x51}, reply), -1);
}

TEST_F(VirtualBus, TransfersFollowTheTransportContract) {
  auto dev = virt::Plug(61);
  void *rec[4];
  ASSERT_EQ(Find(rec), 1);
  auto &bus = virt::Backend();
  unsigned char reply[64];
  ASSERT_EQ(Exchange(rec[0], {0x32}, reply), 64);
  EXPECT_EQ(reply[0], 0x86);
  EXPECT_EQ(bus.Read(rec[0], virt::kEndpointIn, reply, 64, true), -1);
  unsigned char cmd[1] = {0x32};
  EXPECT_EQ(bus.Write(rec[0], 0x01, cmd, 1, false), -1);
  EXPECT_EQ(bus.Read(rec[0], 0x81, reply, 64, false), -1);
  dev->Stall();
  EXPECT_EQ(Exchange(rec[0], {0x32}, reply), -1);
  EXPECT_EQ(bus.ClearPipes(rec[0], virt::kEndpointOut, virt::kEndpointIn), 0);
  EXPECT_EQ(Exchange(rec[0], {0x32}, reply), 64);
  EXPECT_EQ(bus.Control(rec[0], 0x40, 1, 0, 0, nullptr, 0), 0);
  EXPECT_EQ(bus.Control(rec[0], 0xC0, 1, 0, 0, reply, 2), -1);
  // emptying the bus unplugs its devices; the record held stays safe to use
  virt::UnplugAll();
  EXPECT_TRUE(virt::Devices().empty());
  EXPECT_TRUE(dev->IsUnplugged());
  EXPECT_EQ(bus.Control(rec[0], 0x40, 1, 0, 0, nullptr, 0), -1);
  EXPECT_EQ(Exchange(rec[0], {0x32}, reply), -1);
  EXPECT_EQ(Find(rec + 1, 3), 0);
}

TEST_F(VirtualBus, RescanLetsTheNextCountSeeNewDevices) {
  virt::Rescan();
  virt::Plug(61);
  virt::Plug(35);
  virt::Rescan();
  EXPECT_EQ(tkxComUSB::GetDeviceCount(), 2);
  virt::Plug(82);
  EXPECT_EQ(tkxComUSB::GetDeviceCount(), 2);
  virt::Rescan();
  EXPECT_EQ(tkxComUSB::GetDeviceCount(), 3);
  virt::Rescan();
}

// ---- the log ----

TEST_F(VirtualBus, LogRecordsEventsRatesAndMotors) {
  const std::string path = ::testing::TempDir() + "tkx_virtual_bus.log";
  std::remove(path.c_str());
  EXPECT_FALSE(virt::testing::StartLog("/nonexistent-dir/x.log"));
  auto dev = virt::Plug(61);
  ASSERT_TRUE(virt::testing::StartLog(path.c_str()));
  void *rec[4];
  ASSERT_EQ(Find(rec), 1);
  unsigned char reply[64];
  dev->DropReplies(1);
  EXPECT_EQ(Exchange(rec[0], {0x32}, reply), -1);
  EXPECT_EQ(Exchange(rec[0], {0x1E, 0, 5, 0xFF, 0xFA, 0, 7}, reply), 64);
  // the log's own thread writes the time-out and, within a second or so, the rate
  const char *rate = "exchanges/s, motors 5 -6 7 0 0 0";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (ReadFile(path).find(rate) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  Release(rec[0]);

  const std::string log = ReadFile(path);
  size_t last = 0;
  for (const char *event : {"found", "opened", "fault injected: drop 1 replies", "time-out answered", rate, "closed"}) {
    const size_t at = log.find(event);
    ASSERT_NE(at, std::string::npos) << event << "\n" << log;
    EXPECT_GE(at, last) << event;
    last = at;
  }
  const std::string who = "device " + std::to_string(dev->Number()) + " (code 61): ";
  const std::regex form(R"(\d+\.\d{6} device \d+ \(code \d+\): .+)");
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_TRUE(std::regex_match(line, form)) << line;
    EXPECT_NE(line.find(who), std::string::npos) << line;
  }
}

// ---- the mechanism in the log ----

TEST_F(VirtualBus, LogShowsTheMechanismOnceASecond) {
  const std::string path = ::testing::TempDir() + "tkx_virtual_mechanism.log";
  std::remove(path.c_str());
  auto dev = virt::Plug(61);
  ASSERT_TRUE(virt::testing::StartLog(path.c_str()));
  void *rec[4];
  ASSERT_EQ(Find(rec), 1);
  unsigned char reply[64];
  for (int i = 0; i < 10; ++i) ASSERT_EQ(Exchange(rec[0], {0x2A}, reply), 64);
  virt::testing::FlushLog(true);
  const std::string log = ReadFile(path);
  const std::regex line(R"(mechanism: effector( -?\d+\.\d{4}){3} m, hand( -?\d+\.\d{4}){3} m, )"
                        R"(motor force( -?\d+\.\d{3}){3} N, (\d+) exchanges)");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(log, m, line)) << log;
  EXPECT_LE(std::stoi(m[4].str()), 10);
}

TEST_F(VirtualBus, LogShowsTheGripperAfterTheMechanism) {
  const std::string path = ::testing::TempDir() + "tkx_virtual_gripper.log";
  std::remove(path.c_str());
  auto dev = virt::Plug(35);
  virt::HandPose h;
  h.gripper = 0.0525 * 0.2;
  dev->SetHand(h);
  dev->Advance(0.1);
  ASSERT_TRUE(virt::testing::StartLog(path.c_str()));
  void *rec[4];
  ASSERT_EQ(Find(rec), 1);
  // force on and 2148 on motor 3
  const Bytes on = {0xA2, 1}, motor = {0x21, 0x08, 0, 0, 0, 0, 0, 0, 0x08, 0x64};
  dev->Write(on.data(), 2, 0.0);
  dev->Write(motor.data(), static_cast<int>(motor.size()), 0.0);
  virt::testing::FlushLog(true);
  const std::string log = ReadFile(path);
  // the readers' prefix as before, the gripper after it
  const std::regex line(R"(mechanism: effector( -?\d+\.\d{4}){3} m, hand( -?\d+\.\d{4}){3} m, )"
                        R"(motor force( -?\d+\.\d{3}){3} N, \d+ exchanges, )"
                        R"(gripper (\d+\.\d{4}) rad \(hand (\d+\.\d{4}) rad\), gripper torque (-?\d+\.\d{3}) N m)");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(log, m, line)) << log;
  EXPECT_NEAR(std::stod(m[4].str()), 0.2, 0.001);
  EXPECT_EQ(m[5].str(), "0.2000");
  // 100 counts over the motor's 4188 counts per N m
  EXPECT_EQ(m[6].str(), "0.024");
}

// ---- the pace ----

double ThreadSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

TEST_F(VirtualBus, ServoExchangesArePacedBySleeping) {
  const int saved = virt::testing::Rate();
  virt::testing::SetRate(1000);
  virt::Plug(61);
  void *rec[4];
  ASSERT_EQ(Find(rec), 1);
  unsigned char reply[64];
  const uint64_t sleeps = virt::testing::PaceSleeps();
  const auto start = std::chrono::steady_clock::now();
  const double cpu = ThreadSeconds();
  for (int i = 0; i < 100; ++i) ASSERT_EQ(Exchange(rec[0], {0x2A}, reply), 64);
  const double used = ThreadSeconds() - cpu;
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // at most 1000 a second: the hundredth exchange comes 99 periods after the first
  EXPECT_GE(wall, 0.099);
  // a sleep that wakes late is made up by answering the next packets at once, so a
  // starved thread (a loaded machine, a sanitizer build at idle priority) sleeps fewer
  // times than the 99 of a quiet one; the grid itself is checked in the pace tests
  EXPECT_GE(virt::testing::PaceSleeps() - sleeps, 1u);
  // waiting by sleeping, not spinning
  EXPECT_LT(used, wall / 2);
  // identity, memory and status are answered at once
  const uint64_t servo = virt::testing::PaceSleeps();
  for (int i = 0; i < 100; ++i) ASSERT_EQ(Exchange(rec[0], {0x32}, reply), 64);
  EXPECT_EQ(virt::testing::PaceSleeps(), servo);
  // and a rate of 0 answers everything at once
  virt::testing::SetRate(0);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(Exchange(rec[0], {0x1E, 8, 0, 8, 0, 8, 0}, reply), 64);
  EXPECT_EQ(virt::testing::PaceSleeps(), servo);
  virt::testing::SetRate(saved);
}

TEST_F(VirtualBus, RateComesFromTheEnvironment) {
  const int saved = virt::testing::Rate();
  unsetenv("TKX_VIRTUAL_DEVICES");
  setenv("TKX_VIRTUAL_RATE", "250", 1);
  virt::testing::ReadEnvironment();
  EXPECT_EQ(virt::testing::Rate(), 250);
  setenv("TKX_VIRTUAL_RATE", "4k", 1);
  ::testing::internal::CaptureStderr();
  virt::testing::ReadEnvironment();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "tkx: TKX_VIRTUAL_RATE: ignoring \"4k\"\n");
  EXPECT_EQ(virt::testing::Rate(), 250);
  unsetenv("TKX_VIRTUAL_RATE");
  virt::testing::SetRate(saved);
}

TEST_F(VirtualBus, HandStiffnessComesFromTheEnvironment) {
  setenv("TKX_VIRTUAL_DEVICES", "31", 1);
  setenv("TKX_VIRTUAL_HAND_STIFFNESS", "2000", 1);
  virt::testing::ReadEnvironment();
  ASSERT_FALSE(virt::Devices().empty());
  virt::MechanismState firm;
  ASSERT_TRUE(virt::Devices().back()->GetMechanism(&firm));
  EXPECT_DOUBLE_EQ(firm.stiffness, 2000.0);
  EXPECT_GT(firm.damping, virt::Mechanism::kHandDamping);
  // nonsense keeps the default hand
  setenv("TKX_VIRTUAL_HAND_STIFFNESS", "-5", 1);
  ::testing::internal::CaptureStderr();
  virt::testing::ReadEnvironment();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "tkx: TKX_VIRTUAL_HAND_STIFFNESS: ignoring \"-5\"\n");
  virt::MechanismState plain;
  ASSERT_TRUE(virt::Devices().back()->GetMechanism(&plain));
  EXPECT_DOUBLE_EQ(plain.stiffness, virt::Mechanism::kHandStiffness);
  unsetenv("TKX_VIRTUAL_HAND_STIFFNESS");
  unsetenv("TKX_VIRTUAL_DEVICES");
  virt::UnplugAll();
}

}  // namespace

// ---- the per-exchange trace ----

namespace trace {

struct Row {
  std::vector<double> v;
};

// the trace's data lines as numbers; comment lines other than the header go to *notes
std::vector<Row> Parse(const std::string &text, std::string *header, std::string *notes) {
  std::vector<Row> rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line[0] == '#') {
      if (header->empty())
        *header = line;
      else
        *notes += line + "\n";
      continue;
    }
    Row r;
    std::istringstream fields(line);
    for (std::string f; fields >> f;) {
      char *end = nullptr;
      r.v.push_back(std::strtod(f.c_str(), &end));
      if (*end != '\0') r.v.push_back(-1e300);  // marks a field that is not a number
    }
    rows.push_back(r);
  }
  return rows;
}

}  // namespace trace

TEST_F(VirtualBus, TraceKeepsEveryExchangeOfTwoDevicesInOrderAtTheirPace) {
  const int saved = virt::testing::Rate();
  virt::testing::SetRate(4000);
  const std::string path = ::testing::TempDir() + "tkx_virtual.trace";
  auto trion = virt::Plug(61);
  auto polux = virt::Plug(35);
  virt::HandPose h;
  h.target[2] = 0.01;
  h.gripper = 0.0525 * 0.2;
  polux->SetHand(h);
  ASSERT_TRUE(virt::testing::StartTrace(path.c_str()));
  const uint64_t lostBefore = virt::testing::TraceLost();
  void *rec[4];
  ASSERT_EQ(Find(rec), 2);
  // each device from its own thread, as two haptic loops would: 2.5 s at 4 kHz
  const int kExchanges = 10000;
  auto loop = [&](void *record, int *done) {
    unsigned char reply[64];
    for (int i = 0; i < kExchanges; ++i) {
      if (Exchange(record, i % 2 ? Bytes{0x2A} : Bytes{0x1E, 0, 5, 0, 5, 0, 5}, reply) == 64) ++*done;
    }
  };
  int done0 = 0, done1 = 0;
  std::thread a(loop, rec[0], &done0), b(loop, rec[1], &done1);
  a.join();
  b.join();
  ASSERT_EQ(done0, kExchanges);
  ASSERT_EQ(done1, kExchanges);
  // identity and status requests are no exchanges of the servo loop
  unsigned char reply[64];
  ASSERT_EQ(Exchange(rec[0], {0x32}, reply), 64);
  Release(rec[1]);
  Release(rec[0]);
  virt::testing::FlushTrace();

  std::string header, notes;
  const std::vector<trace::Row> rows = trace::Parse(ReadFile(path), &header, &notes);
  EXPECT_EQ(header,
            "# t device button hand_x hand_y hand_z effector_x effector_y effector_z force_x force_y force_z "
            "gripper gripper_hand gripper_torque");
  EXPECT_EQ(notes, "");
  EXPECT_EQ(virt::testing::TraceLost(), lostBefore);
  ASSERT_EQ(rows.size(), 2u * kExchanges);
  int count[2] = {0, 0};
  double last[2] = {-1.0, -1.0};
  for (const trace::Row &r : rows) {
    ASSERT_EQ(r.v.size(), 15u);
    const int which = static_cast<int>(r.v[1]) == trion->Number() ? 0 : 1;
    if (which == 1) {
      ASSERT_EQ(static_cast<int>(r.v[1]), polux->Number());
    }
    ++count[which];
    // each device's records in the order of its exchanges, its clock never going back
    EXPECT_GE(r.v[0], last[which]);
    last[which] = r.v[0];
    for (int c = 3; c < 12; ++c) EXPECT_TRUE(std::isfinite(r.v[c])) << c;
    if (which == 0) {
      for (int c = 12; c < 15; ++c) EXPECT_TRUE(std::isnan(r.v[c])) << "a trion.6 has no gripper";
    } else {
      EXPECT_NEAR(r.v[5], 0.01, 1e-9);
      EXPECT_NEAR(r.v[13], 0.2, 1e-4) << "the hand's grip";
      EXPECT_TRUE(std::isfinite(r.v[12]));
    }
  }
  EXPECT_EQ(count[0], kExchanges);
  EXPECT_EQ(count[1], kExchanges);
  // 10000 exchanges at most 4000 a second span at least 2.5 s of the device's
  // clock (more on a loaded machine)
  EXPECT_GT(last[0], 2.4);
  virt::testing::SetRate(saved);
}

TEST_F(VirtualBus, TraceOnAFileThatCannotBeOpenedIsReportedLikeTheLog) {
  unsetenv("TKX_VIRTUAL_DEVICES");
  unsetenv("TKX_VIRTUAL_LOG");
  EXPECT_FALSE(virt::testing::StartTrace("/nonexistent-dir/x.trace"));
  setenv("TKX_VIRTUAL_TRACE", "/nonexistent-dir/x.trace", 1);
  ::testing::internal::CaptureStderr();
  virt::testing::ReadEnvironment();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "tkx: TKX_VIRTUAL_TRACE: cannot open \"/nonexistent-dir/x.trace\"\n");
  unsetenv("TKX_VIRTUAL_TRACE");
  // exchanges go on untraced
  virt::Plug(61);
  void *rec[4];
  ASSERT_EQ(Find(rec), 1);
  unsigned char reply[64];
  EXPECT_EQ(Exchange(rec[0], {0x2A}, reply), 64);
}
