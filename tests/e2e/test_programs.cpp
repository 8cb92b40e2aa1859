// One entry at a time: the start-up programs window driven through its list
// view's own messages, and /Park, /Restore, /Keep and /Unkeep in every place,
// with the user's keep-list and the administrator's.
#include <doctest/doctest.h>
#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <string>
#include <vector>

#include "e2e/driver.h"
#include "e2e/kept.h"
#include "support/folders.h"
#include "support/registry.h"
#include "support/runkeys.h"
#include "support/standins.h"

using support::Narrow;

namespace {

constexpr wchar_t kName[] = L"Tavrel one.cmd";
constexpr wchar_t kUserKeep[] = L"Software\\Tavrel\\Keep";
constexpr wchar_t kPolicy[] = L"Software\\Policies\\Tavrel\\Keep";

std::vector<BYTE> Text(const std::wstring& text) {
    const BYTE* first = reinterpret_cast<const BYTE*>(text.c_str());
    return {first, first + (text.size() + 1) * sizeof(wchar_t)};
}

void Put(HKEY root, const wchar_t* path, REGSAM view, const wchar_t* name,
         const std::wstring& data) {
    HKEY key;
    REQUIRE(RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key,
                            nullptr) == ERROR_SUCCESS);
    e2e::PutExact(key, name, REG_SZ, Text(data));
    RegCloseKey(key);
}

// The test's entry under one name in every place: the Run keys and both
// Startup folders.
struct Planted {
    e2e::RunKeysAside aside;
    std::vector<support::FolderPair> folders = support::StartupFolderPairs();
    Planted() {
        support::ClearHistory();
        for (const support::Place& place : support::Places())
            Put(place.root, support::kRun, place.view, kName, L"C:\\one.exe");
        const std::string script = "@echo off\r\n";
        for (const support::FolderPair& pair : folders)
            REQUIRE(
                support::MakeItem(pair.live + L"\\" + kName, &script, FILE_ATTRIBUTE_ARCHIVE, 1));
    }
    ~Planted() {
        for (const support::FolderPair& pair : folders)
            for (const std::wstring* folder : {&pair.live, &pair.parked})
                support::RemoveTree(*folder + L"\\" + kName);
        support::DeleteTree(HKEY_CURRENT_USER, kUserKeep);
        support::DeleteTree(HKEY_LOCAL_MACHINE, L"Software\\Policies\\Tavrel", KEY_WOW64_64KEY);
        support::ClearHistory();
    }
    // Where the entry stands in each place: 'r' running, 'p' parked, '?' neither or both.
    std::string Where() const {
        std::string where;
        for (const support::Place& place : support::Places()) {
            const bool run = e2e::ReadValue(place.root, support::kRun, kName, place.view).found,
                       parked =
                           e2e::ReadValue(place.root, support::kParked, kName, place.view).found;
            where += run == parked ? '?' : run ? 'r' : 'p';
        }
        for (const support::FolderPair& pair : folders) {
            const bool run = support::ReadTree(pair.live).count(kName),
                       parked = support::ReadTree(pair.parked).count(kName);
            where += run == parked ? '?' : run ? 'r' : 'p';
        }
        return where;
    }
};

// A list view of another process, through memory in that process.
class RemoteList {
public:
    explicit RemoteList(HWND list) : list_(list) {
        DWORD id = 0;
        GetWindowThreadProcessId(list, &id);
        process_ =
            OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, id);
        memory_ = static_cast<BYTE*>(
            VirtualAllocEx(process_, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    }
    ~RemoteList() {
        VirtualFreeEx(process_, memory_, 0, MEM_RELEASE);
        CloseHandle(process_);
    }
    RemoteList(const RemoteList&) = delete;
    RemoteList& operator=(const RemoteList&) = delete;

    std::wstring Text(int row, int column) {
        LVITEMW item{};
        item.iSubItem = column;
        item.cchTextMax = 1000;
        item.pszText = reinterpret_cast<wchar_t*>(memory_ + 1024);
        Send(LVM_GETITEMTEXTW, row, item);
        wchar_t text[1000] = L"";
        ReadProcessMemory(process_, memory_ + 1024, text, sizeof text - 2, nullptr);
        return text;
    }
    // The row of the entry in a place, or -1.
    int Find(const wchar_t* name, const wchar_t* place) {
        const int rows = static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < rows; ++row)
            if (Text(row, 0) == name && Text(row, 2) == place) return row;
        return -1;
    }
    void SetState(int row, UINT state, UINT mask) {
        LVITEMW item{};
        item.stateMask = mask;
        item.state = state;
        Send(LVM_SETITEMSTATE, row, item);
    }

private:
    void Send(UINT message, int row, const LVITEMW& item) {
        WriteProcessMemory(process_, memory_, &item, sizeof item, nullptr);
        SendMessageW(list_, message, row, reinterpret_cast<LPARAM>(memory_));
    }
    HWND list_;
    HANDLE process_;
    BYTE* memory_;
};

}  // namespace

TEST_CASE("the start-up programs window parks, brings back and keeps one entry by its check box") {
    Planted planted;
    e2e::Tavrel app;
    REQUIRE(app.Start());
    REQUIRE(app.PickTrayMenuItem(5));  // Start-up programs...
    HWND window = nullptr;
    REQUIRE(e2e::WaitUntil(
        [&] { return (window = FindWindowW(nullptr, L"Start-up programs - Tavrel")) != nullptr; },
        10000));
    HWND list = FindWindowExW(window, nullptr, WC_LISTVIEWW, nullptr);
    REQUIRE(list);
    RemoteList rows(list);
    const std::string allRunning(planted.Where().size(), 'r');
    REQUIRE(planted.Where() == allRunning);
    // Its box cleared, this user's entry parks; set again, it comes back.
    for (UINT box : {1u, 2u}) {
        const int row = rows.Find(kName, L"HKCU");
        REQUIRE(row >= 0);
        rows.SetState(row, INDEXTOSTATEIMAGEMASK(box), LVIS_STATEIMAGEMASK);
        std::string expected = allRunning;
        expected[support::Places().size() - 1] = box == 1 ? 'p' : 'r';
        CHECK(e2e::WaitUntil([&] { return planted.Where() == expected; }, 10000));
        CHECK(e2e::ReadValue(HKEY_CURRENT_USER, box == 1 ? support::kParked : support::kRun, kName)
                  .bytes == Text(L"C:\\one.exe"));
    }
    // Keep, for the selected row: on the user's list by its place.
    const int row = rows.Find(kName, L"Startup");
    REQUIRE(row >= 0);
    rows.SetState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    SendMessageW(FindWindowExW(window, nullptr, L"Button", L"Keep"), BM_CLICK, 0, 0);
    CHECK(e2e::ReadValue(HKEY_CURRENT_USER, kUserKeep, L"Startup:Tavrel one.cmd").bytes ==
          Text(L"Startup:Tavrel one.cmd"));
    CHECK(rows.Text(rows.Find(kName, L"Startup"), 3).find(L"kept by you") != std::wstring::npos);
    const std::string history = Narrow(e2e::RunTavrel(L"/History", L"tavrelc.exe").output);
    INFO(history);
    CHECK(history.find("\"Restore \\\"Tavrel one.cmd\\\"\" | 1 entry: RunDisabled") !=
          std::string::npos);
    PostMessageW(window, WM_CLOSE, 0, 0);
    CHECK(e2e::WaitUntil([&] { return !IsWindow(window); }, 5000));
    CHECK(app.Close());
}

TEST_CASE(
    "/Park, /Restore, /Keep and /Unkeep act on one entry in the place named, and keep-lists hold") {
    Planted planted;
    const size_t places = planted.Where().size();
    struct Case {
        const wchar_t* arguments;
        DWORD exitCode;
        const char* says;
        const char* where;  // each place after it, as Planted::Where tells; "" for any
    };
    const bool wow64 = support::Places().size() == 3;
    // Each place by /Place, parked and brought back alone, in any case.
    for (size_t at = 0; at < places; ++at) {
        const wchar_t* tokens[] = {L"HKLM", L"HKLM32", L"HKCU", L"Startup", L"CommonStartup"};
        const std::wstring place = tokens[at + (wow64 || at == 0 ? 0 : 1)];
        std::string where(places, 'r');
        for (const wchar_t* action :
             {L"/Park \"TAVREL one.cmd\" /Place ", L"/Restore \"tavrel one.CMD\" /Place "}) {
            const e2e::CommandRun run = e2e::RunTavrel(action + place, L"tavrelc.exe");
            INFO(Narrow(action + place), ": ", Narrow(run.output));
            CHECK(run.exitCode == 0);
            where[at] = where[at] == 'r' ? 'p' : 'r';
            CHECK(planted.Where() == where);
        }
    }
    Put(HKEY_CURRENT_USER, support::kRun, 0, L"Tavrel own", L"C:\\windows\\system32\\notepad.exe");
    const std::vector<Case> table = {
        {L"/Park \"Tavrel one.cmd\"", 2, "is in more than one place: HKLM, ", ""},
        {L"/Park nobody", 2, "No start-up entry or Startup item is named \"nobody\".", ""},
        {L"/Park \"Tavrel one.cmd\" /Place Startup /WhatIf", 0,
         "Startup item \"Tavrel one.cmd\" in this user's Startup folder: Startup \u2192 "
         "StartupDisabled",
         ""},
        // Windows' own part, parked on purpose, and brought back.
        {L"/Park \"Tavrel own\"", 0, "Parked \"Tavrel own\" for this user.", ""},
        {L"/Park \"Tavrel own\"", 2, "is parked already", ""},
        {L"/Restore \"Tavrel own\" /Place Nowhere", 2, "/Place takes HKLM, ", ""},
        {L"/Restore \"Tavrel own\"", 0, "Brought back \"Tavrel own\" for this user.", ""},
        // The user's list keeps it from Power Bootup; /Park still parks it on purpose.
        {L"/Keep \"Tavrel one.cmd\" /Place Startup", 0, "is on your keep-list", ""},
        {L"/PowerBootup /NoRestart", 3010,
         "Left as Windows' own: \"Tavrel own\" for this user.\r\nKept by your keep-list: "
         "\"Tavrel one.cmd\" in this user's Startup folder.",
         wow64 ? "ppprp" : "pprp"},
        {L"/Status", 0, "\"Tavrel one.cmd\" (kept by you)", ""},
        {L"/Unkeep \"Tavrel one.cmd\" /Place Startup", 0, "is off your keep-list", ""},
        {L"/Unkeep \"Tavrel one.cmd\" /Place Startup", 2, "is not on your keep-list", ""},
        {L"/NormalBootup /NoRestart", 3010, "", wow64 ? "rrrrr" : "rrrr"},
    };
    for (const Case& c : table) {
        const e2e::CommandRun run = e2e::RunTavrel(c.arguments, L"tavrelc.exe");
        INFO(Narrow(c.arguments), ": ", Narrow(run.output));
        CHECK(run.exitCode == c.exitCode);
        CHECK(Narrow(run.output).find(c.says) != std::string::npos);
        if (*c.where) CHECK(planted.Where() == c.where);
    }
    // The administrator's list: kept in every place it names, and never unkept here.
    Put(HKEY_LOCAL_MACHINE, kPolicy, KEY_WOW64_64KEY, L"1", L"HKCU:tavrel ONE.cmd");
    const Case policy[] = {
        {L"/Park \"Tavrel one.cmd\" /Place HKCU", 2, "is kept by your administrator", ""},
        {L"/Unkeep \"Tavrel one.cmd\" /Place HKCU", 2, "is kept by your administrator", ""},
        {L"/Status /Json", 0, "\"kept\":\"administrator\"", ""},
        {L"/PowerBootup /NoRestart", 3010,
         "Kept by your administrator: \"Tavrel one.cmd\" for this user.", ""},
    };
    for (const Case& c : policy) {
        const e2e::CommandRun run = e2e::RunTavrel(c.arguments, L"tavrelc.exe");
        INFO(Narrow(c.arguments), ": ", Narrow(run.output));
        CHECK(run.exitCode == c.exitCode);
        CHECK(Narrow(run.output).find(c.says) != std::string::npos);
    }
    CHECK(planted.Where()[places - 3] == 'r');
}
