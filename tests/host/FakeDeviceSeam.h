#pragma once

// A scripted machine for the device layer's tests: drives, registry records, enclosures that
// answer SCSI commands, and the vendor libraries, with a log of what was asked of them.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/ButtonPoll.h"
#include "device/DeviceSeam.h"

namespace bexlo::testing_device {

struct FakeDrive {
    int type = kDriveTypeFixed;
    std::vector<std::uint8_t> mounted;  // the "\DosDevices\X:" value; empty: none
    bool opens = true;
    int busType = 11;  // SATA: not probed as eSATA unless a test says so
    int deviceNumber = -1;
    std::uint32_t firmwareCode = 0;
};

struct ScsiCall {
    int physical = -1;
    bool in = true;
    std::vector<std::uint8_t> cdb;
    std::uint32_t length = 0;
    std::vector<std::uint8_t> data;
    std::uint32_t timeout = 0;
};

// The 12-byte record of a partition of a classic partitioned disk.
inline std::vector<std::uint8_t> MountedRecord(std::uint32_t signature, std::uint64_t offset) {
    std::vector<std::uint8_t> value(12);
    for (int i = 0; i < 12; ++i) {
        value[i] =
            static_cast<std::uint8_t>(i < 4 ? signature >> (8 * i) : offset >> (8 * (i - 4)));
    }
    return value;
}

class FakeDeviceSeam : public DeviceSeam {
public:
    // Drives by number; present when listed.
    std::map<int, FakeDrive> drives;
    bool registryAvailable = true;

    // Libraries that cannot be loaded; PLx507.dll, loaded with the program, is simply missing.
    std::set<VendorLibrary> unloadable;

    // X507EnumDevice: the bytes written per identity; the count returned is their number
    // unless overridden.
    std::map<std::string, std::string> enumLetters;
    std::map<std::string, int> enumCount;
    // X507GetGPIO per drive letter: result and byte.
    std::map<char, std::pair<int, std::uint8_t>> gpio;

    // SCSI replies per physical drive; no answer fails the request with error 31.
    std::map<int, std::function<ScsiReply(const std::vector<std::uint8_t>& cdb)>> scsi;
    std::vector<ScsiCall> scsiCalls;

    // "JMUsbDll.dll".
    std::vector<std::string> usbIds;
    std::optional<int> usbIdCount;  // the number of usbIds unless set
    std::map<std::string, std::pair<int, std::uint8_t>> buttonLayout;  // result, byte 2
    std::map<std::string, std::pair<int, std::uint8_t>> buttonStatus;
    std::map<std::string, std::pair<int, std::uint16_t>> atacb;
    std::vector<std::uint8_t> lastAtacbBlock;

    // "JMESata.dll": button byte per physical drive.
    std::map<int, std::uint8_t> esataPressed;

    // "sp216.dll": the GPIO byte per device index; handles are 500 + index.
    std::vector<std::uint8_t> sp216Gpio;
    std::vector<std::uint8_t> lastSp216Identity;

    // Every vendor call by entry name, in order.
    std::vector<std::string> calls;
    std::set<DeviceHandle> openHandles;

    int CallCount(const std::string& entry) const {
        return static_cast<int>(std::count(calls.begin(), calls.end(), entry));
    }

    std::uint32_t LogicalDrives() override {
        std::uint32_t mask = 0;
        for (const auto& [drive, info] : drives) {
            mask |= 1u << drive;
        }
        return mask;
    }
    int DriveType(int drive) override {
        auto found = drives.find(drive);
        return found == drives.end() ? 1 : found->second.type;
    }
    bool MountedDevicesAvailable() override { return registryAvailable; }
    std::vector<std::uint8_t> MountedDevice(int drive) override {
        auto found = drives.find(drive);
        return found == drives.end() ? std::vector<std::uint8_t>() : found->second.mounted;
    }

    DeviceHandle OpenVolume(int drive) override {
        auto found = drives.find(drive);
        if (found == drives.end() || !found->second.opens) {
            return kNoDevice;
        }
        return Opened(kVolumeBase + drive);
    }
    DeviceHandle OpenPhysicalDrive(int number) override {
        for (const auto& [drive, info] : drives) {
            if (info.deviceNumber == number && number >= 0) {
                return Opened(kPhysicalBase + number);
            }
        }
        return kNoDevice;
    }
    void Close(DeviceHandle device) override {
        if (openHandles.erase(device) == 0) {
            ADD_FAILURE() << "closed a handle that is not open: " << device;
        }
    }
    int SystemDrive() override { return 2; }  // C:
    int QueryDeviceNumber(DeviceHandle device) override {
        const FakeDrive* drive = VolumeOf(device);
        return drive != nullptr ? drive->deviceNumber : -1;
    }
    std::vector<std::uint8_t> QueryDeviceDescriptor(DeviceHandle device) override {
        const FakeDrive* drive = VolumeOf(device);
        if (drive == nullptr) {
            return {};
        }
        std::vector<std::uint8_t> descriptor(103);
        std::memcpy(descriptor.data() + 28, &drive->busType, 4);
        return descriptor;
    }

    ScsiReply ScsiIn(DeviceHandle device, const std::vector<std::uint8_t>& cdb,
                     std::uint32_t length, std::uint32_t timeout) override {
        const int physical = PhysicalOf(device);
        scsiCalls.push_back({physical, true, cdb, length, {}, timeout});
        auto found = scsi.find(physical);
        if (found == scsi.end()) {
            return {31, 0, {}, {}};
        }
        ScsiReply reply = found->second(cdb);
        if (reply.data.size() > length) {
            reply.data.resize(length);
        }
        return reply;
    }
    ScsiReply ScsiOut(DeviceHandle device, const std::vector<std::uint8_t>& cdb,
                      const std::vector<std::uint8_t>& data, std::uint32_t timeout) override {
        scsiCalls.push_back({PhysicalOf(device), false, cdb, 0, data, timeout});
        return {};
    }

    bool LoadVendorLibrary(VendorLibrary library) override {
        calls.push_back("Load");
        if (unloadable.count(library) != 0) {
            return false;
        }
        loaded_.insert(library);
        return true;
    }

    std::optional<int> X507EnumDevice(const std::string& identity, int option,
                                      std::span<std::uint8_t> letters) override {
        if (!Entry(VendorLibrary::Plx507, "X507EnumDevice") || option != 1) {
            return std::nullopt;
        }
        const std::string written = enumLetters.count(identity) ? enumLetters[identity] : "";
        // A library that believes the buffer is larger still must not overrun ours.
        std::copy_n(written.begin(), std::min(written.size(), letters.size()), letters.begin());
        return enumCount.count(identity) ? enumCount[identity] : static_cast<int>(written.size());
    }
    std::optional<int> X507GetGPIO(char letter, std::uint8_t& value) override {
        if (!Entry(VendorLibrary::Plx507, "X507GetGPIO")) {
            return std::nullopt;
        }
        return Scripted(gpio, letter, value, 1);
    }
    void X507CloseDevice() override { Entry(VendorLibrary::Plx507, "X507CloseDevice"); }

    std::optional<int> GetDriveList(std::span<std::uint8_t> list) override {
        if (!Entry(VendorLibrary::JmUsb, "GetDriveList") || list.size() != 27) {
            return std::nullopt;
        }
        return 0;
    }
    std::optional<int> GetUsbIdList(std::span<UsbIdEntry> ids) override {
        if (!Entry(VendorLibrary::JmUsb, "GetUsbIdList")) {
            return std::nullopt;
        }
        for (std::size_t k = 0; k < usbIds.size() && k < ids.size(); ++k) {
            std::copy_n(usbIds[k].begin(), std::min(usbIds[k].size(), ids[k].size()),
                        ids[k].begin());
        }
        return usbIdCount.value_or(static_cast<int>(usbIds.size()));
    }
    std::optional<int> JMGetButtonLayout(const std::string& path,
                                         std::span<std::uint8_t> status) override {
        return Button(buttonLayout, "JMGetButtonLayout", path, status);
    }
    std::optional<int> JMGetButtonStatus(const std::string& path,
                                         std::span<std::uint8_t> status) override {
        return Button(buttonStatus, "JMGetButtonStatus", path, status);
    }
    std::optional<int> ATACBExecuteEx(const std::string& path, std::span<std::uint8_t> block,
                                      std::uint16_t& reply, int replyLength, int option) override {
        if (!Entry(VendorLibrary::JmUsb, "ATACBExecuteEx") || replyLength != 2 || option != 0) {
            return std::nullopt;
        }
        lastAtacbBlock.assign(block.begin(), block.end());
        return Scripted(atacb, path, reply, 1);
    }

    std::optional<int> JMIdentifyFirmware(DeviceHandle volume, int option, std::uint32_t& code,
                                          std::uint32_t& value) override {
        if (!Entry(VendorLibrary::JmEsata, "JMIdentifyFirmware") || option != 1) {
            return std::nullopt;
        }
        const FakeDrive* drive = VolumeOf(volume);
        if (drive == nullptr) {
            return 0;
        }
        code = drive->firmwareCode;
        value = 0;
        return 1;
    }
    std::optional<int> JMButtonControl(DeviceHandle device, int option,
                                       std::uint8_t& pressed) override {
        if (!Entry(VendorLibrary::JmEsata, "JMButtonControl") || option != 1) {
            return std::nullopt;
        }
        EXPECT_TRUE(timerStopped) << "the eSATA button is read with timer 5 stopped";
        pressed = esataPressed[PhysicalOf(device)];
        return 1;
    }

    std::optional<VendorHandle> EnumDeviceHandle(std::span<std::uint8_t> identity, int option,
                                                 int index) override {
        if (!Entry(VendorLibrary::Sp216, "EnumDeviceHandle") || option != 1) {
            return std::nullopt;
        }
        lastSp216Identity.assign(identity.begin(), identity.end());
        return index < static_cast<int>(sp216Gpio.size()) ? 500 + index : kNoVendorDevice;
    }
    std::optional<int> Set_Get_GPIO_Index(int index, int option, std::uint8_t& value,
                                          VendorHandle device) override {
        if (!Entry(VendorLibrary::Sp216, "Set_Get_GPIO_Index") || index != 0 || option != 0) {
            return std::nullopt;
        }
        value = sp216Gpio.at(device - 500);
        return 1;
    }
    void CloseDevice() override { Entry(VendorLibrary::Sp216, "CloseDevice"); }
    void ReleaseVendorLibraries(bool closeSp216Device) override {
        if (closeSp216Device && loaded_.count(VendorLibrary::Sp216) != 0) {
            CloseDevice();
        }
        calls.push_back("Release");
        loaded_.erase(VendorLibrary::Sp216);
        loaded_.erase(VendorLibrary::JmUsb);
    }

    // Set by the poll host, so the eSATA call can check the timer is stopped.
    bool timerStopped = false;

private:
    static constexpr DeviceHandle kVolumeBase = 100;
    static constexpr DeviceHandle kPhysicalBase = 1000;

    DeviceHandle Opened(DeviceHandle handle) {
        EXPECT_EQ(openHandles.count(handle), 0u) << "opened twice without closing";
        openHandles.insert(handle);
        return handle;
    }
    const FakeDrive* VolumeOf(DeviceHandle handle) const {
        auto found = drives.find(static_cast<int>(handle - kVolumeBase));
        return handle >= kVolumeBase && handle < kPhysicalBase && found != drives.end()
                   ? &found->second
                   : nullptr;
    }
    int PhysicalOf(DeviceHandle handle) const {
        EXPECT_EQ(openHandles.count(handle), 1u) << "used a handle that is not open";
        return handle >= kPhysicalBase ? static_cast<int>(handle - kPhysicalBase) : -1;
    }

    // Whether an entry point may be called: its library is there.
    bool Entry(VendorLibrary library, const std::string& entry) {
        calls.push_back(entry);
        return library == VendorLibrary::Plx507 ? unloadable.count(library) == 0
                                                : loaded_.count(library) != 0;
    }

    std::optional<int> Button(const std::map<std::string, std::pair<int, std::uint8_t>>& table,
                              const std::string& entry, const std::string& path,
                              std::span<std::uint8_t> status) {
        if (!Entry(VendorLibrary::JmUsb, entry) || status.size() != 10) {
            return std::nullopt;
        }
        return Scripted(table, path, status[2], 0);
    }

    // The result scripted for `key`, its value given in `out`; `missing` when none is.
    template <typename Key, typename Value, typename Out>
    static int Scripted(const std::map<Key, std::pair<int, Value>>& table, const Key& key, Out& out,
                        int missing) {
        auto found = table.find(key);
        if (found == table.end()) {
            return missing;
        }
        out = found->second.second;
        return found->second.first;
    }

    std::set<VendorLibrary> loaded_;
};

// The main dialog's side of a poll.
class FakePollHost : public PollHost {
public:
    explicit FakePollHost(FakeDeviceSeam& seam) : seam_(seam) {}

    bool StartRun() override {
        ++runs;
        return true;
    }
    bool RunActive() const override { return running; }
    void StopPollTimer() override {
        seam_.timerStopped = true;
        ++timerStops;
    }
    void StartPollTimer() override {
        EXPECT_TRUE(seam_.openHandles.empty()) << "the drive is closed before timer 5 restarts";
        seam_.timerStopped = false;
        ++timerStarts;
    }

    int runs = 0;
    bool running = false;
    int timerStops = 0;
    int timerStarts = 0;

private:
    FakeDeviceSeam& seam_;
};

}  // namespace bexlo::testing_device
