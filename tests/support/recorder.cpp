#include "support/recorder.h"

#include <cstring>

namespace platform {

Recorder::Recorder() : previous_(Install(this)) {}

Recorder::~Recorder() { Install(previous_); }

bool Recorder::StartCommand(const Command& command) {
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
    return messageAnswer;
}

}  // namespace platform

namespace platform {

bool Recorder::PlaySoundFile(const std::wstring& path, UINT flags) {
    calls.push_back(L"PlaySoundFile " + path + L"|" + std::to_wstring(flags));
    return true;
}

bool Recorder::SystemParameters(UINT action, UINT uiParam, UINT_PTR pvParam, UINT winIni) {
    calls.push_back(L"SystemParameters " + std::to_wstring(action) + L"|" +
                    std::to_wstring(uiParam) + L"|" + std::to_wstring(pvParam) + L"|" +
                    std::to_wstring(winIni));
    return true;
}

HRESULT Recorder::EnableTheming(BOOL enable) {
    calls.push_back(L"EnableTheming " + std::to_wstring(enable));
    return S_OK;
}

bool Recorder::AllowMessage(HWND, UINT message) {
    // Registered messages share their names' table with clipboard formats.
    wchar_t name[64];
    int n = GetClipboardFormatNameW(message, name, 64);
    calls.push_back(L"AllowMessage " + (n > 0 ? std::wstring(name, n) : std::to_wstring(message)));
    return true;
}

HRESULT Recorder::EmptyRecycleBin(HWND owner, const char* drive, DWORD flags) {
    calls.push_back(L"EmptyRecycleBin " + std::to_wstring(reinterpret_cast<UINT_PTR>(owner)) +
                    L"|" + (drive ? std::wstring(drive, drive + strlen(drive)) : L"(null)") + L"|" +
                    std::to_wstring(flags));
    return S_OK;
}

}  // namespace platform
