#pragma once
// A Platform that performs nothing and remembers every call, for tests.
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

class Recorder final : public Platform {
public:
    Recorder();
    ~Recorder() override;
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    bool StartCommand(const Command& command) override;
    bool NotifyIcon(DWORD message, const NOTIFYICONDATAA& data) override;
    bool ThemeLibraryAvailable() override;
    int ShowMessage(HWND owner, const std::wstring& text, const std::wstring& caption,
                    UINT style) override;
    bool PlaySoundFile(const std::wstring& path, UINT flags) override;
    bool SystemParameters(UINT action, UINT uiParam, UINT_PTR pvParam, UINT winIni) override;
    HRESULT EnableTheming(BOOL enable) override;
    HRESULT EmptyRecycleBin(HWND owner, const char* drive, DWORD flags) override;
    // Recorded by the message's registered name where it has one.
    bool AllowMessage(HWND window, UINT message) override;

    // One line per call, in order, e.g. "StartCommand C:\windows\explorer.exe|url|2".
    std::vector<std::wstring> calls;
    std::vector<NOTIFYICONDATAA> trayRecords;
    bool startResult = true;
    int messageAnswer = IDOK;  // what ShowMessage answers
    bool themeLibrary = true;
    // Runs when a message would be shown, while the program waits for it.
    void (*onMessage)(Recorder&) = nullptr;

private:
    Platform* previous_;
};

}  // namespace platform
