// Every change can be previewed, is recorded, and can be undone exactly:
// Tavrel.exe /WhatIf, the action, /Undo and /History, against the real
// registry and system parameters, and the tray's Undo item.
#include <doctest/doctest.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "e2e/driver.h"
#include "e2e/kept.h"
#include "support/registry.h"
#include "support/runkeys.h"
#include "support/standins.h"

using support::Narrow;

namespace {

constexpr wchar_t kTcpip[] = L"System\\CurrentControlSet\\Services\\Tcpip\\Parameters";
constexpr wchar_t kDesktop[] = L"Control Panel\\Desktop";

// Each setting an action touches, by where it lives: its type and bytes.
using Snapshot = std::map<std::wstring, std::vector<BYTE>>;

void Add(Snapshot& snapshot, const std::wstring& where, const e2e::RegistryData& value) {
    if (!value.found) return;
    std::vector<BYTE>& held = snapshot[where];
    held.assign(reinterpret_cast<const BYTE*>(&value.type),
                reinterpret_cast<const BYTE*>(&value.type + 1));
    held.insert(held.end(), value.bytes.begin(), value.bytes.end());
}

Snapshot Take() {
    Snapshot s;
    Add(s, L"MTU", e2e::ReadValue(HKEY_LOCAL_MACHINE, kTcpip, L"MTU"));
    // The eight effects, as the system keeps them for the user.
    for (const wchar_t* name : {L"UserPreferencesMask", L"DragFullWindows", L"FontSmoothing"})
        Add(s, name, e2e::ReadValue(HKEY_CURRENT_USER, kDesktop, name));
    Add(s, L"ThemeActive",
        e2e::ReadValue(HKEY_CURRENT_USER,
                       L"Software\\Microsoft\\Windows\\CurrentVersion\\ThemeManager",
                       L"ThemeActive"));
    for (const support::Place& place : support::Places())
        for (const wchar_t* path : {support::kRun, support::kParked})
            for (auto& [name, value] : e2e::ReadValues(place.root, path, place.view))
                Add(s, std::to_wstring(place.view) + path + L"\\" + name, value);
    return s;
}

std::string Differences(const Snapshot& a, const Snapshot& b) {
    std::string names;
    for (auto& [where, held] : a)
        if (!b.count(where) || b.at(where) != held) names += Narrow(where) + "; ";
    for (auto& [where, held] : b)
        if (!a.count(where)) names += Narrow(where) + "; ";
    return names;
}

void PutMtu(DWORD type, const std::vector<BYTE>& bytes) {
    HKEY key;
    REQUIRE(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kTcpip, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr) == ERROR_SUCCESS);
    e2e::PutExact(key, L"MTU", type, bytes);
    RegCloseKey(key);
}
std::vector<BYTE> Number(DWORD n) { return {BYTE(n), BYTE(n >> 8), BYTE(n >> 16), BYTE(n >> 24)}; }

// The MTU as a snapshot holds it.
std::vector<BYTE> MtuHeld(DWORD mtu) {
    std::vector<BYTE> held = Number(REG_DWORD), number = Number(mtu);
    held.insert(held.end(), number.begin(), number.end());
    return held;
}

void RemoveMtu() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTcpip, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueW(key, L"MTU");
    RegCloseKey(key);
}

// The eight effects by hand, bit 0 the first of the round buttons' table.
// Visual styles
// go off first: Wine turns them back on only with a theme file, which the
// sandbox lacks, so the test keeps them where every action leaves them.
void SetEffects(UINT on) {
    const UINT sets[] = {0x1003, 0x101B, 0x1005, 0x0025, 0x1013, 0x1007, 0x1017, 0x004B};
    if (HMODULE theme = LoadLibraryW(L"uxtheme.dll")) {
        using Enable = HRESULT(WINAPI*)(BOOL);
        if (auto enable = reinterpret_cast<Enable>(
                reinterpret_cast<void*>(GetProcAddress(theme, "EnableTheming"))))
            enable(FALSE);
        FreeLibrary(theme);
    }
    for (UINT i = 0; i < 8; ++i)
        SystemParametersInfoW(sets[i], on >> i & 1, reinterpret_cast<void*>(UINT_PTR{on >> i & 1}),
                              SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
}

std::vector<BYTE> Text(const std::wstring& text) {
    const BYTE* first = reinterpret_cast<const BYTE*>(text.c_str());
    return {first, first + (text.size() + 1) * sizeof(wchar_t)};
}

// Start-up entries under `path` in every place, the rest emptied first.
void SetEntries(const wchar_t* path) {
    for (const support::Place& place : support::Places()) {
        e2e::Clear(place, support::kRun);
        e2e::Clear(place, support::kParked);
        HKEY key;
        REQUIRE(RegCreateKeyExW(place.root, path, 0, nullptr, 0, KEY_SET_VALUE | place.view,
                                nullptr, &key, nullptr) == ERROR_SUCCESS);
        e2e::PutExact(key, L"Tavrel undo", REG_EXPAND_SZ, Text(L"%ProgramFiles%\\u.exe /q"));
        e2e::PutExact(key, L"Tavrel undo \u8D77\u52D5", REG_BINARY, {1, 0, 2});
        RegCloseKey(key);
    }
}

// An entry that sits in one key of this user's only, not of the switch's.
void PutUserEntry(const wchar_t* path, const wchar_t* name, const wchar_t* data) {
    HKEY key;
    REQUIRE(RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr) == ERROR_SUCCESS);
    e2e::PutExact(key, name, REG_SZ, Text(data));
    RegCloseKey(key);
}

// The records belong to the test: none before it, none after it.
struct HistoryCleared {
    HistoryCleared() { support::ClearHistory(); }
    ~HistoryCleared() { support::ClearHistory(); }
};

}  // namespace

TEST_CASE("each change is previewed, made, and undone back to the exact state before") {
    e2e::RunKeysAside aside;
    e2e::ValueKept mtu(HKEY_LOCAL_MACHINE, kTcpip, L"MTU");
    e2e::EffectsKept effects;
    HistoryCleared history;
    struct Case {
        const wchar_t* action;
        void (*setUp)();
        const char* preview;  // a line /WhatIf prints
        DWORD exitCode;    // the action's: 1 where it leaves an entry behind, 3010 for no restart
        void (*meddle)();  // another program, between the action and the undo
        DWORD undoExit;
    };
    const Case cases[] = {
        {L"/Mtu 68", RemoveMtu, "MTU: not set \u2192 68\r\n", 0, nullptr, 0},
        {L"/Mtu 1500", [] { PutMtu(REG_SZ, Text(L"1400")); },
         "MTU: REG_SZ \"1400\" \u2192 1500\r\n", 0, nullptr, 0},
        {L"/Effects off", [] { SetEffects(0xAD); }, "list-box smooth scrolling: on \u2192 off\r\n",
         0, nullptr, 0},
        {L"/Effects balanced", [] { SetEffects(0x53); }, "full-window dragging: off \u2192 on\r\n",
         0, nullptr, 0},
        {L"/PowerBootup /NoRestart",
         [] {
             SetEntries(support::kRun);
             PutUserEntry(support::kParked, L"Parked before", L"C:\\old.exe");
         },
         "start-up entry \"Tavrel undo\" in HKCU: Run \u2192 RunDisabled\r\n", 3010, nullptr, 0},
        {L"/NormalBootup /NoRestart",
         [] {
             SetEntries(support::kParked);
             PutUserEntry(support::kRun, L"Tavrel undo", L"C:\\updated.exe");
         },
         "start-up entry \"Tavrel undo\" in HKCU: stays in RunDisabled: the start-up list", 1,
         nullptr, 0},
        {L"/Mtu 68", [] { PutMtu(REG_DWORD, Number(1400)); }, "MTU: 1400 \u2192 68\r\n", 0,
         [] { PutMtu(REG_DWORD, Number(576)); }, 1},
    };
    for (const Case& c : cases) {
        INFO("action: ", Narrow(c.action));
        c.setUp();
        const Snapshot before = Take();
        e2e::CommandRun preview = e2e::RunTavrel(std::wstring(L"/WhatIf ") + c.action);
        INFO("preview: ", Narrow(preview.output));
        CHECK(preview.exitCode == (c.exitCode == 3010 ? 0 : c.exitCode));  // it restarts nothing
        CHECK(Differences(Take(), before) == "");
        CHECK(Narrow(preview.output).find(c.preview) != std::string::npos);

        CHECK(e2e::RunTavrel(c.action).exitCode == c.exitCode);
        CHECK(Differences(Take(), before) != "");
        if (c.meddle) c.meddle();
        const Snapshot meddled = Take();
        e2e::CommandRun undo = e2e::RunTavrel(L"/Undo");
        INFO("undo: ", Narrow(undo.output));
        CHECK(undo.exitCode == c.undoExit);
        CHECK(Differences(Take(), c.meddle ? meddled : before) == "");
    }
    // Each undo undid its own change, never an undo: nothing is left.
    for (const wchar_t* undo : {L"/WhatIf /Undo", L"/Undo"}) {
        e2e::CommandRun again = e2e::RunTavrel(undo);
        CHECK(again.exitCode == 2);
        CHECK(Narrow(again.output).find("Nothing to undo") == 0);
    }
    std::string listed = Narrow(e2e::RunTavrel(L"/History").output);
    INFO("history: ", listed);
    CHECK(listed.find("| \"Undo MTU 68\" | no change | an undo") < listed.find("\r\n"));
    CHECK(listed.find("| \"Undo MTU 68\" | MTU: 68 \u2192 not set | an undo") != std::string::npos);
    // A change for all users is recorded where only administrators write, by name.
    CHECK(listed.find("| \"MTU 68\" | MTU: 1400 \u2192 68 | undone | for all users, by \"") !=
          std::string::npos);
    CHECK(listed.find("| \"Power Bootup\" | " + std::to_string(2 * support::Places().size()) +
                      " entries: Run \u2192 RunDisabled | undone") != std::string::npos);
}

TEST_CASE("without its record a change is refused, and nothing changes") {
    e2e::RunKeysAside aside;
    e2e::ValueKept mtu(HKEY_LOCAL_MACHINE, kTcpip, L"MTU");
    e2e::EffectsKept effects;
    HistoryCleared history;
    // A volatile key takes no lasting subkey, so neither part of a record
    // has anywhere to go.
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        HKEY tavrel;
        REQUIRE(RegCreateKeyExW(root, L"Software\\Tavrel", 0, nullptr, REG_OPTION_VOLATILE,
                                KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &tavrel,
                                nullptr) == ERROR_SUCCESS);
        RegCloseKey(tavrel);
    }
    RemoveMtu();
    SetEffects(0xFF);
    SetEntries(support::kRun);
    for (const wchar_t* action : {L"/Mtu 68", L"/Effects off", L"/PowerBootup /NoRestart"}) {
        INFO("action: ", Narrow(action));
        const Snapshot before = Take();
        e2e::CommandRun run = e2e::RunTavrel(action);
        CHECK(run.exitCode == 2);
        CHECK(Narrow(run.output).find("Nothing was changed: Tavrel could not write its record") ==
              0);
        CHECK(Differences(Take(), before) == "");
    }
    // With only the part for all users unrecordable, this user's own entries
    // still move, under the record's part in HKCU; the others stay.
    support::ClearHistory();
    HKEY tavrel;
    REQUIRE(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Tavrel", 0, nullptr,
                            REG_OPTION_VOLATILE, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &tavrel,
                            nullptr) == ERROR_SUCCESS);
    RegCloseKey(tavrel);
    SetEntries(support::kRun);
    e2e::CommandRun run = e2e::RunTavrel(L"/PowerBootup /NoRestart");
    INFO(Narrow(run.output));
    CHECK(run.exitCode == 1);
    CHECK(Narrow(run.output).find("for all users: Tavrel could not record the move first") !=
          std::string::npos);
    CHECK(e2e::ValueNames(HKEY_CURRENT_USER, support::kRun).empty());
    CHECK(e2e::ValueNames(HKEY_LOCAL_MACHINE, support::kRun).size() == 2);
}

TEST_CASE(
    "with the record numbers used up, the reason names the key; moved entries await a restart") {
    e2e::RunKeysAside aside;
    e2e::ValueKept mtu(HKEY_LOCAL_MACHINE, kTcpip, L"MTU");
    HistoryCleared history;
    support::StandinLog started;
    // The switch's record takes the last number there is; the restart's has none.
    HKEY planted;
    REQUIRE(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Tavrel\\History\\4294967294", 0, nullptr,
                            0, KEY_ALL_ACCESS, nullptr, &planted, nullptr) == ERROR_SUCCESS);
    RegCloseKey(planted);
    SetEntries(support::kRun);
    e2e::CommandRun run = e2e::RunTavrel(L"/PowerBootup");
    INFO("switch: ", Narrow(run.output));
    CHECK(run.exitCode == 3010);
    CHECK(Narrow(run.output).find("The computer was not restarted") != std::string::npos);
    CHECK(started.Read().empty());
    CHECK(e2e::ValueNames(HKEY_CURRENT_USER, support::kRun).empty());
    PutMtu(REG_DWORD, Number(1400));
    run = e2e::RunTavrel(L"/Mtu 68");
    INFO("MTU: ", Narrow(run.output));
    CHECK(run.exitCode == 2);
    CHECK(Narrow(run.output).find("History\\4294967295: it has the last record number") !=
          std::string::npos);
}

TEST_CASE("the tray's Undo item puts back what the last button changed") {
    e2e::ValueKept mtu(HKEY_LOCAL_MACHINE, kTcpip, L"MTU");
    HistoryCleared history;
    PutMtu(REG_DWORD, Number(1400));
    e2e::Tavrel app;
    REQUIRE(app.Start());
    REQUIRE(app.Click(L"Connection"));
    REQUIRE(e2e::WaitUntil([] { return Take()[L"MTU"] == MtuHeld(68); }, 5000));
    REQUIRE(app.PickTrayMenuItem(4));  // the fifth item, after the four it always had
    CHECK(e2e::WaitUntil([] { return Take()[L"MTU"] == MtuHeld(1400); }, 5000));
    CHECK(app.Close());
}
