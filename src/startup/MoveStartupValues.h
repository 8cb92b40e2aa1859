#pragma once
// The start-up program switch: parks the values of the Run keys in a sibling
// key and brings them back, under HKEY_LOCAL_MACHINE (both views on 64-bit
// Windows) and then HKEY_CURRENT_USER, and then the items of the Startup
// folders (see StartupFolders.h). No value is ever lost or changed: each
// is deleted from the source only once the target holds the same type and
// bytes, and only while the source still holds what was copied.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "registry/exact.h"

constexpr wchar_t kStartupKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kParkingKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunDisabled";

// Where an entry lives: a Run key for all users (HKEY_LOCAL_MACHINE) or this
// user, or a Startup folder for all users or this user.
enum MovePlace { kMachineWide, kThisUser, kMachineFolder, kUserFolder, kPlaceCount };

inline bool ForAllUsers(MovePlace place) {
    return place == kMachineWide || place == kMachineFolder;
}
inline bool IsFolder(MovePlace place) { return place == kMachineFolder || place == kUserFolder; }
// "for all users", "in this user's Startup folder".
const wchar_t* PlaceWhere(MovePlace place);

struct StartupFolder;
class KeepList;

// Why an entry stayed in the source.
enum KeptReason {
    kNeedsAdministrator,   // a key could not be opened or created for writing
    kChangedMeanwhile,     // another program changed or removed it during the move
    kLiveEntryDiffers,     // the target holds a different value of that name, which stays
    kNotWritten,           // the target would not take it whole
    kNotRemoved,           // copied whole into the target, but the source would not let it go
    kChangedSince,         // moving back: it no longer holds what was moved, or is gone
    kNotRecorded,          // the record of the move could not be written first
    kWindowsOwn,           // parking: one of Windows' own, which stays (not a failure)
    kAlreadyParked,        // an item of that name is parked already; the live one stays
    kLiveItemThere,        // the Startup folder holds an item of that name, which stays
    kUntrustedFolder,      // the parking folder for all users could be changed by others
    kNotMovable,           // the item would not move in one rename: in use, or refused
    kKeptByYou,            // parking: on the user's keep-list, so it stays (not a failure)
    kKeptByAdministrator,  // parking: on the administrator's keep-list (not a failure)
    kReasonCount
};

struct MoveResult {
    int moved = 0;    // now only in the target
    int kept = 0;     // left in the source, for one of the reasons below
    int skipped = 0;  // places whose source key could not be opened, absent ones included
    int keptBy[kPlaceCount][kReasonCount] = {};
    // Places whose source refused writing and could not even be counted.
    bool unreadable[kPlaceCount] = {};
    // The switch did not start: its lock could not be opened at all.
    bool lockUnavailable = false;
    // Left in place on purpose, as Windows' own or kept by a keep-list, each
    // as "\"name\" for all users": not kept for want of anything, so not
    // among `kept`.
    struct LeftAlone {
        KeptReason why;
        std::wstring what;
    };
    std::vector<LeftAlone> leftAlone;
    // The parking folder for all users, where it was not trusted.
    std::wstring untrustedFolder;

    bool Complete() const;
    void Keep(MovePlace place, KeptReason reason, int count = 1);
};

// The entries of one place that a record names, with a fingerprint of each
// value as it was moved (mGeneral::ValueHash; 0 for one that stayed). With
// no fingerprints at all, the move was cut short and which ones moved is
// not known.
struct PlaceEntries {
    MovePlace place = kThisUser;
    REGSAM view = 0;
    std::vector<std::wstring> names;
    std::vector<uint64_t> hashes;
};

// What a move tells the record of the change as it goes.
class MoveLog {
public:
    // Before a place's entries move: their names, as listed. False when they
    // cannot be recorded; the place is then left as it is.
    virtual bool Planned(MovePlace place, REGSAM view, const std::vector<std::wstring>& names) = 0;
    // Entry `index` of that list now stands only in the target, with this
    // fingerprint (mGeneral::ValueHash of a value; of an item, what
    // identifies it unchanged).
    virtual void Moved(size_t index, const std::wstring& name, uint64_t fingerprint) = 0;
    // An entry stays in the source, and why; without Planned where the source refuses writing.
    virtual void Kept(MovePlace /*place*/, REGSAM /*view*/, const std::wstring& /*name*/,
                      KeptReason /*reason*/) {}
    // A place whose source refuses writing and whose names cannot even be listed.
    virtual void Unreadable(MovePlace /*place*/, REGSAM /*view*/) {}

protected:
    ~MoveLog() = default;
};

// The steps of a move, one call each. The defaults are the real calls; tests
// put a failing one in where no real cause of failure exists.
struct MoveOptions {
    using OpenStep = LSTATUS (*)(HKEY root, const wchar_t* path, REGSAM access, HKEY* key);
    using CreateStep = LSTATUS (*)(HKEY root, const wchar_t* path, REGSAM view, HKEY* key);
    using WriteStep = LSTATUS (*)(HKEY key, const mGeneral::ExactValue& value);
    using ReadStep = LSTATUS (*)(HKEY key, const std::wstring& name, mGeneral::ExactValue& value);
    using DeleteStep = LSTATUS (*)(HKEY key, const std::wstring& name);

    OpenStep openSource = mGeneral::OpenKeyExact;
    CreateStep createTarget = mGeneral::CreateKeyExact;
    WriteStep write = mGeneral::WriteExact;
    ReadStep readBack = mGeneral::ReadExact;  // the target's value after the write
    DeleteStep remove = mGeneral::DeleteExact;
    // Bringing entries back, the target is the live Run key: a value of the
    // same name there is the one the system uses now, perhaps rewritten by
    // its program's update, so it is never replaced, and the parked copy
    // stays. Parking replaces a stale parked copy.
    bool keepTargetValues = false;
    // Parking leaves Windows' own entries where they are (see WindowsOwn.h),
    // and those a keep-list keeps, where one is given.
    bool keepWindowsOwn = false;
    const KeepList* keep = nullptr;
    // Every decision of the move, and no write: a missing target is only shown
    // creatable, and each entry that would move counts, and is logged, as moved.
    bool dryRun = false;
    MoveLog* log = nullptr;
    // The Startup folders whose items move too, after the Run keys (none
    // when null), and which way: into their parking folders, or back.
    const std::vector<StartupFolder>* folders = nullptr;
    bool parkFolders = false;
};

MoveResult MoveStartupValues(const wchar_t* source, const wchar_t* target,
                             const MoveOptions& options = {});

// Moves only the entries named, each only while it still holds the value
// whose fingerprint is given: how a recorded move is undone.
MoveResult MoveNamedValues(const wchar_t* source, const wchar_t* target,
                           const std::vector<PlaceEntries>& entries, const MoveOptions& options);

// The views of HKEY_LOCAL_MACHINE that Windows starts programs from: both on
// 64-bit Windows, whichever build asks, else the one there is (0).
std::vector<REGSAM> StartupMachineViews();

// "Power Bootup" and "Normal Bootup": each holds the switch's lock for the
// whole move (see StartupSwitchLock), and tells `log` of each place and
// entry. False when another copy of the program kept it past the wait, or
// when it could not be opened at all (result.lockUnavailable); nothing has
// moved then.
bool ParkStartupValues(MoveResult& result, DWORD waitMs, MoveLog* log = nullptr);
bool RestoreStartupValues(MoveResult& result, DWORD waitMs, MoveLog* log = nullptr);
// Parks one entry, or brings it back, the same way and under the same lock:
// a live entry that differs wins, and a parked registry copy is replaced as
// "Power Bootup" replaces one. Neither Windows' own nor a keep-list stops it.
bool MoveOneEntry(const PlaceEntries& entry, bool park, MoveResult& result, DWORD waitMs,
                  MoveLog* log = nullptr);

// Whether the entry stays, parking, as Windows' own or kept by a keep-list:
// then it is told to `log` and among result.leftAlone, and true.
bool LeftAlone(const MoveOptions& options, MovePlace place, REGSAM view, const std::wstring& name,
               bool windowsOwn, MoveResult& result);

// One switch at a time, across every copy of the program: in this session,
// and in other sessions sharing HKEY_LOCAL_MACHINE, where the system has a
// global namespace.
class StartupSwitchLock {
public:
    explicit StartupSwitchLock(DWORD waitMs);
    ~StartupSwitchLock();
    StartupSwitchLock(const StartupSwitchLock&) = delete;
    StartupSwitchLock& operator=(const StartupSwitchLock&) = delete;
    bool Held() const { return held_; }
    // Not even opened: no copy of the program can be kept out.
    bool Unavailable() const { return unavailable_; }

private:
    HANDLE mutexes_[2] = {};
    int owned_ = 0;
    bool held_ = false;
    bool unavailable_ = false;
};

// How long a switch waits for another copy's move before it gives up.
constexpr DWORD kSwitchWaitMs = 30000;

// "1 entry", "2 entries"; "1 item", "2 items".
std::wstring Entries(int count);
std::wstring Items(int count);

// Why an entry stayed, for one entry or several: "moving it needs an administrator".
const wchar_t* WhyKept(KeptReason reason, bool several);

// What a move left behind, for the user: one line per place and reason.
// Empty when the move was complete.
std::wstring DescribeKept(const MoveResult& result);
