// The installer's own step: runs the console companion given in
// CustomActionData with no window and no cmd, and writes every line it prints,
// and its exit code, into the installer's log, so that an administrator can
// read there what was brought back and what stayed parked. It never fails the
// uninstall: what it could not do is in the log.
#include <windows.h>
// msi.h and msiquery.h need windows.h first.
#include <msi.h>
#include <msiquery.h>

#include <string>

#include "base/text.h"
#include "packaging/literal.h"

namespace {

void Log(MSIHANDLE install, const std::wstring& text) {
    PMSIHANDLE record = MsiCreateRecord(0);
    MsiRecordSetStringW(record, 0, MsiLiteral(L"Tavrel: " + text).c_str());
    MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
}

std::wstring CommandLineToRun(MSIHANDLE install) {
    DWORD size = 0;
    wchar_t none[1] = L"";
    if (MsiGetPropertyW(install, L"CustomActionData", none, &size) != ERROR_MORE_DATA) return {};
    std::wstring line(++size, L'\0');
    if (MsiGetPropertyW(install, L"CustomActionData", &line[0], &size) != ERROR_SUCCESS) return {};
    line.resize(size);
    return line;
}

std::wstring Wide(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(n > 0 ? n : 0, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &text[0], n);
    return text;
}

// Whether this step runs as the system account, as it does for the user's
// pass too when a deployment tool uninstalls: that account's own start-up
// entries are nobody's.
bool RunsAsSystem() {
    HANDLE token;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) &&
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    union {
        TOKEN_USER user;
        BYTE bytes[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
    } buffer;
    DWORD size = 0;
    BOOL system = FALSE;
    if (GetTokenInformation(token, TokenUser, &buffer, sizeof buffer, &size)) {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        PSID local;
        if (AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0,
                                     &local)) {
            system = EqualSid(buffer.user.User.Sid, local);
            FreeSid(local);
        }
    }
    CloseHandle(token);
    return system;
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall RunCompanion(MSIHANDLE install);

// The uninstalling user's pass: as that user, the companion brings back their
// own entries. As the system account there is no such user to act for.
extern "C" __declspec(dllexport) UINT __stdcall RunCompanionForUser(MSIHANDLE install) {
    if (!RunsAsSystem()) return RunCompanion(install);
    Log(install,
        L"the uninstall runs as the system account, so no user's own parked start-up entries "
        L"could be brought back; those for all users were. Each user brings theirs back with "
        L"Tavrel's \"Normal Bootup\" before the uninstall, or afterwards with "
        L"\"tavrelc.exe /NormalBootup /NoRestart\" from the portable zip.");
    return ERROR_SUCCESS;
}

extern "C" __declspec(dllexport) UINT __stdcall RunCompanion(MSIHANDLE install) {
    std::wstring line = CommandLineToRun(install);
    if (line.empty()) {
        Log(install, L"no command line was given; nothing was run.");
        return ERROR_SUCCESS;
    }
    Log(install, L"running " + line);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        Log(install, L"could not make a pipe for its output; nothing was run.");
        return ERROR_SUCCESS;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    si.hStdOutput = si.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                        nullptr, nullptr, &si, &process);
    const DWORD why = GetLastError();
    CloseHandle(writeEnd);  // the pipe ends when the companion does
    if (!started) {
        CloseHandle(readEnd);
        Log(install, L"could not be started (error " + base::Decimal(why) + L").");
        return ERROR_SUCCESS;
    }
    std::string output;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got) output.append(chunk, got);
    CloseHandle(readEnd);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);

    std::wstring text = Wide(output);
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find(L'\n', at);
        if (end == std::wstring::npos) end = text.size();
        std::wstring one = text.substr(at, end - at);
        if (!one.empty() && one.back() == L'\r') one.pop_back();
        if (!one.empty()) Log(install, one);
        at = end + 1;
    }
    Log(install, L"exit code " + base::Decimal(code));
    return ERROR_SUCCESS;
}

// Last, after the passes above, which may record their own: the records of
// changes for all users go with the program. Each user's own stay in their
// profile, where the uninstall cannot reach them all.
extern "C" __declspec(dllexport) UINT __stdcall RemoveMachineRecords(MSIHANDLE install) {
    constexpr REGSAM kView = KEY_WOW64_64KEY;  // where both builds keep them; ignored on 32-bit
    HKEY tavrel, history;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Tavrel", 0, KEY_READ | DELETE | kView,
                      &tavrel) != ERROR_SUCCESS)
        return ERROR_SUCCESS;
    unsigned removed = 0;
    if (RegOpenKeyExW(tavrel, L"History", 0, KEY_READ | DELETE | kView, &history) ==
        ERROR_SUCCESS) {
        wchar_t name[256];
        for (DWORD index = 0;;) {
            DWORD length = 256;
            if (RegEnumKeyExW(history, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            if (RegDeleteKeyW(history, name) == ERROR_SUCCESS)
                ++removed;
            else
                ++index;  // one that stays is passed over, not asked again
        }
        RegCloseKey(history);
        RegDeleteKeyW(tavrel, L"History");
    }
    // Its key, too, once nothing else is left in it.
    DWORD subkeys = 1, values = 1;
    RegQueryInfoKeyW(tavrel, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                     nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(tavrel);
    HKEY software;
    if (!subkeys && !values &&
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_READ | DELETE | kView, &software) ==
            ERROR_SUCCESS) {
        RegDeleteKeyW(software, L"Tavrel");
        RegCloseKey(software);
    }
    Log(install,
        L"records of changes for all users removed from HKEY_LOCAL_MACHINE\\Software"
        L"\\Tavrel\\History: " +
            base::Decimal(removed) + L".");
    return ERROR_SUCCESS;
}
