#pragma once
// The controls a form holds, in creation order. Positions and sizes are in
// twips and fonts in points; a property the control lacks (a menu has no
// geometry and no font) fails instead of answering.
#include <windows.h>

#include <string>

#include "base/handle.h"

namespace tk {

class Form;

enum class Kind { CommandButton, PictureBox, Label, ComboBox, Menu, MenuItem };

struct FontSettings {
    const wchar_t* face = nullptr;  // nullptr: the control has no font
    float points = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
};

// One row of a form's layout: everything a control is created with.
struct ControlSettings {
    const wchar_t* name;
    Kind kind;
    int left, top, width, height;  // twips; unused for menus
    int tabIndex;                  // -1: takes no part in the tab order
    int picture;                   // resource id of the face or picture, 0 for none
    const wchar_t* text;     // a button's words (never drawn), a label's text, a menu's caption
    const wchar_t* tooltip;  // nullptr for none
    FontSettings font;
    COLORREF foreColour;
    int pointer;     // resource id of an icon used as the mouse pointer, 0 for the arrow
    int arrayIndex;  // element index within a control array, -1 when not in one
    int parentMenu;  // for a menu item: the position of its menu in the collection
};

class Control {
public:
    Control(Form& form, const ControlSettings& settings, int id);
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::wstring& Name() const { return name_; }
    Kind GetKind() const { return kind_; }
    int Id() const { return id_; }
    int ArrayIndex() const { return arrayIndex_; }
    int TabIndex() const { return tabIndex_; }
    HWND Hwnd() const { return hwnd_; }
    HCURSOR Pointer() const { return pointer_; }
    HBITMAP Picture() const { return picture_.Get(); }
    HFONT Font() const { return font_.Get(); }
    COLORREF ForeColour() const { return foreColour_; }
    const std::wstring& Text() const { return text_; }
    // A menu's pop-up handle; nullptr for every other kind.
    HMENU Menu() const { return menu_; }

    // Geometry in twips, relative to the form's client area.
    bool Left(float& twips) const;
    bool Top(float& twips) const;
    bool Width(float& twips) const;
    bool Height(float& twips) const;
    bool SetLeft(float twips);
    bool SetTop(float twips);
    bool SetWidth(float twips);
    bool SetHeight(float twips);
    bool Move(float left, float top, float width, float height);

    bool FontSize(float& points) const;
    bool SetFontSize(float points);

private:
    friend class Form;
    bool PixelRect(RECT& r) const;
    bool SetPixelRect(const RECT& r);
    bool SetPixelPosition(int x, int y);
    int WindowHeightForResize(const RECT& shown) const;

    Form& form_;
    std::wstring name_;
    std::wstring text_;
    Kind kind_;
    int id_;
    int arrayIndex_;
    int tabIndex_;
    HWND hwnd_ = nullptr;
    base::GdiHandle<HBITMAP> picture_;
    base::GdiHandle<HFONT> font_;
    FontSettings fontSettings_{};
    float fontPoints_ = 0;
    COLORREF foreColour_;
    HCURSOR pointer_ = nullptr;
    HMENU menu_ = nullptr;
};

}  // namespace tk
