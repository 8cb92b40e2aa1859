#include "platform/recorder.h"

namespace platform {

Recorder::Recorder() : previous_(Install(this)) {}

Recorder::~Recorder() { Install(previous_); }

bool Recorder::StartCommand(const Command& command) {
    commands.push_back(command);
    calls.push_back(L"StartCommand " + command.program + L"|" + command.arguments + L"|" +
                    std::to_wstring(command.show));
    return startResult;
}

bool Recorder::NotifyIcon(DWORD message, const NOTIFYICONDATAA& data) {
    trayRecords.push_back(data);
    calls.push_back(L"NotifyIcon " + std::to_wstring(message));
    return true;
}

bool Recorder::ThemeLibraryAvailable() {
    calls.push_back(L"ThemeLibraryAvailable");
    return themeLibrary;
}

int Recorder::ShowMessage(HWND, const std::wstring& text, const std::wstring& caption, UINT style) {
    calls.push_back(L"ShowMessage " + text + L"|" + caption + L"|" + std::to_wstring(style));
    if (onMessage) onMessage(*this);
    return IDOK;
}

}  // namespace platform
