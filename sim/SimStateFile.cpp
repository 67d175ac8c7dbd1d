#include "sim/SimStateFile.h"

namespace bexlo {

namespace {

constexpr wchar_t kStateMutex[] = L"BexloSimulatorState";
// Long enough for any reader or writer; a holder that hangs longer counts as broken.
constexpr DWORD kLockTimeoutMs = 5000;
constexpr DWORD kLargestState = 1 << 20;

class MutexLock {
public:
    explicit MutexLock(HANDLE mutex) : mutex_(mutex) {
        const DWORD waited = ::WaitForSingleObject(mutex_, kLockTimeoutMs);
        // An abandoned mutex is still ours; the file itself was never left half-written.
        owned_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
    ~MutexLock() {
        if (owned_) {
            ::ReleaseMutex(mutex_);
        }
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

    bool Owned() const { return owned_; }

private:
    HANDLE mutex_;
    bool owned_ = false;
};

std::string Utf8(const std::wstring& text) {
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) {
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, result.data(), size, nullptr, nullptr);
    }
    return result;
}

}  // namespace

std::wstring ModuleFolder(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L"\\/"));
}

SimStateFile::SimStateFile(std::wstring folder)
    : folder_(std::move(folder)), mutex_(::CreateMutexW(nullptr, FALSE, kStateMutex)) {
    while (!folder_.empty() && (folder_.back() == L'\\' || folder_.back() == L'/')) {
        folder_.pop_back();
    }
}

bool SimStateFile::Modify(const std::function<bool(SimState&)>& change) {
    MutexLock lock(mutex_.Get());
    if (!lock.Owned()) {
        lastError_ = "the simulator state is locked by another process";
        return false;
    }
    SimState state;
    if (!Load(state)) {
        return false;
    }
    return !change(state) || Store(state);
}

bool SimStateFile::Load(SimState& state) {
    const std::wstring path = Path();
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        lastError_ = "cannot open " + Utf8(path);
        return false;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart > kLargestState) {
        lastError_ = Utf8(path) + " is too large";
        return false;
    }
    std::string text(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!text.empty() &&
        !::ReadFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr)) {
        lastError_ = "cannot read " + Utf8(path);
        return false;
    }
    text.resize(read);
    std::string error;
    std::optional<SimState> parsed = ParseSimState(text, error);
    if (!parsed) {
        lastError_ = Utf8(path) + ": " + error;
        return false;
    }
    state = std::move(*parsed);
    return true;
}

bool SimStateFile::Store(const SimState& state) {
    const std::wstring path = Path();
    const std::wstring temporary = path + L".new";
    const std::string text = FormatSimState(state);
    {
        UniqueFileHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!file ||
            !::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written,
                         nullptr) ||
            written != text.size() || !::FlushFileBuffers(file.Get())) {
            lastError_ = "cannot write " + Utf8(temporary);
            ::DeleteFileW(temporary.c_str());
            return false;
        }
    }
    if (!::MoveFileExW(temporary.c_str(), path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        lastError_ = "cannot replace " + Utf8(path);
        ::DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace bexlo
