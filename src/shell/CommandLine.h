#pragma once
// Tavrel run from a command line, a script or a deployment tool: one action
// of the table, no window, no tray icon, no sound and no page.
#include <string>
#include <vector>

#include "shell/actions.h"

namespace shell {

struct Request {
    const Action* action = nullptr;  // nullptr when refused
    bool noRestart = false;
    bool whatIf = false;
    std::wstring error;  // why the arguments were refused
};

// Reads the arguments (without the program's name). Every one is checked
// before anything is done: one action, /NoRestart only with a switch, /WhatIf
// only with an action that changes something.
Request ParseArguments(const std::vector<std::wstring>& arguments);

// Runs the request, reports, and gives the exit code: 0 done, 1 partly
// done, 2 refused with nothing changed.
int RunCommandLine(const std::vector<std::wstring>& arguments);

}  // namespace shell
