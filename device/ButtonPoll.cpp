#include "device/ButtonPoll.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "device/DeviceScan.h"

namespace bexlo {

namespace {

// Family 1/2 replies: byte 0 says what the device answers, byte 1 the key code.
constexpr std::uint8_t kApixPressReply = 1;
constexpr std::uint8_t kApixKeyReply = 2;
constexpr std::uint8_t kKeyPresent = 1;
constexpr std::uint8_t kKeyAbsent = 2;
constexpr std::uint32_t kApixReplyLength = 14;

constexpr std::uint32_t kButtonRegisterLength = 4;
constexpr std::uint8_t kButtonPressedBits = 0x10;

constexpr std::size_t kGpioLetterBuffer = 32;
constexpr std::uint16_t kAtacbPressed = 0x01D2;

constexpr std::size_t kUsbIdPrefixLength = 21;
constexpr std::string_view kFamily6Path = "usb\\vid_152d&pid_2336\\";
constexpr std::string_view kFamily7Path = "usb\\vid_152d&pid_2338\\";

// Any nonzero code stands for a failed exchange; this one marks a reply that came back short
// or with a SCSI error status although the request itself went through.
constexpr int kIncompleteReply = -1;

std::vector<std::uint8_t> Padded(std::vector<std::uint8_t> cdb, std::size_t length) {
    cdb.resize(length, 0);
    return cdb;
}

// The text of one device-path entry, which need not be NUL-terminated.
std::string EntryText(const UsbIdEntry& entry) {
    const auto end = std::find(entry.begin(), entry.end(), '\0');
    return std::string(entry.begin(), end);
}

bool IsRunMessage(int mode) {
    return mode == kPollRunFailed || mode == kPollRunComplete || mode == kPollItemStarting;
}

}  // namespace

std::vector<std::uint8_t> ApixCdb(int mode) {
    const std::uint8_t code = IsRunMessage(mode) ? static_cast<std::uint8_t>(mode) : 0;
    return Padded({0xF5, 'A', 'P', 'I', 'X', 0xF0, code}, kCdbLengthIn);
}

std::vector<std::uint8_t> ReadButtonCdb() {
    return Padded({0x3C, 0x01, 0x00, 0x02, 0x00, 0x0C, 0x00, 0x00, 0x04}, kCdbLengthIn);
}

std::vector<std::uint8_t> AcknowledgeButtonCdb() {
    return Padded({0x3B, 0x05, 0x00, 0x02, 0x00, 0x24, 0x00, 0x00, 0x04}, kCdbLengthOut);
}

std::vector<std::uint8_t> ReadButtonBaseCdb() {
    return Padded({0x3C, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x04}, kCdbLengthIn);
}

std::array<std::uint8_t, 24> AtacbButtonBlock() {
    std::array<std::uint8_t, 24> block{};
    block[0] = 1;
    block[4] = 2;
    block[19] = 0xFF;
    return block;
}

std::array<std::uint8_t, 52> Sp216IdentityBlock(int family) {
    std::array<std::uint8_t, 52> block{};
    std::memcpy(block.data(), "04FC", 4);
    std::memcpy(block.data() + 12, family == 8 ? "0C15" : "0C25", 4);
    return block;
}

void ButtonPoller::OnPollTimer() {
    PollButtons(state_.pollSkip == 0 && !host_.RunActive() ? kPollPress : kPollDrain);
}

int ButtonPoller::PollButtons(int mode) {
    if (mode != kPollPress && mode != kPollDrain) {
        return 0;
    }
    for (int drive = 0; drive < kDriveCount; ++drive) {
        if (record_.driveReported[drive] != 1) {
            continue;
        }
        const PollResult result = PollDevice(record_.driveFamily[drive], drive, mode);
        if (mode == kPollPress && result.value == kPollStartedRun) {
            return kPollStartedRun;
        }
    }
    if (mode == kPollDrain && state_.pollSkip > 0) {
        --state_.pollSkip;
    }
    return 0;
}

PollResult ButtonPoller::PollDevice(int family, int drive, int mode) {
    if (drive < 0 || drive >= kLetterCount) {
        return {};
    }
    switch (family) {
        case 1:
        case 2:
            return PollApix(drive, mode);
        case 3:
        case 4:
            return {PollGpio(family, drive, mode)};
        case 5:
            return {PollReadBuffer(drive, mode)};
        case 6:
        case 7:
            return {PollJmUsb(family, mode)};
        case 8:
        case 9:
            return {PollSp216(family, mode)};
        case kEsataFamily:
            return {PollEsata(drive, mode)};
        default:
            return {};
    }
}

ButtonPoller::Exchange ButtonPoller::PassThroughIn(DeviceHandle drive,
                                                   std::vector<std::uint8_t> cdb,
                                                   std::uint32_t length, std::size_t needed) {
    ScsiReply reply =
        seam_.ScsiIn(drive, Padded(std::move(cdb), kCdbLengthIn), length, kScsiTimeoutSeconds);
    if (reply.error != 0) {
        return {reply.error, {}};
    }
    if (reply.scsiStatus != 0 || reply.data.size() < needed) {
        return {kIncompleteReply, {}};
    }
    return {0, std::move(reply.data)};
}

void ButtonPoller::PassThroughOut(DeviceHandle drive, std::vector<std::uint8_t> cdb,
                                  const std::vector<std::uint8_t>& data) {
    seam_.ScsiOut(drive, Padded(std::move(cdb), kCdbLengthOut), data, kScsiTimeoutSeconds);
}

DeviceHandle ButtonPoller::OpenPhysicalDrive(int drive) {
    const int number = record_.physicalDrive[drive];
    return number >= 0 ? seam_.OpenPhysicalDrive(number) : kNoDevice;
}

int ButtonPoller::StartRun(int pressKey) {
    state_.pressKey = pressKey;
    return host_.StartRun() ? kPollStartedRun : 0;
}

PollResult ButtonPoller::PollApix(int drive, int mode) {
    Exchange reply;
    {
        OpenedDevice device(seam_, OpenPhysicalDrive(drive));
        if (!device.Valid()) {
            return {};
        }
        reply = PassThroughIn(device.Get(), ApixCdb(mode), kApixReplyLength, 2);
    }
    const bool answered = reply.status == 0;
    const std::uint8_t r0 = answered ? reply.data[0] : 0;
    const std::uint8_t r1 = answered ? reply.data[1] : 0;

    if (IsRunMessage(mode)) {
        return {answered && r0 == kApixPressReply ? 1 : 0};
    }
    if (mode == kPollDrain) {
        return {1};
    }
    if (mode == kPollPress) {
        if (!answered || r0 != kApixPressReply) {
            return {1};
        }
        if (r1 != kKeyPresent && r1 != kKeyAbsent) {
            return {0};
        }
        state_.pressDrive = drive;
        state_.notifyDevice = 1;
        const int started = StartRun(r1);
        if (started != kPollStartedRun) {
            // No run will send its end message, so no later run may inherit this device.
            state_.notifyDevice = 0;
        }
        return {started};
    }
    if (mode == kPollKeyCheck && answered && r0 == kApixKeyReply) {
        return r1 == kKeyPresent ? PollResult{1} : PollResult{0, true};
    }
    return {};
}

int ButtonPoller::PollGpio(int family, int drive, int mode) {
    const std::size_t found =
        EnumerateDriveLetters(seam_, kFamilyIdentities[family - 1], kGpioLetterBuffer).size();
    std::uint8_t gpio = 0;
    const int read = seam_.X507GetGPIO(DriveLetter(drive), gpio).value_or(-1);
    seam_.X507CloseDevice();

    if (mode == kPollDrain) {
        return 1;
    }
    if (mode != kPollPress || found == 0 || read != 0) {
        return 0;
    }
    if (gpio == 0x0F || gpio == 0x07) {
        return StartRun(1);
    }
    return gpio == 0x1F || gpio == 0x17 ? 1 : 0;
}

int ButtonPoller::PollReadBuffer(int drive, int mode) {
    {
        OpenedDevice device(seam_, OpenPhysicalDrive(drive));
        if (!device.Valid()) {
            return 0;
        }
        const Exchange state = PassThroughIn(device.Get(), ReadButtonCdb(), kButtonRegisterLength,
                                             kButtonRegisterLength);
        if (state.status != 0 || state.data[3] != kButtonPressedBits) {
            return 0;
        }
        PassThroughOut(device.Get(), AcknowledgeButtonCdb(),
                       {kAcknowledgeButtonData.begin(), kAcknowledgeButtonData.end()});
        PassThroughIn(device.Get(), ReadButtonBaseCdb(), kButtonRegisterLength, 0);
    }
    if (mode == kPollDrain) {
        return 1;
    }
    return mode == kPollPress ? StartRun(1) : 0;
}

int ButtonPoller::PollJmUsb(int family, int mode) {
    if (!seam_.LoadVendorLibrary(VendorLibrary::JmUsb)) {
        return 0;
    }
    std::array<std::uint8_t, kDriveCount> drives{};
    seam_.GetDriveList(drives);
    std::array<UsbIdEntry, kUsbIdEntries> ids{};
    const int count = std::clamp(seam_.GetUsbIdList(ids).value_or(0), 0, kUsbIdEntries);
    const std::string_view wanted = family == 6 ? kFamily6Path : kFamily7Path;

    for (int k = 0; k < count; ++k) {
        const std::string path = EntryText(ids[k]);
        if (path.compare(0, kUsbIdPrefixLength, wanted, 0, kUsbIdPrefixLength) != 0) {
            continue;
        }
        bool pressed = false;
        if (family == 6) {
            std::array<std::uint8_t, 10> status{};
            const int layout = seam_.JMGetButtonLayout(path, status).value_or(0);
            // Only the status call says whether the button is down; the layout call only says
            // that there is a button to ask about.
            if (layout == 1 && status[2] != 0) {
                const int read = seam_.JMGetButtonStatus(path, status).value_or(0);
                pressed = read != 0 && status[2] != 0;
            }
        } else {
            std::array<std::uint8_t, 24> block = AtacbButtonBlock();
            std::uint16_t reply = 0;
            const int result = seam_.ATACBExecuteEx(path, block, reply, 2, 0).value_or(-1);
            pressed = result == 0 && reply == kAtacbPressed;
        }
        if (mode == kPollPress && pressed) {
            return StartRun(1);
        }
    }
    return 0;
}

int ButtonPoller::PollSp216(int family, int mode) {
    std::array<std::uint8_t, 52> identity = Sp216IdentityBlock(family);
    if (!seam_.LoadVendorLibrary(VendorLibrary::Sp216)) {
        return 0;
    }
    std::uint8_t gpio = 0;
    for (int index = 0; index < record_.familyCount[family]; ++index) {
        const std::optional<VendorHandle> device = seam_.EnumDeviceHandle(identity, 1, index);
        if (!device || *device == kNoVendorDevice) {
            return 0;
        }
        seam_.Set_Get_GPIO_Index(0, 0, gpio, *device);
        if (gpio == 0) {
            seam_.CloseDevice();
            continue;
        }
        seam_.Set_Get_GPIO_Index(0, 0, gpio, *device);
        seam_.CloseDevice();
        if (mode == kPollPress) {
            return StartRun(1);
        }
    }
    return 0;
}

int ButtonPoller::PollEsata(int drive, int mode) {
    if (!seam_.LoadVendorLibrary(VendorLibrary::JmEsata)) {
        return 0;
    }
    std::uint8_t pressed = 0;
    {
        OpenedDevice device(seam_, OpenPhysicalDrive(drive));
        if (!device.Valid()) {
            return 0;
        }
        host_.StopPollTimer();
        seam_.JMButtonControl(device.Get(), 1, pressed);
    }
    host_.StartPollTimer();

    if (mode == kPollDrain) {
        return 1;
    }
    return mode == kPollPress && pressed != 0 ? StartRun(1) : 0;
}

}  // namespace bexlo
