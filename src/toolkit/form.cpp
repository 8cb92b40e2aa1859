#include "toolkit/form.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "base/styles.h"
#include "base/twips.h"
#include "toolkit/picture.h"

namespace tk {
namespace {

double AskTwipsPerPixel(int axis) {
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, axis) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return 1440.0 / (dpi > 0 ? dpi : 96);
}

// The program is not DPI-aware, so the system's dots per inch hold for its
// whole run; start-up asks for them hundreds of times.
double TwipsPerPixel(int axis) {
    static const double x = AskTwipsPerPixel(LOGPIXELSX), y = AskTwipsPerPixel(LOGPIXELSY);
    return axis == LOGPIXELSX ? x : y;
}

constexpr DWORD kFixedFrame =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr int kFirstControlId = 100;

// Tooltips come from the common controls, loaded when first needed so that a
// system without them still runs, only without tooltips.
HWND CreateTooltipWindow(HWND owner, HINSTANCE instance) {
    base::VisualStyles styled;
    HMODULE comctl = LoadLibraryW(L"comctl32.dll");  // kept for the life of the program
    if (!comctl) return nullptr;
    using InitProc = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    auto init = reinterpret_cast<InitProc>(
        reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControlsEx")));
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
    if (!init || !init(&icc)) return nullptr;
    return CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner,
                           nullptr, instance, nullptr);
}

void AddTooltip(HWND tooltip, HWND owner, HWND control, const wchar_t* text) {
    TOOLINFOW info{};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = owner;
    info.uId = reinterpret_cast<UINT_PTR>(control);
    info.lpszText = const_cast<wchar_t*>(text);
    SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

void Blit(HDC dc, HBITMAP picture, int x, int y, int sourceX, int sourceY, int width, int height) {
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, picture);
    BitBlt(dc, x, y, width, height, memory, sourceX, sourceY, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
}

}  // namespace

double TwipsPerPixelX() { return TwipsPerPixel(LOGPIXELSX); }
double TwipsPerPixelY() { return TwipsPerPixel(LOGPIXELSY); }
double ScreenWidthTwips() { return GetSystemMetrics(SM_CXSCREEN) * TwipsPerPixelX(); }
double ScreenHeightTwips() { return GetSystemMetrics(SM_CYSCREEN) * TwipsPerPixelY(); }

std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return L".";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return L".";
    // A drive's root keeps its backslash ("C:\\"), as the system writes it.
    return path.substr(0, slash == 2 && path[1] == L':' ? slash + 1 : slash);
}

Form::~Form() {
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    for (auto& control : controls_)
        if (control->menu_) DestroyMenu(control->menu_);
}

bool Form::Load(HINSTANCE instance, const FormSettings& settings, const ControlSettings* controls,
                int controlCount) {
    instance_ = instance;
    if (settings.iconId) icon_ = LoadIconW(instance, MAKEINTRESOURCEW(settings.iconId));

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hIcon = icon_;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = settings.className;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

    RECT frame{0, 0, base::NearestInt(settings.clientWidthTwips / TwipsPerPixelX()),
               base::NearestInt(settings.clientHeightTwips / TwipsPerPixelY())};
    AdjustWindowRectEx(&frame, kFixedFrame, FALSE, WS_EX_CONTROLPARENT);
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    int x = std::max(0L, work.left + ((work.right - work.left) - width) / 2);
    int y = std::max(0L, work.top + ((work.bottom - work.top) - height) / 2);

    hwnd_ = CreateWindowExW(WS_EX_CONTROLPARENT, settings.className, settings.caption, kFixedFrame,
                            x, y, width, height, nullptr, nullptr, instance, this);
    if (!hwnd_) return false;
    CreateControls(controls, controlCount);
    background_.Reset(LoadPicture(instance, settings.backgroundId));
    OnLoad();
    return true;
}

void Form::CreateControls(const ControlSettings* controls, int count) {
    for (int i = 0; i < count; ++i) {
        const ControlSettings& settings = controls[i];
        auto control = std::make_unique<Control>(*this, settings, kFirstControlId + i);
        if (settings.kind == Kind::MenuItem && settings.parentMenu >= 0 &&
            settings.parentMenu < static_cast<int>(controls_.size()))
            if (HMENU menu = controls_[settings.parentMenu]->menu_)
                AppendMenuW(menu, MF_STRING, control->Id(), control->Text().c_str());
        if (settings.tooltip && control->Hwnd())
            tooltips_.emplace_back(control->Hwnd(), settings.tooltip);
        controls_.push_back(std::move(control));
    }
    // Tab follows the windows' z-order: lay them out by tab index.
    std::vector<Control*> byTab;
    for (auto& control : controls_)
        if (control->Hwnd() && control->TabIndex() >= 0) byTab.push_back(control.get());
    std::stable_sort(byTab.begin(), byTab.end(),
                     [](Control* a, Control* b) { return a->TabIndex() < b->TabIndex(); });
    for (Control* control : byTab)
        SetWindowPos(control->Hwnd(), HWND_BOTTOM, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Form::Unload() {
    if (!hwnd_ || unloading_) return;
    unloading_ = true;
    OnUnload();
    DestroyWindow(hwnd_);
}

void Form::Show() {
    static constexpr int kShow[] = {SW_SHOW, SW_SHOWMINIMIZED, SW_SHOWMAXIMIZED};
    int command = kShow[state_];
    // A window hidden while minimised comes back restored when asked for normal.
    if (state_ == kNormal && (IsIconic(hwnd_) || IsZoomed(hwnd_))) command = SW_RESTORE;
    const bool first = !lastFocus_;
    // Focus starts on the first control in tab order that can take it. Known
    // before the window shows, the activation puts it there directly.
    for (HWND child = GetWindow(hwnd_, GW_CHILD); first && child;
         child = GetWindow(child, GW_HWNDNEXT)) {
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        if ((style & WS_TABSTOP) && (style & WS_VISIBLE)) {
            lastFocus_ = child;
            break;
        }
    }
    ShowWindow(hwnd_, command);
    if (first && lastFocus_ && GetFocus() != lastFocus_) SetFocus(lastFocus_);
}

void Form::Hide() { ShowWindow(hwnd_, SW_HIDE); }

void Form::Refresh() {
    // Whatever changes is invalidated where it changes; painting the rest a
    // second time, as just after Show, would only draw the same pixels again.
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_ALLCHILDREN | RDW_UPDATENOW);
}

Control* Form::Find(const wchar_t* name) {
    for (auto& control : controls_)
        if (control->Name() == name) return control.get();
    return nullptr;
}

Control* Form::ById(int id) {
    int index = id - kFirstControlId;
    return index >= 0 && index < ControlCount() ? controls_[index].get() : nullptr;
}

Control* Form::ByHwnd(HWND hwnd) {
    for (auto& control : controls_)
        if (control->Hwnd() == hwnd) return control.get();
    return nullptr;
}

RECT Form::NormalRect() const {
    RECT r{};
    if (IsIconic(hwnd_)) {
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        if (GetWindowPlacement(hwnd_, &placement)) return placement.rcNormalPosition;
    }
    GetWindowRect(hwnd_, &r);
    return r;
}

float Form::WidthTwips() const {
    RECT r = NormalRect();
    return static_cast<float>((r.right - r.left) * TwipsPerPixelX());
}

float Form::HeightTwips() const {
    RECT r = NormalRect();
    return static_cast<float>((r.bottom - r.top) * TwipsPerPixelY());
}

void Form::SetWidthTwips(float twips) {
    RECT r = NormalRect();
    SetOuterSize(base::NearestInt(twips / TwipsPerPixelX()), r.bottom - r.top);
}

void Form::SetHeightTwips(float twips) {
    RECT r = NormalRect();
    SetOuterSize(r.right - r.left, base::NearestInt(twips / TwipsPerPixelY()));
}

void Form::SetClientSizeTwips(float width, float height) {
    RECT frame{0, 0, base::NearestInt(width / TwipsPerPixelX()),
               base::NearestInt(height / TwipsPerPixelY())};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(hwnd_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(hwnd_, GWL_EXSTYLE)));
    SetOuterSize(frame.right - frame.left, frame.bottom - frame.top);
}

void Form::SetOuterSize(int width, int height) {
    RECT r = NormalRect();
    if (width < 0 || height < 0 || (width == r.right - r.left && height == r.bottom - r.top))
        return;
    if (IsIconic(hwnd_)) {
        // Only the restored size can change; the window stays as it is.
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        GetWindowPlacement(hwnd_, &placement);
        placement.rcNormalPosition.right = placement.rcNormalPosition.left + width;
        placement.rcNormalPosition.bottom = placement.rcNormalPosition.top + height;
        placement.showCmd = IsWindowVisible(hwnd_) ? SW_SHOWMINNOACTIVE : SW_HIDE;
        SetWindowPlacement(hwnd_, &placement);
    } else {
        SetWindowPos(hwnd_, nullptr, 0, 0, width, height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RaiseResizeIfChanged();
}

void Form::SetWindowState(int state) {
    if (state < kNormal || state > kMaximized || state == state_) return;
    state_ = state;
    // A hidden window only takes note; Show puts it in that state.
    if (IsWindowVisible(hwnd_)) {
        static constexpr int kCommand[] = {SW_RESTORE, SW_MINIMIZE, SW_MAXIMIZE};
        ShowWindow(hwnd_, kCommand[state]);
    }
    RaiseResizeIfChanged();
}

void Form::RaiseResizeIfChanged() {
    RECT r = NormalRect();
    SIZE size{r.right - r.left, r.bottom - r.top};
    if (state_ == resizedState_ && size.cx == resizedSize_.cx && size.cy == resizedSize_.cy) return;
    resizedState_ = state_;
    resizedSize_ = size;
    OnResize();
}

void Form::PopupMenu(const Control& menu) {
    if (!menu.Menu()) return;
    POINT at{};
    GetCursorPos(&at);
    TrackPopupMenu(menu.Menu(), 0, at.x, at.y, 0, hwnd_, nullptr);
    // Without this the menu may not close when the user clicks elsewhere.
    PostMessageW(hwnd_, WM_NULL, 0, 0);
}

void Form::SetMenuItem(const Control& item, const std::wstring& text, bool enabled) {
    const UINT id = static_cast<UINT>(item.Id());
    for (auto& control : controls_)
        if (control->menu_ &&
            GetMenuState(control->menu_, id, MF_BYCOMMAND) != static_cast<UINT>(-1))
            ModifyMenuW(control->menu_, id,
                        MF_BYCOMMAND | MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED), id,
                        text.c_str());
}

void Form::MakeTooltips(HWND under) {
    if (tooltip_ || tooltips_.empty()) return;
    bool wanted = false;
    for (const auto& [control, text] : tooltips_) wanted = wanted || control == under;
    if (!wanted) return;
    tooltip_ = CreateTooltipWindow(hwnd_, instance_);
    if (!tooltip_) {
        tooltips_.clear();  // none to be had: not asked again
        return;
    }
    for (const auto& [control, text] : tooltips_)
        AddTooltip(tooltip_, hwnd_, control, text.c_str());
    // The move that brought the pointer here starts the tooltip's wait.
    POINT at{};
    GetCursorPos(&at);
    ScreenToClient(under, &at);
    MSG move{under, WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y), static_cast<DWORD>(GetMessageTime()),
             {}};
    SendMessageW(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&move));
}

void Form::PaintBackground(HWND child, HDC dc) const {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
    RECT local{0, 0, r.right - r.left, r.bottom - r.top};
    FillRect(dc, &local, GetSysColorBrush(COLOR_WINDOW));
    if (HBITMAP picture = background_.Get()) {
        SIZE size = PictureSize(picture);
        Blit(dc, picture, 0, 0, r.left, r.top, std::min(local.right, size.cx - r.left),
             std::min(local.bottom, size.cy - r.top));
    }
}

void Form::DrawButton(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    // No separate pressed face: a held button shows its own face, nudged.
    int offset = (item.itemState & ODS_SELECTED) ? 1 : 0;
    Control* control = ById(static_cast<int>(item.CtlID));
    if (HBITMAP picture = control ? control->Picture() : nullptr) {
        SIZE size = PictureSize(picture);
        Blit(dc, picture, r.left + offset, r.top + offset, 0, 0, size.cx, size.cy);
    } else if (control) {
        // Without its picture the button still says what it does.
        RECT text = r;
        OffsetRect(&text, offset, offset);
        SetBkMode(dc, TRANSPARENT);
        DrawTextW(dc, control->Text().c_str(), -1, &text,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) {
        InflateRect(&r, -3, -3);
        DrawFocusRect(dc, &r);
    }
}

bool Form::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

LRESULT CALLBACK Form::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* form = static_cast<Form*>(create->lpCreateParams);
        form->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!form) return DefWindowProcW(hwnd, message, wParam, lParam);
#if defined(__cpp_exceptions)
    // Nothing may unwind through the system's dispatcher.
    try {
        return form->Dispatch(message, wParam, lParam);
    } catch (...) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
#else
    return form->Dispatch(message, wParam, lParam);
#endif
}

LRESULT Form::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (OnMessage(message, wParam, lParam, result)) return result;
    switch (message) {
        case WM_ERASEBKGND: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            RECT client;
            GetClientRect(hwnd_, &client);
            SIZE size = PictureSize(background_.Get());
            if (size.cx) Blit(dc, background_.Get(), 0, 0, 0, 0, size.cx, size.cy);
            // Wherever the picture does not reach, the window colour shows.
            RECT right{size.cx, 0, client.right, client.bottom};
            RECT below{0, size.cy, size.cx, client.bottom};
            FillRect(dc, &right, GetSysColorBrush(COLOR_WINDOW));
            FillRect(dc, &below, GetSysColorBrush(COLOR_WINDOW));
            return 1;
        }
        case WM_DRAWITEM:
            DrawButton(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_SIZE:
            if (wParam == SIZE_MINIMIZED)
                state_ = kMinimized;
            else if (wParam == SIZE_MAXIMIZED)
                state_ = kMaximized;
            else if (wParam == SIZE_RESTORED && IsWindowVisible(hwnd_))
                state_ = kNormal;
            RaiseResizeIfChanged();
            return 0;
        case WM_MOUSEMOVE: {
            double x = static_cast<short>(LOWORD(lParam)), y = static_cast<short>(HIWORD(lParam));
            if (scaleMode_ != kScalePixels) {
                x *= TwipsPerPixelX();
                y *= TwipsPerPixelY();
            }
            int buttons = (wParam & MK_LBUTTON ? 1 : 0) | (wParam & MK_RBUTTON ? 2 : 0) |
                          (wParam & MK_MBUTTON ? 4 : 0);
            int shift = (wParam & MK_SHIFT ? 1 : 0) | (wParam & MK_CONTROL ? 2 : 0);
            OnMouseMove(buttons, shift, static_cast<float>(x), static_cast<float>(y));
            return 0;
        }
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED)
                if (Control* control = ById(LOWORD(wParam))) OnClick(*control);
            return 0;
        case WM_SETCURSOR:
            if (HIWORD(lParam) == WM_MOUSEMOVE) MakeTooltips(reinterpret_cast<HWND>(wParam));
            if (LOWORD(lParam) == HTCLIENT)
                if (Control* control = ByHwnd(reinterpret_cast<HWND>(wParam));
                    control && control->Pointer()) {
                    SetCursor(control->Pointer());
                    return TRUE;
                }
            break;
        case WM_ACTIVATE:
            // Give the focus back to the control that had it.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(hwnd_, focus)) lastFocus_ = focus;
            } else if (lastFocus_ && IsWindow(lastFocus_)) {
                SetFocus(lastFocus_);
                return 0;
            }
            break;
        case WM_CLOSE:
            Unload();
            return 0;
        case WM_NCDESTROY: {
            // The program has one window: when it goes, the program ends.
            HWND hwnd = hwnd_;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            hwnd_ = nullptr;
            PostQuitMessage(0);
            return DefWindowProcW(hwnd, message, wParam, lParam);
        }
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

int RunMessageLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        HWND top = GetAncestor(msg.hwnd, GA_ROOT);
        if (msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_SPACE) &&
            top) {
            HWND focus = GetFocus();
            wchar_t cls[16];
            if (focus && IsChild(top, focus) && GetClassNameW(focus, cls, 16) &&
                lstrcmpiW(cls, L"Button") == 0) {
                // Bit 30: the key was down already, so this is a held key's
                // auto-repeat. A button is pressed once a press.
                if (msg.lParam & (1 << 30)) continue;
                // Enter presses the focused button, as Space does when let go.
                if (msg.wParam == VK_RETURN) {
                    SendMessageW(focus, BM_CLICK, 0, 0);
                    continue;
                }
            }
        }
        // No control has an access key; IsDialogMessage would take the "& "
        // in a control's words for one, and Space would press that control.
        if (msg.message == WM_CHAR || msg.message == WM_SYSCHAR) {
            DispatchMessageW(&msg);
            continue;
        }
        if (top && IsDialogMessageW(top, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace tk
