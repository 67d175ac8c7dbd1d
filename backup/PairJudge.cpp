#include "backup/PairJudge.h"

#include "backup/WalkRules.h"
#include "framework/LongPath.h"
#include "framework/NameCase.h"

namespace bexlo {

namespace {

bool OnShare(const std::wstring& path) {
    const std::wstring plain = PlainPath(path);
    return plain.size() > 2 && plain[0] == L'\\' && plain[1] == L'\\';
}

}  // namespace

void PairJudge::Item(bool synchronize, const std::wstring& source,
                     const std::wstring& destination) {
    const std::wstring destinationSystem = fs_.VolumeFileSystem(destination);
    rules_.synchronize = synchronize;
    rules_.sourceVolume = TraitsOf(fs_.VolumeFileSystem(source), OnShare(source));
    rules_.backupVolume = TraitsOf(destinationSystem, OnShare(destination));
    rules_.fatDestination = IsFatFileSystem(destinationSystem);
    rules_.unfinishedSince = context_.catalog ? context_.catalog->UnfinishedSince() : 0;
}

PairJudge::Folder PairJudge::Records(const std::wstring& destination,
                                     const std::wstring& backupFolder) {
    Folder folder{CatalogFolderKey(destination, backupFolder), {}};
    if (context_.catalog != nullptr) {
        folder.records = context_.catalog->Folder(folder.key);
    }
    return folder;
}

Judgement PairJudge::Judge(const std::wstring& a, const FileEntry* entryA, const std::wstring& b,
                           const FileEntry* entryB, const Folder& folder) {
    const std::wstring name = FoldCase(entryB != nullptr ? entryB->name : entryA->name);
    const auto mine = folder.records.mine.find(name);
    const CatalogRecord* record = mine != folder.records.mine.end() ? &mine->second : nullptr;
    const Pair pair{entryA, entryB, record, folder.records.others.contains(name)};
    Judgement judgement;
    judgement.verdict = Decide(pair, rules_);
    if (record != nullptr) {
        judgement.record = *record;
    }
    // What the reads found: a read side's state and hash replace what its listing said.
    FileState sourceState = entryA != nullptr ? StateOf(*entryA) : FileState{};
    FileState copyState = entryB != nullptr ? StateOf(*entryB) : FileState{};
    std::optional<ContentHash> hash =
        judgement.verdict == Verdict::Record && record != nullptr ? record->hash : std::nullopt;
    if (Reads(judgement.verdict)) {
        const bool readSource = judgement.verdict != Verdict::CheckCopy;
        const bool readCopy = judgement.verdict != Verdict::CheckSource;
        const std::optional<FileRead> source = readSource ? fs_.ReadThrough(a) : std::nullopt;
        if (readSource && !source) {
            return {Verdict::Unreadable, a, fs_.LastError(), {}, judgement.record};
        }
        const std::optional<FileRead> copy = readCopy ? fs_.ReadThrough(b) : std::nullopt;
        if (readCopy && !copy) {
            return {Verdict::Unreadable, b, fs_.LastError(), {}, judgement.record};
        }
        const ContentHash& read = source ? source->hash : copy->hash;
        const bool same = source && copy ? source->hash == copy->hash : read == *record->hash;
        judgement.verdict = AfterReading(pair, same, rules_);
        if (source) {
            sourceState = source->state;
        }
        if (copy) {
            copyState = copy->state;
        }
        // A check of the source alone was made because the copy is as its record says.
        if (judgement.verdict == Verdict::Replace) {
            judgement.replacedHash = copy ? std::optional(copy->hash) : record->hash;
        } else if (judgement.verdict == Verdict::ReplaceSource) {
            judgement.replacedHash = source->hash;
        }
        hash = read;
    } else {
        judgement.replacedHash = KnownReplacedHash(pair, judgement.verdict, rules_);
        judgement.damagedCopy = ReplacesDamaged(pair, judgement.verdict, rules_);
    }
    if (judgement.verdict == Verdict::Record && context_.catalog != nullptr) {
        CatalogRecord updated;
        updated.name = entryB->name;
        updated.source = sourceState;
        updated.copy = copyState;
        updated.made = record != nullptr ? record->made : 0;
        updated.seen = context_.now;
        updated.hash = hash;
        // A copy read back by a check is not checked again before the others for being recorded.
        updated.checked = record != nullptr && record->copy == copyState && record->hash == hash
                              ? record->checked
                              : 0;
        context_.catalog->Put(folder.key, updated);
    }
    return judgement;
}

CatalogRecord PairJudge::RecordOfCopy(const CopyMade& made, const std::wstring& name, bool toBackup,
                                      const std::optional<CatalogRecord>& earlier) const {
    CatalogRecord record;
    record.name = name;
    record.source = toBackup ? made.source : made.copy;
    record.copy = toBackup ? made.copy : made.source;
    record.made = earlier ? earlier->made : context_.now;
    record.seen = context_.now;
    record.hash = made.hash;
    return record;
}

}  // namespace bexlo
