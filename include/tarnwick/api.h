// What the shared library shows its users: everything declared in the
// public headers, and nothing else. The library is compiled with hidden
// visibility; each public header opens and closes a region of default
// visibility with these two macros. Only ELF objects know visibility (a
// Windows build exports through its own means).
#pragma once

#if defined(__ELF__)
#define TARNWICK_PUBLIC_BEGIN _Pragma("GCC visibility push(default)")
#define TARNWICK_PUBLIC_END _Pragma("GCC visibility pop")
#else
#define TARNWICK_PUBLIC_BEGIN
#define TARNWICK_PUBLIC_END
#endif
