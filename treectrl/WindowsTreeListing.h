#pragma once

#include "treectrl/TreeModel.h"

namespace bexlo {

// The machine's own drives and folders, as the file system and the shell give them.
class WindowsTreeListing : public TreeListing {
public:
    std::uint32_t Drives() override;
    DriveKind KindOf(const std::wstring& path) override;
    bool Find(const std::wstring& folder, const std::wstring& mask, bool wholeLevel,
              const std::function<bool(const ListedEntry&)>& visit) override;
    std::uint32_t Attributes(const std::wstring& path) override;
    int CompareLabels(const std::wstring& a, const std::wstring& b) const override;
};

}  // namespace bexlo
