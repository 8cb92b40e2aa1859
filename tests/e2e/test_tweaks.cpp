// The links and the clean-up tool, clicked on the real window.
#include <doctest/doctest.h>
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <string>

#include "e2e/driver.h"
#include "support/standins.h"
#include "support/trash.h"

using support::Narrow;

namespace {

std::wstring WindowsFolder() {
    wchar_t folder[MAX_PATH];
    GetWindowsDirectoryW(folder, MAX_PATH);
    return folder;
}

// Where the clean-up tool really lies for the program under test: the
// native system folder, which a 32-bit program on 64-bit Windows reaches
// through Sysnative.
std::wstring CleanupTool() {
    wchar_t folder[MAX_PATH];
    GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\cleanmgr.exe";
}

}  // namespace

TEST_CASE("each link opens its page of the maker's site with its window style") {
    struct {
        const wchar_t* control;
        const char* address;
        const char* show;
    } links[] = {
        {L"Help", "http://www.tavrel.example/info.htm", "2"},
        {L"Tavrel", "http://www.tavrel.example/info.htm", "2"},
        {L"SpyBot", "http://www.tavrel.example/info.htm", "2"},
        {L"Click here to refer a friend!", "http://www.tavrel.example/taf.htm", "2"},
        {L"Get More Features Now!", "http://www.tavrel.example/popup2.htm", "0"},
    };
    support::StandinLog log;  // before the start: the program hands it on
    e2e::Tavrel app;
    REQUIRE(app.Start());
    size_t count = 0;
    for (auto& link : links) {
        INFO("control: ", Narrow(link.control));
        REQUIRE(app.Click(link.control));
        auto entries = log.Wait(++count);
        REQUIRE(entries.size() == count);
        CHECK(Narrow(entries.back().program) == Narrow(WindowsFolder() + L"\\explorer.exe"));
        CHECK(Narrow(entries.back().commandLine) == std::string("explorer.exe ") + link.address);
        CHECK(Narrow(entries.back().show) == link.show);
    }
    CHECK(app.Close());
}

TEST_CASE("Clean Files starts the system's own tool minimised, whatever the current folder") {
    for (const wchar_t* current : {static_cast<const wchar_t*>(nullptr), L"Z:\\"}) {
        INFO("started in: ", current ? Narrow(current) : "its own folder");
        support::StandinLog log;
        e2e::Tavrel app;
        REQUIRE(app.Start(20000, true, current));
        REQUIRE(app.Click(L"Clean Files"));
        auto entries = log.Wait(1);
        REQUIRE(entries.size() == 1);
        CHECK(Narrow(entries[0].program) == Narrow(CleanupTool()));
        CHECK(Narrow(entries[0].commandLine) == "cleanmgr.exe");
        CHECK(Narrow(entries[0].show) == "2");
        CHECK(app.Close());
    }
}

TEST_CASE("without a clean-up tool the program says so and runs on") {
    std::wstring tool = CleanupTool(), aside = tool + L".aside";
    REQUIRE(MoveFileExW(tool.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING));
    e2e::Tavrel app;
    REQUIRE(app.Start());
    REQUIRE(app.Click(L"Clean Files"));
    HWND box = app.WaitForMessageBox(
        L"The disk clean-up tool could not be started. It may not be installed on this computer.");
    CHECK(box);
    if (box) e2e::Tavrel::Answer(box, IDOK);
    CHECK(app.Running());
    CHECK(app.Close());
    MoveFileExW(aside.c_str(), tool.c_str(), MOVEFILE_REPLACE_EXISTING);
}

TEST_CASE("Recycle asks the shell first, and declining keeps what is in the bin") {
    REQUIRE_FALSE(support::RecycleNewFile().empty());
    LONGLONG before = support::ItemsInBin();
    REQUIRE(before > 0);
    e2e::Tavrel app;
    REQUIRE(app.Start());
    REQUIRE(app.Click(L"Recycle"));
    HWND question = app.WaitForMessageBox(nullptr);
    REQUIRE(question);
    e2e::Tavrel::Answer(question, IDNO);
    CHECK(e2e::WaitUntil([&] { return !IsWindow(question); }, 5000));
    CHECK(support::ItemsInBin() == before);
    CHECK(app.Close());
}

// sndPlaySound succeeds under Wine even for a missing file, and the tests
// have no sound device: the file's last access shows that it was read.
namespace {

ULONGLONG LastAccess(const std::wstring& file) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (ULONGLONG{data.ftLastAccessTime.dwHighDateTime} << 32) |
           data.ftLastAccessTime.dwLowDateTime;
}

// Sets the last access back to 2001: with relatime, which the host keeps,
// the next read moves it on.
bool AgeAccess(const std::wstring& file) {
    HANDLE handle =
        CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    SYSTEMTIME then{2001, 1, 1, 1, 0, 0, 0, 0};
    FILETIME at;
    bool set = SystemTimeToFileTime(&then, &at) && SetFileTime(handle, nullptr, &at, nullptr);
    CloseHandle(handle);
    return set;
}

bool ReadsShow(const std::wstring& file) {
    if (!AgeAccess(file)) return false;
    ULONGLONG before = LastAccess(file);
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
    char byte;
    DWORD got = 0;
    if (handle != INVALID_HANDLE_VALUE) {
        ReadFile(handle, &byte, 1, &got, nullptr);
        CloseHandle(handle);
    }
    return got == 1 && LastAccess(file) != before;
}

}  // namespace

TEST_CASE("the cue is read from a folder whose name the ANSI code page cannot hold") {
    const std::wstring folder =
        L"C:\\tavrel-\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac-\u65e5\u672c\u8a9e";
    const wchar_t* const files[] = {L"Tavrel.exe", L"click.wav", L"fire.wav", L"longfire.wav"};
    CreateDirectoryW(folder.c_str(), nullptr);
    for (const wchar_t* name : files)
        REQUIRE(CopyFileW((e2e::DriverFolder() + L"\\" + name).c_str(),
                          (folder + L"\\" + name).c_str(), FALSE));
    const std::wstring click = folder + L"\\click.wav";
    if (!ReadsShow(click)) {
        MESSAGE("skipped: this file system keeps no access times, so a read cannot be seen");
    } else {
        REQUIRE(AgeAccess(click));
        ULONGLONG before = LastAccess(click);
        support::StandinLog log;
        e2e::Tavrel app;
        REQUIRE(app.Start(20000, true, nullptr, (folder + L"\\Tavrel.exe").c_str()));
        REQUIRE(app.Click(L"Help"));
        CHECK(e2e::WaitUntil([&] { return LastAccess(click) != before; }, 10000));
        CHECK(app.Close());
        log.Wait(2);  // the pages that Help and the close open
    }
    for (const wchar_t* name : files) DeleteFileW((folder + L"\\" + name).c_str());
    RemoveDirectoryW(folder.c_str());
}
