#pragma once

// Earlier versions on the enclosure. Before a press replaces a file on either side, what the file
// held goes to "<destination>\Bexlo versions\<YYYY-MM-DD HHMMSS>\...": a backup copy by a rename
// on its own volume, a PC file by a copy. Each press folder holds an index of what it keeps,
// written before anything is moved into it; what is kept and what goes is decided from these
// records alone. Versions are thinned by age at the end of every press and never take more than a
// quarter of the volume, nor its last twentieth.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "backup/FileSystem.h"
#include "backup/VersionIndex.h"

namespace bexlo {

inline constexpr wchar_t kVersionsFolderName[] = L"Bexlo versions";
inline constexpr wchar_t kVersionsReadMeName[] = L"Read me.txt";

// The versions folder of the saved destination, as a plain path, when it is there and is a folder
// of its own, no link; nothing otherwise.
std::optional<std::wstring> EarlierVersionsFolder(FileSystem& fs);

// The name is the versions folder's, in any case.
bool IsVersionsFolderName(std::wstring_view name);

// One press's versions, from its first replacement to its thinning.
class VersionStore {
public:
    // `destination` is the press's destination folder; `now` the press's start, UTC.
    VersionStore(FileSystem& fs, const std::wstring& destination, std::int64_t now);

    // The text the versions folder's "Read me.txt" holds, written whenever a press keeps versions.
    void Explain(std::wstring text) { readMe_ = std::move(text); }
    // The records of the presses before this one, read once before the first version is kept.
    void Load();
    // The replacements the press means to make, written to its index before its first write so
    // that a press cut short can be understood.
    bool Plan(std::vector<VersionRecord> planned);
    // Keeps what `path` (an entry of that side, long form) holds before it is replaced by a copy of
    // `incoming` bytes. `relative` is its path below the backup folder: the source's name and its
    // path inside the source. False, with LastError telling why, when it could not be kept: the
    // file must not be replaced.
    // `record` is the copy's record in the catalog, which the index keeps beside the version.
    bool Keep(VersionSide side, const std::wstring& path, const FileEntry& entry,
              std::uint64_t incoming, const std::wstring& relative, VersionReason reason,
              const std::optional<CatalogRecord>& record = std::nullopt);
    // The last kept file was not replaced after all: a backup copy goes back to its name, a copy
    // of a PC file is removed.
    void Undo();
    // Thins every press's versions and writes the index of this one as it ends.
    void Finish();
    // Writes the index of this one as it ends, thinning nothing: for a restore, which keeps the
    // PC's files it replaces but is no press.
    void Seal();

    std::uint32_t LastError() const { return error_; }
    std::uint64_t Kept() const { return kept_; }
    const std::wstring& PressFolder() const { return pressFolder_; }

private:
    struct Version {
        std::wstring press;
        VersionRecord record;
        bool earlier = false;
        bool present = true;
    };

    bool OpenPress();
    // This press's index: what it planned and what it kept, or, once `complete`, what it kept.
    bool WriteIndex(bool complete);
    // Whether `bytes` more of versions fit, making room when they do not. `written` is what the
    // press puts on the destination's volume for it: the version, or the new copy beside it.
    bool Fits(std::uint64_t bytes, std::uint64_t written);
    bool MakeRoom(std::uint64_t bytes, std::uint64_t written);
    void Drop(Version& version);
    // Writes the index of an earlier press again, with what it still keeps; removes the press
    // folder when it keeps nothing.
    void Rewrite(const std::wstring& press);
    void RemoveEmptyFolders(const std::wstring& folder);
    // The folders from the versions folder down to the stored file are folders, not links: a
    // record never leads a removal elsewhere.
    bool NoLinkOnTheWay(const std::wstring& press, const std::wstring& stored);
    bool Fail(std::uint32_t error);
    std::uint64_t PresentBytes() const;
    std::wstring StoredPath(const std::wstring& press, const std::wstring& stored) const;

    FileSystem& fs_;
    // Its volume is asked for space: the versions folder may not be there yet.
    std::wstring destination_;
    std::wstring versionsFolder_;
    std::int64_t now_;
    std::vector<Version> versions_;
    // This press's planned versions not kept yet, by side and folded path.
    std::map<std::wstring, std::size_t> planned_;
    // Earlier presses whose index no longer says what they keep.
    std::set<std::wstring> stale_;
    // Folders this press made for its versions.
    std::set<std::wstring> madeFolders_;
    // Folders below the versions folder found to be no links.
    std::set<std::wstring> plainFolders_;
    bool usable_ = true;
    std::uint64_t bytes_ = 0;
    // Asking the volume for its space costs as much as keeping a version, so it is asked again
    // only after a run of versions or near the bound; between asks, what the press has written
    // for its versions is counted against the last answer.
    static constexpr std::uint32_t kAskSpaceEvery = 32;
    std::optional<VolumeSpace> space_;
    std::uint32_t versionsSinceAsked_ = 0;
    std::uint64_t writtenSinceAsked_ = 0;
    std::wstring pressName_;
    std::wstring pressFolder_;
    bool loaded_ = false;
    bool opened_ = false;
    std::uint32_t error_ = 0;
    std::uint64_t kept_ = 0;
    std::wstring readMe_;
    // The index of the last version kept, for Undo.
    std::optional<std::size_t> last_;
    std::wstring lastPath_;
};

}  // namespace bexlo
