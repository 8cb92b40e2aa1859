#include "tweaks/tweaks.h"

// The sound flags; WIN32_LEAN_AND_MEAN leaves them out of windows.h.
#include <mmsystem.h>

#include "platform/platform.h"
#include "tweaks/WriteRegPath.h"
#include "tweaks/links.h"

namespace tweaks {
namespace {

struct CueRow {
    const wchar_t* control;
    const wchar_t* literal;
};
constexpr CueRow kCues[] = {
    {L"Connection", L"\\click.wav"},    {L"Bandwidth", L"\\click.wav"},
    {L"CLEANME", L"\\click.wav"},       {L"CLEARRECYCLE", L"\\click.wav"},
    {L"HelpCommand", L"\\click.wav"},   {L"Picture1", L"\\click.wav"},
    {L"Label1", L"\\click.wav"},        {L"UpLeftText", L"\\click.wav"},
    {L"HeadButton", L"\\longfire.wav"}, {L"BellyButton", L"\\fire.wav"},
};

struct LinkRow {
    const wchar_t* control;
    const wchar_t* page;
    int show;
};
constexpr LinkRow kLinks[] = {
    {L"HelpCommand", kInformationPage, SW_SHOWMINIMIZED},
    {L"Picture1", kInformationPage, SW_SHOWMINIMIZED},
    {L"SpybotButton", kInformationPage, SW_SHOWMINIMIZED},
    {L"Label1", L"/taf.htm", SW_SHOWMINIMIZED},
    {L"UpLeftText", L"/popup2.htm", SW_HIDE},
};

constexpr char kMtuPath[] =
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Tcpip\\Parameters\\MTU";

void Apply(const Effect* effects, size_t count) {
    platform::Platform& system = platform::Current();
    for (size_t i = 0; i < count; ++i)
        system.SystemParameters(effects[i].action, effects[i].value, effects[i].value,
                                SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
}

}  // namespace

std::wstring CuePath(const std::wstring& programFolder, const wchar_t* literal) {
    return programFolder + literal;
}

void PlayCueFor(const std::wstring& control, const std::wstring& programFolder) {
    for (const CueRow& row : kCues)
        if (control == row.control) {
            platform::Current().PlaySoundFile(CuePath(programFolder, row.literal),
                                              SND_ASYNC | SND_NODEFAULT);
            return;
        }
}

bool OpenLinkFor(const std::wstring& control) {
    for (const LinkRow& row : kLinks)
        if (control == row.control) {
            platform::Current().StartCommand({platform::WindowsFolderPath(L"explorer.exe"),
                                              std::wstring(kMakerSite) + row.page, row.show});
            return true;
        }
    return false;
}

void DisableVisualEffects() {
    Apply(kDisableEffects, sizeof kDisableEffects / sizeof *kDisableEffects);
}
void BalanceVisualEffects() {
    Apply(kBalanceEffects, sizeof kBalanceEffects / sizeof *kBalanceEffects);
}

void SetMtu(const char* value) { WriteRegPath(kMtuPath, "DWordValue", value, REG_DWORD); }

bool StartCleanup() {
    // A 32-bit program on 64-bit Windows reaches the native system folder
    // through Sysnative; system32 would be redirected to the 32-bit one.
    std::wstring tool = platform::SystemFolderPath(L"cleanmgr.exe");
#ifndef _WIN64
    if (platform::Is64BitWindows()) tool = platform::WindowsFolderPath(L"Sysnative\\cleanmgr.exe");
#endif
    return platform::Current().StartCommand({tool, L"", SW_SHOWMINIMIZED});
}

}  // namespace tweaks
