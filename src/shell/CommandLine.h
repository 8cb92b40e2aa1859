#pragma once
// Tavrel run from a command line, a script or a deployment tool: one action
// of the table, no window, no tray icon, no sound and no page.
#include <string>
#include <vector>

#include "shell/actions.h"

namespace shell {

struct Request {
    const Action* action = nullptr;  // nullptr when refused
    unsigned options = 0;            // OptionBits
    std::wstring name, place;        // the action's NAME, and /Place's word
    std::wstring error;              // why the arguments were refused
};

// Reads the arguments (without the program's name). Every one is checked
// before anything is done: one action, and only the options its row takes.
Request ParseArguments(const std::vector<std::wstring>& arguments);

// Which program reads the command line. Tavrel.exe, with no console of its
// own, shows its words in a message box where it has nowhere to write them;
// the console companion never does, so that nothing waits for an answer.
enum Program { kWindowsProgram, kConsoleProgram };

// Runs the request, reports, and gives the exit code: 0 done, 1 partly
// done, 2 refused with nothing changed, 3010 done but for the restart.
int RunCommandLine(const std::vector<std::wstring>& arguments, Program program);

}  // namespace shell
