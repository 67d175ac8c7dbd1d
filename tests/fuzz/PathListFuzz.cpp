// Any bytes in path.txt give a defined result: never a crash, never an empty or overlong path,
// and a usable list saves and reads back as itself.

#include <cstddef>
#include <cstdint>
#include <span>

#include "backup/PathList.h"
#include "tests/fuzz/Holds.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using bexlo::PathListRead;
    using bexlo::fuzz::Holds;
    const PathListRead read = bexlo::ReadPathList(std::span<const std::uint8_t>(data, size));
    Holds(read.sources.size() <= bexlo::kItemLimit && read.target.size() <= bexlo::kMaxPathChars);
    Holds((read.status == PathListRead::Status::PathLost) == read.target.empty());
    Holds(read.status == PathListRead::Status::Usable || read.sources.empty());
    for (const std::wstring& source : read.sources) {
        Holds(!source.empty() && source.size() <= bexlo::kMaxPathChars);
    }
    if (read.status == PathListRead::Status::Usable) {
        const PathListRead again =
            bexlo::ReadPathList(bexlo::PathListBytes(read.target, read.sources));
        Holds(again.status == PathListRead::Status::Usable && again.target == read.target &&
              again.sources == read.sources);
    }
    return 0;
}
