// The module's exports: the class objects of the three classes, the unload
// test, and registration of the classes and the type library.
#include <olectl.h>

#include <string>
#include <vector>

#include "com_support.h"
#include "objects.h"

namespace tarnwick::com {

namespace {

HINSTANCE instance = nullptr;

struct ClassEntry {
    const CLSID* clsid;
    const wchar_t* progId;
    HRESULT (*create)(REFIID, void**);
};

const ClassEntry classes[] = {
    {&CLSID_twShell, shellProgId, createShell},
    {&CLSID_twRegistry, registryProgId, createRegistry},
    {&CLSID_twFunctions, functionsProgId, createFunctions},
};

class ClassFactory final : public SingleInterfaceObject<IClassFactory> {
  public:
    explicit ClassFactory(const ClassEntry& entry)
        : SingleInterfaceObject(IID_IClassFactory), entry_(entry) {}
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return entry_.create(riid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            lockModule();
        else
            unlockModule();
        return S_OK;
    }

  private:
    const ClassEntry& entry_;
};

std::wstring guidText(REFGUID guid) {
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring modulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(instance, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return std::wstring();
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// Writes the default value (name empty) or a named value of a key under
// HKEY_CLASSES_ROOT, creating the key.
LONG setValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY handle;
    LONG status = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &handle, nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return status;
}

// Whether the other registry view (32-bit for a 64-bit module and the
// other way round) still holds a server for the class.
bool otherViewServes(const CLSID& clsid) {
    const REGSAM otherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    HKEY handle;
    const std::wstring key = L"CLSID\\" + guidText(clsid) + L"\\InprocServer32";
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ | otherView, &handle) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

const wchar_t* const automationMarshaller = L"{00020424-0000-0000-C000-000000000046}";

}  // namespace

HINSTANCE moduleInstance() {
    return instance;
}

// The type library's version, as its source declares it.
bool libraryVersion(WORD& major, WORD& minor) {
    ITypeLib* library = typeLibrary();
    TLIBATTR* attributes = nullptr;
    if (!library || FAILED(library->GetLibAttr(&attributes))) return false;
    major = attributes->wMajorVerNum;
    minor = attributes->wMinorVerNum;
    library->ReleaseTLibAttr(attributes);
    return true;
}

HRESULT registerServer() {
    const std::wstring path = modulePath();
    ITypeLib* library = typeLibrary();
    WORD major = 0, minor = 0;
    if (path.empty() || !library || !libraryVersion(major, minor)) return SELFREG_E_TYPELIB;
    // The type library, with the interfaces for the automation marshaller.
    HRESULT hr = RegisterTypeLib(library, const_cast<OLECHAR*>(path.c_str()), nullptr);
    if (FAILED(hr)) return SELFREG_E_TYPELIB;

    const std::wstring libid = guidText(LIBID_Tarnwick);
    const std::wstring version = std::to_wstring(major) + L"." + std::to_wstring(minor);
    // Every value written: key, value name (null for the default), value.
    struct Value {
        std::wstring key;
        const wchar_t* name;
        std::wstring value;
    };
    std::vector<Value> values;
    for (const ClassEntry& c : classes) {
        const std::wstring key = L"CLSID\\" + guidText(*c.clsid);
        const std::wstring progId = c.progId;
        values.insert(values.end(), {{key, nullptr, progId},
                                     {key + L"\\InprocServer32", nullptr, path},
                                     {key + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
                                     {key + L"\\ProgID", nullptr, progId},
                                     {key + L"\\TypeLib", nullptr, libid},
                                     {key + L"\\VERSION", nullptr, version},
                                     {progId, nullptr, progId},
                                     {progId + L"\\CLSID", nullptr, guidText(*c.clsid)}});
    }
    // The earlier identifier of _twShell, marshalled like the current one.
    const std::wstring earlier = L"Interface\\" + guidText(earlierShellIid());
    values.insert(values.end(), {{earlier, nullptr, L"twShell___v0"},
                                 {earlier + L"\\ProxyStubClsid32", nullptr, automationMarshaller},
                                 {earlier + L"\\ProxyStubClsid", nullptr, automationMarshaller},
                                 {earlier + L"\\TypeLib", nullptr, libid},
                                 {earlier + L"\\TypeLib", L"Version", version}});
    for (const Value& v : values)
        if (setValue(v.key, v.name, v.value) != ERROR_SUCCESS) return SELFREG_E_CLASS;
    return S_OK;
}

HRESULT unregisterServer() {
    SYSKIND kind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
    // Removes this bitness's entry of the type library; the interfaces go
    // with the library's last entry.
    WORD major = 0, minor = 0;
    if (libraryVersion(major, minor)) UnRegisterTypeLib(LIBID_Tarnwick, major, minor, 0, kind);
    for (const ClassEntry& c : classes) {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + guidText(*c.clsid)).c_str());
        // The programmatic identifiers are shared by both registry views:
        // they stay while the other bitness still serves the class.
        if (!otherViewServes(*c.clsid)) RegDeleteTreeW(HKEY_CLASSES_ROOT, c.progId);
    }
    if (!otherViewServes(CLSID_twShell))
        RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"Interface\\" + guidText(earlierShellIid())).c_str());
    return S_OK;
}

HRESULT classObject(REFCLSID clsid, REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    for (const ClassEntry& c : classes) {
        if (!IsEqualCLSID(clsid, *c.clsid)) continue;
        ClassFactory* factory = new (std::nothrow) ClassFactory(c);
        if (!factory) return E_OUTOFMEMORY;
        const HRESULT hr = factory->QueryInterface(riid, out);
        factory->Release();
        return hr;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

void setModuleInstance(HINSTANCE module) {
    instance = module;
}

}  // namespace tarnwick::com

extern "C" {

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        tarnwick::com::setModuleInstance(module);
        DisableThreadLibraryCalls(module);
    }
    return TRUE;
}

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* out) {
    return tarnwick::com::classObject(clsid, riid, out);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return tarnwick::com::moduleLocks() == 0 ? S_OK : S_FALSE;
}

HRESULT STDAPICALLTYPE DllRegisterServer() {
    return tarnwick::com::registerServer();
}

HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return tarnwick::com::unregisterServer();
}

}  // extern "C"
