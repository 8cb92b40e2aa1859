#include "shell/frmMain.h"

#include <cstring>

#include "base/twips.h"
#include "history/changes.h"
#include "platform/platform.h"
#include "shell/ScaleControls.h"
#include "shell/StartupWindow.h"
#include "shell/layout.h"
#include "tweaks/links.h"
#include "tweaks/tweaks.h"

namespace app {
NOTIFYICONDATAA TrayIconData{};
int16_t NominalTwipsPerPixelX = 0, NominalTwipsPerPixelY = 0;
int16_t NominalScreenWidth = 0, NominalScreenHeight = 0;
int16_t MaximizeSeen = kFalse;
}  // namespace app

StartupScale ComputeStartupScale(double screenWidthTwips, double screenHeightTwips,
                                 int16_t deviceWidthPixels, int16_t deviceHeightPixels) {
    StartupScale s{};
    s.nominalScreenHeight = static_cast<int16_t>(base::NearestInt(screenHeightTwips / 15));
    s.nominalScreenWidth = static_cast<int16_t>(base::NearestInt(screenWidthTwips / 15));
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

bool IsTrayNotification(WPARAM wParam, LPARAM lParam, UINT iconId, bool sent, LPARAM pointerAt) {
    if (wParam != iconId || HIWORD(lParam) != 0) return false;
    // A pointer move along the top row with the left button down (MK_LBUTTON
    // is 1) has the same shape; only the way it came tells them apart.
    return sent || static_cast<DWORD>(lParam) != static_cast<DWORD>(pointerAt);
}

namespace {

// Sent to every top-level window when the shell (re)starts, e.g. after
// Explorer has crashed: the tray is empty then, so the icon goes back in.
const UINT kTaskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");

}  // namespace

bool frmMain::Load(HINSTANCE instance) {
    return Form::Load(instance, shell::kMainWindow, shell::kLayout,
                      static_cast<int>(sizeof shell::kLayout / sizeof shell::kLayout[0]));
}

void frmMain::OnLoad() {
    actions_.clear();
    for (int i = 0; i < ControlCount(); ++i)
        if (const shell::Action* action = shell::ActionForControl(ControlAt(i).Name()))
            actions_.emplace_back(ControlAt(i).Id(), action);

    platform::Platform& system = platform::Current();
    // Run elevated, the program would not hear a non-elevated shell restart,
    // and its icon would not come back.
    if (kTaskbarCreated) system.AllowMessage(Hwnd(), kTaskbarCreated);
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
    Scale(scale.factorX, scale.factorY, *this);
    // The client area keeps its 96-dpi pixels too; left in twips it would
    // grow past the pictures and show bare window colour.
    SetClientSizeTwips(shell::kMainWindow.clientWidthTwips * scale.factorX,
                       shell::kMainWindow.clientHeightTwips * scale.factorY);

    SavedHeight = base::NearestInt(HeightTwips());
    SavedWidth = base::NearestInt(WidthTwips());

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

void frmMain::OnResize() {
    switch (GetWindowState()) {
        case tk::kMinimized:
            // Minimised means gone to the tray: off the screen and the taskbar.
            Hide();
            SetWindowState(tk::kMaximized);
            break;
        case tk::kMaximized: {
            SetWindowState(tk::kMaximized);
            SetHeightTwips(static_cast<float>(SavedHeight));
            SetWidthTwips(static_cast<float>(SavedWidth));
            if (app::MaximizeSeen == kFalse) {
                app::MaximizeSeen = kTrue;
                break;
            }
            float factorX = static_cast<float>(static_cast<double>(WidthTwips()) / SavedWidth);
            float factorY = static_cast<float>(static_cast<double>(HeightTwips()) / SavedHeight);
            Scale(factorX, factorY, *this);
            SavedHeight = base::NearestInt(HeightTwips());
            SavedWidth = base::NearestInt(WidthTwips());
            break;
        }
        default:
            break;
    }
}

void frmMain::OnTrayNotification(UINT mouseMessage) {
    switch (mouseMessage) {
        case WM_LBUTTONUP:
            RestoreWindow();
            break;
        case WM_LBUTTONDBLCLK:
            SetWindowState(tk::kNormal);
            SetRetainedDrawing();
            SetForegroundWindow(Hwnd());
            Show();
            Refresh();
            OnResize();
            break;
        case WM_RBUTTONUP:
            // The window must be foreground before TrackPopupMenu, or the menu
            // will not close when the user clicks elsewhere.
            SetForegroundWindow(Hwnd());
            ShowUndoItem();
            if (tk::Control* menu = Find(L"mPopupSys")) PopupMenu(*menu);
            break;
        default:
            break;
    }
}

void frmMain::RestoreWindow() {
    SetWindowState(tk::kNormal);
    SetForegroundWindow(Hwnd());
    Show();
}

void frmMain::Present(const shell::Action& action) {
    if (action.cue) tweaks::PlayCue(tk::ProgramFolder(), action.cue);
    if (action.page) tweaks::OpenPage(action.page, action.show);
}

void frmMain::ShowUndoItem() {
    tk::Control* item = Find(L"mUndo");
    if (!item) return;
    std::wstring title;
    // A malformed record in the way still lets the item say why when picked.
    history::UndoOutcome next = history::NextUndo(title);
    SetMenuItem(*item, title.empty() ? L"Undo" : L"Undo " + title,
                next != history::UndoOutcome::kNothing);
}

void frmMain::ShowStartupPrograms() {
    shell::ShowStartupWindow(reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(Hwnd(), GWLP_HINSTANCE)),
                             *this);
}

void frmMain::Run(const shell::Action& action) {
    shell::ActionContext context;
    context.window = this;
    shell::RunAction(action, context);
}

HRESULT frmMain::EmptyRecycleBin(const char* RecycleBinDrive, int16_t Slient) {
    std::string drive = RecycleBinDrive ? RecycleBinDrive : "";
    DWORD flags = Slient ? SHERB_NOCONFIRMATION | SHERB_NOPROGRESSUI | SHERB_NOSOUND : 0;
    return platform::Current().EmptyRecycleBin(nullptr, drive.empty() ? nullptr : drive.c_str(),
                                               flags);
}

void frmMain::OnClick(tk::Control& control) {
    for (const auto& [id, action] : actions_)
        if (id == control.Id()) return Run(*action);
}

bool frmMain::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == WM_MOUSEMOVE) {
        // The tray icon calls back with WM_MOUSEMOVE; the pointer itself
        // means nothing to this window.
        DWORD at = GetMessagePos();
        POINT p{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
        ScreenToClient(Hwnd(), &p);
        if (IsTrayNotification(wParam, lParam, app::TrayIconData.uID,
                               InSendMessageEx(nullptr) != ISMEX_NOSEND, MAKELPARAM(p.x, p.y)))
            OnTrayNotification(LOWORD(lParam));
        result = 0;
        return true;
    }
    if (message != kTaskbarCreated || !kTaskbarCreated) return false;
    platform::Current().NotifyIcon(NIM_ADD, app::TrayIconData);
    result = 0;
    return true;
}
