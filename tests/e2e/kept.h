#pragma once
// Settings the end-to-end tests change for real, set aside while a test runs
// and put back afterwards, however it ends: the start-up keys, single
// registry values and the visual effects.
#include <windows.h>
// sddl.h needs windows.h first.
#include <sddl.h>

#include <map>
#include <string>
#include <vector>

#include "e2e/driver.h"
#include "support/registry.h"
#include "support/runkeys.h"

namespace e2e {

using support::kParked;
using support::kRun;
using support::Place;
using Values = std::map<std::wstring, e2e::RegistryData>;

// RegSetValueEx stores a terminator of its own when the byte past the data is
// zero; the buffer goes on with non-zero bytes so that exactly `bytes` land.
inline LONG PutExact(HKEY key, const std::wstring& name, DWORD type,
                     const std::vector<BYTE>& bytes) {
    std::vector<BYTE> padded(bytes);
    padded.insert(padded.end(), 4, 0xA5);
    return RegSetValueExW(key, name.c_str(), 0, type, padded.data(),
                          static_cast<DWORD>(bytes.size()));
}

inline void Clear(const Place& place, const wchar_t* path) {
    std::vector<std::wstring> names = e2e::ValueNames(place.root, path, place.view);
    HKEY key;
    if (RegOpenKeyExW(place.root, path, 0, KEY_SET_VALUE | place.view, &key) != ERROR_SUCCESS)
        return;
    // From the last: Wine keeps a key's values in a sorted array.
    for (auto name = names.rbegin(); name != names.rend(); ++name)
        RegDeleteValueW(key, name->c_str());
    RegCloseKey(key);
}

inline bool KeyExists(const Place& place, const wchar_t* path) {
    HKEY key;
    if (RegOpenKeyExW(place.root, path, 0, KEY_QUERY_VALUE | place.view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Lets everyone read a key and nobody write it while a test runs, as for a
// user without the rights; its own security comes back afterwards.
class KeyReadOnly {
public:
    KeyReadOnly(HKEY root, const wchar_t* path) {
        PSECURITY_DESCRIPTOR readOnly = nullptr;
        DWORD size = sizeof saved_;
        locked =
            RegOpenKeyExW(root, path, 0, READ_CONTROL | WRITE_DAC, &key_) == ERROR_SUCCESS &&
            RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_, &size) == ERROR_SUCCESS &&
            ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;KR;;;WD)", SDDL_REVISION_1,
                                                                 &readOnly, nullptr) &&
            RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, readOnly) == ERROR_SUCCESS;
        LocalFree(readOnly);
    }
    ~KeyReadOnly() {
        if (locked) RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_);
        if (key_) RegCloseKey(key_);
    }
    KeyReadOnly(const KeyReadOnly&) = delete;
    KeyReadOnly& operator=(const KeyReadOnly&) = delete;
    bool locked = false;

private:
    HKEY key_ = nullptr;
    alignas(void*) BYTE saved_[4096];
};

// Empties the start-up and parking keys of every place for the test, and
// puts back what they held when it ends, however it ends.
class RunKeysAside {
public:
    RunKeysAside() {
        for (const Place& place : support::Places())
            for (const wchar_t* path : {kRun, kParked}) {
                saved_.push_back({place, path, KeyExists(place, path),
                                  e2e::ReadValues(place.root, path, place.view)});
                Clear(place, path);
            }
    }
    ~RunKeysAside() {
        for (const Saved& saved : saved_) {
            Clear(saved.place, saved.path);
            if (!saved.existed) {
                support::DeleteTree(saved.place.root, saved.path, saved.place.view);
                continue;
            }
            HKEY key;
            if (RegOpenKeyExW(saved.place.root, saved.path, 0, KEY_SET_VALUE | saved.place.view,
                              &key) != ERROR_SUCCESS)
                continue;
            for (auto& [name, value] : saved.values) PutExact(key, name, value.type, value.bytes);
            RegCloseKey(key);
        }
    }
    RunKeysAside(const RunKeysAside&) = delete;
    RunKeysAside& operator=(const RunKeysAside&) = delete;

private:
    struct Saved {
        Place place;
        const wchar_t* path;
        bool existed;
        Values values;
    };
    std::vector<Saved> saved_;
};

// Keeps a registry value as it was: when it goes, it puts the value back, or
// removes it if there was none.
class ValueKept {
public:
    ValueKept(HKEY root, const wchar_t* path, const wchar_t* name)
        : root_(root), path_(path), name_(name), value_(e2e::ReadValue(root, path, name)) {}
    ~ValueKept() {
        HKEY key;
        if (RegOpenKeyExW(root_, path_, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
        if (value_.found)
            PutExact(key, name_, value_.type, value_.bytes);
        else
            RegDeleteValueW(key, name_);
        RegCloseKey(key);
    }
    ValueKept(const ValueKept&) = delete;
    ValueKept& operator=(const ValueKept&) = delete;

private:
    HKEY root_;
    const wchar_t* path_;
    const wchar_t* name_;
    e2e::RegistryData value_;
};

// The round buttons switch these visual effects; they go back as they were.
class EffectsKept {
public:
    EffectsKept() {
        for (Setting& setting : settings_) SystemParametersInfoW(setting.get, 0, &setting.value, 0);
    }
    ~EffectsKept() {
        // The "set" actions take the value in uiParam or in pvParam, by action.
        for (const Setting& setting : settings_)
            SystemParametersInfoW(setting.set, setting.value,
                                  reinterpret_cast<void*>(static_cast<UINT_PTR>(setting.value)),
                                  SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
    }
    EffectsKept(const EffectsKept&) = delete;
    EffectsKept& operator=(const EffectsKept&) = delete;

private:
    struct Setting {
        UINT get, set;
        BOOL value;
    };
    Setting settings_[8] = {
        {SPI_GETMENUANIMATION, SPI_SETMENUANIMATION, FALSE},
        {SPI_GETCURSORSHADOW, SPI_SETCURSORSHADOW, FALSE},
        {SPI_GETCOMBOBOXANIMATION, SPI_SETCOMBOBOXANIMATION, FALSE},
        {SPI_GETDRAGFULLWINDOWS, SPI_SETDRAGFULLWINDOWS, FALSE},
        {SPI_GETMENUFADE, SPI_SETMENUFADE, FALSE},
        {SPI_GETLISTBOXSMOOTHSCROLLING, SPI_SETLISTBOXSMOOTHSCROLLING, FALSE},
        {SPI_GETTOOLTIPANIMATION, SPI_SETTOOLTIPANIMATION, FALSE},
        {SPI_GETFONTSMOOTHING, SPI_SETFONTSMOOTHING, FALSE},
    };
};

}  // namespace e2e
