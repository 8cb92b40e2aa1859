// "Power Bootup" and "Normal Bootup" from the tray menu, against the real Run
// keys of the sandbox prefix.
#include <doctest/doctest.h>

#include <map>
#include <string>
#include <vector>

#include "e2e/driver.h"
#include "support/runkeys.h"
#include "support/standins.h"

using support::Narrow;

namespace {

using support::kParked;
using support::kRun;
using support::Place;
using Snapshot = std::map<std::wstring, e2e::RegistryData>;

Snapshot Take(const Place& place, const wchar_t* path) {
    return e2e::ReadValues(place.root, path, place.view);
}

void Put(const Place& place, const std::wstring& name, DWORD type, const std::wstring& text) {
    HKEY key;
    REQUIRE(RegCreateKeyExW(place.root, kRun, 0, nullptr, 0, KEY_ALL_ACCESS | place.view, nullptr,
                            &key, nullptr) == ERROR_SUCCESS);
    RegSetValueExW(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void Remove(const Place& place, const wchar_t* path, const std::wstring& name) {
    HKEY key;
    if (RegOpenKeyExW(place.root, path, 0, KEY_SET_VALUE | place.view, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueW(key, name.c_str());
    RegCloseKey(key);
}

// Every entry of `expected` stands in `key` with the same type and bytes.
void CheckHolds(const Snapshot& key, const Snapshot& expected) {
    for (auto& [name, value] : expected) {
        INFO("entry ", Narrow(name));
        auto found = key.find(name);
        REQUIRE(found != key.end());
        CHECK(found->second.type == value.type);
        CHECK(found->second.bytes == value.bytes);
    }
}

bool RestartRecorded(const support::StandinLog& log) {
    auto entries = log.Wait(1);
    return entries.size() == 1 && Narrow(entries[0].commandLine) == "shutdown.exe -r -t 0" &&
           Narrow(entries[0].show) == "2";
}

}  // namespace

TEST_CASE("Power Bootup parks every start-up entry and restarts; Normal Bootup brings them back") {
    const std::vector<Place> places = support::Places();
    // Entries of the test's own, beside whatever the prefix holds already.
    for (size_t i = 0; i < places.size(); ++i) {
        Put(places[i], L"Tavrel check " + std::to_wstring(i), REG_SZ, L"C:\\check\\a.exe /q");
        Put(places[i], L"Tavrel check expand " + std::to_wstring(i), REG_EXPAND_SZ,
            L"%ProgramFiles%\\check\\b.exe");
    }
    std::vector<Snapshot> before, parkedBefore;
    for (const Place& place : places) {
        before.push_back(Take(place, kRun));
        parkedBefore.push_back(Take(place, kParked));
    }

    {
        support::StandinLog log;
        e2e::Tavrel app;
        REQUIRE(app.Start());
        REQUIRE(app.PickTrayMenuItem(2));  // Power Bootup
        CHECK(RestartRecorded(log));
        for (size_t i = 0; i < places.size(); ++i) {
            INFO("place ", i);
            CHECK(Take(places[i], kRun).empty());
            Snapshot parked = Take(places[i], kParked);
            CHECK(parked.size() == before[i].size() + parkedBefore[i].size());
            CheckHolds(parked, before[i]);
        }
        CHECK(app.Close());
    }
    {
        support::StandinLog log;
        e2e::Tavrel app;
        REQUIRE(app.Start());
        REQUIRE(app.PickTrayMenuItem(3));  // Normal Bootup
        CHECK(RestartRecorded(log));
        for (size_t i = 0; i < places.size(); ++i) {
            INFO("place ", i);
            Snapshot run = Take(places[i], kRun);
            // Whatever was parked before comes back too; the test's entries and
            // the prefix's own are there byte for byte.
            CheckHolds(run, before[i]);
            CHECK(Take(places[i], kParked).empty());
        }
        CHECK(app.Close());
    }
    for (size_t i = 0; i < places.size(); ++i) {
        Remove(places[i], kRun, L"Tavrel check " + std::to_wstring(i));
        Remove(places[i], kRun, L"Tavrel check expand " + std::to_wstring(i));
    }
}
