// XCB's XKB header for C++: it names a field "explicit", a C++ keyword.
#pragma once

#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
