#include "tkx/virtual/tkxVirtualFalcon.h"

#include "tkx/tkxComFalcon.h"
#include "tkx/virtual/tkxVirtualLog.h"

#include <atomic>
#include <cstdio>

namespace tkx {
namespace virt {

namespace {

std::atomic<int> falconCount{0};

// the converter's two status bytes (modem and line status: nothing to report)
constexpr unsigned char kStatus0 = 0x31;
constexpr unsigned char kStatus1 = 0x60;

struct Request {
  int request, value;
};
// the line set-up ending in the DTR pulse that wakes the loader
const Request kSetup[] = {{0, 1}, {0, 2}, {9, 16}, {3, 0x4138}, {4, 8}, {2, 0}, {1, 0x0200}, {1, 0x0100}, {1, 0x0101}};
constexpr int kSetupSteps = sizeof kSetup / sizeof kSetup[0];

}  // namespace

Falcon::Falcon() : number_(++falconCount), mech_(60) {}

Falcon::~Falcon() = default;

void Falcon::Log(const char *text) const { detail::LogFalconEvent(number_, text); }

void Falcon::Confuse(const char *why) {
  stage_ = Stage::Confused;
  Log(why);
}

Transfer Falcon::Control(int requestType, int request, int value, int, int length, double) {
  tkx::Lock lock(mutex_);
  if (unplugged_) return Transfer::NoDevice;
  if (requestType != 0x40 || length != 0) return Transfer::Error;
  // a purge of the receive buffer starts every set-up afresh
  if (request == 0 && value == 1) {
    stage_ = Stage::LineSet;
    setupStep_ = 1;
    outgoing_.clear();
    frameIn_.clear();
    return Transfer::Ok;
  }
  switch (stage_) {
    case Stage::LineSet:
      if (setupStep_ < kSetupSteps && kSetup[setupStep_].request == request && kSetup[setupStep_].value == value) {
        if (++setupStep_ == kSetupSteps) stage_ = Stage::Loader;
        return Transfer::Ok;
      }
      break;
    case Stage::Greeted:
      // DTR low, then the upload's speed
      if (setupStep_ == 0 && request == 1 && value == 0x0100) {
        setupStep_ = 1;
        return Transfer::Ok;
      }
      if (setupStep_ == 1 && request == 3 && value == 21) {
        stage_ = Stage::Ready;
        return Transfer::Ok;
      }
      break;
    case Stage::Booted:
      if (setupStep_ == 0 && request == 9 && value == 1) {
        setupStep_ = 1;
        return Transfer::Ok;
      }
      if (setupStep_ == 1 && request == 3 && value == 2) {
        stage_ = Stage::Running;
        Log("firmware running");
        return Transfer::Ok;
      }
      break;
    case Stage::Running:
      // the line may be set again while running; nothing changes
      return Transfer::Ok;
    default:
      break;
  }
  char text[96];
  std::snprintf(text, sizeof text, "converter request %d value 0x%04X out of order", request, value);
  Confuse(text);
  return Transfer::Ok;
}

void Falcon::Queue(const unsigned char *data, int length) {
  for (int i = 0; i < length; ++i) outgoing_.push_back(data[i]);
}

Transfer Falcon::Write(const unsigned char *data, int length, double now) {
  tkx::Lock lock(mutex_);
  if (unplugged_) return Transfer::NoDevice;
  if (stalled_) return Transfer::Stall;
  if (data == nullptr || length < 0) return Transfer::Error;
  switch (stage_) {
    case Stage::Loader:
      if (length == 3 && data[0] == 0x0A && data[1] == 'C' && data[2] == 0x0D) {
        Queue(data, 3);
        stage_ = Stage::Greeted;
        setupStep_ = 0;
        Log("loader greeted");
      } else {
        Confuse("loader expected its greeting");
      }
      return Transfer::Ok;
    case Stage::Ready:
      if (length == 1 && data[0] == 'A') {
        Queue(data, 1);
        stage_ = Stage::Uploading;
        image_.clear();
        ++uploadsStarted_;
        Log("upload started");
      } else {
        Confuse("loader expected the start of the upload");
      }
      return Transfer::Ok;
    case Stage::Uploading: {
      const std::vector<unsigned char> &want = tkxComFalcon::PlaceholderFirmware();
      for (int i = 0; i < length; ++i) {
        const int k = static_cast<int>(image_.size());
        if (unplugAfter_ >= 0 && k >= unplugAfter_) {
          unplugged_ = true;
          Log("unplugged during the upload");
          return Transfer::NoDevice;
        }
        if (stallAfter_ >= 0 && k >= stallAfter_) {
          stalled_ = true;
          Log("stalled during the upload");
          return Transfer::Stall;
        }
        image_.push_back(data[i]);
        const bool echo = (stopEchoAfter_ < 0 || k < stopEchoAfter_) && (loseEcho_ < 0 || k >= loseEcho_);
        if (echo) outgoing_.push_back(data[i]);
        if (static_cast<int>(image_.size()) == static_cast<int>(want.size())) {
          if (image_ == want) {
            stage_ = Stage::Booted;
            setupStep_ = 0;
            ++uploads_;
            Log("upload complete: image accepted");
          } else {
            Confuse("upload complete: image rejected");
          }
          return Transfer::Ok;
        }
      }
      return Transfer::Ok;
    }
    case Stage::Running:
      for (int i = 0; i < length; ++i) {
        if (frameIn_.empty() && data[i] != '<') continue;
        frameIn_.push_back(data[i]);
        if (static_cast<int>(frameIn_.size()) == kFrameSize) {
          Frame(frameIn_.data(), now);
          frameIn_.clear();
        }
      }
      return Transfer::Ok;
    default:
      return Transfer::Ok;
  }
}

void Falcon::CheckHoming() {
  if (homed_) return;
  if (mech_.State().effector[0] >= kHomingX) {
    homed_ = true;
    Log("homed");
  }
}

void Falcon::Frame(const unsigned char *frame, double now) {
  if (frame[15] != '>') return;
  for (int k = 0; k < 3; ++k) {
    const int arm = k == 0 ? 0 : k == 1 ? 2 : 1;
    unsigned v = 0;
    for (int g = 0; g < 4; ++g) v |= ((frame[1 + 4 * k + g] - 'A') & 0xFu) << (4 * g);
    motor_[arm] = static_cast<int16_t>(v);
  }
  control_ = static_cast<uint8_t>(frame[13] - 'A');
  if (!manualTime_) mech_.Follow(now);
  CheckHoming();
  const MechanismState st = mech_.State();
  mech_.SetDrive(homed_, false);
  for (int i = 0; i < 3; ++i) mech_.SetMotor(i, homed_ ? motor_[i] : 0);
  ++frames_;

  int16_t enc[3] = {0, 0, 0};
  if (homed_)
    for (int i = 0; i < 3; ++i) enc[i] = static_cast<int16_t>(mech_.Encoder(i));
  unsigned char out[kFrameSize];
  out[0] = '<';
  const int order[3] = {0, 2, 1};
  for (int k = 0; k < 3; ++k) {
    const unsigned v = static_cast<uint16_t>(enc[order[k]]);
    for (int g = 0; g < 4; ++g) out[1 + 4 * k + g] = static_cast<unsigned char>('A' + ((v >> (4 * g)) & 0xF));
  }
  // the hand's button as the grip's centre button
  const unsigned flags = (homed_ ? 0x70u : 0x00u) | (st.hand.button ? 0x4u : 0x0u);
  out[13] = static_cast<unsigned char>('A' + flags);
  out[14] = 'A';
  out[15] = '>';
  Queue(out, kFrameSize);

  if (detail::LogEnabled() && (lastLog_ < 0.0 || now - lastLog_ >= 1.0)) {
    lastLog_ = now;
    char text[320];
    std::snprintf(text, sizeof text,
                  "mechanism: effector %.4f %.4f %.4f m, hand %.4f %.4f %.4f m, motor force %.3f %.3f %.3f N, %s",
                  st.effector[0], st.effector[1], st.effector[2], st.hand.target[0], st.hand.target[1],
                  st.hand.target[2], st.motorForce[0], st.motorForce[1], st.motorForce[2],
                  homed_ ? "homed" : "not homed");
    Log(text);
  }
}

Transfer Falcon::Read(unsigned char *buffer, int length, int *received, double) {
  tkx::Lock lock(mutex_);
  if (unplugged_) return Transfer::NoDevice;
  if (stalled_) return Transfer::Stall;
  if (buffer == nullptr || length < 2) return Transfer::Error;
  buffer[0] = kStatus0;
  buffer[1] = kStatus1;
  int n = 2;
  while (n < length && n < kPacketSize && !outgoing_.empty()) {
    buffer[n++] = outgoing_.front();
    outgoing_.pop_front();
  }
  if (received) *received = n;
  return Transfer::Ok;
}

void Falcon::ClearHalt() {
  tkx::Lock lock(mutex_);
  stalled_ = false;
}

bool Falcon::IsUnplugged() const {
  tkx::Lock lock(mutex_);
  return unplugged_;
}

Falcon::Stage Falcon::GetStage() const {
  tkx::Lock lock(mutex_);
  return stage_;
}

bool Falcon::Homed() const {
  tkx::Lock lock(mutex_);
  return homed_;
}

void Falcon::Home() {
  tkx::Lock lock(mutex_);
  homed_ = true;
}

int Falcon::Uploads() const {
  tkx::Lock lock(mutex_);
  return uploads_;
}

int Falcon::UploadsStarted() const {
  tkx::Lock lock(mutex_);
  return uploadsStarted_;
}

int16_t Falcon::Motor(int arm) const {
  tkx::Lock lock(mutex_);
  return arm >= 0 && arm < 3 ? motor_[arm] : 0;
}

uint8_t Falcon::Control() const {
  tkx::Lock lock(mutex_);
  return control_;
}

uint64_t Falcon::Frames() const {
  tkx::Lock lock(mutex_);
  return frames_;
}

void Falcon::Inject(const std::vector<unsigned char> &bytes) {
  tkx::Lock lock(mutex_);
  for (auto b = bytes.rbegin(); b != bytes.rend(); ++b) outgoing_.push_front(*b);
}

void Falcon::Advance(double seconds) {
  tkx::Lock lock(mutex_);
  manualTime_ = true;
  // the homing position counts whenever the effector passes it
  const double step = 0.001;
  for (double t = 0.0; t < seconds; t += step) {
    mech_.Advance(seconds - t < step ? seconds - t : step);
    CheckHoming();
  }
}

void Falcon::SetHand(const HandPose &pose) {
  tkx::Lock lock(mutex_);
  mech_.SetHand(pose);
}

void Falcon::SetHandScript(const HandScript &script) {
  tkx::Lock lock(mutex_);
  mech_.SetScript(script);
}

void Falcon::SetHandSpring(double stiffness, double damping) {
  tkx::Lock lock(mutex_);
  mech_.SetHandSpring(stiffness, damping);
}

bool Falcon::GetMechanism(MechanismState *state) const {
  tkx::Lock lock(mutex_);
  if (state) *state = mech_.State();
  return state != nullptr;
}

void Falcon::StopEchoAfter(int bytes) {
  tkx::Lock lock(mutex_);
  stopEchoAfter_ = bytes;
}
void Falcon::LoseEcho(int bytes) {
  tkx::Lock lock(mutex_);
  loseEcho_ = bytes;
}
void Falcon::StallAfter(int bytes) {
  tkx::Lock lock(mutex_);
  stallAfter_ = bytes;
}
void Falcon::UnplugAfter(int bytes) {
  tkx::Lock lock(mutex_);
  unplugAfter_ = bytes;
}
void Falcon::Stall() {
  tkx::Lock lock(mutex_);
  stalled_ = true;
}
void Falcon::Unplug() {
  tkx::Lock lock(mutex_);
  unplugged_ = true;
}

}  // namespace virt
}  // namespace tkx
