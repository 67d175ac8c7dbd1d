// Any bytes in path.txt give a defined result: never a crash, never an empty or overlong path.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "backup/PathList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using bexlo::PathListRead;
    const PathListRead read = bexlo::ReadPathList(std::span<const std::uint8_t>(data, size));
    if (read.sources.size() > bexlo::kItemLimit || read.target.size() > bexlo::kMaxPathChars) {
        std::abort();
    }
    if (read.status != PathListRead::Status::PathLost && read.target.empty()) {
        std::abort();
    }
    if (read.status != PathListRead::Status::Usable && !read.sources.empty()) {
        std::abort();
    }
    if (read.status == PathListRead::Status::Usable) {
        // What was read saves and reads back as the same list.
        const PathListRead again =
            bexlo::ReadPathList(bexlo::PathListBytes(read.target, read.sources));
        if (again.status != PathListRead::Status::Usable || again.target != read.target ||
            again.sources.size() != read.sources.size()) {
            std::abort();
        }
    }
    return 0;
}
