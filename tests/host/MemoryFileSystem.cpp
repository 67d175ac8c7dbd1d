#include "tests/host/MemoryFileSystem.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "framework/NameCase.h"
#include "backup/CopyInPlace.h"

namespace bexlo {

namespace {

std::vector<std::wstring> Segments(const std::wstring& path) {
    std::vector<std::wstring> segments;
    for (std::size_t start = 2; start < path.size();) {
        const std::size_t end = std::min(path.find(L'\\', start), path.size());
        if (end > start) {
            segments.push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return segments;
}

bool HasDrive(const std::wstring& path) {
    return path.size() >= 2 && path[1] == L':' && (path.size() == 2 || path[2] == L'\\');
}

constexpr std::wstring_view kLongPrefix = L"\\\\?\\";

std::wstring WithoutLongPrefix(const std::wstring& path) {
    return path.starts_with(kLongPrefix) ? path.substr(kLongPrefix.size()) : path;
}

}  // namespace

wchar_t MemoryFileSystem::Upper(wchar_t c) {
    return FoldCase(std::wstring_view(&c, 1))[0];
}

MemoryFileSystem::Node& MemoryFileSystem::NewNode(const std::wstring& key, const std::wstring& path,
                                                  bool folder) {
    Node& node = nodes_[key] = Node{};
    node.path = path;
    node.folder = folder;
    node.index = nextIndex_++;
    return node;
}

std::optional<std::wstring> MemoryFileSystem::Admit(Op op, std::wstring path, bool gated) const {
    const bool longForm = path.starts_with(kLongPrefix);
    if (longForm) {
        path.erase(0, kLongPrefix.size());
    }
    // The platform's limits for plain paths: MAX_PATH less the terminator, and less room for an
    // 8.3 name for a new folder.
    const std::size_t limit = op == Op::CreateFolder ? 247 : 259;
    if (!longForm && path.size() > limit) {
        return Missing(file_error::kFilenameTooLong);
    }
    if (!HasDrive(path) || detached_.count(Upper(path[0])) != 0) {
        return Missing(file_error::kNotReady);
    }
    if (gated && gate && !gate(op, path)) {
        return Missing(gateError);
    }
    // As on the real disks, a change goes one folder at a time from the drive's root or a
    // confined folder, and through no link on the way.
    const bool change =
        op == Op::CreateFolder || op == Op::MoveOver || op == Op::RemoveFile || op == Op::WriteFile;
    if (change && ThroughLink(path)) {
        return Missing(file_error::kAccessDenied);
    }
    return path;
}

bool MemoryFileSystem::ThroughLink(const std::wstring& path) const {
    const std::vector<std::wstring> segments = Segments(path);
    std::wstring key{Upper(path[0]), L':'};
    std::wstring shown = path.substr(0, 2);
    for (std::size_t i = 0; i + 1 < segments.size(); ++i) {
        key = Follow(key) + L'\\' + FoldCase(segments[i]);
        shown += L'\\' + segments[i];
        const auto node = nodes_.find(key);
        if (node == nodes_.end()) {
            return false;
        }
        const bool root = std::any_of(confined_.begin(), confined_.end(), [&](const auto& folder) {
            return FoldCase(WithoutLongPrefix(folder)) == FoldCase(shown);
        });
        if (!node->second.linkTo.empty() && !root) {
            return true;
        }
    }
    return false;
}

std::wstring MemoryFileSystem::Follow(const std::wstring& key) const {
    auto node = nodes_.find(key);
    return node != nodes_.end() && !node->second.linkTo.empty() ? node->second.linkTo : key;
}

std::optional<std::wstring> MemoryFileSystem::Resolve(const std::wstring& path) const {
    if (!HasDrive(path) || nodes_.count(std::wstring{Upper(path[0]), L':'}) == 0) {
        return std::nullopt;
    }
    std::wstring key{Upper(path[0]), L':'};
    for (const std::wstring& segment : Segments(path)) {
        auto folder = nodes_.find(Follow(key));
        if (folder == nodes_.end() || !folder->second.folder) {
            return std::nullopt;
        }
        key = folder->first + L'\\' + FoldCase(segment);
        // A link onto a drive that is gone leads nowhere.
        if (nodes_.count(key) == 0 || detached_.count(Follow(key)[0]) != 0) {
            return std::nullopt;
        }
    }
    return key;
}

std::optional<std::wstring> MemoryFileSystem::ResolveFolder(const std::wstring& path) const {
    const std::optional<std::wstring> key = Resolve(path);
    if (!key) {
        return std::nullopt;
    }
    auto folder = nodes_.find(Follow(*key));
    return folder != nodes_.end() && folder->second.folder ? std::optional(folder->first)
                                                           : std::nullopt;
}

std::optional<MemoryFileSystem::Slot> MemoryFileSystem::SlotFor(const std::wstring& path) const {
    const std::vector<std::wstring> segments =
        HasDrive(path) ? Segments(path) : std::vector<std::wstring>{};
    if (segments.empty()) {
        return std::nullopt;
    }
    std::wstring parent = path.substr(0, 2);
    for (std::size_t i = 0; i + 1 < segments.size(); ++i) {
        parent += L'\\' + segments[i];
    }
    const std::optional<std::wstring> folder = ResolveFolder(parent);
    if (!folder) {
        return std::nullopt;
    }
    const std::wstring& name = segments.back();
    return Slot{*folder + L'\\' + FoldCase(name), nodes_.at(*folder).path + L'\\' + name};
}

MemoryFileSystem::Node& MemoryFileSystem::AddEntry(const std::wstring& path, bool folder) {
    const std::size_t slash = path.rfind(L'\\');
    const std::wstring parent = MakeFolders(path.substr(0, slash));
    const std::wstring name = path.substr(slash + 1);
    return NewNode(parent + L'\\' + FoldCase(name), nodes_.at(parent).path + L'\\' + name, folder);
}

std::wstring MemoryFileSystem::MakeFolders(const std::wstring& path) {
    std::wstring key{Upper(path[0]), L':'};
    if (nodes_.count(key) == 0) {
        NewNode(key, key, true);
    }
    for (const std::wstring& segment : Segments(path)) {
        const std::wstring folder = Follow(key);
        key = folder + L'\\' + FoldCase(segment);
        if (nodes_.count(key) == 0) {
            NewNode(key, nodes_.at(folder).path + L'\\' + segment, true);
        }
    }
    return Follow(key);
}

std::vector<const MemoryFileSystem::Node*> MemoryFileSystem::Children(
    const std::wstring& key) const {
    std::vector<const Node*> children;
    const std::wstring prefix = key + L'\\';
    for (auto at = nodes_.lower_bound(prefix); at != nodes_.end() && at->first.starts_with(prefix);
         ++at) {
        if (at->first.find(L'\\', prefix.size()) == std::wstring::npos) {
            children.push_back(&at->second);
        }
    }
    return children;
}

void MemoryFileSystem::AddFile(const std::wstring& path, const std::string& data,
                               std::int64_t lastWrite, std::optional<std::uint64_t> size) {
    Node& node = AddEntry(path, false);
    node.data = data;
    node.size = size;
    node.lastWrite = lastWrite;
    node.changeTime = ++clock_;
}

void MemoryFileSystem::AddLink(const std::wstring& path, const std::wstring& to) {
    const std::wstring target = MakeFolders(to);
    AddEntry(path, true).linkTo = target;
}

void MemoryFileSystem::AddFileLink(const std::wstring& path, const std::wstring& to) {
    AddEntry(path, false).linkTo = *Resolve(to);
}

void MemoryFileSystem::Mark(const std::wstring& path, FileMarks marks) {
    nodes_.at(*Resolve(path)).marks = marks;
}

void MemoryFileSystem::PowerCut() {
    for (auto& [key, node] : nodes_) {
        if (!node.unflushed) {
            continue;
        }
        if (node.durable) {
            for (std::size_t i = 0; i < node.data.size(); ++i) {
                if (i >= node.durable->size() || node.data[i] != (*node.durable)[i]) {
                    node.data[i] = '\0';
                }
            }
        } else {
            node.data.assign(node.data.size(), '\0');
        }
        Flushed(node);
    }
}

void MemoryFileSystem::Flushed(Node& node) {
    node.unflushed = false;
    if (node.durable) {
        node.durable = node.data;
    }
}

void MemoryFileSystem::Remove(const std::wstring& path) {
    if (const std::optional<std::wstring> key = Resolve(path)) {
        std::erase_if(nodes_, [&](const auto& entry) {
            return entry.first == *key || entry.first.starts_with(*key + L'\\');
        });
    }
}

std::optional<std::string> MemoryFileSystem::Data(const std::wstring& path) const {
    const std::optional<std::wstring> key = Resolve(path);
    if (!key || nodes_.at(*key).folder || nodes_.count(Follow(*key)) == 0) {
        return std::nullopt;
    }
    return nodes_.at(Follow(*key)).data;
}

std::map<std::wstring, std::string> MemoryFileSystem::Snapshot(wchar_t drive) const {
    std::map<std::wstring, std::string> out;
    for (const auto& [key, node] : nodes_) {
        if (key.size() <= 2 || (drive != 0 && key[0] != Upper(drive))) {
            continue;
        }
        out[node.path] = !node.linkTo.empty() ? "<link>"
                         : node.folder        ? "<folder>"
                                              : node.data + "@" + std::to_string(node.lastWrite);
    }
    return out;
}

std::uint64_t MemoryFileSystem::UsedBytes(wchar_t drive) const {
    std::uint64_t used = 0;
    const wchar_t letter = Upper(drive);
    for (auto at = nodes_.lower_bound(std::wstring(1, letter));
         at != nodes_.end() && at->first[0] == letter; ++at) {
        used += at->second.folder ? 0 : at->second.Bytes();
    }
    return used;
}

void MemoryFileSystem::Cut(Fault fault, int step, wchar_t drive, std::atomic<int>& present) {
    fault_ = fault;
    cut_ = step;
    steps_ = 0;
    faultDrive_ = Upper(drive);
    present_ = &present;
    struck_.reset();
    gateError = file_error::kAccessDenied;
    gate = [this](Op op, const std::wstring& path) { return Step(op, path); };
    beforeCopy = [this](const std::wstring& from) { Step(std::nullopt, from); };
}

bool MemoryFileSystem::Step(std::optional<Op> op, const std::wstring& path) {
    if (++steps_ < cut_ || cut_ == 0 || struck_) {
        return true;
    }
    const bool fits = fault_ == Fault::RefusedWrite
                          ? op == Op::CopyFileData || op == Op::MoveOver || op == Op::CreateFolder
                      : fault_ == Fault::FailedSearch ? op == Op::List || op == Op::Find
                      : fault_ == Fault::HeldOpen || fault_ == Fault::Vanished
                          ? !op && Resolve(path)
                          : true;
    if (!fits) {
        return true;
    }
    struck_ = path;
    switch (fault_) {
        case Fault::Pulled:
            Detach(faultDrive_);
            *present_ = 0;
            return Upper(path[0]) != faultDrive_;
        case Fault::DiskFull:
            capacities[faultDrive_] = UsedBytes(faultDrive_);
            return true;
        case Fault::HeldOpen:
            HoldOpen(path);
            return true;
        case Fault::Vanished:
            vanished_.emplace(*Resolve(path), nodes_.at(*Resolve(path)));
            nodes_.erase(vanished_->first);
            return true;
        case Fault::RefusedWrite:
        case Fault::FailedSearch:
            break;
    }
    return false;
}

void MemoryFileSystem::Heal(std::atomic<int>& present) {
    gate = nullptr;
    beforeCopy = nullptr;
    Attach(faultDrive_);
    present = 1;
    LetGo();
    capacities.clear();
    if (vanished_) {
        nodes_.insert(*vanished_);
        vanished_.reset();
    }
}

FileEntry MemoryFileSystem::EntryOf(const Node& node) const {
    const bool changeTimes = withoutChangeTimes.count(Upper(node.path[0])) == 0;
    return {.name = node.path.substr(node.path.rfind(L'\\') + 1),
            .folder = node.folder,
            .size = node.Bytes(),
            .lastWrite = node.lastWrite,
            .changeTime = changeTimes ? node.changeTime : 0,
            .link = !node.linkTo.empty(),
            .hidden = node.marks.hidden,
            .system = node.marks.system,
            .encrypted = node.marks.encrypted,
            .fileId = node.index};
}

FileState MemoryFileSystem::StateAt(const std::wstring& key) const {
    return StateOf(EntryOf(nodes_.at(key)));
}

std::optional<FileEntry> MemoryFileSystem::Find(const std::wstring& pathIn) {
    const std::optional<std::wstring> path = Admit(Op::Find, pathIn);
    const std::optional<std::wstring> key = path ? Resolve(*path) : std::nullopt;
    if (!key || key->size() == 2) {
        return path ? Missing(file_error::kPathNotFound) : std::nullopt;
    }
    FileEntry entry = EntryOf(nodes_.at(*key));
    entry.changeTime = 0;
    entry.fileId = 0;
    return entry;
}

std::optional<FileEntry> MemoryFileSystem::Inspect(const std::wstring& pathIn) {
    const std::optional<std::wstring> path = Admit(Op::Find, pathIn);
    const std::optional<std::wstring> key = path ? Resolve(*path) : std::nullopt;
    if (!key || key->size() == 2) {
        return path ? Missing(file_error::kPathNotFound) : std::nullopt;
    }
    return EntryOf(nodes_.at(*key));
}

std::optional<std::vector<FileEntry>> MemoryFileSystem::List(const std::wstring& folderIn) {
    const std::optional<std::wstring> folder = Admit(Op::List, folderIn);
    const std::optional<std::wstring> key = folder ? ResolveFolder(*folder) : std::nullopt;
    if (!key) {
        return folder ? Missing(file_error::kPathNotFound) : std::nullopt;
    }
    std::vector<FileEntry> entries;
    for (const Node* child : Children(*key)) {
        if (unlisted.count(child->path) == 0) {
            entries.push_back(EntryOf(*child));
        }
    }
    return entries;
}

std::optional<FileId> MemoryFileSystem::Identity(const std::wstring& folderIn) {
    const std::optional<std::wstring> folder = Admit(Op::Identity, folderIn);
    const std::optional<std::wstring> key = folder ? ResolveFolder(*folder) : std::nullopt;
    if (!key) {
        return folder ? Missing(file_error::kPathNotFound) : std::nullopt;
    }
    const std::uint64_t index = nodes_.at(*key).index;
    // The volume as the platform names it: by its serial where it has one.
    const auto serial = volumeSerials.find((*key)[0]);
    const std::uint64_t volume =
        serial != volumeSerials.end() ? serial->second : static_cast<std::uint64_t>((*key)[0]);
    // ReFS: every folder's id differs only in its high half.
    return wideIds ? FileId{volume, 0, index} : FileId{volume, index, 0};
}

bool MemoryFileSystem::CreateFolder(const std::wstring& pathIn) {
    const std::optional<std::wstring> path = Admit(Op::CreateFolder, pathIn);
    const std::optional<Slot> slot = path ? SlotFor(*path) : std::nullopt;
    if (!slot) {
        return path &&
               Failed(Resolve(*path) ? file_error::kAlreadyExists : file_error::kPathNotFound);
    }
    if (nodes_.count(slot->key) != 0) {
        return Failed(file_error::kAlreadyExists);
    }
    NewNode(slot->key, slot->path, true);
    return true;
}

bool MemoryFileSystem::CopyFileData(const std::wstring& fromIn, const std::wstring& toIn) {
    const std::optional<std::wstring> from = Admit(Op::CopyFileData, fromIn, false);
    const std::optional<std::wstring> to = from ? Admit(Op::CopyFileData, toIn, false) : from;
    if (!to) {
        return false;
    }
    if (ThroughLink(*to)) {
        return Failed(file_error::kAccessDenied);
    }
    if (beforeCopy) {
        beforeCopy(*from);
    }
    const std::optional<std::wstring> link = Resolve(*from);
    const std::optional<std::wstring> source = link ? std::optional(Follow(*link)) : link;
    if (!source || nodes_.count(*source) == 0 || nodes_.at(*source).folder) {
        return Failed(file_error::kPathNotFound);
    }
    if (nodes_.at(*source).marks.encrypted) {
        return Failed(file_error::kFileEncrypted);
    }
    if (!WithinConfinement(*to)) {
        return false;
    }
    if (heldOpen_.count(FoldCase(*from)) != 0) {
        return Failed(file_error::kSharingViolation);
    }
    const std::optional<Slot> slot = SlotFor(*to);
    if (!slot) {
        return Failed(file_error::kPathNotFound);
    }
    // A file link is written through, as the platform does.
    auto existing = nodes_.find(Follow(slot->key));
    if (existing != nodes_.end() && existing->second.folder) {
        return Failed(file_error::kAccessDenied);
    }
    Node& target =
        existing != nodes_.end() ? existing->second : NewNode(slot->key, slot->path, false);
    target.unflushed = true;
    const Node& data = nodes_.at(*source);
    // The target's old bytes are given back as it is overwritten; a file it replaces later keeps
    // its own until then.
    const auto capacity = capacities.find(slot->key[0]);
    const std::uint64_t inUse = UsedBytes(slot->key[0]) - target.Bytes();
    if (capacity != capacities.end() && inUse + data.Bytes() > capacity->second) {
        target.data = data.data.substr(0, capacity->second - std::min(inUse, capacity->second));
        target.size.reset();
        return Failed(file_error::kDiskFull);
    }
    if (gate && !gate(Op::CopyFileData, *to)) {
        target.data = data.data.substr(0, data.data.size() / 2);
        target.size.reset();
        return Failed(gateError);
    }
    target.data = data.data;
    target.size = data.size;
    target.lastWrite = data.lastWrite;
    target.changeTime = ++clock_;
    target.marks.hidden = data.marks.hidden;
    target.marks.system = data.marks.system;
    return true;
}

bool MemoryFileSystem::Rename(const std::wstring& fromIn, const std::wstring& toIn, bool replace) {
    const std::optional<std::wstring> from = Admit(Op::MoveOver, fromIn, false);
    const std::optional<std::wstring> to = from ? Admit(Op::MoveOver, toIn) : from;
    if (!to) {
        return false;
    }
    const std::optional<std::wstring> moving = Resolve(*from);
    const std::optional<Slot> slot = SlotFor(*to);
    if (!moving || nodes_.at(*moving).folder || !slot) {
        return Failed(file_error::kPathNotFound);
    }
    auto existing = nodes_.find(slot->key);
    if (existing != nodes_.end() && existing->second.folder) {
        return Failed(file_error::kAccessDenied);
    }
    if (existing != nodes_.end() && !replace) {
        return Failed(file_error::kAlreadyExists);
    }
    Node moved = nodes_.at(*moving);
    moved.path = existing != nodes_.end() ? existing->second.path : slot->path;
    nodes_.erase(*moving);
    nodes_[slot->key] = moved;
    return true;
}

bool MemoryFileSystem::RemoveFile(const std::wstring& pathIn) {
    const std::optional<std::wstring> path = Admit(Op::RemoveFile, pathIn);
    const std::optional<std::wstring> key = path ? Resolve(*path) : std::nullopt;
    if (!key || nodes_.at(*key).folder) {
        return path && Failed(file_error::kPathNotFound);
    }
    nodes_.erase(*key);
    return true;
}

bool MemoryFileSystem::GiveToThePerson(const std::wstring& pathIn) {
    const std::optional<std::wstring> path = Admit(Op::GiveToThePerson, pathIn);
    const std::optional<std::wstring> key = path ? Resolve(*path) : std::nullopt;
    if (!key || nodes_.at(*key).folder) {
        return path && Failed(file_error::kPathNotFound);
    }
    givenToThePerson.insert(nodes_.at(*key).path);
    return true;
}

bool MemoryFileSystem::RemoveEmptyFolder(const std::wstring& pathIn) {
    const std::optional<std::wstring> path = Admit(Op::RemoveFile, pathIn);
    const std::optional<Slot> slot = path ? SlotFor(*path) : std::nullopt;
    const auto node = slot ? nodes_.find(slot->key) : nodes_.end();
    if (node == nodes_.end() || !node->second.folder) {
        return path && Failed(file_error::kPathNotFound);
    }
    if (node->second.linkTo.empty() && !Children(slot->key).empty()) {
        return Failed(file_error::kDirNotEmpty);
    }
    nodes_.erase(node);
    return true;
}

std::optional<VolumeSpace> MemoryFileSystem::Space(const std::wstring& pathIn) {
    const std::optional<std::wstring> path = Admit(Op::VolumeSerial, pathIn);
    const auto capacity = path ? capacities.find(Upper((*path)[0])) : capacities.end();
    if (capacity == capacities.end()) {
        return path ? Missing(file_error::kAccessDenied) : std::nullopt;
    }
    const std::uint64_t used = UsedBytes(capacity->first);
    return VolumeSpace{capacity->second, capacity->second - std::min(used, capacity->second)};
}

class MemoryFileSystem::OpenCopy {
public:
    OpenCopy(MemoryFileSystem& fs, const std::wstring& partial, const std::wstring& to)
        : fs_(fs), partial_(partial), to_(to) {}
    bool Rename(bool replace) { return fs_.Rename(partial_, to_, replace); }
    bool Flush() {
        const std::optional<std::wstring> key = fs_.Resolve(WithoutLongPrefix(partial_));
        if (key) {
            fs_.nodes_.at(*key).unflushed = false;
        }
        return key.has_value();
    }
    std::uint32_t Error() const { return fs_.lastError_; }

private:
    MemoryFileSystem& fs_;
    const std::wstring& partial_;
    const std::wstring& to_;
};

bool MemoryFileSystem::WithinConfinement(const std::wstring& file) const {
    if (confined_.empty()) {
        return true;
    }
    const std::wstring plain = WithoutLongPrefix(file);
    const std::optional<std::wstring> folder = ResolveFolder(plain.substr(0, plain.rfind(L'\\')));
    if (!folder) {
        return Failed(file_error::kPathNotFound);
    }
    return std::any_of(confined_.begin(), confined_.end(),
                       [&](const std::wstring& root) {
                           const std::optional<std::wstring> key =
                               ResolveFolder(WithoutLongPrefix(root));
                           return key && (*folder == *key || folder->starts_with(*key + L'\\'));
                       }) ||
           Failed(file_error::kAccessDenied);
}

class MemoryFileSystem::Staged : public StagedCopy {
public:
    Staged(MemoryFileSystem& fs, const std::wstring& partial, const std::wstring& to, FileRead read)
        : fs_(fs), partial_(partial), to_(to), read_(read) {}
    ~Staged() override {
        if (!placed_) {
            const std::uint32_t error = fs_.lastError_;
            fs_.RemoveFile(partial_);
            fs_.lastError_ = error;
        }
    }

    const FileRead& Source() const override { return read_; }

    bool Flush() override {
        const std::optional<std::wstring> key =
            fs_.Resolve(WithoutLongPrefix(placed_ ? to_ : partial_));
        if (key) {
            fs_.Flushed(fs_.nodes_.at(*key));
        }
        return key.has_value();
    }

    std::optional<FileState> Place(CopyPlacing placing) override {
        OpenCopy copy(fs_, partial_, to_);
        if (placed_ || !PlaceCopy(copy, placing)) {
            return std::nullopt;
        }
        placed_ = true;
        const std::optional<std::wstring> key = fs_.Resolve(WithoutLongPrefix(to_));
        if (!key) {
            return fs_.Missing(file_error::kPathNotFound);
        }
        return fs_.StateAt(*key);
    }

private:
    MemoryFileSystem& fs_;
    std::wstring partial_;
    std::wstring to_;
    FileRead read_;
    bool placed_ = false;
};

std::unique_ptr<StagedCopy> MemoryFileSystem::StageCopy(const std::wstring& from,
                                                        const std::wstring& partial,
                                                        const std::wstring& to) {
    // The partial copy is made new: a leftover under its name goes first.
    if (Resolve(WithoutLongPrefix(partial)) && !RemoveFile(partial)) {
        return nullptr;
    }
    // What the copy reads is what the source holds as it starts.
    const std::optional<std::wstring> link = Resolve(WithoutLongPrefix(from));
    const auto source = link ? nodes_.find(Follow(*link)) : nodes_.end();
    const std::optional<FileRead> read =
        source != nodes_.end()
            ? std::optional(FileRead{StateOf(EntryOf(source->second)),
                                     HashOf(std::span(reinterpret_cast<const std::uint8_t*>(
                                                          source->second.data.data()),
                                                      source->second.data.size()))})
            : std::nullopt;
    if (!CopyFileData(from, partial) || !read) {
        const std::uint32_t error = lastError_;
        RemoveFile(partial);
        lastError_ = error;
        return nullptr;
    }
    return std::make_unique<Staged>(*this, partial, to, *read);
}

std::optional<FileRead> MemoryFileSystem::ReadThrough(const std::wstring& pathIn) {
    const std::optional<std::wstring> path = Admit(Op::ReadFile, pathIn);
    if (!path) {
        return std::nullopt;
    }
    if (beforeCopy) {
        beforeCopy(*path);
    }
    const std::optional<std::wstring> key = Resolve(*path);
    if (!key || key->size() == 2 || detached_.count(Upper((*path)[0])) != 0) {
        return Missing(file_error::kPathNotFound);
    }
    const Node& node = nodes_.at(*key);
    if (node.folder || !node.linkTo.empty()) {
        return Missing(file_error::kAccessDenied);
    }
    if (heldOpen_.count(FoldCase(*path)) != 0) {
        return Missing(file_error::kSharingViolation);
    }
    return FileRead{StateAt(*key),
                    HashOf(std::span(reinterpret_cast<const std::uint8_t*>(node.data.data()),
                                     node.data.size()))};
}

namespace {

// What the file held when it was opened; a bad sector fails every read that reaches it.
class MemorySequentialFile : public SequentialFile {
public:
    MemorySequentialFile(std::string data, std::optional<std::uint64_t> bad)
        : data_(std::move(data)), bad_(bad) {}

    std::uint64_t Size() const override { return data_.size(); }

    std::optional<std::size_t> Read(std::span<std::uint8_t> into) override {
        if (reinterpret_cast<std::uintptr_t>(into.data()) % kSequentialAlign != 0 ||
            into.size() % kSequentialAlign != 0) {
            return std::nullopt;
        }
        const std::size_t count = std::min(into.size(), data_.size() - at_);
        if (bad_ && *bad_ < at_ + count + (count == 0 ? 1 : 0)) {
            return std::nullopt;
        }
        std::memcpy(into.data(), data_.data() + at_, count);
        at_ += count;
        return count;
    }

private:
    std::string data_;
    std::optional<std::uint64_t> bad_;
    std::size_t at_ = 0;
};

}  // namespace

std::unique_ptr<SequentialFile> MemoryFileSystem::OpenSequential(const std::wstring& pathIn) {
    const std::optional<std::wstring> path = Admit(Op::ReadFile, pathIn);
    if (!path) {
        return nullptr;
    }
    const std::optional<std::wstring> key = Resolve(*path);
    if (!key || key->size() == 2 || detached_.count(Upper((*path)[0])) != 0) {
        Failed(file_error::kPathNotFound);
        return nullptr;
    }
    const Node& node = nodes_.at(*key);
    if (node.folder || !node.linkTo.empty()) {
        Failed(file_error::kAccessDenied);
        return nullptr;
    }
    if (heldOpen_.count(FoldCase(*path)) != 0) {
        Failed(file_error::kSharingViolation);
        return nullptr;
    }
    const auto bad = badSectors.find(FoldCase(*path));
    return std::make_unique<MemorySequentialFile>(
        node.data, bad != badSectors.end() ? std::optional(bad->second) : std::nullopt);
}

bool MemoryFileSystem::FlushVolume(const std::wstring& pathIn) {
    const std::optional<std::wstring> path = Admit(Op::Flush, pathIn);
    if (!path) {
        return false;
    }
    const wchar_t drive = Upper((*path)[0]);
    if (volumeFlushRefused.count(drive) != 0) {
        return Failed(file_error::kAccessDenied);
    }
    ++volumeFlushes[drive];
    for (auto& [key, node] : nodes_) {
        if (key[0] == drive) {
            Flushed(node);
        }
    }
    return true;
}

bool MemoryFileSystem::FlushFile(const std::wstring& pathIn) {
    const std::optional<std::wstring> path = Admit(Op::Flush, pathIn);
    const std::optional<std::wstring> key = path ? Resolve(*path) : std::nullopt;
    if (!key || nodes_.at(*key).folder) {
        return path && Failed(file_error::kPathNotFound);
    }
    Flushed(nodes_.at(*key));
    return true;
}

// A file of the program's own, written in place. Each call finds its node again: the drive may
// have gone, or the file been taken away, behind its back.
class MemoryFileSystem::OwnFile : public RandomAccessFile {
public:
    OwnFile(MemoryFileSystem& fs, std::wstring key, std::wstring path)
        : fs_(fs), key_(std::move(key)), path_(std::move(path)) {}
    // A handle is let go even while its drive is away: once back, the file opens again.
    ~OwnFile() override {
        if (const auto node = fs_.nodes_.find(key_); node != fs_.nodes_.end()) {
            node->second.openOwn = false;
        }
    }

    std::optional<std::size_t> ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) override {
        const Node* node = Reach(false);
        if (node == nullptr) {
            return std::nullopt;
        }
        const std::string& data = node->data;
        if (offset >= data.size()) {
            return 0;
        }
        const std::size_t count = std::min<std::size_t>(into.size(), data.size() - offset);
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(offset), count, into.begin());
        return count;
    }

    bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
        Node* node = Reach(true);
        if (node == nullptr) {
            return false;
        }
        const std::uint64_t end = offset + bytes.size();
        if (!Fits(*node, std::max<std::uint64_t>(end, node->data.size()))) {
            return fs_.Failed(file_error::kDiskFull);
        }
        if (end > node->data.size()) {
            node->data.resize(end, '\0');
        }
        std::copy(bytes.begin(), bytes.end(),
                  node->data.begin() + static_cast<std::ptrdiff_t>(offset));
        node->unflushed = true;
        return true;
    }

    bool Truncate(std::uint64_t size) override {
        Node* node = Reach(true);
        if (node == nullptr || !Fits(*node, size)) {
            return node != nullptr && fs_.Failed(file_error::kDiskFull);
        }
        node->data.resize(size, '\0');
        node->unflushed = true;
        return true;
    }

    bool Sync() override {
        Node* node = Reach(false);
        if (node == nullptr) {
            return false;
        }
        fs_.Flushed(*node);
        return true;
    }

    std::optional<std::uint64_t> Size() override {
        const Node* node = Reach(false);
        return node != nullptr ? std::optional<std::uint64_t>(node->data.size()) : std::nullopt;
    }

private:
    // The node, while its drive is attached; a write is a step of a cut run.
    Node* Reach(bool write) {
        if (!fs_.Admit(write ? Op::WriteFile : Op::ReadFile, path_)) {
            return nullptr;
        }
        const auto node = fs_.nodes_.find(key_);
        if (node == fs_.nodes_.end()) {
            fs_.Failed(file_error::kFileNotFound);
            return nullptr;
        }
        return &node->second;
    }

    bool Fits(const Node& node, std::uint64_t size) const {
        const auto capacity = fs_.capacities.find(key_[0]);
        return capacity == fs_.capacities.end() ||
               fs_.UsedBytes(key_[0]) - node.Bytes() + size <= capacity->second;
    }

    MemoryFileSystem& fs_;
    std::wstring key_;
    std::wstring path_;
};

std::unique_ptr<RandomAccessFile> MemoryFileSystem::OpenOwnFile(const std::wstring& pathIn,
                                                                bool create) {
    const std::optional<std::wstring> path = Admit(Op::WriteFile, pathIn);
    const std::optional<Slot> slot = path ? SlotFor(*path) : std::nullopt;
    if (!slot) {
        if (path) {
            Failed(file_error::kPathNotFound);
        }
        return nullptr;
    }
    // No link on the way: each folder's entry is a folder of its own.
    std::wstring folder{Upper((*path)[0]), L':'};
    for (const std::wstring& segment : Segments(*path)) {
        const auto node = nodes_.find(folder);
        if (node == nodes_.end() || !node->second.linkTo.empty()) {
            Failed(file_error::kAccessDenied);
            return nullptr;
        }
        folder += L'\\' + FoldCase(segment);
    }
    auto existing = nodes_.find(slot->key);
    if (existing == nodes_.end()) {
        if (!create) {
            Failed(file_error::kFileNotFound);
            return nullptr;
        }
        NewNode(slot->key, slot->path, false).changeTime = ++clock_;
        existing = nodes_.find(slot->key);
    }
    Node& node = existing->second;
    if (node.folder || !node.linkTo.empty()) {
        Failed(file_error::kAccessDenied);
        return nullptr;
    }
    if (node.openOwn) {
        Failed(file_error::kSharingViolation);
        return nullptr;
    }
    node.openOwn = true;
    if (!node.durable) {
        node.durable = node.unflushed ? std::string() : node.data;
    }
    return std::make_unique<OwnFile>(*this, slot->key, *path);
}

std::optional<std::vector<std::uint8_t>> MemoryFileSystem::ReadFileBytes(const std::wstring& pathIn,
                                                                         std::size_t limit) {
    const std::optional<std::wstring> path = Admit(Op::ReadFile, pathIn);
    const std::optional<std::string> data = path ? Data(*path) : std::nullopt;
    if (!data) {
        return path ? Missing(file_error::kPathNotFound) : std::nullopt;
    }
    return std::vector<std::uint8_t>(
        data->begin(), data->begin() + static_cast<std::ptrdiff_t>(std::min(data->size(), limit)));
}

bool MemoryFileSystem::WriteFileReplacing(const std::wstring& pathIn,
                                          std::span<const std::uint8_t> bytes) {
    const std::optional<std::wstring> path = Admit(Op::WriteFile, pathIn);
    const std::optional<Slot> slot = path ? SlotFor(*path) : std::nullopt;
    if (!slot) {
        return path && Failed(file_error::kPathNotFound);
    }
    if (nodes_.count(slot->key) != 0 && nodes_.at(slot->key).folder) {
        return Failed(file_error::kAccessDenied);
    }
    Node& written = NewNode(slot->key, slot->path, false);
    written.data.assign(bytes.begin(), bytes.end());
    written.changeTime = ++clock_;
    return true;
}

std::optional<std::uint32_t> MemoryFileSystem::VolumeSerial(const std::wstring& pathIn) {
    const std::optional<std::wstring> path = Admit(Op::VolumeSerial, pathIn);
    const auto serial = path ? volumeSerials.find(Upper((*path)[0])) : volumeSerials.end();
    if (serial == volumeSerials.end()) {
        return path ? Missing(file_error::kNotReady) : std::nullopt;
    }
    return serial->second;
}

std::wstring MemoryFileSystem::VolumeFileSystem(const std::wstring& pathIn) {
    const std::optional<std::wstring> path = Admit(Op::VolumeSerial, pathIn, false);
    const auto name = path ? fileSystems.find(Upper((*path)[0])) : fileSystems.end();
    return name != fileSystems.end() ? name->second : path ? L"NTFS" : L"";
}

}  // namespace bexlo
