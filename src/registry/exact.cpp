#include "registry/exact.h"

#include <algorithm>

namespace mGeneral {

bool SameValue(const ExactValue& a, const ExactValue& b) {
    return a.type == b.type && a.data == b.data;
}

uint64_t ValueHash(const ExactValue& value) {
    // FNV-1a over the type's four bytes, then the data.
    uint64_t hash = 14695981039346656037ull;
    auto mix = [&hash](BYTE byte) { hash = (hash ^ byte) * 1099511628211ull; };
    for (int shift = 0; shift < 32; shift += 8) mix(static_cast<BYTE>(value.type >> shift));
    for (BYTE byte : value.data) mix(byte);
    return hash ? hash : 1;
}

bool ListNamesExact(HKEY key, std::vector<std::wstring>& names) {
    DWORD count = 0, longest = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         &longest, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    names.reserve(names.size() + count);
    std::wstring buffer(std::max<DWORD>(longest, 255) + 1, L'\0');
    for (DWORD index = 0;;) {
        DWORD length = static_cast<DWORD>(buffer.size());
        LSTATUS status =
            RegEnumValueW(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) return true;
        if (status == ERROR_MORE_DATA && buffer.size() < 32768) {
            buffer.resize(32768);  // the longest name the registry allows, and its NUL
            continue;
        }
        if (status != ERROR_SUCCESS) return false;
        names.emplace_back(buffer.data(), length);
        ++index;
    }
}

LSTATUS ReadExact(HKEY key, const std::wstring& name, ExactValue& value) {
    value.name = name;
    // Most values fit the buffer the last read left behind, so one call is
    // enough; a longer one says how long it is, and the next call takes it.
    // A little spare, so that even empty data has a buffer to land in.
    size_t room = std::max<size_t>(value.data.capacity(), 512);
    LSTATUS status = ERROR_MORE_DATA;
    for (int attempt = 0; status == ERROR_MORE_DATA && attempt < 10; ++attempt) {
        value.data.resize(room);
        DWORD got = static_cast<DWORD>(std::min<size_t>(room, MAXDWORD));
        status = RegQueryValueExW(key, name.c_str(), nullptr, &value.type, value.data.data(), &got);
        if (status == ERROR_SUCCESS) {
            value.data.resize(got);
            return ERROR_SUCCESS;
        }
        // It may have grown meanwhile: never ask for less than twice as much.
        room = std::max<size_t>(size_t{got} + sizeof(wchar_t), room * 2);
    }
    value.data.clear();
    return status;
}

LSTATUS WriteExact(HKEY key, const ExactValue& value) {
    // RegSetValueEx stores a terminator of its own when the bytes just past
    // the data are zero; keep them non-zero so the copy is byte for byte.
    std::vector<BYTE> padded(value.data);
    padded.insert(padded.end(), 4, 0xA5);
    return RegSetValueExW(key, value.name.c_str(), 0, value.type, padded.data(),
                          static_cast<DWORD>(value.data.size()));
}

LSTATUS DeleteExact(HKEY key, const std::wstring& name) {
    return RegDeleteValueW(key, name.c_str());
}

LSTATUS OpenKeyExact(HKEY root, const wchar_t* path, REGSAM access, HKEY* key) {
    return RegOpenKeyExW(root, path, 0, access, key);
}

LSTATUS CreateKeyExact(HKEY root, const wchar_t* path, REGSAM view, HKEY* key) {
    return RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE | view,
                           nullptr, key, nullptr);
}

}  // namespace mGeneral
