#include "backup/RunLog.h"

#include <ctime>

#include "backup/Utf16Text.h"

namespace bexlo {

namespace {

constexpr char16_t kByteOrderMark = 0xFEFF;
// Every run's lines begin with this, which is where the file is cut when it grows too long.
constexpr std::u16string_view kRunStart = u"Backup started ";

std::size_t EncodedBytes(std::size_t units) {
    return units * 2;
}

}  // namespace

std::wstring FormatRunLogEntry(const RunLogEntry& entry) {
    std::wstring text = std::wstring(kRunStart.begin(), kRunStart.end()) + entry.started + L"\r\n";
    text += L"Mode: " + entry.mode + L"\r\n";
    text += L"Destination: " + entry.destination + L"\r\n";
    text += L"Copied: " + std::to_wstring(entry.filesCopied) + L" files, " +
            std::to_wstring(entry.bytesCopied) + L" bytes\r\n";
    for (const auto& [path, reason] : entry.failures) {
        text += L"Not copied: " + path + L" (" + reason + L")\r\n";
    }
    text += L"Ended " + entry.ended + L": " + entry.result + L"\r\n\r\n";
    return text;
}

std::vector<std::uint8_t> AppendToRunLog(std::span<const std::uint8_t> existing,
                                         const std::wstring& entry, std::size_t limit) {
    std::u16string old = Utf16TextUpToNul(existing);
    if (old.empty() || old.front() != kByteOrderMark || old.find(kRunStart) != 1) {
        old.clear();
    } else {
        old.erase(0, 1);
    }
    const std::u16string added = ToUtf16(entry);
    // Whole runs go, oldest first, until the file fits; the newest run always stays.
    std::size_t cut = 0;
    while (cut < old.size() && EncodedBytes(1 + old.size() - cut + added.size()) > limit) {
        const std::size_t next = old.find(kRunStart, cut + 1);
        cut = next == std::u16string::npos ? old.size() : next;
    }
    std::vector<std::uint8_t> bytes;
    AppendUtf16Le(bytes, std::u16string(1, kByteOrderMark));
    AppendUtf16Le(bytes, std::u16string_view(old).substr(cut));
    AppendUtf16Le(bytes, added);
    return bytes;
}

bool AppendRunLog(FileSystem& fs, const RunLogEntry& entry) {
    const auto existing = fs.ReadFileBytes(kRunLogFile, 2 * kRunLogLimitBytes);
    const std::vector<std::uint8_t> bytes =
        AppendToRunLog(existing.value_or(std::vector<std::uint8_t>{}), FormatRunLogEntry(entry),
                       kRunLogLimitBytes);
    return fs.WriteFileReplacing(kRunLogFile, bytes);
}

std::wstring LocalTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    wchar_t text[32]{};
    std::wcsftime(text, 32, L"%Y-%m-%d %H:%M:%S", &local);
    return text;
}

}  // namespace bexlo
