// The tray side of frmMain in-process: notifications told from pointer moves,
// the resize handling's first-time rule, the restart command and a restarted
// shell.
#include <doctest/doctest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "shell/frmMain.h"
#include "support/recorder.h"
#include "support/standins.h"

using support::Narrow;

namespace {

std::vector<std::pair<float, float>> scaleCalls;
void RecordScale(float factorX, float factorY, tk::Form&) {
    scaleCalls.emplace_back(factorX, factorY);
}

struct LoadedForm {
    platform::Recorder recorder;
    frmMain form;
    LoadedForm() {
        scaleCalls.clear();
        form.Scale = RecordScale;
        REQUIRE(form.Load(GetModuleHandleW(nullptr)));
    }
    ~LoadedForm() {
        if (form.Hwnd()) form.Unload();
        MSG msg;
        PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }
};

// As the tray menu does when an item is picked.
void PickMenuItem(frmMain& form, const wchar_t* item) {
    tk::Control* control = form.Find(item);
    REQUIRE(control);
    SendMessageW(form.Hwnd(), WM_COMMAND, MAKEWPARAM(control->Id(), 0), 0);
}

}  // namespace

TEST_CASE("only the shell's notifications are tray clicks, never a pointer move") {
    const LPARAM elsewhere = MAKELPARAM(408, 261);
    struct Case {
        const char* what;
        WPARAM wParam;
        LPARAM lParam;
        bool sent;
        LPARAM pointerAt;
        bool tray;
    };
    const Case cases[] = {
        {"sent right click", 1, WM_RBUTTONUP, true, elsewhere, true},
        {"sent left click, pointer at the same spot", 1, WM_LBUTTONUP, true, WM_LBUTTONUP, true},
        {"posted double-click", 1, WM_LBUTTONDBLCLK, false, elsewhere, true},
        {"pointer at (514, 0), left button down", MK_LBUTTON, WM_LBUTTONUP, false, WM_LBUTTONUP,
         false},
        {"pointer at (517, 0), no button", 0, WM_RBUTTONUP, false, WM_RBUTTONUP, false},
        {"another icon's id", 2, WM_RBUTTONUP, true, elsewhere, false},
        {"y not 0", 1, MAKELPARAM(WM_RBUTTONUP, 3), true, elsewhere, false},
    };
    for (const Case& c : cases) {
        INFO(c.what);
        CHECK(IsTrayNotification(c.wParam, c.lParam, 1, c.sent, c.pointerAt) == c.tray);
    }
}

TEST_CASE("the first maximised resize only saves; each later one rescales by current over saved") {
    LoadedForm loaded;
    frmMain& form = loaded.form;
    REQUIRE(scaleCalls.size() == 1);  // start-up
    int32_t savedWidth = form.SavedWidth, savedHeight = form.SavedHeight;

    form.SetWindowState(tk::kMinimized);
    CHECK_FALSE(IsWindowVisible(form.Hwnd()));
    CHECK(form.GetWindowState() == tk::kMaximized);
    CHECK(app::MaximizeSeen == kTrue);
    CHECK(scaleCalls.size() == 1);

    PickMenuItem(form, L"mPopRestore");
    CHECK(IsWindowVisible(form.Hwnd()));
    CHECK(form.GetWindowState() == tk::kNormal);
    CHECK(scaleCalls.size() == 1);  // the normal state does nothing

    form.SetWindowState(tk::kMinimized);
    REQUIRE(scaleCalls.size() == 2);
    CHECK(scaleCalls[1] == std::make_pair(1.0f, 1.0f));
    CHECK(form.SavedWidth == savedWidth);
    CHECK(form.SavedHeight == savedHeight);
}

TEST_CASE("setting the state a window already has raises no resize") {
    LoadedForm loaded;
    frmMain& form = loaded.form;
    form.SetWindowState(tk::kMinimized);  // to the tray: hidden, state 2, flag set
    scaleCalls.clear();
    form.SetWindowState(tk::kMaximized);
    form.SetHeightTwips(static_cast<float>(form.SavedHeight));
    form.SetWidthTwips(static_cast<float>(form.SavedWidth));
    CHECK(scaleCalls.empty());
}

TEST_CASE("Restart Computer that cannot start says so, and the program runs on") {
    LoadedForm loaded;
    loaded.recorder.startResult = false;
    loaded.recorder.calls.clear();
    PickMenuItem(loaded.form, L"mPopRestart");
    REQUIRE(loaded.recorder.calls.size() == 2);
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    CHECK(Narrow(loaded.recorder.calls[0]) ==
          "StartCommand " + Narrow(system) + "\\shutdown.exe|-r -t 0|2");
    CHECK(
        Narrow(loaded.recorder.calls[1]).find("ShowMessage The computer could not be restarted") ==
        0);
    CHECK(IsWindow(loaded.form.Hwnd()));
}

TEST_CASE("TaskbarCreated puts the same tray record back") {
    LoadedForm loaded;
    loaded.recorder.calls.clear();
    SendMessageW(loaded.form.Hwnd(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    REQUIRE(loaded.recorder.calls.size() == 1);
    CHECK(Narrow(loaded.recorder.calls[0]) == "NotifyIcon 0");
    REQUIRE(loaded.recorder.trayRecords.size() == 2);
    CHECK(std::memcmp(&loaded.recorder.trayRecords[0], &loaded.recorder.trayRecords[1],
                      sizeof(NOTIFYICONDATAA)) == 0);
}
