// The main dialog's restore window: which backup it reads, the folder picker it asks, and the
// sources a new PC saves once they are restored. A press cancels a restore going, as it stops a
// check: the catalog is one program's at a time.

#include <shlobj.h>

#include "app/BackupDlg.h"
#include "backup/PathList.h"
#include "backup/RunLog.h"
#include "framework/LongPath.h"
#include "framework/PcPlaces.h"

namespace bexlo {

namespace {

std::optional<std::wstring> PickFolderByShell(HWND owner, const std::wstring& title) {
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    BROWSEINFOW browse{};
    browse.hwndOwner = owner;
    browse.lpszTitle = title.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    std::optional<std::wstring> picked;
    if (PIDLIST_ABSOLUTE list = ::SHBrowseForFolderW(&browse)) {
        wchar_t path[MAX_PATH] = {};
        if (::SHGetPathFromIDListW(list, path)) {
            picked = path;
        }
        ::CoTaskMemFree(list);
    }
    if (SUCCEEDED(com)) {
        ::CoUninitialize();
    }
    return picked;
}

}  // namespace

std::optional<RestoreSetup> BackupDlg::BackupToRestore() {
    const PcPlaces here = ThisPcPlaces();
    const auto there = [this](const std::wstring& folder) {
        const std::optional<FileEntry> found = fileSystem.Find(LongPath(folder));
        return found && found->folder && !found->link;
    };
    const auto bytes = dataFolderTrusted
                           ? fileSystem.ReadFileBytes(PathListFile(), kPathListReadLimit)
                           : std::nullopt;
    const PathListRead list = bytes ? ReadPathList(*bytes) : PathListRead{};
    if (list.status == PathListRead::Status::Usable && !list.target.empty()) {
        return there(list.target) ? SetupRestore(fileSystem, list.target, list.sources, here)
                                  : std::nullopt;
    }
    // No choice saved here: the backup of another PC, in the enclosure's default place or one the
    // person picks.
    const std::wstring& standard = deviceLayer.record.defaultTarget;
    if (!standard.empty() && there(standard)) {
        if (std::optional<RestoreSetup> setup = SetupRestore(fileSystem, standard, {}, here)) {
            return setup;
        }
    }
    const auto pick = options.pickFolder ? options.pickFolder : PickFolderByShell;
    const std::optional<std::wstring> picked = pick(Handle(), messageTexts[Msg::RestorePickBackup]);
    return picked && there(*picked) ? SetupRestore(fileSystem, *picked, {}, here) : std::nullopt;
}

void BackupDlg::RestoreFiles() {
    if (run.state.backupRunning == 1 || openCheck != nullptr || openRestore != nullptr) {
        return;
    }
    // The check after a press holds the catalog the window reads.
    StopChecks();
    const std::optional<RestoreSetup> setup = BackupToRestore();
    if (!setup) {
        ShowBox(messageTexts[Msg::RestoreTitle].c_str(), Msg::RestoreNoBackup,
                BoxIcon::Information);
        return;
    }
    RestoreDlg dialog(messageTexts, fileSystem, *setup,
                      options.pickFolder ? options.pickFolder : PickFolderByShell);
    // The log sits beside the saved choice, and is written only where that may be.
    dialog.logRestore = [this](const RunLogEntry& entry) {
        if (CheckDataFolder().Trusted()) {
            AppendRunLog(fileSystem, entry);
        }
    };
    openRestore = &dialog;
    dialog.DoModal(Handle());
    openRestore = nullptr;
    if (dialog.SaveSources()) {
        SaveChoice(dialog.Setup().destination, dialog.Setup().places);
    }
}

void BackupDlg::StopRestore() {
    if (openRestore != nullptr) {
        openRestore->StopNow();
    }
}

}  // namespace bexlo
