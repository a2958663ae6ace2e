// twFunctions as an automation object: a connectable object whose one
// outgoing interface, __twFunctions, carries the FoundFile event.
#include <vector>

#include "config_changes.h"
#include "dual_object.h"
#include "objects.h"
// after the system headers dual_object.h brings in
#include <olectl.h>

namespace tarnwick::com {

namespace {

class FunctionsObject;

// The connection point of __twFunctions. It lives and dies with its object.
class FoundFilePoint final : public IConnectionPoint {
  public:
    explicit FoundFilePoint(FunctionsObject& owner) : owner_(owner) {}
    ~FoundFilePoint() {
        for (auto& [cookie, sink] : sinks_) sink->Release();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IConnectionPoint))
            return E_NOINTERFACE;
        *out = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
        if (!iid) return E_POINTER;
        *iid = DIID___twFunctions;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE
    GetConnectionPointContainer(IConnectionPointContainer** container) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
        if (!sink || !cookie) return E_POINTER;
        *cookie = 0;
        IDispatch* dispatch = nullptr;
        if (FAILED(sink->QueryInterface(DIID___twFunctions, reinterpret_cast<void**>(&dispatch))) &&
            FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
            return CONNECT_E_CANNOTCONNECT;
        *cookie = ++lastCookie_;
        sinks_.emplace_back(*cookie, dispatch);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
        for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
            if (it->first != cookie) continue;
            IDispatch* sink = it->second;
            sinks_.erase(it);
            sink->Release();
            return S_OK;
        }
        return CONNECT_E_NOCONNECTION;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }

    // Calls FoundFile on every connected sink, in the order they connected.
    void raise(const String& pathAndFile) {
        std::vector<IDispatch*> now;
        for (auto& [cookie, sink] : sinks_) {
            sink->AddRef();  // a sink may disconnect while it is called
            now.push_back(sink);
        }
        BSTR text = toBstr(pathAndFile);
        for (IDispatch* sink : now) {
            VARIANT argument;
            VariantInit(&argument);
            V_VT(&argument) = VT_BSTR;
            V_BSTR(&argument) = text;
            DISPPARAMS params{&argument, nullptr, 1, 0};
            sink->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                         nullptr, nullptr);
            sink->Release();
        }
        SysFreeString(text);
    }

  private:
    FunctionsObject& owner_;
    std::vector<std::pair<DWORD, IDispatch*>> sinks_;
    DWORD lastCookie_ = 0;
};

// Hands out the single connection point, once.
class PointEnumerator final : public SingleInterfaceObject<IEnumConnectionPoints> {
  public:
    PointEnumerator(IConnectionPoint* point, ULONG position)
        : SingleInterfaceObject(IID_IEnumConnectionPoints), point_(point), position_(position) {
        point_->AddRef();
    }
    ~PointEnumerator() override { point_->Release(); }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, IConnectionPoint** points,
                                   ULONG* fetched) override {
        if (!points) return E_POINTER;
        ULONG given = 0;
        if (count > 0 && position_ == 0) {
            point_->AddRef();
            points[0] = point_;
            position_ = 1;
            given = 1;
        }
        if (fetched) *fetched = given;
        return given == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        if (count == 0) return S_OK;
        const bool had = position_ == 0;
        position_ = 1;
        return had && count == 1 ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        position_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints** out) override {
        if (!out) return E_POINTER;
        *out = new (std::nothrow) PointEnumerator(point_, position_);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

  private:
    IConnectionPoint* point_;
    ULONG position_;
};

class FunctionsObject final : public DualObject<_twFunctions>,
                              public IConnectionPointContainer,
                              public IProvideClassInfo2 {
  public:
    FunctionsObject() : DualObject(IID__twFunctions, functionsProgId), point_(*this) {
        functions_.addFoundFileHandler([this](const String& found) { point_.raise(found); });
    }

    // ---- IUnknown, shared by every interface of the object
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        return DualObject::QueryInterface(riid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return DualObject::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DualObject::Release(); }

    // ---- IConnectionPointContainer
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** out) override {
        if (!out) return E_POINTER;
        *out = new (std::nothrow) PointEnumerator(&point_, 0);
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(riid, DIID___twFunctions)) return CONNECT_E_NOCONNECTION;
        point_.AddRef();
        *out = &point_;
        return S_OK;
    }

    // ---- IProvideClassInfo2
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = typeInfo(CLSID_twFunctions);
        if (!*out) return E_UNEXPECTED;
        (*out)->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) override {
        if (!guid) return E_POINTER;
        if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
        *guid = DIID___twFunctions;
        return S_OK;
    }

    // ---- _twFunctions
    HRESULT STDMETHODCALLTYPE FindFile(BSTR FileName, BSTR path, BSTR* result) override {
        return answer(result,
                      [&] { return functions_.FindFile(fromBstr(FileName), fromBstr(path)); });
    }
    HRESULT STDMETHODCALLTYPE FindFiles(BSTR* path, BSTR* SearchStr, VARIANT* result) override {
        if (!path || !SearchStr || !result) return E_POINTER;
        VariantInit(result);
        return run([&] {
            String searchPath = fromBstr(*path), pattern = fromBstr(*SearchStr);
            const Variant total = functions_.FindFiles(searchPath, pattern);
            replace(path, searchPath);
            replace(SearchStr, pattern);
            toVariant(total, result);
        });
    }
    HRESULT STDMETHODCALLTYPE GetFileAndPath(BSTR strPathAndFile, BSTR* strPath,
                                             BSTR* strFileName) override {
        if (!strPath || !strFileName) return E_POINTER;
        return run([&] {
            String directory = fromBstr(*strPath), file = fromBstr(*strFileName);
            // The outputs are written even when the call then fails.
            struct WriteBack {
                String& d;
                String& f;
                BSTR* dOut;
                BSTR* fOut;
                ~WriteBack() {
                    try {
                        replace(dOut, d);
                        replace(fOut, f);
                    } catch (...) {
                    }
                }
            } writeBack{directory, file, strPath, strFileName};
            functions_.GetFileAndPath(fromBstr(strPathAndFile), directory, file);
        });
    }
    HRESULT STDMETHODCALLTYPE GetSidInfo(BSTR strSidFile, BSTR* strName, BSTR* strAuthor,
                                         BSTR* strCopyright, short* intTotalSongs,
                                         short* intDefaultSong, VARIANT_BOOL* result) override {
        if (!strName || !strAuthor || !strCopyright || !intTotalSongs || !intDefaultSong || !result)
            return E_POINTER;
        return run([&] {
            String name = fromBstr(*strName), author = fromBstr(*strAuthor),
                   copyright = fromBstr(*strCopyright);
            std::int16_t total = *intTotalSongs, song = *intDefaultSong;
            const Boolean ok =
                functions_.GetSidInfo(fromBstr(strSidFile), name, author, copyright, total, song);
            replace(strName, name);
            replace(strAuthor, author);
            replace(strCopyright, copyright);
            *intTotalSongs = total;
            *intDefaultSong = song;
            *result = toVariantBool(ok);
        });
    }
    HRESULT STDMETHODCALLTYPE GetSidSongInfo(BSTR strSidFile, short* intTotalSongs,
                                             short* intDefaultSong, VARIANT_BOOL* result) override {
        if (!intTotalSongs || !intDefaultSong || !result) return E_POINTER;
        return run([&] {
            std::int16_t total = *intTotalSongs, song = *intDefaultSong;
            *result = toVariantBool(functions_.GetSidSongInfo(fromBstr(strSidFile), total, song));
            *intTotalSongs = total;
            *intDefaultSong = song;
        });
    }
    HRESULT STDMETHODCALLTYPE SaveDefaultSidSong(BSTR strSidFile, short* intDefaultSong,
                                                 VARIANT_BOOL* result) override {
        if (!intDefaultSong || !result) return E_POINTER;
        return run([&] {
            std::int16_t song = *intDefaultSong;
            *result = toVariantBool(functions_.SaveDefaultSidSong(fromBstr(strSidFile), song));
            *intDefaultSong = song;
        });
    }
    HRESULT STDMETHODCALLTYPE GetSidAuthor(BSTR strSidFile, BSTR* result) override {
        return answer(result, [&] { return functions_.GetSidAuthor(fromBstr(strSidFile)); });
    }
    HRESULT STDMETHODCALLTYPE JustFileName(BSTR strPathAndFile, BSTR* result) override {
        return answer(result, [&] { return functions_.JustFileName(fromBstr(strPathAndFile)); });
    }
    HRESULT STDMETHODCALLTYPE SetAlwaysOnTop(VARIANT_BOOL SetOn, LONG WindowHwnd) override {
        return run([&] { functions_.SetAlwaysOnTop(fromVariantBool(SetOn), WindowHwnd); });
    }
    HRESULT STDMETHODCALLTYPE WaitForCDRom(BSTR RootDrive, BSTR CDRomName,
                                           VARIANT_BOOL* result) override {
        return yesNo(result, [&] {
            return functions_.WaitForCDRom(fromBstr(RootDrive), fromBstr(CDRomName));
        });
    }
    HRESULT STDMETHODCALLTYPE WaitForCDRomPath(VARIANT strPath, VARIANT_BOOL* result) override {
        return yesNo(result, [&] { return functions_.WaitForCDRomPath(fromVariant(strPath)); });
    }
    HRESULT STDMETHODCALLTYPE WaitForCDRomFile(VARIANT strPath, VARIANT_BOOL* result) override {
        return yesNo(result, [&] { return functions_.WaitForCDRomFile(fromVariant(strPath)); });
    }
    HRESULT STDMETHODCALLTYPE GetVolumeName(BSTR RootPathName, BSTR* result) override {
        return answer(result, [&] { return functions_.GetVolumeName(fromBstr(RootPathName)); });
    }
    HRESULT STDMETHODCALLTYPE Long2Short(BSTR S, BSTR* result) override {
        return answer(result, [&] { return functions_.Long2Short(fromBstr(S)); });
    }
    HRESULT STDMETHODCALLTYPE DeletePathSilent(BSTR strDestPath) override {
        return run([&] { functions_.DeletePathSilent(fromBstr(strDestPath)); });
    }
    HRESULT STDMETHODCALLTYPE DriveTypeIsCDRom(BSTR RootPathName, VARIANT_BOOL* result) override {
        return yesNo(result, [&] { return functions_.DriveTypeIsCDRom(fromBstr(RootPathName)); });
    }
    HRESULT STDMETHODCALLTYPE ChangeConfigFile(BSTR ConfigFile, SAFEARRAY** ChArray) override {
        return run([&] {
            functions_.ChangeConfigFile(fromBstr(ConfigFile),
                                        changeList(ChArray ? *ChArray : nullptr));
        });
    }
    HRESULT STDMETHODCALLTYPE FileExists(BSTR FileName, VARIANT_BOOL DisplayMsgBox, BSTR MBCaption,
                                         VARIANT_BOOL* result) override {
        return yesNo(result, [&] {
            return functions_.FileExists(fromBstr(FileName), fromVariantBool(DisplayMsgBox),
                                         fromBstr(MBCaption));
        });
    }
    HRESULT STDMETHODCALLTYPE DirExists(BSTR strDir, VARIANT_BOOL* result) override {
        return yesNo(result, [&] { return functions_.DirExists(fromBstr(strDir)); });
    }

  protected:
    void* queryMore(REFIID riid) override {
        if (IsEqualIID(riid, IID_IConnectionPointContainer))
            return static_cast<IConnectionPointContainer*>(this);
        if (IsEqualIID(riid, IID_IProvideClassInfo) || IsEqualIID(riid, IID_IProvideClassInfo2))
            return static_cast<IProvideClassInfo2*>(this);
        return nullptr;
    }

    // ChangeConfigFile's records cannot pass the type library's dispatch.
    bool invokeOwn(DISPID member, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* argumentError, HRESULT& hr) override {
        return invokeChangeConfigFile(functions_, source(), member, flags, params, result,
                                      exception, argumentError, hr);
    }

  private:
    template <typename Body>
    HRESULT answer(BSTR* result, Body&& body) {
        if (!result) return E_POINTER;
        *result = nullptr;
        return run([&] { *result = toBstr(body()); });
    }
    template <typename Body>
    HRESULT yesNo(VARIANT_BOOL* result, Body&& body) {
        if (!result) return E_POINTER;
        return run([&] { *result = toVariantBool(body()); });
    }
    static void replace(BSTR* target, const String& text) {
        BSTR fresh = toBstr(text);
        SysFreeString(*target);
        *target = fresh;
    }

    tarnwick::twFunctions functions_;
    FoundFilePoint point_;
};

ULONG STDMETHODCALLTYPE FoundFilePoint::AddRef() {
    return owner_.AddRef();
}
ULONG STDMETHODCALLTYPE FoundFilePoint::Release() {
    return owner_.Release();
}
HRESULT STDMETHODCALLTYPE
FoundFilePoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
    if (!container) return E_POINTER;
    *container = &owner_;
    owner_.AddRef();
    return S_OK;
}

}  // namespace

HRESULT createFunctions(REFIID riid, void** out) {
    return createObject<FunctionsObject>(riid, out);
}

}  // namespace tarnwick::com
