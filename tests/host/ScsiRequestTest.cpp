#include "device/ScsiRequest.h"

#include <gtest/gtest.h>

#include "device/ButtonPoll.h"

namespace bexlo {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put(Bytes& bytes, std::size_t at, Bytes values) {
    std::copy(values.begin(), values.end(), bytes.begin() + at);
}

const Bytes kApixPress = {0xF5, 0x41, 0x50, 0x49, 0x58, 0xF0, 0, 0, 0, 0, 0, 0, 0, 0};
const Bytes kAcknowledge = {0x3B, 0x05, 0x00, 0x02, 0x00, 0x24, 0x00, 0x00, 0x04, 0, 0, 0};

TEST(ScsiRequest, DataInOn32BitMatchesTheDocumentedFigures) {
    Bytes want(80 + 14);
    Put(want, 0, {44, 0, 0, 0, 1, 0, 14, 24, 1});
    Put(want, 12, {14, 0, 0, 0, 100, 0, 0, 0, 80, 0, 0, 0, 48, 0, 0, 0});
    Put(want, 28, kApixPress);
    EXPECT_EQ(BuildPassThroughIn(kScsiLayout32, kApixPress, 14, 100), want);
}

TEST(ScsiRequest, DataInOn64BitWidensTheDataOffsetAndMovesWhatFollows) {
    Bytes want(80 + 4);
    Put(want, 0, {56, 0, 0, 0, 1, 0, 14, 24, 1});
    Put(want, 12, {4, 0, 0, 0, 100, 0, 0, 0});
    Put(want, 24, {80, 0, 0, 0, 0, 0, 0, 0, 56, 0, 0, 0});
    Put(want, 36, ReadButtonCdb());
    EXPECT_EQ(BuildPassThroughIn(kScsiLayout64, ReadButtonCdb(), 4, 100), want);
}

TEST(ScsiRequest, DataOutCarriesTheCallersAddressInPointerWidth) {
    Bytes want32(80);
    Put(want32, 0, {44, 0, 0, 0, 1, 0, 12, 24, 0});
    Put(want32, 12, {4, 0, 0, 0, 100, 0, 0, 0, 0x78, 0x56, 0x34, 0x12, 48, 0, 0, 0});
    Put(want32, 28, kAcknowledge);
    EXPECT_EQ(BuildPassThroughOut(kScsiLayout32, kAcknowledge, 4, 100, 0x12345678), want32);

    Bytes want64(80);
    Put(want64, 0, {56, 0, 0, 0, 1, 0, 12, 24, 0});
    Put(want64, 12, {4, 0, 0, 0, 100, 0, 0, 0});
    Put(want64, 24, {0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11, 56, 0, 0, 0});
    Put(want64, 36, kAcknowledge);
    EXPECT_EQ(BuildPassThroughOut(kScsiLayout64, kAcknowledge, 4, 100, 0x1122334455667788ull),
              want64);
}

TEST(ScsiRequest, RefusesWhatDoesNotFit) {
    const Bytes longCdb(17, 0xAA);
    EXPECT_TRUE(BuildPassThroughIn(kScsiLayout64, longCdb, 4, 100).empty());
    EXPECT_TRUE(BuildPassThroughOut(kScsiLayout32, longCdb, 4, 100, 1).empty());
    EXPECT_TRUE(BuildPassThroughIn(kScsiLayout32, kApixPress, kScsiMaxTransfer + 1, 100).empty());
    EXPECT_EQ(BuildPassThroughIn(kScsiLayout32, kApixPress, kScsiMaxTransfer, 100).size(),
              80u + kScsiMaxTransfer);
    // Data out is bounded as data in is: the driver reads that many bytes from the address.
    for (const ScsiRequestLayout& layout : {kScsiLayout32, kScsiLayout64}) {
        EXPECT_TRUE(
            BuildPassThroughOut(layout, kAcknowledge, kScsiMaxTransfer + 1, 100, 1).empty());
        EXPECT_TRUE(BuildPassThroughOut(layout, kAcknowledge, 0xFFFFFFFF, 100, 1).empty());
        EXPECT_EQ(BuildPassThroughOut(layout, kAcknowledge, kScsiMaxTransfer, 100, 1).size(), 80u);
    }
}

TEST(ScsiReplyReading, TakesNoMoreDataThanCameBack) {
    for (const ScsiRequestLayout& layout : {kScsiLayout32, kScsiLayout64}) {
        Bytes request = BuildPassThroughIn(layout, kApixPress, 14, 100);
        // What a driver leaves: two bytes transferred, a status, and 18 bytes of sense.
        request[2] = 2;
        Put(request, 12, {2, 0, 0, 0});
        request[7] = 18;
        request[layout.senseOffset] = 0x70;
        Put(request, 80, {1, 2, 0xEE});

        ScsiReply reply = ReadPassThroughReply(layout, request, 82);
        EXPECT_EQ(reply.error, 0);
        EXPECT_EQ(reply.scsiStatus, 2);
        EXPECT_EQ(reply.data, (Bytes{1, 2}));
        ASSERT_EQ(reply.sense.size(), 18u);
        EXPECT_EQ(reply.sense[0], 0x70);

        // A transfer length beyond the buffer, or fewer bytes returned than it claims.
        Put(request, 12, {0xFF, 0xFF, 0xFF, 0xFF});
        request[7] = 0xFF;
        reply = ReadPassThroughReply(layout, request, 0xFFFFFFFF);
        EXPECT_EQ(reply.data.size(), 14u);
        EXPECT_EQ(reply.sense.size(), kScsiSenseLength);
        EXPECT_TRUE(ReadPassThroughReply(layout, request, 81).data.size() == 1);
        EXPECT_TRUE(ReadPassThroughReply(layout, request, 40).data.empty());

        request.resize(79);
        EXPECT_NE(ReadPassThroughReply(layout, request, 79).error, 0);
    }
}

TEST(ScsiReplyReading, AnOutRequestHasNoData) {
    Bytes request = BuildPassThroughOut(kScsiLayout64, kAcknowledge, 4, 100, 0x1000);
    const ScsiReply reply = ReadPassThroughReply(kScsiLayout64, request, 80);
    EXPECT_EQ(reply.error, 0);
    EXPECT_TRUE(reply.data.empty());
}

}  // namespace
}  // namespace bexlo
