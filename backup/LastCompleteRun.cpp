#include "backup/LastCompleteRun.h"

#include <charconv>
#include <cstdio>

namespace bexlo {

namespace {

// FNV-1a: the record only has to tell one saved list from another.
std::uint64_t Fingerprint(std::span<const std::uint8_t> bytes) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (const std::uint8_t byte : bytes) {
        hash = (hash ^ byte) * 0x100000001B3ull;
    }
    return hash;
}

std::string Key(std::span<const std::uint8_t> pathList, std::optional<std::uint32_t> serial) {
    char key[64];
    std::snprintf(key, sizeof(key), "list %016llx volume %08lx\r\n",
                  static_cast<unsigned long long>(Fingerprint(pathList)),
                  static_cast<unsigned long>(serial.value_or(0)));
    return key;
}

constexpr std::string_view kStarted = "started ";

}  // namespace

std::string LastCompleteRunText(std::span<const std::uint8_t> pathList,
                                std::optional<std::uint32_t> volumeSerial, std::int64_t started) {
    return Key(pathList, volumeSerial) + std::string(kStarted) + std::to_string(started) + "\r\n";
}

std::int64_t ReadLastCompleteRunText(std::string_view text, std::span<const std::uint8_t> pathList,
                                     std::optional<std::uint32_t> volumeSerial) {
    const std::string key = Key(pathList, volumeSerial);
    if (!volumeSerial || !text.starts_with(key) || !text.substr(key.size()).starts_with(kStarted) ||
        !text.ends_with("\r\n")) {
        return 0;
    }
    const std::string_view number =
        text.substr(key.size() + kStarted.size(), text.size() - key.size() - kStarted.size() - 2);
    std::int64_t started = 0;
    const auto [end, error] =
        std::from_chars(number.data(), number.data() + number.size(), started);
    return error == std::errc() && end == number.data() + number.size() && started > 0 ? started
                                                                                       : 0;
}

std::int64_t ReadLastCompleteRun(FileSystem& fs, std::span<const std::uint8_t> pathList,
                                 std::optional<std::uint32_t> volumeSerial) {
    const auto bytes = fs.ReadFileBytes(kLastCompleteRunFile, 256);
    return bytes ? ReadLastCompleteRunText(std::string(bytes->begin(), bytes->end()), pathList,
                                           volumeSerial)
                 : 0;
}

bool WriteLastCompleteRun(FileSystem& fs, std::span<const std::uint8_t> pathList,
                          std::optional<std::uint32_t> volumeSerial, std::int64_t started) {
    const std::string text = LastCompleteRunText(pathList, volumeSerial, started);
    return fs.WriteFileReplacing(
        kLastCompleteRunFile,
        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace bexlo
