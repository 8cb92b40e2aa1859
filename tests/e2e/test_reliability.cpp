// The real program under hard conditions: killed part way through a large
// start-up switch, and started beside look-alikes of the system programs it
// runs.
#include <doctest/doctest.h>
#include <windows.h>
// sddl.h needs windows.h first.
#include <sddl.h>

#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "e2e/driver.h"
#include "e2e/kept.h"
#include "support/folders.h"
#include "support/registry.h"
#include "support/runkeys.h"
#include "support/standins.h"
#include "support/trash.h"

using support::FolderPair;
using support::kParked;
using support::kRun;
using support::Narrow;
using support::Place;
using support::ReadTree;
using support::Tree;

using e2e::EffectsKept;
using e2e::PutExact;
using e2e::RunKeysAside;
using e2e::ValueKept;
using e2e::Values;

namespace {

// One start-up entry of the test's, and the place it belongs to.
struct Entry {
    size_t place;
    std::wstring name;
    DWORD type;
    std::vector<BYTE> bytes;
};

std::vector<BYTE> BytesOf(const std::wstring& text, bool terminated) {
    const BYTE* first = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(first, first + (text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
}

// Entries of every kind the registry holds. Names that differ only in
// characters outside the ANSI code page would collapse into one under a
// narrow copy; none is a case variant of another, which the registry would
// take for the same name.
std::vector<Entry> MakeEntries(std::mt19937& random, size_t places, size_t count) {
    const wchar_t* suffixes[] = {
        L"",
        L" \u0417\u0430\u043F\u0443\u0441\u043A",
        L" \u8D77\u52D5",
        L" \xD83D\xDE80",
        L" \u03B5\u03BA\u03BA\u03AF\u03BD\u03B7\u03C3\u03B7",
        L" \u05D4\u05E4\u05E2\u05DC\u05D4",
        L" caf\u00E9",
        L" \u0915\u093E\u0930",
        L" \uAC00\uB3D9",
        L"\t;=\\\"",
        L" \u0E40\u0E23\u0E34\u0E48\u0E21",
    };
    const size_t kinds = sizeof suffixes / sizeof *suffixes;
    auto upTo = [&](size_t most) { return std::uniform_int_distribution<size_t>(0, most)(random); };
    auto randomBytes = [&](size_t size) {
        std::vector<BYTE> bytes(size);
        for (BYTE& b : bytes) b = static_cast<BYTE>(upTo(255));
        return bytes;
    };
    std::vector<Entry> entries;
    entries.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        Entry entry{i % places,
                    L"Tavrel entry " + std::to_wstring(i / kinds) + suffixes[i % kinds],
                    REG_SZ,
                    {}};
        if (i % 1009 == 7) entry.name += L" " + std::wstring(300 + upTo(1700), L'n');
        std::wstring text = L"C:\\Program Files\\Entry " + std::to_wstring(i) + L"\\run.exe /q" +
                            std::wstring(upTo(60), L'x') + suffixes[(i / 3) % kinds];
        switch (i % 10) {
            case 0:
                entry.bytes = BytesOf(text, true);
                break;
            case 1:
                entry.type = REG_EXPAND_SZ;
                entry.bytes = BytesOf(L"%ProgramFiles%" + text.substr(16), true);
                break;
            case 2:  // no terminator
                entry.bytes = BytesOf(text, false);
                break;
            case 3:  // an odd byte count
                entry.bytes = BytesOf(text, true);
                entry.bytes.push_back(0x7F);
                break;
            case 4:
                entry.type = REG_MULTI_SZ;
                entry.bytes = BytesOf(text + L'\0' + text + L" /second" + L'\0', true);
                break;
            case 5:
                entry.type = REG_DWORD;
                entry.bytes = randomBytes(4);
                break;
            case 6:
                entry.type = REG_QWORD;
                entry.bytes = randomBytes(8);
                break;
            case 7:
                entry.type = REG_BINARY;
                entry.bytes = randomBytes(i % 500 == 7 ? 16384 : upTo(256));
                break;
            case 8:
                entry.type = REG_NONE;
                entry.bytes = randomBytes(upTo(16));
                break;
            default:  // an empty text, or a type no Windows defines
                if ((i / 10) % 2) {
                    entry.type = 0x00054711;
                    entry.bytes = randomBytes(upTo(64));
                }
                break;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

void Seed(const std::vector<Place>& places, const std::vector<Entry>& entries) {
    std::vector<HKEY> keys(places.size());
    for (size_t p = 0; p < places.size(); ++p)
        REQUIRE(RegCreateKeyExW(places[p].root, kRun, 0, nullptr, 0, KEY_SET_VALUE | places[p].view,
                                nullptr, &keys[p], nullptr) == ERROR_SUCCESS);
    for (const Entry& entry : entries)
        PutExact(keys[entry.place], entry.name, entry.type, entry.bytes);
    for (HKEY key : keys) RegCloseKey(key);
}

struct Keys {
    std::vector<Values> run, parked;
};

Keys ReadKeys(const std::vector<Place>& places) {
    Keys keys;
    for (const Place& place : places) {
        keys.run.push_back(e2e::ReadValues(place.root, kRun, place.view));
        keys.parked.push_back(e2e::ReadValues(place.root, kParked, place.view));
    }
    return keys;
}

size_t CountParked(const std::vector<Place>& places) {
    size_t count = 0;
    for (const Place& place : places) {
        HKEY key;
        if (RegOpenKeyExW(place.root, kParked, 0, KEY_QUERY_VALUE | place.view, &key) !=
            ERROR_SUCCESS)
            continue;
        DWORD values = 0;
        if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                             nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
            count += values;
        RegCloseKey(key);
    }
    return count;
}

// What is wrong with the entries as they stand, empty if nothing: every entry
// must stand whole (type and bytes) in its own place's start-up or parking
// key, and nothing else may stand there. With `allParked`, in the parking key
// only.
std::string Problems(const std::vector<Entry>& entries, const Keys& keys, bool allParked = false) {
    std::string problems;
    size_t count = 0;
    auto note = [&](const char* what, const std::wstring& name) {
        if (++count <= 5) problems += std::string(what) + ": " + Narrow(name.substr(0, 60)) + "\n";
    };
    auto same = [](const Values& key, const Entry& entry) {
        auto found = key.find(entry.name);
        return found != key.end() && found->second.type == entry.type &&
               found->second.bytes == entry.bytes;
    };
    std::vector<size_t> expected(keys.run.size());
    for (const Entry& entry : entries) {
        ++expected[entry.place];
        bool parked = same(keys.parked[entry.place], entry);
        bool running = same(keys.run[entry.place], entry);
        if (allParked && !parked)
            note("not parked whole", entry.name);
        else if (allParked && keys.run[entry.place].count(entry.name))
            note("left in Run", entry.name);
        else if (!parked && !running)
            note("lost or changed", entry.name);
    }
    for (size_t p = 0; p < keys.run.size(); ++p) {
        // A name in both keys is one entry, caught between its copy and its delete.
        size_t names = keys.parked[p].size();
        for (auto& [name, value] : keys.run[p]) names += keys.parked[p].count(name) ? 0 : 1;
        if (names != expected[p])
            problems += "place " + std::to_string(p) + " holds " + std::to_string(names) +
                        " names for " + std::to_string(expected[p]) + " entries\n";
    }
    if (count > 5) problems += "and " + std::to_string(count - 5) + " more\n";
    return problems;
}

// The seed comes from TAVREL_KILL_SEED when it is set, to replay a failure;
// it is told either way.
unsigned KillSeed() {
    char text[32];
    DWORD n = GetEnvironmentVariableA("TAVREL_KILL_SEED", text, sizeof text);
    const unsigned seed = n > 0 && n < sizeof text
                              ? static_cast<unsigned>(std::strtoul(text, nullptr, 10))
                              : GetTickCount() ^ (GetCurrentProcessId() << 16);
    MESSAGE("kill seed ", seed, " (replay with TAVREL_KILL_SEED=", seed, ")");
    return seed;
}

// Kills "Power Bootup" `rounds` times: the first once a seeded share (from
// `fewest` to `most`) more has been parked, the others a seeded delay of up
// to `delayMs` after the click, well inside the time a whole move takes.
// After each kill, `problems` must find nothing.
template <typename Count, typename Problems>
void KillRounds(std::mt19937& random, int rounds, size_t fewest, size_t most, DWORD delayMs,
                Count parked, Problems problems) {
    for (int round = 0; round < rounds; ++round) {
        CAPTURE(round);
        const size_t parkedBefore = parked();
        e2e::Tavrel app;
        REQUIRE(app.Start());
        REQUIRE(app.PickTrayMenuItem(2));  // Power Bootup
        const DWORD clicked = GetTickCount();
        if (round == 0) {
            const size_t share = std::uniform_int_distribution<size_t>(fewest, most)(random);
            CHECK(e2e::WaitUntil([&] { return parked() >= parkedBefore + share; }, 120000));
        } else {
            Sleep(std::uniform_int_distribution<DWORD>(0, delayMs)(random));
        }
        REQUIRE(app.Kill());
        MESSAGE("round ", round, ": killed ", GetTickCount() - clicked,
                " ms after the click, with ", parked(), " parked");
        CHECK(problems() == "");
    }
}

}  // namespace

TEST_CASE(
    "Power Bootup killed part way loses no start-up entry, run again it finishes, and every move "
    "is undone") {
    const unsigned seed = KillSeed();
    INFO("kill seed ", seed, " (replay with TAVREL_KILL_SEED=", seed, ")");
    std::mt19937 random(seed);
    RunKeysAside aside;
    support::ClearHistory();  // only this test's records
    const std::vector<Place> places = support::Places();
    const std::vector<Entry> entries = MakeEntries(random, places.size(), 20000);
    Seed(places, entries);
    REQUIRE(Problems(entries, ReadKeys(places)) == "");
    REQUIRE(CountParked(places) == 0);

    support::StandinLog log;
    // Six kills: a kill lands between two registry calls; six make it likely
    // that one falls between the copy of a value and its delete.
    KillRounds(
        random, 6, 1000, 10000, 500, [&] { return CountParked(places); },
        [&] { return Problems(entries, ReadKeys(places)); });

    e2e::Tavrel app;
    REQUIRE(app.Start());
    const size_t restarts = log.Read().size();
    REQUIRE(app.PickTrayMenuItem(2));
    // The restart comes once every entry has moved.
    auto started = log.Wait(restarts + 1, 120000);
    REQUIRE(started.size() == restarts + 1);
    CHECK(Narrow(started.back().commandLine) == "shutdown.exe -r -t 0");
    Keys keys = ReadKeys(places);
    CHECK(Problems(entries, keys, true) == "");
    for (size_t p = 0; p < places.size(); ++p) {
        INFO("place ", p);
        CHECK(keys.run[p].empty());
    }
    CHECK(app.Close());

    // Undone newest first, the moves that were cut short too: every entry is
    // back in Run, whole.
    for (int undo = 0; undo < 10; ++undo) {
        e2e::CommandRun run = e2e::RunTavrel(L"/Undo", L"Tavrel.exe", 300000);
        if (run.exitCode == 2) break;
        CHECK(run.exitCode == 0);
    }
    CHECK(Problems(entries, ReadKeys(places)) == "");
    CHECK(CountParked(places) == 0);
    support::ClearHistory();
}

namespace {

// What stays in a Startup folder: desktop.ini, and a shortcut to a program
// of Windows' own.
const wchar_t* const kStays[] = {L"desktop.ini", L"own.lnk"};

// Items of every kind, a few hundred in each folder: files of their own
// bytes, names outside every code page, one whose path is longer than
// MAX_PATH, hidden, system and read-only ones, folders with an item inside,
// shortcuts, and what stays.
std::vector<Tree> SeedItems(std::mt19937& random, const std::vector<FolderPair>& pairs,
                            DWORD attributes) {
    const wchar_t* suffixes[] = {L".txt", L" \u8D77\u52D5.cmd", L" \xD83D\xDE80.bat",
                                 L" caf\u00E9"};
    const DWORD kinds[] = {FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM,
                           FILE_ATTRIBUTE_READONLY};
    std::vector<Tree> items;
    for (const FolderPair& pair : pairs) {
        for (int i = 0; i < 400; ++i) {
            const std::wstring path = pair.live + L"\\Tavrel item " + std::to_wstring(i) +
                                      (i == 5 ? std::wstring(230, L'n') : L"") + suffixes[i % 4];
            std::string bytes(std::uniform_int_distribution<size_t>(0, 3000)(random), 'b');
            for (char& b : bytes) b = static_cast<char>(random());
            if (i % 25 == 3)
                REQUIRE((CreateDirectoryW(path.c_str(), nullptr) &&
                         support::MakeItem(path + L"\\inner.bin", &bytes, kinds[i % 3], i)));
            REQUIRE(support::MakeItem(path, i % 25 == 3 ? nullptr : &bytes, kinds[i % 3], i));
        }
        REQUIRE(
            support::MakeShortcut(pair.live + L"\\Tavrel item.lnk", L"C:\\Vendor\\x.exe", L"-q"));
        REQUIRE(support::MakeShortcut(pair.live + L"\\own.lnk",
                                      L"C:\\windows\\system32\\notepad.exe", L""));
        const std::string ini = "[.ShellClassInfo]\r\n";
        REQUIRE(support::MakeItem(pair.live + L"\\desktop.ini", &ini,
                                  FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, 1));
        items.push_back(ReadTree(pair.live, attributes));
    }
    return items;
}

size_t CountParkedItems(const std::vector<FolderPair>& pairs) {
    size_t count = 0;
    for (const FolderPair& pair : pairs)
        support::ForEachItem(pair.parked, [&](const WIN32_FIND_DATAW&) { ++count; });
    return count;
}

// What is wrong with the items, empty if nothing: each must stand whole in
// exactly one of its folder's two places, and nothing else may stand there.
// With `where`, all in the live folder (0) or all parked but what stays (1).
std::string FolderProblems(const std::vector<FolderPair>& pairs, const std::vector<Tree>& items,
                           DWORD attributes, int where = -1) {
    std::string problems;
    for (size_t p = 0; p < pairs.size(); ++p) {
        Tree live = ReadTree(pairs[p].live, attributes), both = live;
        const Tree parked = ReadTree(pairs[p].parked, attributes);
        for (auto& [path, item] : parked)
            if (!both.emplace(path, item).second)
                problems += "in both places: " + Narrow(path) + "\n";
        size_t stays = 0;
        for (const wchar_t* name : kStays) stays += live.erase(name);
        if (both != items[p] || (where == 0 && !parked.empty()) ||
            (where == 1 && (!live.empty() || stays != 2)))
            problems += "folder " + std::to_string(p) + ": " + std::to_string(live.size()) +
                        " live and " + std::to_string(parked.size()) + " parked for " +
                        std::to_string(items[p].size()) + ", or some changed\n";
    }
    return problems;
}

}  // namespace

TEST_CASE(
    "Power Bootup killed while it parks the Startup folders' items loses none, undo and Normal "
    "Bootup bring every one back whole, and none is ever replaced") {
    const unsigned seed = KillSeed();
    INFO("kill seed ", seed, " (replay with TAVREL_KILL_SEED=", seed, ")");
    std::mt19937 random(seed);
    RunKeysAside aside;
    support::ClearHistory();
    const std::vector<FolderPair> pairs = support::StartupFolderPairs();
    // Compared by every attribute where the file system keeps them.
    DWORD attributes = ~0u;
    if (!support::KeepsAttributes(pairs[0].live)) {
        MESSAGE("SKIP: DOS attributes of Startup items: this file system keeps none");
        attributes = FILE_ATTRIBUTE_DIRECTORY;
    }
    const std::vector<Tree> items = SeedItems(random, pairs, attributes);
    auto problems = [&](int where) { return FolderProblems(pairs, items, attributes, where); };

    KillRounds(
        random, 3, 1, 700, 300, [&] { return CountParkedItems(pairs); },
        [&] { return problems(-1); });
    // Every move undone, those cut short too.
    for (int undo = 0; undo < 5; ++undo)
        if (e2e::RunTavrel(L"/Undo", L"tavrelc.exe", 120000).exitCode == 2) break;
    CHECK(problems(0) == "");
    CHECK(e2e::RunTavrel(L"/PowerBootup /NoRestart", L"tavrelc.exe", 120000).exitCode == 3010);
    CHECK(problems(1) == "");
    CHECK(e2e::RunTavrel(L"/NormalBootup /NoRestart", L"tavrelc.exe", 120000).exitCode == 3010);
    CHECK(problems(0) == "");

    // No item is ever replaced: one of the same name parked already keeps the
    // live one where it is, and the live one keeps the parked one parked.
    const std::wstring name = L"Tavrel item 0.txt";
    const std::string other = "other";
    for (const FolderPair& pair : pairs)
        REQUIRE(support::MakeItem(pair.parked + L"\\" + name, &other, FILE_ATTRIBUTE_ARCHIVE, 1));
    for (const wchar_t* command : {L"/PowerBootup /NoRestart", L"/NormalBootup /NoRestart"}) {
        const e2e::CommandRun run = e2e::RunTavrel(command, L"tavrelc.exe", 120000);
        INFO(Narrow(run.output));
        CHECK(run.exitCode == 1);
        CHECK(Narrow(run.output).find(" item in this user's Startup folder: ") !=
              std::string::npos);
        for (size_t p = 0; p < pairs.size(); ++p) {
            CHECK(ReadTree(pairs[p].live, attributes)[name] == items[p].at(name));
            CHECK(ReadTree(pairs[p].parked)[name].substr(support::kItemHeader) == other);
        }
    }
    // A parking folder for all users that others could write is never moved
    // into or out of, and the report names it.
    PSECURITY_DESCRIPTOR open = nullptr;
    REQUIRE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;OICI;FA;;;WD)",
                                                                 SDDL_REVISION_1, &open, nullptr));
    CHECK(SetFileSecurityW(pairs[1].parked.c_str(), DACL_SECURITY_INFORMATION, open));
    LocalFree(open);
    const e2e::CommandRun refused = e2e::RunTavrel(L"/PowerBootup /NoRestart", L"tavrelc.exe");
    CHECK(refused.exitCode == 1);
    CHECK(Narrow(refused.output).find(Narrow(pairs[1].parked)) != std::string::npos);
    CHECK(ReadTree(pairs[1].live, attributes) == items[1]);
    for (const FolderPair& pair : pairs) {
        support::RemoveTree(pair.parked);
        support::ForEachItem(pair.live, [&](const WIN32_FIND_DATAW& found) {
            support::RemoveTree(pair.live + L"\\" + found.cFileName);
        });
    }
    support::ClearHistory();
}

namespace {

constexpr wchar_t kPlanted[] = L"C:\\tavrel-planted";
constexpr wchar_t kPlantedCurrent[] = L"C:\\tavrel-planted\\current";
const wchar_t* const kLookAlikes[] = {L"shutdown.exe", L"explorer.exe", L"cleanmgr.exe"};

// A copy of Tavrel with its sounds, and copies of the stand-in under the
// names of the system programs beside it and in the folder it starts in.
// The stand-in logs the path it ran from, so a look-alike that runs shows.
class PlantedFolders {
public:
    PlantedFolders() {
        std::wstring build = e2e::DriverFolder();
        for (const wchar_t* folder : {kPlanted, kPlantedCurrent}) {
            CreateDirectoryW(folder, nullptr);
            for (const wchar_t* name : kLookAlikes) Copy(build + L"\\standin.exe", folder, name);
        }
        for (const wchar_t* name : {L"Tavrel.exe", L"click.wav", L"fire.wav", L"longfire.wav"})
            Copy(build + L"\\" + name, kPlanted, name);
    }
    ~PlantedFolders() {
        for (const std::wstring& file : files_) DeleteFileW(file.c_str());
        RemoveDirectoryW(kPlantedCurrent);
        RemoveDirectoryW(kPlanted);
    }
    PlantedFolders(const PlantedFolders&) = delete;
    PlantedFolders& operator=(const PlantedFolders&) = delete;

    bool Complete() const { return copied_ == files_.size(); }

private:
    void Copy(const std::wstring& from, const wchar_t* folder, const wchar_t* name) {
        files_.push_back(std::wstring(folder) + L"\\" + name);
        if (CopyFileW(from.c_str(), files_.back().c_str(), FALSE)) ++copied_;
    }

    std::vector<std::wstring> files_;
    size_t copied_ = 0;
};

// Runs a program by its full path and waits for it.
bool RunAndWait(const std::wstring& program) {
    std::wstring line = program.substr(program.find_last_of(L'\\') + 1);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        kPlantedCurrent, &si, &pi))
        return false;
    bool ended = WaitForSingleObject(pi.hProcess, 10000) == WAIT_OBJECT_0;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return ended;
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }
std::wstring NameOf(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

// The Windows folder, the system folder and, on 64-bit Windows, the 32-bit
// one, where a 32-bit program's system32 leads.
bool SystemsOwn(const std::wstring& program) {
    wchar_t folder[MAX_PATH];
    std::vector<std::wstring> folders;
    if (GetWindowsDirectoryW(folder, MAX_PATH)) folders.push_back(folder);
    if (GetSystemDirectoryW(folder, MAX_PATH)) folders.push_back(folder);
    if (GetSystemWow64DirectoryW(folder, MAX_PATH)) folders.push_back(folder);
    for (const std::wstring& system : folders)
        if (lstrcmpiW(FolderOf(program).c_str(), system.c_str()) == 0) return true;
    return false;
}

}  // namespace

TEST_CASE(
    "only the system's own programs start, though look-alikes lie beside Tavrel and in "
    "its current folder") {
    PlantedFolders planted;
    REQUIRE(planted.Complete());
    support::StandinLog log;
    // Each look-alike runs and shows itself when started by its path; were
    // Tavrel to start one, the log would say so.
    size_t expected = 0;
    for (const wchar_t* folder : {kPlanted, kPlantedCurrent})
        for (const wchar_t* name : kLookAlikes) {
            std::wstring path = std::wstring(folder) + L"\\" + name;
            INFO("look-alike ", Narrow(path));
            REQUIRE(RunAndWait(path));
            auto entries = log.Wait(++expected);
            REQUIRE(entries.size() == expected);
            REQUIRE(lstrcmpiW(entries.back().program.c_str(), path.c_str()) == 0);
        }

    RunKeysAside aside;
    ValueKept mtu(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Services\\Tcpip\\Parameters",
                  L"MTU");
    EffectsKept effects;
    REQUIRE_FALSE(support::RecycleNewFile().empty());  // so that Recycle asks

    struct Press {
        const wchar_t* control;  // or, without one, the tray menu item at `item`
        int item;
        const wchar_t* starts;  // the program it starts, if any
    };
    const Press presses[] = {
        {L"Connection", 0, nullptr},
        {L"Bandwidth", 0, nullptr},
        {L"Tavrel", 0, L"explorer.exe"},
        {L"Recycle", 0, nullptr},
        {L"Clean Files", 0, L"cleanmgr.exe"},
        {L"SpyBot", 0, L"explorer.exe"},
        {L"Help", 0, L"explorer.exe"},
        {L"Maximum Performance", 0, nullptr},
        {L"Graphics & Performance", 0, nullptr},
        {L"Get More Features Now!", 0, L"explorer.exe"},
        {L"Click here to refer a friend!", 0, L"explorer.exe"},
        {nullptr, 0, nullptr},          // Restore Tavrel
        {nullptr, 1, L"shutdown.exe"},  // Restart Computer
        {nullptr, 2, L"shutdown.exe"},  // Power Bootup
        {nullptr, 3, L"shutdown.exe"},  // Normal Bootup
    };
    std::wstring program = std::wstring(kPlanted) + L"\\Tavrel.exe";
    e2e::Tavrel app;
    REQUIRE(app.Start(20000, true, kPlantedCurrent, program.c_str()));
    for (const Press& press : presses) {
        INFO("pressed: ",
             press.control ? Narrow(press.control) : "tray item " + std::to_string(press.item));
        if (press.control)
            REQUIRE(app.Click(press.control));
        else
            REQUIRE(app.PickTrayMenuItem(press.item));
        if (press.control && lstrcmpW(press.control, L"Recycle") == 0) {
            HWND question = app.WaitForMessageBox(nullptr);
            REQUIRE(question);
            e2e::Tavrel::Answer(question, IDNO);
            CHECK(e2e::WaitUntil([&] { return !IsWindow(question); }, 5000));
        }
        app.Settle();
        if (!press.starts) continue;
        auto entries = log.Wait(++expected);
        REQUIRE(entries.size() == expected);
        INFO("started: ", Narrow(entries.back().program));
        CHECK(SystemsOwn(entries.back().program));
        CHECK(lstrcmpiW(NameOf(entries.back().program).c_str(), press.starts) == 0);
    }
    CHECK_FALSE(app.WaitForMessageBox(nullptr, 0));  // nothing failed to start
    REQUIRE(app.Close());
    // Closing opens the maker's page.
    auto entries = log.Wait(++expected);
    REQUIRE(entries.size() == expected);
    INFO("started: ", Narrow(entries.back().program));
    CHECK(SystemsOwn(entries.back().program));
    CHECK(lstrcmpiW(NameOf(entries.back().program).c_str(), L"explorer.exe") == 0);
}

namespace {

void PutText(const wchar_t* path, const std::wstring& name, const std::wstring& text) {
    HKEY key;
    REQUIRE(RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr) == ERROR_SUCCESS);
    RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

std::string TextOf(const Values& values, const std::wstring& name) {
    auto found = values.find(name);
    if (found == values.end() || found->second.bytes.size() < sizeof(wchar_t)) return "(none)";
    return Narrow(reinterpret_cast<const wchar_t*>(found->second.bytes.data()));
}

bool RestartRecorded(const support::StandinLog& log, size_t count = 1, DWORD timeoutMs = 10000) {
    auto entries = log.Wait(count, timeoutMs);
    if (entries.size() != count) return false;
    for (auto& entry : entries)
        if (Narrow(entry.commandLine) != "shutdown.exe -r -t 0") return false;
    return true;
}

}  // namespace

TEST_CASE(
    "Normal Bootup keeps an entry its program put back, says so, and asks before restarting") {
    RunKeysAside aside;
    PutText(kRun, L"Updated", L"C:\\Tool 2\\tool.exe");
    PutText(kParked, L"Updated", L"C:\\Tool\\tool.exe");
    for (int answer : {IDNO, IDYES}) {
        INFO("answer ", answer);
        PutText(kParked, L"Parked", L"C:\\Other\\other.exe");
        support::StandinLog log;
        e2e::Tavrel app;
        REQUIRE(app.Start());
        REQUIRE(app.PickTrayMenuItem(3));  // Normal Bootup
        HWND box = app.WaitForMessageBox(nullptr);
        REQUIRE(box);
        wchar_t said[2048] = L"";
        GetDlgItemTextW(box, 0xFFFF, said, 2048);  // a message box's text
        const std::string text = Narrow(said);
        INFO(text);
        CHECK(text.find("1 entry for this user: the start-up list already holds a different "
                        "entry of that name") != std::string::npos);
        CHECK(text.find("Restart the computer now?") != std::string::npos);
        e2e::Tavrel::Answer(box, answer);
        if (answer == IDYES) {
            CHECK(RestartRecorded(log));
        } else {
            app.Settle();
            Sleep(500);
            CHECK(log.Read().empty());
            CHECK(app.Running());
        }
        const Values run = e2e::ReadValues(HKEY_CURRENT_USER, kRun);
        const Values parked = e2e::ReadValues(HKEY_CURRENT_USER, kParked);
        CHECK(TextOf(run, L"Updated") == "C:\\Tool 2\\tool.exe");
        CHECK(TextOf(parked, L"Updated") == "C:\\Tool\\tool.exe");
        CHECK(TextOf(run, L"Parked") == "C:\\Other\\other.exe");
        CHECK(parked.size() == 1);
        CHECK(app.Close());
    }
}

TEST_CASE("one switch at a time: a copy waits for the lock, and two copies at once lose nothing") {
    RunKeysAside aside;
    constexpr int kCount = 4000;
    auto name = [](int i) { return L"Lock " + std::to_wstring(i); };
    for (int i = 0; i < kCount; ++i) PutText(kRun, name(i), L"C:\\t\\" + std::to_wstring(i));
    {
        // Another copy's move, stood in for by the driver holding the lock.
        HANDLE held = CreateMutexW(nullptr, TRUE, L"Local\\TavrelStartupSwitch");
        REQUIRE(held);
        support::StandinLog log;
        e2e::Tavrel app;
        REQUIRE(app.Start());
        REQUIRE(app.PickTrayMenuItem(2));  // Power Bootup
        Sleep(1500);
        CHECK(e2e::ValueNames(HKEY_CURRENT_USER, kRun).size() ==
              kCount);  // waiting, moving nothing
        CHECK(log.Read().empty());
        ReleaseMutex(held);
        CloseHandle(held);
        CHECK(RestartRecorded(log));
        CHECK(e2e::ValueNames(HKEY_CURRENT_USER, kRun).empty());
        CHECK(app.Close());
    }
    {
        support::StandinLog log;
        e2e::Tavrel first, second;
        REQUIRE(first.Start());
        REQUIRE(second.Start());
        REQUIRE(first.PickTrayMenuItem(3));   // Normal Bootup, over every entry
        REQUIRE(second.PickTrayMenuItem(2));  // and Power Bootup at once
        CHECK(RestartRecorded(log, 2, 60000));
        const Values run = e2e::ReadValues(HKEY_CURRENT_USER, kRun);
        const Values parked = e2e::ReadValues(HKEY_CURRENT_USER, kParked);
        int lost = 0, twice = 0;
        for (int i = 0; i < kCount; ++i) {
            bool inRun = run.count(name(i)) != 0, inParked = parked.count(name(i)) != 0;
            lost += !inRun && !inParked;
            twice += inRun && inParked;
        }
        CHECK(lost == 0);
        CHECK(twice == 0);
        CHECK(first.Close());
        CHECK(second.Close());
    }
}
