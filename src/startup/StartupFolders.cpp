#include "startup/StartupFolders.h"

// The shell folders and its shortcuts; objbase.h before shlobj.h.
#include <objbase.h>
#include <shlobj.h>
// The security of the parking folder for all users.
#include <aclapi.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "base/escape.h"
#include "base/handle.h"
#include "base/text.h"
#include "platform/platform.h"
#include "registry/exact.h"
#include "startup/WindowsOwn.h"

namespace {

constexpr wchar_t kParkedName[] = L"Tavrel\\StartupDisabled";

// The form of a path the wide file calls take at any length.
std::wstring Long(const std::wstring& path) {
    if (path.compare(0, 2, L"\\\\") != 0) return L"\\\\?\\" + path;
    if (path.compare(0, 4, L"\\\\?\\") == 0 || path.compare(0, 4, L"\\\\.\\") == 0) return path;
    return L"\\\\?\\UNC\\" + path.substr(2);
}

std::wstring Within(const std::wstring& folder, const std::wstring& name) {
    return folder + L"\\" + name;
}

// What an item is, as far as a move can leave it unchanged: the file itself
// (its index on the volume), its size and when it was last written. 0 when
// there is no such item.
uint64_t Fingerprint(const std::wstring& path) {
    base::KernelHandle file(
        CreateFileW(Long(path).c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE) {
        file.Release();
        return 0;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file.Get(), &info)) return 0;
    const DWORD id[] = {info.nFileIndexHigh,
                        info.nFileIndexLow,
                        info.nFileSizeHigh,
                        info.nFileSizeLow,
                        info.ftLastWriteTime.dwHighDateTime,
                        info.ftLastWriteTime.dwLowDateTime,
                        info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY};
    mGeneral::ExactValue value{L"", REG_BINARY, std::vector<BYTE>(sizeof id)};
    std::memcpy(value.data.data(), id, sizeof id);
    return mGeneral::ValueHash(value);
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(Long(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The account this program runs as.
struct Caller {
    alignas(8) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    PSID sid = nullptr;
    Caller() {
        HANDLE token = nullptr;
        DWORD size = 0;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
        if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size))
            sid = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
        CloseHandle(token);
    }
};

// What the parking folder for all users is created with: administrators and
// the system write, every user reads, as in the Startup folder itself.
constexpr wchar_t kAdministratorsOnly[] =
    L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";

// Whether the held folder for all users is one that only administrators, the
// system and this administrator could have written: owned by one of them,
// with no right to write granted to anyone else.
bool Trusted(HANDLE folder) {
    constexpr ACCESS_MASK kWrites = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_WRITE_EA |
                                    FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                    WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    if (GetSecurityInfo(folder, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                        &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    const Caller caller;
    const bool trusted = platform::OnlyAdministratorsWrite(descriptor, kWrites, caller.sid);
    LocalFree(descriptor);
    return trusted;
}

constexpr DWORD kUntrusted = ERROR_INVALID_OWNER;

// Opens a folder and holds it without sharing its deletion: nobody can
// rename or replace it, or the folders above it, while it is held. For all
// users it must be a folder, no link elsewhere, and trusted (kUntrusted
// otherwise).
DWORD Hold(const std::wstring& path, bool allUsers, base::KernelHandle& held) {
    held.Reset(CreateFileW(Long(path).c_str(), FILE_LIST_DIRECTORY | READ_CONTROL,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (held.Get() == INVALID_HANDLE_VALUE) {
        held.Release();
        const DWORD error = GetLastError();
        return error == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : error;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (allUsers && (!GetFileInformationByHandle(held.Get(), &info) ||
                     (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
                     !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !Trusted(held.Get())))
        return kUntrusted;
    return ERROR_SUCCESS;
}

// Opens the parking folder and Tavrel's folder above it, first creating them
// where `create` asks, and holds both while items move through them.
DWORD OpenParking(const StartupFolder& folder, bool create, base::KernelHandle (&held)[2]) {
    const bool allUsers = folder.place == kMachineFolder;
    const std::wstring above = folder.parked.substr(0, folder.parked.find_last_of(L'\\'));
    if (create) {
        platform::SecurityAttributes protect(kAdministratorsOnly);
        for (const std::wstring* path : {&above, &folder.parked})
            if (!CreateDirectoryW(Long(*path).c_str(), allUsers ? protect.Get() : nullptr) &&
                GetLastError() != ERROR_ALREADY_EXISTS)
                return GetLastError();
    }
    const DWORD status = Hold(above, allUsers, held[0]);
    return status == ERROR_SUCCESS ? Hold(folder.parked, allUsers, held[1]) : status;
}

}  // namespace

bool IsShortcut(const std::wstring& name) {
    return name.size() > 4 && lstrcmpiW(name.c_str() + name.size() - 4, L".lnk") == 0;
}

bool IsWindowsOwnItem(const std::wstring& path, const std::wstring& name) {
    std::wstring target, arguments;
    if (!IsShortcut(name) || !ReadShortcut(path, target, arguments) || target.empty()) return false;
    const std::wstring line =
        base::Cat({L"\"", target, L"\"", arguments.empty() ? L"" : L" ", arguments});
    const BYTE* bytes = reinterpret_cast<const BYTE*>(line.c_str());
    return !WindowsOwnProgram(
                {L"", REG_EXPAND_SZ,
                 std::vector<BYTE>(bytes, bytes + (line.size() + 1) * sizeof(wchar_t))})
                .empty();
}

namespace {

std::wstring FolderPath(int csidl) {
    wchar_t path[MAX_PATH];
    return SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))
               ? std::wstring(path)
               : std::wstring();
}

}  // namespace

std::vector<StartupFolder> StartupFolders() {
    std::vector<StartupFolder> folders;
    const struct {
        MovePlace place;
        int live, data;
    } kFolders[] = {{kUserFolder, CSIDL_STARTUP, CSIDL_APPDATA},
                    {kMachineFolder, CSIDL_COMMON_STARTUP, CSIDL_COMMON_APPDATA}};
    for (const auto& which : kFolders) {
        std::wstring live = FolderPath(which.live), data = FolderPath(which.data);
        if (!live.empty() && !data.empty())
            folders.push_back({which.place, live, Within(data, kParkedName)});
    }
    return folders;
}

bool ListItems(const std::wstring& folder, std::vector<std::wstring>& names) {
    WIN32_FIND_DATAW item;
    HANDLE find = FindFirstFileW(Long(Within(folder, L"*")).c_str(), &item);
    if (find == INVALID_HANDLE_VALUE) return false;
    do {
        const wchar_t* name = item.cFileName;
        // desktop.ini is the folder's own, not a program that starts.
        if (std::wcscmp(name, L".") && std::wcscmp(name, L"..") && lstrcmpiW(name, L"desktop.ini"))
            names.push_back(name);
    } while (FindNextFileW(find, &item));
    FindClose(find);
    return true;
}

bool ReadShortcut(const std::wstring& file, std::wstring& target, std::wstring& arguments) {
    // The shell's shortcuts want COM in this thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool read = false;
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* persist = nullptr;
        wchar_t path[MAX_PATH] = L"", line[1024] = L"";
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
            read = SUCCEEDED(persist->Load(file.c_str(), STGM_READ)) &&
                   SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH));
            if (read) link->GetArguments(line, 1024);
            persist->Release();
        }
        link->Release();
        target = path;
        arguments = line;
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return read;
}

void MoveFolderItems(const StartupFolder& folder, bool park, const MoveOptions& options,
                     MoveResult& result, const PlaceEntries* only) {
    const MovePlace place = folder.place;
    const std::wstring& from = park ? folder.live : folder.parked;
    const std::wstring& to = park ? folder.parked : folder.live;
    const bool checked = only && !only->hashes.empty();
    if (checked && only->hashes.size() != only->names.size()) return;
    auto keep = [&](const std::wstring& name, KeptReason reason) {
        result.Keep(place, reason);
        if (options.log) options.log->Kept(place, 0, name, reason);
    };
    auto keepAll = [&](const std::vector<std::wstring>& names, KeptReason reason) {
        for (size_t i = 0; i < names.size(); ++i)
            if (!checked || only->hashes[i]) keep(names[i], reason);
    };
    std::vector<std::wstring> listed;
    if (!only && !ListItems(from, listed)) {
        ++result.skipped;  // no such folder: nothing there to move
        return;
    }
    const std::vector<std::wstring>& names = only ? only->names : listed;
    auto moves = [](uint64_t hash) { return hash != 0; };
    if (checked ? std::none_of(only->hashes.begin(), only->hashes.end(), moves) : names.empty())
        return;
    // The folder for all users is an administrator's to change; anyone else
    // hears what stays there.
    if (place == kMachineFolder && !platform::IsAdministrator()) {
        keepAll(names, kNeedsAdministrator);
        return;
    }
    base::KernelHandle parking[2];
    const DWORD opened = OpenParking(folder, park && !options.dryRun, parking);
    if (opened == kUntrusted) {
        keepAll(names, kUntrustedFolder);
        result.untrustedFolder = folder.parked;
        return;
    }
    // A dry run shows a missing parking folder as one that would be made.
    if (opened != ERROR_SUCCESS && !(options.dryRun && park && opened == ERROR_FILE_NOT_FOUND)) {
        keepAll(names, opened == ERROR_FILE_NOT_FOUND ? kChangedSince
                       : opened == ERROR_ACCESS_DENIED && place == kMachineFolder
                           ? kNeedsAdministrator
                           : kNotMovable);
        return;
    }
    if (options.log && !options.log->Planned(place, 0, names)) {
        keepAll(names, kNotRecorded);
        return;
    }
    // Shortcuts are read to tell Windows' own.
    const HRESULT com = options.keepWindowsOwn && park && !only
                            ? CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)
                            : E_FAIL;
    // Where the other folder holds an item of that name, both stay.
    const KeptReason taken = park ? kAlreadyParked : kLiveItemThere;
    for (size_t i = 0; i < names.size(); ++i) {
        const std::wstring& name = names[i];
        if (checked && !only->hashes[i]) continue;  // it stayed where it was
        const std::wstring source = Within(from, name), target = Within(to, name);
        const uint64_t fingerprint = Fingerprint(source);
        if (!fingerprint || (checked && fingerprint != only->hashes[i])) {
            // Gone, or changed since it was moved, unless an earlier move back,
            // cut short, already put it in place; gone while listed, it is
            // nobody's to move.
            if (checked && Fingerprint(target) != only->hashes[i]) keep(name, kChangedSince);
            continue;
        }
        if (park && !only &&
            LeftAlone(options, place, 0, name,
                      options.keepWindowsOwn && IsWindowsOwnItem(source, name), result))
            continue;
        if (Exists(target)) {
            keep(name, taken);
            continue;
        }
        // One rename, never onto an item that is there: the system refuses
        // to replace without being asked, and to copy between volumes.
        if (!options.dryRun && !MoveFileExW(Long(source).c_str(), Long(target).c_str(), 0)) {
            const DWORD error = GetLastError();
            // Gone meanwhile, or a folder missing: the target's is not news of the item.
            keep(name, error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? taken
                       : error == ERROR_FILE_NOT_FOUND && !Exists(source) ? kChangedMeanwhile
                                                                          : kNotMovable);
            continue;
        }
        ++result.moved;
        if (options.log) options.log->Moved(i, name, fingerprint);
    }
    if (SUCCEEDED(com)) CoUninitialize();
}
