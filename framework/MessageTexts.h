#pragma once

// The message-box texts every part of the program shows. The language files fill them in; the
// parts that show a box name the text by its key.

#include <array>
#include <cstddef>
#include <string>

namespace bexlo {

// The message-box texts, in the order the message file lists its keys.
enum class Msg : std::size_t {
    NoSelect,
    CannotSave,
    PathLost,
    KeyLost,
    DiffVol,
    DirExist,
    MkdirFail,
    Over100,
    CopyFail,
    CopyOver,
    NoDestDir,
    SourceOverlap,
    NotCopied,
    SeeLog,
    SourceMissing,
    DeviceGone,
    SameName,
    PathTooLong,
    FatLimit,
    DestinationGone,
    StoppedEarly,
    LinkNotFollowed,
    Encrypted,
    OtherSession,
    VersionsName,
    MassChange,
    MassReplaced,
    MassBoth,
    MassDamaged,
    SignEmpty,
    SignShrunk,
    SignType,
    ChoiceAll,
    ChoiceNew,
    ChoiceCancel,
    EarlierVersions,
    VersionsReadMe1,
    VersionsReadMe2,
    VersionsReadMe3,
    VersionsReadMe4,
    HeldBack,
    Conflict,
    NoRoomVersion,
    NotOnDisk,
    SourceBecameLink,
    SourceReplaced,
    LinkMoved,
    DestinationNotPlain,
    NoUserShell,
    DataRefused,
    DataLink,
    DataOwner,
    DataUnreadable,
    DataMissing,
    NothingSaved,
    OneFolderTo,
    FoldersTo,
    LastBackup,
    NoBackupYet,
    Today,
    Yesterday,
    RemindTitle,
    DaysSinceBackup,
    NoBackupMade,
    AttachAndPress,
    CheckMenu,
    CheckCaption,
    CheckRead,
    CheckOf,
    CheckLeft,
    CheckGood,
    CheckDamaged,
    CheckUnreadable,
    CheckMissing,
    CheckVersion,
    CheckMore,
    CheckRepair,
    CheckStopped,
    CheckAllGood,
    CheckNothing,
    CheckNoDestination,
    CheckOffer,
    CheckRecent,
    SizeUnits,
    DecimalMark,
    CheckStop,
    CheckTitle,
    Count
};

inline constexpr std::size_t kMessageCount = static_cast<std::size_t>(Msg::Count);

class MessageTexts {
public:
    const std::wstring& operator[](Msg id) const { return texts_[static_cast<std::size_t>(id)]; }
    std::wstring& operator[](Msg id) { return texts_[static_cast<std::size_t>(id)]; }

private:
    std::array<std::wstring, kMessageCount> texts_;
};

}  // namespace bexlo
