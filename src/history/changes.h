#pragma once
// Changes as rows of data: each setting a change touches is read, written and
// shown by one routine; a change is recorded before it is made and completed
// after; the last change that can be undone is undone from its record, and
// only where a setting still holds what Tavrel wrote.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "history/record.h"

namespace history {

// The settings' rows: the MTU, the visual styles and each of the eight
// effects. Each is read, written and named by one routine here.
bool IsSetting(Setting setting, UINT id);
// What the setting holds now.
Held ReadSetting(Setting setting, UINT id);
// Puts `held` in place, the one writer of each setting; true when the
// system took it (the MTU: when the registry holds it afterwards).
bool WriteSetting(Setting setting, UINT id, const Held& held);
// Whether this caller may write it: the MTU's key opens for writing.
bool CanWrite(Setting setting);
// Writes what each planned change leaves; the names of those that did not
// take, or nothing.
std::wstring Apply(const std::vector<SettingChange>& plan);
// "MTU", "visual styles", "menu animation".
std::wstring SettingName(Setting setting, UINT id);
// "not set", "68", "REG_SZ \"1400\"", "on", "off", "not known".
std::wstring Shown(Setting setting, const Held& held);

// The effect buttons' two sets by their own names: each writes its eight
// effects through their rows, in its own order, and returns the names of
// those that did not take. The buttons record and apply PlanEffects, which
// puts the visual styles first.
std::wstring DisableVisualEffects();
std::wstring BalanceVisualEffects();

// Each setting a button changes, as it is now and as the button will leave
// it: the MTU, or the visual styles and the eight effects.
std::vector<SettingChange> PlanMtu(DWORD mtu);
std::vector<SettingChange> PlanEffects(bool off);

// One line for each setting that the change alters: "what: before → after".
std::wstring DescribeSettings(const std::vector<SettingChange>& settings);

// Records `plan` as a change of `kind`, applies it, and completes the
// record. False, with nothing changed, when the record cannot be written;
// else `failed` names the settings that did not take.
bool RecordSettings(Kind kind, const wchar_t* title, std::vector<SettingChange> plan,
                    std::wstring& failed);

// Records a change that cannot be undone, and keeps the record only when
// `change` reports that it was done. False, with nothing done, when the
// record cannot be written.
template <typename Change>
bool RecordOnce(const wchar_t* title, const std::wstring& detail, Change change) {
    Record record;
    record.kind = Kind::kOnce;
    record.title = title;
    record.detail = detail;
    if (!Begin(record)) return false;
    if (change())
        Finish(record);
    else
        Discard(record);
    return true;
}

// A start-up move's record: begun with the first place's names, before any
// entry moves, so that even a move cut short can be undone.
class SwitchRecord final : public MoveLog {
public:
    explicit SwitchRecord(Record& record) : record_(record) {}
    bool Planned(MovePlace place, REGSAM view, const std::vector<std::wstring>& names) override;
    void Moved(size_t index, const std::wstring& name, uint64_t fingerprint) override;
    // Completes the record; one that moved nothing is dropped.
    void Complete(const MoveResult& result);

private:
    Record& record_;
};

// What a record is listed and offered as, from what it holds: a record's
// stored title is never shown, so that no record can call itself something
// it does not do.
std::wstring TitleOf(const Record& record);

enum class UndoOutcome { kPutBack, kPartly, kNothing, kRefused };

// Undoes the last change that can be undone, under the start-up switch's
// lock, and records the undo; with `whatIf`, only says what it would do.
UndoOutcome Undo(std::wstring& report, bool whatIf);
// What the next undo would undo: kPutBack with its title, kNothing, or
// kRefused when the record in the way is malformed.
UndoOutcome NextUndo(std::wstring& title);

// Every record, newest first, one line each: when, what, what changed
// (before → after), and whether it can still be undone. A record's title and
// detail are data from the registry: they are shown as base::Quoted shows them.
std::wstring DescribeHistory();

}  // namespace history
