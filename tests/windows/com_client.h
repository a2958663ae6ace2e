// Helpers of the automation clients in the tests: owned interface pointers,
// BSTRs and variants, and calls by name through IDispatch.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <oleauto.h>

#include <string>
#include <vector>

#include "tarnwick_idl.h"

namespace tarnwick::testing {

template <typename T>
class Ref {
  public:
    Ref() = default;
    ~Ref() { reset(); }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    T** put() {
        reset();
        return &p_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }

  private:
    T* p_ = nullptr;
};

class Bstr {
  public:
    Bstr() = default;
    explicit Bstr(const std::wstring& s)
        : b_(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
    ~Bstr() { SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return b_; }
    BSTR* put() {
        SysFreeString(b_);
        b_ = nullptr;
        return &b_;
    }
    std::wstring text() const { return b_ ? std::wstring(b_, SysStringLen(b_)) : std::wstring(); }

  private:
    BSTR b_ = nullptr;
};

struct Var {
    VARIANT v;
    Var() { VariantInit(&v); }
    explicit Var(const std::wstring& s) : Var() {
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    }
    static Var i4(LONG n) {
        Var r;
        V_VT(&r.v) = VT_I4;
        V_I4(&r.v) = n;
        return r;
    }
    static Var i2(SHORT n) {
        Var r;
        V_VT(&r.v) = VT_I2;
        V_I2(&r.v) = n;
        return r;
    }
    static Var boolean(bool b) {
        Var r;
        V_VT(&r.v) = VT_BOOL;
        V_BOOL(&r.v) = b ? VARIANT_TRUE : VARIANT_FALSE;
        return r;
    }
    // A reference to another variant, as script clients pass variables.
    static Var refTo(Var& target) {
        Var r;
        V_VT(&r.v) = VT_BYREF | VT_VARIANT;
        V_VARIANTREF(&r.v) = &target.v;
        return r;
    }
    Var(Var&& other) noexcept : v(other.v) { VariantInit(&other.v); }
    ~Var() {
        if (!(V_VT(&v) & VT_BYREF)) VariantClear(&v);
    }
    std::wstring text() const {
        return V_VT(&v) == VT_BSTR ? std::wstring(V_BSTR(&v), SysStringLen(V_BSTR(&v))) : L"?";
    }
};

// The dispatch id of a member, by name.
inline DISPID dispatchId(IDispatch* object, const wchar_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    return id;
}

struct CallResult {
    HRESULT status = E_FAIL;
    Var value;
    EXCEPINFO exception{};
    ~CallResult() {
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
    }
};

// Calls a method by name with the arguments in their written order.
inline void callByName(IDispatch* object, const wchar_t* name, std::vector<VARIANT> arguments,
                       CallResult& result) {
    std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    UINT argumentError = 0;
    result.status =
        object->Invoke(dispatchId(object, name), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                       &params, &result.value.v, &result.exception, &argumentError);
}

// A folder of the test, as a Windows path with a trailing backslash.
inline std::wstring tempFolder(const std::wstring& name) {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    std::wstring folder = std::wstring(base) + name + L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

inline void writeFile(const std::wstring& path, const std::string& content) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(f, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(f);
}

inline std::string readFile(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return "<missing>";
    std::string content(1 << 16, '\0');
    DWORD got = 0;
    ReadFile(f, content.data(), static_cast<DWORD>(content.size()), &got, nullptr);
    CloseHandle(f);
    content.resize(got);
    return content;
}

}  // namespace tarnwick::testing
