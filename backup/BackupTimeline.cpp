#include "backup/BackupTimeline.h"

#include <algorithm>
#include <utility>

#include "backup/VersionIndex.h"
#include "backup/Versions.h"
#include "backup/WalkRules.h"
#include "framework/LongPath.h"
#include "framework/NameCase.h"

namespace bexlo {

namespace {

// The same bounds a press keeps to when it reads the indexes: a disk another program prepared
// must not exhaust memory.
constexpr std::size_t kIndexReadLimit = 32 << 20;
constexpr std::uint64_t kIndexBytesRead = 96 << 20;
constexpr std::size_t kPressFoldersRead = 10000;

std::wstring FoldedKey(std::wstring_view folded, bool fromPc) {
    std::wstring key = fromPc ? L"P" : L"B";
    key += folded;
    return key;
}

std::wstring FileKey(const std::wstring& original, bool fromPc) {
    return FoldedKey(FoldCase(original), fromPc);
}

// What a record says of the side a state was read from.
void TakeRecord(KeptState& state, const CatalogRecord& record, const FileState& side) {
    state.made = record.made;
    state.gone = record.gone;
    state.seen = record.seen;
    // A record of other bytes than these tells nothing of them.
    if (side.size == state.size && side.lastWrite == state.lastWrite) {
        state.hash = record.hash;
        state.written = side.changeTime;
        if (record.source.size == state.size && record.source.lastWrite == state.lastWrite) {
            state.sourceChanged = record.source.changeTime;
        }
    }
}

}  // namespace

BackupTimeline::File& BackupTimeline::FileFor(const std::wstring& original,
                                              std::wstring_view folded, bool fromPc) {
    File& file = files_[FoldedKey(folded, fromPc)];
    if (file.original.empty()) {
        file.original = original;
        file.fromPc = fromPc;
    }
    return file;
}

BackupTimeline BackupTimeline::Read(FileSystem& fs, const std::wstring& destination,
                                    const std::vector<std::wstring>& sources, Catalog* catalog) {
    BackupTimeline history;
    for (const std::wstring& source : sources) {
        if (!IsVersionsFolderName(LastSegment(source))) {
            history.ReadCopies(fs, destination, source, catalog);
        }
    }
    history.ReadVersions(fs, destination, sources);
    for (auto& [key, file] : history.files_) {
        std::stable_sort(
            file.versions.begin(), file.versions.end(),
            [](const KeptState& a, const KeptState& b) { return a.replaced < b.replaced; });
    }
    history.presses_.insert(history.moments_.begin(), history.moments_.end());
    return history;
}

void BackupTimeline::ReadCopies(FileSystem& fs, const std::wstring& destination,
                                const std::wstring& source, Catalog* catalog) {
    const std::wstring root = JoinPath(destination, LastSegment(source));
    const std::optional<FileEntry> top = fs.Find(LongPath(root));
    if (!top || !top->folder || top->link) {
        return;
    }
    std::vector<std::wstring> folders = {root};
    while (!folders.empty()) {
        const std::wstring folder = std::move(folders.back());
        folders.pop_back();
        const std::optional<std::vector<FileEntry>> entries = fs.List(LongPath(folder));
        if (!entries) {
            continue;
        }
        const FolderRecords records = catalog != nullptr
                                          ? catalog->Folder(CatalogFolderKey(destination, folder))
                                          : FolderRecords{};
        const std::wstring inSource = source + folder.substr(root.size());
        // Folded once for the folder, not once for each of its files.
        const std::wstring foldedFolder = JoinPath(FoldCase(inSource), L"");
        std::wstring folded;
        for (const FileEntry& entry : *entries) {
            if (entry.link || IsLeftover(entry)) {
                continue;
            }
            const std::wstring path = JoinPath(folder, entry.name);
            if (entry.folder) {
                folders.push_back(path);
                continue;
            }
            KeptState state;
            state.size = entry.size;
            state.lastWrite = entry.lastWrite;
            state.bytes = path;
            const std::wstring name = FoldCase(entry.name);
            const auto record = records.mine.find(name);
            if (record != records.mine.end()) {
                TakeRecord(state, record->second, record->second.copy);
                moments_.insert(state.made);
                presses_.insert(state.seen);
            }
            folded = foldedFolder + name;
            FileFor(JoinPath(inSource, entry.name), folded, false).copy = std::move(state);
        }
    }
}

void BackupTimeline::ReadVersions(FileSystem& fs, const std::wstring& destination,
                                  const std::vector<std::wstring>& sources) {
    const std::wstring versions = JoinPath(destination, kVersionsFolderName);
    const std::optional<FileEntry> folder = fs.Find(LongPath(versions));
    if (!folder || !folder->folder || folder->link) {
        return;
    }
    std::vector<FileEntry> presses = fs.List(LongPath(versions)).value_or(std::vector<FileEntry>{});
    std::erase_if(presses, [](const FileEntry& press) { return !press.folder || press.link; });
    std::sort(presses.begin(), presses.end(),
              [](const FileEntry& a, const FileEntry& b) { return a.name > b.name; });
    presses.resize(std::min(presses.size(), kPressFoldersRead));
    // Each source's folder on the PC and in the backup, folded once for every record.
    struct Outer {
        const std::wstring* source;
        std::wstring pc;
        std::wstring backup;
    };
    std::vector<Outer> outers;
    for (const std::wstring& source : sources) {
        outers.push_back(
            {&source, FoldCase(source), FoldCase(JoinPath(destination, LastSegment(source)))});
    }
    std::uint64_t indexBytes = 0;
    for (const FileEntry& press : presses) {
        const std::wstring pressPath = versions + L'\\' + press.name;
        const std::optional<std::vector<std::uint8_t>> bytes =
            fs.ReadFileBytes(LongPath(pressPath + L'\\' + kVersionIndexName), kIndexReadLimit + 1);
        if (!bytes || bytes->size() > kIndexReadLimit) {
            continue;
        }
        indexBytes += bytes->size();
        if (indexBytes > kIndexBytesRead) {
            break;
        }
        const VersionIndex index = ParseVersionIndex(*bytes);
        for (const VersionRecord& record : index.records) {
            const bool fromPc = record.side == VersionSide::Pc;
            const std::wstring foldedRecord = FoldCase(record.original);
            std::optional<std::wstring> original;
            std::wstring folded;
            for (const Outer& outer : outers) {
                const std::wstring& within = fromPc ? outer.pc : outer.backup;
                if (IsWithin(foldedRecord, within)) {
                    original = *outer.source + record.original.substr(within.size());
                    folded = outer.pc + foldedRecord.substr(within.size());
                    break;
                }
            }
            KeptState state;
            state.size = record.size;
            state.lastWrite = record.lastWrite;
            state.bytes = pressPath + L'\\' + record.stored;
            state.press = press.name;
            state.replaced = record.when;
            // A press cut short named what it meant to keep before it kept it.
            if (!original || (!index.complete && !fs.Find(LongPath(state.bytes)))) {
                continue;
            }
            if (record.record) {
                state.recordedCopy = record.record->copy;
                TakeRecord(state, *record.record,
                           fromPc ? record.record->source : record.record->copy);
                moments_.insert(state.made);
                presses_.insert(state.seen);
            }
            moments_.insert(record.when);
            FileFor(*original, folded, fromPc).versions.push_back(std::move(state));
        }
    }
}

std::vector<std::int64_t> BackupTimeline::Moments() const {
    std::vector<std::int64_t> moments(moments_.rbegin(), moments_.rend());
    std::erase(moments, 0);
    return moments;
}

std::int64_t BackupTimeline::PressAfter(std::int64_t moment) const {
    const auto next = presses_.upper_bound(moment);
    return next != presses_.end() ? *next : kLatest;
}

std::optional<FileAtMoment> BackupTimeline::StateAt(const File& file, std::int64_t moment) const {
    const std::vector<KeptState>& versions = file.versions;
    std::size_t after = 0;
    while (after < versions.size() && versions[after].replaced <= moment) {
        ++after;
    }
    const KeptState* state = after < versions.size() ? &versions[after]
                             : file.copy             ? &*file.copy
                                                     : nullptr;
    if (state == nullptr && file.fromPc && moment == kLatest && !versions.empty()) {
        state = &versions.back();
    }
    if (state == nullptr) {
        return std::nullopt;
    }
    // Every record of a file keeps when it was first backed up; a catalog made anew may have
    // lost that for some.
    std::int64_t made = file.copy ? file.copy->made : 0;
    for (const KeptState& kept : versions) {
        made = kept.made != 0 && (made == 0 || kept.made < made) ? kept.made : made;
    }
    if (!file.fromPc && made > moment) {
        return std::nullopt;
    }
    FileAtMoment at;
    at.original = file.original;
    at.fromPc = file.fromPc;
    // Bytes written after the moment were not what it held, unless the press of the moment wrote
    // them: the state between was thinned away. With no press known between, the PC's file they
    // were copied from tells whether it held them at the moment; where its record does not say,
    // whether the press of the moment replaced the state before or made the first copy. Thinning
    // may have taken the records of that state and of every press between.
    const std::int64_t writtenBy = after > 0 ? versions[after - 1].replaced : made;
    const auto writtenSince = [&](std::int64_t written, std::int64_t sourceChanged) {
        if (moment == kLatest || written <= moment) {
            return false;
        }
        if (written >= PressAfter(moment)) {
            return true;
        }
        return sourceChanged != 0 ? sourceChanged > moment : writtenBy != moment;
    };
    if (const std::optional<const KeptState*> fromPc =
            file.fromPc ? std::nullopt : KeptFromThePc(file, moment, *state)) {
        const KeptState* kept = *fromPc;
        if (kept != nullptr &&
            !writtenSince(kept->recordedCopy ? kept->recordedCopy->changeTime : 0,
                          kept->sourceChanged)) {
            at.state = *kept;
            at.gone = at.state.gone && moment > at.state.seen;
            return at;
        }
        at.thinned = true;
    }
    if (!file.fromPc && writtenSince(state->written, state->sourceChanged)) {
        at.thinned = true;
    }
    if (at.thinned) {
        const KeptState* before = after > 0 ? &versions[after - 1] : nullptr;
        // The PC's file that a Synchronize replaced with a change made on the enclosure was the
        // state until then.
        if (const auto pc = files_.find(FileKey(file.original, true)); pc != files_.end()) {
            for (const KeptState& kept : pc->second.versions) {
                if (kept.replaced <= moment && kept.recordedCopy &&
                    kept.recordedCopy->size == kept.size &&
                    kept.recordedCopy->lastWrite == kept.lastWrite &&
                    (before == nullptr || kept.replaced > before->replaced)) {
                    before = &kept;
                }
            }
        }
        state = before != nullptr ? before : state;
    }
    at.state = *state;
    at.gone = state->gone && moment > state->seen;
    return at;
}

std::optional<const KeptState*> BackupTimeline::KeptFromThePc(const File& file, std::int64_t moment,
                                                              const KeptState& candidate) const {
    const auto pc = files_.find(FileKey(file.original, true));
    const std::vector<KeptState> none;
    const std::vector<KeptState>& fromPc = pc != files_.end() ? pc->second.versions : none;
    // The earliest record after the moment of what the backup copy was.
    const KeptState* earliest = nullptr;
    for (const std::vector<KeptState>* versions : {&file.versions, &fromPc}) {
        for (const KeptState& kept : *versions) {
            if (kept.replaced > moment && kept.recordedCopy &&
                (earliest == nullptr || kept.replaced < earliest->replaced)) {
                earliest = &kept;
            }
        }
    }
    const bool sameBytes = earliest != nullptr && earliest->recordedCopy->size == candidate.size &&
                           earliest->recordedCopy->lastWrite == candidate.lastWrite;
    if (earliest == nullptr || sameBytes ||
        (candidate.replaced != 0 && earliest->replaced > candidate.replaced)) {
        return std::nullopt;
    }
    for (const KeptState& kept : fromPc) {
        if (kept.replaced == earliest->replaced && kept.size == earliest->recordedCopy->size &&
            kept.lastWrite == earliest->recordedCopy->lastWrite) {
            return &kept;
        }
    }
    // Thinned away since.
    return nullptr;
}

std::vector<FileAtMoment> BackupTimeline::At(std::int64_t moment) const {
    std::vector<FileAtMoment> files;
    for (const auto& [key, file] : files_) {
        if (std::optional<FileAtMoment> at = StateAt(file, moment)) {
            files.push_back(std::move(*at));
        }
    }
    return files;
}

std::vector<KeptState> BackupTimeline::VersionsOf(const std::wstring& original, bool fromPc) const {
    const auto found = files_.find(FileKey(original, fromPc));
    if (found == files_.end()) {
        return {};
    }
    std::vector<KeptState> states = found->second.versions;
    if (found->second.copy) {
        states.push_back(*found->second.copy);
    }
    return states;
}

}  // namespace bexlo
