// twRegistry as an automation object.
#include "dual_object.h"
#include "objects.h"

namespace tarnwick::com {

namespace {

class RegistryObject final : public DualObject<_twRegistry> {
  public:
    RegistryObject() : DualObject(IID__twRegistry, registryProgId) {}

    HRESULT STDMETHODCALLTYPE SaveSetting(BSTR* sRootKey, BSTR* sKeyName, BSTR* sValueName,
                                          VARIANT* vValueSetting, VARIANT_BOOL* bStringType,
                                          VARIANT_BOOL* result) override {
        if (!sRootKey || !sKeyName || !sValueName || !vValueSetting || !bStringType || !result)
            return E_POINTER;
        return run([&] {
            *result = toVariantBool(registry_.SaveSetting(
                fromBstr(*sRootKey), fromBstr(*sKeyName), fromBstr(*sValueName),
                fromVariant(*vValueSetting), fromVariantBool(*bStringType)));
        });
    }
    HRESULT STDMETHODCALLTYPE GetSetting(BSTR* sRootKey, BSTR* sKeyName, BSTR* sValueName,
                                         VARIANT* vValue, VARIANT_BOOL* bStringType,
                                         VARIANT* vDefault, VARIANT_BOOL* result) override {
        if (!sRootKey || !sKeyName || !sValueName || !vValue || !bStringType || !result)
            return E_POINTER;
        return run([&] {
            // An omitted default arrives as a missing argument, or not at all.
            const bool omitted = !vDefault || (V_VT(vDefault) == VT_ERROR &&
                                               V_ERROR(vDefault) == DISP_E_PARAMNOTFOUND);
            const Variant defaultValue =
                omitted ? Variant(twRegistry::DontSet) : fromVariant(*vDefault);
            Variant value = fromVariant(*vValue);
            const Boolean found = registry_.GetSetting(fromBstr(*sRootKey), fromBstr(*sKeyName),
                                                       fromBstr(*sValueName), value,
                                                       fromVariantBool(*bStringType), defaultValue);
            VARIANT converted;
            toVariant(value, &converted);
            VariantClear(vValue);
            *vValue = converted;
            *result = toVariantBool(found);
        });
    }

  private:
    tarnwick::twRegistry registry_;
};

}  // namespace

HRESULT createRegistry(REFIID riid, void** out) {
    return createObject<RegistryObject>(riid, out);
}

}  // namespace tarnwick::com
