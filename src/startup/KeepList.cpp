#include "startup/KeepList.h"

#include "base/handle.h"
#include "platform/platform.h"
#include "registry/exact.h"

namespace {

constexpr const wchar_t* kTokens[] = {L"HKLM", L"HKLM32", L"HKCU", L"Startup", L"CommonStartup"};

std::wstring Upper(std::wstring text) {
    if (!text.empty()) CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

// The text a REG_SZ value holds, to its first NUL; false for anything else.
bool TextOf(const mGeneral::ExactValue& value, std::wstring& text) {
    if (value.type != REG_SZ) return false;
    text.assign(reinterpret_cast<const wchar_t*>(value.data.data()), value.data.size() / 2);
    text.resize(text.find(L'\0') == std::wstring::npos ? text.size() : text.find(L'\0'));
    return true;
}

// Calls `each` with every text a list holds, and its value's name.
template <typename Each>
void ForEachLine(HKEY key, Each each) {
    std::vector<std::wstring> names;
    mGeneral::ListNamesExact(key, names);
    mGeneral::ExactValue value;
    std::wstring text;
    for (const std::wstring& name : names)
        if (mGeneral::ReadExact(key, name, value) == ERROR_SUCCESS && TextOf(value, text))
            each(name, text);
}

}  // namespace

const wchar_t* PlaceToken(EntryPlace place) { return kTokens[static_cast<int>(place)]; }

bool PlaceOfToken(const std::wstring& token, EntryPlace& place) {
    for (int i = 0; i < static_cast<int>(EntryPlace::kCount); ++i)
        if (SameName(token, kTokens[i])) {
            place = static_cast<EntryPlace>(i);
            return place != EntryPlace::kHklm32 || platform::Is64BitWindows();
        }
    return false;
}

EntryPlace PlaceOf(MovePlace place, REGSAM view) {
    switch (place) {
        case kMachineWide:
            return view == KEY_WOW64_32KEY ? EntryPlace::kHklm32 : EntryPlace::kHklm;
        case kThisUser:
            return EntryPlace::kHkcu;
        case kUserFolder:
            return EntryPlace::kStartup;
        default:
            return EntryPlace::kCommonStartup;
    }
}

PlaceEntries EntriesOf(EntryPlace place, const std::wstring& name) {
    PlaceEntries entries;
    entries.names = {name};
    switch (place) {
        case EntryPlace::kHklm:
        case EntryPlace::kHklm32:
            entries.place = kMachineWide;
            entries.view = !platform::Is64BitWindows()    ? 0
                           : place == EntryPlace::kHklm32 ? KEY_WOW64_32KEY
                                                          : KEY_WOW64_64KEY;
            break;
        case EntryPlace::kHkcu:
            entries.place = kThisUser;
            break;
        case EntryPlace::kStartup:
            entries.place = kUserFolder;
            break;
        default:
            entries.place = kMachineFolder;
    }
    return entries;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && Upper(a) == Upper(b);
}

KeepList KeepList::Load() {
    KeepList list;
    const struct {
        HKEY root;
        const wchar_t* path;
        REGSAM view;
        Keeper by;
    } kLists[] = {{HKEY_LOCAL_MACHINE, kPolicyKeepKey, KEY_WOW64_64KEY, Keeper::kAdministrator},
                  {HKEY_CURRENT_USER, kUserKeepKey, 0, Keeper::kUser}};
    for (const auto& which : kLists) {
        base::KeyHandle key;
        if (mGeneral::OpenKeyExact(which.root, which.path, KEY_QUERY_VALUE | which.view,
                                   key.Put()) != ERROR_SUCCESS)
            continue;
        ForEachLine(key.Get(), [&](const std::wstring&, const std::wstring& line) {
            Rule rule{true, EntryPlace::kHklm, line, which.by};
            const size_t colon = line.find(L':');
            if (colon != std::wstring::npos && PlaceOfToken(line.substr(0, colon), rule.place)) {
                rule.anyPlace = false;
                rule.name = line.substr(colon + 1);
            }
            list.rules_.push_back(rule);
        });
    }
    return list;
}

Keeper KeepList::Of(EntryPlace place, const std::wstring& name) const {
    Keeper kept = Keeper::kNone;
    for (const Rule& rule : rules_)
        if ((rule.anyPlace || rule.place == place) && SameName(rule.name, name) &&
            (kept == Keeper::kNone || rule.by == Keeper::kAdministrator))
            kept = rule.by;
    return kept;
}

std::wstring KeepLine(const std::wstring& name, const EntryPlace* place) {
    return place ? PlaceToken(*place) + (L":" + name) : name;
}

LSTATUS KeepEntry(const std::wstring& line) {
    base::KeyHandle key;
    LSTATUS status = mGeneral::CreateKeyExact(HKEY_CURRENT_USER, kUserKeepKey, 0, key.Put());
    if (status != ERROR_SUCCESS) return status;
    const BYTE* bytes = reinterpret_cast<const BYTE*>(line.c_str());
    return mGeneral::WriteExact(
        key.Get(), {line, REG_SZ, std::vector<BYTE>(bytes, bytes + (line.size() + 1) * 2)});
}

LSTATUS UnkeepEntry(const std::wstring& line) {
    base::KeyHandle key;
    LSTATUS status = mGeneral::OpenKeyExact(HKEY_CURRENT_USER, kUserKeepKey,
                                            KEY_QUERY_VALUE | KEY_SET_VALUE, key.Put());
    if (status != ERROR_SUCCESS) return status;
    // Every value that names it, whatever the value's own name.
    status = ERROR_FILE_NOT_FOUND;
    ForEachLine(key.Get(), [&](const std::wstring& name, const std::wstring& text) {
        if (SameName(text, line) && mGeneral::DeleteExact(key.Get(), name) == ERROR_SUCCESS)
            status = ERROR_SUCCESS;
    });
    return status;
}
