// Any bytes in SerailNo.txt give a defined answer that depends on the first 100 bytes only, and
// a written record always reads back as its type and its volume.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "backup/BackupRecord.h"
#include "tests/fuzz/Holds.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using bexlo::BackupType;
    using bexlo::fuzz::Holds;
    const std::span<const std::uint8_t> bytes(data, size);
    const std::span<const std::uint8_t> read =
        bytes.first(std::min(size, bexlo::kBackupRecordSize));
    std::uint32_t serial = 0;
    for (std::size_t i = 0; i < size && i < 4; ++i) {
        serial = serial << 8 | data[i];
    }
    const auto type = bexlo::ParseBackupType(bytes);
    Holds(type == bexlo::ParseBackupType(read));
    Holds(!type || *type == BackupType::Copy || *type == BackupType::Sync);
    const bool matches = bexlo::RecordMatchesVolume(bytes, serial);
    Holds(matches == bexlo::RecordMatchesVolume(read, serial));
    // Both serial fields end at byte 84: a shorter file cannot hold them.
    Holds(!matches || size >= 83);

    for (BackupType written : {BackupType::Copy, BackupType::Sync}) {
        const auto record = bexlo::MakeBackupRecord(written, serial);
        Holds(bexlo::ParseBackupType(record) == written);
        Holds(bexlo::RecordMatchesVolume(record, serial));
        Holds(!bexlo::RecordMatchesVolume(record, serial ^ 1) &&
              !bexlo::RecordMatchesVolume(record, serial ^ 0x10000));
    }
    return 0;
}
