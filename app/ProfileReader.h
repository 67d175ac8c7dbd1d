#pragma once

#include "app/LanguageFiles.h"

namespace bexlo {

// Reads ini files through the platform's profile reader.
class PlatformProfileSource : public ProfileSource {
public:
    std::wstring Read(const std::wstring& file, const std::wstring& section,
                      const std::wstring& key) const override;
};

}  // namespace bexlo
