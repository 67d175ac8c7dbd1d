#include "backup/PathList.h"

#include <algorithm>
#include <string_view>

#include "backup/Utf16Text.h"

namespace bexlo {

namespace {

constexpr std::u16string_view kTargetMarker = u"[TARGET_PATH]\n[ 0] #";
constexpr std::u16string_view kSourceMarker = u"[SOURCE_PATH_";
// The source header follows the destination after two LFs.
constexpr std::u16string_view kSourceHeader = u"\n\n[SOURCE_PATH_";
// Both reads take at most this many bytes: enough for a header with a destination of
// kMaxPathChars, and for any record.
constexpr std::size_t kReadWindowBytes = 1000;
constexpr std::size_t kRecordMarkerChars = 7;

std::u16string RecordOpening(std::size_t item) {
    return u"\n[" + TwoDigits(static_cast<int>(item)) + u"] #";
}

std::u16string RecordClosing(std::size_t item) {
    return u"# [" + TwoDigits(static_cast<int>(item)) + u"]\n";
}

std::u16string ReadWindow(std::span<const std::uint8_t> bytes, std::size_t offset) {
    if (offset >= bytes.size()) {
        return {};
    }
    return Utf16TextUpToNul(
        bytes.subspan(offset, std::min(kReadWindowBytes, bytes.size() - offset)));
}

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// "99" or " 5". Letters, which a hand-edited file might hold, make the count unreadable rather
// than a number far past the item limit.
int ReadCount(char16_t first, char16_t second) {
    if (IsDigit(first) && IsDigit(second)) {
        return 10 * (first - u'0') + (second - u'0');
    }
    if (first == u' ' && IsDigit(second)) {
        return second - u'0';
    }
    return -1;
}

}  // namespace

std::vector<std::uint8_t> PathListBytes(const std::wstring& target,
                                        const std::vector<std::wstring>& sources) {
    const std::size_t count = std::min(sources.size(), kItemLimit);
    std::vector<std::uint8_t> bytes;
    AppendUtf16Le(bytes, kTargetMarker);
    AppendUtf16Le(bytes, ToUtf16(target));
    AppendUtf16Le(bytes, kSourceHeader);
    AppendUtf16Le(bytes, TwoDigits(static_cast<int>(count)) + u"]");
    for (std::size_t i = 1; i <= count; ++i) {
        AppendUtf16Le(bytes, RecordOpening(i));
        AppendUtf16Le(bytes, ToUtf16(sources[i - 1]));
        AppendUtf16Le(bytes, RecordClosing(i));
    }
    return bytes;
}

PathListRead ReadPathList(std::span<const std::uint8_t> bytes) {
    PathListRead read;
    const std::u16string header = ReadWindow(bytes, 0);
    if (!header.starts_with(kTargetMarker)) {
        return read;
    }
    const std::size_t found = header.find(kSourceHeader, kTargetMarker.size());
    if (found == std::u16string::npos) {
        return read;
    }
    // A destination containing the source marker cannot cut the real one short: it would need
    // the two LFs, which no path holds.
    const std::size_t sourceAt = found + 2;
    const std::size_t targetChars = found - kTargetMarker.size();
    if (targetChars == 0 || targetChars > kMaxPathChars) {
        return read;
    }
    read.target = FromUtf16(std::u16string_view(header).substr(kTargetMarker.size(), targetChars));

    read.status = PathListRead::Status::BadCount;
    const std::size_t countAt = sourceAt + kSourceMarker.size();
    if (countAt + 1 >= header.size()) {
        return read;
    }
    const int count = ReadCount(header[countAt], header[countAt + 1]);
    if (count < 0) {
        return read;
    }

    read.status = PathListRead::Status::BadRecord;
    std::size_t offset = 2 * (sourceAt + kSourceMarker.size() + 3);
    for (int i = 1; i <= count; ++i) {
        const std::u16string window = ReadWindow(bytes, offset);
        const std::size_t opening = window.find(RecordOpening(i));
        if (opening == std::u16string::npos) {
            read.sources.clear();
            return read;
        }
        const std::size_t pathAt = opening + kRecordMarkerChars;
        const std::size_t closing = window.find(RecordClosing(i), pathAt);
        // An empty record names no item: the run would take it for the root of nothing.
        if (closing == std::u16string::npos || closing == pathAt ||
            closing - pathAt > kMaxPathChars) {
            read.sources.clear();
            return read;
        }
        read.sources.push_back(
            FromUtf16(std::u16string_view(window).substr(pathAt, closing - pathAt)));
        offset += 2 * (closing + kRecordMarkerChars);
    }
    read.status = PathListRead::Status::Usable;
    return read;
}

}  // namespace bexlo
