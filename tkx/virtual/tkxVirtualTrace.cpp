// The per-exchange trace: a bounded lock-free ring (a sequence number per cell, so
// any number of exchanging threads push without a lock) and a detached writer that
// drains it into the file.
#include "tkx/virtual/tkxVirtualTrace.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>
#include <new>
#include <string>

namespace tkx {
namespace virt {

namespace {

// one exchange, copied as it was
struct Record {
  double t;
  int device;
  int button;
  double hand[3];
  double effector[3];
  double force[3];
  double gripper[3];  // angle, hand's angle, motor torque; NaN without a gripper
};

struct Cell {
  std::atomic<uint64_t> sequence;
  Record record;
};

// 8 s of one device at 4 kHz; the writer drains every 20 ms
constexpr uint64_t kCells = 1u << 15;

std::atomic<bool> traceOn{false};
std::atomic<uint64_t> lost{0};

class Tracer {
 public:
  bool Start(const char *path) {
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    std::lock_guard<std::mutex> lock(writeMutex_);
    if (cells_ == nullptr) {
      cells_.reset(new (std::nothrow) Cell[kCells]);
      if (cells_ == nullptr) {
        close(fd);
        return false;
      }
      for (uint64_t i = 0; i < kCells; ++i) cells_[i].sequence.store(i, std::memory_order_relaxed);
      text_.reserve(1 << 20);
    }
    // what the old file was owed goes there first
    DrainLocked();
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
    reported_ = lost.load(std::memory_order_relaxed);
    static const char header[] =
        "# t device button hand_x hand_y hand_z effector_x effector_y effector_z force_x force_y force_z "
        "gripper gripper_hand gripper_torque\n";
    WriteAll(header, sizeof header - 1);
    traceOn.store(true, std::memory_order_release);
    if (!threadStarted_) {
      // without the thread, records still reach the file at every flush
      threadStarted_ = detail::StartDetachedThread(&Tracer::Run, this);
    }
    return true;
  }

  // producers: claim a cell, fill it, publish it; a full ring loses the record
  void Push(const Record &r) {
    uint64_t at = head_.load(std::memory_order_relaxed);
    for (;;) {
      Cell &cell = cells_[at % kCells];
      const uint64_t seq = cell.sequence.load(std::memory_order_acquire);
      const int64_t diff = static_cast<int64_t>(seq) - static_cast<int64_t>(at);
      if (diff == 0) {
        if (head_.compare_exchange_weak(at, at + 1, std::memory_order_relaxed)) {
          cell.record = r;
          cell.sequence.store(at + 1, std::memory_order_release);
          return;
        }
      } else if (diff < 0) {
        lost.fetch_add(1, std::memory_order_relaxed);
        return;
      } else {
        at = head_.load(std::memory_order_relaxed);
      }
    }
  }

  void Drain() {
    std::lock_guard<std::mutex> lock(writeMutex_);
    DrainLocked();
  }

 private:
  static void *Run(void *self) {
    Tracer *tracer = static_cast<Tracer *>(self);
    for (;;) {
      const timespec pause{0, 20 * 1000 * 1000};
      nanosleep(&pause, nullptr);
      tracer->Drain();
    }
    return nullptr;
  }

  // the one consumer: takes the published cells in order
  void DrainLocked() {
    if (cells_ == nullptr) return;
    text_.clear();
    char line[400];
    for (;;) {
      Cell &cell = cells_[tail_ % kCells];
      if (cell.sequence.load(std::memory_order_acquire) != tail_ + 1) break;
      const Record r = cell.record;
      cell.sequence.store(tail_ + kCells, std::memory_order_release);
      ++tail_;
      const int n =
          std::snprintf(line, sizeof line, "%.5f %d %d %.6f %.6f %.6f %.6f %.6f %.6f %.4f %.4f %.4f %.5f %.5f %.5f\n",
                        r.t, r.device, r.button, r.hand[0], r.hand[1], r.hand[2], r.effector[0], r.effector[1],
                        r.effector[2], r.force[0], r.force[1], r.force[2], r.gripper[0], r.gripper[1], r.gripper[2]);
      if (n > 0) text_.append(line, static_cast<size_t>(std::min<int>(n, sizeof line - 1)));
      if (text_.size() > (1 << 19)) Flush();
    }
    const uint64_t l = lost.load(std::memory_order_relaxed);
    if (l != reported_) {
      const int n =
          std::snprintf(line, sizeof line, "# lost %llu records\n", static_cast<unsigned long long>(l - reported_));
      if (n > 0) text_.append(line, static_cast<size_t>(n));
      reported_ = l;
    }
    Flush();
  }

  void Flush() {
    WriteAll(text_.data(), text_.size());
    text_.clear();
  }

  // file errors are ignored: the trace is a witness only
  void WriteAll(const char *p, size_t left) {
    while (fd_ >= 0 && left > 0) {
      const ssize_t n = ::write(fd_, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      p += n;
      left -= static_cast<size_t>(n);
    }
  }

  std::unique_ptr<Cell[]> cells_;
  std::atomic<uint64_t> head_{0};
  uint64_t tail_ = 0;
  std::mutex writeMutex_;
  std::string text_;
  uint64_t reported_ = 0;
  int fd_ = -1;
  bool threadStarted_ = false;
};

// never destroyed, like the log: devices closed during static destruction still flush
Tracer &TheTracer() {
  static Tracer *tracer = new Tracer;
  return *tracer;
}

}  // namespace

namespace detail {

bool TraceEnabled() { return traceOn.load(std::memory_order_acquire); }

void TraceExchange(int device, const MechanismState &m) {
  if (!TraceEnabled()) return;
  Record r;
  r.t = m.time;
  r.device = device;
  r.button = m.hand.button ? 1 : 0;
  for (int i = 0; i < 3; ++i) {
    r.hand[i] = m.hand.target[i];
    r.effector[i] = m.effector[i];
    r.force[i] = m.motorForce[i];
  }
  if (m.hasGripper) {
    r.gripper[0] = m.gripperAngle;
    r.gripper[1] = m.gripperHand;
    r.gripper[2] = m.gripperTorque;
  } else {
    r.gripper[0] = r.gripper[1] = r.gripper[2] = NAN;
  }
  TheTracer().Push(r);
}

void TraceFlush() {
  if (TraceEnabled()) TheTracer().Drain();
}

bool StartDetachedThread(void *(*run)(void *), void *arg) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  const bool started = pthread_create(&thread, &attr, run, arg) == 0;
  pthread_attr_destroy(&attr);
  return started;
}

}  // namespace detail

namespace testing {

bool StartTrace(const char *path) { return path != nullptr && TheTracer().Start(path); }

void FlushTrace() { detail::TraceFlush(); }

uint64_t TraceLost() { return lost.load(std::memory_order_relaxed); }

}  // namespace testing
}  // namespace virt
}  // namespace tkx
