#pragma once
// What the start-up switch would see: the Run and RunDisabled entries of
// every place, one line each, as text that is safe to print whatever the
// entries hold.
#include <windows.h>

#include <string>

#include "base/handle.h"
#include "registry/exact.h"
#include "startup/KeepList.h"
#include "startup/MoveStartupValues.h"

// Task Manager's choices for the entries of one place, kept by name under
// ...\Explorer\StartupApproved\Run (Run32 for HKLM's 32-bit view), which the
// two views do not share, so always in the 64-bit one. Each is a flag byte,
// three more, then the FILETIME of the choice. The format is undocumented and
// tools read it differently; the reading safe on every variant reported: an
// odd flag is turned off; an even one, or no value, runs. Tavrel never writes
// them: they outlive a move, so an entry parked and brought back keeps its.
class TaskManagerChoices {
public:
    struct Choice {
        bool made = false;  // a value is there
        bool off = false;
        FILETIME time{};  // zero when the value holds none
    };
    TaskManagerChoices(MovePlace place, REGSAM view);
    Choice Of(const std::wstring& name) const;

private:
    base::KeyHandle key_;
};

// One start-up entry or Startup item, live or parked, as the start-up
// programs window lists it and the command line finds it by name.
struct StartupEntry {
    EntryPlace place = EntryPlace::kHkcu;
    std::wstring name;
    bool parked = false;
    std::wstring runs;  // what it starts, quoted and escaped as /Status shows it
    TaskManagerChoices::Choice choice;
    Keeper kept = Keeper::kNone;
    bool windowsOwn = false;  // live, and "Power Bootup" leaves it as Windows' own
};

// Every entry of every place, in /Status's order.
std::vector<StartupEntry> ListStartupEntries();

// Every place (HKEY_LOCAL_MACHINE in each view Windows starts programs from,
// then HKEY_CURRENT_USER), its two keys, and each entry's name, type and data:
// one line per entry, its name whole and quoted, the unnamed one (default),
// with Task Manager's choice where it made one.
std::wstring DescribeStartupEntries();

// The same as JSON for scripts: each key's place, view, path and state, and
// each entry's name, type, every byte in hex, and the string or number it
// holds. Any name or data gives valid JSON, in pure ASCII, that reads back
// exactly.
std::wstring DescribeStartupEntriesJson();

// A value's type and a short rendering of its data: strings quoted and
// escaped as base::Quoted does, a long one cut with its whole length told,
// and anything after a string's first NUL marked; numbers in decimal;
// anything else as its first bytes in hex and its size.
std::wstring RenderValue(const mGeneral::ExactValue& value);

// What a move from `source` to `target` would do, as its dry run tells: one
// line for each entry that would move, "what: now → after", and one for each
// that would stay, with the reason. Only the entries `only` names, if given;
// `keepTargetValues` as in MoveOptions. `result` counts as the move would:
// those that would move, and those that would stay, by reason.
std::wstring PreviewMove(const wchar_t* source, const wchar_t* target, bool keepTargetValues,
                         const std::vector<PlaceEntries>* only, MoveResult& result);
