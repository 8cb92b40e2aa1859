#pragma once
// A top-level window with the life of a form: created hidden, then Load is
// raised; Unload is raised before the window goes. It holds its controls in
// creation order, menus included. Sizes are in twips, turned into pixels with
// the display's real twips per pixel.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "toolkit/control.h"
#include "toolkit/handle.h"

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

    void Show();
    void Hide();
    void Refresh();

    HWND Hwnd() const { return hwnd_; }
    HINSTANCE Instance() const { return instance_; }
    HICON Icon() const { return icon_; }

    int ControlCount() const { return static_cast<int>(controls_.size()); }
    Control& ControlAt(int index) { return *controls_[index]; }
    Control* Find(const wchar_t* name);

    int GetScaleMode() const { return scaleMode_; }
    void SetScaleMode(int mode) { scaleMode_ = mode; }

    // The window's outer size, frame included, in twips.
    float WidthTwips() const;
    float HeightTwips() const;

    // Paints the part of the form's background that lies under `child`.
    void PaintBackground(HWND child, HDC dc) const;

protected:
    virtual void OnLoad() {}
    virtual void OnUnload() {}
    virtual void OnClick(Control&) {}
    // Lets a form take a message before the default handling; true when handled.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls(const ControlSettings* controls, int count);
    void DrawButton(const DRAWITEMSTRUCT& item);
    Control* ById(int id);
    Control* ByHwnd(HWND hwnd);

    HWND hwnd_ = nullptr;
    HINSTANCE instance_ = nullptr;
    HICON icon_ = nullptr;
    HWND tooltip_ = nullptr;
    HWND lastFocus_ = nullptr;
    GdiHandle<HBITMAP> background_;
    std::vector<std::unique_ptr<Control>> controls_;
    int scaleMode_ = kScaleTwips;
    bool unloading_ = false;
};

// Twips per pixel of the display the program runs on (15 at 96 dots per inch).
double TwipsPerPixelX();
double TwipsPerPixelY();
// The screen's size in twips.
double ScreenWidthTwips();
double ScreenHeightTwips();

// The folder the program file lies in, without a trailing backslash.
std::wstring ProgramFolder();

// Runs the message loop until the last form is unloaded; returns the exit code.
int RunMessageLoop();

}  // namespace tk
