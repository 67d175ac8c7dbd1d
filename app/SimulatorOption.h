#pragma once

#include <optional>
#include <string>

namespace bexlo {

// The simulator option of the builds the tests use: "/simulate" runs on the simulated enclosures
// of the "sim" folder beside the program, "/simulate=FOLDER" on those of FOLDER (quotes allowed
// around the whole option). Returns the folder, or nothing when the option is absent.
std::optional<std::wstring> SimulatorFolder(const std::wstring& commandLine,
                                            const std::wstring& programFolder);

// Whether the program may load the stand-in vendor libraries of `folder` (a full path): only the
// "sim" folder beside the program and the folders in it qualify, after "." and ".." are resolved,
// since the program runs as administrator and the libraries run inside it.
bool SimulatorFolderAllowed(const std::wstring& folder, const std::wstring& programFolder);

}  // namespace bexlo
