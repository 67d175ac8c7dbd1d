#pragma once

// The last step of a copy made beside its destination, the same on the real disks and on the
// ones in memory that the tests use.

#include "backup/FileSystem.h"

namespace bexlo {

// Moves a finished copy to its name. A free name is taken at once: a copy cut short there loses
// nothing. A file already there is replaced only once the copy's data is on the disk: a rename
// may reach the disk before the data, and a power cut would then leave the name holding nothing
// where the old copy was. `copy` renames itself with Rename(replace), writes its data through
// with Flush() and tells why its last step failed with Error().
template <typename Copy>
bool PutCopyInPlace(Copy& copy) {
    if (copy.Rename(false)) {
        return true;
    }
    return copy.Error() == file_error::kAlreadyExists && copy.Flush() && copy.Rename(true);
}

template <typename Copy>
bool PlaceCopy(Copy& copy, CopyPlacing placing) {
    switch (placing) {
        case CopyPlacing::Replacing:
            return PutCopyInPlace(copy);
        case CopyPlacing::Durable:
            return copy.Flush() && copy.Rename(false);
        case CopyPlacing::New:
            break;
    }
    return copy.Rename(false);
}

}  // namespace bexlo
