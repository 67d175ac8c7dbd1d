#include <windows.h>
#include <ntddscsi.h>

#include <gtest/gtest.h>

#include <cstring>

#include "device/ButtonPoll.h"
#include "device/ScsiRequest.h"

namespace bexlo {
namespace {

// The requests the poller builds, read back through the platform's own structure.
TEST(ScsiRequest, BuiltRequestsReadBackThroughThePlatformStructure) {
    const std::vector<std::uint8_t> cdb = ApixCdb(0x62);
    const std::vector<std::uint8_t> in = BuildPassThroughIn(kNativeScsiLayout, cdb, 14, 100);
    ASSERT_EQ(in.size(), 80u + 14u);
    SCSI_PASS_THROUGH header;
    std::memcpy(&header, in.data(), sizeof(header));
    EXPECT_EQ(header.Length, sizeof(SCSI_PASS_THROUGH));
    EXPECT_EQ(header.TargetId, kScsiTargetId);
    EXPECT_EQ(header.CdbLength, cdb.size());
    EXPECT_EQ(header.SenseInfoLength, kScsiSenseLength);
    EXPECT_EQ(header.DataIn, SCSI_IOCTL_DATA_IN);
    EXPECT_EQ(header.DataTransferLength, 14u);
    EXPECT_EQ(header.TimeOutValue, 100u);
    EXPECT_EQ(header.DataBufferOffset, 80u);
    EXPECT_EQ(header.SenseInfoOffset, sizeof(SCSI_PASS_THROUGH));
    EXPECT_EQ(std::memcmp(header.Cdb, cdb.data(), cdb.size()), 0);

    std::vector<std::uint8_t> block = {0x00, 0x00, 0x00, 0x10};
    const std::vector<std::uint8_t> acknowledge = AcknowledgeButtonCdb();
    const std::vector<std::uint8_t> out = BuildPassThroughOut(
        kNativeScsiLayout, acknowledge, 4, 100, reinterpret_cast<std::uintptr_t>(block.data()));
    SCSI_PASS_THROUGH_DIRECT direct;
    ASSERT_GE(out.size(), sizeof(direct));
    std::memcpy(&direct, out.data(), sizeof(direct));
    EXPECT_EQ(direct.DataIn, SCSI_IOCTL_DATA_OUT);
    EXPECT_EQ(direct.DataTransferLength, 4u);
    EXPECT_EQ(direct.DataBuffer, block.data());
    EXPECT_EQ(std::memcmp(direct.Cdb, acknowledge.data(), acknowledge.size()), 0);
}

}  // namespace
}  // namespace bexlo
