#pragma once
// Folders of the tests' items, read whole and removed whole: what a move must
// keep of each item is its name, bytes, attributes and times.
#include <windows.h>
// objbase.h before shlobj.h.
#include <objbase.h>
#include <shlobj.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace support {

// `path` at any length.
inline std::wstring LongPath(const std::wstring& path) { return L"\\\\?\\" + path; }

struct Item {
    DWORD attributes = 0;
    FILETIME created{}, written{};
    std::string bytes;  // a file's
    bool operator==(const Item& o) const {
        auto key = [](const Item& i) {
            return std::make_tuple(i.attributes, i.created.dwLowDateTime, i.created.dwHighDateTime,
                                   i.written.dwLowDateTime, i.written.dwHighDateTime, i.bytes);
        };
        return key(*this) == key(o);
    }
};
// Each item by its path below the folder read.
using Tree = std::map<std::wstring, Item>;

// Every item below `folder`, attributes masked by `attributes`; empty when
// there is no such folder.
inline Tree ReadTree(const std::wstring& folder, DWORD attributes = ~0u,
                     const std::wstring& below = L"") {
    Tree tree;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(LongPath(folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return tree;
    do {
        const std::wstring name = found.cFileName, path = folder + L"\\" + name;
        if (name == L"." || name == L"..") continue;
        Item& item = tree[below + name];
        item.attributes = found.dwFileAttributes & attributes;
        item.created = found.ftCreationTime;
        item.written = found.ftLastWriteTime;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            for (auto& inner : ReadTree(path, attributes, below + name + L"\\")) tree.insert(inner);
            continue;
        }
        HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        char buffer[65536];
        DWORD read = 0;
        while (file != INVALID_HANDLE_VALUE &&
               ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read)
            item.bytes.append(buffer, read);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return tree;
}

// Removes `folder` and everything in it, read-only items too; or a file.
inline void RemoveTree(const std::wstring& folder) {
    const DWORD attributes = GetFileAttributesW(LongPath(folder).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesW(LongPath(folder).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(LongPath(folder).c_str());
        return;
    }
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(LongPath(folder + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName, path = LongPath(folder + L"\\" + name);
            if (name == L"." || name == L"..") continue;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(folder + L"\\" + name);
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(LongPath(folder).c_str());
}

// A file of these bytes, or a folder where `bytes` is null, written then
// given the attributes and a time of its own. A folder is stamped last, once
// its items are in it.
inline bool MakeItem(const std::wstring& path, const std::string* bytes, DWORD attributes,
                     DWORD time) {
    const std::wstring at = LongPath(path);
    if (!bytes) CreateDirectoryW(at.c_str(), nullptr);  // or stamps one made earlier
    HANDLE file = CreateFileW(at.c_str(), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, 0, nullptr,
                              bytes ? CREATE_ALWAYS : OPEN_EXISTING,
                              bytes ? 0 : FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    FILETIME stamp{time, 0x01D00000};
    bool made = (!bytes || (WriteFile(file, bytes->data(), static_cast<DWORD>(bytes->size()),
                                      &written, nullptr) &&
                            written == bytes->size())) &&
                SetFileTime(file, &stamp, &stamp, &stamp);
    CloseHandle(file);
    return made && SetFileAttributesW(at.c_str(), attributes);
}

// A shortcut that starts `target` with `arguments`.
inline bool MakeShortcut(const std::wstring& path, const wchar_t* target,
                         const wchar_t* arguments) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* link = nullptr;
    IPersistFile* persist = nullptr;
    bool saved = false;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
        link->SetPath(target);
        link->SetArguments(arguments);
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
            saved = SUCCEEDED(persist->Save(path.c_str(), TRUE));
            persist->Release();
        }
        link->Release();
    }
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

// Whether the file system under the temporary folder keeps DOS attributes
// beyond read-only.
inline bool KeepsAttributes() {
    wchar_t folder[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, folder);
    if (!length || length >= MAX_PATH) return false;
    const std::wstring probe = std::wstring(folder) + L"tavrel-attribute-probe";
    std::string none;
    const bool kept = MakeItem(probe, &none, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, 1) &&
                      (GetFileAttributesW(probe.c_str()) & FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesW(probe.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(probe.c_str());
    return kept;
}

}  // namespace support
