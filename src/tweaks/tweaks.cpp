#include "tweaks/tweaks.h"

// The sound flags; WIN32_LEAN_AND_MEAN leaves them out of windows.h.
#include <mmsystem.h>

#include "platform/platform.h"
#include "tweaks/links.h"

namespace tweaks {

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

std::wstring CleanupTool() {
    // A 32-bit program on 64-bit Windows reaches the native system folder
    // through Sysnative; system32 would be redirected to the 32-bit one.
#ifndef _WIN64
    if (platform::Is64BitWindows()) return platform::WindowsFolderPath(L"Sysnative\\cleanmgr.exe");
#endif
    return platform::SystemFolderPath(L"cleanmgr.exe");
}

}  // namespace tweaks
