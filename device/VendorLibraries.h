#pragma once

#include <windows.h>

#include <cstdint>

namespace bexlo {

// The vendors publish no headers, so their calling convention is an assumption; CallVendor below
// keeps a wrong one from doing harm.
#define BEXLO_VENDOR_CALL __stdcall

inline constexpr wchar_t kPlx507Library[] = L"PLx507.dll";
inline constexpr wchar_t kJmUsbLibrary[] = L"JMUsbDll.dll";
inline constexpr wchar_t kJmEsataLibrary[] = L"JMESata.dll";
inline constexpr wchar_t kSp216Library[] = L"sp216.dll";

// The vendor entry points as the program calls them. Text is 8-bit ASCII; a handle is an open
// volume or physical drive, or a device handle of "sp216.dll" (-1: none).
using X507EnumDeviceFn = int(BEXLO_VENDOR_CALL*)(const char* identity, int option,
                                                 std::uint8_t* letters, int size);
using X507GetGPIOFn = int(BEXLO_VENDOR_CALL*)(char driveLetter, std::uint8_t* gpio);
using X507CloseDeviceFn = int(BEXLO_VENDOR_CALL*)();

using GetDriveListFn = int(BEXLO_VENDOR_CALL*)(std::uint8_t* drives, int size);
using GetUsbIdListFn = int(BEXLO_VENDOR_CALL*)(char* table, int entries);  // 64-byte entries
using JMGetButtonLayoutFn = int(BEXLO_VENDOR_CALL*)(const char* devicePath, std::uint8_t* status,
                                                    int size);
using JMGetButtonStatusFn = int(BEXLO_VENDOR_CALL*)(const char* devicePath, std::uint8_t* status,
                                                    int size);
using ATACBExecuteExFn = int(BEXLO_VENDOR_CALL*)(const char* devicePath, std::uint8_t* block,
                                                 std::uint16_t* reply, int replyLength, int option);

using JMIdentifyFirmwareFn = int(BEXLO_VENDOR_CALL*)(HANDLE volume, int option, std::uint32_t* code,
                                                     std::uint32_t* value);
using JMButtonControlFn = int(BEXLO_VENDOR_CALL*)(HANDLE physicalDrive, int option,
                                                  std::uint8_t* pressed);

using EnumDeviceHandleFn = HANDLE(BEXLO_VENDOR_CALL*)(std::uint8_t* identity, int option,
                                                      int index);
using Set_Get_GPIO_IndexFn = int(BEXLO_VENDOR_CALL*)(int index, int option, std::uint8_t* gpio,
                                                     HANDLE device);
using CloseDeviceFn = int(BEXLO_VENDOR_CALL*)();

// Every call into a vendor library goes through here. Built with a frame pointer and without
// sibling calls, the wrapper takes its stack pointer back from its own frame right after the
// call, so a library that pops its arguments (or leaves them) against the assumed convention
// leaves the stack pointer off only until the wrapper returns, instead of crashing the program.
template <typename Entry, typename... Args>
[[gnu::noinline]] auto CallVendor(Entry entry, Args... args) {
    return entry(args...);
}

}  // namespace bexlo
