// Measures Tavrel against the least the platform needs for the same work:
//   start-up    process start until the window shows and the tray icon is
//               there, against bench/baseline.cpp;
//   footprint   peak working set and private bytes once started, likewise;
//   the switch  "Power Bootup" over N entries under one Run key, against a
//               bare lossless move (BareMove below).
// Run it through scripts/bench, which gives it a sandbox prefix and a screen.
//   bench [--runs N] [--sizes 1000,10000,20000] [--also OLD\\Tavrel.exe,...]
// --also times more builds of Tavrel (paths from this folder) in the same
// start-up rounds, so that the builds of a change compare under one load.
#include <windows.h>
// psapi.h needs windows.h first.
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "e2e/driver.h"
#include "support/registry.h"
#include "support/standins.h"

namespace {

constexpr wchar_t kRun[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kParked[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunDisabled";
constexpr wchar_t kEntryPrefix[] = L"Bench entry ";

double Seconds() {
    static LARGE_INTEGER frequency{};
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// ---- start-up and footprint ------------------------------------------------

struct Start {
    bool ok = false;
    double seconds = 0;
    double workingSetKib = 0;  // peak
    double privateKib = 0;
};

struct WindowSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK MatchVisibleWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid || !IsWindowVisible(window) || GetWindow(window, GW_OWNER)) return TRUE;
    search->found = window;
    return FALSE;
}

// Starts `program` from this folder and times it, from just before the
// process is created until its window is visible and its tray icon is there.
// The program is not told it is being watched.
Start TimeStart(const std::wstring& program) {
    Start start;
    // Tavrel opens its maker's page as it closes: the stand-in that takes the
    // page must be done before the next start is timed.
    support::StandinLog pages;
    std::wstring folder = e2e::DriverFolder(), exe = folder + L"\\" + program,
                 line = L"\"" + exe + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION process{};
    const double begun = Seconds();
    if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &si, &process))
        return start;
    // A poll every 5 ms: a tighter one loads this 2-core machine enough to
    // slow the program watched, the more so the more it draws. The moment
    // quoted is the middle of the last interval, between the last look that
    // found it not yet up and the first that found it up.
    WindowSearch search{process.dwProcessId, nullptr};
    const double deadline = begun + 30;
    double lastMiss = begun;
    while (Seconds() < deadline) {
        if (!search.found) EnumWindows(MatchVisibleWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found && e2e::TrayIconPresent(search.found)) {
            start.ok = true;
            break;
        }
        lastMiss = Seconds();
        Sleep(5);
    }
    start.seconds = (lastMiss + Seconds()) / 2 - begun;
    if (start.ok) {
        // The footprint once the program has settled and waits for input.
        WaitForInputIdle(process.hProcess, 10000);
        Sleep(300);
        PROCESS_MEMORY_COUNTERS_EX memory{};
        memory.cb = sizeof memory;
        if (GetProcessMemoryInfo(process.hProcess,
                                 reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                                 sizeof memory)) {
            start.workingSetKib = memory.PeakWorkingSetSize / 1024.0;
            // What Windows counts as private bytes; Wine fills only this field of the two for
            // another process.
            start.privateKib = memory.PagefileUsage / 1024.0;
        }
        PostMessageW(search.found, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (program.size() >= 10 && program.compare(program.size() - 10, 10, L"Tavrel.exe") == 0)
        pages.Wait(1, 10000);
    Sleep(300);  // whatever else the close set going settles
    return start;
}

// ---- the switch ------------------------------------------------------------

HKEY OpenKey(const wchar_t* path, HKEY root = HKEY_CURRENT_USER, REGSAM view = 0) {
    HKEY key = nullptr;
    RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr);
    return key;
}

DWORD ValueCount(HKEY key) {
    DWORD count = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                     nullptr, nullptr, nullptr);
    return count;
}

// Takes the benchmark's entries out of both keys, and Tavrel's records of
// the runs before: each run starts from the same, empty history, and fifty
// records of 20,000 entries would weigh down every later registry save.
void RemoveEntries() {
    support::DeleteTree(HKEY_CURRENT_USER, L"Software\\Tavrel\\History");
    for (const wchar_t* path : {kRun, kParked}) {
        HKEY key = OpenKey(path);
        if (!key) continue;
        for (const std::wstring& name : e2e::ValueNames(HKEY_CURRENT_USER, path))
            if (name.rfind(kEntryPrefix, 0) == 0) RegDeleteValueW(key, name.c_str());
        RegCloseKey(key);
    }
}

// N start-up entries of the usual kind: a quoted program path and a switch.
bool SeedEntries(int count) {
    HKEY key = OpenKey(kRun);
    if (!key) return false;
    bool ok = true;
    for (int i = 0; i < count && ok; ++i) {
        wchar_t name[64], data[160];
        swprintf(name, 64, L"%ls%05d", kEntryPrefix, i);
        swprintf(data, 160, L"\"C:\\Program Files\\Vendor %d\\agent%05d.exe\" /background", i % 97,
                 i);
        ok = RegSetValueExW(
                 key, name, 0, i % 5 ? REG_SZ : REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(data),
                 static_cast<DWORD>((wcslen(data) + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return ok;
}

// The least a lossless move does: list the names once and flush; for each,
// read the value, write it to the target, read it back and compare, delete it.
// Returns how many moved.
int BareMove(const wchar_t* source, const wchar_t* target, HKEY root = HKEY_CURRENT_USER,
             REGSAM view = 0) {
    HKEY from = OpenKey(source, root, view), to = OpenKey(target, root, view);
    int moved = 0;
    if (from && to) {
        std::vector<std::wstring> names;
        std::vector<wchar_t> name(32768);
        for (DWORD i = 0;; ++i) {
            DWORD length = static_cast<DWORD>(name.size());
            if (RegEnumValueW(from, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            names.emplace_back(name.data(), length);
        }
        // Where Tavrel's record of the names reaches the disk, before the first move.
        RegFlushKey(from);
        std::vector<BYTE> data(64 * 1024), back(64 * 1024);
        for (const std::wstring& n : names) {
            DWORD type = 0, size = static_cast<DWORD>(data.size());
            if (RegQueryValueExW(from, n.c_str(), nullptr, &type, data.data(), &size) !=
                ERROR_SUCCESS)
                continue;
            if (RegSetValueExW(to, n.c_str(), 0, type, data.data(), size) != ERROR_SUCCESS)
                continue;
            DWORD backType = 0, backSize = static_cast<DWORD>(back.size());
            if (RegQueryValueExW(to, n.c_str(), nullptr, &backType, back.data(), &backSize) !=
                    ERROR_SUCCESS ||
                backType != type || backSize != size || memcmp(back.data(), data.data(), size))
                continue;
            if (RegDeleteValueW(from, n.c_str()) == ERROR_SUCCESS) ++moved;
        }
    }
    if (from) RegCloseKey(from);
    if (to) RegCloseKey(to);
    return moved;
}

// "Power Bootup" from the tray menu over `count` fresh entries: from the pick
// until the Run key is empty. Returns a negative time if it did not finish.
double TimePowerBootup(int count) {
    RemoveEntries();
    if (!SeedEntries(count)) return -1;
    support::StandinLog log;
    e2e::Tavrel app;
    if (!app.Start()) return -1;
    HKEY run = OpenKey(kRun);
    const double begun = Seconds();
    double took = -1;
    if (app.PickTrayMenuItem(2)) {  // Power Bootup
        const double deadline = begun + 600;
        while (Seconds() < deadline && ValueCount(run) != 0) Sleep(10);
        if (ValueCount(run) == 0) took = Seconds() - begun;
        log.Wait(1, 30000);  // the restart reaches the stand-in
    }
    RegCloseKey(run);
    app.Close();
    return took;
}

// The bare move over the same entries, which "Power Bootup" has just parked:
// it brings them back, so the next round starts as this one did.
double TimeBareMove(int count, int& moved) {
    const double begun = Seconds();
    moved = BareMove(kParked, kRun);
    const double took = Seconds() - begun;
    return moved >= count ? took : -1;
}

struct Options {
    int runs = 5;
    std::vector<int> sizes{1000, 10000, 20000};
    std::vector<std::wstring> also;
};

Options ParseArguments(int argc, wchar_t** argv) {
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (lstrcmpW(argv[i], L"--runs") == 0) {
            options.runs = std::max(1, _wtoi(argv[i + 1]));
        } else if (lstrcmpW(argv[i], L"--sizes") == 0) {
            options.sizes.clear();
            for (const wchar_t* p = argv[i + 1]; *p;) {
                wchar_t* end = nullptr;
                long n = wcstol(p, &end, 10);
                if (end == p) break;
                if (n > 0) options.sizes.push_back(static_cast<int>(n));
                p = *end == L',' ? end + 1 : end;
            }
        } else if (lstrcmpW(argv[i], L"--also") == 0) {
            std::wstring list = argv[i + 1];
            for (size_t from = 0; from < list.size();) {
                size_t comma = list.find(L',', from);
                if (comma == std::wstring::npos) comma = list.size();
                if (comma > from) options.also.push_back(list.substr(from, comma - from));
                from = comma + 1;
            }
        }
    }
    return options;
}

double FileKib(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<double>(data.nFileSizeHigh) * 4294967296.0 + data.nFileSizeLow) / 1024.0;
}

double Ratio(double a, double b) { return b > 0 ? a / b : 0; }

// Which build is measured: a machine that cannot run 32-bit code benchmarks
// the x86_64 one.
constexpr const char* kArch = sizeof(void*) == 8 ? "x86_64" : "i686";

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const Options options = ParseArguments(argc, argv);
    bool failed = false;

    // Tavrel, the bare baseline, then any other builds asked for.
    std::vector<std::wstring> programs{L"Tavrel.exe", L"baseline.exe"};
    programs.insert(programs.end(), options.also.begin(), options.also.end());

    // One start of each first, not counted: it brings up the desktop and its
    // tray, and warms the file cache.
    {
        e2e::Tavrel warm;
        if (!warm.Start() || !warm.Close()) {
            std::printf("bench: Tavrel did not start\n");
            return 1;
        }
        for (size_t p = 1; p < programs.size(); ++p) TimeStart(programs[p]);
    }

    struct Figures {
        std::vector<double> start, workingSet, privateBytes;
    };
    std::vector<Figures> figures(programs.size());
    // Starts are quick and vary more than moves: three times as many.
    for (int run = 0; run < 3 * options.runs; ++run) {
        for (size_t p = 0; p < programs.size(); ++p) {
            Start s = TimeStart(programs[p]);
            if (!s.ok) {
                failed = true;
                continue;
            }
            figures[p].start.push_back(s.seconds * 1000);
            figures[p].workingSet.push_back(s.workingSetKib);
            figures[p].privateBytes.push_back(s.privateKib);
        }
    }
    std::printf("arch: %s, both programs\n", kArch);
    std::printf("%-34s %12s %12s %8s\n", "measure (median of runs)", "Tavrel", "baseline", "ratio");
    auto row = [](const char* what, double t, double b) {
        std::printf("%-34s %12.1f %12.1f %8.2f\n", what, t, b, Ratio(t, b));
    };
    const Figures &tavrel = figures[0], &bare = figures[1];
    row("start-up to window and tray (ms)", Median(tavrel.start), Median(bare.start));
    row("peak working set (KiB)", Median(tavrel.workingSet), Median(bare.workingSet));
    row("private bytes (KiB)", Median(tavrel.privateBytes), Median(bare.privateBytes));
    for (size_t p = 2; p < programs.size(); ++p) {
        const Figures& other = figures[p];
        std::printf("%ls (%.0f KiB), against the same baseline:\n", programs[p].c_str(),
                    FileKib(e2e::DriverFolder() + L"\\" + programs[p]));
        row("  start-up (ms)", Median(other.start), Median(bare.start));
        row("  peak working set (KiB)", Median(other.workingSet), Median(bare.workingSet));
        row("  private bytes (KiB)", Median(other.privateBytes), Median(bare.privateBytes));
    }
    std::fflush(stdout);

    std::vector<double> tavrelAt, bareAt;
    for (int count : options.sizes) {
        std::vector<double> t, b;
        for (int run = 0; run < options.runs; ++run) {
            double took = TimePowerBootup(count);
            int moved = 0;
            double bare = took >= 0 ? TimeBareMove(count, moved) : -1;
            if (took < 0 || bare < 0) {
                std::printf("bench: the move of %d entries did not finish (run %d)\n", count, run);
                failed = true;
                continue;
            }
            t.push_back(took * 1000);
            b.push_back(bare * 1000);
        }
        tavrelAt.push_back(Median(t));
        bareAt.push_back(Median(b));
        char what[64];
        std::snprintf(what, sizeof what, "switch, %d entries (ms)", count);
        row(what, tavrelAt.back(), bareAt.back());
        std::fflush(stdout);
    }
    RemoveEntries();
    // "Power Bootup" parked the prefix's own entries under HKEY_LOCAL_MACHINE
    // too: they go back where they were.
    for (REGSAM view : {REGSAM{0}, REGSAM{KEY_WOW64_64KEY}, REGSAM{KEY_WOW64_32KEY}})
        BareMove(kParked, kRun, HKEY_LOCAL_MACHINE, view);

    auto at = [&](int count, const std::vector<double>& times) {
        for (size_t i = 0; i < options.sizes.size(); ++i)
            if (options.sizes[i] == count) return times[i];
        return 0.0;
    };
    const double exeKib = FileKib(e2e::DriverFolder() + L"\\Tavrel.exe");
    std::printf("%-34s %12.0f\n", "Tavrel.exe (KiB)", exeKib);
    std::printf(
        "bench: arch=%s startup_ratio=%.2f workingset_ratio=%.2f private_ratio=%.2f exe_kib=%.0f "
        "switch_ratio=%.2f growth_10x=%.2f\n",
        kArch, Ratio(Median(tavrel.start), Median(bare.start)),
        Ratio(Median(tavrel.workingSet), Median(bare.workingSet)),
        Ratio(Median(tavrel.privateBytes), Median(bare.privateBytes)), exeKib,
        Ratio(at(20000, tavrelAt), at(20000, bareAt)),
        Ratio(at(10000, tavrelAt), at(1000, tavrelAt)));
    return failed ? 1 : 0;
}
