#pragma once
// Test keys come and go whole. RegDeleteTree is not on XP, so they go down
// one subkey at a time.
#include <windows.h>

#include <string>

namespace support {

// Deletes `path` below `parent` with everything under it, in the registry
// view given (0, KEY_WOW64_64KEY or KEY_WOW64_32KEY). False if it stays.
inline bool DeleteTree(HKEY parent, const std::wstring& path, REGSAM view = 0) {
    HKEY key;
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS)
        return false;
    wchar_t child[256];
    for (;;) {
        DWORD length = 256;
        if (RegEnumKeyExW(key, 0, child, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        if (!DeleteTree(key, child, view)) break;  // would enumerate the same child forever
    }
    RegCloseKey(key);
    // RegDeleteKey has no view of its own: delete through the parent opened in it.
    size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) return RegDeleteKeyW(parent, path.c_str()) == ERROR_SUCCESS;
    HKEY owner;
    if (RegOpenKeyExW(parent, path.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | view, &owner) !=
        ERROR_SUCCESS)
        return false;
    bool deleted = RegDeleteKeyW(owner, path.substr(slash + 1).c_str()) == ERROR_SUCCESS;
    RegCloseKey(owner);
    return deleted;
}

// Every record of changes: the user's, and those for all users.
inline void ClearHistory() {
    DeleteTree(HKEY_CURRENT_USER, L"Software\\Tavrel");
    DeleteTree(HKEY_LOCAL_MACHINE, L"Software\\Tavrel", KEY_WOW64_64KEY);
}

}  // namespace support
