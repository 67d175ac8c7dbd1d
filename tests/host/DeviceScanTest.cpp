#include "device/DeviceLayer.h"
#include "device/DeviceScan.h"

#include <gtest/gtest.h>

#include <array>
#include <utility>

#include "tests/host/FakeDeviceSeam.h"

namespace bexlo {
namespace {

using namespace testing_device;
using Drives = std::vector<int>;
// The destinations and the sources.
using Split = std::pair<Drives, Drives>;

constexpr int B = 1, C = 2, D = 3, E = 4, F = 5, G = 6, H = 7;
constexpr std::uint64_t kSecondPartition = 1048576;

// The drive numbers whose entry in a per-drive table is set.
Drives Flagged(const std::array<int, kDriveCount>& flags) {
    Drives drives;
    for (int drive = 0; drive < kDriveCount; ++drive) {
        if (flags[drive] != 0) {
            drives.push_back(drive);
        }
    }
    return drives;
}

const char* Identity(int family) {
    return kFamilyIdentities.at(family - 1);
}

FakeDrive Fixed(std::uint32_t signature, std::uint64_t offset, int deviceNumber = -1,
                int busType = 11) {
    FakeDrive drive;
    drive.mounted = MountedRecord(signature, offset);
    drive.deviceNumber = deviceNumber;
    drive.busType = busType;
    return drive;
}

// "DMIO:ID:" and a GUID: every GPT partition's record, whatever its disk.
std::vector<std::uint8_t> GptRecord(std::uint8_t guid) {
    std::vector<std::uint8_t> value = {'D', 'M', 'I', 'O', ':', 'I', 'D', ':'};
    value.resize(24, guid);
    return value;
}

FakeDrive Gpt(std::uint8_t guid, int deviceNumber) {
    FakeDrive drive;
    drive.mounted = GptRecord(guid);
    drive.deviceNumber = deviceNumber;
    return drive;
}

// A machine with a system disk C: and a CD drive D:.
struct Machine {
    Machine() {
        seam.drives[C] = Fixed(0x11111111, kFirstPartitionOffset, 0);
        seam.drives[D].type = 5;
    }
    int Scan() { return scanner.ScanDevices(); }
    Split Sides() const {
        return {Flagged(record.targetDriveIncludeFlags), Flagged(record.sourceDriveIncludeFlags)};
    }

    FakeDeviceSeam seam;
    DeviceRecord record;
    DeviceScanner scanner{seam, record};
};

TEST(MountedDevices, OnlyTheClassicRecordOfAFixedDriveGivesASignature) {
    auto parsed = ParseMountedDevice(MountedRecord(0xA1B2C3D4, 0x0000000123456789ull));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->diskSignature, 0xA1B2C3D4u);
    EXPECT_EQ(parsed->partitionOffset, 0x0000000123456789ull);
    // A GPT record would read as the signature 0x4F494D44 on every GPT disk.
    EXPECT_FALSE(ParseMountedDevice(GptRecord(1)));
    EXPECT_FALSE(ParseMountedDevice(std::vector<std::uint8_t>(40, 'z')));
    EXPECT_FALSE(ParseMountedDevice({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));

    Machine m;
    m.seam.drives[E] = Fixed(0x22222222, kFirstPartitionOffset);
    m.seam.drives[E].type = 2;  // removable
    m.seam.drives[F].mounted = {1, 2, 3};
    EXPECT_EQ(m.scanner.ReadMountedDevices(), 1);
    EXPECT_EQ(m.record.diskSignature[C], 0x11111111u);
    EXPECT_EQ(m.record.partitionOffset[C], kFirstPartitionOffset);
    EXPECT_EQ(m.record.diskSignature[E], 0u);
    EXPECT_EQ(m.record.diskSignature[F], 0u);
    m.seam.registryAvailable = false;
    EXPECT_EQ(m.scanner.ReadMountedDevices(), 0);
    EXPECT_EQ(m.record.diskSignature[C], 0u);
}

TEST(DeviceScan, EveryPartitionOfAReportedDiskIsADestination) {
    Machine m;
    EXPECT_EQ(m.Scan(), 0) << "no device: every present drive is a source";
    EXPECT_EQ(m.record.backupDrive, 0);
    EXPECT_TRUE(m.record.defaultTarget.empty());
    EXPECT_EQ(m.Sides(), (Split{{}, {C, D}}));
    // Every USB family was asked once, each followed by its close.
    EXPECT_EQ(m.seam.CallCount("X507EnumDevice"), kUsbFamilyCount);
    EXPECT_EQ(m.seam.CallCount("X507CloseDevice"), kUsbFamilyCount);

    for (int drive : {E, F, G}) {
        m.seam.drives[drive] = Fixed(0xABCD0001, kSecondPartition * (drive - D));
    }
    m.seam.enumLetters[Identity(5)] = "E";
    EXPECT_EQ(m.Scan(), 1);
    EXPECT_EQ(Flagged(m.record.driveReported), Drives{E});
    EXPECT_EQ(m.record.driveFamily[E], 5);
    EXPECT_EQ(m.record.familyCount[5], 1);
    EXPECT_EQ(m.Sides(), (Split{{E, F, G}, {C, D}}));
    EXPECT_EQ(m.record.defaultTarget, L"E:\\FilesBackup");
}

TEST(DeviceScan, TheLowestReportedLetterIsTheBackupDriveWhateverTheFamilyOrder) {
    for (auto [first, second] : {std::pair{2, 6}, std::pair{6, 2}}) {
        Machine m;
        m.seam.drives[E] = Fixed(0xE0E0E0E0, kFirstPartitionOffset);
        m.seam.drives[H] = Fixed(0x80808080, kFirstPartitionOffset);
        m.seam.enumLetters[Identity(first)] = "H";
        m.seam.enumLetters[Identity(second)] = "E";
        EXPECT_EQ(m.Scan(), 1);
        EXPECT_EQ(m.record.backupDrive, E);
        EXPECT_EQ(m.record.defaultTarget, L"E:\\FilesBackup");
        EXPECT_EQ(m.Sides(), (Split{{E, H}, {C, D}}));
        EXPECT_EQ(m.record.driveFamily[H], first);
    }
}

TEST(DeviceScan, FamilyOneRecordsUpToFivePartitionsAtTheClassicStart) {
    Machine m;
    m.seam.drives[E] = Fixed(0xF1F1F1F1, kSecondPartition);
    m.seam.drives[F] = Fixed(0xF1F1F1F1, kFirstPartitionOffset);
    m.seam.drives[G] = Fixed(0xF2F2F2F2, kSecondPartition);  // a second enclosure, no key part
    m.seam.drives[H] = Fixed(0xF2F2F2F2, kFirstPartitionOffset + (1ull << 32));  // high half set
    m.seam.enumLetters[Identity(1)] = "EG";
    EXPECT_EQ(m.Scan(), 1);
    EXPECT_EQ(m.record.firstPartitionCount, 2);
    EXPECT_EQ(m.record.firstPartitions[0], F);
    EXPECT_EQ(m.record.firstPartitions[1], 0);
    EXPECT_EQ(m.record.familyCount[1], 2);

    Machine many;
    std::string letters;
    for (int drive = E; drive < E + 7; ++drive) {
        many.seam.drives[drive] = Fixed(0x1000 + drive, kFirstPartitionOffset);
        letters += DriveLetter(drive);
    }
    many.seam.enumLetters[Identity(1)] = letters;
    EXPECT_EQ(many.Scan(), 1);
    EXPECT_EQ(many.record.firstPartitionCount, 5);
    EXPECT_EQ(many.record.familyCount[1], 7);
    for (int p = 0; p < kFirstPartitionSlots; ++p) {
        EXPECT_EQ(many.record.firstPartitions[p], E + p);
    }
}

TEST(DeviceScan, EsataProbeAsksOnlyUncoveredAtaDrivesWithARecord) {
    Machine m;
    m.seam.drives[C].busType = kBusTypeAta;  // the system disk: asked, not the bridge
    m.seam.drives[E] = Fixed(0xE5E5E5E5, kFirstPartitionOffset, -1, kBusTypeAta);  // family 1
    m.seam.drives[F] = Fixed(0xF5F5F5F5, kFirstPartitionOffset, -1, kBusTypeAta);
    m.seam.drives[G] = Fixed(0xF5F5F5F5, kSecondPartition, -1, kBusTypeAta);  // F's disk
    m.seam.drives[H].busType = kBusTypeAta;  // fixed but no record: never asked
    for (int drive : {F, G, H}) {
        m.seam.drives[drive].firmwareCode = 0xF2;
    }
    m.seam.enumLetters[Identity(1)] = "E";

    EXPECT_EQ(m.Scan(), 1);
    EXPECT_EQ(m.seam.CallCount("JMIdentifyFirmware"), 2);  // C and F
    EXPECT_EQ(m.record.driveFamily[F], kEsataFamily);
    EXPECT_EQ(m.record.familyCount[kEsataFamily], 1);
    EXPECT_EQ(Flagged(m.record.driveReported), (Drives{E, F}));
    // H has no record: its signature 0 matches no reported disk, so it stays a source.
    EXPECT_EQ(m.Sides(), (Split{{E, F, G}, {C, D, H}}));
    EXPECT_TRUE(m.seam.openHandles.empty());
}

// A missing library or entry point hides only its own families: a USB enclosure found before the
// ATA drive was probed stays, and so do the sources.
TEST(DeviceScan, AMissingLibraryHidesOnlyItsOwnFamilies) {
    Machine m;
    m.seam.drives[C].busType = kBusTypeAta;
    m.seam.drives[C].firmwareCode = 0xF2;
    m.seam.drives[E] = Fixed(0xE5E5E5E5, kFirstPartitionOffset);
    m.seam.enumLetters[Identity(3)] = "E";
    m.seam.unloadable.insert(VendorLibrary::JmEsata);
    EXPECT_EQ(m.Scan(), 1);
    EXPECT_EQ(Flagged(m.record.driveReported), Drives{E});
    EXPECT_EQ(m.Sides(), (Split{{E}, {C, D}}));
    EXPECT_TRUE(m.seam.openHandles.empty());

    m.seam.unloadable = {VendorLibrary::Plx507, VendorLibrary::JmUsb, VendorLibrary::JmEsata,
                         VendorLibrary::Sp216};
    EXPECT_EQ(m.Scan(), 0);
    EXPECT_EQ(Flagged(m.record.driveReported), Drives{});
}

// GPT disks all read the same "signature": only the device numbers tell a drive's disk.
TEST(DeviceScan, GptEnclosuresTakeTheirOwnLettersOnlyByDeviceNumber) {
    Machine m;
    m.seam.drives[C] = Gpt(1, 0);  // the GPT system disk, with a second partition on H
    m.seam.drives[H] = Gpt(2, 0);
    m.seam.drives[B] = Gpt(6, 1);  // the enclosure: B, E and G
    m.seam.drives[E] = Gpt(3, 1);
    m.seam.drives[G] = Gpt(4, 1);
    m.seam.drives[F] = Gpt(5, 2);  // another internal GPT disk
    m.seam.enumLetters[Identity(3)] = "E";
    EXPECT_EQ(m.Scan(), 1);
    EXPECT_EQ(m.Sides(), (Split{{B, E, G}, {C, D, F, H}}));

    // A mixed machine: a classic system disk and a GPT disk beside a classic enclosure.
    Machine mixed;
    mixed.seam.drives[E] = Fixed(0xE5E5E5E5, kFirstPartitionOffset, 1);
    mixed.seam.drives[F] = Gpt(7, 2);
    mixed.seam.enumLetters[Identity(3)] = "E";
    EXPECT_EQ(mixed.Scan(), 1);
    EXPECT_EQ(mixed.Sides(), (Split{{E}, {C, D, F}}));
}

// Under Wine every drive answers device number 0 and keeps a path as its record: neither tells.
TEST(DeviceScan, WithoutTellingNumbersOrRecordsOnlyTheReportedDriveIsADestination) {
    Machine m;
    for (int drive : {C, E, F}) {
        m.seam.drives[drive].mounted = std::vector<std::uint8_t>(40, 'z');
        m.seam.drives[drive].deviceNumber = 0;
    }
    m.seam.enumLetters[Identity(3)] = "E";
    EXPECT_EQ(m.Scan(), 1);
    EXPECT_EQ(m.Sides(), (Split{{E}, {C, D, F}}));

    // Classic records still join the partitions of one enclosure when the numbers cannot.
    m.seam.drives[E] = Fixed(0xE5E5E5E5, kFirstPartitionOffset, 0);
    m.seam.drives[G] = Fixed(0xE5E5E5E5, kSecondPartition, 0);
    EXPECT_EQ(m.Scan(), 1);
    EXPECT_EQ(m.Sides(), (Split{{E, G}, {C, D, F}}));

    m.seam.registryAvailable = false;
    m.seam.drives[G].deviceNumber = -1;
    m.seam.drives[E].deviceNumber = -1;
    EXPECT_EQ(m.Scan(), 1);
    EXPECT_EQ(m.Sides(), (Split{{E}, {C, D, F, G}}));
}

TEST(DeviceScan, EnumerationOverrunsAndStrayLettersAreDropped) {
    Machine m;
    m.seam.drives[E] = Fixed(0xE, kFirstPartitionOffset);
    m.seam.drives[F] = Fixed(0xF, kFirstPartitionOffset);
    // 40 claimed into a 27-byte buffer, with lower case, punctuation and high bytes among them.
    m.seam.enumLetters[Identity(1)] = std::string("e@[\xff\x80 ") + "F" + std::string(20, 'z');
    m.seam.enumCount[Identity(1)] = 40;
    m.seam.enumLetters[Identity(2)] = "E";
    m.seam.enumCount[Identity(2)] = -3;
    EXPECT_EQ(m.Scan(), 1);
    EXPECT_EQ(Flagged(m.record.driveReported), Drives{F});
    EXPECT_EQ(m.record.familyCount[1], 1);
    EXPECT_EQ(m.record.familyCount[2], 0);
    EXPECT_EQ(m.record.firstPartitions[0], F);
    EXPECT_EQ(m.record.backupDrive, F);

    m.seam.enumLetters[Identity(1)] = "[\\]^_`";
    EXPECT_EQ(m.Scan(), 0);
    EXPECT_EQ(m.record.backupDrive, 0);
}

// The key is asked through its own partition: on a family-1 enclosure whose key partition is
// another letter (F) than the one reported (E), the key check opens that partition's disk.
TEST(PhysicalDrives, TheKeyPartitionOfAnotherLetterGetsItsDisk) {
    Machine m;
    m.seam.drives[E] = Fixed(0xE5E5E5E5, kSecondPartition, 1);
    m.seam.drives[F] = Fixed(0xE5E5E5E5, kFirstPartitionOffset, 1);
    m.seam.enumLetters[Identity(1)] = "E";
    FakePollHost host(m.seam);
    DeviceLayer layer(m.seam, host);
    ASSERT_EQ(layer.Start(), 1);
    EXPECT_EQ(layer.KeyDrives(), Drives{F});
    EXPECT_EQ(layer.record.physicalDrive[F], 1);
    m.seam.scsi[1] = [](const std::vector<std::uint8_t>&) { return ScsiReply{0, 0, {2, 1}, {}}; };
    EXPECT_EQ(layer.CheckKey(F).value, 1) << "the key answers through its own disk";
}

TEST(PhysicalDrives, LookUpAndRefreshFollowTheReportedDrives) {
    Machine m;
    m.seam.drives[E] = Fixed(0xE, kFirstPartitionOffset, 3);
    m.seam.drives[F] = Fixed(0xF, kFirstPartitionOffset, 4);
    m.seam.drives[G] = Fixed(0x6, kFirstPartitionOffset, 5);
    m.seam.drives[G].opens = false;
    m.seam.enumLetters[Identity(5)] = "EFG";
    ASSERT_EQ(m.Scan(), 1);
    m.scanner.LookUpPhysicalDrives();
    EXPECT_EQ(m.record.physicalDrive[C], -1);
    EXPECT_EQ(m.record.physicalDrive[E], 3);
    EXPECT_EQ(m.record.physicalDrive[F], 4);
    EXPECT_EQ(m.record.physicalDrive[G], -1);
    EXPECT_EQ(m.scanner.GetPhysicalDriveNumber(kLetterCount), -1);

    // A known number is kept without asking again; an unknown one is asked for.
    m.seam.drives[E].deviceNumber = 9;
    m.seam.drives[G].opens = true;
    m.scanner.RefreshPhysicalDrives();
    EXPECT_EQ(m.record.physicalDrive[E], 3);
    EXPECT_EQ(m.record.physicalDrive[G], 5);
    EXPECT_TRUE(m.seam.openHandles.empty());

    std::vector<std::uint8_t> descriptor(32);
    descriptor[28] = kBusTypeUsb;
    EXPECT_EQ(BusTypeFromDescriptor(descriptor), kBusTypeUsb);
    descriptor.resize(31);
    EXPECT_EQ(BusTypeFromDescriptor(descriptor), -1);
}

TEST(DeviceChange, ArrivalAndRemovalReportOnlyTheFirstAndTheLastDevice) {
    FakeDeviceSeam seam;
    FakePollHost host(seam);
    DeviceLayer layer(seam, host);
    seam.drives[C] = Fixed(0xC, kFirstPartitionOffset, 0);
    EXPECT_EQ(layer.Start(), 0);
    EXPECT_EQ(layer.state.devicePresent, 0);

    seam.drives[E] = Fixed(0xE, kFirstPartitionOffset, 1);
    seam.enumLetters[Identity(1)] = "E";
    DeviceChange change = layer.OnDeviceChange(kDeviceArrival);
    EXPECT_EQ(change.found, 1);
    EXPECT_TRUE(change.firstArrived);
    EXPECT_EQ(layer.state.devicePresent, 1);
    EXPECT_EQ(layer.record.physicalDrive[E], 1);
    EXPECT_EQ(change.presentDrives, (1u << C) | (1u << E));

    // A second device while one is present: nothing to switch on.
    seam.drives[H] = Fixed(0x8, kFirstPartitionOffset, 2);
    seam.enumLetters[Identity(3)] = "H";
    EXPECT_FALSE(layer.OnDeviceChange(kDeviceArrival).firstArrived);
    EXPECT_EQ(layer.record.physicalDrive[H], 2);

    // One of two goes: the poll goes on, and only its number is forgotten.
    seam.drives.erase(E);
    seam.enumLetters.erase(Identity(1));
    change = layer.OnDeviceChange(kDeviceRemoveComplete);
    EXPECT_FALSE(change.lastRemoved);
    EXPECT_EQ(layer.state.devicePresent, 1);
    EXPECT_EQ(layer.record.physicalDrive[E], -1);
    EXPECT_EQ(layer.record.backupDrive, H);

    // Other events only refresh the numbers.
    const int enumerations = seam.CallCount("X507EnumDevice");
    EXPECT_EQ(layer.OnDeviceChange(0x0007).found, 0);
    EXPECT_EQ(seam.CallCount("X507EnumDevice"), enumerations);

    seam.drives.erase(H);
    seam.enumLetters.clear();
    EXPECT_TRUE(layer.OnDeviceChange(kDeviceRemoveComplete).lastRemoved);
    EXPECT_EQ(layer.state.devicePresent, 0);
    EXPECT_EQ(layer.record.physicalDrive[H], -1);
    EXPECT_TRUE(seam.openHandles.empty());
}

}  // namespace
}  // namespace bexlo
