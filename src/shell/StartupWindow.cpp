#include "shell/StartupWindow.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "base/styles.h"
#include "base/text.h"
#include "platform/platform.h"
#include "startup/KeepList.h"
#include "startup/StartupStatus.h"

namespace shell {
namespace {

constexpr wchar_t kClass[] = L"TavrelStartupPrograms";
constexpr wchar_t kTitle[] = L"Start-up programs - Tavrel";
enum : int { kList = 100, kKeep, kUnkeep };
// A box changed: the move waits until the list has finished telling of it.
constexpr UINT kToggled = WM_APP + 1;

struct Column {
    const wchar_t* title;
    int width;
};
constexpr Column kColumns[] = {{L"Name", 170}, {L"Runs", 250}, {L"Place", 110}, {L"State", 200}};

class StartupWindow {
public:
    static StartupWindow* Current() { return current_; }

    static bool Make(HINSTANCE instance, ActionWindow& owner) {
        // The list view is a common control: loaded now, not at start-up.
        HMODULE comctl = LoadLibraryW(L"comctl32.dll");  // kept for the life of the program
        using InitProc = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
        auto init = comctl ? reinterpret_cast<InitProc>(reinterpret_cast<void*>(
                                 GetProcAddress(comctl, "InitCommonControlsEx")))
                           : nullptr;
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
        if (!init || !init(&icc)) return false;
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = Procedure;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kClass;
        wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
        RegisterClassExW(&wc);
        current_ = new StartupWindow(owner);
        base::VisualStyles styled;
        // 760 x 480 at 96 dpi fits an 800 x 600 screen with the taskbar;
        // larger with the fonts where the system does not scale it, never
        // beyond the screen.
        RECT area{0, 0, 800, 600};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        const int width = current_->Scaled(760), height = current_->Scaled(480);
        if (!CreateWindowExW(0, kClass, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                             width < area.right - area.left ? width : area.right - area.left,
                             height < area.bottom - area.top ? height : area.bottom - area.top,
                             nullptr, nullptr, instance, current_)) {
            delete current_;
            current_ = nullptr;
        }
        return current_ != nullptr;
    }

    HWND Hwnd() const { return hwnd_; }

private:
    explicit StartupWindow(ActionWindow& owner) : owner_(owner) {
        HDC screen = GetDC(nullptr);
        dpi_ = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
        if (screen) ReleaseDC(nullptr, screen);
    }

    // Pixels at 96 dpi, at the screen's density.
    int Scaled(int pixels) const { return MulDiv(pixels, dpi_, 96); }

    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            current_->hwnd_ = hwnd;
        } else if (message == WM_NCDESTROY && current_) {
            delete current_;
            current_ = nullptr;
        }
        if (current_ && current_->hwnd_ == hwnd) {
            LRESULT result = 0;
            if (current_->OnMessage(message, wParam, lParam, result)) return result;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }

    HWND Child(const wchar_t* cls, const wchar_t* text, DWORD style, int id) {
        HWND child = CreateWindowExW(
            id == kList ? WS_EX_CLIENTEDGE : 0, cls, text,
            WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, 0, 0, 0, 0, hwnd_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
            reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE)), nullptr);
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                     FALSE);
        return child;
    }

    void Create() {
        list_ = Child(WC_LISTVIEWW, L"Start-up programs", LVS_REPORT | LVS_SHOWSELALWAYS, kList);
        ListView_SetExtendedListViewStyle(list_, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
        for (int i = 0; i < static_cast<int>(sizeof kColumns / sizeof *kColumns); ++i) {
            LVCOLUMNW column{};
            column.mask = LVCF_TEXT | LVCF_WIDTH;
            column.pszText = const_cast<wchar_t*>(kColumns[i].title);
            column.cx = Scaled(kColumns[i].width);
            ListView_InsertColumn(list_, i, &column);
        }
        buttons_[0] = Child(L"Button", L"Keep", BS_PUSHBUTTON, kKeep);
        buttons_[1] = Child(L"Button", L"Don't keep", BS_PUSHBUTTON, kUnkeep);
        buttons_[2] = Child(L"Button", L"Close", BS_PUSHBUTTON, IDCANCEL);
    }

    void Layout() {
        RECT client;
        GetClientRect(hwnd_, &client);
        const int kMargin = Scaled(8), kButtonWidth = Scaled(88), kButtonHeight = Scaled(24);
        const int top = client.bottom - kMargin - kButtonHeight;
        MoveWindow(list_, kMargin, kMargin, client.right - 2 * kMargin, top - 2 * kMargin, TRUE);
        for (int i = 0; i < 3; ++i)
            MoveWindow(buttons_[i], client.right - (3 - i) * (kButtonWidth + kMargin), top,
                       kButtonWidth, kButtonHeight, TRUE);
    }

    // "starts; turned off in Task Manager; kept by you".
    static std::wstring StateOf(const StartupEntry& entry, bool administrator) {
        const bool allUsers =
            entry.place != EntryPlace::kHkcu && entry.place != EntryPlace::kStartup;
        return base::Cat({entry.parked ? L"parked" : L"starts",
                          entry.choice.off ? L"; turned off in Task Manager" : L"",
                          entry.kept == Keeper::kUser            ? L"; kept by you"
                          : entry.kept == Keeper::kAdministrator ? L"; kept by your administrator"
                                                                 : L"",
                          entry.windowsOwn ? L"; Windows' own part" : L"",
                          allUsers && !administrator ? L"; needs an administrator" : L""});
    }

    // The rows anew, the same row selected where there still is one.
    void Fill() {
        const int selected = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
        entries_ = ListStartupEntries();
        filling_ = true;
        SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
        ListView_DeleteAllItems(list_);
        const bool administrator = platform::IsAdministrator();
        for (int row = 0; row < static_cast<int>(entries_.size()); ++row) {
            const StartupEntry& entry = entries_[row];
            std::wstring name = entry.name.empty() ? L"(default)" : entry.name;
            LVITEMW item{};
            item.mask = LVIF_TEXT | LVIF_PARAM;
            item.iItem = row;
            item.pszText = &name[0];
            item.lParam = row;
            ListView_InsertItem(list_, &item);
            const std::wstring cells[] = {entry.runs, PlaceToken(entry.place),
                                          StateOf(entry, administrator)};
            for (int column = 1; column < 4; ++column)
                ListView_SetItemText(list_, row, column,
                                     const_cast<wchar_t*>(cells[column - 1].c_str()));
            ListView_SetCheckState(list_, row, !entry.parked);
        }
        if (selected >= 0 && selected < static_cast<int>(entries_.size()))
            ListView_SetItemState(list_, selected, LVIS_SELECTED | LVIS_FOCUSED,
                                  LVIS_SELECTED | LVIS_FOCUSED);
        SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
        filling_ = false;
    }

    // A box set or cleared: that one entry moves through the switch.
    void Toggle(int row, bool starts) {
        if (row < 0 || row >= static_cast<int>(entries_.size())) return;
        const StartupEntry entry = entries_[row];
        if (starts == !entry.parked) return;
        ActionContext context;
        context.window = &owner_;
        MoveOne(context, entry.place, entry.name, !starts);
        Fill();
    }

    // Each selected row onto the user's keep-list, or off it.
    void EditKeepList(bool keep) {
        std::wstring refused;
        for (int row = -1; (row = ListView_GetNextItem(list_, row, LVNI_SELECTED)) >= 0;) {
            const StartupEntry& entry = entries_[row];
            const std::wstring line = KeepLine(entry.name, &entry.place);
            if (keep) {
                if (KeepEntry(line) != ERROR_SUCCESS) refused += L"\n" + entry.name;
            } else if (UnkeepEntry(line) != ERROR_SUCCESS &&
                       UnkeepEntry(entry.name) != ERROR_SUCCESS &&
                       entry.kept == Keeper::kAdministrator) {
                refused += L"\n" + entry.name;
            }
        }
        if (!refused.empty())
            MessageBoxW(hwnd_,
                        base::Cat({keep ? L"These could not be put on your keep-list:"
                                        : L"Your administrator keeps these; Tavrel cannot change "
                                          L"that:",
                                   refused})
                            .c_str(),
                        kProgramTitle, MB_ICONEXCLAMATION | MB_OK);
        Fill();
    }

    void ContextMenu(LPARAM at) {
        POINT point{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
        if (at == -1) {  // from the keyboard: at the selected row
            RECT row{LVIR_BOUNDS, 0, 0, 0};
            const int selected = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
            SendMessageW(list_, LVM_GETITEMRECT, selected < 0 ? 0 : selected,
                         reinterpret_cast<LPARAM>(&row));
            point = {row.left + 16, row.bottom};
            ClientToScreen(list_, &point);
        }
        HMENU menu = CreatePopupMenu();
        AppendMenuW(menu, MF_STRING, kKeep, L"Keep");
        AppendMenuW(menu, MF_STRING, kUnkeep, L"Don't keep");
        TrackPopupMenu(menu, TPM_RIGHTBUTTON, point.x, point.y, 0, hwnd_, nullptr);
        DestroyMenu(menu);
    }

    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
        switch (message) {
            case WM_CREATE:
                Create();
                return false;
            case WM_SIZE:
                Layout();
                return false;
            case WM_GETMINMAXINFO:
                reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {Scaled(420), Scaled(240)};
                return true;
            case WM_ACTIVATE:
                // Back at the front: what other programs changed meanwhile shows.
                if (LOWORD(wParam) != WA_INACTIVE) {
                    Fill();
                    SetFocus(list_);
                }
                return true;
            case WM_CONTEXTMENU:
                if (reinterpret_cast<HWND>(wParam) != list_) return false;
                ContextMenu(lParam);
                return true;
            case WM_NOTIFY: {
                auto* change = reinterpret_cast<NMLISTVIEW*>(lParam);
                if (change->hdr.hwndFrom == list_ && change->hdr.code == LVN_ITEMCHANGED &&
                    !filling_ && (change->uChanged & LVIF_STATE) &&
                    ((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK))
                    PostMessageW(
                        hwnd_, kToggled, change->iItem,
                        (change->uNewState & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2));
                return false;
            }
            case kToggled:
                Toggle(static_cast<int>(wParam), lParam != 0);
                return true;
            case WM_COMMAND:
                if (LOWORD(wParam) == kKeep || LOWORD(wParam) == kUnkeep)
                    EditKeepList(LOWORD(wParam) == kKeep);
                else if (LOWORD(wParam) == IDCANCEL)  // Close, and Escape
                    DestroyWindow(hwnd_);
                return true;
            default:
                result = 0;
                return false;
        }
    }

    static StartupWindow* current_;
    ActionWindow& owner_;
    HWND hwnd_ = nullptr, list_ = nullptr, buttons_[3] = {};
    std::vector<StartupEntry> entries_;
    bool filling_ = false;
    int dpi_ = 96;
};

StartupWindow* StartupWindow::current_ = nullptr;

}  // namespace

void ShowStartupWindow(HINSTANCE instance, ActionWindow& owner) {
    if (!StartupWindow::Current() && !StartupWindow::Make(instance, owner)) return;
    HWND hwnd = StartupWindow::Current()->Hwnd();
    ShowWindow(hwnd, IsIconic(hwnd) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(hwnd);
}

}  // namespace shell
