// The frame of every automation object of the library: reference counting
// that keeps the module loaded, the dual interface's dispatch half served
// from the type library, and error information for its interface.
#pragma once

#include "com_support.h"

namespace tarnwick::com {

template <typename Interface>
class DualObject : public Interface, public ISupportErrorInfo {
  public:
    DualObject(REFIID iid, const wchar_t* source) : iid_(iid), source_(source) {}

    // ---- IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, iid_) || answersAs(riid))
            *out = static_cast<Interface*>(this);
        else if (IsEqualIID(riid, IID_ISupportErrorInfo))
            *out = static_cast<ISupportErrorInfo*>(this);
        else
            *out = queryMore(riid);
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // ---- IDispatch, through the type library
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        ITypeInfo* info = typeInfo(iid_);
        if (!info) return TYPE_E_ELEMENTNOTFOUND;
        info->AddRef();
        *out = info;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        ITypeInfo* info = typeInfo(iid_);
        if (!info) return E_UNEXPECTED;
        return DispGetIDsOfNames(info, names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override {
        HRESULT hr;
        if (invokeOwn(member, flags, params, result, exception, argumentError, hr)) return hr;
        return invokeThroughTypeInfo(static_cast<Interface*>(this), typeInfo(iid_), member, flags,
                                     params, result, exception, argumentError);
    }

    // ---- ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
        return IsEqualIID(riid, iid_) || answersAs(riid) ? S_OK : S_FALSE;
    }

  protected:
    virtual ~DualObject() = default;
    // Another identifier the default interface answers to.
    virtual bool answersAs(REFIID) const { return false; }
    // Further interfaces of the object.
    virtual void* queryMore(REFIID) { return nullptr; }
    // A member the type library cannot dispatch: handled here when true.
    virtual bool invokeOwn(DISPID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*, HRESULT&) {
        return false;
    }

    // Runs a method body with errors turned into this interface's status.
    template <typename Body>
    HRESULT run(Body&& body) noexcept {
        return guarded(source_, iid_, std::forward<Body>(body));
    }
    const wchar_t* source() const { return source_; }

  private:
    std::atomic<ULONG> references_{1};
    ModuleReference module_;
    const IID& iid_;
    const wchar_t* source_;
};

}  // namespace tarnwick::com
