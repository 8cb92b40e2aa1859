#include <doctest/doctest.h>

#include <algorithm>

#include "platform/platform.h"
#include "support/recorder.h"
#include "support/standins.h"
#include "toolkit/form.h"

using support::Narrow;

TEST_CASE("system program paths are absolute paths into the Windows folders") {
    wchar_t windows[MAX_PATH], system[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    GetSystemDirectoryW(system, MAX_PATH);
    CHECK(Narrow(platform::WindowsFolderPath(L"explorer.exe")) ==
          Narrow(std::wstring(windows) + L"\\explorer.exe"));
    CHECK(Narrow(platform::SystemFolderPath(L"shutdown.exe")) ==
          Narrow(std::wstring(system) + L"\\shutdown.exe"));
}

TEST_CASE("the command line names the program as typed, then the arguments as given") {
    CHECK(Narrow(platform::CommandLineOf({L"C:\\WINDOWS\\explorer.exe", L"http://a/b", SW_SHOW})) ==
          "explorer.exe http://a/b");
    CHECK(Narrow(platform::CommandLineOf({L"C:\\x\\my tool.exe", L"-r", SW_SHOW})) ==
          "\"my tool.exe\" -r");
    CHECK(Narrow(platform::CommandLineOf({L"C:\\x.exe", L"", SW_SHOW})) == "x.exe");
}

TEST_CASE("a recorder takes the calls while installed and gives them back after") {
    platform::Platform* real = &platform::Current();
    {
        platform::Recorder recorder;
        CHECK(&platform::Current() == &recorder);
        recorder.startResult = false;
        CHECK_FALSE(platform::Current().StartCommand({L"C:\\a.exe", L"b", SW_HIDE}));
        REQUIRE(recorder.calls.size() == 1);
        CHECK(Narrow(recorder.calls[0]) == "StartCommand C:\\a.exe|b|0");
    }
    CHECK(&platform::Current() == real);
}

TEST_CASE("the real command start runs the program with its arguments and window style") {
    support::StandinLog log;
    std::wstring standin = tk::ProgramFolder() + L"\\standin.exe";
    REQUIRE(platform::Current().StartCommand({standin, L"-r -t 0", SW_SHOWMINIMIZED}));
    auto entries = log.Wait(1);
    REQUIRE(entries.size() == 1);
    CHECK(Narrow(entries[0].program) == Narrow(standin));
    CHECK(Narrow(entries[0].commandLine) == "standin.exe -r -t 0");
    CHECK(Narrow(entries[0].show) == "2");
}

TEST_CASE("the real command start reports a program that is not there") {
    CHECK_FALSE(platform::Current().StartCommand(
        {tk::ProgramFolder() + L"\\no-such-program.exe", L"", SW_SHOW}));
}

namespace {

// Makes the file and the folders above it; false if any step fails.
bool MakeFile(const std::wstring& path) {
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        if (!CreateDirectoryW(path.substr(0, at).c_str(), nullptr) &&
            GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

bool SameFile(const std::wstring& a, const std::wstring& b) {
    BY_HANDLE_FILE_INFORMATION info[2]{};
    const std::wstring* paths[] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        HANDLE file = CreateFileW(paths[i]->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        GetFileInformationByHandle(file, &info[i]);
        CloseHandle(file);
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
           info[0].nFileIndexLow == info[1].nFileIndexLow;
}

}  // namespace

TEST_CASE("a sound file the multimedia layer cannot open by its path is named by its short form") {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring base = std::wstring(temp) + L"tavrel-sounds";
    const std::wstring wide =
        base + L"\\\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac \u65e5\u672c";
    const std::wstring longer = base + L"\\" + std::wstring(150, L'l');
    const std::wstring deepest = longer + L"\\" + std::wstring(150, L'd');
    const struct {
        const char* what;
        std::wstring path;
        bool asGiven;
    } cases[] = {
        {"a short ASCII path", base + L"\\click.wav", true},
        {"letters outside the ANSI code page", wide + L"\\click.wav", false},
        {"128 characters or more", longer + L"\\click.wav", false},
        {"beyond MAX_PATH", deepest + L"\\click.wav", false},
    };
    for (const auto& c : cases) {
        INFO(std::string(c.what), ": ", Narrow(c.path));
        REQUIRE(MakeFile(c.path));
        std::wstring named = platform::SoundFilePath(c.path);
        INFO("named: ", Narrow(named));
        if (c.asGiven) {
            CHECK(named == c.path);
            continue;
        }
        CHECK(named.size() < 128);
        CHECK(std::all_of(named.begin(), named.end(), [](wchar_t ch) { return ch < 0x80; }));
        CHECK(SameFile(named, c.path));
    }
    // A drive's root keeps its two backslashes.
    CHECK(Narrow(platform::SoundFilePath(L"C:\\\\click.wav")) == "C:\\\\click.wav");
    for (const auto& c : cases) DeleteFileW(c.path.c_str());
    for (const std::wstring& folder : {deepest, longer, wide, base})
        RemoveDirectoryW(folder.c_str());
}
