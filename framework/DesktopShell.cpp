#include "framework/DesktopShell.h"

#include <windows.h>
#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include <string>

#include "framework/Handles.h"
#include "framework/LongPath.h"

namespace bexlo {

namespace {

class Bstr {
public:
    explicit Bstr(const std::wstring& text)
        : text_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Bstr() { ::SysFreeString(text_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;

    BSTR Get() const { return text_; }

private:
    BSTR text_;
};

// Empty, a text or a number. The calls that take one by value only borrow it.
class Variant {
public:
    Variant() { ::VariantInit(&value_); }
    // Empty for null.
    explicit Variant(const wchar_t* text) : Variant() {
        value_.bstrVal = text != nullptr ? ::SysAllocString(text) : nullptr;
        if (value_.bstrVal != nullptr) {
            value_.vt = VT_BSTR;
        }
    }
    explicit Variant(LONG number) : Variant() {
        value_.vt = VT_I4;
        value_.lVal = number;
    }
    ~Variant() { ::VariantClear(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    VARIANT& Get() { return value_; }

private:
    VARIANT value_;
};

template <typename Interface>
bool Query(IUnknown* object, ComRef<Interface>& into) {
    return object != nullptr && SUCCEEDED(object->QueryInterface(IID_PPV_ARGS(into.Put()))) && into;
}

// The desktop's own Shell.Application object, served by the desktop's shell process.
struct Desktop {
    ComRef<IShellDispatch2> shell;
    DWORD process = 0;
};

// Walks from the desktop's shell window to the Shell.Application object behind its view. Only a
// running server is asked for the shell windows: an object made in this process would act with
// its rights.
Desktop FindDesktop() {
    Desktop desktop;
    ComRef<IShellWindows> windows;
    if (FAILED(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER,
                                  IID_PPV_ARGS(windows.Put()))) ||
        !windows) {
        return desktop;
    }
    Variant location(static_cast<LONG>(CSIDL_DESKTOP));
    Variant root;
    LONG window = 0;
    ComRef<IDispatch> browserObject;
    if (windows->FindWindowSW(&location.Get(), &root.Get(), SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                              browserObject.Put()) != S_OK) {
        return desktop;
    }
    ComRef<IServiceProvider> services;
    ComRef<IShellBrowser> browser;
    ComRef<IShellView> view;
    ComRef<IDispatch> background;
    ComRef<IShellFolderViewDual> folderView;
    ComRef<IDispatch> application;
    if (!Query(browserObject.Get(), services) ||
        FAILED(services->QueryService(SID_STopLevelBrowser, IID_PPV_ARGS(browser.Put()))) ||
        !browser || FAILED(browser->QueryActiveShellView(view.Put())) || !view ||
        FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_PPV_ARGS(background.Put()))) ||
        !Query(background.Get(), folderView) ||
        FAILED(folderView->get_Application(application.Put())) ||
        !Query(application.Get(), desktop.shell)) {
        desktop.shell.Reset();
        return desktop;
    }
    ::GetWindowThreadProcessId(reinterpret_cast<HWND>(static_cast<LONG_PTR>(window)),
                               &desktop.process);
    return desktop;
}

// `verb` null asks for the default action.
bool Execute(IShellDispatch2& shell, const std::wstring& path, const wchar_t* verb) {
    Bstr file(path);
    Variant none;
    Variant operation(verb);
    Variant show(static_cast<LONG>(SW_SHOWNORMAL));
    // S_FALSE is its word for a request it could not carry out.
    return file.Get() != nullptr && shell.ShellExecute(file.Get(), none.Get(), none.Get(),
                                                       operation.Get(), show.Get()) == S_OK;
}

// The shell's item of `path`: a folder, a drive or a share as itself, a file as an item of its
// folder.
ComRef<FolderItem> ItemOf(IShellDispatch2& shell, const std::wstring& path) {
    ComRef<FolderItem> item;
    ComRef<Folder> folder;
    ComRef<Folder2> itself;
    if (shell.NameSpace(Variant(path.c_str()).Get(), folder.Put()) == S_OK &&
        Query(folder.Get(), itself) && SUCCEEDED(itself->get_Self(item.Put())) && item) {
        return item;
    }
    item.Reset();
    const std::wstring holder = FolderOf(path);
    if (holder.empty()) {
        return item;
    }
    Bstr name(path.substr(path.rfind(L'\\') + 1));
    if (shell.NameSpace(Variant(holder.c_str()).Get(), folder.Put()) == S_OK && folder &&
        name.Get() != nullptr) {
        folder->ParseName(name.Get(), item.Put());
    }
    return item;
}

bool InvokeVerb(IShellDispatch2& shell, const std::wstring& path, const wchar_t* verb) {
    ComRef<FolderItem> item = ItemOf(shell, path);
    return item && SUCCEEDED(item->InvokeVerb(Variant(verb).Get()));
}

}  // namespace

bool DesktopShell::Ask(ShellVerb verb, const std::wstring& path) {
    if (path.empty()) {
        return false;
    }
    Desktop desktop = FindDesktop();
    if (!desktop.shell) {
        return false;
    }
    // What it opens may come to the front, as a window of this program's own would.
    ::AllowSetForegroundWindow(desktop.process);
    switch (verb) {
        case ShellVerb::Explore:
            return Execute(*desktop.shell.Get(), path, L"explore");
        case ShellVerb::Open:
            return Execute(*desktop.shell.Get(), path, nullptr);
        case ShellVerb::Properties:
            // Properties is a command of the item's menu, not a verb of its type, which is all
            // that ShellExecute looks for.
            return InvokeVerb(*desktop.shell.Get(), path, L"properties");
    }
    return false;
}

}  // namespace bexlo
