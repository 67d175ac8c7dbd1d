#pragma once

#include <optional>
#include <string>
#include <vector>

#include "backup/BackupTimeline.h"
#include "framework/Dialog.h"
#include "framework/MessageTexts.h"

namespace bexlo {

// Every kept state of one file, newest first, each with the press that replaced it; the person
// picks one to restore, to its place or below another folder.
class FileVersionsDlg : public Dialog {
public:
    FileVersionsDlg(const MessageTexts& texts, std::wstring original,
                    std::vector<KeptState> states);

    // The state picked, and whether it goes below another folder; nothing when closed.
    struct Pick {
        KeptState state;
        bool elsewhere = false;
    };
    const std::optional<Pick>& Picked() const { return picked_; }

protected:
    bool OnInitDialog() override;
    void OnOK() override {}
    MsgResult OnCommand(WORD id, WORD code, HWND control) override;

private:
    const MessageTexts& texts_;
    std::wstring original_;
    std::vector<KeptState> states_;
    std::optional<Pick> picked_;
    Control list_;
};

// "08/12/2026 14:03", in this PC's time zone and the person's format; `utc` in 100-ns units
// since 1601.
std::wstring LocalMomentText(std::int64_t utc);

}  // namespace bexlo
