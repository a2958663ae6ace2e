// ChangeConfigFile through IDispatch: its change list is an array of
// ConfigFileType records, which the type library's dispatch cannot carry.
#pragma once

#include "com_support.h"

namespace tarnwick::com {

// An automation array of ConfigFileType records as the change list: no
// array at all, its lower bound and its elements as they are.
ConfigFileArray changeList(SAFEARRAY* array);

// Answers an Invoke of ChangeConfigFile on functions, its arguments read
// from params, errors reported under source. False when member is not
// ChangeConfigFile called as a method: the type library's dispatch serves it.
bool invokeChangeConfigFile(twFunctions& functions, const wchar_t* source, DISPID member,
                            WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                            UINT* argumentError, HRESULT& hr);

}  // namespace tarnwick::com
