#include <windows.h>

// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <string>
#include <vector>

#include "runtime.h"
#include "shell/CommandLine.h"
#include "shell/frmMain.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    LoadLibrariesFromSystemOnly();
    int count = 0;
    if (wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count)) {
        std::vector<std::wstring> arguments(argv + (count > 0 ? 1 : 0), argv + count);
        LocalFree(argv);
        // Any argument at all: no window, no tray icon, no sound.
        if (!arguments.empty()) return shell::RunCommandLine(arguments, shell::kWindowsProgram);
    }
    frmMain form;
    if (!form.Load(instance)) return 1;
    return tk::RunMessageLoop();
}
