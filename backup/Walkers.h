#pragma once

// The Copy and Synchronize walkers. Each saved source becomes an entry of the same name in the
// destination folder (C:\Work saved with E:\FilesBackup lands in E:\FilesBackup\Work). Copy
// overwrites the destination copies; Synchronize merges both sides by last-write time and
// never deletes. Each file is decided from its own state and its own record in the catalog, by
// the rule the counting pass before the walk asks too. An entry that cannot be copied is
// remembered with its reason and the walk goes on; every walker returns 0 only where going on is
// pointless (the enclosure gone, the destination disk full or the destination folder gone),
// else 1.

#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "backup/FileSystem.h"
#include "backup/PairJudge.h"
#include "backup/RecordBatch.h"
#include "backup/WalkRules.h"

namespace bexlo {

class VersionStore;

enum class FailureReason {
    Platform,          // the platform refused; the error code says why
    SourceMissing,     // a saved source that no longer exists
    SourceOverlaps,    // a saved source that holds the destination or lies inside it
    EnclosureGone,     // the enclosure went during the run
    SameName,          // an earlier saved source has the same name and owns its backup folder
    TooLargeForFat,    // a file of 4 GiB or more for a FAT destination
    DestinationGone,   // the destination stopped answering or went
    Link,              // a junction or symbolic link, which is never followed
    Encrypted,         // a file the file system encrypts, never copied in plain text
    VersionsFolder,    // a saved source named as the destination's folder of earlier versions
    Conflict,          // Synchronize cannot tell which side is newer: neither is overwritten
    NoRoomForVersion,  // the copy it would replace could not be kept: it was left as it was
    NotOnDisk,         // the enclosure did not confirm that it holds the new copies
    SourceBecameLink,  // a saved source that has become a link since it was saved
    SourceReplaced,    // a saved folder whose path now leads to another folder
    LinkMoved,         // a saved link that now leads elsewhere: Synchronize never writes into it
};

// An entry that was not backed up, by its plain path.
struct CopyFailure {
    std::wstring path;
    FailureReason reason = FailureReason::Platform;
    std::uint32_t error = 0;
};

// What the walkers tell the progress display.
class ProgressFeedback {
public:
    virtual ~ProgressFeedback() = default;
    // The position of the main dialog's progress bar, 0 to 100.
    virtual int BarPosition() = 0;
    // Adds 1 ms to stepDelayMs: the bar runs ahead of the bytes copied.
    virtual void SlowDown() = 0;
    // The bytes copied so far, after each file.
    virtual void Copied(std::uint64_t bytes) = 0;
};

class BackupWalker {
public:
    // `totalBytes` is the counting pass's measure; 0 means no pacing feedback. `context` is the
    // press's catalog and start.
    BackupWalker(FileSystem& fs, const std::atomic<int>& devicePresent, ProgressFeedback& progress,
                 std::uint64_t totalBytes, PressContext context = {})
        : fs_(fs),
          devicePresent_(devicePresent),
          progress_(progress),
          totalBytes_(totalBytes),
          judge_(fs, context),
          records_(fs, context.catalog) {}

    // Copy mode, one saved item, by plain paths.
    int CopyItem(const std::wstring& source, const std::wstring& target);
    // Synchronize mode, one saved item, by plain paths.
    int SyncItem(const std::wstring& source, const std::wstring& target);
    // The counting pass's trees with nothing to do: the walk passes over them without listing
    // them again.
    void PassOverUnchanged(UnchangedTrees trees) { unchanged_ = std::move(trees); }
    // Before a file is replaced, on either side, what it held is kept there.
    void KeepVersions(VersionStore* store) { versions_ = store; }
    // Copies only what the other side has none of: no file is replaced.
    void OnlyNewFiles(bool only) { onlyNew_ = only; }
    // Puts the copies made so far on the disk and writes their records; false, with the failure
    // named, when the enclosure did not confirm it holds them.
    bool WriteRecords();

    std::uint64_t CopiedBytes() const { return copiedBytes_; }
    // The files left as they were because only new files were to be copied, by plain path.
    const std::vector<std::wstring>& HeldBack() const { return held_; }
    std::uint64_t FilesHeld() const { return held_.size(); }
    std::uint64_t FilesCopied() const { return filesCopied_; }
    // The files among them that replaced one, on either side.
    std::uint64_t FilesReplaced() const { return filesReplaced_; }
    // The files passed over because their backup copy was already the same.
    std::uint64_t FilesUnchanged() const { return filesUnchanged_; }
    // The source entries the walk has come to, as the counting pass counts them: what a walk
    // that stopped early never tried is the rest.
    std::uint64_t EntriesTried() const { return entriesTried_; }
    const std::vector<CopyFailure>& Failures() const { return failures_; }
    // The destination disk filled up or the destination folder went: nothing more can be copied.
    bool Stopped() const { return stopped_; }

private:
    class Confinement;

    // One file and its backup copy, as the walk found them.
    struct FilePair {
        std::wstring a;  // on the PC
        const FileEntry* entryA = nullptr;
        std::wstring b;  // in the backup
        const FileEntry* entryB = nullptr;
    };

    bool DevicePresent() const { return devicePresent_.load() != 0; }
    // 1 while the walk may go on.
    int GoOn() const;
    void Fail(const std::wstring& path, FailureReason reason, std::uint32_t error = 0);
    void FailWithLastError(const std::wstring& path);
    // A link is never followed. Those the system keeps in user profiles for old programs (hidden
    // system folders) are passed over without a word; any other is named.
    void NameLink(const std::wstring& path, const FileEntry& entry);
    // Names the links among an entry and its counterpart; true when there was one.
    bool NamedLinks(const std::wstring& a, const FileEntry& entryA, const std::wstring& b,
                    const FileEntry* entryB);
    // Takes the leftovers of interrupted copies out of a folder's listing and off the disk.
    void RemoveLeftovers(const std::wstring& folder, std::vector<FileEntry>& entries);
    // False, with the failure remembered, when the folder neither exists nor can be made.
    bool EnsureFolder(const std::wstring& path);
    bool EnsureFolderPath(const std::wstring& path);
    // The destination and the long form of the item, and whether the source may be walked at all.
    bool TakeSource(const std::wstring& source, const std::wstring& target, bool synchronize);
    int CopyItemSteps(const std::wstring& source, const std::wstring& target);
    int SyncItemSteps(const std::wstring& source, const std::wstring& target);
    // The destination does not answer: the walk stops once, for that reason.
    bool DestinationGone(std::uint32_t error);
    void CountCopied(std::uint64_t size);
    // True, with its entries and files counted, when the counting pass found the folder's tree
    // the same.
    bool PassedOver(const std::wstring& sourceFolder);

    // Tells the catalog, once a press, that copies are about to be written.
    void BeforeFirstCopy();
    // Decides a file pair by its record and acts on the verdict.
    int File(const FilePair& pair, const PairJudge::Folder& folder);
    int Act(const FilePair& pair, const Judgement& judgement, const PairJudge::Folder& folder,
            bool retry);
    // Copies `from` to `to`, which held nothing when the walk looked. What took the name in the
    // meantime is never replaced blindly: the pair is judged again.
    int CopyNew(const FilePair& pair, bool toBackup, const PairJudge::Folder& folder,
                const std::optional<CatalogRecord>& earlier, bool retry);
    // Replaces the file at the far side of the pair with the near one, keeping what it held as a
    // version unless it held the same data.
    int Replace(const FilePair& pair, bool toBackup, const Judgement& judgement,
                const PairJudge::Folder& folder);
    // Keeps what the file at `to` holds before a copy of `incoming` bytes replaces it; false when
    // it could not be kept.
    // Moves a backup copy a check found damaged into the versions folder's Damaged folder, where
    // nothing takes it for a version; false, with the failure named, when it stays.
    bool PutDamagedAside(const std::wstring& from, const std::wstring& to);
    bool KeepVersion(const std::wstring& from, std::uint64_t incoming, const FileEntry& replaced,
                     const std::wstring& to, const std::optional<CatalogRecord>& record);
    // A copy is in place: its record waits for the copy's data to reach the disk.
    void Placed(const FilePair& pair, const CopyMade& made, bool toBackup,
                const PairJudge::Folder& folder, const std::optional<CatalogRecord>& earlier,
                std::unique_ptr<StagedCopy> copy);
    // Copies one file or one whole folder into a folder that had none of it, making the folder
    // with every missing parent.
    int CopyEntry(const std::wstring& from, const std::wstring& toFolder);
    int CopyFolderInto(const std::wstring& from, const std::wstring& to);
    // Copies the contents of a folder recursively. `fresh`: the target folder had none of these
    // files when the walk looked.
    int CopyFolderTree(const std::wstring& sourceFolder, const std::wstring& targetFolder);
    int CopyTree(const std::wstring& sourceFolder, const std::wstring& targetFolder, bool fresh);
    // `a` on the source side, `b` its counterpart in the destination.
    int SyncFolder(const std::wstring& a, const std::wstring& b);

    FileSystem& fs_;
    const std::atomic<int>& devicePresent_;
    ProgressFeedback& progress_;
    std::uint64_t totalBytes_;
    std::uint64_t copiedBytes_ = 0;
    std::uint64_t filesCopied_ = 0;
    std::uint64_t filesReplaced_ = 0;
    std::uint64_t filesUnchanged_ = 0;
    std::vector<std::wstring> held_;
    PairJudge judge_;
    RecordBatch records_;
    VersionStore* versions_ = nullptr;
    bool onlyNew_ = false;
    // The current item's source, in the long form, and whether it is synchronized.
    std::wstring item_;
    bool syncing_ = false;
    std::uint64_t entriesTried_ = 0;
    // The current item's destination folder, in the long form.
    std::wstring target_;
    bool stopped_ = false;
    bool copying_ = false;
    std::vector<CopyFailure> failures_;
    // The folders being walked on both sides, the destination among them.
    WalkChain walking_{fs_};
    // The backup folders' names the saved sources of this run have taken.
    SourceNames sources_;
    UnchangedTrees unchanged_;
};

}  // namespace bexlo
