#include "com_support.h"

#include <mutex>
#include <vector>

namespace tarnwick::com {

// ---------------------------------------------------------------- module

namespace {
std::atomic<LONG> locks{0};
}  // namespace

void lockModule() {
    ++locks;
}
void unlockModule() {
    --locks;
}
LONG moduleLocks() {
    return locks.load();
}

ITypeLib* typeLibrary() {
    static ITypeLib* const library = []() -> ITypeLib* {
        wchar_t path[MAX_PATH * 4];
        const DWORD n = GetModuleFileNameW(moduleInstance(), path, MAX_PATH * 4);
        if (n == 0 || n >= MAX_PATH * 4) return nullptr;
        ITypeLib* loaded = nullptr;
        if (FAILED(LoadTypeLibEx(path, REGKIND_NONE, &loaded))) return nullptr;
        return loaded;  // kept for the life of the module
    }();
    return library;
}

ITypeInfo* typeInfo(REFGUID guid) {
    static std::mutex lock;
    static std::vector<std::pair<GUID, ITypeInfo*>> known;
    std::lock_guard guard(lock);
    for (const auto& [g, info] : known)
        if (IsEqualGUID(g, guid)) return info;
    ITypeLib* library = typeLibrary();
    ITypeInfo* info = nullptr;
    if (!library || FAILED(library->GetTypeInfoOfGuid(guid, &info))) return nullptr;
    known.emplace_back(guid, info);
    return info;
}

// ---------------------------------------------------------------- values

String fromBstr(BSTR text) {
    if (!text) return String();
    return String(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

BSTR toBstr(const String& text) {
    BSTR b = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                               static_cast<UINT>(text.size()));
    if (!b) throw Error(errors::OutOfMemory);
    return b;
}

namespace {

// A VARIANT that clears itself.
struct OwnedVariant {
    VARIANT v;
    OwnedVariant() { VariantInit(&v); }
    ~OwnedVariant() { VariantClear(&v); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
};

}  // namespace

Variant fromVariant(const VARIANT& value) {
    const VARIANT* v = &value;
    while (V_VT(v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(v)) v = V_VARIANTREF(v);
    OwnedVariant plain;
    if (V_VT(v) & VT_BYREF) {
        if (FAILED(VariantCopyInd(&plain.v, const_cast<VARIANT*>(v))))
            throw Error(errors::TypeMismatch);
        v = &plain.v;
    }
    switch (V_VT(v)) {
        case VT_EMPTY:
            return Variant();
        case VT_NULL:
            return Variant::null();
        case VT_BOOL:
            return Variant(Boolean::fromRaw(V_BOOL(v)));
        case VT_I2:
            return Variant(static_cast<std::int16_t>(V_I2(v)));
        case VT_I4:
            return Variant(static_cast<std::int32_t>(V_I4(v)));
        case VT_R8:
            return Variant(V_R8(v));
        case VT_BSTR:
            return Variant(fromBstr(V_BSTR(v)));
        case VT_ERROR:
            // An omitted optional argument.
            if (V_ERROR(v) == DISP_E_PARAMNOTFOUND) return Variant();
            throw Error(errors::TypeMismatch);
        case VT_UI1:
        case VT_I1:
        case VT_UI2:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_I8:
        case VT_UI8:
        case VT_R4:
        case VT_CY:
        case VT_DECIMAL: {
            OwnedVariant number;
            if (FAILED(VariantChangeType(&number.v, const_cast<VARIANT*>(v), 0, VT_R8)))
                throw Error(errors::Overflow);
            const double d = V_R8(&number.v);
            if (d == static_cast<std::int16_t>(d)) return Variant(static_cast<std::int16_t>(d));
            if (d == static_cast<double>(static_cast<std::int32_t>(d)) && d >= -2147483648.0 &&
                d <= 2147483647.0)
                return Variant(static_cast<std::int32_t>(d));
            return Variant(d);
        }
        case VT_DATE: {
            OwnedVariant text;
            if (FAILED(VariantChangeType(&text.v, const_cast<VARIANT*>(v), 0, VT_BSTR)))
                throw Error(errors::TypeMismatch);
            return Variant(fromBstr(V_BSTR(&text.v)));
        }
        default:
            throw Error(errors::TypeMismatch);
    }
}

void toVariant(const Variant& value, VARIANT* out) {
    VariantInit(out);
    switch (value.kind()) {
        case Variant::Kind::Empty:
            break;
        case Variant::Kind::Null:
            V_VT(out) = VT_NULL;
            break;
        case Variant::Kind::Boolean:
            V_VT(out) = VT_BOOL;
            V_BOOL(out) = value.asBoolean().raw();
            break;
        case Variant::Kind::Integer:
            V_VT(out) = VT_I2;
            V_I2(out) = value.asInteger();
            break;
        case Variant::Kind::Long:
            V_VT(out) = VT_I4;
            V_I4(out) = value.asLong();
            break;
        case Variant::Kind::Double:
            V_VT(out) = VT_R8;
            V_R8(out) = value.asDouble();
            break;
        case Variant::Kind::String:
            V_BSTR(out) = toBstr(value.asString());
            V_VT(out) = VT_BSTR;
            break;
    }
}

// ---------------------------------------------------------------- errors

HRESULT statusOf(const Error& error) {
    // A number that already is a failure status travels as it is.
    if (error.number() < 0) return static_cast<HRESULT>(error.number());
    return static_cast<HRESULT>(0x800A0000u |
                                (static_cast<std::uint32_t>(error.number()) & 0xFFFF));
}

HRESULT reportError(const Error& error, const wchar_t* source, REFIID iid) {
    ICreateErrorInfo* create = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
        create->SetGUID(iid);
        create->SetSource(const_cast<LPOLESTR>(source));
        const String& d = error.description();
        std::wstring description(d.begin(), d.end());
        create->SetDescription(description.data());
        IErrorInfo* info = nullptr;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
            SetErrorInfo(0, info);
            info->Release();
        }
        create->Release();
    }
    return statusOf(error);
}

HRESULT exceptionFrom(const Error& error, const wchar_t* source, EXCEPINFO* exception) {
    if (exception) {
        *exception = EXCEPINFO{};
        exception->bstrSource = SysAllocString(source);
        const String& d = error.description();
        exception->bstrDescription = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(d.data()),
                                                       static_cast<UINT>(d.size()));
        exception->scode = statusOf(error);
    }
    return DISP_E_EXCEPTION;
}

// ---------------------------------------------------------------- dispatch

namespace {

// The function of the interface that dispatch id member names.
class FunctionDescription {
  public:
    FunctionDescription(ITypeInfo* info, DISPID member) : info_(info) {
        TYPEATTR* attributes = nullptr;
        if (FAILED(info->GetTypeAttr(&attributes))) return;
        for (UINT i = 0; i < attributes->cFuncs && !description_; ++i) {
            FUNCDESC* f = nullptr;
            if (FAILED(info->GetFuncDesc(i, &f))) continue;
            if (f->memid == member)
                description_ = f;
            else
                info->ReleaseFuncDesc(f);
        }
        info->ReleaseTypeAttr(attributes);
    }
    ~FunctionDescription() {
        if (description_) info_->ReleaseFuncDesc(description_);
    }
    FunctionDescription(const FunctionDescription&) = delete;
    FunctionDescription& operator=(const FunctionDescription&) = delete;
    const FUNCDESC* operator->() const { return description_; }
    explicit operator bool() const { return description_ != nullptr; }

  private:
    ITypeInfo* info_;
    FUNCDESC* description_ = nullptr;
};

// Where a by-reference argument of type vt points within a variant.
void* storageOf(VARIANT& v, VARTYPE vt) {
    switch (vt) {
        case VT_BSTR:
            return &V_BSTR(&v);
        case VT_I2:
            return &V_I2(&v);
        case VT_I4:
            return &V_I4(&v);
        case VT_BOOL:
            return &V_BOOL(&v);
        default:
            return nullptr;
    }
}

struct Replaced {
    UINT position;       // in rgvarg
    VARTYPE target;      // the declared type of the parameter
    VARIANT original;    // what the caller handed in, put back afterwards
    VARIANT* writeBack;  // the caller's variable, or null for a value
    VARIANT temporary;   // the converted value the call works on
};

}  // namespace

HRESULT invokeThroughTypeInfo(IDispatch* self, ITypeInfo* info, DISPID member, WORD flags,
                              DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                              UINT* argumentError) {
    if (!info) return E_UNEXPECTED;
    FunctionDescription function(info, member);
    std::vector<Replaced> replaced;
    const auto restore = [&] {
        for (Replaced& r : replaced) params->rgvarg[r.position] = r.original;
    };
    if (function && params && params->cNamedArgs == 0) {
        const UINT count = params->cArgs;
        for (UINT k = 0; k < count; ++k) {
            const UINT p = count - 1 - k;  // arguments arrive last first
            if (p >= static_cast<UINT>(function->cParams)) continue;
            const ELEMDESC& element = function->lprgelemdescParam[p];
            if (!(element.paramdesc.wParamFlags & PARAMFLAG_FOUT)) continue;
            if (element.tdesc.vt != VT_PTR || !element.tdesc.lptdesc) continue;
            const VARTYPE target = element.tdesc.lptdesc->vt;
            const bool scalar = storageOf(params->rgvarg[k], target) != nullptr;
            if (!scalar && target != VT_VARIANT) continue;

            VARIANT& supplied = params->rgvarg[k];
            const VARTYPE given = V_VT(&supplied);
            VARIANT* source = nullptr;
            VARIANT* writeBack = nullptr;
            if (given == (VT_BYREF | target)) continue;  // already as declared
            if (scalar && given == (VT_BYREF | VT_VARIANT)) {
                source = writeBack = V_VARIANTREF(&supplied);
            } else if (!(given & VT_BYREF)) {
                source = &supplied;  // a value: passed by reference to a copy
            } else {
                continue;  // another by-reference type: the type information decides
            }
            Replaced r{k, target, supplied, writeBack, {}};
            VariantInit(&r.temporary);
            const HRESULT converted = target == VT_VARIANT
                                          ? VariantCopy(&r.temporary, source)
                                          : VariantChangeType(&r.temporary, source, 0, target);
            if (FAILED(converted)) {
                for (Replaced& done : replaced) VariantClear(&done.temporary);
                if (argumentError) *argumentError = k;
                return converted == DISP_E_OVERFLOW ? converted : DISP_E_TYPEMISMATCH;
            }
            replaced.push_back(r);
        }
        // Point the arguments at the temporaries only now that the vector
        // no longer moves.
        for (Replaced& r : replaced) {
            VARIANT& argument = params->rgvarg[r.position];
            VariantInit(&argument);
            V_VT(&argument) = VT_BYREF | r.target;
            if (r.target == VT_VARIANT)
                V_VARIANTREF(&argument) = &r.temporary;
            else
                V_BYREF(&argument) = storageOf(r.temporary, r.target);
        }
    }

    const HRESULT hr = info->Invoke(self, member, flags, params, result, exception, argumentError);

    restore();
    for (Replaced& r : replaced) {
        if (r.writeBack) {
            VariantClear(r.writeBack);
            *r.writeBack = r.temporary;  // the variable takes the value over
        } else {
            VariantClear(&r.temporary);
        }
    }
    return hr;
}

}  // namespace tarnwick::com
