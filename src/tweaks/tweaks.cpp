#include "tweaks/tweaks.h"

// The sound flags; WIN32_LEAN_AND_MEAN leaves them out of windows.h.
#include <mmsystem.h>

#include <cstdlib>
#include <cstring>

#include "base/handle.h"
#include "platform/platform.h"
#include "registry/exact.h"
#include "tweaks/WriteRegPath.h"
#include "tweaks/links.h"

namespace tweaks {
namespace {

constexpr char kMtuPath[] =
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Tcpip\\Parameters\\MTU";

std::wstring Apply(const Effect* effects, size_t count) {
    platform::Platform& system = platform::Current();
    std::wstring failed;
    for (size_t i = 0; i < count; ++i)
        if (!system.SystemParameters(effects[i].action, effects[i].value, effects[i].value,
                                     SPIF_UPDATEINIFILE | SPIF_SENDCHANGE))
            failed += (failed.empty() ? L"" : L", ") + std::wstring(EffectName(effects[i].action));
    return failed;
}

}  // namespace

std::wstring CuePath(const std::wstring& programFolder, const wchar_t* literal) {
    return programFolder + literal;
}

void PlayCue(const std::wstring& programFolder, const wchar_t* literal) {
    platform::Current().PlaySoundFile(CuePath(programFolder, literal), SND_ASYNC | SND_NODEFAULT);
}

void OpenPage(const wchar_t* page, int show) {
    platform::Current().StartCommand(
        {platform::WindowsFolderPath(L"explorer.exe"), std::wstring(kMakerSite) + page, show});
}

std::wstring DisableVisualEffects() {
    return Apply(kDisableEffects, sizeof kDisableEffects / sizeof *kDisableEffects);
}
std::wstring BalanceVisualEffects() {
    return Apply(kBalanceEffects, sizeof kBalanceEffects / sizeof *kBalanceEffects);
}

const wchar_t* EffectName(UINT action) {
    for (const EffectSetting& effect : kEffectSettings)
        if (effect.set == action) return effect.name;
    return L"an effect";
}

bool SetMtu(const char* value) {
    WriteRegPath(kMtuPath, "DWordValue", value, REG_DWORD);
    // WriteRegPath reports nothing; the value read back tells.
    base::KeyHandle key;
    mGeneral::ExactValue mtu;
    if (mGeneral::OpenKeyExact(HKEY_LOCAL_MACHINE, kTcpipKey, KEY_QUERY_VALUE, key.Put()) !=
            ERROR_SUCCESS ||
        mGeneral::ReadExact(key.Get(), kMtuName, mtu) != ERROR_SUCCESS || mtu.type != REG_DWORD ||
        mtu.data.size() != sizeof(DWORD))
        return false;
    DWORD number = 0;
    std::memcpy(&number, mtu.data.data(), sizeof number);
    return number == static_cast<DWORD>(std::strtoul(value, nullptr, 10));
}

bool CanSetMtu() {
    base::KeyHandle key;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTcpipKey, 0, KEY_SET_VALUE, key.Put()) ==
           ERROR_SUCCESS;
}

std::wstring CleanupTool() {
    // A 32-bit program on 64-bit Windows reaches the native system folder
    // through Sysnative; system32 would be redirected to the 32-bit one.
#ifndef _WIN64
    if (platform::Is64BitWindows()) return platform::WindowsFolderPath(L"Sysnative\\cleanmgr.exe");
#endif
    return platform::SystemFolderPath(L"cleanmgr.exe");
}

}  // namespace tweaks
