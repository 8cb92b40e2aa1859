#pragma once
// A top-level window with the life of a form: created hidden, then Load is
// raised; Unload is raised before the window goes. Sizes are given in twips
// and turned into pixels with the display's real twips per pixel.
#include <windows.h>

#include <string>

namespace tk {

struct FormSettings {
    const wchar_t* className;
    const wchar_t* caption;
    int clientWidthTwips;
    int clientHeightTwips;
    int iconId;  // resource id of the window's icon, 0 for none
};

class Form {
public:
    Form() = default;
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    // Creates the window, not yet visible, and raises Load. False when the
    // window could not be created.
    bool Load(HINSTANCE instance, const FormSettings& settings);
    // Raises Unload, then destroys the window. The message loop ends with it.
    void Unload();

    void Show();
    void Hide();
    void Refresh();

    HWND Hwnd() const { return hwnd_; }
    HINSTANCE Instance() const { return instance_; }
    HICON Icon() const { return icon_; }

protected:
    virtual void OnLoad() {}
    virtual void OnUnload() {}
    // Lets a form take a message before the default handling; true when handled.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
    HINSTANCE instance_ = nullptr;
    HICON icon_ = nullptr;
    bool unloading_ = false;
};

// Twips per pixel of the display the program runs on (15 at 96 dots per inch).
double TwipsPerPixelX();
double TwipsPerPixelY();

// The folder the program file lies in, without a trailing backslash.
std::wstring ProgramFolder();

// Runs the message loop until the last form is unloaded; returns the exit code.
int RunMessageLoop();

}  // namespace tk
