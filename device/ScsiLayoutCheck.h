#pragma once

// Pins the request layout the device layer builds against the platform's own pass-through
// structures, so a build whose headers disagree fails instead of sending misplaced bytes.

#ifdef _WIN32

#include <windows.h>
#include <ntddscsi.h>

#include <cstddef>

#include "device/ScsiRequest.h"

namespace bexlo::scsi_layout_check {

static_assert(kNativeScsiLayout.pointerSize == sizeof(ULONG_PTR));
static_assert(kNativeScsiLayout.headerSize == sizeof(SCSI_PASS_THROUGH));
static_assert(kNativeScsiLayout.cdbOffset == offsetof(SCSI_PASS_THROUGH, Cdb));
static_assert(kNativeScsiLayout.cdbOffset - 4 == offsetof(SCSI_PASS_THROUGH, SenseInfoOffset));
static_assert(kNativeScsiLayout.cdbOffset - 4 - kNativeScsiLayout.pointerSize ==
              offsetof(SCSI_PASS_THROUGH, DataBufferOffset));
static_assert(offsetof(SCSI_PASS_THROUGH, DataTransferLength) == 12);
static_assert(offsetof(SCSI_PASS_THROUGH, TimeOutValue) == 16);
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == sizeof(SCSI_PASS_THROUGH));
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) ==
              offsetof(SCSI_PASS_THROUGH, DataBufferOffset));
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb) == offsetof(SCSI_PASS_THROUGH, Cdb));
static_assert(kNativeScsiLayout.senseOffset >= kNativeScsiLayout.headerSize);
static_assert(kNativeScsiLayout.senseOffset + kScsiSenseLength <= kNativeScsiLayout.dataOffset);
static_assert(IOCTL_SCSI_PASS_THROUGH == kIoctlScsiPassThrough);
static_assert(IOCTL_SCSI_PASS_THROUGH_DIRECT == kIoctlScsiPassThroughDirect);

}  // namespace bexlo::scsi_layout_check

#endif
