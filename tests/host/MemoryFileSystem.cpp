#include "tests/host/MemoryFileSystem.h"

#include <algorithm>
#include <cwctype>
#include <string_view>

namespace bexlo {

namespace {

std::vector<std::wstring> Segments(const std::wstring& path) {
    std::vector<std::wstring> segments;
    std::size_t start = 2;
    while (start < path.size()) {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) {
            end = path.size();
        }
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

}  // namespace

wchar_t MemoryFileSystem::Upper(wchar_t c) {
    return static_cast<wchar_t>(std::towupper(static_cast<std::wint_t>(c)));
}

std::wstring MemoryFileSystem::UpperName(const std::wstring& name) {
    std::wstring upper = name;
    for (wchar_t& c : upper) {
        c = Upper(c);
    }
    return upper;
}

MemoryFileSystem::Node* MemoryFileSystem::NewNode(bool folder, wchar_t drive) {
    Node* node = nodes_.emplace_back(std::make_unique<Node>()).get();
    node->folder = folder;
    node->drive = Upper(drive);
    node->index = nextIndex_++;
    return node;
}

bool MemoryFileSystem::Admit(Op op, std::wstring& path, bool gated) const {
    constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
    const bool longForm = path.compare(0, kLongPrefix.size(), kLongPrefix) == 0;
    if (longForm) {
        path.erase(0, kLongPrefix.size());
    }
    // The platform's limits for plain paths: MAX_PATH less the terminator, and less room for an
    // 8.3 name for a new folder.
    const std::size_t limit = op == Op::CreateFolder ? 247 : 259;
    if (!longForm && path.size() > limit) {
        return Failed(file_error::kFilenameTooLong);
    }
    if (!HasDrive(path) || detached_.count(Upper(path[0])) != 0) {
        return Failed(file_error::kNotReady);
    }
    if (gated && gate && !gate(op, path)) {
        return Failed(gateError);
    }
    return true;
}

std::uint32_t MemoryFileSystem::MissingError(const std::wstring& path) const {
    return Parent(path).first != nullptr ? file_error::kFileNotFound : file_error::kPathNotFound;
}

std::optional<MemoryFileSystem::Link> MemoryFileSystem::Resolve(const std::wstring& path) const {
    if (!HasDrive(path)) {
        return std::nullopt;
    }
    auto drive = drives_.find(Upper(path[0]));
    if (drive == drives_.end()) {
        return std::nullopt;
    }
    Link current{L"", drive->second, false};
    for (const std::wstring& segment : Segments(path)) {
        if (!current.node->folder) {
            return std::nullopt;
        }
        auto child = current.node->children.find(UpperName(segment));
        if (child == current.node->children.end()) {
            return std::nullopt;
        }
        // A link onto a drive that is gone leads nowhere.
        if (detached_.count(child->second.node->drive) != 0) {
            return std::nullopt;
        }
        current = child->second;
    }
    return current;
}

MemoryFileSystem::Node* MemoryFileSystem::ResolveFolder(const std::wstring& path) const {
    const std::optional<Link> link = Resolve(path);
    return link && link->node->folder ? link->node : nullptr;
}

std::pair<MemoryFileSystem::Node*, std::wstring> MemoryFileSystem::Parent(
    const std::wstring& path) const {
    std::vector<std::wstring> segments =
        HasDrive(path) ? Segments(path) : std::vector<std::wstring>{};
    if (segments.empty()) {
        return {nullptr, L""};
    }
    const std::wstring name = segments.back();
    std::wstring parent = path.substr(0, 2);
    for (std::size_t i = 0; i + 1 < segments.size(); ++i) {
        parent += L'\\' + segments[i];
    }
    return {ResolveFolder(parent), name};
}

MemoryFileSystem::Node* MemoryFileSystem::MakeFolders(const std::wstring& path) {
    Node*& drive = drives_[Upper(path[0])];
    if (drive == nullptr) {
        drive = NewNode(true, path[0]);
    }
    Node* current = drive;
    for (const std::wstring& segment : Segments(path)) {
        Link& child = current->children[UpperName(segment)];
        if (child.node == nullptr) {
            child = Link{segment, NewNode(true, path[0]), false};
        }
        current = child.node;
    }
    return current;
}

void MemoryFileSystem::AddFolder(const std::wstring& path) {
    MakeFolders(path);
}

void MemoryFileSystem::AddFile(const std::wstring& path, const std::string& data,
                               std::int64_t lastWrite, std::optional<std::uint64_t> size) {
    const std::size_t slash = path.rfind(L'\\');
    Node* folder = MakeFolders(path.substr(0, slash));
    const std::wstring name = path.substr(slash + 1);
    auto node = NewNode(false, path[0]);
    node->data = data;
    node->size = size;
    node->lastWrite = lastWrite;
    folder->children[UpperName(name)] = Link{name, node, false};
}

void MemoryFileSystem::AddLink(const std::wstring& path, const std::wstring& to) {
    const std::size_t slash = path.rfind(L'\\');
    Node* folder = MakeFolders(path.substr(0, slash));
    const std::wstring name = path.substr(slash + 1);
    folder->children[UpperName(name)] = Link{name, MakeFolders(to), true};
}

void MemoryFileSystem::Remove(const std::wstring& path) {
    if (auto [parent, name] = Parent(path); parent != nullptr) {
        parent->children.erase(UpperName(name));
    }
}

std::optional<std::string> MemoryFileSystem::Data(const std::wstring& path) const {
    const std::optional<Link> link = Resolve(path);
    if (!link || link->node->folder) {
        return std::nullopt;
    }
    return link->node->data;
}

bool MemoryFileSystem::IsFolder(const std::wstring& path) const {
    return ResolveFolder(path) != nullptr;
}

void MemoryFileSystem::SnapshotInto(const std::wstring& path, const Node& folder,
                                    std::map<std::wstring, std::string>& out) const {
    for (const auto& [key, child] : folder.children) {
        const std::wstring childPath = path + L'\\' + child.name;
        if (child.isLink) {
            out[childPath] = "<link>";
        } else if (child.node->folder) {
            out[childPath] = "<folder>";
            SnapshotInto(childPath, *child.node, out);
        } else {
            out[childPath] = child.node->data + "@" + std::to_string(child.node->lastWrite);
        }
    }
}

std::map<std::wstring, std::string> MemoryFileSystem::Snapshot(wchar_t drive) const {
    std::map<std::wstring, std::string> out;
    auto found = drives_.find(Upper(drive));
    if (found != drives_.end()) {
        SnapshotInto(std::wstring(1, Upper(drive)) + L":", *found->second, out);
    }
    return out;
}

std::optional<FileEntry> MemoryFileSystem::Find(const std::wstring& pathIn) {
    std::wstring path = pathIn;
    if (!Admit(Op::Find, path)) {
        return std::nullopt;
    }
    const std::optional<Link> link = Resolve(path);
    if (!link || link->name.empty()) {
        Failed(MissingError(path));
        return std::nullopt;
    }
    const Node& node = *link->node;
    return FileEntry{link->name, node.folder, node.size.value_or(node.data.size()), node.lastWrite};
}

std::optional<std::vector<FileEntry>> MemoryFileSystem::List(const std::wstring& folderIn) {
    std::wstring folder = folderIn;
    if (!Admit(Op::List, folder)) {
        return std::nullopt;
    }
    Node* node = ResolveFolder(folder);
    if (!node) {
        Failed(file_error::kPathNotFound);
        return std::nullopt;
    }
    std::vector<FileEntry> entries;
    for (const auto& [key, child] : node->children) {
        const Node& entry = *child.node;
        entries.push_back(FileEntry{child.name, entry.folder,
                                    entry.size.value_or(entry.data.size()), entry.lastWrite});
    }
    return entries;
}

std::optional<FileId> MemoryFileSystem::Identity(const std::wstring& folderIn) {
    std::wstring folder = folderIn;
    if (!Admit(Op::Identity, folder)) {
        return std::nullopt;
    }
    Node* node = ResolveFolder(folder);
    if (!node) {
        Failed(MissingError(folder));
        return std::nullopt;
    }
    return FileId{static_cast<std::uint64_t>(node->drive), node->index};
}

bool MemoryFileSystem::CreateFolder(const std::wstring& pathIn) {
    std::wstring path = pathIn;
    if (!Admit(Op::CreateFolder, path)) {
        return false;
    }
    auto [parent, name] = Parent(path);
    if (!parent) {
        return Failed(Resolve(path) ? file_error::kAlreadyExists : file_error::kPathNotFound);
    }
    if (parent->children.count(UpperName(name)) != 0) {
        return Failed(file_error::kAlreadyExists);
    }
    parent->children[UpperName(name)] = Link{name, NewNode(true, path[0]), false};
    return true;
}

bool MemoryFileSystem::CopyFileData(const std::wstring& fromIn, const std::wstring& toIn) {
    std::wstring from = fromIn;
    std::wstring to = toIn;
    if (!Admit(Op::CopyFileData, from, false) || !Admit(Op::CopyFileData, to, false)) {
        return false;
    }
    if (beforeCopy) {
        beforeCopy(from);
    }
    const std::optional<Link> source = Resolve(from);
    if (!source || source->node->folder) {
        return Failed(MissingError(from));
    }
    if (heldOpen_.count(UpperName(from)) != 0) {
        return Failed(file_error::kSharingViolation);
    }
    auto [parent, name] = Parent(to);
    if (!parent) {
        return Failed(file_error::kPathNotFound);
    }
    Link& target = parent->children[UpperName(name)];
    if (target.node && target.node->folder) {
        return Failed(file_error::kAccessDenied);
    }
    if (!target.node) {
        target = Link{name, NewNode(false, to[0]), false};
    }
    const Node& data = *source->node;
    if (gate && !gate(Op::CopyFileData, to)) {
        target.node->data = data.data.substr(0, data.data.size() / 2);
        target.node->size.reset();
        return Failed(gateError);
    }
    target.node->data = data.data;
    target.node->size = data.size;
    target.node->lastWrite = data.lastWrite;
    return true;
}

bool MemoryFileSystem::MoveOver(const std::wstring& fromIn, const std::wstring& toIn) {
    std::wstring from = fromIn;
    std::wstring to = toIn;
    if (!Admit(Op::MoveOver, from, false) || !Admit(Op::MoveOver, to)) {
        return false;
    }
    auto [fromParent, fromName] = Parent(from);
    auto [toParent, toName] = Parent(to);
    if (!fromParent || !toParent) {
        return Failed(file_error::kPathNotFound);
    }
    auto moving = fromParent->children.find(UpperName(fromName));
    if (moving == fromParent->children.end() || moving->second.node->folder) {
        return Failed(file_error::kFileNotFound);
    }
    auto existing = toParent->children.find(UpperName(toName));
    if (existing != toParent->children.end() && existing->second.node->folder) {
        return Failed(file_error::kAccessDenied);
    }
    Link moved{existing != toParent->children.end() ? existing->second.name : toName,
               moving->second.node, false};
    fromParent->children.erase(moving);
    toParent->children[UpperName(toName)] = moved;
    return true;
}

bool MemoryFileSystem::RemoveFile(const std::wstring& pathIn) {
    std::wstring path = pathIn;
    if (!Admit(Op::RemoveFile, path)) {
        return false;
    }
    auto [parent, name] = Parent(path);
    if (!parent) {
        return Failed(file_error::kPathNotFound);
    }
    auto found = parent->children.find(UpperName(name));
    if (found == parent->children.end() || found->second.node->folder) {
        return Failed(file_error::kFileNotFound);
    }
    parent->children.erase(found);
    return true;
}

bool MemoryFileSystem::CopyFileReplacing(const std::wstring& from, const std::wstring& partial,
                                         const std::wstring& to) {
    if (CopyFileData(from, partial) && MoveOver(partial, to)) {
        return true;
    }
    const std::uint32_t error = lastError_;
    RemoveFile(partial);
    lastError_ = error;
    return false;
}

std::optional<std::vector<std::uint8_t>> MemoryFileSystem::ReadFileBytes(const std::wstring& pathIn,
                                                                         std::size_t limit) {
    std::wstring path = pathIn;
    if (!Admit(Op::ReadFile, path)) {
        return std::nullopt;
    }
    const std::optional<std::string> data = Data(path);
    if (!data) {
        Failed(MissingError(path));
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(
        data->begin(), data->begin() + static_cast<std::ptrdiff_t>(std::min(data->size(), limit)));
}

bool MemoryFileSystem::WriteFileReplacing(const std::wstring& pathIn,
                                          std::span<const std::uint8_t> bytes) {
    std::wstring path = pathIn;
    if (!Admit(Op::WriteFile, path)) {
        return false;
    }
    auto [parent, name] = Parent(path);
    if (!parent) {
        return Failed(file_error::kPathNotFound);
    }
    Link& target = parent->children[UpperName(name)];
    if (target.node && target.node->folder) {
        return Failed(file_error::kAccessDenied);
    }
    target = Link{name, NewNode(false, path[0]), false};
    target.node->data.assign(bytes.begin(), bytes.end());
    return true;
}

std::optional<std::uint32_t> MemoryFileSystem::VolumeSerial(const std::wstring& pathIn) {
    std::wstring path = pathIn;
    if (!Admit(Op::VolumeSerial, path)) {
        return std::nullopt;
    }
    auto serial = volumeSerials.find(Upper(path[0]));
    if (serial == volumeSerials.end()) {
        Failed(file_error::kNotReady);
        return std::nullopt;
    }
    return serial->second;
}

std::wstring MemoryFileSystem::VolumeFileSystem(const std::wstring& pathIn) {
    std::wstring path = pathIn;
    if (!Admit(Op::VolumeSerial, path, false)) {
        return {};
    }
    auto name = fileSystems.find(Upper(path[0]));
    return name != fileSystems.end() ? name->second : L"NTFS";
}

std::wstring MemoryFileSystem::ErrorText(std::uint32_t error) const {
    return L"error " + std::to_wstring(error);
}

}  // namespace bexlo
