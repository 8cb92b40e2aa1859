// The record of changes, read back from Wine's real registry: a record that is
// malformed, or names anything its change does not touch, is refused and
// never acted on; and only the last 50 are kept.
#include <doctest/doctest.h>
#include <windows.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "history/changes.h"
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

// A valid record of "MTU 68", as the button writes it.
history::Record MtuRecord() {
    history::Record record;
    record.kind = history::Kind::kMtu;
    record.title = L"MTU 68";
    record.settings = history::PlanMtu(68);
    REQUIRE(history::Begin(record));
    return record;
}

}  // namespace

TEST_CASE("a record that is malformed or names what its change does not touch is refused") {
    support::DeleteTree(HKEY_CURRENT_USER, L"Software\\Tavrel");
    struct Case {
        const char* what;
        void (*spoil)(HKEY record);
    };
    // Settings: count, then each: setting, id, and before and after as
    // present, type, size, bytes. Entries: place, view, count, then each name.
    // clang-format off
    const Case cases[] = {
        {"an unknown kind", [](HKEY k) { PutNumber(k, L"Kind", 9); }},
        {"a title with control characters", [](HKEY k) { Put(k, L"Title", REG_SZ, Blob({}, std::wstring(L"MTU\x1b[2J\0", 9))); }},
        {"the desktop wallpaper named as an effect", [](HKEY k) { PutNumber(k, L"Kind", 2); Put(k, L"Settings", REG_BINARY, Blob({1, 3, 0x0014, 1, 4, 4, 1, 1, 4, 4, 0})); }},
        {"a second setting for one MTU", [](HKEY k) { Put(k, L"Settings", REG_BINARY, Blob({2, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0})); }},
        {"settings cut short", [](HKEY k) { Put(k, L"Settings", REG_BINARY, Blob({1, 1, 0, 1})); }},
        {"start-up entries for an MTU change", [](HKEY k) { Put(k, L"Entries 0", REG_BINARY, Blob({1, 0, 1, 1}, L"A")); }},
        {"an unknown place", [](HKEY k) { AsSwitch(k, Blob({7, 0, 1, 1}, L"A")); }},
        {"a view the system has not", [](HKEY k) { AsSwitch(k, Blob({0, 0x0300, 1, 1}, L"A")); }},
        {"a finished move that does not say what moved", [](HKEY k) { AsSwitch(k, Blob({1, 0, 1, 1}, L"A")); PutNumber(k, L"Finished", 1); }},
        {"a name longer than the registry allows", [](HKEY k) { AsSwitch(k, Blob({1, 0, 1, 16384}, std::wstring(16384, L'n'))); }},
        {"an MTU change that says it undid another", [](HKEY k) { PutNumber(k, L"Undoes", 1); }},
    };
    // clang-format on
    for (const Case& c : cases) {
        INFO(c.what);
        history::Record record = MtuRecord();
        history::Record read;
        std::wstring why;
        REQUIRE(history::Read(record.sequence, read, why));
        HKEY key;
        REQUIRE(RegOpenKeyExW(HKEY_CURRENT_USER,
                              history::RecordKey(record.sequence).substr(18).c_str(), 0,
                              KEY_SET_VALUE, &key) == ERROR_SUCCESS);
        c.spoil(key);
        RegCloseKey(key);
        CHECK_FALSE(history::Read(record.sequence, read, why));
        CHECK_FALSE(why.empty());
        std::wstring report;
        CHECK(history::Undo(report, false) == history::UndoOutcome::kRefused);
        INFO(Narrow(report));
        CHECK(report.find(history::RecordKey(record.sequence) + L" was refused") !=
              std::wstring::npos);
        history::Discard(record);
    }
    support::DeleteTree(HKEY_CURRENT_USER, L"Software\\Tavrel");
}

TEST_CASE("the last 50 records are kept, numbered in order, newest first") {
    support::DeleteTree(HKEY_CURRENT_USER, L"Software\\Tavrel");
    DWORD first = MtuRecord().sequence;
    for (int i = 1; i < 55; ++i) MtuRecord();
    std::vector<DWORD> kept = history::Sequences();
    REQUIRE(kept.size() == 50);
    CHECK(kept.front() == first + 54);
    CHECK(kept.back() == first + 5);
    support::DeleteTree(HKEY_CURRENT_USER, L"Software\\Tavrel");
}

TEST_CASE("an undo whose writes fail keeps its change the next one to undo, until one succeeds") {
    support::DeleteTree(HKEY_CURRENT_USER, L"Software\\Tavrel");
    const std::vector<history::SettingChange> was = history::PlanEffects(true);
    SystemParametersInfoW(SPI_SETMENUANIMATION, 0, reinterpret_cast<void*>(TRUE),
                          SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
    REQUIRE(history::RecordSettings(history::Kind::kEffects, L"Effects off",
                                    history::PlanEffects(true),
                                    [] { tweaks::DisableVisualEffects(); }));
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
    support::DeleteTree(HKEY_CURRENT_USER, L"Software\\Tavrel");
}

TEST_CASE("a record's title and detail are cut to what it holds, and listed quoted and escaped") {
    support::DeleteTree(HKEY_CURRENT_USER, L"Software\\Tavrel");
    // A title that would fake a column, a detail that reorders, each one
    // character over, where the cut would split a pair: the pair goes whole.
    const std::wstring title = L"Clean \"Files\" | undone" + std::wstring(57, L't'),
                       detail = L"started C:\\x\u202E" + std::wstring(242, L'd');
    REQUIRE(history::RecordOnce((title + L"\U0001F600").c_str(), detail + L"\U0001F600",
                                [] { return true; }));
    history::Record read;
    std::wstring why;
    REQUIRE(history::Read(history::Sequences().front(), read, why));
    CHECK((read.title == title && read.detail == detail));
    std::wstring listed = history::DescribeHistory();
    INFO(Narrow(listed));
    CHECK(listed.find(L" | \"Clean \\\"Files\\\" | undone" + std::wstring(57, L't') +
                      L"\" | \"started C:\\\\x\\u202E" + std::wstring(242, L'd') +
                      L"\" | cannot be undone\n") != std::wstring::npos);
    support::DeleteTree(HKEY_CURRENT_USER, L"Software\\Tavrel");
}
