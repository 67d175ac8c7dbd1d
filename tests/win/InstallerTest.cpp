// The x64 installer end to end, each group of tests in a prefix of its own that nothing was
// installed into: installs, updates over a running program and uninstalls; copies Setup cannot
// reach with a message and what its last page says; the data folder it refuses and the settings it
// takes over where Program Files moved. Wine's schtasks starts no task, so a stand-in takes its
// place that starts the task's program as the Task Scheduler would.

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <objbase.h>
#include <shlobj.h>
#include <taskschd.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <memory>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "BexloVersion.h"
#include "app/ExitSignal.h"
#include "app/LanguageFiles.h"
#include "app/SingleInstance.h"
#include "backup/Utf16Text.h"
#include "backup/WindowsFileSystem.h"
#include "framework/NameCase.h"
#include "res/resource.h"
#include "tests/win/TestSupport.h"

namespace bexlo {
namespace {

using test::ChildProcess;
using test::Exists;
using test::Narrow;
using test::PumpUntil;
using test::ReadTree;

struct BstrFree {
    void operator()(BSTR text) const { ::SysFreeString(text); }
};
using UniqueBstr = std::unique_ptr<OLECHAR, BstrFree>;

const std::wstring kFolder = DataFolder();
const std::wstring kProgram = kFolder + L"\\Bexlo.exe";
constexpr wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Bexlo";

std::wstring CommonPrograms() {
    wchar_t path[MAX_PATH]{};
    ::SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

// Where a shortcut leads, or nothing when it cannot be read.
std::wstring ShortcutTarget(const std::wstring& shortcut) {
    ComRef<IShellLinkW> link;
    ComRef<IPersistFile> file;
    wchar_t target[MAX_PATH]{};
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(link.Put()))) ||
        FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Put()))) ||
        FAILED(file->Load(shortcut.c_str(), STGM_READ)) ||
        FAILED(link->GetPath(target, MAX_PATH, nullptr, 0))) {
        return {};
    }
    return target;
}

// A value of the installed-programs entry as text (a number in decimal); empty without it.
std::wstring UninstallValue(const wchar_t* name) {
    wchar_t data[1024]{};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kUninstallKey, name, RRF_RT_REG_SZ | RRF_RT_REG_DWORD,
                       &type, data, &size) != ERROR_SUCCESS) {
        return {};
    }
    DWORD number = 0;
    std::memcpy(&number, data, sizeof(number));
    return type == REG_DWORD ? std::to_wstring(number) : data;
}

// Asks the Task Scheduler itself whether a task of this name is registered.
bool TaskRegistered(const wchar_t* name) {
    ComRef<ITaskService> service;
    ComRef<ITaskFolder> folder;
    ComRef<IRegisteredTask> task;
    VARIANT none;
    ::VariantInit(&none);
    const UniqueBstr root(::SysAllocString(L"\\"));
    const UniqueBstr taskName(::SysAllocString(name));
    if (FAILED(::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ITaskService, reinterpret_cast<void**>(service.Put()))) ||
        FAILED(service->Connect(none, none, none, none)) ||
        FAILED(service->GetFolder(root.get(), folder.Put()))) {
        ADD_FAILURE() << "the Task Scheduler's task folder cannot be read";
        return false;
    }
    return SUCCEEDED(folder->GetTask(taskName.get(), task.Put()));
}

// How many processes run the installed program.
int InstalledCopies() {
    UniqueKernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot || snapshot.Get() == INVALID_HANDLE_VALUE) {
        snapshot.Release();
        ADD_FAILURE() << "the processes cannot be listed";
        return 0;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    int copies = 0;
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more;
         more = ::Process32NextW(snapshot.Get(), &entry)) {
        if (::lstrcmpiW(entry.szExeFile, L"Bexlo.exe") == 0 &&
            SameFile(ProcessProgramFile(entry.th32ProcessID), kProgram)) {
            ++copies;
        }
    }
    return copies;
}

// Whether files here keep the access lists they are given: Wine makes one up from the Unix file
// mode instead, and there the lists Setup gives cannot be checked.
bool AccessListsKept(const std::wstring& folder) {
    const std::wstring probe = folder + L"\\access-probe";
    test::WriteBytes(probe, "probe");
    PSECURITY_DESCRIPTOR wanted = nullptr;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL list = nullptr;
    bool kept = false;
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;SY)", SDDL_REVISION_1,
                                                               &wanted, nullptr) &&
        ::GetSecurityDescriptorDacl(wanted, &present, &list, &defaulted) &&
        ::SetNamedSecurityInfoW(const_cast<wchar_t*>(probe.c_str()), SE_FILE_OBJECT,
                                DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, list, nullptr) == ERROR_SUCCESS) {
        PACL read = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (::GetNamedSecurityInfoW(probe.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, &read, nullptr,
                                    &descriptor) == ERROR_SUCCESS) {
            kept = read != nullptr && read->AceCount == 1;
            ::LocalFree(descriptor);
        }
    }
    ::LocalFree(wanted);
    ::DeleteFileW(probe.c_str());
    return kept;
}

// Whether anyone but the administrators and the system is let read the file or folder.
bool ReadableByOthers(const std::wstring& path) {
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, &list, nullptr, &descriptor) != ERROR_SUCCESS) {
        ADD_FAILURE() << "no access list for " << Narrow(path);
        return true;
    }
    // No list at all lets everyone in.
    bool readable = list == nullptr;
    for (DWORD index = 0; list != nullptr && index < list->AceCount; ++index) {
        void* entry = nullptr;
        if (!::GetAce(list, index, &entry) ||
            static_cast<ACE_HEADER*>(entry)->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            continue;
        }
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        PSID who = &allowed->SidStart;
        if (!::IsWellKnownSid(who, WinBuiltinAdministratorsSid) &&
            !::IsWellKnownSid(who, WinLocalSystemSid) &&
            (allowed->Mask & (FILE_READ_DATA | GENERIC_READ | GENERIC_ALL)) != 0) {
            readable = true;
        }
    }
    ::LocalFree(descriptor);
    return readable;
}

// The owner of a file or folder, as a well-known kind: whether it is the one asked for.
bool OwnedBy(const std::wstring& path, WELL_KNOWN_SID_TYPE kind) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const bool owned = owner != nullptr && ::IsWellKnownSid(owner, kind);
    ::LocalFree(descriptor);
    return owned;
}

// Whether files here keep the owner they are given: Wine shows its user as everything's owner.
bool OwnersKept(const std::wstring& folder) {
    const std::wstring probe = folder + L"\\owner-probe";
    test::WriteBytes(probe, "probe");
    BYTE system[SECURITY_MAX_SID_SIZE]{};
    DWORD size = sizeof(system);
    const bool kept = ::CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size) &&
                      ::SetNamedSecurityInfoW(const_cast<wchar_t*>(probe.c_str()), SE_FILE_OBJECT,
                                              OWNER_SECURITY_INFORMATION, system, nullptr, nullptr,
                                              nullptr) == ERROR_SUCCESS &&
                      OwnedBy(probe, WinLocalSystemSid);
    ::DeleteFileW(probe.c_str());
    return kept;
}

std::wstring SystemFolder() {
    wchar_t folder[MAX_PATH]{};
    ::GetSystemDirectoryW(folder, MAX_PATH);
    return folder;
}

// How often the task was asked to run, as the stand-in noted it.
int TaskRuns() {
    const std::string calls = test::FileText(SystemFolder() + L"\\schtasks calls.txt");
    int runs = 0;
    for (std::size_t at = calls.find("/Run"); at != std::string::npos;
         at = calls.find("/Run", at + 1)) {
        ++runs;
    }
    return runs;
}

// The installed program's main window on this desktop, or null.
HWND InstalledWindow() {
    return FindProgramWindow(kMainCaption, kProgram, CopyRights::Administrators);
}

BOOL CALLBACK AddText(HWND child, LPARAM texts) {
    *reinterpret_cast<std::wstring*>(texts) += test::WindowText(child) + L"\n";
    return TRUE;
}

// Every text of a window and of the windows in it, a line each.
std::wstring AllTexts(HWND window) {
    std::wstring texts;
    ::EnumChildWindows(window, &AddText, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

struct DesktopClose {
    void operator()(HDESK desktop) const { ::CloseDesktop(desktop); }
};
using UniqueDesktop = std::unique_ptr<std::remove_pointer_t<HDESK>, DesktopClose>;

// A copy of the installed program on a desktop of its own, where no window message of Setup's
// reaches it, as in another person's session.
class CopyElsewhere {
public:
    CopyElsewhere()
        : desktop_(::CreateDesktopW(kDesktop, nullptr, nullptr, 0, GENERIC_ALL, nullptr)) {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        std::wstring name = std::wstring(L"WinSta0\\") + kDesktop;
        startup.lpDesktop = name.data();
        PROCESS_INFORMATION info{};
        std::wstring command = L"\"" + kProgram + L"\"";
        if (desktop_ && ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0,
                                         nullptr, kFolder.c_str(), &startup, &info)) {
            ::CloseHandle(info.hThread);
            process_.Reset(info.hProcess);
            id_ = info.dwProcessId;
        }
    }

    // Once its window shows and Setup could ask it to end.
    bool Ready() const {
        const UniqueKernelHandle signal(
            ::OpenEventW(SYNCHRONIZE, FALSE, ExitSignalName(id_).c_str()));
        Search search{id_};
        ::EnumDesktopWindows(desktop_.get(), &Consider, reinterpret_cast<LPARAM>(&search));
        return signal.Valid() && search.found;
    }
    bool Ended() const { return ::WaitForSingleObject(process_.Get(), 0) == WAIT_OBJECT_0; }
    bool Started() const { return process_.Valid(); }

private:
    struct Search {
        DWORD id;
        bool found = false;
    };
    static BOOL CALLBACK Consider(HWND window, LPARAM lParam) {
        auto& search = *reinterpret_cast<Search*>(lParam);
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        search.found =
            search.found || (owner == search.id && test::WindowText(window) == kMainCaption);
        return TRUE;
    }

    static constexpr wchar_t kDesktop[] = L"Bexlo elsewhere";
    UniqueDesktop desktop_;
    UniqueKernelHandle process_;
    DWORD id_ = 0;
};

// ProgramFilesDir in the registry's 64-bit view, set for the test and put back after it.
class MovedProgramFiles {
public:
    explicit MovedProgramFiles(const std::wstring& folder) {
        wchar_t value[MAX_PATH]{};
        DWORD size = sizeof(value);
        ::RegGetValueW(HKEY_LOCAL_MACHINE, kKey, L"ProgramFilesDir", RRF_RT_REG_SZ, nullptr, value,
                       &size);
        before_ = value;
        Set(folder);
        test::MakeFolders({folder});
    }
    ~MovedProgramFiles() { Set(before_); }
    MovedProgramFiles(const MovedProgramFiles&) = delete;
    MovedProgramFiles& operator=(const MovedProgramFiles&) = delete;

private:
    static void Set(const std::wstring& folder) {
        EXPECT_EQ(
            ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, kKey, L"ProgramFilesDir", REG_SZ, folder.c_str(),
                              static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
    }
    static constexpr wchar_t kKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    std::wstring before_;
};

class Installer : public testing::Test {
protected:
    // The stand-in takes the place of Wine's schtasks in this prefix, which is the test's own.
    static void SetUpTestSuite() {
        ASSERT_TRUE(::CopyFileW((test::ProgramFolder() + L"tools\\TaskStandIn.exe").c_str(),
                                (SystemFolder() + L"\\schtasks.exe").c_str(), FALSE));
        ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides",
                                    L"schtasks.exe", REG_SZ, L"native", sizeof(L"native")),
                  ERROR_SUCCESS);
    }

    static std::wstring SetupProgram() {
        return test::ProgramFolder() + L"..\\package\\Bexlo-Setup-" BEXLO_VERSION "-x64.exe";
    }

    static DWORD RunSilently(const std::wstring& program) {
        ChildProcess setup(program, L"/S");
        EXPECT_TRUE(setup.Started()) << Narrow(program) << " did not start";
        return setup.RunToEnd(120000);
    }

    // Installs as a person does, through the welcome page to the last; what the last page says.
    static std::wstring RunThroughThePages() {
        ChildProcess setup(SetupProgram(), L"");
        const std::wstring caption = L"Bexlo " BEXLO_VERSION " Setup";
        HWND window = nullptr;
        EXPECT_TRUE(PumpUntil(
            [&] {
                return (window = test::FindProcessWindow(setup.Id(), caption.c_str())) != nullptr;
            },
            30000))
            << "waited for Setup's window";
        if (window == nullptr) {
            return {};
        }
        test::Click(window, IDOK);
        std::wstring last;
        EXPECT_TRUE(PumpUntil(
            [&] { return (last = AllTexts(window)).find(L"starts at every logon") != last.npos; },
            90000))
            << "waited for the last page";
        test::Click(window, IDOK);
        EXPECT_EQ(setup.RunToEnd(30000), 0u);
        return last;
    }

    // Starts the installed program as a logon does, and waits for its window.
    static HWND StartInstalled(std::unique_ptr<ChildProcess>& copy) {
        copy = std::make_unique<ChildProcess>(kProgram, L"");
        EXPECT_TRUE(copy->Started());
        HWND window = nullptr;
        PumpUntil([&] { return (window = InstalledWindow()) != nullptr; }, 30000);
        EXPECT_NE(window, nullptr) << "waited for the installed program's window";
        return window;
    }

    static void ExpectInstalled(const std::wstring& folder = kFolder) {
        const std::wstring program = folder + L"\\Bexlo.exe";
        for (const wchar_t* file : {L"Bexlo.exe", L"UI_String(U).txt", L"Msg_String(U).txt",
                                    L"Setup.txt", L"Uninstall.exe"}) {
            EXPECT_TRUE(Exists(folder + L"\\" + file)) << Narrow(file);
        }
        const std::wstring shortcut = CommonPrograms() + L"\\Bexlo.lnk";
        EXPECT_EQ(FoldCase(ShortcutTarget(shortcut)), FoldCase(program)) << Narrow(shortcut);

        EXPECT_EQ(UninstallValue(L"DisplayName"), L"Bexlo");
        EXPECT_EQ(UninstallValue(L"DisplayVersion"), L"" BEXLO_VERSION);
        EXPECT_EQ(UninstallValue(L"Publisher"), L"Travenor");
        EXPECT_EQ(UninstallValue(L"DisplayIcon"), program + L",0");
        EXPECT_EQ(UninstallValue(L"UninstallString"), L"\"" + folder + L"\\Uninstall.exe\"");
        EXPECT_EQ(UninstallValue(L"QuietUninstallString"),
                  L"\"" + folder + L"\\Uninstall.exe\" /S");
        EXPECT_GT(std::wcstoul(UninstallValue(L"EstimatedSize").c_str(), nullptr, 10), 100u);

        EXPECT_TRUE(TaskRegistered(L"Bexlo"));
        // The stored copy keeps only part of the definition under Wine: check what was handed over.
        const std::wstring task =
            FromUtf16(Utf16TextUpToNul(ReadFileBytes(folder + L"\\BexloLogon.xml", 1 << 20)
                                           .value_or(std::vector<std::uint8_t>{})));
        EXPECT_NE(task.find(L"<Command>" + program + L"</Command>"), std::wstring::npos);
        EXPECT_NE(task.find(L"<LogonTrigger>"), std::wstring::npos);
        EXPECT_NE(task.find(L"<RunLevel>HighestAvailable</RunLevel>"), std::wstring::npos);

        if (OwnersKept(folder)) {
            EXPECT_TRUE(OwnedBy(folder, WinBuiltinAdministratorsSid));
        } else {
            RecordProperty("owners", "not kept by this file system: not checked");
        }
    }
};

// What a person does: install, let Bexlo run, update it while it starts, then remove it while
// it runs. The prefix has no virtual desktop, as a person's Wine has none: there a starting copy
// shows and hides its window through waits of the display, and counts as not responding for a
// moment, the moment an uninstaller that gave up on such a copy at once left everything in place.
TEST_F(Installer, InstallsUpdatesAndUninstallsWhileBexloRunsLeavingOnlyTheSettings) {
    ASSERT_TRUE(Exists(SetupProgram())) << Narrow(SetupProgram());

    {
        SCOPED_TRACE("first install");
        ASSERT_EQ(RunSilently(SetupProgram()), 0u);
        ExpectInstalled();
        EXPECT_EQ(TaskRuns(), 0) << "a first silent install starts nothing";
        if (AccessListsKept(kFolder)) {
            EXPECT_TRUE(ReadableByOthers(kProgram)) << "every user may read the program";
            EXPECT_FALSE(ReadableByOthers(kFolder + L"\\Setup.txt"));
        }
    }

    // What the person made meanwhile: a saved choice, a backup record, a log, German. Made in the
    // folder as the program makes them, they get the folder's list.
    test::WriteUtf16File(kFolder + L"\\path.txt", L"[TARGET_PATH]\n[ 0] #E:\\FilesBackup\n");
    test::WriteBytes(kFolder + L"\\SerailNo.txt", "record");
    test::WriteBytes(kFolder + L"\\RunLog.txt", "log");
    test::WriteUtf16File(kFolder + L"\\Setup.txt",
                         L"[MAIN]\nUI_String=German\nMsg_String=German\n");
    const std::wstring kSettings[] = {L"path.txt", L"SerailNo.txt", L"RunLog.txt", L"Setup.txt"};
    if (AccessListsKept(kFolder)) {
        for (const std::wstring& name : kSettings) {
            EXPECT_FALSE(ReadableByOthers(kFolder + L"\\" + name)) << Narrow(name);
        }
    } else {
        RecordProperty("access_lists", "not kept by this file system: not checked");
    }
    const auto settings = ReadTree(kFolder);
    const auto ExpectSettingsKept = [&] {
        const auto now = ReadTree(kFolder);
        for (const std::wstring& name : kSettings) {
            EXPECT_EQ(now.at(name), settings.at(name)) << Narrow(name);
        }
    };

    {
        SCOPED_TRACE("silent update while Bexlo starts");
        std::unique_ptr<ChildProcess> copy;
        ASSERT_NE(StartInstalled(copy), nullptr);
        ASSERT_EQ(RunSilently(SetupProgram()), 0u);
        EXPECT_TRUE(copy->WaitForExit(0)) << "the copy that ran before is still running";
        EXPECT_EQ(TaskRuns(), 1) << "the update that closed Bexlo did not start it again";
        EXPECT_TRUE(PumpUntil([] { return InstalledWindow() != nullptr; }, 30000))
            << "Bexlo was not started again";
        ExpectInstalled();
        ExpectSettingsKept();
    }

    {
        SCOPED_TRACE("uninstall while Bexlo runs");
        HWND window = InstalledWindow();
        ASSERT_NE(window, nullptr);
        // The moment the close used to fail, when it comes: on some displays it never does.
        PumpUntil([&] { return ::IsHungAppWindow(window) != FALSE; }, 15000);
        ASSERT_EQ(RunSilently(kFolder + L"\\Uninstall.exe"), 0u);
        // The uninstaller goes on from a copy of itself elsewhere and removes its entry last.
        EXPECT_TRUE(PumpUntil(
            [] {
                return !Exists(kFolder + L"\\Uninstall.exe") &&
                       UninstallValue(L"DisplayName").empty();
            },
            60000))
            << "waited for the uninstaller to remove itself and its entry";
        EXPECT_EQ(InstalledCopies(), 0) << "the running copy was not closed";
        EXPECT_EQ(TaskRuns(), 1) << "the uninstaller started Bexlo";
        std::set<std::wstring> left;
        for (const auto& [name, contents] : ReadTree(kFolder)) {
            left.insert(name);
        }
        EXPECT_EQ(left, std::set<std::wstring>(std::begin(kSettings), std::end(kSettings)))
            << "only the settings stay";
        EXPECT_FALSE(Exists(CommonPrograms() + L"\\Bexlo.lnk"));
        EXPECT_FALSE(TaskRegistered(L"Bexlo"));
        ExpectSettingsKept();
    }
}

// A copy no message of Setup's reaches keeps the program file locked unless Setup ends it another
// way; the update then starts Bexlo again, where Setup runs.
TEST_F(Installer, AnUpdateEndsACopyOnAnotherDesktopAndStartsBexloAgain) {
    ASSERT_EQ(RunSilently(SetupProgram()), 0u);
    const int runs = TaskRuns();
    CopyElsewhere copy;
    ASSERT_TRUE(copy.Started());
    ASSERT_TRUE(PumpUntil([&] { return copy.Ready(); }, 30000)) << "waited for the copy";

    ASSERT_EQ(RunSilently(SetupProgram()), 0u);
    EXPECT_TRUE(copy.Ended()) << "the copy on the other desktop still runs";
    EXPECT_EQ(TaskRuns(), runs + 1);
    EXPECT_TRUE(PumpUntil([] { return InstalledWindow() != nullptr; }, 30000))
        << "Bexlo was not started again";
    ExpectInstalled();

    EXPECT_EQ(RunSilently(kFolder + L"\\Uninstall.exe"), 0u);
    EXPECT_TRUE(PumpUntil([] { return InstalledCopies() == 0; }, 30000));
}

// The task's exit code says only that a run was asked for: the last page says Bexlo runs only
// once Setup has seen its window.
TEST_F(Installer, TheLastPageSaysBexloRunsOnlyOnceSetupHasSeenItsWindow) {
    ::SetEnvironmentVariableW(L"BEXLO_TASK_RUNS_NOTHING", L"1");
    std::wstring last = RunThroughThePages();
    EXPECT_EQ(last.find(L"running"), std::wstring::npos) << Narrow(last);
    EXPECT_NE(last.find(L"did not see it start"), std::wstring::npos) << Narrow(last);
    EXPECT_EQ(InstalledCopies(), 0);

    ::SetEnvironmentVariableW(L"BEXLO_TASK_RUNS_NOTHING", nullptr);
    last = RunThroughThePages();
    EXPECT_NE(last.find(L"Bexlo is installed and running"), std::wstring::npos) << Narrow(last);
    EXPECT_NE(InstalledWindow(), nullptr);

    EXPECT_EQ(RunSilently(kFolder + L"\\Uninstall.exe"), 0u);
    EXPECT_TRUE(PumpUntil([] { return InstalledCopies() == 0; }, 30000));
}

// A folder someone without administrator rights prepared is no place for the program's files.
TEST_F(Installer, RefusesADataFolderThatIsALinkAndWritesNothingThroughIt) {
    const std::wstring elsewhere = L"C:\\bexlo-elsewhere";
    test::MakeFolders({kFolder.substr(0, kFolder.rfind(L'\\')), elsewhere});
    test::RemoveTree(kFolder);
    ASSERT_TRUE(test::MakeUnixLink(kFolder, elsewhere));

    EXPECT_NE(RunSilently(SetupProgram()), 0u);
    EXPECT_TRUE(ReadTree(elsewhere).empty()) << "Setup wrote through the link";
    EXPECT_TRUE(UninstallValue(L"DisplayName").empty());
    EXPECT_FALSE(TaskRegistered(L"Bexlo"));

    ASSERT_TRUE(test::RemoveUnixLink(kFolder));
    test::RemoveTree(elsewhere);
}

// Where the registry's Program Files is not the folder every earlier version used, the settings
// there come along to the new data folder once, and only from a folder the program would trust.
TEST_F(Installer, TakesOverTheSettingsOfTheOldFolderOnceWhereProgramFilesMoved) {
    const std::wstring oldTravenor = kFolder.substr(0, kFolder.rfind(L'\\'));
    const std::wstring prepared = L"C:\\bexlo-prepared";
    const std::wstring moved = L"C:\\Programme\\Travenor\\BXL";
    const std::wstring kSettings[] = {L"path.txt", L"SerailNo.txt", L"RunLog.txt", L"Setup.txt"};
    const auto WriteEarlierVersion = [&](const std::wstring& folder) {
        test::MakeFolders({folder.substr(0, folder.rfind(L'\\')), folder});
        test::WriteUtf16File(folder + L"\\path.txt", L"[TARGET_PATH]\n[ 0] #E:\\FilesBackup\n");
        test::WriteBytes(folder + L"\\SerailNo.txt", "record");
        test::WriteBytes(folder + L"\\RunLog.txt", "log");
        test::WriteUtf16File(folder + L"\\Setup.txt",
                             L"[MAIN]\r\nUI_String=German\r\nMsg_String=German\r\n");
        for (const wchar_t* file : {L"Bexlo.exe", L"Uninstall.exe", L"BexloLogon.xml"}) {
            test::WriteBytes(folder + L"\\" + file, "earlier version");
        }
    };
    const MovedProgramFiles programFiles(L"C:\\Programme");
    test::RemoveTree(oldTravenor);

    {
        SCOPED_TRACE("the old folder is a link, as a person could have made it");
        WriteEarlierVersion(prepared + L"\\BXL");
        ASSERT_TRUE(test::MakeUnixLink(oldTravenor, prepared));
        const auto before = ReadTree(prepared);
        ASSERT_EQ(RunSilently(SetupProgram()), 0u);
        ExpectInstalled(moved);
        EXPECT_FALSE(Exists(moved + L"\\path.txt")) << "taken over from a link";
        EXPECT_EQ(ReadTree(prepared), before);
        ASSERT_EQ(RunSilently(moved + L"\\Uninstall.exe"), 0u);
        ASSERT_TRUE(PumpUntil([&] { return !Exists(moved + L"\\Uninstall.exe"); }, 60000));
        ASSERT_TRUE(test::RemoveUnixLink(oldTravenor));
        test::RemoveTree(prepared);
        test::RemoveTree(moved);
    }

    WriteEarlierVersion(kFolder);
    const auto earlier = ReadTree(kFolder);
    ASSERT_EQ(RunSilently(SetupProgram()), 0u);
    ExpectInstalled(moved);
    for (const std::wstring& name : kSettings) {
        EXPECT_EQ(test::FileText(moved + L"\\" + name), earlier.at(name)) << Narrow(name);
    }
    // Moved, not copied, so that it comes along once; and the earlier version is gone with it.
    EXPECT_FALSE(Exists(kFolder)) << "the earlier version stays behind";

    // The program finds its files where Setup put them: it speaks the language chosen there.
    ChildProcess program(moved + L"\\Bexlo.exe", L"");
    EXPECT_TRUE(PumpUntil(
        [&] {
            HWND window = test::FindProcessWindow(program.Id(), kMainCaption);
            return window != nullptr &&
                   test::WindowText(::GetDlgItem(window, IDC_SAVE)).find(L"Merken") !=
                       std::wstring::npos;
        },
        30000))
        << "the program does not speak the language chosen in its folder";
    EXPECT_EQ(ChildProcess(moved + L"\\Bexlo.exe", L"/exit").RunToEnd(30000), 0u);

    ASSERT_EQ(RunSilently(moved + L"\\Uninstall.exe"), 0u);
    ASSERT_TRUE(PumpUntil([&] { return !Exists(moved + L"\\Uninstall.exe"); }, 60000));
    test::RemoveTree(L"C:\\Programme");
}

}  // namespace
}  // namespace bexlo
