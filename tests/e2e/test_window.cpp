#include <doctest/doctest.h>

#include "e2e/driver.h"
#include "support/standins.h"

using support::Narrow;

TEST_CASE("Tavrel opens its window at the design client size") {
    support::StandinLog log;
    e2e::Tavrel app;
    REQUIRE(app.Start());
    RECT client;
    GetClientRect(app.Window(), &client);
    // 5940 x 7605 twips at the 96 dots per inch the test prefix runs at.
    CHECK(client.right == 396);
    CHECK(client.bottom == 507);
    CHECK(GetMenu(app.Window()) == nullptr);
    CHECK(log.Read().empty());
    CHECK(app.Close());
}

TEST_CASE("closing the window opens the maker's page minimised and ends the program") {
    support::StandinLog log;
    e2e::Tavrel app;
    REQUIRE(app.Start());
    REQUIRE(app.Close());
    auto entries = log.Wait(1);
    REQUIRE(entries.size() == 1);
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    CHECK(Narrow(entries[0].program) == Narrow(std::wstring(windows) + L"\\explorer.exe"));
    CHECK(Narrow(entries[0].commandLine).find(" http://www.tavrel.example/popup2.htm") !=
          std::string::npos);
    CHECK(Narrow(entries[0].show) == "2");
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
