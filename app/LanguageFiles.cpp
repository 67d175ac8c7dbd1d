#include "app/LanguageFiles.h"

namespace bexlo {

namespace {

struct KeyDefault {
    const wchar_t* key;
    const wchar_t* text;
};

// Keys of the message file in reading order, with the built-in English text.
constexpr std::array<KeyDefault, kMessageCount> kMessageKeys{{
    {L"MSG_NO_SELSECT", L"Please selsect at least one source item."},
    {L"MSG_CANNOT_SAVE", L"The path can't be saved!"},
    {L"MSG_PATH_LOST", L"The source file of path isn't exist, please reset!"},
    {L"MSG_KEY_LOST", L"Please check your Key!"},
    {L"MSG_DIFF_VOL", L"The volume with last setting is different!"},
    {L"MSG_DIR_EXIST", L"The folder name has already exists!"},
    {L"MSG_MKDIR_FAIL", L"The folder can't be built!"},
    {L"MSG_OVER_100", L"The chosen items must less than 100"},
    {L"MSG_COPY_FAIL", L"The copy cannot complete!"},
    {L"MSG_COPY_OVER", L"Copy complete!"},
    {L"MSG_NO_D_DIR", L"All the files will copy to"},
    {L"MSG_SRC_OVERLAP", L"A source cannot hold the destination or lie inside it:"},
    {L"MSG_NOT_COPIED", L"Files or folders not copied:"},
    {L"MSG_SEE_LOG", L"The full list is in"},
    {L"MSG_SRC_MISSING", L"The saved source no longer exists."},
    {L"MSG_DEVICE_GONE", L"The enclosure was removed during the backup."},
    {L"MSG_SAME_NAME",
     L"Sources with the same folder name would share one backup folder; only the first is backed "
     L"up."},
    {L"MSG_PATH_TOO_LONG", L"This path is longer than 259 characters and cannot be saved."},
    {L"MSG_FAT_LIMIT", L"The enclosure's file system (FAT) cannot hold files of 4 GiB or more."},
    {L"MSG_DEST_GONE", L"The destination stopped answering or is gone."},
    {L"MSG_STOPPED_EARLY", L"The backup stopped early. Entries never tried:"},
    {L"MSG_LINK", L"A link (junction or symbolic link): not followed, nothing copied through it."},
    {L"MSG_ENCRYPTED", L"An encrypted file: not copied, so that it is never stored unencrypted."},
    {L"MSG_OTHER_SESSION",
     L"Bexlo is already watching the enclosures for another user of this computer. It takes over "
     L"here when that copy ends."},
    {L"MSG_VERSIONS_NAME",
     L"A source cannot be named \"Bexlo versions\": the destination keeps the earlier versions of "
     L"its files in a folder of that name."},
    {L"MSG_MASS_CHANGE",
     L"This backup would replace many backup copies at once. If your files were damaged (by "
     L"ransomware, for example), check them before you go on."},
    {L"MSG_MASS_REPLACED", L"Files to be replaced:"},
    {L"MSG_MASS_BOTH", L"Files on both sides:"},
    {L"MSG_MASS_DAMAGED", L"Files that show signs of damage:"},
    {L"MSG_SIGN_EMPTY", L"now empty"},
    {L"MSG_SIGN_SHRUNK", L"under a tenth of its backup copy's size"},
    {L"MSG_SIGN_TYPE", L"its start no longer matches its type"},
    {L"MSG_CHOICE_ALL", L"Yes: back up all (earlier versions are kept)."},
    {L"MSG_CHOICE_NEW", L"No: copy only files that are new."},
    {L"MSG_CHOICE_CANCEL", L"Cancel: back up nothing now."},
    {L"MSG_EARLIER_VERSIONS", L"Earlier versions\u2026"},
    {L"MSG_VERSIONS_README1",
     L"This folder keeps the earlier versions of files that Bexlo replaced."},
    {L"MSG_VERSIONS_README2",
     L"Each backup that replaced files has a folder named by its date and time (UTC):"},
    {L"MSG_VERSIONS_README3",
     L"inside it, each source's files keep their folders and names, and the folder \"From the PC\" "
     L"holds the files of the PC that a Synchronize replaced with newer backup copies."},
    {L"MSG_VERSIONS_README4",
     L"To get a version back, copy it to where you want it. Bexlo keeps every version for 7 days, "
     L"then one a day up to 30 days, one a week up to 26 weeks and one a month after that, and "
     L"always the last 3 versions of each file."},
    {L"MSG_HELD_BACK", L"Backup copies left as they were, since only new files were to be copied:"},
    {L"MSG_CONFLICT",
     L"Changed on both sides, or the same time on both sides with other contents: neither was "
     L"overwritten. Keep the one you want and press again."},
    {L"MSG_NO_ROOM_VERSION",
     L"There is no room to keep the earlier copy: the backup copy was left as it was."},
    {L"MSG_NOT_ON_DISK",
     L"The enclosure did not confirm that it holds the new copies; the next press copies them "
     L"again."},
    {L"MSG_SOURCE_LINK",
     L"This saved item has become a link to another place since it was saved: it was not backed "
     L"up. If the link is meant, save the item again."},
    {L"MSG_SOURCE_OTHER",
     L"This saved folder is no longer the folder that was saved (it was replaced or moved): it "
     L"was not backed up. To back up the folder now there, save it again."},
    {L"MSG_LINK_MOVED",
     L"This saved link leads to another place than when it was saved: nothing was synchronized "
     L"into it. If that is meant, save it again."},
    {L"MSG_DEST_NOT_PLAIN",
     L"The destination, or a folder above it on the enclosure, is a link or lies on another "
     L"disk: nothing was backed up. Choose the destination again and save."},
    {L"MSG_NO_USER_SHELL",
     L"Explorer, which runs with your own rights, could not do this; Bexlo runs with "
     L"administrator rights and does not do it itself. Open it in Explorer:"},
    {L"MSG_DATA_REFUSED",
     L"Bexlo reads and writes none of its saved choices: a program without administrator rights "
     L"may have prepared the folder below. An administrator must remove or repair it; then install "
     L"Bexlo again."},
    {L"MSG_DATA_LINK", L"It is a link (junction or symbolic link)."},
    {L"MSG_DATA_OWNER", L"It belongs to neither the administrators nor the system, but to:"},
    {L"MSG_DATA_UNREADABLE", L"Its owner cannot be read."},
    {L"MSG_DATA_MISSING", L"It is missing and cannot be made."},
    {L"MSG_SUM_NOTHING", L"Nothing is saved for backup yet."},
    {L"MSG_SUM_ONE", L"folder to"},
    {L"MSG_SUM_MANY", L"folders to"},
    {L"MSG_SUM_LAST", L"Last backup:"},
    {L"MSG_SUM_NONE", L"none yet"},
    {L"MSG_TODAY", L"today"},
    {L"MSG_YESTERDAY", L"yesterday"},
    {L"MSG_REMIND_TITLE", L"Time for a backup"},
    {L"MSG_REMIND_DAYS", L"Days since the last complete backup:"},
    {L"MSG_REMIND_NEVER", L"No complete backup has been made yet."},
    {L"MSG_REMIND_PRESS", L"Attach the enclosure and press its button."},
    {L"MSG_CHECK_MENU", L"Check the backup\u2026"},
    {L"MSG_CHECK_CAPTION", L"Backup check"},
    {L"MSG_CHECK_READ", L"Read back:"},
    {L"MSG_CHECK_OF", L"of"},
    {L"MSG_CHECK_LEFT", L"Time left: about"},
    {L"MSG_CHECK_GOOD", L"Read back as written:"},
    {L"MSG_CHECK_DAMAGED", L"Reads back different from what was written:"},
    {L"MSG_CHECK_UNREADABLE", L"Could not be read:"},
    {L"MSG_CHECK_MISSING", L"Missing from the enclosure:"},
    {L"MSG_CHECK_VERSION", L"(an earlier version)"},
    {L"MSG_CHECK_MORE", L"More, listed in the run log:"},
    {L"MSG_CHECK_REPAIR",
     L"Backup copies the next press copies again from the PC, keeping the damaged ones aside:"},
    {L"MSG_CHECK_STOPPED",
     L"The check was stopped. The next check goes on where this one stopped."},
    {L"MSG_CHECK_ALL_GOOD", L"Nothing read back different from what was written."},
    {L"MSG_CHECK_NOTHING", L"The enclosure holds no backup of this PC to check yet."},
    {L"MSG_CHECK_NO_DEST", L"Attach the enclosure that holds the backup, then check again."},
    {L"MSG_CHECK_OFFER",
     L"Many backups were made since the backup was last read back from the enclosure. Check it "
     L"now? Each backup copy is read once and compared with what was written."},
    {L"MSG_CHECK_RECENT", L"Read back in 30 days:"},
    {L"MSG_SIZE_UNITS", L"bytes KB MB GB TB"},
    {L"MSG_DECIMAL_MARK", L"."},
    {L"MSG_CHECK_STOP", L"Stop"},
    {L"MSG_CHECK_TITLE", L"Checking the backup"},
    {L"MSG_RESTORE_MENU", L"Restore files\u2026"},
    {L"MSG_RESTORE_TITLE", L"Restore files"},
    {L"MSG_RESTORE_MOMENT", L"Backup as it was:"},
    {L"MSG_RESTORE_LATEST", L"Latest"},
    {L"MSG_RESTORE_FIND", L"Find by name:"},
    {L"MSG_RESTORE_NAME", L"Name"},
    {L"MSG_RESTORE_SIZE", L"Size"},
    {L"MSG_RESTORE_MODIFIED", L"Modified"},
    {L"MSG_RESTORE_NOTE", L"Note"},
    {L"MSG_RESTORE_THINNED", L"nearest state kept"},
    {L"MSG_RESTORE_GONE", L"no longer on the PC"},
    {L"MSG_RESTORE_FROM_PC", L"From the PC"},
    {L"MSG_RESTORE_VERSIONS", L"&Versions\u2026"},
    {L"MSG_RESTORE_HERE", L"&Restore"},
    {L"MSG_RESTORE_TO", L"Restore &to\u2026"},
    {L"MSG_RESTORE_CLOSE", L"Close"},
    {L"MSG_RESTORE_CANCEL", L"Cancel"},
    {L"MSG_RESTORE_DOING", L"Restoring:"},
    {L"MSG_RESTORE_FILES", L"files"},
    {L"MSG_RESTORE_DONE", L"Files restored:"},
    {L"MSG_RESTORE_SAME", L"Already the same on the PC, left alone:"},
    {L"MSG_RESTORE_PROBLEMS", L"Could not be restored:"},
    {L"MSG_RESTORE_NOT_AS_KEPT", L"reads different from what was backed up"},
    {L"MSG_RESTORE_LINK", L"a link lies on the way"},
    {L"MSG_RESTORE_NOT_KEPT", L"the file on the PC could not be kept first"},
    {L"MSG_RESTORE_FAILED", L"could not be read or written"},
    {L"MSG_RESTORE_MORE", L"More:"},
    {L"MSG_RESTORE_CANCELLED", L"The restore was cancelled. What was restored stays."},
    {L"MSG_RESTORE_NOTHING", L"Tick the files and folders to restore."},
    {L"MSG_RESTORE_NO_BACKUP", L"Attach the enclosure that holds the backup, then try again."},
    {L"MSG_RESTORE_PICK_BACKUP", L"Pick the backup folder on the enclosure."},
    {L"MSG_RESTORE_PICK_TARGET", L"Pick the folder to restore into."},
    {L"MSG_RESTORE_OTHER_PC", L"This backup was made on another PC:"},
    {L"MSG_RESTORE_PLACES", L"Its folders are restored to these places on this PC:"},
    {L"MSG_RESTORE_SAVE", L"Back up these folders into this backup at each press from now on?"},
    {L"MSG_VERSIONS_OF", L"Versions of"},
    {L"MSG_VERSIONS_REPLACED", L"Replaced"},
    {L"MSG_VERSIONS_COPY", L"not replaced: the backup copy"},
    {L"MSG_RESTORE_NOT_OWNED", L"Restored, but still owned by the administrators:"},
}};

// Keys of the UI file in reading order. The first nine are main dialog captions (NEW_DOLDER is
// read but used nowhere); the last five are the UI texts.
constexpr std::array<KeyDefault, kCaptionCount - 1> kCaptionKeys{{
    {L"PATH_SETTING", L"Path Setting"},
    {L"BACKUP_STYLE", L"Backup Style"},
    {L"DESTINATION", L"Destination"},
    {L"SOURCE", L"Source"},
    {L"BT_SAVE", L"Save"},
    {L"BT_CLEAR", L"Clear"},
    {L"RD_COPY", L"Copy"},
    {L"RD_SYNC", L"Synchronize"},
}};
constexpr wchar_t kNewFolderKey[] = L"NEW_DOLDER";
constexpr wchar_t kCopyProgressDefault[] = L"Total copy progress: ";

std::wstring ReadValue(const ProfileSource& source, const std::wstring& file,
                       const std::wstring& section, const wchar_t* key) {
    std::wstring value = source.Read(file, section, key);
    if (value.size() > kMaxProfileValue) {
        value.resize(kMaxProfileValue);
    }
    return value;
}

// A section name that would not fit the language choice's buffer names no language of ours;
// cutting it short could pick some other section, so it is not used at all.
std::wstring ReadLanguageChoice(const ProfileSource& source, const wchar_t* key) {
    std::wstring section = ReadValue(source, SetupFile(), L"MAIN", key);
    return section.size() > kMaxSectionName ? std::wstring() : section;
}

}  // namespace

const wchar_t* DefaultCaption(Caption id) {
    return id == Caption::CopyProgress ? kCopyProgressDefault
                                       : kCaptionKeys[static_cast<std::size_t>(id)].text;
}

void SetDefaultMessages(MessageTexts& messages) {
    for (std::size_t i = 0; i < kMessageCount; ++i) {
        messages[static_cast<Msg>(i)] = kMessageKeys[i].text;
    }
}

void SetDefaultUiTexts(UiTexts& ui) {
    ui.copyProgress = kCopyProgressDefault;
    ui.dirName = L"Directory Name:";
    ui.cancel = L"Cancel";
    ui.about = L"About";
    ui.ok = L"OK";
    ui.newSourceFolder = L"New folder in the source tree";
    ui.newTargetFolder = L"New folder in the destination tree";
    ui.sourcePath = L"Selected source";
    ui.targetPath = L"Selected destination";
}

void LoadUiStrings(const ProfileSource& source, std::wstring section, LanguageTexts& texts) {
    std::array<std::wstring, kCaptionKeys.size()> captions;
    for (std::size_t i = 0; i < captions.size(); ++i) {
        captions[i] = ReadValue(source, UiStringFile(), section, kCaptionKeys[i].key);
        if (captions[i].empty()) {
            return;
        }
    }
    if (ReadValue(source, UiStringFile(), section, kNewFolderKey).empty()) {
        return;
    }
    // These five are read straight into the texts in use, so the key that ends the reading
    // leaves its own text empty while the ones after it keep their defaults.
    const std::array<std::pair<const wchar_t*, std::wstring*>, 5> uiKeys{{
        {L"COPY_PRGS", &texts.ui.copyProgress},
        {L"DIR_NAME", &texts.ui.dirName},
        {L"BT_OK", &texts.ui.ok},
        {L"BT_CANCEL", &texts.ui.cancel},
        {L"ABOUT", &texts.ui.about},
    }};
    for (const auto& [key, target] : uiKeys) {
        *target = ReadValue(source, UiStringFile(), section, key);
        if (target->empty()) {
            return;
        }
    }
    for (std::size_t i = 0; i < captions.size(); ++i) {
        texts.captions[i] = std::move(captions[i]);
    }
    texts.captions[static_cast<std::size_t>(Caption::CopyProgress)] = texts.ui.copyProgress;
    texts.captionsChanged = true;
}

namespace {

// The names a screen reader says are read one by one: a language that lacks one keeps English.
void LoadAccessibleNames(const ProfileSource& source, const std::wstring& section, UiTexts& ui) {
    const std::array<std::pair<const wchar_t*, std::wstring*>, 4> keys{{
        {L"ACC_NEW_SRC_DIR", &ui.newSourceFolder},
        {L"ACC_NEW_DST_DIR", &ui.newTargetFolder},
        {L"ACC_SRC_PATH", &ui.sourcePath},
        {L"ACC_DST_PATH", &ui.targetPath},
    }};
    for (const auto& [key, target] : keys) {
        if (std::wstring value = ReadValue(source, UiStringFile(), section, key); !value.empty()) {
            *target = std::move(value);
        }
    }
}

}  // namespace

void LoadMessageStrings(const ProfileSource& source, std::wstring section, MessageTexts& messages) {
    for (std::size_t i = 0; i < kMessageCount; ++i) {
        std::wstring value = ReadValue(source, MsgStringFile(), section, kMessageKeys[i].key);
        if (!value.empty()) {
            messages[static_cast<Msg>(i)] = std::move(value);
        }
    }
}

LanguageTexts LoadStringFiles(const ProfileSource& source) {
    LanguageTexts texts;
    SetDefaultMessages(texts.messages);
    SetDefaultUiTexts(texts.ui);
    if (std::wstring ui = ReadLanguageChoice(source, L"UI_String"); !ui.empty()) {
        LoadAccessibleNames(source, ui, texts.ui);
        LoadUiStrings(source, std::move(ui), texts);
    }
    if (std::wstring msg = ReadLanguageChoice(source, L"Msg_String"); !msg.empty()) {
        LoadMessageStrings(source, std::move(msg), texts.messages);
    }
    return texts;
}

}  // namespace bexlo
