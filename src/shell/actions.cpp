#include "shell/actions.h"

#include <vector>

#include "base/escape.h"
#include "base/text.h"
#include "history/changes.h"
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

constexpr wchar_t kArrow[] = L" \u2192 ";

// What /WhatIf prints for an action: its lines, or that nothing would change.
Outcome Preview(ActionContext& context, const std::wstring& lines) {
    context.report += lines.empty() ? L"No change: every setting already holds what the action "
                                      L"would set.\n"
                                    : lines;
    return kDone;
}

// A change is recorded before it is made; without its record it is not made.
// After a switch that moved entries, only the restart waits for its record.
Outcome NotRecorded(ActionContext& context) {
    Tell(context, base::Cat({context.moved ? L"The computer was not restarted; restart it to "
                                             L"finish the change."
                                           : L"Nothing was changed:",
                             L" Tavrel could not write its record under "
                             L"Software\\Tavrel\\History.",
                             history::NumbersUsedUp()}));
    return context.moved ? kRestartRequired : kRefused;
}

// The preview answers as the change would: both refuse without the rights
// to write the MTU, and neither writes what already holds.
Outcome SetMtu(ActionContext& context, DWORD mtu) {
    std::vector<history::SettingChange> plan = history::PlanMtu(mtu);
    const std::wstring lines = history::DescribeSettings(plan);
    std::wstring failed;
    if (lines.empty() || history::CanWrite(history::Setting::kMtu)) {
        if (context.whatIf) return Preview(context, lines);
        if (lines.empty()) return kDone;
        if (!history::RecordSettings(history::Kind::kMtu, context.action->title, std::move(plan),
                                     failed))
            return NotRecorded(context);
        if (failed.empty()) return kDone;
    }
    if (context.window) return kDone;  // the button has always been silent
    Tell(context,
         L"The MTU was not changed: the TCP/IP parameters key is missing, or writing it "
         L"needs an administrator.");
    return kRefused;
}
Outcome MtuSmall(ActionContext& context) { return SetMtu(context, 68); }
Outcome MtuLarge(ActionContext& context) { return SetMtu(context, 1500); }

// Every call is checked: the settings that did not take are named.
Outcome SetEffects(ActionContext& context, bool off) {
    std::vector<history::SettingChange> plan = history::PlanEffects(off);
    if (context.whatIf) return Preview(context, history::DescribeSettings(plan));
    std::wstring failed;
    if (!history::RecordSettings(history::Kind::kEffects, context.action->title, std::move(plan),
                                 failed))
        return NotRecorded(context);
    if (failed.empty()) return kDone;
    Tell(context, L"These settings did not take: " + failed + L".");
    return kPartly;
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
            context.window->EmptyBins();
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
    if (context.window) context.window->Restore();
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
    return denied == result.kept && !result.Complete();
}

// The switch's lock was not to be had: nothing moved.
Outcome Locked(ActionContext& context, const MoveResult& result) {
    Tell(context, result.lockUnavailable
                      ? L"The start-up programs were not moved: the lock that keeps two "
                        L"copies of Tavrel from moving them at once could not be opened. "
                        L"Nothing was changed."
                      : L"Another copy of Tavrel is still moving the start-up programs. "
                        L"Nothing was changed; try again when it has finished.");
    return kRefused;
}

// Moves the start-up entries one way, then restarts when every one moved. The
// window asks first when some were left behind; the command line, with nobody
// to ask, then leaves the computer running.
Outcome SwitchStartup(ActionContext& context, bool park) {
    if (context.whatIf) {
        // Answers as the move would, but never 3010: the preview restarts nothing.
        MoveResult result;
        std::wstring lines = PreviewMove(park ? kStartupKey : kParkingKey,
                                         park ? kParkingKey : kStartupKey, !park, nullptr, result);
        if (result.Complete() && !context.noRestart) lines += Starts(L"restart", RestartCommand());
        Preview(context, lines);
        return result.Complete() ? kDone : OnlyDenied(result) ? kRefused : kPartly;
    }
    history::Record record;
    record.kind = history::Kind::kStartup;
    record.title = context.action->title;
    record.parks = park;
    history::SwitchRecord log(record);
    MoveResult result;
    if (!(park ? ParkStartupValues(result, kSwitchWaitMs, &log)
               : RestoreStartupValues(result, kSwitchWaitMs, &log)))
        return Locked(context, result);
    log.Complete(result);
    context.moved = result.moved > 0;
    int unrecorded = 0;
    for (const auto& reasons : result.keptBy) unrecorded += reasons[kNotRecorded];
    if (unrecorded && !result.moved) return NotRecorded(context);
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
    // Task Manager's choices are kept by name, so they stay with the entries.
    int turnedOff = 0;
    for (const PlaceEntries& place : record.entries) {
        const TaskManagerChoices choices(place.place, place.view);
        for (size_t i = 0; i < place.names.size(); ++i)
            turnedOff += place.hashes[i] && choices.Of(place.names[i]).off;
    }
    if (turnedOff)
        context.report += base::Cat({base::Decimal(static_cast<unsigned>(turnedOff)),
                                     L" of them Task Manager had turned off; that stays so.\n"});
    // Kept on purpose, not for want of anything: no failure, no other exit code.
    for (const MoveResult::LeftAlone& left : result.leftAlone)
        context.report += base::Cat({left.why == kWindowsOwn  ? L"Left as Windows' own: "
                                     : left.why == kKeptByYou ? L"Kept by your keep-list: "
                                                              : L"Kept by your administrator: ",
                                     left.what, L".\n"});
    // Nothing moved needs no restart; a partial move is partial (1 before 3010).
    if (kept.empty())
        return !context.noRestart ? Restart(context) : result.moved ? kRestartRequired : kDone;
    context.report += kept + L"\n";
    if (!context.noRestart)
        context.report += L"The computer was not restarted, since not every entry moved.\n";
    return OnlyDenied(result) ? kRefused : kPartly;
}
Outcome PowerBootup(ActionContext& context) { return SwitchStartup(context, true); }
Outcome NormalBootup(ActionContext& context) { return SwitchStartup(context, false); }

// The place /Place names, when it names one; false, and why, for a word
// that is no place.
bool PlaceGiven(ActionContext& context, EntryPlace& place, bool& given) {
    given = !context.place.empty();
    if (!given || PlaceOfToken(context.place, place)) return true;
    context.report +=
        base::Cat({L"/Place takes HKLM, ", platform::Is64BitWindows() ? L"HKLM32, " : L"",
                   L"HKCU, Startup or CommonStartup. Nothing was changed.\n"});
    return false;
}

// The one entry the command line names, live to park or parked to bring
// back, in /Place when given. Refused, saying why, when there is none, or
// when the name is in more than one place.
bool FindEntry(ActionContext& context, bool parked, StartupEntry& found) {
    EntryPlace place = EntryPlace::kHkcu;
    bool placed = false;
    if (!PlaceGiven(context, place, placed)) return false;
    std::vector<StartupEntry> matches;
    bool otherwise = false;  // there, but parked, or not parked
    for (StartupEntry& entry : ListStartupEntries()) {
        if (!SameName(entry.name, context.name) || (placed && entry.place != place)) continue;
        if (entry.parked == parked)
            matches.push_back(entry);
        else
            otherwise = true;
    }
    if (matches.size() == 1) {
        found = matches[0];
        return true;
    }
    const std::wstring name = base::Quoted(context.name);
    std::wstring places;
    for (const StartupEntry& match : matches)
        places += (places.empty() ? L"" : L", ") + std::wstring(PlaceToken(match.place));
    context.report +=
        !matches.empty() ? base::Cat({name, L" is in more than one place: ", places,
                                      L". Choose one with /Place. Nothing was changed.\n"})
        : otherwise      ? base::Cat({name, parked ? L" is not parked" : L" is parked already",
                                      L". Nothing was changed.\n"})
                         : base::Cat({L"No start-up entry or Startup item is named ", name,
                                 placed ? L" in " : L"", placed ? PlaceToken(place) : L"",
                                      L". Nothing was changed.\n"});
    return false;
}

Outcome MoveNamed(ActionContext& context, bool park) {
    StartupEntry entry;
    if (!FindEntry(context, !park, entry)) return kRefused;
    return MoveOne(context, entry.place, entry.name, park);
}
Outcome ParkEntry(ActionContext& context) { return MoveNamed(context, true); }
Outcome RestoreEntry(ActionContext& context) { return MoveNamed(context, false); }

// The user's keep-list: the entry as named, in /Place when given.
Outcome EditKeepList(ActionContext& context, bool keep) {
    EntryPlace place = EntryPlace::kHkcu;
    bool placed = false;
    if (!PlaceGiven(context, place, placed)) return kRefused;
    const std::wstring line = KeepLine(context.name, placed ? &place : nullptr);
    const std::wstring shown = base::Quoted(line);
    if (context.whatIf) {
        context.report +=
            base::Cat({L"keep-list: ", shown, keep ? L" added" : L" taken off", L"\n"});
        return kDone;
    }
    const LSTATUS status = keep ? KeepEntry(line) : UnkeepEntry(line);
    if (status == ERROR_SUCCESS) {
        context.report += base::Cat({shown, keep ? L" is on your keep-list: Power Bootup leaves it "
                                                   L"where it is.\n"
                                                 : L" is off your keep-list.\n"});
        return kDone;
    }
    const bool administrator = !keep && KeepList::Load().Of(placed ? place : EntryPlace::kHkcu,
                                                            context.name) == Keeper::kAdministrator;
    context.report +=
        base::Cat({shown,
                   administrator ? L" is kept by your administrator, which Tavrel cannot change"
                   : status == ERROR_FILE_NOT_FOUND ? L" is not on your keep-list"
                                                    : L" could not be written to your keep-list",
                   L". Nothing was changed.\n"});
    return kRefused;
}
Outcome KeepNamed(ActionContext& context) { return EditKeepList(context, true); }
Outcome UnkeepNamed(ActionContext& context) { return EditKeepList(context, false); }

Outcome StartupPrograms(ActionContext& context) {
    if (context.window) context.window->ShowStartupPrograms();
    return kDone;
}

Outcome Undo(ActionContext& context) {
    std::wstring report;
    history::UndoOutcome undone = history::Undo(report, context.whatIf);
    // A preview answers as the undo would: 2 when there is nothing to undo.
    if (context.whatIf) {
        Preview(context, report);
        return undone == history::UndoOutcome::kPutBack  ? kDone
               : undone == history::UndoOutcome::kPartly ? kPartly
                                                         : kRefused;
    }
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
    context.report += context.json ? DescribeStartupEntriesJson() : DescribeStartupEntries();
    return kDone;
}

Outcome ShowUsage(ActionContext& context) {
    context.report += Usage();
    return kDone;
}

using A = ActionId;
constexpr wchar_t kClick[] = L"\\click.wav";
constexpr unsigned kNoRestart = kNoRestartOption, kJson = kJsonOption, kWhatIf = kWhatIfOption,
                   kPlace = kPlaceOption;
// clang-format off
constexpr Action kActions[] = {
//   id                   argument            value        control          cue                 page                      show              title                  run              options             help
    {A::kMtuSmall,        L"Mtu",             L"68",       L"Connection",   kClick,             nullptr,                  0,                L"MTU 68",             MtuSmall,        kWhatIf,            L"set the TCP/IP MTU"},
    {A::kMtuLarge,        L"Mtu",             L"1500",     L"Bandwidth",    kClick,             nullptr,                  0,                L"MTU 1500",           MtuLarge,        kWhatIf,            nullptr},
    {A::kEffectsOff,      L"Effects",         L"off",      L"HeadButton",   L"\\longfire.wav",  nullptr,                  0,                L"Effects off",        EffectsOff,      kWhatIf,            L"visual styles and effects off, or a balanced set"},
    {A::kEffectsBalanced, L"Effects",         L"balanced", L"BellyButton",  L"\\fire.wav",      nullptr,                  0,                L"Effects balanced",   EffectsBalanced, kWhatIf,            nullptr},
    {A::kCleanUp,         L"CleanUp",         nullptr,     L"CLEANME",      kClick,             nullptr,                  0,                L"Clean-up",           CleanUp,         kWhatIf,            L"start the disk clean-up tool"},
    {A::kEmptyRecycleBin, L"EmptyRecycleBin", nullptr,     L"CLEARRECYCLE", kClick,             nullptr,                  0,                L"Empty recycle bins", EmptyBins,       kWhatIf,            L"empty the recycle bins without asking"},
    {A::kRestore,         nullptr,            nullptr,     L"mPopRestore",  nullptr,            nullptr,                  0,                nullptr,               Restore,         0,                  nullptr},
    {A::kRestart,         L"Restart",         nullptr,     L"mPopRestart",  nullptr,            nullptr,                  0,                L"Restart",            Restart,         kWhatIf,            L"restart the computer"},
    {A::kPowerBootup,     L"PowerBootup",     nullptr,     L"mPowerBoot",   nullptr,            nullptr,                  0,                L"Power Bootup",       PowerBootup,     kWhatIf|kNoRestart, L"park every start-up entry and Startup item but Windows' own and those a keep-list keeps, then restart"},
    {A::kNormalBootup,    L"NormalBootup",    nullptr,     L"mNormalBoot",  nullptr,            nullptr,                  0,                L"Normal Bootup",      NormalBootup,    kWhatIf|kNoRestart, L"bring the parked entries back, then restart"},
    {A::kUndo,            L"Undo",            nullptr,     L"mUndo",        nullptr,            nullptr,                  0,                L"Undo",               Undo,            kWhatIf,            L"put back what the last change that can be undone changed, where nothing else has changed it since; never restarts"},
    {A::kStartupPrograms, nullptr,            nullptr,     L"mStartupList", nullptr,            nullptr,                  0,                nullptr,               StartupPrograms, 0,                  nullptr},
    {A::kPark,            L"Park",            kNameValue,  nullptr,         nullptr,            nullptr,                  0,                nullptr,               ParkEntry,       kWhatIf|kPlace,     L"park one start-up entry or Startup item, its name in any case (\"\" for the unnamed value); never restarts"},
    {A::kRestoreEntry,    L"Restore",         kNameValue,  nullptr,         nullptr,            nullptr,                  0,                nullptr,               RestoreEntry,    kWhatIf|kPlace,     L"bring one parked entry or item back; never restarts"},
    {A::kKeep,            L"Keep",            kNameValue,  nullptr,         nullptr,            nullptr,                  0,                nullptr,               KeepNamed,       kWhatIf|kPlace,     L"put an entry on your keep-list, which Power Bootup never parks"},
    {A::kUnkeep,          L"Unkeep",          kNameValue,  nullptr,         nullptr,            nullptr,                  0,                nullptr,               UnkeepNamed,     kWhatIf|kPlace,     L"take an entry off your keep-list"},
    {A::kHistory,         L"History",         nullptr,     nullptr,         nullptr,            nullptr,                  0,                nullptr,               History,         0,                  L"list the recorded changes, newest first"},
    {A::kStatus,          L"Status",          nullptr,     nullptr,         nullptr,            nullptr,                  0,                nullptr,               Status,          kJson,              L"list the Run and RunDisabled entries of every place"},
    {A::kUsage,           L"?",               nullptr,     nullptr,         nullptr,            nullptr,                  0,                nullptr,               ShowUsage,       0,                  L"this text"},
    {A::kInformation,     nullptr,            nullptr,     L"HelpCommand",  kClick,             tweaks::kInformationPage, SW_SHOWMINIMIZED, nullptr,               nullptr,         0,                  nullptr},
    {A::kLogo,            nullptr,            nullptr,     L"Picture1",     kClick,             tweaks::kInformationPage, SW_SHOWMINIMIZED, nullptr,               nullptr,         0,                  nullptr},
    {A::kSpybot,          nullptr,            nullptr,     L"SpybotButton", nullptr,            tweaks::kInformationPage, SW_SHOWMINIMIZED, nullptr,               nullptr,         0,                  nullptr},
    {A::kReferFriend,     nullptr,            nullptr,     L"Label1",       kClick,             L"/taf.htm",              SW_SHOWMINIMIZED, nullptr,               nullptr,         0,                  nullptr},
    {A::kMoreFeatures,    nullptr,            nullptr,     L"UpLeftText",   kClick,             L"/popup2.htm",           SW_HIDE,          nullptr,               nullptr,         0,                  nullptr},
};
constexpr Option kOptions[] = {
    {kNoRestartOption, L"NoRestart", &ActionContext::noRestart, nullptr,                nullptr,   L"do not restart afterwards"},
    {kWhatIfOption,    L"WhatIf",    &ActionContext::whatIf,    nullptr,                nullptr,   L"list what it would change, now \u2192 after, and change nothing"},
    {kJsonOption,      L"Json",      &ActionContext::json,      nullptr,                nullptr,   L"the same as JSON, every byte in hex"},
    {kPlaceOption,     L"Place",     nullptr,                   &ActionContext::place,  L"PLACE",  L"HKLM, HKLM32, HKCU, Startup or CommonStartup: where NAME is, when it is in more than one place"},
};
// clang-format on
constexpr size_t kActionCount = sizeof kActions / sizeof *kActions;

// The row that stands for its argument in the usage text: the first of those
// that share it (/Mtu 68 and /Mtu 1500).
bool FirstOfArgument(const Action& action) {
    if (!action.argument) return false;
    for (const Action* row = kActions; row != &action; ++row)
        if (row->argument && lstrcmpW(row->argument, action.argument) == 0) return false;
    return true;
}

}  // namespace

std::wstring OptionUsers(unsigned bit) {
    std::vector<std::wstring> names;
    for (const Action& action : kActions)
        if (FirstOfArgument(action) && (action.options & bit))
            names.push_back(L"/" + std::wstring(action.argument));
    std::wstring users;
    for (size_t i = 0; i < names.size(); ++i)
        users += (i == 0 ? L"" : i + 1 == names.size() ? L" or " : L", ") + names[i];
    return users;
}

// "  /Syntax   help", the help wrapped at 79 columns in a column of its own,
// below the syntax when that is too wide.
void UsageLine(std::wstring& text, const std::wstring& syntax, const std::wstring& help) {
    constexpr size_t kColumn = 28, kWidth = 79;
    std::wstring line = L"  " + syntax;
    if (line.size() >= kColumn) {
        text += line + L"\n";
        line.clear();
    }
    line.resize(kColumn, L' ');
    for (size_t at = 0; at < help.size();) {
        size_t end = help.find(L' ', at);
        if (end == std::wstring::npos) end = help.size();
        if (line.size() > kColumn && line.size() + 1 + (end - at) > kWidth) {
            text += line + L"\n";
            line.assign(kColumn, L' ');
        }
        if (line.size() > kColumn) line += L' ';
        line += help.substr(at, end - at);
        at = end + 1;
    }
    text += line + L"\n";
}

std::wstring Usage() {
    // "/Mtu 68|1500 [/WhatIf]" and its help, for each argument.
    std::wstring text = L"Usage: tavrelc /Action [/Option], or Tavrel.exe with the same\n";
    for (const Action& action : kActions) {
        if (!FirstOfArgument(action)) continue;
        std::wstring syntax = L"/" + std::wstring(action.argument);
        const wchar_t* separator = L" ";
        for (const Action& same : kActions)
            if (same.argument && same.value && lstrcmpW(same.argument, action.argument) == 0) {
                syntax += separator + std::wstring(same.value);
                separator = L"|";
            }
        for (const Option& option : kOptions)
            if (action.options & option.bit)
                syntax += base::Cat({L" [/", option.argument, option.value ? L" " : L"",
                                     option.value ? option.value : L"", L"]"});
        UsageLine(text, syntax, action.help ? action.help : L"");
    }
    for (const Option& option : kOptions)
        UsageLine(text,
                  base::Cat({L"/", option.argument, option.value ? L" " : L"",
                             option.value ? option.value : L""}),
                  std::wstring(option.help) + L"; with " + OptionUsers(option.bit));
    return text +
           L"One action at a time; names in any case, with / or -.\n"
           L"Exit code: 0 done, 1 partly done (see the reasons), 2 refused, nothing changed,\n"
           L"3010 done, but the restart that follows was left out (/NoRestart);\n"
           L"/Undo: 0 all put back, 1 some left because they changed since, 2 nothing to undo.\n";
}

const Option* Options(size_t& count) {
    count = sizeof kOptions / sizeof *kOptions;
    return kOptions;
}

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

Outcome MoveOne(ActionContext& context, EntryPlace place, const std::wstring& name, bool park) {
    if (park && KeepList::Load().Of(place, name) == Keeper::kAdministrator) {
        Tell(context, base::Quoted(name) + L" is kept by your administrator. Nothing was changed.");
        return kRefused;
    }
    const PlaceEntries entry = EntriesOf(place, name);
    MoveResult result;
    if (context.whatIf) {
        const std::vector<PlaceEntries> only{entry};
        Preview(context, PreviewMove(park ? kStartupKey : kParkingKey,
                                     park ? kParkingKey : kStartupKey, !park, &only, result));
        return result.moved ? kDone : kRefused;
    }
    history::Record record;
    record.kind = history::Kind::kEntry;
    record.title = base::Cat({park ? L"Park " : L"Restore ", base::Quoted(name)});
    record.parks = park;
    history::SwitchRecord log(record);
    if (!MoveOneEntry(entry, park, result, kSwitchWaitMs, &log)) return Locked(context, result);
    log.Complete(result);
    if (result.moved) {
        context.report += base::Cat({park ? L"Parked " : L"Brought back ", base::Quoted(name), L" ",
                                     PlaceWhere(entry.place), L".\n"});
        return kDone;
    }
    if (result.keptBy[entry.place][kNotRecorded]) return NotRecorded(context);
    Tell(context, result.Complete() ? base::Quoted(name) + L" was no longer there to move."
                                    : DescribeKept(result));
    return kRefused;
}

Outcome RunAction(const Action& action, ActionContext& context) {
    context.action = &action;
    if (context.window) context.window->Present(action);
    return action.run ? action.run(context) : kDone;
}

}  // namespace shell
