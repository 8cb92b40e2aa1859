#pragma once
// The start-up program switch: parks the values of the Run keys in a sibling
// key and brings them back, under HKEY_LOCAL_MACHINE (both views on 64-bit
// Windows) and then HKEY_CURRENT_USER. No value is ever lost or changed: each
// is deleted from the source only once the target holds the same type and
// bytes, and only while the source still holds what was copied.
#include <windows.h>

#include "registry/exact.h"

constexpr wchar_t kStartupKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kParkingKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunDisabled";

struct MoveResult {
    int moved = 0;    // now only in the target
    int kept = 0;     // left in the source: the target could not take them
    int skipped = 0;  // roots or views whose source key could not be opened
};

// The steps of a move, one call each. The defaults are the real calls; tests
// put a failing one in where no real cause of failure exists.
struct MoveOptions {
    using CreateStep = LSTATUS (*)(HKEY root, const wchar_t* path, REGSAM view, HKEY* key);
    using WriteStep = LSTATUS (*)(HKEY key, const mGeneral::ExactValue& value);
    using ReadStep = LSTATUS (*)(HKEY key, const std::wstring& name, mGeneral::ExactValue& value);
    using DeleteStep = LSTATUS (*)(HKEY key, const std::wstring& name);

    CreateStep createTarget = mGeneral::CreateKeyExact;
    WriteStep write = mGeneral::WriteExact;
    ReadStep readBack = mGeneral::ReadExact;  // the target's value after the write
    DeleteStep remove = mGeneral::DeleteExact;
};

MoveResult MoveStartupValues(const wchar_t* source, const wchar_t* target,
                             const MoveOptions& options = {});
