#include "backup/RestoreSetup.h"

#include <algorithm>

#include "framework/LongPath.h"
#include "framework/NameCase.h"

namespace bexlo {

namespace {

bool Names(const std::vector<std::wstring>& saved, const std::wstring& source) {
    return std::any_of(saved.begin(), saved.end(), [&](const std::wstring& path) {
        return FoldCase(path) == FoldCase(source);
    });
}

}  // namespace

std::optional<RestoreSetup> SetupRestore(FileSystem& fs, const std::wstring& destination,
                                         const std::vector<std::wstring>& saved,
                                         const PcPlaces& here) {
    const std::optional<BackupSources> file = ReadSourcesFile(fs, destination);
    const bool savedNamesThem =
        file && std::all_of(file->sources.begin(), file->sources.end(),
                            [&](const std::wstring& source) { return Names(saved, source); });
    if (!file || file->sources.empty() || (!saved.empty() && savedNamesThem)) {
        if (saved.empty()) {
            return std::nullopt;
        }
        return RestoreSetup{destination, saved, saved, std::nullopt, false, here.identity};
    }
    const bool otherPc = FoldCase(file->pc.identity) != FoldCase(here.identity);
    RestoreSetup setup{destination, file->sources,
                       {},          otherPc ? std::optional(file->pc) : std::nullopt,
                       true,        file->pc.identity};
    const auto exists = [&fs](const std::wstring& path) {
        return fs.Find(LongPath(path)).has_value();
    };
    for (const std::wstring& source : file->sources) {
        setup.places.push_back(PlaceOnThisPc(source, file->pc, here, exists));
    }
    return setup;
}

std::vector<RestoreItem> PlacedItems(const std::vector<FileAtMoment>& files,
                                     const RestoreSetup& setup, const std::wstring& elsewhere) {
    std::vector<RestoreItem> items = RestoreItems(files, setup.sources, elsewhere);
    if (!elsewhere.empty()) {
        return items;
    }
    for (RestoreItem& item : items) {
        for (std::size_t i = 0; i < setup.sources.size() && i < setup.places.size(); ++i) {
            if (item.root == setup.sources[i]) {
                item.target = setup.places[i] + item.target.substr(item.root.size());
                item.root = setup.places[i];
                break;
            }
        }
    }
    return items;
}

}  // namespace bexlo
