#include "backup/PairDecision.h"

#include "backup/WalkRules.h"
#include "framework/NameCase.h"

namespace bexlo {

namespace {

bool SameTime(std::int64_t a, std::int64_t b, bool coarse) {
    return CompareWriteTimes(a, b, coarse) == 0;
}

// How a file stands against what its record says of it.
enum class Match {
    Same,       // size, last-write time, change time and id all as recorded
    OnlyMoved,  // size and last-write time as recorded, but another change time or id: a file
                // restored or brought over from another PC, or rewritten with its time put back
    Changed,    // another size or last-write time
};

Match Against(const FileEntry& file, const FileState& recorded, const VolumeTraits& volume) {
    if (file.size != recorded.size ||
        !SameTime(file.lastWrite, recorded.lastWrite, volume.coarseTimes)) {
        return Match::Changed;
    }
    const bool sameChange = !volume.changeTimes || file.changeTime == 0 ||
                            recorded.changeTime == 0 || file.changeTime == recorded.changeTime;
    const bool sameId = !volume.stableIds || file.fileId == 0 || recorded.fileId == 0 ||
                        file.fileId == recorded.fileId;
    return sameChange && sameId ? Match::Same : Match::OnlyMoved;
}

// The quick check every copy tool makes, for a pair without a record: the same size and time,
// and the copy written after the source last changed. A copy that a cut press may have written
// without its record, or one another PC made, is read.
Verdict WithoutRecord(const Pair& pair, const PairRules& rules) {
    const FileEntry& source = *pair.source;
    const FileEntry& copy = *pair.copy;
    if (pair.othersRecord) {
        return Verdict::Compare;
    }
    const bool copyTimes = rules.backupVolume.changeTimes && copy.changeTime != 0;
    if (rules.unfinishedSince != 0 && (!copyTimes || copy.changeTime >= rules.unfinishedSince)) {
        return Verdict::Compare;
    }
    const bool sourceTimes = rules.sourceVolume.changeTimes && source.changeTime != 0;
    return !copyTimes || !sourceTimes || source.changeTime <= copy.changeTime ? Verdict::Record
                                                                              : Verdict::Compare;
}

// Both files of equal size and last-write time: the record, or the data, says whether they hold
// the same.
Verdict SameSizeAndTime(const Pair& pair, const PairRules& rules) {
    if (pair.record == nullptr) {
        return WithoutRecord(pair, rules);
    }
    const Match source = Against(*pair.source, pair.record->source, rules.sourceVolume);
    const Match copy = Against(*pair.copy, pair.record->copy, rules.backupVolume);
    if (source == Match::Same && copy == Match::Same) {
        return pair.record->gone ? Verdict::Record : Verdict::PassOver;
    }
    if (!pair.record->hash || (source != Match::Same && copy != Match::Same)) {
        return Verdict::Compare;
    }
    return source != Match::Same ? Verdict::CheckSource : Verdict::CheckCopy;
}

// Copy: the backup copy follows the source, whichever is newer.
Verdict DecideCopy(const Pair& pair, const PairRules& rules) {
    const bool sameSizeAndTime =
        pair.source->size == pair.copy->size &&
        SameTime(pair.source->lastWrite, pair.copy->lastWrite,
                 rules.sourceVolume.coarseTimes || rules.backupVolume.coarseTimes);
    if (pair.record == nullptr) {
        return sameSizeAndTime ? WithoutRecord(pair, rules) : Verdict::Replace;
    }
    const Match source = Against(*pair.source, pair.record->source, rules.sourceVolume);
    const Match copy = Against(*pair.copy, pair.record->copy, rules.backupVolume);
    if (source == Match::Changed || copy == Match::Changed) {
        return Verdict::Replace;
    }
    return SameSizeAndTime(pair, rules);
}

// Synchronize: the newer wins; what cannot be told apart by time is told apart by data.
Verdict DecideSync(const Pair& pair, const PairRules& rules) {
    const int order =
        CompareWriteTimes(pair.source->lastWrite, pair.copy->lastWrite,
                          rules.sourceVolume.coarseTimes || rules.backupVolume.coarseTimes);
    if (pair.record != nullptr &&
        Against(*pair.source, pair.record->source, rules.sourceVolume) == Match::Same &&
        Against(*pair.copy, pair.record->copy, rules.backupVolume) == Match::Same) {
        return pair.record->gone ? Verdict::Record : Verdict::PassOver;
    }
    // A file a restore put back wins over the copy it came from, whatever its older time.
    if (pair.record != nullptr && pair.record->restored &&
        Against(*pair.copy, pair.record->copy, rules.backupVolume) == Match::Same) {
        return Verdict::Replace;
    }
    if (order != 0) {
        return order > 0 ? Verdict::Replace : Verdict::ReplaceSource;
    }
    if (pair.source->size != pair.copy->size) {
        return Verdict::Conflict;
    }
    return SameSizeAndTime(pair, rules);
}

// The file a verdict reads or copies may be one that cannot be.
Verdict Feasible(Verdict verdict, const Pair& pair, const PairRules& rules) {
    const bool readsSource = verdict == Verdict::CopyNew || verdict == Verdict::Replace ||
                             verdict == Verdict::CheckSource || verdict == Verdict::Compare;
    const bool readsCopy = verdict == Verdict::CopyBack || verdict == Verdict::ReplaceSource ||
                           verdict == Verdict::CheckCopy || verdict == Verdict::Compare;
    if ((readsSource && pair.source->encrypted) || (readsCopy && pair.copy->encrypted)) {
        return Verdict::Encrypted;
    }
    const bool toBackup = verdict == Verdict::CopyNew || verdict == Verdict::Replace;
    if (toBackup && rules.fatDestination && pair.source->size >= kFatFileLimit) {
        return Verdict::TooLargeForFat;
    }
    return verdict;
}

// The copy is the one a check found reading different from what was written, or unreadable: not
// written since. Decay may change its size as well as its data, so only a change time after the
// check tells a copy written since; without change times, the mark stands.
bool DamagedCopy(const Pair& pair, const PairRules& rules) {
    if (pair.record == nullptr || !pair.record->damaged || pair.copy == nullptr) {
        return false;
    }
    const bool changeTimes = rules.backupVolume.changeTimes && pair.copy->changeTime != 0;
    return !changeTimes || pair.copy->changeTime <= pair.record->checked;
}

}  // namespace

VolumeTraits TraitsOf(const std::wstring& fileSystem, bool network) {
    const std::wstring name = FoldCase(fileSystem);
    const bool coarse = IsFatFileSystem(fileSystem) || name == FoldCase(L"exFAT");
    return {coarse, !coarse, !coarse && !network};
}

Verdict Decide(const Pair& pair, const PairRules& rules) {
    if (pair.copy == nullptr) {
        return Feasible(Verdict::CopyNew, pair, rules);
    }
    // A damaged copy is copied again from its source, whether the source changed or not, and
    // never copied to the PC.
    if (DamagedCopy(pair, rules)) {
        return pair.source == nullptr ? Verdict::PassOver : Feasible(Verdict::Replace, pair, rules);
    }
    if (pair.source == nullptr) {
        return rules.synchronize ? Feasible(Verdict::CopyBack, pair, rules) : Verdict::PassOver;
    }
    return Feasible(rules.synchronize ? DecideSync(pair, rules) : DecideCopy(pair, rules), pair,
                    rules);
}

Verdict AfterReading(const Pair& pair, bool same, const PairRules& rules) {
    if (same) {
        return Verdict::Record;
    }
    if (!rules.synchronize) {
        return Verdict::Replace;
    }
    // Of a pair without a record, a side that a press cut short may have written holds a copy of
    // the other, or part of one: the other is the original.
    if (pair.record == nullptr && rules.unfinishedSince != 0) {
        const auto written = [&](const FileEntry& file, const VolumeTraits& volume) {
            return !volume.changeTimes || file.changeTime == 0 ||
                   file.changeTime >= rules.unfinishedSince;
        };
        const bool source = written(*pair.source, rules.sourceVolume);
        const bool copy = written(*pair.copy, rules.backupVolume);
        if (source != copy) {
            return copy ? Verdict::Replace : Verdict::ReplaceSource;
        }
    }
    return Verdict::Conflict;
}

bool ReplacesDamaged(const Pair& pair, Verdict verdict, const PairRules& rules) {
    return verdict == Verdict::Replace && DamagedCopy(pair, rules);
}

std::optional<ContentHash> KnownReplacedHash(const Pair& pair, Verdict verdict,
                                             const PairRules& rules) {
    if (pair.record == nullptr || pair.record->damaged || !pair.record->hash ||
        pair.source == nullptr || pair.copy == nullptr) {
        return std::nullopt;
    }
    const bool known =
        verdict == Verdict::Replace
            ? Against(*pair.copy, pair.record->copy, rules.backupVolume) == Match::Same
        : verdict == Verdict::ReplaceSource
            ? Against(*pair.source, pair.record->source, rules.sourceVolume) == Match::Same
            : false;
    return known ? pair.record->hash : std::nullopt;
}

}  // namespace bexlo
