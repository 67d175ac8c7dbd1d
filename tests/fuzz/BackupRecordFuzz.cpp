// Any bytes in SerailNo.txt give a defined answer, and a written record always reads back.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "backup/BackupRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    bexlo::ParseBackupType(bytes);
    std::uint32_t serial = 0;
    for (std::size_t i = 0; i < size && i < 4; ++i) {
        serial = serial << 8 | data[i];
    }
    if (bexlo::RecordMatchesVolume(bytes, serial) && size < 83) {
        std::abort();
    }
    const auto record = bexlo::MakeBackupRecord(bexlo::BackupType::Sync, serial);
    if (!bexlo::RecordMatchesVolume(record, serial) ||
        bexlo::ParseBackupType(record) != bexlo::BackupType::Sync) {
        std::abort();
    }
    return 0;
}
