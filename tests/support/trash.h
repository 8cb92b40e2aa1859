#pragma once
// The sandbox's recycle bin, which under Wine is the Trash below XDG_DATA_HOME.
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <string>

namespace support {

// Makes a new temporary file and deletes it into the recycle bin; returns its
// file name, or an empty text when the shell refused.
inline std::wstring RecycleNewFile() {
    wchar_t folder[MAX_PATH], file[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"bin", 0, file);
    std::wstring from = std::wstring(file) + L'\0';  // the list ends with two NULs
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    if (SHFileOperationW(&op) != 0) return L"";
    std::wstring path(file);
    return path.substr(path.find_last_of(L'\\') + 1);
}

inline LONGLONG ItemsInBin() {
    SHQUERYRBINFO info{};
    info.cbSize = sizeof info;
    SHQueryRecycleBinW(nullptr, &info);
    return info.i64NumItems;
}

}  // namespace support
