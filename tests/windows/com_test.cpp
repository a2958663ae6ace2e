// Tarnwick.dll as its clients see it, after regsvr32 under Wine: every method
// by name through IDispatch and at its slot of the function table, with its
// dispatch id, result, in/out values and errors (status and error
// information), on real files, the registry and the drives; the FoundFile
// event; the type library; the module's class objects, unloading and
// version block. With --expect-unregistered: no class can be created any more.
#include <gtest/gtest.h>
#include <windows.h>
// after windows.h, which they need
#include <oleauto.h>
#include <olectl.h>

#include <algorithm>

#include "support/psid_bytes.h"
#include "support/temp_folder.h"
#include "tarnwick_idl.h"

namespace {

using tarnwick::testing::contentOf;

template <typename T>
struct Ref {
    T* p = nullptr;
    Ref() = default;
    Ref(const Ref&) = delete;
    ~Ref() { reset(); }
    void reset() {
        if (p) p->Release();
        p = nullptr;
    }
    T* operator->() const { return p; }
    T** out() { return &p; }
    void** put() { return reinterpret_cast<void**>(&p); }
};

struct Var {
    VARIANT v;
    Var() { VariantInit(&v); }
    Var(VARTYPE type, LONG n) : Var() { V_VT(&v) = type, V_I4(&v) = n; }
    Var(const std::wstring& s) : Var() {
        V_VT(&v) = VT_BSTR, V_BSTR(&v) = SysAllocStringLen(s.data(), UINT(s.size()));
    }
    Var(const wchar_t* s) : Var(std::wstring(s)) {}
    Var(const Var& other) : Var() { *this = other; }
    Var& operator=(const Var& other) {
        if (this != &other) VariantCopy(&v, const_cast<VARIANT*>(&other.v));
        return *this;
    }
    ~Var() { VariantClear(&v); }
};
const Var T(VT_BOOL, -1), F(VT_BOOL, 0), E;
const auto i2 = [](SHORT n) { return Var(VT_I2, n); };
const auto i4 = [](LONG n) { return Var(VT_I4, n); };
const auto text = [](BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : L""; };

// A value as a client sees it: numbers with the type characters of the
// runtime (% Integer, & Long, # Double), and a boolean True only as -1.
std::wstring show(const VARIANT& value) {
    const VARIANT& v = V_VT(&value) == (VT_BYREF | VT_VARIANT) ? *V_VARIANTREF(&value) : value;
    if (V_VT(&v) == VT_BSTR) return text(V_BSTR(&v));
    if (V_VT(&v) == VT_BOOL) return V_BOOL(&v) == -1 ? L"True" : V_BOOL(&v) ? L"?" : L"False";
    if (V_VT(&v) == VT_I2) return std::to_wstring(V_I2(&v)) + L"%";
    if (V_VT(&v) == VT_I4) return std::to_wstring(V_I4(&v)) + L"&";
    if (V_VT(&v) == VT_R8) return std::to_wstring(std::int64_t(V_R8(&v))) + L"#";
    return L"vt" + std::to_wstring(V_VT(&v));
}
std::wstring failure(HRESULT status, BSTR description) {
    return L"error " + std::to_wstring(status & 0xFFFF) + L" " + text(description) +
           (HRESULT_FACILITY(status) == 0xA ? L"" : L" (not a runtime error)");
}

// A method of the object's dual interface, as its type library declares it.
struct Method {
    Ref<ITypeInfo> table;
    FUNCDESC* f = nullptr;
    BSTR names[16] = {};  // the method's, then its parameters'
    IID iid{};            // of the interface
    Method(IDispatch* object, const wchar_t* name) {
        Ref<ITypeInfo> dispatch;
        Ref<ITypeInfo2> table2;
        HREFTYPE half = 0;
        MEMBERID id = 0;
        TYPEATTR* type = nullptr;
        UINT index = 0;
        LPOLESTR lookup[] = {const_cast<LPOLESTR>(name)};
        if (!object->GetTypeInfo(0, 0, dispatch.out()) &&
            !dispatch->GetRefTypeOfImplType(-1, &half) &&
            !dispatch->GetRefTypeInfo(half, table.out()) && !table->GetIDsOfNames(lookup, 1, &id) &&
            !table->QueryInterface(IID_ITypeInfo2, table2.put()) &&
            !table2->GetFuncIndexOfMemId(id, INVOKE_FUNC, &index) && !table->GetFuncDesc(index, &f))
            table->GetNames(id, names, 16, &index),
                iid = dispatch->GetTypeAttr(&type) ? iid : type->guid;
        if (type) dispatch->ReleaseTypeAttr(type);
    }
    ~Method() {
        if (f) table->ReleaseFuncDesc(f);
        for (BSTR name : names) SysFreeString(name);
    }
    bool hasResult() const {
        return f->lprgelemdescParam[f->cParams - 1].paramdesc.wParamFlags & PARAMFLAG_FRETVAL;
    }
    bool inOut(std::size_t i) const { return f->lprgelemdescParam[i].tdesc.vt == VT_PTR; }
    // The result, then every in/out value the call changed.
    std::wstring outcome(const VARIANT* result, const std::vector<std::wstring>& before,
                         const std::vector<Var>& after) const {
        std::wstring seen = result ? show(*result) : L"";
        for (std::size_t i = 0; i < before.size(); ++i)
            if (inOut(i) && show(after[i].v) != before[i])
                seen += (seen.empty() ? L"" : L"|") + text(names[i + 1]) + L"=" + show(after[i].v);
        return seen;
    }
};

// A call by name as a script makes it, its in/out arguments referring to its
// variables; or as a compiled client makes it, at the slot in the function
// table, in/out arguments of the declared types and an optional one left out
// passed as missing.
std::wstring call(IDispatch* object, const Method& m, DISPID id, int slot, std::vector<Var> vars,
                  bool compiled) {
    const std::size_t n = m.f->cParams;
    std::vector<VARIANT> passed(n);
    std::vector<VARIANTARG*> pointers;
    std::vector<VARTYPE> types;
    std::vector<std::wstring> before;
    Var result, missing(VT_ERROR, DISP_E_PARAMNOTFOUND), status;
    for (std::size_t i = 0; i < n; ++i) {
        const TYPEDESC& t = m.f->lprgelemdescParam[i].tdesc;
        VARTYPE vt = m.inOut(i) ? t.lptdesc->vt : t.vt;
        vt = vt == VT_USERDEFINED ? VARTYPE(VT_I4) : vt == VT_SAFEARRAY ? VT_ARRAY | VT_RECORD : vt;
        Var& var = i < vars.size() ? vars[i] : i + 1 < n || !m.hasResult() ? missing : result;
        if (compiled && vt != VT_VARIANT && !(vt & VT_ARRAY))
            VariantChangeType(&var.v, &var.v, 0, vt);
        VARIANT& p = passed[i] = var.v;
        if (i < vars.size()) before.push_back(show(var.v));
        if (m.inOut(i)) {
            V_VT(&p) = VT_BYREF | (compiled ? vt : VARTYPE(VT_VARIANT));
            V_BYREF(&p) = compiled && vt != VT_VARIANT ? &V_I4(&var.v) : static_cast<void*>(&var.v);
        }
        pointers.push_back(&p), types.push_back(compiled && !m.inOut(i) ? vt : V_VT(&p));
    }
    EXCEPINFO e{};
    HRESULT hr = S_OK;
    if (compiled) {
        SetErrorInfo(0, nullptr);
        DispCallFunc(object, (6 + slot) * sizeof(void*), CC_STDCALL, VT_ERROR, UINT(n),
                     types.data(), pointers.data(), &status.v);
        Ref<ISupportErrorInfo> supports;
        Ref<IErrorInfo> info;
        hr = V_ERROR(&status.v);
        // As compiled clients do: error information only from an interface that says it has some.
        if (FAILED(hr) && !object->QueryInterface(IID_ISupportErrorInfo, supports.put()) &&
            supports->InterfaceSupportsErrorInfo(m.iid) == S_OK && !GetErrorInfo(0, info.out()))
            info->GetSource(&e.bstrSource), info->GetDescription(&e.bstrDescription),
                e.scode = hr, hr = DISP_E_EXCEPTION;
    } else {
        std::reverse(passed.begin(), passed.begin() + vars.size());
        DISPPARAMS params{passed.data(), nullptr, UINT(vars.size()), 0};
        hr = object->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &result.v, &e, nullptr);
    }
    const std::wstring seen =
        hr == DISP_E_EXCEPTION ? failure(e.scode, e.bstrDescription) + L" in " + text(e.bstrSource)
        : FAILED(hr)           ? failure(hr, nullptr)
                               : m.outcome(m.hasResult() ? &result.v : nullptr, before, vars);
    SysFreeString(e.bstrSource), SysFreeString(e.bstrDescription), SysFreeString(e.bstrHelpFile);
    return seen;
}

IDispatch* create(const wchar_t* progId) {
    CLSID clsid{};
    IDispatch* object = nullptr;
    if (!CLSIDFromProgID(progId, &clsid))
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                         reinterpret_cast<void**>(&object));
    return object;
}

// A change list: an automation array of one ConfigFileType record.
Var changeList(const wchar_t* key, const wchar_t* value, LONG lowerBound = 0) {
    Ref<ITypeLib> library;
    Ref<ITypeInfo> info;
    Ref<IRecordInfo> record;
    wchar_t name[] = L"ConfigFileType";
    MEMBERID member = 0;
    USHORT found = 1;
    LoadRegTypeLib(LIBID_Tarnwick, 43, 1, 0, library.out());
    library->FindName(name, 0, info.out(), &member, &found);
    GetRecordInfoFromTypeInfo(info.p, record.out());
    SAFEARRAYBOUND bound{1, lowerBound};
    Var list(VT_ARRAY | VT_RECORD, 0);
    V_ARRAY(&list.v) = SafeArrayCreateEx(VT_RECORD, 1, &bound, record.p);
    ConfigFileType* item = nullptr;
    SafeArrayAccessData(V_ARRAY(&list.v), reinterpret_cast<void**>(&item));
    item->KeyToChange = SysAllocString(key), item->ValueToSet = SysAllocString(value);
    SafeArrayUnaccessData(V_ARRAY(&list.v));
    return list;
}

// The files and folders the rows work on.
struct Tree : tarnwick::testing::TempFolder {
    std::wstring dir = path().wstring() + L"\\", shortName = std::wstring(MAX_PATH, L'\0');
    std::wstring first, last;  // the subfolders of df the system lists first and last
    wchar_t label[MAX_PATH + 1] = L"", unused[3] = L"Y:";
    const std::string psid = tarnwick::testing::psidHeader(
        5, 3, std::string(32, 'N'), std::string(32, 'A'), std::string(32, 'C'));
    Tree() {
        write("bad.exe", "no program"), write("found.d64", "x"), write("c64.cfg", "A=1\r\n"),
            write("ro.cfg", "A=1\r\n"), write("hid.cfg", "A=1\r\n");
        SetFileAttributesW((dir + L"hid.cfg").c_str(), FILE_ATTRIBUTE_HIDDEN);
        // The search goes depth first: into the first listed subfolder before the next.
        for (const char* sub : {"alpha", "beta", "gamma"})
            std::filesystem::create_directories(path() / "df" / sub);
        WIN32_FIND_DATAW e;
        const HANDLE list = FindFirstFileW((dir + L"df\\*").c_str(), &e);
        do
            if (e.cFileName[0] != L'.') (first.empty() ? first : last) = e.cFileName;
        while (FindNextFileW(list, &e));
        FindClose(list);
        write("df/" + std::filesystem::path(first).string() + "/one/two/tune.sid");
        write("df/" + std::filesystem::path(last).string() + "/tune.sid");
        write("sub/b.sid", std::string(20, 'b')), write("Long Folder/Great Game.d64", "g");
        write("h/Hidden/in.prg", "g"), write("h/System/in.prg", "g");
        write("t.sid", psid + "xy"), write("ro.sid", psid + "xy");
        SetFileAttributesW((dir + L"h\\Hidden").c_str(), FILE_ATTRIBUTE_HIDDEN);
        SetFileAttributesW((dir + L"h\\System").c_str(), FILE_ATTRIBUTE_SYSTEM);
        SetFileAttributesW((dir + L"ro.cfg").c_str(), FILE_ATTRIBUTE_READONLY);
        SetFileAttributesW((dir + L"ro.sid").c_str(), FILE_ATTRIBUTE_READONLY);
        // A file past 4 GiB: its size takes both halves of the listing.
        CreateDirectoryW((dir + L"big").c_str(), nullptr);
        const HANDLE big = CreateFileW((dir + L"big\\disk.img").c_str(), GENERIC_WRITE, 0, nullptr,
                                       CREATE_NEW, 0, nullptr);
        LARGE_INTEGER end{};
        end.QuadPart = 5000000000LL;
        SetFilePointerEx(big, end, nullptr, FILE_BEGIN), SetEndOfFile(big), CloseHandle(big);
        shortName.resize(GetShortPathNameW((dir + L"Long Folder\\Great Game.d64").c_str(),
                                           shortName.data(), MAX_PATH));
        GetVolumeInformationW(L"C:\\", label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0);
        while (GetLogicalDrives() & (1u << (unused[0] - L'A'))) --unused[0];
    }
};

// A sink of __twFunctions: the FoundFile events it received.
struct Sink final : IDispatch {
    std::wstring heard;  // "|FoundFile=" and the path, for every event
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        const bool mine = iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID___twFunctions;
        return *out = mine ? this : nullptr, mine ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*,
                                     EXCEPINFO*, UINT*) override {
        heard += id == 1 && p->cArgs == 1 ? L"|FoundFile=" + show(p->rgvarg[0]) : L"|?";
        return S_OK;
    }
};

TEST(Component, EveryMethodAnswersByNameAndAtItsSlot) {
    Ref<IDispatch> objects[3];
    const wchar_t* progIds[] = {L"Tarnwick.twShell", L"Tarnwick.twRegistry",
                                L"Tarnwick.twFunctions"};
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(objects[i].p = create(progIds[i])) << "unregistered";
    const Tree t;
    const std::wstring& d = t.dir;
    Ref<IConnectionPointContainer> container;
    Ref<IConnectionPoint> point, none;
    Sink sink;
    DWORD cookie = 0;
    ASSERT_EQ(objects[2]->QueryInterface(IID_IConnectionPointContainer, container.put()), S_OK);
    EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, none.out()), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(container->FindConnectionPoint(DIID___twFunctions, point.out()), S_OK);
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
    const std::wstring no = L"C:\\no\\emu.exe", g = L"C:\\g.d64", un = L"Unable to run ",
                       miss = L".  File: " + no + L" not found", hk = L"HKEY_CURRENT_USER",
                       key = L"Software\\Tarnwick Tests", huge(40000, L'x'), tune = d + L"t.sid",
                       N(32, L'N'), A(32, L'A');
    const auto err = [](const wchar_t* e) {
        return L"error " + std::wstring(e) + L" in Tarnwick.twFunctions";
    };
    // Values of other kinds, as another program writes them.
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &k, nullptr),
              0);
    RegSetValueExW(k, L"Blob", 0, REG_BINARY, reinterpret_cast<const BYTE*>("\1\2"), 2);
    RegSetValueExW(k, L"Expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(L"%PATH%"), 14);
    RegSetValueExW(k, L"Empty", 0, REG_SZ, nullptr, 0);
    RegDeleteTreeW(k, L"Case"), RegDeleteValueW(k, L"Root");  // as an earlier run may leave them
    enum { S, R, Fn };
    const struct {
        int object;
        const wchar_t* name;
        int id, slot;  // dispatch id 0x6003nnnn; slot 1 comes after IDispatch's
        std::vector<Var> args;
        std::wstring expected;
    } rows[] = {
        // clang-format off
        {S, L"PlayMusic", 0x00, 1, {no, L"C:\\no", L"t.sid", L"Cap", F}, L""},
        {S, L"PlayMusicSong", 0x01, 2, {no, L"C:\\no", L"t.sid", i2(3)}, L""},
        {S, L"CCS64v109", 0x02, 3, {no, L"", g, i2(0), i4(0), i4(1), i4(0), i4(1), T, F},
         un + L"CCS64 v1.09.  File: \\ccsdpmi.exe not found"},
        {S, L"CCS64v20DosAndWin", 0x03, 4, {no, L"", g, i2(0), i4(1), i4(0), i4(0), i4(-1), T, F},
         un + L"CCS64 v2.0" + miss},
        {S, L"C64Sv252", 0x04, 5, {no, L"C:\\g.prg", E, i4(1), i4(0), F, F},
         un + L"this game in C64S v2.52.  This emulator only supports D64 and T64 files"},
        {S, L"ShellWithDefaultProgram", 0x05, 6, {d + L"missing.nothing", i4(0)}, L""},
        {S, L"VICE", 0x06, 7, {no, g, L"GAME", i4(4), i4(0), F}, un + L"the VICE Emulator" + miss},
        {S, L"Comeback64", 0x07, 8, {no, g, i4(1), F}, un + L"the Come Back 64 Emulator" + miss},
        {S, L"Win64Beta", 0x08, 9, {no, g, F}, un + L"Win64 Beta" + miss},
        {S, L"PC64Win", 0x09, 10, {no, g, F}, un + L"PC64Win" + miss},
        {S, L"Frodo", 0x0A, 11, {no, F}, un + L"Frodo" + miss},
        {S, L"Frodo", 0x0A, 11, {d + L"bad.exe", F}, L"There was an error starting Frodo.  Error 5: Invalid procedure call or argument"},
        {S, L"VICENoSettings", 0x0B, 12, {no, g, L"", F}, un + L"the VICE Emulator" + miss},
        {R, L"SaveSetting", 0x02, 1, {hk, key, L"Five", i4(5), F}, L"True"},
        {R, L"GetSetting", 0x03, 2, {L"hkey_current_user", key, L"Five", E, F}, L"True|vValue=5&"},
        {R, L"GetSetting", 0x03, 2, {hk, key, L"Hi", E, T, L"abc"}, L"True|vValue=abc"},
        {R, L"GetSetting", 0x03, 2, {hk, key, L"Blob", E, T}, L"True|vValue=--NOT-FOUND--"},
        {R, L"GetSetting", 0x03, 2, {hk, key, L"Expand", E, F, i4(3)}, L"True|vValue=3&"},
        {R, L"GetSetting", 0x03, 2, {hk, key, L"Empty", E, T, L"d"}, L"True|vValue="},
        {R, L"SaveSetting", 0x02, 1, {hk, key, L"Snow\u2603", L"wide", T}, L"True"},
        {R, L"SaveSetting", 0x02, 1, {hk, key, L"Snow?", L"narrow", T}, L"True"},  // another name
        {R, L"SaveSetting", 0x02, 1, {hk, key, L"Gr\u00f6\u00dfe", L"Gr\u00f6\u00dfe", T}, L"True"},
        {R, L"GetSetting", 0x03, 2, {hk, key, L"Snow\u2603", E, T}, L"True|vValue=wide"},
        {R, L"GetSetting", 0x03, 2, {L"HKCU", key, L"Five", E, F}, L"False"},
        {R, L"SaveSetting", 0x02, 1, {L"HKEY_LOCAL_MACHINE", key, L"Root", L"machine", T}, L"True"},
        {R, L"GetSetting", 0x03, 2, {L"hkey_local_machine", key, L"Root", E, T}, L"True|vValue=machine"},
        {R, L"SaveSetting", 0x02, 1, {L"Hkey_Classes_Root", L"Tarnwick Tests", L"Root", L"classes", T}, L"True"},
        {R, L"GetSetting", 0x03, 2, {L"HKEY_CLASSES_ROOT", L"Tarnwick Tests", L"Root", E, T}, L"True|vValue=classes"},
        {R, L"GetSetting", 0x03, 2, {hk, key, L"Root", E, T}, L"True|vValue=--NOT-FOUND--"},
        // Names match in any case; the registry keeps the case they were first written in.
        {R, L"SaveSetting", 0x02, 1, {hk, key + L"\\Case\\Sub", L"Volume", L"1", T}, L"True"},
        {R, L"SaveSetting", 0x02, 1, {hk, key + L"\\CASE\\SUB", L"VOLUME", L"2", T}, L"True"},
        {R, L"GetSetting", 0x03, 2, {hk, key + L"\\case\\sub", L"volume", E, T}, L"True|vValue=2"},
        {Fn, L"FindFile", 0x00, 1, {L"FOUND.D64", d}, d + L"FOUND.D64"},
        {Fn, L"FindFile", 0x00, 1, {L"in.prg", d + L"h"}, L""},  // not in hidden or system folders
        {Fn, L"FindFile", 0x00, 1, {L"tune.sid", d + L"df"}, d + L"df\\" + t.first + L"\\one\\two\\tune.sid"},
        {Fn, L"FindFiles", 0x03, 2, {d + L"h", L"in.prg"},
         L"2&|path=" + d + L"h\\|FoundFile=" + d + L"h\\Hidden\\in.prg|FoundFile=" + d + L"h\\System\\in.prg"},
        {Fn, L"FindFiles", 0x03, 2, {d + L"big\\", L"*.img"}, L"5000000000#|FoundFile=" + d + L"big\\disk.img"},
        {Fn, L"GetFileAndPath", 0x05, 3, {L"C:\\G\\a.d64", i4(1), E}, L"strPath=C:\\G|strFileName=a.d64"},
        {Fn, L"GetFileAndPath", 0x05, 3, {L"C:\\" + huge, E, E}, err(L"6 Overflow")},
        {Fn, L"SaveDefaultSidSong", 0x08, 6, {tune, i2(4)}, L"True"},
        {Fn, L"SaveDefaultSidSong", 0x08, 6, {d + L"ro.sid", i2(4)}, L"False"},
        {Fn, L"GetSidInfo", 0x06, 4, {tune, E, E, E, i2(0), i2(0)}, L"True|strName=" + N + L"|strAuthor=" + A +
         L"|strCopyright=" + std::wstring(32, L'C') + L"|intTotalSongs=5%|intDefaultSong=4%"},
        {Fn, L"GetSidSongInfo", 0x07, 5, {tune, i2(0), i2(0)}, L"True|intTotalSongs=5%|intDefaultSong=4%"},
        {Fn, L"GetSidAuthor", 0x09, 7, {tune}, A},
        {Fn, L"JustFileName", 0x0A, 8, {L"C:\\x\\y.t64"}, L"y.t64"},
        {Fn, L"JustFileName", 0x0A, 8, {huge}, err(L"6 Overflow")},
        {Fn, L"SetAlwaysOnTop", 0x0B, 9, {F, i4(0)}, L""},
        {Fn, L"WaitForCDRom", 0x0C, 10, {L"c:\\", t.label}, L"True"},
        {Fn, L"WaitForCDRomPath", 0x0D, 11, {d}, L"True"},
        {Fn, L"WaitForCDRomPath", 0x0D, 11, {Var(VT_NULL, 0)}, err(L"94 Invalid use of Null")},
        {Fn, L"WaitForCDRomFile", 0x0E, 12, {d + L"found.d64"}, L"True"},
        {Fn, L"GetVolumeName", 0x0F, 13, {L"C:\\"}, t.label},
        {Fn, L"Long2Short", 0x10, 14, {d + L"Long Folder\\Great Game.d64"}, t.shortName},
        {Fn, L"Long2Short", 0x10, 14, {d + L"Long Folder\\none.d64"}, L""},
        {Fn, L"DeletePathSilent", 0x11, 15, {d + L"sub"}, L""},
        {Fn, L"DriveTypeIsCDRom", 0x12, 16, {L"c:"}, L"False"},
        {Fn, L"DriveTypeIsCDRom", 0x12, 16, {t.unused}, L"True"},  // no drive: no disc in it yet
        {Fn, L"ChangeConfigFile", 0x13, 17, {d + L"c64.cfg", changeList(L"a", L"9")}, L""},
        {Fn, L"ChangeConfigFile", 0x13, 17, {d + L"c64.cfg", changeList(L"a", L"8", 1)}, err(L"9 Subscript out of range")},
        {Fn, L"ChangeConfigFile", 0x13, 17, {d + L"ro.cfg", changeList(L"a", L"8")}, err(L"75 Path/File access error")},
        {Fn, L"ChangeConfigFile", 0x13, 17, {d + L"hid.cfg", changeList(L"a", L"2")}, L""},
        {Fn, L"ChangeConfigFile", 0x13, 17, {d + L"none.cfg", changeList(L"a", L"2")}, err(L"53 File not found")},
        {Fn, L"ChangeConfigFile", 0x13, 17, {d + L"no\\c.cfg", changeList(L"a", L"2")}, err(L"76 Path not found")},
        {Fn, L"ChangeConfigFile", 0x13, 17, {d + L"a|b.cfg", changeList(L"a", L"2")}, err(L"52 Bad file name or number")},
        {Fn, L"FileExists", 0x14, 18, {d + L"found.d64", F, L""}, L"True"},
        {Fn, L"FileExists", 0x14, 18, {d + L"h", F, L""}, L"False"},
        {Fn, L"DirExists", 0x15, 19, {d + L"h"}, L"True"},
        {Fn, L"DirExists", 0x15, 19, {d + L"found.d64"}, L"False"},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.name, row.name + wcslen(row.name)));
        IDispatch* object = objects[row.object].p;
        std::wstring lower = row.name;
        LPOLESTR names[] = {CharLowerW(lower.data())};  // names match in any case
        DISPID id = 0;
        EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
        EXPECT_EQ(id, 0x60030000 + row.id);
        const Method method(object, row.name);
        ASSERT_NE(method.f, nullptr);
        EXPECT_EQ(method.f->oVft, SHORT((6 + row.slot) * sizeof(void*))) << "the declared slot";
        for (const bool compiled : {false, true}) {
            EXPECT_EQ(call(object, method, id, row.slot, row.args, compiled) + sink.heard,
                      row.expected)
                << (compiled ? "through the function table" : "by name");
            sink.heard.clear();
        }
    }
    // A sink that left hears nothing more.
    ASSERT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION);
    const Method findFiles(objects[2].p, L"FindFiles");
    const std::wstring after = call(objects[2].p, findFiles, 0x60030003, 2, {d + L"h", L"*.*"}, 0);
    EXPECT_EQ(after + sink.heard, L"2&|path=" + d + L"h\\");
    // What the registry holds, as every other program reads it.
    std::wstring seen;
    for (const wchar_t* name : {L"Five", L"Hi", L"Expand", L"Empty", L"Gr\u00f6\u00dfe"}) {
        DWORD kind = 0, size = 64;
        union {
            DWORD number;
            wchar_t text[32];
        } data{};
        RegQueryValueExW(k, name, nullptr, &kind, reinterpret_cast<BYTE*>(&data), &size);
        seen += name + (L":" + std::to_wstring(kind)) + L"=" +
                (kind == REG_DWORD ? std::to_wstring(data.number) : data.text) + L" ";
    }
    EXPECT_EQ(seen, L"Five:4=5 Hi:1=abc Expand:4=3 Empty:1= Gr\u00f6\u00dfe:1=Gr\u00f6\u00dfe ");
    // The roots are the registry's own, and the case first written is kept.
    wchar_t machine[16] = L"", classes[16] = L"", sub[16] = L"", value[16] = L"";
    DWORD sizes[] = {sizeof machine, sizeof classes, 16, 16};
    HKEY c = nullptr, s = nullptr;
    RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"Root", RRF_RT_REG_SZ, nullptr, machine,
                 &sizes[0]);
    RegGetValueW(HKEY_CLASSES_ROOT, L"Tarnwick Tests", L"Root", RRF_RT_REG_SZ, nullptr, classes,
                 &sizes[1]);
    RegOpenKeyExW(k, L"case", 0, KEY_READ, &c),
        RegEnumKeyExW(c, 0, sub, &sizes[2], nullptr, nullptr, nullptr, nullptr);
    RegOpenKeyExW(c, L"sub", 0, KEY_READ, &s),
        RegEnumValueW(s, 0, value, &sizes[3], nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(std::wstring(machine) + L" " + classes + L" " + sub + L"\\" + value,
              L"machine classes Sub\\Volume");
    RegCloseKey(s), RegCloseKey(c), RegCloseKey(k);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str()),
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Tarnwick Tests");
    // A rewrite keeps the file hidden; a new default song changes bytes 16-17 and nothing else.
    EXPECT_EQ(GetFileAttributesW((d + L"hid.cfg").c_str()) & FILE_ATTRIBUTE_HIDDEN,
              DWORD(FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(contentOf(t.path() / "hid.cfg"), "a=2\r\n");
    EXPECT_EQ(contentOf(t.path() / "t.sid"),
              t.psid.substr(0, 17) + '\4' + t.psid.substr(18) + "xy");
    EXPECT_EQ(contentOf(t.path() / "c64.cfg"), "a=9\r\n");
    EXPECT_EQ(contentOf(t.path() / "ro.cfg"), "A=1\r\n");
    EXPECT_EQ(GetFileAttributesW((d + L"sub").c_str()), INVALID_FILE_ATTRIBUTES);
}

// The enumerations as clients compile against them; the type library is made
// from the same definition.
// clang-format off
static_assert(eCCS109_PCJoystick1 == 0 && eCCS109_PCJoystick2 == 1 && eCCS109_KeySet1 == 0 &&
              eCCS109_KeySet2 == 1 && eCCS109_KeySet3 == 2 && eCCS20_None == 0 && eCCS20_Joystick == 1 &&
              eCCS20_MouseC1351 == 2 && eCCS20_PCJoystick1 == 0 && eCCS20_PCJoystick2 == 1 &&
              eCCS20_KeySet1 == 2 && eCCS20_KeySet2 == 3 && eCCS20_KeySet3 == 4 && eCCS20_PCMouse == -1 &&
              eVICE_None == 0 && eVICE_NumpadRCtrl == 1 && eVICE_KeysetA == 2 && eVICE_KeysetB == 3 &&
              eVICE_PCJoystick1 == 4 && eVICE_PCJoystick2 == 5 && Disable == 0 && Keyboard == 1 &&
              AnalogueJoystick == 2 && SelectPort1 == 0 && SelectPort2 == 1);
// clang-format on

TEST(Component, TypeLibraryNamesTheLibraryAndTheEarlierShell) {
    Ref<ITypeLib> library;
    ASSERT_EQ(LoadRegTypeLib(LIBID_Tarnwick, 43, 1, 0, library.out()), S_OK);
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_EQ(std::to_wstring(attributes->wMajorVerNum) + L"." +
                  std::to_wstring(attributes->wMinorVerNum) + L" locale " +
                  std::to_wstring(attributes->lcid),
              L"43.1 locale 0");
    library->ReleaseTLibAttr(attributes);
    for (const IID* iid : {&IID__twShell, &IID__twRegistry, &IID__twFunctions}) {
        Ref<ITypeInfo> dispatch;
        TYPEATTR* type = nullptr;
        ASSERT_EQ(library->GetTypeInfoOfGuid(*iid, dispatch.out()), S_OK);
        dispatch->GetTypeAttr(&type);
        EXPECT_EQ(type->wTypeFlags & TYPEFLAG_FDUAL, TYPEFLAG_FDUAL) << "a dual interface";
        dispatch->ReleaseTypeAttr(type);
    }
    BSTR name = nullptr, description = nullptr;
    library->GetDocumentation(-1, &name, &description, nullptr, nullptr);
    EXPECT_EQ(text(name) + L": " + text(description), L"Tarnwick: Tarnwick General Functions v2.2");
    SysFreeString(name), SysFreeString(description);
    Ref<ITypeInfo> alias;
    TYPEATTR* type = nullptr;
    wchar_t aliasName[] = L"twShell___v0";
    MEMBERID member = 0;
    USHORT found = 1;
    ASSERT_EQ(library->FindName(aliasName, 0, alias.out(), &member, &found), S_OK);
    alias->GetTypeAttr(&type);
    const IID earlier = type->guid;
    EXPECT_EQ(type->typekind, TKIND_ALIAS);
    alias->ReleaseTypeAttr(type);
    Ref<IDispatch> shell;
    Ref<IUnknown> viaEarlier;
    ASSERT_TRUE(shell.p = create(L"Tarnwick.twShell"));
    EXPECT_NE(earlier, IID__twShell);
    ASSERT_EQ(shell->QueryInterface(earlier, viaEarlier.put()), S_OK);
    EXPECT_EQ(viaEarlier.p, static_cast<IUnknown*>(shell.p)) << "the same _twShell";
}

// The DLL as COM loads it: the classes it serves, when it may be unloaded,
// and the version block that names it.
TEST(Component, TheModuleServesItsClassesAndMayGoWhenNoObjectIsLeft) {
    std::string dll = TARNWICK_COM_DLL_PATH;
    std::replace(dll.begin(), dll.end(), '/', '\\');
    const HMODULE module = LoadLibraryA(dll.c_str());
    ASSERT_NE(module, nullptr);
    // Through void*: an export's address carries no type of its own.
    const auto getClassObject =
        reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
            reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    const auto canUnloadNow = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    Ref<IClassFactory> factory;
    Ref<IUnknown> object;
    EXPECT_EQ(getClassObject(IID__twShell, IID_IClassFactory, factory.put()),
              CLASS_E_CLASSNOTAVAILABLE);
    ASSERT_EQ(getClassObject(CLSID_twFunctions, IID_IClassFactory, factory.put()), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, object.put()), S_OK);
    factory.reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "an object is alive";
    object.reset();
    EXPECT_EQ(canUnloadNow(), S_OK);
    FreeLibrary(module);

    DWORD ignored = 0;
    std::vector<char> block(GetFileVersionInfoSizeA(dll.c_str(), &ignored));
    ASSERT_TRUE(GetFileVersionInfoA(dll.c_str(), 0, DWORD(block.size()), block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT n = 0;
    VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &n);
    std::wstring seen = std::to_wstring(fixed->dwFileVersionMS >> 16) + L"." +
                        std::to_wstring(fixed->dwFileVersionMS & 0xFFFF) + L"." +
                        std::to_wstring(fixed->dwFileVersionLS);
    for (const wchar_t* key :
         {L"FileVersion", L"ProductVersion", L"FileDescription", L"Comments", L"InternalName",
          L"OriginalFilename", L"ProductName", L"OLESelfRegister"}) {
        wchar_t* value = nullptr;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + key;
        const bool found =
            VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &n);
        seen += L"|" + (key + (L"=" + (found ? std::wstring(value) : L"?")));
    }
    EXPECT_EQ(seen,
              L"2.2.0|FileVersion=2.02|ProductVersion=2.02|FileDescription=Tarnwick General "
              L"Functions|Comments=Tarnwick General Functions|InternalName=Tarnwick|"
              L"OriginalFilename=Tarnwick.dll|ProductName=Tarnwick|OLESelfRegister=");
}

}  // namespace

int main(int argc, char** argv) {
    CoInitialize(nullptr);
    int failures = 0;
    if (argc > 1 && std::string(argv[1]) == "--expect-unregistered") {
        for (const auto& [progId, clsid] : {std::pair{L"Tarnwick.twShell", &CLSID_twShell},
                                            {L"Tarnwick.twRegistry", &CLSID_twRegistry},
                                            {L"Tarnwick.twFunctions", &CLSID_twFunctions}}) {
            CLSID found;
            Ref<IUnknown> object;
            const bool left = !CLSIDFromProgID(progId, &found) ||
                              !CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                                object.put());
            if (left) std::printf("FAIL: %ls can still be named or created\n", progId);
            failures += left;
        }
    } else {
        ::testing::InitGoogleTest(&argc, argv);
        failures = RUN_ALL_TESTS();
    }
    CoUninitialize();
    return failures ? 1 : 0;
}
