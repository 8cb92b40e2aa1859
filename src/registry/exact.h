#pragma once
// Registry values moved without change: name, type and every data byte, with
// the wide calls, so that no name outside the ANSI code page is altered.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace mGeneral {

struct ExactValue {
    std::wstring name;  // empty for the key's default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

bool SameValue(const ExactValue& a, const ExactValue& b);

// A fingerprint of the type and bytes, never 0: what a record keeps of a
// moved value to tell later whether it still holds what was moved.
uint64_t ValueHash(const ExactValue& value);

// Every value name of an open key, each whole. False when the listing broke
// off before its end.
bool ListNamesExact(HKEY key, std::vector<std::wstring>& names);

// Reads a value whole, however long; ERROR_FILE_NOT_FOUND when absent.
LSTATUS ReadExact(HKEY key, const std::wstring& name, ExactValue& value);

// Writes exactly the bytes given: no terminator is added to strings.
LSTATUS WriteExact(HKEY key, const ExactValue& value);

// Deletes the value of this name; ERROR_FILE_NOT_FOUND when absent.
LSTATUS DeleteExact(HKEY key, const std::wstring& name);

// Opens an existing key with the access given, the view included.
LSTATUS OpenKeyExact(HKEY root, const wchar_t* path, REGSAM access, HKEY* key);

// Creates the key and its missing parents, or opens it, in the registry view
// given (0, KEY_WOW64_64KEY or KEY_WOW64_32KEY), to read and write values.
LSTATUS CreateKeyExact(HKEY root, const wchar_t* path, REGSAM view, HKEY* key);

}  // namespace mGeneral
