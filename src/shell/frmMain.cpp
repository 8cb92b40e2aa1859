#include "shell/frmMain.h"

#include <cstring>

#include "platform/platform.h"
#include "shell/ScaleControls.h"
#include "shell/layout.h"
#include "toolkit/twips.h"
#include "tweaks/links.h"

namespace app {
NOTIFYICONDATAA TrayIconData{};
int16_t NominalTwipsPerPixelX = 0, NominalTwipsPerPixelY = 0;
int16_t NominalScreenWidth = 0, NominalScreenHeight = 0;
int16_t MaximizeSeen = kFalse;
}  // namespace app

StartupScale ComputeStartupScale(double screenWidthTwips, double screenHeightTwips,
                                 int16_t deviceWidthPixels, int16_t deviceHeightPixels) {
    StartupScale s{};
    s.nominalScreenHeight = static_cast<int16_t>(tk::NearestInt(screenHeightTwips / 15));
    s.nominalScreenWidth = static_cast<int16_t>(tk::NearestInt(screenWidthTwips / 15));
    // A device context that reports no pixels would make the factors
    // infinite; the design layout is the better answer then.
    s.factorX =
        deviceWidthPixels > 0
            ? static_cast<float>(static_cast<double>(s.nominalScreenWidth) / deviceWidthPixels)
            : 1.0f;
    s.factorY =
        deviceHeightPixels > 0
            ? static_cast<float>(static_cast<double>(s.nominalScreenHeight) / deviceHeightPixels)
            : 1.0f;
    return s;
}

NOTIFYICONDATAA MakeTrayIconData(HWND window, HICON icon) {
    NOTIFYICONDATAA data{};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = window;
    data.uID = 1;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_MOUSEMOVE;
    data.hIcon = icon;
    std::memset(data.szTip, ' ', sizeof data.szTip);
    std::memcpy(data.szTip, kTrayTip, sizeof kTrayTip);  // the title and its NUL
    return data;
}

bool frmMain::Load(HINSTANCE instance) {
    return Form::Load(instance, shell::kMainWindow, shell::kLayout,
                      static_cast<int>(sizeof shell::kLayout / sizeof shell::kLayout[0]));
}

void frmMain::OnLoad() {
    platform::Platform& system = platform::Current();
    Show();
    Refresh();

    app::TrayIconData = MakeTrayIconData(Hwnd(), Icon());
    system.NotifyIcon(NIM_ADD, app::TrayIconData);

    app::MaximizeSeen = kFalse;

    HDC dc = GetDC(Hwnd());
    DeviceWidthPixels = static_cast<int16_t>(GetDeviceCaps(dc, HORZRES));
    DeviceHeightPixels = static_cast<int16_t>(GetDeviceCaps(dc, VERTRES));
    ReleaseDC(Hwnd(), dc);

    app::NominalTwipsPerPixelX = 15;
    app::NominalTwipsPerPixelY = 15;
    StartupScale scale = ComputeStartupScale(tk::ScreenWidthTwips(), tk::ScreenHeightTwips(),
                                             DeviceWidthPixels, DeviceHeightPixels);
    app::NominalScreenHeight = scale.nominalScreenHeight;
    app::NominalScreenWidth = scale.nominalScreenWidth;

    SetScaleMode(tk::kScaleTwips);
    ScaleControls(scale.factorX, scale.factorY, *this);

    SavedHeight = tk::NearestInt(HeightTwips());
    SavedWidth = tk::NearestInt(WidthTwips());

    if (!system.ThemeLibraryAvailable()) {
        system.ShowMessage(Hwnd(), L"Theme support error.", kProgramTitle, MB_ICONSTOP | MB_OK);
        Unload();
    }
}

void frmMain::OnUnload() {
    platform::Platform& system = platform::Current();
    system.StartCommand({platform::WindowsFolderPath(L"explorer.exe"),
                         std::wstring(tweaks::kMakerSite) + L"/popup2.htm", SW_SHOWMINIMIZED});
    system.NotifyIcon(NIM_DELETE, app::TrayIconData);
}
