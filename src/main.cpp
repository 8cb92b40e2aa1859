#include <windows.h>

// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "shell/CommandLine.h"
#include "shell/frmMain.h"

#if defined(__GLIBCXX__)
// libstdc++'s default terminate handler names the exception on stderr, which a
// windows-subsystem program has not got, and pulls the C++ demangler and a
// printf into the file (about 75 KB). It aborts after its message; so do we.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
#endif

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int count = 0;
    if (wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count)) {
        std::vector<std::wstring> arguments(argv + (count > 0 ? 1 : 0), argv + count);
        LocalFree(argv);
        // Any argument at all: no window, no tray icon, no sound.
        if (!arguments.empty()) return shell::RunCommandLine(arguments);
    }
    frmMain form;
    if (!form.Load(instance)) return 1;
    return tk::RunMessageLoop();
}
