// The three creatable classes of Tarnwick.dll.
#pragma once

#include "com_support.h"

namespace tarnwick::com {

// The programmatic identifiers: registered, and the source named in each
// class's error information.
inline constexpr const wchar_t* shellProgId = L"Tarnwick.twShell";
inline constexpr const wchar_t* registryProgId = L"Tarnwick.twRegistry";
inline constexpr const wchar_t* functionsProgId = L"Tarnwick.twFunctions";

// Each makes a new object and asks it for riid.
HRESULT createShell(REFIID riid, void** out);
HRESULT createRegistry(REFIID riid, void** out);
HRESULT createFunctions(REFIID riid, void** out);

// The identifier the default interface of twShell had before: it answers
// to it too.
const IID& earlierShellIid();

template <typename Object>
HRESULT createObject(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    Object* object = new (std::nothrow) Object();
    if (!object) return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(riid, out);
    object->Release();
    return hr;
}

}  // namespace tarnwick::com
