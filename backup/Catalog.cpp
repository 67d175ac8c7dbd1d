#include "backup/Catalog.h"

#include <utility>

#include "backup/CatalogFiles.h"
#include "backup/CatalogStore.h"
#include "backup/VersionIndex.h"
#include "backup/Versions.h"
#include "framework/NameCase.h"
#include "framework/LongPath.h"

namespace bexlo {

namespace {

// The versions folder is there, made when missing, and is a folder of its own, no link.
bool FolderOfItsOwn(FileSystem& fs, const std::wstring& folder) {
    std::optional<FileEntry> found = fs.Find(folder);
    if (!found) {
        if (!Missing(fs.LastError()) ||
            (!fs.CreateFolder(folder) && fs.LastError() != file_error::kAlreadyExists)) {
            return false;
        }
        found = fs.Find(folder);
    }
    return found && found->folder && !found->link;
}

// Moves the catalog, and its journal with it, to a new name beside it, which says why and when.
bool SetAside(FileSystem& fs, const std::wstring& path, Catalog::Start why, std::int64_t now) {
    const std::wstring base =
        path + (why == Catalog::Start::Damaged ? L".damaged-" : L".other-destination-") +
        PressFolderName(now);
    std::wstring aside = base;
    for (int n = 2; !fs.MoveNew(path, aside); ++n) {
        if (fs.LastError() != file_error::kAlreadyExists || n > 99) {
            return false;
        }
        aside = base + L" (" + std::to_wstring(n) + L")";
    }
    const std::wstring journal = path + L"-journal";
    const std::optional<FileEntry> found = fs.Find(journal);
    return found ? fs.MoveNew(journal, aside + L"-journal") : Missing(fs.LastError());
}

// The catalog at `path` once checked, or a new one in its place; none when neither can be had.
std::unique_ptr<CatalogStore> Usable(FileSystem& fs, const std::wstring& path,
                                     const FileId& destination, std::int64_t now,
                                     Catalog::Start& start) {
    using Verdict = CatalogStore::Verdict;
    const std::optional<FileEntry> found = fs.Find(path);
    if (found ? found->folder || found->link : !Missing(fs.LastError())) {
        return nullptr;
    }
    std::unique_ptr<CatalogStore> store;
    start = Catalog::Start::New;
    if (found) {
        Verdict verdict = Verdict::Damaged;
        if (found->size <= kCatalogFileLimit) {
            store = CatalogStore::Open(fs, path, false);
            if (!store) {
                return nullptr;
            }
            verdict = store->Check(destination);
        }
        switch (verdict) {
            case Verdict::Catalog:
                start = Catalog::Start::Kept;
                return store;
            case Verdict::Unreachable:
                return nullptr;
            case Verdict::Empty:
                break;
            case Verdict::Damaged:
            case Verdict::OtherDestination:
                store.reset();
                start = verdict == Verdict::Damaged ? Catalog::Start::Damaged
                                                    : Catalog::Start::OtherDestination;
                if (!SetAside(fs, path, start, now)) {
                    return nullptr;
                }
                break;
        }
    }
    if (!store) {
        store = CatalogStore::Open(fs, path, true);
        if (!store || store->Check(destination) != Verdict::Empty) {
            return nullptr;
        }
    }
    return store->Create(destination) ? std::move(store) : nullptr;
}

}  // namespace

// The press's side of the catalog: what it has staged, and what it must remember across its
// commits. An error of the database's ends its use for the press.
class Catalog::Database {
public:
    Database(std::unique_ptr<CatalogStore> store, Start start, CatalogStore::Press press,
             std::int64_t now)
        : store_(std::move(store)), start_(start), press_(press), now_(now) {}

    Start HowStarted() const { return start_; }
    std::int64_t UnfinishedSince() const { return press_.unfinishedSince; }

    FolderRecords Folder(const std::wstring& folder) {
        std::optional<FolderRecords> records;
        if (!broken_) {
            const std::lock_guard lock(SqliteLock());
            records = store_->Read(folder, press_.machine);
        }
        if (!records) {
            Break();
            return {};
        }
        std::int64_t listed = records->seen;
        if (const auto before = listedBefore_.find(folder); before != listedBefore_.end()) {
            records->seen = before->second;
            listed = now_;
        }
        if (const auto staged = stage_.find(folder); staged != stage_.end()) {
            for (const auto& [key, record] : staged->second.records) {
                if (record) {
                    records->mine.insert_or_assign(key, *record);
                } else {
                    records->mine.erase(key);
                }
            }
        }
        for (auto& [key, record] : records->mine) {
            if (!record.gone) {
                record.seen = listed;
            }
        }
        return std::move(*records);
    }

    void Stage(const std::wstring& folder, const std::wstring& name,
               std::optional<CatalogRecord> record) {
        if (!broken_) {
            stage_[folder].records.insert_or_assign(FoldCase(name), std::move(record));
        }
    }

    void Seen(const std::wstring& folder) {
        if (broken_) {
            return;
        }
        if (!listedBefore_.contains(folder)) {
            std::optional<std::int64_t> before;
            {
                const std::lock_guard lock(SqliteLock());
                before = store_->Listed(folder, press_.machine);
            }
            if (!before) {
                Break();
                return;
            }
            listedBefore_.emplace(folder, *before);
        }
        stage_[folder].listed = true;
    }

    std::size_t StagedCount() const {
        std::size_t count = 0;
        for (const auto& [folder, staged] : stage_) {
            count += staged.records.size() + (staged.listed ? 1 : 0);
        }
        return count;
    }

    bool Write(bool finish) {
        if (broken_) {
            return false;
        }
        // Only a mark this press or an earlier one left needs clearing.
        const bool clear = finish && (marked_ || press_.unfinishedSince != 0);
        if (stage_.empty() && !clear) {
            return true;
        }
        bool written = false;
        {
            const std::lock_guard lock(SqliteLock());
            written = store_->Write(stage_, press_.machine, now_, clear);
        }
        if (!written) {
            Break();
            return false;
        }
        stage_.clear();
        if (clear) {
            press_.unfinishedSince = 0;
            marked_ = false;
        }
        return true;
    }

    bool BeforeCopying() {
        if (broken_) {
            return false;
        }
        if (marked_ || press_.unfinishedSince != 0) {
            return true;
        }
        bool written = false;
        {
            const std::lock_guard lock(SqliteLock());
            written = store_->MarkUnfinished(press_.machine, now_);
        }
        if (!written) {
            Break();
            return false;
        }
        marked_ = true;
        return true;
    }

    void Break() {
        broken_ = true;
        stage_.clear();
    }

    std::optional<std::vector<RecordToCheck>> RecordsToCheck() {
        const std::lock_guard lock(SqliteLock());
        return broken_ ? std::nullopt : store_->RecordsToCheck(press_.machine);
    }

    std::optional<std::map<std::wstring, std::int64_t>> VersionsChecked() {
        const std::lock_guard lock(SqliteLock());
        return broken_ ? std::nullopt : store_->VersionsChecked();
    }

    bool WriteChecks(std::int64_t checked, const std::vector<CopyChecked>& copies,
                     const std::vector<std::wstring>& versions) {
        const std::lock_guard lock(SqliteLock());
        return !broken_ && store_->WriteChecks(press_.machine, checked, copies, versions);
    }

private:
    std::unique_ptr<CatalogStore> store_;
    Start start_;
    CatalogStore::Press press_;
    std::int64_t now_;
    CatalogStage stage_;
    // The folders this press listed, each with its listing before this press.
    std::map<std::wstring, std::int64_t> listedBefore_;
    // This press marked itself unfinished before its first copy.
    bool marked_ = false;
    bool broken_ = false;
};

std::unique_ptr<Catalog> Catalog::Open(FileSystem& fs, const std::wstring& destination,
                                       const std::wstring& machine, std::int64_t now) {
    try {
        // Held until the end: whatever is dropped on the way closes its database under it.
        const std::lock_guard lock(SqliteLock());
        const std::wstring versions = JoinPath(destination, kVersionsFolderName);
        const std::optional<FileId> identity =
            FolderOfItsOwn(fs, versions) ? fs.Identity(destination) : std::nullopt;
        if (!identity) {
            return nullptr;
        }
        Start start = Start::New;
        std::unique_ptr<CatalogStore> store =
            Usable(fs, JoinPath(versions, kCatalogName), *identity, now, start);
        const std::optional<CatalogStore::Press> press =
            store ? store->StartPress(FoldCase(machine)) : std::nullopt;
        if (!press) {
            return nullptr;
        }
        auto database = std::make_unique<Database>(std::move(store), start, *press, now);
        return std::unique_ptr<Catalog>(new Catalog(std::move(database)));
    } catch (...) {
        return nullptr;
    }
}

Catalog::Catalog(std::unique_ptr<Database> database) : database_(std::move(database)) {}

Catalog::~Catalog() {
    const std::lock_guard lock(SqliteLock());
    database_.reset();
}

Catalog::Start Catalog::HowStarted() const {
    return database_->HowStarted();
}

std::int64_t Catalog::UnfinishedSince() const {
    return database_->UnfinishedSince();
}

FolderRecords Catalog::Folder(const std::wstring& folder) {
    try {
        return database_->Folder(folder);
    } catch (...) {
        database_->Break();
        return {};
    }
}

void Catalog::Put(const std::wstring& folder, const CatalogRecord& record) {
    try {
        database_->Stage(folder, record.name, record);
    } catch (...) {
        database_->Break();
    }
}

void Catalog::Forget(const std::wstring& folder, const std::wstring& name) {
    try {
        database_->Stage(folder, name, std::nullopt);
    } catch (...) {
        database_->Break();
    }
}

void Catalog::Seen(const std::wstring& folder) {
    try {
        database_->Seen(folder);
    } catch (...) {
        database_->Break();
    }
}

std::size_t Catalog::StagedCount() const {
    return database_->StagedCount();
}

bool Catalog::Commit() {
    try {
        return database_->Write(false);
    } catch (...) {
        database_->Break();
        return false;
    }
}

bool Catalog::BeforeCopying() {
    try {
        return database_->BeforeCopying();
    } catch (...) {
        database_->Break();
        return false;
    }
}

bool Catalog::Finish() {
    try {
        return database_->Write(true);
    } catch (...) {
        database_->Break();
        return false;
    }
}

std::optional<std::vector<RecordToCheck>> Catalog::RecordsToCheck() {
    try {
        return database_->RecordsToCheck();
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<std::map<std::wstring, std::int64_t>> Catalog::VersionsChecked() {
    try {
        return database_->VersionsChecked();
    } catch (...) {
        return std::nullopt;
    }
}

bool Catalog::WriteChecks(std::int64_t checked, const std::vector<CopyChecked>& copies,
                          const std::vector<std::wstring>& versions) {
    try {
        return database_->WriteChecks(checked, copies, versions);
    } catch (...) {
        return false;
    }
}

std::wstring CatalogFolderKey(const std::wstring& destination, const std::wstring& folder) {
    std::size_t start = destination.size();
    while (start > 0 && destination[start - 1] == L'\\') {
        --start;
    }
    while (start < folder.size() && folder[start] == L'\\') {
        ++start;
    }
    std::size_t end = folder.size();
    while (end > start && folder[end - 1] == L'\\') {
        --end;
    }
    return start < end ? FoldCase(std::wstring_view(folder).substr(start, end - start))
                       : std::wstring();
}

}  // namespace bexlo
