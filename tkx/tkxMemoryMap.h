// Where a slot keeps its calibration in device memory.
#ifndef TKX_MEMORYMAP_H
#define TKX_MEMORYMAP_H

#include <cstdint>

namespace tkx {
namespace mem {

// factory calibration block written at address 0 by auto-configuration
constexpr unsigned char kFactoryBlock[14] = {0x77, 0x24, 0x53, 0xFC, 0x53, 0xFC, 0x80,
                                             0x00, 0x80, 0x00, 0x80, 0x00, 0x80, 0x00};

constexpr unsigned short kHeaderAddress = 100;
constexpr uint16_t kHeaderVersion = 0x0110;
constexpr uint16_t kSmallLayoutVersion = 0xFFFF;

}  // namespace mem
}  // namespace tkx

#endif
