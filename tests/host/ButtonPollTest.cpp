#include "device/ButtonPoll.h"
#include "device/DeviceLayer.h"

#include <gtest/gtest.h>

#include "tests/host/FakeDeviceSeam.h"

namespace bexlo {
namespace {

using namespace testing_device;
using Bytes = std::vector<std::uint8_t>;

constexpr int E = 4, F = 5, H = 7;

// One enclosure of the given family on drive E, physical drive 1, as a scan would leave it.
struct Rig {
    explicit Rig(int family) : family(family) { Attach(E, family, 1); }

    void Attach(int drive, int family, int physical) {
        seam.drives[drive].mounted = MountedRecord(0x100 + drive, kFirstPartitionOffset);
        seam.drives[drive].deviceNumber = physical;
        layer.record.driveReported[drive] = 1;
        layer.record.driveFamily[drive] = family;
        layer.record.physicalDrive[drive] = physical;
        ++layer.record.familyCount[family];
    }
    // The enclosure on physical drive `physical` answers every data-in CDB with these bytes.
    void Answer(int physical, Bytes data) {
        seam.scsi[physical] = [data](const Bytes&) { return ScsiReply{0, 0, data, {}}; };
    }
    // Every data-in CDB to physical drive 1 is answered with whatever `reply` holds then.
    void AnswerFrom(const Bytes& reply) {
        seam.scsi[1] = [&reply](const Bytes&) { return ScsiReply{0, 0, reply, {}}; };
    }
    PollResult Poll(int mode, int drive = E) {
        return layer.poller.PollDevice(family, drive, mode);
    }

    int family;
    FakeDeviceSeam seam;
    FakePollHost host{seam};
    DeviceLayer layer{seam, host};
};

// Families 1 and 2 share the APIX replies: byte 0 says press (1) or key (2), byte 1 which.
TEST(FamilyOnePoll, RepliesDecodeAsPressesAndKeyAnswers) {
    struct Case {
        std::uint8_t r0, r1;
        int pressKey;  // 0: no press
        bool keyLost;
        int keyValue;
    };
    const Case cases[] = {{1, 1, 1, false, 0}, {1, 2, 2, false, 0}, {1, 0, 0, false, 0},
                          {1, 3, 0, false, 0}, {0, 1, 0, false, 0}, {2, 1, 0, false, 1},
                          {2, 0, 0, true, 0},  {2, 2, 0, true, 0},  {3, 1, 0, false, 0}};
    for (int family : {1, 2}) {
        Rig rig(family);
        Bytes reply(2);
        rig.AnswerFrom(reply);
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << family << ": " << int(c.r0) << " " << int(c.r1));
            reply = {c.r0, c.r1};
            const int runs = rig.host.runs;
            EXPECT_EQ(rig.Poll(kPollPress).value == 2, c.pressKey != 0);
            EXPECT_EQ(rig.host.runs - runs, c.pressKey != 0 ? 1 : 0);
            if (c.pressKey != 0) {
                EXPECT_EQ(rig.layer.state.pressKey, c.pressKey);
                EXPECT_EQ(rig.layer.state.pressDrive, E);
                EXPECT_EQ(rig.layer.state.notifyDevice, 1);
            }
            const PollResult key = rig.Poll(kPollKeyCheck);
            EXPECT_EQ(key.keyLost, c.keyLost);
            EXPECT_EQ(key.value, c.keyValue);
        }
        const auto& call = rig.seam.scsiCalls.back();
        EXPECT_EQ(call.physical, 1);
        EXPECT_EQ(call.cdb, ApixCdb(kPollKeyCheck));
        EXPECT_EQ(call.length, 14u);
        EXPECT_EQ(call.timeout, 100u);
        EXPECT_TRUE(rig.seam.openHandles.empty());
    }
}

TEST(FamilyOnePoll, FailedOrShortExchangesAreNeitherPressNorKey) {
    const ScsiReply failures[] = {
        {31, 0, {1, 1}, {}},     // the request failed
        {0, 2, {1, 1}, {0x70}},  // check condition
        {0, 0, {1}, {}},         // one byte back
    };
    for (const ScsiReply& failure : failures) {
        Rig rig(1);
        rig.seam.scsi[1] = [&failure](const Bytes&) { return failure; };
        EXPECT_EQ(rig.Poll(kPollPress).value, 1);
        EXPECT_EQ(rig.Poll(kPollKeyCheck).value, 0);
        EXPECT_FALSE(rig.Poll(kPollKeyCheck).keyLost);
        EXPECT_EQ(rig.host.runs, 0);
        EXPECT_TRUE(rig.seam.openHandles.empty());
    }
}

TEST(GpioPoll, OnlyTheTwoPressValuesStartARun) {
    for (int family : {3, 4}) {
        Rig rig(family);
        EXPECT_EQ(rig.Poll(kPollPress).value, 0) << "the enumeration found nothing";
        rig.seam.enumLetters[kFamilyIdentities[family - 1]] = "E";
        for (auto [value, result] : {std::pair{0x0F, 2}, std::pair{0x07, 2}, std::pair{0x1F, 1},
                                     std::pair{0x17, 1}, std::pair{0x0E, 0}, std::pair{0xFF, 0}}) {
            rig.seam.gpio['E'] = {0, static_cast<std::uint8_t>(value)};
            EXPECT_EQ(rig.Poll(kPollPress).value, result) << value;
        }
        EXPECT_EQ(rig.host.runs, 2);
        EXPECT_EQ(rig.seam.CallCount("X507EnumDevice"), rig.seam.CallCount("X507CloseDevice"));
        rig.seam.gpio['E'] = {5, 0x0F};
        EXPECT_EQ(rig.Poll(kPollPress).value, 0) << "a failed read";
        rig.seam.unloadable.insert(VendorLibrary::Plx507);
        rig.seam.gpio['E'] = {0, 0x0F};
        EXPECT_EQ(rig.Poll(kPollPress).value, 0);
        EXPECT_EQ(rig.host.runs, 2);
    }
}

TEST(ReadBufferPoll, OnlyExactly0x10InByteThreeIsAPressReadAcknowledgedAndReadAgain) {
    Rig rig(5);
    Bytes reply(4);
    rig.AnswerFrom(reply);
    for (int value : {0x00, 0x11, 0x30, 0x90}) {
        reply = {0x10, 0x10, 0x10, static_cast<std::uint8_t>(value)};
        EXPECT_EQ(rig.Poll(kPollPress).value, 0) << value;
    }
    ASSERT_EQ(rig.seam.scsiCalls.size(), 4u);
    EXPECT_EQ(rig.seam.scsiCalls[0].cdb, ReadButtonCdb());
    EXPECT_EQ(rig.seam.scsiCalls[0].length, 4u);

    reply = {0, 0, 0, 0x10};
    rig.seam.scsiCalls.clear();
    EXPECT_EQ(rig.Poll(kPollPress).value, 2);
    ASSERT_EQ(rig.seam.scsiCalls.size(), 3u);
    EXPECT_FALSE(rig.seam.scsiCalls[1].in);
    EXPECT_EQ(rig.seam.scsiCalls[1].cdb, AcknowledgeButtonCdb());
    EXPECT_EQ(rig.seam.scsiCalls[1].data, (Bytes{0, 0, 0, 0x10}));
    EXPECT_EQ(rig.seam.scsiCalls[1].timeout, 100u);
    EXPECT_EQ(rig.seam.scsiCalls[2].cdb, ReadButtonBaseCdb());
    EXPECT_EQ(rig.layer.state.pressKey, 1);
    EXPECT_TRUE(rig.seam.openHandles.empty());

    EXPECT_EQ(rig.Poll(kPollDrain).value, 1);
    reply = {0, 0, 0x10};  // short
    EXPECT_EQ(rig.Poll(kPollPress).value, 0);
    EXPECT_EQ(rig.host.runs, 1);
}

TEST(JmUsbPoll, FamilySixAsksTheStatusOfMatchingPathsOnlyWhateverTheList) {
    const std::string ours = "usb\\vid_152d&pid_2336\\6&1a2b";
    Rig rig(6);
    rig.seam.usbIds = {"USB\\VID_152D&PID_2336\\6&ff", "usb\\vid_152d&pid_2338\\7&1", ours};
    for (const auto& id : rig.seam.usbIds) {
        rig.seam.buttonLayout[id] = {1, 1};
        rig.seam.buttonStatus[id] = {1, 1};
    }
    EXPECT_EQ(rig.Poll(kPollPress).value, 2);
    EXPECT_EQ(rig.seam.CallCount("JMGetButtonLayout"), 1);
    EXPECT_EQ(rig.seam.CallCount("JMGetButtonStatus"), 1);
    EXPECT_EQ(rig.Poll(kPollDrain).value, 0);

    // The layout call alone never counts as a press.
    rig.seam.buttonLayout[ours] = {5, 1};
    EXPECT_EQ(rig.Poll(kPollPress).value, 0);
    rig.seam.buttonLayout[ours] = {1, 0};
    EXPECT_EQ(rig.Poll(kPollPress).value, 0);
    rig.seam.buttonLayout[ours] = {1, 1};
    for (auto [result, value, press] :
         {std::tuple{1, 0x80, 2}, std::tuple{1, 0, 0}, std::tuple{0, 1, 0}}) {
        rig.seam.buttonStatus[ours] = {result, static_cast<std::uint8_t>(value)};
        EXPECT_EQ(rig.Poll(kPollPress).value, press) << result << " " << value;
    }

    // Twenty entries of 64 characters with no terminator, and a count beyond the table.
    rig.seam.usbIds.assign(kUsbIdEntries, std::string(64, 'u'));
    rig.seam.usbIds.back() = ours + std::string(64 - ours.size(), 'z');
    rig.seam.usbIdCount = 1000;
    rig.seam.buttonLayout[rig.seam.usbIds.back()] = {1, 1};
    rig.seam.buttonStatus[rig.seam.usbIds.back()] = {1, 1};
    const int asked = rig.seam.CallCount("JMGetButtonLayout");
    EXPECT_EQ(rig.Poll(kPollPress).value, 2);
    EXPECT_EQ(rig.seam.CallCount("JMGetButtonLayout"), asked + 1);
    rig.seam.usbIdCount = -5;
    EXPECT_EQ(rig.Poll(kPollPress).value, 0);
    rig.seam.usbIdCount.reset();
    rig.seam.unloadable.insert(VendorLibrary::JmUsb);
    EXPECT_EQ(rig.Poll(kPollPress).value, 0);
    EXPECT_EQ(rig.host.runs, 3);
}

TEST(JmUsbPoll, FamilySevenPressesOnReply01D2) {
    const std::string ours = "usb\\vid_152d&pid_2338\\x";
    Rig rig(7);
    rig.seam.usbIds = {"usb\\vid_152d&pid_2336\\y", ours};
    rig.seam.atacb[ours] = {0, 0x01D2};
    EXPECT_EQ(rig.Poll(kPollPress).value, 2);
    EXPECT_EQ(rig.seam.CallCount("ATACBExecuteEx"), 1);
    const auto block = AtacbButtonBlock();
    EXPECT_EQ(rig.seam.lastAtacbBlock, Bytes(block.begin(), block.end()));
    for (auto [result, word] : {std::pair{1, 0x01D2}, std::pair{0, 0xD201}, std::pair{0, 0x01D3}}) {
        rig.seam.atacb[ours] = {result, static_cast<std::uint16_t>(word)};
        EXPECT_EQ(rig.Poll(kPollPress).value, 0) << word;
    }
    EXPECT_EQ(rig.host.runs, 1);
}

TEST(Sp216Poll, AsksEachCountedDeviceUntilOneIsPressed) {
    for (int family : {8, 9}) {
        Rig rig(family);
        rig.Attach(F, family, 2);  // two letters counted for the family
        rig.seam.sp216Gpio = {0, 1};
        EXPECT_EQ(rig.Poll(kPollPress).value, 2);
        const auto identity = Sp216IdentityBlock(family);
        EXPECT_EQ(rig.seam.lastSp216Identity, Bytes(identity.begin(), identity.end()));
        // Device 0 read once, device 1 twice; each closed.
        EXPECT_EQ(rig.seam.CallCount("Set_Get_GPIO_Index"), 3);
        EXPECT_EQ(rig.seam.CallCount("CloseDevice"), 2);

        EXPECT_EQ(rig.Poll(kPollDrain).value, 0);
        rig.seam.sp216Gpio = {0, 0};
        EXPECT_EQ(rig.Poll(kPollPress).value, 0);
        rig.seam.sp216Gpio = {0};  // the second device is gone: -1 ends the poll
        EXPECT_EQ(rig.Poll(kPollPress).value, 0);
        rig.seam.unloadable.insert(VendorLibrary::Sp216);
        rig.seam.sp216Gpio = {1};
        EXPECT_EQ(rig.Poll(kPollPress).value, 0);
        EXPECT_EQ(rig.host.runs, 1);
    }
}

TEST(EsataPoll, ReadsTheButtonWithTimerFiveStopped) {
    Rig rig(kEsataFamily);
    rig.seam.esataPressed[1] = 0;
    EXPECT_EQ(rig.Poll(kPollPress).value, 0);
    EXPECT_EQ(rig.Poll(kPollDrain).value, 1);
    rig.seam.esataPressed[1] = 0x80;
    EXPECT_EQ(rig.Poll(kPollPress).value, 2);
    EXPECT_EQ(rig.host.runs, 1);
    EXPECT_EQ(rig.host.timerStops, 3);
    EXPECT_EQ(rig.host.timerStarts, 3);
    EXPECT_FALSE(rig.seam.timerStopped);

    // A missing drive number or library is no press.
    rig.layer.record.physicalDrive[E] = -1;
    EXPECT_EQ(rig.Poll(kPollPress).value, 0);
    rig.seam.unloadable.insert(VendorLibrary::JmEsata);
    rig.layer.record.physicalDrive[E] = 1;
    EXPECT_EQ(rig.Poll(kPollPress).value, 0);
    EXPECT_EQ(rig.host.runs, 1);
    EXPECT_EQ(rig.host.timerStops, rig.host.timerStarts);
}

// Unknown families and drives, and a drive of no known disk or whose disk cannot be opened.
TEST(PollDevice, BadFamiliesDrivesAndDisksAreNeverAsked) {
    Rig rig(1);
    rig.Answer(1, {1, 1});
    const std::pair<int, int> cases[] = {{0, E}, {11, E}, {-1, E}, {1, -1}, {1, 26}, {1, 1000}};
    for (auto [family, drive] : cases) {
        EXPECT_EQ(rig.layer.poller.PollDevice(family, drive, kPollPress).value, 0) << drive;
    }
    for (int physical : {-1, 8}) {
        rig.layer.record.physicalDrive[E] = physical;
        EXPECT_EQ(rig.Poll(kPollPress).value, 0) << physical;
    }
    EXPECT_TRUE(rig.seam.scsiCalls.empty());
    EXPECT_EQ(rig.host.runs, 0);
}

TEST(PollButtons, TwoPressesInOneTickStartOneRun) {
    Rig rig(1);
    rig.Attach(H, 2, 2);
    rig.Answer(1, {1, 1});
    rig.Answer(2, {1, 2});
    rig.layer.state.pollSkip = 0;
    rig.layer.OnPollTimer();
    EXPECT_EQ(rig.host.runs, 1);
    EXPECT_EQ(rig.layer.state.pressDrive, E);
    EXPECT_EQ(rig.seam.scsiCalls.size(), 1u) << "H was not asked this tick";
}

// A press held at start-up or at the first arrival is drained (and acknowledged) by two ticks, one
// made during a run by one read as its box is answered; the tick after sees a press.
TEST(PollButtons, PressesDuringTheStartUpFirstArrivalOrARunDrainAndTheNextTickSeesAPress) {
    enum class When { Start, Arrival, AfterRun };
    for (const When when : {When::Start, When::Arrival, When::AfterRun}) {
        SCOPED_TRACE(static_cast<int>(when));
        FakeDeviceSeam seam;
        FakePollHost host(seam);
        DeviceLayer layer(seam, host);
        const auto plugIn = [&] {
            seam.drives[E].mounted = MountedRecord(0xE, kFirstPartitionOffset);
            seam.drives[E].deviceNumber = 1;
            seam.enumLetters[kFamilyIdentities[4]] = "E";
            seam.scsi[1] = [](const Bytes&) { return ScsiReply{0, 0, {0, 0, 0, 0x10}, {}}; };
        };
        if (when == When::Arrival) {
            ASSERT_EQ(layer.Start(), 0);
            layer.state.pollSkip = 0;
            plugIn();
            ASSERT_TRUE(layer.OnDeviceChange(kDeviceArrival).firstArrived);
        } else {
            plugIn();
            ASSERT_EQ(layer.Start(), 1);
        }
        EXPECT_EQ(layer.record.physicalDrive[E], 1);
        if (when == When::AfterRun) {
            layer.state.pollSkip = 0;
            layer.DrainAfterRun();
        } else {
            layer.OnPollTimer();
            layer.OnPollTimer();
        }
        EXPECT_EQ(host.runs, 0);
        EXPECT_EQ(seam.scsiCalls.size(), when == When::AfterRun ? 3u : 6u);
        layer.OnPollTimer();
        EXPECT_EQ(host.runs, 1);
    }
}

// A press during a run, the pre-scan included, is read and dropped: the running backup keeps the
// enclosure it sends its run messages to.
TEST(PollButtons, APressDuringARunIsDrainedAndTheRunKeepsItsEnclosure) {
    Rig rig(1);
    rig.Attach(F, 1, 2);
    rig.Answer(1, {0, 0});
    rig.Answer(2, {1, 1});
    rig.layer.state.pollSkip = 0;
    rig.layer.state.pressDrive = E;
    rig.layer.state.notifyDevice = 1;
    rig.host.running = true;
    rig.layer.OnPollTimer();
    EXPECT_EQ(rig.host.runs, 0);
    EXPECT_EQ(rig.layer.state.pressDrive, E);

    rig.seam.scsiCalls.clear();
    rig.layer.SendRunMessage(kPollRunComplete);
    ASSERT_EQ(rig.seam.scsiCalls.size(), 1u);
    EXPECT_EQ(rig.seam.scsiCalls[0].physical, 1) << "the message went to the pressed enclosure";
    EXPECT_EQ(rig.seam.scsiCalls[0].cdb, ApixCdb(kPollRunComplete));
    EXPECT_EQ(rig.layer.state.notifyDevice, 0);
}

}  // namespace
}  // namespace bexlo
