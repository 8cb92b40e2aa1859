#include "history/changes.h"

#include <cstring>
#include <cwchar>

#include "base/escape.h"
#include "base/handle.h"
#include "base/text.h"
#include "platform/platform.h"
#include "registry/exact.h"
#include "startup/StartupFolders.h"
#include "startup/StartupStatus.h"
#include "tweaks/WriteRegPath.h"
#include "tweaks/tweaks.h"

namespace history {
namespace {

constexpr wchar_t kArrow[] = L" \u2192 ";

Held Number(DWORD n) {
    Held held{true, REG_DWORD, std::vector<BYTE>(4)};
    std::memcpy(held.data.data(), &n, 4);
    return held;
}

DWORD NumberOf(const Held& held) {
    DWORD n = 0;
    if (held.data.size() == 4) std::memcpy(&n, held.data.data(), 4);
    return n;
}

// One row per setting Tavrel changes: how it is read, written and named.
// Every change, its preview, its record and its undo go through these.
struct Row {
    Setting setting;
    UINT set, get;  // an effect's codes; 0 for the others
    const wchar_t* name;
};
constexpr Row kRows[] = {
    {Setting::kMtu, 0, 0, L"MTU"},
    {Setting::kVisualStyles, 0, 0, L"visual styles"},
    {Setting::kEffect, 0x1003, 0x1002, L"menu animation"},
    {Setting::kEffect, 0x101B, 0x101A, L"cursor shadow"},
    {Setting::kEffect, 0x1005, 0x1004, L"combo-box animation"},
    {Setting::kEffect, 0x0025, 0x0026, L"full-window dragging"},
    {Setting::kEffect, 0x1013, 0x1012, L"menu fade"},
    {Setting::kEffect, 0x1007, 0x1006, L"list-box smooth scrolling"},
    {Setting::kEffect, 0x1017, 0x1016, L"tooltip animation"},
    {Setting::kEffect, 0x004B, 0x004A, L"font smoothing"},
};

const Row* RowOf(Setting setting, UINT id) {
    for (const Row& row : kRows)
        if (row.setting == setting && row.set == id) return &row;
    return nullptr;
}

LSTATUS OpenTcpip(REGSAM access, base::KeyHandle& key) {
    return mGeneral::OpenKeyExact(HKEY_LOCAL_MACHINE, tweaks::kTcpipKey, access, key.Put());
}

// The MTU as the buttons have always written it, where that can write it:
// a 4-byte number, by WriteRegPath; anything else exactly, or its absence.
void WriteMtu(const Held& held) {
    if (held.present && held.type == REG_DWORD && held.data.size() == 4) {
        char digits[12];
        wsprintfA(digits, "%ld", static_cast<long>(static_cast<int32_t>(NumberOf(held))));
        tweaks::WriteRegPath(tweaks::kMtuPath, "DWordValue", digits, REG_DWORD);
        return;
    }
    base::KeyHandle key;
    if (OpenTcpip(KEY_QUERY_VALUE | KEY_SET_VALUE, key) != ERROR_SUCCESS) return;
    if (held.present)
        mGeneral::WriteExact(key.Get(), {tweaks::kMtuName, held.type, held.data});
    else
        mGeneral::DeleteExact(key.Get(), tweaks::kMtuName);
}

// Where the entries of a record go when it is undone.
const wchar_t* BackFrom(const Record& record) { return record.parks ? kParkingKey : kStartupKey; }
const wchar_t* BackTo(const Record& record) { return record.parks ? kStartupKey : kParkingKey; }

// What the effect buttons' sets leave a setting holding.
Held Target(bool off, const SettingChange& s) {
    if (s.setting == Setting::kVisualStyles) return Number(!off);
    for (const tweaks::Effect& set : off ? tweaks::kDisableEffects : tweaks::kBalanceEffects)
        if (s.setting == Setting::kEffect && set.action == s.id) return Number(set.value);
    return {};
}

enum class Found { kNone, kRecord, kMalformed };

// The newest record that this caller can undo. A malformed record in the way
// stops the search: whether it could be undone is not known. A newer change
// for all users that needs an administrator is named in `skipped`; one that
// an earlier version recorded where any program could write is passed over.
Found LastUndoable(Record& record, std::wstring& why, std::wstring* skipped = nullptr) {
    for (DWORD sequence : Sequences()) {
        if (!Read(sequence, record, why)) {
            why = base::Cat({L"The record ", record.key, L" was refused: ", why,
                             L". Nothing was changed; delete that key to undo the changes "
                             L"before it.\n"});
            return Found::kMalformed;
        }
        if (record.undoneBy || record.misplaced || record.kind == Kind::kOnce ||
            record.kind == Kind::kUndo || record.kind == Kind::kUnwritten)
            continue;
        if (Writable(sequence)) return Found::kRecord;
        if (skipped)
            *skipped +=
                base::Cat({L"Needs an administrator: ", base::Quoted(TitleOf(record)), L".\n"});
    }
    why = L"Nothing to undo: no change of Tavrel's that can be undone is recorded.\n";
    return Found::kNone;
}

int Moved(const PlaceEntries& place) {
    if (place.hashes.empty()) return static_cast<int>(place.names.size());
    int moved = 0;
    for (uint64_t hash : place.hashes) moved += hash != 0;
    return moved;
}

// What a record changed, on one line.
std::wstring Summary(const Record& record) {
    std::wstring text = DescribeSettings(record.settings);
    // The Run keys' entries, then the Startup folders' items.
    for (bool folders : {false, true}) {
        int moved = 0, places = 0;
        for (const PlaceEntries& place : record.entries)
            if (IsFolder(place.place) == folders) {
                moved += Moved(place);
                ++places;
            }
        const wchar_t* live = folders ? L"Startup" : L"Run";
        const wchar_t* parked = folders ? L"StartupDisabled" : L"RunDisabled";
        if (places)
            text += base::Cat({record.finished ? L"" : L"up to ",
                               folders ? Items(moved) : Entries(moved), L": ",
                               record.parks ? live : parked, kArrow, record.parks ? parked : live,
                               L"\n"});
    }
    if (!record.detail.empty()) text += base::Quoted(record.detail) + L"\n";
    if (text.empty()) return L"no change";
    text.pop_back();
    // One line: the changes one after another.
    for (size_t at; (at = text.find(L'\n')) != std::wstring::npos;) text.replace(at, 1, L"; ");
    return text;
}

}  // namespace

bool IsSetting(Setting setting, UINT id) { return RowOf(setting, id) != nullptr; }

Held ReadSetting(Setting setting, UINT id) {
    if (setting == Setting::kVisualStyles) return Number(platform::ThemeActive());
    if (setting == Setting::kEffect) {
        const Row* row = RowOf(setting, id);
        BOOL on = FALSE;
        if (!row || !SystemParametersInfoW(row->get, 0, &on, 0)) return {};
        return Number(on != FALSE);
    }
    base::KeyHandle key;
    mGeneral::ExactValue mtu;
    if (OpenTcpip(KEY_QUERY_VALUE, key) != ERROR_SUCCESS ||
        mGeneral::ReadExact(key.Get(), tweaks::kMtuName, mtu) != ERROR_SUCCESS)
        return {};
    return {true, mtu.type, std::move(mtu.data)};
}

bool WriteSetting(Setting setting, UINT id, const Held& held) {
    if (setting == Setting::kMtu) {
        WriteMtu(held);
        return ReadSetting(setting, id) == held;  // WriteRegPath reports nothing
    }
    if (!held.present) return false;  // it was not known, so there is nothing to write
    if (setting == Setting::kVisualStyles)
        return SUCCEEDED(platform::Current().EnableTheming(NumberOf(held) ? -1 : FALSE));
    const Row* row = RowOf(setting, id);
    // The value in both parameters, saved and announced.
    return row && platform::Current().SystemParameters(row->set, NumberOf(held), NumberOf(held),
                                                       SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
}

bool CanWrite(Setting setting) {
    base::KeyHandle key;
    return setting != Setting::kMtu || OpenTcpip(KEY_SET_VALUE, key) == ERROR_SUCCESS;
}

std::wstring Apply(const std::vector<SettingChange>& plan) {
    std::wstring failed;
    for (const SettingChange& s : plan)
        if (!WriteSetting(s.setting, s.id, s.after))
            failed += (failed.empty() ? L"" : L", ") + SettingName(s.setting, s.id);
    return failed;
}

std::wstring SettingName(Setting setting, UINT id) {
    const Row* row = RowOf(setting, id);
    return row ? row->name : L"effect";
}

std::wstring Shown(Setting setting, const Held& held) {
    if (setting != Setting::kMtu)
        return !held.present ? L"not known" : NumberOf(held) ? L"on" : L"off";
    if (!held.present) return L"not set";
    if (held.type == REG_DWORD && held.data.size() == 4) return base::Decimal(NumberOf(held));
    return RenderValue({tweaks::kMtuName, held.type, held.data});
}

std::vector<SettingChange> PlanMtu(DWORD mtu) {
    return {{Setting::kMtu, 0, ReadSetting(Setting::kMtu, 0), Number(mtu)}};
}

std::vector<SettingChange> PlanEffects(bool off) {
    // The visual styles first, then the effects in the set's own order.
    std::vector<SettingChange> plan{{Setting::kVisualStyles, 0, {}, {}}};
    for (const tweaks::Effect& set : off ? tweaks::kDisableEffects : tweaks::kBalanceEffects)
        plan.push_back({Setting::kEffect, set.action, {}, {}});
    for (SettingChange& s : plan) {
        s.before = ReadSetting(s.setting, s.id);
        s.after = Target(off, s);
    }
    return plan;
}

namespace {

// One set's eight effects: its plan without the visual styles, which lead it.
std::wstring ApplyEffectSet(bool off) {
    std::vector<SettingChange> plan = PlanEffects(off);
    plan.erase(plan.begin());
    return Apply(plan);
}

}  // namespace

std::wstring DisableVisualEffects() { return ApplyEffectSet(true); }
std::wstring BalanceVisualEffects() { return ApplyEffectSet(false); }

std::wstring DescribeSettings(const std::vector<SettingChange>& settings) {
    std::wstring text;
    for (const SettingChange& s : settings)
        if (s.before != s.after)
            text += base::Cat({SettingName(s.setting, s.id), L": ", Shown(s.setting, s.before),
                               kArrow, Shown(s.setting, s.after), L"\n"});
    return text;
}

bool RecordSettings(Kind kind, const wchar_t* title, std::vector<SettingChange> plan,
                    std::wstring& failed) {
    Record record;
    record.kind = kind;
    record.title = title;
    record.settings = std::move(plan);
    if (!Begin(record)) return false;
    failed = Apply(record.settings);
    // What each holds now completes the record; a change that altered
    // nothing leaves none.
    bool changed = false;
    for (SettingChange& s : record.settings) {
        s.after = ReadSetting(s.setting, s.id);
        changed = changed || s.after != s.before;
    }
    if (changed)
        Finish(record);
    else
        Discard(record);
    return true;
}

std::wstring TitleOf(const Record& record) {
    const std::vector<SettingChange>& settings = record.settings;
    switch (record.kind) {
        case Kind::kMtu:
            return L"MTU " + Shown(Setting::kMtu, settings.empty() ? Held{} : settings[0].after);
        case Kind::kEffects: {
            // Which set the settings were left nearer to.
            int off = 0;
            for (const SettingChange& s : settings)
                off += (s.after == Target(true, s)) - (s.after == Target(false, s));
            return off > 0 ? L"Effects off" : off < 0 ? L"Effects balanced" : L"Effects";
        }
        case Kind::kStartup:
            return record.parks ? L"Power Bootup" : L"Normal Bootup";
        case Kind::kEntry:
            return base::Cat(
                {record.parks ? L"Park " : L"Restore ",
                 base::Quoted(record.entries.empty() ? L"" : record.entries[0].names[0])});
        case Kind::kOnce: {
            const wchar_t* done = record.detail.c_str();
            return wcsncmp(done, L"emptied ", 8) == 0 ? L"Empty recycle bins"
                   : wcsstr(done, L"\\shutdown.exe ") ? L"Restart"
                   : wcsstr(done, L"\\cleanmgr.exe")  ? L"Clean-up"
                                                      : L"Done for good";
        }
        case Kind::kUndo: {
            // After the change it undid, as that change's own record tells.
            Record undone;
            std::wstring why;
            return Read(record.undoes, undone, why) && undone.kind != Kind::kUndo
                       ? L"Undo " + TitleOf(undone)
                       : L"Undo";
        }
        default:
            return L"Cut short";
    }
}

bool SwitchRecord::Planned(MovePlace place, REGSAM view, const std::vector<std::wstring>& names) {
    // Begun in the part the first place belongs to; one flush, once that
    // place's names are written too. A part that cannot be written keeps
    // only its own places where they are.
    record_.entries.push_back({place, view, names, std::vector<uint64_t>(names.size())});
    if ((record_.sequence || Begin(record_, false)) &&
        SavePlace(record_, record_.entries.size() - 1))
        return true;
    record_.entries.pop_back();
    return false;
}

void SwitchRecord::Moved(size_t index, const std::wstring&, uint64_t fingerprint) {
    record_.entries.back().hashes[index] = fingerprint;
}

void SwitchRecord::Complete(const MoveResult& result) {
    if (!record_.sequence) return;
    if (result.moved)
        Finish(record_);
    else
        Discard(record_);
}

UndoOutcome Undo(std::wstring& report, bool whatIf) {
    // One undo at a time, and never during a start-up switch.
    StartupSwitchLock lock(whatIf ? 0 : kSwitchWaitMs);
    if (!whatIf && !lock.Held()) {
        report +=
            L"Another copy of Tavrel is still moving the start-up programs. Nothing was "
            L"changed; try again when it has finished.\n";
        return UndoOutcome::kRefused;
    }
    Record done, undo;
    std::wstring why;
    Found found = LastUndoable(done, why, &report);
    if (found != Found::kRecord) {
        report += why;
        return found == Found::kNone ? UndoOutcome::kNothing : UndoOutcome::kRefused;
    }
    const std::wstring title = TitleOf(done);
    undo.kind = Kind::kUndo;
    undo.title = L"Undo " + title;  // cut to fit where it is written
    undo.undoes = done.sequence;
    undo.parks = !done.parks;
    for (const SettingChange& s : done.settings)
        undo.settings.push_back({s.setting, s.id, ReadSetting(s.setting, s.id), s.before});
    if (!whatIf && !Begin(undo)) {
        report +=
            base::Cat({L"Nothing was changed: Tavrel could not record the undo under "
                       L"Software\\Tavrel\\History.",
                       NumbersUsedUp(), L"\n"});
        return UndoOutcome::kRefused;
    }
    report += base::Cat({whatIf ? L"Would undo: " : L"Undid: ", base::Quoted(title), L", made ",
                         base::TimeText(done.time), L".\n"});
    // What someone else changed since stays, and that is final; what could not
    // be written back keeps the change the next one to undo.
    bool othersKept = false;
    int putBack = 0, failed = 0;
    for (size_t i = 0; i < done.settings.size(); ++i) {
        const SettingChange& s = done.settings[i];
        const Held& now = undo.settings[i].before;
        if (now == s.before) continue;  // already as it was
        // Only what still holds what Tavrel wrote goes back; anyone else's setting stays.
        // A preview opens the MTU's key as the change does; the system
        // parameters take any user's writes.
        const bool written = whatIf ? CanWrite(s.setting)
                                    : now == s.after && WriteSetting(s.setting, s.id, s.before) &&
                                          ReadSetting(s.setting, s.id) == s.before;
        const wchar_t* reason = now != s.after ? L"it changed after Tavrel set it to "
                                : written      ? nullptr
                                               : L"it could not be set back to ";
        const std::wstring name = SettingName(s.setting, s.id);
        if (reason)
            report += base::Cat({name, L": stays ", Shown(s.setting, now), L": ", reason,
                                 Shown(s.setting, now != s.after ? s.after : s.before), L".\n"});
        else
            report += base::Cat(
                {name, L": ", Shown(s.setting, now), kArrow, Shown(s.setting, s.before), L"\n"});
        othersKept = othersKept || now != s.after;
        failed += reason && now == s.after;
        putBack += !reason;
    }
    if (!whatIf)
        for (SettingChange& back : undo.settings) back.after = ReadSetting(back.setting, back.id);
    if (!done.entries.empty()) {
        MoveResult result;
        if (whatIf) {
            report += PreviewMove(BackFrom(done), BackTo(done), true, &done.entries, result);
        } else {
            SwitchRecord log(undo);
            const std::vector<StartupFolder> folders = StartupFolders();
            MoveOptions options;
            options.keepTargetValues = true;  // a live entry that differs wins, both ways
            options.log = &log;
            options.folders = &folders;
            options.parkFolders = !done.parks;
            result = MoveNamedValues(BackFrom(done), BackTo(done), done.entries, options);
            report += base::Cat(
                {done.parks ? L"Brought back " : L"Parked again ", Entries(result.moved), L".\n"});
            if (!result.Complete()) report += DescribeKept(result) + L"\n";
        }
        int othersEntries = 0;
        for (const auto& reasons : result.keptBy)
            othersEntries += reasons[kChangedSince] + reasons[kLiveEntryDiffers] +
                             reasons[kChangedMeanwhile] + reasons[kAlreadyParked] +
                             reasons[kLiveItemThere];
        othersKept = othersKept || othersEntries;
        failed += result.kept - othersEntries;
        putBack += result.moved;
    }
    const UndoOutcome outcome = failed ? putBack ? UndoOutcome::kPartly : UndoOutcome::kRefused
                                : othersKept ? UndoOutcome::kPartly
                                             : UndoOutcome::kPutBack;
    if (whatIf) return outcome;
    if (failed) {
        report += L"It stays the next change to undo: undo again as an administrator to finish.\n";
        if (putBack)
            Finish(undo);
        else
            Discard(undo);  // it changed nothing
        return outcome;
    }
    Finish(undo);
    MarkUndone(done.sequence, undo.sequence);
    return outcome;
}

UndoOutcome NextUndo(std::wstring& title) {
    Record record;
    std::wstring why;
    Found found = LastUndoable(record, why);
    if (found == Found::kRecord) title = TitleOf(record);
    return found == Found::kRecord ? UndoOutcome::kPutBack
           : found == Found::kNone ? UndoOutcome::kNothing
                                   : UndoOutcome::kRefused;
}

std::wstring DescribeHistory() {
    std::wstring text;
    Record record;
    std::wstring why;
    for (DWORD sequence : Sequences()) {
        const bool read = Read(sequence, record, why);
        if (!read || record.kind == Kind::kUnwritten) {
            text += base::Cat(
                {record.key, L" | ",
                 read ? L"cut short before its change began: nothing changed" : L"refused: ",
                 read ? L"" : why.c_str(), L"\n"});
            continue;
        }
        const wchar_t* state = record.kind == Kind::kOnce   ? L"cannot be undone"
                               : record.kind == Kind::kUndo ? L"an undo; cannot be undone itself"
                               : record.misplaced
                                   ? L"cannot be undone: recorded for all users where any program "
                                     L"of this user could have changed it"
                               : record.undoneBy ? L"undone"
                               : record.finished ? L"can be undone"
                                                 : L"cut short; can be undone";
        text += base::Cat({base::TimeText(record.time), L" | ", base::Quoted(TitleOf(record)),
                           L" | ", Summary(record), L" | ", state,
                           record.allUsers ? L" | for all users, by " : L"",
                           record.allUsers ? base::Quoted(record.user).c_str() : L"", L"\n"});
    }
    return text.empty() ? L"No changes are recorded.\n" : text;
}

}  // namespace history
