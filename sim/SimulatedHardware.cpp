#include "sim/SimulatedHardware.h"

#include <algorithm>
#include <cstring>

#include "device/DeviceRecord.h"
#include "device/DeviceScan.h"

namespace bexlo {

namespace {

constexpr int kDriveNoRootDir = 1;

// The error a request to a drive that went away gets (ERROR_DEVICE_NOT_CONNECTED).
constexpr int kDeviceNotConnected = 1167;
constexpr int kInvalidHandle = 6;

constexpr std::uint8_t kCheckCondition = 0x02;
constexpr std::uint8_t kIllegalRequest = 0x05;
constexpr std::uint8_t kInvalidOpcode = 0x20;
constexpr std::uint8_t kInvalidFieldInCdb = 0x24;

// Family 1/2 replies: byte 0 what the answer is, byte 1 the key code.
constexpr std::uint8_t kApixPress = 1;
constexpr std::uint8_t kApixStatus = 2;
constexpr std::size_t kApixReplyLength = 14;

constexpr std::uint8_t kButtonPressedBits = 0x10;
constexpr std::size_t kButtonRegisterLength = 4;

constexpr std::uint64_t kSystemPartitionSpacing = 1048576;

using Bytes = std::vector<std::uint8_t>;

// The CDB is `head` followed by zeros only.
bool CdbIs(const Bytes& cdb, std::initializer_list<std::uint8_t> head) {
    return cdb.size() >= head.size() && std::equal(head.begin(), head.end(), cdb.begin()) &&
           std::all_of(cdb.begin() + static_cast<std::ptrdiff_t>(head.size()), cdb.end(),
                       [](std::uint8_t byte) { return byte == 0; });
}

bool IsApix(const Bytes& cdb) {
    static constexpr std::uint8_t kHead[] = {0xF5, 'A', 'P', 'I', 'X', 0xF0};
    return cdb.size() > 7 && std::equal(std::begin(kHead), std::end(kHead), cdb.begin()) &&
           std::all_of(cdb.begin() + 7, cdb.end(), [](std::uint8_t byte) { return byte == 0; });
}

ScsiReply Rejected(std::uint8_t additionalSense) {
    ScsiReply reply;
    reply.scsiStatus = kCheckCondition;
    reply.sense.assign(18, 0);
    reply.sense[0] = 0x70;  // current error, fixed format
    reply.sense[2] = kIllegalRequest;
    reply.sense[7] = 10;
    reply.sense[12] = additionalSense;
    return reply;
}

ScsiReply DataIn(Bytes data) {
    ScsiReply reply;
    reply.data = std::move(data);
    return reply;
}

Bytes MountedRecord(std::uint32_t signature, std::uint64_t offset) {
    Bytes value(12);
    for (int i = 0; i < 4; ++i) {
        value[i] = static_cast<std::uint8_t>(signature >> (8 * i));
    }
    for (int i = 0; i < 8; ++i) {
        value[4 + i] = static_cast<std::uint8_t>(offset >> (8 * i));
    }
    return value;
}

// "DMIO:ID:" and a GUID made from the disk's signature and the partition's number.
Bytes GptRecord(std::uint32_t signature, int partition) {
    Bytes value = {'D', 'M', 'I', 'O', ':', 'I', 'D', ':'};
    for (int i = 0; i < 4; ++i) {
        value.push_back(static_cast<std::uint8_t>(signature >> (8 * i)));
    }
    value.resize(23, 0x5A);
    value.push_back(static_cast<std::uint8_t>(partition));
    return value;
}

// What Wine keeps for its drives: a path of the machine it runs on.
Bytes WineRecord(int drive) {
    const std::string path = "/home/bexlo/.wine/dosdevices/" + std::string(1, 'a' + drive) + ":";
    return Bytes(path.begin(), path.end());
}

void PutLe32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// A storage device descriptor: the fixed part (40 bytes, bus type at byte 28), then the
// vendor, product and revision texts it points at.
Bytes DeviceDescriptor(int busType) {
    constexpr std::size_t kFixedPart = 40;
    static const char kVendor[] = "BEXLO";
    static const char kProduct[] = "SIMULATED DISK";
    static const char kRevision[] = "1.0";
    Bytes descriptor(kFixedPart);
    std::size_t offsets[3] = {};
    int which = 0;
    for (const char* text : {kVendor, kProduct, kRevision}) {
        offsets[which++] = descriptor.size();
        descriptor.insert(descriptor.end(), text, text + std::strlen(text) + 1);
    }
    PutLe32(descriptor, 0, kFixedPart);
    PutLe32(descriptor, 4, static_cast<std::uint32_t>(descriptor.size()));
    PutLe32(descriptor, 12, static_cast<std::uint32_t>(offsets[0]));
    PutLe32(descriptor, 16, static_cast<std::uint32_t>(offsets[1]));
    PutLe32(descriptor, 20, static_cast<std::uint32_t>(offsets[2]));
    PutLe32(descriptor, 28, static_cast<std::uint32_t>(busType));
    return descriptor;
}

}  // namespace

int SimVolumeOf(DeviceHandle handle) {
    const DeviceHandle drive = handle - kSimVolumeHandleBase;
    return drive >= 0 && drive < kLetterCount ? static_cast<int>(drive) : -1;
}

int SimPhysicalOf(DeviceHandle handle) {
    const DeviceHandle number = handle - kSimPhysicalHandleBase;
    return number >= 0 && number < 0x100 ? static_cast<int>(number) : -1;
}

std::uint32_t SimulatedHardware::LogicalDrives() {
    std::uint32_t mask = platform_.LogicalDrives();
    for (const SimEnclosure& enclosure : state_.Read().value_or(SimState{}).enclosures) {
        mask = enclosure.attached ? mask | DriveMask(enclosure) : mask & ~DriveMask(enclosure);
    }
    return mask;
}

int SimulatedHardware::DriveType(int drive) {
    SimState state = state_.Read().value_or(SimState{});
    if (AttachedOnDrive(state, drive) != nullptr) {
        return kDriveTypeFixed;
    }
    if (drive >= 0 && drive < kLetterCount && FindEnclosure(state, DriveLetter(drive)) != nullptr) {
        return kDriveNoRootDir;
    }
    return platform_.DriveType(drive);
}

std::vector<std::uint8_t> SimulatedHardware::MountedDevice(int drive) {
    SimState state = state_.Read().value_or(SimState{});
    if (const SimEnclosure* enclosure = AttachedOnDrive(state, drive)) {
        const std::size_t index = enclosure->letters.find(DriveLetter(drive));
        return enclosure->gpt ? GptRecord(enclosure->signature, static_cast<int>(index) + 1)
                              : MountedRecord(enclosure->signature, enclosure->offsets[index]);
    }
    const bool enclosureLetter =
        drive >= 0 && drive < kLetterCount && FindEnclosure(state, DriveLetter(drive)) != nullptr;
    if (enclosureLetter || !DrivePresent(platform_.LogicalDrives(), drive) ||
        platform_.DriveType(drive) != kDriveTypeFixed) {
        return {};
    }
    if (state.machine.table == "gpt") {
        return GptRecord(kSimSystemDiskSignature, drive + 1);
    }
    if (state.machine.table == "wine") {
        return WineRecord(drive);
    }
    return MountedRecord(kSimSystemDiskSignature,
                         kSystemPartitionSpacing * static_cast<std::uint64_t>(drive + 1));
}

DeviceHandle SimulatedHardware::OpenVolume(int drive) {
    if (drive < 0 || drive >= kLetterCount || (LogicalDrives() >> drive & 1) == 0) {
        return kNoDevice;
    }
    ++openHandles_;
    return kSimVolumeHandleBase + drive;
}

DeviceHandle SimulatedHardware::OpenPhysicalDrive(int number) {
    SimState state = state_.Read().value_or(SimState{});
    if (number != kSimSystemDiskPhysical && AttachedOnPhysical(state, number) == nullptr) {
        return kNoDevice;
    }
    ++openHandles_;
    return kSimPhysicalHandleBase + number;
}

void SimulatedHardware::Close(DeviceHandle device) {
    if (SimVolumeOf(device) >= 0 || SimPhysicalOf(device) >= 0) {
        --openHandles_;
    }
}

int SimulatedHardware::QueryDeviceNumber(DeviceHandle device) {
    if (const int physical = SimPhysicalOf(device); physical >= 0) {
        return physical;
    }
    const int drive = SimVolumeOf(device);
    if (drive < 0) {
        return -1;
    }
    SimState state = state_.Read().value_or(SimState{});
    // Wine answers device number 0 for every volume, its own partition number aside.
    if (state.machine.wineNumbers) {
        return 0;
    }
    const SimEnclosure* enclosure = AttachedOnDrive(state, drive);
    return enclosure != nullptr ? enclosure->physical : kSimSystemDiskPhysical;
}

std::vector<std::uint8_t> SimulatedHardware::QueryDeviceDescriptor(DeviceHandle device) {
    SimState state = state_.Read().value_or(SimState{});
    const SimEnclosure* enclosure = nullptr;
    if (const int drive = SimVolumeOf(device); drive >= 0) {
        enclosure = AttachedOnDrive(state, drive);
    } else if (const int physical = SimPhysicalOf(device); physical >= 0) {
        enclosure = AttachedOnPhysical(state, physical);
    } else {
        return {};
    }
    const bool usb = enclosure != nullptr && enclosure->family <= kUsbFamilyCount;
    return DeviceDescriptor(usb ? kBusTypeUsb : kBusTypeAta);
}

ScsiReply SimulatedHardware::ScsiIn(DeviceHandle device, const std::vector<std::uint8_t>& cdb,
                                    std::uint32_t length) {
    const int physical = SimPhysicalOf(device);
    if (physical < 0) {
        return {kInvalidHandle, 0, {}, {}};
    }
    ScsiReply reply = Execute(physical, cdb, nullptr);
    reply.data.resize(std::min<std::size_t>(reply.data.size(), length));
    return reply;
}

ScsiReply SimulatedHardware::ScsiOut(DeviceHandle device, const std::vector<std::uint8_t>& cdb,
                                     const std::vector<std::uint8_t>& data) {
    const int physical = SimPhysicalOf(device);
    if (physical < 0) {
        return {kInvalidHandle, 0, {}, {}};
    }
    return Execute(physical, cdb, &data);
}

ScsiReply SimulatedHardware::Execute(int physical, const std::vector<std::uint8_t>& cdb,
                                     const std::vector<std::uint8_t>* data) {
    ScsiReply reply = Rejected(kInvalidOpcode);
    state_.Modify([&](SimState& state) {
        SimEnclosure* enclosure = AttachedOnPhysical(state, physical);
        if (enclosure == nullptr) {
            if (physical != kSimSystemDiskPhysical) {
                reply = {kDeviceNotConnected, 0, {}, {}};
            }
            return false;
        }
        if (enclosure->bridgeSilent) {
            return false;  // its disk is there, its bridge does not know the commands yet
        }
        const bool apixFamily = enclosure->family == 1 || enclosure->family == 2;
        const bool registerFamily = enclosure->family == 5;
        if (apixFamily && data == nullptr && IsApix(cdb)) {
            const std::uint8_t code = cdb[6];
            if (code == kSimRunFailed || code == kSimRunComplete || code == kSimItemStarting) {
                Bytes answer(kApixReplyLength);
                answer[0] = kApixPress;
                reply = DataIn(std::move(answer));
                enclosure->runMessage = code;
                return true;
            }
            if (code != 0) {
                reply = Rejected(kInvalidFieldInCdb);
                return false;
            }
            // A pending press is reported once, with the key state; else the key state alone.
            const bool press = enclosure->presses > 0;
            const std::uint8_t key =
                press ? (enclosure->keyPresent ? 1 : 2) : (enclosure->keyPresent ? 1 : 0);
            Bytes answer(kApixReplyLength);
            answer[0] = press ? kApixPress : kApixStatus;
            answer[1] = key;
            reply = DataIn(std::move(answer));
            enclosure->presses -= press ? 1 : 0;
            return press;
        }
        if (registerFamily && data == nullptr &&
            CdbIs(cdb, {0x3C, 0x01, 0x00, 0x02, 0x00, 0x0C, 0x00, 0x00, 0x04})) {
            const std::uint8_t bits = enclosure->presses > 0 ? kButtonPressedBits : 0;
            reply = DataIn({0, 0, 0, bits});
            return false;
        }
        if (registerFamily && data == nullptr &&
            CdbIs(cdb, {0x3C, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x04})) {
            reply = DataIn(Bytes(kButtonRegisterLength));
            return false;
        }
        if (registerFamily && data != nullptr &&
            CdbIs(cdb, {0x3B, 0x05, 0x00, 0x02, 0x00, 0x24, 0x00, 0x00, 0x04})) {
            if (*data != Bytes{0x00, 0x00, 0x00, kButtonPressedBits}) {
                reply = Rejected(kInvalidFieldInCdb);
                return false;
            }
            // The acknowledgement clears the press the register showed.
            reply = {};
            const bool press = enclosure->presses > 0;
            enclosure->presses -= press ? 1 : 0;
            return press;
        }
        return false;
    });
    return reply;
}

}  // namespace bexlo
