#include "shell/frmMain.h"

#include "platform/platform.h"
#include "resources/resource.h"
#include "tweaks/links.h"

namespace {

constexpr tk::FormSettings kFormSettings{L"TavrelMain", kTitle, 5940, 7605, IDI_TAVREL};

}  // namespace

bool frmMain::Load(HINSTANCE instance) { return Form::Load(instance, kFormSettings); }

void frmMain::OnLoad() {
    Show();
    Refresh();
}

void frmMain::OnUnload() {
    platform::Current().StartCommand({platform::WindowsFolderPath(L"explorer.exe"),
                                      std::wstring(tweaks::kMakerSite) + L"/popup2.htm",
                                      SW_SHOWMINIMIZED});
}
