// The window as a user sees it: where every control sits and how large the
// links' words are, at 96, 120 and 144 dots per inch, the focus and tab
// order, tooltips and the pointer.
#include <doctest/doctest.h>
#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "e2e/densities.h"
#include "e2e/driver.h"
#include "support/standins.h"

using support::Narrow;

namespace {

struct Expected {
    const wchar_t* text;  // the control's window text
    int left, top, width, height;
};

// Pixel rectangles at 96 dots per inch, relative to the client area.
constexpr Expected kControls[] = {
    {L"Connection", 192, 208, 201, 65},
    {L"Bandwidth", 192, 136, 201, 65},
    {L"Tavrel", 80, 24, 313, 89},
    {L"Recycle", 192, 352, 201, 65},
    {L"Clean Files", 192, 280, 201, 65},
    {L"SpyBot", 192, 448, 81, 49},
    {L"Help", 312, 448, 81, 49},
    {L"Graphics & Performance", 8, 320, 177, 177},
    {L"Maximum Performance", 8, 136, 177, 177},
    {L"Get More Features Now!", 8, 24, 65, 89},
    {L"Click here to refer a friend!", 200, 424, 185, 17},
};

void CheckControlsAtDesignPixels(const e2e::Tavrel& app) {
    for (const Expected& e : kControls) {
        INFO("control: ", Narrow(e.text));
        HWND control = app.Control(e.text);
        REQUIRE(control);
        RECT r = app.ClientRectOf(control);
        CHECK(std::abs(r.left - e.left) <= 1);
        CHECK(std::abs(r.top - e.top) <= 1);
        CHECK(std::abs((r.right - r.left) - e.width) <= 1);
        CHECK(std::abs((r.bottom - r.top) - e.height) <= 1);
    }
}

constexpr const wchar_t* kLinks[] = {L"Get More Features Now!", L"Click here to refer a friend!"};
constexpr COLORREF kLinkRed = RGB(128, 0, 0);

// The size of the box around a control's pixels of one colour, as the
// screen shows them.
SIZE InkSize(HWND control, COLORREF colour) {
    RECT r;
    GetWindowRect(control, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP picture = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(memory, picture);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    const DWORD wanted = GetRValue(colour) << 16 | GetGValue(colour) << 8 | GetBValue(colour);
    RECT ink{w, h, 0, 0};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if ((static_cast<const DWORD*>(bits)[y * w + x] & 0xFFFFFF) == wanted) {
                ink = {std::min<LONG>(ink.left, x), std::min<LONG>(ink.top, y),
                       std::max<LONG>(ink.right, x + 1), std::max<LONG>(ink.bottom, y + 1)};
            }
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(picture);
    ReleaseDC(nullptr, screen);
    return ink.right > ink.left ? SIZE{ink.right - ink.left, ink.bottom - ink.top} : SIZE{0, 0};
}

std::string FocusName(const e2e::Tavrel& app) {
    wchar_t text[128] = L"";
    GetWindowTextW(app.Focus(), text, 128);
    return Narrow(text);
}

// Tavrel's tooltip windows.
std::vector<HWND> Tooltips(const e2e::Tavrel& app) {
    std::vector<HWND> tips;
    HWND tip = nullptr;
    while ((tip = FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr))) {
        DWORD pid = 0;
        GetWindowThreadProcessId(tip, &pid);
        if (pid == app.ProcessId()) tips.push_back(tip);
    }
    return tips;
}

void RestOn(HWND control);

int ToolCount(const e2e::Tavrel& app) {
    int count = 0;
    for (HWND tip : Tooltips(app))
        count += static_cast<int>(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0));
    return count;
}

}  // namespace

TEST_CASE(
    "at 96, 120 and 144 dpi the window and every control keep their 96-dpi pixels, and "
    "the links' words their size, whole") {
    std::vector<SIZE> wordsAt96;
    e2e::AtEachDpi({96, 120, 144}, [&](DWORD dots, e2e::Tavrel& app) {
        RECT client;
        GetClientRect(app.Window(), &client);
        CHECK(client.right == 396);
        CHECK(client.bottom == 507);
        CHECK(GetMenu(app.Window()) == nullptr);
        CheckControlsAtDesignPixels(app);
        CHECK(app.TrayIconPresent());

        SetForegroundWindow(app.Window());
        SetCursorPos(0, 0);  // no tooltip over the words
        for (size_t i = 0; i < std::size(kLinks); ++i) {
            INFO("link: ", Narrow(kLinks[i]));
            SIZE words{};
            REQUIRE(e2e::WaitUntil(
                [&] { return (words = InkSize(app.Control(kLinks[i]), kLinkRed)).cy > 0; }, 5000));
            if (dots == 96) {
                wordsAt96.push_back(words);
                continue;
            }
            CHECK(std::abs(words.cx - wordsAt96[i].cx) <= 1);
            CHECK(std::abs(words.cy - wordsAt96[i].cy) <= 1);
        }
    });
}

TEST_CASE("focus starts on the head button and Tab walks the tab order, past the labels") {
    e2e::Tavrel app;
    REQUIRE(app.Start());
    REQUIRE(e2e::WaitUntil([&] { return app.Focus() != nullptr; }, 5000));
    CHECK(FocusName(app) == "Maximum Performance");
    const char* order[] = {"Graphics & Performance",
                           "Help",
                           "SpyBot",
                           "Clean Files",
                           "Recycle",
                           "Tavrel",
                           "Bandwidth",
                           "Connection",
                           "Maximum Performance"};
    for (const char* next : order) {
        HWND before = app.Focus();
        PostMessageW(before, WM_KEYDOWN, VK_TAB, 0);
        PostMessageW(before, WM_KEYUP, VK_TAB, 0);
        e2e::WaitUntil([&] { return app.Focus() != before; }, 3000);
        CHECK(FocusName(app) == next);
    }
    CHECK(app.Close());
}

TEST_CASE("only the two round buttons carry tooltips") {
    e2e::Tavrel app;
    REQUIRE(app.Start());
    // The tooltips are made when the pointer first comes over a round button.
    RestOn(app.Control(L"Maximum Performance"));
    CHECK(ToolCount(app) == 2);
    CHECK(app.Close());
}

namespace {

POINT MiddleOf(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// Rests the pointer on a control long enough for the window under it to answer.
void RestOn(HWND control) {
    POINT p = MiddleOf(control);
    SetCursorPos(p.x - 1, p.y);
    Sleep(50);
    SetCursorPos(p.x, p.y);
    Sleep(300);
}

HCURSOR CurrentPointer() {
    CURSORINFO info{};
    info.cbSize = sizeof info;
    GetCursorInfo(&info);
    return info.hCursor;
}

// A tooltip of Tavrel's that is showing. Wine does not hand its text to
// another process; the in-process tests check the words.
bool TipShowing(const e2e::Tavrel& app) {
    for (HWND tip : Tooltips(app))
        if (IsWindowVisible(tip)) return true;
    return false;
}

}  // namespace

TEST_CASE("resting the pointer shows a tooltip on the round buttons and nowhere else") {
    e2e::Tavrel app;
    REQUIRE(app.Start());
    SetForegroundWindow(app.Window());
    for (const wchar_t* round : {L"Maximum Performance", L"Graphics & Performance"}) {
        INFO("over ", Narrow(round));
        RestOn(app.Control(L"Bandwidth"));
        RestOn(app.Control(round));
        CHECK(e2e::WaitUntil([&] { return TipShowing(app); }, 5000));
    }
    for (const wchar_t* other : {L"Bandwidth", L"Help", L"Tavrel", L"Get More Features Now!"}) {
        INFO("over ", Narrow(other));
        RestOn(app.Control(other));
        Sleep(1200);  // well past the delay before a tooltip shows
        CHECK_FALSE(TipShowing(app));
    }
    CHECK(app.Close());
}

TEST_CASE("the pointer reads CLICK HERE over the top-left link only") {
    e2e::Tavrel app;
    REQUIRE(app.Start());
    SetForegroundWindow(app.Window());
    RestOn(app.Control(L"Click here to refer a friend!"));
    HCURSOR overFriendLink = CurrentPointer();
    RestOn(app.Control(L"Get More Features Now!"));
    HCURSOR overFeaturesLink = CurrentPointer();
    RestOn(app.Control(L"Bandwidth"));
    HCURSOR overButton = CurrentPointer();
    CHECK(overFeaturesLink != overFriendLink);
    CHECK(overFriendLink == overButton);
    CHECK(app.Close());
}
