// Living in the notification area: minimise to the tray, the icon's
// notifications as the shell sends them, and the tray menu.
#include <doctest/doctest.h>
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <string>
#include <vector>

#include "e2e/densities.h"
#include "e2e/driver.h"
#include "support/standins.h"

using support::Narrow;

namespace {

bool Shown(const e2e::Tavrel& app) { return IsWindowVisible(app.Window()) != FALSE; }

void MinimiseToTray(const e2e::Tavrel& app) {
    app.Minimise();
    REQUIRE(e2e::WaitUntil([&] { return !Shown(app); }, 5000));
}

}  // namespace

TEST_CASE("minimising hides the window and its taskbar button; the tray icon stays") {
    e2e::Tavrel app;
    REQUIRE(app.Start());
    REQUIRE(e2e::WaitUntil([&] { return app.OnTaskbar(); }, 5000));
    MinimiseToTray(app);
    CHECK(e2e::WaitUntil([&] { return !app.OnTaskbar(); }, 5000));
    CHECK(app.TrayIconPresent());
    CHECK(app.Running());
    CHECK(app.Close());
}

TEST_CASE("pointer moves and button-downs over the icon change nothing") {
    e2e::Tavrel app;
    REQUIRE(app.Start());
    for (bool hidden : {false, true}) {
        INFO("window hidden: ", hidden);
        if (hidden) MinimiseToTray(app);
        for (UINT message : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_RBUTTONDOWN}) {
            app.SendTrayNotification(message);
            app.Settle();
        }
        Sleep(300);
        CHECK(Shown(app) == !hidden);
        CHECK_FALSE(app.MenuOpens(300));
    }
    CHECK(app.Close());
}

TEST_CASE(
    "at 96, 120 and 144 dpi a click or double-click on the icon restores; the right button "
    "opens the menu, shown or hidden, and changes nothing") {
    e2e::AtEachDpi({96, 120, 144}, [](DWORD, e2e::Tavrel& app) {
        for (UINT message : {WM_LBUTTONUP, WM_LBUTTONDBLCLK}) {
            INFO("message ", message);
            MinimiseToTray(app);
            app.SendTrayNotification(message);
            CHECK(e2e::WaitUntil([&] { return Shown(app) && !IsIconic(app.Window()); }, 5000));
            CHECK(e2e::WaitUntil([&] { return app.OnTaskbar(); }, 5000));
        }
        for (bool hidden : {false, true}) {
            INFO("window hidden: ", hidden);
            if (hidden) MinimiseToTray(app);
            app.SendTrayNotification(WM_RBUTTONUP);
            CHECK(app.MenuOpens());
            app.DismissMenu();
            app.Settle();
            CHECK(Shown(app) == !hidden);
        }
    });
}

namespace {

// Every column along the top, middle and bottom rows of the client area, and
// every row down its left, middle and right columns, in screen coordinates.
std::vector<POINT> SweepOver(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    const LONG w = client.right, h = client.bottom;
    std::vector<POINT> points;
    for (LONG y : {0L, h / 2, h - 1})
        for (LONG x = 0; x < w; ++x) points.push_back({origin.x + x, origin.y + y});
    for (LONG x : {0L, w / 2, w - 1})
        for (LONG y = 0; y < h; ++y) points.push_back({origin.x + x, origin.y + y});
    return points;
}

}  // namespace

TEST_CASE("at 144 and 192 dpi the real pointer anywhere over the window is never a tray click") {
    e2e::AtEachDpi({144, 192}, [](DWORD, e2e::Tavrel& app) {
        RECT frame;
        GetWindowRect(app.Window(), &frame);
        // A window of the driver's beside Tavrel's holds the foreground, which
        // a restore or the tray menu would take.
        HWND mine = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP | WS_VISIBLE,
                                    frame.right + 10, frame.top, 40, 40, nullptr, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
        REQUIRE(mine);
        SetForegroundWindow(mine);
        REQUIRE(e2e::WaitUntil([&] { return GetForegroundWindow() == mine; }, 5000));
        for (POINT p : SweepOver(app.Window())) {
            SetCursorPos(p.x, p.y);
            app.Settle();
        }
        CHECK_FALSE(app.MenuOpens(300));
        CHECK(GetForegroundWindow() == mine);
        RECT after;
        GetWindowRect(app.Window(), &after);
        CHECK(EqualRect(&after, &frame));
        CHECK(Shown(app));
        DestroyWindow(mine);
    });
}

TEST_CASE("Restore Tavrel brings back a hidden window and keeps a shown one") {
    e2e::Tavrel app;
    REQUIRE(app.Start());
    MinimiseToTray(app);
    REQUIRE(app.PickTrayMenuItem(0));
    CHECK(e2e::WaitUntil([&] { return Shown(app) && !IsIconic(app.Window()); }, 5000));
    REQUIRE(app.PickTrayMenuItem(0));
    app.Settle();
    CHECK(Shown(app));
    CHECK_FALSE(IsIconic(app.Window()));
    CHECK(app.Close());
}

TEST_CASE("Restart Computer starts the system folder's shutdown.exe, and Tavrel runs on") {
    support::StandinLog log;
    e2e::Tavrel app;
    REQUIRE(app.Start());
    REQUIRE(app.PickTrayMenuItem(1));
    auto entries = log.Wait(1);
    REQUIRE(entries.size() == 1);
    // A 32-bit program on 64-bit Windows reaches system32 through its
    // redirection; the stand-in sees where it really lies.
    wchar_t system[MAX_PATH];
    BOOL wow64 = FALSE;
#ifndef _WIN64
    IsWow64Process(GetCurrentProcess(), &wow64);
#endif
    if (!wow64 || !GetSystemWow64DirectoryW(system, MAX_PATH))
        GetSystemDirectoryW(system, MAX_PATH);
    CHECK(Narrow(entries[0].program) == Narrow(std::wstring(system) + L"\\shutdown.exe"));
    CHECK(Narrow(entries[0].commandLine) == "shutdown.exe -r -t 0");
    CHECK(Narrow(entries[0].show) == "2");
    app.Settle();
    CHECK(app.Running());
    CHECK(app.Close());
}

TEST_CASE("five trips to the tray and back leave every control where it was") {
    e2e::Tavrel app;
    REQUIRE(app.Start());
    std::vector<RECT> before;
    for (HWND c = GetWindow(app.Window(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        before.push_back(app.ClientRectOf(c));
    RECT frameBefore;
    GetWindowRect(app.Window(), &frameBefore);
    for (int trip = 0; trip < 5; ++trip) {
        MinimiseToTray(app);
        app.SendTrayNotification(trip % 2 ? WM_LBUTTONDBLCLK : WM_LBUTTONUP);
        REQUIRE(e2e::WaitUntil([&] { return Shown(app) && !IsIconic(app.Window()); }, 5000));
    }
    app.Settle();
    size_t i = 0;
    for (HWND c = GetWindow(app.Window(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT), ++i) {
        INFO("control ", i);
        REQUIRE(i < before.size());
        RECT now = app.ClientRectOf(c);
        CHECK(EqualRect(&now, &before[i]));
    }
    RECT frameAfter;
    GetWindowRect(app.Window(), &frameAfter);
    CHECK(frameAfter.right - frameAfter.left == frameBefore.right - frameBefore.left);
    CHECK(frameAfter.bottom - frameAfter.top == frameBefore.bottom - frameBefore.top);
    CHECK(app.Close());
}

TEST_CASE("when the shell starts again, the icon goes back into the tray") {
    e2e::Tavrel app;
    REQUIRE(app.Start());
    REQUIRE(app.TrayIconPresent());
    // What a restarted shell looks like to the program: an empty tray and the
    // TaskbarCreated broadcast.
    NOTIFYICONDATAW data{};
    data.cbSize = NOTIFYICONDATAW_V1_SIZE;
    data.hWnd = app.Window();
    data.uID = 1;
    REQUIRE(Shell_NotifyIconW(NIM_DELETE, &data));
    REQUIRE_FALSE(app.TrayIconPresent());
    PostMessageW(app.Window(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    CHECK(e2e::WaitUntil([&] { return app.TrayIconPresent(); }, 5000));
    CHECK(app.Close());
}
