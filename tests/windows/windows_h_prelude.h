#pragma once

// The real <windows.h>, as the Win32 platform layer includes it, for the check that every core
// header compiles after it.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// The message table's formatting method keeps its fixed name.
#undef FormatMessage
