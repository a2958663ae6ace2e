// ChangeConfigFile through IDispatch, and the change list read from its
// array of records.
#include "config_changes.h"

#include <utility>
#include <vector>

namespace tarnwick::com {

ConfigFileArray changeList(SAFEARRAY* array) {
    if (!array) return ConfigFileArray();
    if (SafeArrayGetDim(array) != 1) throw Error(errors::SubscriptOutOfRange);
    IRecordInfo* record = nullptr;
    if (FAILED(SafeArrayGetRecordInfo(array, &record)) || !record)
        throw Error(errors::TypeMismatch);
    BSTR name = nullptr;
    const bool ours = SUCCEEDED(record->GetName(&name)) && fromBstr(name) == u"ConfigFileType";
    SysFreeString(name);
    record->Release();
    if (!ours) throw Error(errors::TypeMismatch);
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    std::vector<ConfigFileType> items;
    void* data = nullptr;
    if (upper >= lower) {
        if (FAILED(SafeArrayAccessData(array, &data))) throw Error(errors::SubscriptOutOfRange);
        const auto* records = static_cast<const ::ConfigFileType*>(data);
        try {
            for (LONG i = 0; i <= upper - lower; ++i)
                items.push_back(
                    {fromBstr(records[i].KeyToChange), fromBstr(records[i].ValueToSet)});
        } catch (...) {
            SafeArrayUnaccessData(array);
            throw;
        }
        SafeArrayUnaccessData(array);
    }
    return ConfigFileArray(std::move(items), lower);
}

bool invokeChangeConfigFile(twFunctions& functions, const wchar_t* source, DISPID member,
                            WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                            UINT* argumentError, HRESULT& hr) {
    // Its member number, from the type library as the IDL gives it.
    static const DISPID changeConfigFile = [] {
        ITypeInfo* info = typeInfo(IID__twFunctions);
        OLECHAR name[] = L"ChangeConfigFile";
        LPOLESTR names[] = {name};
        DISPID id = DISPID_UNKNOWN;
        if (info) info->GetIDsOfNames(names, 1, &id);
        return id;
    }();
    if (member != changeConfigFile || !(flags & DISPATCH_METHOD)) return false;
    if (result) VariantInit(result);
    if (!params) {
        hr = E_POINTER;
        return true;
    }
    if (params->cNamedArgs != 0) {
        hr = DISP_E_NONAMEDARGS;
        return true;
    }
    if (params->cArgs != 2) {
        hr = DISP_E_BADPARAMCOUNT;
        return true;
    }
    try {
        const Variant file = fromVariant(params->rgvarg[1]);
        const VARIANT* list = &params->rgvarg[0];
        while (V_VT(list) == (VT_BYREF | VT_VARIANT)) list = V_VARIANTREF(list);
        SAFEARRAY* array = nullptr;
        if (V_VT(list) == (VT_ARRAY | VT_RECORD))
            array = V_ARRAY(list);
        else if (V_VT(list) == (VT_BYREF | VT_ARRAY | VT_RECORD))
            array = *V_ARRAYREF(list);
        else if (V_VT(list) != VT_EMPTY && V_VT(list) != VT_ERROR) {
            if (argumentError) *argumentError = 0;
            hr = DISP_E_TYPEMISMATCH;
            return true;
        }
        functions.ChangeConfigFile(file.toString(), changeList(array));
        hr = S_OK;
    } catch (...) {
        // Nothing may cross Invoke: any escaping error is reported.
        hr = exceptionFrom(caughtError(), source, exception);
    }
    return true;
}

}  // namespace tarnwick::com
