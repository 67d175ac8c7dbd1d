#pragma once

#include <windows.h>

#include <string>

#include "framework/Handles.h"
#include "sim/SimState.h"

namespace bexlo {

// The simulator's state file "enclosures.txt" in `folder`, shared by the program, the stand-in
// vendor libraries and the control surface. Every change is a read-modify-write under one
// machine-wide mutex, written to a temporary file that then replaces the old one, so no reader
// ever sees half a file.
class SimStateFile : public SimStateAccess {
public:
    explicit SimStateFile(std::wstring folder);

    bool Modify(const std::function<bool(SimState&)>& change) override;

    // Why the last Modify failed, for a person to read.
    const std::string& LastError() const { return lastError_; }
    std::wstring Path() const { return folder_ + L"\\" + kSimStateFileName; }

private:
    bool Load(SimState& state);
    bool Store(const SimState& state);

    std::wstring folder_;
    UniqueKernelHandle mutex_;
    std::string lastError_;
};

// The folder a module was loaded from, without a trailing backslash.
std::wstring ModuleFolder(HMODULE module);

}  // namespace bexlo
