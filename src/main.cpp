#include <windows.h>

#include "shell/frmMain.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    frmMain form;
    if (!form.Load(instance)) return 1;
    return tk::RunMessageLoop();
}
