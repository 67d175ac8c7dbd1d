#pragma once

#include <string>
#include <vector>

namespace bexlo {

// The folders this machine shares, read through NETAPI32's share enumeration.
class ShareList {
public:
    void Refresh();
    // True when a disk share (type 0 or 1) has exactly this path, in any case.
    bool IsShared(const std::wstring& path) const;

private:
    std::vector<std::wstring> paths_;
};

}  // namespace bexlo
