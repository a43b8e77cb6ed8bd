// Style bits of dialog templates and their controls: the platform's own on
// Windows, copies with its values elsewhere.
#pragma once

#include <cstdint>

#include "half_handles.h"

#if !defined(_WIN32)

using DWORD = std::uint32_t;

// Windows.
constexpr DWORD WS_POPUP = 0x80000000u;
constexpr DWORD WS_CHILD = 0x40000000u;
constexpr DWORD WS_VISIBLE = 0x10000000u;
constexpr DWORD WS_CAPTION = 0x00C00000u;
constexpr DWORD WS_BORDER = 0x00800000u;
constexpr DWORD WS_VSCROLL = 0x00200000u;
constexpr DWORD WS_SYSMENU = 0x00080000u;
constexpr DWORD WS_THICKFRAME = 0x00040000u;
constexpr DWORD WS_GROUP = 0x00020000u;
constexpr DWORD WS_TABSTOP = 0x00010000u;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000u;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000u;
constexpr DWORD WS_EX_APPWINDOW = 0x00040000u;

// Dialogs.
constexpr DWORD DS_SETFONT = 0x0040u;
constexpr DWORD DS_MODALFRAME = 0x0080u;

// Buttons.
constexpr DWORD BS_PUSHBUTTON = 0x0000u;
constexpr DWORD BS_DEFPUSHBUTTON = 0x0001u;
constexpr DWORD BS_GROUPBOX = 0x0007u;
constexpr DWORD BS_AUTORADIOBUTTON = 0x0009u;
constexpr DWORD BS_TYPEMASK = 0x000Fu;

// Statics.
constexpr DWORD SS_LEFT = 0x0000u;
constexpr DWORD SS_ICON = 0x0003u;
constexpr DWORD SS_BITMAP = 0x000Eu;
constexpr DWORD SS_TYPEMASK = 0x001Fu;
constexpr DWORD SS_NOPREFIX = 0x0080u;
constexpr DWORD SS_CENTERIMAGE = 0x0200u;

// Edits.
constexpr DWORD ES_AUTOHSCROLL = 0x0080u;
constexpr DWORD ES_OEMCONVERT = 0x0400u;

// Combo boxes.
constexpr DWORD CBS_DROPDOWNLIST = 0x0003u;
constexpr DWORD CBS_DISABLENOSCROLL = 0x0800u;

#endif
