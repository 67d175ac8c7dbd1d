#pragma once

#include "app/LanguageFiles.h"

namespace bexlo {

// Reads ini files through the platform's profile reader.
class PlatformProfileSource : public ProfileSource {
public:
    std::wstring Read(const std::wstring& file, const std::wstring& section,
                      const std::wstring& key) const override;
};

// The built-in texts with the language files' laid over them, when the data folder passed its
// check; the built-in ones alone otherwise.
LanguageTexts ReadLanguageFiles(bool dataFolderTrusted);

}  // namespace bexlo
