// The record of changes, read back from Wine's real registry: a record that is
// malformed, or names anything its change does not touch, is refused and
// never acted on; and only the last 50 are kept.
#include <doctest/doctest.h>
#include <windows.h>
// After windows.h.
#include <sddl.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "history/changes.h"
#include "platform/platform.h"
#include "support/recorder.h"
#include "support/registry.h"
#include "support/standins.h"
#include "tweaks/tweaks.h"

using support::Narrow;

namespace {

// Values of the record's own binary form: numbers and then texts.
std::vector<BYTE> Blob(std::initializer_list<DWORD> numbers, const std::wstring& text = L"") {
    std::vector<BYTE> bytes;
    for (DWORD n : numbers)
        bytes.insert(bytes.end(), {BYTE(n), BYTE(n >> 8), BYTE(n >> 16), BYTE(n >> 24)});
    const BYTE* first = reinterpret_cast<const BYTE*>(text.c_str());
    bytes.insert(bytes.end(), first, first + text.size() * sizeof(wchar_t));
    return bytes;
}

void Put(HKEY key, const wchar_t* name, DWORD type, const std::vector<BYTE>& bytes) {
    REQUIRE(RegSetValueExW(key, name, 0, type, bytes.data(), static_cast<DWORD>(bytes.size())) ==
            ERROR_SUCCESS);
}
void PutNumber(HKEY key, const wchar_t* name, DWORD n) { Put(key, name, REG_DWORD, Blob({n})); }

// Turns a record into one of a start-up switch, with these entries.
void AsSwitch(HKEY key, const std::vector<BYTE>& entries) {
    PutNumber(key, L"Kind", 3);
    Put(key, L"Settings", REG_BINARY, Blob({0}));
    Put(key, L"Entries 0", REG_BINARY, entries);
}

// A record of "MTU 68", as the button begins it.
history::Record MtuRecord() {
    history::Record record;
    record.kind = history::Kind::kMtu;
    record.title = L"MTU 68";
    record.settings = history::PlanMtu(68);
    REQUIRE(history::Begin(record));
    return record;
}

// The part for all users of a record, opened to be spoiled.
HKEY MachinePart(DWORD sequence) {
    HKEY key = nullptr;
    REQUIRE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, history::RecordKey(sequence, true).substr(19).c_str(),
                          0, KEY_SET_VALUE | WRITE_DAC | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS);
    return key;
}

// Gives a record's part for all users this owner and list, in SDDL.
void Secure(DWORD sequence, const wchar_t* sddl) {
    HKEY key;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    REQUIRE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, history::RecordKey(sequence, true).substr(19).c_str(),
                          0, WRITE_DAC | WRITE_OWNER | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS);
    REQUIRE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                                 nullptr));
    CHECK(RegSetKeySecurity(
              key, (sddl[0] == L'O' ? OWNER_SECURITY_INFORMATION : 0) | DACL_SECURITY_INFORMATION,
              descriptor) == ERROR_SUCCESS);
    LocalFree(descriptor);
    RegCloseKey(key);
}

// What any program of the user can write: the record that made an
// administrator's undo write an MTU of 1, as an earlier version kept it.
void ForgeUnderUser(DWORD sequence) {
    HKEY k;
    REQUIRE(RegCreateKeyExW(HKEY_CURRENT_USER, history::RecordKey(sequence).substr(18).c_str(), 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) == ERROR_SUCCESS);
    Put(k, L"Time", REG_BINARY, std::vector<BYTE>(8));
    Put(k, L"Title", REG_SZ, Blob({}, std::wstring(L"Effects off\0", 12)));
    PutNumber(k, L"Finished", 1);
    PutNumber(k, L"Parks", 0);
    Put(k, L"Settings", REG_BINARY, Blob({1, 1, 0, 1, 4, 4, 1, 1, 4, 4, 1500}));
    PutNumber(k, L"Kind", 1);
    RegCloseKey(k);
}

}  // namespace

TEST_CASE("a record that is malformed, forged or open to others is never acted on as it claims") {
    support::ClearHistory();
    struct Case {
        const char* what;
        void (*spoil)(HKEY part, DWORD sequence);
        const wchar_t* listed = L"refused: ";  // in the history's line
        const wchar_t* undo = nullptr;  // in the undo's preview; none: it is refused, by its key
    };
    // Settings: count, then each: setting, id, and before and after as
    // present, type, size, bytes. Entries: place, view, count, then each name.
    // clang-format off
    const Case cases[] = {
        {"an unknown kind", [](HKEY k, DWORD) { PutNumber(k, L"Kind", 9); }},
        {"the desktop wallpaper named as an effect", [](HKEY k, DWORD) { PutNumber(k, L"Kind", 2); Put(k, L"Settings", REG_BINARY, Blob({1, 3, 0x0014, 1, 4, 4, 1, 1, 4, 4, 0})); }},
        {"a second setting for one MTU", [](HKEY k, DWORD) { Put(k, L"Settings", REG_BINARY, Blob({2, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0})); }},
        {"settings cut short", [](HKEY k, DWORD) { Put(k, L"Settings", REG_BINARY, Blob({1, 1, 0, 1})); }},
        {"start-up entries for an MTU change", [](HKEY k, DWORD) { Put(k, L"Entries 0", REG_BINARY, Blob({0, 0x100, 1, 1}, L"A")); }},
        {"this user's entries among those for all users", [](HKEY k, DWORD) { AsSwitch(k, Blob({1, 0, 1, 1}, L"A")); }},
        {"an unknown place", [](HKEY k, DWORD) { AsSwitch(k, Blob({7, 0, 1, 1}, L"A")); }},
        {"a view the system has not", [](HKEY k, DWORD) { AsSwitch(k, Blob({0, 0x0300, 1, 1}, L"A")); }},
        {"a finished move that does not say what moved", [](HKEY k, DWORD) { AsSwitch(k, Blob({0, 0x100, 1, 1}, L"A")); PutNumber(k, L"Finished", 1); }},
        {"a name longer than the registry allows", [](HKEY k, DWORD) { AsSwitch(k, Blob({0, 0x100, 1, 16384}, std::wstring(16384, L'n'))); }},
        {"an MTU change that says it undid another", [](HKEY k, DWORD) { PutNumber(k, L"Undoes", 1); }},
        {"a key that everyone may write", [](HKEY, DWORD sequence) { Secure(sequence, L"D:(A;;KA;;;WD)"); },
         L"refused: its key lets others than administrators write it"},
        {"a change for all users this caller may not write", [](HKEY, DWORD sequence) { Secure(sequence, L"O:BAD:(A;;KR;;;WD)(A;;KA;;;SY)"); },
         L" | \"MTU 68\" | ", L"Needs an administrator: \"MTU 68\".\nNothing to undo"},
        {"a stored title that names another change", [](HKEY k, DWORD) { Put(k, L"Title", REG_SZ, Blob({}, std::wstring(L"Effects off\0", 12))); },
         L" | \"MTU 68\" | ", L"Would undo: \"MTU 68\""},
        {"a newer change for all users recorded under HKCU", [](HKEY, DWORD sequence) { ForgeUnderUser(sequence + 1); },
         L" | \"MTU 1500\" | MTU: 1 \u2192 1500 | cannot be undone: recorded for all users", L"Would undo: \"MTU 68\""},
    };
    // clang-format on
    for (const Case& c : cases) {
        INFO(c.what);
        history::Record record = MtuRecord();
        HKEY key = MachinePart(record.sequence);
        c.spoil(key, record.sequence);
        RegCloseKey(key);
        const std::wstring listed = history::DescribeHistory();
        std::wstring report;
        const bool refused = !c.undo;
        CHECK((history::Undo(report, true) == history::UndoOutcome::kRefused) == refused);
        INFO(Narrow(listed), Narrow(report));
        CHECK(listed.find(c.listed) != std::wstring::npos);
        CHECK(report.find(refused ? history::RecordKey(record.sequence, true) + L" was refused"
                                  : c.undo) != std::wstring::npos);
        Secure(record.sequence, L"O:BAD:(A;;KA;;;BA)");  // so that it can go
        support::ClearHistory();
    }
}

TEST_CASE("the last 50 records are kept, numbered in order, newest first") {
    support::ClearHistory();
    DWORD first = MtuRecord().sequence;
    for (int i = 1; i < 55; ++i) MtuRecord();
    std::vector<DWORD> kept = history::Sequences();
    REQUIRE(kept.size() == 50);
    CHECK(kept.front() == first + 54);
    CHECK(kept.back() == first + 5);
    support::ClearHistory();
}

TEST_CASE("an undo whose writes fail keeps its change the next one to undo, until one succeeds") {
    support::ClearHistory();
    // Visual styles off first: Wine turns them back on only with a theme file,
    // which the sandbox lacks.
    platform::Current().EnableTheming(FALSE);
    const std::vector<history::SettingChange> was = history::PlanEffects(true);
    SystemParametersInfoW(SPI_SETMENUANIMATION, 0, reinterpret_cast<void*>(TRUE),
                          SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
    std::wstring failed;
    REQUIRE(history::RecordSettings(history::Kind::kEffects, L"Effects off",
                                    history::PlanEffects(true), failed));
    struct Try {
        bool writesFail;  // the recorder takes the writes, so none of them holds
        history::UndoOutcome outcome;
        bool stillNext;
    };
    for (const Try& t : {Try{true, history::UndoOutcome::kRefused, true},
                         Try{false, history::UndoOutcome::kPutBack, false}}) {
        INFO("writes fail: ", t.writesFail);
        std::optional<platform::Recorder> recorder;
        if (t.writesFail) recorder.emplace();
        std::wstring report, next;
        CHECK(history::Undo(report, false) == t.outcome);
        INFO(Narrow(report));
        CHECK((history::NextUndo(next) == history::UndoOutcome::kPutBack) == t.stillNext);
    }
    for (const history::SettingChange& s : was) history::WriteSetting(s.setting, s.id, s.before);
    support::ClearHistory();
}

TEST_CASE("a record's detail is cut to what it holds, and listed quoted and escaped") {
    support::ClearHistory();
    // A detail that would fake a column and reorder, one character over,
    // where the cut would split a pair: the pair goes whole.
    const std::wstring detail = L"started C:\\x\u202E | undone" + std::wstring(233, L'd');
    REQUIRE(history::RecordOnce(L"Clean-up", detail + L"\U0001F600", [] { return true; }));
    const std::wstring listed = history::DescribeHistory();
    INFO(Narrow(listed));
    CHECK(listed.find(L" | \"Done for good\" | \"started C:\\\\x\\u202E | undone" +
                      std::wstring(233, L'd') + L"\" | cannot be undone\n") != std::wstring::npos);
    support::ClearHistory();
}
