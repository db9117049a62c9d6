#pragma once

// <windows.h> without the macros that rename the shell's own CreateWindow
// and SendMessage: the Win32 calls are named with their W suffix.
#include <windows.h>
#include <mmsystem.h>

#undef CreateWindow
#undef SendMessage
