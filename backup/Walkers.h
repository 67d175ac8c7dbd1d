#pragma once

// The Copy and Synchronize walkers. Each saved source becomes an entry of the same name in the
// destination folder (C:\Work saved with E:\FilesBackup lands in E:\FilesBackup\Work). Copy
// overwrites the destination copies; Synchronize merges both sides by last-write time and
// never deletes. An entry that cannot be copied is remembered with its reason and the walk goes
// on; every walker returns 0 only where going on is pointless (the enclosure gone, the
// destination disk full or the destination folder gone), else 1.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "backup/FileSystem.h"

namespace bexlo {

// A file is copied to a name of its own beside its destination and moved over the real name only
// when complete: "<name>.bexlo-<check>.partial", the check being 16 hex digits of a keyed hash of
// what precedes it, so that no file a person names is taken for one. The name is cut short
// enough to stay a valid name.
std::wstring PartialCopyName(const std::wstring& name);
// The name is one that PartialCopyName gives: a leftover of an interrupted copy, which the walkers
// remove where they find it.
bool IsPartialCopyName(const std::wstring& name);

// A saved source that the walkers take: a full path ("X:\..." or "\\server\share\...") naming an
// entry, with no "." or ".." in it, that neither contains the destination nor lies inside it.
bool IsUsableSource(const std::wstring& source, const std::wstring& target);
// The source holds the destination, or lies inside it, or is it.
bool SourceOverlapsTarget(const std::wstring& source, const std::wstring& target);

// Two last-write times less than 2 s apart are the same time: FAT keeps times to 2 s. On a FAT
// volume, two times an hour apart within that tolerance are the same time too: FAT keeps local
// times, which shift by an hour at a daylight-saving change.
int CompareWriteTimes(std::int64_t a, std::int64_t b, bool fatVolume = false);
bool IsFatFileSystem(const std::wstring& name);

enum class FailureReason {
    Platform,        // the platform refused; the error code says why
    SourceMissing,   // a saved source that no longer exists
    SourceOverlaps,  // a saved source that holds the destination or lies inside it
    EnclosureGone,   // the enclosure went during the run
    Link,            // a junction or symbolic link, which is never followed
    Encrypted,       // a file the file system encrypts, never copied in plain text
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

struct ScanTotals {
    std::uint64_t totalBytes = 0;
    std::uint32_t entryCount = 0;
};

// PreScanSources: the entries and bytes below the usable saved sources. A saved source that is a
// file counts as one entry of its size, since Copy copies it too.
ScanTotals PreScanSources(FileSystem& fs, const std::vector<std::wstring>& sources,
                          const std::wstring& target);

// Creates every missing folder of `path`. 0 when the path has no parent left to create, else 1.
int CreateFolderPath(FileSystem& fs, const std::wstring& path);

class BackupWalker {
public:
    // `totalBytes` is the pre-scan's measure; 0 means no pacing feedback.
    BackupWalker(FileSystem& fs, const std::atomic<int>& devicePresent, ProgressFeedback& progress,
                 std::uint64_t totalBytes)
        : fs_(fs), devicePresent_(devicePresent), progress_(progress), totalBytes_(totalBytes) {}

    // Copy mode, one saved item, by plain paths.
    int CopyItem(const std::wstring& source, const std::wstring& target);
    // Copies the contents of a folder recursively.
    int CopyFolderTree(const std::wstring& sourceFolder, const std::wstring& targetFolder);
    // Synchronize mode, one saved item, by plain paths.
    int SyncItem(const std::wstring& source, const std::wstring& target);
    // `a` on the source side, `b` its counterpart in the destination.
    int SyncFile(const std::wstring& a, const std::wstring& b);
    int SyncFolder(const std::wstring& a, const std::wstring& b);
    // Copies one file or one whole folder into a folder, replacing files there and making the
    // folder with every missing parent.
    int CopyEntry(const std::wstring& from, const std::wstring& toFolder);

    std::uint64_t CopiedBytes() const { return copiedBytes_; }
    std::uint64_t FilesCopied() const { return filesCopied_; }
    const std::vector<CopyFailure>& Failures() const { return failures_; }
    // The destination disk filled up or the destination folder went: nothing more can be copied.
    bool Stopped() const { return stopped_; }

private:
    class ChainLink;
    class Confinement;

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
    bool MirrorIsLink(const std::wstring& mirror);
    // Takes the leftovers of interrupted copies out of a folder's listing and off the disk.
    void RemoveLeftovers(const std::wstring& folder, std::vector<FileEntry>& entries);
    // False, with the failure remembered, when the folder neither exists nor can be made.
    bool EnsureFolder(const std::wstring& path);
    bool EnsureFolderPath(const std::wstring& path);
    // The destination for the item, and whether the source may be walked at all.
    bool TakeSource(const std::wstring& source, const std::wstring& target);
    int CopyItemSteps(const std::wstring& source, const std::wstring& target);
    int SyncItemSteps(const std::wstring& source, const std::wstring& target);
    int MergeFile(const std::wstring& a, const FileEntry& entryA, const std::wstring& b,
                  const std::optional<FileEntry>& entryB);
    // True when the folder is one of those being walked: a link leading back into the walk.
    bool LeadsIntoWalk(const std::optional<FileId>& id) const;
    int CopyFileInto(const std::wstring& from, const FileEntry& entry,
                     const std::wstring& toFolder);
    int CopyFolderInto(const std::wstring& from, const std::wstring& to);
    int CopyTree(const std::wstring& sourceFolder, const std::wstring& targetFolder);
    void CountCopied(std::uint64_t size);

    FileSystem& fs_;
    const std::atomic<int>& devicePresent_;
    ProgressFeedback& progress_;
    std::uint64_t totalBytes_;
    std::uint64_t copiedBytes_ = 0;
    std::uint64_t filesCopied_ = 0;
    // The current item's destination folder, in the long form.
    std::wstring target_;
    bool fatDestination_ = false;
    bool stopped_ = false;
    std::vector<CopyFailure> failures_;
    // The folders being walked on both sides, the destination among them.
    std::vector<FileId> walking_;
};

}  // namespace bexlo
