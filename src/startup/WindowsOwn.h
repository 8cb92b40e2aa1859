#pragma once
// Windows' own start-up entries: those whose program lies directly in the
// system folder (System32, and SysWOW64 on 64-bit Windows) or in the Windows
// folder itself, and which run nothing from anywhere else. "Power Bootup"
// leaves them where they are: stopping them can leave the computer less
// protected (the security notification icon) or without its input methods.
#include <string>

#include "registry/exact.h"

// The program an entry starts, as Windows would find it, when the entry is
// Windows' own; otherwise "". Only text is a command line: REG_EXPAND_SZ has
// its environment strings expanded first. A host program (rundll32, cmd,
// powershell and the like) counts by what it runs: every argument that is not
// a switch must be a file directly in those folders, and an address never is.
std::wstring WindowsOwnProgram(const mGeneral::ExactValue& value);
