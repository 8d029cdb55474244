// Shared by the files of platform/win32: the system headers and the casts
// between our handle types and the system's.
#pragma once

// Our declarations come first: the system headers define many of the same
// names as macros, which must not reach platform.h.
#include "platform/platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <windows.h>

namespace plat::win {

template <typename To, typename From>
inline To As(From handle) {
    return reinterpret_cast<To>(handle);
}

inline ::HWND W(plat::HWND window) { return reinterpret_cast<::HWND>(window); }
inline plat::HWND P(::HWND window) { return reinterpret_cast<plat::HWND>(window); }
inline ::HDC D(plat::HDC dc) { return reinterpret_cast<::HDC>(dc); }
inline plat::HDC P(::HDC dc) { return reinterpret_cast<plat::HDC>(dc); }
inline ::HGDIOBJ G(plat::HGDIOBJ object) { return reinterpret_cast<::HGDIOBJ>(object); }
inline plat::HGDIOBJ PG(::HGDIOBJ object) { return reinterpret_cast<plat::HGDIOBJ>(object); }
inline ::HANDLE H(plat::HANDLE handle) { return reinterpret_cast<::HANDLE>(handle); }
inline plat::HANDLE PH(::HANDLE handle) { return reinterpret_cast<plat::HANDLE>(handle); }

}  // namespace plat::win
