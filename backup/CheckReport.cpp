#include "backup/CheckReport.h"

#include <array>
#include <sstream>

#include "framework/LongPath.h"

namespace bexlo {

namespace {

constexpr std::size_t kUnitCount = 5;

// The language's units, from bytes up to terabytes; the English ones where its text lacks some.
std::array<std::wstring, kUnitCount> Units(const MessageTexts& texts) {
    std::array<std::wstring, kUnitCount> units{L"bytes", L"KB", L"MB", L"GB", L"TB"};
    std::wistringstream words(texts[Msg::SizeUnits]);
    std::array<std::wstring, kUnitCount> read;
    std::size_t count = 0;
    while (count < kUnitCount && words >> read[count]) {
        ++count;
    }
    return count == kUnitCount ? read : units;
}

void AddList(std::wstring& text, Msg heading, const std::vector<const CheckFinding*>& findings,
             const MessageTexts& texts, std::size_t& room) {
    if (findings.empty()) {
        return;
    }
    text += L"\n\n" + texts[heading];
    std::size_t left = findings.size();
    for (const CheckFinding* finding : findings) {
        if (room == 0) {
            break;
        }
        text += L"\n" + PlainPath(finding->path);
        if (finding->version) {
            text += L" " + texts[Msg::CheckVersion];
        }
        --room;
        --left;
    }
    if (left > 0) {
        text += L"\n" + texts[Msg::CheckMore] + L" " + std::to_wstring(left);
    }
}

std::wstring ReasonOf(CheckFinding::Kind kind, const MessageTexts& texts) {
    switch (kind) {
        case CheckFinding::Kind::ReadsDifferent:
            return texts[Msg::CheckDamaged];
        case CheckFinding::Kind::Unreadable:
            return texts[Msg::CheckUnreadable];
        case CheckFinding::Kind::Missing:
            return texts[Msg::CheckMissing];
    }
    return {};
}

}  // namespace

std::wstring SizeText(std::uint64_t bytes, const MessageTexts& texts) {
    const auto units = Units(texts);
    if (bytes < 1024) {
        return std::to_wstring(bytes) + L" " + units[0];
    }
    std::size_t unit = 1;
    long double value = static_cast<long double>(bytes) / 1024;
    while (value >= 1024 && unit + 1 < kUnitCount) {
        value /= 1024;
        ++unit;
    }
    // Rounded up to 1024 units, it reads as one of the next.
    if (value + 0.5L >= 1024 && unit + 1 < kUnitCount) {
        value /= 1024;
        ++unit;
    }
    if (value * 10 + 0.5L < 100) {
        const auto tenths = static_cast<std::uint64_t>(value * 10 + 0.5L);
        const std::wstring mark = texts[Msg::DecimalMark].empty() ? L"." : texts[Msg::DecimalMark];
        return std::to_wstring(tenths / 10) + mark + std::to_wstring(tenths % 10) + L" " +
               units[unit];
    }
    return std::to_wstring(static_cast<std::uint64_t>(value + 0.5L)) + L" " + units[unit];
}

std::wstring CheckProgressText(std::uint64_t done, std::uint64_t total,
                               std::optional<std::int64_t> secondsLeft, const MessageTexts& texts) {
    std::wstring text = texts[Msg::CheckRead] + L" " + SizeText(done, texts) + L" " +
                        texts[Msg::CheckOf] + L" " + SizeText(total, texts);
    if (secondsLeft) {
        text += L"\n" + texts[Msg::CheckLeft] + L" ";
        text += *secondsLeft < 60 ? std::to_wstring(*secondsLeft) + L" s"
                                  : std::to_wstring((*secondsLeft + 30) / 60) + L" min";
    }
    return text;
}

std::wstring CheckEndText(const CheckOutcome& outcome, const MessageTexts& texts,
                          std::size_t listed) {
    if (outcome.noCatalog) {
        return texts[Msg::CheckNothing];
    }
    std::wstring text = texts[Msg::CheckRead] + L" " + SizeText(outcome.bytesRead, texts) + L"\n" +
                        texts[Msg::CheckGood] + L" " + SizeText(outcome.bytesGood, texts);
    std::vector<const CheckFinding*> different;
    std::vector<const CheckFinding*> unreadable;
    std::vector<const CheckFinding*> missing;
    std::vector<const CheckFinding*> repaired;
    for (const CheckFinding& finding : outcome.damaged) {
        switch (finding.kind) {
            case CheckFinding::Kind::ReadsDifferent:
                different.push_back(&finding);
                break;
            case CheckFinding::Kind::Unreadable:
                unreadable.push_back(&finding);
                break;
            case CheckFinding::Kind::Missing:
                missing.push_back(&finding);
                break;
        }
        if (finding.repairable) {
            repaired.push_back(&finding);
        }
    }
    std::size_t room = listed;
    AddList(text, Msg::CheckDamaged, different, texts, room);
    AddList(text, Msg::CheckUnreadable, unreadable, texts, room);
    AddList(text, Msg::CheckMissing, missing, texts, room);
    if (outcome.damaged.empty()) {
        text += L"\n\n" + texts[Msg::CheckAllGood];
    } else if (!repaired.empty()) {
        text += L"\n\n" + texts[Msg::CheckRepair] + L" " + std::to_wstring(repaired.size());
    }
    if (outcome.cancelled) {
        text += L"\n\n" + texts[Msg::CheckStopped];
    }
    return text;
}

RunLogEntry CheckLogEntry(const CheckOutcome& outcome, const std::wstring& destination,
                          const std::wstring& started, const std::wstring& ended,
                          const MessageTexts& texts) {
    RunLogEntry entry;
    entry.started = started;
    entry.ended = ended;
    entry.mode = L"Check";
    entry.destination = destination;
    entry.readBack = RunLogEntry::ReadBack{outcome.filesRead, outcome.bytesRead, outcome.bytesGood};
    for (const CheckFinding& finding : outcome.damaged) {
        std::wstring reason = ReasonOf(finding.kind, texts);
        if (!reason.empty() && reason.back() == L':') {
            reason.pop_back();
        }
        if (finding.version) {
            reason += L" " + texts[Msg::CheckVersion];
        }
        entry.failures.emplace_back(PlainPath(finding.path), reason);
    }
    entry.result = outcome.noCatalog         ? L"nothing to check"
                   : outcome.cancelled       ? L"stopped, goes on at the next check"
                   : outcome.damaged.empty() ? L"every copy read back as written"
                                             : L"damaged copies found";
    return entry;
}

}  // namespace bexlo
