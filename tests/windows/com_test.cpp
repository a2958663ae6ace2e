// Tarnwick.dll through real automation clients: creation by programmatic
// identifier after regsvr32, every method through the function table and
// through IDispatch by name, the dispatch ids, in/out arguments, errors,
// the FoundFile event, the type library and the unload test.
#include <gtest/gtest.h>
#include <windows.h>
// after windows.h, which they need
#include <oleauto.h>
#include <olectl.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "com_client.h"

namespace tarnwick::testing {
namespace {

// The DLL under test, as a Windows path.
std::wstring comDll() {
    std::wstring path;
    for (const char c : std::string(TARNWICK_COM_DLL_PATH)) path += c == '/' ? L'\\' : wchar_t(c);
    return path;
}

template <typename Interface>
void create(const wchar_t* progId, REFIID iid, Ref<Interface>& out) {
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(progId, &clsid), S_OK) << "not registered";
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out.putVoid()), S_OK);
}

class ComServer : public ::testing::Test {
  protected:
    void SetUp() override {
        create(L"Tarnwick.twShell", IID__twShell, shell);
        create(L"Tarnwick.twRegistry", IID__twRegistry, registry);
        create(L"Tarnwick.twFunctions", IID__twFunctions, functions);
    }
    Ref<_twShell> shell;
    Ref<_twRegistry> registry;
    Ref<_twFunctions> functions;
};

TEST_F(ComServer, DispatchIdsFollowTheInterfaceTables) {
    const std::map<std::wstring, DISPID> shellIds = {
        {L"PlayMusic", 0x60030000}, {L"PlayMusicSong", 0x60030001},
        {L"CCS64v109", 0x60030002}, {L"CCS64v20DosAndWin", 0x60030003},
        {L"C64Sv252", 0x60030004},  {L"ShellWithDefaultProgram", 0x60030005},
        {L"VICE", 0x60030006},      {L"Comeback64", 0x60030007},
        {L"Win64Beta", 0x60030008}, {L"PC64Win", 0x60030009},
        {L"Frodo", 0x6003000A},     {L"VICENoSettings", 0x6003000B}};
    const std::map<std::wstring, DISPID> registryIds = {{L"SaveSetting", 0x60030002},
                                                        {L"GetSetting", 0x60030003}};
    const std::map<std::wstring, DISPID> functionIds = {
        {L"FindFile", 0x60030000},         {L"FindFiles", 0x60030003},
        {L"GetFileAndPath", 0x60030005},   {L"GetSidInfo", 0x60030006},
        {L"GetSidSongInfo", 0x60030007},   {L"SaveDefaultSidSong", 0x60030008},
        {L"GetSidAuthor", 0x60030009},     {L"JustFileName", 0x6003000A},
        {L"SetAlwaysOnTop", 0x6003000B},   {L"WaitForCDRom", 0x6003000C},
        {L"WaitForCDRomPath", 0x6003000D}, {L"WaitForCDRomFile", 0x6003000E},
        {L"GetVolumeName", 0x6003000F},    {L"Long2Short", 0x60030010},
        {L"DeletePathSilent", 0x60030011}, {L"DriveTypeIsCDRom", 0x60030012},
        {L"ChangeConfigFile", 0x60030013}, {L"FileExists", 0x60030014},
        {L"DirExists", 0x60030015}};
    EXPECT_EQ(shellIds.size() + registryIds.size() + functionIds.size(), 33u);
    for (const auto& [name, id] : shellIds) EXPECT_EQ(dispatchId(shell.get(), name.c_str()), id);
    for (const auto& [name, id] : registryIds)
        EXPECT_EQ(dispatchId(registry.get(), name.c_str()), id);
    for (const auto& [name, id] : functionIds)
        EXPECT_EQ(dispatchId(functions.get(), name.c_str()), id);
    // Names are matched without regard to case, as script clients expect.
    EXPECT_EQ(dispatchId(functions.get(), L"justfilename"), 0x6003000A);
}

TEST_F(ComServer, TheEarlierShellIdentifierGivesTheSameInterface) {
    Ref<ITypeLib> library;
    ASSERT_EQ(LoadRegTypeLib(LIBID_Tarnwick, 43, 1, 0, library.put()), S_OK);
    Ref<ITypeInfo> alias;
    MEMBERID member = 0;
    USHORT found = 1;
    wchar_t name[] = L"twShell___v0";
    ITypeInfo* infos[1] = {nullptr};
    ASSERT_EQ(library->FindName(name, 0, infos, &member, &found), S_OK);
    ASSERT_EQ(found, 1);
    *alias.put() = infos[0];
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(alias->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->typekind, TKIND_ALIAS);
    const IID earlier = attributes->guid;
    alias->ReleaseTypeAttr(attributes);
    EXPECT_FALSE(IsEqualIID(earlier, IID__twShell));

    Ref<IUnknown> viaEarlier, viaCurrent;
    ASSERT_EQ(shell->QueryInterface(earlier, viaEarlier.putVoid()), S_OK);
    ASSERT_EQ(shell->QueryInterface(IID__twShell, viaCurrent.putVoid()), S_OK);
    EXPECT_EQ(viaEarlier.get(), viaCurrent.get());
}

TEST_F(ComServer, LaunchersAnswerThroughTheFunctionTable) {
    Bstr result;
    ASSERT_EQ(shell->Frodo(Bstr(L"C:\\nowhere\\frodo.exe").get(), VARIANT_FALSE, result.put()),
              S_OK);
    EXPECT_EQ(result.text(), L"Unable to run Frodo.  File: C:\\nowhere\\frodo.exe not found");
    ASSERT_EQ(shell->Win64Beta(Bstr(L"C:\\no\\w.exe").get(), Bstr(L"C:\\g.t64").get(), VARIANT_TRUE,
                               result.put()),
              S_OK);
    EXPECT_EQ(result.text(), L"Unable to run Win64 Beta.  File: C:\\no\\w.exe not found");
    ASSERT_EQ(shell->PC64Win(Bstr(L"C:\\no\\p.exe").get(), Bstr(L"C:\\g.t64").get(), VARIANT_TRUE,
                             result.put()),
              S_OK);
    EXPECT_EQ(result.text(), L"Unable to run PC64Win.  File: C:\\no\\p.exe not found");
    ASSERT_EQ(shell->Comeback64(Bstr(L"C:\\no\\c.exe").get(), Bstr(L"C:\\g.t64").get(),
                                ::SelectPort2, VARIANT_FALSE, result.put()),
              S_OK);
    EXPECT_EQ(result.text(),
              L"Unable to run the Come Back 64 Emulator.  File: C:\\no\\c.exe not found");
    ASSERT_EQ(shell->CCS64v109(Bstr(L"C:\\no\\ccs64.exe").get(), Bstr(L"").get(),
                               Bstr(L"C:\\g.d64").get(), 0, ::eCCS109_PCJoystick1,
                               ::eCCS109_PCJoystick2, ::eCCS109_KeySet1, ::eCCS109_KeySet2,
                               VARIANT_TRUE, VARIANT_FALSE, result.put()),
              S_OK);
    EXPECT_EQ(result.text(), L"Unable to run CCS64 v1.09.  File: \\ccsdpmi.exe not found");
    ASSERT_EQ(shell->CCS64v20DosAndWin(Bstr(L"C:\\no\\ccs.exe").get(), Bstr(L"").get(),
                                       Bstr(L"C:\\g.d64").get(), 0, ::eCCS20_Joystick,
                                       ::eCCS20_None, ::eCCS20_PCJoystick1, ::eCCS20_PCMouse,
                                       VARIANT_TRUE, VARIANT_FALSE, result.put()),
              S_OK);
    EXPECT_EQ(result.text(), L"Unable to run CCS64 v2.0.  File: C:\\no\\ccs.exe not found");
    VARIANT name;
    VariantInit(&name);
    ASSERT_EQ(shell->C64Sv252(Bstr(L"C:\\no\\c64s.exe").get(), Bstr(L"C:\\g.prg").get(), name,
                              ::Keyboard, ::Disable, VARIANT_FALSE, VARIANT_FALSE, result.put()),
              S_OK);
    EXPECT_EQ(result.text(),
              L"Unable to run this game in C64S v2.52.  This emulator only supports D64 and T64 "
              L"files");
    ASSERT_EQ(
        shell->VICE(Bstr(L"C:\\no\\x64.exe").get(), Bstr(L"C:\\g.d64").get(), Bstr(L"GAME").get(),
                    ::eVICE_PCJoystick1, ::eVICE_None, VARIANT_FALSE, result.put()),
        S_OK);
    EXPECT_EQ(result.text(), L"Unable to run the VICE Emulator.  File: C:\\no\\x64.exe not found");
    ASSERT_EQ(shell->VICENoSettings(Bstr(L"C:\\no\\x64.exe").get(), Bstr(L"C:\\g.d64").get(),
                                    Bstr(L"").get(), VARIANT_FALSE, result.put()),
              S_OK);
    EXPECT_EQ(result.text(), L"Unable to run the VICE Emulator.  File: C:\\no\\x64.exe not found");

    // The player launches trap everything and leave their in/out values.
    VARIANT_BOOL display = VARIANT_FALSE;
    EXPECT_EQ(shell->PlayMusic(Bstr(L"C:\\no\\player.exe").get(), Bstr(L"C:\\no").get(),
                               Bstr(L"tune.sid").get(), Bstr(L"Caption").get(), &display),
              S_OK);
    EXPECT_EQ(display, VARIANT_FALSE);
    SHORT tune = 3;
    EXPECT_EQ(shell->PlayMusicSong(Bstr(L"C:\\no\\player.exe").get(), Bstr(L"C:\\no").get(),
                                   Bstr(L"tune.sid").get(), &tune),
              S_OK);
    EXPECT_EQ(tune, 3);
}

TEST_F(ComServer, InOutArgumentsAreWrittenBack) {
    Bstr path(L"old"), file(L"old");
    ASSERT_EQ(functions->GetFileAndPath(Bstr(L"C:\\Games\\game.d64").get(), path.put(), file.put()),
              S_OK);
    EXPECT_EQ(path.text(), L"C:\\Games");
    EXPECT_EQ(file.text(), L"game.d64");

    // Through IDispatch, the way a script passes its variables.
    Var scriptPath(L"old"), scriptFile;
    V_VT(&scriptFile.v) = VT_I4;  // a variable holding a number until now
    CallResult call;
    callByName(functions.get(), L"GetFileAndPath",
               {Var(L"D:\\Music\\tune.sid").v, Var::refTo(scriptPath).v, Var::refTo(scriptFile).v},
               call);
    ASSERT_EQ(call.status, S_OK);
    EXPECT_EQ(scriptPath.text(), L"D:\\Music");
    EXPECT_EQ(scriptFile.text(), L"tune.sid");
}

TEST_F(ComServer, ErrorsCarryTheRuntimeNumberAndDescription) {
    const std::wstring tooLong = L"C:\\" + std::wstring(40000, L'x');
    Bstr path, file;
    const HRESULT hr = functions->GetFileAndPath(Bstr(tooLong).get(), path.put(), file.put());
    EXPECT_EQ(hr, static_cast<HRESULT>(0x800A0006));
    Ref<ISupportErrorInfo> supports;
    ASSERT_EQ(functions->QueryInterface(IID_ISupportErrorInfo, supports.putVoid()), S_OK);
    EXPECT_EQ(supports->InterfaceSupportsErrorInfo(IID__twFunctions), S_OK);
    Ref<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
    Bstr description, source;
    info->GetDescription(description.put());
    info->GetSource(source.put());
    EXPECT_EQ(description.text(), L"Overflow");
    EXPECT_EQ(source.text(), L"Tarnwick.twFunctions");

    CallResult call;
    callByName(functions.get(), L"JustFileName", {Var(tooLong).v}, call);
    EXPECT_EQ(call.status, DISP_E_EXCEPTION);
    EXPECT_EQ(call.exception.scode, static_cast<SCODE>(0x800A0006));
    EXPECT_EQ(std::wstring(call.exception.bstrDescription ? call.exception.bstrDescription : L""),
              L"Overflow");

    // A method that traps its errors succeeds with its documented result.
    VARIANT_BOOL exists = VARIANT_TRUE;
    EXPECT_EQ(functions->DirExists(Bstr(tooLong).get(), &exists), S_OK);
    EXPECT_EQ(exists, VARIANT_FALSE);
}

TEST_F(ComServer, RegistryRoundTripThroughTheFunctionTable) {
    Var value(L"hello"), missing;
    VARIANT_BOOL text = VARIANT_TRUE, ok = VARIANT_FALSE;
    EXPECT_EQ(registry->SaveSetting(nullptr, nullptr, nullptr, nullptr, nullptr, &ok), E_POINTER);
    BSTR r = SysAllocString(L"HKEY_CURRENT_USER"),
         k = SysAllocString(L"Software\\Tarnwick Tests\\Com"), n = SysAllocString(L"Greeting");
    ASSERT_EQ(registry->SaveSetting(&r, &k, &n, &value.v, &text, &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    Var read;
    ASSERT_EQ(registry->GetSetting(&r, &k, &n, &read.v, &text, nullptr, &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    EXPECT_EQ(read.text(), L"hello");
    BSTR other = SysAllocString(L"Nothing here");
    ASSERT_EQ(registry->GetSetting(&r, &k, &other, &missing.v, &text, nullptr, &ok), S_OK);
    EXPECT_EQ(missing.text(), L"--NOT-FOUND--");
    SysFreeString(r);
    SysFreeString(k);
    SysFreeString(n);
    SysFreeString(other);
}

// A sink of __twFunctions that records every FoundFile it receives.
class FoundFileSink final : public IDispatch {
  public:
    std::vector<std::wstring> found;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, DIID___twFunctions)) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params,
                                     VARIANT*, EXCEPINFO*, UINT*) override {
        if (member != 1 || !params || params->cArgs != 1 || V_VT(&params->rgvarg[0]) != VT_BSTR)
            return DISP_E_MEMBERNOTFOUND;
        found.emplace_back(V_BSTR(&params->rgvarg[0]), SysStringLen(V_BSTR(&params->rgvarg[0])));
        return S_OK;
    }
    ULONG references = 1;
};

TEST_F(ComServer, FoundFileReachesEveryConnectedSinkInOrder) {
    const std::wstring folder = tempFolder(L"tarnwick-com-events");
    CreateDirectoryW((folder + L"sub").c_str(), nullptr);
    writeFile(folder + L"a.sid", std::string(100, 'x'));
    writeFile(folder + L"sub\\b.sid", std::string(20, 'y'));
    writeFile(folder + L"c.txt", "z");

    Ref<IConnectionPointContainer> container;
    ASSERT_EQ(functions->QueryInterface(IID_IConnectionPointContainer, container.putVoid()), S_OK);
    Ref<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(DIID___twFunctions, point.put()), S_OK);
    EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, point.put()), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(container->FindConnectionPoint(DIID___twFunctions, point.put()), S_OK);
    FoundFileSink first, second;
    DWORD cookie1 = 0, cookie2 = 0;
    ASSERT_EQ(point->Advise(&first, &cookie1), S_OK);
    ASSERT_EQ(point->Advise(&second, &cookie2), S_OK);

    Var total;
    EXPECT_EQ(functions->FindFiles(nullptr, nullptr, &total.v), E_POINTER);
    BSTR p = SysAllocString(folder.c_str()), s = SysAllocString(L"*.sid");
    ASSERT_EQ(functions->FindFiles(&p, &s, &total.v), S_OK);
    const std::vector<std::wstring> expected = {folder + L"a.sid", folder + L"sub\\b.sid"};
    EXPECT_EQ(first.found, expected);
    EXPECT_EQ(second.found, expected);
    EXPECT_EQ(V_VT(&total.v) == VT_I2   ? V_I2(&total.v)
              : V_VT(&total.v) == VT_I4 ? V_I4(&total.v)
                                        : -1,
              120);

    // After Unadvise the sink hears nothing more.
    ASSERT_EQ(point->Unadvise(cookie1), S_OK);
    EXPECT_EQ(point->Unadvise(cookie1), CONNECT_E_NOCONNECTION);
    first.found.clear();
    second.found.clear();
    ASSERT_EQ(functions->FindFiles(&p, &s, &total.v), S_OK);
    EXPECT_TRUE(first.found.empty());
    EXPECT_EQ(second.found, expected);
    ASSERT_EQ(point->Unadvise(cookie2), S_OK);
    SysFreeString(p);
    SysFreeString(s);

    Ref<IProvideClassInfo2> classInfo;
    ASSERT_EQ(functions->QueryInterface(IID_IProvideClassInfo2, classInfo.putVoid()), S_OK);
    GUID source{};
    ASSERT_EQ(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
    EXPECT_TRUE(IsEqualGUID(source, DIID___twFunctions));
}

// A change list as an automation array of ConfigFileType records.
SAFEARRAY* changeList(const std::vector<std::pair<std::wstring, std::wstring>>& changes,
                      LONG lowerBound = 0) {
    Ref<ITypeLib> library;
    LoadRegTypeLib(LIBID_Tarnwick, 43, 1, 0, library.put());
    wchar_t name[] = L"ConfigFileType";
    ITypeInfo* infos[1] = {nullptr};
    MEMBERID member = 0;
    USHORT found = 1;
    library->FindName(name, 0, infos, &member, &found);
    Ref<IRecordInfo> record;
    GetRecordInfoFromTypeInfo(infos[0], record.put());
    infos[0]->Release();
    SAFEARRAYBOUND bound{static_cast<ULONG>(changes.size()), lowerBound};
    SAFEARRAY* array = SafeArrayCreateEx(VT_RECORD, 1, &bound, record.get());
    ::ConfigFileType* items = nullptr;
    SafeArrayAccessData(array, reinterpret_cast<void**>(&items));
    for (std::size_t i = 0; i < changes.size(); ++i) {
        items[i].KeyToChange = SysAllocString(changes[i].first.c_str());
        items[i].ValueToSet = SysAllocString(changes[i].second.c_str());
    }
    SafeArrayUnaccessData(array);
    return array;
}

TEST_F(ComServer, ChangeConfigFileTakesRecordArraysBothWays) {
    const std::wstring folder = tempFolder(L"tarnwick-com-config");
    const std::wstring file = folder + L"c64.cfg";
    writeFile(file, "A=1\r\n\r\nB=2\r\n");
    SAFEARRAY* list = changeList({{L"a", L"9"}});
    ASSERT_EQ(functions->ChangeConfigFile(Bstr(file).get(), &list), S_OK);
    EXPECT_EQ(readFile(file), "a=9\r\nB=2\r\n");

    // No array, or one starting above 0: subscript out of range.
    SAFEARRAY* none = nullptr;
    EXPECT_EQ(functions->ChangeConfigFile(Bstr(file).get(), &none),
              static_cast<HRESULT>(0x800A0009));
    SAFEARRAY* shifted = changeList({{L"B", L"0"}}, 1);
    EXPECT_EQ(functions->ChangeConfigFile(Bstr(file).get(), &shifted),
              static_cast<HRESULT>(0x800A0009));
    EXPECT_EQ(readFile(file), "a=9\r\nB=2\r\n");

    // Through IDispatch, by reference as a compiled client passes it.
    Var fileArgument(file), listArgument;
    SAFEARRAY* second = changeList({{L"B", L"3"}});
    V_VT(&listArgument.v) = VT_BYREF | VT_ARRAY | VT_RECORD;
    V_ARRAYREF(&listArgument.v) = &second;
    CallResult call;
    callByName(functions.get(), L"ChangeConfigFile", {fileArgument.v, listArgument.v}, call);
    EXPECT_EQ(call.status, S_OK);
    EXPECT_EQ(readFile(file), "a=9\r\nB=3\r\n");
    V_VT(&listArgument.v) = VT_EMPTY;

    CallResult failed;
    callByName(functions.get(), L"ChangeConfigFile", {Var(folder + L"none.cfg").v, Var().v},
               failed);
    EXPECT_EQ(failed.status, DISP_E_EXCEPTION);
    EXPECT_EQ(failed.exception.scode, static_cast<SCODE>(0x800A0035));  // 53: file not found
    SafeArrayDestroy(list);
    SafeArrayDestroy(shifted);
    SafeArrayDestroy(second);
}

TEST(ComModule, UnloadsOnlyWhenNothingIsLeft) {
    HMODULE module = LoadLibraryW(comDll().c_str());
    ASSERT_NE(module, nullptr);
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
    // Through void*: an export's address carries no type of its own.
    const auto getClassObject = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    const auto canUnloadNow = reinterpret_cast<CanUnloadNow>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    ASSERT_NE(getClassObject, nullptr);
    ASSERT_NE(canUnloadNow, nullptr);
    EXPECT_EQ(canUnloadNow(), S_OK);

    Ref<IClassFactory> factory;
    EXPECT_EQ(getClassObject(IID__twShell, IID_IClassFactory, factory.putVoid()),
              CLASS_E_CLASSNOTAVAILABLE);
    ASSERT_EQ(getClassObject(CLSID_twFunctions, IID_IClassFactory, factory.putVoid()), S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    Ref<_twFunctions> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID__twFunctions, object.putVoid()), S_OK);
    factory.reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "an object is alive";
    Bstr name;
    ASSERT_EQ(object->JustFileName(Bstr(L"C:\\x\\y.d64").get(), name.put()), S_OK);
    EXPECT_EQ(name.text(), L"y.d64");
    object.reset();
    EXPECT_EQ(canUnloadNow(), S_OK);

    ASSERT_EQ(getClassObject(CLSID_twRegistry, IID_IClassFactory, factory.putVoid()), S_OK);
    factory->LockServer(TRUE);
    factory.reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "a lock is held";
    ASSERT_EQ(getClassObject(CLSID_twRegistry, IID_IClassFactory, factory.putVoid()), S_OK);
    factory->LockServer(FALSE);
    factory.reset();
    EXPECT_EQ(canUnloadNow(), S_OK);
    FreeLibrary(module);
}

TEST(ComModule, TypeLibraryDescribesTheInterface) {
    Ref<ITypeLib> library;
    ASSERT_EQ(LoadRegTypeLib(LIBID_Tarnwick, 43, 1, 0, library.put()), S_OK);
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->wMajorVerNum, 43);
    EXPECT_EQ(attributes->wMinorVerNum, 1);
    EXPECT_EQ(attributes->lcid, 0u);
    library->ReleaseTLibAttr(attributes);
    Bstr name, description;
    ASSERT_EQ(library->GetDocumentation(-1, name.put(), description.put(), nullptr, nullptr), S_OK);
    EXPECT_EQ(name.text(), L"Tarnwick");
    EXPECT_EQ(description.text(), L"Tarnwick General Functions v2.2");

    for (const IID* iid : {&IID__twShell, &IID__twRegistry, &IID__twFunctions}) {
        // The dispatch half of a dual interface, and its function table half.
        Ref<ITypeInfo> dispatch, table;
        ASSERT_EQ(library->GetTypeInfoOfGuid(*iid, dispatch.put()), S_OK);
        HREFTYPE reference = 0;
        ASSERT_EQ(dispatch->GetRefTypeOfImplType(-1, &reference), S_OK);
        ASSERT_EQ(dispatch->GetRefTypeInfo(reference, table.put()), S_OK);
        TYPEATTR* type = nullptr;
        ASSERT_EQ(dispatch->GetTypeAttr(&type), S_OK);
        const WORD flags = TYPEFLAG_FDUAL | TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE;
        EXPECT_EQ(type->wTypeFlags & flags, flags);
        EXPECT_EQ(type->typekind, TKIND_DISPATCH);
        dispatch->ReleaseTypeAttr(type);
        ASSERT_EQ(table->GetTypeAttr(&type), S_OK);
        EXPECT_EQ(type->typekind, TKIND_INTERFACE);
        EXPECT_TRUE(type->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
        EXPECT_TRUE(type->wTypeFlags & TYPEFLAG_FDUAL);
        table->ReleaseTypeAttr(type);
    }
    // The enumerations keep their members' values.
    const std::map<std::wstring, LONG> members = {
        {L"eCCS109_KeySet1", 0},   {L"eCCS109_KeySet3", 2},  {L"eCCS20_PCMouse", -1},
        {L"eVICE_PCJoystick2", 5}, {L"AnalogueJoystick", 2}, {L"SelectPort2", 1}};
    std::map<std::wstring, LONG> seen;
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        Ref<ITypeInfo> info;
        library->GetTypeInfo(i, info.put());
        TYPEATTR* type = nullptr;
        info->GetTypeAttr(&type);
        if (type->typekind == TKIND_ENUM) {
            for (UINT v = 0; v < type->cVars; ++v) {
                VARDESC* var = nullptr;
                info->GetVarDesc(v, &var);
                Bstr member;
                info->GetDocumentation(var->memid, member.put(), nullptr, nullptr, nullptr);
                seen[member.text()] = V_I4(var->lpvarValue);
                info->ReleaseVarDesc(var);
            }
        }
        info->ReleaseTypeAttr(type);
    }
    for (const auto& [member, value] : members) EXPECT_EQ(seen.at(member), value) << member.size();
}

TEST(ComModule, VersionBlockNamesTheLibrary) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(comDll().c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(comDll().c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00020002u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    const auto text = [&](const wchar_t* key) {
        wchar_t* value = nullptr;
        UINT n = 0;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + key;
        if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &n))
            return std::wstring(L"<missing>");
        return std::wstring(value);
    };
    EXPECT_EQ(text(L"FileVersion"), L"2.02");
    EXPECT_EQ(text(L"ProductVersion"), L"2.02");
    EXPECT_EQ(text(L"FileDescription"), L"Tarnwick General Functions");
    EXPECT_EQ(text(L"Comments"), L"Tarnwick General Functions");
    EXPECT_EQ(text(L"InternalName"), L"Tarnwick");
    EXPECT_EQ(text(L"OriginalFilename"), L"Tarnwick.dll");
    EXPECT_NE(text(L"OLESelfRegister"), L"<missing>");
}

// Every method of _twFunctions not exercised above, through its function
// table, on safe arguments whose answers are known.
TEST_F(ComServer, EveryOtherFunctionAnswersThroughTheFunctionTable) {
    const std::wstring folder = tempFolder(L"tarnwick-com-table");
    writeFile(folder + L"found.d64", "x");
    Bstr text;
    ASSERT_EQ(functions->FindFile(Bstr(L"found.d64").get(), Bstr(folder).get(), text.put()), S_OK);
    EXPECT_EQ(text.text(), folder + L"found.d64");
    ASSERT_EQ(functions->Long2Short(Bstr(L"").get(), text.put()), S_OK);
    EXPECT_EQ(text.text(), L"");
    VARIANT_BOOL yes = VARIANT_FALSE;
    ASSERT_EQ(functions->FileExists(Bstr(folder + L"found.d64").get(), VARIANT_FALSE,
                                    Bstr(L"").get(), &yes),
              S_OK);
    EXPECT_EQ(yes, VARIANT_TRUE);
    ASSERT_EQ(functions->DirExists(Bstr(folder).get(), &yes), S_OK);
    EXPECT_EQ(yes, VARIANT_TRUE);
    ASSERT_EQ(functions->DriveTypeIsCDRom(Bstr(L"C:").get(), &yes), S_OK);
    EXPECT_EQ(yes, VARIANT_FALSE);

    // The PSID methods on a missing tune trap into false and "".
    Bstr name, author, copyright;
    SHORT songs = 7, song = 8;
    ASSERT_EQ(functions->GetSidInfo(Bstr(folder + L"none.sid").get(), name.put(), author.put(),
                                    copyright.put(), &songs, &song, &yes),
              S_OK);
    EXPECT_EQ(yes, VARIANT_FALSE);
    ASSERT_EQ(functions->GetSidSongInfo(Bstr(folder + L"none.sid").get(), &songs, &song, &yes),
              S_OK);
    EXPECT_EQ(yes, VARIANT_FALSE);
    song = 3;
    ASSERT_EQ(functions->SaveDefaultSidSong(Bstr(folder + L"none.sid").get(), &song, &yes), S_OK);
    EXPECT_EQ(yes, VARIANT_FALSE);
    EXPECT_EQ(song, 3);
    ASSERT_EQ(functions->GetSidAuthor(Bstr(folder + L"none.sid").get(), text.put()), S_OK);
    EXPECT_EQ(text.text(), L"");

    // The waits answer at once when what they wait for is there.
    ASSERT_EQ(functions->GetVolumeName(Bstr(L"C:\\").get(), text.put()), S_OK);
    ASSERT_EQ(functions->WaitForCDRom(Bstr(L"C:\\").get(), text.get(), &yes), S_OK);
    EXPECT_EQ(yes, VARIANT_TRUE);
    ASSERT_EQ(functions->WaitForCDRomPath(Var(folder).v, &yes), S_OK);
    EXPECT_EQ(yes, VARIANT_TRUE);
    ASSERT_EQ(functions->WaitForCDRomFile(Var(folder + L"found.d64").v, &yes), S_OK);
    EXPECT_EQ(yes, VARIANT_TRUE);
    // A Null path fails before any prompt, with the runtime's own error.
    Var null;
    V_VT(&null.v) = VT_NULL;
    EXPECT_EQ(functions->WaitForCDRomPath(null.v, &yes), static_cast<HRESULT>(0x800A005E));

    // The window and deletion helpers.
    const HWND window = CreateWindowExW(0, L"STATIC", L"tarnwick", WS_POPUP, 0, 0, 10, 10, nullptr,
                                        nullptr, nullptr, nullptr);
    EXPECT_EQ(functions->SetAlwaysOnTop(VARIANT_TRUE,
                                        static_cast<LONG>(reinterpret_cast<INT_PTR>(window))),
              S_OK);
    if (window) DestroyWindow(window);
    const std::wstring doomed = tempFolder(L"tarnwick-com-doomed");
    writeFile(doomed + L"x.txt", "x");
    ASSERT_EQ(functions->DeletePathSilent(Bstr(doomed.substr(0, doomed.size() - 1)).get()), S_OK);
    EXPECT_EQ(GetFileAttributesW(doomed.c_str()), INVALID_FILE_ATTRIBUTES);

    // Opening a file that is not there reports nothing.
    EXPECT_EQ(shell->ShellWithDefaultProgram(Bstr(folder + L"missing.nothing").get(), 0), S_OK);
}

// All 33 methods by name through IDispatch, with arguments as a script
// passes them.
TEST_F(ComServer, EveryMethodAnswersThroughDispatch) {
    const std::wstring folder = tempFolder(L"tarnwick-com-dispatch");
    writeFile(folder + L"c64.cfg", "A=1\r\n");
    const auto call = [](IDispatch* object, const wchar_t* name, std::vector<VARIANT> arguments) {
        CallResult result;
        callByName(object, name, std::move(arguments), result);
        EXPECT_EQ(result.status, S_OK) << std::string(name, name + wcslen(name));
        return result.value.text();
    };
    const auto str = [](const std::wstring& s) { return Var(s); };
    std::vector<Var> keep;  // owns the arguments until the end
    const auto arg = [&](Var v) {
        keep.push_back(std::move(v));
        return keep.back().v;
    };
    keep.reserve(100);
    const std::wstring missing = L"C:\\no\\emu.exe";
    const std::wstring game = L"C:\\g.d64";
    IDispatch* s = shell.get();
    EXPECT_EQ(call(s, L"Frodo", {arg(str(missing)), arg(Var::boolean(false))}),
              L"Unable to run Frodo.  File: " + missing + L" not found");
    EXPECT_NE(call(s, L"Win64Beta", {arg(str(missing)), arg(str(game)), arg(Var::boolean(false))}),
              L"");
    EXPECT_NE(call(s, L"PC64Win", {arg(str(missing)), arg(str(game)), arg(Var::boolean(false))}),
              L"");
    EXPECT_NE(call(s, L"Comeback64",
                   {arg(str(missing)), arg(str(game)), arg(Var::i4(1)), arg(Var::boolean(false))}),
              L"");
    EXPECT_NE(call(s, L"VICE",
                   {arg(str(missing)), arg(str(game)), arg(str(L"")), arg(Var::i4(4)),
                    arg(Var::i4(0)), arg(Var::boolean(false))}),
              L"");
    EXPECT_NE(call(s, L"VICENoSettings",
                   {arg(str(missing)), arg(str(game)), arg(str(L"")), arg(Var::boolean(false))}),
              L"");
    EXPECT_NE(call(s, L"CCS64v109",
                   {arg(str(missing)), arg(str(L"")), arg(str(game)), arg(Var::i2(0)),
                    arg(Var::i4(0)), arg(Var::i4(1)), arg(Var::i4(0)), arg(Var::i4(1)),
                    arg(Var::boolean(false)), arg(Var::boolean(false))}),
              L"");
    EXPECT_NE(call(s, L"CCS64v20DosAndWin",
                   {arg(str(missing)), arg(str(L"")), arg(str(game)), arg(Var::i2(0)),
                    arg(Var::i4(1)), arg(Var::i4(1)), arg(Var::i4(0)), arg(Var::i4(1)),
                    arg(Var::boolean(false)), arg(Var::boolean(false))}),
              L"");
    EXPECT_NE(call(s, L"C64Sv252",
                   {arg(str(missing)), arg(str(game)), arg(Var()), arg(Var::i4(1)), arg(Var::i4(1)),
                    arg(Var::boolean(false)), arg(Var::boolean(false))}),
              L"");
    Var display = Var::boolean(false), tune = Var::i2(2);
    call(s, L"PlayMusic",
         {arg(str(missing)), arg(str(L"C:\\no")), arg(str(L"t.sid")), arg(str(L"")),
          arg(Var::refTo(display))});
    call(s, L"PlayMusicSong",
         {arg(str(missing)), arg(str(L"C:\\no")), arg(str(L"t.sid")), arg(Var::refTo(tune))});
    EXPECT_EQ(V_I2(&tune.v), 2);
    call(s, L"ShellWithDefaultProgram", {arg(str(folder + L"missing.nothing")), arg(Var::i4(0))});

    IDispatch* r = registry.get();
    Var value = Var::i4(5), read;
    call(r, L"SaveSetting",
         {arg(str(L"HKEY_CURRENT_USER")), arg(str(L"Software\\Tarnwick Tests")), arg(str(L"Five")),
          arg(Var::refTo(value)), arg(Var::boolean(false))});
    call(r, L"GetSetting",
         {arg(str(L"HKEY_CURRENT_USER")), arg(str(L"Software\\Tarnwick Tests")), arg(str(L"Five")),
          arg(Var::refTo(read)), arg(Var::boolean(false))});
    EXPECT_EQ(V_VT(&read.v), VT_I4);
    EXPECT_EQ(V_I4(&read.v), 5);

    IDispatch* f = functions.get();
    EXPECT_EQ(call(f, L"FindFile", {arg(str(L"c64.cfg")), arg(str(folder))}), folder + L"c64.cfg");
    Var path(folder), pattern(L"*.cfg");
    call(f, L"FindFiles", {arg(Var::refTo(path)), arg(Var::refTo(pattern))});
    Var dir, file;
    call(f, L"GetFileAndPath",
         {arg(str(L"C:\\a\\b.d64")), arg(Var::refTo(dir)), arg(Var::refTo(file))});
    EXPECT_EQ(file.text(), L"b.d64");
    Var a, b, c, n1 = Var::i2(0), n2 = Var::i2(0);
    call(f, L"GetSidInfo",
         {arg(str(folder + L"none.sid")), arg(Var::refTo(a)), arg(Var::refTo(b)),
          arg(Var::refTo(c)), arg(Var::refTo(n1)), arg(Var::refTo(n2))});
    call(f, L"GetSidSongInfo",
         {arg(str(folder + L"none.sid")), arg(Var::refTo(n1)), arg(Var::refTo(n2))});
    Var song = Var::i2(1);
    call(f, L"SaveDefaultSidSong", {arg(str(folder + L"none.sid")), arg(Var::refTo(song))});
    EXPECT_EQ(call(f, L"GetSidAuthor", {arg(str(folder + L"none.sid"))}), L"");
    EXPECT_EQ(call(f, L"JustFileName", {arg(str(L"C:\\x\\y.t64"))}), L"y.t64");
    call(f, L"SetAlwaysOnTop", {arg(Var::boolean(false)), arg(Var::i4(0))});
    const std::wstring label = call(f, L"GetVolumeName", {arg(str(L"C:\\"))});
    call(f, L"WaitForCDRom", {arg(str(L"C:\\")), arg(str(label))});
    call(f, L"WaitForCDRomPath", {arg(str(folder))});
    call(f, L"WaitForCDRomFile", {arg(str(folder + L"c64.cfg"))});
    call(f, L"Long2Short", {arg(str(folder))});
    call(f, L"DeletePathSilent", {arg(str(folder + L"nothing-here"))});
    call(f, L"DriveTypeIsCDRom", {arg(str(L"C:"))});
    call(f, L"FileExists",
         {arg(str(folder + L"c64.cfg")), arg(Var::boolean(false)), arg(str(L""))});
    call(f, L"DirExists", {arg(str(folder))});
    SAFEARRAY* list = changeList({{L"A", L"2"}});
    Var listArgument;
    V_VT(&listArgument.v) = VT_ARRAY | VT_RECORD;
    V_ARRAY(&listArgument.v) = list;
    call(f, L"ChangeConfigFile", {arg(str(folder + L"c64.cfg")), listArgument.v});
    EXPECT_EQ(readFile(folder + L"c64.cfg"), "A=2\r\n");
}
}  // namespace
}  // namespace tarnwick::testing

// After unregistration no class can be created by name or identifier.
int expectUnregistered() {
    int failures = 0;
    const std::pair<const wchar_t*, const CLSID*> classes[] = {
        {L"Tarnwick.twShell", &CLSID_twShell},
        {L"Tarnwick.twRegistry", &CLSID_twRegistry},
        {L"Tarnwick.twFunctions", &CLSID_twFunctions}};
    for (const auto& [progId, clsid] : classes) {
        CLSID found;
        IUnknown* object = nullptr;
        if (SUCCEEDED(CLSIDFromProgID(progId, &found))) {
            std::printf("FAIL: %ls is still registered\n", progId);
            ++failures;
        }
        if (SUCCEEDED(CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                       reinterpret_cast<void**>(&object)))) {
            object->Release();
            std::printf("FAIL: %ls can still be created\n", progId);
            ++failures;
        }
    }
    std::printf("%d passed, %d failed\n", 6 - failures, failures);
    return failures == 0 ? 0 : 1;
}

int main(int argc, char** argv) {
    CoInitialize(nullptr);
    if (argc > 1 && std::string(argv[1]) == "--expect-unregistered") {
        const int result = expectUnregistered();
        CoUninitialize();
        return result;
    }
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
