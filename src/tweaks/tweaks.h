#pragma once
// What the picture buttons and link labels do: the sound cues, the links and
// the two sets of visual effects, each set a table read by one routine.
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

// The eight effects: the code that sets each, the one that reads it, and
// its name as the user sees it.
struct EffectSetting {
    UINT set, get;
    const wchar_t* name;
};
constexpr EffectSetting kEffectSettings[] = {
    {0x1003, 0x1002, L"menu animation"},      {0x101B, 0x101A, L"cursor shadow"},
    {0x1005, 0x1004, L"combo-box animation"}, {0x0025, 0x0026, L"full-window dragging"},
    {0x1013, 0x1012, L"menu fade"},           {0x1007, 0x1006, L"list-box smooth scrolling"},
    {0x1017, 0x1016, L"tooltip animation"},   {0x004B, 0x004A, L"font smoothing"},
};

// Each returns the names of the effects that did not take, or nothing.
std::wstring DisableVisualEffects();
std::wstring BalanceVisualEffects();
const wchar_t* EffectName(UINT action);  // by the code that sets it

// Where the TCP/IP maximum transmission unit lives, under HKEY_LOCAL_MACHINE.
constexpr wchar_t kTcpipKey[] = L"System\\CurrentControlSet\\Services\\Tcpip\\Parameters";
constexpr wchar_t kMtuName[] = L"MTU";

// The MTU, as decimal text; true when the registry holds it afterwards.
bool SetMtu(const char* value);
// Whether SetMtu could write: its key opens as WriteRegPath opens it.
bool CanSetMtu();

// The system's disk clean-up tool, by its full path.
std::wstring CleanupTool();

}  // namespace tweaks
