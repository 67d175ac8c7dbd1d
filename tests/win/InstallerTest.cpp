// The x64 installer end to end, in a prefix of its own that nothing was installed into: a silent
// install, a second one over the running program with settings saved, a silent uninstall.

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <taskschd.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <map>
#include <memory>
#include <string>

#include "BexloVersion.h"
#include "app/LanguageFiles.h"
#include "backup/Utf16Text.h"
#include "backup/WindowsFileSystem.h"
#include "tests/win/TestSupport.h"

namespace bexlo {
namespace {

using test::ChildProcess;
using test::PumpUntil;

struct ComRelease {
    void operator()(IUnknown* object) const { object->Release(); }
};
template <typename T>
using ComPtr = std::unique_ptr<T, ComRelease>;

struct BstrFree {
    void operator()(BSTR text) const { ::SysFreeString(text); }
};
using UniqueBstr = std::unique_ptr<OLECHAR, BstrFree>;

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

const std::wstring kFolder = kDataFolder;
const std::wstring kProgram = kFolder + L"\\Bexlo.exe";
constexpr wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Bexlo";

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring CommonPrograms() {
    wchar_t path[MAX_PATH]{};
    ::SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

// Where a shortcut leads, or nothing when it cannot be read.
std::wstring ShortcutTarget(const std::wstring& shortcut) {
    IShellLinkW* rawLink = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&rawLink)))) {
        return {};
    }
    ComPtr<IShellLinkW> link(rawLink);
    IPersistFile* rawFile = nullptr;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&rawFile)))) {
        return {};
    }
    ComPtr<IPersistFile> file(rawFile);
    wchar_t target[MAX_PATH]{};
    if (FAILED(file->Load(shortcut.c_str(), STGM_READ)) ||
        FAILED(link->GetPath(target, MAX_PATH, nullptr, 0))) {
        return {};
    }
    return target;
}

// The installed-programs entry's values as text (numbers in decimal); empty without the entry.
std::map<std::wstring, std::wstring> UninstallEntry() {
    std::map<std::wstring, std::wstring> values;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS) {
        return values;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256]{};
        DWORD nameLength = 256;
        BYTE data[2048]{};
        DWORD dataLength = sizeof(data) - sizeof(wchar_t);
        DWORD type = 0;
        if (::RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &dataLength) !=
            ERROR_SUCCESS) {
            break;
        }
        if (type == REG_DWORD) {
            values[name] = std::to_wstring(*reinterpret_cast<DWORD*>(data));
        } else if (type == REG_SZ) {
            values[name] = reinterpret_cast<const wchar_t*>(data);
        }
    }
    ::RegCloseKey(key);
    return values;
}

// Asks the Task Scheduler itself whether a task of this name is registered.
bool TaskRegistered(const wchar_t* name) {
    ITaskService* rawService = nullptr;
    EXPECT_TRUE(
        SUCCEEDED(::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_ITaskService, reinterpret_cast<void**>(&rawService))));
    ComPtr<ITaskService> service(rawService);
    VARIANT none;
    ::VariantInit(&none);
    ITaskFolder* rawFolder = nullptr;
    const UniqueBstr root(::SysAllocString(L"\\"));
    if (!service || FAILED(service->Connect(none, none, none, none)) ||
        FAILED(service->GetFolder(root.get(), &rawFolder))) {
        ADD_FAILURE() << "the Task Scheduler's task folder cannot be read";
        return false;
    }
    ComPtr<ITaskFolder> folder(rawFolder);
    IRegisteredTask* rawTask = nullptr;
    const UniqueBstr taskName(::SysAllocString(name));
    const bool registered = SUCCEEDED(folder->GetTask(taskName.get(), &rawTask));
    ComPtr<IRegisteredTask> task(rawTask);
    return registered;
}

// The process that shows the program's window, and the program file it runs.
struct RunningCopy {
    DWORD id = 0;
    std::wstring image;
};

RunningCopy FindRunningCopy() {
    RunningCopy copy;
    HWND window = ::FindWindowW(nullptr, L"Bexlo");
    if (window == nullptr) {
        return copy;
    }
    ::GetWindowThreadProcessId(window, &copy.id);
    UniqueKernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, copy.id));
    wchar_t image[MAX_PATH]{};
    DWORD length = MAX_PATH;
    if (process && ::QueryFullProcessImageNameW(process.Get(), 0, image, &length)) {
        copy.image.assign(image, length);
    }
    return copy;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

class Installer : public testing::Test {
protected:
    static std::wstring SetupProgram() {
        return test::ProgramFolder() + L"..\\package\\Bexlo-Setup-" BEXLO_VERSION "-x64.exe";
    }

    static DWORD RunSilently(const std::wstring& program) {
        ChildProcess setup(program, L"/S");
        EXPECT_TRUE(setup.Started()) << Narrow(program) << " did not start";
        return setup.RunToEnd(120000);
    }

    // Waits for the installed program's window and checks which program shows it.
    static RunningCopy WaitForInstalledCopy(DWORD otherThan) {
        RunningCopy copy;
        PumpUntil(
            [&] {
                copy = FindRunningCopy();
                return copy.id != 0 && copy.id != otherThan;
            },
            30000);
        EXPECT_NE(copy.id, 0u) << "waited for a Bexlo window";
        EXPECT_TRUE(SamePath(copy.image, kProgram)) << Narrow(copy.image);
        return copy;
    }

    static void ExpectInstalled() {
        for (const wchar_t* file : {L"Bexlo.exe", L"UI_String(U).txt", L"Msg_String(U).txt",
                                    L"Setup.txt", L"Uninstall.exe"}) {
            EXPECT_TRUE(Exists(kFolder + L"\\" + file)) << Narrow(file);
        }
        const std::wstring shortcut = CommonPrograms() + L"\\Bexlo.lnk";
        EXPECT_TRUE(SamePath(ShortcutTarget(shortcut), kProgram)) << Narrow(shortcut);

        auto entry = UninstallEntry();
        EXPECT_EQ(entry[L"DisplayName"], L"Bexlo");
        EXPECT_EQ(entry[L"DisplayVersion"], L"" BEXLO_VERSION);
        EXPECT_EQ(entry[L"Publisher"], L"Travenor");
        EXPECT_EQ(entry[L"DisplayIcon"], kProgram + L",0");
        EXPECT_EQ(entry[L"UninstallString"], L"\"" + kFolder + L"\\Uninstall.exe\"");
        EXPECT_EQ(entry[L"QuietUninstallString"], L"\"" + kFolder + L"\\Uninstall.exe\" /S");
        EXPECT_GT(std::wcstoul(entry[L"EstimatedSize"].c_str(), nullptr, 10), 100u);

        EXPECT_TRUE(TaskRegistered(L"Bexlo"));
        // The stored copy keeps only part of the definition under Wine: check what was handed over.
        const std::wstring task =
            FromUtf16(Utf16TextUpToNul(ReadFileBytes(kFolder + L"\\BexloLogon.xml", 1 << 20)
                                           .value_or(std::vector<std::uint8_t>{})));
        EXPECT_NE(task.find(L"<Command>" + kProgram + L"</Command>"), std::wstring::npos);
        EXPECT_NE(task.find(L"<LogonTrigger>"), std::wstring::npos);
        EXPECT_NE(task.find(L"<RunLevel>HighestAvailable</RunLevel>"), std::wstring::npos);
    }
};

TEST_F(Installer, InstallsUpdatesOverARunningCopyAndUninstallsKeepingTheSettings) {
    ASSERT_TRUE(Exists(SetupProgram())) << Narrow(SetupProgram());

    {
        SCOPED_TRACE("first install");
        ASSERT_EQ(RunSilently(SetupProgram()), 0u);
        ExpectInstalled();
    }
    const RunningCopy first = WaitForInstalledCopy(0);
    ASSERT_NE(first.id, 0u);
    UniqueKernelHandle firstProcess(::OpenProcess(SYNCHRONIZE, FALSE, first.id));

    // What the person made meanwhile: a saved choice, a backup record, a log, German.
    test::WriteUtf16File(kFolder + L"\\path.txt", L"[TARGET_PATH]\n[ 0] #E:\\FilesBackup\n");
    test::WriteBytes(kFolder + L"\\SerailNo.txt", "record");
    test::WriteBytes(kFolder + L"\\RunLog.txt", "log");
    test::WriteUtf16File(kFolder + L"\\Setup.txt",
                         L"[MAIN]\nUI_String=German\nMsg_String=German\n");
    const auto settings = test::ReadTree(kFolder);
    const auto ExpectSettingsKept = [&settings] {
        const auto now = test::ReadTree(kFolder);
        for (const wchar_t* name : {L"path.txt", L"SerailNo.txt", L"RunLog.txt", L"Setup.txt"}) {
            EXPECT_EQ(now.at(name), settings.at(name)) << Narrow(name);
        }
    };

    {
        SCOPED_TRACE("install over the running copy");
        ASSERT_EQ(RunSilently(SetupProgram()), 0u);
        ExpectInstalled();
        EXPECT_EQ(::WaitForSingleObject(firstProcess.Get(), 0), WAIT_OBJECT_0)
            << "the copy that ran before is still running";
        WaitForInstalledCopy(first.id);
        ExpectSettingsKept();
    }

    {
        SCOPED_TRACE("uninstall");
        const RunningCopy running = FindRunningCopy();
        UniqueKernelHandle process(::OpenProcess(SYNCHRONIZE, FALSE, running.id));
        ASSERT_EQ(RunSilently(kFolder + L"\\Uninstall.exe"), 0u);
        // The uninstaller goes on from a copy of itself elsewhere and removes its entry last.
        EXPECT_TRUE(PumpUntil(
            [] { return !Exists(kFolder + L"\\Uninstall.exe") && UninstallEntry().empty(); },
            60000))
            << "waited for the uninstaller to remove itself and its entry";
        EXPECT_TRUE(PumpUntil([&] { return ::WaitForSingleObject(process.Get(), 0) == 0; }))
            << "waited for the running copy to end";
        for (const wchar_t* file :
             {L"Bexlo.exe", L"UI_String(U).txt", L"Msg_String(U).txt", L"BexloLogon.xml"}) {
            EXPECT_FALSE(Exists(kFolder + L"\\" + file)) << Narrow(file);
        }
        EXPECT_FALSE(Exists(CommonPrograms() + L"\\Bexlo.lnk"));
        EXPECT_FALSE(TaskRegistered(L"Bexlo"));
        ExpectSettingsKept();
    }
}

}  // namespace
}  // namespace bexlo
