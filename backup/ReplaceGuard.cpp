#include "backup/ReplaceGuard.h"

#include <algorithm>
#include <array>
#include <map>
#include <string_view>

#include "backup/Walkers.h"
#include "framework/LongPath.h"
#include "framework/NameCase.h"
#include "treectrl/TreePath.h"

namespace bexlo {

namespace {

constexpr std::uint64_t kLeastReplaced = 20;
constexpr std::uint64_t kLeastDamaged = 10;
constexpr std::size_t kHistoryReadLimit = 4096;

struct KnownStart {
    std::wstring_view extension;
    std::string_view start;
};

constexpr std::string_view kZip("PK\x03\x04", 4);
constexpr std::array<KnownStart, 16> kKnownStarts{{
    {L".docx", kZip},
    {L".docm", kZip},
    {L".xlsx", kZip},
    {L".xlsm", kZip},
    {L".pptx", kZip},
    {L".pptm", kZip},
    {L".odt", kZip},
    {L".ods", kZip},
    {L".odp", kZip},
    {L".zip", kZip},
    {L".pdf", "%PDF"},
    {L".jpg", "\xFF\xD8\xFF"},
    {L".jpeg", "\xFF\xD8\xFF"},
    {L".jpe", "\xFF\xD8\xFF"},
    {L".png", "\x89PNG\r\n\x1A\n"},
    {L".jfif", "\xFF\xD8\xFF"},
}};

class Planner {
public:
    Planner(FileSystem& fs, const std::wstring& destination,
            std::optional<std::int64_t> lastCompleteRun, const UnchangedTrees& unchanged)
        : fs_(fs),
          destination_(destination),
          lastCompleteRun_(lastCompleteRun),
          unchanged_(unchanged),
          fat_(IsFatFileSystem(fs.VolumeFileSystem(destination))) {}

    void Walking(const std::optional<FileId>& id) {
        if (id) {
            walking_.push_back(*id);
        }
    }

    void Source(const std::wstring& source) {
        source_ = source;
        const std::optional<FileEntry> found = fs_.Find(source);
        if (!found) {
            return;
        }
        const std::wstring mirror = JoinPath(destination_, found->name);
        const std::optional<FileEntry> copy = fs_.Find(mirror);
        // The walks follow a saved folder that is a link, since the person chose it, and write
        // nothing through a link on the enclosure; a saved file link is only named.
        if (found->folder) {
            if (!copy || !copy->link) {
                Folder(source, mirror);
            }
        } else if (copy) {
            Pair(source, *found, mirror, *copy);
        }
    }

    ReplacePlan plan;

private:
    void Folder(const std::wstring& a, const std::wstring& b) {
        if (const auto tree = unchanged_.find(a); tree != unchanged_.end()) {
            plan.onBothSides += tree->second.files;
            return;
        }
        const std::optional<FileId> id = fs_.Identity(a);
        if (LeadsIntoWalk(walking_, id)) {
            return;
        }
        const ChainLink link(walking_, id);
        const std::map<std::wstring, FileEntry> copies =
            ByFoldedName(fs_.List(b).value_or(std::vector<FileEntry>{}));
        for (const FileEntry& entry : fs_.List(a).value_or(std::vector<FileEntry>{})) {
            const FileEntry* copy = Counterpart(copies, entry.name);
            if (copy == nullptr || entry.link || copy->link || entry.folder != copy->folder) {
                continue;
            }
            const std::wstring pathA = JoinPath(a, entry.name);
            const std::wstring pathB = JoinPath(b, copy->name);
            if (entry.folder) {
                Folder(pathA, pathB);
            } else if (!IsPartialCopyName(entry.name)) {
                Pair(pathA, entry, pathB, *copy);
            }
        }
    }

    void Pair(const std::wstring& a, const FileEntry& entryA, const std::wstring& b,
              const FileEntry& entryB) {
        if (entryA.link || entryB.link || entryB.folder) {
            return;
        }
        ++plan.onBothSides;
        const int order = CompareWriteTimes(entryA.lastWrite, entryB.lastWrite, fat_);
        if (lastCompleteRun_) {
            const bool visible = entryA.size != entryB.size || order != 0;
            if (!UnchangedCopy(entryA, &entryB, *lastCompleteRun_, fat_) &&
                (*lastCompleteRun_ != 0 || visible)) {
                Add(a, entryA, VersionSide::Backup, b, entryB, VersionReason::Changed);
            }
        } else if (order > 0) {
            Add(a, entryA, VersionSide::Backup, b, entryB, VersionReason::Older);
        } else if (order < 0) {
            Add(b, entryB, VersionSide::Pc, a, entryA, VersionReason::Older);
        }
    }

    void Add(const std::wstring& from, const FileEntry& entry, VersionSide side,
             const std::wstring& replaced, const FileEntry& old, VersionReason reason) {
        const std::wstring relative = PathInBackup(side, replaced, destination_, source_);
        plan.replacements.push_back(
            {from, entry.size,
             VersionRecord{side, reason, 0, old.size, old.lastWrite, StoredName(side, relative),
                           PlainPath(replaced)}});
    }

    FileSystem& fs_;
    std::wstring destination_;
    std::optional<std::int64_t> lastCompleteRun_;
    const UnchangedTrees& unchanged_;
    bool fat_;
    std::wstring source_;
    std::vector<FileId> walking_;
};

}  // namespace

DamageSign SignOfDamage(const std::wstring& name, std::span<const std::uint8_t> start,
                        std::uint64_t size, std::uint64_t replacedSize) {
    if (size == 0 && replacedSize > 0) {
        return DamageSign::Empty;
    }
    if (size < replacedSize / 10) {
        return DamageSign::Shrunk;
    }
    const std::wstring folded = FoldCase(name);
    for (const KnownStart& known : kKnownStarts) {
        if (!folded.ends_with(FoldCase(known.extension))) {
            continue;
        }
        const bool matches =
            start.size() >= known.start.size() &&
            std::equal(known.start.begin(), known.start.end(), start.begin(),
                       [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
        return matches ? DamageSign::None : DamageSign::WrongType;
    }
    return DamageSign::None;
}

ReplacePlan PlanReplacements(FileSystem& fs, const std::vector<std::wstring>& sources,
                             const std::wstring& target,
                             std::optional<std::int64_t> lastCompleteRun,
                             const UnchangedTrees& unchanged) {
    const std::wstring destination = LongPath(target);
    Planner planner(fs, destination, lastCompleteRun, unchanged);
    planner.Walking(fs.Identity(destination));
    SourceNames taken;
    for (const std::wstring& source : sources) {
        if (taken.Take(source, target) == SourceRefusal::None) {
            planner.Source(LongPath(source));
        }
    }
    return planner.plan;
}

DamageSample SampleDamage(FileSystem& fs, const ReplacePlan& plan) {
    DamageSample sample;
    const std::size_t count = plan.replacements.size();
    sample.sampled = std::min(count, kDamageSampleSize);
    for (std::size_t i = 0; i < sample.sampled; ++i) {
        const Replacement& replacement = plan.replacements[i * count / sample.sampled];
        const std::vector<std::uint8_t> start =
            fs.ReadFileBytes(replacement.from, kDamageStartBytes)
                .value_or(std::vector<std::uint8_t>{});
        const DamageSign sign = SignOfDamage(LastSegment(replacement.from), start, replacement.size,
                                             replacement.replaced.size);
        if (sign != DamageSign::None) {
            sample.damaged.push_back({PlainPath(replacement.from), sign});
        }
    }
    return sample;
}

bool ShouldAsk(const GuardFigures& figures) {
    const std::uint64_t replacing = figures.replacing;
    if (replacing == 0) {
        return false;
    }
    std::vector<std::uint64_t> history = figures.history;
    std::sort(history.begin(), history.end());
    const std::size_t n = history.size();
    const bool aboveUsual = n > 0 && replacing * 2 > 5 * (history[(n - 1) / 2] + history[n / 2]);
    const bool many =
        replacing >= kLeastReplaced && (replacing * 10 >= figures.onBothSides * 3 || aboveUsual);
    const bool damaged =
        figures.damaged >= kLeastDamaged || (replacing >= kLeastReplaced && figures.sampled > 0 &&
                                             figures.damaged * 20 >= figures.sampled);
    return many || damaged;
}

std::vector<std::uint64_t> ReadReplaceHistory(FileSystem& fs) {
    const std::vector<std::uint8_t> bytes = fs.ReadFileBytes(kReplaceHistoryFile, kHistoryReadLimit)
                                                .value_or(std::vector<std::uint8_t>{});
    std::vector<std::uint64_t> history;
    std::uint64_t value = 0;
    bool digits = false;
    // A line that is no count is left out whole.
    bool other = false;
    for (const std::uint8_t byte : bytes) {
        if (byte == '\n') {
            if (digits && !other) {
                history.push_back(value);
            }
            value = 0;
            digits = other = false;
        } else if (byte >= '0' && byte <= '9' && value < (1ull << 48)) {
            value = value * 10 + (byte - '0');
            digits = true;
        } else if (byte != '\r') {
            other = true;
        }
    }
    if (history.size() > kHistoryLength) {
        history.erase(history.begin(), history.end() - kHistoryLength);
    }
    return history;
}

bool AppendReplaceHistory(FileSystem& fs, std::uint64_t replaced) {
    std::vector<std::uint64_t> history = ReadReplaceHistory(fs);
    history.push_back(replaced);
    if (history.size() > kHistoryLength) {
        history.erase(history.begin());
    }
    std::string text;
    for (const std::uint64_t count : history) {
        text += std::to_string(count) + "\r\n";
    }
    return fs.WriteFileReplacing(
        kReplaceHistoryFile,
        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace bexlo
