#include "history/record.h"

#include <cstring>

#include "base/handle.h"
#include "base/text.h"
#include "history/changes.h"
#include "platform/platform.h"
#include "registry/exact.h"

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
        const size_t at = bytes.size();
        bytes.resize(at + size);
        if (size) std::memcpy(&bytes[at], data, size);
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
bool Put(HKEY key, const wchar_t* name, DWORD type, const void* data, size_t size) {
    return RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data),
                          static_cast<DWORD>(size)) == ERROR_SUCCESS;
}
bool PutNumber(HKEY key, const wchar_t* name, DWORD n) { return Put(key, name, REG_DWORD, &n, 4); }
bool PutText(HKEY key, const wchar_t* name, const std::wstring& text) {
    return Put(key, name, REG_SZ, text.c_str(), (text.size() + 1) * 2);
}
bool PutBlob(HKEY key, const wchar_t* name, const Writer& w) {
    return Put(key, name, REG_BINARY, w.bytes.data(), w.bytes.size());
}

// A record's values are small and change only under the switch's lock.
bool Get(HKEY key, const wchar_t* name, DWORD type, std::vector<BYTE>& data) {
    DWORD got = REG_NONE, size = 0;
    if (RegQueryValueExW(key, name, nullptr, &got, nullptr, &size) != ERROR_SUCCESS || got != type)
        return false;
    data.resize(size);
    if (RegQueryValueExW(key, name, nullptr, &got, data.data(), &size) != ERROR_SUCCESS ||
        got != type)
        return false;
    data.resize(size);
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

bool Absent(HKEY key, const wchar_t* name) {
    return RegQueryValueExW(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_FILE_NOT_FOUND;
}

// Which part a setting or a place belongs to: true, the one for all users.
bool PartOf(const SettingChange& change) { return change.setting == Setting::kMtu; }
bool PartOf(const PlaceEntries& place) { return ForAllUsers(place.place); }

// The settings that belong to one part.
Writer SettingsBlob(const std::vector<SettingChange>& settings, bool allUsers) {
    Writer w;
    DWORD count = 0;
    for (const SettingChange& change : settings) count += PartOf(change) == allUsers;
    w.Number(count);
    for (const SettingChange& change : settings) {
        if (PartOf(change) != allUsers) continue;
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
        if (!IsSetting(s.setting, s.id) ||
            !(s.setting == Setting::kMtu ? mtu
                                         : effects && IsSwitch(s.before) && IsSwitch(s.after)))
            return false;
    }
    return true;
}

// One part's settings, after those of the other part.
[[gnu::noinline]] bool ReadSettings(HKEY key, Record& record) {
    std::vector<BYTE> blob;
    if (!Get(key, L"Settings", REG_BINARY, blob)) return false;
    Reader r(blob);
    DWORD count;
    if (!r.Number(count) || count > 16) return false;
    const size_t first = record.settings.size();
    record.settings.resize(first + count);
    for (size_t i = first; i < record.settings.size(); ++i) {
        SettingChange& change = record.settings[i];
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

// "Entries 0", "Moved 2".
struct NumberedName {
    wchar_t text[16];
};
NumberedName Numbered(const wchar_t* name, size_t index) {
    NumberedName numbered;
    wsprintfW(numbered.text, L"%s %u", name, static_cast<unsigned>(index));
    return numbered;
}

// One place's names and, once the change has finished, which of them moved.
[[gnu::noinline]] bool ReadPlace(HKEY key, size_t index, bool finished, PlaceEntries& place) {
    std::vector<BYTE> blob, moved;
    if (!Get(key, Numbered(L"Entries", index).text, REG_BINARY, blob)) return false;
    Reader r(blob);
    DWORD where, view, count;
    if (!r.Number(where) || !r.Number(view) || !r.Number(count) || count > blob.size() / 4)
        return false;
    // Only the views Windows starts programs from: both on 64-bit Windows;
    // a folder has none.
    if (where == kThisUser || where == kMachineFolder || where == kUserFolder ? view != 0
        : platform::Is64BitWindows()
            ? where != kMachineWide || (view != KEY_WOW64_64KEY && view != KEY_WOW64_32KEY)
            : where != kMachineWide || view != 0)
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
    return Get(key, Numbered(L"Moved", index).text, REG_BINARY, moved) &&
           moved.size() == count * 8ull && Reader(moved).Raw(place.hashes.data(), moved.size());
}

bool Refuse(std::wstring& why, const wchar_t* reason) {
    why = reason;
    return false;
}

// Newest first, without repeats; each part's are added in turn.
void SequencesOf(HKEY history, std::vector<DWORD>& sequences) {
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
            if (at == sequences.end() || *at != sequence) sequences.insert(at, sequence);
        }
    }
}

// Where each part lives: the user's own, and the one for all users in the
// 64-bit view, so that both builds keep one history.
HKEY RootOf(bool allUsers) { return allUsers ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }
REGSAM ViewOf(bool allUsers) {
    return allUsers && platform::Is64BitWindows() ? KEY_WOW64_64KEY : 0;
}

LSTATUS OpenPart(bool allUsers, DWORD sequence, REGSAM access, base::KeyHandle& key) {
    return RegOpenKeyExW(RootOf(allUsers), RecordPath(sequence).c_str(), 0,
                         access | ViewOf(allUsers), key.Put());
}

// The part for all users is written by administrators and the system only,
// and read by every user, so that all see one history and one numbering.
// Windows applies this when Tavrel creates the key; an existing key keeps
// its own, and each record is checked as it is read.
constexpr wchar_t kAdministratorsOnly[] = L"O:BAD:P(A;CI;KA;;;BA)(A;CI;KA;;;SY)(A;CI;KR;;;BU)";

LSTATUS CreatePart(bool allUsers, HKEY parent, const wchar_t* path, REGSAM access, HKEY* key,
                   DWORD* disposition = nullptr) {
    platform::SecurityAttributes protect(kAdministratorsOnly);
    return RegCreateKeyExW(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                           access | ViewOf(allUsers), allUsers ? protect.Get() : nullptr, key,
                           disposition);
}

bool OpenHistory(bool allUsers, base::KeyHandle& history) {
    base::KeyHandle tavrel;
    return CreatePart(allUsers, RootOf(allUsers), L"Software\\Tavrel", KEY_CREATE_SUB_KEY,
                      tavrel.Put()) == ERROR_SUCCESS &&
           CreatePart(allUsers, tavrel.Get(), L"History", KEY_READ | KEY_WRITE, history.Put()) ==
               ERROR_SUCCESS;
}

// Only administrators and the system own the key and may write it.
bool OnlyAdministratorsWrite(HKEY key) {
    // Tavrel's own keys carry a short list; a longer one is not Tavrel's.
    alignas(8) BYTE descriptor[1024];
    DWORD size = sizeof descriptor;
    constexpr ACCESS_MASK kWrites = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE |
                                    WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    return RegGetKeySecurity(key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                             descriptor, &size) == ERROR_SUCCESS &&
           platform::OnlyAdministratorsWrite(descriptor, kWrites);
}

// The writer keeps to the reader's limits: a longer text would have its
// record refused, and that record would then stand in the way of every undo.
void Fit(std::wstring& text, size_t most) {
    if (text.size() > most) text.resize(IS_HIGH_SURROGATE(text[most - 1]) ? most - 1 : most);
}

// Who is making a change for all users.
std::wstring UserName() {
    wchar_t name[257];
    DWORD size = 257;
    return GetUserNameW(name, &size) ? name : L"(not known)";
}

// Writes one part of a record, its heading first and its kind last: a part
// without its kind was cut short before its change began. Its settings are
// the ones that belong to it.
bool WritePart(HKEY history, bool allUsers, const Record& record) {
    base::KeyHandle key;
    DWORD disposition = 0;
    const std::wstring name = RecordName(record.sequence);
    if (CreatePart(allUsers, history, name.c_str(), kRecordAccess, key.Put(), &disposition) !=
            ERROR_SUCCESS ||
        disposition == REG_OPENED_EXISTING_KEY)
        return false;
    HKEY k = key.Get();
    if (!Put(k, L"Time", REG_BINARY, &record.time, 8) || !PutText(k, L"Title", record.title) ||
        !PutNumber(k, L"Parks", record.parks) || !PutNumber(k, L"Finished", 0) ||
        !PutBlob(k, L"Settings", SettingsBlob(record.settings, allUsers)) ||
        (allUsers && !PutText(k, L"User", UserName())) ||
        (record.kind == Kind::kUndo && !PutNumber(k, L"Undoes", record.undoes)) ||
        (!record.detail.empty() && !PutText(k, L"Detail", record.detail)) ||
        !PutNumber(k, L"Kind", static_cast<DWORD>(record.kind))) {
        key.Reset();
        RegDeleteKeyW(history, name.c_str());
        return false;
    }
    return true;
}

// A place's number within its part.
size_t IndexInPart(const Record& record, size_t index) {
    size_t local = 0;
    for (size_t i = 0; i < index; ++i)
        local += PartOf(record.entries[i]) == PartOf(record.entries[index]);
    return local;
}

void Drop(bool allUsers, DWORD sequence) {
    base::KeyHandle history;
    if (RegOpenKeyExW(RootOf(allUsers), kHistoryKey, 0, KEY_WRITE | ViewOf(allUsers),
                      history.Put()) == ERROR_SUCCESS)
        RegDeleteKeyW(history.Get(), RecordName(sequence).c_str());
}

// Reads one part into the record; the second must agree with the first.
[[gnu::noinline]] bool ReadPart(HKEY k, bool allUsers, bool first, Record& record,
                                std::wstring& why) {
    std::vector<BYTE> time;
    FILETIME at{};
    DWORD kind = 0, finished = 0, parks = 0, undoes = 0, undoneBy = 0;
    if (Absent(k, L"Kind")) {
        // Cut short before its change began; a part cut short beside a
        // written one began nothing either.
        if (first) record.kind = Kind::kUnwritten;
        return true;
    }
    first = first || record.kind == Kind::kUnwritten;
    if (allUsers && !OnlyAdministratorsWrite(k))
        return Refuse(why, L"its key lets others than administrators write it");
    if (!Get(k, L"Time", REG_BINARY, time) || !Reader(time).Raw(&at, 8) || time.size() != 8 ||
        !GetNumber(k, L"Kind", kind, 6) || !kind || !GetNumber(k, L"Finished", finished, 1) ||
        !GetNumber(k, L"Parks", parks, 1) || (allUsers && !GetText(k, L"User", record.user, 256)))
        return Refuse(why, L"its time, kind, user or state is missing or malformed");
    if (!first && record.kind != Kind::kUnwritten &&
        (static_cast<DWORD>(record.kind) != kind || record.parks != (parks != 0) ||
         std::memcmp(&record.time, &at, 8)))
        return Refuse(why, L"its two parts do not agree");
    record.kind = static_cast<Kind>(kind);
    record.time = at;
    record.finished = (first || record.finished) && finished;
    record.parks = parks != 0;
    if (record.kind == Kind::kUndo ? !GetNumber(k, L"Undoes", undoes, record.sequence - 1) ||
                                         !undoes || (!first && undoes != record.undoes)
                                   : !Absent(k, L"Undoes"))
        return Refuse(why, L"what it undid is malformed");
    record.undoes = undoes;
    if ((!Absent(k, L"Undone by") &&
         (!GetNumber(k, L"Undone by", undoneBy, MAXDWORD) || undoneBy <= record.sequence)) ||
        (!Absent(k, L"Detail") && !GetText(k, L"Detail", record.detail, kLongestDetail)))
        return Refuse(why, L"its undo or its detail is malformed");
    // Undone only when each part says so.
    record.undoneBy = first || record.undoneBy == undoneBy ? undoneBy : 0;
    const size_t settings = record.settings.size();
    if (!ReadSettings(k, record))
        return Refuse(why, L"its settings are malformed, or name one its change does not touch");
    for (size_t index = 0; !Absent(k, Numbered(L"Entries", index).text); ++index) {
        record.entries.emplace_back();
        if (index >= kMostPlaces || !ReadPlace(k, index, finished, record.entries.back()) ||
            (record.kind != Kind::kStartup && record.kind != Kind::kUndo &&
             (record.kind != Kind::kEntry || index > 0 ||
              record.entries.back().names.size() != 1)))
            return Refuse(why, L"its start-up entries are malformed, or its change touches none");
        record.misplaced = record.misplaced || PartOf(record.entries.back()) != allUsers;
    }
    for (size_t i = settings; i < record.settings.size(); ++i)
        record.misplaced = record.misplaced || PartOf(record.settings[i]) != allUsers;
    // Among the changes for all users, nothing of this user's own.
    return !(allUsers && record.misplaced) ||
           Refuse(why, L"it holds this user's own settings among those for all users");
}

}  // namespace

std::wstring RecordKey(DWORD sequence, bool allUsers) {
    return base::Cat(
        {allUsers ? L"HKEY_LOCAL_MACHINE\\" : L"HKEY_CURRENT_USER\\", RecordPath(sequence)});
}

bool Begin(Record& record, bool flush) {
    Fit(record.title, kLongestTitle);
    Fit(record.detail, kLongestDetail);
    const bool allUsers = !record.settings.empty()  ? PartOf(record.settings.front())
                          : !record.entries.empty() ? PartOf(record.entries.front())
                                                    : false;
    base::KeyHandle history;
    if (!OpenHistory(allUsers, history)) return false;
    std::vector<DWORD> sequences = Sequences();
    DWORD next = sequences.empty() ? 1 : sequences.front() + 1;
    // Another copy of the program may take a number at the same moment, in
    // either part.
    for (int tries = 0; tries < 100 && next != 0; ++tries, ++next) {
        record.sequence = next;
        GetSystemTimeAsFileTime(&record.time);
        base::KeyHandle other;
        if (OpenPart(!allUsers, next, KEY_QUERY_VALUE, other) == ERROR_SUCCESS ||
            !WritePart(history.Get(), allUsers, record))
            continue;
        record.allUsers = allUsers;
        std::vector<DWORD> ours;
        SequencesOf(history.Get(), ours);
        for (size_t i = kRecordsKept; i < ours.size(); ++i)
            RegDeleteKeyW(history.Get(), RecordName(ours[i]).c_str());
        if (flush) RegFlushKey(history.Get());
        return true;
    }
    record.sequence = 0;
    return false;
}

bool SavePlace(const Record& record, size_t index) {
    if (index >= record.entries.size()) return false;
    const PlaceEntries& place = record.entries[index];
    const bool allUsers = PartOf(place);
    const size_t local = IndexInPart(record, index);
    base::KeyHandle key, history;
    if (local >= kMostPlaces) return false;
    // The first place of the other part begins that part, under the same number.
    if (OpenPart(allUsers, record.sequence, kRecordAccess, key) == ERROR_FILE_NOT_FOUND &&
        (!OpenHistory(allUsers, history) || !WritePart(history.Get(), allUsers, record) ||
         OpenPart(allUsers, record.sequence, kRecordAccess, key) != ERROR_SUCCESS))
        return false;
    if (!key) return false;
    Writer w;
    w.Number(place.place);
    w.Number(static_cast<DWORD>(place.view));
    w.Number(static_cast<DWORD>(place.names.size()));
    for (const std::wstring& name : place.names) w.Data(name.data(), name.size(), 2);
    if (!PutBlob(key.Get(), Numbered(L"Entries", local).text, w)) return false;
    RegFlushKey(key.Get());
    return true;
}

bool Finish(Record& record) {
    Fit(record.detail, kLongestDetail);
    bool written = true, any = false;
    for (bool allUsers : {true, false}) {
        base::KeyHandle key;
        LSTATUS opened = OpenPart(allUsers, record.sequence, kRecordAccess, key);
        if (opened == ERROR_FILE_NOT_FOUND) continue;
        any = true;
        written = written && opened == ERROR_SUCCESS;
        if (!written) break;
        HKEY k = key.Get();
        written = written && PutBlob(k, L"Settings", SettingsBlob(record.settings, allUsers));
        for (size_t i = 0; i < record.entries.size() && written; ++i) {
            const std::vector<uint64_t>& hashes = record.entries[i].hashes;
            written = PartOf(record.entries[i]) != allUsers ||
                      Put(k, Numbered(L"Moved", IndexInPart(record, i)).text, REG_BINARY,
                          hashes.data(), hashes.size() * 8);
        }
        written = written && (record.detail.empty() || PutText(k, L"Detail", record.detail)) &&
                  PutNumber(k, L"Finished", 1);
        // Power Bootup restarts the computer next; the record must outlive that.
        RegFlushKey(k);
    }
    record.finished = written && any;
    return record.finished;
}

bool MarkUndone(DWORD sequence, DWORD undoneBy) {
    bool marked = false;
    for (bool allUsers : {true, false}) {
        base::KeyHandle key;
        LSTATUS opened = OpenPart(allUsers, sequence, kRecordAccess, key);
        if (opened == ERROR_FILE_NOT_FOUND) continue;
        if (opened != ERROR_SUCCESS || !PutNumber(key.Get(), L"Undone by", undoneBy)) return false;
        marked = true;
    }
    return marked;
}

bool Writable(DWORD sequence) {
    for (bool allUsers : {true, false}) {
        base::KeyHandle key;
        LSTATUS opened = OpenPart(allUsers, sequence, kRecordAccess, key);
        if (opened != ERROR_SUCCESS && opened != ERROR_FILE_NOT_FOUND) return false;
    }
    return true;
}

std::wstring NumbersUsedUp() {
    std::vector<DWORD> sequences = Sequences();
    if (sequences.empty() || sequences.front() != MAXDWORD) return {};
    base::KeyHandle key;
    const bool allUsers = OpenPart(true, MAXDWORD, KEY_QUERY_VALUE, key) == ERROR_SUCCESS;
    return base::Cat(
        {L" Delete ", RecordKey(MAXDWORD, allUsers), L": it has the last record number."});
}

void Discard(const Record& record) {
    for (bool allUsers : {true, false}) Drop(allUsers, record.sequence);
}

std::vector<DWORD> Sequences() {
    std::vector<DWORD> sequences;
    for (bool allUsers : {true, false}) {
        base::KeyHandle history;
        if (RegOpenKeyExW(RootOf(allUsers), kHistoryKey, 0, KEY_READ | ViewOf(allUsers),
                          history.Put()) == ERROR_SUCCESS)
            SequencesOf(history.Get(), sequences);
    }
    return sequences;
}

bool Read(DWORD sequence, Record& record, std::wstring& why) {
    record = Record();
    record.sequence = sequence;
    bool first = true;
    // The part for all users first: its places come first, as they moved.
    for (bool allUsers : {true, false}) {
        base::KeyHandle key;
        LSTATUS opened = OpenPart(allUsers, sequence, KEY_READ, key);
        if (opened == ERROR_FILE_NOT_FOUND) continue;
        record.key = RecordKey(sequence, allUsers);
        if (opened != ERROR_SUCCESS) return Refuse(why, L"it cannot be read");
        if (!ReadPart(key.Get(), allUsers, first, record, why)) return false;
        record.allUsers = record.allUsers || allUsers;
        first = false;
    }
    return !first || Refuse(why, L"it cannot be read");
}

}  // namespace history
