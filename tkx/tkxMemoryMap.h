// Where a device keeps its calibration in its own memory, and which owner
// answers each parameter identifier. Addresses are byte addresses; words are
// stored most significant byte first.
#ifndef TKX_MEMORYMAP_H
#define TKX_MEMORYMAP_H

#include <cstdint>

namespace tkx {
namespace mem {

// ---- parameter identifiers ----

// 0 to 14: core parameters of the slot, 16-bit words (the even ones are the
// encoder offsets of channels 0 to 7)
constexpr int kCoreParamFirst = 0;
constexpr int kCoreParamLast = 14;
constexpr int kCoreParamCount = kCoreParamLast - kCoreParamFirst + 1;
// 15 to 119 belong to nobody; then each model's range up to the next one
constexpr int kTranslatorParamFirst = 120;
constexpr int kRotatorParamFirst = 200;
constexpr int kGripperParamFirst = 400;
constexpr int kControllerParamFirst = 500;

// advisory bounds of a core parameter around its default
constexpr double kCoreParamSpan = 1000.0;

// ---- device memory ----

// core parameter k is the word at 2k; the same words are the reset position of
// each encoder channel, read by the channel at open
constexpr unsigned short CoreParamAddress(int id) { return static_cast<unsigned short>(2 * id); }
constexpr unsigned short ResetPositionAddress(int channel) { return CoreParamAddress(channel); }

// factory calibration block written at address 0 by auto-configuration: the
// reset words of channels 0 to 6
constexpr unsigned short kFactoryBlockAddress = 0;
constexpr unsigned char kFactoryBlock[14] = {0x77, 0x24, 0x53, 0xFC, 0x53, 0xFC, 0x80,
                                             0x00, 0x80, 0x00, 0x80, 0x00, 0x80, 0x00};

// header of the full layout: layout version (2 bytes), three version bytes and
// the serial number (2 bytes)
constexpr unsigned short kHeaderAddress = 100;
constexpr unsigned short kTKCVersionAddress = 102;
constexpr unsigned short kTKXVersionAddress = 103;
constexpr unsigned short kTKWVersionAddress = 104;
constexpr unsigned short kSerialNumberAddress = 105;
constexpr uint16_t kHeaderVersion = 0x0110;
constexpr uint8_t kHeaderVersionHigh = kHeaderVersion >> 8;
constexpr uint8_t kHeaderVersionLow = kHeaderVersion & 0xFF;
// the version a slot reports for the small layout, which has no header
constexpr uint16_t kSmallLayoutVersion = 0xFFFF;

// model parameters of the full layout: four bytes each from 100 on, cut to 16 bits
constexpr int kParamBase = 100;
constexpr int kParamStride = 4;
constexpr unsigned short ParamAddress(int id) { return static_cast<unsigned short>(kParamBase + kParamStride * id); }

}  // namespace mem
}  // namespace tkx

#endif
