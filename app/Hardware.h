#pragma once

#include <functional>
#include <memory>
#include <string>

#include "device/DeviceSeam.h"

namespace bexlo {

// Makes the hardware the program runs on; called once the program knows it will poll.
using HardwareMaker = std::function<std::unique_ptr<DeviceSeam>()>;

// Chooses the hardware from the command line before anything else starts. The program people
// install has the platform's own alone; the build the tests run also has the simulated
// enclosures of "/simulate". Empty when the program must not start (it has said why).
HardwareMaker ChooseHardware(const std::wstring& commandLine);

}  // namespace bexlo
