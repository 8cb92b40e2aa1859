#pragma once
// The start-up keys as the switch sees them: every place Windows starts
// programs from, each with its registry view.
#include <windows.h>

#include <vector>

namespace support {

constexpr wchar_t kRun[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kParked[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunDisabled";

struct Place {
    HKEY root;
    REGSAM view;
};

// HKEY_LOCAL_MACHINE in both views on 64-bit Windows, then HKEY_CURRENT_USER.
inline std::vector<Place> Places() {
    BOOL wow64 = FALSE;
#ifdef _WIN64
    wow64 = TRUE;
#else
    IsWow64Process(GetCurrentProcess(), &wow64);
#endif
    if (wow64)
        return {{HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY},
                {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY},
                {HKEY_CURRENT_USER, 0}};
    return {{HKEY_LOCAL_MACHINE, 0}, {HKEY_CURRENT_USER, 0}};
}

}  // namespace support
