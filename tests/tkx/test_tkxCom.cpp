// The communication base: parameters by memory model, firmware image transfer,
// the exchange-rate meter and the default operations, over a fake device.
#include "tkx/tkxCom.h"
#include "tkx/tkxErrno.h"
#include "tkx/tkxTime.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Transfer {
  unsigned short addr;
  std::vector<unsigned char> bytes;
};

// a device with 64 KiB of parameter memory and 8 KiB of firmware memory that
// records every write and can be told to fail a given transfer
class FakeCom : public tkxCom {
 public:
  std::vector<unsigned char> mem = std::vector<unsigned char>(65536, 0);
  std::vector<unsigned char> fw = std::vector<unsigned char>(8192, 0);
  std::vector<Transfer> memWrites, fwWrites;
  int memReads = 0, fwReads = 0;
  // fail every memory transfer / the fw write or read with this 0-based index (-1: none)
  bool failMem = false;
  int failFwWriteAt = -1, failFwReadAt = -1;
  int enc[kEncoders] = {0, 0, 0, 0, 0, 0, 0, 0};
  int encResult = 0;

  void Exchange() { CountExchange(); }

  int Open(int index) override {
    open = true;
    return index;
  }
  int GetID() override { return open ? 0 : -1; }
  bool Ready() override { return open; }
  int Close() override {
    open = false;
    return 0;
  }
  int Reset() override { return 0; }
  int ResetWrist() override { return 0; }
  int CalibWrist() override { return 0; }
  int GetStatus(unsigned char *) override { return 0; }
  int GetVersion(double *) override { return 0; }
  int GetSysType() override { return 0; }
  int GetButtons(unsigned char *) override { return 0; }
  using tkxCom::GetEnc;
  int GetEnc(int *, unsigned char, double *) override { return 0; }
  int GetAllEnc(int *out, double *) override {
    if (encResult < 0) return tkx::Fail(TKX_ERR_COMMUNICATION);
    for (int i = 0; i < kEncoders; ++i) out[i] = enc[i];
    return encResult;
  }
  int GetTransEnc(int *, int *, int *, double *) override { return 0; }
  int GetRotEnc(int *, int *, int *, double *) override { return 0; }
  int SetMot(int, short) override { return 0; }
  int SetMot(short *, unsigned char) override { return 0; }
  int SetTransMot(short, short, short) override { return 0; }
  int SetRotMot(short, short, short) override { return 0; }
  int SetBrakesOn() override {
    ++brakesOn;
    return 0;
  }
  int SetBrakesOff() override { return 0; }
  int SetVelThresh(unsigned char) override { return 0; }
  int GetVelThresh(unsigned char *) override { return 0; }

  int SetMemAddr(unsigned short addr, unsigned char *src, unsigned char len) override {
    if (failMem || addr + len > static_cast<int>(mem.size())) return tkx::Fail(TKX_ERR_COMMUNICATION);
    memWrites.push_back({addr, std::vector<unsigned char>(src, src + len)});
    std::copy(src, src + len, mem.begin() + addr);
    return 0;
  }
  int GetMemAddr(unsigned short addr, unsigned char *dst, unsigned char len) override {
    ++memReads;
    if (failMem || addr + len > static_cast<int>(mem.size())) return tkx::Fail(TKX_ERR_COMMUNICATION);
    std::copy(mem.begin() + addr, mem.begin() + addr + len, dst);
    return 0;
  }
  int SetFwAddr(unsigned short addr, unsigned char *src, unsigned char len) override {
    const int call = fwWriteCalls++;
    if (call == failFwWriteAt || addr + len > static_cast<int>(fw.size())) return tkx::Fail(TKX_ERR_COMMUNICATION);
    fwWrites.push_back({addr, std::vector<unsigned char>(src, src + len)});
    std::copy(src, src + len, fw.begin() + addr);
    return 0;
  }
  int GetFwAddr(unsigned short addr, unsigned char *dst, unsigned char len) override {
    const int call = fwReads++;
    if (call == failFwReadAt || addr + len > static_cast<int>(fw.size())) return tkx::Fail(TKX_ERR_COMMUNICATION);
    std::copy(fw.begin() + addr, fw.begin() + addr + len, dst);
    return 0;
  }
  int EnableFrc(unsigned char) override { return 0; }
  int EmulateButton(unsigned char) override { return 0; }

  int brakesOn = 0;

 private:
  int fwWriteCalls = 0;
};

std::vector<unsigned char> Bytes(std::initializer_list<int> list) {
  std::vector<unsigned char> v;
  for (int b : list) v.push_back(static_cast<unsigned char>(b));
  return v;
}

std::vector<unsigned char> Range(const std::vector<unsigned char> &v, size_t from, size_t to) {
  return std::vector<unsigned char>(v.begin() + from, v.begin() + to);
}

bool Exists(const std::string &path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::vector<unsigned char> ReadAll(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

double fakeRaw = 1000.0;
double FakeRaw() { return fakeRaw; }

class ComTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = ::testing::TempDir() + "tkxcom_" + std::to_string(::getpid()) + "_" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ::mkdir(dir.c_str(), 0700);
    tkx::SetError(0);
  }
  void TearDown() override {
    std::remove(Path("fw.bin").c_str());
    std::remove(Path("in.bin").c_str());
    ::rmdir(dir.c_str());
    tkx::testing::SetRawClock(nullptr);
  }
  std::string Path(const std::string &name) const { return dir + "/" + name; }
  std::vector<unsigned char> WriteInput(size_t n) {
    std::vector<unsigned char> data(n);
    for (size_t i = 0; i < n; ++i) data[i] = static_cast<unsigned char>(0xA0 + i);
    std::ofstream(Path("in.bin"), std::ios::binary).write(reinterpret_cast<const char *>(data.data()), n);
    return data;
  }
  FakeCom com;
  std::string dir;
};

// ---- memory model 0 ----

TEST_F(ComTest, ModelNoneParametersDoNothing) {
  EXPECT_EQ(com.GetMemMod(), TKX_MEMORY_NONE);
  short s = 11;
  int i = 22;
  double d = 33.0;
  for (int id : {0, 5, 120, 203, 212, 500}) {
    EXPECT_EQ(com.SetParam(id, static_cast<short>(7)), 0);
    EXPECT_EQ(com.SetParam(id, 7), 0);
    EXPECT_EQ(com.SetParam(id, 7.0), 0);
    EXPECT_EQ(com.GetParam(id, &s), 0);
    EXPECT_EQ(com.GetParam(id, &i), 0);
    EXPECT_EQ(com.GetParam(id, &d), 0);
  }
  EXPECT_EQ(s, 11);
  EXPECT_EQ(i, 22);
  EXPECT_EQ(d, 33.0);
  EXPECT_TRUE(com.memWrites.empty());
  EXPECT_EQ(com.memReads, 0);
}

TEST_F(ComTest, ModelNoneReadFwCreatesNoFile) {
  com.Open(0);
  int progress = -5;
  EXPECT_EQ(com.ReadFw(Path("fw.bin"), &progress), 0);
  EXPECT_FALSE(Exists(Path("fw.bin")));
  EXPECT_EQ(progress, -5);
  EXPECT_EQ(com.fwReads, 0);
}

// ---- memory model 2 ----

TEST_F(ComTest, SmallShortParametersLowByteFirst) {
  com.SetMemMod(TKX_MEMORY_SMALL);
  EXPECT_EQ(com.SetParam(203, static_cast<short>(300)), 0);
  ASSERT_EQ(com.memWrites.size(), 1u);
  EXPECT_EQ(com.memWrites[0].addr, 0x10);
  EXPECT_EQ(com.memWrites[0].bytes, Bytes({0x2C, 0x01}));
  short s = 0;
  EXPECT_EQ(com.GetParam(203, &s), 0);
  EXPECT_EQ(s, 300);

  EXPECT_EQ(com.SetParam(204, static_cast<short>(0x1234)), 0);
  EXPECT_EQ(com.SetParam(205, static_cast<short>(0x5678)), 0);
  EXPECT_EQ(Range(com.mem, 0x12, 0x16), Bytes({0x34, 0x12, 0x78, 0x56}));
}

TEST_F(ComTest, SmallNegativeShortRoundTrips) {
  com.SetMemMod(TKX_MEMORY_SMALL);
  EXPECT_EQ(com.SetParam(204, static_cast<short>(-300)), 0);
  EXPECT_EQ(Range(com.mem, 0x12, 0x14), Bytes({0xD4, 0xFE}));
  short s = 0;
  EXPECT_EQ(com.GetParam(204, &s), 0);
  EXPECT_EQ(s, -300);
}

TEST_F(ComTest, SmallDoubleParametersTruncatedToOneByte) {
  com.SetMemMod(TKX_MEMORY_SMALL);
  EXPECT_EQ(com.SetParam(212, 7.9), 0);
  ASSERT_EQ(com.memWrites.size(), 1u);
  EXPECT_EQ(com.memWrites[0].addr, 0x16);
  EXPECT_EQ(com.memWrites[0].bytes, Bytes({0x07, 0x00}));
  double d = 0.0;
  EXPECT_EQ(com.GetParam(212, &d), 0);
  EXPECT_EQ(d, 7.0);

  EXPECT_EQ(com.SetParam(213, 200.0), 0);
  EXPECT_EQ(com.memWrites.back().addr, 0x18);
  // reads take both bytes as an unsigned 16-bit number
  com.mem[0x1A] = 0x34;
  com.mem[0x1B] = 0xF2;
  EXPECT_EQ(com.GetParam(214, &d), 0);
  EXPECT_EQ(d, 0xF234);
}

TEST_F(ComTest, SmallIntAndUnmappedParametersDoNothing) {
  com.SetMemMod(TKX_MEMORY_SMALL);
  int i = 22;
  short s = 11;
  double d = 33.0;
  for (int id : {100, 203, 212}) {
    EXPECT_EQ(com.SetParam(id, 5), 0);
    EXPECT_EQ(com.GetParam(id, &i), 0);
  }
  // unplaced numbers, and placed numbers used with the other type
  for (int id : {0, 100, 202, 206, 211, 215}) {
    EXPECT_EQ(com.SetParam(id, static_cast<short>(5)), 0);
    EXPECT_EQ(com.SetParam(id, 5.0), 0);
    EXPECT_EQ(com.GetParam(id, &s), 0);
    EXPECT_EQ(com.GetParam(id, &d), 0);
  }
  EXPECT_EQ(com.SetParam(212, static_cast<short>(5)), 0);
  EXPECT_EQ(com.SetParam(203, 5.0), 0);
  EXPECT_EQ(com.GetParam(212, &s), 0);
  EXPECT_EQ(com.GetParam(203, &d), 0);
  EXPECT_EQ(i, 22);
  EXPECT_EQ(s, 11);
  EXPECT_EQ(d, 33.0);
  EXPECT_TRUE(com.memWrites.empty());
  EXPECT_EQ(com.memReads, 0);
}

TEST_F(ComTest, SmallFailedTransferIsReported) {
  com.SetMemMod(TKX_MEMORY_SMALL);
  com.failMem = true;
  EXPECT_EQ(com.SetParam(203, static_cast<short>(1)), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_COMMUNICATION);
  EXPECT_EQ(com.SetParam(212, 1.0), -1);
  short s = 11;
  double d = 33.0;
  EXPECT_EQ(com.GetParam(203, &s), -1);
  EXPECT_EQ(com.GetParam(212, &d), -1);
  EXPECT_EQ(s, 11);
  EXPECT_EQ(d, 33.0);
}

// ---- memory model 3 ----

TEST_F(ComTest, FullDoubleIsBigEndianSingle) {
  com.SetMemMod(TKX_MEMORY_FULL);
  EXPECT_EQ(com.SetParam(5, 1.5), 0);
  ASSERT_EQ(com.memWrites.size(), 1u);
  EXPECT_EQ(com.memWrites[0].addr, 120);
  EXPECT_EQ(com.memWrites[0].bytes, Bytes({0x3F, 0xC0, 0x00, 0x00}));
  double d = 0.0;
  EXPECT_EQ(com.GetParam(5, &d), 0);
  EXPECT_EQ(d, 1.5);
  // single precision on the way through
  EXPECT_EQ(com.SetParam(130, 0.1), 0);
  EXPECT_EQ(com.GetParam(130, &d), 0);
  EXPECT_EQ(d, static_cast<double>(0.1f));
  EXPECT_EQ(com.memWrites.back().addr, 100 + 4 * 130);
}

TEST_F(ComTest, FullShortAndIntAreBigEndian) {
  com.SetMemMod(TKX_MEMORY_FULL);
  EXPECT_EQ(com.SetParam(3, static_cast<short>(0x1234)), 0);
  EXPECT_EQ(com.memWrites.back().addr, 112);
  EXPECT_EQ(com.memWrites.back().bytes, Bytes({0x12, 0x34}));
  EXPECT_EQ(com.SetParam(400, 0x01020304), 0);
  EXPECT_EQ(com.memWrites.back().addr, 1700);
  EXPECT_EQ(com.memWrites.back().bytes, Bytes({0x01, 0x02, 0x03, 0x04}));

  EXPECT_EQ(com.SetParam(7, static_cast<short>(-2)), 0);
  EXPECT_EQ(com.memWrites.back().bytes, Bytes({0xFF, 0xFE}));
  EXPECT_EQ(com.SetParam(8, -100000), 0);
  short s = 0;
  int i = 0;
  EXPECT_EQ(com.GetParam(7, &s), 0);
  EXPECT_EQ(s, -2);
  EXPECT_EQ(com.GetParam(8, &i), 0);
  EXPECT_EQ(i, -100000);
  EXPECT_EQ(com.GetParam(400, &i), 0);
  EXPECT_EQ(i, 0x01020304);
}

TEST_F(ComTest, FullFailedTransferGivesMinusOne) {
  com.SetMemMod(TKX_MEMORY_FULL);
  com.failMem = true;
  short s = 0;
  int i = 0;
  double d = 0.0;
  EXPECT_EQ(com.SetParam(1, static_cast<short>(1)), -1);
  EXPECT_EQ(com.SetParam(1, 1), -1);
  EXPECT_EQ(com.SetParam(1, 1.0), -1);
  EXPECT_EQ(com.GetParam(1, &s), -1);
  EXPECT_EQ(com.GetParam(1, &i), -1);
  tkx::SetError(0);
  EXPECT_EQ(com.GetParam(1, &d), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_COMMUNICATION);
}

// ---- firmware ----

TEST_F(ComTest, WriteFwInvalidatesThenWritesFirstBlockLast) {
  com.Open(0);
  com.SetMemMod(TKX_MEMORY_FULL);
  const std::vector<unsigned char> data = WriteInput(40);
  int progress = 0;
  EXPECT_EQ(com.WriteFw(Path("in.bin"), &progress), 0);
  ASSERT_EQ(com.fwWrites.size(), 4u);
  EXPECT_EQ(com.fwWrites[0].addr, 0);
  EXPECT_EQ(com.fwWrites[0].bytes, std::vector<unsigned char>(16, 0));
  EXPECT_EQ(com.fwWrites[1].addr, 16);
  EXPECT_EQ(com.fwWrites[1].bytes, Range(data, 16, 32));
  EXPECT_EQ(com.fwWrites[2].addr, 32);
  EXPECT_EQ(com.fwWrites[2].bytes, Range(data, 32, 40));
  EXPECT_EQ(com.fwWrites[3].addr, 0);
  EXPECT_EQ(com.fwWrites[3].bytes, Range(data, 0, 16));
  EXPECT_EQ(progress, 40);
  EXPECT_EQ(Range(com.fw, 0, 40), data);
}

// progress is reported after every block, in order
class ProgressCom : public FakeCom {
 public:
  int *progress = nullptr;
  std::vector<int> seen;
  int SetFwAddr(unsigned short addr, unsigned char *src, unsigned char len) override {
    if (progress) seen.push_back(*progress);
    return FakeCom::SetFwAddr(addr, src, len);
  }
};

TEST_F(ComTest, WriteFwProgressFollowsBlocks) {
  ProgressCom pc;
  pc.Open(0);
  pc.SetMemMod(TKX_MEMORY_FULL);
  WriteInput(40);
  int progress = 0;
  pc.progress = &progress;
  EXPECT_EQ(pc.WriteFw(Path("in.bin"), &progress), 0);
  // seen before each write: nothing, nothing, 32 after block 16..31, 40 after 32..39
  EXPECT_EQ(pc.seen, (std::vector<int>{0, 0, 32, 40}));
}

TEST_F(ComTest, WriteFwFailedWritesStop) {
  com.Open(0);
  com.SetMemMod(TKX_MEMORY_FULL);
  const std::vector<unsigned char> data = WriteInput(40);
  int progress = 0;
  com.failFwWriteAt = 2;  // the block at 32
  EXPECT_EQ(com.WriteFw(Path("in.bin"), &progress), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_COMMUNICATION);
  ASSERT_EQ(com.fwWrites.size(), 2u);
  // the image stays invalid
  EXPECT_EQ(Range(com.fw, 0, 16), std::vector<unsigned char>(16, 0));
  EXPECT_EQ(progress, 32);

  FakeCom first;
  first.Open(0);
  first.SetMemMod(TKX_MEMORY_FULL);
  first.failFwWriteAt = 0;
  EXPECT_EQ(first.WriteFw(Path("in.bin"), nullptr), -1);
  EXPECT_TRUE(first.fwWrites.empty());

  FakeCom last;
  last.Open(0);
  last.SetMemMod(TKX_MEMORY_FULL);
  last.failFwWriteAt = 3;
  EXPECT_EQ(last.WriteFw(Path("in.bin"), nullptr), -1);
  EXPECT_EQ(last.fwWrites.size(), 3u);
}

TEST_F(ComTest, WriteFwRefusals) {
  WriteInput(40);
  EXPECT_EQ(com.WriteFw(Path("in.bin"), nullptr), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_NOT_READY);

  com.Open(0);
  for (MemoryModel m : {TKX_MEMORY_NONE, TKX_MEMORY_SMALL}) {
    com.SetMemMod(m);
    tkx::SetError(0);
    EXPECT_EQ(com.WriteFw(Path("in.bin"), nullptr), -1);
    EXPECT_EQ(tkx::LastError(), TKX_ERR_NOT_AVAILABLE);
  }

  com.SetMemMod(TKX_MEMORY_FULL);
  EXPECT_EQ(com.WriteFw(Path("missing.bin"), nullptr), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_FILE_NOT_FOUND);
  // a file that cannot be read (a directory) must not validate anything
  tkx::SetError(0);
  EXPECT_EQ(com.WriteFw(dir, nullptr), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_FILE_NOT_FOUND);
  EXPECT_TRUE(com.fwWrites.empty());
}

TEST_F(ComTest, ReadFwCopiesWholeImage) {
  com.Open(0);
  com.SetMemMod(TKX_MEMORY_FULL);
  for (size_t i = 0; i < com.fw.size(); ++i) com.fw[i] = static_cast<unsigned char>(i * 7 + (i >> 8));
  int progress = 0;
  EXPECT_EQ(com.ReadFw(Path("fw.bin"), &progress), 0);
  EXPECT_EQ(progress, 8192);
  EXPECT_EQ(com.fwReads, 512);
  EXPECT_EQ(ReadAll(Path("fw.bin")), com.fw);
}

TEST_F(ComTest, ReadFwFailures) {
  EXPECT_EQ(com.ReadFw(Path("fw.bin"), nullptr), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_NOT_READY);
  EXPECT_FALSE(Exists(Path("fw.bin")));

  com.Open(0);
  com.SetMemMod(TKX_MEMORY_FULL);
  EXPECT_EQ(com.ReadFw(Path("no/such/dir/fw.bin"), nullptr), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_FILE_NOT_FOUND);

  // a failed block read leaves no partial image behind
  com.failFwReadAt = 100;
  int progress = 0;
  tkx::SetError(0);
  EXPECT_EQ(com.ReadFw(Path("fw.bin"), &progress), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_COMMUNICATION);
  EXPECT_EQ(progress, 1600);
  EXPECT_FALSE(Exists(Path("fw.bin")));

  // nor does a file that cannot take the data (file size limited below 8 KiB)
  com.failFwReadAt = -1;
  rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  tkx::SetError(0);
  const int r = com.ReadFw(Path("fw.bin"), nullptr);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_EQ(r, -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_FILE_NOT_FOUND);
  EXPECT_FALSE(Exists(Path("fw.bin")));
}

TEST_F(ComTest, EraseFwZeroesFirstBlock) {
  EXPECT_EQ(com.EraseFw(), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_NOT_READY);
  com.Open(0);
  com.SetMemMod(TKX_MEMORY_SMALL);
  EXPECT_EQ(com.EraseFw(), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_NOT_AVAILABLE);
  EXPECT_TRUE(com.fwWrites.empty());

  com.SetMemMod(TKX_MEMORY_FULL);
  std::fill(com.fw.begin(), com.fw.end(), 0x55);
  EXPECT_EQ(com.EraseFw(), 0);
  ASSERT_EQ(com.fwWrites.size(), 1u);
  EXPECT_EQ(com.fwWrites[0].addr, 0);
  EXPECT_EQ(com.fwWrites[0].bytes, std::vector<unsigned char>(16, 0));
  EXPECT_EQ(com.fw[16], 0x55);

  com.failFwWriteAt = 1;
  EXPECT_EQ(com.EraseFw(), -1);
}

// ---- rate meter ----

TEST_F(ComTest, GetFreqIsThousandsPerSecond) {
  tkx::testing::SetRawClock(&FakeRaw);
  fakeRaw = 1000.0;
  FakeCom meter;
  meter.GetFreq();  // reference time now
  for (int i = 0; i < 500; ++i) meter.Exchange();
  fakeRaw += 0.5;
  EXPECT_NEAR(meter.GetFreq(), 1.0, 1e-9);
  // the counter starts again
  fakeRaw += 0.25;
  EXPECT_EQ(meter.GetFreq(), 0.0);
  for (int i = 0; i < 3000; ++i) meter.Exchange();
  fakeRaw += 2.0;
  EXPECT_NEAR(meter.GetFreq(), 1.5, 1e-9);
}

TEST_F(ComTest, GetFreqWithoutElapsedTimeKeepsCounting) {
  tkx::testing::SetRawClock(&FakeRaw);
  fakeRaw = 500.0;
  FakeCom meter;
  for (int i = 0; i < 100; ++i) meter.Exchange();
  EXPECT_EQ(meter.GetFreq(), 0.0);
  fakeRaw += 0.1;
  EXPECT_NEAR(meter.GetFreq(), 1.0, 1e-9);
}

// ---- defaults and lifecycle ----

TEST_F(ComTest, DefaultOperations) {
  int enc[8] = {0};
  EXPECT_EQ(com.Preset(enc, 0xFF), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_NOT_AVAILABLE);
  tkx::SetError(0);
  EXPECT_EQ(com.SetBrakes(1), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_NOT_AVAILABLE);

  EXPECT_EQ(com.Stop(), 0);
  EXPECT_EQ(com.brakesOn, 1);

  unsigned char mode = 9;
  EXPECT_EQ(com.SetOperatingMode(3), 0);
  EXPECT_EQ(com.GetOperatingMode(&mode), 0);
  EXPECT_EQ(mode, 9);

  EXPECT_EQ(com.SetMemMod(TKX_MEMORY_SMALL), 0);
  EXPECT_EQ(com.GetMemMod(), TKX_MEMORY_SMALL);
}

TEST_F(ComTest, SingleEncoderReadsThroughCache) {
  for (int i = 0; i < 8; ++i) com.enc[i] = 100 * i - 50;
  double t = 0.0;
  EXPECT_EQ(com.GetEnc(0, &t), -50);
  EXPECT_EQ(com.GetEnc(7, &t), 650);
  com.encResult = -1;
  EXPECT_EQ(com.GetEnc(3, &t), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_COMMUNICATION);
  com.encResult = 0;
  tkx::SetError(0);
  EXPECT_EQ(com.GetEnc(8, &t), -1);
  EXPECT_EQ(tkx::LastError(), TKX_ERR_INDEX_RANGE);
}

TEST_F(ComTest, OpenCountFollowsLiveObjects) {
  const int before = tkxCom::GetOpenCount();
  {
    FakeCom a;
    auto *b = new FakeCom;
    EXPECT_EQ(tkxCom::GetOpenCount(), before + 2);
    delete static_cast<tkxCom *>(b);
    EXPECT_EQ(tkxCom::GetOpenCount(), before + 1);
  }
  EXPECT_EQ(tkxCom::GetOpenCount(), before);
}

}  // namespace
