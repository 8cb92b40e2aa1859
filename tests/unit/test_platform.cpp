#include <doctest/doctest.h>

#include "platform/platform.h"
#include "platform/recorder.h"
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
