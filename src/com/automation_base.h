// The system declarations behind automation_base.idl: the IDL compiler's
// header for the type library includes this in place of a header of its own.
#pragma once

#include <ole2.h>
// after ole2.h, which it needs
#include <ocidl.h>
