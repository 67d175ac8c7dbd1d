#pragma once

// The language files: the language choice in Setup.txt and the texts of each language in
// UI_String(U).txt and Msg_String(U).txt, laid over the built-in English texts. No window is
// needed here; the main dialog applies the result.

#include <array>
#include <cstddef>
#include <string>

#include "framework/DataFolder.h"
#include "framework/MessageTexts.h"

namespace bexlo {

// Reads one value of an ini-style file the way the platform's profile reader does: an empty
// result for a missing file, section or key.
class ProfileSource {
public:
    virtual ~ProfileSource() = default;
    virtual std::wstring Read(const std::wstring& file, const std::wstring& section,
                              const std::wstring& key) const = 0;
};

// The main dialog captions that a language can change, in the order the UI file lists them.
enum class Caption : std::size_t {
    PathSetting,
    BackupStyle,
    Destination,
    Source,
    Save,
    Clear,
    Copy,
    Sync,
    CopyProgress,
    Count
};

inline constexpr std::size_t kCaptionCount = static_cast<std::size_t>(Caption::Count);

struct UiTexts {
    std::wstring copyProgress;
    std::wstring dirName;
    std::wstring ok;
    std::wstring cancel;
    std::wstring about;
    // What a screen reader calls the controls that show no text of their own (keys ACC_*): each
    // its English text unless the language has its own.
    std::wstring newSourceFolder;
    std::wstring newTargetFolder;
    std::wstring sourcePath;
    std::wstring targetPath;
};

struct LanguageTexts {
    MessageTexts messages;
    UiTexts ui;
    // Set only when a language gave every one of its fourteen UI keys.
    bool captionsChanged = false;
    std::array<std::wstring, kCaptionCount> captions;
};

// The three files in the data folder.
inline std::wstring SetupFile() {
    return DataFile(L"Setup.txt");
}
inline std::wstring UiStringFile() {
    return DataFile(L"UI_String(U).txt");
}
inline std::wstring MsgStringFile() {
    return DataFile(L"Msg_String(U).txt");
}

// Longest value the profile reads keep (their buffers hold 260 characters with the terminator).
inline constexpr std::size_t kMaxProfileValue = 259;
// Longest section name Setup.txt may choose (a 20-character buffer).
inline constexpr std::size_t kMaxSectionName = 19;

const wchar_t* DefaultCaption(Caption id);

void SetDefaultMessages(MessageTexts& messages);
void SetDefaultUiTexts(UiTexts& ui);
void LoadUiStrings(const ProfileSource& source, std::wstring section, LanguageTexts& texts);
void LoadMessageStrings(const ProfileSource& source, std::wstring section, MessageTexts& messages);

// Defaults, then whatever Setup.txt's language gives. Never fails.
LanguageTexts LoadStringFiles(const ProfileSource& source);

}  // namespace bexlo
