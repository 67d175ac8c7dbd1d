// The network item: resources listed one level at a time by the platform's network enumeration.

#include <vector>

#include "framework/SystemFunction.h"
#include "treectrl/CTreeFileCtrl.h"

namespace bexlo {

namespace {

// The network enumeration's library, loaded from the system folder on first use and kept: not
// imported, since the loader would look for it in the program's folder first.
struct NetworkLibrary {
    NetworkLibrary() : module(LoadSystemLibrary(L"mpr.dll")) {
        if (module) {
            open = LibraryFunction<decltype(&::WNetOpenEnumW)>(module.Get(), "WNetOpenEnumW");
            enumerate =
                LibraryFunction<decltype(&::WNetEnumResourceW)>(module.Get(), "WNetEnumResourceW");
            close = LibraryFunction<decltype(&::WNetCloseEnum)>(module.Get(), "WNetCloseEnum");
        }
    }
    bool Usable() const { return open != nullptr && enumerate != nullptr && close != nullptr; }

    UniqueModule module;
    decltype(&::WNetOpenEnumW) open = nullptr;
    decltype(&::WNetEnumResourceW) enumerate = nullptr;
    decltype(&::WNetCloseEnum) close = nullptr;
};

const NetworkLibrary& Network() {
    static const NetworkLibrary library;
    return library;
}

struct NetworkEnumTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { Network().close(h); }
};
using UniqueNetworkEnum = UniqueHandle<NetworkEnumTraits>;

std::wstring Text(const wchar_t* text) {
    return text != nullptr ? std::wstring(text) : std::wstring();
}

std::unique_ptr<NetworkRecord> CopyOf(const NETRESOURCEW& entry) {
    auto copy = std::make_unique<NetworkRecord>();
    copy->scope = entry.dwScope;
    copy->type = entry.dwType;
    copy->displayType = entry.dwDisplayType;
    copy->usage = entry.dwUsage;
    copy->localName = Text(entry.lpLocalName);
    copy->remoteName = Text(entry.lpRemoteName);
    copy->comment = Text(entry.lpComment);
    copy->provider = Text(entry.lpProvider);
    return copy;
}

}  // namespace

HTREEITEM CTreeFileCtrl::AddNetworkEntry(HTREEITEM parent, const NETRESOURCEW& entry) {
    const NetworkEntryNames names =
        NameNetworkEntry(Text(entry.lpRemoteName), Text(entry.lpComment), entry.dwDisplayType);
    auto record = std::make_unique<TreeItemData>();
    record->netResource = CopyOf(entry);
    record->path = names.path;
    record->label = names.label;
    record->isNetworkNode = 1;
    switch (names.kind) {
        case NetworkEntryKind::Share:
            if (!CanDisplayNetworkItem(*record->netResource)) {
                return nullptr;
            }
            return InsertTreeItem(parent, std::move(record), showSharedOverlay == 1,
                                  IconOfPath(names.iconPath), OpenIconOfPath(names.iconPath), true);
        case NetworkEntryKind::Server:
            // The expand button shows without asking the server.
            return InsertTreeItem(parent, std::move(record), false, IconOfPath(names.iconPath),
                                  OpenIconOfPath(names.iconPath), false);
        case NetworkEntryKind::Container:
        default: {
            int image = 0xFFFF;
            int openImage = 0xFFFF;
            IconsOfSpecialFolder(CSIDL_NETWORK, image, openImage);
            return InsertTreeItem(parent, std::move(record), false, image, openImage, false);
        }
    }
}

int CTreeFileCtrl::EnumNetwork(HTREEITEM item) {
    // The container, when the item stands for one; the enumeration wants writable strings.
    const TreeItemData* record = Record(item);
    const NetworkRecord* container = record != nullptr ? record->netResource.get() : nullptr;
    NETRESOURCEW resource{};
    std::wstring localName, remoteName, comment, provider;
    if (container != nullptr) {
        localName = container->localName;
        remoteName = container->remoteName;
        comment = container->comment;
        provider = container->provider;
        resource.dwScope = container->scope;
        resource.dwType = container->type;
        resource.dwDisplayType = container->displayType;
        resource.dwUsage = container->usage;
        resource.lpLocalName = localName.empty() ? nullptr : localName.data();
        resource.lpRemoteName = remoteName.empty() ? nullptr : remoteName.data();
        resource.lpComment = comment.empty() ? nullptr : comment.data();
        resource.lpProvider = provider.empty() ? nullptr : provider.data();
    }
    if (!Network().Usable()) {
        Trace(L"EnumNetwork", L"Cannot load the network enumeration");
        return 0;
    }
    HANDLE opened = nullptr;
    const DWORD openError =
        Network().open(container != nullptr ? RESOURCE_GLOBALNET : RESOURCE_CONTEXT,
                       static_cast<DWORD>(networkResourceType), 0,
                       container != nullptr ? &resource : nullptr, &opened);
    if (openError != NO_ERROR) {
        Trace(L"EnumNetwork",
              L"Cannot enumerate network drives, Error:" + std::to_wstring(openError));
        return 0;
    }
    UniqueNetworkEnum enumeration(opened);

    // NETRESOURCEW records hold pointers: the buffer is kept aligned for them.
    std::vector<unsigned long long> buffer;
    DWORD count = 0;
    const DWORD answer = ReadDoubling(kNetworkBufferStart, kNetworkBufferLimit, [&](size_t bytes) {
        buffer.assign(bytes / sizeof(unsigned long long), 0);
        count = 0xFFFFFFFF;
        DWORD size = static_cast<DWORD>(bytes);
        return Network().enumerate(enumeration.Get(), &count, buffer.data(), &size);
    });
    const bool complete = answer == NO_ERROR;
    if (complete) {
        const auto* entries = reinterpret_cast<const NETRESOURCEW*>(buffer.data());
        for (DWORD index = 0; index < count; ++index) {
            AddNetworkEntry(item, entries[index]);
        }
    }
    enumeration.Reset();
    if (!complete) {
        Trace(L"EnumNetwork",
              L"Cannot complete network drive enumeration, Error:" + std::to_wstring(answer));
    }
    return complete && count > 0 ? 1 : 0;
}

}  // namespace bexlo
