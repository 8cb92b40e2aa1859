#pragma once
#include "toolkit/form.h"

constexpr wchar_t kTitle[] = L"Tavrel - Performance Adjuster for Windows";

class frmMain final : public tk::Form {
public:
    bool Load(HINSTANCE instance);

protected:
    void OnLoad() override;
    void OnUnload() override;
};
