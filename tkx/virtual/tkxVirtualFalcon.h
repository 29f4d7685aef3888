// A virtual Falcon behind a virtual USB serial converter, for the virtual bus.
//
// The converter answers its control requests and checks their order: the line
// set-up, the DTR pulse that wakes the loader, the change of speed for the
// upload and the final speed; a request out of order leaves it confused until
// the next purge of its receive buffer starts the sequence again. Every packet
// it sends starts with its two status bytes; with nothing to send it answers
// with those alone, as the real one does.
//
// The Falcon behind it takes the loader's 'C' and 'A' exchanges, echoes every
// byte of the image, and starts once the whole image has arrived and is the
// library's placeholder image. From then on it answers each 16-byte frame with
// one of its own. It simulates its three-arm mechanism (tkxVirtualMechanism.h
// with the Falcon's geometry), reports "not homed" with zero encoders until the
// hand has carried the effector through the homing position (x >= kHomingX), and
// sends the hand's button as the grip's centre button (library button 0). Its
// motors push only once homed.
//
// Thread-safe, like Device.
#ifndef TKX_VIRTUAL_FALCON_H
#define TKX_VIRTUAL_FALCON_H

#include "tkx/tkxMutex.h"
#include "tkx/virtual/tkxVirtualDevice.h"
#include "tkx/virtual/tkxVirtualMechanism.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tkx {
namespace virt {

constexpr int kFalconEndpointIn = 0x81;

class Falcon {
 public:
  static constexpr double kHomingX = 0.03;  // m, device frame
  static constexpr int kFrameSize = 16;

  enum class Stage { Off, LineSet, Loader, Greeted, Ready, Uploading, Booted, Running, Confused };

  Falcon();
  ~Falcon();
  Falcon(const Falcon &) = delete;
  Falcon &operator=(const Falcon &) = delete;

  // creation order in the process, from 1, for the bus log
  int Number() const { return number_; }

  // ---- host side ----------------------------------------------------------------
  Transfer Control(int requestType, int request, int value, int index, int length, double now);
  Transfer Write(const unsigned char *data, int length, double now);
  Transfer Read(unsigned char *buffer, int length, int *received, double now);
  void ClearHalt();
  bool IsUnplugged() const;

  // ---- test side ----------------------------------------------------------------
  Stage GetStage() const;
  bool Homed() const;
  // marks the device homed without moving the hand there
  void Home();
  int Uploads() const;         // images accepted
  int UploadsStarted() const;  // uploads begun ('A' received)
  int16_t Motor(int arm) const;
  uint8_t Control() const;  // LED and control bits of the last frame
  uint64_t Frames() const;  // frames answered
  // bytes the converter sends next, before anything else (a stream that slipped)
  void Inject(const std::vector<unsigned char> &bytes);
  // the mechanism, as Device's
  void Advance(double seconds);
  void SetHand(const HandPose &pose);
  void SetHandScript(const HandScript &script);
  void SetHandSpring(double stiffness, double damping);
  bool GetMechanism(MechanismState *state) const;

  // ---- faults during each upload, until changed (-1 switches one off) ------------
  void StopEchoAfter(int bytes);  // no echo after this many bytes
  void LoseEcho(int bytes);       // this many bytes of each upload are never echoed
  void StallAfter(int bytes);     // both endpoints halt after this many bytes (cleared by ClearHalt)
  void UnplugAfter(int bytes);    // unplugged for good after this many bytes
  void Stall();
  void Unplug();

 private:
  void Confuse(const char *why);
  void Frame(const unsigned char *frame, double now);
  void CheckHoming();
  void Queue(const unsigned char *data, int length);
  void Log(const char *text) const;

  mutable tkx::Mutex mutex_;
  int number_;
  Stage stage_ = Stage::Off;
  int setupStep_ = 0;
  // what the converter sends next: a fixed ring, so answering frames allocates
  // nothing; when full the oldest bytes go, as a converter's buffer overruns
  class Ring {
   public:
    static constexpr size_t kSize = 16384;
    void clear() { head_ = count_ = 0; }
    bool empty() const { return count_ == 0; }
    void push_back(unsigned char b) {
      if (count_ == kSize) pop_front();
      buf_[(head_ + count_++) % kSize] = b;
    }
    void push_front(unsigned char b) {
      if (count_ == kSize) return;
      head_ = (head_ + kSize - 1) % kSize;
      buf_[head_] = b;
      ++count_;
    }
    unsigned char front() const { return buf_[head_]; }
    void pop_front() {
      head_ = (head_ + 1) % kSize;
      --count_;
    }

   private:
    std::vector<unsigned char> buf_ = std::vector<unsigned char>(kSize);
    size_t head_ = 0, count_ = 0;
  };
  Ring outgoing_;
  std::vector<unsigned char> image_;
  std::vector<unsigned char> frameIn_;
  Mechanism mech_;
  bool manualTime_ = false;
  bool homed_ = false;
  int uploads_ = 0;
  int uploadsStarted_ = 0;
  int16_t motor_[3] = {0, 0, 0};
  uint8_t control_ = 0;
  uint64_t frames_ = 0;
  bool stalled_ = false;
  bool unplugged_ = false;
  int stopEchoAfter_ = -1, loseEcho_ = -1, stallAfter_ = -1, unplugAfter_ = -1;
  double lastLog_ = -1.0;
};

}  // namespace virt
}  // namespace tkx

#endif
