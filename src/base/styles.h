#pragma once
// Visual styles (common controls 6) for the windows made while a
// VisualStyles lives: message boxes, the shell's dialogs, tooltips. The
// program's own manifest leaves them out, so that its picture buttons, which
// draw themselves, are plain user32 buttons and start-up loads no theme.
#include <windows.h>

namespace base {

class VisualStyles {
public:
    VisualStyles() {
        HANDLE context = Context();
        active_ = context != INVALID_HANDLE_VALUE && ActivateActCtx(context, &cookie_);
    }
    ~VisualStyles() {
        if (active_) DeactivateActCtx(0, cookie_);
    }
    VisualStyles(const VisualStyles&) = delete;
    VisualStyles& operator=(const VisualStyles&) = delete;

private:
    // Made once from the program file's second manifest; without it, the
    // windows come unstyled.
    static HANDLE Context() {
        static const HANDLE context = [] {
            wchar_t path[MAX_PATH];
            DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
            if (length == 0 || length >= MAX_PATH) return INVALID_HANDLE_VALUE;
            ACTCTXW manifest{};
            manifest.cbSize = sizeof manifest;
            manifest.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
            manifest.lpSource = path;
            manifest.hModule = GetModuleHandleW(nullptr);
            manifest.lpResourceName = ISOLATIONAWARE_MANIFEST_RESOURCE_ID;
            return CreateActCtxW(&manifest);
        }();
        return context;
    }

    ULONG_PTR cookie_ = 0;
    bool active_ = false;
};

}  // namespace base
