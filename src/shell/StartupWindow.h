#pragma once
// The start-up programs window: every start-up entry and Startup item of
// every place, live and parked, one row each with a "starts with Windows"
// check box, and the user's keep-list. It opens from the tray menu; neither
// it nor the list view it needs loads before.
#include <windows.h>

#include "shell/actions.h"

namespace shell {

// Shows the window, made the first time, and brings it to the front. The
// moves it makes ask and tell through `owner`.
void ShowStartupWindow(HINSTANCE instance, ActionWindow& owner);

}  // namespace shell
