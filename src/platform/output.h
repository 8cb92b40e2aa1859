#pragma once
// Where a command-line run's words go: the console the program was started
// from, the file or pipe its output was redirected to, or else a message box.
#include <windows.h>

#include <string>

namespace platform {

enum class OutputTo { kConsole, kFile, kMessageBox, kNowhere };

// Writes `text`. Without a console or a redirected output, shows it in a
// message box with `style` where `box` allows, unless no one can see the
// desktop (a service, or an installer's system account); else it is dropped.
OutputTo WriteOutput(const std::wstring& text, UINT style, bool box);

}  // namespace platform
