#pragma once

// The Copy and Synchronize walkers. Each saved source becomes an entry of the same name in the
// destination folder (C:\Work saved with E:\FilesBackup lands in E:\FilesBackup\Work). Copy
// overwrites the destination copies; Synchronize merges both sides by last-write time and
// never deletes. Every walker returns 1 for success and 0 for failure, which ends the run.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "backup/FileSystem.h"

namespace bexlo {

// A file is copied to this name beside its destination and moved over the real name only when
// complete. Walkers pass over such leftovers of an interrupted copy.
inline constexpr wchar_t kPartialSuffix[] = L".bexlo-partial";

bool IsPartialCopyName(const std::wstring& name);

// A saved source that the walkers take: a full path ("X:\..." or "\\server\share\...") naming an
// entry, with no "." or ".." in it, that neither contains the destination nor lies inside it.
bool IsUsableSource(const std::wstring& source, const std::wstring& target);

// Two last-write times less than 2 s apart are the same time: FAT keeps times to 2 s.
int CompareWriteTimes(std::int64_t a, std::int64_t b);

// What the walkers tell the progress display.
class ProgressFeedback {
public:
    virtual ~ProgressFeedback() = default;
    // The position of the main dialog's progress bar, 0 to 100.
    virtual int BarPosition() = 0;
    // Adds 1 ms to stepDelayMs: the bar runs ahead of the bytes copied.
    virtual void SlowDown() = 0;
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

    // Copy mode, one saved item.
    int CopyItem(const std::wstring& source, const std::wstring& target);
    // Copies the contents of a folder recursively.
    int CopyFolderTree(const std::wstring& sourceFolder, const std::wstring& targetFolder);
    // Synchronize mode, one saved item.
    int SyncItem(const std::wstring& source, const std::wstring& target);
    // `a` on the source side, `b` its counterpart in the destination.
    int SyncFile(const std::wstring& a, const std::wstring& b);
    int SyncFolder(const std::wstring& a, const std::wstring& b);
    // Copies one file or one whole folder into a folder, replacing files there.
    int CopyEntry(const std::wstring& from, const std::wstring& toFolder);

    std::uint64_t CopiedBytes() const { return copiedBytes_; }

private:
    class ChainLink;

    bool DevicePresent() const { return devicePresent_.load() != 0; }
    int CopyItemSteps(const std::wstring& source, const std::wstring& target);
    int SyncItemSteps(const std::wstring& source, const std::wstring& target);
    // True when the folder is one of those being walked: a link leading back into the walk.
    bool LeadsIntoWalk(const std::optional<FileId>& id) const;
    int CopyFileInto(const std::wstring& from, const std::wstring& name,
                     const std::wstring& toFolder);
    int CopyFolderInto(const std::wstring& from, const std::wstring& to);
    int CopyTree(const std::wstring& sourceFolder, const std::wstring& targetFolder);
    void CountCopied(std::uint64_t size);

    FileSystem& fs_;
    const std::atomic<int>& devicePresent_;
    ProgressFeedback& progress_;
    std::uint64_t totalBytes_;
    std::uint64_t copiedBytes_ = 0;
    // The folders being walked on both sides, the destination among them.
    std::vector<FileId> walking_;
};

}  // namespace bexlo
