// XCB's XKB header for C++: it names a field "explicit", a C++ keyword, which is renamed while the
// header is read (clang warns about a macro that hides a keyword; this one is deliberate).
#pragma once

#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wkeyword-macro"
#endif
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
