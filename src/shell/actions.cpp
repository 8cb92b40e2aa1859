#include "shell/actions.h"

#include "base/text.h"
#include "platform/platform.h"
#include "startup/MoveStartupValues.h"
#include "startup/StartupStatus.h"
#include "tweaks/links.h"
#include "tweaks/tweaks.h"

namespace shell {
namespace {

// In the window a message box; on the command line a line of the report.
void Tell(ActionContext& context, const std::wstring& text,
          UINT style = MB_ICONEXCLAMATION | MB_OK) {
    if (context.window)
        platform::Current().ShowMessage(context.window->Owner(), text, kProgramTitle, style);
    else
        context.report += text + L"\n";
}

Outcome SetMtu(ActionContext& context, const char* value) {
    if (tweaks::SetMtu(value) || context.window) return kDone;
    Tell(context,
         L"The MTU was not changed: the TCP/IP parameters key is missing, or writing it "
         L"needs an administrator.");
    return kRefused;
}
Outcome MtuSmall(ActionContext& context) { return SetMtu(context, "68"); }
Outcome MtuLarge(ActionContext& context) { return SetMtu(context, "1500"); }

Outcome EffectsOff(ActionContext&) {
    platform::Current().EnableTheming(FALSE);
    tweaks::DisableVisualEffects();
    return kDone;
}

Outcome EffectsBalanced(ActionContext&) {
    platform::Current().EnableTheming(-1);
    tweaks::BalanceVisualEffects();
    return kDone;
}

Outcome CleanUp(ActionContext& context) {
    if (tweaks::StartCleanup()) return kDone;
    Tell(context,
         L"The disk clean-up tool could not be started. It may not be installed on this "
         L"computer.");
    return kPartly;
}

Outcome EmptyBins(ActionContext& context) {
    if (context.window) {
        context.window->EmptyBins();
        return kDone;
    }
    // Nobody to answer the shell's question or watch its progress.
    HRESULT emptied = platform::Current().EmptyRecycleBin(
        nullptr, nullptr, SHERB_NOCONFIRMATION | SHERB_NOPROGRESSUI | SHERB_NOSOUND);
    // An empty bin is no failure, though some shells report one.
    SHQUERYRBINFO left{};
    left.cbSize = sizeof left;
    if (SUCCEEDED(emptied) || (SUCCEEDED(SHQueryRecycleBinW(nullptr, &left)) && !left.i64NumItems))
        return kDone;
    Tell(context, L"The recycle bins could not be emptied.");
    return kPartly;
}

Outcome Restore(ActionContext& context) {
    if (context.window) context.window->Restore();
    return kDone;
}

Outcome Restart(ActionContext& context) {
    if (platform::Current().StartCommand(
            {platform::SystemFolderPath(L"shutdown.exe"), L"-r -t 0", SW_SHOWMINIMIZED}))
        return kDone;
    Tell(context, L"The computer could not be restarted: shutdown.exe could not be started.");
    return kPartly;
}

// Only refusals for want of rights, and nothing moved: nothing changed.
bool OnlyDenied(const MoveResult& result) {
    if (result.moved) return false;
    int denied = 0;
    for (int place = 0; place < kPlaceCount; ++place)
        denied += result.keptBy[place][kNeedsAdministrator];
    return denied == result.kept &&
           (result.kept || result.unreadable[kMachineWide] || result.unreadable[kThisUser]);
}

// Moves the start-up entries one way, then restarts when every one moved. The
// window asks first when some were left behind; the command line, with nobody
// to ask, then leaves the computer running.
Outcome SwitchStartup(ActionContext& context, bool park) {
    MoveResult result;
    if (!(park ? ParkStartupValues(result, kSwitchWaitMs)
               : RestoreStartupValues(result, kSwitchWaitMs))) {
        Tell(context, result.lockUnavailable
                          ? L"The start-up programs were not moved: the lock that keeps two "
                            L"copies of Tavrel from moving them at once could not be opened. "
                            L"Nothing was changed."
                          : L"Another copy of Tavrel is still moving the start-up programs. "
                            L"Nothing was changed; try again when it has finished.");
        return kRefused;
    }
    const std::wstring kept = DescribeKept(result);
    if (context.window) {
        if (!kept.empty() && platform::Current().ShowMessage(
                                 context.window->Owner(), kept + L"\n\nRestart the computer now?",
                                 kProgramTitle, MB_ICONEXCLAMATION | MB_YESNO) != IDYES)
            return kPartly;
        return Restart(context);
    }
    context.report += (park ? L"Parked " : L"Brought back ") + Entries(result.moved) + L"; " +
                      base::Decimal(static_cast<unsigned>(result.kept)) +
                      L" left where they were.\n";
    if (kept.empty()) return context.noRestart ? kDone : Restart(context);
    context.report += kept + L"\n";
    if (!context.noRestart)
        context.report += L"The computer was not restarted, since not every entry moved.\n";
    return OnlyDenied(result) ? kRefused : kPartly;
}
Outcome PowerBootup(ActionContext& context) { return SwitchStartup(context, true); }
Outcome NormalBootup(ActionContext& context) { return SwitchStartup(context, false); }

Outcome Status(ActionContext& context) {
    context.report += context.json ? DescribeStartupEntriesJson() : DescribeStartupEntries();
    return kDone;
}

Outcome Usage(ActionContext& context) {
    context.report += kUsage;
    return kDone;
}

using A = ActionId;
constexpr wchar_t kClick[] = L"\\click.wav";
// clang-format off
constexpr Action kActions[] = {
//   id                   argument            value        control          cue                 page                      show              run
    {A::kMtuSmall,        L"Mtu",             L"68",       L"Connection",   kClick,             nullptr,                  0,                MtuSmall},
    {A::kMtuLarge,        L"Mtu",             L"1500",     L"Bandwidth",    kClick,             nullptr,                  0,                MtuLarge},
    {A::kEffectsOff,      L"Effects",         L"off",      L"HeadButton",   L"\\longfire.wav",  nullptr,                  0,                EffectsOff},
    {A::kEffectsBalanced, L"Effects",         L"balanced", L"BellyButton",  L"\\fire.wav",      nullptr,                  0,                EffectsBalanced},
    {A::kCleanUp,         L"CleanUp",         nullptr,     L"CLEANME",      kClick,             nullptr,                  0,                CleanUp},
    {A::kEmptyRecycleBin, L"EmptyRecycleBin", nullptr,     L"CLEARRECYCLE", kClick,             nullptr,                  0,                EmptyBins},
    {A::kRestore,         nullptr,            nullptr,     L"mPopRestore",  nullptr,            nullptr,                  0,                Restore},
    {A::kRestart,         L"Restart",         nullptr,     L"mPopRestart",  nullptr,            nullptr,                  0,                Restart},
    {A::kPowerBootup,     L"PowerBootup",     nullptr,     L"mPowerBoot",   nullptr,            nullptr,                  0,                PowerBootup},
    {A::kNormalBootup,    L"NormalBootup",    nullptr,     L"mNormalBoot",  nullptr,            nullptr,                  0,                NormalBootup},
    {A::kStatus,          L"Status",          nullptr,     nullptr,         nullptr,            nullptr,                  0,                Status},
    {A::kUsage,           L"?",               nullptr,     nullptr,         nullptr,            nullptr,                  0,                Usage},
    {A::kInformation,     nullptr,            nullptr,     L"HelpCommand",  kClick,             tweaks::kInformationPage, SW_SHOWMINIMIZED, nullptr},
    {A::kLogo,            nullptr,            nullptr,     L"Picture1",     kClick,             tweaks::kInformationPage, SW_SHOWMINIMIZED, nullptr},
    {A::kSpybot,          nullptr,            nullptr,     L"SpybotButton", nullptr,            tweaks::kInformationPage, SW_SHOWMINIMIZED, nullptr},
    {A::kReferFriend,     nullptr,            nullptr,     L"Label1",       kClick,             L"/taf.htm",              SW_SHOWMINIMIZED, nullptr},
    {A::kMoreFeatures,    nullptr,            nullptr,     L"UpLeftText",   kClick,             L"/popup2.htm",           SW_HIDE,          nullptr},
};
// clang-format on
constexpr size_t kActionCount = sizeof kActions / sizeof *kActions;

}  // namespace

const wchar_t kUsage[] =
    L"Usage: Tavrel [/PowerBootup | /NormalBootup] [/NoRestart]\n"
    L"       Tavrel /Restart | /Mtu 68|1500 | /Effects off|balanced | /CleanUp\n"
    L"       Tavrel /EmptyRecycleBin | /Status [/Json] | /?\n"
    L"  /PowerBootup      park every start-up entry in RunDisabled, then restart\n"
    L"  /NormalBootup     bring the parked entries back, then restart\n"
    L"  /NoRestart        with either of those: do not restart\n"
    L"  /Restart          restart the computer\n"
    L"  /Mtu 68|1500      set the TCP/IP MTU\n"
    L"  /Effects off|balanced  visual styles and effects off, or a balanced set\n"
    L"  /CleanUp          start the disk clean-up tool\n"
    L"  /EmptyRecycleBin  empty the recycle bins without asking\n"
    L"  /Status           list the Run and RunDisabled entries of every place\n"
    L"  /Json             with /Status: the same as JSON, every byte in hex\n"
    L"One action at a time; names in any case, with / or -.\n"
    L"Exit code: 0 done, 1 partly done (see the reasons), 2 refused, nothing changed.\n";

const Action* Actions(size_t& count) {
    count = kActionCount;
    return kActions;
}

const Action& ActionOf(ActionId id) {
    for (const Action& action : kActions)
        if (action.id == id) return action;
    return kActions[0];  // every id has its row
}

const Action* ActionForControl(const std::wstring& control) {
    for (const Action& action : kActions)
        if (action.control && control == action.control) return &action;
    return nullptr;
}

Outcome RunAction(const Action& action, ActionContext& context) {
    if (context.window) context.window->Present(action);
    return action.run ? action.run(context) : kDone;
}

}  // namespace shell
