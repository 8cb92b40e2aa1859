#pragma once
// The start-up program switch: parks the values of the Run keys in a sibling
// key and brings them back, under HKEY_LOCAL_MACHINE (both views on 64-bit
// Windows) and then HKEY_CURRENT_USER. No value is ever lost or changed: each
// is deleted from the source only once the target holds the same type and
// bytes, and only while the source still holds what was copied.
#include <windows.h>

#include <string>
#include <vector>

#include "registry/exact.h"

constexpr wchar_t kStartupKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kParkingKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunDisabled";

// Where an entry lives: for all users (HKEY_LOCAL_MACHINE) or this user.
enum MovePlace { kMachineWide, kThisUser, kPlaceCount };

// Why an entry stayed in the source.
enum KeptReason {
    kNeedsAdministrator,  // a key could not be opened or created for writing
    kChangedMeanwhile,    // another program changed or removed it during the move
    kLiveEntryDiffers,    // the target holds a different value of that name, which stays
    kNotWritten,          // the target would not take it whole
    kNotRemoved,          // copied whole into the target, but the source would not let it go
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

    bool Complete() const;
    void Keep(MovePlace place, KeptReason reason, int count = 1);
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
};

MoveResult MoveStartupValues(const wchar_t* source, const wchar_t* target,
                             const MoveOptions& options = {});

// The views of HKEY_LOCAL_MACHINE that Windows starts programs from: both on
// 64-bit Windows, whichever build asks, else the one there is (0).
std::vector<REGSAM> StartupMachineViews();

// "Power Bootup" and "Normal Bootup": each holds the switch's lock for the
// whole move (see StartupSwitchLock). False when another copy of the program
// kept it past the wait, or when it could not be opened at all
// (result.lockUnavailable); nothing has moved then.
bool ParkStartupValues(MoveResult& result, DWORD waitMs);
bool RestoreStartupValues(MoveResult& result, DWORD waitMs);

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

// "1 entry", "2 entries".
std::wstring Entries(int count);

// What a move left behind, for the user: one line per place and reason.
// Empty when the move was complete.
std::wstring DescribeKept(const MoveResult& result);
