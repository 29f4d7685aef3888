// The calibration of every system type of the type table moved between device
// memory and configuration files: round trips onto blank devices, the refusal
// of another type's file, and damaged files that must never leave a parameter
// unusable.
#include "support/VirtualBusTest.h"

#include "tkx/tkx.h"

#include "tkx/tkxCom.h"
#include "tkx/tkxErrno.h"
#include "tkx/tkxError.h"
#include "tkx/tkxTypes.h"
#include "tkx/tkxUSB.h"
#include "tkx/tkxc.h"
#include "tkx/virtual/tkxVirtualBus.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using tkx::virt::Device;

namespace {

constexpr int kFirstModelParam = 120;
constexpr int kLastModelParam = 599;

// every type a device can report, and the Falcon, which reports none
std::vector<int> AllTypes() {
  std::vector<int> types;
  for (int code = 0; code < 256; ++code)
    if (const tkx::SystemType *t = tkx::FindReported(code)) types.push_back(t->type);
  types.push_back(TKX_SYSTEM_FALCON);
  return types;
}

std::string TypeName(const ::testing::TestParamInfo<int> &info) { return "type" + std::to_string(info.param); }

class Calibration : public bustest::VirtualBusTest, public ::testing::WithParamInterface<int> {
 protected:
  static void NoPause(double) {}
  void SetUp() override {
    VirtualBusTest::SetUp();
    // the pause after each control request makes every Falcon open take seconds
    tkx::testing::SetControlPause(&NoPause);
    // one file per process: ctest runs the cases of a type side by side
    path = ::testing::TempDir() + "tkx_calibration_" + std::to_string(GetParam()) + "_" + std::to_string(::getpid()) +
           ".cfg";
  }
  void TearDown() override {
    slots.clear();
    std::remove(path.c_str());
    tkx::testing::SetControlPause(nullptr);
    VirtualBusTest::TearDown();
  }
  // the code a device of this type reports
  static int Code(int type) { return tkx::LookUpType(type).reported; }
  // a slot bound to a new device of the type; null (with the reason in *why)
  // when the type cannot be tried here
  TKX *Bound(int type, bool blank, std::string *why, std::shared_ptr<Device> *device = nullptr) {
    std::shared_ptr<Device> dev;
    if (type == TKX_SYSTEM_FALCON) {
      // the bus plugs whatever the library makes of code 60 in its device list
      ::setenv("TKX_VIRTUAL_DEVICES", "60", 1);
      tkx::virt::testing::ReadEnvironment();
      ::unsetenv("TKX_VIRTUAL_DEVICES");
      tkx::virt::Rescan();
    } else if (Code(type) == tkx::kNotReported) {
      *why = "no virtual device reports this type";
      return nullptr;
    } else {
      dev = Plug(Code(type), blank);
    }
    slots.push_back(std::make_unique<TKX>());
    // the device just plugged is the last one found
    const int index = TKX::GetDeviceCount() - 1;
    if (slots.back()->Open(index) != index) {
      *why = "the device does not open";
      if (type != TKX_SYSTEM_FALCON) ADD_FAILURE() << "type " << type << ": " << *why;
      return nullptr;
    }
    TKX *slot = slots.back().get();
    if (slot->GetSystemType() != type) {
      *why = "no virtual device of this type on the bus yet";
      return nullptr;
    }
    if (device) *device = dev;
    return slot;
  }
  // the models' parameters, in identifier order
  static std::vector<double> Params(TKX &slot) {
    std::vector<double> v;
    for (int id = 0; id <= 14; ++id) v.push_back(slot.GetParam(id));
    for (int id = kFirstModelParam; id <= kLastModelParam; ++id) v.push_back(slot.GetParam(id));
    v.push_back(slot.GetSerialNumber());
    v.push_back(slot.GetTKCVersion());
    return v;
  }
  // every parameter finite and, where it has a range, within it
  static ::testing::AssertionResult Usable(TKX &slot) {
    for (int id = kFirstModelParam; id <= kLastModelParam; ++id) {
      const double v = slot.GetParam(id), lo = slot.GetLowerParam(id), hi = slot.GetUpperParam(id);
      if (!std::isfinite(v) || (lo < hi && (v < lo || v > hi)))
        return ::testing::AssertionFailure() << slot.GetParamName(id) << " (" << id << ") = " << v;
    }
    return ::testing::AssertionSuccess();
  }
  std::string Text() const {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void Write(const std::string &text) const {
    std::remove(path.c_str());
    std::ofstream(path, std::ios::binary) << text;
  }

  std::vector<std::unique_ptr<TKX>> slots;
  std::string path;
};

// factory defaults into memory, out to a file, into a blank device and its
// memory: both devices hold the same bytes, under each memory model
TEST_P(Calibration, RoundTripThroughFileToBlankDevice) {
  for (int model : {TKX_MEMORY_FULL, TKX_MEMORY_SMALL, TKX_MEMORY_NONE}) {
    SCOPED_TRACE("memory model " + std::to_string(model));
    ClearBus();
    slots.clear();
    std::string why;
    std::shared_ptr<Device> from, to;
    TKX *source = Bound(GetParam(), true, &why, &from);
    if (source == nullptr) GTEST_SKIP() << "type " << GetParam() << " skipped: " << why;
    source->SetMemoryModel(model);
    ASSERT_EQ(source->WriteConfig(), 0);
    ASSERT_EQ(source->WriteHeader(), 0);
    // after the write: the small layout keeps model values in core words 8 to 14
    const std::vector<double> defaults = Params(*source);
    ASSERT_EQ(source->WriteConfigToFile(path.c_str()), 0);
    // a discovery only looks again with every slot closed
    source->Close();
    TKX *target = Bound(GetParam(), true, &why, &to);
    ASSERT_NE(target, nullptr) << why;
    target->SetMemoryModel(model);
    target->SetSerialNumber(1), target->SetTKCVersion(99);
    ASSERT_EQ(target->ReadConfigFromFile(path.c_str()), 0) << Text();
    ASSERT_EQ(target->WriteConfig(), 0);
    ASSERT_EQ(target->WriteHeader(), 0);
    if (model == TKX_MEMORY_NONE) {
      // no header in the file: the slot keeps its own
      EXPECT_EQ(target->GetTKCVersion(), 99);
    } else {
      EXPECT_EQ(Params(*target), defaults);
    }
    if (from && to) {
      EXPECT_EQ(from->Memory(0, tkx::virt::kMemorySize), to->Memory(0, tkx::virt::kMemorySize));
    }
  }
}

// a calibration changed in memory comes back from the file as it was stored
TEST_P(Calibration, ChangedCalibrationSurvivesFileAndMemory) {
  std::string why;
  std::shared_ptr<Device> from, to;
  TKX *source = Bound(GetParam(), false, &why, &from);
  if (source == nullptr) GTEST_SKIP() << "type " << GetParam() << " skipped: " << why;
  const int model = source->GetMemoryModel();
  if (model != TKX_MEMORY_SMALL && model != TKX_MEMORY_FULL) GTEST_SKIP() << "keeps no calibration in memory";
  // every parameter with a range moves a quarter of the way to its upper bound
  for (int id = kFirstModelParam; id <= kLastModelParam; ++id) {
    const double lo = source->GetLowerParam(id), hi = source->GetUpperParam(id);
    if (lo < hi) source->SetParam(id, source->GetParam(id) + (hi - source->GetParam(id)) / 4);
  }
  source->SetSerialNumber(4242);
  ASSERT_EQ(source->WriteConfig(), 0);
  ASSERT_EQ(source->WriteHeader(), 0);
  // what memory holds is what a new open reads
  source->Close();
  ASSERT_EQ(source->Open(0), 0);
  const std::vector<double> stored = Params(*source);
  EXPECT_EQ(source->GetSerialNumber(), 4242);
  ASSERT_EQ(source->WriteConfigToFile(path.c_str()), 0);
  source->Close();
  TKX *target = Bound(GetParam(), true, &why, &to);
  ASSERT_NE(target, nullptr) << why;
  ASSERT_EQ(target->ReadConfigFromFile(path.c_str()), 0);
  EXPECT_EQ(Params(*target), stored);
  ASSERT_EQ(target->WriteConfig(), 0);
  ASSERT_EQ(target->WriteHeader(), 0);
  target->Close();
  ASSERT_EQ(target->Open(1), 1);
  EXPECT_EQ(Params(*target), stored);
  EXPECT_TRUE(Usable(*target));
}

// a file written from any other type is refused and changes nothing
TEST_P(Calibration, RefusesEveryOtherTypesFile) {
  std::string why;
  // every other type's file first: a discovery only looks again with every slot closed
  std::vector<std::pair<int, std::string>> files;
  for (int other : AllTypes()) {
    if (other == GetParam()) continue;
    if (TKX *writer = Bound(other, false, &why)) {
      files.emplace_back(other, path + "." + std::to_string(other));
      ASSERT_EQ(writer->WriteConfigToFile(files.back().second.c_str()), 0);
    }
    slots.clear();
    ClearBus();
  }
  TKX *slot = Bound(GetParam(), false, &why);
  struct Cleanup {
    std::vector<std::pair<int, std::string>> &files;
    ~Cleanup() {
      for (const auto &f : files) std::remove(f.second.c_str());
    }
  } cleanup{files};
  if (slot == nullptr) GTEST_SKIP() << "type " << GetParam() << " skipped: " << why;
  slot->SetSerialNumber(77);
  const std::vector<double> before = Params(*slot);
  for (const auto &f : files) {
    EXPECT_EQ(slot->ReadConfigFromFile(f.second.c_str()), -1) << "file of type " << f.first;
    EXPECT_EQ(tkx::LastError(), TKX_ERR_AUTOCONFIG);
    EXPECT_EQ(Params(*slot), before) << "file of type " << f.first;
  }
  EXPECT_GT(files.size(), 5u);
  // its own type's file reads
  ASSERT_EQ(slot->WriteConfigToFile(path.c_str()), 0);
  EXPECT_EQ(slot->ReadConfigFromFile(path.c_str()), 0);
}

// every prefix of a good file is refused whole or read whole
TEST_P(Calibration, PrefixesAreRefusedOrComplete) {
  std::string why;
  TKX *slot = Bound(GetParam(), false, &why);
  if (slot == nullptr) GTEST_SKIP() << "type " << GetParam() << " skipped: " << why;
  ASSERT_EQ(slot->WriteConfigToFile(path.c_str()), 0);
  const std::string good = Text();
  const std::vector<double> before = Params(*slot);
  // a device without the header's memory writes a file without header values
  const bool header = good.find("EEPROM_SERIAL_NUMBER=") != std::string::npos;
  for (size_t cut = 0; cut < good.size(); ++cut) {
    Write(good.substr(0, cut));
    slot->SetSerialNumber(77);
    const int result = slot->ReadConfigFromFile(path.c_str());
    ASSERT_TRUE(result == 0 || result == -1);
    std::vector<double> expected = before;
    if (result < 0 || !header) expected[expected.size() - 2] = 77;
    ASSERT_EQ(Params(*slot), expected) << "cut at " << cut;
  }
}

// a few hundred seeded random edits inside each section: the file is refused
// with nothing changed, or every parameter is finite and within its range
TEST_P(Calibration, RandomEditsLeaveUsableParameters) {
  std::string why;
  TKX *slot = Bound(GetParam(), false, &why);
  if (slot == nullptr) GTEST_SKIP() << "type " << GetParam() << " skipped: " << why;
  ASSERT_EQ(slot->WriteConfigToFile(path.c_str()), 0);
  const std::string good = Text();
  std::vector<size_t> starts;
  for (size_t at = good.find('['); at != std::string::npos; at = good.find("\n[", at + 1))
    starts.push_back(at == 0 ? 0 : at + 1);
  starts.push_back(good.size());
  std::mt19937 gen(22u + static_cast<unsigned>(GetParam()));
  const char alphabet[] = "0123456789.-+eE=\n []xnaif";
  for (size_t s = 0; s + 1 < starts.size(); ++s) {
    SCOPED_TRACE("section at " + std::to_string(starts[s]));
    int refused = 0;
    for (int round = 0; round < 300; ++round) {
      std::string text = good;
      for (int edit = 0, edits = 1 + gen() % 3; edit < edits; ++edit) {
        const size_t at = std::min(text.size() - 1, starts[s] + gen() % (starts[s + 1] - starts[s]));
        const char c = gen() % 4 == 0 ? static_cast<char>(gen()) : alphabet[gen() % (sizeof alphabet - 1)];
        switch (gen() % 3) {
          case 0:
            text[at] = c;
            break;
          case 1:
            text.insert(at, 1, c);
            break;
          default:
            text.erase(at, 1);
        }
      }
      Write(text);
      const std::vector<double> before = Params(*slot);
      const int result = slot->ReadConfigFromFile(path.c_str());
      ASSERT_TRUE(result == 0 || result == -1);
      if (result < 0) {
        ++refused;
        ASSERT_EQ(Params(*slot), before) << text;
      }
      ASSERT_TRUE(Usable(*slot)) << text;
    }
    EXPECT_GT(refused, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryType, Calibration, ::testing::ValuesIn(AllTypes()), TypeName);

}  // namespace
