#include "app/ProfileReader.h"

#include <windows.h>

#include <array>

namespace bexlo {

namespace {

class NoProfileSource : public ProfileSource {
public:
    std::wstring Read(const std::wstring&, const std::wstring&,
                      const std::wstring&) const override {
        return {};
    }
};

}  // namespace

std::wstring PlatformProfileSource::Read(const std::wstring& file, const std::wstring& section,
                                         const std::wstring& key) const {
    std::array<wchar_t, kMaxProfileValue + 1> buffer{};
    const DWORD length =
        ::GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", buffer.data(),
                                   static_cast<DWORD>(buffer.size()), file.c_str());
    return std::wstring(buffer.data(), length);
}

LanguageTexts ReadLanguageFiles(bool dataFolderTrusted) {
    if (!dataFolderTrusted) {
        return LoadStringFiles(NoProfileSource());
    }
    return LoadStringFiles(PlatformProfileSource());
}

}  // namespace bexlo
