// <windows.h> for the platform's Win32 sources. The SDK's macros of the same names as the
// device interface's constants and functions (RGB, TRANSPARENT, TA_LEFT, WHITE_BRUSH,
// TextOut …) are removed, so that platform/device.h can be included before or after it;
// the values of the interface's constants are those of GDI.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// Printers: not in the lean <windows.h>.
#include <winspool.h>

#undef RGB
#undef GetRValue
#undef GetGValue
#undef GetBValue
#undef TRANSPARENT
#undef OPAQUE
#undef TA_LEFT
#undef TA_TOP
#undef TA_RIGHT
#undef TA_CENTER
#undef TA_BOTTOM
#undef TA_BASELINE
#undef WHITE_BRUSH
#undef LTGRAY_BRUSH
#undef GRAY_BRUSH
#undef DKGRAY_BRUSH
#undef BLACK_BRUSH
#undef NULL_BRUSH
#undef WHITE_PEN
#undef BLACK_PEN
#undef NULL_PEN
#undef SYSTEM_FONT
#undef DEFAULT_GUI_FONT
#undef TextOut
#undef CreateFont
#undef DrawText
#undef LoadImage
#undef GetObject
