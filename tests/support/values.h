#pragma once
// Registry values as the tests set them up and check them: written and read
// with the wide calls, independently of the code under test.
#include <doctest/doctest.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/registry.h"
#include "support/standins.h"

namespace support {

struct Value {
    DWORD type;
    std::vector<BYTE> data;
    bool operator==(const Value& other) const { return type == other.type && data == other.data; }
    bool operator!=(const Value& other) const { return !(*this == other); }
};
using Values = std::map<std::wstring, Value>;

// The text's UTF-16 bytes, with or without the terminating NUL character.
inline std::vector<BYTE> Bytes(const std::wstring& text, bool terminated = true) {
    const BYTE* p = reinterpret_cast<const BYTE*>(text.data());
    std::vector<BYTE> bytes(p, p + text.size() * sizeof(wchar_t));
    if (terminated) bytes.insert(bytes.end(), sizeof(wchar_t), 0);
    return bytes;
}

// The views of HKEY_LOCAL_MACHINE that Windows starts programs from.
inline std::vector<REGSAM> MachineViews() {
    if (platform::Is64BitWindows()) return {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
    return {0};
}

// A tree of test keys below `base`, under HKEY_CURRENT_USER and every view of
// HKEY_LOCAL_MACHINE, gone before and after each test.
class KeySandbox {
public:
    explicit KeySandbox(const wchar_t* base) : base_(base) { Clean(); }
    ~KeySandbox() { Clean(); }
    KeySandbox(const KeySandbox&) = delete;
    KeySandbox& operator=(const KeySandbox&) = delete;

    void Clean() const {
        for (REGSAM view : MachineViews()) DeleteTree(HKEY_LOCAL_MACHINE, base_, view);
        DeleteTree(HKEY_CURRENT_USER, base_);
    }

private:
    std::wstring base_;
};

// Exactly these bytes: RegSetValueEx adds a NUL to string data when the byte
// after it is 0, so a non-zero byte follows them.
inline LSTATUS PutValue(HKEY key, const std::wstring& name, const Value& value) {
    std::vector<BYTE> padded(value.data);
    padded.insert(padded.end(), 4, 0x5A);
    return RegSetValueExW(key, name.c_str(), 0, value.type, padded.data(),
                          static_cast<DWORD>(value.data.size()));
}

inline HKEY CreateForTest(HKEY root, const wchar_t* path, REGSAM view = 0) {
    HKEY key = nullptr;
    REQUIRE(RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                            nullptr) == ERROR_SUCCESS);
    return key;
}

inline void Put(HKEY root, const wchar_t* path, const Values& values, REGSAM view = 0) {
    HKEY key = CreateForTest(root, path, view);
    for (auto& [name, value] : values) REQUIRE(PutValue(key, name, value) == ERROR_SUCCESS);
    RegCloseKey(key);
}

inline bool KeyExists(HKEY root, const wchar_t* path, REGSAM view = 0) {
    HKEY key;
    if (RegOpenKeyExW(root, path, 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

inline Values Get(HKEY root, const wchar_t* path, REGSAM view = 0) {
    Values values;
    HKEY key;
    if (RegOpenKeyExW(root, path, 0, KEY_READ | view, &key) != ERROR_SUCCESS) return values;
    std::vector<wchar_t> name(32768);
    for (DWORD i = 0;; ++i) {
        DWORD length = static_cast<DWORD>(name.size()), type = 0, size = 0;
        if (RegEnumValueW(key, i, name.data(), &length, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS)
            break;
        std::wstring n(name.data(), length);
        std::vector<BYTE> data(size + 2);
        DWORD got = size;
        REQUIRE(RegQueryValueExW(key, n.c_str(), nullptr, &type, data.data(), &got) ==
                ERROR_SUCCESS);
        data.resize(got);
        values[n] = {type, data};
    }
    RegCloseKey(key);
    return values;
}

// Every kind of value a Run key can hold, and then some.
inline Values EveryKind(const std::wstring& tag) {
    std::vector<BYTE> binary(3000);
    for (size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<BYTE>(i * 7);
    Values v;
    v[L"Plain " + tag] = {REG_SZ, Bytes(L"C:\\Program Files\\Tool\\tool.exe /tray")};
    v[L"Expand " + tag] = {REG_EXPAND_SZ, Bytes(L"%ProgramFiles%\\Helper\\helper.exe")};
    v[L"Multi " + tag] = {REG_MULTI_SZ, Bytes(std::wstring(L"one\0two\0", 8))};
    v[L"Binary " + tag] = {REG_BINARY, binary};
    v[L"Qword " + tag] = {REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}};
    v[L"Dword " + tag] = {REG_DWORD, {0x2A, 0, 0, 0}};
    v[L"None " + tag] = {REG_NONE, {}};
    v[L"Unknown " + tag] = {0x1234, {9, 8, 7, 6, 5}};
    v[L"Unterminated " + tag] = {REG_SZ, Bytes(L"abc", false)};
    v[L"Odd " + tag] = {REG_SZ, {0x61, 0x00, 0x62}};
    v[L"Embedded " + tag] = {REG_SZ, Bytes(std::wstring(L"a\0b", 3))};
    v[L"Empty " + tag] = {REG_SZ, {}};
    v[L"Start \u65E5\u672C " + tag] = {REG_SZ, Bytes(L"wide name")};
    v[L"Start ?? " + tag] = {REG_SZ, Bytes(L"what an ANSI copy would have called the other")};
    v[std::wstring(16000, L'n') + tag] = {REG_SZ, Bytes(L"long name")};
    return v;
}

// A long name shows as its first 40 characters and its length.
inline std::string Shown(const std::wstring& name) {
    if (name.size() <= 40) return "[" + Narrow(name) + "]";
    return "[" + Narrow(name.substr(0, 40)) + "...(" + std::to_string(name.size()) + ")]";
}

inline std::string Describe(const Values& values) {
    std::string out;
    for (auto& [name, value] : values)
        out += Shown(name) + " type " + std::to_string(value.type) + ", " +
               std::to_string(value.data.size()) + " bytes; ";
    return out;
}

}  // namespace support
