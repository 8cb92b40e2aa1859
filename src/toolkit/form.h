#pragma once
// A top-level window with the life of a form: created hidden, then Load is
// raised; Unload is raised before the window goes. It holds its controls in
// creation order, menus included. Sizes are in twips, turned into pixels with
// the display's real twips per pixel.
#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/handle.h"
#include "toolkit/control.h"

namespace tk {

struct FormSettings {
    const wchar_t* className;
    const wchar_t* caption;
    int clientWidthTwips;
    int clientHeightTwips;
    int iconId;        // resource id of the window's icon, 0 for none
    int backgroundId;  // resource id of a picture drawn unscaled at the top left, 0 for none
};

enum ScaleMode { kScaleTwips = 1, kScalePixels = 3 };
enum WindowState { kNormal = 0, kMinimized = 1, kMaximized = 2 };

class Form {
public:
    Form() = default;
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    // Creates the window and its controls, not yet visible, and raises Load.
    // False when the window could not be created.
    bool Load(HINSTANCE instance, const FormSettings& settings, const ControlSettings* controls,
              int controlCount);
    // Raises Unload, then destroys the window. The message loop ends with it.
    void Unload();

    // Shows the window in its current window state; a hidden window keeps
    // the state it was given until it is shown.
    void Show();
    void Hide();
    void Refresh();

    int GetWindowState() const { return state_; }
    // Raises Resize when the state really changes, and only then.
    void SetWindowState(int state);

    // Retained drawing: once on, it stays on for the life of the window.
    bool RetainedDrawing() const { return retained_; }
    void SetRetainedDrawing() { retained_ = true; }

    // Shows `menu` as a pop-up at the pointer; returns when it has closed.
    void PopupMenu(const Control& menu);
    // Gives a menu item new words, and greys it or not.
    void SetMenuItem(const Control& item, const std::wstring& text, bool enabled);

    HWND Hwnd() const { return hwnd_; }
    HINSTANCE Instance() const { return instance_; }
    HICON Icon() const { return icon_; }

    int ControlCount() const { return static_cast<int>(controls_.size()); }
    Control& ControlAt(int index) { return *controls_[index]; }
    Control* Find(const wchar_t* name);

    int GetScaleMode() const { return scaleMode_; }
    void SetScaleMode(int mode) { scaleMode_ = mode; }

    // The window's outer size, frame included, in twips. A minimised window
    // answers with the size it has when restored.
    float WidthTwips() const;
    float HeightTwips() const;
    // Raise Resize when the size really changes, and only then.
    void SetWidthTwips(float twips);
    void SetHeightTwips(float twips);
    // Sizes the window so that its client area has this size; the frame
    // keeps its own.
    void SetClientSizeTwips(float width, float height);

    // Paints the part of the form's background that lies under `child`.
    void PaintBackground(HWND child, HDC dc) const;

protected:
    virtual void OnLoad() {}
    virtual void OnUnload() {}
    virtual void OnClick(Control&) {}
    virtual void OnResize() {}
    // x and y in the form's scale unit: twips, or pixels in scale mode 3.
    virtual void OnMouseMove(int /*button*/, int /*shift*/, float /*x*/, float /*y*/) {}
    // Lets a form take a message before the default handling; true when handled.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls(const ControlSettings* controls, int count);
    // The tooltip window is made when the pointer first comes over a control
    // that has one: until then neither the common controls nor their theme
    // are loaded.
    void MakeTooltips(HWND under);
    void DrawButton(const DRAWITEMSTRUCT& item);
    Control* ById(int id);
    Control* ByHwnd(HWND hwnd);
    RECT NormalRect() const;
    void SetOuterSize(int width, int height);
    void RaiseResizeIfChanged();

    HWND hwnd_ = nullptr;
    HINSTANCE instance_ = nullptr;
    HICON icon_ = nullptr;
    HWND tooltip_ = nullptr;
    std::vector<std::pair<HWND, std::wstring>> tooltips_;  // each control's words, until made
    HWND lastFocus_ = nullptr;
    base::GdiHandle<HBITMAP> background_;
    std::vector<std::unique_ptr<Control>> controls_;
    int scaleMode_ = kScaleTwips;
    int state_ = kNormal;
    // What the last Resize saw, so that only real changes raise it.
    int resizedState_ = kNormal;
    SIZE resizedSize_{0, 0};
    bool retained_ = false;
    bool unloading_ = false;
};

// Twips per pixel of the display the program runs on (15 at 96 dots per inch).
double TwipsPerPixelX();
double TwipsPerPixelY();
// The screen's size in twips.
double ScreenWidthTwips();
double ScreenHeightTwips();

// The folder the program file lies in; only a drive's root ends in a backslash.
std::wstring ProgramFolder();

// Runs the message loop until the last form is unloaded; returns the exit code.
int RunMessageLoop();

}  // namespace tk
