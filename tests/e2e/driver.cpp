#include "e2e/driver.h"

// shellapi.h needs windows.h, which driver.h brings.
#include <shellapi.h>

#include <algorithm>
#include <utility>

namespace e2e {

std::wstring DriverFolder() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

namespace {

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

// By text alone: under the common controls v6 the class names are versioned.
bool HasChildText(HWND parent, const wchar_t* text) {
    ControlSearch search{text, nullptr};
    EnumChildWindows(parent, MatchControl, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr;
}

struct BoxSearch {
    DWORD pid;
    const wchar_t* text;
    HWND found;
};

BOOL CALLBACK MatchBox(HWND w, LPARAM param) {
    auto* search = reinterpret_cast<BoxSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    wchar_t cls[16] = L"";
    GetClassNameW(w, cls, 16);
    if (pid != search->pid || lstrcmpW(cls, L"#32770") != 0 || !IsWindowVisible(w) ||
        (search->text && !HasChildText(w, search->text)))
        return TRUE;
    search->found = w;
    return FALSE;
}

HWND FindMenuWindow(DWORD threadId) {
    HWND menu = nullptr;
    while ((menu = FindWindowExW(nullptr, menu, MAKEINTATOM(32768), nullptr)))
        if (IsWindowVisible(menu) && GetWindowThreadProcessId(menu, nullptr) == threadId)
            return menu;
    return nullptr;
}

// The shell comes up with the desktop, which Wine starts for the first
// process that touches a window. A program started before the tray exists
// loses its icon, so start the desktop here and wait for the tray.
bool WaitForShell() {
    static bool ready = false;
    if (ready) return true;
    HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    ready = WaitUntil([] { return FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr; }, 15000);
    if (probe) DestroyWindow(probe);
    return ready;
}

}  // namespace

Tavrel::~Tavrel() {
    if (Running()) Kill(5000);
    if (process_.hProcess) CloseHandle(process_.hProcess);
    if (process_.hThread) CloseHandle(process_.hThread);
}

bool Tavrel::Start(DWORD timeoutMs, bool untilIdle, const wchar_t* currentFolder,
                   const wchar_t* program) {
    if (!WaitForShell()) return false;
    std::wstring exe = program ? program : DriverFolder() + L"\\Tavrel.exe";
    std::wstring folder = exe.substr(0, exe.find_last_of(L'\\'));
    std::wstring line = L"\"" + exe + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        currentFolder ? currentFolder : folder.c_str(), &si, &process_))
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
               timeoutMs) &&
           // The window shows early in start-up; the rest is done once the
           // program waits for input.
           (!untilIdle || WaitForInputIdle(process_.hProcess, timeoutMs) == 0);
}

HWND Tavrel::Control(const wchar_t* text) const {
    ControlSearch search{text, nullptr};
    EnumChildWindows(window_, MatchControl, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool Tavrel::Click(const wchar_t* text) const {
    HWND control = Control(text);
    if (!control) return false;
    // Posted, not sent: a handler may open a message box and wait for us.
    if (IsButton(control)) {
        PostMessageW(control, BM_CLICK, 0, 0);
        return true;
    }
    RECT r;
    GetClientRect(control, &r);
    LPARAM middle = MAKELPARAM((r.right - r.left) / 2, (r.bottom - r.top) / 2);
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, middle);
    PostMessageW(control, WM_LBUTTONUP, 0, middle);
    return true;
}

void Tavrel::Settle() const {
    for (int i = 0; i < 2; ++i)
        SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, 5000, nullptr);
}

void Tavrel::SendTrayNotification(UINT mouseMessage) const {
    SendNotifyMessageW(window_, WM_MOUSEMOVE, 1, static_cast<LPARAM>(mouseMessage));
}

void Tavrel::Answer(HWND box, int command) {
    // What the box's buttons send; their class names depend on the controls' version.
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
}

bool Tavrel::MenuOpens(DWORD timeoutMs) const {
    DWORD thread = GetWindowThreadProcessId(window_, nullptr);
    HWND menu = nullptr;
    return WaitUntil([&] { return (menu = FindMenuWindow(thread)) != nullptr; }, timeoutMs) &&
           SendMessageW(menu, MN_GETHMENU, 0, 0) != 0;
}

void Tavrel::DismissMenu() const {
    HWND menu = FindMenuWindow(GetWindowThreadProcessId(window_, nullptr));
    if (!menu) return;
    PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    WaitUntil([&] { return !IsWindowVisible(menu); }, 5000);
}

void Tavrel::Minimise() const { PostMessageW(window_, WM_SYSCOMMAND, SC_MINIMIZE, 0); }

bool Tavrel::OnTaskbar() const {
    HWND tray = FindWindowW(L"Shell_TrayWnd", nullptr);
    for (HWND b = FindWindowExW(tray, nullptr, nullptr, nullptr); b;
         b = FindWindowExW(tray, b, nullptr, nullptr))
        if (reinterpret_cast<HWND>(GetWindowLongPtrW(b, GWLP_ID)) == window_ && IsWindowVisible(b))
            return true;
    return false;
}

bool Tavrel::PickTrayMenuItem(int position, DWORD timeoutMs) const {
    return e2e::PickTrayMenuItem(window_, position, timeoutMs);
}

bool PickTrayMenuItem(HWND window, int position, DWORD timeoutMs) {
    SendNotifyMessageW(window, WM_MOUSEMOVE, 1, WM_RBUTTONUP);
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
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

bool Tavrel::Kill(DWORD timeoutMs) {
    return process_.hProcess && TerminateProcess(process_.hProcess, 1) && WaitForExit(timeoutMs);
}

RECT Tavrel::ClientRectOf(HWND control) const {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

HWND Tavrel::Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window_, nullptr), &info) ? info.hwndFocus
                                                                               : nullptr;
}

bool TrayIconPresent(HWND window) {
    NOTIFYICONDATAW data{};
    data.cbSize = NOTIFYICONDATAW_V1_SIZE;
    data.hWnd = window;
    data.uID = 1;
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

bool Tavrel::TrayIconPresent() const { return e2e::TrayIconPresent(window_); }

HWND Tavrel::WaitForMessageBox(const wchar_t* text, DWORD timeoutMs) const {
    BoxSearch search{process_.dwProcessId, text, nullptr};
    WaitUntil(
        [&] {
            EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeoutMs);
    return search.found;
}

bool Tavrel::WaitForExit(DWORD timeoutMs) const {
    return process_.hProcess && WaitForSingleObject(process_.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

bool Tavrel::Running() const { return process_.hProcess && !WaitForExit(0); }

namespace {

BOOL CALLBACK FindShownWindow(HWND w, LPARAM param) {
    auto* run = reinterpret_cast<std::pair<DWORD, bool>*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid != run->first || !IsWindowVisible(w)) return TRUE;
    run->second = true;
    return FALSE;
}

}  // namespace

CommandRun RunTavrel(const std::wstring& arguments, const wchar_t* program, DWORD timeoutMs) {
    CommandRun run;
    wchar_t folder[MAX_PATH], file[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"out", 0, file);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileW(file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    std::wstring exe = DriverFolder() + L"\\" + program;
    std::wstring line = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = out;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    // Wine now and then refuses a start while another program ends; a
    // second try a moment later goes through.
    for (int tries = 0; tries < 3 && !run.started; ++tries) {
        if (tries) Sleep(500);
        run.started = out != INVALID_HANDLE_VALUE &&
                      CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                     DriverFolder().c_str(), &si, &pi);
    }
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    if (run.started) {
        std::pair<DWORD, bool> seen{pi.dwProcessId, false};
        WaitUntil(
            [&] {
                if (!seen.second) EnumWindows(FindShownWindow, reinterpret_cast<LPARAM>(&seen));
                return WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0;
            },
            timeoutMs);
        run.windowShown = seen.second;
        if (WaitForSingleObject(pi.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 99);
        WaitForSingleObject(pi.hProcess, 5000);
        GetExitCodeProcess(pi.hProcess, &run.exitCode);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    HANDLE in = CreateFileW(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (in != INVALID_HANDLE_VALUE && ReadFile(in, chunk, sizeof chunk, &got, nullptr) && got)
        bytes.append(chunk, got);
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    DeleteFileW(file);
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                static_cast<int>(bytes.size()), nullptr, 0);
    run.output.resize(n > 0 ? n : 0);
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                            run.output.data(), n);
    return run;
}

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

namespace {
constexpr wchar_t kAppOverrides[] = L"Software\\Wine\\AppDefaults\\Tavrel.exe\\DllOverrides";
}

DllOverride::DllOverride(const wchar_t* dll, const wchar_t* order) : dll_(dll) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kAppOverrides, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, dll, 0, REG_SZ, reinterpret_cast<const BYTE*>(order),
                   static_cast<DWORD>((lstrlenW(order) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

DllOverride::~DllOverride() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kAppOverrides, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueW(key, dll_.c_str());
    RegCloseKey(key);
}

DotsPerInch::DotsPerInch(DWORD dpi) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    DWORD size = sizeof oldValue_;
    hadValue_ = RegQueryValueExW(key, L"LogPixels", nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(&oldValue_), &size) == ERROR_SUCCESS;
    RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                   sizeof dpi);
    RegCloseKey(key);
}

DotsPerInch::~DotsPerInch() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS)
        return;
    if (hadValue_)
        RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&oldValue_),
                       sizeof oldValue_);
    else
        RegDeleteValueW(key, L"LogPixels");
    RegCloseKey(key);
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

std::map<std::wstring, RegistryData> ReadValues(HKEY root, const std::wstring& path, REGSAM view) {
    std::map<std::wstring, RegistryData> values;
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
        return values;
    DWORD longestName = 0, longestData = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     &longestName, &longestData, nullptr, nullptr);
    std::wstring name(longestName + 1, L'\0');
    std::vector<BYTE> data(longestData + 1);
    for (DWORD index = 0, attempts = 0; attempts < 8;) {
        DWORD length = static_cast<DWORD>(name.size()), size = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        LONG status =
            RegEnumValueW(key, index, name.data(), &length, nullptr, &type, data.data(), &size);
        if (status == ERROR_MORE_DATA) {  // the value grew since the key was measured
            name.resize(32768);
            data.resize(std::max<size_t>(size, data.size() * 2));
            ++attempts;
            continue;
        }
        if (status != ERROR_SUCCESS) break;
        RegistryData& value = values[std::wstring(name.data(), length)];
        value.found = true;
        value.type = type;
        value.bytes.assign(data.begin(), data.begin() + size);
        ++index;
        attempts = 0;
    }
    RegCloseKey(key);
    return values;
}

}  // namespace e2e
