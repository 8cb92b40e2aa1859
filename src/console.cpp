// tavrelc.exe, the console companion of Tavrel.exe for prompts, scripts and
// deployment tools: the same arguments, actions, words and exit codes, with no
// window, picture or sound. It runs as invoked, so a prompt waits for it, its
// words reach the prompt's console or redirected output, and it never raises
// an elevation prompt.
#include <windows.h>

#include <string>
#include <vector>

#include "runtime.h"
#include "shell/CommandLine.h"

int wmain(int argc, wchar_t** argv) {
    LoadLibrariesFromSystemOnly();
    std::vector<std::wstring> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    return shell::RunCommandLine(arguments, shell::kConsoleProgram);
}
