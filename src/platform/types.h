// The framework's basic types and constants, as the library's signatures use them.
#pragma once

#include <cstdint>

struct HWND__;
using HWND = HWND__*;  // opaque window handle; see the window table
struct HKEY__;
using HKEY = HKEY__*;
struct HCURSOR__;
using HCURSOR = HCURSOR__*;
struct HBRUSH__;
using HBRUSH = HBRUSH__*;
struct HICON__;
using HICON = HICON__*;
struct HGDIOBJ__;
using HGDIOBJ = HGDIOBJ__*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
struct HMENU__;
using HMENU = HMENU__*;

using BOOL = int;
using BYTE = unsigned char;
using WORD = std::uint16_t;
using UINT = unsigned int;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using WPARAM = UINT_PTR;
using LPARAM = INT_PTR;
using LRESULT = INT_PTR;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using LPCTSTR = const char*;
using LPTSTR = char*;
using LPVOID = void*;

// The calling-convention marker of timer and window procedures; nothing on Linux.
#ifndef CALLBACK
#define CALLBACK
#endif

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
using LPRECT = RECT*;

// Constants, not macros, so that a program including these headers keeps its own TRUE and
// FALSE in its own scopes (an enumerator, a member). A program whose other headers made
// them macros already keeps those.
#ifndef TRUE
inline constexpr BOOL TRUE = 1;
#endif
#ifndef FALSE
inline constexpr BOOL FALSE = 0;
#endif

// The one registry root the library uses; its paths live in the settings store.
inline HKEY const HKEY_LOCAL_MACHINE =
    reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u));

inline constexpr DWORD INFINITE = 0xFFFFFFFFu;

// List positions are opaque; each container gives them its own meaning.
struct POSITION__;
using POSITION = POSITION__*;
