// Tarnwick.dll under Wine as its clients use it, and the Windows backend where they cannot reach.
#include <gtest/gtest.h>
#include <windows.h>

#include <comdef.h>
#include <olectl.h>
#include <wrl/client.h>

#include <bit>
#include <functional>

#include "platform/win32/win32_platform.h"
#include "support/psid_bytes.h"
#include "support/recorder_reader.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"
#include "tarnwick_idl.h"

namespace {

using Microsoft::WRL::ComPtr;

[[maybe_unused]] const HRESULT apartment = CoInitialize(nullptr);
// Registered as regsvr32 does it; it loads only if it needs no DLL but the system's.
const HMODULE dll = LoadLibraryW(std::filesystem::u8path("Z:" TARNWICK_DLL).wstring().c_str());
HRESULT exported(const char* name) {  // an entry as COM calls it; through void*: it has no type
    const auto entry = reinterpret_cast<void*>(GetProcAddress(dll, name));
    return reinterpret_cast<decltype(DllCanUnloadNow)*>(entry)();
}
const HRESULT registered = dll ? exported("DllRegisterServer") : 0;
struct Var : _variant_t {
    using _variant_t::_variant_t;
    Var(const std::wstring& s) : _variant_t(s.c_str()) {}
    Var(VARTYPE type) { V_VT(this) = type; }  // VT_NULL, or an array still to be set
};
const Var T(true), F(false), E, null{VARTYPE(VT_NULL)};
const auto text = [](BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : L""; };
std::wstring guid(REFGUID id, std::wstring s = std::wstring(38, L' ')) {  // 38 characters always
    return StringFromGUID2(id, s.data(), 39), s;
}

// A value as a client sees it: % Integer, & Long, # Double, and True only as -1.
std::wstring show(const VARIANT& v) {
    if (V_VT(&v) == VT_BSTR) return text(V_BSTR(&v));
    if (V_VT(&v) == VT_BOOL) return V_BOOL(&v) == -1 ? L"True" : V_BOOL(&v) ? L"?" : L"False";
    if (V_VT(&v) == VT_I2) return std::to_wstring(V_I2(&v)) + L"%";
    if (V_VT(&v) == VT_I4) return std::to_wstring(V_I4(&v)) + L"&";
    if (V_VT(&v) == VT_R8) return std::to_wstring(std::int64_t(V_R8(&v))) + L"#";
    return L"vt" + std::to_wstring(V_VT(&v));
}

// A call by name as a script makes it: "id@slot ", the result or error, then in/out values changed.
std::wstring call(IDispatch* to, std::wstring name, const std::vector<Var>& args) {
    LPOLESTR lower = CharLowerW(name.data());  // names match in any case
    DISPID id = 0;
    ComPtr<ITypeInfo> dispatch, table;
    ComPtr<ITypeInfo2> byId;
    HREFTYPE half = 0;
    UINT index = 0, count = 0;
    FUNCDESC* f = nullptr;
    BSTR names[16] = {};  // the method's, then its parameters'
    if (to->GetIDsOfNames(IID_NULL, &lower, 1, 0, &id) || to->GetTypeInfo(0, 0, &dispatch) ||
        dispatch->GetRefTypeOfImplType(-1, &half) || dispatch->GetRefTypeInfo(half, &table) ||
        table.As(&byId) || byId->GetFuncIndexOfMemId(id, INVOKE_FUNC, &index) ||
        table->GetFuncDesc(index, &f))
        return L"(no such method)";
    table->GetNames(id, names, 16, &count);
    const int slot = f->oVft / int(sizeof(void*)) - 6;  // slot 1 follows IDispatch's
    const auto inOut = [&](std::size_t i) { return f->lprgelemdescParam[i].tdesc.vt == VT_PTR; };
    std::vector<Var> vars = args;
    std::vector<VARIANT> passed(vars.size());  // the last first
    for (std::size_t i = 0; i < vars.size(); ++i)
        if (VARIANT& p = passed[vars.size() - 1 - i] = vars[i]; inOut(i))
            V_VT(&p) = VT_BYREF | VT_VARIANT, V_VARIANTREF(&p) = &vars[i];
    Var result;
    EXCEPINFO e{};
    DISPPARAMS params{passed.data(), nullptr, UINT(vars.size()), 0};
    const HRESULT hr = to->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &result, &e, nullptr);
    const HRESULT error = hr == DISP_E_EXCEPTION ? e.scode : hr;
    std::wstring seen = FAILED(hr) ? L"error " + std::to_wstring(error & 0xFFFF) + L" " +
                                         text(e.bstrDescription) + L" in " + text(e.bstrSource) +
                                         (HRESULT_FACILITY(error) == 0xA ? L"" : L" (not runtime)")
                        : V_VT(&result) == VT_EMPTY ? L""
                                                    : show(result);
    for (std::size_t i = 0; i < vars.size() && SUCCEEDED(hr); ++i)
        if (inOut(i) && show(vars[i]) != show(args[i]))
            seen += (seen.empty() ? L"" : L"|") + text(names[i + 1]) + L"=" + show(vars[i]);
    SysFreeString(e.bstrSource), SysFreeString(e.bstrDescription), SysFreeString(e.bstrHelpFile);
    for (BSTR each : names) SysFreeString(each);
    table->ReleaseFuncDesc(f);
    return std::to_wstring(id - 0x60030000) + L"@" + std::to_wstring(slot) + L" " + seen;
}

// A change list: an automation array of one ConfigFileType record.
Var changeList(_bstr_t key, _bstr_t value, LONG lowerBound = 0) {
    const GUID id{0xAB20F429, 0x7F87, 0x44A9, {0x9D, 0x1A, 0x15, 0x28, 0xA7, 0xB4, 0x71, 0xA4}};
    ComPtr<IRecordInfo> record;
    GetRecordInfoFromGuids(LIBID_Tarnwick, 43, 1, 0, id, &record);
    Var list(VARTYPE(VT_ARRAY | VT_RECORD));
    V_ARRAY(&list) = SafeArrayCreateVectorEx(VT_RECORD, lowerBound, 1, record.Get());
    ConfigFileType item{key, value};  // copied into the array
    SafeArrayPutElement(V_ARRAY(&list), &lowerBound, &item);
    return list;
}

// The short form of a name, as the system gives it.
std::wstring shortOf(const std::wstring& name, std::wstring s = std::wstring(MAX_PATH, L'\0')) {
    return s.resize(GetShortPathNameW(name.c_str(), s.data(), MAX_PATH)), s;
}
const auto noDrive = [] { return wchar_t(L'@' + std::bit_width(~GetLogicalDrives() & 0x1FFFFFF)); };

// The rows' files and folders, the recorder copied as an emulator; the build made loop/sub/up.
struct Tree : tarnwick::testing::TempFolder {
    std::wstring dir = path().wstring() + L"\\";
    wchar_t label[MAX_PATH] = L"";  // of drive C:
    const std::wstring loop = std::filesystem::path(TARNWICK_LOOP).make_preferred().wstring();
    const std::string psid = tarnwick::testing::psidHeader(
        5, 3, std::string(32, 'N'), std::string(32, 'A'), std::string(32, 'C'));
    Tree() {
        for (const char* name : {"bad.exe", "found.d64", "sub/b.sid", "Long Folder/Great Game.d64",
                                 "h/Hidden/in.prg", "h/System/in.prg", "keep/sub/in.prg",
                                 "keep/in.prg", "big/disk.img", "Summer Games.T64"})
            write(name, "g");
        for (const char* name : {"c64.cfg", "ro.cfg", "hid.cfg"}) write(name, "A=1\r\n");
        for (const char* name : {"t.sid", "ro.sid"}) write(name, psid + "xy");
        CopyFileW(std::filesystem::u8path("Z:" TARNWICK_RECORDER).wstring().c_str(),
                  write("VICE \xCE\xA9/x64.exe").wstring().c_str(), false);
        SetEnvironmentVariableW(L"TARNWICK_RECORDER_OUT", (dir + L"record.txt").c_str());
        std::filesystem::resize_file(path() / "big/disk.img", 5000000000);  // past 4 GiB
        const auto mark = [&](auto n, DWORD a) { SetFileAttributesW((dir + n).c_str(), a); };
        mark(L"hid.cfg", FILE_ATTRIBUTE_HIDDEN), mark(L"h\\Hidden", FILE_ATTRIBUTE_HIDDEN);
        mark(L"h\\System", FILE_ATTRIBUTE_SYSTEM), mark(L"ro.cfg", FILE_ATTRIBUTE_READONLY);
        mark(L"ro.sid", FILE_ATTRIBUTE_READONLY);
        GetVolumeInformationW(L"C:\\", label, MAX_PATH, nullptr, nullptr, nullptr, nullptr, 0);
    }
    // A file as the system holds it: its bytes, and whether it is hidden.
    std::wstring onDisk(const char* name) const {
        const std::string bytes = tarnwick::testing::contentOf(*this / name);
        const DWORD a = GetFileAttributesW((*this / name).wstring().c_str());
        return a == INVALID_FILE_ATTRIBUTES ? L"(none)"
                                            : std::wstring(bytes.begin(), bytes.end()) +
                                                  (a & FILE_ATTRIBUTE_HIDDEN ? L" (hidden)" : L"");
    }
    // What the recorder got when last started: its arguments and its folder.
    std::wstring started() const {
        tarnwick::testing::Recording r;
        tarnwick::testing::waitForRecording(*this / "record.txt", r, std::chrono::seconds(5));
        std::wstring seen;
        for (const auto& a : r.arguments) seen += L"[" + std::wstring(a.begin(), a.end()) + L"]";
        return seen + L" in " + std::filesystem::u8path(r.directory).wstring();
    }
};

// A sink of __twFunctions: the FoundFile events it received.
struct Sink final : IDispatch {
    std::wstring heard;  // "|FoundFile=" and the path, for every event
    DWORD cookie = 0;
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        const bool mine = iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID___twFunctions;
        return *out = mine ? this : nullptr, mine ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) final { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        heard += id == 1 && p->cArgs == 1 ? L"|FoundFile=" + show(p->rgvarg[0]) : L"|?";
        return S_OK;
    }
};

// The registry's own reading of key k's value v: its kind and its data.
std::wstring stored(const std::wstring& k, const wchar_t* v = nullptr, HKEY r = HKEY_CLASSES_ROOT) {
    DWORD kind = 0, data[32] = {}, size = sizeof data;
    if (RegGetValueW(r, k.c_str(), v, RRF_RT_ANY | RRF_NOEXPAND, &kind, data, &size))
        return L"none";
    return std::to_wstring(kind) + L":" +
           (kind == REG_DWORD ? std::to_wstring(data[0]) : reinterpret_cast<wchar_t*>(data));
}

const std::tuple<const wchar_t*, const CLSID*, const IID*> classes[] = {
    {L"Tarnwick.twShell", &CLSID_twShell, &IID__twShell},
    {L"Tarnwick.twRegistry", &CLSID_twRegistry, &IID__twRegistry},
    {L"Tarnwick.twFunctions", &CLSID_twFunctions, &IID__twFunctions}};
ComPtr<IDispatch> create(const CLSID* clsid, ComPtr<IDispatch> object = {}) {
    return CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object)), object;
}

TEST(Component, EveryMethodAnswersByNameAndAtItsSlot) {
    ASSERT_TRUE(dll && registered == S_OK);
    ComPtr<IDispatch> objects[3];
    // Compiled clients take an error's details only from an interface that says it has them.
    ComPtr<ISupportErrorInfo> errors;
    for (int i = 0; const auto& [progId, clsid, iid] : classes)
        ASSERT_TRUE((objects[i] = create(clsid)) && objects[i++].As(&errors) == S_OK &&
                    errors->InterfaceSupportsErrorInfo(*iid) == S_OK)
            << progId;
    const Tree t;
    const std::wstring& d = t.dir;
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    Sink sink;
    ASSERT_EQ(objects[2].As(&container), S_OK);
    EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, &point), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(container->FindConnectionPoint(DIID___twFunctions, &point), S_OK);
    ASSERT_EQ(point->Advise(&sink, &sink.cookie), S_OK);
    const std::wstring no = L"C:\\no\\emu.exe", g = L"C:\\g.d64", un = L"Unable to run ",
                       miss = L".  File: " + no + L" not found", hk = L"HKEY_CURRENT_USER",
                       key = L"Software\\Tarnwick Tests\\Methods", tune = d + L"t.sid", A(32, L'A'),
                       song4(t.psid.begin(), t.psid.end()), in = L" in Tarnwick.twFunctions";
    const auto user = [&](const wchar_t* name) { return stored(key, name, HKEY_CURRENT_USER); };
    // Nothing left from an earlier run (the Wine prefix stays), then a value
    // stored empty by another program.
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Empty", REG_SZ, nullptr, 0), 0);
    enum { S, R, Fn };
    const struct {
        const wchar_t* name;
        int object, id, slot;  // dispatch id 0x6003nnnn, slot in the function table
        std::vector<Var> args;
        std::wstring expected;  // and, after a ";", what the system then holds
        std::function<std::wstring()> after{};
    } rows[] = {
        // clang-format off
        {L"PlayMusic", S, 0x00, 1, {no, L"C:\\no", L"t.sid", L"Cap", F}, L""},
        {L"PlayMusicSong", S, 0x01, 2, {no, L"C:\\no", L"t.sid", short(3)}, L""},
        {L"CCS64v109", S, 0x02, 3, {no, L"", g, short(0), 0L, 1L, 0L, 1L, T, F}, un + L"CCS64 v1.09.  File: \\ccsdpmi.exe not found"},
        {L"CCS64v20DosAndWin", S, 0x03, 4, {no, L"", g, short(0), 1L, 0L, 0L, -1L, T, F}, un + L"CCS64 v2.0" + miss},
        {L"C64Sv252", S, 0x04, 5, {no, L"C:\\g.prg", E, 1L, 0L, F, F}, un + L"this game in C64S v2.52.  This emulator only supports D64 and T64 files"},
        {L"ShellWithDefaultProgram", S, 0x05, 6, {d + L"missing.nothing", 0L}, L""},
        {L"VICE", S, 0x06, 7, {d + L"VICE \u03a9\\x64.exe", d + L"Summer Games.T64", L"A\" & ^%PATH%! C:\\ \"B", 4L, 2L, F}, L"; [-autostart][" + std::wstring(CharLowerW(shortOf(d + L"Summer Games.T64").data())) + L":a\" & ^%path%! c:\\ \"b][-joydev1][4][-joydev2][2] in " + d + L"VICE \u03a9", [&] { return t.started(); }},  // as the system parses its line, no shell, in its folder
        {L"Comeback64", S, 0x07, 8, {no, g, 1L, F}, un + L"the Come Back 64 Emulator" + miss},
        {L"Win64Beta", S, 0x08, 9, {no, g, F}, un + L"Win64 Beta" + miss},
        {L"PC64Win", S, 0x09, 10, {no, g, F}, un + L"PC64Win" + miss},
        {L"Frodo", S, 0x0A, 11, {d + L"bad.exe", F}, L"There was an error starting Frodo.  Error 5: Invalid procedure call or argument"},
        {L"VICENoSettings", S, 0x0B, 12, {no, g, L"", F}, un + L"the VICE Emulator" + miss},
        {L"SaveSetting", R, 0x02, 1, {hk, key, L"Five", 5L, F}, L"True; 4:5", [&] { return user(L"Five"); }},
        {L"GetSetting", R, 0x03, 2, {L"hkey_current_user", key, L"Five", E, F}, L"True|vValue=5&"},
        {L"GetSetting", R, 0x03, 2, {hk, key, L"Hi", E, T, L"abc"}, L"True|vValue=abc; 1:abc", [&] { return user(L"Hi"); }},
        {L"GetSetting", R, 0x03, 2, {hk, key, L"Empty", E, T, L"d"}, L"True|vValue=; 1:", [&] { return user(L"Empty"); }},
        {L"SaveSetting", R, 0x02, 1, {hk, key, L"Snow\u2603", L"wide", T}, L"True"},
        {L"SaveSetting", R, 0x02, 1, {hk, key, L"Snow?", L"narrow", T}, L"True"},  // another name
        {L"GetSetting", R, 0x03, 2, {hk, key, L"Snow\u2603", E, T}, L"True|vValue=wide"},
        {L"SaveSetting", R, 0x02, 1, {hk, key, L"Gr\u00f6\u00dfe", L"Gr\u00f6\u00dfe", T}, L"True; 1:Gr\u00f6\u00dfe", [&] { return user(L"Gr\u00f6\u00dfe"); }},
        {L"SaveSetting", R, 0x02, 1, {L"HKEY_LOCAL_MACHINE", key, L"Root", L"machine", T}, L"True; 1:machine none", [&] { return stored(key, L"Root", HKEY_LOCAL_MACHINE) + L" " + user(L"Root"); }},
        {L"SaveSetting", R, 0x02, 1, {L"Hkey_Classes_Root", key, L"Root", L"classes", T}, L"True; 1:classes", [&] { return stored(key, L"Root"); }},
        {L"FindFile", Fn, 0x00, 1, {L"FOUND.D64", d}, d + L"FOUND.D64"},
        {L"FindFile", Fn, 0x00, 1, {L"in.prg", d + L"h"}, L""},  // not in hidden or system folders
        {L"FindFiles", Fn, 0x03, 2, {d + L"h", L"in.prg"}, L"2&|path=" + d + L"h\\|FoundFile=" + d + L"h\\Hidden\\in.prg|FoundFile=" + d + L"h\\System\\in.prg"},
        {L"FindFiles", Fn, 0x03, 2, {d + L"big\\", L"*.img"}, L"5000000000#|FoundFile=" + d + L"big\\disk.img"},
        {L"FindFiles", Fn, 0x03, 2, {t.loop + L"\\", L"*.sid"}, L"3&|FoundFile=" + t.loop + L"\\a.sid|FoundFile=" + t.loop + L"\\sub\\b.sid"},  // not round the link
        {L"GetFileAndPath", Fn, 0x05, 3, {L"C:\\G\\a.d64", 1L, E}, L"strPath=C:\\G|strFileName=a.d64"},
        {L"SaveDefaultSidSong", Fn, 0x08, 6, {tune, short(4)}, L"True; " + song4.substr(0, 17) + L'\4' + song4.substr(18) + L"xy", [&] { return t.onDisk("t.sid"); }},
        {L"SaveDefaultSidSong", Fn, 0x08, 6, {d + L"ro.sid", short(4)}, L"False"},
        {L"GetSidInfo", Fn, 0x06, 4, {tune, E, E, E, short(0), short(0)}, L"True|strName=" + std::wstring(32, L'N') + L"|strAuthor=" + A + L"|strCopyright=" + std::wstring(32, L'C') + L"|intTotalSongs=5%|intDefaultSong=4%"},
        {L"GetSidSongInfo", Fn, 0x07, 5, {tune, short(0), short(0)}, L"True|intTotalSongs=5%|intDefaultSong=4%"},
        {L"GetSidAuthor", Fn, 0x09, 7, {tune}, A},
        {L"JustFileName", Fn, 0x0A, 8, {L"C:\\x\\y.t64"}, L"y.t64"},
        {L"SetAlwaysOnTop", Fn, 0x0B, 9, {F, 0L}, L""},
        {L"WaitForCDRom", Fn, 0x0C, 10, {L"c:\\", t.label}, L"True"},
        {L"WaitForCDRomPath", Fn, 0x0D, 11, {d}, L"True"},
        {L"WaitForCDRomPath", Fn, 0x0D, 11, {null}, L"error 94 Invalid use of Null" + in},
        {L"WaitForCDRomFile", Fn, 0x0E, 12, {d + L"found.d64"}, L"True"},
        {L"GetVolumeName", Fn, 0x0F, 13, {L"C:\\"}, t.label},
        {L"Long2Short", Fn, 0x10, 14, {d + L"Long Folder\\Great Game.d64"}, shortOf(d + L"Long Folder\\Great Game.d64")},
        {L"DeletePathSilent", Fn, 0x11, 15, {d + L"sub"}, L"; (none)", [&] { return t.onDisk("sub"); }},
        {L"DeletePathSilent", Fn, 0x11, 15, {d + L"keep\\."}, L"; g", [&] { return t.onDisk("keep/in.prg"); }},  // never "." or "..": this folder or one holding it
        {L"DeletePathSilent", Fn, 0x11, 15, {d + L"keep\\sub\\.."}, L"; g", [&] { return t.onDisk("keep/in.prg"); }},
        {L"DriveTypeIsCDRom", Fn, 0x12, 16, {L"c:"}, L"False"},
        {L"DriveTypeIsCDRom", Fn, 0x12, 16, {std::wstring{noDrive(), L':'}}, L"True"},  // no drive: no disc in it yet
        {L"ChangeConfigFile", Fn, 0x13, 17, {d + L"c64.cfg", changeList(L"a", L"9")}, L"; a=9\r\n", [&] { return t.onDisk("c64.cfg"); }},
        {L"ChangeConfigFile", Fn, 0x13, 17, {d + L"c64.cfg", changeList(L"a", L"8", 1)}, L"error 9 Subscript out of range" + in},
        {L"ChangeConfigFile", Fn, 0x13, 17, {d + L"ro.cfg", changeList(L"a", L"8")}, L"error 75 Path/File access error" + in + L"; A=1\r\n", [&] { return t.onDisk("ro.cfg"); }},
        {L"ChangeConfigFile", Fn, 0x13, 17, {d + L"hid.cfg", changeList(L"a", L"2")}, L"; a=2\r\n (hidden)", [&] { return t.onDisk("hid.cfg"); }},
        {L"ChangeConfigFile", Fn, 0x13, 17, {d + L"none.cfg", changeList(L"a", L"2")}, L"error 53 File not found" + in},
        {L"ChangeConfigFile", Fn, 0x13, 17, {d + L"no\\c.cfg", changeList(L"a", L"2")}, L"error 76 Path not found" + in},
        {L"ChangeConfigFile", Fn, 0x13, 17, {d + L"a|b.cfg", changeList(L"a", L"2")}, L"error 52 Bad file name or number" + in},
        {L"FileExists", Fn, 0x14, 18, {d + L"found.d64", F, L""}, L"True"},
        {L"DirExists", Fn, 0x15, 19, {d + L"h"}, L"True"},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::wstring seen = call(objects[row.object].Get(), row.name, row.args);
        EXPECT_EQ(seen + std::exchange(sink.heard, L"") + (row.after ? L"; " + row.after() : L""),
                  std::to_wstring(row.id) + L"@" + std::to_wstring(row.slot) + L" " + row.expected);
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str()), RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    EXPECT_TRUE(point->Unadvise(sink.cookie) == S_OK &&  // a sink that left hears nothing more
                point->Unadvise(sink.cookie) == CONNECT_E_NOCONNECTION);
    EXPECT_EQ(call(objects[2].Get(), L"FindFiles", {d + L"h", L"*.*"}) + sink.heard,
              L"3@2 2&|path=" + d + L"h\\");
}

// The enumerations as clients compile against them (the type library has the same source).
static_assert(eCCS109_PCJoystick1 == 0 && eCCS109_PCJoystick2 == 1 && eCCS109_KeySet1 == 0 &&
              eCCS109_KeySet2 == 1 && eCCS109_KeySet3 == 2 && eCCS20_None == 0 &&
              eCCS20_Joystick == 1 && eCCS20_MouseC1351 == 2 && eCCS20_PCJoystick1 == 0 &&
              eCCS20_PCJoystick2 == 1 && eCCS20_KeySet1 == 2 && eCCS20_KeySet2 == 3 &&
              eCCS20_KeySet3 == 4 && eCCS20_PCMouse == -1 && eVICE_None == 0 &&
              eVICE_NumpadRCtrl == 1 && eVICE_KeysetA == 2 && eVICE_KeysetB == 3 &&
              eVICE_PCJoystick1 == 4 && eVICE_PCJoystick2 == 5 && Disable == 0 && Keyboard == 1 &&
              AnalogueJoystick == 2 && SelectPort1 == 0 && SelectPort2 == 1);

// What the registry tells the runtime, the marshaller and browsers of the classes and library.
TEST(Component, TheRegistrationAndTheTypeLibraryDescribeEveryClass) {
    std::wstring seen, expected;
    for (const auto& [progId, clsid, iid] : classes) {
        const std::wstring c = L"CLSID\\" + guid(*clsid) + L"\\", p = progId;
        seen += stored(c) + L" " + stored(c + L"InprocServer32", L"ThreadingModel") + L" " +
                stored(c + L"ProgID") + L" " + stored(c + L"TypeLib") + L" " +
                stored(c + L"VERSION") + L" " + stored(p + L"\\CLSID") + L"\n";
        expected += L"1:" + p + L" 1:Apartment 1:" + p + L" 1:" + guid(LIBID_Tarnwick) +
                    L" 1:43.1 1:" + guid(*clsid) + L"\n";
    }
    EXPECT_EQ(seen, expected);
    ComPtr<ITypeLib> library;
    ComPtr<ITypeInfo> info;
    TYPEATTR* type = nullptr;
    _bstr_t name, about;
    ASSERT_EQ(LoadRegTypeLib(LIBID_Tarnwick, 43, 1, 0, &library), S_OK);
    library->GetDocumentation(-1, name.GetAddress(), about.GetAddress(), nullptr, nullptr);
    EXPECT_EQ(text(name) + L": " + text(about), L"Tarnwick: Tarnwick General Functions v2.2");
    wchar_t alias[] = L"twShell___v0";  // _twShell's earlier identifier, marshalled as it is now
    MEMBERID member = 0;
    USHORT found = 1;
    ASSERT_EQ(library->FindName(alias, 0, &info, &member, &found), S_OK);
    info->GetTypeAttr(&type);
    const IID earlier = type->guid;
    EXPECT_EQ(type->typekind, TKIND_ALIAS);
    info->ReleaseTypeAttr(type);
    const std::wstring key = L"Interface\\" + guid(earlier);
    EXPECT_EQ(stored(key + L"\\ProxyStubClsid32") + L" " + stored(key + L"\\TypeLib", L"Version"),
              L"1:{00020424-0000-0000-C000-000000000046} 1:43.1");
    ComPtr<IDispatch> shell = create(&CLSID_twShell);
    ComPtr<IUnknown> viaEarlier;
    ASSERT_TRUE(shell && earlier != IID__twShell &&
                shell->QueryInterface(earlier, &viaEarlier) == S_OK);
    EXPECT_EQ(viaEarlier.Get(), static_cast<IUnknown*>(shell.Get())) << "the same _twShell";
    viaEarlier.Reset();  // the DLL may be unloaded only when no object of it is alive
    EXPECT_EQ(exported("DllCanUnloadNow"), S_FALSE) << "an object is alive";
    shell.Reset();
    EXPECT_EQ(exported("DllCanUnloadNow"), S_OK);
    // As after regsvr32 /u: no class can be named or made, and the type library is gone.
    ASSERT_EQ(exported("DllUnregisterServer"), S_OK);
    for (const auto& [p, clsid, iid] : classes)
        EXPECT_TRUE(stored(p + std::wstring(L"\\CLSID")) == L"none" && !create(clsid)) << p;
    EXPECT_NE(LoadRegTypeLib(LIBID_Tarnwick, 43, 1, 0, &library), S_OK);
    exported("DllRegisterServer");
}

// The system's answers as the runtime's: existence codes (long names too), chdir and drive errors.
TEST(Win32Backend, TheSystemsAnswersAreTheRuntimes) {
    using namespace tarnwick;
    const tarnwick::testing::TempFolder temp;
    const String file = fromWide(temp.write("Games\\Long Name Here.prg").wstring()),
                 games = fromWide(temp.path().wstring() + L"\\Games");
    // A folder past the classic limit, made with a name the system takes at any length.
    std::wstring deep = L"\\\\?\\" + temp.path().wstring();
    for (const wchar_t c : {L'p', L'q', L'r'})
        CreateDirectoryW((deep += L"\\" + std::wstring(100, c)).c_str(), nullptr);
    const String d = fromWide(deep.substr(4));
    Win32Platform host;
    // e: existenceTest, f: changeDirectory, v: changeDrive; the code, or the error's number.
    const std::tuple<char, String, std::int32_t> rows[] = {
        // clang-format off
        {'e', file, 0}, {'e', games + u"\\none.d64", 2}, {'e', games + u"\\no\\game.d64", 3}, {'e', games + u"\\a|b.d64", 3},
        {'e', games, 5}, {'e', d, 5}, {'e', d + u"\\none.d64", 2}, {'f', games + u"\\no", 76}, {'f', file, 76},
        {'v', String{char16_t(noDrive()), u':', u'\\'}, 68}, {'v', u"1:", 68}};
    // clang-format on
    for (const auto& [call, path, expected] : rows) {
        std::int32_t answer = 0;
        try {
            answer = call == 'e' ? host.existenceTest(path) : 0;
            if (call == 'f') host.changeDirectory(path);
            if (call == 'v') host.changeDrive(path);
        } catch (const Error& e) {
            answer = e.number();
        }
        EXPECT_EQ(answer, expected) << call << " " << path.size();
    }
    // Too small an area: the room needed, terminator included, and nothing written.
    String area(2, u'#'), exact;
    exact.resize(host.shortPathName(file, area), u'#');
    EXPECT_EQ(host.shortPathName(file, exact), exact.size() - 1);
    EXPECT_EQ(toWide(area + exact), L"##" + shortOf(toWide(file)) + L'\0');
    // Letters beyond ASCII change case; a NUL has none and ends nothing.
    EXPECT_EQ(host.lowerCase(u"C:\\\u00C4NN \u03A9MEGA.D64"), u"c:\\\u00E4nn \u03C9mega.d64");
    EXPECT_EQ(host.upperCase(String(u"\u00e9\0b", 3)), String(u"\u00C9\0B", 3));
}

}  // namespace
