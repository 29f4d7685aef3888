// The virtual bus: the backend that hands virtual devices to the USB transport,
// the device list read from the environment, and the bus log.
#include "tkx/virtual/tkxVirtualBus.h"

#include "tkx/tkxComFalcon.h"
#include "tkx/tkxComUSB.h"
#include "tkx/tkxTime.h"
#include "tkx/tkxUSB.h"
#include "tkx/virtual/tkxVirtualFalcon.h"
#include "tkx/virtual/tkxVirtualHand.h"
#include "tkx/virtual/tkxVirtualLog.h"
#include "tkx/virtual/tkxVirtualPace.h"
#include "tkx/virtual/tkxVirtualTrace.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>

namespace tkx {
namespace virt {

namespace {

// ---- the log ---------------------------------------------------------------------

// seconds since the log's clock was first read
double LogClock() {
  auto raw = [] {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
  };
  static const double start = raw();
  return raw() - start;
}

std::atomic<bool> logOn{false};

// ---- the pace ------------------------------------------------------------------------

constexpr int kDefaultRate = 4000;
std::atomic<int> paceRate{kDefaultRate};
std::atomic<uint64_t> paceSleeps{0};

// the system's monotonic clock, never a test's: the pace is real time
double RealNow() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// when a device takes its next packet
struct PaceSlot {
  std::mutex mutex;
  double next = 0.0;
};

// encoder reads and motor commands: the firmware answers them from its servo loop,
// once a period; everything else (memory, status, identity) at once
bool ServoPacket(const unsigned char *data, int length) {
  if (data == nullptr || length <= 0) return false;
  switch (data[0]) {
    case 0x1E:  // translation motors
    case 0x1F:  // rotation motors
    case 0x21:  // masked motors
    case 0x27:  // masked encoders
    case 0x2A:  // all encoders
      return true;
    default:
      return false;
  }
}

// waits, sleeping, for the device's next slot: at most rate packets a second
void Pace(PaceSlot &slot) {
  const int rate = paceRate.load(std::memory_order_relaxed);
  if (rate <= 0) return;
  const double period = 1.0 / rate;
  double at;
  {
    std::lock_guard<std::mutex> lock(slot.mutex);
    at = NextPaceSlot(slot.next, RealNow(), period);
  }
  if (at <= RealNow()) return;
  timespec ts;
  ts.tv_sec = static_cast<time_t>(at);
  ts.tv_nsec = static_cast<long>((at - static_cast<double>(ts.tv_sec)) * 1e9);
  if (ts.tv_nsec >= 1000000000L) ts.tv_nsec = 999999999L;
  paceSleeps.fetch_add(1, std::memory_order_relaxed);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {}
}

void SampleRates();

// Lines wait in memory; a detached thread writes them every 100 ms and adds the
// rate lines once a second. The logger is never destroyed, so the thread and the
// devices closed during static destruction can still use it.
class Logger {
 public:
  bool Start(const char *path) {
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    std::lock_guard<std::mutex> lock(writeMutex_);
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
    LogClock();
    logOn.store(true, std::memory_order_relaxed);
    if (!threadStarted_) {
      // without the thread, lines still reach the file at every immediate event
      threadStarted_ = detail::StartDetachedThread(&Logger::Run, this);
    }
    return true;
  }

  void Queue(const Device &dev, const char *text) { Queue("device", dev.Number(), dev.Code(), text); }

  void Queue(const char *kind, int number, int code, const char *text) {
    char line[512];
    std::snprintf(line, sizeof line, "%.6f %s %d (code %d): %s\n", LogClock(), kind, number, code, text);
    std::lock_guard<std::mutex> lock(queueMutex_);
    queue_.emplace_back(line);
  }

  // writes the queued lines in order; file errors are ignored, the log is a witness only
  void Drain() {
    std::lock_guard<std::mutex> lock(writeMutex_);
    {
      std::lock_guard<std::mutex> queued(queueMutex_);
      pending_.swap(queue_);
    }
    if (pending_.empty()) return;
    text_.clear();
    for (const std::string &line : pending_) text_ += line;
    pending_.clear();
    const char *p = text_.data();
    size_t left = text_.size();
    while (fd_ >= 0 && left > 0) {
      const ssize_t n = ::write(fd_, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      p += n;
      left -= static_cast<size_t>(n);
    }
  }

 private:
  static void *Run(void *self) {
    Logger *logger = static_cast<Logger *>(self);
    double next = LogClock() + 1.0;
    for (;;) {
      const timespec pause{0, 100 * 1000 * 1000};
      nanosleep(&pause, nullptr);
      logger->Drain();
      const double now = LogClock();
      if (now >= next) {
        SampleRates();
        next = std::max(next + 1.0, now + 0.5);
      }
    }
    return nullptr;
  }

  std::mutex queueMutex_;
  std::vector<std::string> queue_;
  std::mutex writeMutex_;
  std::vector<std::string> pending_;
  std::string text_;
  int fd_ = -1;
  bool threadStarted_ = false;
};

Logger &TheLogger() {
  static Logger *logger = new Logger;
  return *logger;
}

// ---- the bus ---------------------------------------------------------------------

// a record the transport holds from discovery until release
struct VirtualRecord : tkxUSBRecord {
  std::shared_ptr<Device> dev;
  // or, behind its converter, a Falcon
  std::shared_ptr<Falcon> falcon;
  // the last rate sample: log time and exchange count
  double sampledAt;
  uint64_t sampledCount;
  PaceSlot pace;
};

struct Bus {
  std::mutex mutex;
  bool environmentRead = false;
  // the hand every new device's mechanism follows (TKX_VIRTUAL_HAND)
  HandScript hand;
  // its spring, N/m (TKX_VIRTUAL_HAND_STIFFNESS); 0 keeps the mechanism's own
  double handStiffness = 0.0;
  std::vector<std::shared_ptr<Device>> devices;
  std::vector<std::shared_ptr<Falcon>> falcons;
  // the records handed out by discovery, until their release
  std::vector<std::unique_ptr<VirtualRecord>> open;
};

// never destroyed: records are released during static destruction
Bus &TheBus() {
  static Bus *bus = new Bus;
  return *bus;
}

std::shared_ptr<Device> NewDevice(Bus &bus, int code, bool blank) {
  auto dev = std::make_shared<Device>(code, blank, true);
  if (!bus.hand.Empty()) dev->SetHandScript(bus.hand);
  if (bus.handStiffness > 0.0) {
    // the damper grows with the spring so the hand settles as it does by default
    const double ratio = bus.handStiffness / Mechanism::kHandStiffness;
    dev->SetHandSpring(bus.handStiffness, Mechanism::kHandDamping * std::sqrt(ratio));
  }
  return dev;
}

std::shared_ptr<Falcon> NewFalcon(Bus &bus) {
  auto dev = std::make_shared<Falcon>();
  if (!bus.hand.Empty()) dev->SetHandScript(bus.hand);
  if (bus.handStiffness > 0.0) {
    const double ratio = bus.handStiffness / Mechanism::kHandStiffness;
    dev->SetHandSpring(bus.handStiffness, Mechanism::kHandDamping * std::sqrt(ratio));
  }
  return dev;
}

void ReadRate() {
  const char *text = std::getenv("TKX_VIRTUAL_RATE");
  if (text == nullptr) return;
  long rate = 0;
  bool ok = *text != '\0';
  for (const char *c = text; *c != '\0' && ok; ++c) {
    ok = std::isdigit(static_cast<unsigned char>(*c)) != 0;
    rate = rate * 10 + (*c - '0');
    if (rate > 1000000) ok = false;
  }
  if (!ok) {
    std::fprintf(stderr, "tkx: TKX_VIRTUAL_RATE: ignoring \"%s\"\n", text);
    return;
  }
  paceRate.store(static_cast<int>(rate), std::memory_order_relaxed);
}

void ReadHand(Bus &bus) {
  const char *path = std::getenv("TKX_VIRTUAL_HAND");
  bus.hand = HandScript();
  if (path == nullptr || *path == '\0') return;
  std::string error;
  if (!HandScript::Load(path, &bus.hand, &error)) {
    std::fprintf(stderr, "tkx: TKX_VIRTUAL_HAND: %s; the hand rests at the workspace centre\n", error.c_str());
  }
}

// a firmer or softer hand than the default, for every device made from now on
void ReadHandStiffness(Bus &bus) {
  const char *text = std::getenv("TKX_VIRTUAL_HAND_STIFFNESS");
  bus.handStiffness = 0.0;
  if (text == nullptr || *text == '\0') return;
  char *end = nullptr;
  const double k = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(k > 0.0 && k <= 1e6)) {
    std::fprintf(stderr, "tkx: TKX_VIRTUAL_HAND_STIFFNESS: ignoring \"%s\"\n", text);
    return;
  }
  bus.handStiffness = k;
}

void ReadEnvironmentLocked(Bus &bus) {
  bus.environmentRead = true;
  ReadRate();
  ReadHand(bus);
  ReadHandStiffness(bus);
  const char *log = std::getenv("TKX_VIRTUAL_LOG");
  if (log != nullptr && *log != '\0' && !TheLogger().Start(log)) {
    std::fprintf(stderr, "tkx: TKX_VIRTUAL_LOG: cannot open \"%s\"\n", log);
  }
  const char *trace = std::getenv("TKX_VIRTUAL_TRACE");
  if (trace != nullptr && *trace != '\0' && !testing::StartTrace(trace)) {
    std::fprintf(stderr, "tkx: TKX_VIRTUAL_TRACE: cannot open \"%s\"\n", trace);
  }
  std::vector<std::string> bad;
  const std::vector<DeviceSpec> specs = ParseDeviceList(std::getenv("TKX_VIRTUAL_DEVICES"), &bad);
  for (const std::string &item : bad) std::fprintf(stderr, "tkx: TKX_VIRTUAL_DEVICES: ignoring \"%s\"\n", item.c_str());
  for (const DeviceSpec &spec : specs) {
    if (spec.code == kFalconCode)
      bus.falcons.push_back(NewFalcon(bus));
    else
      bus.devices.push_back(NewDevice(bus, spec.code, spec.blank));
  }
}

void EnsureEnvironment(Bus &bus) {
  if (!bus.environmentRead) ReadEnvironmentLocked(bus);
}

void SampleRates() {
  struct Sample {
    std::shared_ptr<Device> dev;
    char text[160];
    char mechanism[384];
  };
  std::vector<Sample> samples;
  {
    Bus &bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    const double now = LogClock();
    samples.reserve(bus.open.size());
    for (size_t i = 0; i < bus.open.size(); ++i) {
      VirtualRecord *r = bus.open[i].get();
      // a Falcon logs its own mechanism as it answers frames
      if (!r->dev) continue;
      const uint64_t count = r->dev->Exchanges();
      const double span = now - r->sampledAt;
      const uint64_t exchanged = count - r->sampledCount;
      const double rate = span > 0.0 ? static_cast<double>(exchanged) / span : 0.0;
      r->sampledAt = now;
      r->sampledCount = count;
      samples.emplace_back();
      Sample &s = samples.back();
      s.dev = r->dev;
      s.mechanism[0] = '\0';
      MechanismState m;
      if (r->dev->GetMechanism(&m)) {
        std::snprintf(s.mechanism, sizeof s.mechanism,
                      "mechanism: effector %.4f %.4f %.4f m, hand %.4f %.4f %.4f m, motor force %.3f %.3f %.3f N, "
                      "%llu exchanges",
                      m.effector[0], m.effector[1], m.effector[2], m.hand.target[0], m.hand.target[1], m.hand.target[2],
                      m.motorForce[0], m.motorForce[1], m.motorForce[2], static_cast<unsigned long long>(exchanged));
        // the gripper after the line the readers already parse
        if (m.hasGripper) {
          const size_t at = std::strlen(s.mechanism);
          std::snprintf(s.mechanism + at, sizeof s.mechanism - at,
                        ", gripper %.4f rad (hand %.4f rad), gripper torque %.3f N m", m.gripperAngle, m.gripperHand,
                        m.gripperTorque);
        }
      }
      int at = std::snprintf(s.text, sizeof s.text, "%.0f exchanges/s, motors", rate);
      for (int c = 0; c < r->dev->Channels() && at > 0 && at < static_cast<int>(sizeof s.text); ++c) {
        at += std::snprintf(s.text + at, sizeof s.text - at, " %d", r->dev->Motor(c));
      }
    }
  }
  Logger &logger = TheLogger();
  for (const Sample &s : samples) {
    logger.Queue(*s.dev, s.text);
    if (s.mechanism[0] != '\0') logger.Queue(*s.dev, s.mechanism);
  }
  logger.Drain();
}

VirtualRecord *RecordOf(void *record) {
  return record == nullptr ? nullptr : static_cast<VirtualRecord *>(static_cast<tkxUSBRecord *>(record));
}

class VirtualBackend final : public tkxUSBBackend {
 public:
  void Init() override {
    Bus &bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    EnsureEnvironment(bus);
  }

  int Find(void **records, int room, int vendor, int product, bool) override {
    if (records != nullptr && room > 0 && vendor == TKX_FALCON_VENDOR_ID && product == TKX_FALCON_PRODUCT_ID)
      return FindFalcons(records, room);
    if (records == nullptr || room <= 0 || vendor != TKX_USB_VENDOR_ID || product != TKX_USB_PRODUCT_ID) return 0;
    std::vector<std::shared_ptr<Device>> found;
    {
      Bus &bus = TheBus();
      std::lock_guard<std::mutex> lock(bus.mutex);
      EnsureEnvironment(bus);
      for (const std::shared_ptr<Device> &dev : bus.devices) {
        if (static_cast<int>(found.size()) == room) break;
        std::unique_ptr<VirtualRecord> r(new (std::nothrow) VirtualRecord);
        if (r == nullptr) break;
        r->backend = this;
        r->dev = dev;
        r->sampledAt = LogClock();
        r->sampledCount = dev->Exchanges();
        records[found.size()] = static_cast<tkxUSBRecord *>(r.get());
        bus.open.push_back(std::move(r));
        found.push_back(dev);
      }
    }
    for (const std::shared_ptr<Device> &dev : found) {
      detail::LogEventNow(*dev, "found");
      detail::LogEventNow(*dev, "opened");
    }
    return static_cast<int>(found.size());
  }

  int Read(void *record, int endpoint, unsigned char *buffer, int length, bool) override {
    VirtualRecord *r = RecordOf(record);
    if (r != nullptr && r->falcon) {
      int received = 0;
      if (endpoint != kFalconEndpointIn) return -1;
      return r->falcon->Read(buffer, length, &received, tkx::GetTimeMonotonic()) == Transfer::Ok ? received : -1;
    }
    if (r == nullptr || endpoint != kEndpointIn) return -1;
    int received = 0;
    const Transfer t = r->dev->Read(buffer, length, &received, tkx::GetTimeMonotonic());
    if (t == Transfer::Ok) return received;
    if (t == Transfer::Timeout && detail::LogEnabled()) detail::LogEvent(*r->dev, "time-out answered");
    return -1;
  }

  int Write(void *record, int endpoint, unsigned char *buffer, int length, bool) override {
    VirtualRecord *r = RecordOf(record);
    if (r != nullptr && r->falcon) {
      if (endpoint != kEndpointOut) return -1;
      // frames are answered at the pace of the device's loop
      if (length == Falcon::kFrameSize && buffer != nullptr && buffer[0] == '<' &&
          r->falcon->GetStage() == Falcon::Stage::Running)
        Pace(r->pace);
      const bool frame = length == Falcon::kFrameSize && buffer != nullptr && buffer[0] == '<';
      if (r->falcon->Write(buffer, length, tkx::GetTimeMonotonic()) != Transfer::Ok) return -1;
      if (frame && detail::TraceEnabled() && r->falcon->GetStage() == Falcon::Stage::Running) {
        MechanismState m;
        if (r->falcon->GetMechanism(&m)) detail::TraceExchange(-r->falcon->Number(), m);
      }
      return 0;
    }
    if (r == nullptr || endpoint != kEndpointOut) return -1;
    const bool servo = ServoPacket(buffer, length);
    if (servo) Pace(r->pace);
    if (r->dev->Write(buffer, length, tkx::GetTimeMonotonic()) != Transfer::Ok) return -1;
    if (servo && detail::TraceEnabled()) {
      MechanismState m;
      if (r->dev->GetMechanism(&m)) detail::TraceExchange(r->dev->Number(), m);
    }
    return 0;
  }

  int ClearPipes(void *record, int pipeOut, int pipeIn) override {
    VirtualRecord *r = RecordOf(record);
    if (r == nullptr) return -1;
    if (r->falcon) {
      r->falcon->ClearHalt();
      return 0;
    }
    r->dev->ClearHalt(pipeOut);
    r->dev->ClearHalt(pipeIn);
    return 0;
  }

  // the device accepts requests without a data stage only
  int Control(void *record, int requestType, int request, int value, int index, unsigned char *, int length) override {
    VirtualRecord *r = RecordOf(record);
    if (r != nullptr && r->falcon)
      return r->falcon->Control(requestType, request, value, index, length, tkx::GetTimeMonotonic()) == Transfer::Ok
                 ? 0
                 : -1;
    if (r == nullptr || r->dev->IsUnplugged() || length != 0) return -1;
    return 0;
  }

  int Release(void *record) override {
    VirtualRecord *r = RecordOf(record);
    if (r == nullptr) return 0;
    const std::shared_ptr<Device> dev = r->dev;
    const std::shared_ptr<Falcon> falcon = r->falcon;
    {
      Bus &bus = TheBus();
      std::lock_guard<std::mutex> lock(bus.mutex);
      bus.open.erase(std::remove_if(bus.open.begin(), bus.open.end(),
                                    [r](const std::unique_ptr<VirtualRecord> &o) { return o.get() == r; }),
                     bus.open.end());
    }
    // the last records before the device goes, in case the process ends with it
    detail::TraceFlush();
    if (dev) detail::LogEventNow(*dev, "closed");
    if (falcon) detail::LogFalconEvent(falcon->Number(), "closed");
    return 0;
  }

  // the devices stay on the bus for the next discovery
  void Cleanup() override {}

 private:
  int FindFalcons(void **records, int room) {
    std::vector<std::shared_ptr<Falcon>> found;
    {
      Bus &bus = TheBus();
      std::lock_guard<std::mutex> lock(bus.mutex);
      EnsureEnvironment(bus);
      for (const std::shared_ptr<Falcon> &dev : bus.falcons) {
        if (static_cast<int>(found.size()) == room) break;
        std::unique_ptr<VirtualRecord> r(new (std::nothrow) VirtualRecord);
        if (r == nullptr) break;
        r->backend = this;
        r->falcon = dev;
        r->sampledAt = LogClock();
        r->sampledCount = 0;
        records[found.size()] = static_cast<tkxUSBRecord *>(r.get());
        bus.open.push_back(std::move(r));
        found.push_back(dev);
      }
    }
    for (const std::shared_ptr<Falcon> &dev : found) {
      detail::LogFalconEvent(dev->Number(), "found behind its converter");
      detail::LogFalconEvent(dev->Number(), "opened");
    }
    return static_cast<int>(found.size());
  }
};

std::string Trim(const std::string &s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

bool ParseItem(const std::string &item, DeviceSpec *spec) {
  const size_t colon = item.find(':');
  const std::string number = Trim(item.substr(0, colon));
  if (number.empty()) return false;
  int code = 0;
  for (char ch : number) {
    if (!std::isdigit(static_cast<unsigned char>(ch))) return false;
    code = code * 10 + (ch - '0');
    if (code > 255) return false;
  }
  spec->code = code;
  spec->blank = false;
  if (colon == std::string::npos) return true;
  if (Trim(item.substr(colon + 1)) != "blank") return false;
  spec->blank = true;
  return true;
}

}  // namespace

namespace detail {

bool LogEnabled() { return logOn.load(std::memory_order_relaxed); }

void LogEvent(const Device &dev, const char *text) {
  if (LogEnabled()) TheLogger().Queue(dev, text);
}

void LogFalconEvent(int number, const char *text) {
  if (!LogEnabled()) return;
  Logger &logger = TheLogger();
  logger.Queue("falcon", number, kFalconCode, text);
  logger.Drain();
}

void LogEventNow(const Device &dev, const char *text) {
  if (!LogEnabled()) return;
  Logger &logger = TheLogger();
  logger.Queue(dev, text);
  logger.Drain();
}

}  // namespace detail

// ---- public interface ----------------------------------------------------------------

std::vector<DeviceSpec> ParseDeviceList(const char *text, std::vector<std::string> *bad) {
  std::vector<DeviceSpec> specs;
  if (text == nullptr) return specs;
  const std::string list(text);
  size_t start = 0;
  for (;;) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    // empty items (a stray or trailing comma) carry no device and no mistake
    const std::string item = Trim(list.substr(start, comma - start));
    DeviceSpec spec{};
    if (!item.empty()) {
      if (ParseItem(item, &spec)) {
        specs.push_back(spec);
      } else if (bad != nullptr) {
        bad->push_back(item);
      }
    }
    if (comma == list.size()) break;
    start = comma + 1;
  }
  return specs;
}

tkxUSBBackend &Backend() {
  static VirtualBackend *backend = new VirtualBackend;
  return *backend;
}

std::shared_ptr<Device> Plug(int code, bool blank) {
  Bus &bus = TheBus();
  std::lock_guard<std::mutex> lock(bus.mutex);
  EnsureEnvironment(bus);
  auto dev = NewDevice(bus, code, blank);
  bus.devices.push_back(dev);
  return dev;
}

void UnplugAll() {
  std::vector<std::shared_ptr<Device>> removed;
  std::vector<std::shared_ptr<Falcon>> falcons;
  {
    Bus &bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    EnsureEnvironment(bus);
    removed.swap(bus.devices);
    falcons.swap(bus.falcons);
  }
  for (const std::shared_ptr<Device> &dev : removed) dev->Unplug();
  for (const std::shared_ptr<Falcon> &dev : falcons) dev->Unplug();
}

std::vector<std::shared_ptr<Device>> Devices() {
  Bus &bus = TheBus();
  std::lock_guard<std::mutex> lock(bus.mutex);
  EnsureEnvironment(bus);
  return bus.devices;
}

std::shared_ptr<Falcon> PlugFalcon() {
  Bus &bus = TheBus();
  std::lock_guard<std::mutex> lock(bus.mutex);
  EnsureEnvironment(bus);
  auto dev = NewFalcon(bus);
  bus.falcons.push_back(dev);
  return dev;
}

std::vector<std::shared_ptr<Falcon>> Falcons() {
  Bus &bus = TheBus();
  std::lock_guard<std::mutex> lock(bus.mutex);
  EnsureEnvironment(bus);
  return bus.falcons;
}

void Rescan() {
  tkxComUSB::ReleaseDevices();
  tkxComFalcon::ReleaseDevices();
}

namespace testing {

void ReadEnvironment() {
  Bus &bus = TheBus();
  std::lock_guard<std::mutex> lock(bus.mutex);
  ReadEnvironmentLocked(bus);
}

bool StartLog(const char *path) { return path != nullptr && TheLogger().Start(path); }

void SetRate(int perSecond) { paceRate.store(perSecond < 0 ? 0 : perSecond, std::memory_order_relaxed); }

int Rate() {
  Bus &bus = TheBus();
  {
    std::lock_guard<std::mutex> lock(bus.mutex);
    EnsureEnvironment(bus);
  }
  return paceRate.load(std::memory_order_relaxed);
}

uint64_t PaceSleeps() { return paceSleeps.load(std::memory_order_relaxed); }

void FlushLog(bool rates) {
  if (rates) SampleRates();
  TheLogger().Drain();
}

}  // namespace testing

}  // namespace virt
}  // namespace tkx
