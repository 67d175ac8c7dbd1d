#include "tests/host/MemoryFileSystem.h"

#include <algorithm>
#include <cwctype>

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

MemoryFileSystem::MemoryFileSystem() = default;

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

bool MemoryFileSystem::Reachable(const std::wstring& path) const {
    return HasDrive(path) && detached_.count(Upper(path[0])) == 0;
}

bool MemoryFileSystem::Allowed(Op op, const std::wstring& path) const {
    return Reachable(path) && (!gate || gate(op, path));
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

std::optional<std::string> MemoryFileSystem::Data(const std::wstring& path) const {
    const std::optional<Link> link = Resolve(path);
    if (!link || link->node->folder) {
        return std::nullopt;
    }
    return link->node->data;
}

std::optional<std::int64_t> MemoryFileSystem::LastWrite(const std::wstring& path) const {
    const std::optional<Link> link = Resolve(path);
    if (!link || link->node->folder) {
        return std::nullopt;
    }
    return link->node->lastWrite;
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

std::optional<FileEntry> MemoryFileSystem::Find(const std::wstring& path) {
    if (!Allowed(Op::Find, path)) {
        return std::nullopt;
    }
    const std::optional<Link> link = Resolve(path);
    if (!link || link->name.empty()) {
        return std::nullopt;
    }
    const Node& node = *link->node;
    return FileEntry{link->name, node.folder, node.size.value_or(node.data.size()), node.lastWrite};
}

std::optional<std::vector<FileEntry>> MemoryFileSystem::List(const std::wstring& folder) {
    if (!Allowed(Op::List, folder)) {
        return std::nullopt;
    }
    Node* node = ResolveFolder(folder);
    if (!node) {
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

std::optional<FileId> MemoryFileSystem::Identity(const std::wstring& folder) {
    if (!Allowed(Op::Identity, folder)) {
        return std::nullopt;
    }
    Node* node = ResolveFolder(folder);
    if (!node) {
        return std::nullopt;
    }
    return FileId{static_cast<std::uint64_t>(node->drive), node->index};
}

bool MemoryFileSystem::CreateFolder(const std::wstring& path) {
    if (!Allowed(Op::CreateFolder, path)) {
        return false;
    }
    auto [parent, name] = Parent(path);
    if (!parent || parent->children.count(UpperName(name)) != 0) {
        return false;
    }
    parent->children[UpperName(name)] = Link{name, NewNode(true, path[0]), false};
    return true;
}

bool MemoryFileSystem::CopyFileData(const std::wstring& from, const std::wstring& to) {
    const std::optional<Link> source = Resolve(from);
    auto [parent, name] = Parent(to);
    if (!Reachable(from) || !Reachable(to) || !source || source->node->folder || !parent) {
        return false;
    }
    Link& target = parent->children[UpperName(name)];
    if (target.node && target.node->folder) {
        return false;
    }
    if (!target.node) {
        target = Link{name, NewNode(false, to[0]), false};
    }
    if (gate && !gate(Op::CopyFileData, to)) {
        target.node->data = source->node->data.substr(0, source->node->data.size() / 2);
        return false;
    }
    target.node->data = source->node->data;
    target.node->size = source->node->size;
    target.node->lastWrite = source->node->lastWrite;
    return true;
}

bool MemoryFileSystem::MoveOver(const std::wstring& from, const std::wstring& to) {
    if (!Reachable(from) || !Allowed(Op::MoveOver, to)) {
        return false;
    }
    auto [fromParent, fromName] = Parent(from);
    auto [toParent, toName] = Parent(to);
    if (!fromParent || !toParent) {
        return false;
    }
    auto moving = fromParent->children.find(UpperName(fromName));
    if (moving == fromParent->children.end() || moving->second.node->folder) {
        return false;
    }
    auto existing = toParent->children.find(UpperName(toName));
    if (existing != toParent->children.end() && existing->second.node->folder) {
        return false;
    }
    Link moved{existing != toParent->children.end() ? existing->second.name : toName,
               moving->second.node, false};
    fromParent->children.erase(moving);
    toParent->children[UpperName(toName)] = moved;
    return true;
}

bool MemoryFileSystem::RemoveFile(const std::wstring& path) {
    if (!Allowed(Op::RemoveFile, path)) {
        return false;
    }
    auto [parent, name] = Parent(path);
    if (!parent) {
        return false;
    }
    auto found = parent->children.find(UpperName(name));
    if (found == parent->children.end() || found->second.node->folder) {
        return false;
    }
    parent->children.erase(found);
    return true;
}

std::optional<std::vector<std::uint8_t>> MemoryFileSystem::ReadFileBytes(const std::wstring& path,
                                                                         std::size_t limit) {
    if (!Allowed(Op::ReadFile, path)) {
        return std::nullopt;
    }
    const std::optional<std::string> data = Data(path);
    if (!data) {
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(
        data->begin(), data->begin() + static_cast<std::ptrdiff_t>(std::min(data->size(), limit)));
}

bool MemoryFileSystem::WriteFileReplacing(const std::wstring& path,
                                          std::span<const std::uint8_t> bytes) {
    auto [parent, name] = Parent(path);
    if (!Allowed(Op::WriteFile, path) || !parent) {
        return false;
    }
    Link& target = parent->children[UpperName(name)];
    if (target.node && target.node->folder) {
        return false;
    }
    target = Link{name, NewNode(false, path[0]), false};
    target.node->data.assign(bytes.begin(), bytes.end());
    return true;
}

std::optional<std::uint32_t> MemoryFileSystem::VolumeSerial(const std::wstring& path) {
    if (!Allowed(Op::VolumeSerial, path)) {
        return std::nullopt;
    }
    auto serial = volumeSerials.find(Upper(path[0]));
    if (serial == volumeSerials.end()) {
        return std::nullopt;
    }
    return serial->second;
}

}  // namespace bexlo
