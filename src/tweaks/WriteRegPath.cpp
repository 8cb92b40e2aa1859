#include "tweaks/WriteRegPath.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tweaks {
namespace {

struct Root {
    const char* name;
    HKEY key;
};
const Root kRoots[] = {{"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}};

// Decimal text to a signed 32-bit number; false for anything else.
bool ToInt32(const std::string& text, int32_t& number) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno || *end || value < INT32_MIN || value > INT32_MAX) return false;
    number = static_cast<int32_t>(value);
    return true;
}

}  // namespace

LONG SetTypedValue(HKEY key, const std::string& name, int32_t typeNumber, const std::string& data) {
    if (typeNumber == REG_SZ)
        return RegSetValueExA(key, name.c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(data.c_str()),
                              static_cast<DWORD>(data.size() + 1));
    if (typeNumber == REG_DWORD) {
        int32_t number;
        if (!ToInt32(data, number)) return 0;
        BYTE bytes[4] = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8),
                         static_cast<BYTE>(number >> 16), static_cast<BYTE>(number >> 24)};
        return RegSetValueExA(key, name.c_str(), 0, REG_DWORD, bytes, 4);
    }
    return 0;
}

void WriteRegPath(const std::string& path, const std::string&, const std::string& data,
                  int32_t typeNumber) {
    size_t first = path.find('\\'), last = path.rfind('\\');
    if (first == std::string::npos || first == last) return;  // fewer than three parts
    for (const Root& root : kRoots) {
        if (path.compare(0, first, root.name) != 0) continue;
        HKEY key;
        if (RegOpenKeyExA(root.key, path.substr(first + 1, last - first - 1).c_str(), 0,
                          KEY_SET_VALUE, &key) != ERROR_SUCCESS)
            return;
        SetTypedValue(key, path.substr(last + 1), typeNumber, data);
        RegCloseKey(key);
        return;
    }
}

}  // namespace tweaks
