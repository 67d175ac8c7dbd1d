#include "app/Hardware.h"
#include "device/WindowsDeviceSeam.h"

namespace bexlo {

HardwareMaker ChooseHardware(const std::wstring&) {
    return [] { return std::make_unique<WindowsDeviceSeam>(); };
}

}  // namespace bexlo
