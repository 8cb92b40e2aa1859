#pragma once
// Drives the real Tavrel.exe from outside, the way a user and the shell do:
// finds its window, clicks controls, sends tray notifications, picks tray
// menu items, and reads the registry back with wide calls.
#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace e2e {

constexpr wchar_t kTitle[] = L"Tavrel - Performance Adjuster for Windows";

// The folder of the driver, where the build put Tavrel.exe, its sounds and
// the stand-in.
std::wstring DriverFolder();

// Whether the shell holds `window`'s tray icon with id 1: a modify that
// changes nothing succeeds only for an icon that is there.
bool TrayIconPresent(HWND window);

// Opens the tray menu of Tavrel's `window` with a right click on the icon and
// picks the item at `position` (0 is the first) with the keyboard. False if
// no menu came up.
bool PickTrayMenuItem(HWND window, int position, DWORD timeoutMs = 5000);

class Tavrel {
public:
    Tavrel() = default;
    ~Tavrel();  // ends the program if a test left it running
    Tavrel(const Tavrel&) = delete;
    Tavrel& operator=(const Tavrel&) = delete;

    // Starts Tavrel.exe from the driver's folder (or the full path
    // `program`) and waits until its window is up and, with `untilIdle`,
    // until it waits for input. `currentFolder` is the folder it starts in;
    // the program's own folder by default.
    bool Start(DWORD timeoutMs = 20000, bool untilIdle = true,
               const wchar_t* currentFolder = nullptr, const wchar_t* program = nullptr);
    HWND Window() const { return window_; }
    DWORD ProcessId() const { return process_.dwProcessId; }

    // A child control by its window text (picture buttons carry their words).
    HWND Control(const wchar_t* text) const;
    // Presses a button (BM_CLICK) or clicks any other control in its middle.
    // Returns at once: the program handles the click after.
    bool Click(const wchar_t* text) const;
    // Lets the program act on what was posted to it before. A sent message is
    // handled before posted ones, inside the program's next GetMessage; the
    // second one only once that GetMessage has returned the posted message
    // and come back.
    void Settle() const;
    // What the shell sends for a version-0 icon with WM_MOUSEMOVE as callback,
    // sent the way Wine's tray sends it: with SendNotifyMessage.
    void SendTrayNotification(UINT mouseMessage) const;
    // e2e::PickTrayMenuItem for this program's window.
    bool PickTrayMenuItem(int position, DWORD timeoutMs = 5000) const;

    // Answers a message box of Tavrel's with the given command (IDOK, IDNO...).
    static void Answer(HWND box, int command);

    // Whether a pop-up menu of Tavrel's comes up within the time. (Wine does
    // not lend a menu's items to another process; in-process tests read them.)
    bool MenuOpens(DWORD timeoutMs = 5000) const;
    // Closes an open tray menu with Escape.
    void DismissMenu() const;
    // Minimises the window the way its caption button does.
    void Minimise() const;
    // Whether the window has a visible button on the taskbar.
    bool OnTaskbar() const;

    // Asks the window to close and waits for the process to end.
    bool Close(DWORD timeoutMs = 10000);
    // Ends the process at once, the way a crash or a power cut would: no
    // unload, no clean-up. Waits until it is gone.
    bool Kill(DWORD timeoutMs = 10000);
    // A control's rectangle in pixels, relative to the window's client area.
    RECT ClientRectOf(HWND control) const;
    // The window that has the keyboard focus in Tavrel's thread.
    HWND Focus() const;
    // Whether the shell holds Tavrel's tray icon (see e2e::TrayIconPresent).
    bool TrayIconPresent() const;
    // A message box of Tavrel's that shows `text` (any box for nullptr);
    // nullptr if none came.
    HWND WaitForMessageBox(const wchar_t* text, DWORD timeoutMs = 10000) const;
    bool WaitForExit(DWORD timeoutMs) const;
    bool Running() const;

private:
    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
};

// A command-line run of Tavrel.exe, its output redirected to a file.
struct CommandRun {
    bool started = false;
    DWORD exitCode = 0;
    std::wstring output;       // written as UTF-8, read back
    bool windowShown = false;  // a visible top-level window of its came up
};
// Starts Tavrel.exe, or another program beside it such as the console
// companion, with `arguments`, and waits for it to end.
CommandRun RunTavrel(const std::wstring& arguments, const wchar_t* program = L"Tavrel.exe",
                     DWORD timeoutMs = 60000);

// Sets HKCU\Control Panel\Desktop\LogPixels for the programs started while
// it lives, and puts back what was there.
class DotsPerInch {
public:
    explicit DotsPerInch(DWORD dpi);
    ~DotsPerInch();
    DotsPerInch(const DotsPerInch&) = delete;
    DotsPerInch& operator=(const DotsPerInch&) = delete;

private:
    bool hadValue_ = false;
    DWORD oldValue_ = 0;
};

// Wine's per-program DLL load order for Tavrel.exe, e.g. ("uxtheme",
// "disabled"), while it lives. A child does not see WINEDLLOVERRIDES changes
// made by its parent, but it reads this key.
class DllOverride {
public:
    DllOverride(const wchar_t* dll, const wchar_t* order);
    ~DllOverride();
    DllOverride(const DllOverride&) = delete;
    DllOverride& operator=(const DllOverride&) = delete;

private:
    std::wstring dll_;
};

// A registry value read back whole: type and every data byte.
struct RegistryData {
    bool found = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
};
RegistryData ReadValue(HKEY root, const std::wstring& path, const std::wstring& name,
                       REGSAM view = 0);
std::vector<std::wstring> ValueNames(HKEY root, const std::wstring& path, REGSAM view = 0);
// Every value of a key by name, each read whole in one pass over the key;
// empty when the key is missing.
std::map<std::wstring, RegistryData> ReadValues(HKEY root, const std::wstring& path,
                                                REGSAM view = 0);

// Waits until `ready` holds or the time runs out; returns its last answer.
template <typename Ready>
bool WaitUntil(Ready ready, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (ready()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);
    }
}

}  // namespace e2e
