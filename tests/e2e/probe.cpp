// A small helper for the scripts: waits for Tavrel's window to show, or asks
// it to close and waits until it has gone; `tray` waits for the window and
// its notification-area icon; `menu N` picks the tray menu's item N (0 the
// first). Exit code 0 on success.
//   probe wait|tray|close [timeout-ms]
//   probe menu N
#include <windows.h>

#include <cwchar>

#include "e2e/driver.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    DWORD timeout = argc > 2 ? static_cast<DWORD>(wcstoul(argv[2], nullptr, 10)) : 20000;
    auto window = [] { return FindWindowW(nullptr, e2e::kTitle); };
    if (lstrcmpW(argv[1], L"wait") == 0)
        return e2e::WaitUntil([&] { return window() && IsWindowVisible(window()); }, timeout) ? 0
                                                                                              : 1;
    if (lstrcmpW(argv[1], L"tray") == 0)
        return e2e::WaitUntil(
                   [&] {
                       HWND w = window();
                       return w && IsWindowVisible(w) && e2e::TrayIconPresent(w);
                   },
                   timeout)
                   ? 0
                   : 1;
    if (lstrcmpW(argv[1], L"menu") == 0)
        return window() && e2e::PickTrayMenuItem(window(), static_cast<int>(timeout)) ? 0 : 1;
    if (lstrcmpW(argv[1], L"close") == 0) {
        if (HWND w = window()) PostMessageW(w, WM_CLOSE, 0, 0);
        return e2e::WaitUntil([&] { return window() == nullptr; }, timeout) ? 0 : 1;
    }
    return 2;
}
