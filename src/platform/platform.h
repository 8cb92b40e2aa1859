#pragma once
// The outward calls whose effects leave the program: process start, the
// tray, the theme library probe and message boxes, with more as they arrive.
// Tests swap in the Recorder to see the arguments and order without effects.
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <string>

namespace platform {

// A process to start and forget: full path of the program, the arguments
// that follow it on the command line, and the nCmdShow it is started with.
struct Command {
    std::wstring program;
    std::wstring arguments;
    int show = SW_SHOWNORMAL;
};

class Platform {
public:
    virtual ~Platform() = default;
    // Starts the process and returns at once; true when it was started.
    virtual bool StartCommand(const Command& command) = 0;
    // Shell_NotifyIconA: the tray record is the first-version ANSI layout.
    virtual bool NotifyIcon(DWORD message, const NOTIFYICONDATAA& data) = 0;
    // True when the theme library (uxtheme.dll) can be loaded.
    virtual bool ThemeLibraryAvailable() = 0;
    virtual int ShowMessage(HWND owner, const std::wstring& text, const std::wstring& caption,
                            UINT style) = 0;
    // sndPlaySoundW, given the file by SoundFilePath's name for it.
    virtual bool PlaySoundFile(const std::wstring& path, UINT flags) = 0;
    virtual bool SystemParameters(UINT action, UINT uiParam, UINT_PTR pvParam, UINT winIni) = 0;
    // The theme library's EnableTheming, looked up when called.
    virtual HRESULT EnableTheming(BOOL enable) = 0;
    // SHEmptyRecycleBinA; a null drive means every drive.
    virtual HRESULT EmptyRecycleBin(HWND owner, const char* drive, DWORD flags) = 0;
    // Lets the window receive this message from a less privileged process,
    // such as a shell that is not elevated when the program is; true where
    // the system filters nothing (before Vista).
    virtual bool AllowMessage(HWND window, UINT message) = 0;
};

Platform& Current();
// Installs a replacement (nullptr puts the real one back); returns the old one.
Platform* Install(Platform* replacement);

// Full paths of system programs. CreateProcess would otherwise look in the
// program's own folder and the current folder first.
std::wstring WindowsFolderPath(const wchar_t* fileName);
std::wstring SystemFolderPath(const wchar_t* fileName);

// The name by which the multimedia file layer can open `path`: the path
// itself, or its short form where the layer cannot take the path.
std::wstring SoundFilePath(const std::wstring& path);

// True on 64-bit Windows, whichever build asks.
bool Is64BitWindows();

// The theme library's IsThemeActive, looked up when called: whether visual
// styles are on. False without the library.
bool ThemeActive();

// A member of Administrators whose rights are in force: elevated, where the
// system asks.
bool IsAdministrator();

// SECURITY_ATTRIBUTES holding the descriptor an SDDL string gives.
class SecurityAttributes {
public:
    explicit SecurityAttributes(const wchar_t* sddl);
    ~SecurityAttributes();
    SecurityAttributes(const SecurityAttributes&) = delete;
    SecurityAttributes& operator=(const SecurityAttributes&) = delete;
    SECURITY_ATTRIBUTES* Get() { return &attributes_; }

private:
    SECURITY_ATTRIBUTES attributes_{sizeof attributes_, nullptr, FALSE};
};

// Whether a security descriptor lets only administrators and the system
// (and `alsoTrusted`, when given) own the object and hold any of `writes`.
// Denials count for nothing, and neither does a missing list of rights,
// which lets everyone in.
bool OnlyAdministratorsWrite(PSECURITY_DESCRIPTOR descriptor, ACCESS_MASK writes,
                             PSID alsoTrusted = nullptr);

// The command line CreateProcess receives: the program's name as given,
// then the arguments.
std::wstring CommandLineOf(const Command& command);

}  // namespace platform
