#include "startup/StartupStatus.h"

// COM, which the shell's shortcuts want.
#include <objbase.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

#include "base/escape.h"
#include "base/handle.h"
#include "base/text.h"
#include "startup/KeepList.h"
#include "startup/MoveStartupValues.h"
#include "startup/StartupFolders.h"
#include "startup/WindowsOwn.h"

namespace {

constexpr size_t kLongestText = 160;
constexpr size_t kBytesShown = 16;

// Data is cut, a name never: a cut string gives its whole length after the
// closing quote, and is never cut between the halves of a character.
std::wstring Cut(const std::wstring& text) {
    if (text.size() <= kLongestText) return base::Quoted(text);
    size_t kept = kLongestText - ((text[kLongestText - 1] & 0xFC00) == 0xD800);
    return base::Cat({base::Quoted(std::wstring_view(text).substr(0, kept)), L"... (",
                      base::Decimal(text.size()), L" characters)"});
}

// Quoted, so that no name can spell the unnamed value's "(default)".
std::wstring NameShown(const std::wstring& name) {
    return name.empty() ? L"(default)" : base::Quoted(name);
}

// The data as UTF-16 code units, and whether an odd byte was left over.
std::wstring CodeUnits(const std::vector<BYTE>& data) {
    std::wstring text(data.size() / sizeof(wchar_t), L'\0');
    if (!text.empty())
        std::copy_n(data.data(), text.size() * sizeof(wchar_t), reinterpret_cast<BYTE*>(&text[0]));
    return text;
}

std::wstring TextOf(const mGeneral::ExactValue& value) {
    // Registry strings may lack their NUL, or have an odd byte count.
    std::wstring text = CodeUnits(value.data);
    if (!text.empty() && text.back() == L'\0') text.pop_back();
    std::wstring shown;
    if (value.type == REG_MULTI_SZ) {
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        shown = Cut(text);
    } else {
        // What follows the first NUL is not what programs read, but it is
        // there, and shown as such.
        size_t end = text.find(L'\0');
        shown = Cut(text.substr(0, end));
        if (end != std::wstring::npos)
            shown += L" (then, after a NUL: " + Cut(text.substr(end + 1)) + L")";
    }
    if (value.data.size() % sizeof(wchar_t)) shown += L" (and an odd byte)";
    return shown;
}

unsigned long long Number(const std::vector<BYTE>& data, bool bigEndian) {
    unsigned long long n = 0;
    for (size_t i = 0; i < data.size(); ++i)
        n = (n << 8) | data[bigEndian ? i : data.size() - 1 - i];
    return n;
}

// Whether the data is the number its type says, of the right size.
bool IsNumber(const mGeneral::ExactValue& value) {
    return ((value.type == REG_DWORD || value.type == REG_DWORD_BIG_ENDIAN) &&
            value.data.size() == 4) ||
           (value.type == REG_QWORD && value.data.size() == 8);
}

std::wstring BytesOf(const std::vector<BYTE>& data) {
    std::wstring out;
    for (size_t i = 0; i < data.size() && i < kBytesShown; ++i)
        out += (i ? L" " : L"") + base::HexByte(data[i]);
    if (data.size() > kBytesShown) out += L" ...";
    return out + (out.empty() ? L"(" : L" (") + base::Decimal(data.size()) +
           (data.size() == 1 ? L" byte)" : L" bytes)");
}

const wchar_t* const kTypeNames[] = {
    L"REG_NONE",
    L"REG_SZ",
    L"REG_EXPAND_SZ",
    L"REG_BINARY",
    L"REG_DWORD",
    L"REG_DWORD_BIG_ENDIAN",
    L"REG_LINK",
    L"REG_MULTI_SZ",
    L"REG_RESOURCE_LIST",
    L"REG_FULL_RESOURCE_DESCRIPTOR",
    L"REG_RESOURCE_REQUIREMENTS_LIST",
    L"REG_QWORD",
};

std::wstring TypeName(DWORD type) {
    return type < sizeof kTypeNames / sizeof *kTypeNames ? kTypeNames[type]
                                                         : L"type " + base::Decimal(type);
}

// One key of one place, as read.
struct KeyListing {
    EntryPlace place = EntryPlace::kHkcu;
    const wchar_t* rootName = nullptr;
    const wchar_t* view = nullptr;  // "64-bit", "32-bit", or nullptr for the only one
    const wchar_t* path = nullptr;
    enum { kPresent, kMissing, kUnreadable } state = kPresent;
    std::vector<std::wstring> names;
    std::vector<mGeneral::ExactValue> values;         // one per name
    std::vector<bool> gone;                           // vanished between listing and reading
    std::vector<TaskManagerChoices::Choice> choices;  // one per name
};

KeyListing ReadKey(HKEY root, REGSAM view, const wchar_t* rootName, const wchar_t* path) {
    const TaskManagerChoices choices(root == HKEY_LOCAL_MACHINE ? kMachineWide : kThisUser, view);
    KeyListing listing;
    listing.place = PlaceOf(root == HKEY_LOCAL_MACHINE ? kMachineWide : kThisUser, view);
    listing.rootName = rootName;
    listing.view = view == KEY_WOW64_64KEY   ? L"64-bit"
                   : view == KEY_WOW64_32KEY ? L"32-bit"
                                             : nullptr;
    listing.path = path;
    base::KeyHandle key;
    LSTATUS opened = mGeneral::OpenKeyExact(root, path, KEY_QUERY_VALUE | view, key.Put());
    if (opened == ERROR_FILE_NOT_FOUND) {
        listing.state = KeyListing::kMissing;
    } else if (opened != ERROR_SUCCESS || !mGeneral::ListNamesExact(key.Get(), listing.names)) {
        listing.state = KeyListing::kUnreadable;
        listing.names.clear();
    }
    for (const std::wstring& name : listing.names) {
        listing.values.emplace_back();
        listing.gone.push_back(mGeneral::ReadExact(key.Get(), name, listing.values.back()) !=
                               ERROR_SUCCESS);
        listing.choices.push_back(choices.Of(name));
    }
    return listing;
}

// Every place the switch works on, in its order: HKEY_LOCAL_MACHINE in each
// view Windows starts programs from, then HKEY_CURRENT_USER; Run, then
// RunDisabled.
std::vector<KeyListing> ReadStartupKeys() {
    std::vector<KeyListing> keys;
    for (REGSAM view : StartupMachineViews())
        for (const wchar_t* path : {kStartupKey, kParkingKey})
            keys.push_back(ReadKey(HKEY_LOCAL_MACHINE, view, L"HKLM", path));
    for (const wchar_t* path : {kStartupKey, kParkingKey})
        keys.push_back(ReadKey(HKEY_CURRENT_USER, 0, L"HKCU", path));
    return keys;
}

// " (Task Manager: turned off 2026-12-01 10:00:00)", or "" where it made no choice.
std::wstring ChoiceShown(const TaskManagerChoices::Choice& choice) {
    if (!choice.made) return {};
    const bool dated = choice.time.dwLowDateTime || choice.time.dwHighDateTime;
    return base::Cat({L" (Task Manager: turned ", choice.off ? L"off" : L"on", dated ? L" " : L"",
                      dated ? base::TimeText(choice.time) : std::wstring(), L")"});
}

// ",\"taskManager\":{...}", or "" where it made no choice.
std::wstring TaskManagerJson(const TaskManagerChoices::Choice& choice) {
    if (!choice.made) return {};
    return base::Cat({L",\"taskManager\":{\"off\":", choice.off ? L"true" : L"false", L",\"time\":",
                      base::JsonString(base::TimeText(choice.time)), L"}"});
}

// " (kept by you)", ",\"kept\":\"user\"", or "" for an entry no list keeps.
std::wstring KeptShown(Keeper kept) {
    return kept == Keeper::kUser            ? L" (kept by you)"
           : kept == Keeper::kAdministrator ? L" (kept by your administrator)"
                                            : L"";
}
std::wstring KeptJson(Keeper kept) {
    return kept == Keeper::kUser            ? L",\"kept\":\"user\""
           : kept == Keeper::kAdministrator ? L",\"kept\":\"administrator\""
                                            : L"";
}

std::wstring JsonEntry(const std::wstring& name, const mGeneral::ExactValue& value, bool gone,
                       const TaskManagerChoices::Choice& choice, Keeper kept) {
    std::wstring out =
        L"{\"name\":" + base::JsonString(name) + TaskManagerJson(choice) + KeptJson(kept);
    if (gone) return out + L",\"gone\":true}";
    out += L",\"type\":" + base::JsonString(TypeName(value.type)) + L",\"typeCode\":" +
           base::Decimal(value.type) + L",\"hex\":\"";
    for (BYTE b : value.data) out += base::HexByte(b);
    out += L"\"";
    // The data's own form where it has one: every code unit of a string
    // (but a final NUL, which "terminated" tells), or the number.
    bool text = value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
    if (text && value.data.size() % sizeof(wchar_t) == 0) {
        std::wstring units = CodeUnits(value.data);
        bool terminated = !units.empty() && units.back() == L'\0';
        if (terminated) units.pop_back();
        out += L",\"data\":" + base::JsonString(units) + L",\"terminated\":" +
               (terminated ? L"true" : L"false");
    } else if (IsNumber(value)) {
        out +=
            L",\"data\":" + base::Decimal(Number(value.data, value.type == REG_DWORD_BIG_ENDIAN));
    }
    return out + L"}";
}

// The two Startup folders, places of their own: this user's, then the one
// for all users, each followed by the folder its items are parked in.
struct FolderListing {
    EntryPlace where = EntryPlace::kStartup;
    const wchar_t* place = nullptr;  // "this user", "all users"
    bool parked = false;             // Tavrel's parking folder
    std::wstring path;
    bool found = false;
    std::vector<std::wstring> names, targets, arguments;  // a shortcut's; else ""
    std::vector<TaskManagerChoices::Choice> choices;      // one per name
};

std::vector<FolderListing> ReadStartupFolders() {
    // The shell's shortcuts want COM in this thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::vector<FolderListing> folders;
    for (const StartupFolder& folder : StartupFolders()) {
        const TaskManagerChoices choices(folder.place, 0);
        for (bool parked : {false, true}) {
            folders.emplace_back();
            FolderListing& listing = folders.back();
            listing.where = PlaceOf(folder.place, 0);
            listing.place = folder.place == kUserFolder ? L"this user" : L"all users";
            listing.parked = parked;
            listing.path = parked ? folder.parked : folder.live;
            listing.found = ListItems(listing.path, listing.names);
            for (const std::wstring& name : listing.names) {
                listing.targets.emplace_back();
                listing.arguments.emplace_back();
                if (IsShortcut(name))
                    ReadShortcut(listing.path + L"\\" + name, listing.targets.back(),
                                 listing.arguments.back());
                listing.choices.push_back(choices.Of(name));
            }
        }
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return folders;
}

}  // namespace

TaskManagerChoices::TaskManagerChoices(MovePlace place, REGSAM view) {
    const std::wstring path =
        base::Cat({L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\",
                   IsFolder(place)                                    ? L"StartupFolder"
                   : place == kMachineWide && view == KEY_WOW64_32KEY ? L"Run32"
                                                                      : L"Run"});
    mGeneral::OpenKeyExact(ForAllUsers(place) ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                           path.c_str(), KEY_QUERY_VALUE | KEY_WOW64_64KEY, key_.Put());
}

TaskManagerChoices::Choice TaskManagerChoices::Of(const std::wstring& name) const {
    Choice choice;
    mGeneral::ExactValue value;
    if (!key_ || mGeneral::ReadExact(key_.Get(), name, value) != ERROR_SUCCESS ||
        value.type != REG_BINARY || value.data.empty())
        return choice;
    choice.made = true;
    choice.off = value.data[0] & 1;
    if (value.data.size() >= 12) std::memcpy(&choice.time, &value.data[4], 8);
    return choice;
}

std::vector<StartupEntry> ListStartupEntries() {
    const KeepList keep = KeepList::Load();
    std::vector<StartupEntry> entries;
    for (const KeyListing& key : ReadStartupKeys())
        for (size_t i = 0; i < key.names.size(); ++i) {
            if (key.gone[i]) continue;
            const mGeneral::ExactValue& value = key.values[i];
            const bool text = value.type == REG_SZ || value.type == REG_EXPAND_SZ;
            const bool parked = key.path == kParkingKey;
            entries.push_back({key.place, key.names[i], parked,
                               text ? TextOf(value) : RenderValue(value), key.choices[i],
                               keep.Of(key.place, key.names[i]),
                               !parked && !WindowsOwnProgram(value).empty()});
        }
    for (const FolderListing& folder : ReadStartupFolders())
        for (size_t i = 0; i < folder.names.size(); ++i) {
            const std::wstring path = folder.path + L"\\" + folder.names[i];
            entries.push_back({folder.where, folder.names[i], folder.parked,
                               folder.targets[i].empty()
                                   ? base::Quoted(path)
                                   : base::Cat({base::Quoted(folder.targets[i]), L" ",
                                                base::Quoted(folder.arguments[i])}),
                               folder.choices[i], keep.Of(folder.where, folder.names[i]),
                               !folder.parked && IsWindowsOwnItem(path, folder.names[i])});
        }
    return entries;
}

std::wstring RenderValue(const mGeneral::ExactValue& value) {
    std::wstring type = TypeName(value.type);
    if (value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ)
        return type + L" " + TextOf(value);
    if (IsNumber(value))
        return type + L" " + base::Decimal(Number(value.data, value.type == REG_DWORD_BIG_ENDIAN));
    return type + L" " + BytesOf(value.data);
}

std::wstring DescribeStartupEntries() {
    const KeepList keep = KeepList::Load();
    std::wstring out;
    for (const KeyListing& key : ReadStartupKeys()) {
        out += std::wstring(key.rootName) + L"\\" + key.path +
               (key.view ? std::wstring(L" (") + key.view + L" view)" : std::wstring()) + L":";
        if (key.state == KeyListing::kMissing) {
            out += L" no such key\n";
            continue;
        }
        if (key.state == KeyListing::kUnreadable) {
            out += L" could not be read\n";
            continue;
        }
        out += key.names.empty() ? L" empty\n"
                                 : L" " + Entries(static_cast<int>(key.names.size())) + L"\n";
        for (size_t i = 0; i < key.names.size(); ++i) {
            const std::wstring& name = key.names[i];
            out += L"  " + NameShown(name);
            out += key.gone[i] ? std::wstring(L" (gone while read)")
                               : L" = " + RenderValue(key.values[i]);
            out += ChoiceShown(key.choices[i]) + KeptShown(keep.Of(key.place, name)) + L"\n";
        }
    }
    for (const FolderListing& folder : ReadStartupFolders()) {
        out += base::Cat({folder.parked ? L"Parked Startup items of " : L"Startup folder of ",
                          folder.place, L" (", folder.path, L"): ",
                          !folder.found          ? L"no such folder"
                          : folder.names.empty() ? L"empty"
                                                 : Items(static_cast<int>(folder.names.size())),
                          L"\n"});
        for (size_t i = 0; i < folder.names.size(); ++i)
            out += base::Cat({L"  ", base::Quoted(folder.names[i]),
                              folder.targets[i].empty() ? L"" : L" \u2192 ",
                              folder.targets[i].empty() ? L"" : base::Quoted(folder.targets[i]),
                              folder.arguments[i].empty() ? L"" : L" ",
                              folder.arguments[i].empty() ? L"" : base::Quoted(folder.arguments[i]),
                              ChoiceShown(folder.choices[i]),
                              KeptShown(keep.Of(folder.where, folder.names[i])), L"\n"});
    }
    return out;
}

std::wstring DescribeStartupEntriesJson() {
    const KeepList keep = KeepList::Load();
    static const wchar_t* const kStates[] = {L"present", L"missing", L"unreadable"};
    std::wstring out = L"{\"keys\":[";
    bool firstKey = true;
    for (const KeyListing& key : ReadStartupKeys()) {
        out += firstKey ? L"\n" : L",\n";
        firstKey = false;
        out += L"{\"place\":" + base::JsonString(key.rootName) + L",\"view\":" +
               (key.view ? base::JsonString(key.view) : std::wstring(L"null")) + L",\"key\":" +
               base::JsonString(key.path) + L",\"state\":" + base::JsonString(kStates[key.state]) +
               L",\"entries\":[";
        for (size_t i = 0; i < key.names.size(); ++i)
            out += (i ? L",\n " : L"\n ") + JsonEntry(key.names[i], key.values[i], key.gone[i],
                                                      key.choices[i],
                                                      keep.Of(key.place, key.names[i]));
        out += L"]}";
    }
    out += L"\n],\"folders\":[";
    bool firstFolder = true;
    for (const FolderListing& folder : ReadStartupFolders()) {
        out +=
            base::Cat({firstFolder ? L"\n" : L",\n", L"{\"place\":", base::JsonString(folder.place),
                       L",\"folder\":", folder.parked ? L"\"StartupDisabled\"" : L"\"Startup\"",
                       L",\"path\":", base::JsonString(folder.path), L",\"state\":",
                       folder.found ? L"\"present\"" : L"\"missing\"", L",\"items\":["});
        firstFolder = false;
        for (size_t i = 0; i < folder.names.size(); ++i)
            out += base::Cat(
                {i ? L",\n " : L"\n ", L"{\"name\":", base::JsonString(folder.names[i]),
                 L",\"target\":", base::JsonString(folder.targets[i]), L",\"arguments\":",
                 base::JsonString(folder.arguments[i]), TaskManagerJson(folder.choices[i]),
                 KeptJson(keep.Of(folder.where, folder.names[i])), L"}"});
        out += L"]}";
    }
    return out + L"\n]}\n";
}

namespace {

// "HKLM (64-bit view)", "HKCU", "this user's Startup folder".
const wchar_t* PlaceName(MovePlace place, REGSAM view) {
    if (place == kThisUser) return L"HKCU";
    if (place == kUserFolder) return L"this user's Startup folder";
    if (place == kMachineFolder) return L"the Startup folder for all users";
    return view == KEY_WOW64_64KEY   ? L"HKLM (64-bit view)"
           : view == KEY_WOW64_32KEY ? L"HKLM (32-bit view)"
                                     : L"HKLM";
}

const wchar_t* LastPart(const wchar_t* path) {
    const wchar_t* slash = wcsrchr(path, L'\\');
    return slash ? slash + 1 : path;
}

// Builds the preview's lines as a dry run of the move tells of each entry:
// "stays in Run: <why>", or "Run → RunDisabled".
class PreviewLog final : public MoveLog {
public:
    PreviewLog(const wchar_t* source, const wchar_t* target, bool parks)
        : from_(LastPart(source)), to_(LastPart(target)), parks_(parks) {}
    bool Planned(MovePlace place, REGSAM view, const std::vector<std::wstring>&) override {
        place_ = place;
        view_ = view;
        return true;
    }
    void Moved(size_t, const std::wstring& name, uint64_t) override {
        out += base::Cat({Line(place_, view_, name), From(place_), L" \u2192 ", To(place_), L"\n"});
    }
    void Kept(MovePlace place, REGSAM view, const std::wstring& name, KeptReason reason) override {
        out += base::Cat({Line(place, view, name), L"stays in ", From(place), L": ",
                          WhyKept(reason, false), L"\n"});
    }
    void Unreadable(MovePlace place, REGSAM view) override {
        out += base::Cat({L"start-up entries in ", PlaceName(place, view),
                          L": cannot even be read; that needs an administrator\n"});
    }
    std::wstring out;

private:
    // "start-up entry \"x\" in HKCU: ", "Startup item \"x.lnk\" in ...: ".
    static std::wstring Line(MovePlace place, REGSAM view, const std::wstring& name) {
        return base::Cat({IsFolder(place) ? L"Startup item " : L"start-up entry ", NameShown(name),
                          L" in ", PlaceName(place, view), L": "});
    }
    const wchar_t* From(MovePlace place) const {
        return !IsFolder(place) ? from_ : parks_ ? L"Startup" : L"StartupDisabled";
    }
    const wchar_t* To(MovePlace place) const {
        return !IsFolder(place) ? to_ : parks_ ? L"StartupDisabled" : L"Startup";
    }
    const wchar_t *from_, *to_;
    bool parks_;
    MovePlace place_ = kThisUser;
    REGSAM view_ = 0;
};

}  // namespace

std::wstring PreviewMove(const wchar_t* source, const wchar_t* target, bool keepTargetValues,
                         const std::vector<PlaceEntries>* only, MoveResult& result) {
    // The folders move the way the keys do.
    const bool parks = std::wcscmp(source, kStartupKey) == 0;
    const std::vector<StartupFolder> folders = StartupFolders();
    PreviewLog log(source, target, parks);
    MoveOptions options;
    options.folders = &folders;
    options.parkFolders = parks;
    options.dryRun = true;
    options.keepTargetValues = keepTargetValues;
    options.keepWindowsOwn = !keepTargetValues;  // as parking does
    const KeepList keep = KeepList::Load();
    options.keep = options.keepWindowsOwn ? &keep : nullptr;
    options.log = &log;
    result = only ? MoveNamedValues(source, target, *only, options)
                  : MoveStartupValues(source, target, options);
    return log.out;
}
