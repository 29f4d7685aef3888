// A virtual device of the maker's USB family: its firmware as a model that takes
// command packets and gives reply packets, with its own memory, status and
// encoders. Two hosts drive it: the in-process virtual bus behind the USB
// transport, and (in the tests) an emulated kernel device answering usbfs.
//
// Devices of the three-arm types may carry a simulated mechanism (tkxVirtualMechanism.h),
// as those on the virtual bus do: then encoders 0 to 2 report the arm angles, motor
// commands 0 to 2 turn the arms while force output is on and the hand's button is
// button 0. On the types with a stylus (34 to 37) encoders 3 to 5 report the stylus
// angles the hand turns it to; on those with a pinch gripper (35, 37) encoder 6 reports
// the finger's angle, which the hand's gripper opening pulls at and motor command 3
// pushes while force output is on; on an active wrist (61, 62, 64) encoders 3 to 5
// report its legs. Setting an arm, stylus or gripper encoder by hand (SetEncoder)
// switches the mechanism off for good: the test has taken the channels over, and the
// device is the bare firmware model again. A preset (command 0x0C) moves the counters,
// not the arms, the stylus or the finger.
//
// Simulated time follows the host's clock (the now of each transfer) and advances in
// fixed steps of 0.1 ms before each command is carried out; after Advance it moves
// only by Advance, for deterministic tests.
//
// Thread-safe: hosts call the transfer side from their own threads while tests
// inspect and change the device from theirs.
#ifndef TKX_VIRTUAL_DEVICE_H
#define TKX_VIRTUAL_DEVICE_H

#include "tkx/tkxMutex.h"
#include "tkx/virtual/tkxVirtualMechanism.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace tkx {
namespace virt {

constexpr int kPacketSize = 64;
constexpr int kMemorySize = 8192;
constexpr int kFirmwareSize = 8192;
constexpr int kChannels = 8;
constexpr int kEndpointOut = 0x02;
constexpr int kEndpointIn = 0x86;

// how one transfer ended
enum class Transfer {
  Ok,
  Timeout,   // no reply queued (or a dropped one)
  Stall,     // the endpoint is halted until cleared
  Error,     // the packet arrived damaged (the host controller's CRC check failed)
  NoDevice,  // unplugged
};

class Device {
 public:
  // code: the system-type code the device reports; blank: its memory is all 0xFF,
  // otherwise it holds a calibrated image (header, serial, reset positions);
  // mechanism: a three-arm type simulates its mechanism (other types ignore it)
  Device(int code, bool blank, bool mechanism = false);

  int Code() const { return code_; }
  // creation order in the process, from 1: names the device in the bus log and
  // makes the serial number of a calibrated image (1000 + number)
  int Number() const;
  // encoder channels in replies (3, 6, 7 or 8) and their width (16 or 24 bits)
  int Channels() const;
  int EncoderBits() const;

  // ---- host side ---------------------------------------------------------------
  // one OUT packet, at the host's time now (seconds)
  Transfer Write(const unsigned char *data, int length, double now);
  // one IN packet of at most length bytes into buffer; *received gets the count
  Transfer Read(unsigned char *buffer, int length, int *received, double now);
  // clearing the IN endpoint also empties the reply queue, as a FIFO reset would
  void ClearHalt(int endpoint);
  bool IsUnplugged() const;

  // ---- test side -------------------------------------------------------------------
  // memory access is clipped to the 8 KiB: bytes outside it are left out
  std::vector<unsigned char> Memory(int address, int length) const;
  void SetMemory(int address, const std::vector<unsigned char> &bytes);
  std::vector<unsigned char> Firmware(int address, int length) const;
  // values are kept as the device reports them: the low 16 bits (unsigned) on
  // 16-bit devices, the low 24 bits (signed) on 24-bit ones
  void SetEncoder(int channel, int32_t value);
  int32_t Encoder(int channel) const;
  void SetStatus(uint8_t status);
  uint8_t Status() const;
  void SetButtons(uint8_t buttons);
  uint8_t Buttons() const;
  int16_t Motor(int channel) const;  // last motor command received per channel
  bool ForceEnabled() const;
  bool BrakesOn() const;
  uint8_t VelocityThreshold() const;
  uint8_t OperatingMode() const;
  bool ButtonEmulated() const;
  int WristCalibrations() const;   // CalibWrist commands received
  int Resets() const;              // Reset commands received
  uint64_t Exchanges() const;      // OUT packets accepted
  uint64_t MotorCommands() const;  // motor-command packets accepted
  int PendingReplies() const;      // replies queued and not yet read
  // received OUT packets, oldest first, when recording is on (off by default)
  void RecordPackets(bool on);
  std::vector<std::vector<unsigned char>> Packets() const;
  void ClearPackets();

  // ---- mechanism -------------------------------------------------------------------
  bool HasMechanism() const;
  // steps the simulation by seconds; from then on the host's clock no longer moves it
  void Advance(double seconds);
  // hands simulated time back to the host's clock (from its next transfer on)
  void FollowHostTime();
  // the hand: a fixed pose (the script, if any, is dropped), or a script whose time
  // starts at the device's first exchange
  void SetHand(const HandPose &pose);
  void SetHandScript(const HandScript &script);
  // the hand's spring (N/m) and damper (N s/m); 0 and 0 let go of the effector
  void SetHandSpring(double stiffness, double damping);
  // the hand's rotational spring-damper on an active wrist (N m/rad, N m s/rad)
  void SetWristHandSpring(double stiffness, double damping);
  // the hand's rotational spring-damper on the pinch gripper's finger (N m/rad,
  // N m s/rad; defaults in tkxVirtualPincher.h)
  void SetGripperHandSpring(double stiffness, double damping);
  // mass mounted on the effector, kg
  void SetPayload(double kg);
  // the mechanism now; false (state untouched) without one
  bool GetMechanism(MechanismState *state) const;

  // ---- faults -----------------------------------------------------------------------
  void DropReplies(int n);                // the next n replies are never sent
  void ShortenReplies(int n, int bytes);  // the next n replies carry only this many bytes
  void CorruptReplies(int n);             // the next n replies arrive damaged
  void Stall();                           // both endpoints halt until cleared
  void Unplug();                          // every later transfer fails

 private:
  mutable tkx::Mutex mutex_;
  int code_;
  // everything else lives in the source file
  struct State;
  std::unique_ptr<State> s_;

 public:
  ~Device();
  Device(const Device &) = delete;
  Device &operator=(const Device &) = delete;
};

}  // namespace virt
}  // namespace tkx

#endif
