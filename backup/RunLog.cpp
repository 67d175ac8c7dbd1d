#include "backup/RunLog.h"

#include <algorithm>
#include <ctime>

#include "backup/Utf16Text.h"

namespace bexlo {

namespace {

constexpr char16_t kByteOrderMark = 0xFEFF;
// Every run's lines begin with this at the start of a line, where the file is cut when it grows
// too long. No field holds a line break, so no path or reason can pose as a run's start.
constexpr std::u16string_view kRunStart = u"Backup started ";
constexpr std::u16string_view kLineRunStart = u"\nBackup started ";
constexpr std::u16string_view kLineEnded = u"\nEnded ";
constexpr std::u16string_view kNeverEnded =
    u"Ended never: the program or the computer stopped during the run\r\n\r\n";
constexpr wchar_t kAsidePrefix[] = L"RunLog unreadable ";

std::size_t EncodedBytes(std::size_t units) {
    return units * 2;
}

// A path or a platform message with a line break in it stays on its line.
std::wstring OneLine(std::wstring text) {
    std::replace_if(
        text.begin(), text.end(), [](wchar_t c) { return c == L'\r' || c == L'\n'; }, L' ');
    return text;
}

// Where the last run's lines begin (after the byte-order mark), or npos.
std::size_t LastRunAt(const std::u16string& log) {
    const std::size_t at = log.rfind(kLineRunStart);
    return at != std::u16string::npos ? at + 1
           : log.find(kRunStart) == 1 ? 1
                                      : std::u16string::npos;
}

bool EndsOpen(const std::u16string& log) {
    const std::size_t last = LastRunAt(log);
    return last != std::u16string::npos && log.find(kLineEnded, last) == std::u16string::npos;
}

std::u16string FirstLine(std::u16string_view text) {
    return std::u16string(text.substr(0, text.find(u'\r')));
}

// The log as it is: nothing when there is none yet, or when it is kept aside; false when it can
// be neither read nor kept aside.
bool ReadLog(FileSystem& fs, std::vector<std::uint8_t>& log) {
    auto existing = fs.ReadFileBytes(RunLogFile(), 2 * kRunLogLimitBytes);
    if (!existing) {
        return Missing(fs.LastError());
    }
    if (existing->empty() || IsRunLog(*existing)) {
        log = std::move(*existing);
        return true;
    }
    std::wstring stamp = LocalTimeText();
    std::erase(stamp, L':');
    return fs.MoveOver(RunLogFile(), DataFile(kAsidePrefix + stamp + L".txt"));
}

}  // namespace

std::wstring FormatRunLogEntry(const RunLogEntry& entry) {
    std::wstring text =
        std::wstring(kRunStart.begin(), kRunStart.end()) + OneLine(entry.started) + L"\r\n";
    text += L"Mode: " + OneLine(entry.mode) + L"\r\n";
    text += L"Destination: " + OneLine(entry.destination) + L"\r\n";
    if (!entry.catalog.empty()) {
        text += L"Records: " + OneLine(entry.catalog) + L"\r\n";
    }
    if (!entry.asked.empty()) {
        text += L"Asked before replacing: " + OneLine(entry.asked) + L"\r\n";
    }
    if (entry.result.empty()) {
        return text;
    }
    if (entry.readBack) {
        text += L"Read back: " + std::to_wstring(entry.readBack->files) + L" files, " +
                std::to_wstring(entry.readBack->bytes) + L" bytes; as written: " +
                std::to_wstring(entry.readBack->good) + L" bytes\r\n";
    } else {
        text += L"Copied: " + std::to_wstring(entry.filesCopied) + L" files, " +
                std::to_wstring(entry.bytesCopied) + L" bytes; passed over as unchanged: " +
                std::to_wstring(entry.filesUnchanged) + L" files\r\n";
    }
    const wchar_t* failed = entry.readBack ? L"Damaged: " : L"Not copied: ";
    for (const auto& [path, reason] : entry.failures) {
        text += failed + OneLine(path) + L" (" + OneLine(reason) + L")\r\n";
    }
    for (const std::wstring& path : entry.held) {
        text += L"Held back, left as it was: " + OneLine(path) + L"\r\n";
    }
    text += L"Ended " + OneLine(entry.ended) + L": " + OneLine(entry.result) + L"\r\n\r\n";
    return text;
}

bool IsRunLog(std::span<const std::uint8_t> bytes) {
    const std::u16string text = Utf16TextUpToNul(bytes);
    return !text.empty() && text.front() == kByteOrderMark && text.find(kRunStart) == 1;
}

std::vector<std::uint8_t> AppendToRunLog(std::span<const std::uint8_t> existing,
                                         const std::wstring& entry, std::size_t limit) {
    std::u16string old = IsRunLog(existing) ? Utf16TextUpToNul(existing) : std::u16string();
    const std::u16string added = ToUtf16(entry);
    if (EndsOpen(old)) {
        const std::size_t last = LastRunAt(old);
        if (FirstLine(std::u16string_view(old).substr(last)) == FirstLine(added)) {
            old.erase(last);
        } else {
            old += kNeverEnded;
        }
    }
    if (!old.empty()) {
        old.erase(0, 1);
    }
    // Whole runs go, oldest first, until the file fits; the newest run always stays.
    std::size_t cut = 0;
    while (cut < old.size() && EncodedBytes(1 + old.size() - cut + added.size()) > limit) {
        const std::size_t next = old.find(kLineRunStart, cut);
        cut = next == std::u16string::npos ? old.size() : next + 1;
    }
    std::vector<std::uint8_t> bytes = Utf16LeWithMark(std::u16string_view(old).substr(cut));
    AppendUtf16Le(bytes, added);
    return bytes;
}

bool AppendRunLog(FileSystem& fs, const RunLogEntry& entry) {
    std::vector<std::uint8_t> existing;
    if (!ReadLog(fs, existing)) {
        return false;
    }
    return fs.WriteFileReplacing(
        RunLogFile(), AppendToRunLog(existing, FormatRunLogEntry(entry), kRunLogLimitBytes));
}

bool CloseUnfinishedRun(FileSystem& fs) {
    // A file that is no log is left as it is until a run has something to write.
    const auto existing = fs.ReadFileBytes(RunLogFile(), 2 * kRunLogLimitBytes);
    if (!existing || !IsRunLog(*existing)) {
        return false;
    }
    const std::u16string text = Utf16TextUpToNul(*existing);
    if (!EndsOpen(text)) {
        return false;
    }
    std::vector<std::uint8_t> bytes;
    AppendUtf16Le(bytes, text);
    AppendUtf16Le(bytes, kNeverEnded);
    return fs.WriteFileReplacing(RunLogFile(), bytes);
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
