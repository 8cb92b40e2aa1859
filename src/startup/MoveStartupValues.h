#pragma once
// The start-up program switch: parks the values of the Run keys in a sibling
// key and brings them back, under HKEY_LOCAL_MACHINE (both views on 64-bit
// Windows) and then HKEY_CURRENT_USER. No value is ever lost or changed: each
// is deleted from the source only once the target holds the same type and
// bytes.
#include <windows.h>

#include "registry/exact.h"

constexpr wchar_t kStartupKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kParkingKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunDisabled";

struct MoveResult {
    int moved = 0;    // now only in the target
    int kept = 0;     // left in the source: the target could not take them
    int skipped = 0;  // roots or views whose source key could not be opened
};

struct MoveOptions {
    // The write step; tests put a failing one here where no real cause exists.
    LSTATUS (*write)(HKEY key, const mGeneral::ExactValue& value) = mGeneral::WriteExact;
};

MoveResult MoveStartupValues(const wchar_t* source, const wchar_t* target,
                             const MoveOptions& options = {});
