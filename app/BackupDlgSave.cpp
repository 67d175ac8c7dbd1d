// The main dialog's Save: the data folder it writes into, the checks the choice must pass, and
// the files that keep it.

#include "app/BackupDlg.h"
#include "backup/BackupRecord.h"
#include "backup/PathList.h"
#include "backup/SaveRules.h"
#include "backup/SourceIdentity.h"
#include "res/resource.h"

namespace bexlo {

void BackupDlg::ShowDataFolderRefusal(const FolderVerdict& verdict) {
    std::wstring text = messageTexts[Msg::DataRefused] + L"\n\n\"" + verdict.folder + L"\"\n";
    switch (verdict.why) {
        case FolderVerdict::Why::Link:
            text += messageTexts[Msg::DataLink];
            break;
        case FolderVerdict::Why::Owner:
            text += messageTexts[Msg::DataOwner] + L" " + AccountName(verdict.ownerSid);
            break;
        case FolderVerdict::Why::Unreadable:
            text += messageTexts[Msg::DataUnreadable];
            break;
        case FolderVerdict::Why::Missing:
        case FolderVerdict::Why::Trusted:
            text += messageTexts[Msg::DataMissing];
            break;
    }
    ShowBox(L"Unsafe Folder", text, BoxIcon::Warning);
}

void BackupDlg::SavePathList() {
    if (const FolderVerdict verdict = CheckDataFolder(); !verdict.Trusted()) {
        ShowDataFolderRefusal(verdict);
        return;
    }
    RebuildSelectionList();
    std::vector<std::wstring> sources = selectionList.Entries();
    if (sources.empty()) {
        ShowBox(L"No Select item", Msg::NoSelect, BoxIcon::Warning);
        return;
    }
    if (sources.size() > static_cast<std::size_t>(itemLimit)) {
        sources.resize(static_cast<std::size_t>(itemLimit));
    }
    std::wstring target = targetTree.ItemToPath(targetTree.SelectedItem());
    if (target.empty()) {
        const std::wstring text =
            messageTexts[Msg::NoDestDir] + L" \"" + deviceLayer.record.defaultTarget + L"\"";
        ::MessageBoxW(Handle(), text.c_str(), L"No choice destined folder",
                      MB_OK | MB_ICONINFORMATION);
        target = deviceLayer.record.defaultTarget;
    }
    SaveChoice(target, sources);
    ::EnableWindow(saveButton.Handle(), TRUE);
}

bool BackupDlg::SaveChoice(const std::wstring& target, const std::vector<std::wstring>& sources) {
    if (const std::optional<SaveRefusal> refusal = CheckSavedPaths(target, sources)) {
        ShowSaveRefusal(*refusal);
        return false;
    }
    run.state.serialCheckArmed = 0;
    // Without a destination the list could never run: the saved one stays.
    if (target.empty() ||
        !fileSystem.WriteFileReplacing(PathListFile(), PathListBytes(target, sources))) {
        ShowBox(L"Save Fail", Msg::CannotSave, BoxIcon::Warning);
        return false;
    }
    // The record follows the destination just saved, so that a first run that fails does not
    // leave every later press refused as going to a different volume.
    const bool sync = ::IsDlgButtonChecked(Handle(), IDC_SYNC) == BST_CHECKED;
    WriteBackupRecord(fileSystem, sync ? BackupType::Sync : BackupType::Copy, target);
    // What each source is as the person saves it; a press records any it cannot find here.
    SaveSourceIdentities(fileSystem, sources);
    ShowBackupSummary();
    return true;
}

void BackupDlg::ShowSaveRefusal(const SaveRefusal& refusal) {
    std::wstring text;
    for (const std::wstring& path : refusal.paths) {
        text += L"\"" + path + L"\"\n";
    }
    switch (refusal.why) {
        case SaveRefusal::Why::Overlaps:
            text += L"\n" + messageTexts[Msg::SourceOverlap];
            break;
        case SaveRefusal::Why::SameName:
            text += L"\n" + messageTexts[Msg::SameName];
            break;
        case SaveRefusal::Why::TooLong:
            text += L"\n" + messageTexts[Msg::PathTooLong];
            break;
        case SaveRefusal::Why::VersionsName:
            text += L"\n" + messageTexts[Msg::VersionsName];
            break;
    }
    ShowBox(L"Invalid Source", text, BoxIcon::Warning);
}

}  // namespace bexlo
