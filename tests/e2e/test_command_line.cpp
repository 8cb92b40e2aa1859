// Tavrel.exe with arguments: no window, the exit code, the text written to a
// redirected output, and each action's effect on the real registry, system
// parameters, recycle bin and stand-in programs.
#include <doctest/doctest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "e2e/driver.h"
#include "e2e/kept.h"
#include "support/folders.h"
#include "support/json.h"
#include "support/registry.h"
#include "support/runkeys.h"
#include "support/standins.h"
#include "support/trash.h"
#include "support/values.h"

using support::Narrow;

namespace {

constexpr wchar_t kTcpip[] = L"System\\CurrentControlSet\\Services\\Tcpip\\Parameters";
// Greek and Japanese: outside every ANSI code page at once.
const std::wstring kForeign = L"\u0395\u03BA\u03BA\u03AF\u03BD\u03B7\u03C3\u03B7 \u8D77\u52D5";

DWORD Mtu() {
    e2e::RegistryData value = e2e::ReadValue(HKEY_LOCAL_MACHINE, kTcpip, L"MTU");
    DWORD mtu = 0;
    if (value.found && value.bytes.size() == sizeof mtu) CopyMemory(&mtu, value.bytes.data(), 4);
    return mtu;
}

// As the system stores it for the user: this process's SystemParametersInfo
// may answer from Wine's per-process cache.
std::string Desktop(const wchar_t* name) {
    e2e::RegistryData value = e2e::ReadValue(HKEY_CURRENT_USER, L"Control Panel\\Desktop", name);
    if (!value.found || value.type != REG_SZ || value.bytes.size() < sizeof(wchar_t)) return "";
    return Narrow(reinterpret_cast<const wchar_t*>(value.bytes.data()));
}

void PutText(const wchar_t* path, const std::wstring& name, const wchar_t* text) {
    HKEY key;
    REQUIRE(RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr) == ERROR_SUCCESS);
    const BYTE* first = reinterpret_cast<const BYTE*>(text);
    e2e::PutExact(key, name, REG_SZ,
                  std::vector<BYTE>(first, first + (lstrlenW(text) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

// Task Manager's choice to turn an entry off, made on 2023-01-01.
const std::vector<BYTE> kTurnedOff = {3, 0, 0, 0, 0x00, 0xe0, 0xf7, 0x92, 0xd8, 0x1d, 0xd9, 0x01};

void TurnOff(const wchar_t* path, const wchar_t* name) {
    HKEY approvals;
    REQUIRE(RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &approvals, nullptr) == ERROR_SUCCESS);
    e2e::PutExact(approvals, name, REG_BINARY, kTurnedOff);
    RegCloseKey(approvals);
}

size_t Count(const wchar_t* path) { return e2e::ValueNames(HKEY_CURRENT_USER, path).size(); }

// What the stand-ins started, as "program arguments" lines.
std::string Started(const support::StandinLog& log) {
    std::string started;
    for (auto& entry : log.Read()) started += Narrow(entry.commandLine) + "\n";
    return started;
}

}  // namespace

TEST_CASE("the command line runs one action without a window and exits 0, 1 or 2") {
    e2e::RunKeysAside aside;
    e2e::ValueKept mtu(HKEY_LOCAL_MACHINE, kTcpip, L"MTU");
    e2e::EffectsKept effects;
    PutText(support::kRun, kForeign, L"C:\\Tool\\tool.exe\t-q");
    PutText(support::kRun, L"Plain", L"C:\\plain.exe");
    PutText(support::kRun, L"Input", L"C:\\windows\\system32\\notepad.exe /n");  // Windows' own
    // Task Manager turned "Plain" off; the choice is its own, never Tavrel's to change.
    constexpr wchar_t kApproved[] =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
    e2e::ValueKept approvedKept(HKEY_CURRENT_USER, kApproved, L"Plain");
    TurnOff(kApproved, L"Plain");

    struct Case {
        const wchar_t* arguments;
        DWORD exitCode;
        const char* says;       // part of the output; "" for no words at all
        const char* starts;     // the stand-ins' command lines, "" for none
        bool (*holds)();        // the effect, read back
        bool console = false;   // run by the console companion instead
        bool noThemes = false;  // without the theme library
    };
    // In order: each case starts from where the one before left off.
    const Case cases[] = {
        {L"/Mtu 68", 0, "", "", [] { return Mtu() == 68; }},
        {L"-mtu 1500", 0, "", "", [] { return Mtu() == 1500; }, true},
        {L"/Effects off", 0, "", "",
         [] { return Desktop(L"FontSmoothing") == "0" && Desktop(L"DragFullWindows") == "0"; }},
        {L"/EFFECTS Balanced", 0, "", "",
         [] { return Desktop(L"FontSmoothing") == "2" && Desktop(L"DragFullWindows") == "1"; }},
        {L"/CleanUp", 0, "", "cleanmgr.exe\n", [] { return true; }},
        {L"/EmptyRecycleBin", 0, "", "", [] { return support::ItemsInBin() == 0; }},
        {L"/Restart", 0, "", "shutdown.exe -r -t 0\n", [] { return true; }},
        // Visual styles cannot be switched; the effects still are.
        {L"/Effects off", 1, "These settings did not take: visual styles.", "",
         [] { return Desktop(L"FontSmoothing") == "0"; }, false, true},
        {L"/EFFECTS Balanced", 0, "", "", [] { return Desktop(L"FontSmoothing") == "2"; }, true},
        {L"/WhatIf /PowerBootup /NoRestart", 0,
         "\"Input\" in HKCU: stays in Run: it is one of Windows' own, run from", "",
         [] { return Count(support::kRun) == 3; }, true},
        // Done, but for the restart it was told to leave out; Windows' own stays.
        {L"/PowerBootup /NoRestart", 3010,
         "Parked 2 entries; 0 left where they were.\r\n1 of them Task Manager had turned off; "
         "that stays so.\r\nLeft as Windows' own: \"Input\" for this user.",
         "", [] { return Count(support::kRun) == 1 && Count(support::kParked) == 2; }, true},
        {L"/Status", 0,
         "  \"\u0395\u03BA\u03BA\u03AF\u03BD\u03B7\u03C3\u03B7 \u8D77\u52D5\" = REG_SZ "
         "\"C:\\\\Tool\\\\tool.exe\\t-q\"",
         "", [] { return Count(support::kParked) == 2; }, true},
        {L"/Status", 0,
         "\"Plain\" = REG_SZ \"C:\\\\plain.exe\" (Task Manager: turned off 2023-01-01 ", "",
         [] { return true; }, true},
        {L"/Status /Json", 0,
         "{\"name\":\"Plain\",\"taskManager\":{\"off\":true,\"time\":\"2023-01-01 ", "",
         [] { return true; }, true},
        // A program put its entry back meanwhile, with other data: it stays,
        // and with an entry left behind nobody is there to ask about a restart.
        {L"/NormalBootup", 1, "The computer was not restarted", "",
         [] { return Count(support::kRun) == 3 && Count(support::kParked) == 1; }},
        {L"/NoRestart /normalbootup", 1, "the parked copy stays parked", "",
         [] { return Count(support::kParked) == 1; }, true},
        {L"/Bogus", 2, "Unknown argument: /Bogus\r\n\r\nUsage:", "", [] { return Mtu() == 1500; }},
        {L"/Bogus", 2, "Unknown argument: /Bogus\r\n\r\nUsage:", "", [] { return Mtu() == 1500; },
         true},
        {L"/Mtu 1500 /Mtu 68", 2, "One action at a time", "", [] { return Mtu() == 1500; }},
        {L"/Mtu 9000", 2, "/Mtu takes 68 or 1500.", "", [] { return Mtu() == 1500; }},
        {L"/Restart /NoRestart", 2, "/NoRestart goes with", "", [] { return true; }},
        {L"/?", 0, "Usage:", "", [] { return Count(support::kRun) == 3; }},
    };
    for (const Case& c : cases) {
        INFO("arguments: ", Narrow(c.arguments), c.console ? " (console companion)" : "");
        if (lstrcmpW(c.arguments, L"/EmptyRecycleBin") == 0)
            REQUIRE_FALSE(support::RecycleNewFile().empty());
        if (lstrcmpW(c.arguments, L"/NormalBootup") == 0)
            PutText(support::kRun, L"Plain", L"C:\\plain 2.exe");
        std::unique_ptr<e2e::DllOverride> noThemes;
        if (c.noThemes) noThemes = std::make_unique<e2e::DllOverride>(L"uxtheme", L"disabled");
        support::StandinLog log;
        e2e::CommandRun run =
            e2e::RunTavrel(c.arguments, c.console ? L"tavrelc.exe" : L"Tavrel.exe");
        REQUIRE(run.started);
        CHECK(run.exitCode == c.exitCode);
        CHECK_FALSE(run.windowShown);
        INFO("output: ", Narrow(run.output));
        if (*c.says)
            CHECK(Narrow(run.output).find(c.says) != std::string::npos);
        else
            CHECK(run.output.empty());
        if (*c.starts) log.Wait(1);
        CHECK(Started(log) == c.starts);
        CHECK(c.holds());
    }
    const e2e::RegistryData choice = e2e::ReadValue(HKEY_CURRENT_USER, kApproved, L"Plain");
    CHECK((choice.type == REG_BINARY && choice.bytes == kTurnedOff));
}

TEST_CASE("without the rights to write, each preview refuses as its change does") {
    e2e::RunKeysAside aside;
    e2e::ValueKept mtu(HKEY_LOCAL_MACHINE, kTcpip, L"MTU");
    support::ClearHistory();
    HKEY key;
    REQUIRE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTcpip, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS);
    RegDeleteValueW(key, L"MTU");
    RegCloseKey(key);
    REQUIRE(e2e::RunTavrel(L"/Mtu 68").exitCode == 0);  // to be undone
    key = support::CreateForTest(HKEY_LOCAL_MACHINE, support::kRun);
    e2e::PutExact(key, L"Agent", REG_SZ, {'a', 0, 0, 0});
    RegCloseKey(key);
    e2e::KeyReadOnly tcpip(HKEY_LOCAL_MACHINE, kTcpip), run(HKEY_LOCAL_MACHINE, support::kRun);
    REQUIRE((tcpip.locked && run.locked));
    struct Case {
        const wchar_t* arguments;
        DWORD exitCode;          // 2: nothing could change; 1: some would stay
        const char* says;        // part of the output
        bool userEntry;          // one of the user's joins the machine's, which stays
        bool noParking = false;  // the user's RunDisabled is missing, and cannot be created
    };
    const Case cases[] = {
        {L"/WhatIf /Mtu 1500", 2, "The MTU was not changed", false},
        {L"/Mtu 1500", 2, "The MTU was not changed", false},
        {L"/WhatIf /Undo", 2, "MTU: stays 68: it could not be set", false},
        {L"/Undo", 2, "MTU: stays 68: it could not be set", false},
        {L"/WhatIf /PowerBootup /NoRestart", 2, "\"Agent\"", false},
        {L"/PowerBootup /NoRestart", 2, "Parked 0 entries", false},
        {L"/WhatIf /PowerBootup /NoRestart", 1, "\"Mine\"", true},
        {L"/PowerBootup /NoRestart", 1, "Parked 1 entry", true},
        {L"/WhatIf /PowerBootup /NoRestart", 2, "\"Mine\" in HKCU: stays in Run: moving it needs",
         true, true},
    };
    for (const Case& c : cases) {
        if (c.userEntry) PutText(support::kRun, L"Mine", L"C:\\mine.exe");
        std::unique_ptr<e2e::KeyReadOnly> parent;
        if (c.noParking) {
            support::DeleteTree(HKEY_CURRENT_USER, support::kParked);
            parent = std::make_unique<e2e::KeyReadOnly>(
                HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
            REQUIRE(parent->locked);
        }
        e2e::CommandRun run = e2e::RunTavrel(c.arguments);
        INFO(Narrow(c.arguments), ": ", Narrow(run.output));
        CHECK(run.exitCode == c.exitCode);
        CHECK(Narrow(run.output).find(c.says) != std::string::npos);
    }
    support::ClearHistory();
}

TEST_CASE(
    "/Status lists this user's Startup folder with Task Manager's choices; the switch parks "
    "its items but Windows' own, and never touches those choices") {
    e2e::RunKeysAside aside;
    support::ClearHistory();
    wchar_t path[MAX_PATH];
    REQUIRE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_STARTUP, nullptr, SHGFP_TYPE_CURRENT, path)));
    const std::wstring script = std::wstring(path) + L"\\Tavrel test.cmd",
                       shortcut = std::wstring(path) + L"\\Tavrel test.lnk";
    const std::string bytes = "@echo off\r\n";
    REQUIRE(support::MakeItem(script, &bytes, FILE_ATTRIBUTE_ARCHIVE, 1));
    REQUIRE(support::MakeShortcut(shortcut, L"C:\\windows\\system32\\notepad.exe", L"/n \"x\""));
    // Task Manager turned the script off; the choice is kept by its name.
    constexpr wchar_t kApproved[] =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder";
    e2e::ValueKept approvedKept(HKEY_CURRENT_USER, kApproved, L"Tavrel test.cmd");
    TurnOff(kApproved, L"Tavrel test.cmd");

    const std::string text = Narrow(e2e::RunTavrel(L"/Status", L"tavrelc.exe").output),
                      json = Narrow(e2e::RunTavrel(L"/Status /Json", L"tavrelc.exe").output);
    const std::string preview =
        Narrow(e2e::RunTavrel(L"/WhatIf /PowerBootup /NoRestart", L"tavrelc.exe").output);
    const e2e::CommandRun power = e2e::RunTavrel(L"/PowerBootup /NoRestart", L"tavrelc.exe");
    const std::string parked = Narrow(e2e::RunTavrel(L"/Status", L"tavrelc.exe").output);
    const e2e::CommandRun normal = e2e::RunTavrel(L"/NormalBootup /NoRestart", L"tavrelc.exe");
    const bool scriptBack = support::ReadTree(path).count(L"Tavrel test.cmd") == 1;
    const std::string history = Narrow(e2e::RunTavrel(L"/History", L"tavrelc.exe").output);
    DeleteFileW(script.c_str());
    DeleteFileW(shortcut.c_str());
    support::ClearHistory();
    INFO(text, json, preview, Narrow(power.output), parked, Narrow(normal.output), history);
    CHECK(text.find("Startup folder of this user (") != std::string::npos);
    CHECK(text.find("\r\n  \"Tavrel test.cmd\" (Task Manager: turned off 2023-01-01 ") !=
          std::string::npos);
    CHECK(text.find("  \"Tavrel test.lnk\" \u2192 \"C:\\\\windows\\\\system32\\\\notepad.exe\" "
                    "\"/n \\\"x\\\"\"") != std::string::npos);
    CHECK(json.find("\"folder\":\"Startup\",\"path\":") != std::string::npos);
    CHECK(json.find("{\"name\":\"Tavrel test.lnk\",\"target\":\"C:\\\\windows\\\\system32\\\\"
                    "notepad.exe\",\"arguments\":\"/n \\\"x\\\"\"}") != std::string::npos);
    CHECK(json.find(
              "{\"name\":\"Tavrel test.cmd\",\"target\":\"\",\"arguments\":\"\",\"taskManager\":{"
              "\"off\":true,") != std::string::npos);
    CHECK(preview.find("Startup item \"Tavrel test.cmd\" in this user's Startup folder: Startup "
                       "\u2192 StartupDisabled") != std::string::npos);
    CHECK(power.exitCode == 3010);
    CHECK(Narrow(power.output)
              .find("Parked 1 entry; 0 left where they were.\r\n1 of them Task Manager had turned "
                    "off; that stays so.\r\nLeft as Windows' own: \"Tavrel test.lnk\" in this "
                    "user's Startup folder.") != std::string::npos);
    CHECK(parked.find("\\Tavrel\\StartupDisabled): 1 item\r\n  \"Tavrel test.cmd\"") !=
          std::string::npos);
    CHECK(history.find("| 1 item: Startup \u2192 StartupDisabled |") != std::string::npos);
    CHECK(normal.exitCode == 3010);
    CHECK(scriptBack);
    CHECK(e2e::ReadValue(HKEY_CURRENT_USER, kApproved, L"Tavrel test.cmd").bytes == kTurnedOff);
}

TEST_CASE("/Status shows no entry in disguise, and /Status /Json reads back every entry exactly") {
    e2e::RunKeysAside aside;
    support::Values planted = support::EveryKind(L"J");
    // A name that reads "Updater.exe" once reversed, and halves of characters.
    const std::wstring disguised = L"Updater\u202Eexe.cod", halves = L"Half \xDC00 \xD800";
    planted[disguised] = {REG_SZ, support::Bytes(L"C:\\x\u2066.exe")};
    planted[halves] = {REG_EXPAND_SZ, support::Bytes(L"\xD800\U0001F600")};
    support::Put(HKEY_CURRENT_USER, support::kRun, planted);

    e2e::CommandRun text = e2e::RunTavrel(L"/Status");
    CHECK(text.exitCode == 0);
    INFO("output: ", Narrow(text.output));
    CHECK(text.output.find(L"  \"Updater\\u202Eexe.cod\" = REG_SZ \"C:\\\\x\\u2066.exe\"") !=
          std::wstring::npos);
    CHECK(text.output.find(L"  \"Half \\uDC00 \\uD800\" = REG_EXPAND_SZ \"\\uD800\U0001F600\"") !=
          std::wstring::npos);

    e2e::CommandRun json = e2e::RunTavrel(L"/Status /Json", L"tavrelc.exe");
    CHECK(json.exitCode == 0);
    support::Json root = support::JsonReader(json.output).Read();
    REQUIRE(root.kind == support::Json::kObject);
    support::Values read;
    for (const support::Json& key : root[L"keys"].items) {
        if (key[L"place"].text != L"HKCU" || key[L"key"].text != support::kRun) continue;
        for (const support::Json& entry : key[L"entries"].items) {
            support::Value value{static_cast<DWORD>(entry[L"typeCode"].number), {}};
            const std::wstring& hex = entry[L"hex"].text;
            for (size_t i = 0; i + 1 < hex.size(); i += 2)
                value.data.push_back(static_cast<BYTE>(std::stoi(hex.substr(i, 2), nullptr, 16)));
            // The string or number it gives is the same data.
            const support::Json& data = entry[L"data"];
            if (data.kind == support::Json::kString)
                CHECK(support::Bytes(data.text, entry[L"terminated"].boolean) == value.data);
            if (data.kind == support::Json::kNumber && value.type == REG_DWORD)
                CHECK(data.number == *reinterpret_cast<const DWORD*>(value.data.data()));
            read[entry[L"name"].text] = value;
        }
    }
    INFO("read back: ", support::Describe(read));
    CHECK(read == planted);
}
