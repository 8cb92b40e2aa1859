#include "history/changes.h"

#include <cstring>

#include "base/escape.h"
#include "base/handle.h"
#include "base/text.h"
#include "platform/platform.h"
#include "registry/exact.h"
#include "startup/StartupStatus.h"
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

const tweaks::EffectSetting* EffectOf(UINT id) {
    for (const tweaks::EffectSetting& effect : tweaks::kEffectSettings)
        if (effect.set == id) return &effect;
    return nullptr;
}

LSTATUS OpenTcpip(REGSAM access, base::KeyHandle& key) {
    return mGeneral::OpenKeyExact(HKEY_LOCAL_MACHINE, tweaks::kTcpipKey, access, key.Put());
}

std::wstring TimeText(const FILETIME& utc) {
    FILETIME local;
    SYSTEMTIME t;
    wchar_t text[32] = L"(no time)";
    if (FileTimeToLocalFileTime(&utc, &local) && FileTimeToSystemTime(&local, &t))
        wsprintfW(text, L"%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond);
    return text;
}

// Where the entries of a record go when it is undone.
const wchar_t* BackFrom(const Record& record) { return record.parks ? kParkingKey : kStartupKey; }
const wchar_t* BackTo(const Record& record) { return record.parks ? kStartupKey : kParkingKey; }

enum class Found { kNone, kRecord, kMalformed };

// The newest record that can be undone, read whole. A malformed record in the
// way stops the search: whether it could be undone is not known.
Found LastUndoable(Record& record, std::wstring& why, bool whole) {
    for (DWORD sequence : Sequences()) {
        if (!Read(sequence, record, why, false) || (whole && !Read(sequence, record, why))) {
            why = base::Cat({L"The record ", RecordKey(sequence), L" was refused: ", why,
                             L". Nothing was changed; delete that key to undo the changes "
                             L"before it.\n"});
            return Found::kMalformed;
        }
        if (!record.undoneBy && record.kind != Kind::kOnce && record.kind != Kind::kUndo &&
            record.kind != Kind::kUnwritten)
            return Found::kRecord;
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
    int moved = 0;
    for (const PlaceEntries& place : record.entries) moved += Moved(place);
    if (!record.entries.empty())
        text += base::Cat({record.finished ? L"" : L"up to ", Entries(moved), L": ",
                           record.parks ? L"Run" : L"RunDisabled", kArrow,
                           record.parks ? L"RunDisabled" : L"Run", L"\n"});
    if (!record.detail.empty()) text += base::Quoted(record.detail) + L"\n";
    if (text.empty()) return L"no change";
    text.pop_back();
    // One line: the changes one after another.
    for (size_t at; (at = text.find(L'\n')) != std::wstring::npos;) text.replace(at, 1, L"; ");
    return text;
}

}  // namespace

Held ReadSetting(Setting setting, UINT id) {
    if (setting == Setting::kVisualStyles) return Number(platform::ThemeActive());
    if (setting == Setting::kEffect) {
        const tweaks::EffectSetting* effect = EffectOf(id);
        BOOL on = FALSE;
        if (!effect || !SystemParametersInfoW(effect->get, 0, &on, 0)) return {};
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
        base::KeyHandle key;
        if (OpenTcpip(KEY_QUERY_VALUE | KEY_SET_VALUE, key) != ERROR_SUCCESS) return false;
        if (held.present)
            mGeneral::WriteExact(key.Get(), {tweaks::kMtuName, held.type, held.data});
        else
            mGeneral::DeleteExact(key.Get(), tweaks::kMtuName);
    } else if (!held.present) {
        return false;  // it was not known, so there is nothing to put back
    } else if (setting == Setting::kVisualStyles) {
        platform::Current().EnableTheming(NumberOf(held) ? -1 : FALSE);
    } else if (const tweaks::EffectSetting* effect = EffectOf(id)) {
        // As the effect sets do: the value in both parameters, saved and announced.
        platform::Current().SystemParameters(effect->set, NumberOf(held), NumberOf(held),
                                             SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
    }
    return ReadSetting(setting, id) == held;
}

std::wstring SettingName(Setting setting, UINT id) {
    if (setting == Setting::kMtu) return L"MTU";
    if (setting == Setting::kVisualStyles) return L"visual styles";
    const tweaks::EffectSetting* effect = EffectOf(id);
    return effect ? effect->name : L"effect";
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
    std::vector<SettingChange> plan{
        {Setting::kVisualStyles, 0, ReadSetting(Setting::kVisualStyles, 0), Number(!off)}};
    for (const tweaks::EffectSetting& effect : tweaks::kEffectSettings) {
        UINT value = 0;
        for (const tweaks::Effect& set : off ? tweaks::kDisableEffects : tweaks::kBalanceEffects)
            if (set.action == effect.set) value = set.value;
        plan.push_back({Setting::kEffect, effect.set, ReadSetting(Setting::kEffect, effect.set),
                        Number(value)});
    }
    return plan;
}

std::wstring DescribeSettings(const std::vector<SettingChange>& settings) {
    std::wstring text;
    for (const SettingChange& s : settings)
        if (s.before != s.after)
            text += base::Cat({SettingName(s.setting, s.id), L": ", Shown(s.setting, s.before),
                               kArrow, Shown(s.setting, s.after), L"\n"});
    return text;
}

void CompleteSettings(Record& record) {
    bool changed = false;
    for (SettingChange& s : record.settings) {
        s.after = ReadSetting(s.setting, s.id);
        changed = changed || s.after != s.before;
    }
    if (changed)
        Finish(record);
    else
        Discard(record);
}

bool SwitchRecord::Planned(MovePlace place, REGSAM view, const std::vector<std::wstring>& names) {
    // One flush, once the first place's names are written too.
    if (refused_ || (!record_.sequence && !Begin(record_, false))) {
        refused_ = true;
        return false;
    }
    record_.entries.push_back({place, view, names, std::vector<uint64_t>(names.size())});
    if (SavePlace(record_, record_.entries.size() - 1)) return true;
    record_.entries.pop_back();
    return false;
}

void SwitchRecord::Moved(size_t index, const mGeneral::ExactValue& value) {
    record_.entries.back().hashes[index] = mGeneral::ValueHash(value);
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
    Found found = LastUndoable(done, why, true);
    if (found != Found::kRecord) {
        report += why;
        return found == Found::kNone ? UndoOutcome::kNothing : UndoOutcome::kRefused;
    }
    undo.kind = Kind::kUndo;
    undo.title = L"Undo " + done.title;  // cut to fit where it is written
    undo.undoes = done.sequence;
    undo.parks = !done.parks;
    for (const SettingChange& s : done.settings)
        undo.settings.push_back({s.setting, s.id, ReadSetting(s.setting, s.id), s.before});
    if (!whatIf && !Begin(undo)) {
        report +=
            base::Cat({L"Nothing was changed: Tavrel could not record the undo under "
                       L"HKEY_CURRENT_USER\\Software\\Tavrel.",
                       NumbersUsedUp(), L"\n"});
        return UndoOutcome::kRefused;
    }
    report += base::Cat({whatIf ? L"Would undo: " : L"Undid: ", base::Quoted(done.title),
                         L", made ", TimeText(done.time), L".\n"});
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
        const bool written = whatIf ? s.setting != Setting::kMtu || tweaks::CanSetMtu()
                                    : now == s.after && WriteSetting(s.setting, s.id, s.before);
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
            MoveOptions options;
            options.keepTargetValues = true;  // a live entry that differs wins, both ways
            options.log = &log;
            result = MoveNamedValues(BackFrom(done), BackTo(done), done.entries, options);
            report += base::Cat(
                {done.parks ? L"Brought back " : L"Parked again ", Entries(result.moved), L".\n"});
            if (!result.Complete()) report += DescribeKept(result) + L"\n";
        }
        int othersEntries = 0;
        for (const auto& reasons : result.keptBy)
            othersEntries +=
                reasons[kChangedSince] + reasons[kLiveEntryDiffers] + reasons[kChangedMeanwhile];
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
    Found found = LastUndoable(record, why, false);
    if (found == Found::kRecord) title = record.title;
    return found == Found::kRecord ? UndoOutcome::kPutBack
           : found == Found::kNone ? UndoOutcome::kNothing
                                   : UndoOutcome::kRefused;
}

std::wstring DescribeHistory() {
    std::wstring text;
    Record record;
    std::wstring why;
    for (DWORD sequence : Sequences()) {
        if (!Read(sequence, record, why) || record.kind == Kind::kUnwritten) {
            text += base::Cat({RecordKey(sequence), L" | ",
                               record.kind == Kind::kUnwritten
                                   ? L"cut short before its change began: nothing changed"
                                   : L"refused: ",
                               why, L"\n"});
            continue;
        }
        const wchar_t* state = record.kind == Kind::kOnce   ? L"cannot be undone"
                               : record.kind == Kind::kUndo ? L"an undo; cannot be undone itself"
                               : record.undoneBy            ? L"undone"
                               : record.finished            ? L"can be undone"
                                                            : L"cut short; can be undone";
        text += base::Cat({TimeText(record.time), L" | ", base::Quoted(record.title), L" | ",
                           Summary(record), L" | ", state, L"\n"});
    }
    return text.empty() ? L"No changes are recorded.\n" : text;
}

}  // namespace history
