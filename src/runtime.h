#pragma once
// What both programs do first, before any window or dialog.

// DLLs loaded from here on come from the system folder, never the program's
// folder or the current one, where anyone could have put a look-alike.
void LoadLibrariesFromSystemOnly();
