#pragma once
// The record of every change Tavrel makes: one key per change, numbered in
// order, the last 50 kept. A change is recorded before it is made and
// completed after, so that it can be listed and undone exactly.
//
// A record is kept as safe as what it changes. The user's own settings are
// recorded under HKEY_CURRENT_USER\Software\Tavrel\History, and settings for
// all users (the MTU, HKEY_LOCAL_MACHINE's start-up entries) under the same
// path in HKEY_LOCAL_MACHINE's 64-bit view, where only administrators and the
// system may write. A change that touches both keeps a part in each, under
// one number, and is listed and undone as one.
#include <windows.h>

#include <string>
#include <vector>

#include "startup/MoveStartupValues.h"

namespace history {

constexpr wchar_t kHistoryKey[] = L"Software\\Tavrel\\History";
constexpr size_t kRecordsKept = 50;
constexpr size_t kLongestTitle = 80;

// What a record's change touched, and so all that undoing it may touch.
enum class Kind : DWORD {
    kUnwritten = 0,  // its writing was cut short, before its change began: nothing changed
    kMtu = 1,        // the MTU value
    kEffects = 2,    // the visual styles and the eight effects
    kStartup = 3,    // start-up entries moved between Run and RunDisabled
    kOnce = 4,       // done for good: the clean-up tool, the emptied bins, a restart
    kUndo = 5,       // the undo of an earlier record; never undone itself
    kEntry = 6,      // one start-up entry parked or brought back, as kStartup moves them
};

enum class Setting : DWORD { kMtu = 1, kVisualStyles = 2, kEffect = 3 };

// What a setting holds. The MTU: whether the value is there, its type and
// bytes. The visual styles and an effect: on or off, as a 4-byte number;
// not present when it could not be read.
struct Held {
    bool present = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    bool operator==(const Held& other) const {
        return present == other.present && type == other.type && data == other.data;
    }
    bool operator!=(const Held& other) const { return !(*this == other); }
};

struct SettingChange {
    Setting setting = Setting::kMtu;
    UINT id = 0;  // an effect's SPI_SET code; 0 for the others
    Held before, after;
};

struct Record {
    DWORD sequence = 0;  // set when begun
    FILETIME time{};     // likewise, UTC
    Kind kind = Kind::kOnce;
    std::wstring title;     // as written: "MTU 68", "Power Bootup"; never read back
    std::wstring detail;    // what a change done for good did
    bool finished = false;  // false: under way, or cut short
    DWORD undoes = 0;       // an undo: the record it undid
    DWORD undoneBy = 0;     // the undo that undid this record; 0 while none has
    bool parks = false;     // start-up entries: from Run to RunDisabled, else back
    std::vector<SettingChange> settings;
    std::vector<PlaceEntries> entries;  // those for all users first
    // Read back:
    std::wstring user;      // who made a change for all users
    bool allUsers = false;  // it has a part under HKEY_LOCAL_MACHINE
    // A change for all users recorded where any program of the user could
    // have written it, as earlier versions did: listed, never acted on.
    bool misplaced = false;
    std::wstring key;  // the key of the part last read, for messages
};

// Writes a new record, in the part that its settings, else its first place,
// belong to, and sets its number and time; then lets the oldest beyond the
// last 50 drop off. False when it could not be written whole;
// nothing of it stays then. The record lives in another hive than most of
// what it names, and hives reach the disk independently: with `flush` it is
// on disk before its change begins, so that a power cut cannot keep the
// change and lose its record.
bool Begin(Record& record, bool flush = true);
// Writes the names of `record.entries[index]`, on disk before they move,
// beginning the record's other part where the place belongs there.
bool SavePlace(const Record& record, size_t index);
// Writes what the change did: the settings, which entries moved, the detail,
// and that it finished.
bool Finish(Record& record);
bool MarkUndone(DWORD sequence, DWORD undoneBy);
// Whether this caller may write every part of the record: undo marks them.
bool Writable(DWORD sequence);
// Where a record has the last number there is, so that Begin has none left:
// a sentence that names the key to delete; otherwise "".
std::wstring NumbersUsedUp();
void Discard(const Record& record);

// The numbers of the records there are, of both parts, newest first.
std::vector<DWORD> Sequences();

// Reads a record, both parts. False, with the reason and record.key, when it is malformed, names
// anything that its kind of change does not touch, or has a part for all
// users whose key anyone but administrators could write; it is never acted
// on then.
bool Read(DWORD sequence, Record& record, std::wstring& why);

// The key of a record's part, for messages.
std::wstring RecordKey(DWORD sequence, bool allUsers = false);

}  // namespace history
