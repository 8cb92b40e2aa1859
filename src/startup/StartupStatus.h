#pragma once
// What the start-up switch would see: the Run and RunDisabled entries of
// every place, one line each, as text that is safe to print whatever the
// entries hold.
#include <string>

#include "registry/exact.h"

// Every place (HKEY_LOCAL_MACHINE in each view Windows starts programs from,
// then HKEY_CURRENT_USER), its two keys, and each entry's name, type and data.
std::wstring DescribeStartupEntries();

// A value's type and a short rendering of its data: strings quoted, cut
// short, with control characters escaped; numbers in decimal; anything else
// as its first bytes in hex and its size.
std::wstring RenderValue(const mGeneral::ExactValue& value);
