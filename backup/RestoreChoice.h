#pragma once

// What the restore window shows of the backup at one moment, and what the person ticked. Files
// are shown by folder below each source's original path; the PC's own kept files of a source lie
// below a folder of their own under it. A ticked folder takes every file below it that the source
// still held at that moment; a file ticked or unticked by itself takes its own mark. Ticks are
// kept by path, so that they hold when the moment changes.

#include <cstddef>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "backup/BackupTimeline.h"

namespace bexlo {

class RestoreChoice {
public:
    struct Folder {
        // What the tree shows: the source's full path for a source, else the folder's name.
        std::wstring label;
        // The folder's key: the folded path, marked for the PC's own kept files.
        std::wstring key;
        std::size_t parent = kNone;
        std::vector<std::size_t> folders;
        std::vector<std::size_t> files;
        bool fromPc = false;
    };
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    // The files of one moment, below the saved `sources`; `fromPcLabel` names the folder of a
    // source's files kept from the PC. Files of no source are left out.
    void Show(std::vector<FileAtMoment> files, const std::vector<std::wstring>& sources,
              const std::wstring& fromPcLabel);

    const std::vector<Folder>& Folders() const { return folders_; }
    const std::vector<FileAtMoment>& Files() const { return files_; }
    // The sources' folders, in saved order.
    const std::vector<std::size_t>& Roots() const { return roots_; }
    // The file's path below its source's folder, as the list shows it in a search.
    std::wstring PathInSource(std::size_t file) const;
    // Files whose name holds `part`, whatever its case, in path order; at most `most`.
    std::vector<std::size_t> Find(const std::wstring& part, std::size_t most) const;

    void TickFolder(std::size_t folder, bool on);
    void TickFile(std::size_t file, bool on);
    bool FolderTicked(std::size_t folder) const;
    bool FileTicked(std::size_t file) const;
    // The files a restore takes.
    std::vector<FileAtMoment> Chosen() const;

private:
    std::size_t FolderFor(std::size_t root, const std::wstring& relative);
    std::wstring FileKey(std::size_t file) const;

    std::vector<Folder> folders_;
    std::vector<std::size_t> roots_;
    std::vector<FileAtMoment> files_;
    std::vector<std::size_t> fileFolder_;
    // Every folder by its key.
    std::unordered_map<std::wstring, std::size_t> folderIndex_;
    // Ticks by key: a folder's hold for everything below it that has none of its own.
    std::map<std::wstring, bool> folderTicks_;
    std::map<std::wstring, bool> fileTicks_;
};

}  // namespace bexlo
