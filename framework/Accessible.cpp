#include "framework/Accessible.h"

#include <oleacc.h>

#include <atomic>
#include <memory>

#include "framework/Handles.h"
#include "framework/SystemFunction.h"

namespace bexlo {

namespace {

// The accessibility library is not one the loader takes from the system alone, so it is loaded
// from the system folder when a screen reader first asks.
class AccessibilityLibrary {
public:
    AccessibilityLibrary() : module_(LoadSystemLibrary(L"oleacc.dll")) {
        if (module_) {
            createStandard_ = LibraryFunction<decltype(&::CreateStdAccessibleObject)>(
                module_.Get(), "CreateStdAccessibleObject");
            resultFromObject_ =
                LibraryFunction<decltype(&::LresultFromObject)>(module_.Get(), "LresultFromObject");
        }
    }

    static const AccessibilityLibrary& Get() {
        static const AccessibilityLibrary library;
        return library;
    }

    bool Loaded() const { return createStandard_ != nullptr && resultFromObject_ != nullptr; }

    HRESULT CreateStandard(HWND window, REFIID interfaceId, void** object) const {
        return createStandard_(window, OBJID_CLIENT, interfaceId, object);
    }

    LRESULT ResultFromObject(REFIID interfaceId, WPARAM flags, IUnknown* object) const {
        return resultFromObject_(interfaceId, flags, object);
    }

private:
    UniqueModule module_;
    decltype(&::CreateStdAccessibleObject) createStandard_ = nullptr;
    decltype(&::LresultFromObject) resultFromObject_ = nullptr;
};

bool IsSelf(const VARIANT& child) {
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

// The platform's object for a control with the name, role and value of AccessibleFacts: every
// other question, and those about the control's items, go to the platform's object.
class NamedAccessible final : public IAccessible {
public:
    NamedAccessible(IAccessible* inner, HWND window, const AccessibleFacts& facts)
        : inner_(inner), window_(window), facts_(facts) {
        inner_->AddRef();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(IAccessible)) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        return inner_->QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            // COM counts the references: the last one gone frees the object.
            std::unique_ptr<NamedAccessible> last(this);
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        return inner_->GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return inner_->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override {
        return inner_->GetIDsOfNames(iid, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argument) override {
        return inner_->Invoke(id, iid, locale, flags, params, result, exception, argument);
    }

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        return inner_->get_accParent(parent);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
        return inner_->get_accChildCount(count);
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
        return inner_->get_accChild(child, object);
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (!IsSelf(child) || facts_.name.empty()) {
            return inner_->get_accName(child, name);
        }
        return Text(facts_.name, name);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        if (!IsSelf(child) || facts_.value == nullptr) {
            return inner_->get_accValue(child, value);
        }
        if (!::IsWindow(window_)) {
            return E_FAIL;
        }
        return Text(facts_.value(window_), value);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        return inner_->get_accDescription(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!IsSelf(child) || facts_.role == 0) {
            return inner_->get_accRole(child, role);
        }
        if (role == nullptr) {
            return E_POINTER;
        }
        ::VariantInit(role);
        role->vt = VT_I4;
        role->lVal = facts_.role;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        return inner_->get_accState(child, state);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
        return inner_->get_accHelp(child, help);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
        return inner_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* keys) override {
        return inner_->get_accKeyboardShortcut(child, keys);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override {
        return inner_->get_accFocus(child);
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        return inner_->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return inner_->get_accDefaultAction(child, action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long how, VARIANT child) override {
        return inner_->accSelect(how, child);
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                          VARIANT child) override {
        return inner_->accLocation(left, top, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
        return inner_->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override {
        return inner_->accHitTest(x, y, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return inner_->accDoDefaultAction(child);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override {
        return inner_->put_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
        return inner_->put_accValue(child, value);
    }

private:
    ~NamedAccessible() { inner_->Release(); }
    friend std::default_delete<NamedAccessible>;

    static HRESULT Text(const std::wstring& text, BSTR* out) {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *out != nullptr ? S_OK : E_OUTOFMEMORY;
    }

    IAccessible* inner_;
    HWND window_;
    const AccessibleFacts facts_;
    std::atomic<ULONG> references_{1};
};

}  // namespace

std::optional<LRESULT> AnswerAccessibleObject(HWND window, WPARAM flags,
                                              const AccessibleFacts& facts) {
    const AccessibilityLibrary& library = AccessibilityLibrary::Get();
    if (!library.Loaded()) {
        return std::nullopt;
    }
    ComRef<IAccessible> inner;
    if (FAILED(library.CreateStandard(window, __uuidof(IAccessible),
                                      reinterpret_cast<void**>(inner.Put())))) {
        return std::nullopt;
    }
    ComRef<IAccessible> named;
    *named.Put() = std::make_unique<NamedAccessible>(inner.Get(), window, facts).release();
    const LRESULT answer = library.ResultFromObject(__uuidof(IAccessible), flags, named.Get());
    if (answer < 0) {
        return std::nullopt;
    }
    return answer;
}

}  // namespace bexlo
