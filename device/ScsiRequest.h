#pragma once

#include <cstdint>
#include <vector>

#include "device/DeviceSeam.h"

namespace bexlo {

// Where the platform's SCSI pass-through header puts its parts. The two pass-through structures
// (buffered and direct) share one layout; only the data-buffer field's width follows the pointer
// size, which moves every field after it.
struct ScsiRequestLayout {
    std::uint32_t headerSize;
    std::uint32_t cdbOffset;
    std::uint32_t senseOffset;
    std::uint32_t dataOffset;
    std::uint32_t pointerSize;
};

inline constexpr ScsiRequestLayout kScsiLayout32{44, 28, 48, 80, 4};
inline constexpr ScsiRequestLayout kScsiLayout64{56, 36, 56, 80, 8};
inline constexpr ScsiRequestLayout kNativeScsiLayout =
    sizeof(void*) == 8 ? kScsiLayout64 : kScsiLayout32;

inline constexpr std::uint32_t kIoctlScsiPassThrough = 0x4D004;
inline constexpr std::uint32_t kIoctlScsiPassThroughDirect = 0x4D014;

inline constexpr std::uint8_t kScsiSenseLength = 24;
inline constexpr std::uint8_t kScsiTargetId = 1;  // the enclosures answer on target 1, not 0
inline constexpr std::uint32_t kScsiMaxTransfer = 65536;
inline constexpr std::size_t kScsiMaxCdb = 16;

// The CDB's size is the CDB length the header gives.
//
// The buffered request for data in: header, sense area and room for `length` bytes of reply at
// the data offset. Sent with the header as input and the whole buffer as output. Empty when the
// CDB or the length does not fit.
std::vector<std::uint8_t> BuildPassThroughIn(const ScsiRequestLayout& layout,
                                             const std::vector<std::uint8_t>& cdb,
                                             std::uint32_t length, std::uint32_t timeoutSeconds);

// The direct request for data out: header and sense area, the header holding the address of
// the caller's data block. Sent as input and output. Empty when the CDB or the length does not
// fit: the driver would read that many bytes from the address.
std::vector<std::uint8_t> BuildPassThroughOut(const ScsiRequestLayout& layout,
                                              const std::vector<std::uint8_t>& cdb,
                                              std::uint32_t length, std::uint32_t timeoutSeconds,
                                              std::uint64_t dataAddress);

// What a completed request says: the SCSI status, the data that came back (never more than the
// buffer and `bytesReturned` hold) and the sense bytes.
ScsiReply ReadPassThroughReply(const ScsiRequestLayout& layout,
                               const std::vector<std::uint8_t>& request,
                               std::uint32_t bytesReturned);

}  // namespace bexlo
