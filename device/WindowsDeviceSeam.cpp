#include "device/WindowsDeviceSeam.h"

#include <winioctl.h>

#include <array>
#include <cwctype>

#include "device/ScsiRequest.h"
#include "device/VendorLibraries.h"
#include "framework/Handles.h"

namespace bexlo {

namespace {

const wchar_t* LibraryName(VendorLibrary library) {
    switch (library) {
        case VendorLibrary::Plx507:
            return kPlx507Library;
        case VendorLibrary::JmUsb:
            return kJmUsbLibrary;
        case VendorLibrary::JmEsata:
            return kJmEsataLibrary;
        case VendorLibrary::Sp216:
            return kSp216Library;
    }
    return L"";
}

HANDLE AsHandle(DeviceHandle device) {
    return reinterpret_cast<HANDLE>(device);
}

DeviceHandle OpenDevice(const std::wstring& path) {
    HANDLE handle =
        ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    return handle == INVALID_HANDLE_VALUE ? kNoDevice : reinterpret_cast<DeviceHandle>(handle);
}

// The folder of the running program, where the vendors' libraries are installed beside it.
std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L"\\/"));
}

template <typename Entry>
Entry Resolve(FARPROC entry) {
    return reinterpret_cast<Entry>(reinterpret_cast<void*>(entry));
}

}  // namespace

WindowsDeviceSeam::WindowsDeviceSeam(std::wstring vendorFolder)
    : vendorFolder_(vendorFolder.empty() ? ProgramFolder() : std::move(vendorFolder)) {
    // "PLx507.dll" is bound for the life of the program, the others load on first use.
    LoadVendorLibrary(VendorLibrary::Plx507);
}

WindowsDeviceSeam::~WindowsDeviceSeam() = default;

std::uint32_t WindowsDeviceSeam::LogicalDrives() {
    return ::GetLogicalDrives();
}

int WindowsDeviceSeam::SystemDrive() {
    wchar_t folder[MAX_PATH]{};
    const UINT length = ::GetSystemWindowsDirectoryW(folder, MAX_PATH);
    if (length < 2 || length >= MAX_PATH || folder[1] != L':') {
        return -1;
    }
    const auto letter = static_cast<wchar_t>(std::towupper(folder[0]));
    return letter >= L'A' && letter <= L'Z' ? letter - L'A' : -1;
}

int WindowsDeviceSeam::DriveType(int drive) {
    const wchar_t root[] = {static_cast<wchar_t>(L'A' + drive), L':', L'\\', L'\0'};
    return static_cast<int>(::GetDriveTypeW(root));
}

bool WindowsDeviceSeam::MountedDevicesAvailable() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\MountedDevices", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    ::RegCloseKey(key);
    return true;
}

std::vector<std::uint8_t> WindowsDeviceSeam::MountedDevice(int drive) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\MountedDevices", 0, KEY_READ, &opened) !=
        ERROR_SUCCESS) {
        return {};
    }
    UniqueRegKey key(opened);
    const wchar_t name[] = {L'\\',
                            L'D',
                            L'o',
                            L's',
                            L'D',
                            L'e',
                            L'v',
                            L'i',
                            L'c',
                            L'e',
                            L's',
                            L'\\',
                            static_cast<wchar_t>(L'A' + drive),
                            L':',
                            L'\0'};
    DWORD size = 0;
    if (::RegQueryValueExW(key.Get(), name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS ||
        size == 0) {
        return {};
    }
    std::vector<std::uint8_t> value(size);
    if (::RegQueryValueExW(key.Get(), name, nullptr, nullptr, value.data(), &size) !=
        ERROR_SUCCESS) {
        return {};
    }
    value.resize(size);
    return value;
}

DeviceHandle WindowsDeviceSeam::OpenVolume(int drive) {
    return OpenDevice(std::wstring(L"\\\\.\\") + static_cast<wchar_t>(L'A' + drive) + L":");
}

DeviceHandle WindowsDeviceSeam::OpenPhysicalDrive(int number) {
    return OpenDevice(L"\\\\.\\PhysicalDrive" + std::to_wstring(number));
}

void WindowsDeviceSeam::Close(DeviceHandle device) {
    if (device != kNoDevice) {
        ::CloseHandle(AsHandle(device));
    }
}

int WindowsDeviceSeam::QueryDeviceNumber(DeviceHandle device) {
    STORAGE_DEVICE_NUMBER number{};
    DWORD returned = 0;
    if (!::DeviceIoControl(AsHandle(device), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number,
                           sizeof(number), &returned, nullptr)) {
        return -1;
    }
    return static_cast<int>(number.DeviceNumber);
}

std::vector<std::uint8_t> WindowsDeviceSeam::QueryDeviceDescriptor(DeviceHandle device) {
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    std::vector<std::uint8_t> descriptor(1024);
    DWORD returned = 0;
    if (!::DeviceIoControl(AsHandle(device), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query),
                           descriptor.data(), static_cast<DWORD>(descriptor.size()), &returned,
                           nullptr)) {
        return {};
    }
    descriptor.resize(returned);
    return descriptor;
}

ScsiReply WindowsDeviceSeam::ScsiIn(DeviceHandle drive, const std::vector<std::uint8_t>& cdb,
                                    std::uint32_t length, std::uint32_t timeoutSeconds) {
    std::vector<std::uint8_t> request =
        BuildPassThroughIn(kNativeScsiLayout, cdb, length, timeoutSeconds);
    if (request.empty()) {
        return {ERROR_INVALID_PARAMETER, 0, {}, {}};
    }
    DWORD returned = 0;
    if (!::DeviceIoControl(AsHandle(drive), kIoctlScsiPassThrough, request.data(),
                           kNativeScsiLayout.headerSize, request.data(),
                           static_cast<DWORD>(request.size()), &returned, nullptr)) {
        return {static_cast<int>(::GetLastError()), 0, {}, {}};
    }
    return ReadPassThroughReply(kNativeScsiLayout, request, returned);
}

ScsiReply WindowsDeviceSeam::ScsiOut(DeviceHandle drive, const std::vector<std::uint8_t>& cdb,
                                     const std::vector<std::uint8_t>& data,
                                     std::uint32_t timeoutSeconds) {
    // Checked before the length is narrowed to the header's 32 bits.
    if (data.size() > kScsiMaxTransfer) {
        return {ERROR_INVALID_PARAMETER, 0, {}, {}};
    }
    std::vector<std::uint8_t> block = data;
    std::vector<std::uint8_t> request =
        BuildPassThroughOut(kNativeScsiLayout, cdb, static_cast<std::uint32_t>(block.size()),
                            timeoutSeconds, reinterpret_cast<std::uintptr_t>(block.data()));
    if (request.empty()) {
        return {ERROR_INVALID_PARAMETER, 0, {}, {}};
    }
    DWORD returned = 0;
    if (!::DeviceIoControl(AsHandle(drive), kIoctlScsiPassThroughDirect, request.data(),
                           static_cast<DWORD>(request.size()), request.data(),
                           static_cast<DWORD>(request.size()), &returned, nullptr)) {
        return {static_cast<int>(::GetLastError()), 0, {}, {}};
    }
    ScsiReply reply = ReadPassThroughReply(kNativeScsiLayout, request, returned);
    reply.data.clear();
    return reply;
}

bool WindowsDeviceSeam::LoadVendorLibrary(VendorLibrary library) {
    UniqueModule& module = Module(library);
    if (!module) {
        // Always by its full path: a library of that name planted in the working folder or on
        // PATH would run with the program's administrator rights.
        const std::wstring path = vendorFolder_ + L"\\" + LibraryName(library);
        module.Reset(::LoadLibraryExW(path.c_str(), nullptr, 0));
    }
    return module.Valid();
}

void WindowsDeviceSeam::ReleaseVendorLibraries(bool closeSp216Device) {
    if (closeSp216Device && Module(VendorLibrary::Sp216)) {
        CloseDevice();
    }
    Module(VendorLibrary::Sp216).Reset();
    Module(VendorLibrary::JmUsb).Reset();
}

FARPROC WindowsDeviceSeam::Entry(VendorLibrary library, const char* name) {
    HMODULE module = Module(library).Get();
    return module != nullptr ? ::GetProcAddress(module, name) : nullptr;
}

std::optional<int> WindowsDeviceSeam::X507EnumDevice(const std::string& identity, int option,
                                                     std::span<std::uint8_t> letters) {
    auto call = Resolve<X507EnumDeviceFn>(Entry(VendorLibrary::Plx507, "X507EnumDevice"));
    if (call == nullptr) {
        return std::nullopt;
    }
    // The library may write into the identity; it gets a copy with room to spare.
    std::array<char, 260> text{};
    identity.copy(text.data(), text.size() - 1);
    return CallVendor(call, text.data(), option, letters.data(), static_cast<int>(letters.size()));
}

std::optional<int> WindowsDeviceSeam::X507GetGPIO(char driveLetter, std::uint8_t& gpio) {
    auto call = Resolve<X507GetGPIOFn>(Entry(VendorLibrary::Plx507, "X507GetGPIO"));
    return call != nullptr ? std::optional<int>(CallVendor(call, driveLetter, &gpio))
                           : std::nullopt;
}

void WindowsDeviceSeam::X507CloseDevice() {
    if (auto call = Resolve<X507CloseDeviceFn>(Entry(VendorLibrary::Plx507, "X507CloseDevice"))) {
        CallVendor(call);
    }
}

std::optional<int> WindowsDeviceSeam::GetDriveList(std::span<std::uint8_t> drives) {
    auto call = Resolve<GetDriveListFn>(Entry(VendorLibrary::JmUsb, "GetDriveList"));
    if (call == nullptr) {
        return std::nullopt;
    }
    return CallVendor(call, drives.data(), static_cast<int>(drives.size()));
}

std::optional<int> WindowsDeviceSeam::GetUsbIdList(std::span<UsbIdEntry> ids) {
    auto call = Resolve<GetUsbIdListFn>(Entry(VendorLibrary::JmUsb, "GetUsbIdList"));
    if (call == nullptr) {
        return std::nullopt;
    }
    return CallVendor(call, ids.empty() ? nullptr : ids.front().data(),
                      static_cast<int>(ids.size()));
}

std::optional<int> WindowsDeviceSeam::JMGetButtonLayout(const std::string& devicePath,
                                                        std::span<std::uint8_t> status) {
    auto call = Resolve<JMGetButtonLayoutFn>(Entry(VendorLibrary::JmUsb, "JMGetButtonLayout"));
    if (call == nullptr) {
        return std::nullopt;
    }
    return CallVendor(call, devicePath.c_str(), status.data(), static_cast<int>(status.size()));
}

std::optional<int> WindowsDeviceSeam::JMGetButtonStatus(const std::string& devicePath,
                                                        std::span<std::uint8_t> status) {
    auto call = Resolve<JMGetButtonStatusFn>(Entry(VendorLibrary::JmUsb, "JMGetButtonStatus"));
    if (call == nullptr) {
        return std::nullopt;
    }
    return CallVendor(call, devicePath.c_str(), status.data(), static_cast<int>(status.size()));
}

std::optional<int> WindowsDeviceSeam::ATACBExecuteEx(const std::string& devicePath,
                                                     std::span<std::uint8_t> block,
                                                     std::uint16_t& reply, int replyLength,
                                                     int option) {
    auto call = Resolve<ATACBExecuteExFn>(Entry(VendorLibrary::JmUsb, "ATACBExecuteEx"));
    if (call == nullptr) {
        return std::nullopt;
    }
    return CallVendor(call, devicePath.c_str(), block.data(), &reply, replyLength, option);
}

std::optional<int> WindowsDeviceSeam::JMIdentifyFirmware(DeviceHandle volume, int option,
                                                         std::uint32_t& code,
                                                         std::uint32_t& value) {
    auto call = Resolve<JMIdentifyFirmwareFn>(Entry(VendorLibrary::JmEsata, "JMIdentifyFirmware"));
    if (call == nullptr) {
        return std::nullopt;
    }
    return CallVendor(call, AsHandle(volume), option, &code, &value);
}

std::optional<int> WindowsDeviceSeam::JMButtonControl(DeviceHandle physicalDrive, int option,
                                                      std::uint8_t& pressed) {
    auto call = Resolve<JMButtonControlFn>(Entry(VendorLibrary::JmEsata, "JMButtonControl"));
    if (call == nullptr) {
        return std::nullopt;
    }
    return CallVendor(call, AsHandle(physicalDrive), option, &pressed);
}

std::optional<VendorHandle> WindowsDeviceSeam::EnumDeviceHandle(std::span<std::uint8_t> identity,
                                                                int option, int index) {
    auto call = Resolve<EnumDeviceHandleFn>(Entry(VendorLibrary::Sp216, "EnumDeviceHandle"));
    if (call == nullptr) {
        return std::nullopt;
    }
    return reinterpret_cast<VendorHandle>(CallVendor(call, identity.data(), option, index));
}

std::optional<int> WindowsDeviceSeam::Set_Get_GPIO_Index(int index, int option, std::uint8_t& gpio,
                                                         VendorHandle device) {
    auto call = Resolve<Set_Get_GPIO_IndexFn>(Entry(VendorLibrary::Sp216, "Set_Get_GPIO_Index"));
    if (call == nullptr) {
        return std::nullopt;
    }
    return CallVendor(call, index, option, &gpio, reinterpret_cast<HANDLE>(device));
}

void WindowsDeviceSeam::CloseDevice() {
    if (auto call = Resolve<CloseDeviceFn>(Entry(VendorLibrary::Sp216, "CloseDevice"))) {
        CallVendor(call);
    }
}

}  // namespace bexlo
