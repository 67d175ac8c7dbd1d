#include "treectrl/TreeRules.h"

#include <array>
#include <string_view>

#include "res/resource.h"
#include "framework/NameCase.h"
#include "treectrl/TreePath.h"

namespace bexlo {

namespace {

bool NetworkItemHasFileCommands(const TreeItemFacts& item) {
    return !item.networkNode || item.networkDisplayType == static_cast<int>(kNetworkServer) ||
           item.networkDisplayType == static_cast<int>(kNetworkShare);
}

// A device name stays a device whatever extension follows it ("NUL.txt").
bool IsDeviceName(const std::wstring& name) {
    const std::wstring base = FoldCase(name.substr(0, name.find(L'.')));
    static constexpr std::array<std::wstring_view, 4> kPlain{L"CON", L"PRN", L"AUX", L"NUL"};
    for (std::wstring_view device : kPlain) {
        if (base == device) {
            return true;
        }
    }
    return base.size() == 4 && (base.starts_with(L"COM") || base.starts_with(L"LPT")) &&
           base[3] >= L'1' && base[3] <= L'9';
}

size_t NameStart(const std::wstring& nameOrPath) {
    const size_t slash = nameOrPath.find_last_of(L"\\/");
    return slash == std::wstring::npos ? 0 : slash + 1;
}

}  // namespace

bool CanRenameOrDelete(const TreeItemFacts& item) {
    return item.selected && !item.drive && !item.networkNode;
}

bool TreeCommandEnabled(int command, const TreeCommandGates& gates, const TreeItemFacts& item) {
    switch (command) {
        case ID_TREE_PROPERTIES:
            return item.selected && gates.allowProperties == 1 && NetworkItemHasFileCommands(item);
        case ID_TREE_OPEN:
            return item.selected && gates.allowOpen == 1 && NetworkItemHasFileCommands(item);
        case ID_TREE_RENAME:
            return gates.allowRename == 1 && CanRenameOrDelete(item);
        case ID_TREE_DELETE:
            return gates.allowDelete == 1 && CanRenameOrDelete(item);
        default:
            return false;
    }
}

bool IsValidFileName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") {
        return false;
    }
    for (wchar_t c : name) {
        if (c < 32 || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) {
            return false;
        }
    }
    return name.back() != L' ' && name.back() != L'.' && !IsDeviceName(name);
}

std::wstring FileExtension(const std::wstring& nameOrPath) {
    const size_t start = NameStart(nameOrPath);
    const size_t dot = nameOrPath.find_last_of(L'.');
    if (dot == std::wstring::npos || dot <= start) {
        return {};
    }
    return nameOrPath.substr(dot);
}

FileLabel LabelForFile(const std::wstring& name, int fileNameMode, const std::wstring& shellTitle) {
    switch (fileNameMode) {
        case 0:
            return {name.substr(0, name.size() - FileExtension(name).size()), 1};
        case 2: {
            const std::wstring& text = shellTitle.empty() ? name : shellTitle;
            return {text, FoldCase(text) != FoldCase(name) ? 1 : 0};
        }
        default:
            return {name, 0};
    }
}

RenamePlan PlanRename(const std::wstring& source, const std::wstring& parentPath,
                      const std::wstring& typed, bool extensionHidden) {
    RenamePlan plan{JoinPath(parentPath, typed), typed};
    if (extensionHidden) {
        const std::wstring extension = FileExtension(source);
        plan.target += extension;
        plan.label += extension;
    }
    return plan;
}

NetworkEntryNames NameNetworkEntry(const std::wstring& remoteName, const std::wstring& comment,
                                   unsigned long displayType) {
    NetworkEntryNames names;
    std::wstring name = remoteName.empty() ? comment : remoteName;
    for (int i = 0; i < 2 && !name.empty() && name.front() == L'\\'; ++i) {
        name.erase(0, 1);
    }
    names.path = remoteName.empty() ? name : remoteName;
    names.label = name;
    if (displayType == kNetworkShare) {
        names.kind = NetworkEntryKind::Share;
        if (const size_t slash = name.find(L'\\'); slash != std::wstring::npos) {
            names.label = name.substr(slash + 1);
        }
        names.iconPath = names.path;
    } else if (displayType == kNetworkServer) {
        names.kind = NetworkEntryKind::Server;
        names.iconPath = L"\\\\" + names.label;
    }
    return names;
}

AutoScroll AutoScrollFor(int cursorY, int clientHeight, int itemHeight, bool firstItemShown) {
    if (!firstItemShown && cursorY < 2 * itemHeight) {
        return AutoScroll::Up;
    }
    if (cursorY > clientHeight - 2 * itemHeight) {
        return AutoScroll::Down;
    }
    return AutoScroll::None;
}

}  // namespace bexlo
