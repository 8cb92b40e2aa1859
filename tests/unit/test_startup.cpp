// frmMain's load and unload, with the outward calls recorded.
#include <doctest/doctest.h>
#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "history/changes.h"
#include "shell/frmMain.h"
#include "support/recorder.h"
#include "support/registry.h"
#include "support/standins.h"

using support::Narrow;

namespace {

std::vector<std::string> Calls(const platform::Recorder& recorder) {
    std::vector<std::string> calls;
    for (auto& call : recorder.calls) calls.push_back(Narrow(call));
    return calls;
}

std::string ExplorerCall() {
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    return "StartCommand " + Narrow(windows) +
           "\\explorer.exe|http://www.tavrel.example/popup2.htm|2";
}

frmMain* loading = nullptr;
bool shownWhenMessaged = false;
int16_t savedWidthWhenMessaged = 0;

void AtMessage(platform::Recorder&) {
    shownWhenMessaged = IsWindowVisible(loading->Hwnd()) != FALSE;
    savedWidthWhenMessaged = static_cast<int16_t>(loading->SavedWidth);
}

}  // namespace

TEST_CASE(
    "load lets the shell's restart through, shows the window, adds the icon, scales, saves "
    "the size, then probes the theme") {
    platform::Recorder recorder;
    frmMain form;
    REQUIRE(form.Load(GetModuleHandleW(nullptr)));
    CHECK(IsWindowVisible(form.Hwnd()));
    CHECK(Calls(recorder) == std::vector<std::string>{"AllowMessage TaskbarCreated", "NotifyIcon 0",
                                                      "ThemeLibraryAvailable"});
    CHECK(app::MaximizeSeen == 0);
    CHECK(app::NominalTwipsPerPixelX == 15);
    CHECK(app::NominalScreenWidth == 1024);  // 1024 x 768 pixels at 15 twips each
    CHECK(app::NominalScreenHeight == 768);
    CHECK(form.DeviceWidthPixels == 1024);
    CHECK(form.DeviceHeightPixels == 768);
    CHECK(form.GetScaleMode() == tk::kScaleTwips);
    CHECK(form.SavedWidth == static_cast<int32_t>(form.WidthTwips()));
    CHECK(form.SavedHeight == static_cast<int32_t>(form.HeightTwips()));

    float left;
    REQUIRE(form.Find(L"Bandwidth")->Left(left));
    CHECK(left == 2880);  // factors of 1 at 96 dpi

    form.Unload();
    CHECK(Calls(recorder) == std::vector<std::string>{"AllowMessage TaskbarCreated", "NotifyIcon 0",
                                                      "ThemeLibraryAvailable", ExplorerCall(),
                                                      "NotifyIcon 2"});
    REQUIRE(recorder.trayRecords.size() == 2);
    // The delete hands over the very record the add did.
    CHECK(std::memcmp(&recorder.trayRecords[0], &recorder.trayRecords[1],
                      sizeof(NOTIFYICONDATAA)) == 0);
    MSG msg;  // the unload posted the quit that ends the program's loop
    CHECK(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_CASE("without the theme library the message comes over the shown window, then unload runs") {
    platform::Recorder recorder;
    recorder.themeLibrary = false;
    recorder.onMessage = AtMessage;
    frmMain form;
    loading = &form;
    shownWhenMessaged = false;
    REQUIRE(form.Load(GetModuleHandleW(nullptr)));
    CHECK(shownWhenMessaged);
    CHECK(savedWidthWhenMessaged != 0);  // scaled and measured before the message
    CHECK(Calls(recorder) == std::vector<std::string>{"AllowMessage TaskbarCreated", "NotifyIcon 0",
                                                      "ThemeLibraryAvailable",
                                                      "ShowMessage Theme support error.|Tavrel|16",
                                                      ExplorerCall(), "NotifyIcon 2"});
    CHECK(form.Hwnd() == nullptr);  // the window is gone
    MSG msg;
    CHECK(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    loading = nullptr;
}

TEST_CASE("the tray record holds the first-version layout byte for byte") {
    HWND window = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));
    HICON icon = reinterpret_cast<HICON>(static_cast<INT_PTR>(0x5678));
    NOTIFYICONDATAA data = MakeTrayIconData(window, icon);
    CHECK(data.cbSize == NOTIFYICONDATAA_V1_SIZE);
    CHECK(data.hWnd == window);
    CHECK(data.uID == 1);
    CHECK(data.uFlags == 7);
    CHECK(data.uCallbackMessage == 512);
    CHECK(data.hIcon == icon);
    const size_t title = std::strlen(kTrayTip);
    CHECK(title <= 63);
    CHECK(std::memcmp(data.szTip, kTrayTip, title) == 0);
    CHECK(data.szTip[title] == '\0');
    for (size_t i = title + 1; i < sizeof data.szTip; ++i) {
        INFO("tip byte ", i);
        CHECK(data.szTip[i] == ' ');
    }
#ifndef _WIN64
    // The 88-byte record of the first shell version, as 32-bit Windows lays it out.
    const auto* bytes = reinterpret_cast<const unsigned char*>(&data);
    CHECK(data.cbSize == 88);
    auto dword = [&](size_t at) {
        uint32_t v;
        std::memcpy(&v, bytes + at, 4);
        return v;
    };
    CHECK(dword(0) == 88);
    CHECK(dword(4) == 0x1234);
    CHECK(dword(8) == 1);
    CHECK(dword(12) == 7);
    CHECK(dword(16) == 512);
    CHECK(dword(20) == 0x5678);
    CHECK(std::memcmp(bytes + 24, kTrayTip, title + 1) == 0);
#endif
}

TEST_CASE("the round buttons carry their tooltips, and no other control has one") {
    platform::Recorder recorder;
    frmMain form;
    REQUIRE(form.Load(GetModuleHandleW(nullptr)));
    auto findTip = [&] {
        HWND tip = FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr);
        while (tip && GetWindow(tip, GW_OWNER) != form.Hwnd())
            tip = FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr);
        return tip;
    };
    // Made when the pointer first comes over a round button, not before; the
    // pointer over any other control makes none.
    auto pointerOver = [&](const wchar_t* name) {
        SendMessageW(form.Hwnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(form.Find(name)->Hwnd()),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    };
    CHECK(findTip() == nullptr);
    pointerOver(L"Bandwidth");
    CHECK(findTip() == nullptr);
    pointerOver(L"BellyButton");
    HWND tip = findTip();
    REQUIRE(tip);
    REQUIRE(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0) == 2);
    std::vector<std::pair<std::string, std::string>> tools;
    for (int i = 0; i < 2; ++i) {
        wchar_t text[128] = L"";
        TOOLINFOW info{};
        info.cbSize = TTTOOLINFOW_V2_SIZE;
        info.lpszText = text;
        REQUIRE(SendMessageW(tip, TTM_ENUMTOOLSW, i, reinterpret_cast<LPARAM>(&info)));
        wchar_t owner[64] = L"";
        GetWindowTextW(reinterpret_cast<HWND>(info.uId), owner, 64);
        tools.emplace_back(Narrow(owner), Narrow(text));
    }
    std::sort(tools.begin(), tools.end());
    CHECK(tools[0].first == "Graphics & Performance");
    CHECK(tools[0].second == "Best Performance / Best Appearance");
    CHECK(tools[1].first == "Maximum Performance");
    CHECK(tools[1].second == "Worst Appearance / Best Performance");
    form.Unload();
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

TEST_CASE(
    "the tray menu holds its four items in order, then Undo, which names the change it would "
    "undo, then Start-up programs; the window has no menu bar") {
    support::ClearHistory();
    platform::Recorder recorder;
    frmMain form;
    REQUIRE(form.Load(GetModuleHandleW(nullptr)));
    CHECK(GetMenu(form.Hwnd()) == nullptr);
    HMENU menu = form.Find(L"mPopupSys")->Menu();
    REQUIRE(menu);
    std::vector<std::string> items;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[64] = L"";
        GetMenuStringW(menu, i, text, 64, MF_BYPOSITION);
        items.push_back(Narrow(text));
        CHECK(GetMenuState(menu, i, MF_BYPOSITION) ==
              MF_STRING);  // enabled, unchecked, no sub-menu
    }
    CHECK(items == std::vector<std::string>{"Restore Tavrel", "Restart Computer", "Power Bootup",
                                            "Normal Bootup", "Undo", "Start-up programs\u2026"});
    CHECK(form.Find(L"mPopRestore")->ArrayIndex() == 1);
    auto undoItem = [&] {
        form.ShowUndoItem();
        wchar_t text[64] = L"";
        GetMenuStringW(menu, 4, text, 64, MF_BYPOSITION);
        return Narrow(text) + (GetMenuState(menu, 4, MF_BYPOSITION) & MF_GRAYED ? " (greyed)" : "");
    };
    CHECK(undoItem() == "Undo (greyed)");
    history::Record record;
    record.kind = history::Kind::kMtu;
    record.title = L"MTU 68";
    record.settings = history::PlanMtu(68);
    REQUIRE(history::Begin(record));
    CHECK(undoItem() == "Undo MTU 68");
    REQUIRE(history::MarkUndone(record.sequence, record.sequence + 1));
    CHECK(undoItem() == "Undo (greyed)");
    support::ClearHistory();
    form.Unload();
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}
