#pragma once
// Folders of the tests' items, read whole and removed whole: what a move must
// keep of each item is its name, bytes, attributes and times.
#include <windows.h>
// objbase.h before shlobj.h.
#include <objbase.h>
#include <shlobj.h>

#include <cwchar>
#include <map>
#include <string>
#include <vector>

namespace support {

// `path` at any length.
inline std::wstring LongPath(const std::wstring& path) { return L"\\\\?\\" + path; }

// Calls `each` with every item of `folder` but "." and "..".
template <typename Each>
void ForEachItem(const std::wstring& folder, Each each) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(LongPath(folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do
        if (std::wcscmp(found.cFileName, L".") && std::wcscmp(found.cFileName, L"..")) each(found);
    while (FindNextFileW(find, &found));
    FindClose(find);
}

// Each item by its path below the folder read: its attributes (masked),
// creation and write times, then a file's bytes.
using Tree = std::map<std::wstring, std::string>;
constexpr size_t kItemHeader = sizeof(DWORD) + 2 * sizeof(FILETIME);

inline Tree ReadTree(const std::wstring& folder, DWORD attributes = ~0u,
                     const std::wstring& below = L"") {
    Tree tree;
    ForEachItem(folder, [&](WIN32_FIND_DATAW& found) {
        const std::wstring name = below + found.cFileName, path = folder + L"\\" + found.cFileName;
        std::string& item = tree[name];
        found.dwFileAttributes &= attributes;
        item.append(reinterpret_cast<const char*>(&found.dwFileAttributes), sizeof(DWORD))
            .append(reinterpret_cast<const char*>(&found.ftCreationTime), sizeof(FILETIME))
            .append(reinterpret_cast<const char*>(&found.ftLastWriteTime), sizeof(FILETIME));
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            for (auto& inner : ReadTree(path, attributes, name + L"\\")) tree.insert(inner);
            return;
        }
        HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        char buffer[65536];
        DWORD read = 0;
        while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read)
            item.append(buffer, read);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    });
    return tree;
}

// Removes a file, or a folder and everything in it, read-only items too.
inline void RemoveTree(const std::wstring& path) {
    ForEachItem(path, [&](WIN32_FIND_DATAW& found) { RemoveTree(path + L"\\" + found.cFileName); });
    SetFileAttributesW(LongPath(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!RemoveDirectoryW(LongPath(path).c_str())) DeleteFileW(LongPath(path).c_str());
}

// A file of these bytes, or a folder where `bytes` is null, with the
// attributes and a time of its own. A folder is stamped last, once its items
// are in it.
inline bool MakeItem(const std::wstring& path, const std::string* bytes, DWORD attributes,
                     DWORD time) {
    const std::wstring at = LongPath(path);
    if (!bytes) CreateDirectoryW(at.c_str(), nullptr);  // or stamps one made earlier
    HANDLE file = CreateFileW(at.c_str(), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, 0, nullptr,
                              bytes ? CREATE_ALWAYS : OPEN_EXISTING,
                              bytes ? 0 : FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    DWORD written = 0;
    FILETIME stamp{time, 0x01D00000};
    const bool made =
        (!bytes || (WriteFile(file, bytes->data(), DWORD(bytes->size()), &written, nullptr) &&
                    written == bytes->size())) &&
        SetFileTime(file, &stamp, &stamp, &stamp);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return made && SetFileAttributesW(at.c_str(), attributes);
}

// A shortcut that starts `target` with `arguments`.
inline bool MakeShortcut(const std::wstring& path, const wchar_t* target,
                         const wchar_t* arguments) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* link = nullptr;
    IPersistFile* persist = nullptr;
    bool saved =
        SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->SetPath(target)) && SUCCEEDED(link->SetArguments(arguments)) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
        SUCCEEDED(persist->Save(path.c_str(), TRUE));
    if (persist) persist->Release();
    if (link) link->Release();
    if (SUCCEEDED(com)) CoUninitialize();
    return saved;
}

// Both Startup folders, and where Tavrel parks their items.
struct FolderPair {
    std::wstring live, parked;
};

inline std::vector<FolderPair> StartupFolderPairs() {
    auto path = [](int csidl) {
        wchar_t found[MAX_PATH] = L"";
        SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, found);
        return std::wstring(found);
    };
    return {
        {path(CSIDL_STARTUP), path(CSIDL_APPDATA) + L"\\Tavrel\\StartupDisabled"},
        {path(CSIDL_COMMON_STARTUP), path(CSIDL_COMMON_APPDATA) + L"\\Tavrel\\StartupDisabled"}};
}

// Whether `folder`'s file system keeps DOS attributes beyond read-only.
inline bool KeepsAttributes(const std::wstring& folder) {
    const std::wstring probe = folder + L"\\tavrel-attribute-probe";
    std::string none;
    const bool kept = MakeItem(probe, &none, FILE_ATTRIBUTE_SYSTEM, 1) &&
                      (GetFileAttributesW(probe.c_str()) & FILE_ATTRIBUTE_SYSTEM);
    RemoveTree(probe);
    return kept;
}

}  // namespace support
