#pragma once
// Sets one registry value named by a single path: root name, key path and
// value name joined by backslashes. The key is opened, never created.
#include <windows.h>

#include <cstdint>
#include <string>

namespace tweaks {

// Type 1 writes the text with its NUL, type 4 the number least significant
// byte first; any other type writes nothing and gives 0.
LONG SetTypedValue(HKEY key, const std::string& name, int32_t typeNumber, const std::string& data);

// Results are not reported: a missing key or a refused write leaves no trace.
void WriteRegPath(const std::string& path, const std::string& typeWord, const std::string& data,
                  int32_t typeNumber);

}  // namespace tweaks
