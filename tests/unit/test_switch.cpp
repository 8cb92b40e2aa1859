// The start-up switch against Wine's real registry, on keys of its own:
// every kind of value moves whole and comes back byte for byte, and a value
// the target cannot take stays where it was.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "startup/MoveStartupValues.h"
#include "startup/WindowsOwn.h"
#include "support/values.h"

using support::Bytes;
using support::EveryKind;
using support::Get;
using support::KeyExists;
using support::MachineViews;
using support::Put;
using support::Value;
using support::Values;

namespace {

constexpr wchar_t kBase[] = L"Software\\TavrelTests\\Switch";
constexpr wchar_t kRun[] = L"Software\\TavrelTests\\Switch\\Run";
constexpr wchar_t kParked[] = L"Software\\TavrelTests\\Switch\\RunDisabled";

// The tests' keys, gone before and after each test.
struct Sandbox : support::KeySandbox {
    Sandbox() : KeySandbox(kBase) {}
};

}  // namespace

TEST_CASE("Power then Normal moves every kind of value away and back, byte for byte") {
    Sandbox sandbox;
    Values machine = EveryKind(L"M"), user = EveryKind(L"U");
    machine[L""] = {REG_SZ, Bytes(L"the default value")};
    for (REGSAM view : MachineViews()) Put(HKEY_LOCAL_MACHINE, kRun, machine, view);
    Put(HKEY_CURRENT_USER, kRun, user);

    MoveResult power = MoveStartupValues(kRun, kParked);
    int views = static_cast<int>(MachineViews().size());
    CHECK(power.moved == views * static_cast<int>(machine.size()) + static_cast<int>(user.size()));
    CHECK(power.kept == 0);
    for (REGSAM view : MachineViews()) {
        INFO("view ", view);
        CHECK(Get(HKEY_LOCAL_MACHINE, kRun, view).empty());
        Values parked = Get(HKEY_LOCAL_MACHINE, kParked, view);
        INFO(support::Describe(parked));
        CHECK(parked == machine);
    }
    CHECK(Get(HKEY_CURRENT_USER, kRun).empty());
    CHECK(Get(HKEY_CURRENT_USER, kParked) == user);  // the roots never mix

    MoveResult normal = MoveStartupValues(kParked, kRun);
    CHECK(normal.moved == power.moved);
    for (REGSAM view : MachineViews()) {
        Values back = Get(HKEY_LOCAL_MACHINE, kRun, view);
        INFO(support::Describe(back));
        CHECK(back == machine);
        CHECK(KeyExists(HKEY_LOCAL_MACHINE, kParked, view));  // the parking key stays
        CHECK(Get(HKEY_LOCAL_MACHINE, kParked, view).empty());
    }
    CHECK(Get(HKEY_CURRENT_USER, kRun) == user);
}

TEST_CASE("the moved value replaces one of the same name in the target") {
    Sandbox sandbox;
    Put(HKEY_CURRENT_USER, kRun, {{L"A", {REG_EXPAND_SZ, Bytes(L"%new%")}}});
    Put(HKEY_CURRENT_USER, kParked,
        {{L"A", {REG_SZ, Bytes(L"old")}}, {L"B", {REG_SZ, Bytes(L"b")}}});
    MoveStartupValues(kRun, kParked);
    Values parked = Get(HKEY_CURRENT_USER, kParked);
    CHECK(parked.size() == 2);
    CHECK(parked[L"A"] == Value{REG_EXPAND_SZ, Bytes(L"%new%")});
    CHECK(Get(HKEY_CURRENT_USER, kRun).empty());
}

TEST_CASE("an empty or missing source moves nothing and creates no target; the other root moves") {
    Sandbox sandbox;
    for (REGSAM view : MachineViews()) Put(HKEY_LOCAL_MACHINE, kRun, {}, view);  // empty key
    Put(HKEY_CURRENT_USER, kRun, {{L"A", {REG_SZ, Bytes(L"a")}}});
    MoveResult result = MoveStartupValues(kRun, kParked);
    CHECK(result.moved == 1);
    for (REGSAM view : MachineViews()) CHECK_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kParked, view));
    CHECK(Get(HKEY_CURRENT_USER, kParked).size() == 1);

    MoveResult nothing = MoveStartupValues(L"Software\\TavrelTests\\Switch\\Absent", kParked);
    CHECK(nothing.moved == 0);
    CHECK(nothing.skipped == static_cast<int>(MachineViews().size()) + 1);
}

TEST_CASE("a value left in both keys by a move cut short is only taken out of the source") {
    Sandbox sandbox;
    Value same{REG_EXPAND_SZ, Bytes(L"%windir%\\tool.exe")};
    Put(HKEY_CURRENT_USER, kRun, {{L"Twice", same}});
    Put(HKEY_CURRENT_USER, kParked, {{L"Twice", same}});
    MoveResult result = MoveStartupValues(kRun, kParked);
    CHECK(result.moved == 1);
    CHECK(Get(HKEY_CURRENT_USER, kRun).empty());
    CHECK(Get(HKEY_CURRENT_USER, kParked) == Values{{L"Twice", same}});
}

TEST_CASE("a target that cannot be created leaves every value in the source") {
    Sandbox sandbox;
    // A key under a volatile key must be volatile too: creating the parking
    // key there fails, for real.
    HKEY base, volatileKey;
    REQUIRE(RegCreateKeyExW(HKEY_CURRENT_USER, kBase, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &base,
                            nullptr) == ERROR_SUCCESS);
    REQUIRE(RegCreateKeyExW(base, L"Volatile", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &volatileKey, nullptr) == ERROR_SUCCESS);
    RegCloseKey(volatileKey);
    RegCloseKey(base);
    Values values{{L"A", {REG_SZ, Bytes(L"a")}}, {L"B", {REG_EXPAND_SZ, Bytes(L"%b%")}}};
    Put(HKEY_CURRENT_USER, kRun, values);
    MoveResult result = MoveStartupValues(kRun, L"Software\\TavrelTests\\Switch\\Volatile\\Parked");
    CHECK(result.moved == 0);
    CHECK(result.kept == 2);
    CHECK(Get(HKEY_CURRENT_USER, kRun) == values);
}

namespace {

// Fails one value outright and stores another wrong, as a disk or a
// security product might; there is no real cause for either here.
LSTATUS FaultyWrite(HKEY key, const mGeneral::ExactValue& value) {
    if (value.name == L"Refused") return ERROR_ACCESS_DENIED;
    if (value.name == L"Garbled") {
        mGeneral::ExactValue wrong = value;
        wrong.data.pop_back();
        return mGeneral::WriteExact(key, wrong);
    }
    return mGeneral::WriteExact(key, value);
}

}  // namespace

TEST_CASE("a value whose write fails, or does not read back the same, stays in the source") {
    Sandbox sandbox;
    Values values{{L"Fine", {REG_SZ, Bytes(L"fine")}},
                  {L"Refused", {REG_SZ, Bytes(L"refused")}},
                  {L"Garbled", {REG_BINARY, {1, 2, 3, 4}}}};
    Put(HKEY_CURRENT_USER, kRun, values);
    MoveOptions faulty;
    faulty.write = FaultyWrite;
    MoveResult result = MoveStartupValues(kRun, kParked, faulty);
    CHECK(result.moved == 1);
    CHECK(result.kept == 2);
    Values left = Get(HKEY_CURRENT_USER, kRun);
    CHECK(left.size() == 2);
    CHECK(left[L"Refused"] == values[L"Refused"]);
    CHECK(left[L"Garbled"] == values[L"Garbled"]);
    CHECK(Get(HKEY_CURRENT_USER, kParked)[L"Fine"] == values[L"Fine"]);

    // Run again with a sound write: the rest follows, nothing is doubled.
    MoveResult again = MoveStartupValues(kRun, kParked);
    CHECK(again.moved == 2);
    CHECK(Get(HKEY_CURRENT_USER, kParked) == values);
}

TEST_CASE("on 64-bit Windows both views of HKEY_LOCAL_MACHINE move, each within itself") {
    Sandbox sandbox;
    if (!platform::Is64BitWindows()) {
        MESSAGE("32-bit Windows: one view");
        return;
    }
    Put(HKEY_LOCAL_MACHINE, kRun, {{L"Native", {REG_SZ, Bytes(L"64")}}}, KEY_WOW64_64KEY);
    Put(HKEY_LOCAL_MACHINE, kRun, {{L"Redirected", {REG_SZ, Bytes(L"32")}}}, KEY_WOW64_32KEY);
    MoveResult result = MoveStartupValues(kRun, kParked);
    CHECK(result.moved == 2);
    CHECK(Get(HKEY_LOCAL_MACHINE, kParked, KEY_WOW64_64KEY) ==
          Values{{L"Native", {REG_SZ, Bytes(L"64")}}});
    CHECK(Get(HKEY_LOCAL_MACHINE, kParked, KEY_WOW64_32KEY) ==
          Values{{L"Redirected", {REG_SZ, Bytes(L"32")}}});
    CHECK(Get(HKEY_LOCAL_MACHINE, kRun, KEY_WOW64_64KEY).empty());
    CHECK(Get(HKEY_LOCAL_MACHINE, kRun, KEY_WOW64_32KEY).empty());
}

TEST_CASE("parking 20,000 entries" * doctest::skip()) {
    Sandbox sandbox;
    Values many;
    for (int i = 0; i < 20000; ++i)
        many[L"Entry " + std::to_wstring(i)] = {
            REG_SZ, Bytes(L"C:\\tools\\t" + std::to_wstring(i) + L".exe")};
    Put(HKEY_CURRENT_USER, kRun, many);
    DWORD start = GetTickCount();
    MoveResult result = MoveStartupValues(kRun, kParked);
    MESSAGE("parked ", result.moved, " entries in ", GetTickCount() - start, " ms");
    CHECK(result.moved == 20000);
}

namespace {

// Refuses HKEY_LOCAL_MACHINE for writing, as Windows does a standard user;
// Wine grants every access, so there is no real cause here.
LSTATUS DenyMachine(HKEY root, const wchar_t* path, REGSAM access, HKEY* key) {
    if (root == HKEY_LOCAL_MACHINE) return ERROR_ACCESS_DENIED;
    return mGeneral::OpenKeyExact(root, path, access, key);
}

}  // namespace

TEST_CASE("what a move leaves behind is counted by place and reason, and said to the user") {
    Sandbox sandbox;
    const Value live{REG_SZ, Bytes(L"C:\\Tool 2\\tool.exe")},
        stale{REG_SZ, Bytes(L"C:\\Tool\\tool.exe")};
    const Value same{REG_SZ, Bytes(L"same")}, other{REG_SZ, Bytes(L"other")};
    for (REGSAM view : MachineViews()) Put(HKEY_LOCAL_MACHINE, kParked, {{L"M", other}}, view);
    Put(HKEY_CURRENT_USER, kParked, {{L"Updated", stale}, {L"Same", same}, {L"Parked", other}});
    Put(HKEY_CURRENT_USER, kRun, {{L"Updated", live}, {L"Same", same}});

    MoveOptions restore;
    restore.keepTargetValues = true;
    restore.openSource = DenyMachine;
    MoveResult result = MoveStartupValues(kParked, kRun, restore);
    // The live entry wins; the parked copy stays for the user to see.
    CHECK(Get(HKEY_CURRENT_USER, kRun) ==
          Values{{L"Updated", live}, {L"Same", same}, {L"Parked", other}});
    CHECK(Get(HKEY_CURRENT_USER, kParked) == Values{{L"Updated", stale}});
    for (REGSAM view : MachineViews()) CHECK(Get(HKEY_LOCAL_MACHINE, kParked, view).size() == 1);
    const int views = static_cast<int>(MachineViews().size());
    CHECK(result.moved == 2);
    CHECK(result.kept == views + 1);
    CHECK(result.keptBy[kMachineWide][kNeedsAdministrator] == views);
    CHECK(result.keptBy[kThisUser][kLiveEntryDiffers] == 1);
    CHECK_FALSE(result.Complete());
    const std::string said = support::Narrow(DescribeKept(result));
    INFO(said);
    CHECK(said.find(std::to_string(views) + (views == 1 ? " entry" : " entries") +
                    " for all users: moving ") != std::string::npos);
    CHECK(said.find("administrator") != std::string::npos);
    CHECK(said.find("1 entry for this user: the start-up list already holds a different entry") !=
          std::string::npos);

    // Parking replaces a stale parked copy: the value in Run is the one in use.
    MoveResult power = MoveStartupValues(kRun, kParked);
    CHECK(power.moved == 3);
    CHECK(power.Complete());
    CHECK(DescribeKept(power).empty());
    CHECK(Get(HKEY_CURRENT_USER, kParked)[L"Updated"] == live);

    // A missing key is no failure.
    CHECK(MoveStartupValues(L"Software\\TavrelTests\\Switch\\Absent", kRun).Complete());

    // A copy made but not taken out is a change, not a refusal.
    MoveOptions stuck;
    stuck.remove = [](HKEY, const std::wstring&) -> LSTATUS { return ERROR_ACCESS_DENIED; };
    MoveResult copied = MoveStartupValues(kParked, kRun, stuck);
    CHECK(copied.keptBy[kThisUser][kNotRemoved] == 3);
    CHECK(Get(HKEY_CURRENT_USER, kRun) == Get(HKEY_CURRENT_USER, kParked));
    CHECK(support::Narrow(DescribeKept(copied)).find("now in both places") != std::string::npos);
}

namespace {

HANDLE holding, release;
DWORD WINAPI HoldSwitch(void*) {
    StartupSwitchLock lock(0);
    SetEvent(holding);
    WaitForSingleObject(release, INFINITE);
    return lock.Held() ? 0 : 1;
}

}  // namespace

TEST_CASE("while another copy moves, a switch waits, and past its wait changes nothing") {
    holding = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE holder = CreateThread(nullptr, 0, HoldSwitch, nullptr, 0, nullptr);
    REQUIRE(WaitForSingleObject(holding, 5000) == WAIT_OBJECT_0);
    const auto before = support::Get(HKEY_CURRENT_USER, kStartupKey);
    MoveResult result;
    CHECK_FALSE(StartupSwitchLock(100).Held());
    CHECK_FALSE(ParkStartupValues(result, 100));
    CHECK(support::Get(HKEY_CURRENT_USER, kStartupKey) == before);
    SetEvent(release);
    CHECK(StartupSwitchLock(5000).Held());
    DWORD code = 1;
    WaitForSingleObject(holder, 5000);
    GetExitCodeThread(holder, &code);
    CHECK(code == 0);
    for (HANDLE h : {holder, holding, release}) CloseHandle(h);

    // Objects of another kind hold both names: the lock cannot be opened,
    // and that is a refusal too, never a move without it.
    HANDLE squatters[] = {CreateEventW(nullptr, TRUE, FALSE, L"Local\\TavrelStartupSwitch"),
                          CreateEventW(nullptr, TRUE, FALSE, L"Global\\TavrelStartupSwitch")};
    CHECK(StartupSwitchLock(100).Unavailable());
    CHECK_FALSE(ParkStartupValues(result, 100));
    CHECK(result.lockUnavailable);
    CHECK(support::Get(HKEY_CURRENT_USER, kStartupKey) == before);
    for (HANDLE h : squatters) CloseHandle(h);
}

TEST_CASE(
    "an entry is Windows' own only when its program and every file it names lie directly "
    "in the Windows or system folder") {
    // A program below the Windows folder, where users may write.
    const wchar_t* below = L"C:\\windows\\temp\\tavrel-own.exe";
    HANDLE file = CreateFileW(below, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(file != INVALID_HANDLE_VALUE);
    CloseHandle(file);
    struct Case {
        const wchar_t* data;
        DWORD type;
        bool own;
    };
    const std::wstring tooLong = L"C:\\windows\\system32\\notepad.exe" + std::wstring(4096, L' ');
    const Case cases[] = {
        {L"C:\\windows\\system32\\notepad.exe", REG_SZ, true},
        {tooLong.c_str(), REG_SZ, false},  // no command line of Windows' own is that long
        {L"\"C:\\WINDOWS\\SYSTEM32\\NOTEPAD.EXE\" /n", REG_SZ, true},
        {L"%SystemRoot%\\system32\\notepad.exe", REG_EXPAND_SZ, true},
        {L"%SystemRoot%\\system32\\notepad.exe", REG_SZ, false},  // not expanded
        {L"notepad", REG_SZ, true},                               // on the search path
        {L"C:\\windows\\notepad.exe C:\\windows\\win.ini", REG_SZ, true},
        {L"rundll32.exe shell32.dll,Control_RunDLL", REG_SZ, true},
        {below, REG_SZ, false},
        {L"C:\\windows\\system32\\..\\temp\\tavrel-own.exe", REG_SZ, false},
        {L"C:\\windows\\system32\\notepad.exe C:\\users\\x.txt", REG_SZ, false},
        {L"rundll32.exe C:\\Vendor\\x.dll,Run", REG_SZ, false},
        {L"cmd.exe /c start http://example.com", REG_SZ, false},
        {L"cmd.exe /c evil", REG_SZ, false},  // a host runs what it is given
        {L"C:\\Program Files\\Vendor\\tool.exe", REG_SZ, false},
        {L"", REG_SZ, false},
        {L"C:\\windows\\system32\\notepad.exe", REG_BINARY, false},
    };
    for (const Case& c : cases) {
        INFO(support::Narrow(c.data), " type ", c.type);
        const BYTE* bytes = reinterpret_cast<const BYTE*>(c.data);
        mGeneral::ExactValue value{
            L"entry", c.type, {bytes, bytes + (wcslen(c.data) + 1) * sizeof(wchar_t)}};
        CHECK(WindowsOwnProgram(value).empty() != c.own);
    }
    DeleteFileW(below);
}
