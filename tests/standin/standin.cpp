// Stands in for shutdown.exe, explorer.exe and cleanmgr.exe in the sandbox:
// appends one line "own path <TAB> command line <TAB> wShowWindow" to the log
// named by TAVREL_STANDIN_LOG (default C:\standins.log), in UTF-8, and exits.
#include <windows.h>

#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n,
                            nullptr, nullptr);
    return out;
}

std::wstring LogPath() {
    wchar_t path[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"TAVREL_STANDIN_LOG", path, MAX_PATH);
    return (n > 0 && n < MAX_PATH) ? std::wstring(path, n) : L"C:\\standins.log";
}

}  // namespace

int wmain() {
    wchar_t self[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    GetStartupInfoW(&si);
    std::wstring show =
        (si.dwFlags & STARTF_USESHOWWINDOW) ? std::to_wstring(si.wShowWindow) : L"none";
    std::string line =
        Utf8(std::wstring(self, n) + L"\t" + GetCommandLineW() + L"\t" + show) + "\r\n";

    // Several stand-ins may finish at once; wait out another writer's lock.
    for (int attempt = 0; attempt < 200; ++attempt) {
        HANDLE log = CreateFileW(LogPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (log != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            BOOL ok =
                WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
            CloseHandle(log);
            return ok && written == line.size() ? 0 : 2;
        }
        if (GetLastError() != ERROR_SHARING_VIOLATION) return 1;
        Sleep(10);
    }
    return 1;
}
