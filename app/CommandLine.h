#pragma once

#include <optional>
#include <string>

namespace bexlo {

// The simulator option: "/simulate" runs on the simulated enclosures of the "sim" folder beside
// the program, "/simulate=FOLDER" on those of FOLDER (quotes allowed around the whole option).
// Returns the folder, or nothing when the option is absent.
std::optional<std::wstring> SimulatorFolder(const std::wstring& commandLine,
                                            const std::wstring& programFolder);

}  // namespace bexlo
