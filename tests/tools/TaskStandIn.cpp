// TaskStandIn: takes the place of schtasks.exe in the installer test's own Wine prefix, where the
// Task Scheduler keeps no task's command and "/Run" starts nothing.
//   /Create /XML FILE /TN NAME ...  registers the task as Wine's schtasks does, and keeps a copy
//                                   of FILE beside itself
//   /Run /TN NAME                   starts the command of the task as /Create gave it, in the
//                                   caller's session, as the Task Scheduler starts a logon task
//                                   for the person logged on; with BEXLO_TASK_RUNS_NOTHING set, it
//                                   starts nothing and says it did, as Wine's schtasks does
//   /Delete /TN NAME ...            removes the task as Wine's schtasks does
// Each call's arguments are added as a line to "schtasks calls.txt" beside it.

#include <windows.h>
#include <taskschd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

std::wstring OwnFolder() {
    wchar_t path[MAX_PATH]{};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::wstring Option(const std::vector<std::wstring>& arguments, const wchar_t* name) {
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (::lstrcmpiW(arguments[i].c_str(), name) == 0) {
            return arguments[i + 1];
        }
    }
    return {};
}

std::wstring KeptDefinition(const std::wstring& task) {
    return OwnFolder() + L"task " + task + L".xml";
}

// The text of a file in UTF-16 after its byte-order mark.
std::wstring Utf16File(const std::wstring& file) {
    std::ifstream in(file.c_str(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::wstring text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                     static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
    return text;
}

// The text between <name> and </name> in a task's definition.
std::wstring Element(const std::wstring& file, const std::wstring& name) {
    const std::wstring text = Utf16File(file);
    const std::wstring open = L"<" + name + L">";
    const std::size_t begin = text.find(open);
    const std::size_t end = text.find(L"</" + name + L">");
    if (begin == std::wstring::npos || end == std::wstring::npos || end < begin) {
        return {};
    }
    return text.substr(begin + open.size(), end - begin - open.size());
}

int StartTask(const std::wstring& task) {
    if (::GetEnvironmentVariableW(L"BEXLO_TASK_RUNS_NOTHING", nullptr, 0) > 0) {
        return 0;
    }
    const std::wstring definition = KeptDefinition(task);
    std::wstring command = L"\"" + Element(definition, L"Command") + L"\"";
    const std::wstring folder = Element(definition, L"WorkingDirectory");
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
        return 1;
    }
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    return 0;
}

struct BstrFree {
    void operator()(BSTR text) const { ::SysFreeString(text); }
};
using UniqueBstr = std::unique_ptr<OLECHAR, BstrFree>;

template <typename Interface>
struct Releaser {
    void operator()(Interface* object) const { object->Release(); }
};
template <typename Interface>
using ComPtr = std::unique_ptr<Interface, Releaser<Interface>>;

// The root folder of the Task Scheduler, as Wine's schtasks reaches it.
ComPtr<ITaskFolder> RootFolder() {
    ITaskService* service = nullptr;
    ITaskFolder* folder = nullptr;
    VARIANT none;
    ::VariantInit(&none);
    const UniqueBstr root(::SysAllocString(L"\\"));
    if (FAILED(::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ITaskService, reinterpret_cast<void**>(&service)))) {
        return nullptr;
    }
    const ComPtr<ITaskService> owned(service);
    if (FAILED(service->Connect(none, none, none, none)) ||
        FAILED(service->GetFolder(root.get(), &folder))) {
        return nullptr;
    }
    return ComPtr<ITaskFolder>(folder);
}

int RegisterTask(const std::wstring& task, const std::wstring& definitionFile) {
    const ComPtr<ITaskFolder> folder = RootFolder();
    const std::wstring definition = Utf16File(definitionFile);
    if (!folder || definition.empty()) {
        return 1;
    }
    const UniqueBstr name(::SysAllocString(task.c_str()));
    const UniqueBstr xml(::SysAllocString(definition.c_str()));
    VARIANT none;
    ::VariantInit(&none);
    IRegisteredTask* registered = nullptr;
    if (FAILED(folder->RegisterTask(name.get(), xml.get(), TASK_CREATE_OR_UPDATE, none, none,
                                    TASK_LOGON_NONE, none, &registered))) {
        return 1;
    }
    registered->Release();
    return ::CopyFileW(definitionFile.c_str(), KeptDefinition(task).c_str(), FALSE) ? 0 : 1;
}

int DeleteTask(const std::wstring& task) {
    const ComPtr<ITaskFolder> folder = RootFolder();
    const UniqueBstr name(::SysAllocString(task.c_str()));
    return folder && SUCCEEDED(folder->DeleteTask(name.get(), 0)) ? 0 : 1;
}

// The arguments after the program's name, as they were given.
const wchar_t* ArgumentsGiven() {
    const wchar_t* line = ::GetCommandLineW();
    bool quoted = false;
    for (; *line != L'\0' && (quoted || (*line != L' ' && *line != L'\t')); ++line) {
        quoted = *line == L'"' ? !quoted : quoted;
    }
    while (*line == L' ' || *line == L'\t') {
        ++line;
    }
    return line;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::vector<std::wstring> arguments(argv + 1, argv + argc);
    if (FILE* calls = _wfopen((OwnFolder() + L"schtasks calls.txt").c_str(), L"a")) {
        std::fprintf(calls, "%ls\n", ArgumentsGiven());
        std::fclose(calls);
    }
    const std::wstring verb = arguments.empty() ? L"" : arguments.front();
    const std::wstring task = Option(arguments, L"/TN");
    if (::lstrcmpiW(verb.c_str(), L"/Run") == 0) {
        return StartTask(task);
    }
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (::lstrcmpiW(verb.c_str(), L"/Create") == 0) {
        return RegisterTask(task, Option(arguments, L"/XML"));
    }
    if (::lstrcmpiW(verb.c_str(), L"/Delete") == 0) {
        return DeleteTask(task);
    }
    return 1;
}
