#include "backup/RestoreChoice.h"

#include <algorithm>

#include "backup/WalkRules.h"
#include "framework/LongPath.h"
#include "framework/NameCase.h"

namespace bexlo {

namespace {

// No path holds it, so the PC's own files never share a key with a folder of the backup.
constexpr wchar_t kFromPcMark = L'|';

bool Below(const std::wstring& key, const std::wstring& folder) {
    return key.size() > folder.size() && key.starts_with(folder) && key[folder.size()] == L'\\';
}

}  // namespace

void RestoreChoice::Show(std::vector<FileAtMoment> files, const std::vector<std::wstring>& sources,
                         const std::wstring& fromPcLabel) {
    folders_.clear();
    roots_.clear();
    files_.clear();
    fileFolder_.clear();
    for (const std::wstring& source : sources) {
        roots_.push_back(folders_.size());
        folders_.push_back({source, FoldCase(source), kNone, {}, {}, false});
    }
    folderIndex_.clear();
    for (std::size_t root : roots_) {
        folderIndex_.emplace(folders_[root].key, root);
    }
    // Each path is folded once: sorting by the folded paths compares them many times.
    std::vector<std::pair<std::wstring, std::size_t>> order;
    order.reserve(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        order.emplace_back(FoldCase(files[i].original), i);
    }
    std::sort(order.begin(), order.end());
    files_.reserve(files.size());
    for (const auto& [folded, index] : order) {
        FileAtMoment& file = files[index];
        for (std::size_t source = 0; source < sources.size(); ++source) {
            const std::size_t root = roots_[source];
            if (!IsWithin(folded, folders_[root].key) || folded == folders_[root].key) {
                continue;
            }
            std::size_t at = file.fromPc ? FolderFor(root, {}) : root;
            folders_[at].label = file.fromPc ? fromPcLabel : folders_[at].label;
            std::wstring relative = file.original.substr(sources[source].size());
            if (relative.starts_with(L'\\')) {
                relative.erase(0, 1);
            }
            const std::size_t cut = relative.rfind(L'\\');
            if (cut != std::wstring::npos) {
                at = FolderFor(at, relative.substr(0, cut));
            }
            fileFolder_.push_back(at);
            folders_[at].files.push_back(files_.size());
            files_.push_back(std::move(file));
            break;
        }
    }
    // Below a source its folders by name, then the PC's own kept files.
    for (Folder& folder : folders_) {
        std::sort(folder.folders.begin(), folder.folders.end(), [&](std::size_t a, std::size_t b) {
            return std::pair(folders_[a].fromPc, folders_[a].key) <
                   std::pair(folders_[b].fromPc, folders_[b].key);
        });
    }
}

std::size_t RestoreChoice::FolderFor(std::size_t root, const std::wstring& relative) {
    std::size_t at = root;
    if (relative.empty()) {
        // The folder of the PC's own kept files of this source.
        std::wstring key = folders_[root].key + L'\\' + kFromPcMark;
        const auto [found, added] = folderIndex_.try_emplace(std::move(key), folders_.size());
        if (added) {
            folders_[root].folders.push_back(folders_.size());
            folders_.push_back({{}, found->first, root, {}, {}, true});
        }
        return found->second;
    }
    std::size_t start = 0;
    while (start <= relative.size()) {
        const std::size_t end = std::min(relative.find(L'\\', start), relative.size());
        const std::wstring name = relative.substr(start, end - start);
        std::wstring key = folders_[at].key + L'\\' + FoldCase(name);
        const auto [found, added] = folderIndex_.try_emplace(std::move(key), folders_.size());
        if (added) {
            const bool fromPc = folders_[at].fromPc;
            folders_[at].folders.push_back(folders_.size());
            folders_.push_back({name, found->first, at, {}, {}, fromPc});
        }
        at = found->second;
        start = end + 1;
    }
    return at;
}

std::wstring RestoreChoice::PathInSource(std::size_t file) const {
    std::wstring path = LastSegment(files_[file].original);
    for (std::size_t at = fileFolder_[file]; folders_[at].parent != kNone;
         at = folders_[at].parent) {
        path = folders_[at].label + L'\\' + path;
    }
    return path;
}

std::vector<std::size_t> RestoreChoice::Find(const std::wstring& part, std::size_t most) const {
    std::vector<std::size_t> found;
    const std::wstring folded = FoldCase(part);
    for (std::size_t i = 0; i < files_.size() && found.size() < most; ++i) {
        if (FoldCase(LastSegment(files_[i].original)).find(folded) != std::wstring::npos) {
            found.push_back(i);
        }
    }
    return found;
}

std::wstring RestoreChoice::FileKey(std::size_t file) const {
    return folders_[fileFolder_[file]].key + L'\\' + FoldCase(LastSegment(files_[file].original));
}

void RestoreChoice::TickFolder(std::size_t folder, bool on) {
    const std::wstring& key = folders_[folder].key;
    std::erase_if(folderTicks_, [&](const auto& tick) { return Below(tick.first, key); });
    std::erase_if(fileTicks_, [&](const auto& tick) { return Below(tick.first, key); });
    folderTicks_[key] = on;
}

void RestoreChoice::TickFile(std::size_t file, bool on) {
    fileTicks_[FileKey(file)] = on;
}

bool RestoreChoice::FolderTicked(std::size_t folder) const {
    for (std::size_t at = folder; at != kNone; at = folders_[at].parent) {
        const auto tick = folderTicks_.find(folders_[at].key);
        if (tick != folderTicks_.end()) {
            return tick->second;
        }
    }
    return false;
}

bool RestoreChoice::FileTicked(std::size_t file) const {
    const auto tick = fileTicks_.find(FileKey(file));
    if (tick != fileTicks_.end()) {
        return tick->second;
    }
    // What the source no longer held is taken only when ticked by itself.
    return !files_[file].gone && FolderTicked(fileFolder_[file]);
}

std::vector<FileAtMoment> RestoreChoice::Chosen() const {
    std::vector<FileAtMoment> chosen;
    for (std::size_t i = 0; i < files_.size(); ++i) {
        if (FileTicked(i)) {
            chosen.push_back(files_[i]);
        }
    }
    return chosen;
}

}  // namespace bexlo
