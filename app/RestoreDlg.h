#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "backup/BackupTimeline.h"
#include "backup/RestoreChoice.h"
#include "backup/RestoreSetup.h"
#include "backup/RestoreTask.h"
#include "backup/RunLog.h"
#include "framework/Dialog.h"
#include "framework/MessageTexts.h"

namespace bexlo {

// The restore window: the backup as it was at a chosen press, by the sources' original paths, a
// tree of its folders and a list of the files of one folder or of a search, each ticked to be put
// back in its place or below another folder. The restore runs on a thread of its own, which the
// window follows on a timer; it is modal, so that the main dialog waits for it, and a press
// meanwhile cancels the restore and closes it.
class RestoreDlg : public Dialog {
public:
    // Asks the person for a folder; nothing when they cancel.
    using PickFolder = std::function<std::optional<std::wstring>(HWND owner, const std::wstring&)>;
    // Asks the window to take the tick the tree has just toggled on the item in lParam: the tree
    // tells of a click before it toggles the box.
    static constexpr UINT kTreeTickMessage = WM_APP + 20;

    RestoreDlg(const MessageTexts& texts, FileSystem& fs, RestoreSetup setup, PickFolder pick);

    // Called as each restore ends, however it ends, with its entry for the run log.
    std::function<void(const RunLogEntry&)> logRestore;

    // The person restored the sources of a backup this PC has not saved, and wants them saved.
    bool SaveSources() const { return saveSources_; }
    const RestoreSetup& Setup() const { return setup_; }
    // Cancels a restore going, waits for it and closes the window.
    void StopNow();

protected:
    bool OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override;
    MsgResult OnCommand(WORD id, WORD code, HWND control) override;
    MsgResult OnNotify(const NMHDR& header) override;
    MsgResult OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnTimer(UINT_PTR id) override;

private:
    void ShowTexts();
    void ReadBackup();
    void ShowMoment();
    void AddFolders(HTREEITEM parent, const std::vector<std::size_t>& folders);
    void ShowTreeTicks(HTREEITEM item);
    void ShowFiles();
    void OnTreeTick(HTREEITEM item);
    void ShowVersions();
    void Restore(const std::vector<FileAtMoment>& files, bool elsewhere);
    void ShowProgress();
    void Finish(RestoreOutcome outcome, bool tell);
    void Hold(bool running);
    std::size_t FolderOf(HTREEITEM item) const;

    const MessageTexts& texts_;
    FileSystem& fs_;
    RestoreSetup setup_;
    PickFolder pick_;
    BackupTimeline timeline_;
    std::vector<std::int64_t> moments_;
    RestoreChoice choice_;
    std::size_t folder_ = RestoreChoice::kNone;
    // The list is being filled: its changes are ours, not the person's.
    bool filling_ = false;
    RestoreTask task_;
    std::uint64_t totalFiles_ = 0;
    std::uint64_t totalBytes_ = 0;
    // When the restore going began, as the run log shows it.
    std::wstring started_;
    bool elsewhere_ = false;
    bool saveSources_ = false;
    Control tree_;
    Control list_;
    Control bar_;
};

}  // namespace bexlo
