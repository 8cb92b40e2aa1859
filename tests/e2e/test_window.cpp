#include <doctest/doctest.h>

#include "e2e/driver.h"
#include "support/standins.h"

using support::Narrow;

namespace {

// The maker's page, opened by the Windows folder's own explorer.exe.
void CheckPopupPageOpened(const support::StandinLog& log) {
    auto entries = log.Wait(1);
    REQUIRE(entries.size() == 1);
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    CHECK(Narrow(entries[0].program) == Narrow(std::wstring(windows) + L"\\explorer.exe"));
    CHECK(Narrow(entries[0].commandLine) == "explorer.exe http://www.tavrel.example/popup2.htm");
    CHECK(Narrow(entries[0].show) == "2");
}

}  // namespace

TEST_CASE("starting opens nothing; closing opens the maker's page and takes the icon away") {
    support::StandinLog log;
    e2e::Tavrel app;
    REQUIRE(app.Start());
    CHECK(log.Read().empty());
    CHECK(app.TrayIconPresent());
    REQUIRE(app.Close());
    CheckPopupPageOpened(log);
    CHECK_FALSE(app.TrayIconPresent());
}

TEST_CASE("without the theme library: the message over the finished window, then unload") {
    support::StandinLog log;
    e2e::DotsPerInch dpi(120);  // so that the scaling before the message shows
    e2e::DllOverride noThemes(L"uxtheme", L"disabled");
    e2e::Tavrel app;
    // Wine's common controls then fail to paint, and the program never
    // reports itself idle: wait for the message instead.
    REQUIRE(app.Start(20000, false));
    HWND box = app.WaitForMessageBox(L"Theme support error.");
    REQUIRE(box);
    wchar_t caption[64] = L"";
    GetWindowTextW(box, caption, 64);
    CHECK(Narrow(caption) == "Tavrel");
    CHECK(IsWindowVisible(app.Window()));
    CHECK(app.TrayIconPresent());
    RECT bandwidth = app.ClientRectOf(app.Control(L"Bandwidth"));
    CHECK(bandwidth.left == 192);  // 240 before the scaling at 120 dpi
    CHECK(log.Read().empty());

    e2e::Tavrel::Answer(box, IDOK);
    CHECK(app.WaitForExit(10000));
    CheckPopupPageOpened(log);
    CHECK_FALSE(app.TrayIconPresent());
}

TEST_CASE("the driver reads registry values back whole, names outside the code page included") {
    const std::wstring path = L"Software\\TavrelDriverCheck";
    const std::wstring name = L"Grüße \u65E5\u672C \u0416";
    const BYTE data[] = {0x61, 0x00, 0x62, 0x00, 0xFF, 0x00};
    HKEY key;
    REQUIRE(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr) == ERROR_SUCCESS);
    REQUIRE(RegSetValueExW(key, name.c_str(), 0, REG_BINARY, data, sizeof data) == ERROR_SUCCESS);
    RegCloseKey(key);

    auto value = e2e::ReadValue(HKEY_CURRENT_USER, path, name);
    CHECK(value.found);
    CHECK(value.type == REG_BINARY);
    CHECK(value.bytes == std::vector<BYTE>(data, data + sizeof data));
    auto names = e2e::ValueNames(HKEY_CURRENT_USER, path);
    REQUIRE(names.size() == 1);
    CHECK(Narrow(names[0]) == Narrow(name));
    CHECK_FALSE(e2e::ReadValue(HKEY_CURRENT_USER, path, L"absent").found);

    RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str());
}
