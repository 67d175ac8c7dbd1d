#pragma once

// What each saved source was when it was saved: whether its path was a link, and which folder it
// led to. Kept beside path.txt, never in it, so that a source another program has since turned
// into a link, or swapped for another folder, is named and never walked.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "backup/FileSystem.h"
#include "framework/DataFolder.h"

namespace bexlo {

inline std::wstring SourceIdentityFile() {
    return DataFile(L"SourceIds.txt");
}
inline constexpr std::size_t kSourceIdentityReadLimit = 256 * 1024;

struct SourceIdentity {
    std::wstring path;
    // The path itself is a junction or a symbolic link.
    bool link = false;
    // The folder the path leads to; none for a file, or where the volume keeps no lasting ids.
    std::optional<FileId> folder;

    bool operator==(const SourceIdentity&) const = default;
};

std::vector<std::uint8_t> SourceIdentityBytes(const std::vector<SourceIdentity>& sources);
// Any bytes give a list; lines that cannot be read are left out.
std::vector<SourceIdentity> ReadSourceIdentities(std::span<const std::uint8_t> bytes);

// What the source at `path` is now; nothing when it cannot be looked at (a missing source).
std::optional<SourceIdentity> IdentifySource(FileSystem& fs, const std::wstring& path);

enum class SourceChange {
    None,
    // A plain folder or file when saved, a link now.
    BecameLink,
    // A plain folder when saved, another folder now under its path.
    OtherFolder,
    // A link when saved that leads elsewhere now: read through by Copy, never written into.
    LinkMoved,
};

// How the source changed since it was saved, as far as a press that writes into it (Synchronize)
// or only reads it cares.
SourceChange CompareSource(const SourceIdentity& saved, const SourceIdentity& now,
                           bool writesIntoIt);

// Records what the sources are now, as Save does; false when the file cannot be written.
bool SaveSourceIdentities(FileSystem& fs, const std::vector<std::wstring>& sources);

// The press's view: the saved identities, each source checked against its own, and the ones a
// press meets for the first time (or that Bexlo made again) recorded.
class SourceIdentities {
public:
    explicit SourceIdentities(FileSystem& fs);
    // How the source changed since it was saved; a source never recorded is recorded as it is now.
    SourceChange Check(const std::wstring& path, bool writesIntoIt);
    // The source was made again by the press itself: what it is now is recorded.
    void Remade(const std::wstring& path);
    // Writes what was recorded anew, if anything.
    void Keep();

private:
    SourceIdentity* Saved(const std::wstring& path);

    FileSystem& fs_;
    std::vector<SourceIdentity> saved_;
    bool changed_ = false;
};

}  // namespace bexlo
