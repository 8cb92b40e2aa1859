#include "platform/platform.h"

// sddl.h needs windows.h first.
#include <sddl.h>

#include "base/handle.h"
#include "base/styles.h"

namespace platform {
namespace {

// A system library by its full path in the system folder: a file of the same
// name beside the program or in the current folder is never loaded.
HMODULE LoadSystemLibrary(const wchar_t* name) {
    return LoadLibraryW(SystemFolderPath(name).c_str());
}

class RealPlatform final : public Platform {
public:
    bool NotifyIcon(DWORD message, const NOTIFYICONDATAA& data) override {
        NOTIFYICONDATAA copy = data;
        return Shell_NotifyIconA(message, &copy) != FALSE;
    }

    bool ThemeLibraryAvailable() override {
        HMODULE theme = LoadSystemLibrary(L"uxtheme.dll");
        if (!theme) return false;
        FreeLibrary(theme);
        return true;
    }

    int ShowMessage(HWND owner, const std::wstring& text, const std::wstring& caption,
                    UINT style) override {
        base::VisualStyles styled;
        return MessageBoxW(owner, text.c_str(), caption.c_str(), style);
    }

    bool PlaySoundFile(const std::wstring& path, UINT flags) override {
        // The sound library is loaded at the first cue, not at start-up.
        using PlayProc = BOOL(WINAPI*)(LPCWSTR, UINT);
        static PlayProc play = [] {
            HMODULE sound = LoadSystemLibrary(L"winmm.dll");
            return sound ? reinterpret_cast<PlayProc>(
                               reinterpret_cast<void*>(GetProcAddress(sound, "sndPlaySoundW")))
                         : nullptr;
        }();
        return play && play(SoundFilePath(path).c_str(), flags) != FALSE;
    }

    bool SystemParameters(UINT action, UINT uiParam, UINT_PTR pvParam, UINT winIni) override {
        return SystemParametersInfoA(action, uiParam, reinterpret_cast<void*>(pvParam), winIni) !=
               FALSE;
    }

    HRESULT EnableTheming(BOOL enable) override {
        // Loaded when needed: a system without the theme library still runs.
        HMODULE theme = LoadSystemLibrary(L"uxtheme.dll");
        if (!theme) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
        using EnableProc = HRESULT(WINAPI*)(BOOL);
        auto enableTheming = reinterpret_cast<EnableProc>(
            reinterpret_cast<void*>(GetProcAddress(theme, "EnableTheming")));
        HRESULT result =
            enableTheming ? enableTheming(enable) : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
        FreeLibrary(theme);
        return result;
    }

    HRESULT EmptyRecycleBin(HWND owner, const char* drive, DWORD flags) override {
        base::VisualStyles styled;
        return SHEmptyRecycleBinA(owner, drive, flags);
    }

    bool AllowMessage(HWND window, UINT message) override {
        // Looked up: Windows 7 has the per-window call, Vista only the
        // process-wide one, XP neither.
        HMODULE user = GetModuleHandleW(L"user32.dll");
        using FilterEx = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
        using Filter = BOOL(WINAPI*)(UINT, DWORD);
        constexpr DWORD kAllow = 1;  // MSGFLT_ALLOW, and MSGFLT_ADD for the older call
        if (auto filterEx = reinterpret_cast<FilterEx>(
                reinterpret_cast<void*>(GetProcAddress(user, "ChangeWindowMessageFilterEx"))))
            return filterEx(window, message, kAllow, nullptr) != FALSE;
        if (auto filter = reinterpret_cast<Filter>(
                reinterpret_cast<void*>(GetProcAddress(user, "ChangeWindowMessageFilter"))))
            return filter(message, kAllow) != FALSE;
        return true;
    }

    bool StartCommand(const Command& command) override {
        std::wstring line = CommandLineOf(command);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = static_cast<WORD>(command.show);
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(command.program.c_str(), line.data(), nullptr, nullptr, FALSE, 0,
                            nullptr, nullptr, &si, &pi))
            return false;
        base::KernelHandle process(pi.hProcess), thread(pi.hThread);
        return true;
    }
};

RealPlatform realPlatform;
Platform* current = &realPlatform;

std::wstring FolderPath(UINT (*getFolder)(LPWSTR, UINT), const wchar_t* fileName) {
    wchar_t folder[MAX_PATH];
    UINT n = getFolder(folder, MAX_PATH);
    std::wstring path = (n > 0 && n < MAX_PATH) ? std::wstring(folder, n) : L"C:\\Windows";
    if (path.back() != L'\\') path += L'\\';
    return path + fileName;
}

UINT WindowsFolder(LPWSTR buffer, UINT size) { return GetWindowsDirectoryW(buffer, size); }
UINT SystemFolder(LPWSTR buffer, UINT size) { return GetSystemDirectoryW(buffer, size); }

}  // namespace

Platform& Current() { return *current; }

Platform* Install(Platform* replacement) {
    Platform* old = current;
    current = replacement ? replacement : &realPlatform;
    return old;
}

std::wstring WindowsFolderPath(const wchar_t* fileName) {
    return FolderPath(WindowsFolder, fileName);
}

std::wstring SystemFolderPath(const wchar_t* fileName) {
    return FolderPath(SystemFolder, fileName);
}

std::wstring SoundFilePath(const std::wstring& path) {
    // The multimedia file layer is documented to take names of fewer than 128
    // characters, and Wine's mmioOpenW turns even a wide name into ANSI.
    BOOL lost = FALSE;
    int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path.c_str(), -1, nullptr, 0,
                                    nullptr, &lost);
    if (!lost && bytes > 0 && bytes <= OFS_MAXPATHNAME) return path;
    // Beyond MAX_PATH, Windows finds the short form only through \\?\.
    const std::wstring prefix = L"\\\\?\\";
    bool prefixed = path.size() >= MAX_PATH && path.compare(0, 2, L"\\\\") != 0;
    std::wstring asked = prefixed ? prefix + path : path;
    std::wstring shortPath(asked.size() + 1, L'\0');
    DWORD n =
        GetShortPathNameW(asked.c_str(), shortPath.data(), static_cast<DWORD>(shortPath.size()));
    if (n == 0 || n >= shortPath.size()) return path;
    shortPath.resize(n);
    return prefixed && shortPath.compare(0, prefix.size(), prefix) == 0
               ? shortPath.substr(prefix.size())
               : shortPath;
}

bool Is64BitWindows() {
#ifdef _WIN64
    return true;
#else
    // IsWow64Process is missing before XP SP2; without it Windows is 32-bit.
    using IsWow64Proc = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto isWow64 = reinterpret_cast<IsWow64Proc>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process")));
    BOOL wow64 = FALSE;
    return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64;
#endif
}

bool ThemeActive() {
    HMODULE theme = LoadSystemLibrary(L"uxtheme.dll");
    if (!theme) return false;
    using ActiveProc = BOOL(WINAPI*)();
    auto active = reinterpret_cast<ActiveProc>(
        reinterpret_cast<void*>(GetProcAddress(theme, "IsThemeActive")));
    bool on = active && active();
    FreeLibrary(theme);
    return on;
}

std::wstring CommandLineOf(const Command& command) {
    // The program itself comes from its full path (lpApplicationName); the
    // command line names it as a user would type it.
    std::wstring name = command.program.substr(command.program.find_last_of(L"\\/") + 1);
    if (name.find(L' ') != std::wstring::npos) name = L"\"" + name + L"\"";
    return command.arguments.empty() ? name : name + L" " + command.arguments;
}

bool IsAdministrator() {
    alignas(8) BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    BOOL member = FALSE;
    return CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size) &&
           CheckTokenMembership(nullptr, sid, &member) && member;
}

SecurityAttributes::SecurityAttributes(const wchar_t* sddl) {
    ConvertStringSecurityDescriptorToSecurityDescriptorW(
        sddl, SDDL_REVISION_1, &attributes_.lpSecurityDescriptor, nullptr);
}

SecurityAttributes::~SecurityAttributes() { LocalFree(attributes_.lpSecurityDescriptor); }

bool OnlyAdministratorsWrite(PSECURITY_DESCRIPTOR descriptor, ACCESS_MASK writes,
                             PSID alsoTrusted) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    auto trusted = [alsoTrusted](PSID sid) {
        return IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
               IsWellKnownSid(sid, WinLocalSystemSid) ||
               (alsoTrusted && EqualSid(sid, alsoTrusted));
    };
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !owner || !trusted(owner) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl)
        return false;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* ace = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace))) return false;
        if (ace->AceType == ACCESS_DENIED_ACE_TYPE || (ace->AceFlags & INHERIT_ONLY_ACE)) continue;
        // Any other kind of entry that grants is trusted to nobody.
        auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE ||
            ((allowed->Mask & writes) && !trusted(&allowed->SidStart)))
            return false;
    }
    return true;
}

}  // namespace platform
