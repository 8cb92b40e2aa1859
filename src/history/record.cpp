#include "history/record.h"

#include <algorithm>
#include <cstring>

#include "base/handle.h"
#include "base/text.h"
#include "registry/exact.h"
#include "tweaks/tweaks.h"

namespace history {
namespace {

constexpr size_t kLongestDetail = 256;
constexpr DWORD kLongestName = 16383;  // characters, the registry's own limit
constexpr size_t kMostPlaces = 3;      // both machine views, then this user
constexpr REGSAM kRecordAccess = KEY_QUERY_VALUE | KEY_SET_VALUE;

// A record's binary values: numbers as Windows keeps them, least significant
// byte first, and counted bytes and texts.
class Writer {
public:
    void Raw(const void* data, size_t size) {
        const BYTE* first = static_cast<const BYTE*>(data);
        bytes.insert(bytes.end(), first, first + size);
    }
    void Number(DWORD n) { Raw(&n, 4); }
    void Data(const void* data, size_t size, size_t unit = 1) {
        Number(static_cast<DWORD>(size));
        Raw(data, size * unit);
    }
    std::vector<BYTE> bytes;
};

// Every read checks that the bytes are there: a record is data from outside.
class Reader {
public:
    explicit Reader(const std::vector<BYTE>& bytes) : at_(bytes.data()), left_(bytes.size()) {}
    bool Raw(void* into, size_t size) {
        if (size > left_) return false;
        if (size) std::memcpy(into, at_, size);
        at_ += size;
        left_ -= size;
        return true;
    }
    bool Number(DWORD& n) { return Raw(&n, 4); }
    bool Data(std::vector<BYTE>& data) {
        DWORD size;
        if (!Number(size) || size > left_) return false;
        data.resize(size);
        return Raw(data.data(), size);
    }
    bool Text(std::wstring& text, DWORD most) {
        DWORD chars;
        if (!Number(chars) || chars > most || chars > left_ / 2) return false;
        text.resize(chars);
        return Raw(&text[0], chars * 2);
    }
    bool Done() const { return left_ == 0; }

private:
    const BYTE* at_;
    size_t left_;
};

std::wstring RecordName(DWORD sequence) {
    std::wstring digits = base::Decimal(sequence);
    return std::wstring(10 - digits.size(), L'0') + digits;
}

std::wstring RecordPath(DWORD sequence) {
    return base::Cat({kHistoryKey, L"\\", RecordName(sequence)});
}

// A record's number from its key's name: exactly ten digits, not 0.
DWORD SequenceOf(const wchar_t* name, DWORD length) {
    unsigned long long n = 0;
    for (DWORD i = 0; i < length; ++i) {
        if (name[i] < L'0' || name[i] > L'9') return 0;
        n = n * 10 + (name[i] - L'0');
    }
    return length == 10 && n <= MAXDWORD ? static_cast<DWORD>(n) : 0;
}

// Numbers and binary data carry no terminator, and text is written with its
// own, so RegSetValueEx adds nothing to any of them.
bool Put(HKEY key, const std::wstring& name, DWORD type, const void* data, size_t size) {
    return RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data),
                          static_cast<DWORD>(size)) == ERROR_SUCCESS;
}
bool PutNumber(HKEY key, const wchar_t* name, DWORD n) { return Put(key, name, REG_DWORD, &n, 4); }
bool PutText(HKEY key, const wchar_t* name, const std::wstring& text) {
    return Put(key, name, REG_SZ, text.c_str(), (text.size() + 1) * 2);
}
bool PutBlob(HKEY key, const std::wstring& name, const Writer& w) {
    return Put(key, name, REG_BINARY, w.bytes.data(), w.bytes.size());
}

bool Get(HKEY key, const std::wstring& name, DWORD type, std::vector<BYTE>& data) {
    mGeneral::ExactValue value;
    if (mGeneral::ReadExact(key, name, value) != ERROR_SUCCESS || value.type != type) return false;
    data.swap(value.data);
    return true;
}

bool GetNumber(HKEY key, const wchar_t* name, DWORD& n, DWORD most) {
    std::vector<BYTE> data;
    return Get(key, name, REG_DWORD, data) && data.size() == 4 && Reader(data).Number(n) &&
           n <= most;
}

// Text ends in its one NUL and holds no control characters: it is shown.
bool GetText(HKEY key, const wchar_t* name, std::wstring& text, size_t most) {
    std::vector<BYTE> data;
    if (!Get(key, name, REG_SZ, data) || data.size() % 2 || data.size() < 4 ||
        data.size() / 2 - 1 > most || data[data.size() - 2] || data.back())
        return false;
    text.assign(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2 - 1);
    for (wchar_t c : text)
        if (c < 0x20 || c == 0x7F) return false;
    return true;
}

bool Absent(HKEY key, const std::wstring& name) {
    return RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
           ERROR_FILE_NOT_FOUND;
}

Writer SettingsBlob(const std::vector<SettingChange>& settings) {
    Writer w;
    w.Number(static_cast<DWORD>(settings.size()));
    for (const SettingChange& change : settings) {
        w.Number(static_cast<DWORD>(change.setting));
        w.Number(change.id);
        for (const Held* held : {&change.before, &change.after}) {
            w.Number(held->present);
            w.Number(held->type);
            w.Data(held->data.data(), held->data.size());
        }
    }
    return w;
}

bool IsEffect(UINT id) {
    for (const tweaks::EffectSetting& effect : tweaks::kEffectSettings)
        if (effect.set == id) return true;
    return false;
}

// Absent, or on or off.
bool IsSwitch(const Held& held) {
    DWORD on = 0;
    return !held.present || (held.type == REG_DWORD && held.data.size() == 4 &&
                             Reader(held.data).Number(on) && on <= 1);
}

// Only the settings a change of this kind touches: the MTU under its fixed
// path, the visual styles and the eight effects, each once.
bool Allowed(Kind kind, const std::vector<SettingChange>& settings) {
    const bool mtu = kind == Kind::kMtu || kind == Kind::kUndo;
    const bool effects = kind == Kind::kEffects || kind == Kind::kUndo;
    if (kind == Kind::kMtu && settings.size() != 1) return false;
    for (size_t i = 0; i < settings.size(); ++i) {
        const SettingChange& s = settings[i];
        for (size_t j = 0; j < i; ++j)
            if (settings[j].setting == s.setting && settings[j].id == s.id) return false;
        bool fits = false;
        if (s.setting == Setting::kMtu)
            fits = mtu && s.id == 0;
        else if (s.setting == Setting::kVisualStyles || s.setting == Setting::kEffect)
            fits = effects && IsSwitch(s.before) && IsSwitch(s.after) &&
                   (s.setting == Setting::kEffect ? IsEffect(s.id) : s.id == 0);
        if (!fits) return false;
    }
    return true;
}

bool ReadSettings(HKEY key, Record& record) {
    std::vector<BYTE> blob;
    if (!Get(key, L"Settings", REG_BINARY, blob)) return false;
    Reader r(blob);
    DWORD count;
    if (!r.Number(count) || count > 16) return false;
    record.settings.resize(count);
    for (SettingChange& change : record.settings) {
        DWORD setting, id;
        if (!r.Number(setting) || !r.Number(id)) return false;
        change.setting = static_cast<Setting>(setting);
        change.id = id;
        for (Held* held : {&change.before, &change.after}) {
            DWORD present;
            if (!r.Number(present) || present > 1 || !r.Number(held->type) || !r.Data(held->data) ||
                (!present && (held->type || !held->data.empty())))
                return false;
            held->present = present != 0;
        }
    }
    return r.Done() && Allowed(record.kind, record.settings);
}

std::wstring Numbered(const wchar_t* name, size_t index) {
    return base::Cat({name, L" ", base::Decimal(index)});
}

// One place's names and, once the change has finished, which of them moved.
bool ReadPlace(HKEY key, size_t index, bool finished, PlaceEntries& place) {
    std::vector<BYTE> blob, moved;
    if (!Get(key, Numbered(L"Entries", index), REG_BINARY, blob)) return false;
    Reader r(blob);
    DWORD where, view, count;
    if (!r.Number(where) || !r.Number(view) || !r.Number(count) || count > blob.size() / 4)
        return false;
    std::vector<REGSAM> views = StartupMachineViews();
    if (where == kThisUser
            ? view != 0
            : where != kMachineWide || std::find(views.begin(), views.end(), view) == views.end())
        return false;
    place.place = static_cast<MovePlace>(where);
    place.view = view;
    place.names.resize(count);
    for (std::wstring& name : place.names)
        if (!r.Text(name, kLongestName)) return false;
    place.hashes.clear();
    if (!r.Done()) return false;
    if (!finished) return true;  // cut short: which ones moved is not known
    place.hashes.resize(count);
    return Get(key, Numbered(L"Moved", index), REG_BINARY, moved) && moved.size() == count * 8ull &&
           Reader(moved).Raw(place.hashes.data(), moved.size());
}

bool Refuse(std::wstring& why, const wchar_t* reason) {
    why = reason;
    return false;
}

// Newest first.
std::vector<DWORD> SequencesOf(HKEY history) {
    std::vector<DWORD> sequences;
    wchar_t name[16];
    for (DWORD index = 0;; ++index) {
        DWORD length = 16;
        LSTATUS status =
            RegEnumKeyExW(history, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA) continue;  // no record's name is that long
        if (status != ERROR_SUCCESS) break;
        if (DWORD sequence = SequenceOf(name, length)) {
            auto at = sequences.begin();
            while (at != sequences.end() && *at > sequence) ++at;
            sequences.insert(at, sequence);
        }
    }
    return sequences;
}

bool OpenRecord(DWORD sequence, REGSAM access, base::KeyHandle& key) {
    return RegOpenKeyExW(HKEY_CURRENT_USER, RecordPath(sequence).c_str(), 0, access, key.Put()) ==
           ERROR_SUCCESS;
}

// The writer keeps to the reader's limits: a longer text would have its
// record refused, and that record would then stand in the way of every undo.
void Fit(std::wstring& text, size_t most) {
    if (text.size() > most) text.resize(IS_HIGH_SURROGATE(text[most - 1]) ? most - 1 : most);
}

}  // namespace

std::wstring RecordKey(DWORD sequence) {
    return base::Cat({L"HKEY_CURRENT_USER\\", RecordPath(sequence)});
}

bool Begin(Record& record, bool flush) {
    Fit(record.title, kLongestTitle);
    Fit(record.detail, kLongestDetail);
    base::KeyHandle history;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kHistoryKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, history.Put(), nullptr) != ERROR_SUCCESS)
        return false;
    std::vector<DWORD> sequences = SequencesOf(history.Get());
    DWORD next = sequences.empty() ? 1 : sequences.front() + 1;
    // Another copy of the program may take a number at the same moment.
    for (int tries = 0; tries < 100 && next != 0; ++tries, ++next) {
        base::KeyHandle key;
        DWORD disposition = 0;
        const std::wstring name = RecordName(next);
        if (RegCreateKeyExW(history.Get(), name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            kRecordAccess, nullptr, key.Put(), &disposition) != ERROR_SUCCESS)
            return false;
        if (disposition == REG_OPENED_EXISTING_KEY) continue;
        record.sequence = next;
        GetSystemTimeAsFileTime(&record.time);
        HKEY k = key.Get();
        if (!Put(k, L"Time", REG_BINARY, &record.time, 8) || !PutText(k, L"Title", record.title) ||
            !PutNumber(k, L"Parks", record.parks) || !PutNumber(k, L"Finished", 0) ||
            !PutBlob(k, L"Settings", SettingsBlob(record.settings)) ||
            (record.kind == Kind::kUndo && !PutNumber(k, L"Undoes", record.undoes)) ||
            (!record.detail.empty() && !PutText(k, L"Detail", record.detail)) ||
            // Last: a record without its kind was cut short before its change began.
            !PutNumber(k, L"Kind", static_cast<DWORD>(record.kind))) {
            key.Reset();
            RegDeleteKeyW(history.Get(), name.c_str());
            record.sequence = 0;
            return false;
        }
        sequences.insert(sequences.begin(), next);
        for (size_t i = kRecordsKept; i < sequences.size(); ++i)
            RegDeleteKeyW(history.Get(), RecordName(sequences[i]).c_str());
        if (flush) RegFlushKey(k);
        return true;
    }
    return false;
}

bool SavePlace(const Record& record, size_t index) {
    base::KeyHandle key;
    if (index >= kMostPlaces || !OpenRecord(record.sequence, kRecordAccess, key)) return false;
    const PlaceEntries& place = record.entries[index];
    Writer w;
    w.Number(place.place);
    w.Number(static_cast<DWORD>(place.view));
    w.Number(static_cast<DWORD>(place.names.size()));
    for (const std::wstring& name : place.names) w.Data(name.data(), name.size(), 2);
    if (!PutBlob(key.Get(), Numbered(L"Entries", index), w)) return false;
    RegFlushKey(key.Get());
    return true;
}

bool Finish(Record& record) {
    Fit(record.detail, kLongestDetail);
    base::KeyHandle key;
    if (!OpenRecord(record.sequence, kRecordAccess, key)) return false;
    HKEY k = key.Get();
    bool written = PutBlob(k, L"Settings", SettingsBlob(record.settings));
    for (size_t i = 0; i < record.entries.size() && written; ++i) {
        const std::vector<uint64_t>& hashes = record.entries[i].hashes;
        written = Put(k, Numbered(L"Moved", i), REG_BINARY, hashes.data(), hashes.size() * 8);
    }
    written = written && (record.detail.empty() || PutText(k, L"Detail", record.detail)) &&
              PutNumber(k, L"Finished", 1);
    // Power Bootup restarts the computer next; the record must outlive that.
    RegFlushKey(k);
    record.finished = written;
    return written;
}

bool MarkUndone(DWORD sequence, DWORD undoneBy) {
    base::KeyHandle key;
    return OpenRecord(sequence, kRecordAccess, key) && PutNumber(key.Get(), L"Undone by", undoneBy);
}

const wchar_t* NumbersUsedUp() {
    std::vector<DWORD> sequences = Sequences();
    return !sequences.empty() && sequences.front() == MAXDWORD
               ? L" Delete HKEY_CURRENT_USER\\Software\\Tavrel\\History\\4294967295: it has "
                 L"the last record number."
               : L"";
}

void Discard(const Record& record) {
    RegDeleteKeyW(HKEY_CURRENT_USER, RecordPath(record.sequence).c_str());
}

std::vector<DWORD> Sequences() {
    base::KeyHandle history;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kHistoryKey, 0, KEY_READ, history.Put()) != ERROR_SUCCESS)
        return {};
    return SequencesOf(history.Get());
}

bool Read(DWORD sequence, Record& record, std::wstring& why, bool whole) {
    record = Record();
    record.sequence = sequence;
    base::KeyHandle key;
    if (!OpenRecord(sequence, KEY_QUERY_VALUE, key)) return Refuse(why, L"it cannot be read");
    HKEY k = key.Get();
    std::vector<BYTE> time;
    DWORD kind = 0, finished = 0, parks = 0;
    if (Absent(k, L"Kind")) {
        record.kind = Kind::kUnwritten;
        return true;
    }
    if (!Get(k, L"Time", REG_BINARY, time) || !Reader(time).Raw(&record.time, 8) ||
        time.size() != 8 || !GetNumber(k, L"Kind", kind, 5) || !kind ||
        !GetText(k, L"Title", record.title, kLongestTitle) ||
        !GetNumber(k, L"Finished", finished, 1) || !GetNumber(k, L"Parks", parks, 1))
        return Refuse(why, L"its time, kind, title or state is missing or malformed");
    record.kind = static_cast<Kind>(kind);
    record.finished = finished != 0;
    record.parks = parks != 0;
    if (record.kind == Kind::kUndo
            ? !GetNumber(k, L"Undoes", record.undoes, sequence - 1) || !record.undoes
            : !Absent(k, L"Undoes"))
        return Refuse(why, L"what it undid is malformed");
    if ((!Absent(k, L"Undone by") &&
         (!GetNumber(k, L"Undone by", record.undoneBy, MAXDWORD) || record.undoneBy <= sequence)) ||
        (!Absent(k, L"Detail") && !GetText(k, L"Detail", record.detail, kLongestDetail)))
        return Refuse(why, L"its undo or its detail is malformed");
    if (!whole) return true;
    if (!ReadSettings(k, record))
        return Refuse(why, L"its settings are malformed, or name one its change does not touch");
    for (size_t index = 0; !Absent(k, Numbered(L"Entries", index)); ++index) {
        record.entries.emplace_back();
        if (index >= kMostPlaces || !ReadPlace(k, index, record.finished, record.entries.back()) ||
            (record.kind != Kind::kStartup && record.kind != Kind::kUndo))
            return Refuse(why, L"its start-up entries are malformed, or its change touches none");
    }
    return true;
}

}  // namespace history
