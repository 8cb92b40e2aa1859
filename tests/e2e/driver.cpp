#include "e2e/driver.h"

namespace e2e {
namespace {

std::wstring DriverFolder() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

struct ControlSearch {
    const wchar_t* text;
    HWND found;
};

BOOL CALLBACK MatchControl(HWND child, LPARAM param) {
    auto* search = reinterpret_cast<ControlSearch*>(param);
    wchar_t text[256];
    GetWindowTextW(child, text, 256);
    if (lstrcmpW(text, search->text) != 0) return TRUE;
    search->found = child;
    return FALSE;
}

bool IsButton(HWND control) {
    wchar_t cls[64];
    GetClassNameW(control, cls, 64);
    return lstrcmpiW(cls, L"Button") == 0;
}

HWND FindMenuWindow(DWORD threadId) {
    HWND menu = nullptr;
    while ((menu = FindWindowExW(nullptr, menu, L"#32768", nullptr)))
        if (IsWindowVisible(menu) && GetWindowThreadProcessId(menu, nullptr) == threadId)
            return menu;
    return nullptr;
}

}  // namespace

Tavrel::~Tavrel() {
    if (Running()) {
        TerminateProcess(process_.hProcess, 1);
        WaitForExit(5000);
    }
    if (process_.hProcess) CloseHandle(process_.hProcess);
    if (process_.hThread) CloseHandle(process_.hThread);
}

bool Tavrel::Start(DWORD timeoutMs) {
    std::wstring folder = DriverFolder();
    std::wstring exe = folder + L"\\Tavrel.exe";
    std::wstring line = L"\"" + exe + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &si, &process_))
        return false;
    return WaitUntil(
        [&] {
            HWND w = nullptr;
            while ((w = FindWindowExW(nullptr, w, nullptr, kTitle))) {
                DWORD pid = 0;
                GetWindowThreadProcessId(w, &pid);
                if (pid == process_.dwProcessId && IsWindowVisible(w)) {
                    window_ = w;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
}

HWND Tavrel::Control(const wchar_t* text) const {
    ControlSearch search{text, nullptr};
    EnumChildWindows(window_, MatchControl, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool Tavrel::Click(const wchar_t* text) const {
    HWND control = Control(text);
    if (!control) return false;
    if (IsButton(control)) {
        SendMessageW(control, BM_CLICK, 0, 0);
        return true;
    }
    RECT r;
    GetClientRect(control, &r);
    LPARAM middle = MAKELPARAM((r.right - r.left) / 2, (r.bottom - r.top) / 2);
    SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, middle);
    SendMessageW(control, WM_LBUTTONUP, 0, middle);
    return true;
}

void Tavrel::PostTrayNotification(UINT mouseMessage) const {
    PostMessageW(window_, WM_MOUSEMOVE, 1, static_cast<LPARAM>(mouseMessage));
}

bool Tavrel::PickTrayMenuItem(int position, DWORD timeoutMs) const {
    PostTrayNotification(WM_RBUTTONUP);
    DWORD thread = GetWindowThreadProcessId(window_, nullptr);
    HWND menu = nullptr;
    if (!WaitUntil([&] { return (menu = FindMenuWindow(thread)) != nullptr; }, timeoutMs))
        return false;
    // A #32768 window that answers MN_GETHMENU is a live pop-up menu.
    if (!SendMessageW(menu, MN_GETHMENU, 0, 0)) return false;
    // The menu loop reads keys from its thread's queue, whatever window they name.
    for (int i = 0; i <= position; ++i) PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    return WaitUntil([&] { return !IsWindowVisible(menu); }, timeoutMs);
}

bool Tavrel::Close(DWORD timeoutMs) {
    if (!window_) return false;
    PostMessageW(window_, WM_CLOSE, 0, 0);
    return WaitForExit(timeoutMs);
}

bool Tavrel::WaitForExit(DWORD timeoutMs) const {
    return process_.hProcess && WaitForSingleObject(process_.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

bool Tavrel::Running() const { return process_.hProcess && !WaitForExit(0); }

RegistryData ReadValue(HKEY root, const std::wstring& path, const std::wstring& name, REGSAM view) {
    RegistryData value;
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
        return value;
    DWORD size = 0;
    LONG status = RegQueryValueExW(key, name.c_str(), nullptr, &value.type, nullptr, &size);
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        value.bytes.resize(size);
        status = RegQueryValueExW(key, name.c_str(), nullptr, &value.type,
                                  size ? value.bytes.data() : nullptr, &size);
        if (status == ERROR_SUCCESS) {
            value.bytes.resize(size);
            value.found = true;
            break;
        }
    }
    RegCloseKey(key);
    return value;
}

std::vector<std::wstring> ValueNames(HKEY root, const std::wstring& path, REGSAM view) {
    std::vector<std::wstring> names;
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
        return names;
    DWORD longest = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longest,
                     nullptr, nullptr, nullptr);
    std::wstring name(longest + 1, L'\0');
    for (DWORD i = 0;; ++i) {
        DWORD length = static_cast<DWORD>(name.size());
        if (RegEnumValueW(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name.data(), length);
    }
    RegCloseKey(key);
    return names;
}

}  // namespace e2e
