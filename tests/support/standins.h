#pragma once
// Reads what the sandbox's stand-in programs recorded. Each test gets its own
// log file, named to its child processes through TAVREL_STANDIN_LOG.
#include <windows.h>

#include <string>
#include <vector>

namespace support {

struct StandinEntry {
    std::wstring program;      // the stand-in's own path
    std::wstring commandLine;  // as GetCommandLineW gave it
    std::wstring show;         // STARTUPINFO.wShowWindow, or "none"
};

class StandinLog {
public:
    StandinLog() {
        wchar_t folder[MAX_PATH], file[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        GetTempFileNameW(folder, L"sti", 0, file);
        path_ = file;
        DeleteFileW(path_.c_str());
        SetEnvironmentVariableW(L"TAVREL_STANDIN_LOG", path_.c_str());
    }
    ~StandinLog() {
        SetEnvironmentVariableW(L"TAVREL_STANDIN_LOG", nullptr);
        DeleteFileW(path_.c_str());
    }
    StandinLog(const StandinLog&) = delete;
    StandinLog& operator=(const StandinLog&) = delete;

    std::vector<StandinEntry> Read() const {
        std::vector<StandinEntry> entries;
        HANDLE file = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return entries;
        std::string bytes;
        char chunk[4096];
        DWORD got = 0;
        while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got) bytes.append(chunk, got);
        CloseHandle(file);
        size_t start = 0;
        for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
            std::wstring line = Wide(bytes.substr(start, end - start));
            size_t tab1 = line.find(L'\t'), tab2 = line.rfind(L'\t');
            if (tab1 == std::wstring::npos || tab1 == tab2) continue;
            entries.push_back({line.substr(0, tab1), line.substr(tab1 + 1, tab2 - tab1 - 1),
                               line.substr(tab2 + 1)});
        }
        return entries;
    }

    // Waits until at least `count` entries are there (stand-ins run apart from us).
    std::vector<StandinEntry> Wait(size_t count, DWORD timeoutMs = 10000) const {
        DWORD start = GetTickCount();
        for (;;) {
            auto entries = Read();
            if (entries.size() >= count || GetTickCount() - start > timeoutMs) return entries;
            Sleep(20);
        }
    }

private:
    static std::wstring Wide(const std::string& utf8) {
        int n =
            MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
        std::wstring out(n > 0 ? n : 0, L'\0');
        if (n > 0)
            MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(),
                                n);
        return out;
    }

    std::wstring path_;
};

// doctest prints wide strings poorly; assertions compare these instead.
inline std::string Narrow(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n,
                            nullptr, nullptr);
    return out;
}

}  // namespace support
