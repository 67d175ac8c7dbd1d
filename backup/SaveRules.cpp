#include "backup/SaveRules.h"

#include "backup/PathList.h"
#include "backup/Versions.h"
#include "backup/WalkRules.h"
#include "framework/NameCase.h"

namespace bexlo {

namespace {

std::wstring BackupFolderName(const std::wstring& source) {
    return FoldCase(LastSegment(source));
}

}  // namespace

std::optional<SaveRefusal> CheckSavedPaths(const std::wstring& target,
                                           const std::vector<std::wstring>& sources) {
    using Why = SaveRefusal::Why;
    for (const std::wstring& path : sources) {
        if (path.size() > kMaxPathChars) {
            return SaveRefusal{Why::TooLong, {path}};
        }
    }
    if (target.size() > kMaxPathChars) {
        return SaveRefusal{Why::TooLong, {target}};
    }
    for (const std::wstring& source : sources) {
        if (SourceOverlapsTarget(source, target)) {
            return SaveRefusal{Why::Overlaps, {source}};
        }
    }
    for (const std::wstring& source : sources) {
        if (IsVersionsFolderName(LastSegment(source))) {
            return SaveRefusal{Why::VersionsName, {source}};
        }
    }
    for (std::size_t i = 0; i < sources.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (BackupFolderName(sources[i]) == BackupFolderName(sources[j])) {
                return SaveRefusal{Why::SameName, {sources[j], sources[i]}};
            }
        }
    }
    return std::nullopt;
}

}  // namespace bexlo
