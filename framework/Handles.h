#pragma once

// Owning wrappers for Win32 handles. A raw handle type (HANDLE, HWND, HMENU ...) always means
// "borrowed"; the Unique* types below own theirs and release it exactly once.

#include <windows.h>

#include <utility>

namespace bexlo {

template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() = default;
    explicit UniqueHandle(Type handle) : handle_(handle) {}
    ~UniqueHandle() { Reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }

    Type Get() const { return handle_; }
    bool Valid() const { return handle_ != Traits::Invalid(); }
    explicit operator bool() const { return Valid(); }

    Type Release() { return std::exchange(handle_, Traits::Invalid()); }
    void Reset(Type handle = Traits::Invalid()) {
        Type old = std::exchange(handle_, handle);
        if (old != Traits::Invalid()) {
            Traits::Close(old);
        }
    }

private:
    Type handle_ = Traits::Invalid();
};

namespace handle_traits {

struct Kernel {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::CloseHandle(h); }
};

// CreateFile and friends report failure as INVALID_HANDLE_VALUE, not null.
struct File {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};

struct Find {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::FindClose(h); }
};

struct ChangeNotification {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::FindCloseChangeNotification(h); }
};

struct Module {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::FreeLibrary(h); }
};

struct Menu {
    using Type = HMENU;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::DestroyMenu(h); }
};

struct Icon {
    using Type = HICON;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::DestroyIcon(h); }
};

template <typename T>
struct Gdi {
    using Type = T;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::DeleteObject(h); }
};

struct MemoryDc {
    using Type = HDC;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::DeleteDC(h); }
};

struct DeviceNotification {
    using Type = HDEVNOTIFY;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::UnregisterDeviceNotification(h); }
};

struct RegistryKey {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::RegCloseKey(h); }
};

struct Hook {
    using Type = HHOOK;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::UnhookWindowsHookEx(h); }
};

// Memory the system hands out with LocalAlloc (security descriptors, string conversions).
struct Local {
    using Type = HLOCAL;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::LocalFree(h); }
};

struct PrivateNamespace {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::ClosePrivateNamespace(h, 0); }
};

struct BoundaryDescriptor {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::DeleteBoundaryDescriptor(h); }
};

// A wait of the thread pool; closing it waits for a callback under way.
struct RegisteredWait {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::UnregisterWaitEx(h, INVALID_HANDLE_VALUE); }
};

}  // namespace handle_traits

using UniqueKernelHandle = UniqueHandle<handle_traits::Kernel>;
using UniqueFileHandle = UniqueHandle<handle_traits::File>;
using UniqueFindHandle = UniqueHandle<handle_traits::Find>;
using UniqueChangeHandle = UniqueHandle<handle_traits::ChangeNotification>;
using UniqueModule = UniqueHandle<handle_traits::Module>;
using UniqueMenu = UniqueHandle<handle_traits::Menu>;
using UniqueIcon = UniqueHandle<handle_traits::Icon>;
using UniqueBrush = UniqueHandle<handle_traits::Gdi<HBRUSH>>;
using UniqueBitmap = UniqueHandle<handle_traits::Gdi<HBITMAP>>;
using UniquePen = UniqueHandle<handle_traits::Gdi<HPEN>>;
using UniqueFont = UniqueHandle<handle_traits::Gdi<HFONT>>;
using UniqueMemoryDc = UniqueHandle<handle_traits::MemoryDc>;
using UniqueRegKey = UniqueHandle<handle_traits::RegistryKey>;
using UniqueDeviceNotification = UniqueHandle<handle_traits::DeviceNotification>;
using UniqueHook = UniqueHandle<handle_traits::Hook>;
using UniqueLocal = UniqueHandle<handle_traits::Local>;
using UniqueNamespace = UniqueHandle<handle_traits::PrivateNamespace>;
using UniqueBoundary = UniqueHandle<handle_traits::BoundaryDescriptor>;
using UniqueRegisteredWait = UniqueHandle<handle_traits::RegisteredWait>;

// Owns one reference to a COM object.
template <typename Interface>
class ComRef {
public:
    ComRef() = default;
    ~ComRef() { Reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ComRef(ComRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    ComRef& operator=(ComRef&& other) noexcept {
        if (this != &other) {
            Reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }

    Interface* Get() const { return object_; }
    Interface* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    // For functions that hand out a new reference.
    Interface** Put() {
        Reset();
        return &object_;
    }
    void Reset() {
        if (object_ != nullptr) {
            std::exchange(object_, nullptr)->Release();
        }
    }

private:
    Interface* object_ = nullptr;
};

// Selects an object into a device context for the lifetime of the scope.
class ScopedSelect {
public:
    ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), old_(::SelectObject(dc, object)) {}
    ~ScopedSelect() { ::SelectObject(dc_, old_); }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// SaveDC/RestoreDC pair: pen, brush, font, modes and colours come back at the end of the scope.
class ScopedDcState {
public:
    explicit ScopedDcState(HDC dc) : dc_(dc), saved_(::SaveDC(dc)) {}
    ~ScopedDcState() { ::RestoreDC(dc_, saved_); }
    ScopedDcState(const ScopedDcState&) = delete;
    ScopedDcState& operator=(const ScopedDcState&) = delete;

private:
    HDC dc_;
    int saved_;
};

// BeginPaint/EndPaint pair.
class PaintScope {
public:
    explicit PaintScope(HWND window) : window_(window) { dc_ = ::BeginPaint(window_, &paint_); }
    ~PaintScope() { ::EndPaint(window_, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;

    HDC Dc() const { return dc_; }
    const PAINTSTRUCT& Info() const { return paint_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_ = nullptr;
};

}  // namespace bexlo
