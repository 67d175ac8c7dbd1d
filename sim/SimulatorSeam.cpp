#include "sim/SimulatorSeam.h"

namespace bexlo {

namespace {

std::wstring WithoutTrailingSeparator(std::wstring folder) {
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) {
        folder.pop_back();
    }
    return folder;
}

}  // namespace

SimulatorSeam::SimulatorSeam(const std::wstring& simulatorFolder)
    : WindowsDeviceSeam(WithoutTrailingSeparator(simulatorFolder)), state_(simulatorFolder) {}

}  // namespace bexlo
