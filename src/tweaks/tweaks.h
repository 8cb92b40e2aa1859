#pragma once
// What the picture buttons and link labels do: the sound cues, the links,
// and the values of the two sets of visual effects, which the settings'
// rows (history/changes.h) apply.
#include <windows.h>

#include <string>

namespace tweaks {

// The cue path: the program's folder as given, directly followed by the
// literal, which starts with a backslash; at a drive's root that makes two.
std::wstring CuePath(const std::wstring& programFolder, const wchar_t* literal);

// Plays a cue (a literal such as "\\click.wav") from the program's folder;
// returns at once.
void PlayCue(const std::wstring& programFolder, const wchar_t* literal);

// Opens a page of the maker's site in the browser.
void OpenPage(const wchar_t* page, int show);

struct Effect {
    UINT action;
    UINT value;
};
// All off, in the head button's order.
constexpr Effect kDisableEffects[] = {
    {0x1003, 0}, {0x101B, 0}, {0x1005, 0}, {0x0025, 0},
    {0x1013, 0}, {0x1007, 0}, {0x1017, 0}, {0x004B, 0},
};
// Font smoothing, full-window drag and smooth list boxes on; the rest off.
constexpr Effect kBalanceEffects[] = {
    {0x004B, 1}, {0x101B, 0}, {0x1005, 0}, {0x1003, 0},
    {0x0025, 1}, {0x1017, 0}, {0x1013, 0}, {0x1007, 1},
};

// Where the TCP/IP maximum transmission unit lives, under HKEY_LOCAL_MACHINE.
constexpr wchar_t kTcpipKey[] = L"System\\CurrentControlSet\\Services\\Tcpip\\Parameters";
constexpr wchar_t kMtuName[] = L"MTU";

// The MTU's value as WriteRegPath names it.
constexpr char kMtuPath[] =
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Tcpip\\Parameters\\MTU";

// The system's disk clean-up tool, by its full path.
std::wstring CleanupTool();

}  // namespace tweaks
