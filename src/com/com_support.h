// What every automation object of Tarnwick.dll shares: conversions between
// the automation types and the library's value types, the module's lock
// count, its type library, and the translation of errors.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <oleauto.h>

#include <atomic>
#include <exception>
#include <new>

#include "core/caught.h"
#include "tarnwick/tarnwick.h"
#include "tarnwick_idl.h"

namespace tarnwick::com {

// ---- module
HINSTANCE moduleInstance();
void lockModule();
void unlockModule();
LONG moduleLocks();
// The type library embedded in this module, loaded once.
ITypeLib* typeLibrary();
// The type information of an interface or class of the library (no new
// reference: it lives as long as the module).
ITypeInfo* typeInfo(REFGUID guid);

// ---- values
String fromBstr(BSTR text);
// A new BSTR; raises Error 7 when memory runs out.
BSTR toBstr(const String& text);
// An automation argument as a Variant: by-reference values are read
// through; types outside the interface's are converted where the runtime
// converts them, else Error 13.
Variant fromVariant(const VARIANT& value);
// Fills out (uninitialised) with value.
void toVariant(const Variant& value, VARIANT* out);
inline Boolean fromVariantBool(VARIANT_BOOL b) {
    return Boolean::fromRaw(b);
}
inline VARIANT_BOOL toVariantBool(Boolean b) {
    return b.raw();
}

// ---- errors
// The automation status of a runtime error: 0x800A0000 | number.
HRESULT statusOf(const Error& error);
// Hands error to the caller as the thread's error information and returns
// its status.
HRESULT reportError(const Error& error, const wchar_t* source, REFIID iid);

// Runs body, turning an escaping error into the automation status and
// error information; a null out pointer is refused first.
template <typename Body>
HRESULT guarded(const wchar_t* source, REFIID iid, Body&& body) noexcept {
    try {
        body();
        return S_OK;
    } catch (...) {
        return reportError(caughtError(), source, iid);
    }
}

// A reference count that keeps the module loaded while the object lives.
class ModuleReference {
  public:
    ModuleReference() { lockModule(); }
    ~ModuleReference() { unlockModule(); }
    ModuleReference(const ModuleReference&) = delete;
    ModuleReference& operator=(const ModuleReference&) = delete;
};

// An object with a single interface besides IUnknown, counted so that it
// keeps the module loaded while it lives.
template <typename Interface>
class SingleInterfaceObject : public Interface {
  public:
    explicit SingleInterfaceObject(REFIID iid) : iid_(iid) {}
    SingleInterfaceObject(const SingleInterfaceObject&) = delete;
    SingleInterfaceObject& operator=(const SingleInterfaceObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, iid_)) return E_NOINTERFACE;
        *out = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

  protected:
    virtual ~SingleInterfaceObject() = default;

  private:
    std::atomic<ULONG> references_{1};
    ModuleReference module_;
    const IID& iid_;
};

// Dispatch through the interface's type information, with the help script
// clients need: a by-reference variant handed to an in/out parameter of
// another type is converted to that type for the call and the result
// written back, and a value handed to an in/out parameter is passed by
// reference to a copy.
HRESULT invokeThroughTypeInfo(IDispatch* self, ITypeInfo* info, DISPID member, WORD flags,
                              DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                              UINT* argumentError);

// Fills exception from error, for callers of IDispatch::Invoke.
HRESULT exceptionFrom(const Error& error, const wchar_t* source, EXCEPINFO* exception);

}  // namespace tarnwick::com
