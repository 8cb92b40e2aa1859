#include "toolkit/control.h"

#include "base/twips.h"
#include "toolkit/form.h"
#include "toolkit/picture.h"

namespace tk {
namespace {

constexpr wchar_t kViewClass[] = L"TavrelView";
// Window extra bytes of a view: its Control, then whether the left button
// went down on it.
constexpr int kExtraControl = 0;
constexpr int kExtraPressed = sizeof(LONG_PTR);
// A moved control is drawn afresh, never copied: a label shows the form's
// picture through it, and that differs at its new place.
constexpr UINT kMoveFlags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS;

// Pixels are whole; a value the window cannot take is refused.
bool ToPixels(float twips, double twipsPerPixel, int& pixels) {
    double p = base::RoundHalfEven(twips / twipsPerPixel);
    if (!(p >= -32768.0 && p <= 32767.0)) return false;
    pixels = static_cast<int>(p);
    return true;
}

Control* ViewControl(HWND hwnd) {
    return reinterpret_cast<Control*>(GetWindowLongPtrW(hwnd, kExtraControl));
}

Form* OwnerForm(HWND child) {
    return reinterpret_cast<Form*>(GetWindowLongPtrW(GetParent(child), GWLP_USERDATA));
}

void NotifyClick(HWND hwnd, const Control& control) {
    SendMessageW(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(control.Id(), BN_CLICKED),
                 reinterpret_cast<LPARAM>(hwnd));
}

void PaintView(HWND hwnd, const Control& control) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT r;
    GetClientRect(hwnd, &r);
    if (control.GetKind() == Kind::Label) {
        // Transparent: the form's picture shows around the letters.
        if (Form* form = OwnerForm(hwnd)) form->PaintBackground(hwnd, dc);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, control.ForeColour());
        HGDIOBJ old = SelectObject(dc, control.Font());
        DrawTextW(dc, control.Text().c_str(), -1, &r, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
        SelectObject(dc, old);
    } else {
        FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW));
        if (HBITMAP picture = control.Picture()) {
            SIZE size = PictureSize(picture);
            HDC memory = CreateCompatibleDC(dc);
            HGDIOBJ old = SelectObject(memory, picture);
            BitBlt(dc, 0, 0, size.cx, size.cy, memory, 0, 0, SRCCOPY);
            SelectObject(memory, old);
            DeleteDC(memory);
        }
        if (GetFocus() == hwnd) DrawFocusRect(dc, &r);
    }
    EndPaint(hwnd, &ps);
}

// Labels and the picture box: painted by us, clickable, and a label never
// takes the focus.
LRESULT CALLBACK ViewProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Control* control = ViewControl(hwnd);
    if (!control) return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            PaintView(hwnd, *control);
            return 0;
        case WM_LBUTTONDOWN:
            SetWindowLongPtrW(hwnd, kExtraPressed, 1);
            SetCapture(hwnd);
            if (GetWindowLongW(hwnd, GWL_STYLE) & WS_TABSTOP) SetFocus(hwnd);
            return 0;
        case WM_LBUTTONUP: {
            bool pressed = GetWindowLongPtrW(hwnd, kExtraPressed) != 0;
            SetWindowLongPtrW(hwnd, kExtraPressed, 0);
            if (GetCapture() == hwnd) ReleaseCapture();
            RECT r;
            GetClientRect(hwnd, &r);
            POINT p{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            if (pressed && PtInRect(&r, p)) NotifyClick(hwnd, *control);
            return 0;
        }
        case WM_CAPTURECHANGED:
            SetWindowLongPtrW(hwnd, kExtraPressed, 0);
            return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_SETFONT:
            // The font lives in the Control; only the redraw is ours to do.
            if (LOWORD(lParam)) InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

bool RegisterViewClass(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ViewProc;
    wc.cbWndExtra = 2 * sizeof(LONG_PTR);
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kViewClass;
    return RegisterClassExW(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

Control::Control(Form& form, const ControlSettings& settings, int id)
    : form_(form),
      name_(settings.name),
      text_(settings.text ? settings.text : L""),
      kind_(settings.kind),
      id_(id),
      arrayIndex_(settings.arrayIndex),
      tabIndex_(settings.tabIndex),
      fontSettings_(settings.font),
      foreColour_(settings.foreColour) {
    HINSTANCE instance = form.Instance();
    if (kind_ == Kind::Menu) {
        menu_ = CreatePopupMenu();
        return;
    }
    if (kind_ == Kind::MenuItem) return;  // the form appends it to its menu

    picture_.Reset(LoadPicture(instance, settings.picture));
    if (settings.pointer)
        pointer_ = static_cast<HCURSOR>(LoadImageW(instance, MAKEINTRESOURCEW(settings.pointer),
                                                   IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    const wchar_t* cls = kViewClass;
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    switch (kind_) {
        case Kind::CommandButton:
            cls = L"Button";
            style |= BS_OWNERDRAW | WS_TABSTOP;
            break;
        case Kind::ComboBox:
            cls = L"ComboBox";
            style |= CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL;
            break;
        case Kind::PictureBox:
            style |= WS_TABSTOP;
            break;
        default:
            break;
    }
    static const bool registered = RegisterViewClass(instance);  // once for the program
    (void)registered;
    int left = 0, top = 0, width = 0, height = 0;
    ToPixels(static_cast<float>(settings.left), TwipsPerPixelX(), left);
    ToPixels(static_cast<float>(settings.top), TwipsPerPixelY(), top);
    ToPixels(static_cast<float>(settings.width), TwipsPerPixelX(), width);
    ToPixels(static_cast<float>(settings.height), TwipsPerPixelY(), height);
    // Room for a combo box's list below its selection field.
    if (kind_ == Kind::ComboBox) height += 200;
    hwnd_ = CreateWindowExW(0, cls, text_.c_str(), style, left, top, width, height, form.Hwnd(),
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)), instance, nullptr);
    if (hwnd_ && cls == kViewClass)
        SetWindowLongPtrW(hwnd_, kExtraControl, reinterpret_cast<LONG_PTR>(this));
    if (fontSettings_.face) SetFontSize(fontSettings_.points);
}

bool Control::PixelRect(RECT& r) const {
    if (!hwnd_ || !GetWindowRect(hwnd_, &r)) return false;
    MapWindowPoints(nullptr, GetParent(hwnd_), reinterpret_cast<POINT*>(&r), 2);
    return true;
}

bool Control::SetPixelRect(const RECT& r) {
    if (r.right < r.left || r.bottom < r.top) return false;
    return SetWindowPos(hwnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                        kMoveFlags) != FALSE;
}

bool Control::SetPixelPosition(int x, int y) {
    return SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | kMoveFlags) != FALSE;
}

int Control::WindowHeightForResize(const RECT& r) const {
    // A combo box's window height includes its drop-down list; what it shows
    // is only the selection field.
    RECT dropped;
    if (kind_ == Kind::ComboBox &&
        SendMessageW(hwnd_, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped)))
        return dropped.bottom - dropped.top;
    return r.bottom - r.top;
}

bool Control::Left(float& twips) const {
    RECT r;
    if (!PixelRect(r)) return false;
    twips = static_cast<float>(r.left * TwipsPerPixelX());
    return true;
}

bool Control::Top(float& twips) const {
    RECT r;
    if (!PixelRect(r)) return false;
    twips = static_cast<float>(r.top * TwipsPerPixelY());
    return true;
}

bool Control::Width(float& twips) const {
    RECT r;
    if (!PixelRect(r)) return false;
    twips = static_cast<float>((r.right - r.left) * TwipsPerPixelX());
    return true;
}

bool Control::Height(float& twips) const {
    RECT r;
    if (!PixelRect(r)) return false;
    twips = static_cast<float>((r.bottom - r.top) * TwipsPerPixelY());
    return true;
}

bool Control::SetLeft(float twips) {
    RECT r;
    int x;
    if (!PixelRect(r) || !ToPixels(twips, TwipsPerPixelX(), x)) return false;
    return SetPixelPosition(x, r.top);
}

bool Control::SetTop(float twips) {
    RECT r;
    int y;
    if (!PixelRect(r) || !ToPixels(twips, TwipsPerPixelY(), y)) return false;
    return SetPixelPosition(r.left, y);
}

bool Control::SetWidth(float twips) {
    RECT r;
    int w;
    if (!PixelRect(r) || !ToPixels(twips, TwipsPerPixelX(), w) || w < 0) return false;
    return SetWindowPos(hwnd_, nullptr, 0, 0, w, WindowHeightForResize(r),
                        SWP_NOMOVE | kMoveFlags) != FALSE;
}

bool Control::SetHeight(float twips) {
    RECT r;
    int h;
    if (!PixelRect(r) || !ToPixels(twips, TwipsPerPixelY(), h) || h < 0) return false;
    r.bottom = r.top + h;
    return SetPixelRect(r);
}

bool Control::Move(float left, float top, float width, float height) {
    int l, t, w, h;
    if (!hwnd_ || !ToPixels(left, TwipsPerPixelX(), l) || !ToPixels(top, TwipsPerPixelY(), t) ||
        !ToPixels(width, TwipsPerPixelX(), w) || !ToPixels(height, TwipsPerPixelY(), h) || w < 0 ||
        h < 0)
        return false;
    return SetPixelRect({l, t, l + w, t + h});
}

bool Control::FontSize(float& points) const {
    if (!hwnd_ || !fontSettings_.face) return false;
    points = fontPoints_;
    return true;
}

bool Control::SetFontSize(float points) {
    if (!hwnd_ || !fontSettings_.face || !(points > 0 && points < 2048)) return false;
    if (kind_ == Kind::CommandButton && picture_.Get()) {
        // Its words are never drawn; a font would be matched to a face at the
        // first paint for nothing.
        fontPoints_ = points;
        return true;
    }
    int height = -base::NearestInt(points * (1440.0 / TwipsPerPixelY()) / 72.0);
    HFONT font = CreateFontW(height, 0, 0, 0, fontSettings_.bold ? FW_BOLD : FW_NORMAL,
                             fontSettings_.italic, fontSettings_.underline, FALSE, ANSI_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, fontSettings_.face);
    if (!font) return false;
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    font_.Reset(font);
    fontPoints_ = points;
    return true;
}

}  // namespace tk
