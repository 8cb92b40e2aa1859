// Living in the notification area: minimise to the tray, the icon's
// notifications as the shell sends them, and the tray menu.
#include <doctest/doctest.h>
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <string>
#include <vector>

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

TEST_CASE("a left click or a double-click on the icon brings the window back") {
    e2e::Tavrel app;
    REQUIRE(app.Start());
    for (UINT message : {WM_LBUTTONUP, WM_LBUTTONDBLCLK}) {
        INFO("message ", message);
        MinimiseToTray(app);
        app.SendTrayNotification(message);
        CHECK(e2e::WaitUntil([&] { return Shown(app) && !IsIconic(app.Window()); }, 5000));
        CHECK(e2e::WaitUntil([&] { return app.OnTaskbar(); }, 5000));
    }
    CHECK(app.Close());
}

TEST_CASE("the right button opens the tray menu, shown or hidden, and changes nothing") {
    e2e::Tavrel app;
    REQUIRE(app.Start());
    for (bool hidden : {false, true}) {
        INFO("window hidden: ", hidden);
        if (hidden) MinimiseToTray(app);
        app.SendTrayNotification(WM_RBUTTONUP);
        CHECK(app.MenuOpens());
        app.DismissMenu();
        app.Settle();
        CHECK(Shown(app) == !hidden);
    }
    CHECK(app.Close());
}

TEST_CASE("at 120 dpi the right button still opens the menu") {
    // The shell's 517 comes in as 517 pixels, 517 x 12 twips.
    e2e::DotsPerInch dpi(120);
    e2e::Tavrel app;
    REQUIRE(app.Start());
    app.SendTrayNotification(WM_RBUTTONUP);
    CHECK(app.MenuOpens());
    app.DismissMenu();
    CHECK(app.Close());
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
