#include "backup/DamagedAside.h"

#include "backup/VersionIndex.h"

namespace bexlo {

namespace {

// The folder there, made when missing, and no link.
bool PlainFolder(FileSystem& fs, const std::wstring& folder) {
    if (!fs.CreateFolder(folder) && fs.LastError() != file_error::kAlreadyExists) {
        return false;
    }
    const std::optional<FileEntry> found = fs.Find(folder);
    return found && found->folder && !found->link;
}

}  // namespace

bool PutAsideDamaged(FileSystem& fs, const std::wstring& versionsFolder, const std::wstring& path,
                     const std::wstring& relative, std::int64_t when) {
    std::wstring folder = versionsFolder;
    for (const std::wstring& part : {std::wstring(kDamagedFolderName), PressFolderName(when)}) {
        folder += L'\\' + part;
        if (!PlainFolder(fs, folder)) {
            return false;
        }
    }
    std::size_t start = 0;
    for (std::size_t slash = relative.find(L'\\'); slash != std::wstring::npos;
         slash = relative.find(L'\\', start = slash + 1)) {
        if (slash > start) {
            folder += L'\\' + relative.substr(start, slash - start);
            if (!PlainFolder(fs, folder)) {
                return false;
            }
        }
    }
    const std::wstring base = folder + L'\\' + relative.substr(start);
    std::wstring aside = base;
    for (int n = 2; !fs.MoveNew(path, aside); ++n) {
        if (fs.LastError() != file_error::kAlreadyExists || n > 99) {
            return false;
        }
        aside = base + L" (" + std::to_wstring(n) + L")";
    }
    return true;
}

}  // namespace bexlo
