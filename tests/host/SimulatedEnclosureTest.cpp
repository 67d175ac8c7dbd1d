#include "sim/SimulatedHardware.h"
#include "sim/SimulatedVendor.h"

#include <gtest/gtest.h>

#include "device/ButtonPoll.h"
#include "device/DeviceLayer.h"
#include "device/DeviceScan.h"
#include "tests/host/DriveFlags.h"

namespace bexlo {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int C = 2, D = 3, E = 4, F = 5, G = 6, H = 7;
constexpr int kEnclosurePhysical = 2;

class MemoryState : public SimStateAccess {
public:
    bool Modify(const std::function<bool(SimState&)>& change) override {
        SimState copy = state;
        if (change(copy)) {
            state = copy;
        }
        return true;
    }

    SimState state;
};

// A machine with a system drive C:, a CD drive D: and, as the run scripts map them, drives for
// the enclosures' letters.
class Machine : public SimPlatform {
public:
    std::uint32_t LogicalDrives() override { return drives; }
    int DriveType(int drive) override { return drive == D ? 5 : kDriveTypeFixed; }

    std::uint32_t drives = 1u << C | 1u << D | 1u << E | 1u << F | 1u << G | 1u << H;
};

// The device seam the simulator gives the program, with the stand-in libraries' answers in
// place of the libraries.
class SimulatedSeam : public DeviceSeam {
public:
    SimulatedSeam(SimStateAccess& state, SimPlatform& platform)
        : hardware(state, platform), vendor(state) {}

    std::uint32_t LogicalDrives() override { return hardware.LogicalDrives(); }
    int DriveType(int drive) override { return hardware.DriveType(drive); }
    bool MountedDevicesAvailable() override { return true; }
    Bytes MountedDevice(int drive) override { return hardware.MountedDevice(drive); }
    DeviceHandle OpenVolume(int drive) override { return hardware.OpenVolume(drive); }
    DeviceHandle OpenPhysicalDrive(int number) override {
        return hardware.OpenPhysicalDrive(number);
    }
    void Close(DeviceHandle device) override { hardware.Close(device); }
    int QueryDeviceNumber(DeviceHandle device) override {
        return hardware.QueryDeviceNumber(device);
    }
    Bytes QueryDeviceDescriptor(DeviceHandle device) override {
        return hardware.QueryDeviceDescriptor(device);
    }
    ScsiReply ScsiIn(DeviceHandle device, const Bytes& cdb, std::uint32_t length,
                     std::uint32_t) override {
        return hardware.ScsiIn(device, cdb, length);
    }
    ScsiReply ScsiOut(DeviceHandle device, const Bytes& cdb, const Bytes& data,
                      std::uint32_t) override {
        return hardware.ScsiOut(device, cdb, data);
    }

    bool LoadVendorLibrary(VendorLibrary) override { return true; }
    void ReleaseVendorLibraries(bool) override {}
    std::optional<int> X507EnumDevice(const std::string& identity, int option,
                                      std::span<std::uint8_t> letters) override {
        return vendor.X507EnumDevice(identity, option, letters);
    }
    std::optional<int> X507GetGPIO(char letter, std::uint8_t& gpio) override {
        return vendor.X507GetGPIO(letter, gpio);
    }
    void X507CloseDevice() override {}
    std::optional<int> GetDriveList(std::span<std::uint8_t> drives) override {
        return vendor.GetDriveList(drives);
    }
    std::optional<int> GetUsbIdList(std::span<UsbIdEntry> ids) override {
        return vendor.GetUsbIdList(ids);
    }
    std::optional<int> JMGetButtonLayout(const std::string& path,
                                         std::span<std::uint8_t> status) override {
        return vendor.JMGetButtonLayout(path, status);
    }
    std::optional<int> JMGetButtonStatus(const std::string& path,
                                         std::span<std::uint8_t> status) override {
        return vendor.JMGetButtonStatus(path, status);
    }
    std::optional<int> ATACBExecuteEx(const std::string& path, std::span<std::uint8_t> block,
                                      std::uint16_t& reply, int replyLength, int option) override {
        return vendor.ATACBExecuteEx(path, block, reply, replyLength, option);
    }
    std::optional<int> JMIdentifyFirmware(DeviceHandle volume, int option, std::uint32_t& code,
                                          std::uint32_t& value) override {
        return vendor.JMIdentifyFirmware(volume, option, code, value);
    }
    std::optional<int> JMButtonControl(DeviceHandle drive, int option,
                                       std::uint8_t& pressed) override {
        return vendor.JMButtonControl(drive, option, pressed);
    }
    std::optional<VendorHandle> EnumDeviceHandle(std::span<std::uint8_t> identity, int option,
                                                 int index) override {
        return vendor.EnumDeviceHandle(identity, option, index);
    }
    std::optional<int> Set_Get_GPIO_Index(int index, int option, std::uint8_t& gpio,
                                          VendorHandle device) override {
        return vendor.Set_Get_GPIO_Index(index, option, gpio, device);
    }
    void CloseDevice() override { vendor.CloseDevice(); }

    SimulatedHardware hardware;
    SimulatedVendor vendor;
};

class CountingHost : public PollHost {
public:
    bool StartRun() override {
        ++runs;
        return true;
    }
    void StopPollTimer() override {}
    void StartPollTimer() override {}

    int runs = 0;
};

SimEnclosure Enclosure(int family, std::string letters, std::uint32_t signature, int physical) {
    SimEnclosure enclosure;
    enclosure.family = family;
    enclosure.letters = std::move(letters);
    enclosure.signature = signature;
    enclosure.physical = physical;
    enclosure.offsets.push_back(32256);
    for (std::size_t i = 1; i < enclosure.letters.size(); ++i) {
        enclosure.offsets.push_back(1048576 * i);
    }
    return enclosure;
}

// The program's device layer on the simulator.
struct Bench {
    Bench() = default;
    explicit Bench(SimEnclosure enclosure) { memory.state.enclosures.push_back(enclosure); }

    SimEnclosure& Enclosure(std::size_t index = 0) { return memory.state.enclosures.at(index); }
    // Ticks of timer 5 until the two drain ticks are over.
    void Drain() {
        layer.OnPollTimer();
        layer.OnPollTimer();
    }

    MemoryState memory;
    Machine machine;
    SimulatedSeam seam{memory, machine};
    CountingHost host;
    DeviceLayer layer{seam, host};
};

class EveryFamily : public ::testing::TestWithParam<int> {};

TEST_P(EveryFamily, IsFoundAndItsPressStartsOneRun) {
    const int family = GetParam();
    Bench bench(Enclosure(family, "EF", 0x1234ABCD, kEnclosurePhysical));
    bench.Enclosure().presses = 1;

    ASSERT_EQ(bench.layer.Start(), 1);
    const DeviceRecord& record = bench.layer.record;
    EXPECT_EQ(record.backupDrive, E);
    EXPECT_EQ(record.defaultTarget, L"E:\\FilesBackup");
    EXPECT_EQ(record.driveFamily[E], family);
    EXPECT_EQ(Flagged(record.driveReported), std::vector<int>{E});
    EXPECT_EQ(record.familyCount[family], 1);
    EXPECT_EQ(record.physicalDrive[E], kEnclosurePhysical);
    EXPECT_EQ(Flagged(record.targetDriveIncludeFlags), (std::vector<int>{E, F}));
    EXPECT_EQ(Flagged(record.sourceDriveIncludeFlags), (std::vector<int>{C, D, G, H}));
    if (family == 1) {
        EXPECT_EQ(record.firstPartitionCount, 1);
        EXPECT_EQ(record.firstPartitions[0], E);
    }

    // A press made before the program started is drained without a run.
    bench.Drain();
    EXPECT_EQ(bench.host.runs, 0);
    EXPECT_EQ(bench.Enclosure().presses, 0);

    bench.layer.OnPollTimer();
    EXPECT_EQ(bench.host.runs, 0) << "no press, no run";

    bench.Enclosure().presses = 2;
    bench.layer.OnPollTimer();
    EXPECT_EQ(bench.host.runs, 1);
    EXPECT_EQ(bench.Enclosure().presses, 1) << "one press is taken per report";
    bench.layer.OnPollTimer();
    EXPECT_EQ(bench.host.runs, 2);
    bench.layer.OnPollTimer();
    EXPECT_EQ(bench.host.runs, 2);
    EXPECT_EQ(bench.seam.hardware.OpenHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(Simulator, EveryFamily, ::testing::Range(1, 11));

TEST(SimulatedApixEnclosure, AnswersTheKeyAndTheRunMessages) {
    Bench bench(Enclosure(2, "E", 0x1234ABCD, kEnclosurePhysical));
    ASSERT_EQ(bench.layer.Start(), 1);
    ButtonPoller& poller = bench.layer.poller;

    EXPECT_EQ(poller.PollDevice(2, E, kPollKeyCheck).value, 1);
    bench.Enclosure().keyPresent = false;
    const PollResult lost = poller.PollDevice(2, E, kPollKeyCheck);
    EXPECT_EQ(lost.value, 0);
    EXPECT_TRUE(lost.keyLost);

    bench.Enclosure().presses = 1;
    bench.layer.state.pollSkip = 0;
    EXPECT_EQ(poller.PollDevice(2, E, kPollPress).value, kPollStartedRun);
    EXPECT_EQ(bench.layer.state.pressKey, 2) << "pressed with the key out";
    EXPECT_EQ(bench.layer.state.pressDrive, E);
    for (int message : {kPollItemStarting, kPollRunComplete, kPollRunFailed}) {
        EXPECT_EQ(poller.PollDevice(2, E, message).value, 1) << message;
        EXPECT_EQ(bench.Enclosure().runMessage, message) << "the enclosure keeps the last one";
    }
    bench.Enclosure().keyPresent = true;
    bench.Enclosure().presses = 1;
    EXPECT_EQ(poller.PollDevice(2, E, kPollPress).value, kPollStartedRun);
    EXPECT_EQ(bench.layer.state.pressKey, 1);
}

TEST(SimulatedHardware, DecodesTheCdbsByteForByte) {
    Bench apix(Enclosure(1, "E", 0x1, kEnclosurePhysical));
    SimulatedHardware& hardware = apix.seam.hardware;
    const DeviceHandle drive = hardware.OpenPhysicalDrive(kEnclosurePhysical);
    EXPECT_EQ(drive, kSimPhysicalHandleBase + kEnclosurePhysical);

    ScsiReply status = hardware.ScsiIn(drive, ApixCdb(kPollPress), 14);
    EXPECT_EQ(status.error, 0);
    EXPECT_EQ(status.data, (Bytes{2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(hardware.ScsiIn(drive, ApixCdb(kPollPress), 2).data, (Bytes{2, 1}));

    // Anything but the exact command is refused as an illegal request.
    const auto changed = [](Bytes cdb, std::size_t at, std::uint8_t value) {
        cdb[at] = value;
        return cdb;
    };
    for (const Bytes& cdb :
         {changed(ApixCdb(kPollPress), 4, 'Y'), changed(ApixCdb(kPollPress), 6, 0x63),
          changed(ApixCdb(kPollPress), 13, 1), ReadButtonCdb()}) {
        const ScsiReply refused = hardware.ScsiIn(drive, cdb, 14);
        EXPECT_EQ(refused.scsiStatus, 2);
        ASSERT_EQ(refused.sense.size(), 18u);
        EXPECT_EQ(refused.sense[2], 5);
        EXPECT_TRUE(refused.data.empty());
    }

    Bench buffer(Enclosure(5, "E", 0x1, kEnclosurePhysical));
    SimulatedHardware& registers = buffer.seam.hardware;
    buffer.Enclosure().presses = 1;
    EXPECT_EQ(registers.ScsiIn(drive, ReadButtonCdb(), 4).data, (Bytes{0, 0, 0, 0x10}));
    EXPECT_EQ(registers.ScsiIn(drive, ReadButtonCdb(), 4).data, (Bytes{0, 0, 0, 0x10}))
        << "the register holds the press until it is acknowledged";
    EXPECT_EQ(registers.ScsiOut(drive, AcknowledgeButtonCdb(), {0, 0, 0, 0x11}).scsiStatus, 2);
    EXPECT_EQ(buffer.Enclosure().presses, 1);
    EXPECT_EQ(registers.ScsiOut(drive, AcknowledgeButtonCdb(), {0, 0, 0, 0x10}).scsiStatus, 0);
    EXPECT_EQ(buffer.Enclosure().presses, 0);
    EXPECT_EQ(registers.ScsiIn(drive, ReadButtonCdb(), 4).data, (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(registers.ScsiIn(drive, ReadButtonBaseCdb(), 4).data, (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(registers.ScsiIn(drive, ApixCdb(kPollPress), 14).scsiStatus, 2);

    buffer.Enclosure().attached = false;
    EXPECT_EQ(registers.ScsiIn(drive, ReadButtonCdb(), 4).error, 1167);
    EXPECT_EQ(registers.ScsiIn(kSimVolumeHandleBase + E, ReadButtonCdb(), 4).error, 6);
}

TEST(SimulatedHardware, DescribesDrivesAsTheScanReadsThem) {
    Bench bench(Enclosure(10, "EG", 0xA1B2C3D4, 9));
    bench.memory.state.enclosures.push_back(Enclosure(3, "H", 0x77, 4));
    SimulatedHardware& hardware = bench.seam.hardware;

    EXPECT_EQ(hardware.MountedDevice(G),
              (Bytes{0xD4, 0xC3, 0xB2, 0xA1, 0x00, 0x00, 0x10, 0x00, 0, 0, 0, 0}));
    EXPECT_EQ(hardware.MountedDevice(D), Bytes{}) << "a CD drive has no record";
    const auto system = ParseMountedDevice(hardware.MountedDevice(C));
    ASSERT_TRUE(system);
    EXPECT_EQ(system->diskSignature, kSimSystemDiskSignature);
    EXPECT_EQ(hardware.MountedDevice(10), Bytes{}) << "no such drive";

    const DeviceHandle esata = hardware.OpenVolume(G);
    const DeviceHandle usb = hardware.OpenVolume(H);
    const DeviceHandle plain = hardware.OpenVolume(C);
    EXPECT_EQ(esata, kSimVolumeHandleBase + G);
    EXPECT_EQ(BusTypeFromDescriptor(hardware.QueryDeviceDescriptor(esata)), kBusTypeAta);
    EXPECT_EQ(BusTypeFromDescriptor(hardware.QueryDeviceDescriptor(usb)), kBusTypeUsb);
    EXPECT_EQ(BusTypeFromDescriptor(hardware.QueryDeviceDescriptor(plain)), kBusTypeAta);
    EXPECT_EQ(hardware.QueryDeviceNumber(esata), 9);
    EXPECT_EQ(hardware.QueryDeviceNumber(usb), 4);
    EXPECT_EQ(hardware.QueryDeviceNumber(plain), kSimSystemDiskPhysical);
    EXPECT_EQ(hardware.OpenHandles(), 3);
    for (DeviceHandle handle : {esata, usb, plain}) {
        hardware.Close(handle);
    }
    EXPECT_EQ(hardware.OpenHandles(), 0);

    std::uint32_t code = 0, value = 0;
    EXPECT_EQ(bench.seam.vendor.JMIdentifyFirmware(kSimVolumeHandleBase + G, 1, code, value), 1);
    EXPECT_EQ(code, 0xF2u);
    code = 0;
    EXPECT_EQ(bench.seam.vendor.JMIdentifyFirmware(kSimVolumeHandleBase + C, 1, code, value), 0);
    EXPECT_EQ(code, 0u);

    bench.Enclosure().attached = false;
    EXPECT_EQ(hardware.LogicalDrives() & (1u << E | 1u << G), 0u);
    EXPECT_NE(hardware.LogicalDrives() & (1u << H), 0u);
    EXPECT_EQ(hardware.DriveType(E), 1);
    EXPECT_EQ(hardware.DriveType(H), kDriveTypeFixed);
    EXPECT_EQ(hardware.OpenVolume(E), kNoDevice);
    EXPECT_EQ(hardware.OpenPhysicalDrive(9), kNoDevice);
}

TEST(SimulatedMachine, ReportsTwoEnclosuresAndStartsOneRunPerTick) {
    Bench bench;
    bench.memory.state.enclosures = {Enclosure(3, "H", 0x1, 1), Enclosure(8, "E", 0x2, 2)};
    ASSERT_EQ(bench.layer.Start(), 1);
    EXPECT_EQ(bench.layer.record.backupDrive, E);
    bench.Drain();

    bench.memory.state.enclosures[0].presses = 1;
    bench.memory.state.enclosures[1].presses = 1;
    bench.layer.OnPollTimer();
    EXPECT_EQ(bench.host.runs, 1);
    EXPECT_EQ(bench.memory.state.enclosures[1].presses, 0) << "E is asked first";
    EXPECT_EQ(bench.memory.state.enclosures[0].presses, 1);

    bench.memory.state.enclosures[1].attached = false;
    const DeviceChange change = bench.layer.OnDeviceChange(kDeviceRemoveComplete);
    EXPECT_FALSE(change.lastRemoved) << "H is still there";
    EXPECT_EQ(bench.layer.record.backupDrive, H);
    bench.layer.OnPollTimer();
    EXPECT_EQ(bench.host.runs, 2);
}

}  // namespace
}  // namespace bexlo
