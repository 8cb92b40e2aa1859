#include "shell/actions.h"

#include "base/text.h"
#include "history/changes.h"
#include "platform/platform.h"
#include "shell/frmMain.h"
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
        platform::Current().ShowMessage(context.window->Hwnd(), text, kProgramTitle, style);
    else
        context.report += text + L"\n";
}

constexpr wchar_t kArrow[] = L" \u2192 ";

// What /WhatIf prints for an action: its lines, or that nothing would change.
Outcome Preview(ActionContext& context, const std::wstring& lines) {
    context.report += lines.empty() ? L"No change: every setting already holds what the action "
                                      L"would set.\n"
                                    : lines;
    return kDone;
}

// A change is recorded before it is made; without its record it is not made.
Outcome NotRecorded(ActionContext& context) {
    Tell(context,
         L"Nothing was changed: Tavrel could not write its record of the change under "
         L"HKEY_CURRENT_USER\\Software\\Tavrel.");
    return kRefused;
}

Outcome SetMtu(ActionContext& context, DWORD mtu, const char* value) {
    std::vector<history::SettingChange> plan = history::PlanMtu(mtu);
    if (context.whatIf) return Preview(context, history::DescribeSettings(plan));
    bool set = false;
    if (!history::RecordSettings(history::Kind::kMtu, context.action->title, std::move(plan),
                                 [&] { set = tweaks::SetMtu(value); }))
        return NotRecorded(context);
    if (set || context.window) return kDone;
    Tell(context,
         L"The MTU was not changed: the TCP/IP parameters key is missing, or writing it "
         L"needs an administrator.");
    return kRefused;
}
Outcome MtuSmall(ActionContext& context) { return SetMtu(context, 68, "68"); }
Outcome MtuLarge(ActionContext& context) { return SetMtu(context, 1500, "1500"); }

Outcome SetEffects(ActionContext& context, bool off) {
    std::vector<history::SettingChange> plan = history::PlanEffects(off);
    if (context.whatIf) return Preview(context, history::DescribeSettings(plan));
    if (!history::RecordSettings(history::Kind::kEffects, context.action->title, std::move(plan),
                                 [off] {
                                     platform::Current().EnableTheming(off ? FALSE : -1);
                                     if (off)
                                         tweaks::DisableVisualEffects();
                                     else
                                         tweaks::BalanceVisualEffects();
                                 }))
        return NotRecorded(context);
    return kDone;
}
Outcome EffectsOff(ActionContext& context) { return SetEffects(context, true); }
Outcome EffectsBalanced(ActionContext& context) { return SetEffects(context, false); }

// A program as it is started: its full path, then its arguments.
std::wstring Program(const platform::Command& command) {
    return base::Cat({command.program, command.arguments.empty() ? L"" : L" ", command.arguments});
}

// For a change that cannot be undone: the program it starts.
std::wstring Starts(const wchar_t* what, const platform::Command& command) {
    return base::Cat({what, L": starts ", Program(command), L" (cannot be undone)\n"});
}

// Starts a system program; recorded as done, since it cannot be undone.
Outcome StartRecorded(ActionContext& context, const wchar_t* what, const wchar_t* title,
                      const platform::Command& command, const wchar_t* failure) {
    if (context.whatIf) return Preview(context, Starts(what, command));
    bool started = false;
    if (!history::RecordOnce(title, L"started " + Program(command),
                             [&] { return started = platform::Current().StartCommand(command); }))
        return NotRecorded(context);
    if (started) return kDone;
    Tell(context, failure);
    return kPartly;
}

Outcome CleanUp(ActionContext& context) {
    return StartRecorded(context, L"disk clean-up", context.action->title,
                         {tweaks::CleanupTool(), L"", SW_SHOWMINIMIZED},
                         L"The disk clean-up tool could not be started. It may not be installed "
                         L"on this computer.");
}

SHQUERYRBINFO BinNow() {
    SHQUERYRBINFO bin{};
    bin.cbSize = sizeof bin;
    if (FAILED(SHQueryRecycleBinW(nullptr, &bin))) bin.i64NumItems = bin.i64Size = 0;
    return bin;
}

Outcome EmptyBins(ActionContext& context) {
    const SHQUERYRBINFO before = BinNow();
    const unsigned long long items = static_cast<unsigned long long>(before.i64NumItems);
    const std::wstring held =
        base::Cat({base::Decimal(items), items == 1 ? L" item, " : L" items, ",
                   base::Decimal(static_cast<unsigned long long>(before.i64Size)), L" bytes"});
    if (context.whatIf)
        return Preview(context,
                       base::Cat({L"recycle bins: ", held, kArrow, L"empty (cannot be undone)\n"}));
    Outcome outcome = kDone;
    auto empty = [&] {
        if (context.window) {
            context.window->EmptyRecycleBin(nullptr, kFalse);
        } else {
            // Nobody to answer the shell's question or watch its progress.
            HRESULT emptied = platform::Current().EmptyRecycleBin(
                nullptr, nullptr, SHERB_NOCONFIRMATION | SHERB_NOPROGRESSUI | SHERB_NOSOUND);
            // An empty bin is no failure, though some shells report one.
            if (FAILED(emptied) && BinNow().i64NumItems) {
                Tell(context, L"The recycle bins could not be emptied.");
                outcome = kPartly;
            }
        }
        return BinNow().i64NumItems < before.i64NumItems;  // kept only when some went
    };
    if (!history::RecordOnce(context.action->title, base::Cat({L"emptied ", held}), empty))
        return NotRecorded(context);
    return outcome;
}

Outcome Restore(ActionContext& context) {
    if (context.window) context.window->mPopRestore_Click(0);
    return kDone;
}

platform::Command RestartCommand() {
    return {platform::SystemFolderPath(L"shutdown.exe"), L"-r -t 0", SW_SHOWMINIMIZED};
}

Outcome Restart(ActionContext& context) {
    return StartRecorded(
        context, L"restart", ActionOf(ActionId::kRestart).title, RestartCommand(),
        L"The computer could not be restarted: shutdown.exe could not be started.");
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
    if (context.whatIf) {
        int staying = 0;
        std::wstring lines = PreviewMove(park ? kStartupKey : kParkingKey,
                                         park ? kParkingKey : kStartupKey, !park, nullptr, staying);
        if (!staying && !context.noRestart) lines += Starts(L"restart", RestartCommand());
        return Preview(context, lines);
    }
    history::Record record;
    record.kind = history::Kind::kStartup;
    record.title = context.action->title;
    record.parks = park;
    history::SwitchRecord log(record);
    MoveResult result;
    if (!(park ? ParkStartupValues(result, kSwitchWaitMs, &log)
               : RestoreStartupValues(result, kSwitchWaitMs, &log))) {
        Tell(context,
             L"Another copy of Tavrel is still moving the start-up programs. Nothing was "
             L"changed; try again when it has finished.");
        return kRefused;
    }
    log.Complete(result);
    int unrecorded =
        result.keptBy[kMachineWide][kNotRecorded] + result.keptBy[kThisUser][kNotRecorded];
    if (unrecorded && !result.moved) return NotRecorded(context);
    const std::wstring kept = DescribeKept(result);
    if (context.window) {
        if (!kept.empty() && platform::Current().ShowMessage(
                                 context.window->Hwnd(), kept + L"\n\nRestart the computer now?",
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

Outcome Undo(ActionContext& context) {
    std::wstring report;
    history::UndoOutcome undone = history::Undo(report, context.whatIf);
    if (context.whatIf) return Preview(context, report);
    if (undone == history::UndoOutcome::kPutBack) {
        if (!context.window) context.report += report;
        return kDone;
    }
    report.pop_back();  // the last line's end; a message box has no use for it
    Tell(context, report);
    return undone == history::UndoOutcome::kPartly ? kPartly : kRefused;
}

Outcome History(ActionContext& context) {
    context.report += history::DescribeHistory();
    return kDone;
}

Outcome Status(ActionContext& context) {
    context.report += DescribeStartupEntries();
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
//   id                   argument            value        control          cue                 page                      show              title                 run
    {A::kMtuSmall,        L"Mtu",             L"68",       L"Connection",   kClick,             nullptr,                  0,                L"MTU 68",            MtuSmall},
    {A::kMtuLarge,        L"Mtu",             L"1500",     L"Bandwidth",    kClick,             nullptr,                  0,                L"MTU 1500",          MtuLarge},
    {A::kEffectsOff,      L"Effects",         L"off",      L"HeadButton",   L"\\longfire.wav",  nullptr,                  0,                L"Effects off",       EffectsOff},
    {A::kEffectsBalanced, L"Effects",         L"balanced", L"BellyButton",  L"\\fire.wav",      nullptr,                  0,                L"Effects balanced",  EffectsBalanced},
    {A::kCleanUp,         L"CleanUp",         nullptr,     L"CLEANME",      kClick,             nullptr,                  0,                L"Clean-up",          CleanUp},
    {A::kEmptyRecycleBin, L"EmptyRecycleBin", nullptr,     L"CLEARRECYCLE", kClick,             nullptr,                  0,                L"Empty recycle bins", EmptyBins},
    {A::kRestore,         nullptr,            nullptr,     L"mPopRestore",  nullptr,            nullptr,                  0,                nullptr,              Restore},
    {A::kRestart,         L"Restart",         nullptr,     L"mPopRestart",  nullptr,            nullptr,                  0,                L"Restart",           Restart},
    {A::kPowerBootup,     L"PowerBootup",     nullptr,     L"mPowerBoot",   nullptr,            nullptr,                  0,                L"Power Bootup",      PowerBootup},
    {A::kNormalBootup,    L"NormalBootup",    nullptr,     L"mNormalBoot",  nullptr,            nullptr,                  0,                L"Normal Bootup",     NormalBootup},
    {A::kUndo,            L"Undo",            nullptr,     L"mUndo",        nullptr,            nullptr,                  0,                L"Undo",              Undo},
    {A::kHistory,         L"History",         nullptr,     nullptr,         nullptr,            nullptr,                  0,                nullptr,              History},
    {A::kStatus,          L"Status",          nullptr,     nullptr,         nullptr,            nullptr,                  0,                nullptr,              Status},
    {A::kUsage,           L"?",               nullptr,     nullptr,         nullptr,            nullptr,                  0,                nullptr,              Usage},
    {A::kInformation,     nullptr,            nullptr,     L"HelpCommand",  kClick,             tweaks::kInformationPage, SW_SHOWMINIMIZED, nullptr,              nullptr},
    {A::kLogo,            nullptr,            nullptr,     L"Picture1",     kClick,             tweaks::kInformationPage, SW_SHOWMINIMIZED, nullptr,              nullptr},
    {A::kSpybot,          nullptr,            nullptr,     L"SpybotButton", nullptr,            tweaks::kInformationPage, SW_SHOWMINIMIZED, nullptr,              nullptr},
    {A::kReferFriend,     nullptr,            nullptr,     L"Label1",       kClick,             L"/taf.htm",              SW_SHOWMINIMIZED, nullptr,              nullptr},
    {A::kMoreFeatures,    nullptr,            nullptr,     L"UpLeftText",   kClick,             L"/popup2.htm",           SW_HIDE,          nullptr,              nullptr},
};
// clang-format on
constexpr size_t kActionCount = sizeof kActions / sizeof *kActions;

}  // namespace

const wchar_t kUsage[] =
    L"Usage: Tavrel [/WhatIf] [/PowerBootup | /NormalBootup] [/NoRestart]\n"
    L"       Tavrel [/WhatIf] /Restart | /Mtu 68|1500 | /Effects off|balanced | /CleanUp\n"
    L"       Tavrel [/WhatIf] /EmptyRecycleBin | /Undo\n"
    L"       Tavrel /History | /Status | /?\n"
    L"  /PowerBootup      park every start-up entry in RunDisabled, then restart\n"
    L"  /NormalBootup     bring the parked entries back, then restart\n"
    L"  /NoRestart        with either of those: do not restart\n"
    L"  /Restart          restart the computer\n"
    L"  /Mtu 68|1500      set the TCP/IP MTU\n"
    L"  /Effects off|balanced  visual styles and effects off, or a balanced set\n"
    L"  /CleanUp          start the disk clean-up tool\n"
    L"  /EmptyRecycleBin  empty the recycle bins without asking\n"
    L"  /Undo             put back what the last change that can be undone changed,\n"
    L"                    where nothing else has changed it since; never restarts\n"
    L"  /WhatIf           with an action: list what it would change, now -> after,\n"
    L"                    and change nothing\n"
    L"  /History          list the recorded changes, newest first\n"
    L"  /Status           list the Run and RunDisabled entries of every place\n"
    L"One action at a time; names in any case, with / or -.\n"
    L"Exit code: 0 done, 1 partly done (see the reasons), 2 refused, nothing changed;\n"
    L"/Undo: 0 all put back, 1 some left because they changed since, 2 nothing to undo.\n";

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
    context.action = &action;
    if (context.window) {
        if (action.cue) tweaks::PlayCue(tk::ProgramFolder(), action.cue);
        if (action.page) tweaks::OpenPage(action.page, action.show);
    }
    return action.run ? action.run(context) : kDone;
}

}  // namespace shell
