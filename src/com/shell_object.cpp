// twShell as an automation object.
#include "dual_object.h"
#include "objects.h"

namespace tarnwick::com {

const IID& earlierShellIid() {
    // The identifier is the one of the alias twShell___v0 in the type
    // library, so that it is written down in one place only.
    static const IID iid = [] {
        IID found = GUID_NULL;
        ITypeLib* library = typeLibrary();
        if (!library) return found;
        for (UINT i = 0, n = library->GetTypeInfoCount(); i < n; ++i) {
            BSTR name = nullptr;
            if (FAILED(library->GetDocumentation(static_cast<INT>(i), &name, nullptr, nullptr,
                                                 nullptr)))
                continue;
            const bool alias = name && fromBstr(name) == u"twShell___v0";
            SysFreeString(name);
            ITypeInfo* info = nullptr;
            if (!alias || FAILED(library->GetTypeInfo(i, &info))) continue;
            TYPEATTR* attributes = nullptr;
            if (SUCCEEDED(info->GetTypeAttr(&attributes))) {
                found = attributes->guid;
                info->ReleaseTypeAttr(attributes);
            }
            info->Release();
            break;
        }
        return found;
    }();
    return iid;
}

namespace {

class ShellObject final : public DualObject<_twShell> {
  public:
    ShellObject() : DualObject(IID__twShell, shellProgId) {}

    HRESULT STDMETHODCALLTYPE PlayMusic(BSTR PlayerPathAndFile, BSTR MusicPath, BSTR SidFilename,
                                        BSTR MsgBoxCaption, VARIANT_BOOL* DisplayError) override {
        return run([&] {
            if (!DisplayError) throw Error(errors::InvalidProcedureCall);
            Boolean display = fromVariantBool(*DisplayError);
            shell_.PlayMusic(fromBstr(PlayerPathAndFile), fromBstr(MusicPath),
                             fromBstr(SidFilename), fromBstr(MsgBoxCaption), display);
            *DisplayError = toVariantBool(display);
        });
    }
    HRESULT STDMETHODCALLTYPE PlayMusicSong(BSTR PlayerPathAndFile, BSTR MusicPath,
                                            BSTR SidFilename, short* intTune) override {
        return run([&] {
            if (!intTune) throw Error(errors::InvalidProcedureCall);
            std::int16_t tune = *intTune;
            shell_.PlayMusicSong(fromBstr(PlayerPathAndFile), fromBstr(MusicPath),
                                 fromBstr(SidFilename), tune);
            *intTune = tune;
        });
    }
    HRESULT STDMETHODCALLTYPE CCS64v109(BSTR strEmulatorExePath, BSTR strEmulatorGamesDir,
                                        BSTR strGamePathAndFile, short intGameIndex,
                                        ::CCS64v109ControlsEnum intJOYPort1,
                                        ::CCS64v109ControlsEnum intJOYPort2,
                                        ::CCS64v109ControlsEnum intKEYPort1,
                                        ::CCS64v109ControlsEnum intKEYPort2,
                                        VARIANT_BOOL blnWriteToIniFile,
                                        VARIANT_BOOL blnWaitTillFinished, BSTR* result) override {
        return answer(result, [&] {
            return shell_.CCS64v109(fromBstr(strEmulatorExePath), fromBstr(strEmulatorGamesDir),
                                    fromBstr(strGamePathAndFile), intGameIndex,
                                    static_cast<tarnwick::CCS64v109ControlsEnum>(intJOYPort1),
                                    static_cast<tarnwick::CCS64v109ControlsEnum>(intJOYPort2),
                                    static_cast<tarnwick::CCS64v109ControlsEnum>(intKEYPort1),
                                    static_cast<tarnwick::CCS64v109ControlsEnum>(intKEYPort2),
                                    fromVariantBool(blnWriteToIniFile),
                                    fromVariantBool(blnWaitTillFinished));
        });
    }
    HRESULT STDMETHODCALLTYPE
    CCS64v20DosAndWin(BSTR strEmulatorExePath, BSTR strEmulatorGamesDir, BSTR strGamePathAndFile,
                      short intGameIndex, ::CCS64v20ControlEnum intPort1Control,
                      ::CCS64v20ControlEnum intPort2Control, ::CCS64v20ControlModeEnum intPort1Mode,
                      ::CCS64v20ControlModeEnum intPort2Mode, VARIANT_BOOL blnWriteToIniFile,
                      VARIANT_BOOL blnWaitTillFinished, BSTR* result) override {
        return answer(result, [&] {
            return shell_.CCS64v20DosAndWin(
                fromBstr(strEmulatorExePath), fromBstr(strEmulatorGamesDir),
                fromBstr(strGamePathAndFile), intGameIndex,
                static_cast<tarnwick::CCS64v20ControlEnum>(intPort1Control),
                static_cast<tarnwick::CCS64v20ControlEnum>(intPort2Control),
                static_cast<tarnwick::CCS64v20ControlModeEnum>(intPort1Mode),
                static_cast<tarnwick::CCS64v20ControlModeEnum>(intPort2Mode),
                fromVariantBool(blnWriteToIniFile), fromVariantBool(blnWaitTillFinished));
        });
    }
    HRESULT STDMETHODCALLTYPE C64Sv252(BSTR strEmulatorExePath, BSTR strGamePathAndFile,
                                       VARIANT PRGName, ::C64SControlsEnum intPort1Control,
                                       ::C64SControlsEnum intPort2Control,
                                       VARIANT_BOOL blnWriteToIniFile,
                                       VARIANT_BOOL blnWaitTillFinished, BSTR* result) override {
        return answer(result, [&] {
            return shell_.C64Sv252(
                fromBstr(strEmulatorExePath), fromBstr(strGamePathAndFile), fromVariant(PRGName),
                static_cast<tarnwick::C64SControlsEnum>(intPort1Control),
                static_cast<tarnwick::C64SControlsEnum>(intPort2Control),
                fromVariantBool(blnWriteToIniFile), fromVariantBool(blnWaitTillFinished));
        });
    }
    HRESULT STDMETHODCALLTYPE ShellWithDefaultProgram(BSTR FileToShell, LONG ParentHwnd) override {
        return run([&] { shell_.ShellWithDefaultProgram(fromBstr(FileToShell), ParentHwnd); });
    }
    HRESULT STDMETHODCALLTYPE VICE(BSTR strEmulatorExePath, BSTR strGamePathAndFile, BSTR PRGName,
                                   ::VICEControlsEnum intPort1, ::VICEControlsEnum intPort2,
                                   VARIANT_BOOL blnWaitTillFinished, BSTR* result) override {
        return answer(result, [&] {
            return shell_.VICE(fromBstr(strEmulatorExePath), fromBstr(strGamePathAndFile),
                               fromBstr(PRGName), static_cast<tarnwick::VICEControlsEnum>(intPort1),
                               static_cast<tarnwick::VICEControlsEnum>(intPort2),
                               fromVariantBool(blnWaitTillFinished));
        });
    }
    HRESULT STDMETHODCALLTYPE Comeback64(BSTR strEmulatorExePath, BSTR strGamePathAndFile,
                                         ::CB64ControlsEnum DefaultJoystick,
                                         VARIANT_BOOL blnWaitTillFinished, BSTR* result) override {
        return answer(result, [&] {
            return shell_.Comeback64(fromBstr(strEmulatorExePath), fromBstr(strGamePathAndFile),
                                     static_cast<tarnwick::CB64ControlsEnum>(DefaultJoystick),
                                     fromVariantBool(blnWaitTillFinished));
        });
    }
    HRESULT STDMETHODCALLTYPE Win64Beta(BSTR strEmulatorExePath, BSTR strGamePathAndFile,
                                        VARIANT_BOOL blnWaitTillFinished, BSTR* result) override {
        return answer(result, [&] {
            return shell_.Win64Beta(fromBstr(strEmulatorExePath), fromBstr(strGamePathAndFile),
                                    fromVariantBool(blnWaitTillFinished));
        });
    }
    HRESULT STDMETHODCALLTYPE PC64Win(BSTR strEmulatorExePath, BSTR strGamePathAndFile,
                                      VARIANT_BOOL blnWaitTillFinished, BSTR* result) override {
        return answer(result, [&] {
            return shell_.PC64Win(fromBstr(strEmulatorExePath), fromBstr(strGamePathAndFile),
                                  fromVariantBool(blnWaitTillFinished));
        });
    }
    HRESULT STDMETHODCALLTYPE Frodo(BSTR strEmulatorExePath, VARIANT_BOOL blnWaitTillFinished,
                                    BSTR* result) override {
        return answer(result, [&] {
            return shell_.Frodo(fromBstr(strEmulatorExePath), fromVariantBool(blnWaitTillFinished));
        });
    }
    HRESULT STDMETHODCALLTYPE VICENoSettings(BSTR strEmulatorExePath, BSTR strGamePathAndFile,
                                             BSTR PRGName, VARIANT_BOOL blnWaitTillFinished,
                                             BSTR* result) override {
        return answer(result, [&] {
            return shell_.VICENoSettings(fromBstr(strEmulatorExePath), fromBstr(strGamePathAndFile),
                                         fromBstr(PRGName), fromVariantBool(blnWaitTillFinished));
        });
    }

  protected:
    bool answersAs(REFIID riid) const override { return IsEqualIID(riid, earlierShellIid()); }

  private:
    // A method with a String result.
    template <typename Body>
    HRESULT answer(BSTR* result, Body&& body) {
        if (!result) return E_POINTER;
        *result = nullptr;
        return run([&] { *result = toBstr(body()); });
    }
    tarnwick::twShell shell_;
};

}  // namespace

HRESULT createShell(REFIID riid, void** out) {
    return createObject<ShellObject>(riid, out);
}

}  // namespace tarnwick::com
