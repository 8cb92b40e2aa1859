#pragma once
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "shell/ScaleControls.h"
#include "shell/actions.h"
#include "toolkit/form.h"

// Program-wide state, set up at start-up and used for the whole run.
namespace app {
extern NOTIFYICONDATAA TrayIconData;
extern int16_t NominalTwipsPerPixelX, NominalTwipsPerPixelY;
extern int16_t NominalScreenWidth, NominalScreenHeight;
extern int16_t MaximizeSeen;  // 0 false, -1 true
}  // namespace app

constexpr int16_t kTrue = -1;
constexpr int16_t kFalse = 0;
constexpr char kTrayTip[] = "Tavrel - Performance Adjuster";
using shell::kProgramTitle;

// The factors that put each control back on its 96-dpi pixels.
struct StartupScale {
    int16_t nominalScreenWidth, nominalScreenHeight;
    float factorX, factorY;
};
StartupScale ComputeStartupScale(double screenWidthTwips, double screenHeightTwips,
                                 int16_t deviceWidthPixels, int16_t deviceHeightPixels);

// The tray record: first-version layout, ANSI tip padded with spaces.
NOTIFYICONDATAA MakeTrayIconData(HWND window, HICON icon);

// Whether a WM_MOUSEMOVE is the tray icon's notification (wParam the icon's
// id, lParam the mouse message) rather than the pointer. The shell sends it
// (Wine's tray with SendNotifyMessage); a pointer move comes through the
// input queue with lParam at `pointerAt`, the client coordinates of the
// message's GetMessagePos.
bool IsTrayNotification(WPARAM wParam, LPARAM lParam, UINT iconId, bool sent, LPARAM pointerAt);

class frmMain final : public tk::Form, public shell::ActionWindow {
public:
    bool Load(HINSTANCE instance);

    int16_t DeviceWidthPixels = 0, DeviceHeightPixels = 0;
    int32_t SavedHeight = 0, SavedWidth = 0;
    // What the maximised resize rescales with; tests watch it.
    void (*Scale)(float factorX, float factorY, tk::Form& window) = ScaleControls;

    // Empties the recycle bin of one drive ("C:\\"), or of all drives for a
    // null or empty drive; without asking when Slient is nonzero.
    HRESULT EmptyRecycleBin(const char* RecycleBinDrive, int16_t Slient);

    // What the actions ask of the window.
    HWND Owner() override { return Hwnd(); }
    void Present(const shell::Action& action) override;
    void Restore() override { RestoreWindow(); }
    HRESULT EmptyBins() override { return EmptyRecycleBin(nullptr, kFalse); }
    void ShowStartupPrograms() override;
    // Names the change the tray's Undo item would undo, or greys it.
    void ShowUndoItem();

protected:
    void OnLoad() override;
    void OnUnload() override;
    void OnResize() override;
    void OnClick(tk::Control& control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void OnTrayNotification(UINT mouseMessage);
    void RestoreWindow();
    void Run(const shell::Action& action);

    // Each control's action, by control id, found once at load.
    std::vector<std::pair<int, const shell::Action*>> actions_;
};
